#include "AttributeEditor.h"

#include "platform/ExtendedAttributeNamespace.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string_view>

#include <sys/stat.h>
#include <sys/xattr.h>

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kNamespace = platform::ExtendedAttributeNamespace;

std::string posixText(int error) {
    return std::strerror(error);
}

} // namespace

bool AttributeEditor::apply(const std::vector<std::string>& paths) {
    prefixLines_ = recursive_ || paths.size() > 1;
    bool succeeded = true;
    for (const std::string& path : paths) {
        struct stat status {};
        if (::lstat(path.c_str(), &status) != 0) {
            report(errno == ENOENT ? "No such file: " + path : path + ": " + posixText(errno));
            succeeded = false;
            continue;
        }
        if (!recursive_) {
            succeeded = applyTo(path) && succeeded;
        } else if (!S_ISLNK(status.st_mode)) {
            succeeded = applyToTree(path) && succeeded;
        }
    }
    return succeeded;
}

bool AttributeEditor::applyToTree(const std::string& path) {
    bool succeeded = applyTo(path);
    std::error_code error;
    const fs::path top(path);
    if (fs::symlink_status(top, error).type() != fs::file_type::directory) {
        return succeeded;
    }
    // The iterator does not go through links to folders unless told to.
    fs::recursive_directory_iterator it(top, fs::directory_options::none, error);
    for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        std::error_code ignored;
        if (it->symlink_status(ignored).type() != fs::file_type::symlink) {
            succeeded = applyTo(it->path().string()) && succeeded;
        }
    }
    if (error) {
        const std::string where = it == fs::recursive_directory_iterator() ? path : it->path().string();
        report(where + ": " + error.message());
        succeeded = false;
    }
    return succeeded;
}

bool AttributeEditor::applyTo(const std::string& path) {
    const std::string attribute = std::string(kNamespace) + name_;
    switch (operation_) {
    case Operation::List: {
        std::string names;
        for (;;) {
            const ssize_t size = ::listxattr(path.c_str(), nullptr, 0);
            if (size <= 0) {
                return true;
            }
            names.resize(static_cast<size_t>(size));
            const ssize_t read = ::listxattr(path.c_str(), names.data(), names.size());
            if (read >= 0) {
                names.resize(static_cast<size_t>(read));
                break;
            }
            if (errno != ERANGE) {
                return true;
            }
        }
        for (size_t start = 0; start < names.size();) {
            const size_t end = std::min(names.find('\0', start), names.size());
            const std::string_view entry(names.data() + start, end - start);
            if (entry.size() > kNamespace.size() && entry.substr(0, kNamespace.size()) == kNamespace) {
                print(path, std::string(entry.substr(kNamespace.size())));
            }
            start = end + 1;
        }
        return true;
    }
    case Operation::Print:
        for (;;) {
            const ssize_t size = ::getxattr(path.c_str(), attribute.c_str(), nullptr, 0);
            if (size < 0) {
                break;
            }
            std::string value(static_cast<size_t>(size), '\0');
            const ssize_t read = ::getxattr(path.c_str(), attribute.c_str(), value.data(), value.size());
            if (read >= 0) {
                value.resize(static_cast<size_t>(read));
                print(path, value);
                return true;
            }
            if (errno != ERANGE) {
                break;
            }
        }
        report(path + ": No such xattr: " + name_);
        return false;
    case Operation::Write:
        if (::setxattr(path.c_str(), attribute.c_str(), value_.data(), value_.size(), 0) == 0) {
            return true;
        }
        report(path + ": " + posixText(errno));
        return false;
    case Operation::Delete:
        // Removing what is not there is no error, and a file system without
        // user attributes cannot hold the attribute either.
        if (::removexattr(path.c_str(), attribute.c_str()) == 0 || errno == ENODATA || errno == ENOTSUP) {
            return true;
        }
        report(path + ": " + posixText(errno));
        return false;
    }
    return false;
}

void AttributeEditor::report(const std::string& text) const {
    std::fprintf(stderr, "xattr: %s\n", text.c_str());
}

void AttributeEditor::print(const std::string& path, const std::string& line) const {
    if (prefixLines_) {
        std::fwrite(path.data(), 1, path.size(), stdout);
        std::fputs(": ", stdout);
    }
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
}
