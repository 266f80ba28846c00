#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace platform {

// A counting semaphore: `wait` takes one unit, blocking until one is there.
class DispatchSemaphore {
public:
    static std::shared_ptr<DispatchSemaphore> make(long value = 0);

    void signal();
    // Answers true when a unit was taken within the timeout.
    bool wait(std::chrono::milliseconds timeout);
    void wait();

private:
    explicit DispatchSemaphore(long value) : value_(value) {}

    // A semaphore is a blocking primitive by nature.
    std::mutex mutex_;
    std::condition_variable signalled_;
    long value_;
};

} // namespace platform
