#pragma once

#include <optional>
#include <string>

namespace platform {

// The rules behind `Paths` for the folders of the user's session, without
// Qt, so that small tools that must start quickly (the `launchctl`
// stand-in) place things exactly where the framework looks for them.
// Paths are UTF-8 and come back clean: no "." or ".." elements, no doubled
// or trailing "/". See `Paths` for what each folder is.
class PathRules {
public:
    // The KESTREL_ROOT folder made absolute, or an empty string.
    static std::string root();
    static std::string homeDirectory();
    // The home from the password database (the root's home with a root).
    static std::string realHomeDirectory();
    static std::string temporaryDirectory();
    static std::string dataHomeDirectory();
    static std::string runtimeDirectory();
    static std::string busServicesDirectory();
    // Nothing when `name` is not a well-known bus name.
    static std::optional<std::string> busServiceFilePath(const std::string& name);
    // The XDG folder the environment `variable` names when it holds an
    // absolute path, else `fallbackBelowHome` in the home.
    static std::string xdgFolder(const char* variable, const std::string& fallbackBelowHome);
    // `path` with "." and ".." elements resolved and no doubled or trailing
    // "/"; ".." at the top stays at the top for an absolute path.
    static std::string clean(const std::string& path);
};

} // namespace platform
