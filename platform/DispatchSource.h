#pragma once

#include "DispatchTimerScheduler.h"
#include "VnodeEventReader.h"

#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <variant>

namespace platform {

class DispatchQueue;

// A timer or file-system item (vnode) source.
//
// A timer's event handler runs on the source's queue, first at the
// start time and then, for a repeating timer, once per interval. The start is
// a date on the wall clock or a point on the monotonic clock (for a delay from
// now); the intervals are counted on the same clock. Fires that come while the
// handler is still waiting to run are merged into it; periods missed
// altogether (a start long past, a sleeping machine) are skipped, leaving one
// fire.
//
// A vnode source watches one file-system item named by its path when the
// source is made, and follows that item (not the path) from then on; see
// VnodeEventReader for how events are read. Its handler runs on the queue
// with the `VnodeFlag`s that occurred since the last run, limited to the
// source's mask, in `data`; after a move `path` is the item's new path.
//
// A source starts suspended: set it up, then `resume` it. Dropping the last
// reference stops it. Cancelling is final: no handler starts after `cancel`.
class DispatchSource : public std::enable_shared_from_this<DispatchSource> {
public:
    using WallClock = DispatchTimerScheduler::WallClock;
    using MonotonicClock = DispatchTimerScheduler::MonotonicClock;

    static std::shared_ptr<DispatchSource> makeTimer(std::shared_ptr<DispatchQueue> queue);
    // A source for the events of `mask` on the item at `path`; null when the
    // item does not exist or cannot be watched.
    static std::shared_ptr<DispatchSource> makeVnode(const QString& path, unsigned long mask,
                                                     std::shared_ptr<DispatchQueue> queue);
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
    // Timer: the number of fires merged into the handler run in progress.
    // Vnode: the flags of the events merged into it.
    unsigned long data() const;
    // Vnode: the item's path as of the handler run in progress (its new
    // path after a move; empty when a moved item has none).
    QString path() const;

private:
    using Deadline = std::variant<WallClock::time_point, MonotonicClock::time_point>;

    explicit DispatchSource(std::shared_ptr<DispatchQueue> queue);
    void setDeadline(Deadline start, std::optional<std::chrono::milliseconds> interval,
                     std::chrono::milliseconds leeway);
    void advanceLocked();
    void armLocked();
    void fire(const std::shared_ptr<DispatchTimerScheduler::Token>& token);
    void deliver();
    void vnodeEvent(unsigned long flags, const QString& newPath);

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
    // Timer fires counted, or vnode flags merged, since the last delivery.
    unsigned long pendingData_ = 0;
    unsigned long deliveredData_ = 0;
    VnodeEventReader::WatchID vnodeWatch_ = 0;
    unsigned long vnodeMask_ = 0;
    QString pendingPath_;
    QString deliveredPath_;
};

} // namespace platform
