// The files `make bench-launch` opens: a 6000 x 4000 JPEG and a 320 x 240 GIF, both a noisy
// orange (so the centre of a window that shows either is easy to tell from any background), and
// a folder of 10,000 small pictures. Made once into the folder given.

#include "GifWriter.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QRandomGenerator>

#include <unistd.h>

namespace {

QImage noisyOrange(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    QRandomGenerator rng(2026);
    for (int y = 0; y < h; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const int n = int(rng.bounded(48u)) - 24;
            line[x] = qRgb(qBound(0, 230 + n, 255), qBound(0, 120 + n, 255), qBound(0, 30 + n / 2, 255));
        }
    }
    return image;
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    if (argc < 2)
        return 2;
    const QDir out(QString::fromLocal8Bit(argv[1]));
    QDir().mkpath(out.path() + "/folder");
    if (!noisyOrange(6000, 4000).save(out.filePath("big.jpg"), "JPEG", 90))
        return 1;
    const QImage small = noisyOrange(320, 240).convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither);
    GifWriter gif(small.size());
    QFile gifFile(out.filePath("small.gif"));
    if (!gif.addFrame(small) || !gifFile.open(QIODevice::WriteOnly) || gifFile.write(gif.encode()) < 0)
        return 1;
    gifFile.close();
    const QString first = out.filePath("folder/IMG_00000.jpg");
    if (!noisyOrange(64, 48).save(first, "JPEG", 90))
        return 1;
    for (int i = 1; i < 10000; ++i) {
        const QString name = out.filePath(QStringLiteral("folder/IMG_%1.jpg").arg(i, 5, 10, QLatin1Char('0')));
        if (::link(QFile::encodeName(first).constData(), QFile::encodeName(name).constData()) != 0 && !QFile::exists(name))
            return 1;
    }
    return 0;
}
