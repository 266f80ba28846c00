#pragma once

#include "AFXAppsManagementService.h"
#include "SpecificTools/Interprocess/AFXRegularManagementServer.h"
#include "SpecificTools/Services/AFXEnvironmentBasedService.h"

#include <memory>

// The serving end of the apps management service of one environment (an
// environment service ID). Every operation answers the missing-service
// error until a serving process's subclass overrides it; requests reach
// the operations through their own dispatch. The class takes the
// environment-based role: the factory makes one for each environment it
// applies.
class AFXAppsManagementServer : public AFXRegularManagementServer,
                                public AFXAppsManagementService,
                                public AFXEnvironmentBasedService {
public:
    static const AFXServiceClass& serviceClass();
    static std::shared_ptr<AFXAppsManagementServer>
    makeWithServiceID(const std::shared_ptr<AFXServiceID>& serviceID,
                      const std::shared_ptr<AFXRegularInterprocessServerAdaptor>& interprocessAdaptor,
                      const std::shared_ptr<AFXServicesFactory>& servicesFactory,
                      const std::shared_ptr<AFXNetworkService>& networkService);

    // AFXEnvironmentBasedService: the environment of the service ID. A new
    // environment changes nothing here; serving subclasses may follow it.
    std::shared_ptr<AFXEnvironmentID> environmentID() const override;
    void updateEnvironment(const std::shared_ptr<AFXEnvironment>&) override {}

protected:
    AFXAppsManagementServer(const std::shared_ptr<AFXServiceID>& serviceID,
                            const std::shared_ptr<AFXRegularInterprocessServerAdaptor>& interprocessAdaptor,
                            const std::shared_ptr<AFXServicesFactory>& servicesFactory);
};
