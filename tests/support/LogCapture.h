#pragma once

// A sink for tests: keeps every message it is handed, in order.

#include "support/BRLog.h"
#include "support/BRLogger.h"

#include <QStringList>

#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

namespace testing_support {

class RecordingLogger : public BRLogger {
public:
    // A new recorder, registered with the logging facade.
    static std::shared_ptr<RecordingLogger> install() {
        auto logger = std::shared_ptr<RecordingLogger>(new RecordingLogger);
        BRLog::addLogger(logger);
        return logger;
    }

    void logMessage(const BRLogMessage& message) override {
        willRecord(message);
        std::lock_guard lock(mutex_);
        messages_.push_back(message);
    }

    std::vector<BRLogMessage> messages() const {
        std::lock_guard lock(mutex_);
        return messages_;
    }

    // The texts of the messages with the flag (of all messages without one).
    QStringList texts(unsigned flag = 0) const {
        QStringList result;
        for (const auto& message : messages()) {
            if (flag == 0 || message.flag == flag) {
                result << message.message;
            }
        }
        return result;
    }

    bool hasLineStartingWith(BRLogFlag flag, const QString& text) const {
        const QStringList lines = texts(flag);
        return std::any_of(lines.begin(), lines.end(),
                           [&](const QString& line) { return line.startsWith(text); });
    }

    void clear() {
        std::lock_guard lock(mutex_);
        messages_.clear();
    }

protected:
    RecordingLogger() : BRLogger(QStringLiteral("recording-logger")) {}
    // Runs on the sink's queue before a message is kept.
    virtual void willRecord(const BRLogMessage&) {}

private:
    mutable std::mutex mutex_;
    std::vector<BRLogMessage> messages_;
};

// Removes every sink when the test leaves the scope, however it leaves.
struct LoggersRemover {
    ~LoggersRemover() { BRLog::removeAllLoggers(); }
};

} // namespace testing_support
