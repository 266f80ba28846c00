#include "SpecificTools/AFXAppInstaller/AFXInstalledAppDiscovery.h"
#include "SpecificTools/AFXAppInstaller/AFXOpenURLWithDesktopClient.h"
#include "platform/LaunchServices.h"
#include "platform/Paths.h"
#include "platform/UserDefaults.h"
#include "support/BRBundleInfo.h"
#include "testing/AppBundleMaker.h"
#include "testing/EnvironmentOverride.h"
#include "testing/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

using namespace testing_support;
using namespace Qt::Literals::StringLiterals;
using platform::LaunchServices;
using platform::Paths;

namespace {

const QString kClient = AFXDesktopClientBundleID;

// Places an app copy at a system path; `registered` copies are also
// announced to Launch Services, as the installer does with copies it places
// outside the applications folders.
QString placeApp(const QString& systemPath, const QString& bundleID = kClient, bool registered = true) {
    const QString path = Paths::resolve(systemPath);
    EXPECT_TRUE(makeAppBundle(path, appInfo(bundleID)));
    if (registered) {
        platform::Error error(QString(), 0);
        EXPECT_TRUE(LaunchServices::registerURL(QUrl::fromLocalFile(path), &error))
            << error.description().toStdString();
    }
    return path;
}

bool desktopClientIsInstalled() {
    return AFXCheckIfAppWithBundleIDInstalledIgnoringPaths(kClient, AFXDetectIgnoredPathsForDesktopClient());
}

std::string pickedClient() {
    const auto picked = AFXPickBestDesktopClientURL();
    return picked ? pathsBelowRoot({*picked}).front() : std::string("none");
}

QString ignoredForm(const QString& systemPath) {
    return Paths::resolve(systemPath).toLower();
}

} // namespace

TEST(InstalledAppDiscovery, ClientCopiesOnDiskImagesInTrashesOrBackupsDoNotCountAsInstalled) {
    placeApp(u"/Volumes/Kestrel/Kestrel.app"_s);
    placeApp(u"~/.Trash/Kestrel.app"_s);
    placeApp(u"/Users/Shared/.Trash/Kestrel.app"_s);
    placeApp(u"/Backup/Backups.backupdb/Mac/Latest/Applications/Kestrel.app"_s);

    EXPECT_FALSE(desktopClientIsInstalled());
    // Without ignored paths only the lost copies drop out; the disk image's stays.
    EXPECT_EQ(pathsBelowRoot(AFXURLsForAppWithBundleIDIgnoringPaths(kClient, {})),
              std::vector<std::string>{"/Volumes/Kestrel/Kestrel.app"});
    EXPECT_TRUE(AFXCheckIfAppWithBundleIDInstalled(kClient));
    EXPECT_EQ(pickedClient(), "/Volumes/Kestrel/Kestrel.app");

    placeApp(u"/Applications/Kestrel.app"_s, kClient, false);
    EXPECT_TRUE(desktopClientIsInstalled());
}

TEST(InstalledAppDiscovery, PickerPrefersApplicationsThenHomeApplicationsThenApplicationSupport) {
    const QString elsewhere = placeApp(u"/opt/Kestrel.app"_s);
    const QString lookalike = placeApp(u"/Applications2/Kestrel.app"_s);
    const QString support = placeApp(u"~/Library/Application Support/Kestrel/Kestrel.app"_s);
    const QString home = placeApp(u"~/Applications/Kestrel.app"_s);
    // Scanned, so listed after every registered copy.
    const QString machine = placeApp(u"/Applications/Kestrel.app"_s, kClient, false);
    ASSERT_EQ(pathsBelowRoot(AFXURLsForAppWithBundleIDIgnoringPaths(kClient, {})).back(),
              "/Applications/Kestrel.app");

    EXPECT_EQ(pickedClient(), "/Applications/Kestrel.app");
    ASSERT_TRUE(QDir(machine).removeRecursively());
    EXPECT_EQ(pickedClient(), "/home/Applications/Kestrel.app");
    ASSERT_TRUE(QDir(home).removeRecursively());
    EXPECT_EQ(pickedClient(), "/home/Library/Application Support/Kestrel/Kestrel.app");
    ASSERT_TRUE(QDir(support).removeRecursively());
    EXPECT_EQ(pickedClient(), "/opt/Kestrel.app");
    ASSERT_TRUE(QDir(elsewhere).removeRecursively());
    ASSERT_TRUE(QDir(lookalike).removeRecursively());
    EXPECT_EQ(pickedClient(), "none");
}

TEST(InstalledAppDiscovery, XcodeBuildCopyIsTheLastResortButNoInstallation) {
    placeApp(u"~/Library/Developer/Xcode/DerivedData/Kestrel-abc/Build/Products/Debug/Kestrel.app"_s);
    EXPECT_EQ(pickedClient(),
              "/home/Library/Developer/Xcode/DerivedData/Kestrel-abc/Build/Products/Debug/Kestrel.app");
    EXPECT_FALSE(desktopClientIsInstalled());

    placeApp(
        u"~/Library/Developer/Xcode/Archives/2024-05-01/Kestrel.xcarchive/Products/Applications/Kestrel.app"_s);
    EXPECT_FALSE(desktopClientIsInstalled());
}

TEST(InstalledAppDiscovery, XcodeFoldersMovedInXcodePreferencesReplaceTheStandardOnes) {
    auto xcode = platform::UserDefaults::makeWithSuiteName(u"com.apple.dt.Xcode"_s);
    ASSERT_TRUE(xcode->setObject(u"/Builds/DerivedData"_s, u"IDECustomDerivedDataLocation"_s));
    ASSERT_TRUE(xcode->setObject(u"~/Shipping"_s, u"IDECustomDistributionArchivesLocation"_s));

    placeApp(u"/Builds/DerivedData/Kestrel-abc/Build/Products/Debug/Kestrel.app"_s);
    placeApp(u"~/Shipping/Kestrel.xcarchive/Products/Applications/Kestrel.app"_s);
    EXPECT_FALSE(desktopClientIsInstalled());
    placeApp(u"~/Library/Developer/Xcode/DerivedData/Kestrel-abc/Build/Products/Debug/Kestrel.app"_s);
    EXPECT_TRUE(desktopClientIsInstalled());

    const QStringList general = AFXDetectIgnoredPaths();
    EXPECT_TRUE(general.contains(ignoredForm(u"/Builds/DerivedData"_s)));
    EXPECT_TRUE(general.contains(ignoredForm(u"~/Shipping"_s)));
    EXPECT_FALSE(general.contains(ignoredForm(u"~/Library/Developer/Xcode/DerivedData"_s)));

    // A value that is no path leaves the standard folder in place.
    ASSERT_TRUE(xcode->setObject(42, u"IDECustomDerivedDataLocation"_s));
    EXPECT_TRUE(AFXDetectIgnoredPaths().contains(ignoredForm(u"~/Library/Developer/Xcode/DerivedData"_s)));
}

TEST(InstalledAppDiscovery, DetectionRejectsNestedHiddenAndIgnoredCopies) {
    const QString helper = u"com.example.Helper"_s;
    const QString other = u"com.example.Other"_s;
    placeApp(u"/Applications/Host.app"_s, u"com.example.Host"_s, false);
    placeApp(u"/Applications/Host.app/Contents/Library/LoginItems/Helper.app"_s, helper);
    // A folder merely named like a bundle encloses nothing.
    placeApp(u"/Users/Shared/Tools.app/Helper.app"_s, helper);
    // Staging folders beside their destination are hidden.
    placeApp(u"/Applications/.staging/Helper.app"_s, helper, false);
    placeApp(u"/Library2/Helper.app"_s, helper);
    placeApp(u"~/Library/Helpers/Helper.app"_s, helper);
    placeApp(u"/Users/Shared/Other.app"_s, other);

    const QStringList ignored = AFXDetectIgnoredPaths();
    EXPECT_EQ(pathsBelowRoot(AFXDetectAppURLsWithIgnoredPaths({helper, other, helper}, ignored, false)),
              (std::vector<std::string>{"/Users/Shared/Tools.app/Helper.app", "/Users/Shared/Other.app"}));
    EXPECT_EQ(pathsBelowRoot(AFXDetectAppURLsWithIgnoredPaths({helper}, ignored, true)),
              (std::vector<std::string>{"/Applications/Host.app/Contents/Library/LoginItems/Helper.app",
                                        "/Users/Shared/Tools.app/Helper.app"}));
    // Without ignored paths only the hidden and the nested copies drop out.
    EXPECT_EQ(pathsBelowRoot(AFXDetectAppURLsWithIgnoredPaths({helper}, {}, false)),
              (std::vector<std::string>{"/Users/Shared/Tools.app/Helper.app", "/Library2/Helper.app",
                                        "/home/Library/Helpers/Helper.app"}));
}

// Without a root, parts of "~/Library" live in XDG folders and temporary
// files in the temporary directory: the lists must hide copies where they
// really are, as the copies' own paths spell them.
TEST(InstalledAppDiscovery, IgnoredPathsFollowTheFoldersCopiesReallyLieInWithoutARoot) {
    const QString home = testRoot() + u"/real-home"_s;
    const QString temporary = testRoot() + u"/real-tmp"_s;
    ASSERT_TRUE(QDir().mkpath(home));
    ASSERT_TRUE(QDir().mkpath(temporary));
    const EnvironmentOverride environment{
        {"KESTREL_ROOT", std::nullopt},      {"HOME", home.toLocal8Bit()},
        {"TMPDIR", temporary.toLocal8Bit()}, {"XDG_CONFIG_HOME", std::nullopt},
        {"XDG_DATA_HOME", std::nullopt},     {"XDG_CACHE_HOME", std::nullopt},
        {"XDG_STATE_HOME", std::nullopt}};
    ASSERT_TRUE(Paths::root().isEmpty());
    const QString helper = u"com.example.Helper"_s;
    const QString support = placeApp(u"~/Library/Application Support/Helper/Helper.app"_s, helper);
    const QString cache = placeApp(u"~/Library/Caches/Helper/Helper.app"_s, helper);
    const QString staged = Paths::temporaryDirectory() + u"/7D1C2A/Helper.app"_s;
    ASSERT_TRUE(makeAppBundle(staged, appInfo(helper)));
    ASSERT_TRUE(LaunchServices::registerURL(QUrl::fromLocalFile(staged)));
    const QString installed = placeApp(u"~/Applications/Helper.app"_s, helper, false);
    // Where they landed: below the home's XDG folders and the temporary directory.
    ASSERT_EQ(support, home + u"/.local/share/kestrel/Application Support/Helper/Helper.app"_s);
    ASSERT_EQ(cache, home + u"/.cache/kestrel/Caches/Helper/Helper.app"_s);
    ASSERT_TRUE(staged.startsWith(temporary));

    auto pathsOf = [](const QList<QUrl>& urls) {
        QStringList paths;
        for (const QUrl& url : urls) {
            paths << url.toLocalFile();
        }
        return paths;
    };
    auto detected = [&](const QStringList& ignored) {
        return pathsOf(AFXURLsForAppWithBundleIDIgnoringPaths(helper, ignored));
    };
    ASSERT_EQ(detected({}).size(), 4);
    EXPECT_EQ(detected(AFXDetectIgnoredPaths()), QStringList{installed});
    EXPECT_EQ(detected(AFXDetectIgnoredPathsForDesktopClient()), (QStringList{support, installed}));
    EXPECT_EQ(pathsOf(AFXDetectAppURLsWithIgnoredPaths({helper}, AFXDetectIgnoredPaths(), false)),
              QStringList{installed});
}

TEST(InstalledAppDiscovery, OpeningAStoreURLStartsThePickedClientCopy) {
    const QString record = testRoot() + u"/opened"_s;
    const QByteArray script = "#!/bin/sh\nprintf '%s\\n' \"$0\" \"$@\" > '" + QFile::encodeName(record) +
                              ".tmp' && mv '" + QFile::encodeName(record) + ".tmp' '" +
                              QFile::encodeName(record) + "'\n";
    const QString home = Paths::resolve(u"~/Applications/Kestrel.app"_s);
    const QString machine = Paths::resolve(u"/Applications/Kestrel.app"_s);
    ASSERT_TRUE(makeAppBundle(home, appInfo(kClient), script));
    ASSERT_TRUE(LaunchServices::registerURL(QUrl::fromLocalFile(home)));
    ASSERT_TRUE(makeAppBundle(machine, appInfo(kClient), script));

    const QUrl url(u"kestreldiscovery://open_collection?collection_id=0&app_id=230"_s);
    ASSERT_TRUE(afx_openURLWithDesktopClient(url));
    ASSERT_TRUE(waitUntil([&] { return QFileInfo::exists(record); }));
    EXPECT_EQ(QString::fromLocal8Bit(readFile(record)),
              machine + u"/Contents/MacOS/Recorder\n"_s + url.toString(QUrl::FullyEncoded) + u'\n');
}

TEST(BundleInfo, ReadsStringValuesOnlyAndNothingForMissingBundles) {
    const QString path = Paths::resolve(u"/Applications/Notes.app"_s);
    ASSERT_TRUE(
        makeAppBundle(path, appInfo(u"com.example.Notes"_s, {{u"CFBundleShortVersionString"_s, u"2.1"_s},
                                                             {u"CFBundleVersion"_s, 2104},
                                                             {u"CFBundleName"_s, u""_s}})));
    const QUrl url = QUrl::fromLocalFile(path);
    EXPECT_EQ(BRShortVersionStringFromBundleAtURL(url), u"2.1"_s);
    EXPECT_EQ(BRBundleIDFromInfoDictionry(*BRInfoDictionaryForBundleAtURL(url)), u"com.example.Notes"_s);
    EXPECT_EQ(BRVersionStringFromBundleAtURL(url), std::nullopt) << "a number is no version string";
    EXPECT_EQ(BRNameFromBundleAtURL(url), u""_s) << "an empty name is still a name";
    EXPECT_FALSE(
        BRInfoDictionaryForBundleAtURL(QUrl::fromLocalFile(Paths::resolve(u"/Applications/Gone.app"_s))));
}
