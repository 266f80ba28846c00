#include "../support/LogCapture.h"
#include "SpecificTools/AFXAppInstaller/AFXAppPlacement.h"
#include "SpecificTools/AFXAppInstaller/AFXAttributesStorage.h"
#include "SpecificTools/AFXAppInstaller/AFXFixPermissions.h"
#include "SpecificTools/AFXAppInstaller/AFXGlobals.h"
#include "SpecificTools/AFXAppInstaller/AFXInstallApp.h"
#include "SpecificTools/Errors/AFXErrors.h"
#include "platform/DesktopEntry.h"
#include "platform/ExtendedAttributes.h"
#include "platform/LaunchServices.h"
#include "testing/AppBundleMaker.h"
#include "testing/LaunchpadIndexerProcess.h"
#include "testing/TestSupport.h"
#include "testing/ZipMaker.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <map>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

using testing_support::LoggersRemover;
using testing_support::readFile;
using testing_support::RecordingLogger;
using testing_support::testRoot;
using testing_support::writeFile;

namespace {

// Everything below a folder, as relative path → kind, mode and content (or
// link target), so two trees compare byte for byte.
std::map<std::string, std::string> treeOf(const QString& folder) {
    std::map<std::string, std::string> tree;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        struct stat status {};
        ::lstat(QFile::encodeName(path).constData(), &status);
        std::string entry = std::to_string(status.st_mode) + ":";
        if (S_ISLNK(status.st_mode)) {
            entry += QFile::symLinkTarget(path).toStdString();
        } else if (S_ISREG(status.st_mode)) {
            entry += readFile(path).toStdString();
        }
        tree[QDir(folder).relativeFilePath(path).toStdString()] = entry;
    }
    return tree;
}

int modeOf(const QString& path) {
    struct stat status {};
    ::lstat(QFile::encodeName(path).constData(), &status);
    return static_cast<int>(status.st_mode & 07777);
}

bool chmodPath(const QString& path, int mode) {
    return ::chmod(QFile::encodeName(path).constData(), static_cast<mode_t>(mode)) == 0;
}

// A bundle with a few files, a private file, a link and an attribute.
void makeNotes(const QString& path, const QByteArray& version) {
    ASSERT_TRUE(testing_support::makeAppBundle(
        path,
        testing_support::appInfo(
            "com.example.notes",
            {{"CFBundleDisplayName", "Orbit Notes"},
             {"CFBundleIconFile", "Notes"},
             {"CFBundleURLTypes", platform::Value::Array{platform::Value::Dictionary{
                                      {"CFBundleURLSchemes", platform::Value::Array{"orbitnotes"}}}}}}),
        "#!/bin/sh\necho " + version + "\n"));
    ASSERT_TRUE(writeFile(path + "/Contents/Resources/Notes.png", "png " + version));
    ASSERT_TRUE(writeFile(path + "/Contents/Resources/private.db", "db " + version));
    ASSERT_TRUE(chmodPath(path + "/Contents/Resources/private.db", 0600));
    ASSERT_TRUE(QFile::link("Notes.png", path + "/Contents/Resources/Icon.png"));
}

// Files where the framework's temporary folders belong (the shared name
// and this user's own): no backup folder can be made. Answers whether
// both could be written.
bool blockTemporaryFolders() {
    bool blocked = true;
    for (const QString& folder :
         {testRoot() + "/tmp/com.kestrel.DesktopClient",
          testRoot() + "/tmp/com.kestrel.DesktopClient-" + QString::number(::geteuid())}) {
        QDir(folder).removeRecursively();
        blocked = writeFile(folder, "a file where a folder belongs") && blocked;
    }
    return blocked;
}

void unblockTemporaryFolders() {
    QFile::remove(testRoot() + "/tmp/com.kestrel.DesktopClient");
    QFile::remove(testRoot() + "/tmp/com.kestrel.DesktopClient-" + QString::number(::geteuid()));
}

QStringList leftoverBackups() {
    return QDir(testRoot() + "/tmp/com.kestrel.DesktopClient")
        .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

// Makes an item unchangeable, even for root, and undoes it when gone.
class ImmutableFlag {
public:
    explicit ImmutableFlag(QString path) : path_(std::move(path)) {
        set_ = testing_support::runProgram("/usr/bin/chattr", {"+i", path_}).status == 0;
    }
    ~ImmutableFlag() {
        if (set_) {
            testing_support::runProgram("/usr/bin/chattr", {"-i", path_});
        }
    }
    bool isSet() const { return set_; }

private:
    QString path_;
    bool set_ = false;
};

} // namespace

TEST(AppPlacementTests, PlacingOverAnOldCopyCarriesItsMarksOverAndMakesTheNewOneUsable) {
    const QString source = testRoot() + "/Downloads/Orbit Notes.app";
    const QString destination = testRoot() + "/Applications/100% Notes.app";
    makeNotes(source, "2.0");
    makeNotes(destination, "1.0");
    ASSERT_TRUE(chmodPath(source + "/Contents/MacOS/Recorder", 0700));
    ASSERT_TRUE(platform::ExtendedAttributes::set(destination, "com.kestrel.tag", "favourite"));
    ASSERT_TRUE(platform::ExtendedAttributes::set(destination, "com.apple.quarantine", "0083;old"));
    ASSERT_TRUE(platform::ExtendedAttributes::set(source, "com.apple.quarantine", "0083;new"));
    ASSERT_TRUE(
        platform::ExtendedAttributes::set(source + "/Contents/Info.plist", "com.apple.quarantine", "q"));
    platform::Error error(QString(), 0);

    const auto placed =
        AFXMoveApp(QUrl::fromLocalFile(source), QUrl::fromLocalFile(destination), false, &error);

    ASSERT_TRUE(placed) << error.description().toStdString();
    EXPECT_EQ(placed->toLocalFile(), destination);
    EXPECT_FALSE(QFileInfo::exists(source));
    EXPECT_EQ(readFile(destination + "/Contents/Resources/private.db"), "db 2.0");
    EXPECT_EQ(modeOf(destination + "/Contents/MacOS/Recorder"), 0777);
    EXPECT_EQ(modeOf(destination + "/Contents/Resources/private.db"), 0666);
    EXPECT_EQ(QFile::symLinkTarget(destination + "/Contents/Resources/Icon.png"),
              destination + "/Contents/Resources/Notes.png");
    EXPECT_EQ(platform::ExtendedAttributes::get(destination, "com.kestrel.tag"), QByteArray("favourite"));
    EXPECT_FALSE(platform::ExtendedAttributes::get(destination, "com.apple.quarantine"))
        << "the old copy's quarantine does not come back";
    EXPECT_FALSE(
        platform::ExtendedAttributes::get(destination + "/Contents/Info.plist", "com.apple.quarantine"));
    EXPECT_TRUE(leftoverBackups().isEmpty()) << leftoverBackups().join(", ").toStdString();
    EXPECT_EQ(platform::LaunchServices::applicationURLsForBundleIdentifier("com.example.notes").value(0),
              QUrl::fromLocalFile(destination));

    const QString entry = readFile(platform::DesktopEntry::pathForBundleIdentifier("com.example.notes"));
    EXPECT_TRUE(entry.startsWith("[Desktop Entry]\nType=Application\n")) << entry.toStdString();
    const QString executable = destination + "/Contents/MacOS/Recorder";
    EXPECT_TRUE(entry.contains("\nName=Orbit Notes\n")) << entry.toStdString();
    EXPECT_TRUE(entry.contains("\nExec=\"" + QString(executable).replace("%", "%%") + "\" %U\n"))
        << entry.toStdString();
    EXPECT_TRUE(entry.contains("\nIcon=" + destination + "/Contents/Resources/Notes.png\n"))
        << entry.toStdString();
    EXPECT_TRUE(entry.contains("\nMimeType=x-scheme-handler/orbitnotes;\n")) << entry.toStdString();
    EXPECT_EQ(platform::DesktopEntry::pathForBundleIdentifier("com.example.notes"),
              testRoot() + "/home/.local/share/applications/kestrel-com.example.notes.desktop");
}

TEST(AppPlacementTests, ACopyIsOpenedUpAndFreeOfQuarantineWhileItsSourceStaysAsItWas) {
    const QString source = testRoot() + "/Downloads/Notes.app";
    const QString destination = testRoot() + "/Applications/Notes.app";
    makeNotes(source, "2.0");
    ASSERT_TRUE(chmodPath(source + "/Contents/MacOS/Recorder", 0700));
    ASSERT_TRUE(chmodPath(source + "/Contents/Resources", 0500));
    for (const QString& item : {source, source + "/Contents/Info.plist"}) {
        ASSERT_TRUE(platform::ExtendedAttributes::set(item, "com.apple.quarantine", "0083;new"));
        ASSERT_TRUE(platform::ExtendedAttributes::set(item, "com.kestrel.tag", "kept"));
    }
    const auto sourceTree = treeOf(source);
    platform::Error error(QString(), 0);

    const auto placed =
        AFXCopyApp(QUrl::fromLocalFile(source), QUrl::fromLocalFile(destination), false, &error);

    ASSERT_TRUE(placed) << error.description().toStdString();
    EXPECT_EQ(modeOf(destination), 0777);
    EXPECT_EQ(modeOf(destination + "/Contents/MacOS/Recorder"), 0777);
    EXPECT_EQ(modeOf(destination + "/Contents/Resources"), 0555);
    EXPECT_EQ(modeOf(destination + "/Contents/Resources/private.db"), 0666);
    EXPECT_EQ(modeOf(destination + "/Contents/Resources/Notes.png"), 0666);
    for (const QString& item : {destination, destination + "/Contents/Info.plist"}) {
        EXPECT_FALSE(platform::ExtendedAttributes::get(item, "com.apple.quarantine")) << item.toStdString();
        EXPECT_EQ(platform::ExtendedAttributes::get(item, "com.kestrel.tag"), QByteArray("kept"))
            << item.toStdString();
    }
    EXPECT_EQ(treeOf(source), sourceTree);
    EXPECT_EQ(platform::ExtendedAttributes::get(source, "com.apple.quarantine"), QByteArray("0083;new"));
    chmodPath(source + "/Contents/Resources", 0755);
}

TEST(AppPlacementTests, EveryFailedPlacementLeavesTheOldCopyAsItWas) {
    const QString folder = testRoot() + "/Applications/Work";
    const QString destination = folder + "/Notes.app";
    const QString source = testRoot() + "/Downloads/Notes.app";
    makeNotes(destination, "1.0");
    ASSERT_TRUE(platform::ExtendedAttributes::set(destination, "com.kestrel.tag", "old"));
    const auto oldTree = treeOf(destination);

    struct Case {
        const char* name;
        // A move within one file system is a rename, which no unreadable item stops.
        bool copyOnly;
        std::function<bool()> arrange;
        std::function<void()> undo;
    };
    std::unique_ptr<ImmutableFlag> lockedFolder;
    // Set when this machine cannot make the case (root without the right to
    // set the immutable flag): the case is left out rather than failed.
    bool unavailable = false;
    const std::vector<Case> cases = {
        {"the source has vanished", false, [&] { return !QFileInfo::exists(source); }, [] {}},
        {"an item of the source cannot be copied half way", true,
         [&] {
             makeNotes(source, "2.0");
             return ::mkfifo(QFile::encodeName(source + "/Contents/Resources/zz-pipe").constData(), 0644) ==
                    0;
         },
         [&] { QDir(source).removeRecursively(); }},
        {"no backup folder can be made, so the old copy cannot move aside", false,
         [&] {
             makeNotes(source, "2.0");
             return blockTemporaryFolders();
         },
         [&] {
             unblockTemporaryFolders();
             QDir(source).removeRecursively();
         }},
        {"the destination folder is read-only", false,
         [&] {
             makeNotes(source, "2.0");
             if (::geteuid() != 0) {
                 return chmodPath(folder, 0555);
             }
             // Permission bits do not stop root; the immutable flag does.
             lockedFolder = std::make_unique<ImmutableFlag>(folder);
             unavailable = !lockedFolder->isSet();
             return lockedFolder->isSet();
         },
         [&] {
             lockedFolder.reset();
             chmodPath(folder, 0755);
             QDir(source).removeRecursively();
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.arrange()) {
            if (!unavailable) {
                ADD_FAILURE() << "could not arrange: " << c.name;
            }
            c.undo();
            unavailable = false;
            continue;
        }
        for (const bool move : {false, true}) {
            if (move && c.copyOnly) {
                continue;
            }
            platform::Error error(QString(), 0);
            const auto placed = move ? AFXMoveApp(QUrl::fromLocalFile(source),
                                                  QUrl::fromLocalFile(destination), false, &error)
                                     : AFXCopyApp(QUrl::fromLocalFile(source),
                                                  QUrl::fromLocalFile(destination), false, &error);
            EXPECT_FALSE(placed) << (move ? "move" : "copy");
            EXPECT_NE(error.code(), 0) << (move ? "move" : "copy");
            EXPECT_EQ(treeOf(destination), oldTree) << (move ? "move" : "copy");
            EXPECT_EQ(platform::ExtendedAttributes::get(destination, "com.kestrel.tag"), QByteArray("old"));
            EXPECT_TRUE(leftoverBackups().isEmpty()) << leftoverBackups().join(", ").toStdString();
        }
        c.undo();
    }
}

TEST(AppPlacementTests, ACopyThatFailsHalfWayLeavesNothingWhereThereWasNothing) {
    const QString destination = testRoot() + "/Applications/Notes.app";
    const QString source = testRoot() + "/Downloads/Notes.app";
    makeNotes(source, "2.0");
    ASSERT_TRUE(QDir().mkpath(testRoot() + "/Applications"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(source + "/Contents/Resources/zz-pipe").constData(), 0644), 0);
    platform::Error error(QString(), 0);
    EXPECT_FALSE(AFXCopyApp(QUrl::fromLocalFile(source), QUrl::fromLocalFile(destination), false, &error));
    EXPECT_NE(error.code(), 0);
    EXPECT_FALSE(QFileInfo::exists(destination)) << "a half copy passes for the app";
}

TEST(AppPlacementTests, TemporaryFoldersArePrivateAndNeverSomebodyElses) {
    const QString shared = testRoot() + "/tmp/com.kestrel.DesktopClient";
    const auto first = AFXGlobals::makeTemporaryDirectory();
    ASSERT_TRUE(first);
    EXPECT_TRUE(first->startsWith(shared + "/"));
    EXPECT_EQ(modeOf(shared), 0700);
    EXPECT_EQ(modeOf(*first), 0700);

    // A shared folder that others may change, or a link in its place, is
    // not used: this user's own name is.
    const QString elsewhere = testRoot() + "/elsewhere";
    ASSERT_TRUE(QDir().mkpath(elsewhere));
    for (const auto& arrange : std::vector<std::function<bool()>>{
             [&] { return chmodPath(shared, 0777); },
             [&] { return QDir(shared).removeRecursively() && QFile::link(elsewhere, shared); }}) {
        ASSERT_TRUE(arrange());
        const auto made = AFXGlobals::makeTemporaryDirectory();
        ASSERT_TRUE(made);
        EXPECT_TRUE(made->startsWith(shared + "-" + QString::number(::geteuid()) + "/"))
            << made->toStdString();
    }
    EXPECT_TRUE(QDir(elsewhere).isEmpty());
}

TEST(AppPlacementTests, AMissingSourceOrDestinationIsAMissingObject) {
    const QString destination = testRoot() + "/Applications/Notes.app";
    platform::Error error(QString(), 0);
    EXPECT_FALSE(AFXCopyApp(QUrl::fromLocalFile(testRoot() + "/nowhere.app"),
                            QUrl::fromLocalFile(destination), false, &error));
    EXPECT_EQ(error, afx_makeErrorOfMissingObjectOfKind("source url for putting app in place"));
    EXPECT_FALSE(QFileInfo::exists(destination));

    makeNotes(testRoot() + "/Downloads/Notes.app", "1");
    EXPECT_FALSE(AFXMoveApp(QUrl::fromLocalFile(testRoot() + "/Downloads/Notes.app"), QUrl(), false, &error));
    EXPECT_EQ(error, afx_makeErrorOfMissingObjectOfKind("destination url for installation"));
    EXPECT_TRUE(QFileInfo::exists(testRoot() + "/Downloads/Notes.app"));
}

TEST(AppPlacementTests, PermissionsOpenUpWhatTheOwnerHasAndLeaveLinkTargetsAlone) {
    const QString root = testRoot() + "/Tree.app";
    const QString outside = testRoot() + "/outside.txt";
    ASSERT_TRUE(writeFile(root + "/a", "a") && writeFile(root + "/b", "b") &&
                writeFile(root + "/sub/c", "c"));
    ASSERT_TRUE(writeFile(outside, "o") && chmodPath(outside, 0600));
    ASSERT_TRUE(QFile::link(outside, root + "/sub/link"));
    ASSERT_TRUE(chmodPath(root + "/a", 0700) && chmodPath(root + "/b", 0644) &&
                chmodPath(root + "/sub/c", 04755));
    ASSERT_TRUE(chmodPath(root + "/sub", 0700) && chmodPath(root, 0700));

    EXPECT_TRUE(AFXFixPermissionsRecursive(QUrl::fromLocalFile(root)));

    EXPECT_EQ(modeOf(root), 0777);
    EXPECT_EQ(modeOf(root + "/a"), 0777);
    EXPECT_EQ(modeOf(root + "/b"), 0666);
    EXPECT_EQ(modeOf(root + "/sub"), 0777);
    EXPECT_EQ(modeOf(root + "/sub/c"), 04777) << "special bits are kept";
    EXPECT_EQ(modeOf(outside), 0600) << "a link's target outside the bundle is not touched";

    // A fix that fails goes to the handler, which may stop the walk.
    ASSERT_TRUE(chmodPath(root + "/b", 0600));
    ImmutableFlag locked(root + "/b");
    if (!locked.isSet()) {
        GTEST_SKIP() << "the immutable flag needs privileges";
    }
    QStringList failures;
    EXPECT_FALSE(AFXFixPermissionsRecursive(QUrl::fromLocalFile(root), [&](const platform::Error& error) {
        failures << error.localizedDescription();
        return false;
    }));
    EXPECT_EQ(failures.size(), 1);
    EXPECT_TRUE(AFXFixPermissionsRecursive(QUrl::fromLocalFile(root)))
        << "without a handler failures are ignored";
    platform::Error error(QString(), 0);
    EXPECT_FALSE(AFXFixPermissions(QUrl::fromLocalFile(root + "/b"), &error));
    EXPECT_EQ(error.domain(), platform::NSPOSIXErrorDomain);
}

TEST(AppPlacementTests, AnAttributeThatCannotBeSetDoesNotKeepTheOthersOff) {
    const QString item = testRoot() + "/item";
    ASSERT_TRUE(writeFile(item, "x"));
    ASSERT_TRUE(platform::ExtendedAttributes::set(item, "com.kestrel.a", QByteArray("1\0two", 5)));
    ASSERT_TRUE(platform::ExtendedAttributes::set(item, "com.kestrel.b", ""));
    const auto storage = AFXAttributesStorage::storageForURL(QUrl::fromLocalFile(item));
    EXPECT_EQ(storage.attributesByName(),
              (AFXAttributesStorage::AttributesByName{{"com.kestrel.a", QByteArray("1\0two", 5)},
                                                      {"com.kestrel.b", ""}}));
    EXPECT_TRUE(AFXAttributesStorage::storageForURL(QUrl::fromLocalFile(testRoot() + "/none"))
                    .attributesByName()
                    .isEmpty());

    auto attributes = storage.attributesByName();
    // Larger than any file system lets one attribute be.
    attributes.insert("com.kestrel.huge", QByteArray(70000, 'h'));
    const QString other = testRoot() + "/other";
    ASSERT_TRUE(writeFile(other, "y"));
    AFXAttributesStorage::makeWithAttributesByName(attributes)
        .setAttributesForURL(QUrl::fromLocalFile(other));
    EXPECT_EQ(AFXAttributesStorage::storageForURL(QUrl::fromLocalFile(other)).attributesByName(),
              storage.attributesByName());
}

TEST(AppPlacementTests, InstallingAnArchiveReportsEveryStageEvenAfterAFailure) {
    const QString archive = testRoot() + "/Notes.zip";
    ASSERT_TRUE(testing_support::makeZipWithPython(
        archive, {{"Notes.app/Contents/Info.plist",
                   *platform::PropertyList::write(testing_support::appInfo("com.example.notes"),
                                                  platform::PropertyList::Format::XML),
                   0644,
                   {}},
                  {"Notes.app/Contents/MacOS/Recorder", "#!/bin/sh\n", 0700, {}}}));
    const QString folder = testRoot() + "/Applications";
    QList<double> progress;
    const auto report = [&](double value) { progress << value; };
    platform::Error error(QString(), 0);
    // What each installation unpacked goes, placed or not.
    const auto unpackedLeft = [] {
        return QDir(testRoot() + "/tmp")
            .entryList(QDir::Dirs | QDir::NoDotAndDotDot)
            .filter(QRegularExpression("^[0-9A-F]{8}-"));
    };

    // A link named like an app is refused, whatever the level: its target
    // could change between the check and its use.
    const QString linked = testRoot() + "/Linked.zip";
    ASSERT_TRUE(testing_support::makeZipWithPython(
        linked, {{"Notes.app", {}, 0777, "Real/Signed.app"},
                 {"Real/Signed.app/Contents/Info.plist",
                  *platform::PropertyList::write(testing_support::appInfo("com.example.notes"),
                                                 platform::PropertyList::Format::XML),
                  0644,
                  {}}}));
    EXPECT_FALSE(AFXInstallApp(QUrl::fromLocalFile(linked), QUrl::fromLocalFile(folder), true,
                               AFXValidationNone, false, report, &error));
    EXPECT_EQ(error.code(), -401042);
    EXPECT_FALSE(QFileInfo::exists(folder + "/Notes.app"));
    EXPECT_TRUE(unpackedLeft().isEmpty()) << unpackedLeft().join(", ").toStdString();

    // Unsigned: the team check fails after unpacking, nothing is placed.
    EXPECT_FALSE(AFXInstallApp(QUrl::fromLocalFile(archive), QUrl::fromLocalFile(folder), true,
                               AFXValidationTeam, false, report, &error));
    EXPECT_EQ(error.code(), -401042);
    EXPECT_DOUBLE_EQ(progress.value(progress.size() - 1), 0.9);
    EXPECT_DOUBLE_EQ(progress.value(progress.size() - 2), 0.8);
    EXPECT_FALSE(QFileInfo::exists(folder + "/Notes.app"));
    EXPECT_TRUE(unpackedLeft().isEmpty()) << unpackedLeft().join(", ").toStdString();

    progress.clear();
    const auto placed = AFXInstallApp(QUrl::fromLocalFile(archive), QUrl::fromLocalFile(folder), true,
                                      AFXValidationNone, false, report, &error);
    ASSERT_TRUE(placed);
    EXPECT_EQ(placed->toLocalFile(), folder + "/Notes.app");
    EXPECT_EQ(modeOf(folder + "/Notes.app/Contents/MacOS/Recorder"), 0777);
    EXPECT_EQ(progress.mid(progress.size() - 2), (QList<double>{0.9, 1.0}));
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_TRUE(unpackedLeft().isEmpty()) << unpackedLeft().join(", ").toStdString();

    // The old copy cannot be moved aside (no backup folder), so the move fails.
    ASSERT_TRUE(blockTemporaryFolders());
    progress.clear();
    EXPECT_FALSE(AFXInstallApp(QUrl::fromLocalFile(archive), QUrl::fromLocalFile(folder + "/Notes.app"),
                               false, AFXValidationNone, false, report, &error));
    EXPECT_EQ(error.domain(), platform::NSPOSIXErrorDomain);
    EXPECT_EQ(progress.mid(progress.size() - 2), (QList<double>{0.9, 1.0}));
    EXPECT_EQ(readFile(folder + "/Notes.app/Contents/MacOS/Recorder"), "#!/bin/sh\n");
}

TEST(AppPlacementTests, LaunchpadStagingHappensOnlyForASubfolderAndGivesAMovedSourceBack) {
    LoggersRemover remover;
    auto recorder = RecordingLogger::install();
    testing_support::LaunchpadIndexerProcess indexer;
    ASSERT_FALSE(indexer.start().isEmpty());
    const QString applications = testRoot() + "/Applications";
    platform::Error error(QString(), 0);

    makeNotes(testRoot() + "/Downloads/Notes.app", "1.0");
    ASSERT_TRUE(AFXMoveApp(QUrl::fromLocalFile(testRoot() + "/Downloads/Notes.app"),
                           QUrl::fromLocalFile(applications + "/Notes.app"), true, &error));
    BRLog::flushLog();
    EXPECT_FALSE(recorder->hasLineStartingWith(BRLogFlagInfo, "Launchpad:"))
        << "an app directly in the applications folder has no group to be filed into";

    makeNotes(testRoot() + "/Downloads/Notes.app", "2.0");
    const auto placed = AFXCopyApp(QUrl::fromLocalFile(testRoot() + "/Downloads/Notes.app"),
                                   QUrl::fromLocalFile(applications + "/Work/Notes.app"), true, &error);
    ASSERT_TRUE(placed) << error.description().toStdString();
    BRLog::flushLog();
    EXPECT_TRUE(recorder->hasLineStartingWith(BRLogFlagInfo, "Launchpad: Notes.app appeared in group"))
        << recorder->texts(BRLogFlagInfo).join("\n").toStdString();
    EXPECT_EQ(readFile(applications + "/Work/Notes.app/Contents/Resources/private.db"), "db 2.0");
    EXPECT_TRUE(QFileInfo::exists(testRoot() + "/Downloads/Notes.app")) << "a copy leaves its source";
    EXPECT_EQ(QDir(applications + "/Work").entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"Notes.app"})
        << "the staging folder is gone";

    // The final move fails (the old copy cannot be moved aside): the source
    // that was moved into the staging folder comes back to where it was.
    const QString source = testRoot() + "/Downloads/Notes.app";
    const auto sourceTree = treeOf(source);
    const auto oldTree = treeOf(applications + "/Work/Notes.app");
    ASSERT_TRUE(blockTemporaryFolders());
    recorder->clear();
    EXPECT_FALSE(AFXMoveApp(QUrl::fromLocalFile(source),
                            QUrl::fromLocalFile(applications + "/Work/Notes.app"), true, &error));
    BRLog::flushLog();
    EXPECT_TRUE(recorder->hasLineStartingWith(BRLogFlagInfo, "Launchpad: Notes.app"));
    EXPECT_EQ(treeOf(source), sourceTree);
    EXPECT_EQ(treeOf(applications + "/Work/Notes.app"), oldTree);
    EXPECT_EQ(QDir(applications + "/Work").entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"Notes.app"});
    EXPECT_TRUE(indexer.stop());
}
