#include "AFXInstallApp.h"

#include "AFXAppPlacement.h"
#include "AFXUnpack.h"
#include "SpecificTools/Errors/AFXErrors.h"
#include "platform/FileManager.h"
#include "platform/SecurityStatus.h"

#include <QFileInfo>

namespace {

// Whatever the outcome, what was unpacked and not placed goes.
struct StagingRemoval {
    std::optional<QUrl> folder;
    ~StagingRemoval() {
        if (folder) {
            platform::FileManager::removeItem(folder->toLocalFile());
        }
    }
};

} // namespace

std::optional<QUrl> AFXInstallApp(const QUrl& archiveURL, const QUrl& destinationURL,
                                  bool destinationIsFolder, AFXValidation validation,
                                  bool addToLaunchpadGroup, const std::function<void(double)>& progress,
                                  platform::Error* error,
                                  const std::shared_ptr<BRFollowingUnarchiver>& follower) {
    platform::Error stepError(QString(), 0);
    StagingRemoval staging;
    const std::optional<QUrl> unpacked = AFXUnpack(
        archiveURL, [&](double unpackProgress) { progress(unpackProgress * 0.8); }, &stepError,
        &staging.folder, follower);
    if (!unpacked) {
        if (error) {
            *error = stepError;
        }
        return std::nullopt;
    }
    // A link named like an app would pass the check of its target and then
    // be placed as a link, whose target can change after the check.
    const bool isLink = QFileInfo(unpacked->toLocalFile()).isSymLink();
    if (isLink) {
        stepError = afx_appSignatureCheckFailedWithError(platform::Error(
            platform::NSOSStatusErrorDomain, platform::errSecCSInvalidSymlink,
            {{platform::NSLocalizedDescriptionKey, QStringLiteral("The unpacked app is a symbolic link")}}));
    }
    const bool valid = !isLink && AFXValidateApp(*unpacked, validation, &stepError);
    progress(0.9);
    if (!valid) {
        if (error) {
            *error = stepError;
        }
        return std::nullopt;
    }
    const QUrl target = destinationIsFolder
                            ? QUrl::fromLocalFile(destinationURL.toLocalFile() + QLatin1Char('/') +
                                                  QFileInfo(unpacked->toLocalFile()).fileName())
                            : destinationURL;
    const std::optional<QUrl> placed = AFXMoveApp(*unpacked, target, addToLaunchpadGroup, &stepError);
    progress(1.0);
    if (!placed && error) {
        *error = stepError;
    }
    return placed;
}
