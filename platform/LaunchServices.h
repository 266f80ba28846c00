#pragma once

#include "Error.h"

#include <QList>
#include <QString>
#include <QUrl>

namespace platform {

// Which application bundles exist for a bundle identifier. Two sources, in
// this order: the registry of placed bundles (an SQLite database at
// `registryPath`, shared by every process of the user) and a scan of the
// applications folders ("/Applications" and "~/Applications", their top
// level and one folder level down, as "/Applications/Utilities/X.app").
class LaunchServices {
public:
    // The distributed notification posted after a bundle is registered.
    static const QString ApplicationRegisteredNotification;

    // Every copy of the application, registered copies first in the order
    // they were first registered, then the scanned ones by folder and name.
    // A copy appears once however many ways lead to it; a copy that is gone
    // or whose Info.plist now names another identifier is left out, and the
    // registration of a copy found gone is forgotten as `unregisterURL`
    // forgets it (with the desktop entry once no registered copy of the
    // identifier remains). A lookup never waits
    // long for another process's write: a registry that stays busy is
    // skipped and the scanned copies answer alone.
    static QList<QUrl> applicationURLsForBundleIdentifier(const QString& bundleID);
    // Records a bundle that was put in place, then announces it to every
    // process with the distributed notification
    // `ApplicationRegisteredNotification`: its object is the bundle
    // identifier, its user info holds the bundle's path under "path". A
    // bundle registered again keeps its place in the order. Failing to
    // announce (no session bus) does not fail the registration. The bundle
    // also gets its desktop entry (`DesktopEntry`), so the desktop lists it;
    // when that cannot be written the bundle stays registered and announced
    // but the answer is false with the error.
    static bool registerURL(const QUrl& bundleURL, Error* error = nullptr);
    // Forgets the copy at this path, before it is deleted: its registration
    // goes, and so does the desktop entry of its identifier once no other
    // registered copy remains, so the desktop no longer lists an app that
    // is gone. A copy that was never registered changes nothing.
    static void unregisterURL(const QUrl& bundleURL);
    // "~/Library/Application Support/LaunchServices/Registry.sqlite": what
    // programs record here is data rather than settings.
    static QString registryPath();
};

} // namespace platform
