#pragma once

// Runs the benchmarks of a program and prints, after Google Benchmark's own
// table, each measured figure against its baseline from the same run.
//
// A figure names two runs by their benchmark names without the time-type
// suffix ("BM_Download", "BM_PeakMemory/200"), so it reads the same whether
// a benchmark uses real or manual time. When a benchmark runs repeatedly,
// its median stands for it: one disturbed repetition on a shared machine
// then moves nothing.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <vector>

enum class BenchFigure {
    // measured time / baseline time: how many times longer the measured code takes.
    TimeRatio,
    // baseline time / measured time: the measured code's throughput as a share of the baseline's.
    Throughput,
    // (measured time − baseline time) / measured time: the share of the measured
    // code's time that the baseline does not spend.
    Overhead,
    // measured time / baseline time − 1: how much longer the measured code
    // takes, as a share of the baseline's time.
    Excess,
    // measured counter / baseline counter, for a figure that is not a time
    // (peak memory, say); `counter` names it.
    CounterRatio,
};

struct BenchRatio {
    std::string measured;
    std::string baseline;
    // Shown as given; "<= x", "< x", ">= x" and "> x" are also checked.
    std::string goal;
    BenchFigure figure = BenchFigure::TimeRatio;
    std::string counter = {};
};

class BenchRatioReporter : public benchmark::ConsoleReporter {
public:
    explicit BenchRatioReporter(std::vector<BenchRatio> ratios) : ratios_(std::move(ratios)) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.error_occurred) {
                continue;
            }
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.run_type == Run::RT_Aggregate && !median) {
                continue;
            }
            Figures& figures = figures_[nameOf(run)];
            if (figures.fromMedian && !median) {
                continue;
            }
            figures.fromMedian = median;
            figures.nanoseconds = run.GetAdjustedRealTime() * unitToNanoseconds(run.time_unit);
            figures.counters.clear();
            for (const auto& [name, counter] : run.counters) {
                figures.counters[name] = counter.value;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\n%-36s %-36s %12s %12s %8s %8s %4s\n", "measured", "baseline", "measured", "baseline",
                    "figure", "goal", "met");
        for (const BenchRatio& ratio : ratios_) {
            const auto m = figures_.find(ratio.measured);
            const auto b = figures_.find(ratio.baseline);
            // Left out by a filter, or failed (Google Benchmark has said why).
            if (m == figures_.end() || b == figures_.end()) {
                continue;
            }
            std::optional<double> measured;
            std::optional<double> baseline;
            std::string measuredText;
            std::string baselineText;
            if (ratio.figure == BenchFigure::CounterRatio) {
                measured = counterOf(m->second, ratio.counter);
                baseline = counterOf(b->second, ratio.counter);
                measuredText = measured ? countText(*measured) : "-";
                baselineText = baseline ? countText(*baseline) : "-";
            } else {
                measured = m->second.nanoseconds;
                baseline = b->second.nanoseconds;
                measuredText = timeText(*measured);
                baselineText = timeText(*baseline);
            }
            const std::optional<double> value =
                measured && baseline ? figureOf(ratio.figure, *measured, *baseline) : std::nullopt;
            const std::optional<bool> met = value ? goalMet(ratio.goal, *value) : std::nullopt;
            std::printf("%-36s %-36s %12s %12s %8s %8s %4s\n", ratio.measured.c_str(), ratio.baseline.c_str(),
                        measuredText.c_str(), baselineText.c_str(), value ? fixed(*value).c_str() : "-",
                        ratio.goal.c_str(), met ? (*met ? "yes" : "NO") : "");
        }
        std::fflush(stdout);
    }

private:
    struct Figures {
        double nanoseconds = 0;
        std::map<std::string, double> counters;
        bool fromMedian = false;
    };

    static std::string nameOf(const Run& run) {
        return run.run_name.args.empty() ? run.run_name.function_name
                                         : run.run_name.function_name + "/" + run.run_name.args;
    }

    static std::optional<double> counterOf(const Figures& figures, const std::string& name) {
        const auto found = figures.counters.find(name);
        return found == figures.counters.end() ? std::nullopt : std::optional<double>(found->second);
    }

    static std::optional<double> figureOf(BenchFigure figure, double measured, double baseline) {
        switch (figure) {
        case BenchFigure::TimeRatio:
        case BenchFigure::CounterRatio:
            return baseline > 0 ? std::optional<double>(measured / baseline) : std::nullopt;
        case BenchFigure::Throughput:
            return measured > 0 ? std::optional<double>(baseline / measured) : std::nullopt;
        case BenchFigure::Overhead:
            return measured > 0 ? std::optional<double>((measured - baseline) / measured) : std::nullopt;
        case BenchFigure::Excess:
            return baseline > 0 ? std::optional<double>(measured / baseline - 1) : std::nullopt;
        }
        return std::nullopt;
    }

    // Goals that are not a comparison with a number ("report") are shown, not checked.
    static std::optional<bool> goalMet(const std::string& goal, double value) {
        for (const char* op : {"<=", ">=", "<", ">"}) {
            const std::string prefix = op;
            if (goal.compare(0, prefix.size(), prefix) != 0) {
                continue;
            }
            char* end = nullptr;
            const std::string rest = goal.substr(prefix.size());
            const double limit = std::strtod(rest.c_str(), &end);
            if (end == rest.c_str()) {
                return std::nullopt;
            }
            if (prefix == "<=") {
                return value <= limit;
            }
            if (prefix == ">=") {
                return value >= limit;
            }
            return prefix == "<" ? value < limit : value > limit;
        }
        return std::nullopt;
    }

    static std::string fixed(double value) {
        char text[32];
        std::snprintf(text, sizeof text, "%.3f", value);
        return text;
    }

    // Times from nanoseconds to seconds, in the unit that keeps them readable.
    static std::string timeText(double nanoseconds) {
        static const struct {
            double scale;
            const char* unit;
        } units[] = {{1e9, "s"}, {1e6, "ms"}, {1e3, "us"}, {1, "ns"}};
        for (const auto& unit : units) {
            if (std::fabs(nanoseconds) >= unit.scale || unit.scale == 1) {
                char text[32];
                std::snprintf(text, sizeof text, "%.4g %s", nanoseconds / unit.scale, unit.unit);
                return text;
            }
        }
        return {};
    }

    // Counters as Google Benchmark shows them: 1024-based prefixes for large values.
    static std::string countText(double value) {
        static const char* const prefixes[] = {"", "Ki", "Mi", "Gi", "Ti"};
        int index = 0;
        while (std::fabs(value) >= 1024 && index < 4) {
            value /= 1024;
            ++index;
        }
        char text[32];
        std::snprintf(text, sizeof text, "%.4g%s", value, prefixes[index]);
        return text;
    }

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
    std::map<std::string, Figures> figures_;
};

// Flags for benchmarks that repeat: the repetitions of all of them run in
// one random order, and the tables show their medians.
inline std::vector<std::string> interleavedRepetitionFlags() {
    return {"--benchmark_enable_random_interleaving=true", "--benchmark_display_aggregates_only=true"};
}

// `defaults` are Google Benchmark flags the program runs with unless its
// command line sets them otherwise (benchmarks of long operations on a
// shared machine repeat in a random order, say, so that a busy moment
// does not fall on one side of a comparison only).
inline int runBenchmarksWithRatios(int argc, char** argv, std::vector<BenchRatio> ratios,
                                   std::vector<std::string> defaults = {}) {
    std::vector<char*> arguments{argv[0]};
    for (std::string& flag : defaults) {
        arguments.push_back(flag.data());
    }
    arguments.insert(arguments.end(), argv + 1, argv + argc);
    int count = static_cast<int>(arguments.size());
    arguments.push_back(nullptr);
    benchmark::Initialize(&count, arguments.data());
    if (benchmark::ReportUnrecognizedArguments(count, arguments.data())) {
        return 1;
    }
    BenchRatioReporter reporter(std::move(ratios));
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
