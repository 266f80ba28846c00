#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace platform {

// The threads that run the work of every dispatch queue. The pool keeps up
// to one thread per core busy at once; when work has waited longer than a
// moment with no thread free (the running ones are blocked, for example in a
// synchronous hop onto another queue), a watcher adds a thread, so blocking
// work cannot starve the pool. Threads idle for a while go away.
class DispatchWorkerPool {
public:
    static DispatchWorkerPool& shared();

    void submit(std::function<void()> work);

private:
    using Clock = std::chrono::steady_clock;
    struct Item {
        std::function<void()> work;
        Clock::time_point submitted;
    };

    DispatchWorkerPool();
    void startThreadLocked();
    void workerLoop();
    void watchLoop();

    // The pool is shared by every queue and every thread; a mutex guards its
    // short bookkeeping because a queue cannot run without the pool itself.
    std::mutex mutex_;
    std::condition_variable available_;
    std::condition_variable watched_;
    std::deque<Item> work_;
    const int preferredThreads_;
    int threads_ = 0;
    int idle_ = 0;
};

} // namespace platform
