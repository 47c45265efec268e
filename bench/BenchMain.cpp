#include "BenchMain.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>

namespace {

// Keeps each benchmark's real time per iteration (in ms) while printing as usual.
class RecordingReporter : public benchmark::ConsoleReporter
{
public:
    std::map<std::string, double> ms;

    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &r : runs) {
            if (r.run_type == Run::RT_Iteration && r.iterations > 0)
                ms[r.benchmark_name()] = r.real_accumulated_time * 1e3 / double(r.iterations);
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

} // namespace

int RunBenchmarksWithRatios(int argc, char **argv,
                            const std::vector<std::pair<std::string, std::string>> &figureAndBaseline)
{
    benchmark::Initialize(&argc, argv);
    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n%-44s %12s %12s %8s\n", "figure / baseline", "figure ms", "baseline ms", "ratio");
    for (const auto &[figure, baseline] : figureAndBaseline) {
        const auto f = reporter.ms.find(figure), b = reporter.ms.find(baseline);
        if (f == reporter.ms.end() || b == reporter.ms.end() || b->second <= 0)
            continue;
        std::printf("%-44s %12.2f %12.2f %8.2f\n", (figure + " / " + baseline).c_str(), f->second, b->second,
                    f->second / b->second);
    }
    benchmark::Shutdown();
    return 0;
}
