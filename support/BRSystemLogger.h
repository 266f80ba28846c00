#pragma once

#include "BRLogger.h"

// Sends messages to the system log (syslog), with the priority of their flag.
class BRSystemLogger : public BRLogger {
public:
    static std::shared_ptr<BRSystemLogger> make();
    void logMessage(const BRLogMessage& message) override;

private:
    BRSystemLogger();
};
