#pragma once

#include "AFXRemoteConfigurationService.h"
#include "SpecificTools/Interprocess/AFXRegularManagementServer.h"
#include "SpecificTools/Services/AFXEnvironmentBasedService.h"

// The serving side of the remote configuration service of one environment.
// Without a subclass that overrides it, the fetch answers that the service
// is missing (see AFXRemoteConfigurationService).
class AFXRemoteConfigurationServer : public AFXRegularManagementServer,
                                     public AFXRemoteConfigurationService,
                                     public AFXEnvironmentBasedService {
public:
    using AFXRemoteConfigurationService::interprocessServiceName;
    static AFXServiceClass serviceClass();
    static std::shared_ptr<AFXRemoteConfigurationServer>
    makeWithServiceID(const std::shared_ptr<AFXServiceID>& serviceID,
                      const std::shared_ptr<AFXRegularInterprocessServerAdaptor>& interprocessAdaptor,
                      const std::shared_ptr<AFXServicesFactory>& servicesFactory,
                      const std::shared_ptr<AFXNetworkService>& networkService);

    // AFXEnvironmentBasedService; subclasses that follow the environment
    // override the update.
    std::shared_ptr<AFXEnvironmentID> environmentID() const override;
    void updateEnvironment(const std::shared_ptr<AFXEnvironment>&) override {}

protected:
    AFXRemoteConfigurationServer(
        const std::shared_ptr<AFXServiceID>& serviceID,
        const std::shared_ptr<AFXRegularInterprocessServerAdaptor>& interprocessAdaptor,
        const std::shared_ptr<AFXServicesFactory>& servicesFactory);
};
