#include "AFXSystemManagementServer.h"

#include "AFXSystemManagementRequests.h"
#include "SpecificTools/Interprocess/AFXGlobalServiceID.h"

const platform::Class* AFXSystemManagementServer::serviceIDClass() {
    return AFXGlobalServiceID::staticClass();
}

QList<const platform::Class*> AFXSystemManagementServer::requestClasses() {
    return AFXSystemManagementRequestClasses();
}

AFXServiceClass AFXSystemManagementServer::serviceClass() {
    AFXServiceClass serviceClass = makeServiceClass<AFXSystemManagementServer>(
        QStringLiteral("AFXSystemManagementServer"), interprocessServiceName(), requestClasses());
    serviceClass.makeGlobalServiceIDToPoke = []() -> std::shared_ptr<AFXServiceID> {
        return AFXGlobalServiceID::makeWithServiceName(interprocessServiceName());
    };
    return serviceClass;
}

std::shared_ptr<AFXSystemManagementServer> AFXSystemManagementServer::makeWithServiceID(
    const std::shared_ptr<AFXServiceID>& serviceID,
    const std::shared_ptr<AFXRegularInterprocessServerAdaptor>& interprocessAdaptor,
    const std::shared_ptr<AFXServicesFactory>& servicesFactory, const std::shared_ptr<AFXNetworkService>&) {
    return std::shared_ptr<AFXSystemManagementServer>(
        new AFXSystemManagementServer(serviceID, interprocessAdaptor, servicesFactory));
}

AFXSystemManagementServer::AFXSystemManagementServer(
    const std::shared_ptr<AFXServiceID>& serviceID,
    const std::shared_ptr<AFXRegularInterprocessServerAdaptor>& interprocessAdaptor,
    const std::shared_ptr<AFXServicesFactory>& servicesFactory)
    : AFXRegularManagementServer(serviceID, interprocessAdaptor, servicesFactory, interprocessServiceName(),
                                 serviceIDClass()) {}
