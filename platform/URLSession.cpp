#include "URLSession.h"

#include "NetworkThread.h"
#include "URLSessionResumeData.h"
#include "URLSessionTransfer.h"

#include <map>
#include <vector>

namespace platform {

struct URLSession::State {
    // Serialises the tasks, the identifiers and the invalidated flag.
    std::shared_ptr<DispatchQueue> queue;
    std::map<std::uint64_t, std::shared_ptr<URLSessionDownloadTask>> tasks;
    std::uint64_t nextIdentifier = 1;
    bool invalidated = false;
    // Touched only on the delegate queue once the session is made.
    std::shared_ptr<URLSessionDelegate> delegate;
    std::shared_ptr<const URLSessionTransfer::Trust> trust;
};

std::shared_ptr<URLSession>
URLSession::sessionWithConfiguration(const URLSessionConfiguration& configuration,
                                     std::shared_ptr<URLSessionDelegate> delegate,
                                     std::shared_ptr<DispatchQueue> delegateQueue) {
    if (!delegateQueue) {
        delegateQueue = DispatchQueue::make(QStringLiteral("com.kestrel.URLSession.delegate-queue"));
    } else if (delegateQueue->isConcurrent()) {
        // Events must arrive one at a time and in order.
        delegateQueue =
            DispatchQueue::make(delegateQueue->label() + QStringLiteral(".URLSession"), {}, delegateQueue);
    }
    return std::shared_ptr<URLSession>(
        new URLSession(configuration, std::move(delegate), std::move(delegateQueue)));
}

URLSession::URLSession(URLSessionConfiguration configuration, std::shared_ptr<URLSessionDelegate> delegate,
                       std::shared_ptr<DispatchQueue> delegateQueue)
    : configuration_(std::move(configuration)), delegateQueue_(std::move(delegateQueue)),
      state_(std::make_unique<State>()) {
    state_->queue = DispatchQueue::make(QStringLiteral("com.kestrel.URLSession.internal-queue"),
                                        {false, QualityOfService::Utility});
    state_->delegate = std::move(delegate);
    state_->trust = URLSessionTransfer::Trust::fromEnvironment();
}

// Nobody can be told any more: the transfers stop quietly and their tasks end
// as cancelled.
URLSession::~URLSession() {
    for (const auto& [identifier, task] : state_->tasks) {
        bool started = true;
        {
            std::lock_guard lock(task->mutex_);
            started = task->state_ != URLSessionTask::State::Suspended;
        }
        if (!started) {
            task->completeWithoutSession();
            continue;
        }
        NetworkThread::shared().post([task = task] { URLSessionTransfer::abandon(task); });
    }
}

std::shared_ptr<URLSessionDownloadTask> URLSession::downloadTaskWithRequest(const URLRequest& request) {
    return makeTask(request, std::nullopt);
}

std::shared_ptr<URLSessionDownloadTask> URLSession::downloadTaskWithResumeData(const QByteArray& resumeData) {
    const auto resume = URLSessionResumeData::decode(resumeData);
    return makeTask(resume ? resume->request() : URLRequest(QUrl()), resumeData);
}

void URLSession::discardResumeData(const QByteArray& resumeData) {
    if (const auto resume = URLSessionResumeData::decode(resumeData)) {
        URLSessionTransfer::discardPartialFile(resume->path);
    }
}

void URLSession::discardResumeDataOfError(const Error& error) {
    const auto resumeData = error.userInfo().find(NSURLSessionDownloadTaskResumeData);
    if (resumeData != error.userInfo().end()) {
        discardResumeData(resumeData->toData());
    }
}

std::shared_ptr<URLSessionDownloadTask> URLSession::makeTask(const URLRequest& request,
                                                             std::optional<QByteArray> resumeData) {
    std::shared_ptr<URLSessionDownloadTask> task;
    state_->queue->sync([&] {
        if (state_->invalidated) {
            return;
        }
        task.reset(new URLSessionDownloadTask(weak_from_this(), state_->nextIdentifier++, request));
        task->resumeData_ = std::move(resumeData);
        state_->tasks.emplace(task->taskIdentifier(), task);
    });
    return task;
}

void URLSession::invalidateAndCancel() {
    invalidate(true);
}

void URLSession::finishTasksAndInvalidate() {
    invalidate(false);
}

void URLSession::invalidate(bool cancelTasks) {
    std::vector<std::shared_ptr<URLSessionDownloadTask>> tasks;
    bool releaseNow = false;
    state_->queue->sync([&] {
        releaseNow = !state_->invalidated && state_->tasks.empty();
        state_->invalidated = true;
        if (cancelTasks) {
            for (const auto& [identifier, task] : state_->tasks) {
                tasks.push_back(task);
            }
        }
    });
    for (const auto& task : tasks) {
        task->cancel();
    }
    if (releaseNow) {
        // Never in the caller's stack: it may be the delegate itself.
        delegateQueue_->async([session = weak_from_this()] {
            if (auto strongSession = session.lock()) {
                strongSession->becomeInvalid();
            }
        });
    }
}

void URLSession::resumeTask(const std::shared_ptr<URLSessionDownloadTask>& task) {
    URLSessionTransfer::Settings settings{weak_from_this(), delegateQueue_,
                                          configuration_.timeoutIntervalForRequest, state_->trust};
    NetworkThread::shared().post(
        [task, settings = std::move(settings)] { URLSessionTransfer::start(task, settings); });
}

void URLSession::cancelTask(const std::shared_ptr<URLSessionDownloadTask>& task,
                            std::function<void(const std::optional<QByteArray>&)> resumeDataHandler) {
    URLSessionTransfer::Settings settings{weak_from_this(), delegateQueue_,
                                          configuration_.timeoutIntervalForRequest, state_->trust};
    NetworkThread::shared().post(
        [task, settings = std::move(settings), handler = std::move(resumeDataHandler)] {
            URLSessionTransfer::cancel(task, settings, handler);
        });
}

std::shared_ptr<URLSessionDelegate> URLSession::delegateOnQueue() const {
    return state_->delegate;
}

void URLSession::deliverCompletion(URLSessionTask& task, const std::optional<Error>& error) {
    if (const auto delegate = state_->delegate) {
        delegate->URLSessionTaskDidCompleteWithError(*this, task, error);
    }
    bool release = false;
    state_->queue->sync([&] {
        state_->tasks.erase(task.taskIdentifier());
        release = state_->invalidated && state_->tasks.empty();
    });
    if (release) {
        becomeInvalid();
    }
}

void URLSession::becomeInvalid() {
    if (const auto delegate = std::exchange(state_->delegate, nullptr)) {
        delegate->URLSessionDidBecomeInvalidWithError(*this, std::nullopt);
    }
}

} // namespace platform
