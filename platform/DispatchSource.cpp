#include "DispatchSource.h"

#include "DispatchQueue.h"

namespace platform {

namespace {
// The present on the clock a deadline is counted on.
DispatchTimerScheduler::WallClock::time_point timeOnClockOf(DispatchTimerScheduler::WallClock::time_point) {
    return DispatchTimerScheduler::shared().wallNow();
}
DispatchTimerScheduler::MonotonicClock::time_point
timeOnClockOf(DispatchTimerScheduler::MonotonicClock::time_point) {
    return DispatchTimerScheduler::monotonicNow();
}
} // namespace

std::shared_ptr<DispatchSource> DispatchSource::makeTimer(std::shared_ptr<DispatchQueue> queue) {
    return std::shared_ptr<DispatchSource>(new DispatchSource(std::move(queue)));
}

std::shared_ptr<DispatchSource> DispatchSource::makeVnode(const QString& path, unsigned long mask,
                                                          std::shared_ptr<DispatchQueue> queue) {
    auto source = std::shared_ptr<DispatchSource>(new DispatchSource(std::move(queue)));
    source->vnodeMask_ = mask & VnodeAllFlags;
    source->pendingPath_ = path;
    source->deliveredPath_ = path;
    std::weak_ptr<DispatchSource> weakSource = source;
    source->vnodeWatch_ =
        VnodeEventReader::shared().watch(path, [weakSource](unsigned long flags, const QString& newPath) {
            if (auto strongSource = weakSource.lock()) {
                strongSource->vnodeEvent(flags, newPath);
            }
        });
    return source->vnodeWatch_ != 0 ? source : nullptr;
}

DispatchSource::DispatchSource(std::shared_ptr<DispatchQueue> queue) : queue_(std::move(queue)) {}

DispatchSource::~DispatchSource() {
    if (armed_) {
        DispatchTimerScheduler::shared().cancel(*armed_);
    }
    if (vnodeWatch_ != 0) {
        VnodeEventReader::shared().unwatch(vnodeWatch_);
    }
}

void DispatchSource::setTimer(WallClock::time_point start, std::optional<std::chrono::milliseconds> interval,
                              std::chrono::milliseconds leeway) {
    setDeadline(start, interval, leeway);
}

void DispatchSource::setTimer(MonotonicClock::time_point start,
                              std::optional<std::chrono::milliseconds> interval,
                              std::chrono::milliseconds leeway) {
    setDeadline(start, interval, leeway);
}

void DispatchSource::setDeadline(Deadline start, std::optional<std::chrono::milliseconds> interval,
                                 std::chrono::milliseconds leeway) {
    std::lock_guard lock(mutex_);
    if (cancelled_) {
        return;
    }
    next_ = start;
    interval_ = interval;
    leeway_ = leeway;
    armLocked();
}

void DispatchSource::setEventHandler(std::function<void()> handler) {
    std::lock_guard lock(mutex_);
    eventHandler_ = std::move(handler);
}

void DispatchSource::setCancelHandler(std::function<void()> handler) {
    std::lock_guard lock(mutex_);
    cancelHandler_ = std::move(handler);
}

void DispatchSource::resume() {
    bool submit = false;
    {
        std::lock_guard lock(mutex_);
        if (resumed_ || cancelled_) {
            return;
        }
        resumed_ = true;
        armLocked();
        submit = vnodeWatch_ != 0 && pendingData_ != 0;
    }
    if (submit) {
        queue_->async([self = shared_from_this()] { self->deliver(); });
    }
}

void DispatchSource::cancel() {
    std::function<void()> cancelHandler;
    {
        std::lock_guard lock(mutex_);
        if (cancelled_) {
            return;
        }
        cancelled_ = true;
        if (armed_) {
            DispatchTimerScheduler::shared().cancel(*armed_);
            armed_.reset();
        }
        cancelHandler = std::move(cancelHandler_);
        eventHandler_ = nullptr;
    }
    // Outside our lock: the reader calls `vnodeEvent` under its own.
    if (vnodeWatch_ != 0) {
        VnodeEventReader::shared().unwatch(vnodeWatch_);
    }
    if (cancelHandler) {
        queue_->async(std::move(cancelHandler));
    }
}

bool DispatchSource::isCancelled() const {
    std::lock_guard lock(mutex_);
    return cancelled_;
}

unsigned long DispatchSource::data() const {
    std::lock_guard lock(mutex_);
    return deliveredData_;
}

QString DispatchSource::path() const {
    std::lock_guard lock(mutex_);
    return deliveredPath_;
}

void DispatchSource::vnodeEvent(unsigned long flags, const QString& newPath) {
    bool submit = false;
    {
        std::lock_guard lock(mutex_);
        flags &= vnodeMask_;
        if (cancelled_ || flags == 0) {
            return;
        }
        if (flags & VnodeRename) {
            pendingPath_ = newPath;
        }
        submit = pendingData_ == 0 && resumed_;
        pendingData_ |= flags;
    }
    if (submit) {
        queue_->async([self = shared_from_this()] { self->deliver(); });
    }
}

void DispatchSource::armLocked() {
    if (armed_) {
        DispatchTimerScheduler::shared().cancel(*armed_);
        armed_.reset();
    }
    if (!resumed_ || cancelled_ || !next_) {
        return;
    }
    // The deadline is honoured exactly; the leeway only allows lateness. The
    // token is filled in under our mutex, which `fire` takes before reading it.
    std::weak_ptr<DispatchSource> weakSelf = weak_from_this();
    auto token = std::make_shared<DispatchTimerScheduler::Token>(0);
    *token = std::visit(
        [&](auto deadline) {
            return DispatchTimerScheduler::shared().schedule(deadline, [weakSelf, token] {
                if (auto self = weakSelf.lock()) {
                    self->fire(token);
                }
            });
        },
        *next_);
    armed_ = *token;
}

void DispatchSource::fire(const std::shared_ptr<DispatchTimerScheduler::Token>& token) {
    bool submit = false;
    {
        std::lock_guard lock(mutex_);
        if (cancelled_ || armed_ != *token) {
            return;
        }
        armed_.reset();
        submit = pendingData_++ == 0;
        if (interval_ && interval_->count() > 0) {
            advanceLocked();
            armLocked();
        } else {
            next_.reset();
        }
    }
    if (submit) {
        queue_->async([self = shared_from_this()] { self->deliver(); });
    }
}

void DispatchSource::advanceLocked() {
    // The next deadline is the first period still ahead; the ones already
    // past are dropped at once rather than fired one after another.
    const auto interval = *interval_;
    std::visit(
        [interval](auto& next) {
            const auto now = timeOnClockOf(next);
            const auto periods = next <= now ? (now - next) / interval + 1 : 1;
            next += periods * interval;
        },
        *next_);
}

void DispatchSource::deliver() {
    std::function<void()> handler;
    {
        std::lock_guard lock(mutex_);
        deliveredData_ = pendingData_;
        deliveredPath_ = pendingPath_;
        pendingData_ = 0;
        if (cancelled_) {
            return;
        }
        handler = eventHandler_;
    }
    if (handler) {
        handler();
    }
}

} // namespace platform
