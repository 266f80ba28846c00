// Costs of the support library's core against baselines measured in the same
// run: an asynchronous hop onto a serial queue against a bare condition
// variable handoff between two threads, and a proactor serving 1,000 waiters
// of one argument against 1,000 plain callback calls.

#include "platform/DispatchGroup.h"
#include "platform/DispatchSemaphore.h"
#include "support/BRProactor.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace {

using namespace std::chrono_literals;

// A thread that runs one job at a time, handed over with a condition variable.
class HandoffThread {
public:
    HandoffThread() : thread_([this] { loop(); }) {}
    ~HandoffThread() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        wake_.notify_one();
        thread_.join();
    }
    void runAndWait(const std::function<void()>& job) {
        std::unique_lock lock(mutex_);
        job_ = &job;
        done_ = false;
        wake_.notify_one();
        finished_.wait(lock, [this] { return done_; });
    }

private:
    void loop() {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return stop_ || job_; });
            if (stop_) {
                return;
            }
            (*job_)();
            job_ = nullptr;
            done_ = true;
            finished_.notify_one();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable finished_;
    const std::function<void()>* job_ = nullptr;
    bool done_ = false;
    bool stop_ = false;
    std::thread thread_;
};

void BM_ConditionVariableHandoff(benchmark::State& state) {
    HandoffThread worker;
    std::uint64_t counter = 0;
    const std::function<void()> job = [&counter] { ++counter; };
    for (auto _ : state) {
        worker.runAndWait(job);
    }
    benchmark::DoNotOptimize(counter);
}
BENCHMARK(BM_ConditionVariableHandoff)->UseRealTime();

void BM_SerialQueueAsyncHop(benchmark::State& state) {
    auto queue = platform::DispatchQueue::make(QStringLiteral("bench.serial"));
    auto done = platform::DispatchSemaphore::make();
    std::uint64_t counter = 0;
    for (auto _ : state) {
        queue->async([&counter, done] {
            ++counter;
            done->signal();
        });
        done->wait();
    }
    benchmark::DoNotOptimize(counter);
}
BENCHMARK(BM_SerialQueueAsyncHop)->UseRealTime();

constexpr int kWaiters = 1000;

void BM_ThousandPlainCallbacks(benchmark::State& state) {
    std::vector<std::function<void(int)>> callbacks;
    std::atomic<int> served{0};
    for (int i = 0; i < kWaiters; ++i) {
        callbacks.emplace_back([&served](int value) { served.fetch_add(value, std::memory_order_relaxed); });
    }
    for (auto _ : state) {
        for (const auto& callback : callbacks) {
            callback(1);
        }
    }
    benchmark::DoNotOptimize(served.load());
}
BENCHMARK(BM_ThousandPlainCallbacks)->UseRealTime();

class BenchDelegate : public BRProactorDelegate {};

void BM_ProactorThousandWaiters(benchmark::State& state) {
    auto delegate = std::make_shared<BenchDelegate>();
    auto proactor = BRProactor::makeWithDelegate(delegate);
    auto gate = platform::DispatchSemaphore::make();
    auto group = proactor->addGroupWithID(QStringLiteral("bench"), true,
                                          [gate](const std::shared_ptr<BRProactorAction>& action) {
                                              gate->wait();
                                              action->setObject(1, QStringLiteral("value"));
                                              action->complete();
                                          });
    std::int64_t argument = 0;
    for (auto _ : state) {
        auto action = group->actionForArgument(platform::Value(++argument));
        auto served = platform::DispatchGroup::make();
        for (int i = 0; i < kWaiters; ++i) {
            served->enter();
            action->addCompletionHandler(
                [served](const std::shared_ptr<BRProactorResult>&) { served->leave(); });
        }
        gate->signal();
        served->wait();
    }
}
BENCHMARK(BM_ProactorThousandWaiters)->UseRealTime()->Unit(benchmark::kMicrosecond);

// Prints each measured figure's ratio to its baseline after the usual table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            nanoseconds_[run.benchmark_name()] = run.GetAdjustedRealTime() * unitToNanoseconds(run.time_unit);
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\n%-30s %-30s %12s %12s %8s %8s\n", "measured", "baseline", "measured ns", "baseline ns",
                    "ratio", "goal");
        ratio("BM_SerialQueueAsyncHop", "BM_ConditionVariableHandoff", "<= 3");
        ratio("BM_ProactorThousandWaiters", "BM_ThousandPlainCallbacks", "report");
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
    void ratio(const std::string& measured, const std::string& baseline, const char* goal) {
        const auto m = nanoseconds_.find(measured + "/real_time");
        const auto b = nanoseconds_.find(baseline + "/real_time");
        if (m == nanoseconds_.end() || b == nanoseconds_.end() || b->second <= 0) {
            return;
        }
        std::printf("%-30s %-30s %12.0f %12.0f %8.2f %8s\n", measured.c_str(), baseline.c_str(), m->second,
                    b->second, m->second / b->second, goal);
    }
    std::map<std::string, double> nanoseconds_;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
