#pragma once

#include "QualityOfService.h"

#include <QString>

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace platform {

// A queue of work items, serial or concurrent, run by the shared worker
// pool (or, for the main queue, by the main thread). Work submitted
// asynchronously runs in submission order on a serial queue; a barrier item
// on a concurrent queue waits for everything submitted before it and holds
// back everything submitted after it until it is done.
class DispatchQueue : public std::enable_shared_from_this<DispatchQueue> {
public:
    struct Attributes {
        bool concurrent = false;
        QualityOfService qos = QualityOfService::Default;
    };

    // A new queue; with a target, its work runs as work of the target queue.
    static std::shared_ptr<DispatchQueue> make(const QString& label, Attributes attributes,
                                               std::shared_ptr<DispatchQueue> target = nullptr);
    // A serial queue of default quality.
    static std::shared_ptr<DispatchQueue> make(const QString& label);
    // The serial queue of the main thread (see MainRunLoop), run by the Qt
    // event loop when a QCoreApplication exists, otherwise by MainRunLoop.
    static std::shared_ptr<DispatchQueue> main();
    // The process-wide concurrent queue of a quality-of-service class.
    static std::shared_ptr<DispatchQueue> global(QualityOfService qos = QualityOfService::Default);
    // The innermost queue whose work is running on the calling thread, or null.
    static std::shared_ptr<DispatchQueue> current();

    ~DispatchQueue();
    DispatchQueue(const DispatchQueue&) = delete;
    DispatchQueue& operator=(const DispatchQueue&) = delete;

    const QString& label() const { return label_; }
    QualityOfService qos() const { return qos_; }
    bool isConcurrent() const { return kind_ == Kind::Concurrent; }
    bool isMain() const { return kind_ == Kind::Main; }
    const std::shared_ptr<DispatchQueue>& target() const { return target_; }
    // True while the calling code runs as work of this queue, directly or
    // through a queue that targets it.
    bool isCurrent() const;

    void async(std::function<void()> work);
    // Runs the work and returns once it has run. Waiting on a queue the
    // caller holds (its own serial queue, or a queue whose targets lead to
    // it) would never end: that misuse stops the process.
    void sync(const std::function<void()>& work);
    void barrierAsync(std::function<void()> work);
    void barrierSync(const std::function<void()>& work);
    // Submits the work asynchronously once the delay has passed.
    void after(std::chrono::milliseconds delay, std::function<void()> work);

private:
    enum class Kind { Serial, Concurrent, Main };
    struct Item {
        std::function<void()> work;
        bool barrier = false;
    };

    DispatchQueue(QString label, Kind kind, QualityOfService qos, std::shared_ptr<DispatchQueue> target,
                  bool global);

    void submit(Item item);
    void runSynchronously(const std::function<void()>& work, bool barrier);
    void checkNotWaitingForItself(bool barrier) const;
    bool runsOnMainThread() const;
    void waitFor(const std::function<void()>& work, bool barrier);
    bool tryRunInline(const std::function<void()>& work, bool barrier);
    void schedule(std::function<void()> run);
    void drainSerial();
    void pumpConcurrentLocked(std::unique_lock<std::mutex>& lock);
    void runConcurrent(Item item);

    const QString label_;
    const Kind kind_;
    const QualityOfService qos_;
    const std::shared_ptr<DispatchQueue> target_;
    const bool global_;

    // Queues are reached from any thread and are what every other component
    // builds its own serialisation on, so their bookkeeping uses a mutex.
    std::mutex mutex_;
    std::deque<Item> pending_;
    bool draining_ = false; // serial: a drain is scheduled or running
    int running_ = 0;       // concurrent: items running now
    bool barrierRunning_ = false;
};

} // namespace platform
