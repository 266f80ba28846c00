#include "FileReplacement.h"

#include <cerrno>
#include <cstdlib>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

bool FileReplacement::replace(const std::string& path, std::string_view data, mode_t mode,
                              Durability durability, int* failure) {
    std::string temporary = path + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        if (failure) {
            *failure = errno;
        }
        return false;
    }
    int error = 0;
    for (size_t done = 0; done < data.size() && error == 0;) {
        const ssize_t count = ::write(fd, data.data() + done, data.size() - done);
        if (count > 0) {
            done += static_cast<size_t>(count);
        } else if (count == 0 || errno != EINTR) {
            error = count == 0 ? EIO : errno;
        }
    }
    if (error == 0 && ::fchmod(fd, mode) != 0) {
        error = errno;
    }
    if (error == 0 && durability == Durability::Synced && ::fsync(fd) != 0) {
        error = errno;
    }
    if (::close(fd) != 0 && error == 0) {
        error = errno;
    }
    if (error == 0 && ::rename(temporary.c_str(), path.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        ::unlink(temporary.c_str());
        if (failure) {
            *failure = error;
        }
        return false;
    }
    return true;
}

mode_t FileReplacement::newFileMode() {
    // The mask can only be read by setting it; the tools that ask have one thread.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

} // namespace platform
