// The services factory on a private session bus: making and caching
// services, their roles, the change notifications, the adaptor duties and
// serving peers' requests, with a small recording service class and the
// interprocess test service.

#include "IPCTestService/IPCTestRecords.h"
#include "IPCTestService/IPCTestService.h"
#include "ServiceRoundTrip.h"
#include "SpecificTools/AFXStatsdClient/AFXStatsdClient.h"
#include "SpecificTools/Analytics/AFXAnalyticsTracker.h"
#include "SpecificTools/Errors/AFXErrors.h"
#include "SpecificTools/Interprocess/AFXCustomerServiceID.h"
#include "SpecificTools/Interprocess/AFXEnvironmentServiceID.h"
#include "SpecificTools/Interprocess/AFXGlobalServiceID.h"
#include "SpecificTools/Interprocess/AFXRegularManagementClient.h"
#include "SpecificTools/Model/AFXSecureSerialization.h"
#include "SpecificTools/Services/AFXCustomerBasedService.h"
#include "SpecificTools/Services/AFXCustomerDependentService.h"
#include "SpecificTools/Services/AFXEnvironmentBasedService.h"
#include "SpecificTools/Services/AFXServicesFactory.h"
#include "SpecificTools/Services/SystemManagement/AFXActivity.h"
#include "platform/DistributedNotificationCenter.h"
#include "testing/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

using namespace std::chrono_literals;
using service_round_trip::Answer;
using service_round_trip::kTierName;
using service_round_trip::makeServicesFactory;
using service_round_trip::testCustomer;
using service_round_trip::testEnvironment;
using testing_support::waitUntil;
using ServiceOrError = BRValueOrError<std::shared_ptr<AFXBaseService>>;
using Services = QList<std::shared_ptr<AFXBaseService>>;

namespace {

const QString kRecordingName = QStringLiteral("com.kestrel.tests.RecordingService");

// Records the environments and the customers its factory hands it, in order.
class RecordingService : public AFXBaseService,
                         public AFXEnvironmentBasedService,
                         public AFXCustomerBasedService {
public:
    RecordingService(const std::shared_ptr<AFXServiceID>& serviceID,
                     const std::shared_ptr<AFXServicesFactory>& factory, bool agrees)
        : AFXBaseService(serviceID, factory, kRecordingName, AFXServiceID::staticClass()), agrees_(agrees) {}

    void performRequest(const std::shared_ptr<AFXInterprocessRequest>&, AFXInterprocessReportHandler,
                        AFXInterprocessResponseHandler) override {
        ADD_FAILURE() << "nothing sends requests to the recording service";
    }
    void prepareForTerminationWithCallback(std::function<void(bool)> callback) override {
        ++terminationQuestions;
        callback(agrees_);
    }
    std::shared_ptr<AFXEnvironmentID> environmentID() const override {
        const auto serviceID = std::dynamic_pointer_cast<AFXEnvironmentServiceID>(this->serviceID());
        return serviceID ? serviceID->environmentID() : nullptr;
    }
    std::shared_ptr<AFXCustomerID> customerID() const override {
        const auto serviceID = std::dynamic_pointer_cast<AFXCustomerServiceID>(this->serviceID());
        return serviceID ? serviceID->customerID() : nullptr;
    }
    void updateEnvironment(const std::shared_ptr<AFXEnvironment>& environment) override {
        std::lock_guard lock(mutex_);
        environments_.append(environment);
    }
    void updateCustomer(const std::shared_ptr<AFXCustomer>& customer) override {
        std::lock_guard lock(mutex_);
        customers_.append(customer);
    }
    QList<std::shared_ptr<platform::Object>> updates(bool ofEnvironments) const {
        std::lock_guard lock(mutex_);
        return ofEnvironments ? environments_ : customers_;
    }

    std::atomic<int> terminationQuestions{0};

private:
    const bool agrees_;
    mutable std::mutex mutex_;
    QList<std::shared_ptr<platform::Object>> environments_;
    QList<std::shared_ptr<platform::Object>> customers_;
};

// The recording class. Makings wait while `holds` is set, until answered;
// the first `failures` of them fail.
class RecordingClass {
public:
    enum class Role { None, EnvironmentBased, CustomerBased };
    std::atomic<int> makings{0};
    std::atomic<int> failures{0};
    std::atomic<bool> holds{false};
    std::atomic<bool> servicesAgree{true};

    AFXServiceClass descriptor(Role role = Role::None) {
        AFXServiceClass serviceClass;
        serviceClass.name = QStringLiteral("RecordingService");
        serviceClass.interprocessServiceName = kRecordingName;
        serviceClass.makeInterprocessAdaptorForServicesFactory =
            [](const std::shared_ptr<AFXServicesFactory>& factory) {
                return AFXRegularInterprocessClientAdaptor::makeWithServiceName(kRecordingName, kTierName, {},
                                                                                factory);
            };
        serviceClass.makeServiceWithID = [this](const std::shared_ptr<AFXServiceID>& serviceID,
                                                const std::shared_ptr<AFXServicesFactory>& factory,
                                                const std::shared_ptr<AFXNetworkService>&,
                                                AFXServiceClass::MakeServiceCallback callback) {
            ++makings;
            auto answer = [fails = failures.fetch_sub(1) > 0,
                           service = std::make_shared<RecordingService>(serviceID, factory, servicesAgree),
                           callback] {
                callback(fails ? ServiceOrError::makeWithError(platform::Error(QStringLiteral("tests"), 7))
                               : ServiceOrError::makeWithValue(service));
            };
            std::lock_guard lock(mutex_);
            if (holds) {
                held_.append(std::move(answer));
            } else {
                answer();
            }
        };
        if (role == Role::EnvironmentBased) {
            serviceClass.makeServiceIDToPokeWithNewEnvironment =
                [](const std::shared_ptr<AFXEnvironment>& environment) -> std::shared_ptr<AFXServiceID> {
                return environment ? AFXEnvironmentServiceID::makeWithServiceName(kRecordingName,
                                                                                  environment->identifier())
                                   : nullptr;
            };
        }
        if (role == Role::CustomerBased) {
            serviceClass.makeServiceIDToPokeWithNewCustomer =
                [](const std::shared_ptr<AFXCustomer>& customer) -> std::shared_ptr<AFXServiceID> {
                return customer
                           ? AFXCustomerServiceID::makeWithServiceName(kRecordingName, customer->identifier())
                           : nullptr;
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
            holds = false;
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
    void servicesFactoryFetchCurrentEnvironment(
        AFXServicesFactory&, std::function<void(std::shared_ptr<AFXEnvironment>)> callback) override {
        callback(environment_);
    }
    void
    servicesFactoryFetchCurrentCustomer(AFXServicesFactory&,
                                        std::function<void(std::shared_ptr<AFXCustomer>)> callback) override {
        callback(customer_);
    }

private:
    const std::shared_ptr<AFXEnvironment> environment_;
    const std::shared_ptr<AFXCustomer> customer_;
};

// Follows whoever is signed in: records every customer its factory hands it.
class DependentService : public AFXBaseService, public AFXCustomerDependentService {
public:
    DependentService(const std::shared_ptr<AFXServiceID>& serviceID,
                     const std::shared_ptr<AFXServicesFactory>& factory)
        : AFXBaseService(serviceID, factory, kRecordingName, AFXServiceID::staticClass()) {}

    void performRequest(const std::shared_ptr<AFXInterprocessRequest>&, AFXInterprocessReportHandler,
                        AFXInterprocessResponseHandler) override {
        ADD_FAILURE() << "nothing sends requests to the dependent service";
    }
    void updateCustomer(const std::shared_ptr<AFXCustomer>& customer) override { customers.add(customer); }

    Answer<std::shared_ptr<AFXCustomer>> customers;
};

// A global service class of dependent services, counting its makings.
AFXServiceClass dependentServiceClass(std::atomic<int>& makings) {
    AFXServiceClass serviceClass;
    serviceClass.name = QStringLiteral("DependentService");
    serviceClass.interprocessServiceName = kRecordingName;
    serviceClass.makeInterprocessAdaptorForServicesFactory =
        [](const std::shared_ptr<AFXServicesFactory>& factory) {
            return AFXRegularInterprocessClientAdaptor::makeWithServiceName(kRecordingName, kTierName, {},
                                                                            factory);
        };
    serviceClass.makeServiceWithID = [&makings](const std::shared_ptr<AFXServiceID>& serviceID,
                                                const std::shared_ptr<AFXServicesFactory>& factory,
                                                const std::shared_ptr<AFXNetworkService>&,
                                                AFXServiceClass::MakeServiceCallback callback) {
        ++makings;
        callback(ServiceOrError::makeWithValue(std::make_shared<DependentService>(serviceID, factory)));
    };
    serviceClass.makeGlobalServiceIDToPoke = [] {
        return AFXGlobalServiceID::makeWithServiceName(kRecordingName);
    };
    return serviceClass;
}

// Answers no environment and the given customer; holds back every service
// it is to prepare until released.
class PreparingDelegate : public FixedDelegate {
public:
    PreparingDelegate() : FixedDelegate(nullptr, nullptr) {}
    void servicesFactoryPrepareManagementService(AFXServicesFactory&, const std::shared_ptr<AFXBaseService>&,
                                                 std::function<void()> callback) override {
        std::lock_guard lock(mutex_);
        held_.append(std::move(callback));
    }
    int held() const {
        std::lock_guard lock(mutex_);
        return int(held_.size());
    }
    void release() {
        QList<std::function<void()>> held;
        {
            std::lock_guard lock(mutex_);
            held.swap(held_);
        }
        for (const auto& callback : held) {
            callback();
        }
    }

private:
    mutable std::mutex mutex_;
    QList<std::function<void()>> held_;
};

std::shared_ptr<AFXServiceID> environmentServiceID(int index) {
    return AFXEnvironmentServiceID::makeWithServiceName(
        kRecordingName,
        AFXEnvironmentID::environmentWithURLString(QStringLiteral("https://e%1.test/").arg(index)));
}

Services cachedServices(AFXServicesFactory& factory, const QString& name = kRecordingName) {
    Answer<Services> answers;
    factory.fetchAllServicesForName(name, answers.callback());
    return answers.waitFor(1) ? answers.all().at(0) : Services();
}

std::shared_ptr<RecordingService> recording(const ServiceOrError& result) {
    return result.hasValue() ? std::dynamic_pointer_cast<RecordingService>(*result.value()) : nullptr;
}

ServiceOrError fetch(AFXServicesFactory& factory, const std::shared_ptr<AFXServiceID>& serviceID) {
    Answer<ServiceOrError> answers;
    factory.fetchManagementServiceWithID(serviceID, answers.callback());
    return answers.waitFor(1) ? answers.all().at(0)
                              : ServiceOrError::makeWithError(platform::Error(QStringLiteral("timeout"), 0));
}

} // namespace

TEST(ServicesFactory, ConcurrentFetchesShareOneMakingAndItsOutcome) {
    const struct {
        const char* name;
        int failures;
    } cases[] = {{"made", 0}, {"failed, then made by the next fetch", 1}};
    const auto bus = testing_support::SessionBusProcess::start();
    ASSERT_TRUE(bus);
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        RecordingClass recordingClass;
        recordingClass.holds = true;
        recordingClass.failures = test.failures;
        const auto factory = makeServicesFactory({recordingClass.descriptor()});
        Answer<ServiceOrError> waiting;
        for (int i = 0; i < 3; ++i) {
            factory->fetchManagementServiceWithID(environmentServiceID(0), waiting.callback());
        }
        ASSERT_TRUE(waitUntil([&] { return recordingClass.heldMakings() == 1; }, 20s));
        recordingClass.answerHeldMakings();
        ASSERT_TRUE(waiting.waitFor(3));
        for (const auto& answer : waiting.all()) {
            EXPECT_EQ(recording(answer), recording(waiting.all().at(0)));
            EXPECT_EQ(answer.error().has_value(), test.failures > 0);
        }
        EXPECT_EQ(cachedServices(*factory).size(), test.failures > 0 ? 0 : 1);

        const auto later = recording(fetch(*factory, environmentServiceID(0)));
        ASSERT_TRUE(later);
        EXPECT_EQ(recordingClass.makings, 1 + test.failures);
        // Another ID of the name is another service, listed after the first.
        const auto other = recording(fetch(*factory, environmentServiceID(1)));
        EXPECT_NE(other, later);
        EXPECT_EQ(cachedServices(*factory), (Services{later, other}));
    }
}

TEST(ServicesFactory, InvalidatedServicesAreForgottenAndTheFactoryInvalidatesTheRestWhenItGoes) {
    const auto bus = testing_support::SessionBusProcess::start();
    ASSERT_TRUE(bus);
    RecordingClass recordingClass;
    auto factory = makeServicesFactory({recordingClass.descriptor()});
    const auto first = recording(fetch(*factory, environmentServiceID(0)));
    ASSERT_TRUE(first);

    Answer<bool> invalidated;
    factory->invalidateService(first, [&] { invalidated.callback()(true); });
    ASSERT_TRUE(invalidated.waitFor(1));
    EXPECT_EQ(first->terminationQuestions, 1);
    EXPECT_TRUE(cachedServices(*factory).isEmpty());

    const auto second = recording(fetch(*factory, environmentServiceID(0)));
    ASSERT_TRUE(second);
    EXPECT_NE(second, first);
    factory.reset();
    EXPECT_EQ(second->terminationQuestions, 1);
    EXPECT_EQ(first->terminationQuestions, 1);
}

// Released while a service is being made, by its class or by the
// delegate's preparing, the factory answers each waiting caller once, with
// the gone-factory error, and the late making touches nothing of it.
TEST(ServicesFactory, AFactoryGoneWhileMakingAServiceAnswersEachWaitingCallerOnceWithAnError) {
    const auto bus = testing_support::SessionBusProcess::start();
    ASSERT_TRUE(bus);
    for (const bool byDelegate : {false, true}) {
        SCOPED_TRACE(byDelegate ? "while the delegate prepares the service" : "while its class makes it");
        RecordingClass recordingClass;
        recordingClass.holds = !byDelegate;
        const auto delegate = std::make_shared<PreparingDelegate>();
        auto factory = makeServicesFactory({recordingClass.descriptor()}, delegate);
        Answer<ServiceOrError> waiting;
        for (int i = 0; i < 2; ++i) {
            factory->fetchManagementServiceWithID(environmentServiceID(0), waiting.callback());
        }
        ASSERT_TRUE(waitUntil(
            [&] { return (byDelegate ? delegate->held() : recordingClass.heldMakings()) == 1; }, 20s));
        const std::weak_ptr<AFXServicesFactory> gone = factory;
        factory.reset();
        // The call that handed the making over may still be on its way out.
        ASSERT_TRUE(waitUntil([&] { return gone.expired(); }, 5s))
            << "a making in progress keeps the factory alive";
        EXPECT_EQ(waiting.count(), 0);

        byDelegate ? delegate->release() : recordingClass.answerHeldMakings();
        ASSERT_TRUE(waiting.waitFor(2));
        for (const auto& answer : waiting.all()) {
            ASSERT_TRUE(answer.error());
            EXPECT_TRUE(afx_isMissingService(*answer.error()));
            EXPECT_EQ(answer.error()->userInfo().value(AFXErrorServiceNameKey),
                      platform::Value(QStringLiteral("self as AFXServicesFactory")));
        }
        // Nothing answers a second time.
        EXPECT_FALSE(waitUntil([&] { return waiting.count() > 2; }, 1s));
        EXPECT_EQ(recordingClass.makings, 1);
    }
}

TEST(ServicesFactory, ShortcutsAnswerTheirFailureFormsWhenTheSystemManagementServiceCannotBeMade) {
    const auto bus = testing_support::SessionBusProcess::start();
    ASSERT_TRUE(bus);
    // No class serves system management here, so every shortcut meets the
    // missing-service error.
    const auto factory = makeServicesFactory();
    const auto environmentID = AFXEnvironmentID::defaultEnvironmentID();
    Answer<BRValueOrError<std::shared_ptr<AFXEnvironment>>> environments;
    factory->fetchEnvironmentWithID(environmentID, environments.callback());
    factory->updateEnvironmentWithID(environmentID, environments.callback());
    factory->fetchCurrentEnvironmentUpdated(false, environments.callback());
    Answer<BRValueOrError<std::shared_ptr<AFXCustomer>>> customers;
    factory->fetchCustomerWithID(service_round_trip::testCustomerID(QStringLiteral("ada")), true,
                                 customers.callback());
    factory->fetchCurrentCustomerUpdated(false, false, nullptr, 0, customers.callback());
    Answer<BRValueOrError<QString>> tokens;
    factory->fetchCustomerCabinetAccessTokenForCustomer(testCustomer(QStringLiteral("ada")), 5.0,
                                                        tokens.callback());
    Answer<bool> termination;
    factory->prepareWholeSystemForTerminationWithCallback(termination.callback());

    ASSERT_TRUE(environments.waitFor(3));
    ASSERT_TRUE(customers.waitFor(2));
    ASSERT_TRUE(tokens.waitFor(1));
    ASSERT_TRUE(termination.waitFor(1));
    for (const auto& answer : environments.all()) {
        ASSERT_TRUE(answer.error());
        EXPECT_EQ(answer.error()->code(), -401002);
    }
    for (const auto& answer : customers.all()) {
        ASSERT_TRUE(answer.error());
        EXPECT_EQ(answer.error()->code(), -401002);
    }
    ASSERT_TRUE(tokens.all().first().error());
    // A client that cannot be asked never holds up the end.
    EXPECT_EQ(termination.all(), QList<bool>{true});
    // Activities come back at once, made from the factory's tier name.
    const auto activity = factory->startActivityWithReason(QStringLiteral("installing"));
    ASSERT_TRUE(activity);
    EXPECT_EQ(activity->tierName(), kTierName);
    EXPECT_EQ(activity->reason(), "installing");
    factory->stopActivity(activity);
}

TEST(ServicesFactory, TheTerminationVoteAgreesOnlyWhenNoCachedServiceRefuses) {
    const struct {
        const char* name;
        QList<bool> votes;
        bool agrees;
    } cases[] = {
        {"no services", {}, true}, {"all agree", {true, true}, true}, {"one refuses", {true, false}, false}};
    const auto bus = testing_support::SessionBusProcess::start();
    ASSERT_TRUE(bus);
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        RecordingClass recordingClass;
        const auto factory = makeServicesFactory({recordingClass.descriptor()});
        for (int i = 0; i < test.votes.size(); ++i) {
            recordingClass.servicesAgree = test.votes[i];
            ASSERT_TRUE(recording(fetch(*factory, environmentServiceID(i))));
        }
        Answer<BRValueOrError<std::shared_ptr<AFXInterprocessAdaptor>>> adaptor;
        factory->fetchInterpocessAdaptorForServiceNamed(kRecordingName, adaptor.callback());
        ASSERT_TRUE(adaptor.waitFor(1) && adaptor.all().at(0).hasValue());
        Answer<bool> vote;
        factory->regularInterprocessClientAdaptorPrepareForTermination(
            dynamic_cast<AFXRegularInterprocessClientAdaptor&>(**adaptor.all().at(0).value()),
            vote.callback());
        ASSERT_TRUE(vote.waitFor(1));
        EXPECT_EQ(vote.all().at(0), test.agrees);
    }
}

TEST(ServicesFactory, EnvironmentsAndCustomersArePokedAppliedAndFollowedThroughTheirNotifications) {
    const auto firstEnvironment = testEnvironment(AFXEnvironmentID::defaultEnvironmentID());
    const auto secondEnvironment = testEnvironment(AFXEnvironmentID::environmentIDWithManifestURL(
        QUrl(QStringLiteral("https://second.test/endpoints.json"))));
    const auto firstCustomer = testCustomer(QStringLiteral("first@kestrel.test"));
    const auto secondCustomer = testCustomer(QStringLiteral("second@kestrel.test"));
    const struct {
        const char* notification;
        const char* key;
        RecordingClass::Role role;
        std::shared_ptr<platform::Object> first, second;
        QByteArray secondData;
        std::function<std::shared_ptr<platform::Object>(AFXServicesFactory&)> current;
    } cases[] = {
        {"com.kestrel.system-management-service.current-environment-changed", "environment-secure-data",
         RecordingClass::Role::EnvironmentBased, firstEnvironment, secondEnvironment,
         AFXEnvironmentGetSecureSerialization(secondEnvironment),
         [](AFXServicesFactory& factory) { return factory.currentEnvironment(); }},
        {"com.kestrel.system-management-service.current-customer-changed", "customer-secure-data",
         RecordingClass::Role::CustomerBased, firstCustomer, secondCustomer,
         AFXCustomerGetSecureSerialization(secondCustomer),
         [](AFXServicesFactory& factory) { return factory.currentCustomer(); }},
    };
    const auto bus = testing_support::SessionBusProcess::start();
    ASSERT_TRUE(bus);
    const auto center = platform::DistributedNotificationCenter::defaultCenter();
    ASSERT_TRUE(center);
    for (const auto& test : cases) {
        SCOPED_TRACE(test.notification);
        const bool environments = test.role == RecordingClass::Role::EnvironmentBased;
        RecordingClass recordingClass;
        const auto delegate = std::make_shared<FixedDelegate>(environments ? firstEnvironment : nullptr,
                                                              environments ? nullptr : firstCustomer);
        const auto factory = makeServicesFactory({recordingClass.descriptor(test.role)}, delegate);
        const auto updatesOf = [&](int index) {
            const auto services = cachedServices(*factory);
            return index < services.size() ? std::dynamic_pointer_cast<RecordingService>(services.at(index))
                                                 ->updates(environments)
                                           : QList<std::shared_ptr<platform::Object>>();
        };

        // Start-up applies the delegate's value: its service is made and told.
        ASSERT_TRUE(waitUntil([&] { return updatesOf(0).size() == 1; }, 20s));
        EXPECT_EQ(updatesOf(0).at(0), test.first);
        ASSERT_TRUE(test.current(*factory));
        EXPECT_TRUE(test.current(*factory)->isEqual(*test.first));
        if (environments) {
            EXPECT_NE(test.current(*factory), test.first) << "the factory keeps a copy of a mutable record";
            EXPECT_TRUE(factory->statsdClient()->environmentID()->isEqual(*firstEnvironment->identifier()));
            EXPECT_TRUE(factory->analyticsTracker()->isEnabled());
        }

        ASSERT_TRUE(center->postNotificationName(test.notification, QString(),
                                                 {{test.key, platform::Value(test.secondData)}}));
        ASSERT_TRUE(waitUntil([&] { return updatesOf(1).size() == 1 && updatesOf(0).size() == 2; }, 20s));
        EXPECT_EQ(updatesOf(0).at(1), nullptr) << "not its value any more";
        EXPECT_TRUE(updatesOf(1).at(0)->isEqual(*test.second));
        EXPECT_TRUE(test.current(*factory)->isEqual(*test.second));
        if (environments) {
            EXPECT_FALSE(factory->analyticsTracker()->isEnabled()) << "the second environment tracks nothing";
        }

        // Unreadable data applies nothing.
        ASSERT_TRUE(center->postNotificationName(test.notification, QString(),
                                                 {{test.key, platform::Value(QByteArray("garbage"))}}));
        ASSERT_TRUE(waitUntil([&] { return updatesOf(1).size() == 2; }, 20s));
        EXPECT_EQ(updatesOf(1).at(1), nullptr);
        EXPECT_EQ(test.current(*factory), nullptr);
        if (environments) {
            EXPECT_EQ(factory->statsdClient()->environmentID(), nullptr);
            EXPECT_FALSE(factory->analyticsTracker()->isEnabled());
        }
    }
}

// A customer-dependent service is told every customer the factory applies,
// whoever it is and also none, and stays the one service: the role pokes
// nothing and remakes nothing.
TEST(ServicesFactory, ACustomerDependentServiceIsHandedEveryCustomerApplied) {
    const auto bus = testing_support::SessionBusProcess::start();
    ASSERT_TRUE(bus);
    const auto center = platform::DistributedNotificationCenter::defaultCenter();
    ASSERT_TRUE(center);
    const auto firstCustomer = testCustomer(QStringLiteral("first@kestrel.test"));
    const auto secondCustomer = testCustomer(QStringLiteral("second@kestrel.test"));
    std::atomic<int> makings{0};
    const auto delegate = std::make_shared<FixedDelegate>(nullptr, firstCustomer);
    const auto factory = makeServicesFactory({dependentServiceClass(makings)}, delegate);
    // The global service is made at start-up, before the customer is applied.
    ASSERT_TRUE(waitUntil([&] { return cachedServices(*factory).size() == 1; }, 20s));
    const auto service = std::dynamic_pointer_cast<DependentService>(cachedServices(*factory).at(0));
    ASSERT_TRUE(service);
    ASSERT_TRUE(service->customers.waitFor(1));
    EXPECT_EQ(service->customers.all().at(0), firstCustomer);

    const auto post = [&](const QByteArray& data) {
        return center->postNotificationName(
            QStringLiteral("com.kestrel.system-management-service.current-customer-changed"), QString(),
            {{QStringLiteral("customer-secure-data"), platform::Value(data)}});
    };
    // Another customer, then data that reads as none.
    ASSERT_TRUE(post(AFXCustomerGetSecureSerialization(secondCustomer)));
    ASSERT_TRUE(service->customers.waitFor(2));
    ASSERT_TRUE(service->customers.all().at(1));
    EXPECT_TRUE(service->customers.all().at(1)->isEqual(*secondCustomer));
    ASSERT_TRUE(post(QByteArray("garbage")));
    ASSERT_TRUE(service->customers.waitFor(3));
    EXPECT_EQ(service->customers.all().at(2), nullptr);

    EXPECT_EQ(service->customers.count(), 3);
    EXPECT_EQ(cachedServices(*factory), Services{service});
    EXPECT_EQ(makings, 1);
}

namespace {

// The serving side of the test service, made by the serving factory.
struct TestServer {
    static std::shared_ptr<AFXBaseService>
    makeWithServiceID(const std::shared_ptr<AFXServiceID>& serviceID,
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
        established.add(streamID);
    }

    Answer<QUuid> established;

private:
    TestClient(const std::shared_ptr<AFXServiceID>& serviceID,
               const std::shared_ptr<AFXServicesFactory>& servicesFactory,
               const std::shared_ptr<AFXRegularInterprocessClientAdaptor>& adaptor)
        : AFXRegularManagementClient(serviceID, servicesFactory, IPCTestServiceName(),
                                     AFXGlobalServiceID::staticClass(), adaptor) {}
};

} // namespace

TEST(ServicesFactory, PeersRequestsReachTheServicesTheServingFactoryMakes) {
    const auto bus = testing_support::SessionBusProcess::start();
    ASSERT_TRUE(bus);
    const auto serving = makeServicesFactory({AFXRegularManagementServer::makeServiceClass<TestServer>(
        QStringLiteral("TestServer"), IPCTestServiceName(), IPCTestServedRequestClasses())});
    const auto asking = makeServicesFactory({AFXRegularManagementClient::makeServiceClass<TestClient>(
        QStringLiteral("TestClient"), IPCTestServiceName(), IPCTestServedRequestClasses())});
    const auto made = fetch(*asking, AFXGlobalServiceID::makeWithServiceName(IPCTestServiceName()));
    ASSERT_TRUE(made.hasValue());
    const auto client = std::dynamic_pointer_cast<TestClient>(*made.value());
    ASSERT_TRUE(client);

    const auto send = [&](const QString& text, const std::shared_ptr<AFXServiceID>& serviceID) {
        auto request = client->makeRequest<IPCTestEchoRequest>();
        request->setText(text);
        request->setServiceID(serviceID);
        Answer<BRAnyValueOrError> responses;
        client->performRequest(request, nullptr, responses.callback());
        return responses.waitFor(1)
                   ? responses.all().at(0)
                   : BRAnyValueOrError::makeWithError(platform::Error(QStringLiteral("timeout"), 0));
    };
    const auto echoed = [](const BRAnyValueOrError& response) {
        return response.hasValue() ? response.value()->toObject<IPCTestEchoResponse>()->text() : QString();
    };

    EXPECT_EQ(echoed(send(QStringLiteral("first"), client->serviceID())), QStringLiteral("first"));
    EXPECT_EQ(cachedServices(*serving, IPCTestServiceName()).size(), 1);
    // The client heard of its stream through its factory.
    ASSERT_TRUE(client->established.waitFor(1));
    EXPECT_FALSE(client->established.all().at(0).isNull());

    // A service the serving process does not offer is an answer, not a stop.
    const auto refused =
        send(QStringLiteral("lost"), AFXGlobalServiceID::makeWithServiceName(kRecordingName));
    ASSERT_TRUE(refused.error());
    EXPECT_TRUE(afx_isMissingService(*refused.error())) << refused.error()->description().toStdString();
    Answer<BRValueOrError<std::shared_ptr<AFXInterprocessAdaptor>>> adaptor;
    serving->fetchInterpocessAdaptorForServiceNamed(kRecordingName, adaptor.callback());
    ASSERT_TRUE(adaptor.waitFor(1) && adaptor.all().at(0).error());
    EXPECT_TRUE(afx_isMissingService(*adaptor.all().at(0).error()));

    EXPECT_EQ(echoed(send(QStringLiteral("again"), client->serviceID())), QStringLiteral("again"));
    EXPECT_EQ(cachedServices(*serving, IPCTestServiceName()).size(), 1);
}
