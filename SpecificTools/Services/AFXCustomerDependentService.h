#pragma once

#include <memory>

class AFXCustomer;

// A service that follows whoever is signed in: the factory hands it every
// customer applied.
class AFXCustomerDependentService {
public:
    virtual ~AFXCustomerDependentService() = default;

    virtual void updateCustomer(const std::shared_ptr<AFXCustomer>& customer) = 0;
};
