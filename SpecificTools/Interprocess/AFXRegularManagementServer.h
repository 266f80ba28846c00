#pragma once

#include "AFXBaseService.h"
#include "AFXRegularInterprocessServerAdaptor.h"
#include "SpecificTools/Services/AFXServiceClass.h"

#include <QList>

#include <memory>

// The base of the server-side services: a request that reaches the service
// runs its own dispatch against it.
class AFXRegularManagementServer : public AFXBaseService {
public:
    // The adaptor a concrete server class makes for its factory: its mach
    // name and request classes, the factory as delegate.
    static std::shared_ptr<AFXRegularInterprocessServerAdaptor>
    makeInterprocessAdaptorForServicesFactory(const std::shared_ptr<AFXServicesFactory>& servicesFactory,
                                              const QString& interprocessServiceName,
                                              const QList<const platform::Class*>& requestClasses);

    // The class operations of a concrete server class, made with
    // `Server::makeWithServiceID(serviceID, interprocessAdaptor, servicesFactory, networkService)`.
    template <typename Server>
    static AFXServiceClass makeServiceClass(const QString& name, const QString& interprocessServiceName,
                                            const QList<const platform::Class*>& requestClasses) {
        return AFXServiceClass::makeManagementServiceClass(name, interprocessServiceName, requestClasses,
                                                           &makeInterprocessAdaptorForServicesFactory,
                                                           serviceMaker<Server>());
    }
    // How a services factory makes a `Server` from the adaptor of its name.
    template <typename Server> static AFXServiceClass::MakeServiceWithAdaptor serviceMaker() {
        return
            [](const std::shared_ptr<AFXServiceID>& serviceID,
               const std::shared_ptr<AFXInterprocessAdaptor>& adaptor,
               const std::shared_ptr<AFXServicesFactory>& servicesFactory,
               const std::shared_ptr<AFXNetworkService>& networkService) -> std::shared_ptr<AFXBaseService> {
                return Server::makeWithServiceID(
                    serviceID, std::dynamic_pointer_cast<AFXRegularInterprocessServerAdaptor>(adaptor),
                    servicesFactory, networkService);
            };
    }

    const std::shared_ptr<AFXRegularInterprocessServerAdaptor>& interprocessAdaptor() const {
        return interprocessAdaptor_;
    }

    void performRequest(const std::shared_ptr<AFXInterprocessRequest>& request,
                        AFXInterprocessReportHandler reportHandler,
                        AFXInterprocessResponseHandler responseHandler) override;

protected:
    AFXRegularManagementServer(
        const std::shared_ptr<AFXServiceID>& serviceID,
        const std::shared_ptr<AFXRegularInterprocessServerAdaptor>& interprocessAdaptor,
        const std::shared_ptr<AFXServicesFactory>& servicesFactory, const QString& interprocessServiceName,
        const platform::Class* serviceIDClass);

private:
    const std::shared_ptr<AFXRegularInterprocessServerAdaptor> interprocessAdaptor_;
};
