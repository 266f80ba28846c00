#include "support/BRSystemInfo.h"
#include "testing/EnvironmentOverride.h"

#include <gtest/gtest.h>

namespace {

using testing_support::EnvironmentOverride;
using Interface = platform::SystemRegistry::NetworkInterface;

Interface interface(const char* name, unsigned char last) {
    return {QString::fromLatin1(name), QByteArray::fromHex("0a1b2c3d4e") + char(last)};
}

TEST(SystemInfo, OSVersionFollowsThePlayedSystemOnEveryCall) {
    const std::pair<const char*, const char*> cases[] = {
        {"11", "11.0.0"}, {"10.15", "10.15.0"}, {"13.4.1", "13.4.1"}, {"14.2.1-beta", "14.2.1"}};
    for (const auto& [played, expected] : cases) {
        EnvironmentOverride system({{"KESTREL_OS_VERSION", QByteArray(played)}});
        EXPECT_EQ(BRSystemInfo::OSVersion(), QString::fromLatin1(expected)) << played;
    }
}

TEST(SystemInfo, PrimaryInterfaceSortsFirstIgnoringCaseWithNumbersByValue) {
    using List = QList<Interface>;
    EXPECT_EQ(BRSystemInfo::MACAddressOfPrimaryInterface(List{}), QString());
    EXPECT_EQ(BRSystemInfo::MACAddressOfPrimaryInterface(List{interface("eth0", 0xF0)}), "0a:1b:2c:3d:4e:f0");
    EXPECT_EQ(BRSystemInfo::MACAddressOfPrimaryInterface(List{interface("en10", 10), interface("en2", 2),
                                                              interface("wlan0", 0xA0), interface("en1", 1)}),
              "0a:1b:2c:3d:4e:01");
    EXPECT_EQ(
        BRSystemInfo::MACAddressOfPrimaryInterface(List{interface("wlan0", 0xA0), interface("eth0", 0xE0)}),
        "0a:1b:2c:3d:4e:e0");
    EXPECT_EQ(BRSystemInfo::MACAddressOfPrimaryInterface(List{interface("ETH1", 1), interface("eth0", 0)}),
              "0a:1b:2c:3d:4e:00");
    EXPECT_EQ(BRSystemInfo::MACAddressOfPrimaryInterface(List{interface("en0a", 0xA), interface("en0", 0)}),
              "0a:1b:2c:3d:4e:00");
}

#if defined(__x86_64__) || defined(__i386__)
TEST(SystemInfo, CPUBrandNameOnX86IsTheProcessorsOwn) {
    const QString name = BRSystemInfo::CPUFullBrandName();
    EXPECT_FALSE(name.isEmpty());
    EXPECT_FALSE(name.startsWith(QLatin1String("Unknown"))) << name.toStdString();
    EXPECT_EQ(name, name.trimmed());
}
#endif

TEST(SystemInfo, PreferredLocalesAreTheFirstOfTheUsersLanguages) {
    EnvironmentOverride locale({{"LANGUAGE", "fr_CA:de"},
                                {"LC_ALL", std::nullopt},
                                {"LC_MESSAGES", std::nullopt},
                                {"LANG", "en_GB.UTF-8"}});
    EXPECT_EQ(BRSystemInfo::preferredLocales(2), (QStringList{"fr-CA", "de"}));
    EXPECT_EQ(BRSystemInfo::preferredLocales(10), (QStringList{"fr-CA", "de", "en-GB"}));
    EXPECT_TRUE(BRSystemInfo::preferredLocales(0).isEmpty());

    EnvironmentOverride plain({{"LANGUAGE", std::nullopt}, {"LANG", "C.UTF-8"}});
    EXPECT_TRUE(BRSystemInfo::preferredLocales(3).isEmpty());
}

} // namespace
