#include "KestrelCustomerKeeper.h"

#include "SpecificTools/Model/AFXCustomer.h"
#include "SpecificTools/Model/AFXCustomerID.h"
#include "platform/UserDefaults.h"

const QString KestrelCustomerKeeper::PreferencesDomain = QStringLiteral("com.kestrel.DesktopClient");

namespace {
const QString kCustomerKey = QStringLiteral("Customer");
const QString kTokenKey = QStringLiteral("CustomerToken");
} // namespace

KestrelCustomerKeeper::KestrelCustomerKeeper()
    : preferences_(platform::UserDefaults::makeWithSuiteName(PreferencesDomain)) {}

std::shared_ptr<AFXCustomer> KestrelCustomerKeeper::currentCustomer() const {
    const platform::Value stored = preferences_->objectForKey(kCustomerKey);
    if (stored.kind() != platform::Value::Kind::Dictionary) {
        return nullptr;
    }
    return AFXCustomer::makeWithToken(preferences_->stringForKey(kTokenKey),
                                      AFXCustomerID::makeWithUserDefaultsValue(stored), stored);
}

bool KestrelCustomerKeeper::keepCustomer(const AFXCustomer& customer) {
    // The token first: a customer is only answered with its token in place.
    return preferences_->setObject(customer.token(), kTokenKey) &&
           preferences_->setObject(platform::Value(customer.userDefaultsValue()), kCustomerKey);
}

bool KestrelCustomerKeeper::forgetCustomer() {
    return preferences_->removeObjectForKey(kCustomerKey) && preferences_->removeObjectForKey(kTokenKey);
}
