#include "AFXLaunchpadWatchParamsHolder.h"

#include "platform/Bundle.h"

std::shared_ptr<AFXLaunchpadWatchParamsHolder>
AFXLaunchpadWatchParamsHolder::make(QUrl appURL, QString groupName,
                                    std::shared_ptr<platform::DispatchGroup> watchGroup) {
    std::optional<QString> bundleID;
    if (const auto bundle = platform::Bundle::bundleWithURL(appURL)) {
        if (const QString identifier = bundle->bundleIdentifier(); !identifier.isEmpty()) {
            bundleID = identifier;
        }
    }
    return std::shared_ptr<AFXLaunchpadWatchParamsHolder>(new AFXLaunchpadWatchParamsHolder(
        std::move(appURL), std::move(groupName), std::move(watchGroup), std::move(bundleID)));
}

AFXLaunchpadWatchParamsHolder::AFXLaunchpadWatchParamsHolder(
    QUrl appURL, QString groupName, std::shared_ptr<platform::DispatchGroup> watchGroup,
    std::optional<QString> appBundleID)
    : appURL_(std::move(appURL)), groupName_(std::move(groupName)), watchGroup_(std::move(watchGroup)),
      appBundleID_(std::move(appBundleID)) {}
