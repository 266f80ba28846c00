#pragma once

#include "BRLogFormatter.h"
#include "BRLogMessage.h"
#include "platform/DispatchQueue.h"

#include <memory>
#include <mutex>

// A sink of log messages. Each sink formats and writes on its own serial
// queue; `logMessage` and `flush` are called there.
class BRLogger : public std::enable_shared_from_this<BRLogger> {
public:
    virtual ~BRLogger();

    const std::shared_ptr<platform::DispatchQueue>& loggerQueue() const { return queue_; }
    void setLogFormatter(std::shared_ptr<const BRLogFormatter> formatter);
    std::shared_ptr<const BRLogFormatter> logFormatter() const;

    virtual void logMessage(const BRLogMessage& message) = 0;
    virtual void flush() {}

protected:
    explicit BRLogger(const QString& name);
    // The formatter's text, or the bare message without a formatter.
    QString formattedText(const BRLogMessage& message) const;

private:
    const std::shared_ptr<platform::DispatchQueue> queue_;
    // The formatter is set by the owner while messages are written on the sink's queue.
    mutable std::mutex mutex_;
    std::shared_ptr<const BRLogFormatter> formatter_;
};
