#pragma once

#include "Error.h"
#include "URLRequest.h"
#include "URLResponse.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

namespace platform {

class URLSession;
class URLSessionTransfer;

inline constexpr std::int64_t URLSessionTransferSizeUnknown = -1;

// One transfer of a session. Made suspended by the session; `resume` starts
// it. Its properties may be read from any thread.
class URLSessionTask : public std::enable_shared_from_this<URLSessionTask> {
public:
    enum class State {
        Running = 0,
        Suspended = 1,
        Canceling = 2,
        Completed = 3,
    };

    virtual ~URLSessionTask();
    URLSessionTask(const URLSessionTask&) = delete;
    URLSessionTask& operator=(const URLSessionTask&) = delete;

    std::uint64_t taskIdentifier() const { return identifier_; }
    const URLRequest& originalRequest() const { return request_; }
    State state() const;
    // The last response received, if any.
    std::optional<URLResponse> response() const;
    std::int64_t countOfBytesReceived() const;
    std::int64_t countOfBytesExpectedToReceive() const;
    std::optional<Error> error() const;

    void resume();
    // Ends the task with NSURLErrorCancelled.
    void cancel();

protected:
    URLSessionTask(std::weak_ptr<URLSession> session, std::uint64_t identifier, URLRequest request);

    // The session and its network thread report through these.
    friend class URLSession;
    friend class URLSessionTransfer;
    const std::weak_ptr<URLSession> session_;
    const std::uint64_t identifier_;
    const URLRequest request_;
    mutable std::mutex mutex_;
    State state_ = State::Suspended;
    std::optional<URLResponse> response_;
    std::int64_t received_ = 0;
    std::int64_t expected_ = URLSessionTransferSizeUnknown;
    std::optional<Error> error_;
    // The transfer running the task; touched only on the network thread.
    URLSessionTransfer* transfer_ = nullptr;

    // Ends a task whose session is gone.
    void completeWithoutSession();
};

} // namespace platform
