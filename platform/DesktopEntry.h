#pragma once

#include "Error.h"

#include <QString>

namespace platform {

class Bundle;

// The freedesktop application entry of a placed bundle, so that Linux
// desktops list it with their applications. One entry per bundle
// identifier, "kestrel-<identifier>.desktop" in the "applications" folder
// of `Paths::dataHomeDirectory()`; the copy registered last owns it. Exec
// runs the bundle's executable, handing URLs over as arguments when the
// bundle declares URL schemes (CFBundleURLTypes/CFBundleURLSchemes), which
// the entry also claims as "x-scheme-handler/<scheme>" types. The name is
// CFBundleDisplayName, else CFBundleName, else the bundle's file name; the
// icon is CFBundleIconFile in the resources when present.
class DesktopEntry {
public:
    static QString pathForBundleIdentifier(const QString& bundleID);
    // The entry's text for a bundle.
    static QString textForBundle(const Bundle& bundle);
    // Writes the entry in one step (a reader never sees half of it).
    static bool writeForBundle(const Bundle& bundle, Error* error = nullptr);
};

} // namespace platform
