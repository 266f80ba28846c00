#include "KestrelCustomerKeeper.h"

#include "SpecificTools/Model/AFXCustomer.h"
#include "SpecificTools/Model/AFXCustomerID.h"
#include "platform/UserDefaults.h"

const QString KestrelCustomerKeeper::PreferencesDomain = QStringLiteral("com.kestrel.DesktopClient");

namespace {
// One entry holding both, so that a reader never pairs a customer with
// another one's token, and a failed write leaves the previous pair whole.
const QString kSignedInKey = QStringLiteral("SignedInCustomer");
const QString kCustomerKey = QStringLiteral("Customer");
const QString kTokenKey = QStringLiteral("Token");
} // namespace

KestrelCustomerKeeper::KestrelCustomerKeeper()
    : preferences_(platform::UserDefaults::makeWithSuiteName(PreferencesDomain)) {}

std::shared_ptr<AFXCustomer> KestrelCustomerKeeper::currentCustomer() const {
    const platform::Value signedIn = preferences_->objectForKey(kSignedInKey);
    if (signedIn.kind() != platform::Value::Kind::Dictionary) {
        return nullptr;
    }
    const platform::Value stored = signedIn[kCustomerKey];
    if (stored.kind() != platform::Value::Kind::Dictionary) {
        return nullptr;
    }
    return AFXCustomer::makeWithToken(signedIn[kTokenKey].toString(),
                                      AFXCustomerID::makeWithUserDefaultsValue(stored), stored);
}

bool KestrelCustomerKeeper::keepCustomer(const AFXCustomer& customer) {
    forgetEarlierForm();
    return preferences_->setObject(platform::Value(platform::Value::Dictionary{
                                       {kCustomerKey, platform::Value(customer.userDefaultsValue())},
                                       {kTokenKey, platform::Value(customer.token())},
                                   }),
                                   kSignedInKey);
}

bool KestrelCustomerKeeper::forgetCustomer() {
    forgetEarlierForm();
    return preferences_->removeObjectForKey(kSignedInKey);
}

void KestrelCustomerKeeper::forgetEarlierForm() {
    // Earlier clients kept the customer and its token apart; a sign-in or
    // sign-out leaves no token of theirs behind.
    preferences_->removeObjectForKey(QStringLiteral("Customer"));
    preferences_->removeObjectForKey(QStringLiteral("CustomerToken"));
}
