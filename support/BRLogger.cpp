#include "BRLogger.h"

#include "BRDispatch.h"

BRLogger::BRLogger(const QString& name) : queue_(BRBuildInternalDispatchQueue(name)) {}

BRLogger::~BRLogger() = default;

void BRLogger::setLogFormatter(std::shared_ptr<const BRLogFormatter> formatter) {
    std::lock_guard lock(mutex_);
    formatter_ = std::move(formatter);
}

std::shared_ptr<const BRLogFormatter> BRLogger::logFormatter() const {
    std::lock_guard lock(mutex_);
    return formatter_;
}

QString BRLogger::formattedText(const BRLogMessage& message) const {
    const auto formatter = logFormatter();
    return formatter ? formatter->formatLogMessage(message) : message.message;
}
