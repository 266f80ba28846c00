#include "AFXCustomerID.h"

#include "platform/Hash.h"
#include "platform/StringFormat.h"
#include "platform/ValueClasses.h"
#include "platform/ValueConversion.h"

PLATFORM_DEFINE_CLASS_WITH_SETUP(
    AFXCustomerID, AFXBaseModelObject, [] { return std::shared_ptr<AFXCustomerID>(new AFXCustomerID); },
    [](platform::Class& c) {
        platform::addProperty(c, QStringLiteral("accountName"), &AFXCustomerID::accountName,
                              &AFXCustomerID::setAccountName);
        platform::addProperty(c, QStringLiteral("environmentID"), &AFXCustomerID::environmentID,
                              &AFXCustomerID::setEnvironmentID);
    })

namespace {
const QString kAccountNameKey = QStringLiteral("accountName");
const QString kEnvironmentKey = QStringLiteral("environment");
} // namespace

std::shared_ptr<BRClassReflection> AFXCustomerID::makeReflection() {
    auto reflection = BRReflection<AFXBaseModelObject>()->copy();
    reflection->addPropertyForSelector(kAccountNameKey, platform::ValueClasses::string());
    reflection->addPropertyForSelector(QStringLiteral("environmentID"), AFXEnvironmentID::staticClass());
    return reflection;
}

std::shared_ptr<AFXCustomerID>
AFXCustomerID::makeWithAccountName(const QString& accountName,
                                   const std::shared_ptr<AFXEnvironmentID>& environmentID) {
    std::shared_ptr<AFXCustomerID> identifier(new AFXCustomerID);
    identifier->accountName_ = accountName;
    identifier->environmentID_ = environmentID ? environmentID : AFXEnvironmentID::defaultEnvironmentID();
    return identifier;
}

std::shared_ptr<AFXCustomerID> AFXCustomerID::makeWithUserDefaultsValue(const platform::Value& value) {
    const platform::Value accountName = value[kAccountNameKey];
    const platform::Value environment = value[kEnvironmentKey];
    if (accountName.kind() != platform::Value::Kind::String ||
        environment.kind() != platform::Value::Kind::String) {
        return nullptr;
    }
    return makeWithAccountName(accountName.toString(),
                               AFXEnvironmentID::environmentWithUserDefaultsValue(environment.toString()));
}

platform::Value::Dictionary AFXCustomerID::userDefaultsValue() const {
    return {{kAccountNameKey, accountName_}, {kEnvironmentKey, environmentID_->userDefaultsValue()}};
}

QString AFXCustomerID::userDefaultsKey() const {
    return platform::stringWithFormat(QStringLiteral("%@ - %@"), accountName_,
                                      environmentID_->userDefaultsValue());
}

bool AFXCustomerID::isEqual(const platform::Object& other) const {
    const auto* identifier = dynamic_cast<const AFXCustomerID*>(&other);
    return identifier && identifier->accountName_ == accountName_ &&
           identifier->environmentID_->isEqual(*environmentID_);
}

std::uint64_t AFXCustomerID::hash() const {
    return platform::Hash::string(accountName_) ^ environmentID_->hash();
}

QString AFXCustomerID::description() const {
    return platform::stringWithFormat(QStringLiteral("Customer %@ at %@"), accountName_,
                                      environmentID_->description());
}
