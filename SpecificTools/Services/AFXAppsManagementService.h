#pragma once

#include "AFXServiceCallbacks.h"

#include <cstdint>
#include <memory>

// The desktop client's apps management service of one environment: the
// catalogue, app installation and the resources apps need.
class AFXAppsManagementService {
public:
    virtual ~AFXAppsManagementService() = default;

    virtual void fetchAppWithID(std::int64_t appID, AFXAppCallback callback) = 0;
    virtual void fetchAppWorkflowForApp(const std::shared_ptr<AFXCodedApp>& app,
                                        AFXAppWorkflowCallback callback) = 0;
    // Installation progress is not reported here: it follows through the
    // app-workflow notifications.
    virtual void installVendorApp(const std::shared_ptr<AFXCodedApp>& app, bool shouldLaunch,
                                  AFXAppInstanceCallback callback) = 0;
    virtual void stopInstallVendorApp(const std::shared_ptr<AFXCodedApp>& app, AFXErrorCallback callback) = 0;
    // The report handler receives the share done, 0 to 1.
    virtual void prepareResourcesForApp(const std::shared_ptr<AFXCodedApp>& app, std::uint64_t priority,
                                        std::function<void(double)> reportHandler,
                                        AFXResourcesCallback callback) = 0;
    virtual void fetchAppInstancesWithAppID(std::int64_t appID, AFXAppInstancesCallback callback) = 0;
};
