#include "AFXUIManagementServer.h"

#include "AFXUIManagementRequests.h"
#include "SpecificTools/Interprocess/AFXGlobalServiceID.h"

AFXServiceClass AFXUIManagementServer::serviceClass() {
    AFXServiceClass serviceClass = makeServiceClass<AFXUIManagementServer>(
        QStringLiteral("AFXUIManagementServer"), interprocessServiceName(), AFXUIManagementRequestClasses());
    serviceClass.makeGlobalServiceIDToPoke = &AFXUIManagementService::makeGlobalServiceIDToPoke;
    return serviceClass;
}

std::shared_ptr<AFXUIManagementServer> AFXUIManagementServer::makeWithServiceID(
    const std::shared_ptr<AFXServiceID>& serviceID,
    const std::shared_ptr<AFXRegularInterprocessServerAdaptor>& interprocessAdaptor,
    const std::shared_ptr<AFXServicesFactory>& servicesFactory, const std::shared_ptr<AFXNetworkService>&) {
    return std::shared_ptr<AFXUIManagementServer>(
        new AFXUIManagementServer(serviceID, interprocessAdaptor, servicesFactory));
}

AFXUIManagementServer::AFXUIManagementServer(
    const std::shared_ptr<AFXServiceID>& serviceID,
    const std::shared_ptr<AFXRegularInterprocessServerAdaptor>& interprocessAdaptor,
    const std::shared_ptr<AFXServicesFactory>& servicesFactory)
    : AFXRegularManagementServer(serviceID, interprocessAdaptor, servicesFactory, interprocessServiceName(),
                                 AFXGlobalServiceID::staticClass()) {}
