#include "BRFollowingUnarchiver.h"

#include "BRLog.h"
#include "platform/ScopedBlockingCall.h"

#include <QFile>

#include <algorithm>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// At most this much goes to the tool at a time, so that a cancellation is
// seen between pieces.
constexpr std::int64_t kFeedChunk = 1048576;

} // namespace

BRFollowingUnarchiver::BRFollowingUnarchiver(int file, BRZIPExtraction extraction)
    : file_(file), extraction_(std::move(extraction)) {
    feeder_ = std::thread([this] { feed(); });
}

BRFollowingUnarchiver::~BRFollowingUnarchiver() {
    cancel();
    ::close(file_);
}

void BRFollowingUnarchiver::bytesWritten(std::int64_t byteCount) {
    {
        std::lock_guard lock(mutex_);
        if (byteCount <= written_ || complete_) {
            return;
        }
        written_ = byteCount;
    }
    changed_.notify_one();
}

void BRFollowingUnarchiver::feed() {
    std::int64_t handedOver = 0;
    for (;;) {
        std::int64_t available = 0;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return cancelled_ || complete_ || written_ > handedOver; });
            if (cancelled_) {
                return;
            }
            if (complete_ && handedOver >= *complete_) {
                // More than the whole file went over only if it shrank.
                handedOver_ = handedOver == *complete_;
                return;
            }
            available = complete_ ? *complete_ : written_;
        }
        // The file may hold more than it was said to: the bytes after those
        // wait for the next word of the writer.
        const std::int64_t chunk = std::min(available - handedOver, kFeedChunk);
        if (extraction_.feed(file_, handedOver, chunk) != chunk) {
            // The tool stopped reading (it failed), or the file is shorter
            // than the writer said.
            return;
        }
        handedOver += chunk;
    }
}

std::optional<QUrl> BRFollowingUnarchiver::finishWithArchiveAtPath(const QString& archivePath) {
    struct stat followed {};
    struct stat archive {};
    const bool sameFile = ::fstat(file_, &followed) == 0 &&
                          ::stat(QFile::encodeName(archivePath).constData(), &archive) == 0 &&
                          followed.st_dev == archive.st_dev && followed.st_ino == archive.st_ino;
    if (!sameFile) {
        cancel();
        return std::nullopt;
    }
    {
        std::lock_guard lock(mutex_);
        if (stage_ != Stage::Following) {
            return std::nullopt;
        }
        stage_ = Stage::Finishing;
        complete_ = followed.st_size;
    }
    changed_.notify_one();
    {
        const platform::ScopedBlockingCall blocking;
        feeder_.join();
    }
    bool handedOver = false;
    {
        std::lock_guard lock(mutex_);
        handedOver = handedOver_;
        stage_ = Stage::Ended;
    }
    if (!handedOver) {
        extraction_.abandon();
        return std::nullopt;
    }
    platform::Error error(QString(), 0);
    std::optional<QUrl> staging = extraction_.finish(&error);
    if (!staging) {
        BRLogInfo("Unpacking the archive as it arrived failed: %@", error);
    }
    return staging;
}

void BRFollowingUnarchiver::cancel() {
    {
        std::lock_guard lock(mutex_);
        if (stage_ != Stage::Following) {
            return;
        }
        stage_ = Stage::Ended;
        cancelled_ = true;
    }
    changed_.notify_one();
    // A hand-over under way fails once the tool is gone.
    extraction_.terminate();
    {
        const platform::ScopedBlockingCall blocking;
        feeder_.join();
    }
    extraction_.abandon();
}
