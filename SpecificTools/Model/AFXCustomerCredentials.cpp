#include "AFXCustomerCredentials.h"

#include "platform/Hash.h"
#include "platform/ValueClasses.h"
#include "platform/ValueConversion.h"

PLATFORM_DEFINE_CLASS_WITH_SETUP(
    AFXCustomerCredentials, AFXBaseModelObject,
    [] { return std::shared_ptr<AFXCustomerCredentials>(new AFXCustomerCredentials); },
    [](platform::Class& c) {
        platform::addProperty(c, QStringLiteral("customerID"), &AFXCustomerCredentials::customerID,
                              &AFXCustomerCredentials::setCustomerID);
        platform::addProperty(c, QStringLiteral("authToken"), &AFXCustomerCredentials::authToken,
                              &AFXCustomerCredentials::setAuthToken);
    })

std::shared_ptr<BRClassReflection> AFXCustomerCredentials::makeReflection() {
    auto reflection = BRReflection<AFXBaseModelObject>()->copy();
    reflection->addPropertyForSelector(QStringLiteral("customerID"), AFXCustomerID::staticClass());
    reflection->addPropertyForSelector(QStringLiteral("authToken"), platform::ValueClasses::string());
    return reflection;
}

std::shared_ptr<AFXCustomerCredentials>
AFXCustomerCredentials::makeWithCustomerID(const std::shared_ptr<AFXCustomerID>& customerID,
                                           const QString& authToken) {
    std::shared_ptr<AFXCustomerCredentials> credentials(new AFXCustomerCredentials);
    credentials->customerID_ = customerID;
    credentials->authToken_ = authToken;
    return credentials;
}

bool AFXCustomerCredentials::isEqual(const platform::Object& other) const {
    const auto* credentials = dynamic_cast<const AFXCustomerCredentials*>(&other);
    return credentials && credentials->authToken_ == authToken_ && customerID_ && credentials->customerID_ &&
           credentials->customerID_->isEqual(*customerID_);
}

std::uint64_t AFXCustomerCredentials::hash() const {
    return (customerID_ ? customerID_->hash() : 0) ^ platform::Hash::string(authToken_);
}
