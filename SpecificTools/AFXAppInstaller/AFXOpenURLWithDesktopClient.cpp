#include "AFXOpenURLWithDesktopClient.h"

#include "AFXInstalledAppDiscovery.h"
#include "platform/Workspace.h"

bool afx_openURLWithDesktopClient(const QUrl& url) {
    if (const auto client = AFXPickBestDesktopClientURL()) {
        return platform::Workspace::openURLsWithApplicationAtURL({url}, *client);
    }
    return platform::Workspace::openURL(url);
}
