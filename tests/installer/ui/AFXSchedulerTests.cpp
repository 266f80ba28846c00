#include "ManualSchedulerClock.h"
#include "support/AFXScheduler.h"
#include "testing/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>

using testing_support::ManualSchedulerClock;
using testing_support::waitUntil;

namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

class AFXSchedulerTests : public testing::Test {
protected:
    std::shared_ptr<AFXScheduler> make(std::optional<AFXDateComponents> automatic,
                                       std::optional<AFXDateComponents> minimal,
                                       std::shared_ptr<BRReachability> reachability = nullptr) {
        return AFXScheduler::makeWithAutomaticTriggeringThreshold(
            automatic, minimal, std::move(reachability), [this] { ++runs_; }, clock_);
    }
    // Every run arms the next timer, so the armed count tells when the
    // scheduler's queue has handled a request; then its handler's run is
    // waited for.
    bool waitForRuns(int runs, int armed) {
        return waitUntil([&] { return clock_->armedCount() >= armed && runs_ >= runs; }, seconds(10)) &&
               runs_ == runs;
    }
    bool waitForArmed(int armed) {
        return waitUntil([&] { return clock_->armedCount() >= armed; }, seconds(10));
    }

    std::shared_ptr<ManualSchedulerClock> clock_ = std::make_shared<ManualSchedulerClock>();
    std::atomic<int> runs_ = 0;
};

TEST_F(AFXSchedulerTests, RunsOneAutomaticThresholdAfterCreationAndEveryThresholdAfter) {
    auto scheduler = make(AFXDateComponents{.second = 10}, std::nullopt);
    ASSERT_TRUE(waitForArmed(1));
    clock_->advance(milliseconds(9'999));
    clock_->advance(milliseconds(1));
    ASSERT_TRUE(waitForRuns(1, 2)) << "exactly one run at 10 s, none before";
    clock_->advance(seconds(10));
    EXPECT_TRUE(waitForRuns(2, 3));
}

TEST_F(AFXSchedulerTests, CalendarThresholdsFollowTheCalendar) {
    // From 31 January, one month later is the end of February, not 30 days.
    const QDateTime start = clock_->now();
    EXPECT_EQ(AFXDateComponents{.month = 1}.addedTo(start).date(), QDate(2026, 2, 28));
    EXPECT_EQ(AFXDateComponents{.year = 1}.addedTo(start).date(), QDate(2027, 1, 31));
    EXPECT_EQ((AFXDateComponents{.second = 2, .nanosecond = 500'000'000}.addedTo(start)),
              start.addMSecs(2'500));
}

TEST_F(AFXSchedulerTests, RequestsWaitForTheMinimalThresholdUnlessForcedOrInvalidated) {
    auto scheduler = make(AFXDateComponents{.minute = 30}, AFXDateComponents{.second = 10});
    ASSERT_TRUE(waitForArmed(1));
    scheduler->trigger();
    scheduler->forceTrigger();
    ASSERT_TRUE(waitForRuns(1, 2))
        << "the request inside the minimal threshold is refused, the forced run is not";

    clock_->advance(seconds(9));
    scheduler->trigger();
    scheduler->invalidateMinimalTriggeringThresholdOnce();
    scheduler->trigger();
    ASSERT_TRUE(waitForRuns(2, 3));

    clock_->advance(seconds(10));
    scheduler->trigger();
    EXPECT_TRUE(waitForRuns(3, 4)) << "once the minimal threshold has passed a request runs";

    // The forced run moved the automatic run: 30 minutes after the last run.
    clock_->advance(std::chrono::minutes(30) - seconds(1));
    scheduler->forceTrigger();
    EXPECT_TRUE(waitForRuns(4, 5)) << "the automatic run had not come yet";
}

TEST_F(AFXSchedulerTests, DisablingStopsAutomaticRunsAndEnablingCountsAnew) {
    auto scheduler = make(AFXDateComponents{.second = 10}, std::nullopt);
    ASSERT_TRUE(waitForArmed(1));
    scheduler->updateEnabled(false);
    scheduler->updateEnabled(false);
    clock_->advance(seconds(5));
    scheduler->updateEnabled(true);
    ASSERT_TRUE(waitForArmed(2));
    EXPECT_EQ(clock_->pendingCount(), 1) << "disabling dropped the first timer";
    clock_->advance(seconds(6));
    scheduler->forceTrigger();
    ASSERT_TRUE(waitForRuns(1, 3)) << "the timer armed on enabling was not due 11 s after creation";
    clock_->advance(seconds(10));
    EXPECT_TRUE(waitForRuns(2, 4));
}

TEST_F(AFXSchedulerTests, AnUnreachableNetworkHoldsRunsUntilItReturns) {
    auto reachability = BRReachability::makeForInternetConnection();
    reachability->reachabilityDidChange(BRReachability::NotReachable);
    auto scheduler = make(AFXDateComponents{.second = 10}, AFXDateComponents{.second = 5}, reachability);
    ASSERT_TRUE(waitForArmed(1));
    clock_->advance(seconds(10));
    scheduler->forceTrigger();
    // Enabling anew arms a timer once the queue has handled what came before.
    scheduler->updateEnabled(false);
    scheduler->updateEnabled(true);
    ASSERT_TRUE(waitForArmed(2));
    EXPECT_EQ(clock_->armedCount(), 2) << "neither the timer nor the forced run ran offline";
    EXPECT_EQ(runs_, 0);

    // Enabling restarted the minimal threshold too: the network's return
    // runs the handler once it has passed.
    clock_->advance(seconds(5));
    reachability->reachabilityDidChange(BRReachability::Reachable);
    EXPECT_TRUE(waitForRuns(1, 3));
}

TEST_F(AFXSchedulerTests, AReleasedSchedulerNeverRunsAgain) {
    auto scheduler = make(AFXDateComponents{.second = 10}, std::nullopt);
    ASSERT_TRUE(waitForArmed(1));
    scheduler.reset();
    EXPECT_EQ(clock_->pendingCount(), 0);
    clock_->advance(seconds(60));
    auto witness = make(AFXDateComponents{.second = 10}, std::nullopt);
    witness->forceTrigger();
    EXPECT_TRUE(waitForRuns(1, 3)) << "only the witness ran";
}

TEST_F(AFXSchedulerTests, PresetsKeepTheirThresholds) {
    const auto minutes = [](int m) { return AFXDateComponents{.minute = m}; };
    const auto hours = [](int h) { return AFXDateComponents{.hour = h}; };
    const auto same = [](const std::optional<AFXDateComponents>& a, const AFXDateComponents& b) {
        return a && a->year == b.year && a->month == b.month && a->day == b.day && a->hour == b.hour &&
               a->minute == b.minute && a->second == b.second;
    };
    auto statsd = AFXScheduler::statsdHeartbeatSchedulerWithHandler([] {});
    EXPECT_TRUE(same(statsd->automaticTriggeringThreshold(), minutes(5)));
    EXPECT_TRUE(same(statsd->minimalTriggeringThreshold(), minutes(5)));
    auto store = AFXScheduler::storeRefreshesSchedulerForEnvironment(QStringLiteral("default"), [] {});
    EXPECT_TRUE(same(store->automaticTriggeringThreshold(), minutes(30)));
    EXPECT_TRUE(same(store->minimalTriggeringThreshold(), minutes(20)));
    auto permissions = AFXScheduler::customerPermissionsInfoUpdatingSchedulerForEnvironment(
        QStringLiteral("default"), [] {});
    EXPECT_TRUE(same(permissions->automaticTriggeringThreshold(), AFXDateComponents{.year = 1}));
    EXPECT_TRUE(same(permissions->minimalTriggeringThreshold(), hours(1)));
    auto usage = AFXScheduler::usageReportsUpdatingSchedulerForS3Region(QStringLiteral("eu"), [] {});
    auto recommendations = AFXScheduler::recommendationsUpdatingSchedulerWithHandler([] {});
    for (const auto& scheduler : {usage, recommendations}) {
        EXPECT_TRUE(same(scheduler->automaticTriggeringThreshold(), hours(6)));
        EXPECT_TRUE(same(scheduler->minimalTriggeringThreshold(), hours(1)));
    }
}

} // namespace
