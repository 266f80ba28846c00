#pragma once

#include "SpecificTools/Interprocess/AFXRegularManagementServer.h"

// A service of another kind under the service's name: the requests of the
// service are not its to perform.
class ForeignTestServer final : public AFXRegularManagementServer {
public:
    ForeignTestServer(const std::shared_ptr<AFXServiceID>& serviceID,
                      const std::shared_ptr<AFXRegularInterprocessServerAdaptor>& adaptor,
                      const std::shared_ptr<AFXServicesFactory>& factory)
        : AFXRegularManagementServer(serviceID, adaptor, factory, serviceID->serviceName(),
                                     serviceID->objectClass()) {}
};
