#pragma once

#include "AFXServiceID.h"

// The ID of a service of which one exists per process, whatever the
// environment or customer.
class AFXGlobalServiceID : public AFXServiceID {
    AFX_DECLARE_RECORD(AFXGlobalServiceID)

public:
    static std::shared_ptr<AFXGlobalServiceID> makeWithServiceName(const QString& serviceName);

    bool isEqual(const platform::Object& other) const override;
    QString description() const override { return QStringLiteral("Global Service ID"); }

private:
    AFXGlobalServiceID() = default;
};
