#pragma once

#include "SpecificTools/Interprocess/AFXRegularManagementServer.h"
#include "SpecificTools/Model/AFXEnvironment.h"

#include <memory>

// The serving side of the framework round trip: a management server that
// answers its one request with a fixed environment, made once so that a
// round trip measures the transport and the records, not the making of an
// environment.
class BenchEnvironmentService : public AFXRegularManagementServer {
public:
    static std::shared_ptr<BenchEnvironmentService>
    make(const QString& serviceName, const std::shared_ptr<AFXRegularInterprocessServerAdaptor>& adaptor,
         const std::shared_ptr<AFXServicesFactory>& servicesFactory);

    // Set before the service is shared and never changed: read from any thread.
    const std::shared_ptr<AFXEnvironment>& currentEnvironment() const { return environment_; }

private:
    using AFXRegularManagementServer::AFXRegularManagementServer;

    std::shared_ptr<AFXEnvironment> environment_;
};
