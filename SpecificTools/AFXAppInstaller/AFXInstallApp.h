#pragma once

#include "AFXValidateApp.h"
#include "platform/Error.h"

#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class BRFollowingUnarchiver;

// Installs the app in an archive: unpacks it (progress up to 0.8), checks
// its signature at the given level (0.9, reported also after a failed
// check) and moves it into place with `AFXMoveApp` (1.0, reported also
// after a failed move). The destination is the app's own URL, or with
// `destinationIsFolder` the folder it goes into under its own name.
// Answers the placed app, or nothing with the first error met. `follower`
// is an unpacking that followed the archive's download (see AFXUnpack).
std::optional<QUrl> AFXInstallApp(const QUrl& archiveURL, const QUrl& destinationURL,
                                  bool destinationIsFolder, AFXValidation validation,
                                  bool addToLaunchpadGroup, const std::function<void(double)>& progress,
                                  platform::Error* error = nullptr,
                                  const std::shared_ptr<BRFollowingUnarchiver>& follower = nullptr);
