#pragma once

#include "BRLogger.h"

// Writes messages to the standard error: "<time> [<kind>] <message>".
class BRConsoleLogger : public BRLogger {
public:
    static std::shared_ptr<BRConsoleLogger> make();
    void logMessage(const BRLogMessage& message) override;

private:
    BRConsoleLogger();
};
