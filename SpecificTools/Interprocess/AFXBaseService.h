#pragma once

#include "AFXInterprocessRequest.h"
#include "AFXServiceID.h"

#include <QString>
#include <QUuid>

#include <functional>
#include <memory>

class AFXServicesFactory;

// The base of every service object a services factory makes, at either end
// of the transport. Concrete services name their mach service and the kind
// of service ID that identifies them; the factory is held weakly.
class AFXBaseService : public std::enable_shared_from_this<AFXBaseService> {
public:
    virtual ~AFXBaseService() = default;
    AFXBaseService(const AFXBaseService&) = delete;
    AFXBaseService& operator=(const AFXBaseService&) = delete;

    const std::shared_ptr<AFXServiceID>& serviceID() const { return serviceID_; }
    std::shared_ptr<AFXServicesFactory> servicesFactory() const { return servicesFactory_.lock(); }

    virtual void performRequest(const std::shared_ptr<AFXInterprocessRequest>& request,
                                AFXInterprocessReportHandler reportHandler,
                                AFXInterprocessResponseHandler responseHandler) = 0;

    // True: the service agrees that the serving process ends.
    virtual void prepareForTerminationWithCallback(std::function<void(bool)> callback) { callback(true); }
    void prepareForInvalidationWithCallback(std::function<void(bool)> callback) {
        prepareForTerminationWithCallback(std::move(callback));
    }
    virtual void didEstablishInterprocessConnectionWithEsteblishedStreamID(const QUuid&) {}
    virtual void didLooseInterprocessConnectionWithEsteblishedStreamID(const QUuid&) {}

protected:
    // `interprocessServiceName` and `serviceIDClass` are the concrete class's
    // own; the ID must match both.
    AFXBaseService(const std::shared_ptr<AFXServiceID>& serviceID,
                   const std::shared_ptr<AFXServicesFactory>& servicesFactory,
                   const QString& interprocessServiceName, const platform::Class* serviceIDClass);

private:
    const std::shared_ptr<AFXServiceID> serviceID_;
    const std::weak_ptr<AFXServicesFactory> servicesFactory_;
};
