#pragma once

#include "AFXUIManagementService.h"
#include "SpecificTools/Interprocess/AFXRegularManagementServer.h"

// The serving side of the user-interface management service. An operation
// that a serving process does not override answers as a service that does
// not offer it (see AFXUIManagementService); the process that owns the user
// interface subclasses it and overrides what it offers.
class AFXUIManagementServer : public AFXRegularManagementServer, public AFXUIManagementService {
public:
    using AFXUIManagementService::interprocessServiceName;
    static AFXServiceClass serviceClass();
    static std::shared_ptr<AFXUIManagementServer>
    makeWithServiceID(const std::shared_ptr<AFXServiceID>& serviceID,
                      const std::shared_ptr<AFXRegularInterprocessServerAdaptor>& interprocessAdaptor,
                      const std::shared_ptr<AFXServicesFactory>& servicesFactory,
                      const std::shared_ptr<AFXNetworkService>& networkService);

protected:
    AFXUIManagementServer(const std::shared_ptr<AFXServiceID>& serviceID,
                          const std::shared_ptr<AFXRegularInterprocessServerAdaptor>& interprocessAdaptor,
                          const std::shared_ptr<AFXServicesFactory>& servicesFactory);
};
