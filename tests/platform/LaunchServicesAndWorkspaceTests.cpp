#include "PlatformPrinters.h"
#include "platform/BrokenPipeSignalGuard.h"
#include "platform/DesktopEntry.h"
#include "platform/DispatchSemaphore.h"
#include "platform/DistributedNotificationCenter.h"
#include "platform/LaunchServices.h"
#include "platform/Paths.h"
#include "platform/Task.h"
#include "platform/Tools.h"
#include "platform/Workspace.h"
#include "testing/AppBundleMaker.h"
#include "testing/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <csignal>
#include <functional>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace platform;
using namespace testing_support;
using namespace Qt::Literals::StringLiterals;
using namespace std::chrono_literals;

namespace {

const QString kID = u"com.example.Notes"_s;

QString makeApp(const QString& systemPath, const QString& bundleID = kID) {
    const QString path = Paths::resolve(systemPath);
    EXPECT_TRUE(makeAppBundle(path, appInfo(bundleID))) << path.toStdString();
    return path;
}

bool registerApp(const QString& path) {
    Error error(QString(), 0);
    const bool registered = LaunchServices::registerURL(QUrl::fromLocalFile(path), &error);
    EXPECT_TRUE(registered) << error.description().toStdString();
    return registered;
}

std::vector<std::string> copiesOf(const QString& bundleID = kID) {
    return pathsBelowRoot(LaunchServices::applicationURLsForBundleIdentifier(bundleID));
}

} // namespace

TEST(LaunchServices, ListsRegisteredCopiesInRegistrationOrderThenScannedOnesEachOnce) {
    makeApp(u"/Applications/Zeta.app"_s);
    makeApp(u"/Applications/Utilities/Alpha.app"_s);
    makeApp(u"/Applications/Deep/Deeper/TooFar.app"_s);
    makeApp(u"~/Applications/Beta.app"_s);
    makeApp(u"/Applications/Other.app"_s, u"com.example.Other"_s);
    const QString b = makeApp(u"/opt/B.app"_s);
    const QString a = makeApp(u"/opt/A.app"_s);
    const QString zeta = Paths::resolve(u"/Applications/Zeta.app"_s);

    EXPECT_EQ(copiesOf(),
              (std::vector<std::string>{"/Applications/Utilities/Alpha.app", "/Applications/Zeta.app",
                                        "/home/Applications/Beta.app"}));

    ASSERT_TRUE(registerApp(b));
    // A copy registered through a link is the copy the scan finds; it appears once, as registered.
    const QString link = Paths::resolve(u"/opt/Zeta.app"_s);
    ASSERT_TRUE(QFile::link(zeta, link));
    ASSERT_TRUE(registerApp(link));
    ASSERT_TRUE(registerApp(a));
    ASSERT_TRUE(registerApp(b));
    EXPECT_EQ(copiesOf(),
              (std::vector<std::string>{"/opt/B.app", "/opt/Zeta.app", "/opt/A.app",
                                        "/Applications/Utilities/Alpha.app", "/home/Applications/Beta.app"}));
    EXPECT_EQ(copiesOf(u"com.example.Other"_s), std::vector<std::string>{"/Applications/Other.app"});
    EXPECT_TRUE(copiesOf(u"com.example.Nobody"_s).empty());
    EXPECT_TRUE(QFileInfo::exists(LaunchServices::registryPath()));
}

TEST(LaunchServices, DropsCopiesThatVanishedOrChangedIdentityAndForgetsVanishedRegistrations) {
    const QString gone = makeApp(u"/opt/Gone.app"_s);
    const QString kept = makeApp(u"/opt/Kept.app"_s);
    const QString changed = makeApp(u"/Applications/Changed.app"_s);
    ASSERT_TRUE(registerApp(gone));
    ASSERT_TRUE(registerApp(kept));
    ASSERT_EQ(copiesOf().size(), 3u);

    ASSERT_TRUE(QDir(gone).removeRecursively());
    ASSERT_TRUE(makeAppBundle(changed, appInfo(u"com.example.Renamed"_s)));
    EXPECT_EQ(copiesOf(), std::vector<std::string>{"/opt/Kept.app"});
    EXPECT_EQ(copiesOf(u"com.example.Renamed"_s), std::vector<std::string>{"/Applications/Changed.app"});

    // Once seen gone, a registration is forgotten: a copy put back at the
    // same place is unknown until registered again, and then comes last.
    makeApp(u"/opt/Gone.app"_s);
    EXPECT_EQ(copiesOf(), std::vector<std::string>{"/opt/Kept.app"});
    ASSERT_TRUE(registerApp(gone));
    EXPECT_EQ(copiesOf(), (std::vector<std::string>{"/opt/Kept.app", "/opt/Gone.app"}));
}

// Both ways a copy is forgotten drop the desktop entry with the last
// registered copy: unregistering it before it is deleted, and a lookup
// finding it gone after it was deleted without a word.
TEST(LaunchServices, ForgettingACopyDropsTheDesktopEntryWithTheLastOne) {
    const struct {
        QString bundleID;
        std::function<void(const QString&)> forget;
    } ways[] = {
        {u"com.example.Unregistered"_s,
         [](const QString& path) { LaunchServices::unregisterURL(QUrl::fromLocalFile(path)); }},
        {u"com.example.Vanished"_s, [](const QString& path) { EXPECT_TRUE(QDir(path).removeRecursively()); }},
    };
    for (const auto& [bundleID, forget] : ways) {
        SCOPED_TRACE(bundleID.toStdString());
        const QString folder = u"/opt/"_s + bundleID;
        const QString first = makeApp(folder + u"/First.app"_s, bundleID);
        const QString second = makeApp(folder + u"/Second.app"_s, bundleID);
        ASSERT_TRUE(registerApp(first));
        ASSERT_TRUE(registerApp(second));
        const QString entry = DesktopEntry::pathForBundleIdentifier(bundleID);
        ASSERT_TRUE(QFileInfo::exists(entry));

        forget(first);
        // Another registered copy keeps the entry; the forgotten one,
        // outside the applications folders, is not found any more.
        EXPECT_EQ(copiesOf(bundleID), std::vector<std::string>{(folder + u"/Second.app"_s).toStdString()});
        EXPECT_TRUE(QFileInfo::exists(entry));

        forget(second);
        EXPECT_TRUE(copiesOf(bundleID).empty());
        EXPECT_FALSE(QFileInfo::exists(entry));
    }
    // A copy never registered changes nothing.
    LaunchServices::unregisterURL(QUrl::fromLocalFile(Paths::resolve(u"/opt/Never.app"_s)));
}

// Another process's write must not hold a lookup up: the lookup finishes
// while the writer still holds its transaction (the bound only guards
// against a hang), answers from the registry when it can be read and from
// the scan alone when it cannot.
TEST(LaunchServices, LookupsDoNotWaitForAnotherProcesssWrite) {
    makeApp(u"/Applications/Scanned.app"_s);
    ASSERT_TRUE(registerApp(makeApp(u"/opt/Registered.app"_s)));
    const QString gone = makeApp(u"/opt/Gone.app"_s);
    ASSERT_TRUE(registerApp(gone));
    ASSERT_TRUE(QDir(gone).removeRecursively());

    sqlite3* writer = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(LaunchServices::registryPath()).constData(), &writer),
              SQLITE_OK);
    auto execute = [writer](const char* sql) {
        char* message = nullptr;
        const int result = sqlite3_exec(writer, sql, nullptr, nullptr, &message);
        EXPECT_EQ(result, SQLITE_OK) << sql << ": " << (message ? message : "");
        sqlite3_free(message);
    };
    auto registrationsNamed = [&](const char* path) {
        sqlite3_stmt* count = nullptr;
        sqlite3_prepare_v2(writer, "SELECT count(*) FROM applications WHERE path LIKE ?1", -1, &count,
                           nullptr);
        sqlite3_bind_text(count, 1, path, -1, SQLITE_STATIC);
        const int rows = sqlite3_step(count) == SQLITE_ROW ? sqlite3_column_int(count, 0) : -1;
        sqlite3_finalize(count);
        return rows;
    };
    auto lookUpWhileWriting = [&](const char* beginWriting) {
        execute(beginWriting);
        execute("INSERT INTO applications (path, bundle_identifier) VALUES ('/uncommitted', "
                "'com.example.Notes')");
        std::vector<std::string> copies;
        auto done = DispatchSemaphore::make();
        std::thread lookup([&] {
            copies = copiesOf();
            done->signal();
        });
        const bool finishedWhileWriting = done->wait(5s);
        execute("ROLLBACK");
        lookup.join();
        EXPECT_TRUE(finishedWhileWriting) << beginWriting;
        return copies;
    };

    EXPECT_EQ(lookUpWhileWriting("BEGIN IMMEDIATE"),
              (std::vector<std::string>{"/opt/Registered.app", "/Applications/Scanned.app"}));
    EXPECT_EQ(registrationsNamed("%/opt/Gone.app"), 1) << "tidying waits for a lookup without a writer";

    execute("PRAGMA locking_mode=EXCLUSIVE");
    EXPECT_EQ(lookUpWhileWriting("BEGIN EXCLUSIVE"), std::vector<std::string>{"/Applications/Scanned.app"});
    sqlite3_close(writer);

    EXPECT_EQ(copiesOf(), (std::vector<std::string>{"/opt/Registered.app", "/Applications/Scanned.app"}));
    ASSERT_EQ(sqlite3_open(QFile::encodeName(LaunchServices::registryPath()).constData(), &writer),
              SQLITE_OK);
    EXPECT_EQ(registrationsNamed("%/opt/Gone.app"), 0);
    sqlite3_close(writer);
}

TEST(LaunchServices, RefusesToRegisterWhatIsNoApplicationBundle) {
    Error error(QString(), 0);
    EXPECT_FALSE(
        LaunchServices::registerURL(QUrl::fromLocalFile(Paths::resolve(u"/opt/Missing.app"_s)), &error));
    EXPECT_EQ(error.code(), ENOENT);
    EXPECT_FALSE(LaunchServices::registerURL(QUrl(u"https://example.com/App.app"_s), &error));
    EXPECT_EQ(error.code(), ENOENT);

    const QString anonymous = Paths::resolve(u"/opt/Anonymous.app"_s);
    ASSERT_TRUE(makeAppBundle(anonymous, {{u"CFBundleName"_s, u"Anonymous"_s}}));
    EXPECT_FALSE(LaunchServices::registerURL(QUrl::fromLocalFile(anonymous), &error));
    EXPECT_EQ(error.code(), EINVAL);
}

TEST(LaunchServices, ProcessesRegisteringAtOnceShareOneRegistryAndAnnounceEachBundle) {
    constexpr int kPerProcess = 25;
    // Other test programs share the session bus; a name of our own keeps their announcements apart.
    const QString bundleID = u"com.example.Notes.p%1"_s.arg(::getpid());
    QStringList announced;
    std::mutex announcedMutex;
    Error error(QString(), 0);
    const auto center = DistributedNotificationCenter::defaultCenter(&error);
    ASSERT_TRUE(center) << error.description().toStdString();
    const auto observer = center->addObserver(
        LaunchServices::ApplicationRegisteredNotification, bundleID, nullptr,
        [&](const Notification& notification) {
            std::lock_guard lock(announcedMutex);
            announced << notification.userInfo().value(u"path"_s).toString();
        },
        &error);
    ASSERT_TRUE(observer) << error.description().toStdString();

    QList<QStringList> batches(2);
    for (int process = 0; process < 2; ++process) {
        for (int i = 0; i < kPerProcess; ++i) {
            batches[process] << makeApp(u"/opt/p%1/App%2.app"_s.arg(process).arg(i, 2, 10, QLatin1Char('0')),
                                        bundleID);
        }
    }
    QList<std::shared_ptr<Task>> registrars;
    for (const QStringList& batch : batches) {
        auto registrar = Task::launchedTask(QStringLiteral(KESTREL_LAUNCH_SERVICES_REGISTRAR), batch, &error);
        ASSERT_TRUE(registrar) << error.description().toStdString();
        registrars << registrar;
    }
    for (const auto& registrar : registrars) {
        ASSERT_TRUE(registrar->waitUntilExit(60s));
        EXPECT_EQ(registrar->terminationStatus(), 0);
    }

    const QList<QUrl> copies = LaunchServices::applicationURLsForBundleIdentifier(bundleID);
    ASSERT_EQ(copies.size(), 2 * kPerProcess);
    // Each process's registrations keep their own order, however the two interleaved.
    for (const QStringList& batch : batches) {
        QStringList listed;
        for (const QUrl& copy : copies) {
            if (batch.contains(copy.toLocalFile())) {
                listed << copy.toLocalFile();
            }
        }
        EXPECT_EQ(listed, batch);
    }
    // The registrars announced every bundle before they exited.
    EXPECT_TRUE(waitUntil([&] {
        std::lock_guard lock(announcedMutex);
        return announced.size() >= 2 * kPerProcess;
    }));
    center->removeObserver(observer);
    announced.sort();
    QStringList everything = batches[0] + batches[1];
    everything.sort();
    EXPECT_EQ(announced, everything);
}

namespace {

// The recorder app writes its process and session identifiers and then its
// arguments, one a line, to `record`. Given a FIFO, it opens it before
// writing the record and then stays running until a line arrives there.
// It writes `record`.done last.
QByteArray recorderScript(const QString& record, const QString& fifo = {}) {
    const QByteArray file = "'" + QFile::encodeName(record) + "'";
    QByteArray script = "#!/bin/sh\n";
    if (!fifo.isEmpty()) {
        script += "exec 3<> '" + QFile::encodeName(fifo) + "'\n";
    }
    script += "read -r pid comm state ppid group session rest < /proc/$$/stat\n"
              "{ echo \"$$\"; echo \"$session\"; for argument in \"$@\"; do echo \"$argument\"; done; } > " +
              file + ".tmp && mv " + file + ".tmp " + file + "\n";
    if (!fifo.isEmpty()) {
        // Bounded, so that a test stopped before letting it go leaves no process behind for long.
        script += "timeout 120 head -n 1 '" + QFile::encodeName(fifo) + "' > /dev/null\n";
    }
    return script + "echo done > " + file + ".done\n";
}

QStringList waitForRecord(const QString& record) {
    EXPECT_TRUE(waitUntil([&] { return QFileInfo::exists(record); })) << record.toStdString();
    return QString::fromLocal8Bit(readFile(record)).split(u'\n', Qt::SkipEmptyParts);
}

// Lets a recorder blocked on its FIFO go on, also when a test ends early.
class FifoRelease {
public:
    explicit FifoRelease(QString path) : path_(std::move(path)) {
        EXPECT_EQ(::mkfifo(QFile::encodeName(path_).constData(), 0600), 0);
    }
    ~FifoRelease() { release(); }
    void release() {
        // Without a reader there is nobody to release, and opening fails at once.
        const int fd = ::open(QFile::encodeName(path_).constData(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) {
            // The reader may be gone by the time of the write (an app that was
            // released already and is ending): that must not end the test.
            const BrokenPipeSignalGuard guard;
            [[maybe_unused]] const ssize_t written = ::write(fd, "go\n", 3);
            ::close(fd);
        }
    }

private:
    QString path_;
};

// A started app reads and writes the null device and holds no pipe of the
// process that started it, so nobody reading that pipe to its end waits for it.
void expectDetachedStreams(pid_t pid) {
    const QDir descriptors(u"/proc/%1/fd"_s.arg(pid));
    const QStringList entries =
        descriptors.entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
    ASSERT_FALSE(entries.isEmpty());
    for (const QString& entry : entries) {
        const QString target = QFile::symLinkTarget(descriptors.filePath(entry));
        if (entry.toInt() <= 2) {
            EXPECT_EQ(target, u"/dev/null"_s) << "descriptor " << entry.toStdString();
        }
        EXPECT_FALSE(target.contains(u"pipe:"_s)) << "descriptor " << entry.toStdString();
    }
}

} // namespace

TEST(Workspace, StartsAnApplicationWithURLsThatOutlivesTheOpenerInASessionOfItsOwn) {
    const QString record = testRoot() + u"/record"_s;
    FifoRelease fifo(testRoot() + u"/release"_s);
    const QString app = Paths::resolve(u"/Applications/Recorder.app"_s);
    ASSERT_TRUE(makeAppBundle(app, appInfo(kID), recorderScript(record, testRoot() + u"/release"_s)));
    const QString document = testRoot() + u"/a document.txt"_s;
    ASSERT_TRUE(writeFile(document, "text"));

    const QUrl discovery(
        u"kestreldiscovery://open_collection?collection_id=0&app_id=230&sender=Orbit%20Notes"_s);
    Error error(QString(), 0);
    ASSERT_TRUE(Workspace::openURLsWithApplicationAtURL({discovery, QUrl::fromLocalFile(document)},
                                                        QUrl::fromLocalFile(app), &error))
        << error.description().toStdString();

    const QStringList lines = waitForRecord(record);
    ASSERT_EQ(lines.size(), 4);
    const pid_t pid = lines[0].toInt();
    EXPECT_EQ(lines[1].toInt(), pid) << "leads a session of its own";
    EXPECT_NE(::getsid(0), pid);
    EXPECT_EQ(lines[2], discovery.toString(QUrl::FullyEncoded));
    EXPECT_EQ(lines[3], document);
    // The opener has ended while the app still runs, holding none of its streams.
    EXPECT_EQ(::kill(pid, 0), 0);
    expectDetachedStreams(pid);
    fifo.release();
    EXPECT_TRUE(waitUntil([&] { return QFileInfo::exists(record + u".done"_s); }));
}

TEST(OpenTool, StartsABundleGivenByPathOrByNameAndKeepsNoPipeOfItsCaller) {
    const QString tool = Tools::path(u"/usr/bin/open"_s);
    ASSERT_NE(tool, u"/usr/bin/open"_s) << "the stand-in is built next to the tests";
    const QString record = testRoot() + u"/record"_s;
    FifoRelease fifo(testRoot() + u"/release"_s);
    const QString app = Paths::resolve(u"/Applications/Utilities/Recorder.app"_s);
    ASSERT_TRUE(makeAppBundle(app, appInfo(kID), recorderScript(record, testRoot() + u"/release"_s)));

    // Our caller reads our output to its end: that end comes while the app still runs.
    const ProgramResult byPath = runProgram(tool, {app});
    EXPECT_EQ(byPath.status, 0) << byPath.errors.toStdString();
    EXPECT_TRUE(byPath.errors.isEmpty());
    const QStringList started = waitForRecord(record);
    ASSERT_EQ(started.size(), 2) << "no arguments";
    EXPECT_EQ(::kill(started[0].toInt(), 0), 0);
    expectDetachedStreams(started[0].toInt());
    fifo.release();
    ASSERT_TRUE(waitUntil([&] { return QFileInfo::exists(record + u".done"_s); }));
    QFile::remove(record);

    const ProgramResult byName = runProgram(tool, {u"-a"_s, u"recorder"_s, u"https://example.com/a?b=c"_s});
    EXPECT_EQ(byName.status, 0) << byName.errors.toStdString();
    const QStringList lines = waitForRecord(record);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[2], u"https://example.com/a?b=c"_s);
    fifo.release();
}

TEST(OpenTool, ReportsWhatItCannotOpenLikeTheSystemTool) {
    const QString tool = Tools::path(u"/usr/bin/open"_s);
    const QString missing = testRoot() + u"/no/such file"_s;
    ProgramResult result = runProgram(tool, {missing});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(QString::fromLocal8Bit(result.errors), u"The file %1 does not exist.\n"_s.arg(missing));

    result = runProgram(tool, {u"-a"_s, u"Nowhere"_s});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.errors, "Unable to find application named 'Nowhere'\n");

    const QString app = Paths::resolve(u"/Applications/Recorder.app"_s);
    ASSERT_TRUE(makeAppBundle(app, appInfo(kID), recorderScript(testRoot() + u"/record"_s)));
    result = runProgram(tool, {u"-a"_s, u"Recorder"_s, u"file://"_s + missing});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(QString::fromLocal8Bit(result.errors), u"The file %1 does not exist.\n"_s.arg(missing));

    const QString hollow = Paths::resolve(u"/Applications/Hollow.app"_s);
    ASSERT_TRUE(makeAppBundle(hollow, appInfo(kID)));
    result = runProgram(tool, {u"-a"_s, u"Hollow.app"_s});
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(result.errors.contains("because its executable is missing")) << result.errors.toStdString();

    // The workspace hands the tool's complaint on.
    Error error(QString(), 0);
    const QString gone = Paths::resolve(u"/Applications/Gone.app"_s);
    EXPECT_FALSE(Workspace::openApplicationAtURL(QUrl::fromLocalFile(gone), &error));
    EXPECT_EQ(error.localizedDescription(), u"Unable to find application named '%1'"_s.arg(gone));
}
