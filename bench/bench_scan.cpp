// The picture scan of a show over a large tree, against a plain std::filesystem walk of the
// same tree that only counts the picture names.

#include "BenchMain.h"

#include "collection/PictureScan.h"
#include "base/FileSys.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QString>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

namespace fs = std::filesystem;

namespace {

constexpr int kFolders = 2000;
constexpr int kFilesPerFolder = 100;

// 200,000 empty files in 2,000 folders (20 top folders of 100), about 45% with picture
// extensions in mixed letter case. Made once and kept between runs.
fs::path benchTree()
{
    const fs::path root = fs::temp_directory_path() / "quorvel-bench-tree";
    const fs::path done = root / ".complete";
    if (fs::exists(done))
        return root;
    fs::remove_all(root);
    std::mt19937 rng(12345);
    const char *pictures[] = {".jpg", ".JPG", ".Jpeg", ".bmp", ".GIF", ".ico", ".Cur", ".wmf"};
    const char *others[] = {".txt", ".png", ".tif", ".jpe", ".doc", ".mp3"};
    for (int f = 0; f < kFolders; ++f) {
        const fs::path folder = root / ("Group" + std::to_string(f / 100)) / ("folder " + std::to_string(f));
        fs::create_directories(folder);
        for (int i = 0; i < kFilesPerFolder; ++i) {
            const bool picture = rng() % 100 < 45;
            const std::string ext = picture ? pictures[rng() % 8] : others[rng() % 6];
            std::ofstream(folder / ("IMG_" + std::to_string(rng() % 100000) + "_" + std::to_string(i) + ext));
        }
    }
    std::ofstream(done).put('1');
    return root;
}

bool plainIsPicture(const fs::path &p)
{
    std::string ext = p.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::toupper(c)); });
    return ext == ".BMP" || ext == ".JPG" || ext == ".JPEG" || ext == ".GIF" || ext == ".ICO" || ext == ".CUR"
        || ext == ".WMF";
}

void BM_BaselineFilesystemWalk(benchmark::State &state)
{
    const fs::path root = benchTree();
    for (auto _ : state) {
        size_t count = 0;
        for (const auto &e : fs::recursive_directory_iterator(root)) {
            if (e.is_regular_file() && plainIsPicture(e.path()))
                ++count;
        }
        benchmark::DoNotOptimize(count);
    }
}

void scan(benchmark::State &state, const char *mode, bool withProgress = false)
{
    const QString root = QString::fromStdString(benchTree().string());
    base::FileSys fileSys;
    ClockSeededRandom random(1);
    for (auto _ : state) {
        clsLinkList pictures, show;
        pictures.Sorted(true);
        collection::ScanProgress progress; // what the show's scan reports to its waiting window
        const int32_t n = collection::BuildShowList(root, true, QString::fromLatin1(mode), pictures, show, random, fileSys,
                                       withProgress ? &progress : nullptr);
        benchmark::DoNotOptimize(n);
        state.PauseTiming(); // freeing the lists is not part of the scan
        show.Clear();
        state.ResumeTiming();
    }
}

void BM_ScanNameOrder(benchmark::State &state)
{
    scan(state, "Normal");
}

void BM_ScanRandomOrder(benchmark::State &state)
{
    scan(state, "Random");
}

// As the program scans before a show: counting as it goes, and asking each folder whether to stop.
void BM_ScanWithProgress(benchmark::State &state)
{
    scan(state, "Random", true);
}

void BM_Deal100k(benchmark::State &state)
{
    std::vector<QVariant> values;
    for (int i = 0; i < 100000; ++i)
        values.emplace_back(QStringLiteral("/pictures/folder %1/IMG_%2.jpg").arg(i / 100).arg(i));
    ClockSeededRandom random(7);
    clsLinkList from, to;
    from.Sorted(true);
    for (auto _ : state) {
        state.PauseTiming();
        to.Clear();
        from.AddItems(values);
        state.ResumeTiming();
        collection::DealRandomOrder(from, to, 100000, random);
        benchmark::DoNotOptimize(to.ListCount());
    }
}

// Warm the tree into the page cache first so the order of the benchmarks does not matter.
void BM_0_WarmUp(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(benchTree());
    for (const auto &e : fs::recursive_directory_iterator(benchTree()))
        benchmark::DoNotOptimize(e);
}

} // namespace

BENCHMARK(BM_0_WarmUp)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BaselineFilesystemWalk)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ScanNameOrder)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ScanRandomOrder)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ScanWithProgress)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Deal100k)->Unit(benchmark::kMillisecond)->MinTime(1.0);

int main(int argc, char **argv)
{
    return RunBenchmarksWithRatios(argc, argv,
                                   {{"BM_ScanNameOrder/min_time:2.000", "BM_BaselineFilesystemWalk/min_time:2.000"},
                                    {"BM_ScanRandomOrder/min_time:2.000", "BM_BaselineFilesystemWalk/min_time:2.000"},
                                    {"BM_ScanWithProgress/min_time:2.000", "BM_BaselineFilesystemWalk/min_time:2.000"}});
}
