#pragma once

#include "BRLogMessage.h"

#include <QString>

// Turns a message into the text a sink writes.
class BRLogFormatter {
public:
    virtual ~BRLogFormatter() = default;
    virtual QString formatLogMessage(const BRLogMessage& message) const = 0;
};
