#pragma once

#include "platform/DispatchQueue.h"
#include "support/BRValueOrError.h"

#include <QString>
#include <QUrl>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class AFXAppWorkflow;
class BRFollowingUnarchiver;
class StoreFileDownload;

// One installation of one vendor app: its archive is downloaded into a
// temporary folder of our own, and unpacked as it arrives, then installed
// with AFXInstallApp (the signature checked at the team's level) at the
// app's place. Every change of the app's workflow is announced with the
// distributed notification "com.kestrel.app-workflow-changed": state 1
// with the share done (the download up to 0.8, unpacking, checking and
// placing the rest), then state 2 once the app is in place, or state 0
// when it failed or was cancelled. Nothing of a failed or cancelled
// installation stays behind.
//
// The installation's state lives on the queue it was started on (serial);
// the completion runs there, once. Unpacking and placing block, so they
// run on a global queue and report back.
class VendorAppInstallation : public std::enable_shared_from_this<VendorAppInstallation> {
public:
    // The placed app, or why there is none (the cancellation error after `cancel`).
    using Completion = std::function<void(const BRValueOrError<QUrl>&)>;

    // `installURL` is where the app goes ("/Applications/<Name>.app", resolved);
    // `expectedArchiveSize` stands in for a length the store does not send.
    static std::shared_ptr<VendorAppInstallation> start(std::int64_t appID, const QUrl& archiveURL,
                                                        const QUrl& installURL,
                                                        std::int64_t expectedArchiveSize,
                                                        const std::shared_ptr<platform::DispatchQueue>& queue,
                                                        Completion completion);

    ~VendorAppInstallation();

    // On the queue: the workflow as it stands, as a record of its own.
    std::shared_ptr<AFXAppWorkflow> workflow() const;
    // On the queue: stops the transfer, or takes back what the installation
    // placed once it returns. The completion follows.
    void cancel();

    // Announces the workflow's state to every process of the session.
    static void postWorkflowChange(const std::shared_ptr<AFXAppWorkflow>& workflow);

    // From any thread: cancels every installation of the process still
    // running (each on its own queue), and every one started afterwards as
    // it starts, then calls `done` on `queue` once all of them have
    // finished, so that no partial download or placed copy outlives a
    // process that is asked to quit.
    static void stopAll(const std::shared_ptr<platform::DispatchQueue>& queue, std::function<void()> done);

private:
    VendorAppInstallation(std::int64_t appID, QUrl installURL, std::int64_t expectedArchiveSize,
                          std::shared_ptr<platform::DispatchQueue> queue, Completion completion);

    void assertOnQueue() const;
    void downloadArchive(const QUrl& archiveURL);
    // Has the unpacking follow the archive as it arrives.
    void follow(std::int64_t totalBytesWritten);
    void installArchive(const QString& archivePath);
    void finishInstallation(const std::optional<QUrl>& placedURL, const platform::Error& error);
    // Announces the share done when it moved on enough to be worth a notification.
    void setFractionCompleted(double fractionCompleted);
    void finish(const BRValueOrError<QUrl>& result);

    // The installations that have started and not finished, for `stopAll`.
    struct Running;
    static Running& running();

    const std::int64_t appID_;
    const QUrl installURL_;
    const std::int64_t expectedArchiveSize_;
    const std::shared_ptr<platform::DispatchQueue> queue_;

    // On the queue.
    Completion completion_;
    std::optional<QString> temporaryFolder_;
    std::shared_ptr<StoreFileDownload> download_;
    QUrl archiveURL_;
    // The unpacking that follows the download; tried once, at its first bytes.
    std::shared_ptr<BRFollowingUnarchiver> follower_;
    bool followed_ = false;
    bool cancelled_ = false;
    bool finished_ = false;
    std::int64_t state_ = 1;
    double fractionCompleted_ = 0;
    double announcedFraction_ = 0;
};
