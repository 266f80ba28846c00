// Records and service IDs of the interprocess model, without a transport.

#include "SpecificTools/Interprocess/AFXCustomerServiceID.h"
#include "SpecificTools/Interprocess/AFXEnvironmentServiceID.h"
#include "SpecificTools/Interprocess/AFXGlobalServiceID.h"
#include "SpecificTools/Interprocess/AFXInterprocessRequest.h"
#include "SpecificTools/Model/AFXCustomerID.h"
#include "platform/KeyedArchiver.h"
#include "platform/ValueClasses.h"
#include "testing/ArchiveRoundTrip.h"

#include <gtest/gtest.h>

namespace {

class ModelTestResponse : public AFXInterprocessResponse {
    AFX_DECLARE_RECORD(ModelTestResponse)
};

class ModelTestRequest : public AFXInterprocessRequest {
    AFX_DECLARE_RECORD(ModelTestRequest)
    AFX_RECORD_FIELD(bool, isUpdated, setIsUpdated)
    AFX_RECORD_FIELD(QString, label, setLabel)
    // Not listed in the record's fields: stays local.
    AFX_RECORD_FIELD(QString, note, setNote)

public:
    const platform::Class* responseClass() const override { return ModelTestResponse::staticClass(); }
};

} // namespace

AFX_DEFINE_RECORD(ModelTestResponse, AFXInterprocessResponse)
AFX_DEFINE_RECORD(ModelTestRequest, AFXInterprocessRequest,
                  AFX_FIELD(isUpdated, {platform::ValueClasses::number()}),
                  AFX_FIELD(label, {platform::ValueClasses::string()},
                            platform::Value(QStringLiteral("unnamed"))))

namespace {

std::shared_ptr<AFXCustomerID> customerID(const char* accountName) {
    return AFXCustomerID::makeWithAccountName(QString::fromLatin1(accountName),
                                              AFXEnvironmentID::defaultEnvironmentID());
}

TEST(InterprocessModel, ServiceIDsAreEqualOnlyToTheSameKindWithEqualParts) {
    const QString name = QStringLiteral("com.kestrel.AppsManagementService");
    const auto global = AFXGlobalServiceID::makeWithServiceName(name);
    const auto otherGlobal = AFXGlobalServiceID::makeWithServiceName(name);
    const auto defaultEnvironment =
        AFXEnvironmentServiceID::makeWithServiceName(name, AFXEnvironmentID::defaultEnvironmentID());
    const auto sameEnvironment =
        AFXEnvironmentServiceID::makeWithServiceName(name, AFXEnvironmentID::defaultEnvironmentID());
    const auto otherEnvironment = AFXEnvironmentServiceID::makeWithServiceName(
        name,
        AFXEnvironmentID::environmentIDWithManifestURL(QUrl(QStringLiteral("https://staging.test/m.json"))));

    EXPECT_TRUE(global->isEqual(*otherGlobal));
    EXPECT_EQ(global->hash(), otherGlobal->hash());
    EXPECT_FALSE(
        global->isEqual(*AFXGlobalServiceID::makeWithServiceName(QStringLiteral("com.kestrel.Other"))));
    // Same name, other kind: equal in neither direction.
    EXPECT_FALSE(global->isEqual(*defaultEnvironment));
    EXPECT_FALSE(defaultEnvironment->isEqual(*global));
    EXPECT_TRUE(defaultEnvironment->isEqual(*sameEnvironment));
    EXPECT_EQ(defaultEnvironment->hash(), sameEnvironment->hash());
    EXPECT_FALSE(defaultEnvironment->isEqual(*otherEnvironment));

    const auto customer = AFXCustomerServiceID::makeWithServiceName(name, customerID("ann@example.test"));
    EXPECT_TRUE(
        customer->isEqual(*AFXCustomerServiceID::makeWithServiceName(name, customerID("ann@example.test"))));
    EXPECT_EQ(customer->hash(),
              AFXCustomerServiceID::makeWithServiceName(name, customerID("ann@example.test"))->hash());
    EXPECT_FALSE(
        customer->isEqual(*AFXCustomerServiceID::makeWithServiceName(name, customerID("bob@example.test"))));

    // Keys of the factory's cache: a decoded ID must find the original.
    const auto decoded =
        testing_support::archiveRoundTrip(std::static_pointer_cast<AFXServiceID>(otherEnvironment));
    ASSERT_TRUE(decoded);
    EXPECT_TRUE(decoded->isEqual(*otherEnvironment));
    EXPECT_EQ(decoded->hash(), otherEnvironment->hash());
    EXPECT_EQ(platform::Value(decoded), platform::Value(otherEnvironment));
}

TEST(InterprocessModel, ServiceIDsDescribeTheirKind) {
    const QString name = QStringLiteral("com.kestrel.SystemManagementService");
    EXPECT_EQ(AFXGlobalServiceID::makeWithServiceName(name)->description(),
              QStringLiteral("Global Service ID"));
    const auto environmentID = AFXEnvironmentID::defaultEnvironmentID();
    EXPECT_EQ(AFXEnvironmentServiceID::makeWithServiceName(name, environmentID)->description(),
              QStringLiteral("Environment(%1) Service ID").arg(environmentID->description()));
    const auto customer = customerID("ann@example.test");
    EXPECT_EQ(AFXCustomerServiceID::makeWithServiceName(name, customer)->description(),
              QStringLiteral("Customer(%1) Service ID").arg(customer->description()));
}

TEST(InterprocessModel, RequestsTravelWithTheirDeclaredFieldsOnly) {
    auto request = ModelTestRequest::make();
    request->setRequestingTierName(QStringLiteral("KestrelInstaller"));
    request->setServiceID(
        AFXGlobalServiceID::makeWithServiceName(QStringLiteral("com.kestrel.SystemManagementService")));
    request->setReportStreamID(QUuid::createUuid());
    request->setIsUpdated(true);
    request->setNote(QStringLiteral("local"));

    platform::Error error(QString(), 0);
    const auto data = platform::KeyedArchiver::archivedDataWithRootObject(platform::Value(request), &error);
    ASSERT_TRUE(data) << error.description().toStdString();
    EXPECT_TRUE(data->contains(platform::KeyedArchiver::encodedKey(QStringLiteral("serviceID"))));
    EXPECT_FALSE(data->contains(platform::KeyedArchiver::encodedKey(QStringLiteral("requestingTierName"))));
    EXPECT_FALSE(data->contains(platform::KeyedArchiver::encodedKey(QStringLiteral("reportSessionID"))));
    EXPECT_FALSE(data->contains(platform::KeyedArchiver::encodedKey(QStringLiteral("note"))));

    const auto decoded = testing_support::archiveRoundTrip(request);
    ASSERT_TRUE(decoded);
    EXPECT_TRUE(decoded->requestingTierName().isNull());
    EXPECT_TRUE(decoded->serviceID()->isEqual(*request->serviceID()));
    EXPECT_EQ(decoded->reportStreamID(), request->reportStreamID());
    EXPECT_TRUE(decoded->reportSessionID().isNull());
    EXPECT_TRUE(decoded->isUpdated());
    EXPECT_TRUE(decoded->note().isNull());
    // Absent from the archive: the declared default.
    EXPECT_EQ(decoded->label(), QStringLiteral("unnamed"));

    request->setIsUpdated(false);
    request->setLabel(QStringLiteral("named"));
    const auto again = testing_support::archiveRoundTrip(request);
    ASSERT_TRUE(again);
    EXPECT_FALSE(again->isUpdated());
    EXPECT_EQ(again->label(), QStringLiteral("named"));

    // A copy can still be sent: it keeps the tier name.
    const auto copied = std::static_pointer_cast<ModelTestRequest>(request->copy());
    EXPECT_NE(copied, request);
    EXPECT_EQ(copied->requestingTierName(), QStringLiteral("KestrelInstaller"));
    EXPECT_EQ(copied->reportStreamID(), request->reportStreamID());
}

} // namespace
