// Refilling the browser's file list from a folder of 100,000 files (half of them pictures),
// against listing the same folder and sorting its names without regard to case.

#include "BenchMain.h"

#include "app/Main.h"
#include "app/basSlides.h"
#include "browser/frmFiles.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

fs::path bigFolder()
{
    const fs::path root = fs::temp_directory_path() / "quorvel-bench-folder";
    const fs::path done = root / ".complete";
    if (fs::exists(done))
        return root;
    fs::remove_all(root);
    fs::create_directories(root);
    for (int i = 0; i < 100000; ++i)
        std::ofstream(root / ("File_" + std::to_string((i * 7919) % 100000) + (i % 2 ? ".JPG" : ".txt")));
    std::ofstream(done).put('1');
    return root;
}

void BM_BaselineListAndSort(benchmark::State &state)
{
    const fs::path root = bigFolder();
    for (auto _ : state) {
        QStringList names;
        for (const auto &e : fs::directory_iterator(root))
            names.append(QString::fromStdString(e.path().filename().string()));
        std::sort(names.begin(), names.end(),
                  [](const QString &a, const QString &b) { return QString::compare(a, b, Qt::CaseInsensitive) < 0; });
        benchmark::DoNotOptimize(names.size());
    }
}

void BM_RefillFileList(benchmark::State &state)
{
    frmFiles &browser = platform::SharedForm<frmFiles>::Get();
    for (auto _ : state) {
        browser.dirFiles_Change();
        QCoreApplication::processEvents(); // the list lays itself out and paints
        benchmark::DoNotOptimize(browser.lstFiles->ListCount());
    }
}

} // namespace

BENCHMARK(BM_BaselineListAndSort)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_RefillFileList)->Unit(benchmark::kMillisecond)->MinTime(2.0);

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QTemporaryDir config;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config.path());
    basSlides::Main(QString::fromStdString(bigFolder().string()));
    return RunBenchmarksWithRatios(argc, argv,
                                   {{"BM_RefillFileList/min_time:2.000", "BM_BaselineListAndSort/min_time:2.000"}});
}
