#include "TreeDescription.h"

#include <QCryptographicHash>
#include <QFile>

#include <filesystem>

#include <sys/stat.h>

namespace fs = std::filesystem;

namespace testing_support {

std::map<std::string, std::string> TreeDescription::of(const QString& folder, Detail detail) {
    std::map<std::string, std::string> items;
    const fs::path top(QFile::encodeName(folder).toStdString());
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(top, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        struct stat status {};
        if (::lstat(it->path().c_str(), &status) != 0) {
            continue;
        }
        std::string line;
        if (S_ISLNK(status.st_mode)) {
            line = "link to " + fs::read_symlink(it->path(), error).string();
        } else if (S_ISDIR(status.st_mode)) {
            line = "folder";
        } else {
            QFile file(QFile::decodeName(it->path().c_str()));
            file.open(QIODevice::ReadOnly);
            line = "file sha1 " +
                   QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha1).toHex().toStdString();
        }
        if (detail == Detail::Everything && !S_ISLNK(status.st_mode)) {
            char extra[64];
            std::snprintf(extra, sizeof extra, " mode %04o mtime %lld",
                          static_cast<unsigned>(status.st_mode & 07777),
                          static_cast<long long>(status.st_mtime));
            line += extra;
        }
        items[it->path().lexically_relative(top).string()] = line;
    }
    return items;
}

} // namespace testing_support
