#pragma once

// Runs the benchmarks of a program and prints, after Google Benchmark's own
// table, each measured figure's ratio to its baseline from the same run.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

struct BenchRatio {
    std::string measured;
    std::string baseline;
    std::string goal;
};

class BenchRatioReporter : public benchmark::ConsoleReporter {
public:
    explicit BenchRatioReporter(std::vector<BenchRatio> ratios) : ratios_(std::move(ratios)) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            nanoseconds_[run.benchmark_name()] = run.GetAdjustedRealTime() * unitToNanoseconds(run.time_unit);
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\n%-32s %-32s %12s %12s %8s %8s\n", "measured", "baseline", "measured ns", "baseline ns",
                    "ratio", "goal");
        for (const BenchRatio& ratio : ratios_) {
            const auto m = nanoseconds_.find(ratio.measured + "/real_time");
            const auto b = nanoseconds_.find(ratio.baseline + "/real_time");
            if (m == nanoseconds_.end() || b == nanoseconds_.end() || b->second <= 0) {
                continue;
            }
            std::printf("%-32s %-32s %12.0f %12.0f %8.2f %8s\n", ratio.measured.c_str(),
                        ratio.baseline.c_str(), m->second, b->second, m->second / b->second,
                        ratio.goal.c_str());
        }
    }

private:
    static double unitToNanoseconds(benchmark::TimeUnit unit) {
        switch (unit) {
        case benchmark::kNanosecond:
            return 1;
        case benchmark::kMicrosecond:
            return 1e3;
        case benchmark::kMillisecond:
            return 1e6;
        case benchmark::kSecond:
            return 1e9;
        }
        return 1;
    }

    std::vector<BenchRatio> ratios_;
    std::map<std::string, double> nanoseconds_;
};

inline int runBenchmarksWithRatios(int argc, char** argv, std::vector<BenchRatio> ratios) {
    benchmark::Initialize(&argc, argv);
    BenchRatioReporter reporter(std::move(ratios));
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
