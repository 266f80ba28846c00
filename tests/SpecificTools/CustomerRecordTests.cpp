#include "SpecificTools/Model/AFXCustomer.h"
#include "SpecificTools/Model/AFXCustomerCredentials.h"
#include "SpecificTools/Model/AFXCustomerIdentity.h"
#include "SpecificTools/Model/AFXEndpointsManifest.h"
#include "SpecificTools/Model/AFXEnvironment.h"
#include "SpecificTools/Model/AFXSecureSerialization.h"
#include "platform/Hash.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"
#include "support/BRSystemInfo.h"
#include "testing/ArchiveRoundTrip.h"

#include <gtest/gtest.h>

using platform::Value;

namespace {

const QString kStagingURL = QStringLiteral("https://staging.example.test/endpoints.json");

using testing_support::archiveRoundTrip;

std::shared_ptr<AFXCustomerID> alice() {
    return AFXCustomerID::makeWithAccountName(QStringLiteral("alice@example.test"),
                                              AFXEnvironmentID::environmentWithURLString(kStagingURL));
}

QDateTime at(const char* iso) {
    return QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODateWithMs);
}

std::shared_ptr<AFXCustomer> makeCustomer(std::shared_ptr<AFXMachineInfo> machineInfo = nullptr) {
    AFXCustomer::Fields fields;
    fields.identifier = alice();
    fields.backendID = QStringLiteral("cus_4711");
    fields.token = QStringLiteral("secret-token");
    fields.subscriptionState = AFXCustomerSubscriptionStateGracePeriod;
    fields.subscriptionExpirationDate = at("2027-01-31T12:00:00.250Z");
    fields.startNotificationDate = at("2027-01-24T12:00:00Z");
    fields.gracePeriodExpirationDate = at("2027-02-07T12:00:00Z");
    fields.machineInfo = std::move(machineInfo);
    fields.hasPaymentInfo = true;
    return AFXCustomer::makeWithFields(std::move(fields));
}

void expectSameFields(const AFXCustomer& a, const AFXCustomer& b) {
    EXPECT_TRUE(a.identifier()->isEqual(*b.identifier()));
    EXPECT_EQ(a.backendID(), b.backendID());
    EXPECT_EQ(a.subscriptionState(), b.subscriptionState());
    EXPECT_EQ(a.subscriptionExpirationDate(), b.subscriptionExpirationDate());
    EXPECT_EQ(a.startNotificationDate(), b.startNotificationDate());
    EXPECT_EQ(a.gracePeriodExpirationDate(), b.gracePeriodExpirationDate());
    ASSERT_TRUE(a.machineInfo() && b.machineInfo());
    EXPECT_TRUE(a.machineInfo()->isEqual(*b.machineInfo()));
    EXPECT_EQ(a.hasPaymentInfo(), b.hasPaymentInfo());
}

TEST(CustomerID, StoredFormKeyEqualityAndArchive) {
    const auto id = alice();
    const Value::Dictionary stored = id->userDefaultsValue();
    EXPECT_EQ(stored.value(QStringLiteral("accountName")), Value(QStringLiteral("alice@example.test")));
    EXPECT_EQ(stored.value(QStringLiteral("environment")), Value(kStagingURL));
    EXPECT_EQ(id->userDefaultsKey(), QStringLiteral("alice@example.test - ") + kStagingURL);
    EXPECT_EQ(id->description(),
              QStringLiteral("Customer alice@example.test at Manifest URL ") + kStagingURL);

    const auto back = AFXCustomerID::makeWithUserDefaultsValue(stored);
    ASSERT_TRUE(back);
    EXPECT_TRUE(back->isEqual(*id));
    EXPECT_EQ(back->hash(), id->hash());
    const auto atDefault = AFXCustomerID::makeWithUserDefaultsValue(
        Value::Dictionary{{QStringLiteral("accountName"), QStringLiteral("alice@example.test")},
                          {QStringLiteral("environment"), QStringLiteral("default")}});
    ASSERT_TRUE(atDefault);
    EXPECT_TRUE(atDefault->environmentID()->isDefault());
    EXPECT_FALSE(atDefault->isEqual(*id));
    EXPECT_FALSE(
        AFXCustomerID::makeWithAccountName(QStringLiteral("bob"), id->environmentID())->isEqual(*id));

    EXPECT_FALSE(AFXCustomerID::makeWithUserDefaultsValue(
        Value::Dictionary{{QStringLiteral("accountName"), 7}, {QStringLiteral("environment"), "default"}}));
    EXPECT_FALSE(
        AFXCustomerID::makeWithUserDefaultsValue(Value::Dictionary{{QStringLiteral("accountName"), "a"}}));
    EXPECT_FALSE(AFXCustomerID::makeWithUserDefaultsValue(Value(QStringLiteral("alice"))));

    const auto archived = archiveRoundTrip(id);
    ASSERT_TRUE(archived);
    EXPECT_TRUE(archived->isEqual(*id));
    EXPECT_EQ(archived->environmentID()->userDefaultsValue(), kStagingURL);
}

TEST(CustomerSubscriptionState, TransformerMapsTheVocabularyAndUnknownStringsToUndefined) {
    const AFXCustomerSubscriptionStateValueTransformer transformer;
    const char* strings[] = {"undefined", "trial", "active", "grace_period", "expired", "cancelled"};
    for (std::int64_t state = 0; state < 6; ++state) {
        EXPECT_EQ(transformer.transformedValue(Value(state)), Value(strings[state]));
        EXPECT_EQ(transformer.reverseTransformedValue(Value(strings[state])), Value(state));
    }
    EXPECT_EQ(transformer.reverseTransformedValue(Value("paused")), Value(0));
    EXPECT_EQ(transformer.reverseTransformedValue(Value("ACTIVE")), Value(0));
    EXPECT_EQ(transformer.reverseTransformedValue(Value()), Value(0));
    EXPECT_EQ(transformer.transformedValue(Value(42)), Value("undefined"));
}

TEST(MachineInfo, HashesThisMacAndTellsOthersApart) {
    const auto current = AFXMachineInfo::make();
    EXPECT_EQ(current->hardwareUUIDHash(), platform::Hash::string(BRSystemInfo::hardwareUUID()));
    EXPECT_EQ(current->MACAddressHash(), platform::Hash::string(BRSystemInfo::MACAddress()));
    EXPECT_TRUE(AFXMachineInfo::isCurrentMachine(current));
    EXPECT_FALSE(AFXMachineInfo::isCurrentMachine(nullptr));
    const auto other =
        AFXMachineInfo::makeWithHashes(current->hardwareUUIDHash(), current->MACAddressHash() + 1);
    EXPECT_FALSE(AFXMachineInfo::isCurrentMachine(other));
    EXPECT_EQ(current->hash(), current->hardwareUUIDHash() ^ current->MACAddressHash());

    // Hashes use all 64 bits; they survive archiving.
    const auto wide = AFXMachineInfo::makeWithHashes(0xfedcba9876543210ULL, 0x8000000000000001ULL);
    const auto back = archiveRoundTrip(wide);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->hardwareUUIDHash(), 0xfedcba9876543210ULL);
    EXPECT_EQ(back->MACAddressHash(), 0x8000000000000001ULL);
    EXPECT_TRUE(AFXMachineInfo::isCurrentMachine(archiveRoundTrip(current)));
}

TEST(Customer, ArchivesEveryField) {
    const auto customer = makeCustomer();
    EXPECT_EQ(customer->accountName(), QStringLiteral("alice@example.test"));
    EXPECT_FALSE(customer->environmentID()->isDefault());
    const auto back = archiveRoundTrip(customer);
    ASSERT_TRUE(back);
    expectSameFields(*back, *customer);
    EXPECT_EQ(back->token(), QStringLiteral("secret-token"));
    EXPECT_TRUE(back->isEqual(*customer));
    EXPECT_EQ(customer->copy(), customer);

    // Absent dates stay absent; a state the transformer writes as
    // "undefined" reads back as 0.
    AFXCustomer::Fields fields;
    fields.identifier = alice();
    const auto bare = archiveRoundTrip(AFXCustomer::makeWithFields(fields));
    ASSERT_TRUE(bare);
    EXPECT_FALSE(bare->subscriptionExpirationDate());
    EXPECT_FALSE(bare->startNotificationDate());
    EXPECT_EQ(bare->subscriptionState(), AFXCustomerSubscriptionStateUndefined);
    EXPECT_TRUE(AFXMachineInfo::isCurrentMachine(bare->machineInfo()));
}

TEST(Customer, StoredFormLeavesTheTokenOutAndRebuildsWithIt) {
    const auto other = AFXMachineInfo::makeWithHashes(1, 2);
    const auto customer = makeCustomer(other);
    const Value::Dictionary stored = customer->userDefaultsValue();
    EXPECT_FALSE(stored.contains(QStringLiteral("token")));
    EXPECT_EQ(stored.value(QStringLiteral("subscriptionState")), Value("grace_period"));
    EXPECT_EQ(stored.value(QStringLiteral("hasPaymentInfo")).kind(), Value::Kind::Bool);
    EXPECT_EQ(stored.value(QStringLiteral("accountName")), Value("alice@example.test"));
    EXPECT_EQ(stored.value(QStringLiteral("machineInfo")).kind(), Value::Kind::Data);

    const auto rebuilt = AFXCustomer::makeWithToken(QStringLiteral("kept apart"), alice(), stored);
    ASSERT_TRUE(rebuilt);
    expectSameFields(*rebuilt, *customer);
    EXPECT_EQ(rebuilt->token(), QStringLiteral("kept apart"));
    EXPECT_FALSE(AFXMachineInfo::isCurrentMachine(rebuilt->machineInfo()));

    // Without the required fields there is no customer.
    for (const char* key : {"subscriptionExpirationDate", "backendID"}) {
        Value::Dictionary lacking = stored;
        lacking.remove(QString::fromLatin1(key));
        EXPECT_FALSE(AFXCustomer::makeWithToken(QString(), alice(), lacking)) << key;
    }
    Value::Dictionary wrongType = stored;
    wrongType.insert(QStringLiteral("subscriptionExpirationDate"), QStringLiteral("2027-01-31"));
    EXPECT_FALSE(AFXCustomer::makeWithToken(QString(), alice(), wrongType));

    // A missing or unreadable machine info is this Mac's; an unknown state is 0.
    for (const Value& machineInfo : {Value(), Value(QByteArray("not an archive"))}) {
        Value::Dictionary changed = stored;
        changed.remove(QStringLiteral("machineInfo"));
        changed.remove(QStringLiteral("startNotificationDate"));
        if (!machineInfo.isNull()) {
            changed.insert(QStringLiteral("machineInfo"), machineInfo);
        }
        changed.insert(QStringLiteral("subscriptionState"), QStringLiteral("paused"));
        const auto here = AFXCustomer::makeWithToken(QString(), alice(), changed);
        ASSERT_TRUE(here);
        EXPECT_TRUE(AFXMachineInfo::isCurrentMachine(here->machineInfo()));
        EXPECT_FALSE(here->startNotificationDate());
        EXPECT_EQ(here->subscriptionState(), AFXCustomerSubscriptionStateUndefined);
    }
}

TEST(CustomerIdentityAndCredentials, RoundTripAndCompare) {
    const QByteArray png("\x89PNG\r\n\x1a\n\x00\x01", 10);
    const auto identity = AFXCustomerIdentity::makeWithCustomerID(alice(), QStringLiteral("Alice"), png);
    const auto identityBack = archiveRoundTrip(identity);
    ASSERT_TRUE(identityBack);
    EXPECT_TRUE(identityBack->customerID()->isEqual(*alice()));
    EXPECT_EQ(identityBack->name(), QStringLiteral("Alice"));
    EXPECT_EQ(identityBack->image(), png);

    const auto credentials = AFXCustomerCredentials::makeWithCustomerID(alice(), QStringLiteral("t1"));
    const auto credentialsBack = archiveRoundTrip(credentials);
    ASSERT_TRUE(credentialsBack);
    EXPECT_TRUE(credentialsBack->isEqual(*credentials));
    EXPECT_EQ(credentialsBack->hash(), credentials->hash());
    EXPECT_FALSE(
        AFXCustomerCredentials::makeWithCustomerID(alice(), QStringLiteral("t2"))->isEqual(*credentials));
    EXPECT_FALSE(AFXCustomerCredentials::makeWithCustomerID(
                     AFXCustomerID::makeWithAccountName(QStringLiteral("alice@example.test"), nullptr),
                     QStringLiteral("t1"))
                     ->isEqual(*credentials));
}

TEST(SecureSerialization, KeysArePinnedAndDistinct) {
    EXPECT_EQ(AFXEnvironmentSecureSerializationKey(), QByteArray("dThqelBkZTBJZ3hMZDZHbmNmQkFlcGZK"));
    EXPECT_EQ(AFXCustomerSecureSerializationKey(), QByteArray("aEdBa1d2ajdGQWM5UWVXSktZNDB1dlN3"));
}

TEST(SecureSerialization, RecordsRoundTripAndAnythingElseReadsAsNothing) {
    auto manifest = AFXEndpointsManifest::make();
    manifest->setName(QStringLiteral("Staging"));
    manifest->setOriginURL(QUrl(kStagingURL));
    const auto environment =
        manifest->makeEnvironmentWithID(AFXEnvironmentID::environmentWithURLString(kStagingURL));
    const QByteArray environmentPayload = AFXEnvironmentGetSecureSerialization(environment);
    const auto customer = makeCustomer();
    const QByteArray customerPayload = AFXCustomerGetSecureSerialization(customer);

    // The payload is the encrypted archive: padded to whole blocks, no plain text.
    const QByteArray archive = *platform::KeyedArchiver::archivedDataWithRootObject(customer);
    EXPECT_EQ(customerPayload.size(), (archive.size() / 16 + 1) * 16);
    EXPECT_FALSE(customerPayload.contains("secret-token"));
    EXPECT_EQ(AFXSecureSerializationDecrypt(customerPayload, AFXCustomerSecureSerializationKey()), archive);

    const auto environmentBack = AFXEnvironmentMakeFromSecureSerialization(environmentPayload);
    ASSERT_TRUE(environmentBack);
    EXPECT_TRUE(environmentBack->isEqual(*environment));
    EXPECT_EQ(environmentBack->name(), QStringLiteral("Staging"));
    EXPECT_EQ(environmentBack->URLForPersistentDirectory(), environment->URLForPersistentDirectory());
    const auto customerBack = AFXCustomerMakeFromSecureSerialization(customerPayload);
    ASSERT_TRUE(customerBack);
    expectSameFields(*customerBack, *customer);
    EXPECT_EQ(customerBack->token(), customer->token());

    // The other kind's payload, and the other record under the right key.
    EXPECT_FALSE(AFXEnvironmentMakeFromSecureSerialization(customerPayload));
    EXPECT_FALSE(AFXCustomerMakeFromSecureSerialization(environmentPayload));
    EXPECT_FALSE(AFXEnvironmentMakeFromSecureSerialization(
        AFXSecureSerializationEncrypt(archive, AFXEnvironmentSecureSerializationKey())));

    // Tampered, truncated and empty bytes.
    for (const qsizetype index : {qsizetype(0), customerPayload.size() - 1}) {
        QByteArray tampered = customerPayload;
        tampered[index] = static_cast<char>(tampered[index] ^ 0x01);
        EXPECT_FALSE(AFXCustomerMakeFromSecureSerialization(tampered)) << index;
    }
    EXPECT_FALSE(AFXCustomerMakeFromSecureSerialization(customerPayload.left(customerPayload.size() - 16)));
    EXPECT_FALSE(AFXCustomerMakeFromSecureSerialization(customerPayload.left(customerPayload.size() - 1)));
    EXPECT_FALSE(AFXCustomerMakeFromSecureSerialization(QByteArray()));
}

} // namespace
