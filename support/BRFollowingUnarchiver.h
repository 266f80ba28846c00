#pragma once

#include "BRZIPExtraction.h"

#include <QString>
#include <QUrl>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>

// Unpacks a ZIP archive while a download is still writing it to its file,
// so that little is left to unpack when its last byte arrives. The writer
// says how much of the file is written; a thread of the follower's own
// hands those bytes to the extraction tool, reading them back from the
// file (from the page cache, as a rule). Its staging folder counts only
// for the very file it followed, complete: see BRUnarchiver.
//
// The file must be written once, in order, from its first byte: a download
// that starts over or resumes is not followed further (`cancel`).
class BRFollowingUnarchiver {
public:
    ~BRFollowingUnarchiver();
    BRFollowingUnarchiver(const BRFollowingUnarchiver&) = delete;
    BRFollowingUnarchiver& operator=(const BRFollowingUnarchiver&) = delete;

    // The file's first `byteCount` bytes are written for good. Any thread;
    // never waits.
    void bytesWritten(std::int64_t byteCount);
    // The archive is complete at `archivePath`. When that is the file
    // followed, hands the tool the rest, waits for it and answers the
    // staging folder it unpacked into; otherwise, or when the tool failed
    // or the follower was cancelled, nothing, and nothing unpacked is left.
    // Once only.
    std::optional<QUrl> finishWithArchiveAtPath(const QString& archivePath);
    // Ends the unpacking and removes what it unpacked, unless it is
    // finishing. Any thread.
    void cancel();

private:
    friend class BRUnarchiver;
    // Takes the open file descriptor.
    BRFollowingUnarchiver(int file, BRZIPExtraction extraction);

    enum class Stage { Following, Finishing, Ended };

    // The thread's work: hands over what is written until the whole file is
    // handed over, the tool stops reading or the follower is cancelled.
    void feed();

    const int file_;
    BRZIPExtraction extraction_;
    std::mutex mutex_;
    std::condition_variable changed_;
    Stage stage_ = Stage::Following;
    std::int64_t written_ = 0;
    // The file's whole size, once it is complete.
    std::optional<std::int64_t> complete_;
    bool cancelled_ = false;
    // Set by the thread as it ends: everything up to `complete_` went to the tool.
    bool handedOver_ = false;
    std::thread feeder_;
};
