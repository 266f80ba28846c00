#include "AFXURLMonitoring.h"

namespace {

QString filePath(const QUrl& url) {
    return url.isLocalFile() ? url.toLocalFile() : url.path();
}

} // namespace

bool afx_inTrash(const QUrl& url) {
    return filePath(url).contains(QLatin1String("/.Trash/"));
}

bool afx_inBackup(const QUrl& url) {
    return filePath(url).contains(QLatin1String("/Backups.backupdb/"));
}

bool afx_isLostForMonitoring(const QUrl& url) {
    return afx_inTrash(url) || afx_inBackup(url);
}
