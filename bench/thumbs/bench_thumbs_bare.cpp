// The baseline `make bench-thumbs` sets the thumbnail view against: the plainest way to make
// thumbnails with Qt, a QImageReader per file with setScaledSize (fit within 128 x 128, keeping
// the ratio), over every file of a folder in name order, first on every core, then on one.
// Prints "all-cores <ms> <threads>", "one-core <ms>" and "made <count> of <files>".
//
// Usage: bench_thumbs_bare FOLDER [all|one|both]

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QImageReader>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

bool thumbnail(const QString &path)
{
    QImageReader reader(path);
    const QSize size = reader.size();
    if (size.isValid())
        reader.setScaledSize(size.scaled(QSize(128, 128), Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
    const QImage image = reader.read();
    return !image.isNull();
}

// Milliseconds for all files on `threads` threads; `made` counts the thumbnails that came out.
double run(const QStringList &files, unsigned threads, int &made)
{
    std::atomic<qsizetype> next{0};
    std::atomic<int> good{0};
    QElapsedTimer timer;
    timer.start();
    std::vector<std::thread> pool;
    for (unsigned t = 0; t < threads; ++t) {
        pool.emplace_back([&] {
            for (qsizetype i = next++; i < files.size(); i = next++) {
                if (thumbnail(files[i]))
                    ++good;
            }
        });
    }
    for (std::thread &t : pool)
        t.join();
    made = good;
    return double(timer.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: bench_thumbs_bare FOLDER [all|one|both]\n");
        return 2;
    }
    const QString which = args.size() > 2 ? args[2] : QStringLiteral("both");
    QDir dir(args[1]);
    QStringList files;
    for (const QString &name : dir.entryList(QDir::Files, QDir::Name))
        files.append(dir.filePath(name));
    if (files.isEmpty()) {
        std::fprintf(stderr, "no files in %s\n", qPrintable(args[1]));
        return 1;
    }
    int made = 0;
    if (which == QLatin1String("all") || which == QLatin1String("both")) {
        const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
        std::printf("all-cores %.1f %u\n", run(files, cores, made), cores);
    }
    if (which == QLatin1String("one") || which == QLatin1String("both"))
        std::printf("one-core %.1f\n", run(files, 1, made));
    std::printf("made %d of %lld\n", made, static_cast<long long>(files.size()));
    return made == files.size() ? 0 : 1;
}
