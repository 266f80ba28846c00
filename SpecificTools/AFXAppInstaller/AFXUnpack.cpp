#include "AFXUnpack.h"

#include "SpecificTools/Errors/AFXErrors.h"
#include "platform/FileManager.h"
#include "support/BRLog.h"
#include "support/BRUnarchiver.h"

#include <QFileInfo>

namespace {

// Depth first, a folder before its contents, names in order; hidden items
// are skipped and bundles are entered like any folder.
std::optional<QUrl> firstAppBundle(const QString& folder) {
    for (const QString& item : platform::FileManager::contentsOfDirectory(folder).value_or(QStringList{})) {
        const QFileInfo info(item);
        if (info.fileName().startsWith(QLatin1Char('.'))) {
            continue;
        }
        if (info.suffix().toLower() == QLatin1String("app")) {
            return QUrl::fromLocalFile(item);
        }
        if (info.isDir() && !info.isSymLink()) {
            if (std::optional<QUrl> found = firstAppBundle(item)) {
                return found;
            }
        }
    }
    return std::nullopt;
}

} // namespace

std::optional<QUrl> AFXUnpack(const QUrl& archiveURL, const std::function<void(double)>& progress,
                              platform::Error* error, std::optional<QUrl>* stagingFolderURL,
                              const std::shared_ptr<BRFollowingUnarchiver>& follower) {
    std::optional<QUrl> appURL;
    BRUnarchiver::unpackArchiveAtURL(
        archiveURL, std::nullopt, false, progress,
        [&](const std::optional<QUrl>& folderURL, const std::optional<platform::Error>& unpackError) {
            if (unpackError) {
                BRLogError("Unpack error for archive at %@ (%@)", archiveURL, *unpackError);
                return;
            }
            if (folderURL) {
                appURL = firstAppBundle(folderURL->toLocalFile());
                if (stagingFolderURL) {
                    *stagingFolderURL = folderURL;
                }
            }
        },
        follower);
    if (!appURL && error) {
        *error = afx_didFailToUnpackApp();
    }
    return appURL;
}
