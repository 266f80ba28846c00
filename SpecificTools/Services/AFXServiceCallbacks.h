#pragma once

#include "support/BRValueOrError.h"

#include <QSet>

#include <functional>
#include <memory>
#include <optional>

class AFXAppInstance;
class AFXAppWorkflow;
class AFXAppsManagementService;
class AFXCodedApp;
class AFXCodedResource;
class AFXCustomer;
class AFXEnvironment;
class AFXExecutableInfo;
class AFXSystemManagementService;
class AFXRecommendationsService;
class AFXRemoteConfigurationService;
class AFXUIManagementService;

// The result callbacks of the management services. Every result arrives on
// a queue of the service's choosing, never by surprise on the main queue.
using AFXSystemManagementServiceCallback =
    std::function<void(const BRValueOrError<std::shared_ptr<AFXSystemManagementService>>&)>;
using AFXAppsManagementServiceCallback =
    std::function<void(const BRValueOrError<std::shared_ptr<AFXAppsManagementService>>&)>;
using AFXUIManagementServiceCallback =
    std::function<void(const BRValueOrError<std::shared_ptr<AFXUIManagementService>>&)>;
using AFXRemoteConfigurationServiceCallback =
    std::function<void(const BRValueOrError<std::shared_ptr<AFXRemoteConfigurationService>>&)>;
using AFXRecommendationsServiceCallback =
    std::function<void(const BRValueOrError<std::shared_ptr<AFXRecommendationsService>>&)>;
// An error when nobody is signed in or the customer could not be fetched.
using AFXCustomerCallback = std::function<void(const BRValueOrError<std::shared_ptr<AFXCustomer>>&)>;
using AFXEnvironmentCallback = std::function<void(const BRValueOrError<std::shared_ptr<AFXEnvironment>>&)>;
using AFXExecutableInfoCallback =
    std::function<void(const BRValueOrError<std::shared_ptr<AFXExecutableInfo>>&)>;
using AFXAppCallback = std::function<void(const BRValueOrError<std::shared_ptr<AFXCodedApp>>&)>;
using AFXAppWorkflowCallback = std::function<void(const BRValueOrError<std::shared_ptr<AFXAppWorkflow>>&)>;
using AFXAppInstanceCallback = std::function<void(const BRValueOrError<std::shared_ptr<AFXAppInstance>>&)>;
using AFXAppInstancesCallback =
    std::function<void(const BRValueOrError<QList<std::shared_ptr<AFXAppInstance>>>&)>;
using AFXResourcesCallback =
    std::function<void(const BRValueOrError<QList<std::shared_ptr<AFXCodedResource>>>&)>;
// Nothing on success.
using AFXErrorCallback = std::function<void(const std::optional<platform::Error>&)>;
