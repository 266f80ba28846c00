#pragma once

#include <string>
#include <utility>
#include <vector>

// Lists, prints, writes or removes one extended attribute of files, and
// optionally of everything below them. The names are the system's
// ("com.apple.quarantine"), kept in Linux's "user." namespace. A recursive
// walk never follows symbolic links: a link is left alone (Linux keeps no
// user attributes on links, and its target may lie anywhere).
//
// Plain C++ without Qt: the tool runs once for every app placed, and loading
// Qt would cost it several times its own work.
class AttributeEditor {
public:
    enum class Operation { List, Print, Write, Delete };

    AttributeEditor(Operation operation, std::string name, std::string value, bool recursive)
        : operation_(operation), name_(std::move(name)), value_(std::move(value)), recursive_(recursive) {}

    // Applies the operation to every path, reporting failures on standard
    // error as it goes; false when any failed.
    bool apply(const std::vector<std::string>& paths);

private:
    bool applyToTree(const std::string& path);
    bool applyTo(const std::string& path);
    void report(const std::string& text) const;
    void print(const std::string& path, const std::string& line) const;

    Operation operation_;
    std::string name_;
    std::string value_;
    bool recursive_;
    // With more than one file involved, printed lines name their file.
    bool prefixLines_ = false;
};
