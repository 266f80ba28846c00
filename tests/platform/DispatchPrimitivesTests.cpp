#include "platform/DispatchGroup.h"
#include "platform/DispatchQueue.h"
#include "platform/DispatchSemaphore.h"
#include "platform/DispatchSource.h"
#include "platform/DispatchTimerScheduler.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace platform;
using namespace std::chrono_literals;
using namespace Qt::Literals::StringLiterals;

namespace {
constexpr auto kWait = 10s;
constexpr auto kQuietPeriod = 100ms; // how long we watch for something that must not happen
} // namespace

TEST(DispatchGroupTests, NotifyAndWaitAreServedWhenTheLastMemberLeaves) {
    auto group = DispatchGroup::make();
    auto queue = DispatchQueue::make(u"notify"_s);
    auto notified = DispatchSemaphore::make(0);
    std::atomic<int> notifications{0};
    std::atomic<bool> onQueue{false};
    auto notification = [&] {
        onQueue = queue->isCurrent();
        ++notifications;
        notified->signal();
    };
    group->enter();
    group->enter();
    EXPECT_FALSE(group->wait(20ms));
    group->notify(queue, notification);
    group->leave();
    EXPECT_FALSE(group->wait(0ms));
    group->leave();
    ASSERT_TRUE(notified->wait(kWait));
    EXPECT_TRUE(group->wait(0ms));
    EXPECT_TRUE(onQueue);

    group->notify(queue, notification); // an empty group notifies at once
    ASSERT_TRUE(notified->wait(kWait));
    EXPECT_EQ(notifications, 2);
}

TEST(DispatchGroupTests, AsyncWorkBelongsToTheGroupUntilItFinishes) {
    auto group = DispatchGroup::make();
    auto queue = DispatchQueue::make(u"members"_s, {.concurrent = true});
    auto gate = DispatchSemaphore::make(0);
    std::atomic<int> finished{0};
    for (int i = 0; i < 5; ++i) {
        group->async(queue, [&] {
            EXPECT_TRUE(gate->wait(kWait));
            ++finished;
        });
    }
    EXPECT_FALSE(group->wait(20ms));
    for (int i = 0; i < 5; ++i) {
        gate->signal();
    }
    ASSERT_TRUE(group->wait(kWait));
    EXPECT_EQ(finished, 5);
}

TEST(DispatchGroupDeathTest, LeavingMoreOftenThanEnteringAborts) {
    EXPECT_DEATH(
        {
            auto group = DispatchGroup::make();
            group->enter();
            group->leave();
            group->leave();
        },
        "unbalanced call");
}

TEST(DispatchSemaphoreTests, CountsUnitsAndTimesOutWithoutOne) {
    auto semaphore = DispatchSemaphore::make(2);
    EXPECT_TRUE(semaphore->wait(0ms));
    EXPECT_TRUE(semaphore->wait(0ms));
    EXPECT_FALSE(semaphore->wait(20ms));
    semaphore->signal();
    semaphore->signal();
    EXPECT_TRUE(semaphore->wait(0ms));
    EXPECT_TRUE(semaphore->wait(0ms));
    EXPECT_FALSE(semaphore->wait(0ms));

    std::atomic<bool> woke{false};
    std::thread waiter([&] { woke = semaphore->wait(kWait); }); // blocks until we signal
    semaphore->signal();
    waiter.join();
    EXPECT_TRUE(woke);
}

TEST(DispatchSourceTests, OneShotTimerFiresOnceOnItsQueueAfterResume) {
    auto queue = DispatchQueue::make(u"timer"_s);
    auto source = DispatchSource::makeTimer(queue);
    auto fired = DispatchSemaphore::make(0);
    std::atomic<int> fires{0};
    std::atomic<bool> onQueue{false};
    source->setEventHandler([&] {
        onQueue = queue->isCurrent() && source->data() == 1;
        ++fires;
        fired->signal();
    });
    source->setTimer(DispatchSource::WallClock::now(), std::nullopt);
    EXPECT_FALSE(fired->wait(kQuietPeriod)) << "a source starts suspended";
    source->resume();
    ASSERT_TRUE(fired->wait(kWait));
    EXPECT_FALSE(fired->wait(kQuietPeriod)) << "a one-shot timer fired again";
    EXPECT_EQ(fires, 1);
    EXPECT_TRUE(onQueue);
}

TEST(DispatchSourceTests, RepeatingTimerFiresUntilCancelledThenRunsTheCancelHandler) {
    auto queue = DispatchQueue::make(u"repeating"_s);
    auto source = DispatchSource::makeTimer(queue);
    auto thirdFire = DispatchSemaphore::make(0), cancelled = DispatchSemaphore::make(0);
    std::atomic<int> fires{0};
    int firesAtCancel = -1;
    bool cancelOnQueue = false;
    source->setEventHandler([&] {
        if (++fires == 3) {
            thirdFire->signal();
        }
    });
    source->setCancelHandler([&] {
        firesAtCancel = fires;
        cancelOnQueue = queue->isCurrent();
        cancelled->signal();
    });
    source->setTimer(DispatchSource::MonotonicClock::now(), 10ms);
    source->resume();
    ASSERT_TRUE(thirdFire->wait(kWait));
    source->cancel();
    EXPECT_TRUE(source->isCancelled());
    ASSERT_TRUE(cancelled->wait(kWait));
    EXPECT_TRUE(cancelOnQueue);
    // Handlers run on the serial queue: once the cancel handler ran, nothing more may come.
    auto quiet = DispatchSemaphore::make(0);
    queue->after(kQuietPeriod, [&] { quiet->signal(); });
    ASSERT_TRUE(quiet->wait(kWait));
    EXPECT_EQ(fires, firesAtCancel);
}

TEST(DispatchSourceTests, SourceDroppedBeforeItsDeadlineNeverFires) {
    auto fired = DispatchSemaphore::make(0);
    {
        auto source = DispatchSource::makeTimer(DispatchQueue::make(u"dropped"_s));
        source->setEventHandler([fired] { fired->signal(); });
        source->setTimer(DispatchSource::MonotonicClock::now() + 20ms, 10ms);
        source->resume();
    }
    EXPECT_FALSE(fired->wait(kQuietPeriod));
}

TEST(DispatchSourceTests, RepeatingTimerStartedLongAgoFiresOnceThenKeepsItsPeriod) {
    // Ten years of 50 ms periods: fired, or even counted, one by one they
    // would hold up every timer of the process.
    constexpr auto kPeriod = 50ms;
    using Clock = std::chrono::steady_clock;
    auto repeating = DispatchSource::makeTimer(DispatchQueue::make(u"long ago"_s));
    auto thirdRun = DispatchSemaphore::make(0);
    std::vector<unsigned long> merged;
    std::vector<Clock::time_point> runs;
    repeating->setEventHandler([&] {
        if (runs.size() == 3) {
            return; // the test reads what was recorded
        }
        merged.push_back(repeating->data());
        runs.push_back(Clock::now());
        if (runs.size() == 3) {
            thirdRun->signal();
        }
    });
    auto oneShot = DispatchSource::makeTimer(DispatchQueue::make(u"meanwhile"_s));
    auto oneShotRan = DispatchSemaphore::make(0);
    Clock::time_point oneShotAt;
    oneShot->setEventHandler([&] {
        oneShotAt = Clock::now();
        oneShotRan->signal();
    });

    const auto start = Clock::now();
    repeating->setTimer(DispatchSource::WallClock::now() - std::chrono::hours(24 * 3652), kPeriod);
    repeating->resume();
    oneShot->setTimer(DispatchSource::MonotonicClock::now() + 20ms, std::nullopt);
    oneShot->resume();

    ASSERT_TRUE(oneShotRan->wait(kWait));
    ASSERT_TRUE(thirdRun->wait(kWait));
    repeating->cancel();
    // Generous bounds: a catch-up would take many seconds.
    EXPECT_LT(oneShotAt - start, 2s) << "another timer was held up";
    EXPECT_LT(runs[0] - start, 2s);
    EXPECT_EQ(merged[0], 1u) << "the missed periods come as one fire";
    // The third run's deadline lies one full period after the second's,
    // which the first run preceded.
    EXPECT_GE(runs[2] - runs[0], kPeriod);
}

TEST(DispatchTimerSchedulerTests, DelaysIgnoreTheWallClockWhileDatesFollowIt) {
    using WallClock = DispatchTimerScheduler::WallClock;
    const auto origin = WallClock::now();
    std::atomic<WallClock::duration::rep> shift{0};
    const auto wallNow = [&] { return origin + WallClock::duration(shift.load()); };
    auto delayFired = DispatchSemaphore::make(0), dateFired = DispatchSemaphore::make(0);
    std::atomic<WallClock::duration::rep> dateFiredAt{0};
    DispatchTimerScheduler scheduler(wallNow);

    const auto date = origin + 30ms;
    scheduler.schedule(date, [&] {
        dateFiredAt = (wallNow() - origin).count();
        dateFired->signal();
    });
    scheduler.schedule(DispatchTimerScheduler::monotonicNow() + 30ms, [&] { delayFired->signal(); });
    shift = WallClock::duration(-std::chrono::hours(1)).count(); // the clock is set back

    EXPECT_TRUE(delayFired->wait(kWait)) << "a delay moved with the wall clock";
    shift = WallClock::duration(40ms).count();
    ASSERT_TRUE(dateFired->wait(kWait));
    EXPECT_GE(WallClock::duration(dateFiredAt.load()), 30ms) << "a date fired before the clock reached it";
}
