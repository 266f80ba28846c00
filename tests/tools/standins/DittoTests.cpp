#include "ToolRun.h"
#include "TreeDescription.h"
#include "platform/Pipe.h"
#include "platform/Task.h"
#include "testing/EnvironmentOverride.h"
#include "testing/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>

using testing_support::EnvironmentOverride;
using testing_support::readFile;
using testing_support::testRoot;
using testing_support::ToolRun;
using testing_support::TreeDescription;
using testing_support::waitUntil;
using testing_support::writeFile;

namespace {

// Packs a folder's contents ("tree OUT FOLDER") or entries given as
// NAME KIND DATA triples, KIND "file" or "link" ("entries OUT …"), with the
// Unix modes in the external attributes, as Python's zipfile does it.
const QString kZipMaker = QStringLiteral(R"(
import os, stat, sys, time, zipfile
out, how, rest = sys.argv[1], sys.argv[2], sys.argv[3:]
with zipfile.ZipFile(out, 'w', zipfile.ZIP_DEFLATED) as z:
    if how == 'tree':
        for folder, dirs, files in os.walk(rest[0]):
            for name in sorted(dirs) + sorted(files):
                path = os.path.join(folder, name)
                arcname = os.path.relpath(path, rest[0])
                st = os.lstat(path)
                if stat.S_ISLNK(st.st_mode):
                    info = zipfile.ZipInfo(arcname, time.localtime(st.st_mtime)[:6])
                    info.external_attr = (st.st_mode & 0xFFFF) << 16
                    z.writestr(info, os.readlink(path))
                else:
                    z.write(path, arcname)
    else:
        for i in range(0, len(rest), 3):
            name, kind, data = rest[i:i + 3]
            info = zipfile.ZipInfo(name, (2020, 1, 1, 0, 0, 0))
            modes = {'link': stat.S_IFLNK | 0o777, 'dir': stat.S_IFDIR | 0o777}
            info.external_attr = modes.get(kind, stat.S_IFREG | 0o644) << 16
            z.writestr(info, data)
)");

constexpr time_t kTreeTime = 1700000000; // even: DOS times have two-second steps

QByteArray patternedBytes(qsizetype size) {
    QByteArray bytes(size, Qt::Uninitialized);
    quint32 state = 2463534242u;
    for (qsizetype i = 0; i < size; ++i) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        bytes[i] = static_cast<char>(state);
    }
    return bytes;
}

void makeFile(const QString& path, const QByteArray& data, mode_t mode) {
    ASSERT_TRUE(writeFile(path, data)) << path.toStdString();
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), mode), 0);
}

void makeLink(const QString& path, const QString& target) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    ASSERT_EQ(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(path).constData()), 0);
}

// An app bundle with what bundles hold: nested folders, executables, a
// read-only file, framework version links, an empty file and folder, a
// name outside ASCII and a file spanning several pipe chunks. Every item
// gets one modification time, folders last (filling them changes theirs).
QString makeBundle(const QString& parent) {
    const QString app = parent + QStringLiteral("/Orbit Notes.app");
    const QString contents = app + QStringLiteral("/Contents");
    makeFile(contents + QStringLiteral("/Info.plist"), "<plist><dict/></plist>\n", 0644);
    makeFile(contents + QStringLiteral("/MacOS/Orbit Notes"), "#!/bin/sh\necho orbit\n", 0755);
    makeFile(contents + QStringLiteral("/Resources/data.bin"), patternedBytes(700 * 1024), 0644);
    makeFile(contents + QStringLiteral("/Resources/Résumé.txt"), "accents\n", 0600);
    makeFile(contents + QStringLiteral("/Resources/read-only.txt"), "fixed\n", 0444);
    makeFile(contents + QStringLiteral("/Resources/empty"), QByteArray(), 0644);
    QDir().mkpath(contents + QStringLiteral("/Resources/Empty Folder"));
    const QString framework = contents + QStringLiteral("/Frameworks/Kit.framework");
    makeFile(framework + QStringLiteral("/Versions/A/Kit"), patternedBytes(4096), 0775);
    makeLink(framework + QStringLiteral("/Versions/Current"), QStringLiteral("A"));
    makeLink(framework + QStringLiteral("/Kit"), QStringLiteral("Versions/Current/Kit"));

    const timespec times[2] = {{kTreeTime, 0}, {kTreeTime, 0}};
    std::filesystem::path top(QFile::encodeName(app).toStdString());
    for (const auto& entry : std::filesystem::recursive_directory_iterator(top)) {
        if (!entry.is_directory() || entry.is_symlink()) {
            ::utimensat(AT_FDCWD, entry.path().c_str(), times, AT_SYMLINK_NOFOLLOW);
        }
    }
    for (const auto& entry : std::filesystem::recursive_directory_iterator(top)) {
        if (entry.is_directory() && !entry.is_symlink()) {
            ::utimensat(AT_FDCWD, entry.path().c_str(), times, 0);
        }
    }
    ::utimensat(AT_FDCWD, top.c_str(), times, 0);
    return app;
}

// Packs `entries` (NAME KIND DATA triples; KIND is file, dir or link) into `archive`.
bool zipEntries(const QString& archive, const QStringList& entries) {
    return ToolRun::run(ToolRun::program(QStringLiteral("python3")),
                        QStringList{QStringLiteral("-c"), kZipMaker, archive, QStringLiteral("entries")} +
                            entries)
               .status == 0;
}

ToolRun extractFromPipe(const QByteArray& archive, const QString& destination) {
    return ToolRun::run(ToolRun::standIn(QStringLiteral("ditto")),
                        {QStringLiteral("-x"), QStringLiteral("-k"), QStringLiteral("-"), destination},
                        archive);
}

// ditto writes files on a thread of its own only when a processor is free;
// both ways are run here, whatever the machine's load.
const QList<QByteArray> kWriterModes{"0", "1"};

ToolRun runDitto(const QStringList& arguments) {
    return ToolRun::run(ToolRun::standIn(QStringLiteral("ditto")), arguments);
}

} // namespace

TEST(Ditto, UnpacksArchivesMadeByOtherToolsFromAPipe) {
    const QString app = makeBundle(testRoot() + QStringLiteral("/source"));
    const auto expected = TreeDescription::of(app);
    ASSERT_EQ(expected.size(), 17u);
    const QString bsdtarZip = testRoot() + QStringLiteral("/bsdtar.zip");
    const QString infoZip = testRoot() + QStringLiteral("/info.zip");
    const QString pythonZip = testRoot() + QStringLiteral("/python.zip");
    ASSERT_EQ(ToolRun::run(ToolRun::program(QStringLiteral("bsdtar")),
                           {QStringLiteral("--format"), QStringLiteral("zip"), QStringLiteral("-cf"),
                            bsdtarZip, QStringLiteral("-C"), app, QStringLiteral(".")})
                  .status,
              0);
    ASSERT_EQ(ToolRun::run(ToolRun::program(QStringLiteral("sh")),
                           {QStringLiteral("-c"), QStringLiteral("cd \"$1\" && zip -qry \"$2\" ."),
                            QStringLiteral("sh"), app, infoZip})
                  .status,
              0);
    ASSERT_EQ(ToolRun::run(ToolRun::program(QStringLiteral("python3")),
                           {QStringLiteral("-c"), kZipMaker, pythonZip, QStringLiteral("tree"), app})
                  .status,
              0);

    for (const QByteArray& writerThread : kWriterModes) {
        const EnvironmentOverride mode{{"KESTREL_DITTO_WRITER_THREAD", writerThread}};
        for (const QString& archive : {bsdtarZip, infoZip, pythonZip}) {
            SCOPED_TRACE(archive.toStdString() + " writer thread " + writerThread.toStdString());
            const QString destination = testRoot() + QStringLiteral("/unpacked/") +
                                        QString::fromLatin1(writerThread) + QFileInfo(archive).baseName() +
                                        QStringLiteral("/not/yet/made");
            const ToolRun run = extractFromPipe(readFile(archive), destination);
            EXPECT_EQ(run.status, 0) << run.errors.toStdString();
            EXPECT_EQ(run.errors, QByteArray());
            EXPECT_EQ(TreeDescription::of(destination), expected);
        }
    }
}

// Entries are unpacked while the archive still arrives; modes and links,
// which only the central directory at the end knows, are right once it has.
// A destination that already holds something is unpacked into as well.
TEST(Ditto, UnpacksEntriesBeforeTheArchiveHasArrived) {
    const QString source = testRoot() + QStringLiteral("/source");
    makeFile(source + QStringLiteral("/first.txt"), "first\n", 0600);
    makeFile(source + QStringLiteral("/large.bin"), patternedBytes(6 * 1024 * 1024), 0644);
    const QString app = makeBundle(source);
    const QString archivePath = testRoot() + QStringLiteral("/arriving.zip");
    ASSERT_EQ(ToolRun::run(ToolRun::program(QStringLiteral("bsdtar")),
                           {QStringLiteral("--format"), QStringLiteral("zip"), QStringLiteral("-cf"),
                            archivePath, QStringLiteral("-C"), source, QStringLiteral("first.txt"),
                            QStringLiteral("large.bin"), QStringLiteral("Orbit Notes.app")})
                  .status,
              0);
    const QByteArray archive = readFile(archivePath);
    const auto expected = TreeDescription::of(source);

    for (const QByteArray& writerThread : kWriterModes) {
        SCOPED_TRACE("writer thread " + writerThread.toStdString());
        const EnvironmentOverride mode{{"KESTREL_DITTO_WRITER_THREAD", writerThread}};
        const QString destination =
            testRoot() + QStringLiteral("/arrived") + QString::fromLatin1(writerThread);
        const auto feed = platform::Pipe::make();
        const auto ditto = platform::Task::make();
        ditto->setLaunchPath(ToolRun::standIn(QStringLiteral("ditto")));
        ditto->setArguments({QStringLiteral("-x"), QStringLiteral("-k"), QStringLiteral("-"), destination});
        ditto->setStandardInput(feed);
        ditto->setStandardOutput(platform::Task::Stream::NullDevice);
        ASSERT_TRUE(ditto->launch());
        const qsizetype part = 2 * 1024 * 1024;
        ASSERT_TRUE(feed->writeData(archive.left(part)));
        const QString first = destination + QStringLiteral("/first.txt");
        EXPECT_TRUE(waitUntil([&] { return readFile(first) == "first\n"; }, std::chrono::seconds(30)))
            << "nothing unpacked before the archive's end";
        ASSERT_TRUE(feed->writeData(archive.mid(part)));
        feed->closeWriteEnd();
        ASSERT_TRUE(ditto->waitUntilExit(std::chrono::minutes(1)));
        EXPECT_EQ(ditto->terminationStatus(), 0);
        EXPECT_EQ(TreeDescription::of(destination), expected);
    }

    const QString filled = testRoot() + QStringLiteral("/filled");
    makeFile(filled + QStringLiteral("/kept.txt"), "kept\n", 0644);
    const ToolRun run = extractFromPipe(archive, filled);
    EXPECT_EQ(run.status, 0) << run.errors.toStdString();
    ASSERT_TRUE(QFile::remove(filled + QStringLiteral("/kept.txt")));
    EXPECT_EQ(TreeDescription::of(filled), expected);
}

TEST(Ditto, PacksFoldersThatComeBackIntact) {
    const QString app = makeBundle(testRoot() + QStringLiteral("/source"));
    const QString withParent = testRoot() + QStringLiteral("/with-parent.zip");
    const QString contentsOnly = testRoot() + QStringLiteral("/contents-only.zip");
    ToolRun run = runDitto({QStringLiteral("-c"), QStringLiteral("-k"), QStringLiteral("--sequesterRsrc"),
                            QStringLiteral("--keepParent"), app, withParent});
    ASSERT_EQ(run.status, 0) << run.errors.toStdString();
    run = runDitto({QStringLiteral("-c"), QStringLiteral("-k"), app, contentsOnly});
    ASSERT_EQ(run.status, 0) << run.errors.toStdString();

    // Back through our own extraction, once from a pipe and once from the file.
    const QString fromPipe = testRoot() + QStringLiteral("/from-pipe");
    run = extractFromPipe(readFile(withParent), fromPipe);
    ASSERT_EQ(run.status, 0) << run.errors.toStdString();
    EXPECT_EQ(QDir(fromPipe).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("Orbit Notes.app")});
    EXPECT_EQ(TreeDescription::of(fromPipe + QStringLiteral("/Orbit Notes.app")), TreeDescription::of(app));

    const QString fromFile = testRoot() + QStringLiteral("/from-file");
    run = runDitto({QStringLiteral("-x"), QStringLiteral("-k"), contentsOnly, fromFile});
    ASSERT_EQ(run.status, 0) << run.errors.toStdString();
    EXPECT_EQ(TreeDescription::of(fromFile), TreeDescription::of(app));

    // Other tools read the same modes and links: the archive is an ordinary deflated PKZip archive.
    const QString byBsdtar = testRoot() + QStringLiteral("/by-bsdtar");
    QDir().mkpath(byBsdtar);
    run = ToolRun::run(ToolRun::program(QStringLiteral("bsdtar")),
                       {QStringLiteral("-xf"), withParent, QStringLiteral("-C"), byBsdtar});
    ASSERT_EQ(run.status, 0) << run.errors.toStdString();
    EXPECT_EQ(TreeDescription::of(byBsdtar + QStringLiteral("/Orbit Notes.app")), TreeDescription::of(app));
    run = ToolRun::run(ToolRun::program(QStringLiteral("python3")),
                       {QStringLiteral("-c"),
                        QStringLiteral("import sys, zipfile; print(zipfile.ZipFile(sys.argv[1]).getinfo("
                                       "'Orbit Notes.app/Contents/Resources/data.bin').compress_type)"),
                        withParent});
    EXPECT_EQ(run.output.trimmed(), QByteArray::number(8)); // deflate
}

TEST(Ditto, RefusesEntriesThatWouldLandOutsideTheDestination) {
    struct Case {
        const char* name;
        QStringList entries; // NAME KIND DATA triples
        QString named;       // the entry the refusal names
    };
    const QString root = testRoot();
    const QList<Case> cases{
        {"climbing", {"ok.txt", "file", "ok", "../evil", "file", "evil"}, "../evil"},
        {"absolute", {root + "/absolute/evil", "file", "evil"}, root + "/absolute/evil"},
        {"link out", {"escape", "link", "../../../outside", "escape/planted", "file", "evil"}, "escape"},
        {"absolute link", {"escape", "link", root + "/outside", "escape/planted", "file", "evil"}, "escape"},
        {"through a link",
         {"sub/kept", "file", "k", "inner", "link", "sub", "inner/planted", "file", "evil"},
         "inner/planted"},
        // Inside on paper when made, until a later link turns "up" into the destination itself.
        {"link made outward later",
         {"a/b/l", "link", "up/../../../outside", "a/b/up", "link", "../.."},
         "a/b/l"},
    };
    const QString outside = root + QStringLiteral("/outside");
    makeFile(outside + QStringLiteral("/sentinel"), "still here", 0644);
    const auto outsideBefore = TreeDescription::of(outside);

    for (const QByteArray& writerThread : kWriterModes) {
        const EnvironmentOverride mode{{"KESTREL_DITTO_WRITER_THREAD", writerThread}};
        for (const Case& test : cases) {
            SCOPED_TRACE(std::string(test.name) + ", writer thread " + writerThread.toStdString());
            const QString base =
                root + QStringLiteral("/cases/") + QString::fromUtf8(test.name) + writerThread;
            const QString archive = base + QStringLiteral(".zip");
            const QString destination = base + QStringLiteral("/dest");
            QDir().mkpath(base);
            ASSERT_TRUE(zipEntries(archive, test.entries));
            const ToolRun run = extractFromPipe(readFile(archive), destination);
            EXPECT_EQ(run.status, 1);
            EXPECT_TRUE(run.errors.startsWith("ditto: " + test.named.toUtf8() + ": "))
                << run.errors.toStdString();

            EXPECT_EQ(TreeDescription::of(outside), outsideBefore);
            EXPECT_FALSE(QFileInfo::exists(root + QStringLiteral("/absolute")));
            EXPECT_EQ(QDir(base).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System),
                      QStringList{QStringLiteral("dest")});
            // Whatever stayed behind in the destination leads nowhere outside it.
            const auto top = std::filesystem::canonical(QFile::encodeName(destination).toStdString());
            for (const auto& entry : std::filesystem::recursive_directory_iterator(top)) {
                const auto resolved = std::filesystem::weakly_canonical(entry.path()).string();
                EXPECT_TRUE(resolved == top.string() || resolved.rfind(top.string() + "/", 0) == 0)
                    << entry.path() << " leads to " << resolved;
            }
        }
    }
}

// Archives of a folder's contents may name the folder itself; its mode
// and times stay the destination's own, however it arrives.
TEST(Ditto, LeavesTheDestinationItselfAsItIs) {
    const QString base = testRoot() + QStringLiteral("/itself");
    const QString archive = base + QStringLiteral(".zip");
    QDir().mkpath(base);
    ASSERT_TRUE(
        zipEntries(archive, {QStringLiteral("./"), QStringLiteral("dir"), QString(), QStringLiteral("ok.txt"),
                             QStringLiteral("file"), QStringLiteral("ok")}));
    for (const bool fromPipe : {true, false}) {
        SCOPED_TRACE(fromPipe ? "from a pipe" : "from the file");
        const QString destination = base + (fromPipe ? QStringLiteral("/pipe") : QStringLiteral("/file"));
        ASSERT_TRUE(QDir().mkpath(destination));
        ASSERT_EQ(::chmod(QFile::encodeName(destination).constData(), 0700), 0);
        const ToolRun run =
            fromPipe ? extractFromPipe(readFile(archive), destination)
                     : runDitto({QStringLiteral("-x"), QStringLiteral("-k"), archive, destination});
        EXPECT_EQ(run.status, 0) << run.errors.toStdString();
        EXPECT_EQ(readFile(destination + QStringLiteral("/ok.txt")), "ok");
        struct stat status {};
        ASSERT_EQ(::stat(QFile::encodeName(destination).constData(), &status), 0);
        EXPECT_EQ(status.st_mode & 07777, 0700u);
    }
}

// A name twice cannot be settled as the archive arrives: it is unpacked
// again from the spooled copy, into the destination named on the command
// line, though ditto works from inside it.
TEST(Ditto, UnpacksAgainIntoARelativeDestination) {
    const QString base = testRoot() + QStringLiteral("/relative");
    const QString archive = base + QStringLiteral(".zip");
    QDir().mkpath(base);
    ASSERT_TRUE(zipEntries(archive, {QStringLiteral("a.txt"), QStringLiteral("file"), QStringLiteral("A"),
                                     QStringLiteral("a.txt"), QStringLiteral("file"), QStringLiteral("B")}));
    const ToolRun run =
        ToolRun::run(ToolRun::program(QStringLiteral("sh")),
                     {QStringLiteral("-c"), QStringLiteral("cd \"$1\" && exec \"$2\" -x -k - out"),
                      QStringLiteral("sh"), base, ToolRun::standIn(QStringLiteral("ditto"))},
                     readFile(archive));
    EXPECT_EQ(run.status, 0) << run.errors.toStdString();
    EXPECT_EQ(readFile(base + QStringLiteral("/out/a.txt")), "B");
    EXPECT_FALSE(QFileInfo::exists(base + QStringLiteral("/out/out")));
}

TEST(Ditto, FailsWithATextOnAnythingButAnIntactArchive) {
    const QString app = makeBundle(testRoot() + QStringLiteral("/source"));
    const QString archive = testRoot() + QStringLiteral("/app.zip");
    ASSERT_EQ(
        runDitto({QStringLiteral("-c"), QStringLiteral("-k"), QStringLiteral("--keepParent"), app, archive})
            .status,
        0);
    const QByteArray intact = readFile(archive);
    QByteArray damaged = intact;
    // Inside the compressed data of the large file: only its checksum can tell.
    const qsizetype inside = intact.indexOf("data.bin") + 20 * 1024;
    damaged[inside] = static_cast<char>(damaged[inside] ^ 0x55);

    const QList<std::pair<const char*, QByteArray>> inputs{
        {"garbage", patternedBytes(300 * 1024)},
        {"truncated", intact.left(intact.size() / 2)},
        {"damaged", damaged},
        {"empty", QByteArray()},
    };
    for (const QByteArray& writerThread : kWriterModes) {
        const EnvironmentOverride mode{{"KESTREL_DITTO_WRITER_THREAD", writerThread}};
        for (const auto& [name, input] : inputs) {
            SCOPED_TRACE(std::string(name) + ", writer thread " + writerThread.toStdString());
            const ToolRun run = extractFromPipe(input, testRoot() + QStringLiteral("/out-") +
                                                           QString::fromUtf8(name) + writerThread);
            EXPECT_EQ(run.status, 1);
            EXPECT_TRUE(run.errors.startsWith("ditto: ")) << run.errors.toStdString();
            EXPECT_GT(run.errors.trimmed().size(), 12);
        }
    }

    ToolRun run =
        runDitto({QStringLiteral("-x"), QStringLiteral("-k"), testRoot() + QStringLiteral("/missing.zip"),
                  testRoot() + QStringLiteral("/out")});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.errors.startsWith("ditto: ")) << run.errors.toStdString();
    EXPECT_TRUE(run.errors.contains("No such file or directory")) << run.errors.toStdString();

    for (const QStringList& arguments :
         {QStringList{QStringLiteral("-x"), QStringLiteral("-"), QStringLiteral("out")},
          QStringList{QStringLiteral("-x"), QStringLiteral("-k"), QStringLiteral("-")},
          QStringList{QStringLiteral("-c"), QStringLiteral("-x"), QStringLiteral("-k"), QStringLiteral("a"),
                      QStringLiteral("b")}}) {
        run = runDitto(arguments);
        EXPECT_EQ(run.status, 2) << arguments.join(' ').toStdString();
        EXPECT_TRUE(run.errors.contains("usage: ditto")) << run.errors.toStdString();
    }
}
