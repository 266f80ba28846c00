#include "AFXServiceID.h"

#include "platform/ValueClasses.h"

AFX_DEFINE_RECORD(AFXServiceID, AFXBaseModelObject,
                  AFX_FIELD(serviceName, {platform::ValueClasses::string()}))

std::shared_ptr<AFXServiceID> AFXServiceID::makeWithServiceName(const QString& serviceName) {
    std::shared_ptr<AFXServiceID> serviceID(new AFXServiceID);
    serviceID->serviceName_ = serviceName;
    return serviceID;
}

bool AFXServiceID::isEqualToServiceID(const AFXServiceID& other) const {
    return serviceName_.isNull() ? other.serviceName_.isNull() : serviceName_ == other.serviceName_;
}

bool AFXServiceID::isEqual(const platform::Object& other) const {
    const auto* serviceID = dynamic_cast<const AFXServiceID*>(&other);
    return serviceID && isEqualToServiceID(*serviceID);
}

std::uint64_t AFXServiceID::hash() const {
    return (serviceName_.isNull() ? platform::Value() : platform::Value(serviceName_)).hash();
}
