#include "DispatchSemaphore.h"

#include "ScopedBlockingCall.h"

namespace platform {

std::shared_ptr<DispatchSemaphore> DispatchSemaphore::make(long value) {
    return std::shared_ptr<DispatchSemaphore>(new DispatchSemaphore(value));
}

void DispatchSemaphore::signal() {
    // Notifies under the lock: a waiter that returns may release the last
    // reference to the semaphore at once.
    std::lock_guard lock(mutex_);
    ++value_;
    signalled_.notify_one();
}

bool DispatchSemaphore::wait(std::chrono::milliseconds timeout) {
    ScopedBlockingCall blocking;
    std::unique_lock lock(mutex_);
    if (!signalled_.wait_for(lock, timeout, [this] { return value_ > 0; })) {
        return false;
    }
    --value_;
    return true;
}

void DispatchSemaphore::wait() {
    ScopedBlockingCall blocking;
    std::unique_lock lock(mutex_);
    signalled_.wait(lock, [this] { return value_ > 0; });
    --value_;
}

} // namespace platform
