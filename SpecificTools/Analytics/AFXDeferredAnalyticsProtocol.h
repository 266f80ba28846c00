#pragma once

#include "AFXAnalyticsProtocol.h"

// A recorder that can also keep events to send later, across restarts.
class AFXDeferredAnalyticsProtocol : public AFXAnalyticsProtocol {
public:
    virtual void deferEventWithParameters(const platform::Value::Dictionary& parameters) = 0;
    virtual void cancelDeferredEvents() = 0;
    virtual void sendDeferredEvents() = 0;
};
