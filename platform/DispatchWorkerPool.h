#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>

namespace platform {

class ScopedBlockingCall;

// The threads that run the work of every dispatch queue. The pool keeps at
// most one thread per core running work; more work waits its turn. Only a
// worker that declares it blocks (ScopedBlockingCall) stops counting against
// that limit while it waits, so the pool may start a thread in its place and
// the work the wait depends on can still run. Threads idle for a while go
// away.
class DispatchWorkerPool {
public:
    // Starts a thread running `body`; throws std::system_error when the
    // system refuses one.
    using ThreadStarter = std::function<void(std::function<void()> body)>;

    static DispatchWorkerPool& shared();
    // The pool whose worker is the calling thread, or null.
    static DispatchWorkerPool* current();
    static void startDetachedThread(std::function<void()> body);

    explicit DispatchWorkerPool(int busyThreadLimit, ThreadStarter starter = startDetachedThread);
    // Lets the work already submitted run, then waits for every thread to leave.
    ~DispatchWorkerPool();
    DispatchWorkerPool(const DispatchWorkerPool&) = delete;
    DispatchWorkerPool& operator=(const DispatchWorkerPool&) = delete;

    void submit(std::function<void()> work);

    int busyThreadLimit() const { return busyThreadLimit_; }
    // The threads alive now, and the most there have been at once.
    int threadCount() const;
    int mostThreads() const;

private:
    friend class ScopedBlockingCall;
    void blockingCallBegan();
    void blockingCallEnded();

    int busyLocked() const { return threads_ - idle_ - blocked_; }
    void serveLocked();
    void startThreadLocked();
    void workerLoop();

    const int busyThreadLimit_;
    const ThreadStarter starter_;

    // The pool is shared by every queue and every thread; a mutex guards its
    // short bookkeeping because a queue cannot run without the pool itself.
    mutable std::mutex mutex_;
    std::condition_variable available_;
    std::condition_variable exited_;
    std::deque<std::function<void()>> work_;
    int threads_ = 0;
    int idle_ = 0;    // waiting for work
    int blocked_ = 0; // inside a ScopedBlockingCall
    int mostThreads_ = 0;
    bool stopping_ = false;
};

} // namespace platform
