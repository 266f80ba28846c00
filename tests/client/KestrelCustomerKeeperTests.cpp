#include "SpecificTools/Model/AFXCustomer.h"
#include "SpecificTools/Model/AFXCustomerID.h"
#include "SpecificTools/Model/AFXEnvironmentID.h"
#include "client/KestrelCustomerKeeper.h"
#include "platform/UserDefaults.h"

#include <gtest/gtest.h>

// A customer an earlier client kept in two entries is still signed in after
// an update; the next sign-out takes both entries, token included.
TEST(KestrelCustomerKeeper, ACustomerKeptByAnEarlierClientStaysSignedInUntilTheNextSignOut) {
    AFXCustomer::Fields fields;
    fields.identifier =
        AFXCustomerID::makeWithAccountName(QStringLiteral("alice@example.test"),
                                           AFXEnvironmentID::environmentWithURLString(
                                               QStringLiteral("https://store.example.test/endpoints.json")));
    fields.backendID = QStringLiteral("cus_4711");
    fields.subscriptionExpirationDate =
        QDateTime::fromString(QStringLiteral("2027-01-31T12:00:00Z"), Qt::ISODate);
    const auto earlier = AFXCustomer::makeWithFields(fields);
    const auto preferences =
        platform::UserDefaults::makeWithSuiteName(KestrelCustomerKeeper::PreferencesDomain);
    ASSERT_TRUE(
        preferences->setObject(platform::Value(earlier->userDefaultsValue()), QStringLiteral("Customer")));
    ASSERT_TRUE(preferences->setObject(platform::Value(QStringLiteral("earlier-token")),
                                       QStringLiteral("CustomerToken")));

    KestrelCustomerKeeper keeper;
    const auto customer = keeper.currentCustomer();
    ASSERT_TRUE(customer);
    EXPECT_EQ(customer->backendID(), QStringLiteral("cus_4711"));
    EXPECT_EQ(customer->token(), QStringLiteral("earlier-token"));
    EXPECT_EQ(customer->accountName(), QStringLiteral("alice@example.test"));

    ASSERT_TRUE(keeper.forgetCustomer());
    EXPECT_FALSE(keeper.currentCustomer());
    ASSERT_TRUE(preferences->synchronize());
    EXPECT_EQ(preferences->objectForKey(QStringLiteral("CustomerToken")).kind(), platform::Value::Kind::Null);
}
