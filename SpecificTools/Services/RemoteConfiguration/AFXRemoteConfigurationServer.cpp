#include "AFXRemoteConfigurationServer.h"

#include "AFXRemoteConfigurationRequests.h"
#include "SpecificTools/Interprocess/AFXEnvironmentServiceID.h"

AFXServiceClass AFXRemoteConfigurationServer::serviceClass() {
    AFXServiceClass serviceClass = makeServiceClass<AFXRemoteConfigurationServer>(
        QStringLiteral("AFXRemoteConfigurationServer"), interprocessServiceName(),
        AFXRemoteConfigurationRequestClasses());
    serviceClass.makeServiceIDToPokeWithNewEnvironment =
        &AFXRemoteConfigurationService::makeServiceIDToPokeWithNewEnvironment;
    return serviceClass;
}

std::shared_ptr<AFXRemoteConfigurationServer> AFXRemoteConfigurationServer::makeWithServiceID(
    const std::shared_ptr<AFXServiceID>& serviceID,
    const std::shared_ptr<AFXRegularInterprocessServerAdaptor>& interprocessAdaptor,
    const std::shared_ptr<AFXServicesFactory>& servicesFactory, const std::shared_ptr<AFXNetworkService>&) {
    return std::shared_ptr<AFXRemoteConfigurationServer>(
        new AFXRemoteConfigurationServer(serviceID, interprocessAdaptor, servicesFactory));
}

AFXRemoteConfigurationServer::AFXRemoteConfigurationServer(
    const std::shared_ptr<AFXServiceID>& serviceID,
    const std::shared_ptr<AFXRegularInterprocessServerAdaptor>& interprocessAdaptor,
    const std::shared_ptr<AFXServicesFactory>& servicesFactory)
    : AFXRegularManagementServer(serviceID, interprocessAdaptor, servicesFactory, interprocessServiceName(),
                                 AFXEnvironmentServiceID::staticClass()) {}

std::shared_ptr<AFXEnvironmentID> AFXRemoteConfigurationServer::environmentID() const {
    return std::static_pointer_cast<AFXEnvironmentServiceID>(serviceID())->environmentID();
}
