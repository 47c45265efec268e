// Writes small hostile pictures into a folder, for the picture fuzzer's seeds. Each file starts
// with the byte that tells the fuzzer which extension to give it (0 bmp, 1 jpg, 3 gif, 6 wmf), or
// 7 for a colour profile alone.

#include "HostilePictures.h"

#include <QDir>
#include <QFile>

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_hostile_pictures FOLDER\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);
    using namespace HostilePictures;
    struct File { QByteArray name; char kind; QByteArray bytes; };
    QList<File> files = {
        {"scans-4000-5000", 1, progressiveJpeg({4000, 4000}, 5000)},
        {"scans-16000-90", 1, progressiveJpeg({16000, 16000}, 90)},
        {"scans-64-3", 1, progressiveJpeg({64, 64}, 3)},
        {"one-scan-65500", 1, progressiveJpeg({65500, 65500}, 0)},
        {"rle8-16000", 0, rle8Bmp({16000, 16000}, 5000)},
        {"gif-screen-16000", 3, gifWithScreen({16000, 16000}, 63000)},
        {"gif-screen-64", 3, gifWithScreen({64, 64}, 0)},
        {"ellipses-20000", 6, ellipseMetafile(20000, 8)},
        {"ellipses-large-2000", 6, ellipseMetafile(2000, 990)},
    };
    // Each hostile profile alone, and in a small JPEG.
    for (const NamedProfile &p : hostileProfiles()) {
        files.append({QByteArray("profile-") + p.name, 7, p.bytes});
        files.append({QByteArray("jpeg-profile-") + p.name, 1, jpegWithProfile(progressiveJpeg({64, 64}, 3), p.bytes)});
    }
    files.append({"profile-swapped", 7, matrixProfile(true)});
    for (const File &f : files) {
        QFile out(folder + QLatin1String("/hostile-") + QString::fromLatin1(f.name));
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(&f.kind, 1) != 1
            || out.write(f.bytes) != f.bytes.size()) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(out.fileName()));
            return 1;
        }
    }
    return 0;
}
