#include "DispatchQueue.h"

#include "DispatchTimerScheduler.h"
#include "DispatchWorkerPool.h"
#include "MainRunLoop.h"
#include "ScopedBlockingCall.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace platform {

namespace {

// The queues whose work the calling thread is running, innermost last. An
// exclusive entry holds its queue to itself: the work of a serial queue or
// of the main queue, or a barrier on a concurrent queue. Nothing else can
// start on such a queue before the entry's work returns.
struct RunningQueue {
    const DispatchQueue* queue;
    bool exclusive;
};
thread_local std::vector<RunningQueue> tCurrentQueues;

class CurrentQueueScope {
public:
    CurrentQueueScope(const DispatchQueue* queue, bool exclusive) {
        tCurrentQueues.push_back({queue, exclusive});
    }
    ~CurrentQueueScope() { tCurrentQueues.pop_back(); }
    CurrentQueueScope(const CurrentQueueScope&) = delete;
    CurrentQueueScope& operator=(const CurrentQueueScope&) = delete;
};

// Serial queues give the pool back after this many items so that a busy
// queue cannot keep one thread to itself for ever.
constexpr int kItemsPerDrain = 64;

[[noreturn]] void deadlock(const QString& label) {
    std::fprintf(stderr,
                 "BUG IN CLIENT OF DISPATCH: synchronous work submitted to queue \"%s\" from its own work\n",
                 label.toUtf8().constData());
    std::abort();
}

struct SyncWaiter {
    std::mutex mutex;
    std::condition_variable condition;
    bool done = false;

    // Notifies under the lock: the waiter may destroy this object as soon
    // as it sees `done`, so nothing may touch it after the lock is released.
    void finish() {
        std::lock_guard lock(mutex);
        done = true;
        condition.notify_one();
    }
    void wait() {
        std::unique_lock lock(mutex);
        condition.wait(lock, [this] { return done; });
    }
};

} // namespace

DispatchQueue::DispatchQueue(QString label, Kind kind, QualityOfService qos,
                             std::shared_ptr<DispatchQueue> target, bool global)
    : label_(std::move(label)), kind_(kind), qos_(qos), target_(std::move(target)), global_(global) {}

DispatchQueue::~DispatchQueue() = default;

std::shared_ptr<DispatchQueue> DispatchQueue::make(const QString& label, Attributes attributes,
                                                   std::shared_ptr<DispatchQueue> target) {
    const Kind kind = attributes.concurrent ? Kind::Concurrent : Kind::Serial;
    return std::shared_ptr<DispatchQueue>(
        new DispatchQueue(label, kind, attributes.qos, std::move(target), false));
}

std::shared_ptr<DispatchQueue> DispatchQueue::make(const QString& label) {
    return make(label, Attributes());
}

std::shared_ptr<DispatchQueue> DispatchQueue::main() {
    static const auto* queue = new std::shared_ptr<DispatchQueue>(
        new DispatchQueue(QStringLiteral("com.apple.main-thread"), Kind::Main,
                          QualityOfService::UserInteractive, nullptr, true));
    return *queue;
}

std::shared_ptr<DispatchQueue> DispatchQueue::global(QualityOfService qos) {
    static const auto* queues = [] {
        auto* all = new std::array<std::shared_ptr<DispatchQueue>, 5>;
        for (int i = 0; i < 5; ++i) {
            const auto q = static_cast<QualityOfService>(i);
            const QString label =
                QStringLiteral("com.apple.root.%1-qos").arg(QString::fromLatin1(qualityOfServiceName(q)));
            (*all)[i] =
                std::shared_ptr<DispatchQueue>(new DispatchQueue(label, Kind::Concurrent, q, nullptr, true));
        }
        return all;
    }();
    return (*queues)[static_cast<size_t>(qos)];
}

std::shared_ptr<DispatchQueue> DispatchQueue::current() {
    if (tCurrentQueues.empty()) {
        return nullptr;
    }
    return const_cast<DispatchQueue*>(tCurrentQueues.back().queue)->shared_from_this();
}

bool DispatchQueue::isCurrent() const {
    return std::any_of(tCurrentQueues.begin(), tCurrentQueues.end(),
                       [this](const RunningQueue& running) { return running.queue == this; });
}

void DispatchQueue::async(std::function<void()> work) {
    submit({std::move(work), false});
}

void DispatchQueue::barrierAsync(std::function<void()> work) {
    submit({std::move(work), !global_});
}

void DispatchQueue::sync(const std::function<void()>& work) {
    runSynchronously(work, false);
}

void DispatchQueue::barrierSync(const std::function<void()>& work) {
    runSynchronously(work, !global_);
}

void DispatchQueue::runSynchronously(const std::function<void()>& work, bool barrier) {
    checkNotWaitingForItself(barrier);
    if (!tryRunInline(work, barrier)) {
        waitFor(work, barrier);
    }
}

void DispatchQueue::checkNotWaitingForItself(bool barrier) const {
    // The work runs as work of this queue and of each of its targets in
    // turn; if the caller holds any of them to itself, or is on this queue
    // and asks for a barrier, the work could only start after the caller
    // returned.
    bool first = true;
    for (const DispatchQueue* queue = this; queue; queue = queue->target_.get(), first = false) {
        for (const RunningQueue& running : tCurrentQueues) {
            if (running.queue == queue && (running.exclusive || (first && barrier))) {
                deadlock(label_);
            }
        }
    }
}

void DispatchQueue::after(std::chrono::milliseconds delay, std::function<void()> work) {
    auto self = shared_from_this();
    DispatchTimerScheduler::shared().schedule(
        DispatchTimerScheduler::monotonicNow() + delay,
        [self, work = std::move(work)]() mutable { self->async(std::move(work)); });
}

void DispatchQueue::submit(Item item) {
    switch (kind_) {
    case Kind::Main:
        MainRunLoop::enqueue([this, work = std::move(item.work)] {
            CurrentQueueScope scope(this, true);
            work();
        });
        return;
    case Kind::Serial: {
        std::unique_lock lock(mutex_);
        pending_.push_back(std::move(item));
        if (draining_) {
            return;
        }
        draining_ = true;
        lock.unlock();
        schedule([self = shared_from_this()] { self->drainSerial(); });
        return;
    }
    case Kind::Concurrent: {
        std::unique_lock lock(mutex_);
        pending_.push_back(std::move(item));
        pumpConcurrentLocked(lock);
        return;
    }
    }
}

bool DispatchQueue::tryRunInline(const std::function<void()>& work, bool barrier) {
    if (kind_ == Kind::Main || target_) {
        return false;
    }
    std::unique_lock lock(mutex_);
    if (kind_ == Kind::Serial) {
        if (draining_ || !pending_.empty()) {
            return false;
        }
        draining_ = true;
        lock.unlock();
        {
            CurrentQueueScope scope(this, true);
            work();
        }
        lock.lock();
        if (pending_.empty()) {
            draining_ = false;
        } else {
            lock.unlock();
            schedule([self = shared_from_this()] { self->drainSerial(); });
        }
        return true;
    }
    if (!pending_.empty() || barrierRunning_ || (barrier && running_ > 0)) {
        return false;
    }
    ++running_;
    barrierRunning_ = barrier;
    lock.unlock();
    {
        CurrentQueueScope scope(this, barrier);
        work();
    }
    lock.lock();
    --running_;
    if (barrier) {
        barrierRunning_ = false;
    }
    pumpConcurrentLocked(lock);
    return true;
}

void DispatchQueue::waitFor(const std::function<void()>& work, bool barrier) {
    SyncWaiter waiter;
    submit({[&work, &waiter] {
                work();
                waiter.finish();
            },
            barrier});
    if (runsOnMainThread() && MainRunLoop::isMainThread()) {
        // The main thread waiting for main-queue work: serve the loop until our item ran.
        MainRunLoop::runUntil([&waiter] {
            std::lock_guard lock(waiter.mutex);
            return waiter.done;
        });
        return;
    }
    ScopedBlockingCall blocking;
    waiter.wait();
}

bool DispatchQueue::runsOnMainThread() const {
    const DispatchQueue* root = this;
    while (root->target_) {
        root = root->target_.get();
    }
    return root->kind_ == Kind::Main;
}

void DispatchQueue::schedule(std::function<void()> run) {
    if (target_) {
        target_->async(std::move(run));
    } else {
        DispatchWorkerPool::shared().submit(std::move(run));
    }
}

void DispatchQueue::drainSerial() {
    CurrentQueueScope scope(this, true);
    for (int served = 0; served < kItemsPerDrain; ++served) {
        std::unique_lock lock(mutex_);
        if (pending_.empty()) {
            draining_ = false;
            return;
        }
        Item item = std::move(pending_.front());
        pending_.pop_front();
        lock.unlock();
        item.work();
    }
    schedule([self = shared_from_this()] { self->drainSerial(); });
}

void DispatchQueue::pumpConcurrentLocked(std::unique_lock<std::mutex>& lock) {
    std::vector<Item> ready;
    while (!pending_.empty() && !barrierRunning_) {
        if (pending_.front().barrier) {
            if (running_ > 0) {
                break;
            }
            barrierRunning_ = true;
        }
        ++running_;
        ready.push_back(std::move(pending_.front()));
        pending_.pop_front();
    }
    lock.unlock();
    for (auto& item : ready) {
        schedule([self = shared_from_this(), item = std::move(item)]() mutable {
            self->runConcurrent(std::move(item));
        });
    }
}

void DispatchQueue::runConcurrent(Item item) {
    {
        CurrentQueueScope scope(this, item.barrier);
        item.work();
    }
    std::unique_lock lock(mutex_);
    --running_;
    if (item.barrier) {
        barrierRunning_ = false;
    }
    pumpConcurrentLocked(lock);
}

const char* qualityOfServiceName(QualityOfService qos) {
    switch (qos) {
    case QualityOfService::UserInteractive:
        return "user-interactive";
    case QualityOfService::UserInitiated:
        return "user-initiated";
    case QualityOfService::Default:
        return "default";
    case QualityOfService::Utility:
        return "utility";
    case QualityOfService::Background:
        return "background";
    }
    return "default";
}

} // namespace platform
