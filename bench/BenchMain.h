#pragma once

#include <string>
#include <utility>
#include <vector>

// Runs every registered benchmark, then prints "figure / baseline = ratio" for each pair.
int RunBenchmarksWithRatios(int argc, char **argv,
                            const std::vector<std::pair<std::string, std::string>> &figureAndBaseline);
