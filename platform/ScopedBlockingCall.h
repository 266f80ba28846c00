#pragma once

namespace platform {

class DispatchWorkerPool;

// Declares, for its lifetime, that the calling thread waits for something
// other work or another process must do (a synchronous hop onto a busy
// queue, a semaphore, a group, a child process). On a worker of the dispatch
// pool this lets the pool start a replacement thread, so that work the wait
// depends on can still run; elsewhere it does nothing. Nested declarations
// count once.
class ScopedBlockingCall {
public:
    ScopedBlockingCall();
    ~ScopedBlockingCall();
    ScopedBlockingCall(const ScopedBlockingCall&) = delete;
    ScopedBlockingCall& operator=(const ScopedBlockingCall&) = delete;

private:
    // The pool told of this call; null when there is none to tell.
    DispatchWorkerPool* pool_ = nullptr;
};

} // namespace platform
