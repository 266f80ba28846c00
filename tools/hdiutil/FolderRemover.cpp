#include "FolderRemover.h"

#include <QFile>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

QString text(const std::error_code& error) {
    return QString::fromLocal8Bit(error.message().c_str());
}

} // namespace

void FolderRemover::makeWritable(const QString& path) {
    const fs::path top(QFile::encodeName(path).toStdString());
    std::error_code ignored;
    fs::permissions(top, fs::perms::owner_all, fs::perm_options::add, ignored);
    std::error_code error;
    // Pre-order: a folder is made writable and searchable before the walk goes into it.
    for (auto it = fs::recursive_directory_iterator(top, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        if (it->symlink_status(ignored).type() == fs::file_type::directory) {
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
        }
    }
}

bool FolderRemover::remove(const QString& path, QString* reason) {
    makeWritable(path);
    std::error_code error;
    fs::remove_all(fs::path(QFile::encodeName(path).toStdString()), error);
    if (error) {
        *reason = text(error);
        return false;
    }
    return true;
}

bool FolderRemover::removeContents(const QString& path, QString* reason) {
    makeWritable(path);
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(fs::path(QFile::encodeName(path).toStdString()), error)) {
        fs::remove_all(entry.path(), error);
        if (error) {
            break;
        }
    }
    if (error) {
        *reason = text(error);
        return false;
    }
    return true;
}
