#pragma once

#include "BRToolRun.h"
#include "platform/Error.h"

#include <QString>
#include <QUrl>

#include <memory>
#include <optional>

namespace platform {
class Pipe;
} // namespace platform

// ditto unpacking a ZIP archive into a staging folder as it reads the
// archive from a pipe. The archive is handed over in pieces of an open
// file, in order from its first byte, so the unpacking can start before
// the whole archive exists.
class BRZIPExtraction {
public:
    // Starts the tool; it makes the staging folder at `stagingPath`.
    static std::optional<BRZIPExtraction> start(const QString& stagingPath, platform::Error* error);

    // Hands the tool up to `size` bytes of `file` from `offset` on. Answers
    // how many it took, fewer than asked only at the file's end, or -1 when
    // the tool stopped reading: it failed, and `finish` says why.
    qint64 feed(int file, qint64 offset, qint64 size);
    // The whole archive was handed over: waits for the tool and answers the
    // staging folder, or nothing with the error (and nothing unpacked left).
    std::optional<QUrl> finish(platform::Error* error);
    // Asks the tool to end; a `feed` under way on another thread then fails.
    void terminate();
    // Ends the tool and removes what it unpacked; no `feed` may be under way.
    void abandon();

private:
    BRZIPExtraction(QString stagingPath, std::shared_ptr<platform::Pipe> input, BRToolRun tool)
        : stagingPath_(std::move(stagingPath)), input_(std::move(input)), tool_(std::move(tool)) {}

    QString stagingPath_;
    std::shared_ptr<platform::Pipe> input_;
    BRToolRun tool_;
};
