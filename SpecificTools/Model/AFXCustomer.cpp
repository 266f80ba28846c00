#include "AFXCustomer.h"

#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"
#include "platform/StringFormat.h"
#include "platform/ValueClasses.h"
#include "platform/ValueConversion.h"

using platform::Value;

PLATFORM_DEFINE_CLASS_WITH_SETUP(
    AFXCustomer, AFXBaseModelObject, [] { return std::shared_ptr<AFXCustomer>(new AFXCustomer); },
    [](platform::Class& c) {
        using C = AFXCustomer;
        platform::addProperty(c, QStringLiteral("identifier"), &C::identifier, &C::setIdentifier);
        platform::addProperty(c, QStringLiteral("backendID"), &C::backendID, &C::setBackendID);
        platform::addProperty(c, QStringLiteral("token"), &C::token, &C::setToken);
        platform::addProperty(c, QStringLiteral("subscriptionState"), &C::subscriptionState,
                              &C::setSubscriptionState);
        platform::addProperty(c, QStringLiteral("subscriptionExpirationDate"), &C::subscriptionExpirationDate,
                              &C::setSubscriptionExpirationDate);
        platform::addProperty(c, QStringLiteral("startNotificationDate"), &C::startNotificationDate,
                              &C::setStartNotificationDate);
        platform::addProperty(c, QStringLiteral("gracePeriodExpirationDate"), &C::gracePeriodExpirationDate,
                              &C::setGracePeriodExpirationDate);
        platform::addProperty(c, QStringLiteral("machineInfo"), &C::machineInfo, &C::setMachineInfo);
        platform::addProperty(c, QStringLiteral("hasPaymentInfo"), &C::hasPaymentInfo, &C::setHasPaymentInfo);
    })

namespace {

const QString kBackendID = QStringLiteral("backendID");
const QString kSubscriptionState = QStringLiteral("subscriptionState");
const QString kSubscriptionExpirationDate = QStringLiteral("subscriptionExpirationDate");
const QString kStartNotificationDate = QStringLiteral("startNotificationDate");
const QString kGracePeriodExpirationDate = QStringLiteral("gracePeriodExpirationDate");
const QString kMachineInfo = QStringLiteral("machineInfo");
const QString kHasPaymentInfo = QStringLiteral("hasPaymentInfo");

std::optional<QDateTime> dateIn(const Value& dictionary, const QString& key) {
    const Value value = dictionary[key];
    return value.kind() == Value::Kind::Date ? std::optional<QDateTime>(value.toDate()) : std::nullopt;
}

} // namespace

std::shared_ptr<BRClassReflection> AFXCustomer::makeReflection() {
    using platform::ValueClasses::date;
    auto reflection = BRReflection<AFXBaseModelObject>()->copy();
    reflection->addPropertyForSelector(QStringLiteral("identifier"), AFXCustomerID::staticClass());
    reflection->addPropertyForSelector(kBackendID, platform::ValueClasses::string());
    reflection->addPropertyForSelector(QStringLiteral("token"), platform::ValueClasses::string());
    reflection->addPropertyForSelector(
        kSubscriptionState, {platform::ValueClasses::string()},
        Value(static_cast<std::int64_t>(AFXCustomerSubscriptionStateUndefined)),
        std::make_shared<AFXCustomerSubscriptionStateValueTransformer>());
    reflection->addPropertyForSelector(kSubscriptionExpirationDate, date());
    reflection->addPropertyForSelector(kStartNotificationDate, date());
    reflection->addPropertyForSelector(kGracePeriodExpirationDate, date());
    reflection->addPropertyForSelector(kMachineInfo, AFXMachineInfo::staticClass());
    reflection->addPropertyForSelector(kHasPaymentInfo, platform::ValueClasses::number());
    return reflection;
}

std::shared_ptr<AFXCustomer> AFXCustomer::makeWithFields(Fields fields) {
    std::shared_ptr<AFXCustomer> customer(new AFXCustomer);
    if (!fields.machineInfo) {
        fields.machineInfo = AFXMachineInfo::make();
    }
    customer->f_ = std::move(fields);
    return customer;
}

std::shared_ptr<AFXCustomer> AFXCustomer::makeWithToken(const QString& token,
                                                        const std::shared_ptr<AFXCustomerID>& customerID,
                                                        const Value& userDefaultsValue) {
    const Value backendID = userDefaultsValue[kBackendID];
    const auto expiration = dateIn(userDefaultsValue, kSubscriptionExpirationDate);
    if (!customerID || backendID.kind() != Value::Kind::String || !expiration) {
        return nullptr;
    }
    Fields fields;
    fields.identifier = customerID;
    fields.backendID = backendID.toString();
    fields.token = token;
    fields.subscriptionState = AFXCustomerSubscriptionStateValueTransformer::stateForString(
        userDefaultsValue[kSubscriptionState].toString());
    fields.subscriptionExpirationDate = expiration;
    fields.startNotificationDate = dateIn(userDefaultsValue, kStartNotificationDate);
    fields.gracePeriodExpirationDate = dateIn(userDefaultsValue, kGracePeriodExpirationDate);
    const Value machineInfo = userDefaultsValue[kMachineInfo];
    if (machineInfo.kind() == Value::Kind::Data) {
        fields.machineInfo =
            platform::KeyedUnarchiver::unarchivedObjectOfClass<AFXMachineInfo>(machineInfo.toData());
    }
    fields.hasPaymentInfo = userDefaultsValue[kHasPaymentInfo].toBool();
    return makeWithFields(std::move(fields));
}

Value::Dictionary AFXCustomer::userDefaultsValue() const {
    Value::Dictionary stored = f_.identifier->userDefaultsValue();
    stored.insert(kBackendID, f_.backendID);
    stored.insert(kSubscriptionState,
                  AFXCustomerSubscriptionStateValueTransformer::stringForState(f_.subscriptionState));
    if (f_.subscriptionExpirationDate) {
        stored.insert(kSubscriptionExpirationDate, *f_.subscriptionExpirationDate);
    }
    stored.insert(kHasPaymentInfo, f_.hasPaymentInfo);
    if (f_.startNotificationDate) {
        stored.insert(kStartNotificationDate, *f_.startNotificationDate);
    }
    if (f_.gracePeriodExpirationDate) {
        stored.insert(kGracePeriodExpirationDate, *f_.gracePeriodExpirationDate);
    }
    if (f_.machineInfo) {
        if (const auto data = platform::KeyedArchiver::archivedDataWithRootObject(f_.machineInfo)) {
            stored.insert(kMachineInfo, *data);
        }
    }
    return stored;
}

bool AFXCustomer::isEqual(const platform::Object& other) const {
    const auto* customer = dynamic_cast<const AFXCustomer*>(&other);
    return customer && customer->f_.identifier && f_.identifier &&
           customer->f_.identifier->isEqual(*f_.identifier);
}

std::uint64_t AFXCustomer::hash() const {
    return f_.identifier ? f_.identifier->hash() : 0;
}

QString AFXCustomer::description() const {
    return platform::stringWithFormat(
        QStringLiteral("%@ (%@, %@)"), f_.identifier ? Value(f_.identifier->description()) : Value(),
        f_.backendID, AFXCustomerSubscriptionStateValueTransformer::stringForState(f_.subscriptionState));
}
