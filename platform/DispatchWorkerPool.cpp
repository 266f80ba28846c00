#include "DispatchWorkerPool.h"

#include <chrono>
#include <thread>

namespace platform {

namespace {
constexpr int kMaximumThreads = 128;
constexpr auto kIdleLifetime = std::chrono::seconds(5);
} // namespace

DispatchWorkerPool& DispatchWorkerPool::shared() {
    // Never destroyed: detached workers may still be leaving when the process exits.
    static auto* pool = new DispatchWorkerPool;
    return *pool;
}

void DispatchWorkerPool::submit(std::function<void()> work) {
    std::unique_lock lock(mutex_);
    work_.push_back(std::move(work));
    if (idle_ > static_cast<int>(work_.size()) - 1 || threads_ >= kMaximumThreads) {
        lock.unlock();
        available_.notify_one();
        return;
    }
    ++threads_;
    lock.unlock();
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
        auto work = std::move(work_.front());
        work_.pop_front();
        lock.unlock();
        work();
        work = nullptr;
        lock.lock();
    }
}

} // namespace platform
