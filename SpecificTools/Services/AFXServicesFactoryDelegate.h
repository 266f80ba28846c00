#pragma once

#include "AFXServiceCallbacks.h"

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
};
