// Costs of the support library's core against baselines measured in the same
// run: an asynchronous hop onto a serial queue against a bare condition
// variable handoff between two threads, a proactor serving 1,000 waiters
// of one argument against 1,000 plain callback calls, and the dispatch
// pool running a burst of computing work against one plain thread per core
// (with the number of threads each used).

#include "BenchRatios.h"
#include "platform/DispatchGroup.h"
#include "platform/DispatchSemaphore.h"
#include "platform/DispatchWorkerPool.h"
#include "support/BRProactor.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

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

constexpr int kBurstItems = 2000;
constexpr auto kBurstItemWork = 200us;

int coreCount() {
    return std::max(2, static_cast<int>(std::thread::hardware_concurrency()));
}

void computeOneBurstItem() {
    const auto end = std::chrono::steady_clock::now() + kBurstItemWork;
    while (std::chrono::steady_clock::now() < end) {
    }
}

void BM_ComputingBurstOnThreadPerCore(benchmark::State& state) {
    for (auto _ : state) {
        std::atomic<int> next{0};
        std::vector<std::thread> threads;
        for (int i = 0; i < coreCount(); ++i) {
            threads.emplace_back([&next] {
                while (next.fetch_add(1) < kBurstItems) {
                    computeOneBurstItem();
                }
            });
        }
        for (auto& thread : threads) {
            thread.join();
        }
    }
    state.counters["threads"] = coreCount();
}
BENCHMARK(BM_ComputingBurstOnThreadPerCore)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_ComputingBurstOnDispatchPool(benchmark::State& state) {
    platform::DispatchWorkerPool pool(coreCount());
    for (auto _ : state) {
        auto group = platform::DispatchGroup::make();
        for (int i = 0; i < kBurstItems; ++i) {
            group->enter();
            pool.submit([group] {
                computeOneBurstItem();
                group->leave();
            });
        }
        group->wait();
    }
    state.counters["threads"] = pool.mostThreads();
}
BENCHMARK(BM_ComputingBurstOnDispatchPool)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    return runBenchmarksWithRatios(argc, argv,
                                   {{"BM_SerialQueueAsyncHop", "BM_ConditionVariableHandoff", "<= 3"},
                                    {"BM_ProactorThousandWaiters", "BM_ThousandPlainCallbacks", "report"},
                                    {"BM_ComputingBurstOnDispatchPool", "BM_ComputingBurstOnThreadPerCore",
                                     "report", BenchFigure::Throughput},
                                    {"BM_ComputingBurstOnDispatchPool", "BM_ComputingBurstOnThreadPerCore",
                                     "<= 1", BenchFigure::CounterRatio, "threads"}});
}
