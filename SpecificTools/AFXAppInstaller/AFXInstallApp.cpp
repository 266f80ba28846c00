#include "AFXInstallApp.h"

#include "AFXAppPlacement.h"
#include "AFXUnpack.h"

#include <QFileInfo>

std::optional<QUrl> AFXInstallApp(const QUrl& archiveURL, const QUrl& destinationURL,
                                  bool destinationIsFolder, AFXValidation validation,
                                  bool addToLaunchpadGroup, const std::function<void(double)>& progress,
                                  platform::Error* error) {
    platform::Error stepError(QString(), 0);
    const std::optional<QUrl> unpacked = AFXUnpack(
        archiveURL, [&](double unpackProgress) { progress(unpackProgress * 0.8); }, &stepError);
    if (!unpacked) {
        if (error) {
            *error = stepError;
        }
        return std::nullopt;
    }
    const bool valid = AFXValidateApp(*unpacked, validation, &stepError);
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
