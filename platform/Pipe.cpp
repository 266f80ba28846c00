#include "Pipe.h"

#include "BrokenPipeSignalGuard.h"
#include "ScopedBlockingCall.h"

#include <cerrno>
#include <thread>

#include <fcntl.h>
#include <sys/sendfile.h>
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

namespace {

QByteArray readToEnd(int fd) {
    QByteArray data;
    char buffer[16384];
    while (fd >= 0) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            data.append(buffer, n);
        } else if (n == 0 || errno != EINTR) {
            break;
        }
    }
    return data;
}

} // namespace

QByteArray Pipe::readDataToEndOfFile() {
    // The writer is another thread or process that may take its time.
    ScopedBlockingCall blocking;
    if (background_.valid()) {
        return background_.get();
    }
    return readToEnd(read_);
}

void Pipe::readToEndOfFileInBackground() {
    if (read_ < 0 || background_.valid()) {
        return;
    }
    const int fd = ::fcntl(read_, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) {
        // Without a descriptor of its own the thread could outlive ours; read in the foreground.
        return;
    }
    std::promise<QByteArray> read;
    background_ = read.get_future();
    std::thread([fd, read = std::move(read)]() mutable {
        read.set_value(readToEnd(fd));
        ::close(fd);
    }).detach();
}

bool Pipe::writeData(const QByteArray& data) {
    const BrokenPipeSignalGuard guard;
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

qint64 Pipe::writeFromFile(int file, qint64 offset, qint64 size) {
    const BrokenPipeSignalGuard guard;
    qint64 written = 0;
    while (write_ >= 0 && written < size) {
        off_t from = static_cast<off_t>(offset + written);
        const ssize_t n = ::sendfile(write_, file, &from, static_cast<size_t>(size - written));
        if (n > 0) {
            written += n;
            continue;
        }
        if (n == 0) {
            return written;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EINVAL && errno != ENOSYS) {
            return -1;
        }
        QByteArray data(static_cast<qsizetype>(size - written), Qt::Uninitialized);
        const ssize_t got = ::pread(file, data.data(), static_cast<size_t>(data.size()),
                                    static_cast<off_t>(offset + written));
        if (got < 0) {
            return -1;
        }
        data.truncate(got);
        if (!writeData(data)) {
            return -1;
        }
        written += got;
        if (got == 0) {
            return written;
        }
    }
    return written == size ? written : -1;
}

} // namespace platform
