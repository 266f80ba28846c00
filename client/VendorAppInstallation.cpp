#include "VendorAppInstallation.h"

#include "SpecificTools/AFXAppInstaller/AFXGlobals.h"
#include "SpecificTools/AFXAppInstaller/AFXInstallApp.h"
#include "SpecificTools/Errors/AFXErrors.h"
#include "SpecificTools/Model/AFXAppWorkflow.h"
#include "SpecificTools/Services/AppsManagement/AFXAppsManagementService.h"
#include "StoreFileDownload.h"
#include "platform/DispatchGroup.h"
#include "platform/DistributedNotificationCenter.h"
#include "platform/FileManager.h"
#include "platform/KeyedArchiver.h"
#include "platform/LaunchServices.h"
#include "support/BRAssertions.h"
#include "support/BRFollowingUnarchiver.h"
#include "support/BRLog.h"
#include "support/BRUnarchiver.h"

#include <mutex>

namespace {

// The download's part of the whole; unpacking, checking and placing share the rest.
constexpr double kDownloadShare = 0.8;
// A change smaller than this is not worth a notification to every process.
constexpr double kAnnouncedStep = 0.01;
constexpr std::int64_t kNotInstalling = 0;
constexpr std::int64_t kInstalled = 2;

} // namespace

// Entered as an installation starts and left as it finishes; the list of
// those running is read under the mutex from any thread.
struct VendorAppInstallation::Running {
    std::mutex mutex;
    QList<std::weak_ptr<VendorAppInstallation>> installations;
    const std::shared_ptr<platform::DispatchGroup> unfinished = platform::DispatchGroup::make();
    // Set by `stopAll`: what starts afterwards is cancelled at once.
    bool stopping = false;
};

VendorAppInstallation::Running& VendorAppInstallation::running() {
    // Never destroyed: a worker may still finish an installation as the process exits.
    static auto* running = new Running;
    return *running;
}

void VendorAppInstallation::stopAll(const std::shared_ptr<platform::DispatchQueue>& queue,
                                    std::function<void()> done) {
    QList<std::shared_ptr<VendorAppInstallation>> installations;
    {
        std::lock_guard lock(running().mutex);
        running().stopping = true;
        for (const auto& weak : std::as_const(running().installations)) {
            if (auto installation = weak.lock()) {
                installations.append(std::move(installation));
            }
        }
    }
    for (const auto& installation : installations) {
        installation->queue_->async([installation] { installation->cancel(); });
    }
    running().unfinished->notify(queue, std::move(done));
}

VendorAppInstallation::VendorAppInstallation(std::int64_t appID, QUrl installURL,
                                             std::int64_t expectedArchiveSize,
                                             std::shared_ptr<platform::DispatchQueue> queue,
                                             Completion completion)
    : appID_(appID), installURL_(std::move(installURL)), expectedArchiveSize_(expectedArchiveSize),
      queue_(std::move(queue)), completion_(std::move(completion)) {}

std::shared_ptr<VendorAppInstallation>
VendorAppInstallation::start(std::int64_t appID, const QUrl& archiveURL, const QUrl& installURL,
                             std::int64_t expectedArchiveSize,
                             const std::shared_ptr<platform::DispatchQueue>& queue, Completion completion) {
    std::shared_ptr<VendorAppInstallation> installation(
        new VendorAppInstallation(appID, installURL, expectedArchiveSize, queue, std::move(completion)));
    installation->assertOnQueue();
    bool stopping = false;
    {
        std::lock_guard lock(running().mutex);
        running().installations.append(installation);
        running().unfinished->enter();
        stopping = running().stopping;
    }
    postWorkflowChange(installation->workflow());
    if (stopping) {
        installation->finish(BRValueOrError<QUrl>::makeWithError(afx_cancel()));
        return installation;
    }
    installation->downloadArchive(archiveURL);
    return installation;
}

VendorAppInstallation::~VendorAppInstallation() {
    // Dropped by its owner before it finished (the download's completion
    // holds it weakly): `stopAll` must not wait for it.
    if (!finished_) {
        running().unfinished->leave();
    }
}

void VendorAppInstallation::assertOnQueue() const {
    if (!queue_->isCurrent()) {
        BRHandleAssertionFailure(QStringLiteral("An app installation runs on its owner's queue"));
    }
}

std::shared_ptr<AFXAppWorkflow> VendorAppInstallation::workflow() const {
    assertOnQueue();
    auto workflow = AFXAppWorkflow::makeWithAppID(appID_, installURL_);
    workflow->setState(state_);
    workflow->setFractionCompleted(fractionCompleted_);
    return workflow;
}

void VendorAppInstallation::postWorkflowChange(const std::shared_ptr<AFXAppWorkflow>& workflow) {
    platform::Error error(QString(), 0);
    const auto center = platform::DistributedNotificationCenter::defaultCenter(&error);
    const auto archive =
        center ? platform::KeyedArchiver::archivedDataWithRootObject(workflow, &error) : std::nullopt;
    if (!archive ||
        !center->postNotificationName(
            AFXAppsManagementAppWorkflowChangedNotification, workflow->objectForNotification(),
            {{AFXAppsManagementAppWorkflowChangedNotificationWorkflowKey, *archive}}, true, &error)) {
        BRLogError("Cannot announce the workflow of app %@: %@", workflow->appID(), error);
    }
}

void VendorAppInstallation::downloadArchive(const QUrl& archiveURL) {
    assertOnQueue();
    platform::Error error(QString(), 0);
    temporaryFolder_ = AFXGlobals::makeTemporaryDirectory(&error);
    if (!temporaryFolder_) {
        finish(BRValueOrError<QUrl>::makeWithError(
            afx_makeFailedDiskOperation(QStringLiteral("make a folder for the app's archive"), error)));
        return;
    }
    // Unpacking tells archives apart by their extension, so the file keeps the store's name.
    const QString fileName =
        archiveURL.fileName().isEmpty() ? QStringLiteral("archive.zip") : archiveURL.fileName();
    const QString archivePath = *temporaryFolder_ + QLatin1Char('/') + fileName;
    archiveURL_ = archiveURL;
    std::weak_ptr<VendorAppInstallation> weakSelf = weak_from_this();
    download_ = StoreFileDownload::start(
        archiveURL, archivePath, QStringLiteral("vendor_app_archive"), queue_,
        [weakSelf](std::int64_t written, std::int64_t expected) {
            if (const auto self = weakSelf.lock()) {
                self->follow(written);
                const std::int64_t total = expected > 0 ? expected : self->expectedArchiveSize_;
                if (total > 0) {
                    self->setFractionCompleted(kDownloadShare *
                                               std::min(1.0, double(written) / double(total)));
                }
            }
        },
        [weakSelf, archivePath](const std::optional<platform::Error>& downloadError) {
            const auto self = weakSelf.lock();
            if (!self) {
                return;
            }
            self->download_ = nullptr;
            // A failure already on its way when the cancellation came is
            // still a cancellation to whoever stopped the installation.
            if (self->cancelled_) {
                self->finish(BRValueOrError<QUrl>::makeWithError(afx_cancel()));
            } else if (downloadError) {
                self->finish(BRValueOrError<QUrl>::makeWithError(*downloadError));
            } else {
                self->setFractionCompleted(kDownloadShare);
                self->installArchive(archivePath);
            }
        });
}

void VendorAppInstallation::follow(std::int64_t totalBytesWritten) {
    assertOnQueue();
    if (!std::exchange(followed_, true) && download_) {
        follower_ = BRUnarchiver::followArchiveBeingWritten(archiveURL_, download_->fileBeingWritten());
    }
    if (follower_) {
        follower_->bytesWritten(totalBytesWritten);
    }
}

void VendorAppInstallation::installArchive(const QString& archivePath) {
    assertOnQueue();
    // The installation holds itself until the blocking part has reported back.
    platform::DispatchQueue::global()->async(
        [self = shared_from_this(), archivePath, follower = std::exchange(follower_, nullptr)] {
            platform::Error error(QString(), 0);
            const std::optional<QUrl> placed = AFXInstallApp(
                QUrl::fromLocalFile(archivePath), self->installURL_, false, AFXValidationTeam, false,
                [self](double progress) {
                    self->queue_->async([self, progress] {
                        self->setFractionCompleted(kDownloadShare + (1 - kDownloadShare) * progress);
                    });
                },
                &error, follower);
            self->queue_->async([self, placed, error] { self->finishInstallation(placed, error); });
        });
}

void VendorAppInstallation::finishInstallation(const std::optional<QUrl>& placedURL,
                                               const platform::Error& error) {
    assertOnQueue();
    if (placedURL && cancelled_) {
        // Asked to stop while the app was being placed: the placed copy
        // goes again, with what the placement told the system about it.
        platform::LaunchServices::unregisterURL(*placedURL);
        platform::Error removal(QString(), 0);
        if (!platform::FileManager::removeItem(placedURL->toLocalFile(), &removal)) {
            finish(BRValueOrError<QUrl>::makeWithError(afx_makeFailedDiskOperation(
                QStringLiteral("remove the app placed before the stop"), removal)));
            return;
        }
    }
    if (cancelled_) {
        finish(BRValueOrError<QUrl>::makeWithError(afx_cancel()));
    } else if (placedURL) {
        finish(BRValueOrError<QUrl>::makeWithValue(*placedURL));
    } else {
        finish(BRValueOrError<QUrl>::makeWithError(error));
    }
}

void VendorAppInstallation::cancel() {
    assertOnQueue();
    cancelled_ = true;
    if (download_) {
        download_->cancel();
    }
}

void VendorAppInstallation::setFractionCompleted(double fractionCompleted) {
    assertOnQueue();
    if (state_ != 1 || fractionCompleted <= fractionCompleted_) {
        return;
    }
    fractionCompleted_ = fractionCompleted;
    if (fractionCompleted_ - announcedFraction_ >= kAnnouncedStep || fractionCompleted_ >= 1) {
        announcedFraction_ = fractionCompleted_;
        postWorkflowChange(workflow());
    }
}

void VendorAppInstallation::finish(const BRValueOrError<QUrl>& result) {
    assertOnQueue();
    if (std::exchange(finished_, true)) {
        return;
    }
    follower_ = nullptr;
    if (temporaryFolder_) {
        platform::FileManager::discardItem(*temporaryFolder_);
        temporaryFolder_.reset();
    }
    state_ = result.value() ? kInstalled : kNotInstalling;
    fractionCompleted_ = result.value() ? 1 : 0;
    postWorkflowChange(workflow());
    result.onError([&](const platform::Error& error) {
        if (!afx_isCancelled(error)) {
            BRLogError("Did fail to install app %@: %@", appID_, error);
        }
    });
    if (const Completion completion = std::exchange(completion_, nullptr)) {
        completion(result);
    }
    const std::weak_ptr<VendorAppInstallation> self = weak_from_this();
    std::lock_guard lock(running().mutex);
    running().installations.removeIf([&self](const std::weak_ptr<VendorAppInstallation>& weak) {
        return weak.expired() || (!weak.owner_before(self) && !self.owner_before(weak));
    });
    running().unfinished->leave();
}
