#pragma once

#include "platform/DispatchGroup.h"

#include <QString>
#include <QUrl>

#include <memory>
#include <optional>

// One app awaited in a Launchpad group. Immutable; the group is entered once
// by whoever waits and left once, when the app shows up or the wait ends.
class AFXLaunchpadWatchParamsHolder {
public:
    // Reads the bundle identifier from the app's information dictionary.
    static std::shared_ptr<AFXLaunchpadWatchParamsHolder>
    make(QUrl appURL, QString groupName, std::shared_ptr<platform::DispatchGroup> watchGroup);

    const QUrl& appURL() const { return appURL_; }
    const QString& groupName() const { return groupName_; }
    const std::shared_ptr<platform::DispatchGroup>& watchGroup() const { return watchGroup_; }
    // None when the app's information dictionary has no identifier.
    const std::optional<QString>& appBundleID() const { return appBundleID_; }

private:
    AFXLaunchpadWatchParamsHolder(QUrl appURL, QString groupName,
                                  std::shared_ptr<platform::DispatchGroup> watchGroup,
                                  std::optional<QString> appBundleID);

    const QUrl appURL_;
    const QString groupName_;
    const std::shared_ptr<platform::DispatchGroup> watchGroup_;
    const std::optional<QString> appBundleID_;
};
