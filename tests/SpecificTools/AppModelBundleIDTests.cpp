#include "../platform/PlatformPrinters.h"
#include "SpecificTools/Model/AFXKestrelBundleID.h"
#include "SpecificTools/Model/AFXTeaserVersions.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"

#include <gtest/gtest.h>

#include <QCborMap>
#include <QCborValue>

using namespace platform;

namespace {

TEST(AppModelBundleID, ParsesStoreBundleIdentifiers) {
    struct Row {
        const char* bundleID;
        bool isStore;
        AFXKestrelBundleIDKind kind;
        const char* base;
    };
    const Row rows[] = {
        {"com.vendor.app-kestrel", true, AFXKestrelBundleIDKindKestrel, "com.vendor.app-kestrel"},
        {"com.vendor.app-KESTREL", true, AFXKestrelBundleIDKindKestrel, "com.vendor.app-KESTREL"},
        {"ABCDE12345.com.vendor.app-kestrel.agent", true, AFXKestrelBundleIDKindDerived,
         "com.vendor.app-kestrel"},
        {"com.vendor.app-kestrel.helper", true, AFXKestrelBundleIDKindDerived, "com.vendor.app-kestrel"},
        // Only a ten-character prefix is a team.
        {"ABCDE1234.com.vendor.app-kestrel.agent", true, AFXKestrelBundleIDKindDerived,
         "ABCDE1234.com.vendor.app-kestrel"},
        // The last mark counts.
        {"com.vendor-kestrel.app-kestrel.x", true, AFXKestrelBundleIDKindDerived,
         "com.vendor-kestrel.app-kestrel"},
        {"com.kestrel.teaser.com-vendor-app-kestrel", true, AFXKestrelBundleIDKindTeaser, ""},
        {"com.vendor.app", false, AFXKestrelBundleIDKindKestrel, ""},
        {"com.kestrel.teaser.com-vendor-app", false, AFXKestrelBundleIDKindKestrel, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.bundleID);
        QString base = QStringLiteral("untouched");
        AFXKestrelBundleIDKind kind = AFXKestrelBundleIDKindKestrel;
        ASSERT_EQ(AFXExtractKestrelBundleID(QString::fromLatin1(row.bundleID), &base, &kind), row.isStore);
        const auto parsed = AFXKestrelBundleID::makeWithBundleID(QString::fromLatin1(row.bundleID));
        EXPECT_EQ(parsed != nullptr, row.isStore);
        if (!row.isStore) {
            EXPECT_EQ(base, QStringLiteral("untouched"));
            continue;
        }
        EXPECT_EQ(kind, row.kind);
        EXPECT_EQ(base, QString::fromLatin1(row.base));
        EXPECT_EQ(parsed->kind(), row.kind);
        EXPECT_EQ(parsed->baseBundleID(), QString::fromLatin1(row.base));
        EXPECT_EQ(parsed->derivedBundleID().has_value(), row.kind == AFXKestrelBundleIDKindDerived);
        EXPECT_EQ(parsed->teaserBundleID().has_value(), row.kind == AFXKestrelBundleIDKindTeaser);
    }
    EXPECT_TRUE(AFXExtractKestrelBundleID(QStringLiteral("com.vendor.app-kestrel"), nullptr, nullptr));
}

TEST(AppModelBundleID, ArchivesOnlyTheIdentifierAndRefusesOthers) {
    const auto parsed =
        AFXKestrelBundleID::makeWithBundleID(QStringLiteral("ABCDE12345.com.vendor.app-kestrel.agent"));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->copy(), parsed);
    const QByteArray data = *KeyedArchiver::archivedDataWithRootObject(parsed);
    QCborMap map = QCborValue::fromCbor(data).toMap();
    EXPECT_EQ(map.size(), 2); // "$class" and "bundleID"
    const auto back = KeyedUnarchiver::unarchivedObjectOfClass<AFXKestrelBundleID>(data);
    ASSERT_TRUE(back);
    EXPECT_TRUE(back->isEqual(*parsed));
    EXPECT_EQ(back->hash(), parsed->hash());
    EXPECT_EQ(back->derivedBundleID(), parsed->bundleID());
    EXPECT_EQ(back->baseBundleID(), QStringLiteral("com.vendor.app-kestrel"));

    map.insert(QStringLiteral("bundleID"), QStringLiteral("com.vendor.app"));
    EXPECT_FALSE(KeyedUnarchiver::unarchivedObjectOfClass<AFXKestrelBundleID>(QCborValue(map).toCbor()));
    map.insert(QStringLiteral("bundleID"), 5);
    EXPECT_FALSE(KeyedUnarchiver::unarchivedObjectOfClass<AFXKestrelBundleID>(QCborValue(map).toCbor()));
}

TEST(AppModelTeaserVersions, ConvertBetweenStringAndOldNumber) {
    EXPECT_EQ(AFXTeaserVersionFromOldTeaserVersion(7), QStringLiteral("0.7"));
    EXPECT_EQ(AFXTeaserVersionToOldTeaserVersion(QStringLiteral("0.7")), 7);
    EXPECT_EQ(AFXTeaserVersionToOldTeaserVersion(QStringLiteral("0.0")), 0);
    EXPECT_EQ(AFXTeaserVersionToOldTeaserVersion(QStringLiteral("0.12")), 12);
    EXPECT_EQ(AFXTeaserVersionToOldTeaserVersion(QStringLiteral("3.0")), 3);
    EXPECT_EQ(AFXTeaserVersionToOldTeaserVersion(QStringLiteral("0.5b")), 5);
    EXPECT_EQ(AFXTeaserVersionToOldTeaserVersion(QString()), 0);
}

} // namespace
