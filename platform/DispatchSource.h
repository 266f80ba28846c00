#pragma once

#include "DispatchTimerScheduler.h"

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <variant>

namespace platform {

class DispatchQueue;

// A timer source. Its event handler runs on the source's queue, first at the
// start time and then, for a repeating timer, once per interval. The start is
// a date on the wall clock or a point on the monotonic clock (for a delay from
// now); the intervals are counted on the same clock. Fires that come while the
// handler is still waiting to run are merged into it; periods missed
// altogether (a start long past, a sleeping machine) are skipped, leaving one
// fire. A source starts suspended: set it up, then `resume` it. Dropping the
// last reference stops the timer.
class DispatchSource : public std::enable_shared_from_this<DispatchSource> {
public:
    using WallClock = DispatchTimerScheduler::WallClock;
    using MonotonicClock = DispatchTimerScheduler::MonotonicClock;

    static std::shared_ptr<DispatchSource> makeTimer(std::shared_ptr<DispatchQueue> queue);
    ~DispatchSource();

    // `interval` empty: fire once. The handler may run up to `leeway` late.
    void setTimer(WallClock::time_point start, std::optional<std::chrono::milliseconds> interval,
                  std::chrono::milliseconds leeway = std::chrono::milliseconds(0));
    void setTimer(MonotonicClock::time_point start, std::optional<std::chrono::milliseconds> interval,
                  std::chrono::milliseconds leeway = std::chrono::milliseconds(0));
    void setEventHandler(std::function<void()> handler);
    void setCancelHandler(std::function<void()> handler);
    void resume();
    // Stops the timer for good; the cancel handler runs on the queue.
    void cancel();
    bool isCancelled() const;
    // The number of fires merged into the handler run in progress.
    unsigned long data() const;

private:
    using Deadline = std::variant<WallClock::time_point, MonotonicClock::time_point>;

    explicit DispatchSource(std::shared_ptr<DispatchQueue> queue);
    void setDeadline(Deadline start, std::optional<std::chrono::milliseconds> interval,
                     std::chrono::milliseconds leeway);
    void advanceLocked();
    void armLocked();
    void fire(const std::shared_ptr<DispatchTimerScheduler::Token>& token);
    void deliver();

    const std::shared_ptr<DispatchQueue> queue_;
    // Fires arrive on the scheduler's thread while the owner configures the
    // source from its own queue.
    mutable std::mutex mutex_;
    std::function<void()> eventHandler_;
    std::function<void()> cancelHandler_;
    std::optional<Deadline> next_;
    std::optional<std::chrono::milliseconds> interval_;
    std::chrono::milliseconds leeway_{0};
    std::optional<DispatchTimerScheduler::Token> armed_;
    bool resumed_ = false;
    bool cancelled_ = false;
    unsigned long pendingFires_ = 0;
    unsigned long deliveredFires_ = 0;
};

} // namespace platform
