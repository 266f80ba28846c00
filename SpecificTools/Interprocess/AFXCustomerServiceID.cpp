#include "AFXCustomerServiceID.h"

#include "platform/StringFormat.h"

AFX_DEFINE_RECORD(AFXCustomerServiceID, AFXServiceID, AFX_FIELD(customerID, {AFXCustomerID::staticClass()}))

std::shared_ptr<AFXCustomerServiceID>
AFXCustomerServiceID::makeWithServiceName(const QString& serviceName,
                                          const std::shared_ptr<AFXCustomerID>& customerID) {
    std::shared_ptr<AFXCustomerServiceID> serviceID(new AFXCustomerServiceID);
    serviceID->setServiceName(serviceName);
    serviceID->customerID_ = customerID;
    return serviceID;
}

bool AFXCustomerServiceID::isEqual(const platform::Object& other) const {
    const auto* serviceID = dynamic_cast<const AFXCustomerServiceID*>(&other);
    if (!serviceID || !isEqualToServiceID(*serviceID)) {
        return false;
    }
    if (!customerID_ || !serviceID->customerID_) {
        return !customerID_ && !serviceID->customerID_;
    }
    return customerID_->isEqual(*serviceID->customerID_);
}

std::uint64_t AFXCustomerServiceID::hash() const {
    return AFXServiceID::hash() ^ (customerID_ ? customerID_->hash() : 0);
}

QString AFXCustomerServiceID::description() const {
    return platform::stringWithFormat(QStringLiteral("Customer(%@) Service ID"),
                                      platform::Value(customerID_));
}
