#include "AFXRemoteConfigurationClient.h"

#include "AFXRemoteConfigurationRequests.h"
#include "SpecificTools/Interprocess/AFXEnvironmentServiceID.h"

AFXServiceClass AFXRemoteConfigurationClient::serviceClass() {
    AFXServiceClass serviceClass = makeServiceClass<AFXRemoteConfigurationClient>(
        QStringLiteral("AFXRemoteConfigurationClient"), interprocessServiceName(),
        AFXRemoteConfigurationRequestClasses());
    serviceClass.makeServiceIDToPokeWithNewEnvironment =
        &AFXRemoteConfigurationService::makeServiceIDToPokeWithNewEnvironment;
    return serviceClass;
}

std::shared_ptr<AFXRemoteConfigurationClient> AFXRemoteConfigurationClient::makeWithServiceID(
    const std::shared_ptr<AFXServiceID>& serviceID,
    const std::shared_ptr<AFXServicesFactory>& servicesFactory,
    const std::shared_ptr<AFXRegularInterprocessClientAdaptor>& interprocessAdaptor) {
    return std::shared_ptr<AFXRemoteConfigurationClient>(
        new AFXRemoteConfigurationClient(serviceID, servicesFactory, interprocessServiceName(),
                                         AFXEnvironmentServiceID::staticClass(), interprocessAdaptor));
}

void AFXRemoteConfigurationClient::fetchRemoteConfigurationWithCallback(
    AFXRemoteConfigurationCallback callback) {
    sendForValue<AFXFetchRemoteConfigurationRequest>(
        nullptr, &AFXFetchRemoteConfigurationResponse::remoteConfiguration,
        QStringLiteral("remoteConfiguration"), std::move(callback));
}

std::shared_ptr<AFXEnvironmentID> AFXRemoteConfigurationClient::environmentID() const {
    return std::static_pointer_cast<AFXEnvironmentServiceID>(serviceID())->environmentID();
}
