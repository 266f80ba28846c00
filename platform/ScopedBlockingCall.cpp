#include "ScopedBlockingCall.h"

#include "DispatchWorkerPool.h"

namespace platform {

namespace {
// How many blocking calls enclose the calling thread's code now.
thread_local int tBlockingDepth = 0;
} // namespace

ScopedBlockingCall::ScopedBlockingCall() {
    if (tBlockingDepth++ == 0) {
        pool_ = DispatchWorkerPool::current();
        if (pool_) {
            pool_->blockingCallBegan();
        }
    }
}

ScopedBlockingCall::~ScopedBlockingCall() {
    --tBlockingDepth;
    if (pool_) {
        pool_->blockingCallEnded();
    }
}

} // namespace platform
