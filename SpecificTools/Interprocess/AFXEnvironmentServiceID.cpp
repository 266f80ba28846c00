#include "AFXEnvironmentServiceID.h"

#include "platform/StringFormat.h"

AFX_DEFINE_RECORD(AFXEnvironmentServiceID, AFXServiceID,
                  AFX_FIELD(environmentID, {AFXEnvironmentID::staticClass()}))

std::shared_ptr<AFXEnvironmentServiceID>
AFXEnvironmentServiceID::makeWithServiceName(const QString& serviceName,
                                             const std::shared_ptr<AFXEnvironmentID>& environmentID) {
    std::shared_ptr<AFXEnvironmentServiceID> serviceID(new AFXEnvironmentServiceID);
    serviceID->setServiceName(serviceName);
    serviceID->environmentID_ = environmentID;
    return serviceID;
}

bool AFXEnvironmentServiceID::isEqual(const platform::Object& other) const {
    const auto* serviceID = dynamic_cast<const AFXEnvironmentServiceID*>(&other);
    if (!serviceID || !isEqualToServiceID(*serviceID)) {
        return false;
    }
    if (!environmentID_ || !serviceID->environmentID_) {
        return !environmentID_ && !serviceID->environmentID_;
    }
    return environmentID_->isEqual(*serviceID->environmentID_);
}

std::uint64_t AFXEnvironmentServiceID::hash() const {
    return AFXServiceID::hash() ^ (environmentID_ ? environmentID_->hash() : 0);
}

QString AFXEnvironmentServiceID::description() const {
    return platform::stringWithFormat(QStringLiteral("Environment(%@) Service ID"),
                                      platform::Value(environmentID_));
}
