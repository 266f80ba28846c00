// Whole installations of Orbit Notes with real processes: the development
// store serving the client, the catalogue and the customer API; a session
// bus whose service folder is the root's, so the desktop client's agent is
// started by the bus on demand; the desktop client the build packs; and the
// installer program in its terminal mode.

#include "platform/CodeSigningTrust.h"
#include "platform/LaunchServices.h"
#include "platform/Paths.h"
#include "platform/Tools.h"
#include "testing/EnvironmentOverride.h"
#include "testing/InstallerRun.h"
#include "testing/SessionBusProcess.h"
#include "testing/StoreProcess.h"
#include "testing/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

using testing_support::InstallerRun;
using testing_support::readFile;
using testing_support::runProgram;
using testing_support::testRoot;

namespace {

const QString kClientExecutable = QStringLiteral("/Applications/Kestrel.app/Contents/MacOS/Kestrel");
const QString kAppBundle = QStringLiteral("/Applications/Orbit Notes.app");

QString resolved(const QString& systemPath) {
    return platform::Paths::resolve(systemPath);
}

// Every file the root holds, as system paths, but for logs, what the test
// itself put there and the system's own records (the Launch Services
// registry exists on every machine).
QStringList residue() {
    QStringList found;
    const QString root = testRoot();
    const QString logs = resolved("~/Library/Logs");
    const QString trust = resolved(platform::CodeSigningTrust::trustedRootsFolder);
    const QString registry = QFileInfo(platform::LaunchServices::registryPath()).absolutePath();
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString name = QFileInfo(path).fileName();
        if (path.startsWith(logs) || path.startsWith(trust) || path.startsWith(registry) ||
            !QFileInfo(path).isFile() || name.startsWith("session-bus-") ||
            name.startsWith("kestrel-store-")) {
            continue;
        }
        found << path.mid(root.size());
    }
    found.sort();
    return found;
}

// The store, the bus and what the programs they start need: the bus starts
// the client's agent with its own environment, so the bus comes up after
// everything is set.
class EndToEndTests : public ::testing::Test {
protected:
    void startWith(const QStringList& storeArguments = {},
                   const QString& storeFolder = QStringLiteral(KESTREL_CLIENT_STORE_FOLDER)) {
        const QString trust = resolved(platform::CodeSigningTrust::trustedRootsFolder);
        ASSERT_TRUE(QDir().mkpath(trust));
        ASSERT_TRUE(QFile::copy(QStringLiteral(KESTREL_SIGNING_DIR "/DevelopmentRoot.pem"),
                                trust + "/DevelopmentRoot.pem"));
        store_ = testing_support::StoreProcess::start(storeFolder, storeArguments);
        ASSERT_TRUE(store_);
        environment_ = std::make_unique<testing_support::EnvironmentOverride>(
            std::initializer_list<testing_support::EnvironmentOverride::Entry>{
                {"KESTREL_DOWNLOAD_HOST", store_->baseURL().toString().toLocal8Bit()},
                {"KESTREL_CA_BUNDLE", store_->caBundlePath().toLocal8Bit()},
                {"KESTREL_ENDPOINTS_MANIFEST_URL",
                 (store_->baseURL().toString() + "/endpoints.json").toLocal8Bit()},
                {"KESTREL_TOOLS_DIR", platform::Tools::directory().toLocal8Bit()}});
        bus_ = testing_support::SessionBusProcess::start();
        ASSERT_TRUE(bus_);
        before_ = residue();
    }

    // Signs the demo customer in with the client the build made, before any
    // installation: the customer is kept in the root's preferences.
    void signInDemoCustomer() {
        const auto result =
            runProgram(QStringLiteral(KESTREL_BUILT_CLIENT_EXECUTABLE), {"--sign-in", "demo@kestrel.app"});
        ASSERT_EQ(result.status, 0) << result.errors.toStdString();
        before_ = residue();
    }

    std::unique_ptr<InstallerRun> install(const QStringList& arguments = {},
                                          InstallerRun::Mode mode = InstallerRun::Mode::Terminal) {
        return std::make_unique<InstallerRun>(*store_, arguments, mode);
    }

    std::unique_ptr<testing_support::StoreProcess> store_;
    std::unique_ptr<testing_support::EnvironmentOverride> environment_;
    std::unique_ptr<testing_support::SessionBusProcess> bus_;
    QStringList before_;
};

} // namespace

TEST_F(EndToEndTests, AFreshInstallationReachesReadyAndLaunchShowsTheAppsPage) {
    startWith();
    const auto run = install();

    ASSERT_EQ(run->finish(), 0) << run->output().toStdString();
    for (const char* milestone :
         {"[1] downloading", "[3] desktop client downloaded", "[4] desktop client started",
          "[6] installing the app", "[8] preparing", "[9] ready", "100%"}) {
        EXPECT_TRUE(run->output().contains(milestone)) << milestone << "\n" << run->output().toStdString();
    }
    EXPECT_TRUE(QFileInfo(resolved(kClientExecutable)).isExecutable());
    EXPECT_TRUE(QFileInfo(resolved(kAppBundle + "/Contents/Info.plist")).isFile());
    // The page is shown by the client the `open` stand-in starts.
    const QString pages = resolved("~/Library/Logs/Kestrel/opened-pages.log");
    EXPECT_TRUE(testing_support::waitUntil([&] { return readFile(pages).contains("app_id=230"); }))
        << readFile(pages).toStdString();
    EXPECT_TRUE(readFile(pages).contains("kestreldiscovery://open_collection?"));
    EXPECT_TRUE(readFile(pages).contains("sender_domain=Installer"));
    // Nobody is signed in: the app is not opened after the page.
    EXPECT_TRUE(run->output().contains("nobody is signed in"));
}

TEST_F(EndToEndTests, WithACustomerSignedInTheAppOpensAfterItsPage) {
    startWith();
    signInDemoCustomer();
    const auto run = install();

    ASSERT_EQ(run->finish(), 0) << run->output().toStdString();
    EXPECT_TRUE(run->output().contains("Orbit Notes opens in two seconds"));
    const QString launched = resolved("~/Library/Logs/Kestrel/launched-apps.log");
    EXPECT_TRUE(testing_support::waitUntil(
        [&] { return readFile(launched).contains("com.orbitlabs.OrbitNotes"); }, std::chrono::seconds(15)))
        << readFile(launched).toStdString();
}

TEST_F(EndToEndTests, AStopOfASecondRunLeavesWhatWasThereBefore) {
    startWith();
    {
        const auto first = install({"--no-launch"});
        ASSERT_EQ(first->finish(), 0) << first->output().toStdString();
    }
    const QStringList installed = residue();
    ASSERT_TRUE(installed.contains(kAppBundle + "/Contents/Info.plist"))
        << installed.join("\n").toStdString();

    const auto second = install({"--stop-at", "9"});

    EXPECT_EQ(second->finish(), 130) << second->output().toStdString();
    // The client and the app were there before this run: neither goes.
    EXPECT_TRUE(second->output().contains("[9] ready")) << second->output().toStdString();
    EXPECT_EQ(residue(), installed) << residue().join("\n").toStdString();
}

// Stop pressed as a state is reached: what the run did is undone, and the
// client it placed is uninstalled once its services were reached (before
// that there is nobody to ask for the uninstaller). The app's transfer is
// slowed so that a stop during the install lands while it is under way;
// stops after the install let it run at full speed, since the whole slowed
// transfer would only cost them time. At state 4 whether the services were
// reached when the stop lands is a race, so either outcome holds, but never
// a half of one.
enum class Client { Stays, Goes, EitherWay };
struct StopCase {
    int state;
    Client client;
};
void PrintTo(const StopCase& stop, std::ostream* out) {
    *out << "stop at state " << stop.state;
}

class StopAtStateTests : public EndToEndTests, public ::testing::WithParamInterface<StopCase> {};

TEST_P(StopAtStateTests, UndoesWhatTheRunDid) {
    startWith(GetParam().state <= 6 ? QStringList{"--faults-under", "/api/store/apps/230/", "--rate", "65536"}
                                    : QStringList{});
    const auto run = install({"--stop-at", QString::number(GetParam().state)});

    EXPECT_EQ(run->finish(), 130) << run->output().toStdString();
    EXPECT_TRUE(run->output().contains("stopped."));
    EXPECT_FALSE(QFileInfo::exists(resolved(kAppBundle)));
    const bool clientStayed = QFileInfo::exists(resolved(kClientExecutable));
    if (GetParam().client != Client::EitherWay) {
        EXPECT_EQ(clientStayed, GetParam().client == Client::Stays);
    }
    if (!clientStayed) {
        EXPECT_EQ(residue(), before_) << residue().join("\n").toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(States, StopAtStateTests,
                         ::testing::Values(StopCase{1, Client::Goes}, StopCase{3, Client::Stays},
                                           StopCase{4, Client::EitherWay}, StopCase{6, Client::Goes},
                                           StopCase{8, Client::Goes}, StopCase{9, Client::Goes}),
                         [](const auto& info) { return "State" + std::to_string(info.param.state); });

// In the window a termination signal is no question to ask the user: the
// run is stopped and undone, then the installer quits.
TEST_F(EndToEndTests, InTheWindowATerminationSignalUndoesTheRunBeforeQuitting) {
    startWith({"--faults-under", "/api/store/apps/230/", "--rate", "65536"});
    const auto run = install({}, InstallerRun::Mode::Window);
    // The window prints nothing; its log says when the client's services
    // were reached, after which the slowed install of the app takes a while.
    const QString logs = resolved("~/Library/Logs/Kestrel");
    const auto installerReachedTheApps = [&] {
        for (const QString& name : QDir(logs).entryList(QDir::Files)) {
            const QStringList lines = QString::fromUtf8(readFile(logs + "/" + name)).split('\n');
            if (!lines.filter("<install-orbit-notes>")
                     .filter("connection with com.kestrel.AppsManagement")
                     .isEmpty()) {
                return true;
            }
        }
        return false;
    };
    ASSERT_TRUE(testing_support::waitUntil(installerReachedTheApps, std::chrono::seconds(60)));

    run->terminate();

    EXPECT_EQ(run->finish(), 0);
    EXPECT_EQ(residue(), before_) << residue().join("\n").toStdString();
}

// A run that fails stops and undoes what it did, as a stop would: the
// failure states 2 (the client's transfer refused) and 5 (the catalogue
// refused, so the app cannot be fetched) leave the root as it was, the
// client uninstalled once its services had been reached.
struct FailureCase {
    int state;
    QStringList storeArguments;
};
void PrintTo(const FailureCase& failure, std::ostream* out) {
    *out << "failure at state " << failure.state;
}

class FailureStateTests : public EndToEndTests, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(FailureStateTests, LeaveTheRootAsItWas) {
    startWith(GetParam().storeArguments);
    const auto run = install();

    EXPECT_EQ(run->finish(), 1) << run->output().toStdString();
    EXPECT_TRUE(run->output().contains(QStringLiteral("[%1] ").arg(GetParam().state)))
        << run->output().toStdString();
    EXPECT_TRUE(run->output().contains("stopped."));
    EXPECT_EQ(residue(), before_) << residue().join("\n").toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    States, FailureStateTests,
    ::testing::Values(FailureCase{2, {"--faults-under", "/com.kestrel.DesktopClient/", "--status", "500"}},
                      FailureCase{5, {"--faults-under", "/api/store/", "--status", "500"}}),
    [](const auto& info) { return "State" + std::to_string(info.param.state); });

TEST_F(EndToEndTests, AnAppWhoseSignatureDoesNotHoldIsNotPlaced) {
    // A store whose Orbit Notes archive holds a bundle changed after signing.
    QTemporaryDir storeFolder;
    ASSERT_TRUE(storeFolder.isValid());
    ASSERT_EQ(runProgram("/bin/cp", {"-a", KESTREL_CLIENT_STORE_FOLDER "/.", storeFolder.path()}).status, 0);
    const QString archive = storeFolder.path() + "/api/store/apps/230/Orbit Notes.zip";
    QTemporaryDir unpacked;
    const QString ditto = platform::Tools::path("/usr/bin/ditto");
    ASSERT_EQ(runProgram(ditto, {"-x", "-k", archive, unpacked.path()}).status, 0);
    QFile changed(unpacked.path() + "/Orbit Notes.app/Contents/Info.plist");
    ASSERT_TRUE(changed.open(QIODevice::Append));
    changed.write("\n");
    changed.close();
    ASSERT_TRUE(QFile::remove(archive));
    ASSERT_EQ(
        runProgram(ditto, {"-c", "-k", "--keepParent", unpacked.path() + "/Orbit Notes.app", archive}).status,
        0);
    startWith({}, storeFolder.path());

    const auto run = install();

    EXPECT_EQ(run->finish(), 1) << run->output().toStdString();
    EXPECT_TRUE(run->output().contains("[7] app installation failed")) << run->output().toStdString();
    EXPECT_TRUE(run->output().contains("-401042")) << run->output().toStdString();
    // Nothing of the app is placed, and the client this run placed is gone.
    EXPECT_EQ(residue(), before_) << residue().join("\n").toStdString();
}

// The agent dies in the middle of the app's install: the bus starts it
// again on the next request, and the run either finishes or fails cleanly
// and its retry finishes.
TEST_F(EndToEndTests, TheClientsAgentDyingDuringTheInstallIsSurvived) {
    startWith({"--faults-under", "/api/store/apps/230/", "--rate", "65536"});
    const auto run = install({"--retries", "1", "--no-launch"});
    ASSERT_TRUE(run->waitForOutput("[6] installing the app")) << run->output().toStdString();

    const auto killed = runProgram("/usr/bin/pkill", {"-KILL", "-f", testRoot() + ".*-xpcServer"});
    ASSERT_EQ(killed.status, 0) << "no agent was running";

    EXPECT_EQ(run->finish(), 0) << run->output().toStdString();
    EXPECT_TRUE(QFileInfo(resolved(kAppBundle + "/Contents/Info.plist")).isFile());
}

// Transfers of the app's archive cut short: the run gets through with its
// retries.
TEST_F(EndToEndTests, CutTransfersOfTheAppAreSurvived) {
    startWith({"--faults-under", "/api/store/apps/230/", "--drop-after", "4096,0"});
    const auto run = install({"--retries", "2", "--no-launch"});

    EXPECT_EQ(run->finish(), 0) << run->output().toStdString();
    EXPECT_TRUE(QFileInfo(resolved(kAppBundle + "/Contents/Info.plist")).isFile());
    // The cut transfers left no partial file behind.
    EXPECT_EQ(residue().filter("CFNetworkDownload_"), QStringList()) << residue().join("\n").toStdString();
}
