#pragma once

#include <QUrl>

// The page where the desktop client can be downloaded: the store's redirect
// service (KESTREL_REDIRECT_URL when set) with the path "/download-desktop-client".
QUrl customerURLOnDownloadKestrel();
