#pragma once

#include "platform/Error.h"

#include <QString>

#include <optional>

// Places the framework shares between its operations.
class AFXGlobals {
public:
    // A new, empty folder of our own in the temporary directory:
    // "<tmp>/com.kestrel.DesktopClient/<UUID>". Its parent stays behind.
    static std::optional<QString> makeTemporaryDirectory(platform::Error* error = nullptr);
};
