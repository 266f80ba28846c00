// The store's switches for misbehaving: cut connections, bodies without a
// length, forced statuses, a slow link, and its command line.

#include "Curl.h"
#include "platform/Pipe.h"
#include "platform/Task.h"
#include "platform/Tools.h"
#include "testing/StoreProcess.h"
#include "testing/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

#include <chrono>
#include <csignal>
#include <random>

using namespace store_tests;
using testing_support::StoreProcess;

namespace {

QString served() {
    return testing_support::testRoot() + QStringLiteral("/served");
}

QByteArray make(const QString& name, qsizetype size) {
    std::mt19937 generator{unsigned(size)};
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& byte : bytes) {
        byte = char(generator());
    }
    EXPECT_TRUE(testing_support::writeFile(served() + QLatin1Char('/') + name, bytes));
    return bytes;
}

// Waits for the store to have logged `count` lines containing `text`.
bool logShows(const StoreProcess& store, const QString& text, int count) {
    return testing_support::waitUntil([&] { return store.log().count(text) == count; });
}

struct StoreRun {
    int exitCode = -1;
    QByteArray output;
    QByteArray errors;
};

// The store run to its end with these arguments, both outputs read whole.
StoreRun runStore(const QStringList& arguments) {
    StoreRun run;
    auto output = platform::Pipe::make();
    auto errors = platform::Pipe::make();
    auto task = platform::Task::make();
    task->setLaunchPath(platform::Tools::directory() + QStringLiteral("/kestrel-store"));
    task->setArguments(arguments);
    task->setStandardInput(platform::Task::Stream::NullDevice);
    task->setStandardOutput(output);
    task->setStandardError(errors);
    if (!task->launch()) {
        ADD_FAILURE() << "could not run kestrel-store";
        return run;
    }
    // Usage and help texts are far smaller than a pipe holds: reading one
    // after the other cannot block the store.
    run.errors = errors->readDataToEndOfFile();
    run.output = output->readDataToEndOfFile();
    if (!task->waitUntilExit(std::chrono::seconds(20))) {
        task->terminate();
        task->waitUntilExit();
        ADD_FAILURE() << "kestrel-store did not end";
    }
    run.exitCode = task->terminationStatus();
    return run;
}

} // namespace

TEST(StoreFaults, DropAfterCutsExactlyTheFirstResponses) {
    const QByteArray bytes = make(QStringLiteral("app.zip"), 1024 * 1024);
    {
        auto store = StoreProcess::start(served(), {QStringLiteral("--drop-after"), QStringLiteral("100000"),
                                                    QStringLiteral("--drop-count"), QStringLiteral("2")});
        ASSERT_TRUE(store);
        // A head carries no body, so there is nothing to cut and no cut is used up.
        EXPECT_EQ(curl(*store, QStringLiteral("/app.zip"), {QStringLiteral("-I")}).exitCode, 0);
        for (int i = 0; i < 2; ++i) {
            const CurlResult cut = curl(*store, QStringLiteral("/app.zip"));
            EXPECT_NE(cut.exitCode, 0) << "response " << i;
            EXPECT_EQ(cut.body.size(), 100000) << "response " << i;
            EXPECT_TRUE(cut.body == bytes.left(100000)) << "response " << i;
        }
        const CurlResult whole = curl(*store, QStringLiteral("/app.zip"));
        EXPECT_EQ(whole.exitCode, 0);
        EXPECT_TRUE(whole.body == bytes);
        EXPECT_TRUE(logShows(*store, QStringLiteral("status=200 sent=100000 dropped"), 2))
            << store->log().toStdString();
        EXPECT_EQ(store->log().count(QStringLiteral(" dropped")), 2);
    }
    {
        // One cut by default, counted in body bytes, not in chunk framing.
        auto store = StoreProcess::start(served(), {QStringLiteral("--drop-after"), QStringLiteral("70000"),
                                                    QStringLiteral("--no-length")});
        ASSERT_TRUE(store);
        const CurlResult cut = curl(*store, QStringLiteral("/app.zip"));
        EXPECT_NE(cut.exitCode, 0);
        EXPECT_TRUE(cut.body == bytes.left(70000)) << cut.body.size() << " bytes";
        const CurlResult whole = curl(*store, QStringLiteral("/app.zip"));
        EXPECT_EQ(whole.exitCode, 0);
        EXPECT_TRUE(whole.body == bytes);
    }
}

TEST(StoreFaults, NoLengthSendsChunkedBodiesWithoutRanges) {
    const QByteArray bytes = make(QStringLiteral("app.zip"), 2 * 1024 * 1024 + 5);
    make(QStringLiteral("empty.bin"), 0);
    auto store = StoreProcess::start(served(), {QStringLiteral("--no-length")});
    ASSERT_TRUE(store);

    const CurlResult whole =
        curl(*store, QStringLiteral("/app.zip"), {QStringLiteral("-r"), QStringLiteral("0-9")});
    EXPECT_EQ(whole.exitCode, 0);
    EXPECT_EQ(whole.status, 200);
    EXPECT_EQ(whole.header("transfer-encoding"), "chunked");
    EXPECT_FALSE(whole.header("content-length"));
    EXPECT_FALSE(whole.header("accept-ranges"));
    EXPECT_TRUE(whole.body == bytes) << whole.body.size() << " bytes";

    // An empty body still needs its last chunk, or the connection would
    // hang in the middle of a response.
    const CurlResult empty =
        curl(*store, QStringLiteral("/empty.bin"),
             {QStringLiteral("-w"), QStringLiteral("%{num_connects} "), QStringLiteral("-o"),
              QStringLiteral("/dev/null"), storeURL(*store, QStringLiteral("/empty.bin"))});
    EXPECT_EQ(empty.exitCode, 0);
    EXPECT_EQ(empty.writeOut, "1 0 ");
    EXPECT_TRUE(empty.body.isEmpty());
}

TEST(StoreFaults, StatusSwitchAnswersEveryRequest) {
    make(QStringLiteral("app.zip"), 1000);
    for (const int status : {404, 500}) {
        auto store = StoreProcess::start(served(), {QStringLiteral("--status"), QString::number(status)});
        ASSERT_TRUE(store);
        for (const QString& path : {QStringLiteral("/app.zip"), QStringLiteral("/missing")}) {
            const CurlResult answer = curl(*store, path);
            EXPECT_EQ(answer.status, status) << path.toStdString();
            EXPECT_EQ(answer.header("content-type"), "text/html; charset=utf-8");
            EXPECT_TRUE(answer.body.contains(QByteArray::number(status))) << answer.body.toStdString();
        }
    }
}

TEST(StoreFaults, FaultsUnderAPathLeaveEveryOtherPathAlone) {
    const QByteArray bytes = make(QStringLiteral("app.zip"), 200000);
    QDir().mkpath(served() + QStringLiteral("/apps"));
    const QByteArray app = make(QStringLiteral("apps/one.zip"), 200000);
    auto store = StoreProcess::start(served(), {QStringLiteral("--faults-under"), QStringLiteral("/apps/"),
                                                QStringLiteral("--drop-after"), QStringLiteral("1000")});
    ASSERT_TRUE(store);
    // Outside the path the store serves as ever, and uses up no cut.
    const CurlResult whole = curl(*store, QStringLiteral("/app.zip"));
    EXPECT_EQ(whole.exitCode, 0);
    EXPECT_TRUE(whole.body == bytes);
    const CurlResult cut = curl(*store, QStringLiteral("/apps/one.zip"));
    EXPECT_NE(cut.exitCode, 0);
    EXPECT_EQ(cut.body.size(), 1000);
    EXPECT_TRUE(curl(*store, QStringLiteral("/apps/one.zip")).body == app);
    EXPECT_NE(runStore({QStringLiteral("--root"), served(), QStringLiteral("--faults-under"),
                        QStringLiteral("apps")})
                  .exitCode,
              0);
}

TEST(StoreFaults, RateSwitchPacesEachResponse) {
    const QByteArray bytes = make(QStringLiteral("app.zip"), 300000);
    auto store = StoreProcess::start(served(), {QStringLiteral("--rate"), QStringLiteral("400000")});
    ASSERT_TRUE(store);
    const CurlResult paced =
        curl(*store, QStringLiteral("/app.zip"),
             {QStringLiteral("-w"), QStringLiteral("%{time_starttransfer} %{time_total}")});
    EXPECT_EQ(paced.exitCode, 0);
    EXPECT_TRUE(paced.body == bytes);
    const QList<QByteArray> times = paced.writeOut.split(' ');
    ASSERT_EQ(times.size(), 2);
    // 300000 bytes at 400000 per second take three quarters of a second.
    const double seconds = times[1].toDouble() - times[0].toDouble();
    EXPECT_GT(seconds, 0.6);
    EXPECT_LT(seconds, 10.0);
}

TEST(StoreFaults, CommandLineAndStateFolder) {
    ASSERT_TRUE(QDir().mkpath(served()));
    for (const QStringList& arguments :
         {QStringList{}, QStringList{QStringLiteral("--port"), QStringLiteral("1")},
          QStringList{QStringLiteral("--root"), served(), QStringLiteral("--bogus")},
          QStringList{QStringLiteral("--root"), served(), QStringLiteral("--port"), QStringLiteral("http")},
          QStringList{QStringLiteral("--root"), served(), QStringLiteral("--drop-count"),
                      QStringLiteral("2")},
          QStringList{QStringLiteral("--root"), served(), QStringLiteral("--status"), QStringLiteral("99")},
          QStringList{QStringLiteral("--root"), served() + QStringLiteral("/missing")},
          QStringList{QStringLiteral("--root"), served(), QStringLiteral("--rate")},
          QStringList{QStringLiteral("--root"), served(), QStringLiteral("--parent-pid"),
                      QStringLiteral("0")}}) {
        const StoreRun run = runStore(arguments);
        EXPECT_EQ(run.exitCode, 2) << arguments.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(run.errors.contains("Usage: kestrel-store")) << run.errors.toStdString();
        EXPECT_TRUE(run.output.isEmpty());
    }
    const StoreRun help = runStore({QStringLiteral("--help")});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.output.contains("--drop-after"));

    // A state folder of our own outlives the store, and its CA is used
    // again, so clients that trust it keep trusting the next store.
    const QString state = testing_support::testRoot() + QStringLiteral("/state");
    QByteArray firstCA;
    for (int run = 0; run < 2; ++run) {
        auto store = StoreProcess::start(served(), {QStringLiteral("--state-dir"), state});
        ASSERT_TRUE(store);
        EXPECT_EQ(QFileInfo(store->caBundlePath()).absolutePath(), QFileInfo(state).absoluteFilePath());
        const QByteArray ca = testing_support::readFile(store->caBundlePath());
        EXPECT_TRUE(ca.startsWith("-----BEGIN CERTIFICATE-----"));
        if (run == 0) {
            firstCA = ca;
        } else {
            EXPECT_EQ(ca, firstCA);
        }
        EXPECT_EQ(curl(*store, QStringLiteral("/missing")).status, 404);
    }
    EXPECT_TRUE(QFileInfo::exists(state + QStringLiteral("/ca.pem")));
    EXPECT_EQ(QFileInfo(state + QStringLiteral("/ca-key.pem")).permissions() &
                  (QFileDevice::ReadGroup | QFileDevice::ReadOther),
              QFileDevice::Permissions());
}

TEST(StoreFaults, AStoreWhoseParentIsGoneStops) {
    ASSERT_TRUE(QDir().mkpath(served()));
    // A shell starts the store in the background, names its own process as
    // the parent, says the store's process ID and exits at once.
    const QString announcement = testing_support::testRoot() + QStringLiteral("/store-output");
    auto output = platform::Pipe::make();
    auto shell = platform::Task::make();
    shell->setLaunchPath(QStringLiteral("/bin/sh"));
    shell->setArguments(
        {QStringLiteral("-c"), QStringLiteral("\"$0\" --root \"$1\" --parent-pid $$ >\"$2\" 2>&1 & echo $!"),
         platform::Tools::directory() + QStringLiteral("/kestrel-store"), served(), announcement});
    shell->setStandardInput(platform::Task::Stream::NullDevice);
    shell->setStandardOutput(output);
    ASSERT_TRUE(shell->launch());
    bool isNumber = false;
    const pid_t store = output->readDataToEndOfFile().trimmed().toInt(&isNumber);
    ASSERT_TRUE(isNumber && store > 0);
    ASSERT_TRUE(shell->waitUntilExit(std::chrono::seconds(20)));

    // Whoever took the orphan in may not reap it: a zombie counts as stopped.
    const auto running = [store] {
        const QByteArray status = testing_support::readFile(QStringLiteral("/proc/%1/stat").arg(store));
        const qsizetype end = status.lastIndexOf(')');
        return end > 0 && status.size() > end + 2 && status.at(end + 2) != 'Z';
    };
    const bool stopped = testing_support::waitUntil([&] { return !running(); }, std::chrono::seconds(10));
    if (!stopped) {
        ::kill(store, SIGKILL);
    }
    EXPECT_TRUE(stopped);
    // It stopped on its own, after it had started serving.
    EXPECT_TRUE(testing_support::readFile(announcement).startsWith("KESTREL_STORE_URL="))
        << testing_support::readFile(announcement).toStdString();
}
