#pragma once

#include "AFXSchedulerClock.h"
#include "BRReachability.h"

#include <QDateTime>
#include <QUuid>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace platform {
class DispatchQueue;
}

// A calendar interval: added to a date field by field, so a day or a year
// follows the calendar rather than a fixed number of seconds.
struct AFXDateComponents {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    std::int64_t nanosecond = 0;

    QDateTime addedTo(const QDateTime& date) const;
};

// Runs a handler periodically: one automatic threshold after the last run,
// and on request, but never earlier than the minimal threshold after the
// last run, and only while the network is reachable (when a monitor is
// given). Its fields live on its internal queue; the public operations
// submit to it and return at once. The handler runs on the global utility
// queue.
class AFXScheduler : public std::enable_shared_from_this<AFXScheduler> {
public:
    using Handler = std::function<void()>;

    // Enabled right after creation: the first run comes one automatic
    // threshold later. No automatic threshold: never by itself; no minimal
    // threshold: requests are never refused; no monitor: always reachable.
    static std::shared_ptr<AFXScheduler> makeWithAutomaticTriggeringThreshold(
        std::optional<AFXDateComponents> automaticTriggeringThreshold,
        std::optional<AFXDateComponents> minimalTriggeringThreshold,
        std::shared_ptr<BRReachability> reachability, Handler handler,
        std::shared_ptr<AFXSchedulerClock> clock = AFXSchedulerClock::systemClock());
    // Every `interval` seconds, no minimal threshold, no monitor.
    static std::shared_ptr<AFXScheduler> makeWithTimeInterval(double interval, Handler handler);

    static std::shared_ptr<AFXScheduler> statsdHeartbeatSchedulerWithHandler(Handler handler);
    static std::shared_ptr<AFXScheduler> storeRefreshesSchedulerForEnvironment(const QString& environment,
                                                                               Handler handler);
    static std::shared_ptr<AFXScheduler> usageReportsUpdatingSchedulerForS3Region(const QString& region,
                                                                                  Handler handler);
    static std::shared_ptr<AFXScheduler>
    customerPermissionsInfoUpdatingSchedulerForEnvironment(const QString& environment, Handler handler);
    static std::shared_ptr<AFXScheduler> recommendationsUpdatingSchedulerWithHandler(Handler handler);

    ~AFXScheduler();

    // A run, honoured once the minimal threshold has passed.
    void trigger();
    // A run regardless of the minimal threshold.
    void forceTrigger();
    // The next requested run is honoured whatever the minimal threshold says.
    void invalidateMinimalTriggeringThresholdOnce();
    // Arms or disarms automatic runs; requested runs work either way.
    void updateEnabled(bool enabled);

    std::optional<AFXDateComponents> automaticTriggeringThreshold() const { return automaticThreshold_; }
    std::optional<AFXDateComponents> minimalTriggeringThreshold() const { return minimalThreshold_; }

private:
    AFXScheduler(std::optional<AFXDateComponents> automaticThreshold,
                 std::optional<AFXDateComponents> minimalThreshold,
                 std::shared_ptr<BRReachability> reachability, Handler handler,
                 std::shared_ptr<AFXSchedulerClock> clock);
    static std::shared_ptr<AFXScheduler> makePreset(const AFXDateComponents& automaticThreshold,
                                                    const AFXDateComponents& minimalThreshold,
                                                    Handler handler);
    void start();
    void updateDates();
    void scheduleTrigger();
    void cancelTimer();
    void triggerOnQueue();
    void forceTriggerOnQueue();

    const std::optional<AFXDateComponents> automaticThreshold_;
    const std::optional<AFXDateComponents> minimalThreshold_;
    const std::shared_ptr<BRReachability> reachability_;
    const Handler handler_;
    const std::shared_ptr<AFXSchedulerClock> clock_;
    const std::shared_ptr<platform::DispatchQueue> internalQueue_;
    QUuid reachabilityToken_;

    // On the internal queue.
    std::optional<QDateTime> forceTriggeringDate_;
    std::optional<QDateTime> minimalTriggeringDate_;
    AFXSchedulerClock::Timer timer_;
    bool isEnabled_ = false;
};
