#include "DispatchTimerScheduler.h"

#include <thread>

namespace platform {

DispatchTimerScheduler& DispatchTimerScheduler::shared() {
    static auto* scheduler = new DispatchTimerScheduler;
    return *scheduler;
}

DispatchTimerScheduler::DispatchTimerScheduler() {
    std::thread([this] { run(); }).detach();
}

DispatchTimerScheduler::Token DispatchTimerScheduler::schedule(Clock::time_point deadline,
                                                               std::function<void()> callback) {
    Token token;
    {
        std::lock_guard lock(mutex_);
        token = nextToken_++;
        deadlines_.emplace(deadline, std::make_pair(token, std::move(callback)));
    }
    changed_.notify_one();
    return token;
}

void DispatchTimerScheduler::cancel(Token token) {
    std::lock_guard lock(mutex_);
    for (auto it = deadlines_.begin(); it != deadlines_.end(); ++it) {
        if (it->second.first == token) {
            deadlines_.erase(it);
            return;
        }
    }
}

void DispatchTimerScheduler::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        if (deadlines_.empty()) {
            changed_.wait(lock);
            continue;
        }
        auto first = deadlines_.begin();
        if (const auto deadline = first->first; Clock::now() < deadline) {
            // A copy: the entry may be cancelled (and freed) while we wait.
            changed_.wait_until(lock, deadline);
            continue;
        }
        auto callback = std::move(first->second.second);
        deadlines_.erase(first);
        lock.unlock();
        callback();
        lock.lock();
    }
}

} // namespace platform
