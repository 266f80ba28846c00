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
// Earlier clients kept the two in entries of their own.
const QString kEarlierCustomerKey = QStringLiteral("Customer");
const QString kEarlierTokenKey = QStringLiteral("CustomerToken");

std::shared_ptr<AFXCustomer> customerFrom(const platform::Value& stored, const QString& token) {
    if (stored.kind() != platform::Value::Kind::Dictionary) {
        return nullptr;
    }
    return AFXCustomer::makeWithToken(token, AFXCustomerID::makeWithUserDefaultsValue(stored), stored);
}
} // namespace

KestrelCustomerKeeper::KestrelCustomerKeeper()
    : preferences_(platform::UserDefaults::makeWithSuiteName(PreferencesDomain)) {}

std::shared_ptr<AFXCustomer> KestrelCustomerKeeper::currentCustomer() const {
    const platform::Value signedIn = preferences_->objectForKey(kSignedInKey);
    if (signedIn.kind() == platform::Value::Kind::Dictionary) {
        return customerFrom(signedIn[kCustomerKey], signedIn[kTokenKey].toString());
    }
    // Signed in by an earlier client: still signed in after an update.
    return customerFrom(preferences_->objectForKey(kEarlierCustomerKey),
                        preferences_->objectForKey(kEarlierTokenKey).toString());
}

bool KestrelCustomerKeeper::keepCustomer(const AFXCustomer& customer) {
    // Written first, so that a failed write leaves the previous customer
    // whole, whichever form it was kept in.
    return preferences_->setObject(platform::Value(platform::Value::Dictionary{
                                       {kCustomerKey, platform::Value(customer.userDefaultsValue())},
                                       {kTokenKey, platform::Value(customer.token())},
                                   }),
                                   kSignedInKey) &&
           forgetEarlierForm();
}

bool KestrelCustomerKeeper::forgetCustomer() {
    const bool forgotten = preferences_->removeObjectForKey(kSignedInKey);
    return forgetEarlierForm() && forgotten;
}

bool KestrelCustomerKeeper::forgetEarlierForm() {
    // A sign-in or sign-out leaves no token of an earlier client behind.
    const bool customerRemoved = preferences_->removeObjectForKey(kEarlierCustomerKey);
    return preferences_->removeObjectForKey(kEarlierTokenKey) && customerRemoved;
}
