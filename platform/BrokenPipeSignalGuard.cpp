#include "BrokenPipeSignalGuard.h"

#include <cerrno>

#include <pthread.h>

namespace platform {

BrokenPipeSignalGuard::BrokenPipeSignalGuard() {
    sigemptyset(&pipeSignal_);
    sigaddset(&pipeSignal_, SIGPIPE);
    sigset_t pending;
    sigpending(&pending);
    alreadyPending_ = sigismember(&pending, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &pipeSignal_, &previous_);
}

BrokenPipeSignalGuard::~BrokenPipeSignalGuard() {
    if (!alreadyPending_) {
        sigset_t pending;
        sigpending(&pending);
        if (sigismember(&pending, SIGPIPE) == 1) {
            const timespec noWait{0, 0};
            while (sigtimedwait(&pipeSignal_, nullptr, &noWait) < 0 && errno == EINTR) {
            }
        }
    }
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

} // namespace platform
