#include "BRZIPExtraction.h"

#include "platform/FileManager.h"
#include "platform/Pipe.h"

std::optional<BRZIPExtraction> BRZIPExtraction::start(const QString& stagingPath, platform::Error* error) {
    std::shared_ptr<platform::Pipe> input = platform::Pipe::make(error);
    if (!input) {
        return std::nullopt;
    }
    std::optional<BRToolRun> ditto = BRToolRun::launch(
        QStringLiteral("/usr/bin/ditto"),
        {QStringLiteral("-x"), QStringLiteral("-k"), QStringLiteral("-"), stagingPath}, input, error);
    if (!ditto) {
        return std::nullopt;
    }
    return BRZIPExtraction(stagingPath, std::move(input), std::move(*ditto));
}

qint64 BRZIPExtraction::feed(int file, qint64 offset, qint64 size) {
    return input_->writeFromFile(file, offset, size);
}

std::optional<QUrl> BRZIPExtraction::finish(platform::Error* error) {
    input_->closeWriteEnd();
    if (!tool_.finish(error)) {
        // What ditto unpacked before it failed is nobody's.
        platform::FileManager::removeItem(stagingPath_);
        return std::nullopt;
    }
    return QUrl::fromLocalFile(stagingPath_);
}

void BRZIPExtraction::terminate() {
    tool_.terminate();
}

void BRZIPExtraction::abandon() {
    tool_.terminate();
    input_->closeWriteEnd();
    tool_.finish(nullptr);
    platform::FileManager::removeItem(stagingPath_);
}
