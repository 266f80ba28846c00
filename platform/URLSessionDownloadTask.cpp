#include "URLSessionDownloadTask.h"

#include "DispatchQueue.h"
#include "URLSession.h"

namespace platform {

void URLSessionDownloadTask::cancelByProducingResumeData(
    std::function<void(const std::optional<QByteArray>&)> completionHandler) {
    {
        std::lock_guard lock(mutex_);
        if (state_ == State::Suspended || state_ == State::Running) {
            state_ = State::Canceling;
        }
    }
    auto task = std::static_pointer_cast<URLSessionDownloadTask>(shared_from_this());
    // Whether or not the task is still running, the answer goes through the
    // network thread, so that it comes after everything the task reported.
    if (auto session = session_.lock()) {
        session->cancelTask(
            task, completionHandler ? std::move(completionHandler) : [](const std::optional<QByteArray>&) {});
        return;
    }
    completeWithoutSession();
    if (completionHandler) {
        DispatchQueue::global(QualityOfService::Utility)->async([handler = std::move(completionHandler)] {
            handler(std::nullopt);
        });
    }
}

QString URLSessionDownloadTask::fileBeingWritten() const {
    std::lock_guard lock(mutex_);
    return fileBeingWritten_;
}

} // namespace platform
