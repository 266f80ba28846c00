#include "Pipe.h"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace platform {

std::shared_ptr<Pipe> Pipe::make(Error* error) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        if (error) {
            *error = Error::posix(errno, QStringLiteral("Could not create a pipe"));
        }
        return nullptr;
    }
    return std::shared_ptr<Pipe>(new Pipe(fds[0], fds[1]));
}

Pipe::~Pipe() {
    closeReadEnd();
    closeWriteEnd();
}

void Pipe::closeReadEnd() {
    if (read_ >= 0) {
        ::close(read_);
        read_ = -1;
    }
}

void Pipe::closeWriteEnd() {
    if (write_ >= 0) {
        ::close(write_);
        write_ = -1;
    }
}

QByteArray Pipe::readDataToEndOfFile() {
    QByteArray data;
    char buffer[16384];
    while (read_ >= 0) {
        const ssize_t n = ::read(read_, buffer, sizeof buffer);
        if (n > 0) {
            data.append(buffer, n);
        } else if (n == 0 || errno != EINTR) {
            break;
        }
    }
    return data;
}

bool Pipe::writeData(const QByteArray& data) {
    qsizetype written = 0;
    while (write_ >= 0 && written < data.size()) {
        const ssize_t n =
            ::write(write_, data.constData() + written, static_cast<size_t>(data.size() - written));
        if (n > 0) {
            written += n;
        } else if (n < 0 && errno != EINTR) {
            return false;
        }
    }
    return written == data.size();
}

} // namespace platform
