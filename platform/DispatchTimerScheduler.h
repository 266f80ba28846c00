#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

namespace platform {

// One thread that fires the deadlines of `after` and of timer sources. A
// deadline is either on the wall clock (a date: it moves when the clock is
// set) or on the monotonic clock (a delay from now: it does not). A fired
// callback must be short: it only submits work to a queue.
class DispatchTimerScheduler {
public:
    using WallClock = std::chrono::system_clock;
    using MonotonicClock = std::chrono::steady_clock;
    using WallClockReader = std::function<WallClock::time_point()>;
    using Token = std::uint64_t;

    static DispatchTimerScheduler& shared();

    // `wallNow` reads the wall clock; tests pass one they can set.
    explicit DispatchTimerScheduler(WallClockReader wallNow = [] { return WallClock::now(); });
    // Stops the thread; deadlines not yet fired never fire.
    ~DispatchTimerScheduler();
    DispatchTimerScheduler(const DispatchTimerScheduler&) = delete;
    DispatchTimerScheduler& operator=(const DispatchTimerScheduler&) = delete;

    Token schedule(WallClock::time_point deadline, std::function<void()> callback);
    Token schedule(MonotonicClock::time_point deadline, std::function<void()> callback);
    // Forgets a deadline that has not fired yet.
    void cancel(Token token);

    WallClock::time_point wallNow() const { return wallNow_(); }
    static MonotonicClock::time_point monotonicNow() { return MonotonicClock::now(); }

private:
    template <typename TimePoint>
    using Deadlines = std::multimap<TimePoint, std::pair<Token, std::function<void()>>>;

    template <typename TimePoint>
    Token scheduleIn(Deadlines<TimePoint>& deadlines, TimePoint deadline, std::function<void()> callback);
    void run();

    const WallClockReader wallNow_;

    // Shared by every queue and source of the process; see DispatchWorkerPool.
    std::mutex mutex_;
    std::condition_variable changed_;
    Deadlines<WallClock::time_point> wallDeadlines_;
    Deadlines<MonotonicClock::time_point> monotonicDeadlines_;
    Token nextToken_ = 1;
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace platform
