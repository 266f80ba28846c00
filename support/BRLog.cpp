#include "BRLog.h"

#include "BRDispatch.h"

#include <atomic>
#include <mutex>

namespace {

struct Registry {
    // The sink list is read by every log call from any thread.
    std::mutex mutex;
    QList<std::shared_ptr<BRLogger>> loggers;
    std::atomic<bool> any{false};
    std::shared_ptr<platform::DispatchQueue> queue = BRBuildInternalDispatchQueue(QStringLiteral("logging"));
};

Registry& registry() {
    static auto* r = new Registry;
    return *r;
}

} // namespace

void BRLog::logMessage(bool asynchronous, BRLogLevel level, BRLogFlag flag, long context, const char* file,
                       const char* function, int line, const QString& tag, const QString& message) {
    if ((static_cast<unsigned>(level) & static_cast<unsigned>(flag)) == 0 || !hasLoggers()) {
        return;
    }
    BRLogMessage entry{message,
                       level,
                       flag,
                       context,
                       QString::fromUtf8(file),
                       QString::fromUtf8(function),
                       line,
                       tag,
                       QDateTime::currentDateTime(),
                       asynchronous};
    auto deliver = [entry = std::move(entry)] {
        for (const auto& logger : allLoggers()) {
            logger->loggerQueue()->sync([&logger, &entry] { logger->logMessage(entry); });
        }
    };
    if (asynchronous) {
        registry().queue->async(std::move(deliver));
    } else {
        registry().queue->sync(deliver);
    }
}

void BRLog::addLogger(std::shared_ptr<BRLogger> logger) {
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    r.loggers.append(std::move(logger));
    r.any = true;
}

void BRLog::removeAllLoggers() {
    flushLog();
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    r.loggers.clear();
    r.any = false;
}

QList<std::shared_ptr<BRLogger>> BRLog::allLoggers() {
    auto& r = registry();
    std::lock_guard lock(r.mutex);
    return r.loggers;
}

bool BRLog::hasLoggers() {
    return registry().any;
}

void BRLog::flushLog() {
    registry().queue->sync([] {
        for (const auto& logger : allLoggers()) {
            logger->loggerQueue()->sync([&logger] { logger->flush(); });
        }
    });
}
