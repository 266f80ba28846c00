#pragma once

#include "AFXInterprocessRequest.h"

#include <QUuid>

class AFXRegularInterprocessServerAdaptor;

// Serves the requests a server adaptor receives and hears of its clients'
// reporting streams (the services factory). Called on any thread.
class AFXRegularInterprocessServerAdaptorDelegate {
public:
    virtual ~AFXRegularInterprocessServerAdaptorDelegate() = default;

    // The report handler is null when the request wants no reports.
    virtual void regularInterprocessServerAdaptorPerformRequest(
        AFXRegularInterprocessServerAdaptor& adaptor, const std::shared_ptr<AFXInterprocessRequest>& request,
        AFXInterprocessReportHandler reportHandler, AFXInterprocessResponseHandler responseHandler) = 0;
    virtual void
    didEstablishConnectionOfRegularInterprocessServerAdaptor(AFXRegularInterprocessServerAdaptor& adaptor,
                                                             const QUuid& esteblishedStreamID) = 0;
    virtual void
    didLooseConnectionOfRegularInterprocessServerAdaptor(AFXRegularInterprocessServerAdaptor& adaptor,
                                                         const QUuid& esteblishedStreamID) = 0;
};
