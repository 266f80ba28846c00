#pragma once

#include "AFXServiceCallbacks.h"

class AFXBaseService;
class AFXServicesFactory;

// Supplies a services factory with the current environment and customer.
class AFXServicesFactoryDelegate {
public:
    virtual ~AFXServicesFactoryDelegate() = default;

    // The callback receives the environment, or null.
    virtual void
    servicesFactoryFetchCurrentEnvironment(AFXServicesFactory& factory,
                                           std::function<void(std::shared_ptr<AFXEnvironment>)> callback) = 0;
    // The callback receives the customer, or null.
    virtual void
    servicesFactoryFetchCurrentCustomer(AFXServicesFactory& factory,
                                        std::function<void(std::shared_ptr<AFXCustomer>)> callback) = 0;
    // Readies a newly made service before the factory hands it out; the
    // callback is called exactly once, when it is ready. A delegate with
    // nothing to prepare keeps this default, which hands it out at once.
    virtual void servicesFactoryPrepareManagementService(AFXServicesFactory& factory,
                                                         const std::shared_ptr<AFXBaseService>& service,
                                                         std::function<void()> callback) {
        (void)factory;
        (void)service;
        callback();
    }
};
