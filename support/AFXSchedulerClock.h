#pragma once

#include <QDateTime>

#include <chrono>
#include <functional>
#include <memory>

namespace platform {
class DispatchQueue;
}

// The time a scheduler reads and the one-shot timers it arms. The system
// clock fires on the wall clock, so time asleep counts; tests give a clock
// they move by hand.
class AFXSchedulerClock {
public:
    // Keeps a timer armed; dropping it disarms the timer.
    using Timer = std::shared_ptr<void>;

    virtual ~AFXSchedulerClock() = default;

    virtual QDateTime now() const = 0;
    // Runs `handler` on `queue` once, at `date` (up to `leeway` later).
    virtual Timer scheduleAt(const QDateTime& date, std::chrono::milliseconds leeway,
                             const std::shared_ptr<platform::DispatchQueue>& queue,
                             std::function<void()> handler) = 0;

    static std::shared_ptr<AFXSchedulerClock> systemClock();
};
