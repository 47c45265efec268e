// Feeds arbitrary bytes through the program's picture loading, as a file of each kind.
// The first byte picks the extension; the rest is the file. First byte 7: the rest is a colour
// profile, a picture's and then the display's.

#include "picture/Colour.h"
#include "picture/PictureLoader.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <unistd.h>

namespace {

// The scratch folder lives only while an input is being loaded, so that no run leaves one
// behind (unless it crashes in the middle, when the input is kept by the fuzzer anyway).
const QString &scratchFolder()
{
    static const QString dir = QDir::tempPath() + QStringLiteral("/quorvel-fuzz-%1").arg(::getpid());
    return dir;
}

QString scratchFile(uint8_t kind)
{
    static const char *const extensions[] = {".bmp", ".jpg", ".jpeg", ".gif", ".ico", ".cur", ".wmf"};
    return scratchFolder() + "/input" + QString::fromLatin1(extensions[kind % 7]);
}

void removeScratch()
{
    QDir(scratchFolder()).removeRecursively();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_LOGGING_RULES", "qt.gui.imageio*=false"); // a complaint per input only slows it down
    static QGuiApplication app(*argc, *argv); // text in metafiles needs fonts
    std::atexit(removeScratch);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    if (data[0] == 7) {
        const QByteArray profile(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
        QImage image(64, 64, QImage::Format_RGB32);
        image.fill(qRgb(200, 40, 40));
        picture::ConvertToDisplay(image, profile, {});
        picture::ConvertToDisplay(image, {}, profile);
        return 0;
    }
    QDir().mkpath(scratchFolder());
    const QString path = scratchFile(data[0]);
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        f.write(reinterpret_cast<const char *>(data + 1), qint64(size - 1));
        f.close();
        picture::ReadPictureInfo(path);
        // A small target, and a real screen: the size rules differ where a picture is larger
        // than the screen, and the screen is what the show asks for.
        picture::DecodePicture(path, QSize(256, 192));
        picture::DecodePicture(path, QSize(1920, 1080));
    }
    removeScratch();
    return 0;
}
