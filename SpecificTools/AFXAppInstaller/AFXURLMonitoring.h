#pragma once

#include <QUrl>

// Where a copy of an app can lie without counting as present: in a Trash
// ("/.Trash/" in its path) or inside a backup, which is recognised by a
// backup database folder ("/Backups.backupdb/") in its path.
bool afx_inTrash(const QUrl& url);
bool afx_inBackup(const QUrl& url);
// In a Trash or inside a backup.
bool afx_isLostForMonitoring(const QUrl& url);
