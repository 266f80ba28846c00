#include "BRFileLogger.h"

#include <QFile>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace {
// Failures to write are reported for the first ten times in the process, then no more.
std::atomic<int> gWriteFailures{0};
constexpr int kReportedWriteFailures = 10;
} // namespace

BRFileLogger::BRFileLogger(std::shared_ptr<BRLogFileManager> manager)
    : BRLogger(QStringLiteral("file-logger")), manager_(std::move(manager)) {}

std::shared_ptr<BRFileLogger>
BRFileLogger::makeWithLogFileManager(std::shared_ptr<BRLogFileManager> manager) {
    return std::shared_ptr<BRFileLogger>(new BRFileLogger(std::move(manager)));
}

BRFileLogger::~BRFileLogger() {
    if (rollTimer_) {
        rollTimer_->cancel();
    }
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

void BRFileLogger::setMaximumFileSize(std::uint64_t bytes) {
    loggerQueue()->sync([this, bytes] { maximumFileSize_ = bytes; });
}

void BRFileLogger::setRollingFrequency(std::chrono::seconds frequency) {
    loggerQueue()->sync([this, frequency] {
        rollingFrequency_ = frequency;
        if (current_) {
            scheduleRollTimer(current_->creationDate());
        }
    });
}

QString BRFileLogger::currentLogFilePath() {
    QString path;
    loggerQueue()->sync([this, &path] {
        if (openCurrentFile()) {
            path = current_->filePath();
        }
    });
    return path;
}

void BRFileLogger::rollLogFile(std::function<void()> completion) {
    loggerQueue()->async([self = std::static_pointer_cast<BRFileLogger>(shared_from_this()),
                          completion = std::move(completion)] {
        self->rollNow();
        if (completion) {
            completion();
        }
    });
}

bool BRFileLogger::openCurrentFile() {
    if (fd_ >= 0) {
        return true;
    }
    std::optional<QString> path;
    const auto infos = manager_->sortedLogFileInfos();
    if (!infos.isEmpty()) {
        const BRLogFileInfo& newest = infos.first();
        const auto age =
            std::chrono::milliseconds(newest.creationDate().msecsTo(QDateTime::currentDateTime()));
        if (!newest.isArchived() && newest.fileSize() < maximumFileSize_ && age < rollingFrequency_) {
            path = newest.filePath();
        }
    }
    if (!path) {
        path = manager_->createNewLogFile();
        if (!path) {
            return false;
        }
    }
    fd_ = ::open(QFile::encodeName(*path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) {
        reportWriteFailure(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    current_.emplace(*path);
    written_ = current_->fileSize();
    scheduleRollTimer(current_->creationDate());
    return true;
}

void BRFileLogger::scheduleRollTimer(const QDateTime& creation) {
    if (rollTimer_) {
        rollTimer_->cancel();
    }
    rollTimer_ = platform::DispatchSource::makeTimer(loggerQueue());
    const auto deadline =
        std::chrono::system_clock::time_point(std::chrono::milliseconds(creation.toMSecsSinceEpoch())) +
        rollingFrequency_;
    std::weak_ptr<BRLogger> weakSelf = weak_from_this();
    rollTimer_->setEventHandler([weakSelf] {
        if (auto self = std::static_pointer_cast<BRFileLogger>(weakSelf.lock())) {
            self->rollNow();
        }
    });
    rollTimer_->setTimer(deadline, std::nullopt, std::chrono::seconds(1));
    rollTimer_->resume();
}

void BRFileLogger::rollNow() {
    if (rollTimer_) {
        rollTimer_->cancel();
        rollTimer_.reset();
    }
    if (fd_ < 0) {
        return;
    }
    ::close(fd_);
    fd_ = -1;
    current_->setArchived(true);
    current_.reset();
    manager_->deleteOldLogFiles();
}

void BRFileLogger::reportWriteFailure(const QString& reason) {
    const int count = ++gWriteFailures;
    if (count <= kReportedWriteFailures) {
        std::fprintf(stderr, "DDFileLogger.logMessage: %s\n", reason.toUtf8().constData());
    }
    if (count == kReportedWriteFailures) {
        std::fprintf(stderr,
                     "DDFileLogger.logMessage: Too many exceptions -- will not log any more of them.\n");
    }
}

void BRFileLogger::logMessage(const BRLogMessage& message) {
    if (!openCurrentFile()) {
        return;
    }
    const QByteArray bytes = formattedText(message).toUtf8();
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            reportWriteFailure(QString::fromLocal8Bit(std::strerror(errno)));
            return;
        }
        done += n;
    }
    written_ += static_cast<std::uint64_t>(done);
    if (written_ >= maximumFileSize_) {
        rollNow();
    }
}

void BRFileLogger::flush() {
    if (fd_ >= 0) {
        ::fdatasync(fd_);
    }
}
