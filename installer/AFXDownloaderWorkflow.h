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

// Fetches the desktop client's archive, resumes silently over short network
// failures, unpacks it straight into the applications folder and checks
// that the client arrived there, telling the delegate about each stage. One
// workflow serves one download.
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

    // Begins a new transfer from byte 0, unless one is running.
    void start();
    // Stops the transfer, keeping what is needed to `resume` it.
    void suspend();
    // Continues a suspended or interrupted transfer.
    void resume();
    // Cancels everything for good; nothing is reported afterwards. `stopped`
    // runs (on the session's delegate queue) once every transfer has ended
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

    const std::weak_ptr<AFXDownloaderDelegate> delegate_;
    // Written on the delegate queue, read by the owner.
    std::atomic<double> progress_ = 0.0;
    std::shared_ptr<platform::URLSession> downloadSession_;
    std::atomic<std::uint64_t> silentResumeAttempt_ = 0;
    // The owner's commands and the session's callbacks both replace the task
    // and the resume data, from different threads.
    mutable std::mutex mutex_;
    std::shared_ptr<platform::URLSessionDownloadTask> task_;
    std::optional<QByteArray> resumeData_;
    bool sessionInvalid_ = false;
    QList<std::function<void()>> stoppedCallbacks_;
    const std::shared_ptr<platform::DispatchQueue> privateQueue_;
};
