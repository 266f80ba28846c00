#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>

namespace platform {

// One thread that fires wall-clock deadlines for `after` and timer sources.
// A fired callback must be short: it only submits work to a queue.
class DispatchTimerScheduler {
public:
    using Clock = std::chrono::system_clock;
    using Token = std::uint64_t;

    static DispatchTimerScheduler& shared();

    Token schedule(Clock::time_point deadline, std::function<void()> callback);
    // Forgets a deadline that has not fired yet.
    void cancel(Token token);

private:
    DispatchTimerScheduler();
    void run();

    // Shared by every queue and source of the process; see DispatchWorkerPool.
    std::mutex mutex_;
    std::condition_variable changed_;
    std::multimap<Clock::time_point, std::pair<Token, std::function<void()>>> deadlines_;
    Token nextToken_ = 1;
};

} // namespace platform
