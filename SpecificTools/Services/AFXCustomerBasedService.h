#pragma once

#include <memory>

class AFXCustomer;
class AFXCustomerID;

// A service of one customer (its class gives
// makeServiceIDToPokeWithNewCustomer): the factory tells it of each customer
// applied, or of none when another one is current.
class AFXCustomerBasedService {
public:
    virtual ~AFXCustomerBasedService() = default;

    virtual std::shared_ptr<AFXCustomerID> customerID() const = 0;
    virtual void updateCustomer(const std::shared_ptr<AFXCustomer>& customer) = 0;
};
