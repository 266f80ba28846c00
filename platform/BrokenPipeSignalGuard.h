#pragma once

#include <csignal>

namespace platform {

// A reader that has gone away must make a write to a pipe fail, not end the
// whole process: while a guard lives, SIGPIPE is held back on this thread,
// and one raised meanwhile is taken off the thread's pending set before the
// mask is restored.
class BrokenPipeSignalGuard {
public:
    BrokenPipeSignalGuard();
    ~BrokenPipeSignalGuard();
    BrokenPipeSignalGuard(const BrokenPipeSignalGuard&) = delete;
    BrokenPipeSignalGuard& operator=(const BrokenPipeSignalGuard&) = delete;

private:
    sigset_t pipeSignal_;
    sigset_t previous_;
    bool alreadyPending_ = false;
};

} // namespace platform
