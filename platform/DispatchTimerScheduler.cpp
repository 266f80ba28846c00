#include "DispatchTimerScheduler.h"

#include <algorithm>

namespace platform {

namespace {
// The thread sleeps on the monotonic clock. While a wall-clock deadline is
// pending it looks at the wall clock at least this often, so that a clock
// set forward fires the deadline no later than this.
constexpr auto kWallClockRecheck = std::chrono::seconds(1);

template <typename Deadlines> bool eraseToken(Deadlines& deadlines, std::uint64_t token) {
    const auto found = std::find_if(deadlines.begin(), deadlines.end(),
                                    [token](const auto& entry) { return entry.second.first == token; });
    if (found == deadlines.end()) {
        return false;
    }
    deadlines.erase(found);
    return true;
}
} // namespace

DispatchTimerScheduler& DispatchTimerScheduler::shared() {
    // Never destroyed: timers may be armed from static destructors.
    static auto* scheduler = new DispatchTimerScheduler;
    return *scheduler;
}

DispatchTimerScheduler::DispatchTimerScheduler(WallClockReader wallNow) : wallNow_(std::move(wallNow)) {
    thread_ = std::thread([this] { run(); });
}

DispatchTimerScheduler::~DispatchTimerScheduler() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_one();
    thread_.join();
}

DispatchTimerScheduler::Token DispatchTimerScheduler::schedule(WallClock::time_point deadline,
                                                               std::function<void()> callback) {
    return scheduleIn(wallDeadlines_, deadline, std::move(callback));
}

DispatchTimerScheduler::Token DispatchTimerScheduler::schedule(MonotonicClock::time_point deadline,
                                                               std::function<void()> callback) {
    return scheduleIn(monotonicDeadlines_, deadline, std::move(callback));
}

template <typename TimePoint>
DispatchTimerScheduler::Token DispatchTimerScheduler::scheduleIn(Deadlines<TimePoint>& deadlines,
                                                                 TimePoint deadline,
                                                                 std::function<void()> callback) {
    Token token;
    {
        std::lock_guard lock(mutex_);
        token = nextToken_++;
        deadlines.emplace(deadline, std::make_pair(token, std::move(callback)));
    }
    changed_.notify_one();
    return token;
}

void DispatchTimerScheduler::cancel(Token token) {
    std::lock_guard lock(mutex_);
    if (!eraseToken(monotonicDeadlines_, token)) {
        eraseToken(wallDeadlines_, token);
    }
}

void DispatchTimerScheduler::run() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        const auto monotonicNow = MonotonicClock::now();
        const auto wallNow = wallNow_();
        std::function<void()> due;
        if (!monotonicDeadlines_.empty() && monotonicDeadlines_.begin()->first <= monotonicNow) {
            due = std::move(monotonicDeadlines_.begin()->second.second);
            monotonicDeadlines_.erase(monotonicDeadlines_.begin());
        } else if (!wallDeadlines_.empty() && wallDeadlines_.begin()->first <= wallNow) {
            due = std::move(wallDeadlines_.begin()->second.second);
            wallDeadlines_.erase(wallDeadlines_.begin());
        }
        if (due) {
            lock.unlock();
            due();
            due = nullptr;
            lock.lock();
            continue;
        }
        auto wake = MonotonicClock::time_point::max();
        if (!monotonicDeadlines_.empty()) {
            wake = monotonicDeadlines_.begin()->first;
        }
        if (!wallDeadlines_.empty()) {
            const auto untilWall = std::chrono::duration_cast<MonotonicClock::duration>(
                std::min<WallClock::duration>(wallDeadlines_.begin()->first - wallNow, kWallClockRecheck));
            wake = std::min(wake, monotonicNow + untilWall);
        }
        if (wake == MonotonicClock::time_point::max()) {
            changed_.wait(lock);
        } else {
            changed_.wait_until(lock, wake);
        }
    }
}

} // namespace platform
