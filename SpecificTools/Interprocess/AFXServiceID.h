#pragma once

#include "AFXRecordField.h"
#include "SpecificTools/Model/AFXBaseModelObject.h"

#include <QString>

#include <memory>

// Identifies one service object: the mach service name it is reached under
// and, in the subclasses, the environment or customer it serves. Service
// IDs are keys of the services factory's cache, so equality and hash are
// exact: an ID equals only an ID of the same kind with equal parts.
class AFXServiceID : public AFXBaseModelObject {
    AFX_DECLARE_RECORD(AFXServiceID)
    AFX_RECORD_READONLY_FIELD(QString, serviceName)

public:
    static std::shared_ptr<AFXServiceID> makeWithServiceName(const QString& serviceName);

    bool isEqual(const platform::Object& other) const override;
    std::uint64_t hash() const override;

protected:
    AFXServiceID() = default;
    // The base test of equality, for subclasses that add their own parts.
    bool isEqualToServiceID(const AFXServiceID& other) const;
    void setServiceName(const QString& serviceName) { serviceName_ = serviceName; }
};
