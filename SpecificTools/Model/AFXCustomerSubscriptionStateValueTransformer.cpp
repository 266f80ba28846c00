#include "AFXCustomerSubscriptionStateValueTransformer.h"

#include <array>

namespace {

const std::array<const char*, 6> kStrings = {"undefined",    "trial",   "active",
                                             "grace_period", "expired", "cancelled"};

} // namespace

QString AFXCustomerSubscriptionStateValueTransformer::stringForState(std::int64_t state) {
    if (state < 0 || state >= static_cast<std::int64_t>(kStrings.size())) {
        state = AFXCustomerSubscriptionStateUndefined;
    }
    return QString::fromLatin1(kStrings[static_cast<std::size_t>(state)]);
}

AFXCustomerSubscriptionState
AFXCustomerSubscriptionStateValueTransformer::stateForString(const QString& string) {
    for (std::size_t i = 0; i < kStrings.size(); ++i) {
        if (string == QLatin1String(kStrings[i])) {
            return static_cast<AFXCustomerSubscriptionState>(i);
        }
    }
    return AFXCustomerSubscriptionStateUndefined;
}

platform::Value
AFXCustomerSubscriptionStateValueTransformer::transformedValue(const platform::Value& value) const {
    return stringForState(value.toInteger());
}

platform::Value
AFXCustomerSubscriptionStateValueTransformer::reverseTransformedValue(const platform::Value& value) const {
    return static_cast<std::int64_t>(stateForString(value.toString()));
}
