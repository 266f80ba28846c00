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
    performRequestForResponse<AFXFetchRemoteConfigurationResponse>(
        makeRequest<AFXFetchRemoteConfigurationRequest>(),
        QStringLiteral("fetchRemoteConfigurationWithCallback"),
        [callback = std::move(callback)](
            const BRValueOrError<std::shared_ptr<AFXFetchRemoteConfigurationResponse>>& outcome) {
            callback(liftResponseField(outcome, &AFXFetchRemoteConfigurationResponse::remoteConfiguration,
                                       QStringLiteral("remoteConfiguration")));
        });
}

std::shared_ptr<AFXEnvironmentID> AFXRemoteConfigurationClient::environmentID() const {
    return std::static_pointer_cast<AFXEnvironmentServiceID>(serviceID())->environmentID();
}
