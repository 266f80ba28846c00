#include "platform/SystemRegistry.h"
#include "testing/EnvironmentOverride.h"
#include "testing/TestSupport.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>

#include <sys/utsname.h>

using platform::SystemRegistry;
using testing_support::EnvironmentOverride;

namespace {

utsname kernel() {
    utsname names{};
    EXPECT_EQ(uname(&names), 0);
    return names;
}

TEST(SystemRegistryTests, WithoutAPlayedVersionTheKernelReleaseIsTheVersion) {
    EnvironmentOverride unplayed({{"KESTREL_OS_VERSION", std::nullopt}});
    const QString release = QString::fromLatin1(kernel().release);
    const auto match = QRegularExpression(QStringLiteral(R"(^(\d+)(?:\.(\d+))?(?:\.(\d+))?)")).match(release);
    ASSERT_TRUE(match.hasMatch()) << release.toStdString();

    const SystemRegistry::OperatingSystemVersion version = SystemRegistry::operatingSystemVersion();
    EXPECT_EQ(version.majorVersion, match.captured(1).toLong());
    EXPECT_EQ(version.minorVersion, match.captured(2).toLong());
    EXPECT_EQ(version.patchVersion, match.captured(3).toLong());
    EXPECT_EQ(SystemRegistry::operatingSystemBuild(), QString::fromLatin1(kernel().version));
}

TEST(SystemRegistryTests, HardwareUUIDIsAnUpperCaseUUIDFromTheFirmwareOrTheMachineID) {
    const QString uuid = SystemRegistry::hardwareUUID();
    const QByteArray machineID = testing_support::readFile(QStringLiteral("/etc/machine-id")).trimmed();
    if (uuid.isEmpty()) {
        EXPECT_TRUE(machineID.isEmpty());
        GTEST_SKIP() << "neither the firmware's UUID nor the machine id can be read here";
    }
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}$"))
                    .match(uuid)
                    .hasMatch())
        << uuid.toStdString();
    if (!QFile(QStringLiteral("/sys/class/dmi/id/product_uuid")).open(QIODevice::ReadOnly)) {
        EXPECT_EQ(uuid.toLatin1().replace('-', "").toLower(), machineID);
    }
}

TEST(SystemRegistryTests, InterfaceCandidatesAreUpLinksWithTheirHardwareAddresses) {
    for (const SystemRegistry::NetworkInterface& candidate : SystemRegistry::primaryInterfaceCandidates()) {
        EXPECT_FALSE(candidate.name.startsWith(QLatin1String("lo"))) << candidate.name.toStdString();
        const QByteArray known =
            testing_support::readFile(QStringLiteral("/sys/class/net/%1/address").arg(candidate.name))
                .trimmed();
        EXPECT_EQ(candidate.hardwareAddress.toHex(':'), known) << candidate.name.toStdString();
        const QByteArray flags =
            testing_support::readFile(QStringLiteral("/sys/class/net/%1/flags").arg(candidate.name))
                .trimmed();
        EXPECT_TRUE(flags.toUInt(nullptr, 16) & 0x1) << candidate.name.toStdString() << " is not up";
    }
}

TEST(SystemRegistryTests, ModelAndProcessorAreKnown) {
    if (!QFile::exists(QStringLiteral("/sys/class/dmi/id/product_name"))) {
        EXPECT_EQ(SystemRegistry::machineModel(), QString::fromLatin1(kernel().machine));
    }
    EXPECT_FALSE(SystemRegistry::machineModel().isEmpty());
#if defined(__x86_64__) || defined(__i386__)
    EXPECT_EQ(SystemRegistry::processorType().type, SystemRegistry::ProcessorTypeX86);
#endif
}

TEST(SystemRegistryTests, PreferredLanguagesComeFromTheLocaleEnvironment) {
    EnvironmentOverride locale({{"LANGUAGE", "en_GB:fr::en_GB"},
                                {"LC_ALL", std::nullopt},
                                {"LC_MESSAGES", "POSIX"},
                                {"LANG", "de_DE.UTF-8"}});
    // The first locale variable set decides, even when it names no language.
    EXPECT_EQ(SystemRegistry::preferredLanguages(), (QStringList{"en-GB", "fr"}));

    EnvironmentOverride all({{"LC_ALL", "pt_BR.ISO-8859-1@latin"}});
    EXPECT_EQ(SystemRegistry::preferredLanguages(), (QStringList{"en-GB", "fr", "pt-BR"}));

    EnvironmentOverride none({{"LANGUAGE", std::nullopt}, {"LC_ALL", "C"}});
    EXPECT_TRUE(SystemRegistry::preferredLanguages().isEmpty());
}

} // namespace
