#include "platform/Paths.h"
#include "support/BRFollowingUnarchiver.h"
#include "support/BRUnarchiver.h"
#include "testing/EnvironmentOverride.h"
#include "testing/TestSupport.h"
#include "testing/ZipMaker.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

using testing_support::readFile;
using testing_support::testRoot;
using testing_support::writeFile;
using testing_support::ZipEntry;

namespace {

const QUrl kArchiveURL("https://store.example/apps/Sample.zip");

// Unpacking archives as they are written, through a ditto that logs each
// of its runs before it does the work.
class UnarchiverFollowingTests : public testing::Test {
protected:
    void SetUp() override {
        tools_ = testRoot() + "/tools";
        ASSERT_TRUE(testing_support::writeRunCountingTool(tools_, "/usr/bin/ditto"));
        environment_ = std::make_unique<testing_support::EnvironmentOverride>(
            std::initializer_list<testing_support::EnvironmentOverride::Entry>{
                {"KESTREL_TOOLS_DIR", tools_.toLocal8Bit()}});

        // Several times what a pipe holds, so the tool reads while more is written.
        payload_.resize(3 * 1048576 + 123);
        QRandomGenerator generator(7);
        generator.fillRange(reinterpret_cast<quint32*>(payload_.data()), payload_.size() / 4);
        const QString zip = testRoot() + "/made.zip";
        ASSERT_TRUE(testing_support::makeZipWithPython(
            zip, {{"Sample.app/Contents/Info.plist", "<plist/>", 0644, {}},
                  {"Sample.app/Contents/MacOS/Sample", "#!/bin/sh\nexit 0\n", 0755, {}},
                  {"Sample.app/Contents/Resources/payload.bin", payload_, 0644, {}}}));
        archive_ = readFile(zip);
        ASSERT_FALSE(archive_.isEmpty());
        download_ = testRoot() + "/download.tmp";
        destination_ = testRoot() + "/Applications";
    }

    int dittoRuns() const { return testing_support::toolRuns(tools_); }

    // What the unpackings left in the temporary folder.
    static QStringList stagingFolders() {
        return QDir(platform::Paths::temporaryDirectory()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    }

    // Starts following the download's file, then writes `bytes` of the
    // archive to it in uneven pieces, telling the follower after each.
    std::shared_ptr<BRFollowingUnarchiver> writeFollowed(qsizetype bytes) {
        QFile file(download_);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        const int runs = dittoRuns();
        auto follower = BRUnarchiver::followArchiveBeingWritten(kArchiveURL, download_);
        EXPECT_TRUE(follower);
        // Counted only once the tool has logged its run.
        EXPECT_TRUE(testing_support::waitUntil([&] { return dittoRuns() > runs; }));
        qsizetype written = 0;
        for (qsizetype piece = 1000; written < bytes; piece = piece * 5 + 17) {
            const qsizetype size = std::min(piece, bytes - written);
            file.write(archive_.constData() + written, size);
            file.flush();
            written += size;
            if (follower) {
                follower->bytesWritten(written);
            }
        }
        return follower;
    }

    struct Outcome {
        std::optional<QUrl> folder;
        std::optional<platform::Error> error;
    };
    Outcome unpackInto(const QString& archive, const std::shared_ptr<BRFollowingUnarchiver>& follower) {
        Outcome outcome;
        BRUnarchiver::unpackArchiveAtURL(
            QUrl::fromLocalFile(archive), QUrl::fromLocalFile(destination_), false, nullptr,
            [&](const std::optional<QUrl>& folder, const std::optional<platform::Error>& error) {
                outcome.folder = folder;
                outcome.error = error;
            },
            follower);
        return outcome;
    }

    void expectSampleApp() const {
        EXPECT_EQ(readFile(destination_ + "/Sample.app/Contents/Info.plist"), "<plist/>");
        EXPECT_TRUE(QFileInfo(destination_ + "/Sample.app/Contents/MacOS/Sample").isExecutable());
        EXPECT_TRUE(readFile(destination_ + "/Sample.app/Contents/Resources/payload.bin") == payload_);
    }

    QString tools_;
    std::unique_ptr<testing_support::EnvironmentOverride> environment_;
    QByteArray payload_;
    QByteArray archive_;
    QString download_;
    QString destination_;
};

} // namespace

TEST_F(UnarchiverFollowingTests, AnArchiveUnpackedAsItWasWrittenIsTakenAsItIsAfterAMove) {
    auto follower = writeFollowed(archive_.size());
    ASSERT_TRUE(follower);
    // Downloads move the complete file to its place: still the file followed.
    const QString archive = testRoot() + "/Sample.zip";
    ASSERT_TRUE(QFile::rename(download_, archive));

    const Outcome outcome = unpackInto(archive, follower);

    ASSERT_FALSE(outcome.error) << outcome.error->description().toStdString();
    EXPECT_EQ(outcome.folder, QUrl::fromLocalFile(destination_));
    expectSampleApp();
    EXPECT_EQ(dittoRuns(), 1) << "the archive was unpacked once, as it arrived";
    EXPECT_TRUE(stagingFolders().isEmpty()) << stagingFolders().join(' ').toStdString();
}

TEST_F(UnarchiverFollowingTests, AFollowingThatCannotBeTakenLeavesNothingAndTheArchiveIsUnpackedAnyway) {
    struct Case {
        const char* name;
        std::function<QString(BRFollowingUnarchiver&)> complete;
        int dittoRuns;
    };
    const QList<Case> cases{
        {"cancelled half way, then completed",
         [&](BRFollowingUnarchiver& follower) {
             follower.cancel();
             QFile file(download_);
             EXPECT_TRUE(file.open(QIODevice::Append));
             file.write(archive_.mid(archive_.size() / 2));
             return download_;
         },
         2},
        {"completed as another file",
         [&](BRFollowingUnarchiver&) {
             const QString other = testRoot() + "/Other.zip";
             EXPECT_TRUE(writeFile(other, archive_));
             return other;
         },
         2},
        // The tool takes the rest from the file itself.
        {"completed with bytes the follower was never told of",
         [&](BRFollowingUnarchiver&) {
             QFile file(download_);
             EXPECT_TRUE(file.open(QIODevice::Append));
             file.write(archive_.mid(archive_.size() / 2));
             return download_;
         },
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(tools_ + "/runs.log");
        QDir(destination_).removeRecursively();
        QFile::remove(download_);
        auto follower = writeFollowed(archive_.size() / 2);
        ASSERT_TRUE(follower);
        const QString archive = c.complete(*follower);

        const Outcome outcome = unpackInto(archive, follower);

        ASSERT_FALSE(outcome.error) << outcome.error->description().toStdString();
        expectSampleApp();
        EXPECT_TRUE(stagingFolders().isEmpty()) << stagingFolders().join(' ').toStdString();
        EXPECT_EQ(dittoRuns(), c.dittoRuns);
    }
}

TEST_F(UnarchiverFollowingTests, WhatIsNoArchiveFailsAsItWouldWithoutFollowingAndLeavesNothing) {
    archive_ = QByteArray(300000, 'z');
    auto follower = writeFollowed(archive_.size());
    ASSERT_TRUE(follower);
    const QString archive = testRoot() + "/Sample.zip";
    ASSERT_TRUE(QFile::rename(download_, archive));

    const Outcome outcome = unpackInto(archive, follower);

    EXPECT_FALSE(outcome.folder);
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(outcome.error->domain(), platform::NSOSStatusErrorDomain);
    EXPECT_EQ(dittoRuns(), 2) << "the failure is the one of unpacking the archive itself";
    EXPECT_FALSE(QFileInfo::exists(destination_ + "/Sample.app"));
    EXPECT_TRUE(stagingFolders().isEmpty()) << stagingFolders().join(' ').toStdString();
}

TEST_F(UnarchiverFollowingTests, OnlyArchivesNamedZipAreFollowedAndADroppedFollowerEndsItsTool) {
    QFile file(download_);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    EXPECT_FALSE(
        BRUnarchiver::followArchiveBeingWritten(QUrl("https://store.example/Sample.dmg"), download_));
    EXPECT_FALSE(BRUnarchiver::followArchiveBeingWritten(kArchiveURL, testRoot() + "/missing.tmp"));
    EXPECT_EQ(dittoRuns(), 0);

    auto follower = BRUnarchiver::followArchiveBeingWritten(kArchiveURL, download_);
    ASSERT_TRUE(follower);
    file.write(archive_.left(100000));
    file.flush();
    follower->bytesWritten(100000);
    ASSERT_TRUE(testing_support::waitUntil([&] { return !stagingFolders().isEmpty(); }));
    follower.reset();
    EXPECT_TRUE(stagingFolders().isEmpty()) << stagingFolders().join(' ').toStdString();
}
