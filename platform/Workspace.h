#pragma once

#include "Error.h"

#include <QList>
#include <QUrl>

namespace platform {

// Opens URLs and starts applications the way the desktop does.
class Workspace {
public:
    // Opens a URL with the program named by KESTREL_OPEN_COMMAND when set,
    // otherwise with "xdg-open". The opener runs detached; this answers
    // whether it could be started.
    static bool openURL(const QUrl& url, Error* error = nullptr);
    // Starts the application bundle at `applicationURL` with the URLs as its
    // arguments, through the "open" tool, without waiting for it. Answers
    // whether the application was started; the error carries the tool's
    // complaint otherwise.
    static bool openURLsWithApplicationAtURL(const QList<QUrl>& urls, const QUrl& applicationURL,
                                             Error* error = nullptr);
    static bool openApplicationAtURL(const QUrl& applicationURL, Error* error = nullptr);
};

} // namespace platform
