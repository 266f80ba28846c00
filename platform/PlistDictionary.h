#pragma once

#include <plist/plist.h>

#include <functional>

namespace platform {

// Walks a libplist dictionary, for the readers with Qt (PropertyList) and
// without it (the launchctl stand-in).
class PlistDictionary {
public:
    // Hands `visit` each key and value of `dictionary`, in the dictionary's
    // order, until it answers false; nothing when `dictionary` is not one.
    static void forEachEntry(plist_t dictionary,
                             const std::function<bool(const char* key, plist_t value)>& visit);
};

} // namespace platform
