#include "platform/DispatchSemaphore.h"
#include "platform/Paths.h"
#include "support/BRUnarchiver.h"
#include "testing/EnvironmentOverride.h"
#include "testing/TestSupport.h"
#include "testing/ZipMaker.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <csignal>

using testing_support::readFile;
using testing_support::testRoot;
using testing_support::writeFile;
using testing_support::ZipEntry;

namespace {

struct Outcome {
    std::optional<QUrl> folder;
    std::optional<platform::Error> error;
    QList<double> progress;
};

Outcome unpack(const QString& archive, const std::optional<QString>& destination = std::nullopt) {
    Outcome outcome;
    int completions = 0;
    BRUnarchiver::unpackArchiveAtURL(
        QUrl::fromLocalFile(archive),
        destination ? std::optional(QUrl::fromLocalFile(*destination)) : std::nullopt, false,
        [&](double total) { outcome.progress.append(total); },
        [&](const std::optional<QUrl>& folder, const std::optional<platform::Error>& error) {
            ++completions;
            outcome.folder = folder;
            outcome.error = error;
        });
    EXPECT_EQ(completions, 1) << "a synchronous call returns after its one completion";
    return outcome;
}

QList<ZipEntry> sampleApp() {
    return {{"Sample.app/", {}, 0755, {}},
            {"Sample.app/Contents/Info.plist", "<plist/>", 0644, {}},
            {"Sample.app/Contents/MacOS/Sample", "#!/bin/sh\nexit 0\n", 0755, {}},
            {"Sample.app/Contents/Resources/deep/er/data.bin", QByteArray(70000, 'x'), 0600, {}},
            {"Sample.app/Contents/Current", {}, 0644, "Resources/deep"}};
}

void expectSampleApp(const QString& folder) {
    const QString app = folder + "/Sample.app/Contents";
    EXPECT_EQ(readFile(app + "/Info.plist"), "<plist/>");
    EXPECT_TRUE(QFileInfo(app + "/MacOS/Sample").isExecutable());
    EXPECT_EQ(readFile(app + "/Resources/deep/er/data.bin"), QByteArray(70000, 'x'));
    EXPECT_EQ(QFileInfo(app + "/Current").symLinkTarget(),
              QFileInfo(app + "/Resources/deep").absoluteFilePath());
}

} // namespace

TEST(UnarchiverTests, ZipUnpacksIntoANewUpperCaseStagingFolderWithProgressFromATenthToOne) {
    const QString archive = testRoot() + "/Sample.zip";
    ASSERT_TRUE(testing_support::makeZipWithPython(archive, sampleApp()));

    const Outcome outcome = unpack(archive);

    ASSERT_FALSE(outcome.error) << outcome.error->description().toStdString();
    ASSERT_TRUE(outcome.folder);
    const QFileInfo staging(outcome.folder->toLocalFile());
    EXPECT_EQ(staging.absolutePath(), QFileInfo(platform::Paths::temporaryDirectory()).absoluteFilePath());
    EXPECT_TRUE(QRegularExpression("^[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}$")
                    .match(staging.fileName())
                    .hasMatch());
    expectSampleApp(staging.absoluteFilePath());

    ASSERT_GE(outcome.progress.size(), 3);
    EXPECT_DOUBLE_EQ(outcome.progress.first(), 0.1);
    EXPECT_DOUBLE_EQ(outcome.progress.last(), 1.0);
    EXPECT_TRUE(std::is_sorted(outcome.progress.begin(), outcome.progress.end()));
}

TEST(UnarchiverTests, AnArchiveOfExactlyOneChunkReportsOneChunkStep) {
    const QString archive = testRoot() + "/one-chunk.zip";
    // Stored entries cost the same overhead whatever their size, so the
    // payload can be sized to make the archive exactly one chunk long.
    ASSERT_TRUE(testing_support::makeZipWithPython(
        archive, {{"payload.bin", QByteArray(200000, 'p'), 0644, {}}}, true));
    const qint64 payload = 200000 + 262144 - QFileInfo(archive).size();
    ASSERT_TRUE(testing_support::makeZipWithPython(
        archive, {{"payload.bin", QByteArray(payload, 'p'), 0644, {}}}, true));
    ASSERT_EQ(QFileInfo(archive).size(), 262144);

    const Outcome outcome = unpack(archive);

    ASSERT_FALSE(outcome.error);
    ASSERT_EQ(outcome.progress.size(), 3);
    EXPECT_DOUBLE_EQ(outcome.progress[0], 0.1);
    EXPECT_DOUBLE_EQ(outcome.progress[1], 0.9);
    EXPECT_DOUBLE_EQ(outcome.progress[2], 1.0);
}

TEST(UnarchiverTests, UnpackingIntoADestinationReplacesItemsOfTheSameNameAndLeavesIgnoredOnesBehind) {
    const QString destination = testRoot() + "/Applications";
    ASSERT_TRUE(writeFile(destination + "/Sample.app/Contents/Stale", "old"));
    ASSERT_TRUE(writeFile(destination + "/Other.app/Keep", "kept"));
    QList<ZipEntry> entries = sampleApp();
    entries.append({".ds_Store", "finder", 0644, {}});
    const QString archive = testRoot() + "/Sample.zip";
    ASSERT_TRUE(testing_support::makeZipWithPython(archive, entries));

    const Outcome outcome = unpack(archive, destination);

    ASSERT_FALSE(outcome.error);
    EXPECT_EQ(outcome.folder, QUrl::fromLocalFile(destination));
    expectSampleApp(destination);
    EXPECT_FALSE(QFile::exists(destination + "/Sample.app/Contents/Stale"));
    EXPECT_EQ(readFile(destination + "/Other.app/Keep"), "kept");
    EXPECT_FALSE(QFile::exists(destination + "/.ds_Store"));
    // Nothing of the replaced copy is left beside the new one.
    EXPECT_EQ(QDir(destination).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList({"Other.app", "Sample.app"}));
    // The staging folder went with what it still held.
    EXPECT_EQ(QDir(platform::Paths::temporaryDirectory()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList{});
}

TEST(UnarchiverTests, AnArchiveWithNothingToMoveEndsWithNeitherFolderNorError) {
    const QString archive = testRoot() + "/empty.zip";
    ASSERT_TRUE(testing_support::makeZipWithPython(archive, {{".TRASHES/", {}, 0755, {}}}));

    const Outcome outcome = unpack(archive, testRoot() + "/Applications");

    EXPECT_FALSE(outcome.folder);
    EXPECT_FALSE(outcome.error);
    EXPECT_TRUE(QFileInfo(testRoot() + "/Applications").isDir());
}

TEST(UnarchiverTests, TheTypeComesFromTheExtensionFirstAndTheContentSecond) {
    // No extension, but a ZIP header: unpacked as ZIP.
    const QString zipWithoutExtension = testRoot() + "/download";
    ASSERT_TRUE(testing_support::makeZipWithPython(zipWithoutExtension, sampleApp()));
    Outcome outcome = unpack(zipWithoutExtension);
    ASSERT_FALSE(outcome.error);
    expectSampleApp(outcome.folder->toLocalFile());

    // Short and neither: unknown.
    ASSERT_TRUE(writeFile(testRoot() + "/notes.txt", "just text"));
    outcome = unpack(testRoot() + "/notes.txt");
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(outcome.error->domain(), BRUnarchiverErrorDomain);
    EXPECT_EQ(outcome.error->code(), -1);
    EXPECT_EQ(outcome.error->localizedDescription(), "Unknown archive type.");
    EXPECT_FALSE(outcome.folder);

    // Named .zip but not one: the extension wins and the extraction tool's
    // failure comes back with its status and text.
    QByteArray image(4096, '\0');
    image.replace(4096 - 512, 4, "koly");
    ASSERT_TRUE(writeFile(testRoot() + "/image.zip", image));
    outcome = unpack(testRoot() + "/image.zip");
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(outcome.error->domain(), platform::NSOSStatusErrorDomain);
    EXPECT_NE(outcome.error->code(), 0);
    EXPECT_TRUE(outcome.error->localizedDescription().startsWith("ditto: "))
        << outcome.error->localizedDescription().toStdString();

    // A destination that cannot be made stops everything before unpacking.
    ASSERT_TRUE(writeFile(testRoot() + "/occupied", "a file"));
    outcome = unpack(zipWithoutExtension, testRoot() + "/occupied");
    ASSERT_TRUE(outcome.error);
    EXPECT_TRUE(outcome.progress.isEmpty());
}

TEST(UnarchiverTests, AnArchiveReachingOutsideItsFolderIsRefused) {
    const QString archive = testRoot() + "/evil.zip";
    ASSERT_TRUE(testing_support::makeZipWithPython(
        archive, {{"fine.txt", "fine", 0644, {}}, {"../../escaped.txt", "gotcha", 0644, {}}}));
    const QString destination = testRoot() + "/Applications";

    const Outcome outcome = unpack(archive, destination);

    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(outcome.error->domain(), platform::NSOSStatusErrorDomain);
    EXPECT_FALSE(QFile::exists(testRoot() + "/escaped.txt"));
    EXPECT_FALSE(QFile::exists(destination + "/fine.txt"));
    // Nor does what was unpacked before the refusal stay behind.
    EXPECT_EQ(QDir(platform::Paths::temporaryDirectory()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList());
}

TEST(UnarchiverTests, AToolThatFillsItsErrorPipeBeforeReadingStillGetsAllItsInput) {
    // The stand-in says a mebibyte, far more than a pipe holds, before it
    // reads anything; then it takes its whole input and fails.
    const QString tools = testRoot() + "/chatty-tools";
    const QString pidFile = tools + "/ditto.pid";
    ASSERT_TRUE(writeFile(tools + "/ditto", R"PY(#!/usr/bin/python3
import os, sys
with open(os.path.join(os.path.dirname(sys.argv[0]), "ditto.pid"), "w") as f:
    f.write(str(os.getpid()))
sys.stderr.write("e" * 1048576)
sys.stderr.flush()
sys.stdin.buffer.read()
sys.exit(7)
)PY"));
    QFile::setPermissions(tools + "/ditto", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString archive = testRoot() + "/large.zip";
    ASSERT_TRUE(writeFile(archive, QByteArray(4 * 262144 + 1000, 'z')));
    const testing_support::EnvironmentOverride environment{{"KESTREL_TOOLS_DIR", tools.toLocal8Bit()}};

    struct Shared {
        std::shared_ptr<platform::DispatchSemaphore> done = platform::DispatchSemaphore::make();
        Outcome outcome;
    };
    auto shared = std::make_shared<Shared>();
    BRUnarchiver::unpackArchiveAtURL(
        QUrl::fromLocalFile(archive), std::nullopt, true,
        [shared](double total) { shared->outcome.progress.append(total); },
        [shared](const std::optional<QUrl>& folder, const std::optional<platform::Error>& error) {
            shared->outcome.folder = folder;
            shared->outcome.error = error;
            shared->done->signal();
        });
    const bool finished = shared->done->wait(std::chrono::seconds(60));
    if (!finished) {
        // Unblock both sides so that the failure does not hang the whole run.
        ::kill(readFile(pidFile).toInt(), SIGKILL);
        shared->done->wait(std::chrono::seconds(60));
    }
    ASSERT_TRUE(finished) << "the unarchiver and the tool waited for each other";

    const Outcome& outcome = shared->outcome;
    EXPECT_FALSE(outcome.folder);
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(outcome.error->domain(), platform::NSOSStatusErrorDomain);
    EXPECT_EQ(outcome.error->code(), 7);
    EXPECT_EQ(outcome.error->localizedDescription(), QString(1048576, QLatin1Char('e')));
    // Every chunk went in: a tenth for the destination, then five chunk steps up to nine tenths.
    ASSERT_EQ(outcome.progress.size(), 6);
    EXPECT_NEAR(outcome.progress.last(), 0.9, 1e-9);
}

// Disk images go through the image tool; here a scripted one that "mounts"
// a prepared folder and logs every call, so the attach/detach pairing and
// the ignored items can be checked.
class UnarchiverDiskImageTests : public testing::Test {
protected:
    void SetUp() override {
        tools_ = testRoot() + "/tools";
        content_ = testRoot() + "/image-content";
        QDir().mkpath(content_);
        const QByteArray script = R"SH(#!/bin/sh
echo "$*" >> "$(dirname "$0")/calls.log"
case "$1" in
attach)
    [ -n "$HDIUTIL_FAIL" ] && { echo "hdiutil: attach failed - $HDIUTIL_FAIL" >&2; exit 3; }
    [ -n "$TOOL_SIGNAL" ] && { echo "hdiutil: going down" >&2; kill -"$TOOL_SIGNAL" $$; }
    mkdir -p "$4" && cp -a "$IMAGE_CONTENT/." "$4/" ;;
detach)
    rm -rf "$2" ;;
esac
)SH";
        ASSERT_TRUE(writeFile(tools_ + "/hdiutil", script));
        QFile::setPermissions(tools_ + "/hdiutil", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        image_ = testRoot() + "/installer-image";
        QByteArray bytes(8192, '\0');
        bytes.replace(8192 - 512, 4, "koly");
        ASSERT_TRUE(writeFile(image_, bytes));
    }

    QStringList calls() const {
        return QString::fromUtf8(readFile(tools_ + "/calls.log")).split('\n', Qt::SkipEmptyParts);
    }

    QString tools_;
    QString content_;
    QString image_;
};

TEST_F(UnarchiverDiskImageTests, AnImageFoundByItsTrailerIsCopiedOutAndDetachedOnce) {
    ASSERT_TRUE(writeFile(content_ + "/Tool.app/Contents/Info.plist", "<plist/>"));
    ASSERT_TRUE(writeFile(content_ + "/.DS_Store", "finder"));
    const testing_support::EnvironmentOverride environment{{"KESTREL_TOOLS_DIR", tools_.toLocal8Bit()},
                                                           {"IMAGE_CONTENT", content_.toLocal8Bit()}};

    const Outcome outcome = unpack(image_);

    ASSERT_FALSE(outcome.error) << outcome.error->description().toStdString();
    EXPECT_EQ(readFile(outcome.folder->toLocalFile() + "/Tool.app/Contents/Info.plist"), "<plist/>");
    EXPECT_FALSE(QFile::exists(outcome.folder->toLocalFile() + "/.DS_Store"));
    const QStringList log = calls();
    ASSERT_EQ(log.size(), 2);
    EXPECT_TRUE(
        log[0].startsWith("attach " + image_ + " -mountpoint " + platform::Paths::resolve("/Volumes") + "/"));
    EXPECT_TRUE(log[0].endsWith(" -nobrowse -noautoopen"));
    const QString mountPoint = log[0].section(' ', 3, 3);
    EXPECT_EQ(log[1], "detach " + mountPoint + " -force");
    EXPECT_FALSE(QFile::exists(mountPoint));
    EXPECT_DOUBLE_EQ(outcome.progress.last(), 1.0);
}

TEST_F(UnarchiverDiskImageTests, IgnoredItemsStillAdvanceProgressAndNothingIsCopied) {
    ASSERT_TRUE(writeFile(content_ + "/.ds_store", "finder"));
    ASSERT_TRUE(writeFile(content_ + "/.Trashes/501/old", "trash"));
    const testing_support::EnvironmentOverride environment{{"KESTREL_TOOLS_DIR", tools_.toLocal8Bit()},
                                                           {"IMAGE_CONTENT", content_.toLocal8Bit()}};

    const Outcome outcome = unpack(image_);

    ASSERT_FALSE(outcome.error);
    EXPECT_TRUE(
        QDir(outcome.folder->toLocalFile()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
    // A tenth for the destination; the image's own steps (attach 0.2, two
    // ignored items 0.3 each, detach 0.2) at four fifths; the final tenth.
    const QList<double> expected{0.1, 0.26, 0.5, 0.74, 0.9, 1.0};
    ASSERT_EQ(outcome.progress.size(), expected.size());
    for (qsizetype i = 0; i < expected.size(); ++i) {
        EXPECT_NEAR(outcome.progress[i], expected[i], 1e-9) << "report " << i;
    }
}

TEST_F(UnarchiverDiskImageTests, AFailedAttachIsTheErrorAndNothingIsDetached) {
    const testing_support::EnvironmentOverride environment{{"KESTREL_TOOLS_DIR", tools_.toLocal8Bit()},
                                                           {"IMAGE_CONTENT", content_.toLocal8Bit()},
                                                           {"HDIUTIL_FAIL", "image not recognized"}};

    const Outcome outcome = unpack(image_);

    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(outcome.error->domain(), platform::NSOSStatusErrorDomain);
    EXPECT_EQ(outcome.error->code(), 3);
    EXPECT_EQ(outcome.error->localizedDescription(), "hdiutil: attach failed - image not recognized\n");
    EXPECT_EQ(calls().size(), 1);
}

// A tool that dies of a signal failed like one that exited non-zero: the
// status the task reports (the signal number) is the code and its standard
// error the description, whether it was being fed an archive or not.
TEST_F(UnarchiverDiskImageTests, AToolKilledByASignalFailsWithTheSystemsToolError) {
    const testing_support::EnvironmentOverride environment{{"KESTREL_TOOLS_DIR", tools_.toLocal8Bit()},
                                                           {"IMAGE_CONTENT", content_.toLocal8Bit()},
                                                           {"TOOL_SIGNAL", "KILL"}};
    const Outcome attach = unpack(image_);
    ASSERT_TRUE(attach.error);
    EXPECT_EQ(attach.error->domain(), platform::NSOSStatusErrorDomain);
    EXPECT_EQ(attach.error->code(), SIGKILL);
    EXPECT_EQ(attach.error->localizedDescription(), "hdiutil: going down\n");
    EXPECT_EQ(calls().size(), 1) << "nothing attached, nothing detached";

    ASSERT_TRUE(writeFile(tools_ + "/ditto", "#!/bin/sh\necho 'ditto: terminating' >&2\nkill -TERM $$\n"));
    QFile::setPermissions(tools_ + "/ditto", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString archive = testRoot() + "/Sample.zip";
    ASSERT_TRUE(testing_support::makeZipWithPython(archive, sampleApp()));
    const Outcome extract = unpack(archive);
    ASSERT_TRUE(extract.error);
    EXPECT_FALSE(extract.folder);
    EXPECT_EQ(extract.error->domain(), platform::NSOSStatusErrorDomain);
    EXPECT_EQ(extract.error->code(), SIGTERM);
    EXPECT_EQ(extract.error->localizedDescription(), "ditto: terminating\n");
}
