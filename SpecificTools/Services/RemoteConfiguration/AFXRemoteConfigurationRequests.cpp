#include "AFXRemoteConfigurationRequests.h"

#include "AFXRemoteConfigurationService.h"
#include "SpecificTools/Interprocess/AFXBaseService.h"
#include "SpecificTools/Interprocess/AFXEnvironmentServiceID.h"
#include "SpecificTools/Model/AFXEnvironment.h"

AFX_DEFINE_ABSTRACT_RECORD(AFXRemoteConfigurationRequest, AFXInterprocessRequest)
AFX_DEFINE_RECORD(AFXFetchRemoteConfigurationResponse, AFXInterprocessResponse,
                  AFX_FIELD(remoteConfiguration, {AFXRemoteConfiguration::staticClass()}))
AFX_DEFINE_RECORD(AFXFetchRemoteConfigurationRequest, AFXRemoteConfigurationRequest)

QList<const platform::Class*> AFXRemoteConfigurationRequestClasses() {
    return {AFXFetchRemoteConfigurationRequest::staticClass()};
}

std::shared_ptr<AFXServiceID> AFXRemoteConfigurationService::makeServiceIDToPokeWithNewEnvironment(
    const std::shared_ptr<AFXEnvironment>& environment) {
    if (!environment || !environment->identifier()) {
        return nullptr;
    }
    return AFXEnvironmentServiceID::makeWithServiceName(interprocessServiceName(), environment->identifier());
}

void AFXFetchRemoteConfigurationRequest::performOnService(AFXBaseService& service,
                                                          AFXInterprocessReportHandler reportHandler,
                                                          AFXInterprocessResponseHandler responseHandler) {
    dynamic_cast<AFXRemoteConfigurationService&>(service).fetchRemoteConfigurationWithCallback(
        makeResponseCallback<std::shared_ptr<AFXRemoteConfiguration>>(
            reportHandler, std::move(responseHandler),
            [](const std::shared_ptr<AFXRemoteConfiguration>& remoteConfiguration) {
                auto response = AFXFetchRemoteConfigurationResponse::make();
                response->setRemoteConfiguration(remoteConfiguration);
                return response;
            }));
}
