#pragma once

#include "AFXServiceCallbacks.h"
#include "platform/Object.h"

#include <cstdint>
#include <memory>

// The desktop client's system management service: customers, environments
// and the client's own life, as this process reaches them.
class AFXSystemManagementService {
public:
    virtual ~AFXSystemManagementService() = default;

    // `updated` asks the client to refresh the customer from the store
    // first; `runningApplication` names the application asking, if any.
    virtual void fetchCurrentCustomerUpdated(bool updated, bool canDestroyInvalidCustomer,
                                             const std::shared_ptr<platform::Object>& runningApplication,
                                             std::int64_t presentationStyle,
                                             AFXCustomerCallback callback) = 0;
    virtual void fetchCurrentEnvironmentUpdated(bool updated, AFXEnvironmentCallback callback) = 0;
    // How to run the client's uninstaller of the given type.
    virtual void fetchUninstallerExecutableInfoWithType(std::int64_t uninstallType,
                                                        AFXExecutableInfoCallback callback) = 0;
};
