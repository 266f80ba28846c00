#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace platform {

// The threads that run the work of every dispatch queue. A thread is added
// whenever work waits and no thread is idle (up to a cap), so blocking work
// such as a synchronous hop onto another queue cannot starve the pool;
// threads idle for a while go away.
class DispatchWorkerPool {
public:
    static DispatchWorkerPool& shared();

    void submit(std::function<void()> work);

private:
    DispatchWorkerPool() = default;
    void workerLoop();

    // The pool is shared by every queue and every thread; a mutex guards its
    // short bookkeeping because a queue cannot run without the pool itself.
    std::mutex mutex_;
    std::condition_variable available_;
    std::deque<std::function<void()>> work_;
    int threads_ = 0;
    int idle_ = 0;
};

} // namespace platform
