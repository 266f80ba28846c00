#include "AFXInstalledAppDiscovery.h"

#include "AFXURLMonitoring.h"
#include "platform/FileManager.h"
#include "platform/LaunchServices.h"
#include "platform/Paths.h"
#include "platform/UserDefaults.h"
#include "support/BRBundleInfo.h"

#include <QFileInfo>

namespace {

using platform::Paths;

QString lowerCasedPath(const QUrl& url) {
    return url.toLocalFile().toLower();
}

bool startsWithAny(const QString& path, const QStringList& prefixes) {
    for (const QString& prefix : prefixes) {
        if (path.startsWith(prefix)) {
            return true;
        }
    }
    return false;
}

QString absoluteString(const QUrl& url) {
    return url.toString(QUrl::FullyEncoded);
}

// A folder's URL as the file manager hands out folder URLs, with the
// trailing slash that keeps "/Applications" from matching "/Applications2".
QString folderURLString(const QString& systemPath) {
    return absoluteString(QUrl::fromLocalFile(Paths::resolve(systemPath) + QLatin1Char('/')));
}

std::optional<QUrl> firstInside(const QList<QUrl>& candidates, const QString& folderURLString) {
    for (const QUrl& candidate : candidates) {
        if (absoluteString(candidate).startsWith(folderURLString)) {
            return candidate;
        }
    }
    return std::nullopt;
}

// Xcode's derived-data and archives folders: its preferences name them when
// they were moved, else they lie in their standard places.
QStringList xcodeFolders() {
    const auto defaults = platform::UserDefaults::makeWithSuiteName(QStringLiteral("com.apple.dt.Xcode"));
    const std::pair<const char*, const char*> folders[] = {
        {"IDECustomDerivedDataLocation", "~/Library/Developer/Xcode/DerivedData"},
        {"IDECustomDistributionArchivesLocation", "~/Library/Developer/Xcode/Archives"},
    };
    QStringList paths;
    for (const auto& [key, standard] : folders) {
        const platform::Value value = defaults->objectForKey(QLatin1String(key));
        paths << (value.kind() == platform::Value::Kind::String ? value.toString() : QLatin1String(standard));
    }
    return paths;
}

// The per-user temporary folders, where archives are unpacked.
const QString kTemporaryFolders = QStringLiteral("/var/folders");

// Each system path stands for every folder its contents really lie in (a
// folder of the home may be mapped elsewhere), as the copies' paths do.
QStringList ignoredPathList(const QStringList& systemPaths) {
    QStringList paths;
    for (const QString& systemPath : systemPaths) {
        // An empty entry would be a prefix of every path and hide everything.
        if (systemPath.isEmpty()) {
            continue;
        }
        for (const QString& path : Paths::resolveWithRedirectedFolders(systemPath)) {
            if (!path.isEmpty()) {
                paths << path.toLower();
            }
        }
        if (systemPath == kTemporaryFolders) {
            paths << Paths::temporaryDirectory().toLower();
        }
    }
    return paths;
}

// The nearest ".app" above the app is taken for its enclosing bundle; a
// folder merely named so, without a bundle identifier, encloses nothing.
bool isNestedInAnotherApp(const QUrl& url) {
    const QString parent = QFileInfo(url.toLocalFile()).path();
    const qsizetype found = parent.lastIndexOf(QLatin1String(".app"), -1, Qt::CaseInsensitive);
    if (found < 0) {
        return false;
    }
    const QString enclosing = parent.left(found + 4);
    return BRBundleIDFromBundleAtURL(QUrl::fromLocalFile(enclosing)).has_value();
}

} // namespace

QList<QUrl> AFXURLsForAppWithBundleIDIgnoringPaths(const QString& bundleID, const QStringList& ignoredPaths) {
    QList<QUrl> urls;
    for (const QUrl& url : platform::LaunchServices::applicationURLsForBundleIdentifier(bundleID)) {
        if (!afx_isLostForMonitoring(url) && !startsWithAny(lowerCasedPath(url), ignoredPaths)) {
            urls << url;
        }
    }
    return urls;
}

bool AFXCheckIfAppWithBundleIDInstalledIgnoringPaths(const QString& bundleID,
                                                     const QStringList& ignoredPaths) {
    return !AFXURLsForAppWithBundleIDIgnoringPaths(bundleID, ignoredPaths).isEmpty();
}

bool AFXCheckIfAppWithBundleIDInstalled(const QString& bundleID) {
    return AFXCheckIfAppWithBundleIDInstalledIgnoringPaths(bundleID, {});
}

std::optional<QUrl> AFXPickBestDesktopClientURL() {
    const QList<QUrl> candidates = AFXURLsForAppWithBundleIDIgnoringPaths(AFXDesktopClientBundleID, {});
    // The machine-wide copy is the one every user shares and updates reach.
    for (const QString& applicationsFolder :
         {QStringLiteral("/Applications"), QStringLiteral("~/Applications")}) {
        if (const auto found = firstInside(candidates, folderURLString(applicationsFolder))) {
            return found;
        }
    }
    if (const auto found =
            firstInside(candidates, folderURLString(QStringLiteral("~/Library/Application Support")))) {
        return found;
    }
    if (candidates.isEmpty()) {
        return std::nullopt;
    }
    return candidates.first();
}

QList<QUrl> AFXDetectAppURLsWithPredicate(const QStringList& bundleIDs,
                                          const std::function<bool(const QUrl&)>& predicate) {
    QList<QUrl> urls;
    for (const QString& bundleID : bundleIDs) {
        for (const QUrl& url : platform::LaunchServices::applicationURLsForBundleIdentifier(bundleID)) {
            if (!urls.contains(url) && predicate(url)) {
                urls << url;
            }
        }
    }
    return urls;
}

QList<QUrl> AFXDetectAppURLsWithIgnoredPaths(const QStringList& bundleIDs, const QStringList& ignoredPaths,
                                             bool includeNested) {
    return AFXDetectAppURLsWithPredicate(bundleIDs, [&](const QUrl& url) {
        // Hidden folders hold copies that are being staged or removed.
        if (platform::FileManager::isHidden(QFileInfo(url.toLocalFile()).path())) {
            return false;
        }
        if (!includeNested && isNestedInAnotherApp(url)) {
            return false;
        }
        return !startsWithAny(lowerCasedPath(url), ignoredPaths);
    });
}

QStringList AFXDetectIgnoredPaths() {
    return ignoredPathList(xcodeFolders() + QStringList{
                                                kTemporaryFolders,
                                                QStringLiteral("/private/var/folders"),
                                                QStringLiteral("/Library"),
                                                QStringLiteral("~/Library"),
                                                QStringLiteral("~/.Trash"),
                                            });
}

QStringList AFXDetectIgnoredPathsForDesktopClient() {
    return ignoredPathList(xcodeFolders() + QStringList{
                                                kTemporaryFolders,
                                                QStringLiteral("/private/var/folders"),
                                                QStringLiteral("/Library"),
                                                QStringLiteral("/Volumes"),
                                                QStringLiteral("~/Library/Caches"),
                                                QStringLiteral("~/.Trash"),
                                            });
}
