#pragma once

#include "AFXRemoteConfigurationService.h"
#include "SpecificTools/Interprocess/AFXRegularManagementClient.h"
#include "SpecificTools/Services/AFXEnvironmentBasedService.h"

// The proxy of the desktop client's remote configuration service of one
// environment.
class AFXRemoteConfigurationClient : public AFXRegularManagementClient,
                                     public AFXRemoteConfigurationService,
                                     public AFXEnvironmentBasedService {
public:
    using AFXRemoteConfigurationService::interprocessServiceName;
    static AFXServiceClass serviceClass();
    static std::shared_ptr<AFXRemoteConfigurationClient>
    makeWithServiceID(const std::shared_ptr<AFXServiceID>& serviceID,
                      const std::shared_ptr<AFXServicesFactory>& servicesFactory,
                      const std::shared_ptr<AFXRegularInterprocessClientAdaptor>& interprocessAdaptor);

    void fetchRemoteConfigurationWithCallback(AFXRemoteConfigurationCallback callback) override;

    // AFXEnvironmentBasedService: the client keeps nothing of the
    // environment but its ID; the desktop client serves the configuration.
    std::shared_ptr<AFXEnvironmentID> environmentID() const override;
    void updateEnvironment(const std::shared_ptr<AFXEnvironment>&) override {}

private:
    using AFXRegularManagementClient::AFXRegularManagementClient;
};
