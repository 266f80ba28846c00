#include "PathRules.h"

#include <cstdlib>
#include <filesystem>

#include <pwd.h>
#include <unistd.h>

namespace platform {

namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

std::string passwordHome() {
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir) {
        return entry->pw_dir;
    }
    return environment("HOME");
}

// Two or more dot-separated elements of letters, digits, "_" and "-", none
// starting with a digit.
bool isWellKnownBusName(const std::string& name) {
    if (name.empty() || name.size() > 255) {
        return false;
    }
    int elements = 0;
    bool elementStart = true;
    for (const char c : name) {
        const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == '-';
        const bool digit = c >= '0' && c <= '9';
        if (c == '.') {
            if (elementStart) {
                return false;
            }
            elementStart = true;
        } else if (letter || (digit && !elementStart)) {
            elements += elementStart ? 1 : 0;
            elementStart = false;
        } else {
            return false;
        }
    }
    return !elementStart && elements >= 2;
}

} // namespace

std::string PathRules::clean(const std::string& path) {
    if (path.empty()) {
        return path;
    }
    std::string cleaned = std::filesystem::path(path).lexically_normal().string();
    while (cleaned.size() > 1 && cleaned.back() == '/') {
        cleaned.pop_back();
    }
    return cleaned;
}

std::string PathRules::root() {
    const std::string value = environment("KESTREL_ROOT");
    if (value.empty()) {
        return value;
    }
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(value, error);
    return clean(error ? value : absolute.string());
}

std::string PathRules::homeDirectory() {
    if (const std::string r = root(); !r.empty()) {
        return r + "/home";
    }
    const std::string home = environment("HOME");
    return clean(home.empty() ? passwordHome() : home);
}

std::string PathRules::realHomeDirectory() {
    const std::string r = root();
    return r.empty() ? clean(passwordHome()) : r + "/home";
}

std::string PathRules::temporaryDirectory() {
    if (const std::string r = root(); !r.empty()) {
        return r + "/tmp";
    }
    const std::string value = environment("TMPDIR");
    return value.empty() ? std::string("/tmp") : clean(value);
}

std::string PathRules::xdgFolder(const char* variable, const std::string& fallbackBelowHome) {
    const std::string value = environment(variable);
    if (!value.empty() && value.front() == '/') {
        return clean(value);
    }
    return clean(homeDirectory() + "/" + fallbackBelowHome);
}

std::string PathRules::dataHomeDirectory() {
    if (!root().empty()) {
        return homeDirectory() + "/.local/share";
    }
    return xdgFolder("XDG_DATA_HOME", ".local/share");
}

std::string PathRules::runtimeDirectory() {
    if (const std::string r = root(); !r.empty()) {
        return r + "/run";
    }
    if (const std::string xdg = environment("XDG_RUNTIME_DIR"); !xdg.empty()) {
        return clean(xdg) + "/kestrel";
    }
    return temporaryDirectory() + "/kestrel-runtime-" + std::to_string(getuid());
}

std::string PathRules::busServicesDirectory() {
    return dataHomeDirectory() + "/dbus-1/services";
}

std::optional<std::string> PathRules::busServiceFilePath(const std::string& name) {
    if (!isWellKnownBusName(name)) {
        return std::nullopt;
    }
    return busServicesDirectory() + "/" + name + ".service";
}

} // namespace platform
