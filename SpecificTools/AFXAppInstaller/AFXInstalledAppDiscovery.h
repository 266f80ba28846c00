#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <optional>

// Whether, and where, apps are installed. Every copy the system knows of an
// app counts, including those in build folders, temporary folders, mounted
// disk images, the Trash and backups; the ignored-path lists below filter
// such copies out. An ignored-path list holds lower-cased absolute paths; a
// copy is ignored when its lower-cased path merely starts with one, so
// "/library" also hides "/library2/…".

inline const QString AFXDesktopClientBundleID = QStringLiteral("com.kestrel.DesktopClient");

// The copies of the app, in the system's order, that are neither lost
// (afx_isLostForMonitoring) nor under an ignored path.
QList<QUrl> AFXURLsForAppWithBundleIDIgnoringPaths(const QString& bundleID, const QStringList& ignoredPaths);
bool AFXCheckIfAppWithBundleIDInstalledIgnoringPaths(const QString& bundleID,
                                                     const QStringList& ignoredPaths);
bool AFXCheckIfAppWithBundleIDInstalled(const QString& bundleID);

// The desktop client copy to open the store's URLs with: the first one in
// "/Applications", else in "~/Applications", else in the user's
// "Application Support" folder, else the first one anywhere.
std::optional<QUrl> AFXPickBestDesktopClientURL();

// The copies of any of the apps that the predicate accepts, each once.
QList<QUrl> AFXDetectAppURLsWithPredicate(const QStringList& bundleIDs,
                                          const std::function<bool(const QUrl&)>& predicate);
// The copies of any of the apps outside the ignored paths and not in a
// hidden folder; an app inside another app's bundle counts only when
// `includeNested` is set.
QList<QUrl> AFXDetectAppURLsWithIgnoredPaths(const QStringList& bundleIDs, const QStringList& ignoredPaths,
                                             bool includeNested);

// The ignored-path lists for the apps tracker and for the desktop client.
// Their entries are system paths ("/Library", "~/.Trash") resolved to every
// folder their contents lie in on this machine (parts of "~/Library" live in
// XDG folders without a root; "/var/folders" also names the temporary
// directory), so that they compare with the paths of real copies; the Xcode
// build and archive folders come from Xcode's preferences when set there.
QStringList AFXDetectIgnoredPaths();
QStringList AFXDetectIgnoredPathsForDesktopClient();
