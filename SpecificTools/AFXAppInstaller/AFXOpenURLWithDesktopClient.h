#pragma once

#include <QUrl>

// Opens a store URL with the desktop client copy AFXPickBestDesktopClientURL
// chooses, without waiting for it; with no copy on this machine, the URL is
// opened the ordinary way. Answers whether the opener was started.
bool afx_openURLWithDesktopClient(const QUrl& url);
