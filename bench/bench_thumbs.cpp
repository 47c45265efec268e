// Thumbnails of 4000 x 3000 photos: one decode, with and without the camera's own thumbnail;
// the cache's cold and warm fetch; and a folder of photos (half with camera thumbnails) through
// the queue on every core. The baseline is a bare QImageReader with a scaled size, one photo on
// one core, or the folder on every core.

#include "BenchMain.h"

#include "ExifWriter.h"
#include "picture/thumbs/ThumbnailCache.h"
#include "picture/thumbs/ThumbnailDecode.h"
#include "picture/thumbs/ThumbnailQueue.h"

#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QImageReader>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtConcurrent/QtConcurrentMap>

#include <cmath>

namespace {

constexpr int kFolderPhotos = 12;

QByteArray encode(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 90);
    return bytes;
}

// A photo-like 4000 x 3000 JPEG (some 2-3 MB), with a 160 x 120 camera thumbnail when asked; made
// once per seed.
QString photo(int seed, bool exif)
{
    const QString path = QDir::tempPath() + QStringLiteral("/quorvel-bench-4000x3000-%1%2.jpg").arg(seed).arg(exif ? "-exif" : "");
    if (QFile::exists(path))
        return path;
    QImage image(4000, 3000, QImage::Format_RGB32);
    QRandomGenerator g{quint32(seed)};
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int n = int(g.bounded(24));
            line[x] = qRgb(int(128 + 100 * std::sin((x + seed * 97) / 700.0) + n) & 255,
                           int(110 + 90 * std::cos(y / 500.0) + n) & 255, int(140 + 80 * std::sin((x + y) / 900.0) + n) & 255);
        }
    }
    QByteArray bytes = encode(image);
    if (exif)
        bytes = ExifWriter::withExif(bytes, 1, encode(image.scaled(160, 120, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)));
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
    return path;
}

QStringList folder()
{
    QStringList paths;
    for (int i = 0; i < kFolderPhotos; ++i)
        paths << photo(i, i % 2 == 0);
    return paths;
}

QImage bareThumbnail(const QString &path)
{
    QImageReader reader(path);
    reader.setScaledSize(QSize(128, 96));
    return reader.read();
}

void BM_BaselineBareReader(benchmark::State &state)
{
    const QString path = photo(0, false);
    for (auto _ : state)
        benchmark::DoNotOptimize(bareThumbnail(path).constBits());
}

void BM_Decode(benchmark::State &state)
{
    const QString path = photo(0, state.range(0) != 0);
    for (auto _ : state)
        benchmark::DoNotOptimize(picture::DecodeThumbnail(path, 128).image.constBits());
}

// Made and stored each time (state 0) or read from the cache (1).
void BM_Fetch(benchmark::State &state)
{
    QTemporaryDir dir;
    const picture::ThumbnailCache cache(dir.filePath("thumbnails"));
    const QString path = photo(0, false);
    cache.Fetch(path, 128);
    for (auto _ : state) {
        if (state.range(0) == 0) {
            state.PauseTiming();
            QDir(dir.filePath("thumbnails/normal")).removeRecursively();
            state.ResumeTiming();
        }
        benchmark::DoNotOptimize(cache.Fetch(path, 128).image.constBits());
    }
}

void BM_BaselineFolderAllCores(benchmark::State &state)
{
    const QStringList paths = folder();
    for (auto _ : state)
        QtConcurrent::blockingMap(paths, [](const QString &path) { benchmark::DoNotOptimize(bareThumbnail(path).constBits()); });
}

// Every photo of the folder through the queue, from an empty cache (state 0) or a full one (1).
void BM_FolderThroughQueue(benchmark::State &state)
{
    const QStringList paths = folder();
    QTemporaryDir dir;
    const auto cache = std::make_shared<picture::ThumbnailCache>(dir.filePath("thumbnails"));
    for (auto _ : state) {
        if (state.range(0) == 0) {
            state.PauseTiming();
            QDir(dir.filePath("thumbnails")).removeRecursively();
            state.ResumeTiming();
        }
        picture::ThumbnailQueue queue(cache);
        QEventLoop loop;
        int done = 0;
        const auto count = [&] {
            if (++done == kFolderPhotos)
                loop.quit();
        };
        QObject::connect(&queue, &picture::ThumbnailQueue::ready, &loop, count);
        QObject::connect(&queue, &picture::ThumbnailQueue::failedRow, &loop, count);
        queue.setFiles(kFolderPhotos, [&](int row) { return paths[row]; });
        queue.setVisible(0, kFolderPhotos / 2 - 1);
        loop.exec();
    }
}

} // namespace

BENCHMARK(BM_BaselineBareReader)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_Decode)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_Fetch)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_BaselineFolderAllCores)->Unit(benchmark::kMillisecond)->Iterations(8)->UseRealTime();
BENCHMARK(BM_FolderThroughQueue)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(8)->UseRealTime();

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    folder();
    const std::string bare = "BM_BaselineBareReader/min_time:1.000";
    const std::string all = "BM_BaselineFolderAllCores/iterations:8/real_time";
    return RunBenchmarksWithRatios(argc, argv,
                                   {{"BM_Decode/0/min_time:1.000", bare},
                                    {"BM_Decode/1/min_time:1.000", bare},
                                    {"BM_Fetch/0/min_time:1.000", bare},
                                    {"BM_Fetch/1/min_time:1.000", bare},
                                    {"BM_FolderThroughQueue/0/iterations:8/real_time", all},
                                    {"BM_FolderThroughQueue/1/iterations:8/real_time", all}});
}
