#include "InputSpooler.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Large blocks keep the number of system calls (and wake-ups of the writer
// at the other end of the pipe) low.
constexpr size_t kBlockSize = 1 << 20;

std::string temporaryFolder() {
    const char* configured = std::getenv("TMPDIR");
    return configured && *configured ? configured : "/tmp";
}

} // namespace

int InputSpooler::spool(int input, std::string* error) {
    struct stat status {};
    if (::fstat(input, &status) == 0 && S_ISREG(status.st_mode)) {
        const int seekable = ::dup(input);
        if (seekable < 0) {
            *error = std::string("could not read the archive: ") + std::strerror(errno);
        } else {
            ::lseek(seekable, 0, SEEK_SET);
        }
        return seekable;
    }
    enlargePipe(input);
    const int spooled = makeAnonymousFile(error);
    if (spooled < 0) {
        return -1;
    }
    const bool copied = copyRest(input, spooled, error);
    if (!copied || ::lseek(spooled, 0, SEEK_SET) != 0) {
        if (copied) {
            *error = std::string("could not rewind the spooled archive: ") + std::strerror(errno);
        }
        ::close(spooled);
        return -1;
    }
    return spooled;
}

void InputSpooler::enlargePipe(int input) {
    struct stat status {};
    if (::fstat(input, &status) == 0 && S_ISFIFO(status.st_mode)) {
        // A bigger pipe lets the writer hand over whole chunks while we deal with the last one.
        ::fcntl(input, F_SETPIPE_SZ, static_cast<int>(kBlockSize));
    }
}

bool InputSpooler::writeAll(int fd, const char* data, size_t size, std::string* error) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            *error = std::string("could not spool the archive: ") + std::strerror(errno);
            return false;
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

int InputSpooler::makeAnonymousFile(std::string* error) {
    const std::string folder = temporaryFolder();
    int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) {
        return fd;
    }
    // File systems without O_TMPFILE: a named file, unlinked at once.
    std::string pattern = folder + "/ditto-XXXXXX";
    fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) {
        *error = "could not make a temporary file in " + folder + ": " + std::strerror(errno);
        return -1;
    }
    ::unlink(pattern.c_str());
    return fd;
}

bool InputSpooler::copyRest(int input, int output, std::string* error) {
    bool unsupported = false;
    return copyBySplicing(input, output, &unsupported, error) ||
           (unsupported && copyByReading(input, output, error));
}

bool InputSpooler::copyBySplicing(int input, int output, bool* unsupported, std::string* error) {
    // Moves pipe pages straight into the file's page cache, without a copy through our memory.
    bool first = true;
    for (;;) {
        const ssize_t moved =
            ::splice(input, nullptr, output, nullptr, kBlockSize, SPLICE_F_MOVE | SPLICE_F_MORE);
        if (moved > 0) {
            first = false;
            continue;
        }
        if (moved == 0) {
            return true;
        }
        if (errno == EINTR) {
            continue;
        }
        if (first && (errno == EINVAL || errno == ENOSYS)) {
            *unsupported = true;
            return false;
        }
        *error = std::string("could not spool the archive: ") + std::strerror(errno);
        return false;
    }
}

bool InputSpooler::copyByReading(int input, int output, std::string* error) {
    const auto buffer = std::make_unique<char[]>(kBlockSize);
    for (;;) {
        const ssize_t got = ::read(input, buffer.get(), kBlockSize);
        if (got == 0) {
            return true;
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            *error = std::string("could not read the archive: ") + std::strerror(errno);
            return false;
        }
        if (!writeAll(output, buffer.get(), static_cast<size_t>(got), error)) {
            return false;
        }
    }
}
