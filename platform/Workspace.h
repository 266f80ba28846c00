#pragma once

#include "Error.h"

#include <QUrl>

namespace platform {

// Opens URLs the way the desktop does: with the program named by
// KESTREL_OPEN_COMMAND when set, otherwise with "xdg-open". The opener runs
// detached; this answers whether it could be started.
class Workspace {
public:
    static bool openURL(const QUrl& url, Error* error = nullptr);
};

} // namespace platform
