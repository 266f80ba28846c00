#include "DispatchWorkerPool.h"

#include <algorithm>
#include <thread>

namespace platform {

namespace {
constexpr int kMaximumThreads = 256;
constexpr auto kIdleLifetime = std::chrono::seconds(5);
// How long work may wait for a thread before the watcher adds one.
constexpr auto kStarvation = std::chrono::milliseconds(2);
} // namespace

DispatchWorkerPool& DispatchWorkerPool::shared() {
    // Never destroyed: detached workers may still be leaving when the process exits.
    static auto* pool = new DispatchWorkerPool;
    return *pool;
}

DispatchWorkerPool::DispatchWorkerPool()
    : preferredThreads_(std::max(2, static_cast<int>(std::thread::hardware_concurrency()))) {
    std::thread([this] { watchLoop(); }).detach();
}

void DispatchWorkerPool::submit(std::function<void()> work) {
    std::unique_lock lock(mutex_);
    work_.push_back({std::move(work), Clock::now()});
    if (idle_ >= static_cast<int>(work_.size())) {
        lock.unlock();
        available_.notify_one();
        return;
    }
    if (threads_ - idle_ < preferredThreads_ && threads_ < kMaximumThreads) {
        startThreadLocked();
        return;
    }
    lock.unlock();
    // Everyone is busy: the watcher adds a thread if this work waits too long.
    watched_.notify_one();
}

void DispatchWorkerPool::startThreadLocked() {
    ++threads_;
    std::thread([this] { workerLoop(); }).detach();
}

void DispatchWorkerPool::workerLoop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        if (work_.empty()) {
            ++idle_;
            const bool woken = available_.wait_for(lock, kIdleLifetime, [this] { return !work_.empty(); });
            --idle_;
            if (!woken) {
                --threads_;
                return;
            }
        }
        auto work = std::move(work_.front().work);
        work_.pop_front();
        lock.unlock();
        work();
        work = nullptr;
        lock.lock();
    }
}

void DispatchWorkerPool::watchLoop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        if (work_.empty()) {
            watched_.wait(lock);
            continue;
        }
        const auto waitedSince = work_.front().submitted;
        if (Clock::now() - waitedSince >= kStarvation && idle_ == 0 && threads_ < kMaximumThreads) {
            startThreadLocked();
        }
        watched_.wait_for(lock, kStarvation);
    }
}

} // namespace platform
