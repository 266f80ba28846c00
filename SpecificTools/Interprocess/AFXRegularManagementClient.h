#pragma once

#include "AFXBaseService.h"
#include "AFXRegularInterprocessClientAdaptor.h"
#include "SpecificTools/Services/AFXServiceClass.h"

#include <QList>

#include <memory>

// The base of the client-side services: builds requests stamped with this
// process's tier and the service's ID, and sends them through the adaptor
// shared by all clients of the same service name.
class AFXRegularManagementClient : public AFXBaseService {
public:
    // The adaptor a concrete client class makes for its factory: its mach
    // name and request classes, the factory's tier name, the factory as delegate.
    static std::shared_ptr<AFXRegularInterprocessClientAdaptor>
    makeInterprocessAdaptorForServicesFactory(const std::shared_ptr<AFXServicesFactory>& servicesFactory,
                                              const QString& interprocessServiceName,
                                              const QList<const platform::Class*>& requestClasses);

    // The class operations of a concrete client class, made with
    // `Client::makeWithServiceID(serviceID, servicesFactory, interprocessAdaptor)`.
    template <typename Client>
    static AFXServiceClass makeServiceClass(const QString& name, const QString& interprocessServiceName,
                                            const QList<const platform::Class*>& requestClasses) {
        return makeServiceClass(name, interprocessServiceName, requestClasses,
                                [](const std::shared_ptr<AFXServiceID>& serviceID,
                                   const std::shared_ptr<AFXServicesFactory>& servicesFactory,
                                   const std::shared_ptr<AFXRegularInterprocessClientAdaptor>& adaptor)
                                    -> std::shared_ptr<AFXBaseService> {
                                    return Client::makeWithServiceID(serviceID, servicesFactory, adaptor);
                                });
    }

    const std::shared_ptr<AFXRegularInterprocessClientAdaptor>& interprocessAdaptor() const {
        return interprocessAdaptor_;
    }

    // A new request of one of the service's request classes (anything else
    // stops the process), or null when the factory no longer exists.
    std::shared_ptr<AFXInterprocessRequest> makeRequestOfClass(const platform::Class* requestClass) const;
    template <typename Request> std::shared_ptr<Request> makeRequest() const {
        return std::static_pointer_cast<Request>(makeRequestOfClass(Request::staticClass()));
    }

    void performRequest(const std::shared_ptr<AFXInterprocessRequest>& request,
                        AFXInterprocessReportHandler reportHandler,
                        AFXInterprocessResponseHandler responseHandler) override;

protected:
    AFXRegularManagementClient(
        const std::shared_ptr<AFXServiceID>& serviceID,
        const std::shared_ptr<AFXServicesFactory>& servicesFactory, const QString& interprocessServiceName,
        const platform::Class* serviceIDClass,
        const std::shared_ptr<AFXRegularInterprocessClientAdaptor>& interprocessAdaptor);

private:
    using MakeClient = std::function<std::shared_ptr<AFXBaseService>(
        const std::shared_ptr<AFXServiceID>&, const std::shared_ptr<AFXServicesFactory>&,
        const std::shared_ptr<AFXRegularInterprocessClientAdaptor>&)>;
    static AFXServiceClass makeServiceClass(const QString& name, const QString& interprocessServiceName,
                                            const QList<const platform::Class*>& requestClasses,
                                            MakeClient makeClient);

    const std::shared_ptr<AFXRegularInterprocessClientAdaptor> interprocessAdaptor_;
};
