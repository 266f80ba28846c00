// The services factory on a private session bus: making and caching
// services, their roles, the change notifications, the adaptor duties and
// serving peers' requests, with small service classes of the tests' own
// and the interprocess test service.

#include "IPCTestService/IPCTestRecords.h"
#include "IPCTestService/IPCTestService.h"
#include "SpecificTools/AFXStatsdClient/AFXStatsdClient.h"
#include "SpecificTools/Analytics/AFXAnalyticsTracker.h"
#include "SpecificTools/Errors/AFXErrors.h"
#include "SpecificTools/Interprocess/AFXCustomerServiceID.h"
#include "SpecificTools/Interprocess/AFXEnvironmentServiceID.h"
#include "SpecificTools/Interprocess/AFXGlobalServiceID.h"
#include "SpecificTools/Interprocess/AFXRegularManagementClient.h"
#include "SpecificTools/Model/AFXCustomer.h"
#include "SpecificTools/Model/AFXEndpointsManifest.h"
#include "SpecificTools/Model/AFXSecureSerialization.h"
#include "SpecificTools/Services/AFXCustomerBasedService.h"
#include "SpecificTools/Services/AFXEnvironmentBasedService.h"
#include "SpecificTools/Services/AFXServicesFactory.h"
#include "platform/DistributedNotificationCenter.h"
#include "testing/SessionBusProcess.h"
#include "testing/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

using namespace std::chrono_literals;
using testing_support::waitUntil;
using ServiceOrError = BRValueOrError<std::shared_ptr<AFXBaseService>>;

namespace {

const QString kTierName = QStringLiteral("ServicesFactoryTests");
const QString kRecordingServiceName = QStringLiteral("com.kestrel.tests.RecordingService");

std::shared_ptr<AFXServicesFactory> makeFactory(const QList<AFXServiceClass>& classes,
                                                const std::shared_ptr<AFXServicesFactoryDelegate>& delegate) {
    return AFXServicesFactory::makeWithServicesClasses(classes, kTierName, delegate);
}

// Collects what callbacks receive, from any thread.
template <typename T> class Answers {
public:
    std::function<void(const T&)> callback() {
        return [this](const T& answer) {
            std::lock_guard lock(mutex_);
            answers_.append(answer);
        };
    }
    bool waitFor(int count) {
        return waitUntil([this, count] { return size() >= count; }, 20s);
    }
    int size() const {
        std::lock_guard lock(mutex_);
        return int(answers_.size());
    }
    T at(int index) const {
        std::lock_guard lock(mutex_);
        return answers_.at(index);
    }

private:
    mutable std::mutex mutex_;
    QList<T> answers_;
};

// A service that records what its factory tells it.
class RecordingService : public AFXBaseService, public AFXEnvironmentBasedService, public AFXCustomerBasedService {
public:
    RecordingService(const std::shared_ptr<AFXServiceID>& serviceID,
                     const std::shared_ptr<AFXServicesFactory>& servicesFactory, bool agreesToTerminate)
        : AFXBaseService(serviceID, servicesFactory, kRecordingServiceName, AFXServiceID::staticClass()),
          agreesToTerminate_(agreesToTerminate) {}

    void performRequest(const std::shared_ptr<AFXInterprocessRequest>&, AFXInterprocessReportHandler,
                        AFXInterprocessResponseHandler responseHandler) override {
        responseHandler(BRAnyValueOrError::makeWithError(
            afx_makeErrorOfMissingServiceNamed(kRecordingServiceName, QStringLiteral("perform request"))));
    }
    void prepareForTerminationWithCallback(std::function<void(bool)> callback) override {
        ++terminationQuestions;
        callback(agreesToTerminate_);
    }
    void didEstablishInterprocessConnectionWithEsteblishedStreamID(const QUuid& streamID) override {
        std::lock_guard lock(mutex_);
        established_.append(streamID);
    }
    std::shared_ptr<AFXEnvironmentID> environmentID() const override {
        const auto serviceID = std::dynamic_pointer_cast<AFXEnvironmentServiceID>(this->serviceID());
        return serviceID ? serviceID->environmentID() : nullptr;
    }
    void updateEnvironment(const std::shared_ptr<AFXEnvironment>& environment) override {
        std::lock_guard lock(mutex_);
        environments_.append(environment);
    }
    QList<std::shared_ptr<AFXEnvironment>> environments() const {
        std::lock_guard lock(mutex_);
        return environments_;
    }
    std::shared_ptr<AFXCustomerID> customerID() const override {
        const auto serviceID = std::dynamic_pointer_cast<AFXCustomerServiceID>(this->serviceID());
        return serviceID ? serviceID->customerID() : nullptr;
    }
    void updateCustomer(const std::shared_ptr<AFXCustomer>& customer) override {
        std::lock_guard lock(mutex_);
        customers_.append(customer);
    }
    QList<std::shared_ptr<AFXCustomer>> customers() const {
        std::lock_guard lock(mutex_);
        return customers_;
    }
    QList<QUuid> established() const {
        std::lock_guard lock(mutex_);
        return established_;
    }

    std::atomic<int> terminationQuestions{0};

private:
    const bool agreesToTerminate_;
    mutable std::mutex mutex_;
    QList<std::shared_ptr<AFXEnvironment>> environments_;
    QList<std::shared_ptr<AFXCustomer>> customers_;
    QList<QUuid> established_;
};

// The class of the recording services. Makings can be held until the test
// lets them answer, and the first ones can fail.
class RecordingClass {
public:
    std::atomic<int> makings{0};
    std::atomic<int> failuresLeft{0};
    std::atomic<bool> holdsMakings{false};
    // The service a making makes agrees to terminate when this says so.
    std::atomic<bool> servicesAgreeToTerminate{true};

    enum class Role { None, EnvironmentBased, CustomerBased };

    AFXServiceClass descriptor(Role role = Role::None) {
        AFXServiceClass serviceClass;
        serviceClass.name = QStringLiteral("RecordingService");
        serviceClass.interprocessServiceName = kRecordingServiceName;
        serviceClass.makeInterprocessAdaptorForServicesFactory =
            [](const std::shared_ptr<AFXServicesFactory>& factory) {
                return AFXRegularInterprocessClientAdaptor::makeWithServiceName(kRecordingServiceName, kTierName, {},
                                                                                factory);
            };
        serviceClass.makeServiceWithID = [this](const std::shared_ptr<AFXServiceID>& serviceID,
                                                const std::shared_ptr<AFXServicesFactory>& factory,
                                                const std::shared_ptr<AFXNetworkService>&,
                                                AFXServiceClass::MakeServiceCallback callback) {
            ++makings;
            const bool fails = failuresLeft.fetch_sub(1) > 0;
            auto service = std::make_shared<RecordingService>(serviceID, factory, servicesAgreeToTerminate);
            auto answer = [fails, service, callback] {
                callback(fails ? ServiceOrError::makeWithError(platform::Error(QStringLiteral("tests"), 7))
                               : ServiceOrError::makeWithValue(service));
            };
            std::lock_guard lock(mutex_);
            if (holdsMakings) {
                held_.append(std::move(answer));
            } else {
                answer();
            }
        };
        if (role == Role::EnvironmentBased) {
            serviceClass.makeServiceIDToPokeWithNewEnvironment =
                [](const std::shared_ptr<AFXEnvironment>& environment) -> std::shared_ptr<AFXServiceID> {
                if (!environment) {
                    return nullptr;
                }
                return AFXEnvironmentServiceID::makeWithServiceName(kRecordingServiceName,
                                                                    environment->identifier());
            };
        }
        if (role == Role::CustomerBased) {
            serviceClass.makeServiceIDToPokeWithNewCustomer =
                [](const std::shared_ptr<AFXCustomer>& customer) -> std::shared_ptr<AFXServiceID> {
                if (!customer) {
                    return nullptr;
                }
                return AFXCustomerServiceID::makeWithServiceName(kRecordingServiceName, customer->identifier());
            };
        }
        return serviceClass;
    }
    int heldMakings() const {
        std::lock_guard lock(mutex_);
        return int(held_.size());
    }
    void answerHeldMakings() {
        QList<std::function<void()>> held;
        {
            std::lock_guard lock(mutex_);
            holdsMakings = false;
            held.swap(held_);
        }
        for (const auto& answer : held) {
            answer();
        }
    }

private:
    mutable std::mutex mutex_;
    QList<std::function<void()>> held_;
};

class FixedDelegate : public AFXServicesFactoryDelegate {
public:
    FixedDelegate(std::shared_ptr<AFXEnvironment> environment, std::shared_ptr<AFXCustomer> customer)
        : environment_(std::move(environment)), customer_(std::move(customer)) {}
    void servicesFactoryFetchCurrentEnvironment(AFXServicesFactory&,
                                                std::function<void(std::shared_ptr<AFXEnvironment>)> callback) override {
        callback(environment_);
    }
    void servicesFactoryFetchCurrentCustomer(AFXServicesFactory&,
                                             std::function<void(std::shared_ptr<AFXCustomer>)> callback) override {
        callback(customer_);
    }

private:
    const std::shared_ptr<AFXEnvironment> environment_;
    const std::shared_ptr<AFXCustomer> customer_;
};

std::shared_ptr<AFXServiceID> globalID() {
    return AFXGlobalServiceID::makeWithServiceName(kRecordingServiceName);
}

std::shared_ptr<AFXEnvironment> makeEnvironment(const std::shared_ptr<AFXEnvironmentID>& identifier) {
    auto manifest = AFXEndpointsManifest::make();
    manifest->setName(QStringLiteral("Test"));
    manifest->setOriginURL(QUrl(QStringLiteral("https://manifest.test/endpoints.json")));
    return AFXEnvironment::makeWithIdentifier(identifier, manifest, QUrl(QStringLiteral("file:///Applications")),
                                              QUrl(QStringLiteral("file:///tmp/p")), QUrl(QStringLiteral("file:///tmp/r")),
                                              QUrl(QStringLiteral("file:///tmp/t")));
}

std::shared_ptr<AFXCustomer> makeCustomer(const QString& accountName) {
    AFXCustomer::Fields fields;
    fields.identifier = AFXCustomerID::makeWithAccountName(accountName, AFXEnvironmentID::defaultEnvironmentID());
    fields.backendID = accountName;
    fields.subscriptionExpirationDate = QDateTime::currentDateTimeUtc().addDays(30);
    return AFXCustomer::makeWithFields(std::move(fields));
}

QList<std::shared_ptr<AFXBaseService>> cachedServices(AFXServicesFactory& factory, const QString& name) {
    Answers<QList<std::shared_ptr<AFXBaseService>>> answers;
    factory.fetchAllServicesForName(name, answers.callback());
    return answers.waitFor(1) ? answers.at(0) : QList<std::shared_ptr<AFXBaseService>>();
}

ServiceOrError fetch(AFXServicesFactory& factory, const std::shared_ptr<AFXServiceID>& serviceID) {
    Answers<ServiceOrError> answers;
    factory.fetchManagementServiceWithID(serviceID, answers.callback());
    return answers.waitFor(1) ? answers.at(0)
                              : ServiceOrError::makeWithError(platform::Error(QStringLiteral("timeout"), 0));
}

std::shared_ptr<RecordingService> recordingService(const ServiceOrError& result) {
    return result.hasValue() ? std::dynamic_pointer_cast<RecordingService>(*result.value()) : nullptr;
}

} // namespace

TEST(ServicesFactory, FetchesOfOneIDShareOneMakingAndLaterOnesAreAnsweredFromTheCache) {
    const auto bus = testing_support::SessionBusProcess::start();
    ASSERT_TRUE(bus);
    RecordingClass recordingClass;
    recordingClass.holdsMakings = true;
    const auto factory = makeFactory({recordingClass.descriptor()}, nullptr);

    Answers<ServiceOrError> waiting;
    for (int i = 0; i < 3; ++i) {
        factory->fetchManagementServiceWithID(globalID(), waiting.callback());
    }
    ASSERT_TRUE(waitUntil([&] { return recordingClass.heldMakings() == 1; }, 20s));
    recordingClass.answerHeldMakings();
    ASSERT_TRUE(waiting.waitFor(3));
    const auto made = recordingService(waiting.at(0));
    ASSERT_TRUE(made);
    EXPECT_EQ(recordingService(waiting.at(1)), made);
    EXPECT_EQ(recordingService(waiting.at(2)), made);

    EXPECT_EQ(recordingService(fetch(*factory, globalID())), made);
    EXPECT_EQ(recordingClass.makings, 1);

    // Another ID of the same name is another service, listed after the first.
    const auto other = recordingService(fetch(
        *factory, AFXEnvironmentServiceID::makeWithServiceName(kRecordingServiceName,
                                                               AFXEnvironmentID::defaultEnvironmentID())));
    ASSERT_TRUE(other);
    EXPECT_NE(other, made);
    EXPECT_EQ(cachedServices(*factory, kRecordingServiceName),
              (QList<std::shared_ptr<AFXBaseService>>{made, other}));
    EXPECT_TRUE(cachedServices(*factory, QStringLiteral("com.kestrel.tests.Nothing")).isEmpty());
}

TEST(ServicesFactory, AFailedMakingAnswersEveryWaiterAndTheNextFetchTriesAgain) {
    const auto bus = testing_support::SessionBusProcess::start();
    ASSERT_TRUE(bus);
    RecordingClass recordingClass;
    recordingClass.holdsMakings = true;
    recordingClass.failuresLeft = 1;
    const auto factory = makeFactory({recordingClass.descriptor()}, nullptr);

    Answers<ServiceOrError> waiting;
    factory->fetchManagementServiceWithID(globalID(), waiting.callback());
    factory->fetchManagementServiceWithID(globalID(), waiting.callback());
    ASSERT_TRUE(waitUntil([&] { return recordingClass.heldMakings() == 1; }, 20s));
    recordingClass.answerHeldMakings();
    ASSERT_TRUE(waiting.waitFor(2));
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(waiting.at(i).error());
        EXPECT_EQ(waiting.at(i).error()->code(), 7);
    }
    EXPECT_TRUE(cachedServices(*factory, kRecordingServiceName).isEmpty());

    EXPECT_TRUE(recordingService(fetch(*factory, globalID())));
    EXPECT_EQ(recordingClass.makings, 2);
}

TEST(ServicesFactory, UnregisteredNamesAreAnsweredWithTheMissingServiceError) {
    const auto bus = testing_support::SessionBusProcess::start();
    ASSERT_TRUE(bus);
    RecordingClass recordingClass;
    const auto factory = makeFactory({recordingClass.descriptor()}, nullptr);

    const auto result = fetch(*factory, AFXGlobalServiceID::makeWithServiceName(QStringLiteral("com.kestrel.tests.None")));
    ASSERT_TRUE(result.error());
    EXPECT_TRUE(afx_isMissingService(*result.error()));
    Answers<BRValueOrError<std::shared_ptr<AFXInterprocessAdaptor>>> adaptors;
    factory->fetchInterpocessAdaptorForServiceNamed(QStringLiteral("com.kestrel.tests.None"), adaptors.callback());
    factory->fetchInterpocessAdaptorForServiceNamed(kRecordingServiceName, adaptors.callback());
    ASSERT_TRUE(adaptors.waitFor(2));
    ASSERT_TRUE(adaptors.at(0).error());
    EXPECT_TRUE(afx_isMissingService(*adaptors.at(0).error()));
    ASSERT_TRUE(adaptors.at(1).hasValue());
    EXPECT_EQ((*adaptors.at(1).value())->serviceName(), kRecordingServiceName);
    EXPECT_EQ(recordingClass.makings, 0);
}

TEST(ServicesFactory, InvalidatedServicesAreForgottenAndTheFactoryInvalidatesTheRestWhenItGoes) {
    const auto bus = testing_support::SessionBusProcess::start();
    ASSERT_TRUE(bus);
    RecordingClass recordingClass;
    auto factory = makeFactory({recordingClass.descriptor()}, nullptr);
    const auto first = recordingService(fetch(*factory, globalID()));
    ASSERT_TRUE(first);

    Answers<bool> invalidated;
    factory->invalidateService(first, [&] { invalidated.callback()(true); });
    ASSERT_TRUE(invalidated.waitFor(1));
    EXPECT_EQ(first->terminationQuestions, 1);
    EXPECT_TRUE(cachedServices(*factory, kRecordingServiceName).isEmpty());

    const auto second = recordingService(fetch(*factory, globalID()));
    ASSERT_TRUE(second);
    EXPECT_NE(second, first);
    EXPECT_EQ(recordingClass.makings, 2);

    factory.reset();
    EXPECT_EQ(second->terminationQuestions, 1);
    EXPECT_EQ(first->terminationQuestions, 1);
}

TEST(ServicesFactory, TheTerminationVoteAgreesOnlyWhenNoCachedServiceRefuses) {
    const struct {
        const char* name;
        QList<bool> votes;
        bool agrees;
    } cases[] = {
        {"no services", {}, true},
        {"all agree", {true, true}, true},
        {"one refuses", {true, false}, false},
    };
    const auto bus = testing_support::SessionBusProcess::start();
    ASSERT_TRUE(bus);
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        RecordingClass recordingClass;
        const auto factory = makeFactory({recordingClass.descriptor()}, nullptr);
        for (qsizetype i = 0; i < test.votes.size(); ++i) {
            recordingClass.servicesAgreeToTerminate = test.votes[i];
            ASSERT_TRUE(recordingService(fetch(*factory, AFXEnvironmentServiceID::makeWithServiceName(
                                                             kRecordingServiceName,
                                                             AFXEnvironmentID::environmentWithURLString(
                                                                 QStringLiteral("https://e%1.test/").arg(i))))));
        }
        Answers<BRValueOrError<std::shared_ptr<AFXInterprocessAdaptor>>> adaptor;
        factory->fetchInterpocessAdaptorForServiceNamed(kRecordingServiceName, adaptor.callback());
        ASSERT_TRUE(adaptor.waitFor(1) && adaptor.at(0).hasValue());
        Answers<bool> vote;
        factory->regularInterprocessClientAdaptorPrepareForTermination(
            dynamic_cast<AFXRegularInterprocessClientAdaptor&>(**adaptor.at(0).value()), vote.callback());
        ASSERT_TRUE(vote.waitFor(1));
        EXPECT_EQ(vote.at(0), test.agrees);
    }
}

TEST(ServicesFactory, EnvironmentsArePokedAppliedAndFollowedThroughTheChangeNotification) {
    const auto bus = testing_support::SessionBusProcess::start();
    ASSERT_TRUE(bus);
    const auto first = makeEnvironment(AFXEnvironmentID::defaultEnvironmentID());
    const auto second = makeEnvironment(
        AFXEnvironmentID::environmentIDWithManifestURL(QUrl(QStringLiteral("https://second.test/endpoints.json"))));
    ASSERT_TRUE(first->identifier()->isAnalyticsTrackingEnabled());
    ASSERT_FALSE(second->identifier()->isAnalyticsTrackingEnabled());
    RecordingClass recordingClass;
    const auto delegate = std::make_shared<FixedDelegate>(first, nullptr);
    const auto factory = makeFactory({recordingClass.descriptor(RecordingClass::Role::EnvironmentBased)}, delegate);

    // Start-up applies the delegate's environment: its service is made and told.
    ASSERT_TRUE(waitUntil([&] { return factory->currentEnvironment() != nullptr; }, 20s));
    ASSERT_TRUE(waitUntil([&] { return cachedServices(*factory, kRecordingServiceName).size() == 1; }, 20s));
    const auto firstService =
        std::dynamic_pointer_cast<RecordingService>(cachedServices(*factory, kRecordingServiceName).at(0));
    ASSERT_TRUE(waitUntil([&] { return firstService->environments().size() == 1; }, 20s));
    EXPECT_TRUE(firstService->environmentID()->isEqual(*first->identifier()));
    EXPECT_EQ(firstService->environments().at(0), first);
    EXPECT_TRUE(factory->currentEnvironment()->isEqual(*first));
    EXPECT_NE(factory->currentEnvironment(), first) << "the factory keeps a copy";
    EXPECT_TRUE(factory->statsdClient()->environmentID()->isEqual(*first->identifier()));
    EXPECT_TRUE(factory->analyticsTracker()->isEnabled());

    const auto center = platform::DistributedNotificationCenter::defaultCenter();
    ASSERT_TRUE(center);
    const QString changed = QStringLiteral("com.kestrel.system-management-service.current-environment-changed");
    ASSERT_TRUE(center->postNotificationName(
        changed, QString(),
        {{QStringLiteral("environment-secure-data"), platform::Value(AFXEnvironmentGetSecureSerialization(second))}}));
    ASSERT_TRUE(waitUntil(
        [&] {
            const auto current = factory->currentEnvironment();
            return current && current->isEqual(*second);
        },
        20s));
    ASSERT_TRUE(waitUntil([&] { return cachedServices(*factory, kRecordingServiceName).size() == 2; }, 20s));
    const auto secondService =
        std::dynamic_pointer_cast<RecordingService>(cachedServices(*factory, kRecordingServiceName).at(1));
    ASSERT_TRUE(waitUntil([&] { return firstService->environments().size() == 2; }, 20s));
    EXPECT_EQ(firstService->environments().at(1), nullptr) << "not its environment any more";
    ASSERT_EQ(secondService->environments().size(), 1);
    EXPECT_TRUE(secondService->environments().at(0)->isEqual(*second));
    EXPECT_FALSE(factory->analyticsTracker()->isEnabled());

    // Without the payload there is no current environment.
    ASSERT_TRUE(center->postNotificationName(changed, QString(), {}));
    ASSERT_TRUE(waitUntil([&] { return secondService->environments().size() == 2; }, 20s));
    EXPECT_EQ(factory->currentEnvironment(), nullptr);
    EXPECT_EQ(factory->statsdClient()->environmentID(), nullptr);
    EXPECT_FALSE(factory->analyticsTracker()->isEnabled());
    EXPECT_EQ(secondService->environments().at(1), nullptr);
}

namespace {

// The serving side of the test service, made by the serving factory.
struct TestServer {
    static std::shared_ptr<AFXBaseService> makeWithServiceID(const std::shared_ptr<AFXServiceID>& serviceID,
                                                             const std::shared_ptr<AFXRegularInterprocessServerAdaptor>& adaptor,
                                                             const std::shared_ptr<AFXServicesFactory>& servicesFactory,
                                                             const std::shared_ptr<AFXNetworkService>&) {
        return IPCTestService::make(serviceID, adaptor, servicesFactory);
    }
};

// A client of the test service that records the streams it hears of.
class TestClient : public AFXRegularManagementClient {
public:
    static std::shared_ptr<TestClient>
    makeWithServiceID(const std::shared_ptr<AFXServiceID>& serviceID,
                      const std::shared_ptr<AFXServicesFactory>& servicesFactory,
                      const std::shared_ptr<AFXRegularInterprocessClientAdaptor>& adaptor) {
        return std::shared_ptr<TestClient>(new TestClient(serviceID, servicesFactory, adaptor));
    }
    void didEstablishInterprocessConnectionWithEsteblishedStreamID(const QUuid& streamID) override {
        std::lock_guard lock(mutex_);
        established_.append(streamID);
    }
    QList<QUuid> established() const {
        std::lock_guard lock(mutex_);
        return established_;
    }

private:
    TestClient(const std::shared_ptr<AFXServiceID>& serviceID,
               const std::shared_ptr<AFXServicesFactory>& servicesFactory,
               const std::shared_ptr<AFXRegularInterprocessClientAdaptor>& adaptor)
        : AFXRegularManagementClient(serviceID, servicesFactory, IPCTestServiceName(),
                                     AFXGlobalServiceID::staticClass(), adaptor) {}

    mutable std::mutex mutex_;
    QList<QUuid> established_;
};

} // namespace

TEST(ServicesFactory, PeersRequestsReachTheServicesTheServingFactoryMakes) {
    const auto bus = testing_support::SessionBusProcess::start();
    ASSERT_TRUE(bus);
    const auto serving = makeFactory({AFXRegularManagementServer::makeServiceClass<TestServer>(
                                         QStringLiteral("TestServer"), IPCTestServiceName(),
                                         IPCTestServedRequestClasses())},
                                     nullptr);
    const auto asking = makeFactory({AFXRegularManagementClient::makeServiceClass<TestClient>(
                                        QStringLiteral("TestClient"), IPCTestServiceName(),
                                        IPCTestServedRequestClasses())},
                                    nullptr);
    const auto client = std::dynamic_pointer_cast<TestClient>(
        *fetch(*asking, AFXGlobalServiceID::makeWithServiceName(IPCTestServiceName())).value());
    ASSERT_TRUE(client);

    const auto send = [&](const QString& text, const std::shared_ptr<AFXServiceID>& serviceID) {
        auto request = client->makeRequest<IPCTestEchoRequest>();
        request->setText(text);
        request->setServiceID(serviceID);
        Answers<BRAnyValueOrError> responses;
        client->performRequest(request, nullptr, responses.callback());
        return responses.waitFor(1) ? responses.at(0)
                                    : BRAnyValueOrError::makeWithError(platform::Error(QStringLiteral("timeout"), 0));
    };

    const auto echoed = send(QStringLiteral("first"), client->serviceID());
    ASSERT_TRUE(echoed.hasValue()) << echoed.error()->description().toStdString();
    EXPECT_EQ(echoed.value()->toObject<IPCTestEchoResponse>()->text(), QStringLiteral("first"));
    EXPECT_EQ(cachedServices(*serving, IPCTestServiceName()).size(), 1);
    // The client heard of its stream through its factory.
    ASSERT_TRUE(waitUntil([&] { return !client->established().isEmpty(); }, 20s));
    EXPECT_FALSE(client->established().at(0).isNull());

    const auto refused =
        send(QStringLiteral("lost"), AFXGlobalServiceID::makeWithServiceName(QStringLiteral("com.kestrel.tests.NotHere")));
    ASSERT_TRUE(refused.error());
    EXPECT_TRUE(afx_isMissingService(*refused.error())) << refused.error()->description().toStdString();

    const auto again = send(QStringLiteral("again"), client->serviceID());
    ASSERT_TRUE(again.hasValue()) << again.error()->description().toStdString();
    EXPECT_EQ(again.value()->toObject<IPCTestEchoResponse>()->text(), QStringLiteral("again"));
    EXPECT_EQ(cachedServices(*serving, IPCTestServiceName()).size(), 1);
}

TEST(ServicesFactory, CustomersArePokedAppliedAndFollowedThroughTheChangeNotification) {
    const auto bus = testing_support::SessionBusProcess::start();
    ASSERT_TRUE(bus);
    const auto first = makeCustomer(QStringLiteral("first@kestrel.test"));
    const auto second = makeCustomer(QStringLiteral("second@kestrel.test"));
    RecordingClass recordingClass;
    const auto delegate = std::make_shared<FixedDelegate>(nullptr, first);
    const auto factory = makeFactory({recordingClass.descriptor(RecordingClass::Role::CustomerBased)}, delegate);

    ASSERT_TRUE(waitUntil([&] { return cachedServices(*factory, kRecordingServiceName).size() == 1; }, 20s));
    const auto firstService =
        std::dynamic_pointer_cast<RecordingService>(cachedServices(*factory, kRecordingServiceName).at(0));
    ASSERT_TRUE(waitUntil([&] { return firstService->customers().size() == 1; }, 20s));
    EXPECT_EQ(firstService->customers().at(0), first);
    EXPECT_TRUE(factory->currentCustomer()->isEqual(*first));

    const auto center = platform::DistributedNotificationCenter::defaultCenter();
    ASSERT_TRUE(center);
    const QString changed = QStringLiteral("com.kestrel.system-management-service.current-customer-changed");
    ASSERT_TRUE(center->postNotificationName(
        changed, QString(),
        {{QStringLiteral("customer-secure-data"), platform::Value(AFXCustomerGetSecureSerialization(second))}}));
    ASSERT_TRUE(waitUntil([&] { return firstService->customers().size() == 2; }, 20s));
    EXPECT_EQ(firstService->customers().at(1), nullptr) << "not its customer any more";
    const auto services = cachedServices(*factory, kRecordingServiceName);
    ASSERT_EQ(services.size(), 2);
    const auto secondService = std::dynamic_pointer_cast<RecordingService>(services.at(1));
    ASSERT_EQ(secondService->customers().size(), 1);
    EXPECT_TRUE(secondService->customers().at(0)->isEqual(*second));
    EXPECT_TRUE(factory->currentCustomer()->isEqual(*second));

    // Unreadable data applies no customer.
    ASSERT_TRUE(center->postNotificationName(
        changed, QString(), {{QStringLiteral("customer-secure-data"), platform::Value(QByteArray("garbage"))}}));
    ASSERT_TRUE(waitUntil([&] { return secondService->customers().size() == 2; }, 20s));
    EXPECT_EQ(factory->currentCustomer(), nullptr);
    EXPECT_EQ(secondService->customers().at(1), nullptr);
}
