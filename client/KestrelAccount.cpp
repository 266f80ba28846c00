#include "KestrelAccount.h"

#include "KestrelCustomerKeeper.h"
#include "KestrelEnvironmentLoader.h"
#include "KestrelSignIn.h"
#include "SpecificTools/Model/AFXCustomer.h"
#include "SpecificTools/Model/AFXSecureSerialization.h"
#include "SpecificTools/Services/SystemManagement/AFXSystemManagementService.h"
#include "platform/DistributedNotificationCenter.h"

#include <chrono>

namespace {

constexpr auto kTimeout = std::chrono::seconds(30);

QString reasonOf(const platform::Error& error) {
    const auto underlying = error.underlyingError();
    return underlying ? QStringLiteral("%1 (%2)").arg(error.localizedDescription(),
                                                      underlying->localizedDescription())
                      : error.localizedDescription();
}

// Tells the programs of the session that the customer changed (nobody, when
// null), so their services factories take the new one. The change is kept
// either way: a program that does not hear of it finds it when it asks.
void announceCustomer(const std::shared_ptr<AFXCustomer>& customer, std::FILE* errors) {
    platform::Error error(QString(), 0);
    const auto center = platform::DistributedNotificationCenter::defaultCenter(&error);
    platform::Value::Dictionary userInfo;
    if (customer) {
        userInfo.insert(AFXSystemManagementCurrentCustomerChangedNotificationSecureDataKey,
                        AFXCustomerGetSecureSerialization(customer));
    }
    // The program exits right after: the post must have left the connection.
    if (!center ||
        !center->postNotificationName(AFXSystemManagementCurrentCustomerChangedNotification, QString(),
                                      userInfo, true, &error) ||
        !center->flushPostedNotifications(std::chrono::seconds(5), &error)) {
        std::fprintf(errors, "Kestrel: running programs were not told of the change: %s\n",
                     qUtf8Printable(error.localizedDescription()));
    }
}

} // namespace

int KestrelAccount::signIn(const QString& email, const QString& password, std::FILE* output,
                           std::FILE* errors) {
    const auto environment = KestrelEnvironmentLoader::loadEnvironmentAndWait(kTimeout);
    if (!environment.hasValue()) {
        std::fprintf(errors, "Kestrel: cannot sign in: the store's endpoints are unknown: %s\n",
                     qUtf8Printable(reasonOf(*environment.error())));
        return 1;
    }
    const auto customer = KestrelSignIn::signInAndWait(**environment.value(), email, password, kTimeout);
    if (!customer.hasValue()) {
        std::fprintf(errors, "Kestrel: cannot sign in as %s: %s\n", qUtf8Printable(email),
                     qUtf8Printable(reasonOf(*customer.error())));
        return 1;
    }
    if (!KestrelCustomerKeeper().keepCustomer(**customer.value())) {
        std::fprintf(errors, "Kestrel: signed in as %s, but the client's preferences cannot be written\n",
                     qUtf8Printable(email));
        return 1;
    }
    announceCustomer(*customer.value(), errors);
    std::fprintf(output, "Kestrel: signed in as %s\n", qUtf8Printable((*customer.value())->accountName()));
    return 0;
}

int KestrelAccount::signOut(std::FILE* output, std::FILE* errors) {
    KestrelCustomerKeeper keeper;
    const auto customer = keeper.currentCustomer();
    if (!keeper.forgetCustomer()) {
        std::fprintf(errors, "Kestrel: cannot sign out: the client's preferences cannot be written\n");
        return 1;
    }
    announceCustomer(nullptr, errors);
    if (customer) {
        std::fprintf(output, "Kestrel: signed out %s\n", qUtf8Printable(customer->accountName()));
    } else {
        std::fprintf(output, "Kestrel: nobody was signed in\n");
    }
    return 0;
}
