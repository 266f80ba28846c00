#include "AFXAppsManagementServer.h"

#include "AFXAppsManagementRequests.h"
#include "SpecificTools/Interprocess/AFXEnvironmentServiceID.h"
#include "SpecificTools/Model/AFXEnvironment.h"

const AFXServiceClass& AFXAppsManagementServer::serviceClass() {
    static const AFXServiceClass serviceClass = [] {
        AFXServiceClass made = makeServiceClass<AFXAppsManagementServer>(
            QStringLiteral("AFXAppsManagementServer"), interprocessServiceName(),
            AFXAppsManagementRequestClasses());
        made.makeServiceIDToPokeWithNewEnvironment =
            [](const std::shared_ptr<AFXEnvironment>& environment) -> std::shared_ptr<AFXServiceID> {
            if (!environment) {
                return nullptr;
            }
            return AFXEnvironmentServiceID::makeWithServiceName(interprocessServiceName(),
                                                                environment->identifier());
        };
        return made;
    }();
    return serviceClass;
}

std::shared_ptr<AFXAppsManagementServer> AFXAppsManagementServer::makeWithServiceID(
    const std::shared_ptr<AFXServiceID>& serviceID,
    const std::shared_ptr<AFXRegularInterprocessServerAdaptor>& interprocessAdaptor,
    const std::shared_ptr<AFXServicesFactory>& servicesFactory, const std::shared_ptr<AFXNetworkService>&) {
    return std::shared_ptr<AFXAppsManagementServer>(
        new AFXAppsManagementServer(serviceID, interprocessAdaptor, servicesFactory));
}

AFXAppsManagementServer::AFXAppsManagementServer(
    const std::shared_ptr<AFXServiceID>& serviceID,
    const std::shared_ptr<AFXRegularInterprocessServerAdaptor>& interprocessAdaptor,
    const std::shared_ptr<AFXServicesFactory>& servicesFactory)
    : AFXRegularManagementServer(serviceID, interprocessAdaptor, servicesFactory, interprocessServiceName(),
                                 AFXEnvironmentServiceID::staticClass()) {}

std::shared_ptr<AFXEnvironmentID> AFXAppsManagementServer::environmentID() const {
    return std::static_pointer_cast<AFXEnvironmentServiceID>(serviceID())->environmentID();
}
