#pragma once

#include "AFXInterprocessRequest.h"
#include "support/BRValueOrError.h"

#include <QString>
#include <QUuid>

#include <functional>
#include <memory>

namespace platform {
class XPCListenerEndpoint;
}

// What a serving process exports under a service's mach name.
class AFXRegularServiceInterface {
public:
    static const QString
        EstablishReportingStreamSelector; // "establishReportingStreamWithTierNamed:endpoint:callback:"
    static const QString PerformInterprocessRequestSelector; // "performInterprocessRequest:responseHandler:"

    virtual ~AFXRegularServiceInterface() = default;

    // Registers the caller's report listener; the callback receives the new
    // stream ID or an error.
    virtual void
    establishReportingStreamWithTierNamed(const QString& tierName,
                                          const std::shared_ptr<platform::XPCListenerEndpoint>& endpoint,
                                          std::function<void(const BRValueOrError<QUuid>&)> callback) = 0;
    virtual void performInterprocessRequest(const std::shared_ptr<AFXInterprocessRequest>& request,
                                            AFXInterprocessResponseHandler responseHandler) = 0;
};
