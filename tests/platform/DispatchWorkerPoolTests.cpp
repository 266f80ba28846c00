#include "platform/DispatchGroup.h"
#include "platform/DispatchQueue.h"
#include "platform/DispatchSemaphore.h"
#include "platform/DispatchWorkerPool.h"
#include "testing/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <system_error>
#include <thread>

using namespace platform;
using namespace std::chrono_literals;
using namespace Qt::Literals::StringLiterals;

namespace {

constexpr auto kWait = 10s;

// Keeps a core busy for the given time, as computing work does.
void compute(std::chrono::microseconds duration) {
    const auto end = std::chrono::steady_clock::now() + duration;
    while (std::chrono::steady_clock::now() < end) {
    }
}

} // namespace

TEST(DispatchWorkerPoolTests, ComputingWorkKeepsOneThreadPerCore) {
    DispatchWorkerPool pool(2);
    auto group = DispatchGroup::make();
    for (int i = 0; i < 300; ++i) {
        group->enter();
        pool.submit([group] {
            compute(2ms);
            group->leave();
        });
    }
    ASSERT_TRUE(group->wait(30s));
    EXPECT_EQ(pool.mostThreads(), 2);
}

TEST(DispatchWorkerPoolTests, WaitsDeeperThanTheCoresStillComplete) {
    // Every item but the last waits for the last, which can only start on a
    // thread the pool adds because the others declared their waits.
    constexpr int kItems = 2 + 3;
    auto released = DispatchSemaphore::make(0);
    auto group = DispatchGroup::make();
    std::atomic<int> arrived{0};
    // Last, so that it closes (and waits for its items) before what they use goes.
    DispatchWorkerPool pool(2);
    for (int i = 0; i < kItems; ++i) {
        group->enter();
        pool.submit([&, group] {
            if (++arrived == kItems) {
                for (int k = 1; k < kItems; ++k) {
                    released->signal();
                }
            } else {
                released->wait();
            }
            group->leave();
        });
    }
    const bool completed = group->wait(kWait);
    if (!completed) {
        for (int k = 1; k < kItems; ++k) {
            released->signal(); // lets the stuck items go, so that the pool can close
        }
    }
    EXPECT_TRUE(completed) << arrived << " of " << kItems << " items started";
}

TEST(DispatchWorkerPoolTests, SynchronousHopsOntoABusyQueueDoNotStarveThePool) {
    // More hops than the shared pool has cores wait on a queue whose own work
    // waits in turn for the main thread to see them all waiting.
    const int hops = DispatchWorkerPool::shared().busyThreadLimit() + 2;
    auto busy = DispatchQueue::make(u"busy"_s);
    auto gate = DispatchSemaphore::make(0);
    busy->async([gate] { gate->wait(); });
    auto group = DispatchGroup::make();
    // Shared with the hops, which may outlive a failed test.
    auto waiting = std::make_shared<std::atomic<int>>(0);
    auto served = std::make_shared<std::atomic<int>>(0);
    auto hoppers = DispatchQueue::make(u"hoppers"_s, {.concurrent = true});
    for (int i = 0; i < hops; ++i) {
        group->async(hoppers, [busy, waiting, served] {
            ++*waiting;
            busy->sync([served] { ++*served; });
        });
    }
    const bool allWaiting = testing_support::waitUntil([&] { return *waiting == hops; }, kWait);
    gate->signal();
    ASSERT_TRUE(group->wait(kWait));
    EXPECT_TRUE(allWaiting) << *waiting << " of " << hops << " hops started";
    EXPECT_EQ(*served, hops);
}

TEST(DispatchWorkerPoolTests, RefusedThreadsLoseNoWork) {
    std::atomic<int> attempts{0};
    DispatchWorkerPool pool(4, [&attempts](std::function<void()> body) {
        if (++attempts > 1) {
            throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
        }
        DispatchWorkerPool::startDetachedThread(std::move(body));
    });
    auto group = DispatchGroup::make();
    std::atomic<int> ran{0};
    // The first item holds the only thread until everything is queued, so
    // every later submission finds work waiting and asks for another thread.
    std::promise<void> queued;
    group->enter();
    pool.submit([&, group, allQueued = queued.get_future().share()] {
        allQueued.wait();
        ++ran;
        group->leave();
    });
    for (int i = 1; i < 50; ++i) {
        group->enter();
        pool.submit([&, group] {
            ++ran;
            group->leave();
        });
    }
    queued.set_value();
    ASSERT_TRUE(group->wait(kWait));
    EXPECT_EQ(ran, 50);
    EXPECT_GT(attempts, 1) << "the pool never asked for a second thread";
    EXPECT_EQ(pool.threadCount(), 1);
}
