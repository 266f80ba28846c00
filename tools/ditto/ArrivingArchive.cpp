#include "ArrivingArchive.h"

#include "InputSpooler.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr size_t kBlockSize = 1 << 20;

std::string describe(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

} // namespace

ArrivingArchive::~ArrivingArchive() {
    closeSpoolPipe();
    if (thread_.joinable()) {
        thread_.join();
    }
    if (pipe_[0] >= 0) {
        ::close(pipe_[0]);
    }
}

bool ArrivingArchive::start(std::string* error) {
    if (::pipe2(pipe_, O_CLOEXEC) != 0) {
        *error = describe("could not spool the archive");
        return false;
    }
    // As wide as the input, so that one look at the input fits into it.
    ::fcntl(pipe_[1], F_SETPIPE_SZ, static_cast<int>(kBlockSize));
    thread_ = std::thread([this] { spool(); });
    return true;
}

ssize_t ArrivingArchive::read(char* buffer, size_t size) {
    ssize_t seen = 0;
    do {
        seen = ::tee(input_, pipe_[1], size, 0);
    } while (seen < 0 && errno == EINTR);
    if (seen < 0) {
        error_ = describe("could not read the archive");
        return -1;
    }
    // What tee saw is in the input already: read it out.
    size_t taken = 0;
    while (taken < static_cast<size_t>(seen)) {
        const ssize_t got = ::read(input_, buffer + taken, static_cast<size_t>(seen) - taken);
        if (got <= 0) {
            if (got < 0 && errno == EINTR) {
                continue;
            }
            error_ = got < 0 ? describe("could not read the archive") : "the archive's input ended early";
            return -1;
        }
        taken += static_cast<size_t>(got);
    }
    return seen;
}

bool ArrivingArchive::finish(std::string* error) {
    closeSpoolPipe();
    if (thread_.joinable()) {
        thread_.join();
    }
    // Everything the reader saw is in the spool now; the rest goes straight after it.
    if (!error_.empty() || !spoolError_.empty()) {
        *error = !error_.empty() ? error_ : spoolError_;
        return false;
    }
    return InputSpooler::copyRest(input_, spool_, error);
}

void ArrivingArchive::closeSpoolPipe() {
    if (pipe_[1] >= 0) {
        ::close(pipe_[1]);
        pipe_[1] = -1;
    }
}

void ArrivingArchive::spool() {
    if (InputSpooler::copyRest(pipe_[0], spool_, &spoolError_)) {
        return;
    }
    // Keep taking what comes, so that the reader never waits on a full pipe.
    char discard[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(pipe_[0], discard, sizeof discard);
        if (got == 0 || (got < 0 && errno != EINTR)) {
            return;
        }
    }
}
