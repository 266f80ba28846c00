// The desktop client's apps management server in this process, reached by
// the framework's client over a private session bus, against a development
// store that serves a catalogue and signed app archives the test makes.

#include "../SpecificTools/ServiceRoundTrip.h"
#include "KestrelAppsManagementServer.h"
#include "SpecificTools/Errors/AFXErrors.h"
#include "SpecificTools/Interprocess/AFXEnvironmentServiceID.h"
#include "SpecificTools/Model/AFXAppInstance.h"
#include "SpecificTools/Model/AFXAppSearchResult.h"
#include "SpecificTools/Model/AFXAppWorkflow.h"
#include "SpecificTools/Model/AFXCodedAppCollection.h"
#include "SpecificTools/Model/AFXEndpoint.h"
#include "SpecificTools/Model/AFXResourceExistsStatus.h"
#include "SpecificTools/Services/AppsManagement/AFXAppsManagementClient.h"
#include "SpecificTools/Services/AppsManagement/AFXAppsManagementRequests.h"
#include "VendorAppInstallation.h"
#include "platform/CodeSigningTrust.h"
#include "platform/DispatchQueue.h"
#include "platform/DistributedNotificationCenter.h"
#include "platform/KeyedUnarchiver.h"
#include "platform/Paths.h"
#include "platform/Tools.h"
#include "testing/AppBundleMaker.h"
#include "testing/EnvironmentOverride.h"
#include "testing/StoreProcess.h"
#include "testing/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>

#include <unistd.h>

using namespace Qt::StringLiterals;
using service_round_trip::Answer;
using testing_support::testRoot;

namespace {

const QString kSigningDir = QStringLiteral(KESTREL_SIGNING_DIR);
constexpr std::int64_t kNotes = 230; // signed by the team
constexpr std::int64_t kDraw = 231;  // its signature no longer matches its files

using AppsRoundTrip = service_round_trip::RoundTrip<KestrelAppsManagementServer, AFXAppsManagementClient>;
template <typename T> using Result = BRValueOrError<T>;

QByteArray randomBytes(qsizetype size) {
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(bytes.data()), size / 4);
    return bytes;
}

QString runTool(const QString& tool, const QStringList& arguments) {
    const auto result = testing_support::runProgram(platform::Tools::directory() + u"/"_s + tool, arguments);
    return result.status == 0 ? QString() : tool + u": "_s + QString::fromLocal8Bit(result.errors);
}

// A catalogue app: a bundle whose executable carries `size` random bytes
// (so that the archive cannot shrink them),
// signed with the team's identity and packed as the store serves it.
QString makeArchive(const QString& served, std::int64_t id, const QString& name, qsizetype size,
                    bool tamper) {
    const QString bundle = testRoot() + u"/build/%1.app"_s.arg(name);
    if (!testing_support::makeAppBundle(
            bundle,
            testing_support::appInfo(u"com.tests."_s + name, {{u"CFBundleShortVersionString"_s, u"1.0"_s}}),
            "#!/bin/sh\nexit 0\n" + randomBytes(size))) {
        return u"cannot make "_s + bundle;
    }
    QString trouble =
        runTool(u"kestrel-codesign"_s, {u"sign"_s, u"--key"_s, kSigningDir + u"/Team.key"_s, u"--chain"_s,
                                        kSigningDir + u"/Team-chain.pem"_s, bundle});
    if (tamper &&
        !testing_support::writeFile(bundle + u"/Contents/MacOS/Recorder"_s, "#!/bin/sh\nexit 3\n")) {
        trouble += u"cannot tamper with "_s + bundle;
    }
    const QString folder = served + u"/api/store/apps/%1"_s.arg(id);
    QDir().mkpath(folder);
    return trouble + runTool(u"ditto"_s, {u"-c"_s, u"-k"_s, u"--keepParent"_s, bundle,
                                          folder + u"/"_s + name + u".zip"_s});
}

QByteArray catalogueApp(std::int64_t id, const QString& name) {
    return uR"({"id":%1,"bundle_identifier":"com.tests.%2","name":"%2","vendor_name":"Tests",
        "collection_ids":[1],"bundle_name":"%2.app","versions":[{"id":"1.0.0","ui_version":"1.0","size":0}],
        "archive":"apps/%1/%2.zip","resources":[{"kind":"icon","path":"apps/%1/icon.png"},
        {"kind":"screenshot","path":"apps/%1/screenshot-1.png"},{"kind":"video","path":"apps/%1/intro.mp4"}]})"_s
        .arg(id)
        .arg(name)
        .toUtf8();
}

// What the client's callbacks got, as short text.
template <typename T> std::string errorOf(const std::optional<Result<T>>& result) {
    if (!result) {
        return "no answer";
    }
    return result->error()
               ? u"%1 %2"_s.arg(result->error()->domain()).arg(result->error()->code()).toStdString()
               : "value";
}
std::string errorInDomain(std::int64_t code) {
    return u"%1 %2"_s.arg(AFXDefaultErrorDomain).arg(code).toStdString();
}

// The store with a catalogue of two apps, a server of the default
// environment whose store is that store, and a client of the server.
class KestrelAppsManagementServerTests : public ::testing::Test {
protected:
    void SetUp() override {
        const QString trusted = platform::Paths::resolve(platform::CodeSigningTrust::trustedRootsFolder);
        QDir().mkpath(trusted);
        ASSERT_TRUE(
            QFile::copy(kSigningDir + u"/DevelopmentRoot.pem"_s, trusted + u"/DevelopmentRoot.pem"_s));
        served_ = testRoot() + u"/served"_s;
        ASSERT_EQ(makeArchive(served_, kNotes, u"Orbit Notes"_s, 3 << 20, false), QString());
        ASSERT_EQ(makeArchive(served_, kDraw, u"Comet Draw"_s, 1000, true), QString());
        for (const std::int64_t id : {kNotes, kDraw}) {
            const QString folder = served_ + u"/api/store/apps/%1/"_s.arg(id);
            ASSERT_TRUE(
                testing_support::writeFile(folder + u"icon.png"_s, "icon of " + QByteArray::number(id)));
            ASSERT_TRUE(testing_support::writeFile(folder + u"screenshot-1.png"_s, QByteArray(50000, 's')));
        }
        writeCatalogue(goodCatalogue());
    }

    static QByteArray goodCatalogue() {
        return "{\"apps\":[" + catalogueApp(kNotes, u"Orbit Notes"_s) + "," +
               catalogueApp(kDraw, u"Comet Draw"_s) +
               "],\"collections\":[{\"id\":1,\"name\":\"Productivity\",\"app_ids\":[230,231]}]}";
    }

    void writeCatalogue(const QByteArray& json) {
        ASSERT_TRUE(testing_support::writeFile(served_ + u"/api/store/catalogue.json"_s, json));
    }

    // Starts the store (with its own switches), the bus and the served
    // service, and tells the service of its environment unless asked not to.
    void serve(const QStringList& storeArguments = {}, bool tellEnvironment = true) {
        store_ = testing_support::StoreProcess::start(served_, storeArguments);
        ASSERT_TRUE(store_);
        environment_.emplace(std::initializer_list<testing_support::EnvironmentOverride::Entry>{
            {"KESTREL_CA_BUNDLE", store_->caBundlePath().toLocal8Bit()}});
        trip_ = AppsRoundTrip::start(
            AFXEnvironmentServiceID::makeWithServiceName(AFXAppsManagementService::interprocessServiceName(),
                                                         AFXEnvironmentID::defaultEnvironmentID()),
            AFXAppsManagementRequestClasses(),
            [](const auto& serviceID, const auto& adaptor, const auto& factory) {
                return KestrelAppsManagementServer::makeWithServiceID(serviceID, adaptor, factory, nullptr);
            });
        ASSERT_TRUE(trip_);
        client_ = trip_->client;
        if (!tellEnvironment) {
            return;
        }
        auto manifest = AFXEndpointsManifest::make();
        manifest->setEndpointForStoreAPI(AFXEndpoint::makeWithType(
            AFXEndpointTypeSelfSufficient, QUrl(store_->baseURL().toString() + u"/api/store/"_s)));
        const QUrl folder = QUrl::fromLocalFile(testRoot() + u"/Resources"_s);
        trip_->server->updateEnvironment(AFXEnvironment::makeWithIdentifier(
            AFXEnvironmentID::defaultEnvironmentID(), manifest, folder, folder, folder, folder));
    }

    std::shared_ptr<AFXCodedApp> app(std::int64_t id) {
        Answer<Result<std::shared_ptr<AFXCodedApp>>> answer;
        client_->fetchAppWithID(id, answer.callback());
        const auto result = answer.wait();
        EXPECT_EQ(errorOf(result), "value")
            << (result && result->error() ? result->error()->description() : QString()).toStdString()
            << "\nstore: " << store_->log().toStdString();
        return result && result->value() ? *result->value() : nullptr;
    }

    static QString placed(const QString& name) {
        return platform::Paths::resolve(u"/Applications/"_s + name + u".app"_s);
    }

    // Every workflow announced for the app at its place.
    Answer<std::shared_ptr<AFXAppWorkflow>> observeWorkflow(std::int64_t id, const QString& name) {
        Answer<std::shared_ptr<AFXAppWorkflow>> seen;
        observer_ = platform::DistributedNotificationCenter::defaultCenter()->addObserver(
            AFXAppsManagementAppWorkflowChangedNotification, u"%1 - %2"_s.arg(id).arg(placed(name)),
            platform::DispatchQueue::make(u"observer"_s), [seen](const platform::Notification& notification) {
                seen.add(platform::KeyedUnarchiver::unarchivedObjectOfClass<AFXAppWorkflow>(
                    notification.userInfo()
                        .value(AFXAppsManagementAppWorkflowChangedNotificationWorkflowKey)
                        .toData()));
            });
        return seen;
    }

    // Orbit Notes being installed from a store that sends slowly, once its
    // download is under way.
    struct SlowInstall {
        std::shared_ptr<AFXCodedApp> app;
        Answer<std::shared_ptr<AFXAppWorkflow>> workflows;
        Answer<Result<std::shared_ptr<AFXAppInstance>>> installed;
    };
    std::optional<SlowInstall> startSlowInstall() {
        serve({u"--rate"_s, u"400000"_s});
        SlowInstall slow{app(kNotes), observeWorkflow(kNotes, u"Orbit Notes"_s), {}};
        if (!slow.app) {
            return std::nullopt;
        }
        client_->installVendorApp(slow.app, false, slow.installed.callback());
        const bool underWay = testing_support::waitUntil([&] {
            return !slow.workflows.all().isEmpty() && slow.workflows.all().last()->fractionCompleted() > 0.05;
        });
        EXPECT_TRUE(underWay) << "the download never got going";
        return underWay ? std::optional(slow) : std::nullopt;
    }

    // Regular files left below the root's temporary folder.
    static std::string temporaryFiles() {
        QStringList files;
        QDirIterator it(platform::Paths::temporaryDirectory(), QDir::Files | QDir::Hidden,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            files.append(it.next());
        }
        return files.join(u'\n').toStdString();
    }

    void TearDown() override {
        if (observer_) {
            platform::DistributedNotificationCenter::defaultCenter()->removeObserver(observer_);
        }
    }

    QString served_;
    std::unique_ptr<testing_support::StoreProcess> store_;
    std::optional<testing_support::EnvironmentOverride> environment_;
    std::unique_ptr<AppsRoundTrip> trip_;
    std::shared_ptr<AFXAppsManagementClient> client_;
    std::shared_ptr<platform::DistributedNotificationCenter::ObserverToken> observer_;
};

TEST_F(KestrelAppsManagementServerTests, ServesTheStoresCatalogue) {
    serve();
    const auto notes = app(kNotes);
    ASSERT_TRUE(notes);
    EXPECT_EQ(notes->name().toStdString(), "Orbit Notes");
    EXPECT_EQ(notes->bundleIdentifier().toStdString(), "com.tests.Orbit Notes");
    ASSERT_EQ(notes->versions().size(), 1);
    EXPECT_EQ(notes->versions().first()->uiVersion().toStdString(), "1.0");
    QStringList resources;
    for (const auto& resource : notes->resources()) {
        resources.append(u"%1 %2"_s.arg(resource->kind()).arg(resource->downloadURL().path()));
    }
    resources.sort();
    EXPECT_EQ(resources.join(u", "_s).toStdString(),
              "1 /api/store/apps/230/screenshot-1.png, 4 /api/store/apps/230/Orbit Notes.zip, 7 "
              "/api/store/apps/230/icon.png");
    EXPECT_EQ(notes->resources().first()->downloadURL().host().toStdString(), "127.0.0.1")
        << "resolved against the catalogue";

    Answer<Result<QList<std::shared_ptr<AFXCodedApp>>>> collection;
    client_->fetchAppsForCollectionWithID(1, collection.callback());
    ASSERT_TRUE(collection.wait() && collection.wait()->value());
    EXPECT_EQ(collection.wait()->value()->size(), 2);
    Answer<Result<QList<std::shared_ptr<AFXAppSearchResult>>>> search;
    client_->searchAppsWithString(u"DRAW"_s, false, 5, search.callback());
    ASSERT_TRUE(search.wait() && search.wait()->value());
    ASSERT_EQ(search.wait()->value()->size(), 1);
    EXPECT_EQ(search.wait()->value()->first()->app()->identifier(), kDraw);

    // Neither an unknown identifier nor an unknown bundle identifier is served.
    Answer<Result<std::shared_ptr<AFXCodedApp>>> unknownID, unknownBundle;
    client_->fetchAppWithID(999, unknownID.callback());
    client_->fetchAppWithBundleId(u"com.tests.Nowhere"_s, unknownBundle.callback());
    EXPECT_EQ(errorOf(unknownID.wait()), errorInDomain(AFXErrorCodeMissingObject));
    EXPECT_EQ(errorOf(unknownBundle.wait()), errorInDomain(AFXErrorCodeMissingObject));

    // A viewed app is served as presented from then on.
    Answer<std::optional<platform::Error>> viewed;
    client_->markAppAsViewed(notes, viewed.callback());
    ASSERT_TRUE(viewed.wait());
    EXPECT_EQ(*viewed.wait(), std::nullopt);
    const auto seen = app(kNotes);
    ASSERT_TRUE(seen);
    EXPECT_TRUE(seen->didPresentAsBrandNew());
}

TEST_F(KestrelAppsManagementServerTests, AMalformedCatalogueIsAnsweredWithWhatIsWrongAndFetchedAgainLater) {
    const struct {
        QByteArray json;
        QString says;
    } cases[] = {
        {"{\"apps\":[", u"it is not JSON"_s},
        {"{\"apps\":[{\"id\":230}],\"collections\":[]}", u"app 230: \"bundle_identifier\" is missing"_s},
        {"{\"apps\":[" +
             catalogueApp(kNotes, u"Orbit Notes"_s).replace("\"Orbit Notes.app\"", "\"../../x.app\"") +
             "],\"collections\":[]}",
         u"\"bundle_name\" is not the name of an app bundle"_s},
        {"{\"apps\":[" +
             catalogueApp(kNotes, u"Orbit Notes"_s)
                 .replace("\"apps/230/icon.png\"", "\"file:///etc/passwd\"") +
             "],\"collections\":[]}",
         u"\"path\" is not a path of the store"_s},
        {"{\"apps\":[" + catalogueApp(kNotes, u"Orbit Notes"_s) + "," +
             catalogueApp(kDraw, u"Orbit Notes"_s).replace("com.tests.Orbit Notes", "com.tests.draw") +
             "],\"collections\":[]}",
         u"apps 230 and 231 are both named \"Orbit Notes.app\""_s},
    };
    writeCatalogue(cases[0].json);
    serve();
    for (const auto& c : cases) {
        writeCatalogue(c.json);
        Answer<Result<std::shared_ptr<AFXCodedApp>>> answer;
        client_->fetchAppWithID(kNotes, answer.callback());
        const auto result = answer.wait();
        ASSERT_TRUE(result && result->error()) << c.says.toStdString();
        EXPECT_TRUE(result->error()->description().contains(c.says))
            << c.says.toStdString() << " in " << result->error()->description().toStdString();
    }
    writeCatalogue(goodCatalogue());
    EXPECT_TRUE(app(kNotes)) << "a failed fetch is not kept";
}

TEST_F(KestrelAppsManagementServerTests, WithoutAnEnvironmentRequestsAnswerWhyTheyCannotBeServed) {
    // Nobody told the service of its environment and this process has no
    // system management service to ask: the answer comes, as an error.
    serve({}, false);
    Answer<Result<std::shared_ptr<AFXCodedApp>>> answer;
    client_->fetchAppWithID(kNotes, answer.callback());
    EXPECT_EQ(errorOf(answer.wait()), errorInDomain(AFXErrorCodeMissingService));
}

TEST_F(KestrelAppsManagementServerTests, InstallingAnnouncesGrowingProgressAndPlacesTheApp) {
    // The archive's 3 MiB take about 0.4 s, so that its progress is seen
    // however long the start of the unpacking holds up the first report.
    serve({u"--rate"_s, u"8388608"_s, u"--faults-under"_s, u"/api/store/apps/230/"_s});
    const auto notes = app(kNotes);
    ASSERT_TRUE(notes);
    Answer<Result<std::shared_ptr<AFXAppWorkflow>>> before;
    client_->fetchAppWorkflowForApp(notes, before.callback());
    ASSERT_TRUE(before.wait() && before.wait()->value());
    EXPECT_EQ((*before.wait()->value())->state(), 0);
    EXPECT_EQ((*before.wait()->value())->appURL().toLocalFile().toStdString(),
              placed(u"Orbit Notes"_s).toStdString());

    const auto workflows = observeWorkflow(kNotes, u"Orbit Notes"_s);
    Answer<Result<std::shared_ptr<AFXAppInstance>>> installed;
    client_->installVendorApp(notes, false, installed.callback());
    const auto instance = installed.wait();
    ASSERT_EQ(errorOf(instance), "value");
    EXPECT_EQ((*instance->value())->filePath().toStdString(), placed(u"Orbit Notes"_s).toStdString());
    EXPECT_TRUE(QFileInfo::exists(placed(u"Orbit Notes"_s) + u"/Contents/_CodeSignature/CodeResources"_s));
    EXPECT_EQ(temporaryFiles(), "");

    ASSERT_TRUE(testing_support::waitUntil(
        [&] { return !workflows.all().isEmpty() && workflows.all().last()->state() == 2; }));
    double last = -1;
    qsizetype growing = 0;
    for (const auto& workflow : workflows.all().mid(0, workflows.count() - 1)) {
        ASSERT_TRUE(workflow);
        EXPECT_EQ(workflow->state(), 1);
        EXPECT_GE(workflow->fractionCompleted(), last);
        growing += workflow->fractionCompleted() > last && workflow->fractionCompleted() < 0.8 ? 1 : 0;
        last = workflow->fractionCompleted();
    }
    EXPECT_GT(growing, 2) << "the download is followed, not only its end";

    // Placed: the workflow says so, the instances list it, and another install answers at once.
    Answer<Result<std::shared_ptr<AFXAppWorkflow>>> after;
    client_->fetchAppWorkflowForApp(notes, after.callback());
    ASSERT_TRUE(after.wait() && after.wait()->value());
    EXPECT_EQ((*after.wait()->value())->state(), 2);
    Answer<Result<QList<std::shared_ptr<AFXAppInstance>>>> instances;
    client_->fetchAppInstancesWithAppID(kNotes, instances.callback());
    ASSERT_TRUE(instances.wait() && instances.wait()->value());
    ASSERT_EQ(instances.wait()->value()->size(), 1);
    EXPECT_EQ(instances.wait()->value()->first()->kind(), AFXAppInstanceKind::Vendor);
    Answer<Result<std::shared_ptr<AFXAppInstance>>> again;
    client_->installVendorApp(notes, false, again.callback());
    EXPECT_EQ(errorOf(again.wait()), "value");
    Answer<Result<std::shared_ptr<AFXAppInstance>>> launched;
    client_->launchApp(notes, launched.callback());
    EXPECT_EQ(errorOf(launched.wait()), "value");
}

TEST_F(KestrelAppsManagementServerTests, StoppingDuringTheDownloadLeavesNothingBehind) {
    const auto slow = startSlowInstall();
    ASSERT_TRUE(slow);
    const auto& [notes, workflows, installed] = *slow;
    // Asked of the server itself, so that the retry surely comes after the
    // stop: a retry asked for while the stop is under way does not share
    // its cancellation, but starts afresh once the stop has ended.
    Answer<std::optional<platform::Error>> stopped;
    Answer<Result<std::shared_ptr<AFXAppInstance>>> retried;
    trip_->server->stopInstallVendorApp(notes, stopped.callback());
    trip_->server->installVendorApp(notes, false, retried.callback());
    ASSERT_TRUE(stopped.wait());
    EXPECT_EQ(*stopped.wait(), std::nullopt);
    EXPECT_EQ(errorOf(installed.wait()), errorInDomain(AFXErrorCodeCancelled));
    EXPECT_TRUE(retried.all().isEmpty()) << "the retry ended with the stop: " << errorOf(retried.wait());
    ASSERT_TRUE(testing_support::waitUntil([&] {
        const auto seen = workflows.all();
        const auto stop =
            std::find_if(seen.begin(), seen.end(), [](const auto& w) { return w->state() == 0; });
        return stop != seen.end() &&
               std::any_of(stop, seen.end(), [](const auto& w) { return w->state() == 1; });
    })) << "no new installation after the stop";

    Answer<std::optional<platform::Error>> stoppedAgain;
    client_->stopInstallVendorApp(notes, stoppedAgain.callback());
    ASSERT_TRUE(stoppedAgain.wait());
    EXPECT_EQ(*stoppedAgain.wait(), std::nullopt);
    EXPECT_EQ(errorOf(retried.wait()), errorInDomain(AFXErrorCodeCancelled));
    EXPECT_FALSE(QFileInfo::exists(placed(u"Orbit Notes"_s)));
    EXPECT_EQ(temporaryFiles(), "");
    ASSERT_TRUE(testing_support::waitUntil([&] { return workflows.all().last()->state() == 0; }));
    EXPECT_LT(workflows.all().last()->fractionCompleted(), 0.01);
}

// An install waiting for a stop to end was asked before a second stop: it
// ends with that stop instead of starting afresh after it.
TEST_F(KestrelAppsManagementServerTests, AStopEndsTheInstallsWaitingBehindAnEarlierStop) {
    const auto slow = startSlowInstall();
    ASSERT_TRUE(slow);
    const auto& notes = slow->app;
    Answer<std::optional<platform::Error>> stopped;
    Answer<Result<std::shared_ptr<AFXAppInstance>>> waiting;
    Answer<std::optional<platform::Error>> stoppedAgain;
    trip_->server->stopInstallVendorApp(notes, stopped.callback());
    trip_->server->installVendorApp(notes, false, waiting.callback());
    trip_->server->stopInstallVendorApp(notes, stoppedAgain.callback());

    EXPECT_EQ(errorOf(waiting.wait()), errorInDomain(AFXErrorCodeCancelled));
    ASSERT_TRUE(stopped.wait() && stoppedAgain.wait());
    EXPECT_EQ(*stopped.wait(), std::nullopt);
    EXPECT_EQ(*stoppedAgain.wait(), std::nullopt);
    EXPECT_FALSE(QFileInfo::exists(placed(u"Orbit Notes"_s)));
}

// The same when the second stop is asked the moment the first one ends:
// the waiting install has begun again by then, and the stop finds it.
TEST_F(KestrelAppsManagementServerTests, AStopAskedAsAnEarlierStopEndsFindsTheInstallThatWaited) {
    const auto slow = startSlowInstall();
    ASSERT_TRUE(slow);
    const auto& notes = slow->app;
    const auto server = trip_->server;
    Answer<Result<std::shared_ptr<AFXAppInstance>>> waiting;
    Answer<std::optional<platform::Error>> stoppedAgain;
    server->stopInstallVendorApp(notes, [server, notes, stoppedAgain](const std::optional<platform::Error>&) {
        server->stopInstallVendorApp(notes, stoppedAgain.callback());
    });
    server->installVendorApp(notes, false, waiting.callback());

    EXPECT_EQ(errorOf(waiting.wait()), errorInDomain(AFXErrorCodeCancelled));
    ASSERT_TRUE(stoppedAgain.wait());
    EXPECT_EQ(*stoppedAgain.wait(), std::nullopt);
    EXPECT_FALSE(QFileInfo::exists(placed(u"Orbit Notes"_s)));
}

// A stop that comes while the catalogue is fetched again (a new
// environment) ends the running installation at once; its answer waits for
// the catalogue, so that no install waiting for it starts after the stop.
TEST_F(KestrelAppsManagementServerTests, AStopWhileTheCatalogueIsFetchedAgainEndsTheInstallationAtOnce) {
    const auto slow = startSlowInstall();
    ASSERT_TRUE(slow);
    const auto& [notes, workflows, installed] = *slow;
    // The new environment's store takes connections and never answers.
    quint16 port = 0;
    const int silentStore = testing_support::loopbackSocket(true, &port);
    ASSERT_GE(silentStore, 0);
    auto manifest = AFXEndpointsManifest::make();
    manifest->setEndpointForStoreAPI(AFXEndpoint::makeWithType(
        AFXEndpointTypeSelfSufficient, QUrl(u"https://127.0.0.1:%1/api/store/"_s.arg(port))));
    const QUrl folder = QUrl::fromLocalFile(testRoot() + u"/Resources"_s);
    const auto server = trip_->server;
    server->updateEnvironment(AFXEnvironment::makeWithIdentifier(AFXEnvironmentID::defaultEnvironmentID(),
                                                                 manifest, folder, folder, folder, folder));
    // Asked of the server itself, in this order on its queue.
    Answer<Result<std::shared_ptr<AFXCodedApp>>> fetched;
    Answer<std::optional<platform::Error>> stopped;
    server->fetchAppWithID(kNotes, fetched.callback());
    server->stopInstallVendorApp(notes, stopped.callback());

    EXPECT_EQ(errorOf(installed.wait()), errorInDomain(AFXErrorCodeCancelled));
    EXPECT_FALSE(QFileInfo::exists(placed(u"Orbit Notes"_s)));
    EXPECT_TRUE(stopped.all().isEmpty()) << "answered before the catalogue was there";
    // Refused from now on: the fetch fails, and the stop is answered.
    ::close(silentStore);
    ASSERT_TRUE(stopped.wait());
    EXPECT_EQ(*stopped.wait(), std::nullopt);
    EXPECT_NE(errorOf(fetched.wait()), "value");
}

TEST_F(KestrelAppsManagementServerTests, StoppingEveryInstallationAsTheAgentQuitsLeavesNothingBehind) {
    const auto slow = startSlowInstall();
    ASSERT_TRUE(slow);
    const auto& [notes, workflows, installed] = *slow;
    Answer<bool> stopped;
    VendorAppInstallation::stopAll(platform::DispatchQueue::make(u"stopper"_s),
                                   [stopped] { stopped.add(true); });
    ASSERT_TRUE(stopped.wait());
    // Once the stop is done the installation has ended and taken its files with it.
    EXPECT_EQ(temporaryFiles(), "");
    EXPECT_FALSE(QFileInfo::exists(placed(u"Orbit Notes"_s)));
    EXPECT_EQ(errorOf(installed.wait()), errorInDomain(AFXErrorCodeCancelled));
}

TEST_F(KestrelAppsManagementServerTests, AnAppWhoseSignatureFailsIsNotPlaced) {
    serve();
    const auto draw = app(kDraw);
    ASSERT_TRUE(draw);
    const auto workflows = observeWorkflow(kDraw, u"Comet Draw"_s);
    Answer<Result<std::shared_ptr<AFXAppInstance>>> installed;
    client_->installVendorApp(draw, false, installed.callback());
    EXPECT_EQ(errorOf(installed.wait()), errorInDomain(AFXErrorCodeAppSignatureCheckFailed));
    EXPECT_FALSE(QFileInfo::exists(placed(u"Comet Draw"_s)));
    EXPECT_EQ(temporaryFiles(), "");
    ASSERT_TRUE(testing_support::waitUntil(
        [&] { return !workflows.all().isEmpty() && workflows.all().last()->state() == 0; }));
}

TEST_F(KestrelAppsManagementServerTests, ResourcesArePreparedWithReportsIntoTheResourcesFolder) {
    serve();
    const auto notes = app(kNotes);
    ASSERT_TRUE(notes);
    Answer<double> reports;
    Answer<Result<QList<std::shared_ptr<AFXCodedResource>>>> prepared;
    client_->prepareResourcesForApp(notes, 2, reports.callback(), prepared.callback());
    const auto resources = prepared.wait();
    ASSERT_EQ(errorOf(resources), "value");
    ASSERT_EQ(resources->value()->size(), 2);
    for (const auto& resource : *resources->value()) {
        const auto status = std::dynamic_pointer_cast<AFXResourceExistsStatus>(resource->status());
        ASSERT_TRUE(status) << resource->description().toStdString();
        const QString stored = status->storageURL().toLocalFile();
        EXPECT_TRUE(stored.startsWith(testRoot() + u"/Resources/"_s)) << stored.toStdString();
        EXPECT_EQ(testing_support::readFile(stored),
                  testing_support::readFile(served_ + resource->downloadURL().path()));
    }
    // Reports travel apart from the answer: they may trail it, and one that
    // comes after it finds its session closed and is dropped. Those that
    // arrive do so in their order.
    ASSERT_TRUE(testing_support::waitUntil([&] { return !reports.all().isEmpty(); }));
    const QList<double> fractions = reports.all();
    EXPECT_EQ(fractions.first(), 0.0);
    QStringList shown;
    for (const double fraction : fractions) {
        shown << QString::number(fraction);
    }
    EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end())) << shown.join(u' ').toStdString();
    EXPECT_LE(fractions.last(), 1.0);
}

} // namespace
