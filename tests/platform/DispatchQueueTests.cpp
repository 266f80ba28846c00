#include "platform/DispatchGroup.h"
#include "platform/DispatchQueue.h"
#include "platform/DispatchSemaphore.h"
#include "platform/MainRunLoop.h"
#include "testing/TestSupport.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <atomic>
#include <numeric>
#include <thread>
#include <vector>

using namespace platform;
using namespace std::chrono_literals;
using namespace Qt::Literals::StringLiterals;

namespace {

constexpr auto kWait = 10s;

// Counts the items running at once and remembers the highest count.
struct OverlapProbe {
    std::atomic<int> inside{0};
    std::atomic<int> most{0};
    void run() {
        const int now = ++inside;
        for (int seen = most; now > seen && !most.compare_exchange_weak(seen, now);) {
        }
        std::this_thread::yield(); // widens the window for a second item to sneak in
        --inside;
    }
};

} // namespace

TEST(DispatchQueueTests, SerialQueueKeepsEachSubmittersOrderAndRunsOneItemAtATime) {
    auto queue = DispatchQueue::make(u"serial"_s);
    constexpr int kThreads = 6, kItems = 150; // several drains' worth
    std::vector<std::vector<int>> seen(kThreads);
    OverlapProbe probe;
    auto group = DispatchGroup::make();
    std::vector<std::thread> submitters;
    for (int t = 0; t < kThreads; ++t) {
        submitters.emplace_back([&, t] {
            for (int i = 0; i < kItems; ++i) {
                group->async(queue, [&, t, i] {
                    probe.run();
                    seen[t].push_back(i);
                });
            }
        });
    }
    for (auto& submitter : submitters) {
        submitter.join();
    }
    ASSERT_TRUE(group->wait(kWait));
    EXPECT_EQ(probe.most, 1);
    std::vector<int> expected(kItems);
    std::iota(expected.begin(), expected.end(), 0);
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(seen[t], expected) << "submitter " << t;
    }
}

TEST(DispatchQueueTests, SyncWaitsForEarlierWorkAndReturnsAfterItsOwnRan) {
    auto queue = DispatchQueue::make(u"sync"_s);
    auto gate = DispatchSemaphore::make(0);
    std::vector<int> order;
    queue->async([&] {
        EXPECT_TRUE(gate->wait(kWait));
        order.push_back(1);
    });
    std::thread opener([&] { gate->signal(); });
    queue->sync([&] { order.push_back(2); });
    opener.join();
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    queue->sync([&] { order.push_back(3); }); // an idle queue
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

TEST(DispatchQueueTests, ConcurrentQueueRunsItemsAtTheSameTime) {
    auto queue = DispatchQueue::make(u"concurrent"_s, {.concurrent = true});
    auto first = DispatchSemaphore::make(0), second = DispatchSemaphore::make(0);
    std::atomic<bool> firstMetSecond{false}, secondMetFirst{false};
    auto group = DispatchGroup::make();
    // Each item waits for the other: only parallel execution lets both succeed.
    group->async(queue, [&] {
        first->signal();
        firstMetSecond = second->wait(kWait);
    });
    group->async(queue, [&] {
        second->signal();
        secondMetFirst = first->wait(kWait);
    });
    ASSERT_TRUE(group->wait(2 * kWait));
    EXPECT_TRUE(firstMetSecond && secondMetFirst);
}

TEST(DispatchQueueTests, BarrierWaitsForEarlierItemsAndHoldsBackLaterOnes) {
    for (const bool synchronous : {false, true}) {
        SCOPED_TRACE(synchronous ? "barrierSync" : "barrierAsync");
        auto queue = DispatchQueue::make(u"barrier"_s, {.concurrent = true});
        auto release = DispatchSemaphore::make(0);
        auto group = DispatchGroup::make();
        std::atomic<int> earlierDone{0}, laterTooSoon{0};
        std::atomic<bool> barrierDone{false};
        int earlierSeenByBarrier = -1;
        for (int i = 0; i < 4; ++i) {
            group->async(queue, [&] {
                EXPECT_TRUE(release->wait(kWait));
                ++earlierDone;
            });
        }
        auto submitLater = [&] {
            for (int i = 0; i < 4; ++i) {
                group->async(queue, [&] { laterTooSoon += barrierDone ? 0 : 1; });
            }
        };
        auto releaseEarlier = [&] {
            for (int i = 0; i < 4; ++i) {
                release->signal();
            }
        };
        if (synchronous) {
            std::thread releaser(releaseEarlier);
            queue->barrierSync([&] {
                earlierSeenByBarrier = earlierDone;
                submitLater(); // while the barrier holds the queue
                barrierDone = true;
            });
            releaser.join();
        } else {
            group->enter();
            queue->barrierAsync([&] {
                earlierSeenByBarrier = earlierDone;
                barrierDone = true;
                group->leave();
            });
            submitLater(); // these must wait although the earlier items block
            releaseEarlier();
        }
        ASSERT_TRUE(group->wait(kWait));
        EXPECT_EQ(earlierSeenByBarrier, 4);
        EXPECT_EQ(laterTooSoon, 0);
    }
}

TEST(DispatchQueueTests, QueuesWithATargetRunAsWorkOfTheTarget) {
    auto target = DispatchQueue::make(u"target"_s);
    auto first = DispatchQueue::make(u"first"_s, {}, target);
    auto second = DispatchQueue::make(u"second"_s, {}, target);
    OverlapProbe probe;
    auto group = DispatchGroup::make();
    for (int i = 0; i < 300; ++i) {
        group->async(i % 3 == 0 ? target : i % 3 == 1 ? first : second, [&] { probe.run(); });
    }
    ASSERT_TRUE(group->wait(kWait));
    EXPECT_EQ(probe.most, 1);

    bool firstCurrent = false, targetCurrent = false, secondCurrent = true;
    std::shared_ptr<DispatchQueue> innermost;
    first->sync([&] {
        firstCurrent = first->isCurrent();
        targetCurrent = target->isCurrent();
        secondCurrent = second->isCurrent();
        innermost = DispatchQueue::current();
    });
    EXPECT_TRUE(firstCurrent && targetCurrent);
    EXPECT_FALSE(secondCurrent);
    EXPECT_EQ(innermost, first);

    // A concurrent target running the caller can still run the hop's work.
    auto shared = DispatchQueue::make(u"shared"_s, {.concurrent = true});
    auto onShared = DispatchQueue::make(u"on shared"_s, {}, shared);
    bool hopped = false;
    shared->sync([&] { onShared->sync([&] { hopped = onShared->isCurrent(); }); });
    EXPECT_TRUE(hopped);
}

TEST(DispatchQueueTests, CurrentQueueLabelAndQualityOfService) {
    auto queue = DispatchQueue::make(u"com.kestrel.tests.utility"_s,
                                     {.concurrent = true, .qos = QualityOfService::Utility});
    EXPECT_EQ(queue->label(), u"com.kestrel.tests.utility"_s);
    EXPECT_EQ(queue->qos(), QualityOfService::Utility);
    EXPECT_TRUE(queue->isConcurrent());
    EXPECT_EQ(DispatchQueue::global(QualityOfService::Background)->qos(), QualityOfService::Background);
    EXPECT_TRUE(DispatchQueue::main()->isMain());

    EXPECT_EQ(DispatchQueue::current(), nullptr);
    std::shared_ptr<DispatchQueue> seen;
    auto done = DispatchSemaphore::make(0);
    queue->async([&] {
        seen = queue->isCurrent() ? DispatchQueue::current() : nullptr;
        done->signal();
    });
    ASSERT_TRUE(done->wait(kWait));
    EXPECT_EQ(seen, queue);
    EXPECT_FALSE(queue->isCurrent());
}

TEST(DispatchQueueTests, AfterRunsOnTheQueueNoEarlierThanItsDelay) {
    auto queue = DispatchQueue::make(u"after"_s);
    std::atomic<bool> submissionReturned{false};
    bool sawReturn = false, onQueue = false;
    std::chrono::steady_clock::duration waited{};
    auto done = DispatchSemaphore::make(0);
    const auto start = std::chrono::steady_clock::now();
    queue->after(50ms, [&] {
        waited = std::chrono::steady_clock::now() - start;
        sawReturn = submissionReturned;
        onQueue = queue->isCurrent();
        done->signal();
    });
    submissionReturned = true;
    ASSERT_TRUE(done->wait(kWait));
    EXPECT_TRUE(sawReturn && onQueue);
    EXPECT_GE(waited, 50ms);
}

TEST(DispatchQueueDeathTest, SyncOntoTheQueueRunningTheCallerAborts) {
    EXPECT_DEATH(
        {
            auto queue = DispatchQueue::make(u"self"_s);
            queue->sync([&] { queue->sync([] {}); });
        },
        "synchronous work submitted to queue");
    EXPECT_DEATH( // through a target: the target's work is what runs
        {
            auto target = DispatchQueue::make(u"target"_s);
            DispatchQueue::make(u"inner"_s, {}, target)->sync([&] { target->sync([] {}); });
        },
        "synchronous work submitted to queue \"target\"");
    EXPECT_DEATH( // onto a queue whose work would have to run as the caller's
        {
            auto target = DispatchQueue::make(u"target"_s);
            auto inner = DispatchQueue::make(u"inner"_s, {}, target);
            auto innermost = DispatchQueue::make(u"innermost"_s, {}, inner);
            target->sync([&] { innermost->sync([] {}); });
        },
        "synchronous work submitted to queue \"innermost\"");
    EXPECT_DEATH( // a barrier inside a barrier of the same concurrent queue
        {
            auto concurrent = DispatchQueue::make(u"concurrent"_s, {.concurrent = true});
            auto onIt = DispatchQueue::make(u"on it"_s, {}, concurrent);
            concurrent->barrierSync([&] { onIt->sync([] {}); });
        },
        "synchronous work submitted to queue \"on it\"");
}

TEST(DispatchQueueTests, MainQueueRunsOnTheThreadSpinningTheLoop) {
    ASSERT_EQ(QCoreApplication::instance(), nullptr);
    auto main = DispatchQueue::main();
    std::atomic<bool> ran{false};
    std::thread::id ranOn;
    main->async([&] {
        ranOn =
            main->isCurrent() && MainRunLoop::isMainThread() ? std::this_thread::get_id() : std::thread::id();
        ran = true;
    });
    ASSERT_TRUE(MainRunLoop::runUntil([&] { return ran.load(); }, kWait));
    EXPECT_EQ(ranOn, std::this_thread::get_id());

    // A worker's sync onto the main queue is served while this thread spins.
    std::atomic<bool> workerDone{false};
    std::thread::id syncRanOn;
    std::thread worker([&] {
        main->sync([&] { syncRanOn = std::this_thread::get_id(); });
        workerDone = true;
    });
    if (!testing_support::waitUntil([&] { return workerDone.load(); }, kWait)) {
        worker.detach(); // still blocked: joining would hang the program
        FAIL() << "a worker's sync onto the main queue was never served";
    }
    worker.join();
    EXPECT_EQ(syncRanOn, std::this_thread::get_id());
}

TEST(DispatchQueueTests, TheMainThreadIsTheThreadTheProcessStartedWith) {
    // The test program's own thread, which has not necessarily spun the loop yet.
    EXPECT_TRUE(MainRunLoop::isMainThread());
    bool elsewhere = true;
    std::thread([&] { elsewhere = MainRunLoop::isMainThread(); }).join();
    EXPECT_FALSE(elsewhere);
    std::atomic<bool> onWorker{true};
    auto done = DispatchSemaphore::make(0);
    DispatchQueue::global()->async([&] {
        onWorker = MainRunLoop::isMainThread();
        done->signal();
    });
    ASSERT_TRUE(done->wait(kWait));
    EXPECT_FALSE(onWorker);
}

TEST(DispatchQueueDeathTest, RunningTheMainLoopOffTheMainThreadAborts) {
    EXPECT_DEATH(std::thread([] { MainRunLoop::runFor(10ms); }).join(),
                 "MainRunLoop::runUntil called off the main thread");
}
