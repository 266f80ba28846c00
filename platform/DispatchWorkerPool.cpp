#include "DispatchWorkerPool.h"

#include <algorithm>
#include <chrono>
#include <system_error>
#include <thread>

namespace platform {

namespace {
constexpr int kMaximumThreads = 256;
constexpr auto kIdleLifetime = std::chrono::seconds(5);

thread_local DispatchWorkerPool* tCurrentPool = nullptr;
} // namespace

DispatchWorkerPool& DispatchWorkerPool::shared() {
    // Never destroyed: detached workers may still be leaving when the process exits.
    static auto* pool =
        new DispatchWorkerPool(std::max(2, static_cast<int>(std::thread::hardware_concurrency())));
    return *pool;
}

DispatchWorkerPool* DispatchWorkerPool::current() {
    return tCurrentPool;
}

void DispatchWorkerPool::startDetachedThread(std::function<void()> body) {
    std::thread(std::move(body)).detach();
}

DispatchWorkerPool::DispatchWorkerPool(int busyThreadLimit, ThreadStarter starter)
    : busyThreadLimit_(std::max(1, busyThreadLimit)), starter_(std::move(starter)) {}

DispatchWorkerPool::~DispatchWorkerPool() {
    std::unique_lock lock(mutex_);
    stopping_ = true;
    available_.notify_all();
    exited_.wait(lock, [this] { return threads_ == 0; });
}

void DispatchWorkerPool::submit(std::function<void()> work) {
    std::lock_guard lock(mutex_);
    work_.push_back(std::move(work));
    serveLocked();
}

int DispatchWorkerPool::threadCount() const {
    std::lock_guard lock(mutex_);
    return threads_;
}

int DispatchWorkerPool::mostThreads() const {
    std::lock_guard lock(mutex_);
    return mostThreads_;
}

void DispatchWorkerPool::blockingCallBegan() {
    std::lock_guard lock(mutex_);
    ++blocked_;
    serveLocked();
}

void DispatchWorkerPool::blockingCallEnded() {
    // Until it next looks for work the returning thread may push the pool
    // over its limit; it then waits instead of taking more.
    std::lock_guard lock(mutex_);
    --blocked_;
}

void DispatchWorkerPool::serveLocked() {
    if (work_.empty()) {
        return;
    }
    if (idle_ > 0) {
        available_.notify_one();
    }
    if (static_cast<std::size_t>(idle_) < work_.size() && threads_ - blocked_ < busyThreadLimit_) {
        startThreadLocked();
    }
}

void DispatchWorkerPool::startThreadLocked() {
    if (threads_ >= kMaximumThreads) {
        return;
    }
    ++threads_;
    try {
        starter_([this] { workerLoop(); });
    } catch (const std::system_error&) {
        // The work stays queued: a running thread takes it when it is free,
        // and the next submission or blocking call tries for a thread again.
        --threads_;
        return;
    }
    mostThreads_ = std::max(mostThreads_, threads_);
}

void DispatchWorkerPool::workerLoop() {
    tCurrentPool = this;
    std::unique_lock lock(mutex_);
    for (;;) {
        if (work_.empty() || busyLocked() > busyThreadLimit_) {
            if (stopping_ && work_.empty()) {
                break;
            }
            ++idle_;
            const bool woken = available_.wait_for(lock, kIdleLifetime, [this] {
                return (stopping_ && work_.empty()) || (!work_.empty() && busyLocked() < busyThreadLimit_);
            });
            --idle_;
            if (!woken) {
                break;
            }
            continue;
        }
        auto work = std::move(work_.front());
        work_.pop_front();
        if (stopping_ && work_.empty()) {
            available_.notify_all();
        }
        lock.unlock();
        work();
        work = nullptr;
        lock.lock();
    }
    tCurrentPool = nullptr;
    --threads_;
    exited_.notify_all();
}

} // namespace platform
