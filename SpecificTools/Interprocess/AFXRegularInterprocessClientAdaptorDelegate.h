#pragma once

#include <QUuid>

#include <functional>

class AFXRegularInterprocessClientAdaptor;

// Hears of a client adaptor's reporting streams and votes on the serving
// process's termination (the services factory). Called on any thread.
class AFXRegularInterprocessClientAdaptorDelegate {
public:
    virtual ~AFXRegularInterprocessClientAdaptorDelegate() = default;

    virtual void
    didEstablishConnectionOfRegularInterprocessClientAdaptor(AFXRegularInterprocessClientAdaptor& adaptor,
                                                             const QUuid& esteblishedStreamID) = 0;
    virtual void
    didLooseConnectionOfRegularInterprocessClientAdaptor(AFXRegularInterprocessClientAdaptor& adaptor,
                                                         const QUuid& esteblishedStreamID) = 0;
    // The callback receives true when this process agrees that the server ends.
    virtual void
    regularInterprocessClientAdaptorPrepareForTermination(AFXRegularInterprocessClientAdaptor& adaptor,
                                                          std::function<void(bool)> callback) = 0;
};
