#include "PlatformPrinters.h"
#include "platform/ExtendedAttributes.h"
#include "platform/FileManager.h"
#include "platform/ItemCopier.h"
#include "testing/TestSupport.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <chrono>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace platform;
using testing_support::readFile;
using testing_support::testRoot;
using testing_support::writeFile;

namespace {

int modeOf(const QString& path) {
    struct stat status {};
    ::lstat(QFile::encodeName(path).constData(), &status);
    return static_cast<int>(status.st_mode & 07777);
}

bool chmodPath(const QString& path, int mode) {
    return ::chmod(QFile::encodeName(path).constData(), static_cast<mode_t>(mode)) == 0;
}

} // namespace

TEST(FileManagerTests, ACopyKeepsContentsModesLinksAndAttributesOrAppliesTheOptions) {
    const QString source = testRoot() + "/Source.app";
    // Larger than one read of the fallback copy, with a tail.
    QByteArray large(3 * 256 * 1024 + 17, Qt::Uninitialized);
    for (qsizetype i = 0; i < large.size(); ++i) {
        large[i] = static_cast<char>(i * 31 % 251);
    }
    ASSERT_TRUE(writeFile(source + "/Contents/MacOS/Tool", "#!/bin/sh\n") &&
                writeFile(source + "/Contents/Resources/large.bin", large) &&
                writeFile(source + "/Contents/Resources/empty", ""));
    ASSERT_TRUE(chmodPath(source + "/Contents/MacOS/Tool", 04700) &&
                chmodPath(source + "/Contents/Resources/large.bin", 0640));
    ASSERT_TRUE(QFile::link("large.bin", source + "/Contents/Resources/Link") &&
                QFile::link("gone", source + "/Contents/Resources/Dangling"));
    ASSERT_TRUE(ExtendedAttributes::set(source, "com.kestrel.tag", "root") &&
                ExtendedAttributes::set(source + "/Contents/MacOS/Tool", "com.kestrel.tag", "tool") &&
                ExtendedAttributes::set(source + "/Contents/MacOS/Tool", "com.apple.quarantine", "q"));
    // Filled only after its contents are in, so a read-only folder copies.
    ASSERT_TRUE(chmodPath(source + "/Contents/Resources", 0500));

    struct Case {
        const char* name;
        FileManager::CopyOptions options;
        int toolMode;
        int resourcesMode;
        bool quarantineKept;
    };
    const std::vector<Case> cases = {
        {"plain", {}, 04700, 0500, true},
        {"with options",
         {[](mode_t mode) { return mode | 0055; }, {"com.apple.quarantine"}},
         04755,
         0555,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString copy = testRoot() + "/Copies/" + c.name + "/Copy.app";
        ASSERT_TRUE(FileManager::createDirectory(testRoot() + "/Copies/" + c.name, true));
        Error error(QString(), 0);
        ASSERT_TRUE(FileManager::copyItem(source, copy, c.options, &error))
            << error.description().toStdString();

        EXPECT_EQ(readFile(copy + "/Contents/Resources/large.bin"), large);
        EXPECT_EQ(readFile(copy + "/Contents/Resources/empty"), QByteArray());
        EXPECT_EQ(modeOf(copy + "/Contents/MacOS/Tool"), c.toolMode);
        EXPECT_EQ(modeOf(copy + "/Contents/Resources"), c.resourcesMode);
        EXPECT_EQ(QFile::symLinkTarget(copy + "/Contents/Resources/Link"),
                  copy + "/Contents/Resources/large.bin");
        EXPECT_TRUE(QFileInfo(copy + "/Contents/Resources/Dangling").isSymLink());
        EXPECT_EQ(ExtendedAttributes::get(copy, "com.kestrel.tag"), QByteArray("root"));
        EXPECT_EQ(ExtendedAttributes::get(copy + "/Contents/MacOS/Tool", "com.kestrel.tag"),
                  QByteArray("tool"));
        EXPECT_EQ(ExtendedAttributes::get(copy + "/Contents/MacOS/Tool", "com.apple.quarantine").has_value(),
                  c.quarantineKept);
        EXPECT_EQ(modeOf(source + "/Contents/MacOS/Tool"), 04700) << "the source is left as it was";
    }
    chmodPath(source + "/Contents/Resources", 0700);

    Error error(QString(), 0);
    EXPECT_FALSE(FileManager::copyItem(source, testRoot() + "/Copies/plain/Copy.app", &error));
    EXPECT_EQ(error.code(), EEXIST);
}

TEST(FileManagerTests, ACopyRefusesWhatIsNeitherFileFolderNorLinkWithoutWaitingOnIt) {
    const QString source = testRoot() + "/Source.app";
    ASSERT_TRUE(writeFile(source + "/a", "a"));
    // Opening a pipe for reading would wait for a writer that never comes.
    ASSERT_EQ(::mkfifo(QFile::encodeName(source + "/pipe").constData(), 0644), 0);
    Error error(QString(), 0);
    EXPECT_FALSE(FileManager::copyItem(source, testRoot() + "/Copy.app", &error));
    EXPECT_EQ(error.code(), ENOTSUP);
    EXPECT_EQ(error.domain(), NSPOSIXErrorDomain);
    EXPECT_FALSE(QFileInfo::exists(testRoot() + "/Copy.app")) << "the half copy stayed";

    EXPECT_FALSE(FileManager::copyItem(testRoot() + "/missing", testRoot() + "/Other", &error));
    EXPECT_EQ(error.code(), ENOENT);
}

// An item another process puts at the destination after the copy looked
// makes the copy fail; it is not the copy's to remove. What the copy made
// itself before failing is.
TEST(FileManagerTests, ACopyTellsWhetherItMadeTheDestination) {
    const QString file = testRoot() + "/file";
    const QString folder = testRoot() + "/Folder.app";
    ASSERT_TRUE(writeFile(file, "mine"));
    ASSERT_TRUE(writeFile(folder + "/a", "a"));
    const QString theirs = testRoot() + "/theirs";
    for (const QString& source : {file, folder}) {
        ASSERT_TRUE(writeFile(theirs, "theirs"));
        const FileManager::CopyOptions options;
        ItemCopier copier(options);
        EXPECT_FALSE(copier.copy(QFile::encodeName(source), QFile::encodeName(theirs)));
        EXPECT_EQ(copier.failure(), EEXIST);
        EXPECT_FALSE(copier.madeDestination()) << source.toStdString();
        EXPECT_EQ(readFile(theirs), "theirs");
        ASSERT_TRUE(QFile::remove(theirs));
    }

    ASSERT_EQ(::mkfifo(QFile::encodeName(folder + "/pipe").constData(), 0644), 0);
    const FileManager::CopyOptions options;
    ItemCopier copier(options);
    EXPECT_FALSE(copier.copy(QFile::encodeName(folder), QFile::encodeName(testRoot() + "/Copy.app")));
    EXPECT_EQ(copier.failure(), ENOTSUP);
    EXPECT_TRUE(copier.madeDestination());
}

TEST(FileManagerTests, CreatingAFolderThatIsThereAlreadyAcceptsALinkToOneButNotAFile) {
    const QString folder = testRoot() + "/Elsewhere/Applications";
    ASSERT_TRUE(FileManager::createDirectory(folder, true));
    const QString linked = testRoot() + "/home/Applications";
    ASSERT_TRUE(FileManager::createDirectory(testRoot() + "/home", true));
    ASSERT_TRUE(QFile::link(folder, linked));
    EXPECT_TRUE(FileManager::createDirectory(linked, false));
    EXPECT_TRUE(FileManager::createDirectory(linked, true));

    const QString file = testRoot() + "/home/notes.txt";
    ASSERT_TRUE(writeFile(file, "notes"));
    for (const bool intermediate : {false, true}) {
        Error error(QString(), 0);
        EXPECT_FALSE(FileManager::createDirectory(file, intermediate, &error));
        EXPECT_NE(error.code(), 0);
    }
}

TEST(FileManagerTests, DiscardingTakesTheNamesAtOnceAndNothingThatLivesOnElsewhere) {
    // Large enough for their pages to be given back after the removal.
    const QByteArray large(9 * 1024 * 1024, 'k');
    const QString folder = testRoot() + "/Removed";
    ASSERT_TRUE(FileManager::createDirectory(folder + "/Inner", true));
    ASSERT_TRUE(writeFile(folder + "/archive.zip", large));
    ASSERT_TRUE(writeFile(folder + "/Inner/padding.bin", large));
    ASSERT_TRUE(writeFile(folder + "/small.txt", "small"));
    const QString hardLink = testRoot() + "/kept.zip";
    ASSERT_EQ(::link(QFile::encodeName(folder + "/archive.zip").constData(),
                     QFile::encodeName(hardLink).constData()),
              0);
    const QString outside = testRoot() + "/outside.bin";
    ASSERT_TRUE(writeFile(outside, large));
    ASSERT_TRUE(QFile::link(outside, folder + "/Inner/outside.bin"));
    const QString single = testRoot() + "/single.bin";
    ASSERT_TRUE(writeFile(single, large));
    // Somebody still reading the archive, as an unpacking that followed it would.
    const int reader =
        ::open(QFile::encodeName(folder + "/Inner/padding.bin").constData(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(reader, 0);

    EXPECT_TRUE(FileManager::discardItem(folder));
    EXPECT_TRUE(FileManager::discardItem(single));
    EXPECT_FALSE(QFileInfo::exists(folder));
    EXPECT_FALSE(QFileInfo::exists(single));
    // The discarded file is emptied (its pages given back) after the call.
    struct stat status {};
    EXPECT_TRUE(
        testing_support::waitUntil([&] { return ::fstat(reader, &status) == 0 && status.st_size == 0; }));
    ::close(reader);
    // The other files of the same call, which go in the same breath.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_TRUE(readFile(hardLink) == large) << readFile(hardLink).size() << " bytes";
    EXPECT_TRUE(readFile(outside) == large) << readFile(outside).size() << " bytes";

    Error error(QString(), 0);
    EXPECT_FALSE(FileManager::discardItem(folder, &error));
    EXPECT_EQ(error.code(), ENOENT);
}
