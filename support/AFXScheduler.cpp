#include "AFXScheduler.h"

#include "BRDispatch.h"

#include <algorithm>
#include <cmath>

QDateTime AFXDateComponents::addedTo(const QDateTime& date) const {
    return date.addYears(year)
        .addMonths(month)
        .addDays(day)
        .addSecs(std::int64_t(hour) * 3600 + std::int64_t(minute) * 60 + second)
        .addMSecs(nanosecond / 1'000'000);
}

std::shared_ptr<AFXScheduler> AFXScheduler::makeWithAutomaticTriggeringThreshold(
    std::optional<AFXDateComponents> automaticTriggeringThreshold,
    std::optional<AFXDateComponents> minimalTriggeringThreshold, std::shared_ptr<BRReachability> reachability,
    Handler handler, std::shared_ptr<AFXSchedulerClock> clock) {
    auto scheduler = std::shared_ptr<AFXScheduler>(
        new AFXScheduler(automaticTriggeringThreshold, minimalTriggeringThreshold, std::move(reachability),
                         std::move(handler), std::move(clock)));
    scheduler->start();
    return scheduler;
}

std::shared_ptr<AFXScheduler> AFXScheduler::makeWithTimeInterval(double interval, Handler handler) {
    AFXDateComponents threshold;
    const double whole = std::floor(interval);
    threshold.second = int(whole);
    threshold.nanosecond = std::int64_t((interval - whole) * 1e9);
    return makeWithAutomaticTriggeringThreshold(threshold, std::nullopt, nullptr, std::move(handler));
}

std::shared_ptr<AFXScheduler> AFXScheduler::makePreset(const AFXDateComponents& automaticThreshold,
                                                       const AFXDateComponents& minimalThreshold,
                                                       Handler handler) {
    return makeWithAutomaticTriggeringThreshold(automaticThreshold, minimalThreshold,
                                                BRReachability::makeForInternetConnection(),
                                                std::move(handler));
}

std::shared_ptr<AFXScheduler> AFXScheduler::statsdHeartbeatSchedulerWithHandler(Handler handler) {
    return makePreset({.minute = 5}, {.minute = 5}, std::move(handler));
}

std::shared_ptr<AFXScheduler> AFXScheduler::storeRefreshesSchedulerForEnvironment(const QString&,
                                                                                  Handler handler) {
    return makePreset({.minute = 30}, {.minute = 20}, std::move(handler));
}

std::shared_ptr<AFXScheduler> AFXScheduler::usageReportsUpdatingSchedulerForS3Region(const QString&,
                                                                                     Handler handler) {
    return makePreset({.hour = 6}, {.hour = 1}, std::move(handler));
}

std::shared_ptr<AFXScheduler>
AFXScheduler::customerPermissionsInfoUpdatingSchedulerForEnvironment(const QString&, Handler handler) {
    return makePreset({.year = 1}, {.hour = 1}, std::move(handler));
}

std::shared_ptr<AFXScheduler> AFXScheduler::recommendationsUpdatingSchedulerWithHandler(Handler handler) {
    return makePreset({.hour = 6}, {.hour = 1}, std::move(handler));
}

AFXScheduler::AFXScheduler(std::optional<AFXDateComponents> automaticThreshold,
                           std::optional<AFXDateComponents> minimalThreshold,
                           std::shared_ptr<BRReachability> reachability, Handler handler,
                           std::shared_ptr<AFXSchedulerClock> clock)
    : automaticThreshold_(automaticThreshold), minimalThreshold_(minimalThreshold),
      reachability_(std::move(reachability)), handler_(std::move(handler)), clock_(std::move(clock)),
      internalQueue_(BRBuildInternalDispatchQueue(QStringLiteral("refreshing-scheduler"))) {}

AFXScheduler::~AFXScheduler() {
    if (reachability_) {
        reachability_->unsubscribeForChangesWithToken(reachabilityToken_);
    }
    // Whatever is still queued holds the scheduler weakly and does nothing.
    timer_.reset();
}

void AFXScheduler::start() {
    std::weak_ptr<AFXScheduler> weakSelf = shared_from_this();
    if (reachability_) {
        reachabilityToken_ = reachability_->subscribeForChangesWithBlock([weakSelf](BRReachability::Status) {
            if (auto self = weakSelf.lock()) {
                self->trigger();
            }
        });
    }
    internalQueue_->async([weakSelf] {
        if (auto self = weakSelf.lock()) {
            self->updateDates();
            self->scheduleTrigger();
            self->isEnabled_ = true;
        }
    });
}

void AFXScheduler::trigger() {
    internalQueue_->async([weakSelf = weak_from_this()] {
        if (auto self = weakSelf.lock()) {
            self->triggerOnQueue();
        }
    });
}

void AFXScheduler::forceTrigger() {
    internalQueue_->async([weakSelf = weak_from_this()] {
        if (auto self = weakSelf.lock()) {
            self->forceTriggerOnQueue();
        }
    });
}

void AFXScheduler::invalidateMinimalTriggeringThresholdOnce() {
    internalQueue_->async([weakSelf = weak_from_this()] {
        if (auto self = weakSelf.lock()) {
            self->minimalTriggeringDate_.reset();
        }
    });
}

void AFXScheduler::updateEnabled(bool enabled) {
    internalQueue_->async([weakSelf = weak_from_this(), enabled] {
        auto self = weakSelf.lock();
        if (!self || self->isEnabled_ == enabled) {
            return;
        }
        self->isEnabled_ = enabled;
        self->cancelTimer();
        if (enabled) {
            self->updateDates();
            self->scheduleTrigger();
        }
    });
}

void AFXScheduler::updateDates() {
    BRAssertOnQueue(internalQueue_);
    const QDateTime now = clock_->now();
    if (automaticThreshold_) {
        forceTriggeringDate_ = automaticThreshold_->addedTo(now);
    }
    if (minimalThreshold_) {
        minimalTriggeringDate_ = minimalThreshold_->addedTo(now);
    }
}

void AFXScheduler::scheduleTrigger() {
    BRAssertOnQueue(internalQueue_);
    cancelTimer();
    if (!forceTriggeringDate_) {
        return;
    }
    const std::int64_t untilDate = std::abs(clock_->now().msecsTo(*forceTriggeringDate_));
    const auto leeway = std::chrono::milliseconds(std::min<std::int64_t>(untilDate / 5, 100'000));
    timer_ = clock_->scheduleAt(*forceTriggeringDate_, leeway, internalQueue_, [weakSelf = weak_from_this()] {
        if (auto self = weakSelf.lock()) {
            self->triggerOnQueue();
        }
    });
}

void AFXScheduler::cancelTimer() {
    timer_.reset();
}

void AFXScheduler::triggerOnQueue() {
    BRAssertOnQueue(internalQueue_);
    if (minimalTriggeringDate_ && *minimalTriggeringDate_ > clock_->now()) {
        return;
    }
    forceTriggerOnQueue();
}

void AFXScheduler::forceTriggerOnQueue() {
    BRAssertOnQueue(internalQueue_);
    if (reachability_ && reachability_->status() == BRReachability::NotReachable) {
        return;
    }
    updateDates();
    platform::DispatchQueue::global(platform::QualityOfService::Utility)->async(handler_);
    scheduleTrigger();
}
