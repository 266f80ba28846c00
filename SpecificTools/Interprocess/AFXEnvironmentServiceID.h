#pragma once

#include "AFXServiceID.h"
#include "SpecificTools/Model/AFXEnvironmentID.h"

// The ID of a service of which one exists per environment.
class AFXEnvironmentServiceID : public AFXServiceID {
    AFX_DECLARE_RECORD(AFXEnvironmentServiceID)
    AFX_RECORD_READONLY_FIELD(std::shared_ptr<AFXEnvironmentID>, environmentID)

public:
    static std::shared_ptr<AFXEnvironmentServiceID>
    makeWithServiceName(const QString& serviceName, const std::shared_ptr<AFXEnvironmentID>& environmentID);

    bool isEqual(const platform::Object& other) const override;
    std::uint64_t hash() const override;
    QString description() const override;

private:
    AFXEnvironmentServiceID() = default;
};
