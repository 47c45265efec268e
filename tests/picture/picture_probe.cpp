// Loads one picture for a screen, the way the show does, and reports what it cost: run by the
// loader tests as a child process per file, so that each file's peak memory is its own.
//   picture_probe FILE WIDTH HEIGHT [THREADS]
// prints "shown WxH" or "refused PROBLEM", then the milliseconds taken, the milliseconds of
// processor time used (the work done, whatever else the machine is busy with), and the peak
// resident KiB.
// THREADS > 1 loads the file on that many threads at once (the show's decode-ahead beside a
// change).

#include "picture/PictureLoader.h"

#include <QElapsedTimer>
#include <QGuiApplication>

#include <cstdio>
#include <thread>
#include <vector>

#include <QFile>

#include <sys/resource.h>

int main(int argc, char **argv)
{
    if (argc < 4)
        return 2;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_LOGGING_RULES", "qt.gui.imageio*=false");
    QGuiApplication app(argc, argv); // text in metafiles needs fonts
    const QString path = QString::fromLocal8Bit(argv[1]);
    const QSize screen(std::atoi(argv[2]), std::atoi(argv[3]));
    const int threads = argc > 4 ? std::max(1, std::atoi(argv[4])) : 1;
    const auto target = [screen](const picture::PictureInfo &info) {
        return info.isMetafile ? QSizeF(info.twips).scaled(QSizeF(screen), Qt::KeepAspectRatio).toSize()
                               : info.pixels.scaled(screen, Qt::KeepAspectRatio).boundedTo(info.pixels);
    };
    const auto cpuMs = [] {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        return qint64(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000
               + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000;
    };
    const qint64 cpuBefore = cpuMs();
    QElapsedTimer timer;
    timer.start();
    std::vector<picture::LoadedImage> results(static_cast<size_t>(threads));
    {
        std::vector<std::jthread> workers;
        for (int t = 0; t < threads; ++t)
            workers.emplace_back([&, t] { results[size_t(t)] = picture::LoadPicture(path, target); });
    }
    const qint64 ms = timer.elapsed();
    const qint64 cpu = cpuMs() - cpuBefore;
    // The peak of this program alone: getrusage's maximum would carry the parent's over fork
    // and exec, the kernel's high-water mark of this address space does not.
    long peakKiB = 0;
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray &line : status.readAll().split('\n'))
            if (line.startsWith("VmHWM:"))
                peakKiB = line.mid(6).trimmed().split(' ').value(0).toLong();
    const picture::LoadedImage &r = results.front();
    if (r.image.isNull())
        std::printf("refused %d", int(r.problem));
    else
        std::printf("shown %dx%d", r.image.width(), r.image.height());
    std::printf(" %lld %lld %ld\n", static_cast<long long>(ms), static_cast<long long>(cpu), peakKiB);
    return 0;
}
