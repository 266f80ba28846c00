#include "URLSessionTask.h"

#include "URLErrors.h"
#include "URLSession.h"
#include "URLSessionDownloadTask.h"

namespace platform {

URLSessionTask::URLSessionTask(std::weak_ptr<URLSession> session, std::uint64_t identifier,
                               URLRequest request)
    : session_(std::move(session)), identifier_(identifier), request_(std::move(request)) {}

URLSessionTask::~URLSessionTask() = default;

URLSessionTask::State URLSessionTask::state() const {
    std::lock_guard lock(mutex_);
    return state_;
}

std::optional<URLResponse> URLSessionTask::response() const {
    std::lock_guard lock(mutex_);
    return response_;
}

std::int64_t URLSessionTask::countOfBytesReceived() const {
    std::lock_guard lock(mutex_);
    return received_;
}

std::int64_t URLSessionTask::countOfBytesExpectedToReceive() const {
    std::lock_guard lock(mutex_);
    return expected_;
}

std::optional<Error> URLSessionTask::error() const {
    std::lock_guard lock(mutex_);
    return error_;
}

void URLSessionTask::resume() {
    {
        std::lock_guard lock(mutex_);
        if (state_ != State::Suspended) {
            return;
        }
        state_ = State::Running;
    }
    auto task = std::dynamic_pointer_cast<URLSessionDownloadTask>(shared_from_this());
    if (auto session = session_.lock(); session && task) {
        session->resumeTask(task);
        return;
    }
    completeWithoutSession();
}

void URLSessionTask::cancel() {
    {
        std::lock_guard lock(mutex_);
        if (state_ == State::Canceling || state_ == State::Completed) {
            return;
        }
        state_ = State::Canceling;
    }
    auto task = std::dynamic_pointer_cast<URLSessionDownloadTask>(shared_from_this());
    if (auto session = session_.lock(); session && task) {
        session->cancelTask(task, nullptr);
        return;
    }
    completeWithoutSession();
}

void URLSessionTask::completeWithoutSession() {
    std::lock_guard lock(mutex_);
    if (state_ != State::Completed) {
        state_ = State::Completed;
        error_ = makeURLError(NSURLErrorCancelled, request_.URL());
    }
}

} // namespace platform
