#pragma once

#include <chrono>
#include <functional>

namespace platform {

// Runs the work of the main queue on the main thread, the thread the process
// started with. In a program with a QCoreApplication (made on that thread)
// the work is delivered through the application's event loop; command-line
// programs and tests without one spin the loop themselves. Running the loop
// from any other thread stops the process.
class MainRunLoop {
public:
    // Hands work to the main thread; called by the main queue.
    static void enqueue(std::function<void()> work);

    // Runs main-queue work until `done` answers true or the timeout passes;
    // answers whether `done` became true. `done` is checked after every item.
    static bool runUntil(const std::function<bool()>& done,
                         std::chrono::milliseconds timeout = std::chrono::milliseconds::max());
    // Runs main-queue work for the given time.
    static void runFor(std::chrono::milliseconds duration);
    // Runs the work already waiting, without waiting for more; answers how many items ran.
    static int drainPending();

    // True on the thread the process started with, and only there.
    static bool isMainThread();
};

} // namespace platform
