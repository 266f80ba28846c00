#include "AFXGlobalServiceID.h"

AFX_DEFINE_RECORD(AFXGlobalServiceID, AFXServiceID)

std::shared_ptr<AFXGlobalServiceID> AFXGlobalServiceID::makeWithServiceName(const QString& serviceName) {
    std::shared_ptr<AFXGlobalServiceID> serviceID(new AFXGlobalServiceID);
    serviceID->setServiceName(serviceName);
    return serviceID;
}

bool AFXGlobalServiceID::isEqual(const platform::Object& other) const {
    const auto* serviceID = dynamic_cast<const AFXGlobalServiceID*>(&other);
    return serviceID && isEqualToServiceID(*serviceID);
}
