#pragma once

#include "platform/Error.h"

#include <QString>

#include <optional>

// Places the framework shares between its operations.
class AFXGlobals {
public:
    // A new, empty folder of our own in the temporary directory:
    // "<tmp>/com.kestrel.DesktopClient/<UUID>", both folders private to
    // this user (0700). The temporary directory may be shared by every user
    // of the machine: when that parent is somebody else's, or can be changed
    // by others, "com.kestrel.DesktopClient-<uid>" takes its place. The
    // parent stays behind.
    static std::optional<QString> makeTemporaryDirectory(platform::Error* error = nullptr);
};
