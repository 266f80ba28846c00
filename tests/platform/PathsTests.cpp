#include "PlatformPrinters.h"
#include "platform/ExtendedAttributes.h"
#include "platform/Paths.h"
#include "testing/EnvironmentOverride.h"
#include "testing/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>

#include <cerrno>

using namespace platform;
using namespace Qt::Literals::StringLiterals;
using testing_support::EnvironmentOverride;

TEST(PathsTests, WithARootEverythingLivesInsideIt) {
    const QString root = QDir::cleanPath(testing_support::testRoot());
    ASSERT_FALSE(root.isEmpty());
    EXPECT_EQ(Paths::root(), root);
    EXPECT_EQ(Paths::homeDirectory(), root + u"/home"_s);
    EXPECT_EQ(Paths::realHomeDirectory(), root + u"/home"_s);
    EXPECT_EQ(Paths::temporaryDirectory(), root + u"/tmp"_s);
    EXPECT_EQ(Paths::runtimeDirectory(), root + u"/run"_s);

    EXPECT_EQ(Paths::resolve(u"~"_s), root + u"/home"_s);
    EXPECT_EQ(Paths::resolve(u"~/Library/Logs/Kestrel"_s), root + u"/home/Library/Logs/Kestrel"_s);
    EXPECT_EQ(Paths::resolve(u"~/Documents/../Desktop/"_s), root + u"/home/Desktop"_s);
    EXPECT_EQ(Paths::resolve(u"/Applications"_s), root + u"/Applications"_s);
    EXPECT_EQ(Paths::resolve(u"/Users/Shared/Kestrel/Apps"_s), root + u"/Users/Shared/Kestrel/Apps"_s);
    EXPECT_EQ(Paths::resolve(u"relative/path"_s), u"relative/path"_s);
    // ".." never leads out of the root.
    EXPECT_EQ(Paths::resolve(u"/../../etc/passwd"_s), root + u"/etc/passwd"_s);
    EXPECT_EQ(Paths::resolve(u"~/../../../x"_s), root + u"/x"_s);
    EXPECT_EQ(Paths::resolve(u"~someone/file"_s), u"~someone/file"_s);
    EXPECT_EQ(Paths::resolveWithRedirectedFolders(u"~/Library"_s), QStringList{root + u"/home/Library"_s});

    // The root is read on every call.
    EnvironmentOverride other({{"KESTREL_ROOT", QByteArray("/elsewhere/./root/")}});
    EXPECT_EQ(Paths::resolve(u"/Applications"_s), u"/elsewhere/root/Applications"_s);
    EnvironmentOverride relative({{"KESTREL_ROOT", QByteArray("inner/../roots/r1/")}});
    EXPECT_EQ(Paths::root(), QDir::currentPath() + u"/roots/r1"_s);
    EXPECT_EQ(Paths::busServicesDirectory(),
              QDir::currentPath() + u"/roots/r1/home/.local/share/dbus-1/services"_s);
}

TEST(PathsTests, BusServiceFilesAreNamedOnlyByWellKnownBusNames) {
    EXPECT_EQ(Paths::busServiceFilePath(u"com.kestrel.AppsManagementService"_s),
              Paths::busServicesDirectory() + u"/com.kestrel.AppsManagementService.service"_s);
    EXPECT_EQ(Paths::busServiceFilePath(u"org._private-name.x2"_s),
              Paths::busServicesDirectory() + u"/org._private-name.x2.service"_s);
    // Names read from files the user can change never lead elsewhere.
    for (const QString& name :
         {u"../../systemd/user/x"_s, u"com.kestrel/../x"_s, u"single"_s, u"com..kestrel"_s, u"2com.kestrel"_s,
          u"com.kestrel."_s, u""_s, u"com.kestrel\nExec=x"_s, u"com.kestrel.x\n"_s,
          QString(256, u'a') + u".b"_s}) {
        EXPECT_FALSE(Paths::busServiceFilePath(name)) << name.toStdString();
    }
}

TEST(PathsTests, WithoutARootTheUsersFreedesktopFoldersAreUsed) {
    EnvironmentOverride environment({
        {"KESTREL_ROOT", std::nullopt},
        {"HOME", "/home/tester"},
        {"XDG_STATE_HOME", "/xdg/state"},
        {"XDG_CONFIG_HOME", "/xdg/config"},
        {"XDG_CACHE_HOME", "/xdg/cache"},
        {"XDG_DATA_HOME", "/xdg/data"},
        {"XDG_RUNTIME_DIR", "/run/user/4242"},
    });
    EXPECT_EQ(Paths::root(), QString());
    EXPECT_EQ(Paths::homeDirectory(), u"/home/tester"_s);
    EXPECT_EQ(Paths::runtimeDirectory(), u"/run/user/4242/kestrel"_s);

    const std::pair<const char*, const char*> expectations[] = {
        {"~", "/home/tester"},
        {"~/Documents/notes.txt", "/home/tester/Documents/notes.txt"},
        {"/Applications", "/home/tester/Applications"},
        {"/Applications/Viewer.app", "/home/tester/Applications/Viewer.app"},
        {"~/Library/Logs/Kestrel", "/xdg/state/kestrel/Logs/Kestrel"},
        {"~/Library/Preferences/com.kestrel.Viewer.plist",
         "/xdg/config/kestrel/Preferences/com.kestrel.Viewer.plist"},
        {"~/Library/Caches", "/xdg/cache/kestrel/Caches"},
        {"~/Library/Application Support/Kestrel", "/xdg/data/kestrel/Application Support/Kestrel"},
        {"~/Library/LogsArchive", "/home/tester/Library/LogsArchive"},
        {"/Users/Shared/Kestrel/Apps", "/xdg/data/kestrel/root/Users/Shared/Kestrel/Apps"},
        {"relative/path", "relative/path"},
    };
    for (const auto& [systemPath, expected] : expectations) {
        EXPECT_EQ(Paths::resolve(QString::fromUtf8(systemPath)), QString::fromUtf8(expected)) << systemPath;
    }

    // A folder whose parts are mapped elsewhere names every place its contents lie in.
    EXPECT_EQ(Paths::resolveWithRedirectedFolders(u"~/Library"_s),
              (QStringList{u"/home/tester/Library"_s, u"/xdg/state/kestrel/Logs"_s,
                           u"/xdg/config/kestrel/Preferences"_s, u"/xdg/cache/kestrel/Caches"_s,
                           u"/xdg/data/kestrel/Application Support"_s}));
    EXPECT_EQ(Paths::resolveWithRedirectedFolders(u"~/Library/Caches/../Caches/x"_s),
              QStringList{u"/xdg/cache/kestrel/Caches/x"_s});
    EXPECT_EQ(Paths::resolveWithRedirectedFolders(u"/Library"_s),
              QStringList{u"/xdg/data/kestrel/root/Library"_s});

    // Unset or relative XDG folders fall back to their defaults below the home.
    EnvironmentOverride fallbacks({{"XDG_STATE_HOME", std::nullopt}, {"XDG_CONFIG_HOME", "relative/config"}});
    // Mapped folders inside the home are no longer listed on their own.
    EXPECT_EQ(Paths::resolveWithRedirectedFolders(u"~"_s),
              (QStringList{u"/home/tester"_s, u"/xdg/cache/kestrel/Caches"_s,
                           u"/xdg/data/kestrel/Application Support"_s}));
    EXPECT_EQ(Paths::resolve(u"~/Library/Logs"_s), u"/home/tester/.local/state/kestrel/Logs"_s);
    EXPECT_EQ(Paths::resolve(u"~/Library/Preferences/x.plist"_s),
              u"/home/tester/.config/kestrel/Preferences/x.plist"_s);
}

TEST(ExtendedAttributesTests, SetGetListAndRemoveOnARealFile) {
    const QString file = testing_support::testRoot() + u"/attributes.txt"_s;
    ASSERT_TRUE(testing_support::writeFile(file, "content"));
    Error error(QString(), 0);
    if (!ExtendedAttributes::set(file, u"com.kestrel.probe"_s, "1", &error)) {
        if (error.code() == ENOTSUP) {
            GTEST_SKIP() << "the file system of " << file.toStdString() << " refuses user attributes";
        }
        FAIL() << error.description().toStdString();
    }

    const QByteArray binary("\x00origin;\xff\x01", 10);
    ASSERT_TRUE(ExtendedAttributes::set(file, u"com.kestrel.origin"_s, binary, &error));
    EXPECT_EQ(ExtendedAttributes::get(file, u"com.kestrel.origin"_s), binary);
    QStringList names = ExtendedAttributes::list(file);
    names.sort();
    EXPECT_EQ(names, (QStringList{"com.kestrel.origin", "com.kestrel.probe"}));

    const QByteArray longer(1000, 'x');
    ASSERT_TRUE(ExtendedAttributes::set(file, u"com.kestrel.probe"_s, longer));
    EXPECT_EQ(ExtendedAttributes::get(file, u"com.kestrel.probe"_s), longer);

    EXPECT_TRUE(ExtendedAttributes::remove(file, u"com.kestrel.probe"_s, &error));
    EXPECT_EQ(ExtendedAttributes::get(file, u"com.kestrel.probe"_s), std::nullopt);
    EXPECT_TRUE(ExtendedAttributes::remove(file, u"com.kestrel.probe"_s, &error)) << "absent is not an error";
    EXPECT_EQ(ExtendedAttributes::list(file), QStringList{u"com.kestrel.origin"_s});

    const QString missing = testing_support::testRoot() + u"/missing.txt"_s;
    EXPECT_EQ(ExtendedAttributes::get(missing, u"com.kestrel.origin"_s), std::nullopt);
    EXPECT_TRUE(ExtendedAttributes::list(missing).isEmpty());
    EXPECT_FALSE(ExtendedAttributes::set(missing, u"a"_s, "b", &error));
    EXPECT_EQ(error.domain(), NSPOSIXErrorDomain);
    EXPECT_EQ(error.code(), ENOENT);
    EXPECT_FALSE(ExtendedAttributes::remove(missing, u"a"_s));
}
