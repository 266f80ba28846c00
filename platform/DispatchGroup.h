#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace platform {

class DispatchQueue;

// Counts outstanding work: enter before it starts, leave when it is done.
// Waiters and notification blocks are served when the count returns to zero.
class DispatchGroup : public std::enable_shared_from_this<DispatchGroup> {
public:
    static std::shared_ptr<DispatchGroup> make();

    void enter();
    // Leaving more often than entering is a programming error and stops the process.
    void leave();
    // Runs the work on the queue as a member of the group.
    void async(const std::shared_ptr<DispatchQueue>& queue, std::function<void()> work);
    // Submits the block to the queue once the group is empty (at once when it already is).
    void notify(const std::shared_ptr<DispatchQueue>& queue, std::function<void()> block);
    // Answers true when the group emptied within the timeout.
    bool wait(std::chrono::milliseconds timeout);
    void wait();

private:
    DispatchGroup() = default;

    // Entered and left from any thread; a mutex keeps the count exact.
    std::mutex mutex_;
    std::condition_variable emptied_;
    long count_ = 0;
    std::vector<std::pair<std::shared_ptr<DispatchQueue>, std::function<void()>>> notifications_;
};

} // namespace platform
