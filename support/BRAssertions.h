#pragma once

#include <QString>

#include <functional>
#include <source_location>

// The support library's assertion routines. A failed assertion marks a
// programming error: it is reported through the assertion handler and the
// process stops.

struct BRAssertionFailure {
    QString description;
    const char* file;
    int line;
    const char* function;
};

using BRAssertionHandler = std::function<void(const BRAssertionFailure&)>;

// Replaces the handler that reports failures (the default writes them to the
// standard error and the log); answers the previous one. The process stops
// after the handler returns, whatever the handler.
BRAssertionHandler BRSetAssertionHandler(BRAssertionHandler handler);

[[noreturn]] void BRHandleAssertionFailure(const QString& description,
                                           std::source_location location = std::source_location::current());

// "We should not get here": unavailable initialisers and impossible states.
[[noreturn]] void BRAssertUnreachable(std::source_location location = std::source_location::current());
// The body of an abstract method.
[[noreturn]] void BRAssertAbstract(std::source_location location = std::source_location::current());
// A part that is not ready: tells the user so ("Under construction") and stops.
[[noreturn]] void BRAssertUnimplemented(std::source_location location = std::source_location::current());

// Reports "Invalid parameter not satisfying: <condition>" when the condition fails.
#define BRParameterAssert(condition) BRParameterAssertText(condition, #condition)
// The same, with the condition's text as the system words it.
#define BRParameterAssertText(condition, text)                                                               \
    do {                                                                                                     \
        if (!(condition)) {                                                                                  \
            BRHandleAssertionFailure(                                                                        \
                QStringLiteral("Invalid parameter not satisfying: %1").arg(QStringLiteral(text)));           \
        }                                                                                                    \
    } while (false)
