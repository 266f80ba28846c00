#include "DestinationGuard.h"

#include <climits>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::vector<std::string> split(const std::string& path) {
    std::vector<std::string> components;
    size_t start = 0;
    while (start <= path.size()) {
        const size_t end = path.find('/', start);
        const std::string component =
            path.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!component.empty() && component != ".") {
            components.push_back(component);
        }
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    return components;
}

// The kernel gives up on a path after this many links; so do we.
constexpr int kMaximumLinkHops = 40;

} // namespace

std::optional<std::string> DestinationGuard::pathProblem(const std::string& path) const {
    if (path.empty()) {
        return "an entry without a name";
    }
    if (path.front() == '/') {
        return "refusing an absolute path";
    }
    for (const std::string& component : split(path)) {
        if (component == "..") {
            return "refusing a path that climbs out of the destination";
        }
    }
    return std::nullopt;
}

std::optional<std::string> DestinationGuard::linkProblem(const std::string& path,
                                                         const std::string& target) const {
    const std::string refusal =
        "refusing a symbolic link to \"" + target + "\", which points outside the destination";
    if (target.empty() || target.front() == '/') {
        return refusal;
    }
    Components at;
    int hops = 0;
    const size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && !follow(at, path.substr(0, slash), hops)) {
        return refusal;
    }
    if (!follow(at, target, hops)) {
        return refusal;
    }
    return std::nullopt;
}

bool DestinationGuard::follow(Components& at, const std::string& path, int& hops) const {
    for (const std::string& component : split(path)) {
        if (component == "..") {
            if (at.empty()) {
                return false;
            }
            at.pop_back();
            continue;
        }
        at.push_back(component);
        // Only the last component can be a link: everything before it has been resolved already.
        struct stat status {};
        if (::fstatat(destination_, joined(at).c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISLNK(status.st_mode)) {
            // What does not exist yet resolves as written.
            continue;
        }
        if (++hops > kMaximumLinkHops) {
            // Where such a chain ends is not worth working out: no honest archive has one.
            return false;
        }
        char buffer[PATH_MAX];
        const ssize_t length = ::readlinkat(destination_, joined(at).c_str(), buffer, sizeof buffer);
        if (length <= 0 || static_cast<size_t>(length) >= sizeof buffer) {
            return false;
        }
        const std::string target(buffer, static_cast<size_t>(length));
        at.pop_back();
        if (target.front() == '/' || !follow(at, target, hops)) {
            return false;
        }
    }
    return true;
}

std::string DestinationGuard::normalized(const std::string& path) {
    return joined(split(path));
}

std::string DestinationGuard::joined(const Components& components) {
    std::string path = ".";
    for (const std::string& component : components) {
        path += '/';
        path += component;
    }
    return path;
}
