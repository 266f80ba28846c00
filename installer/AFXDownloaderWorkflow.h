#pragma once

#include "AFXDownloaderDelegate.h"
#include "platform/DispatchQueue.h"
#include "platform/URLSession.h"

#include <QByteArray>
#include <QUrl>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class BRFollowingUnarchiver;

// Fetches the desktop client's archive, resumes silently over short network
// failures, unpacks it straight into the applications folder and checks
// that the client arrived there, telling the delegate about each stage.
// The archive of a transfer that runs from its first byte to its last
// without a break is unpacked as it arrives, so that little is left to do
// when it is complete. Each `start` runs on a URL session of its own, so a
// workflow whose download finished or failed can start again; events of an
// earlier session are ignored.
//
// The archive lives at "/com.kestrel.DesktopClient/Kestrel.zip" on the
// download host: KESTREL_DOWNLOAD_HOST when set (a base URL such as
// "https://127.0.0.1:8443"), else the "AFXDownloadHost" entry of the
// program's Info.plist.
class AFXDownloaderWorkflow : public platform::URLSessionDelegate,
                              public std::enable_shared_from_this<AFXDownloaderWorkflow> {
public:
    static std::shared_ptr<AFXDownloaderWorkflow>
    makeWithDelegate(const std::shared_ptr<AFXDownloaderDelegate>& delegate);
    ~AFXDownloaderWorkflow() override;

    static QUrl archiveURL();
    // The file URL of "/Applications".
    static QUrl destinationFolderURL();

    std::shared_ptr<AFXDownloaderDelegate> delegate() const { return delegate_.lock(); }
    // Share of the archive written so far, 0.0–1.0.
    double progress() const { return progress_; }
    std::uint64_t silentResumeAttempt() const { return silentResumeAttempt_; }

    // Begins a new transfer from byte 0, unless one is running or the
    // workflow was stopped.
    void start();
    // Stops the transfer, keeping what is needed to `resume` it. `suspended`
    // runs on the delegate queue once the transfer has stopped and what
    // `resume` needs is kept.
    void suspend(std::function<void()> suspended = {});
    // Continues a suspended or interrupted transfer.
    void resume();
    // Cancels everything for good; nothing is reported afterwards, and an
    // archive that is complete but not yet unpacked is not unpacked.
    // `stopped` runs (on the delegate queue) once every transfer has ended
    // and its files are gone, so an owner can wait before it goes away.
    void stop(std::function<void()> stopped = {});

    void URLSessionDownloadTaskDidWriteData(platform::URLSession&, platform::URLSessionDownloadTask&,
                                            std::int64_t bytesWritten, std::int64_t totalBytesWritten,
                                            std::int64_t totalBytesExpectedToWrite) override;
    void URLSessionDownloadTaskDidFinishDownloadingToURL(platform::URLSession&,
                                                         platform::URLSessionDownloadTask& task,
                                                         const QUrl& location) override;
    void URLSessionTaskDidCompleteWithError(platform::URLSession&, platform::URLSessionTask&,
                                            const std::optional<platform::Error>& error) override;
    void URLSessionDidBecomeInvalidWithError(platform::URLSession&,
                                             const std::optional<platform::Error>&) override;

private:
    explicit AFXDownloaderWorkflow(const std::shared_ptr<AFXDownloaderDelegate>& delegate);

    // A new session whose delegate is the workflow; the caller holds `mutex_`.
    void makeSession();
    // Whether the session's events still count: it is the current one and
    // the workflow was not stopped.
    bool isCurrent(const platform::URLSession& session) const;
    // Resume data that will not be used: their partial file goes.
    static void discard(const std::optional<QByteArray>& resumeData);
    // Has the unpacking follow the archive the task writes, when the task
    // is the current one and began at the archive's first byte; on the
    // delegate queue.
    void follow(platform::URLSessionDownloadTask& task, std::int64_t totalBytesWritten);
    // Detaches the unpacking that followed a transfer that will not run to
    // its end without a break, and answers it; the caller holds `mutex_`
    // and drops it after letting go, which ends it.
    std::shared_ptr<BRFollowingUnarchiver> stopFollowing();
    // A task that continues from the kept resume data, made the current
    // one; null without resume data or once the session is invalidated. The
    // caller holds `mutex_` and resumes the task after letting go.
    std::shared_ptr<platform::URLSessionDownloadTask> taskFromResumeData();

    const std::weak_ptr<AFXDownloaderDelegate> delegate_;
    // Written on the delegate queue, read by the owner.
    std::atomic<double> progress_ = 0.0;
    std::atomic<std::uint64_t> silentResumeAttempt_ = 0;
    // The owner's commands and the sessions' callbacks both replace the
    // session, the task and the resume data, from different threads.
    mutable std::mutex mutex_;
    // The session of the latest `start`.
    std::shared_ptr<platform::URLSession> downloadSession_;
    // Every session that has yet to say it became invalid: each holds the
    // workflow until then, and the workflow holds it so that it gets to say so.
    QList<std::shared_ptr<platform::URLSession>> liveSessions_;
    std::shared_ptr<platform::URLSessionDownloadTask> task_;
    std::optional<QByteArray> resumeData_;
    // The current task began at the archive's first byte and has not been
    // followed yet.
    bool followable_ = false;
    // Counts `stopFollowing`, so that an unpacking that was starting meanwhile ends.
    std::uint64_t followingsStopped_ = 0;
    std::shared_ptr<BRFollowingUnarchiver> follower_;
    bool stopped_ = false;
    // The owner suspended the transfer and has not resumed or started one
    // since: a transfer that breaks meanwhile is kept, not continued.
    bool suspended_ = false;
    QList<std::function<void()>> stoppedCallbacks_;
    const std::shared_ptr<platform::DispatchQueue> privateQueue_;
};
