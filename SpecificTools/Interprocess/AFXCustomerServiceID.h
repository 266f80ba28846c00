#pragma once

#include "AFXServiceID.h"
#include "SpecificTools/Model/AFXCustomerID.h"

// The ID of a service of which one exists per customer.
class AFXCustomerServiceID : public AFXServiceID {
    AFX_DECLARE_RECORD(AFXCustomerServiceID)
    AFX_RECORD_READONLY_FIELD(std::shared_ptr<AFXCustomerID>, customerID)

public:
    static std::shared_ptr<AFXCustomerServiceID>
    makeWithServiceName(const QString& serviceName, const std::shared_ptr<AFXCustomerID>& customerID);

    bool isEqual(const platform::Object& other) const override;
    std::uint64_t hash() const override;
    QString description() const override;

private:
    AFXCustomerServiceID() = default;
};
