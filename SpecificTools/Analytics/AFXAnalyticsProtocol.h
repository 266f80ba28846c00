#pragma once

#include "platform/Value.h"

#include <QString>

// What records usage: events, timings and screen views, each described by
// measurement parameters (AFXAnalyticsParameters.h).
class AFXAnalyticsProtocol {
public:
    virtual ~AFXAnalyticsProtocol() = default;

    virtual void trackEventWithParameters(const platform::Value::Dictionary& parameters) = 0;
    virtual void trackTimingWithParameters(const platform::Value::Dictionary& parameters) = 0;
    virtual void trackView(const QString& screenName) = 0;
    virtual void trackModalView(const QString& screenName) = 0;
    virtual void switchToModalView(const QString& screenName) = 0;
    virtual void stopTrackingModalView() = 0;
};
