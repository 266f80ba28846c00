#include "DispatchGroup.h"

#include "DispatchQueue.h"
#include "ScopedBlockingCall.h"

#include <cstdio>
#include <cstdlib>

namespace platform {

std::shared_ptr<DispatchGroup> DispatchGroup::make() {
    return std::shared_ptr<DispatchGroup>(new DispatchGroup);
}

void DispatchGroup::enter() {
    std::lock_guard lock(mutex_);
    ++count_;
}

void DispatchGroup::leave() {
    decltype(notifications_) ready;
    {
        std::lock_guard lock(mutex_);
        if (count_ == 0) {
            std::fprintf(stderr, "BUG IN CLIENT OF DISPATCH: unbalanced call to DispatchGroup::leave()\n");
            std::abort();
        }
        if (--count_ > 0) {
            return;
        }
        ready.swap(notifications_);
        // Under the lock: a waiter that returns may release the group at once.
        emptied_.notify_all();
    }
    for (auto& [queue, block] : ready) {
        queue->async(std::move(block));
    }
}

void DispatchGroup::async(const std::shared_ptr<DispatchQueue>& queue, std::function<void()> work) {
    enter();
    queue->async([self = shared_from_this(), work = std::move(work)] {
        work();
        self->leave();
    });
}

void DispatchGroup::notify(const std::shared_ptr<DispatchQueue>& queue, std::function<void()> block) {
    {
        std::lock_guard lock(mutex_);
        if (count_ > 0) {
            notifications_.emplace_back(queue, std::move(block));
            return;
        }
    }
    queue->async(std::move(block));
}

bool DispatchGroup::wait(std::chrono::milliseconds timeout) {
    ScopedBlockingCall blocking;
    std::unique_lock lock(mutex_);
    return emptied_.wait_for(lock, timeout, [this] { return count_ == 0; });
}

void DispatchGroup::wait() {
    ScopedBlockingCall blocking;
    std::unique_lock lock(mutex_);
    emptied_.wait(lock, [this] { return count_ == 0; });
}

} // namespace platform
