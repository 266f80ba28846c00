#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include <curl/curl.h>

namespace platform {

// The process's one network thread: it drives every transfer through one
// libcurl multi handle, so transfers share its connection pool and DNS
// cache. Started on first use; transfers still running when the process
// exits are dropped. Work handed to it runs there in the order it was posted.
class NetworkThread {
public:
    // A transfer the thread drives. The thread owns it from `add` until curl
    // is done with its handle (then `finished` runs) or `discard` is called;
    // it goes away on the network thread, after the work under way there.
    class Transfer {
    public:
        virtual ~Transfer() = default;
        virtual CURL* handle() const = 0;
        // curl is done with the handle, which has already left the multi
        // handle; `result` is curl's verdict.
        virtual void finished(CURLcode result) = 0;
        // When the thread must next call `deadlineReached`, if ever. Asked
        // after every round of work.
        virtual std::optional<std::chrono::steady_clock::time_point> deadline() const { return std::nullopt; }
        virtual void deadlineReached() {}
    };

    static NetworkThread& shared();

    // Runs the work on the network thread, after the work posted before it.
    void post(std::function<void()> work);
    bool isCurrent() const;

    // Network thread only.
    void add(std::unique_ptr<Transfer> transfer);
    // Takes the transfer's handle out of the multi handle and lets the
    // transfer go; nothing more is reported for it. Network thread only.
    void discard(Transfer* transfer);

    NetworkThread(const NetworkThread&) = delete;
    NetworkThread& operator=(const NetworkThread&) = delete;

private:
    NetworkThread();
    void run();
    void runPostedWork();
    void takeFinishedTransfers();
    // Calls the transfers whose deadline passed; answers how long the thread
    // may then sleep.
    std::chrono::milliseconds serveDeadlines();
    void stop();

    CURLM* const multi_;
    std::thread thread_;

    // Posted work, handed over from any thread.
    std::mutex postedMutex_;
    std::vector<std::function<void()>> posted_;
    bool stopping_ = false;

    // Network thread only.
    std::map<Transfer*, std::unique_ptr<Transfer>> transfers_;
    // Discarded during a round, destroyed when it ends, so that a transfer
    // may discard itself from inside its own calls.
    std::vector<std::unique_ptr<Transfer>> discarded_;
};

} // namespace platform
