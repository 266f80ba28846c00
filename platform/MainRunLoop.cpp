#include "MainRunLoop.h"

#include <QCoreApplication>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>

#include <unistd.h>

namespace platform {

namespace {

// Work for the main thread arrives from any thread; the loop's own state is
// therefore guarded by a mutex rather than by a queue.
struct LoopState {
    std::mutex mutex;
    std::condition_variable arrived;
    std::deque<std::function<void()>> work;
};

LoopState& state() {
    static auto* s = new LoopState;
    return *s;
}

// Main-queue work run anywhere else would break every promise the main
// queue makes, so the misuse stops the process at once.
void checkMainThread(const char* caller) {
    if (!MainRunLoop::isMainThread()) {
        std::fprintf(stderr, "BUG IN CLIENT OF DISPATCH: MainRunLoop::%s called off the main thread\n",
                     caller);
        std::abort();
    }
}

bool runOne(std::unique_lock<std::mutex>& lock) {
    auto& s = state();
    if (s.work.empty()) {
        return false;
    }
    auto work = std::move(s.work.front());
    s.work.pop_front();
    lock.unlock();
    work();
    lock.lock();
    return true;
}

} // namespace

void MainRunLoop::enqueue(std::function<void()> work) {
    auto& s = state();
    {
        std::lock_guard lock(s.mutex);
        s.work.push_back(std::move(work));
    }
    s.arrived.notify_all();
    if (auto* app = QCoreApplication::instance()) {
        QMetaObject::invokeMethod(
            app, [] { drainPending(); }, Qt::QueuedConnection);
    }
}

int MainRunLoop::drainPending() {
    checkMainThread("drainPending");
    auto& s = state();
    std::unique_lock lock(s.mutex);
    size_t count = s.work.size();
    int ran = 0;
    while (count-- > 0 && runOne(lock)) {
        ++ran;
    }
    return ran;
}

bool MainRunLoop::runUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    checkMainThread("runUntil");
    auto& s = state();
    const auto deadline = timeout == std::chrono::milliseconds::max()
                              ? std::chrono::steady_clock::time_point::max()
                              : std::chrono::steady_clock::now() + timeout;
    std::unique_lock lock(s.mutex);
    for (;;) {
        lock.unlock();
        if (done()) {
            return true;
        }
        lock.lock();
        if (runOne(lock)) {
            continue;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            lock.unlock();
            return done();
        }
        // Wake up now and then even without work: `done` may watch state
        // that other threads change without touching this loop.
        const auto wake =
            std::min(deadline, std::chrono::steady_clock::now() + std::chrono::milliseconds(10));
        s.arrived.wait_until(lock, wake);
    }
}

void MainRunLoop::runFor(std::chrono::milliseconds duration) {
    runUntil([] { return false; }, duration);
}

bool MainRunLoop::isMainThread() {
    // The thread the process started with: the kernel numbers it with the
    // process id, so the answer is fixed before any code runs and cannot be
    // claimed by another thread later.
    return ::gettid() == ::getpid();
}

} // namespace platform
