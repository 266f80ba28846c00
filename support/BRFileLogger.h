#pragma once

#include "BRLogFileManager.h"
#include "BRLogger.h"
#include "platform/DispatchSource.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

// Writes messages to rolling log files. The newest file is reused on start
// when it is not archived, not full and not too old. A file is rolled (closed
// and marked archived) once it reaches the maximum size or the rolling
// frequency has passed since it was created; old files are then pruned.
class BRFileLogger : public BRLogger {
public:
    static constexpr std::uint64_t DefaultMaximumFileSize = 1024 * 1024;
    static constexpr std::chrono::seconds DefaultRollingFrequency{86400};

    static std::shared_ptr<BRFileLogger> makeWithLogFileManager(std::shared_ptr<BRLogFileManager> manager);
    ~BRFileLogger() override;

    const std::shared_ptr<BRLogFileManager>& logFileManager() const { return manager_; }
    void setMaximumFileSize(std::uint64_t bytes);
    void setRollingFrequency(std::chrono::seconds frequency);

    // The file being written to, opening one when none is (empty when none can be).
    QString currentLogFilePath();
    // Rolls the current file now; the block runs on the logger's queue afterwards.
    void rollLogFile(std::function<void()> completion = {});

    void logMessage(const BRLogMessage& message) override;
    void flush() override;

private:
    explicit BRFileLogger(std::shared_ptr<BRLogFileManager> manager);
    // These run on the logger's queue.
    bool openCurrentFile();
    void rollNow();
    void scheduleRollTimer(const QDateTime& creation);
    void reportWriteFailure(const QString& reason);

    const std::shared_ptr<BRLogFileManager> manager_;
    std::uint64_t maximumFileSize_ = DefaultMaximumFileSize;
    std::chrono::seconds rollingFrequency_ = DefaultRollingFrequency;
    std::optional<BRLogFileInfo> current_;
    int fd_ = -1;
    std::uint64_t written_ = 0;
    std::shared_ptr<platform::DispatchSource> rollTimer_;
};
