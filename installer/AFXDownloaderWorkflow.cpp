#include "AFXDownloaderWorkflow.h"

#include "SpecificTools/Errors/AFXNetworkErrors.h"
#include "platform/Bundle.h"
#include "platform/FileManager.h"
#include "platform/Paths.h"
#include "support/BRFollowingUnarchiver.h"
#include "support/BRUnarchiver.h"

#include <vector>

using platform::Error;

namespace {

const QString kArchivePath = QStringLiteral("/com.kestrel.DesktopClient/Kestrel.zip");
const QString kClientBundleName = QStringLiteral("Kestrel.app");
constexpr double kArchiveRequestTimeout = 10.0;
constexpr std::uint64_t kMaximumSilentResumeAttempt = 2;

} // namespace

AFXDownloaderWorkflow::AFXDownloaderWorkflow(const std::shared_ptr<AFXDownloaderDelegate>& delegate)
    : delegate_(delegate),
      privateQueue_(platform::DispatchQueue::make(QStringLiteral("AFXDownloaderWorkflow"))) {}

AFXDownloaderWorkflow::~AFXDownloaderWorkflow() = default;

std::shared_ptr<AFXDownloaderWorkflow>
AFXDownloaderWorkflow::makeWithDelegate(const std::shared_ptr<AFXDownloaderDelegate>& delegate) {
    std::shared_ptr<AFXDownloaderWorkflow> workflow(new AFXDownloaderWorkflow(delegate));
    std::lock_guard lock(workflow->mutex_);
    workflow->makeSession();
    return workflow;
}

void AFXDownloaderWorkflow::makeSession() {
    downloadSession_ = platform::URLSession::sessionWithConfiguration(
        platform::URLSessionConfiguration::defaultSessionConfiguration(), shared_from_this(), privateQueue_);
    liveSessions_.append(downloadSession_);
}

bool AFXDownloaderWorkflow::isCurrent(const platform::URLSession& session) const {
    std::lock_guard lock(mutex_);
    return !stopped_ && &session == downloadSession_.get();
}

QUrl AFXDownloaderWorkflow::archiveURL() {
    QString host = QString::fromLocal8Bit(qgetenv("KESTREL_DOWNLOAD_HOST"));
    if (host.isEmpty()) {
        host = platform::Bundle::mainBundle()
                   ->objectForInfoDictionaryKey(QStringLiteral("AFXDownloadHost"))
                   .toString();
    }
    while (host.endsWith(QLatin1Char('/'))) {
        host.chop(1);
    }
    return QUrl(host + kArchivePath);
}

QUrl AFXDownloaderWorkflow::destinationFolderURL() {
    return QUrl::fromLocalFile(platform::Paths::resolve(QStringLiteral("/Applications")));
}

void AFXDownloaderWorkflow::start() {
    std::shared_ptr<platform::URLSession> previousSession;
    std::shared_ptr<platform::URLSessionDownloadTask> task;
    std::optional<QByteArray> unused;
    std::shared_ptr<BRFollowingUnarchiver> unusedFollower;
    {
        std::lock_guard lock(mutex_);
        if (stopped_ || (task_ && task_->state() == platform::URLSessionTask::State::Running)) {
            return;
        }
        silentResumeAttempt_ = 0;
        progress_ = 0.0;
        suspended_ = false;
        unused = std::exchange(resumeData_, std::nullopt);
        unusedFollower = stopFollowing();
        // A session that carried a transfer has been, or is about to be,
        // invalidated: the new transfer gets a session of its own.
        if (task_) {
            previousSession = downloadSession_;
            makeSession();
        }
        task_ = downloadSession_->downloadTaskWithRequest(platform::URLRequest(
            archiveURL(), platform::URLRequest::CachePolicy::ReloadIgnoringLocalCacheData,
            kArchiveRequestTimeout));
        task = task_;
        followable_ = true;
    }
    if (previousSession) {
        previousSession->invalidateAndCancel();
    }
    discard(unused);
    if (task) {
        task->resume();
    }
}

std::shared_ptr<BRFollowingUnarchiver> AFXDownloaderWorkflow::stopFollowing() {
    followable_ = false;
    ++followingsStopped_;
    return std::exchange(follower_, nullptr);
}

void AFXDownloaderWorkflow::follow(platform::URLSessionDownloadTask& task, std::int64_t totalBytesWritten) {
    std::shared_ptr<BRFollowingUnarchiver> follower;
    std::uint64_t followingsStopped = 0;
    {
        std::lock_guard lock(mutex_);
        if (&task != task_.get()) {
            return;
        }
        followingsStopped = followingsStopped_;
        follower = follower_;
        if (!follower && !std::exchange(followable_, false)) {
            return;
        }
    }
    if (!follower) {
        // Starting the unpacking takes a moment; the owner may stop or
        // suspend the transfer meanwhile, and then it ends at once.
        follower = BRUnarchiver::followArchiveBeingWritten(archiveURL(), task.fileBeingWritten());
        if (!follower) {
            return;
        }
        std::lock_guard lock(mutex_);
        if (stopped_ || followingsStopped != followingsStopped_) {
            return;
        }
        follower_ = follower;
    }
    follower->bytesWritten(totalBytesWritten);
}

void AFXDownloaderWorkflow::discard(const std::optional<QByteArray>& resumeData) {
    // A transfer that will not be continued leaves no partial file behind.
    if (resumeData) {
        platform::URLSession::discardResumeData(*resumeData);
    }
}

void AFXDownloaderWorkflow::suspend(std::function<void()> suspended) {
    std::shared_ptr<platform::URLSessionDownloadTask> task;
    std::shared_ptr<BRFollowingUnarchiver> unusedFollower;
    {
        std::lock_guard lock(mutex_);
        suspended_ = true;
        // Kept resume data mean the transfer is suspended already.
        if (!resumeData_) {
            task = task_;
        }
        unusedFollower = stopFollowing();
    }
    if (!task) {
        if (suspended) {
            privateQueue_->async(std::move(suspended));
        }
        return;
    }
    task->cancelByProducingResumeData(
        [weakSelf = weak_from_this(), weakTask = std::weak_ptr(task),
         suspended = std::move(suspended)](const std::optional<QByteArray>& resumeData) {
            auto self = weakSelf.lock();
            std::optional<QByteArray> unused = resumeData;
            if (self) {
                // Kept only while nothing came after the suspended transfer
                // (a stop, or a start with a transfer of its own).
                std::lock_guard lock(self->mutex_);
                if (!self->stopped_ && self->task_ == weakTask.lock() && resumeData) {
                    std::swap(self->resumeData_, unused);
                }
            }
            discard(unused);
            if (suspended) {
                suspended();
            }
        });
}

void AFXDownloaderWorkflow::resume() {
    std::shared_ptr<platform::URLSessionDownloadTask> task;
    std::optional<QByteArray> unused;
    {
        std::lock_guard lock(mutex_);
        suspended_ = false;
        if (stopped_) {
            unused = std::exchange(resumeData_, std::nullopt);
        } else {
            task = taskFromResumeData();
        }
    }
    discard(unused);
    if (task) {
        task->resume();
    }
}

std::shared_ptr<platform::URLSessionDownloadTask> AFXDownloaderWorkflow::taskFromResumeData() {
    if (!resumeData_) {
        return nullptr;
    }
    // Null once the session has been invalidated: only `start` goes on.
    auto task = downloadSession_->downloadTaskWithResumeData(*resumeData_);
    if (task) {
        // The partial file is the new task's now.
        resumeData_.reset();
        task_ = task;
    }
    return task;
}

void AFXDownloaderWorkflow::stop(std::function<void()> stopped) {
    // A copy of its own, not one sharing the list's buffer: the session's
    // invalidation changes the list on another thread while this goes on.
    std::vector<std::shared_ptr<platform::URLSession>> sessions;
    std::optional<QByteArray> unused;
    std::shared_ptr<BRFollowingUnarchiver> unusedFollower;
    {
        std::lock_guard lock(mutex_);
        stopped_ = true;
        unused = std::exchange(resumeData_, std::nullopt);
        unusedFollower = stopFollowing();
        sessions.assign(liveSessions_.cbegin(), liveSessions_.cend());
        if (stopped && !sessions.empty()) {
            stoppedCallbacks_.append(std::move(stopped));
        }
    }
    discard(unused);
    if (sessions.empty()) {
        if (stopped) {
            privateQueue_->async(std::move(stopped));
        }
        return;
    }
    for (const auto& session : sessions) {
        session->invalidateAndCancel();
    }
}

void AFXDownloaderWorkflow::URLSessionDidBecomeInvalidWithError(platform::URLSession& session,
                                                                const std::optional<Error>&) {
    QList<std::function<void()>> callbacks;
    {
        std::lock_guard lock(mutex_);
        liveSessions_.removeIf([&session](const auto& live) { return live.get() == &session; });
        if (stopped_ && liveSessions_.isEmpty()) {
            callbacks.swap(stoppedCallbacks_);
        }
    }
    for (const auto& callback : callbacks) {
        callback();
    }
}

void AFXDownloaderWorkflow::URLSessionDownloadTaskDidWriteData(platform::URLSession& session,
                                                               platform::URLSessionDownloadTask& task,
                                                               std::int64_t, std::int64_t totalBytesWritten,
                                                               std::int64_t totalBytesExpectedToWrite) {
    if (!isCurrent(session)) {
        return;
    }
    follow(task, totalBytesWritten);
    auto delegate = delegate_.lock();
    if (progress_ == 0.0 && delegate) {
        delegate->downloaderDidStarted(*this);
    }
    silentResumeAttempt_ = 0;
    progress_ = totalBytesExpectedToWrite > 0
                    ? static_cast<double>(totalBytesWritten) / static_cast<double>(totalBytesExpectedToWrite)
                    : 0.0;
    if (delegate) {
        delegate->downloaderDidUpdateDownloadingProgress(*this, progress_);
    }
}

void AFXDownloaderWorkflow::URLSessionDownloadTaskDidFinishDownloadingToURL(
    platform::URLSession& session, platform::URLSessionDownloadTask& task, const QUrl& location) {
    if (!isCurrent(session)) {
        return;
    }
    // Whatever comes of this archive, the unpacking that followed it ends with it.
    std::shared_ptr<BRFollowingUnarchiver> follower;
    {
        std::lock_guard lock(mutex_);
        if (&task == task_.get()) {
            follower = stopFollowing();
        }
    }
    auto delegate = delegate_.lock();
    if (location.isEmpty()) {
        // What was unpacked is gone before the failure is told.
        follower.reset();
        if (delegate) {
            delegate->downloaderDidFailWithError(*this, std::nullopt);
        }
        return;
    }
    // A download task delivers whatever body the server sent; an error page
    // is no archive, and the server's answer says more than unpacking it would.
    if (const std::optional<platform::URLResponse> response = task.response()) {
        if (AFXOptionalError serverError = afx_interpretResponse(&*response)) {
            follower.reset();
            if (delegate) {
                delegate->downloaderDidFailWithError(*this, serverError);
            }
            return;
        }
    }
    if (delegate) {
        delegate->downloaderDidFinishDownloadingToURL(*this, location);
    }
    // The delegate may have stopped the workflow on hearing of the archive.
    if (!isCurrent(session)) {
        return;
    }
    BRUnarchiver::unpackArchiveAtURL(
        location, destinationFolderURL(), false, nullptr,
        [this, &session, &delegate](const std::optional<QUrl>& folderURL, const std::optional<Error>& error) {
            // A stop while unpacking leaves the unpacked archive unreported.
            if (!isCurrent(session)) {
                return;
            }
            if (!error && folderURL) {
                const QString clientPath = folderURL->toLocalFile() + QLatin1Char('/') + kClientBundleName;
                if (platform::FileManager::fileExists(clientPath)) {
                    if (delegate) {
                        delegate->downloaderDidFinishUnarchivingToURL(*this, QUrl::fromLocalFile(clientPath));
                    }
                    return;
                }
            }
            if (delegate) {
                delegate->downloaderDidFailWithError(*this, error);
            }
        },
        std::move(follower));
}

void AFXDownloaderWorkflow::URLSessionTaskDidCompleteWithError(platform::URLSession& session,
                                                               platform::URLSessionTask&,
                                                               const std::optional<Error>& error) {
    if (!isCurrent(session)) {
        // A transfer of a replaced or stopped session is never continued.
        if (error) {
            platform::URLSession::discardResumeDataOfError(*error);
        }
        return;
    }
    // The session holds its delegate until it is invalidated; a download
    // that has ended for good lets it go, or every workflow would live on.
    if (!error) {
        session.finishTasksAndInvalidate();
        return;
    }
    std::shared_ptr<BRFollowingUnarchiver> unusedFollower;
    {
        std::lock_guard lock(mutex_);
        unusedFollower = stopFollowing();
    }
    // Ended here, out of the lock, and before anyone hears of the failure.
    unusedFollower.reset();
    if (error->code() == platform::NSURLErrorCancelled) {
        return;
    }
    const auto resumeData = error->userInfo().find(platform::NSURLSessionDownloadTaskResumeData);
    if (resumeData != error->userInfo().end() && silentResumeAttempt_ <= kMaximumSilentResumeAttempt) {
        ++silentResumeAttempt_;
        std::shared_ptr<platform::URLSessionDownloadTask> task;
        std::optional<QByteArray> unused;
        {
            // One turn of the lock: a suspension or a stop comes before the
            // break is kept, or finds it kept and not continued.
            std::lock_guard lock(mutex_);
            if (stopped_) {
                unused = resumeData->toData();
            } else {
                unused = std::exchange(resumeData_, resumeData->toData());
                if (!suspended_) {
                    task = taskFromResumeData();
                }
            }
        }
        discard(unused);
        if (task) {
            task->resume();
        }
        return;
    }
    platform::URLSession::discardResumeDataOfError(*error);
    session.finishTasksAndInvalidate();
    if (auto delegate = delegate_.lock()) {
        delegate->downloaderDidFailWithError(*this, error);
    }
}
