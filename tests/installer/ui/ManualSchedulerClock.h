#pragma once

// A scheduler clock moved by hand: timers fire when the test moves the time
// past them, so no test waits for real seconds.

#include "platform/DispatchQueue.h"
#include "support/AFXSchedulerClock.h"

#include <mutex>
#include <vector>

namespace testing_support {

class ManualSchedulerClock : public AFXSchedulerClock {
public:
    QDateTime now() const override {
        std::lock_guard lock(mutex_);
        return now_;
    }

    Timer scheduleAt(const QDateTime& date, std::chrono::milliseconds,
                     const std::shared_ptr<platform::DispatchQueue>& queue,
                     std::function<void()> handler) override {
        auto timer = std::make_shared<Pending>(Pending{date, queue, std::move(handler)});
        std::lock_guard lock(mutex_);
        ++armed_;
        pending_.push_back(timer);
        return timer;
    }

    // Moves the time on and fires the timers now due, on their queues.
    void advance(std::chrono::milliseconds duration) {
        std::vector<std::shared_ptr<Pending>> due;
        {
            std::lock_guard lock(mutex_);
            now_ = now_.addMSecs(duration.count());
            std::erase_if(pending_, [&](const std::weak_ptr<Pending>& entry) {
                auto timer = entry.lock();
                if (!timer) {
                    return true;
                }
                if (timer->date <= now_) {
                    due.push_back(timer);
                    return true;
                }
                return false;
            });
        }
        for (const auto& timer : due) {
            timer->queue->async(timer->handler);
        }
    }

    // How many timers were armed so far: every run of a scheduler arms one.
    int armedCount() const {
        std::lock_guard lock(mutex_);
        return armed_;
    }
    // Timers armed and neither fired nor dropped.
    int pendingCount() const {
        std::lock_guard lock(mutex_);
        int count = 0;
        for (const auto& entry : pending_) {
            count += entry.expired() ? 0 : 1;
        }
        return count;
    }

private:
    struct Pending {
        QDateTime date;
        std::shared_ptr<platform::DispatchQueue> queue;
        std::function<void()> handler;
    };

    // Moved by the test's thread, read on the schedulers' queues.
    mutable std::mutex mutex_;
    QDateTime now_ = QDateTime(QDate(2026, 1, 31), QTime(12, 0), Qt::UTC);
    std::vector<std::weak_ptr<Pending>> pending_;
    int armed_ = 0;
};

} // namespace testing_support
