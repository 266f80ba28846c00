#include "ImageDetacher.h"

#include "FolderRemover.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <sys/stat.h>

bool ImageDetacher::detach(QString* reason) const {
    struct stat status {};
    if (::lstat(QFile::encodeName(mountPoint_).constData(), &status) != 0) {
        *reason = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    if (!S_ISDIR(status.st_mode)) {
        *reason = QString::fromLocal8Bit(std::strerror(ENOTDIR));
        return false;
    }
    return FolderRemover::remove(mountPoint_, reason);
}
