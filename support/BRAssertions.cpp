#include "BRAssertions.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace {

// Assertions fire from any thread, and tests swap the handler.
std::mutex& handlerMutex() {
    static auto* mutex = new std::mutex;
    return *mutex;
}

BRAssertionHandler& currentHandler() {
    static auto* handler = new BRAssertionHandler;
    return *handler;
}

void reportToStandardError(const BRAssertionFailure& failure) {
    std::fprintf(stderr, "*** Assertion failure in %s, %s:%d\n*** %s\n", failure.function, failure.file,
                 failure.line, failure.description.toUtf8().constData());
    std::fflush(stderr);
}

} // namespace

BRAssertionHandler BRSetAssertionHandler(BRAssertionHandler handler) {
    std::lock_guard lock(handlerMutex());
    BRAssertionHandler previous = std::move(currentHandler());
    currentHandler() = std::move(handler);
    return previous;
}

void BRHandleAssertionFailure(const QString& description, std::source_location location) {
    const BRAssertionFailure failure{description, location.file_name(), static_cast<int>(location.line()),
                                     location.function_name()};
    BRAssertionHandler handler;
    {
        std::lock_guard lock(handlerMutex());
        handler = currentHandler();
    }
    if (handler) {
        handler(failure);
    } else {
        reportToStandardError(failure);
    }
    std::abort();
}

void BRAssertUnreachable(std::source_location location) {
    BRHandleAssertionFailure(QStringLiteral("We should not get here"), location);
}

void BRAssertAbstract(std::source_location location) {
    BRHandleAssertionFailure(
        QStringLiteral("This implementation belongs to abstract method. We should not get here"), location);
}

void BRAssertUnimplemented(std::source_location location) {
    // Without a window to show the alert in, its texts go to the standard error.
    std::fprintf(stderr,
                 "Under construction\nThis part of application in not ready for regular use\n[Quit]\n");
    BRHandleAssertionFailure(QStringLiteral("Under construction"), location);
}
