// The desktop client as the installer meets it: placed in "/Applications",
// set up with -silentLaunch against a development store on a private bus,
// then asked through a services factory of this process.

#include "SpecificTools/AFXAgent/AFXAgent.h"
#include "SpecificTools/Errors/AFXErrors.h"
#include "SpecificTools/Model/AFXCustomer.h"
#include "SpecificTools/Model/AFXEndpointsManifest.h"
#include "SpecificTools/Model/AFXEnvironment.h"
#include "SpecificTools/Model/AFXEnvironmentID.h"
#include "SpecificTools/Model/AFXExecutableInfo.h"
#include "SpecificTools/ServiceRoundTrip.h"
#include "SpecificTools/Services/AFXServicesFactory.h"
#include "SpecificTools/Services/SystemManagement/AFXSystemManagementClient.h"
#include "SpecificTools/Services/SystemManagement/AFXSystemManagementRequests.h"
#include "client/KestrelSystemManagementServer.h"
#include "platform/FileManager.h"
#include "platform/Paths.h"
#include "platform/Task.h"
#include "testing/EnvironmentOverride.h"
#include "testing/SessionBusProcess.h"
#include "testing/StoreProcess.h"
#include "testing/TestSupport.h"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <csignal>

using service_round_trip::Answer;
using testing_support::EnvironmentOverride;
using testing_support::readFile;
using testing_support::runProgram;
using testing_support::testRoot;
using testing_support::waitUntil;
using testing_support::writeFile;

namespace {

const QString kDemoEmail = QStringLiteral("demo@kestrel.app");

QString placedClient() {
    return platform::Paths::resolve(QStringLiteral("/Applications/Kestrel.app"));
}
QString placedExecutable() {
    return placedClient() + QStringLiteral("/Contents/MacOS/Kestrel");
}

// Every file under the root, but for logs, which the client keeps.
QStringList filesUnderRoot() {
    QStringList files;
    QDirIterator it(testRoot(), QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = QDir(testRoot()).relativeFilePath(it.next());
        if (!path.contains(QStringLiteral("Library/Logs/"))) {
            files << path;
        }
    }
    files.sort();
    return files;
}

// Running, and not merely waiting to be collected.
bool isRunning(pid_t pid) {
    const QByteArray stat = readFile(QStringLiteral("/proc/%1/stat").arg(pid));
    const qsizetype end = stat.lastIndexOf(')');
    return end > 0 && stat.size() > end + 2 && stat[end + 2] != 'Z';
}

// A store serving a folder of this test's root, a session bus that starts
// programs with the store's settings, and the client placed where the
// installer puts it.
class DesktopClient : public testing::Test {
protected:
    void SetUp() override {
        const QString served = testRoot() + QStringLiteral("/served");
        ASSERT_TRUE(QDir().mkpath(served));
        store_ = testing_support::StoreProcess::start(served);
        ASSERT_TRUE(store_);
        const QString base = store_->baseURL().toString();
        // What the store's manifest route answers, for a store without one.
        ASSERT_TRUE(writeFile(
            served + QStringLiteral("/endpoints.json"),
            QStringLiteral(R"({"data":{"attributes":{"name":"Development"},"relationships":{"endpoints":[
    {"data":{"id":"store","attributes":{"base_url":"%1/api/store/","self_sufficient":1}}},
    {"data":{"id":"customer","attributes":{"base_url":"%1/api/customer/","self_sufficient":0}}},
    {"data":{"id":"reporting","attributes":{"base_url":"%1/","self_sufficient":1}}},
    {"data":{"id":"recommendations","attributes":{"base_url":"%1/api/recommendations/","self_sufficient":1}}}]}}})")
                .arg(base)
                .toUtf8()));
        environment_ =
            std::make_unique<EnvironmentOverride>(std::initializer_list<EnvironmentOverride::Entry>{
                {"KESTREL_CA_BUNDLE", store_->caBundlePath().toLocal8Bit()},
                {"KESTREL_ENDPOINTS_MANIFEST_URL", base.toLocal8Bit()},
                {"KESTREL_DOWNLOAD_HOST", base.toLocal8Bit()},
                {"KESTREL_TOOLS_DIR", QByteArray(KESTREL_TOOLS_BIN)}});
        ASSERT_TRUE(platform::FileManager::createDirectory(
            platform::Paths::resolve(QStringLiteral("/Applications")), true));
        ASSERT_TRUE(platform::FileManager::copyItem(QStringLiteral(KESTREL_CLIENT_BUNDLE), placedClient()));
        // Started last, so that the programs it starts inherit the settings.
        bus_ = testing_support::SessionBusProcess::start();
        ASSERT_TRUE(bus_);
    }

    void TearDown() override {
        factory_ = nullptr;
        bus_ = nullptr;
        environment_ = nullptr;
        store_ = nullptr;
    }

    static testing_support::ProgramResult runClient(const QStringList& arguments) {
        return runProgram(placedExecutable(), arguments);
    }

    // -silentLaunch, which must succeed.
    void silentLaunch() {
        const auto run = runClient({QStringLiteral("-silentLaunch")});
        ASSERT_EQ(run.status, 0) << run.errors.toStdString();
    }

    // The system management service as the installer gets it.
    std::shared_ptr<AFXSystemManagementService> systemManagement() {
        if (!factory_) {
            factory_ = AFXServicesFactory::makeWithServicesClasses(
                {AFXSystemManagementClient::serviceClass()}, QStringLiteral("ClientTests"), nullptr);
        }
        Answer<BRValueOrError<std::shared_ptr<AFXSystemManagementService>>> service;
        factory_->fetchSystemManagementServiceWithCallback(service.callback());
        const auto made = service.wait();
        return made && made->hasValue() ? *made->value() : nullptr;
    }

    std::optional<BRValueOrError<std::shared_ptr<AFXCustomer>>> currentCustomer() {
        Answer<BRValueOrError<std::shared_ptr<AFXCustomer>>> customer;
        systemManagement()->fetchCurrentCustomerUpdated(true, false, nullptr, 1, customer.callback());
        return customer.wait();
    }

    std::optional<BRValueOrError<std::int64_t>> startUpStatus() {
        Answer<BRValueOrError<std::int64_t>> status;
        systemManagement()->fetchStartUpStatusWithCallback(status.callback());
        return status.wait();
    }
    // Whether the service answers a request.
    bool answers() {
        const auto status = startUpStatus();
        return status && status->hasValue();
    }

    // The process that serves system management on the bus, or 0.
    pid_t agentProcess() const {
        QDBusConnection bus = QDBusConnection::connectToBus(bus_->address(), QStringLiteral("client-tests"));
        const QDBusReply<uint> pid = bus.interface()->servicePid(AFXSystemManagementServiceName());
        return pid.isValid() ? static_cast<pid_t>(pid.value()) : 0;
    }

    std::unique_ptr<testing_support::StoreProcess> store_;
    std::unique_ptr<EnvironmentOverride> environment_;
    std::unique_ptr<testing_support::SessionBusProcess> bus_;
    std::shared_ptr<AFXServicesFactory> factory_;
};

} // namespace

TEST_F(DesktopClient, SilentLaunchLeavesAnAgentServingSystemManagement) {
    silentLaunch();
    const auto agent =
        AFXAgent::make(QStringLiteral("KestrelAgent.app"), QUrl::fromLocalFile(placedClient()));
    EXPECT_TRUE(agent->isLoaded());
    EXPECT_FALSE(agent->wantsUpdate());
    EXPECT_TRUE(QFile::exists(agent->agentExecutablePath().value_or(QString())));
    const pid_t first = agentProcess();
    ASSERT_GT(first, 0) << "-silentLaunch ended before the agent served";

    ASSERT_TRUE(systemManagement());
    Answer<BRValueOrError<std::shared_ptr<AFXEnvironment>>> environment;
    systemManagement()->fetchCurrentEnvironmentUpdated(false, environment.callback());
    const auto fetched = environment.wait();
    ASSERT_TRUE(fetched && fetched->hasValue())
        << (fetched ? fetched->error()->description().toStdString() : "");
    EXPECT_TRUE((*fetched->value())->identifier()->isDefault());
    EXPECT_EQ((*fetched->value())->name(), QStringLiteral("Development"));
    EXPECT_EQ((*fetched->value())->endpointsManifest()->originURL().host(), store_->baseURL().host());

    // Nobody signed in.
    const auto customer = currentCustomer();
    ASSERT_TRUE(customer);
    ASSERT_FALSE(customer->hasValue());
    EXPECT_TRUE(afx_isMissingObject(*customer->error())) << customer->error()->description().toStdString();
    const auto status = startUpStatus();
    ASSERT_TRUE(status && status->hasValue());
    EXPECT_EQ(*status->value(), KestrelSystemManagementServer::StartUpStatusReady);

    // The uninstaller of type 1 is the placed client's; other types are refused.
    Answer<BRValueOrError<std::shared_ptr<AFXExecutableInfo>>> uninstallers;
    systemManagement()->fetchUninstallerExecutableInfoWithType(1, uninstallers.callback());
    systemManagement()->fetchUninstallerExecutableInfoWithType(2, uninstallers.callback());
    ASSERT_TRUE(uninstallers.waitFor(2));
    const auto uninstallerAnswers = uninstallers.all();
    for (const auto& answer : uninstallerAnswers) {
        if (answer.hasValue()) {
            EXPECT_EQ(QFileInfo((*answer.value())->path()).canonicalFilePath(),
                      QFileInfo(placedExecutable()).canonicalFilePath());
            EXPECT_EQ((*answer.value())->arguments(), QStringList{QStringLiteral("--uninstall")});
        } else {
            EXPECT_EQ(answer.error()->domain(), AFXDefaultErrorDomain);
            EXPECT_TRUE(answer.error()->localizedDescription().contains(QStringLiteral("type 2")));
        }
    }
    EXPECT_EQ(std::count_if(uninstallerAnswers.begin(), uninstallerAnswers.end(),
                            [](const auto& answer) { return answer.hasValue(); }),
              1);

    // What the client does not offer is an error that names it, and no
    // request stops the agent: not even one asking for reports it cannot get.
    Answer<std::optional<platform::Error>> updates;
    systemManagement()->checkForUpdatesInitiatedByUser(true, updates.callback());
    const auto refused = updates.wait();
    ASSERT_TRUE(refused && *refused);
    EXPECT_TRUE(afx_isMissingService(**refused));
    EXPECT_TRUE((*refused)->description().contains(QStringLiteral("checkForUpdates")));
    const auto client = std::dynamic_pointer_cast<AFXSystemManagementClient>(systemManagement());
    ASSERT_TRUE(client);
    Answer<BRAnyValueOrError> poked;
    client->performRequest(
        client->makeRequest<AFXPokeRequest>(), [](const auto&) {}, poked.callback());
    ASSERT_TRUE(poked.waitFor(1));
    EXPECT_TRUE(answers());
    EXPECT_EQ(agentProcess(), first);

    // Activities hold the end of the whole system while they run.
    const auto termination = [&] {
        Answer<bool> vote;
        systemManagement()->prepareWholeSystemForTerminationWithCallback(vote.callback());
        return vote.wait();
    };
    EXPECT_EQ(termination(), true);
    const auto activity = factory_->startActivityWithReason(QStringLiteral("installing"));
    EXPECT_TRUE(waitUntil([&] { return termination() == false; }));
    factory_->stopActivity(activity);
    EXPECT_TRUE(waitUntil([&] { return termination() == true; }));

    // A dead agent is started again by the next request.
    ASSERT_EQ(::kill(first, SIGKILL), 0);
    EXPECT_TRUE(waitUntil([&] { return answers(); }, std::chrono::seconds(30)));
    const pid_t second = agentProcess();
    EXPECT_GT(second, 0);
    EXPECT_NE(second, first);

    // A second agent, as a racing start by the bus makes, leaves the names
    // to the one that serves them.
    const auto racing = runClient({QStringLiteral("-xpcServer")});
    EXPECT_EQ(racing.status, 0) << racing.errors.toStdString();
    EXPECT_EQ(agentProcess(), second);
    EXPECT_TRUE(answers());

    // A second silent run finds the agent loaded and up to date: no reload.
    silentLaunch();
    EXPECT_EQ(agentProcess(), second);
}

TEST_F(DesktopClient, AnAgentTheBusStartsForAnUnloadedAgentLeaves) {
    // What the bus started for an agent unloaded while it came up: unload
    // looked for a process serving the names before this one served them,
    // so it must find its service files gone and leave by itself.
    const EnvironmentOverride startedByTheBus({{"DBUS_STARTER_BUS_TYPE", QByteArray("session")}});
    const auto late = platform::Task::make();
    late->setLaunchPath(placedExecutable());
    late->setArguments({QStringLiteral("-xpcServer")});
    ASSERT_TRUE(late->launch());
    const bool left = late->waitUntilExit(std::chrono::seconds(30));
    if (!left) {
        late->terminate();
        late->waitUntilExit();
    }
    EXPECT_TRUE(left) << "the agent of an unloaded launch agent went on serving";
    EXPECT_EQ(late->terminationStatus(), 0);
    EXPECT_EQ(agentProcess(), 0);
}

TEST_F(DesktopClient, SignInKeepsTheCustomerTheAgentAnswers) {
    silentLaunch();
    const auto wrong = runClient({QStringLiteral("--sign-in"), kDemoEmail, QStringLiteral("--password"),
                                  QStringLiteral("not-the-password")});
    if (wrong.errors.contains("status 404") || wrong.errors.contains("status 405")) {
        GTEST_SKIP() << "this store has no customer API yet: " << wrong.errors.toStdString();
    }
    EXPECT_EQ(wrong.status, 1);
    EXPECT_TRUE(wrong.errors.contains("The email address or password is not right."))
        << wrong.errors.toStdString();
    const auto nobody = currentCustomer();
    ASSERT_TRUE(nobody);
    EXPECT_FALSE(nobody->hasValue());

    const auto signIn = runClient({QStringLiteral("--sign-in"), kDemoEmail});
    ASSERT_EQ(signIn.status, 0) << signIn.errors.toStdString();
    // The programs of the session hear of it: this one's services factory
    // takes the customer before anyone asks the agent.
    EXPECT_TRUE(waitUntil([&] {
        const auto known = factory_->currentCustomer();
        return known && known->accountName() == kDemoEmail;
    })) << "no customer-changed notification reached the factory";
    const auto customer = currentCustomer();
    ASSERT_TRUE(customer && customer->hasValue())
        << (customer ? customer->error()->description().toStdString() : "");
    EXPECT_EQ((*customer->value())->accountName(), kDemoEmail);
    EXPECT_EQ((*customer->value())->backendID(), QStringLiteral("1001"));
    EXPECT_FALSE((*customer->value())->token().isEmpty());
    EXPECT_EQ((*customer->value())->subscriptionState(), AFXCustomerSubscriptionStateActive);

    const auto signOut = runClient({QStringLiteral("--sign-out")});
    ASSERT_EQ(signOut.status, 0) << signOut.errors.toStdString();
    EXPECT_TRUE(waitUntil([&] { return !factory_->currentCustomer(); }))
        << "the factory kept the customer who signed out";
    const auto afterwards = currentCustomer();
    ASSERT_TRUE(afterwards);
    EXPECT_FALSE(afterwards->hasValue());
}

TEST_F(DesktopClient, UninstallRemovesTheClientAndItsAgentAndNothingElse) {
    const QStringList before = filesUnderRoot();
    silentLaunch();
    ASSERT_TRUE(answers());
    const pid_t agent = agentProcess();
    ASSERT_GT(agent, 0);
    ASSERT_TRUE(
        writeFile(platform::Paths::resolve(QStringLiteral("~/Library/Logs/Kestrel/kept.log")), "kept"));

    // An agent that cannot be unloaded stops the uninstaller before it
    // removes anything: the bus would otherwise go on starting a program
    // that is gone, and nothing would be left to run the uninstaller again.
    {
        QTemporaryDir refusingTools;
        ASSERT_TRUE(refusingTools.isValid());
        const QString launchctl = refusingTools.filePath(QStringLiteral("launchctl"));
        ASSERT_TRUE(writeFile(launchctl, "#!/bin/sh\n[ \"$1\" = list ] && exit 0\nexit 1\n"));
        ASSERT_TRUE(QFile::setPermissions(launchctl, QFile::ReadOwner | QFile::ExeOwner));
        const QStringList installed = filesUnderRoot();
        EnvironmentOverride tools({{"KESTREL_TOOLS_DIR", refusingTools.path().toLocal8Bit()}});
        const auto refused = runClient({QStringLiteral("--uninstall")});
        EXPECT_EQ(refused.status, 1);
        EXPECT_TRUE(refused.errors.contains("could not unload")) << refused.errors.toStdString();
        EXPECT_EQ(filesUnderRoot(), installed);
        EXPECT_TRUE(isRunning(agent));
    }

    // A link among the client's environment folders leads to another
    // program's files, which are not the client's to remove.
    const QString support = platform::Paths::resolve(QStringLiteral("~/Library/Application Support/Kestrel"));
    ASSERT_TRUE(writeFile(testRoot() + QStringLiteral("/Other/Resources/keep"), "kept"));
    ASSERT_TRUE(QFile::link(testRoot() + QStringLiteral("/Other"), support + QStringLiteral("/Linked")));

    const auto uninstall = runClient({QStringLiteral("--uninstall")});
    ASSERT_EQ(uninstall.status, 0) << uninstall.errors.toStdString();
    EXPECT_TRUE(waitUntil([&] { return !isRunning(agent); })) << "the agent outlived the uninstaller";
    EXPECT_FALSE(QFile::exists(placedClient()));
    EXPECT_EQ(QDir(support).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System),
              QStringList{QStringLiteral("Linked")});
    EXPECT_FALSE(QFile::exists(platform::Paths::resolve(QStringLiteral("/Users/Shared/Kestrel"))));
    EXPECT_TRUE(QFile::exists(platform::Paths::resolve(QStringLiteral("~/Library/Logs/Kestrel/kept.log"))));

    // The client placed by the installer is gone with the rest.
    QStringList expected = before;
    expected.removeIf(
        [](const QString& path) { return path.startsWith(QStringLiteral("Applications/Kestrel.app")); });
    expected << QStringLiteral("Other/Resources/keep");
    expected.sort();
    EXPECT_EQ(filesUnderRoot(), expected);

    // Nobody answers for the client any more.
    factory_ = nullptr;
    const auto status = startUpStatus();
    ASSERT_TRUE(status) << "a request to a removed client was never answered";
    EXPECT_FALSE(status->hasValue());
}

TEST_F(DesktopClient, ShowsPagesAndRefusesWhatItCannotShow) {
    ASSERT_TRUE(writeFile(testRoot() + QStringLiteral("/served/api/store/catalogue.json"),
                          R"({"apps":[{"id":230,"name":"Orbit Notes"}],"collections":[]})"));
    const QString url = QStringLiteral("kestreldiscovery://"
                                       "open_collection?collection_id=0&app_id=230&sender_domain=Installer&"
                                       "sender=Orbit%20Notes%20Installer");
    const auto shown = runClient({url});
    ASSERT_EQ(shown.status, 0) << shown.errors.toStdString();
    EXPECT_EQ(shown.output, "Kestrel: showing Orbit Notes (app 230) for Orbit Notes Installer\n");
    EXPECT_EQ(readFile(platform::Paths::resolve(QStringLiteral("~/Library/Logs/Kestrel/opened-pages.log"))),
              url.toUtf8() + '\n');

    for (const QString& arguments :
         {QStringLiteral("kestreldiscovery://open_collection?sender=x"), QStringLiteral("--no-such-mode")}) {
        const auto refused = runClient({arguments});
        EXPECT_EQ(refused.status, 2) << arguments.toStdString();
        EXPECT_TRUE(refused.errors.contains("usage:")) << refused.errors.toStdString();
    }
}
