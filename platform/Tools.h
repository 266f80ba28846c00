#pragma once

#include <QString>

namespace platform {

// The command-line tools the system runs by their absolute paths
// ("/usr/bin/ditto", "/usr/bin/hdiutil", "/usr/bin/xattr", …) are our own
// stand-ins here. A tool is looked up by its file name in KESTREL_TOOLS_DIR
// when that is set, else next to the running program; a tool found in
// neither place keeps its given path, so running it fails as it would on a
// machine without it.
class Tools {
public:
    static QString path(const QString& systemPath);
    // The folder stand-ins are looked up in.
    static QString directory();
};

} // namespace platform
