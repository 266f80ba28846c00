#include "AFXServicesFactory.h"

#include "AFXCustomerBasedService.h"
#include "AFXCustomerDependentService.h"
#include "AFXEnvironmentBasedService.h"
#include "AppsManagement/AFXAppsManagementService.h"
#include "Recommendations/AFXRecommendationsService.h"
#include "RemoteConfiguration/AFXRemoteConfigurationService.h"
#include "SpecificTools/AFXStatsdClient/AFXStatsdClient.h"
#include "SpecificTools/Analytics/AFXAnalyticsTracker.h"
#include "SpecificTools/Errors/AFXErrors.h"
#include "SpecificTools/Interprocess/AFXBaseService.h"
#include "SpecificTools/Interprocess/AFXCustomerServiceID.h"
#include "SpecificTools/Interprocess/AFXEnvironmentServiceID.h"
#include "SpecificTools/Interprocess/AFXGlobalServiceID.h"
#include "SpecificTools/Interprocess/AFXRegularInterprocessClientAdaptor.h"
#include "SpecificTools/Interprocess/AFXRegularInterprocessServerAdaptor.h"
#include "SpecificTools/Model/AFXCustomer.h"
#include "SpecificTools/Model/AFXEnvironment.h"
#include "SpecificTools/Model/AFXSecureSerialization.h"
#include "SystemManagement/AFXActivity.h"
#include "SystemManagement/AFXRunningApplication.h"
#include "SystemManagement/AFXSystemManagementService.h"
#include "UIManagement/AFXUIManagementService.h"
#include "platform/Bundle.h"
#include "platform/DispatchGroup.h"
#include "support/BRAssertions.h"
#include "support/BRDispatch.h"
#include "support/BRLog.h"
#include "support/BRProactor.h"

#include <atomic>

namespace {

const QString kFindOrMakeGroupID = QStringLiteral("findOrMakeManamenentService");
const QString kServiceOrErrorKey = QStringLiteral("serviceOrError");

using ServiceOrError = BRValueOrError<std::shared_ptr<AFXBaseService>>;

platform::Error makeErrorOfGoneFactory() {
    return afx_makeErrorOfMissingServiceNamed(QStringLiteral("self as AFXServicesFactory"),
                                              QStringLiteral("make management service"));
}

template <typename Record> std::shared_ptr<Record> copyOf(const std::shared_ptr<Record>& record) {
    return record ? std::static_pointer_cast<Record>(record->copy()) : nullptr;
}

// The secure data under the key, or null when the notification has none.
QByteArray secureDataOf(const platform::Notification& notification, const QString& key) {
    const platform::Value data = notification.userInfo().value(key);
    return data.kind() == platform::Value::Kind::Data ? data.toData() : QByteArray();
}

} // namespace

// MARK: - Construction

AFXServicesFactory::AFXServicesFactory(const QList<AFXServiceClass>& servicesClasses, QString tierName,
                                       std::shared_ptr<AFXNetworkService> networkService,
                                       const std::shared_ptr<AFXServicesFactoryDelegate>& delegate)
    : tierName_(std::move(tierName)), networkService_(std::move(networkService)), delegate_(delegate),
      statsdClient_(AFXStatsdClient::make()),
      serviceClassesByServiceName_(makeServiceClassesByServiceNameFromServicesClasses(servicesClasses)),
      internalQueue_(BRBuildInternalDispatchQueue(QStringLiteral("services-factory"))) {
    analyticsTracker_ = AFXAnalyticsTracker::trackerWithApplicationName(
        tierName_, platform::Bundle::mainBundle()->bundleIdentifier());
}

std::shared_ptr<AFXServicesFactory>
AFXServicesFactory::makeWithServicesClasses(const QList<AFXServiceClass>& servicesClasses,
                                            const QString& tierName,
                                            const std::shared_ptr<AFXNetworkService>& networkService,
                                            const std::shared_ptr<AFXServicesFactoryDelegate>& delegate) {
    std::shared_ptr<AFXServicesFactory> factory(
        new AFXServicesFactory(servicesClasses, tierName, networkService, delegate));
    factory->finishConstructionAndStartUp();
    return factory;
}

std::shared_ptr<AFXServicesFactory>
AFXServicesFactory::makeWithServicesClasses(const QList<AFXServiceClass>& servicesClasses,
                                            const QString& tierName,
                                            const std::shared_ptr<AFXServicesFactoryDelegate>& delegate) {
    return makeWithServicesClasses(servicesClasses, tierName, nullptr, delegate);
}

QHash<QString, AFXServiceClass> AFXServicesFactory::makeServiceClassesByServiceNameFromServicesClasses(
    const QList<AFXServiceClass>& servicesClasses) {
    QHash<QString, AFXServiceClass> serviceClassesByServiceName;
    for (const AFXServiceClass& serviceClass : servicesClasses) {
        // A class makes services only when it names its service and gives
        // both of the class operations every service class has.
        if (serviceClass.interprocessServiceName.isEmpty() || !serviceClass.makeServiceWithID ||
            !serviceClass.makeInterprocessAdaptorForServicesFactory) {
            BRHandleAssertionFailure(
                QStringLiteral(
                    "All classes registered in factory should be subclasses of AFXBaseService and %1 "
                    "is not.")
                    .arg(serviceClass.name));
        }
        serviceClassesByServiceName.insert(serviceClass.interprocessServiceName, serviceClass);
    }
    return serviceClassesByServiceName;
}

void AFXServicesFactory::finishConstructionAndStartUp() {
    proactor_ = BRProactor::makeWithDelegate(shared_from_this());
    proactor_->addGroupWithID<AFXServicesFactory>(kFindOrMakeGroupID, true,
                                                  &AFXServicesFactory::findOrMakeManagementServiceForAction);
    // A server adaptor serves as soon as it exists: its first requests look
    // their adaptor up on the internal queue, behind this.
    internalQueue_->sync([this] {
        for (const AFXServiceClass& serviceClass : serviceClassesByServiceName_) {
            interprocessAdaptorByServiceName_.insert(
                serviceClass.interprocessServiceName,
                serviceClass.makeInterprocessAdaptorForServicesFactory(shared_from_this()));
        }
    });
    startUp();
    startObservingChangeNotifications();
}

AFXServicesFactory::~AFXServicesFactory() {
    for (const auto& observer : changeObservers_) {
        notificationCenter_->removeObserver(observer);
    }
    // Nothing else refers to the factory any more, so its state is ours
    // whatever the thread. The last reference may go on the proactor's own
    // queue (with a callback a finished action let go of), where nothing
    // may wait for that queue; the proactor goes with the factory, so its
    // actions are left as they are.
    for (const auto& service : std::as_const(services_)) {
        // The service lives on until it has prepared.
        service->prepareForInvalidationWithCallback([service](bool) {});
    }
}

void AFXServicesFactory::startUp() {
    QList<std::shared_ptr<AFXServiceID>> globalServiceIDs;
    for (const AFXServiceClass& serviceClass : serviceClassesByServiceName_) {
        if (serviceClass.makeGlobalServiceIDToPoke) {
            if (auto serviceID = serviceClass.makeGlobalServiceIDToPoke()) {
                globalServiceIDs.append(std::move(serviceID));
            }
        }
    }
    std::weak_ptr<AFXServicesFactory> weakSelf = weak_from_this();
    pokeServicesWithIDs(globalServiceIDs, [weakSelf] {
        const auto self = weakSelf.lock();
        if (!self) {
            return;
        }
        self->fetchCurrentEnvironmentWithCallback([weakSelf](std::shared_ptr<AFXEnvironment> environment) {
            const auto self = weakSelf.lock();
            if (!self) {
                return;
            }
            self->internalQueue_->async([weakSelf, environment] {
                const auto self = weakSelf.lock();
                if (!self) {
                    return;
                }
                self->setCurrentEnvironment(environment, [weakSelf] {
                    const auto self = weakSelf.lock();
                    if (!self) {
                        return;
                    }
                    self->fetchCurrentCustomerWithCallback([weakSelf](std::shared_ptr<AFXCustomer> customer) {
                        const auto self = weakSelf.lock();
                        if (!self) {
                            return;
                        }
                        self->internalQueue_->async([weakSelf, customer] {
                            if (const auto self = weakSelf.lock()) {
                                self->setCurrentCustomer(customer);
                            }
                        });
                    });
                });
            });
        });
    });
}

void AFXServicesFactory::startObservingChangeNotifications() {
    platform::Error error(QString(), 0);
    notificationCenter_ = platform::DistributedNotificationCenter::defaultCenter(&error);
    if (!notificationCenter_) {
        BRLogError("Services factory does not hear of environment and customer changes: %@", error);
        return;
    }
    std::weak_ptr<AFXServicesFactory> weakSelf = weak_from_this();
    const auto deliveryQueue = platform::DispatchQueue::global(platform::QualityOfService::Utility);
    const auto observe = [&](const QString& name, std::function<void(const platform::Notification&)> block) {
        if (auto observer =
                notificationCenter_->addObserver(name, QString(), deliveryQueue, std::move(block), &error)) {
            changeObservers_.append(std::move(observer));
        } else {
            BRLogError("Services factory does not hear of %@: %@", name, error);
        }
    };
    observe(AFXSystemManagementCurrentEnvironmentChangedNotification,
            [weakSelf](const platform::Notification& notification) {
                const QByteArray data = secureDataOf(
                    notification, AFXSystemManagementCurrentEnvironmentChangedNotificationSecureDataKey);
                const auto environment =
                    data.isNull() ? nullptr : AFXEnvironmentMakeFromSecureSerialization(data);
                if (const auto self = weakSelf.lock()) {
                    self->internalQueue_->async([weakSelf, environment] {
                        if (const auto self = weakSelf.lock()) {
                            self->setCurrentEnvironment(environment, [] {});
                        }
                    });
                }
            });
    observe(AFXSystemManagementCurrentCustomerChangedNotification,
            [weakSelf](const platform::Notification& notification) {
                const QByteArray data = secureDataOf(
                    notification, AFXSystemManagementCurrentCustomerChangedNotificationSecureDataKey);
                const auto customer = data.isNull() ? nullptr : AFXCustomerMakeFromSecureSerialization(data);
                if (const auto self = weakSelf.lock()) {
                    self->internalQueue_->async([weakSelf, customer] {
                        if (const auto self = weakSelf.lock()) {
                            self->setCurrentCustomer(customer);
                        }
                    });
                }
            });
}

// MARK: - State

void AFXServicesFactory::assertOnInternalQueue() const {
    BRAssertOnQueue(internalQueue_);
    if (!internalQueue_->isCurrent()) {
        BRHandleAssertionFailure(
            QStringLiteral("The services factory keeps its state on its internal queue"));
    }
}

std::shared_ptr<AFXEnvironment> AFXServicesFactory::currentEnvironment() const {
    std::shared_ptr<AFXEnvironment> environment;
    internalQueue_->sync([&] { environment = currentEnvironment_; });
    return environment;
}

std::shared_ptr<AFXCustomer> AFXServicesFactory::currentCustomer() const {
    std::shared_ptr<AFXCustomer> customer;
    internalQueue_->sync([&] { customer = currentCustomer_; });
    return customer;
}

// MARK: - Find or make

void AFXServicesFactory::fetchManagementServiceWithID(const std::shared_ptr<AFXServiceID>& serviceID,
                                                      AFXBaseServiceCallback callback) {
    BRParameterAssertText(serviceID, "serviceID");
    // Peers name the services they want, so an unknown name is an answer,
    // not a reason to stop; it also never takes a proactor action.
    if (!serviceClassesByServiceName_.contains(serviceID->serviceName())) {
        BRProactor::invocationQueue()->async([serviceName = serviceID->serviceName(),
                                              callback = std::move(callback)] {
            callback(ServiceOrError::makeWithError(
                afx_makeErrorOfMissingServiceNamed(serviceName, QStringLiteral("make management service"))));
        });
        return;
    }
    const auto action =
        proactor_->groupWithID(kFindOrMakeGroupID)->actionForArgument(platform::Value(serviceID));
    action->addCompletionHandler(
        [callback = std::move(callback)](const std::shared_ptr<BRProactorResult>& result) {
            if (const auto serviceOrError = result->objectForKey<ServiceOrError>(kServiceOrErrorKey)) {
                callback(*serviceOrError);
                return;
            }
            // The proactor completes a run without the factory's answer only
            // when the factory went away before it could make anything.
            callback(ServiceOrError::makeWithError(makeErrorOfGoneFactory()));
        });
}

void AFXServicesFactory::findOrMakeManagementServiceForAction(
    const std::shared_ptr<BRProactorAction>& action) {
    internalQueue_->async([self = shared_from_this(), action] {
        self->dispatchedFindOrMakeManagementServiceWithID(
            action->argument().toObject<AFXServiceID>(), [action](const ServiceOrError& serviceOrError) {
                action->setObject(serviceOrError, kServiceOrErrorKey);
                action->complete();
                if (!serviceOrError.hasValue()) {
                    action->reset();
                }
            });
    });
}

void AFXServicesFactory::dispatchedFindOrMakeManagementServiceWithID(
    const std::shared_ptr<AFXServiceID>& serviceID, AFXBaseServiceCallback callback) {
    assertOnInternalQueue();
    BRLogInfo("First looking for cached service with ID %@", platform::Value(serviceID));
    for (const auto& service : services_) {
        if (service->serviceID()->isEqual(*serviceID)) {
            callback(ServiceOrError::makeWithValue(service));
            return;
        }
    }
    BRLogInfo("Making new service with ID %@", platform::Value(serviceID));
    BRParameterAssertText(serviceClassesByServiceName_.contains(serviceID->serviceName()), "serviceClass");
    const AFXServiceClass& serviceClass = serviceClassesByServiceName_[serviceID->serviceName()];
    std::weak_ptr<AFXServicesFactory> weakSelf = weak_from_this();
    serviceClass.makeServiceWithID(
        serviceID, shared_from_this(), networkService_,
        [weakSelf, serviceID, callback = std::move(callback)](const ServiceOrError& made) {
            const auto self = weakSelf.lock();
            if (!self) {
                callback(ServiceOrError::makeWithError(makeErrorOfGoneFactory()));
                return;
            }
            if (const auto error = made.error()) {
                BRLogInfo("Failed making service %@ with error %@", platform::Value(serviceID), *error);
                callback(made);
                return;
            }
            const auto service = *made.value();
            auto cache = [weakSelf, service, callback] {
                const auto self = weakSelf.lock();
                if (!self) {
                    callback(ServiceOrError::makeWithError(makeErrorOfGoneFactory()));
                    return;
                }
                self->internalQueue_->async([self, service, callback] {
                    self->services_.append(service);
                    callback(ServiceOrError::makeWithValue(service));
                });
            };
            if (const auto delegate = self->delegate()) {
                delegate->servicesFactoryPrepareManagementService(*self, service, std::move(cache));
            } else {
                cache();
            }
        });
}

void AFXServicesFactory::fetchAllServicesForName(
    const QString& serviceName, std::function<void(const QList<std::shared_ptr<AFXBaseService>>&)> callback) {
    BRParameterAssertText(!serviceName.isEmpty(), "serviceName");
    internalQueue_->async([self = shared_from_this(), serviceName, callback = std::move(callback)] {
        QList<std::shared_ptr<AFXBaseService>> services;
        for (const auto& service : self->services_) {
            if (service->serviceID()->serviceName() == serviceName) {
                services.append(service);
            }
        }
        callback(services);
    });
}

// MARK: - Invalidation

void AFXServicesFactory::invalidateService(const std::shared_ptr<AFXBaseService>& service,
                                           std::function<void()> callback) {
    BRParameterAssertText(service, "service");
    std::weak_ptr<AFXServicesFactory> weakSelf = weak_from_this();
    internalQueue_->async([weakSelf, service, callback = std::move(callback)]() mutable {
        if (const auto self = weakSelf.lock()) {
            self->unsafeInvalidateService(service, std::move(callback));
        }
    });
}

void AFXServicesFactory::unsafeInvalidateService(const std::shared_ptr<AFXBaseService>& service,
                                                 std::function<void()> callback) {
    services_.removeAll(service);
    if (proactor_) {
        proactor_->groupWithID(kFindOrMakeGroupID)
            ->actionForArgument(platform::Value(service->serviceID()))
            ->reset();
    }
    // The service lives on until it has prepared.
    service->prepareForInvalidationWithCallback(
        [service, callback = std::move(callback)](bool) { callback(); });
}

// MARK: - Adaptors

void AFXServicesFactory::fetchInterpocessAdaptorForServiceNamed(const QString& serviceName,
                                                                AFXInterprocessAdaptorCallback callback) {
    internalQueue_->async([self = shared_from_this(), serviceName, callback = std::move(callback)] {
        if (const auto adaptor = self->interprocessAdaptorByServiceName_.value(serviceName)) {
            callback(BRValueOrError<std::shared_ptr<AFXInterprocessAdaptor>>::makeWithValue(adaptor));
            return;
        }
        callback(BRValueOrError<std::shared_ptr<AFXInterprocessAdaptor>>::makeWithError(
            afx_makeErrorOfMissingServiceNamed(QStringLiteral("interprocess adaptor for %1").arg(serviceName),
                                               QStringLiteral("sending interprocess messages"))));
    });
}

// MARK: - Environment and customer

void AFXServicesFactory::fetchCurrentEnvironmentWithCallback(
    std::function<void(std::shared_ptr<AFXEnvironment>)> callback) {
    if (const auto delegate = this->delegate()) {
        delegate->servicesFactoryFetchCurrentEnvironment(*this, std::move(callback));
        return;
    }
    callback(nullptr);
}

void AFXServicesFactory::fetchCurrentCustomerWithCallback(
    std::function<void(std::shared_ptr<AFXCustomer>)> callback) {
    if (const auto delegate = this->delegate()) {
        delegate->servicesFactoryFetchCurrentCustomer(*this, std::move(callback));
        return;
    }
    callback(nullptr);
}

void AFXServicesFactory::pokeServicesWithIDs(const QList<std::shared_ptr<AFXServiceID>>& serviceIDs,
                                             std::function<void()> callback) {
    const auto group = platform::DispatchGroup::make();
    for (const auto& serviceID : serviceIDs) {
        group->enter();
        fetchManagementServiceWithID(serviceID, [group](const ServiceOrError&) { group->leave(); });
    }
    group->notify(internalQueue_, std::move(callback));
}

void AFXServicesFactory::setCurrentEnvironment(const std::shared_ptr<AFXEnvironment>& environment,
                                               std::function<void()> pokeCompletionHandler) {
    assertOnInternalQueue();
    currentEnvironment_ = copyOf(environment);
    const auto environmentID = environment ? environment->identifier() : nullptr;
    statsdClient_->setEnvironmentID(environmentID);
    const bool tracksAnalytics = environmentID && environmentID->isAnalyticsTrackingEnabled();
    analyticsTracker_->setEnabled(tracksAnalytics);
    if (tracksAnalytics) {
        analyticsTracker_->sendDeferredEvents();
    }

    QList<std::shared_ptr<AFXServiceID>> serviceIDs;
    for (const AFXServiceClass& serviceClass : serviceClassesByServiceName_) {
        if (serviceClass.makeServiceIDToPokeWithNewEnvironment) {
            if (auto serviceID = serviceClass.makeServiceIDToPokeWithNewEnvironment(environment)) {
                serviceIDs.append(std::move(serviceID));
            }
        }
    }
    std::weak_ptr<AFXServicesFactory> weakSelf = weak_from_this();
    pokeServicesWithIDs(serviceIDs, [weakSelf, environment,
                                     pokeCompletionHandler = std::move(pokeCompletionHandler)] {
        const auto self = weakSelf.lock();
        if (!self) {
            return;
        }
        self->assertOnInternalQueue();
        for (const auto& service : self->services_) {
            if (const auto environmentBased =
                    std::dynamic_pointer_cast<AFXEnvironmentBasedService>(service)) {
                const auto serviceEnvironmentID = environmentBased->environmentID();
                const bool isServiceEnvironment = environment && serviceEnvironmentID &&
                                                  serviceEnvironmentID->isEqual(*environment->identifier());
                environmentBased->updateEnvironment(isServiceEnvironment ? environment : nullptr);
            }
        }
        pokeCompletionHandler();
    });
}

void AFXServicesFactory::setCurrentCustomer(const std::shared_ptr<AFXCustomer>& customer) {
    assertOnInternalQueue();
    currentCustomer_ = copyOf(customer);
    QList<std::shared_ptr<AFXServiceID>> serviceIDs;
    for (const AFXServiceClass& serviceClass : serviceClassesByServiceName_) {
        if (serviceClass.makeServiceIDToPokeWithNewCustomer) {
            if (auto serviceID = serviceClass.makeServiceIDToPokeWithNewCustomer(customer)) {
                serviceIDs.append(std::move(serviceID));
            }
        }
    }
    std::weak_ptr<AFXServicesFactory> weakSelf = weak_from_this();
    pokeServicesWithIDs(serviceIDs, [weakSelf, customer] {
        const auto self = weakSelf.lock();
        if (!self) {
            return;
        }
        self->assertOnInternalQueue();
        for (const auto& service : self->services_) {
            if (const auto customerBased = std::dynamic_pointer_cast<AFXCustomerBasedService>(service)) {
                const auto serviceCustomerID = customerBased->customerID();
                const bool isServiceCustomer = customer && customer->identifier() && serviceCustomerID &&
                                               serviceCustomerID->isEqual(*customer->identifier());
                customerBased->updateCustomer(isServiceCustomer ? customer : nullptr);
            }
            if (const auto customerDependent =
                    std::dynamic_pointer_cast<AFXCustomerDependentService>(service)) {
                customerDependent->updateCustomer(customer);
            }
        }
    });
}

// MARK: - Services by name

template <typename Service>
void AFXServicesFactory::fetchServiceOfInterface(
    const std::shared_ptr<AFXServiceID>& serviceID,
    std::function<void(const BRValueOrError<std::shared_ptr<Service>>&)> callback) {
    fetchManagementServiceWithID(
        serviceID, [serviceID, callback = std::move(callback)](const ServiceOrError& result) {
            callback(result.liftValue([&](const std::shared_ptr<AFXBaseService>& service) {
                auto typed = std::dynamic_pointer_cast<Service>(service);
                if (!typed) {
                    BRHandleAssertionFailure(
                        QStringLiteral("The class registered for %1 does not make the service of that name")
                            .arg(serviceID->serviceName()));
                }
                return typed;
            }));
        });
}

void AFXServicesFactory::fetchSystemManagementServiceWithCallback(
    AFXSystemManagementServiceCallback callback) {
    fetchServiceOfInterface<AFXSystemManagementService>(
        AFXGlobalServiceID::makeWithServiceName(AFXSystemManagementServiceName()), std::move(callback));
}

void AFXServicesFactory::fetchAppsManagementServiceForEnvironmentID(
    const std::shared_ptr<AFXEnvironmentID>& environmentID, AFXAppsManagementServiceCallback callback) {
    BRParameterAssertText(environmentID, "environmentID");
    fetchServiceOfInterface<AFXAppsManagementService>(
        AFXEnvironmentServiceID::makeWithServiceName(AFXAppsManagementService::interprocessServiceName(),
                                                     environmentID),
        std::move(callback));
}

void AFXServicesFactory::fetchUIManagementServiceWithCallback(AFXUIManagementServiceCallback callback) {
    fetchServiceOfInterface<AFXUIManagementService>(
        AFXGlobalServiceID::makeWithServiceName(AFXUIManagementService::interprocessServiceName()),
        std::move(callback));
}

void AFXServicesFactory::fetchRemoteConfigurationServiceForEnvironmentID(
    const std::shared_ptr<AFXEnvironmentID>& environmentID, AFXRemoteConfigurationServiceCallback callback) {
    BRParameterAssertText(environmentID, "environmentID");
    fetchServiceOfInterface<AFXRemoteConfigurationService>(
        AFXEnvironmentServiceID::makeWithServiceName(AFXRemoteConfigurationService::interprocessServiceName(),
                                                     environmentID),
        std::move(callback));
}

void AFXServicesFactory::fetchRecommendationsServiceForCustomerID(
    const std::shared_ptr<AFXCustomerID>& customerID, AFXRecommendationsServiceCallback callback) {
    BRParameterAssertText(customerID, "customerID");
    fetchServiceOfInterface<AFXRecommendationsService>(
        AFXCustomerServiceID::makeWithServiceName(AFXRecommendationsService::interprocessServiceName(),
                                                  customerID),
        std::move(callback));
}

// MARK: - System-management shortcuts

template <typename T>
void AFXServicesFactory::forwardToSystemManagementService(
    std::function<void(const BRValueOrError<T>&)> callback,
    std::function<void(AFXSystemManagementService&, std::function<void(const BRValueOrError<T>&)>)> forward) {
    fetchSystemManagementServiceWithCallback(
        [callback = std::move(callback), forward = std::move(forward)](const auto& result) {
            result.onValue([&](const std::shared_ptr<AFXSystemManagementService>& service) {
                forward(*service, callback);
            });
            result.onError(
                [&](const platform::Error& error) { callback(BRValueOrError<T>::makeWithError(error)); });
        });
}

void AFXServicesFactory::fetchCurrentEnvironmentUpdated(bool updated, AFXEnvironmentCallback callback) {
    forwardToSystemManagementService<std::shared_ptr<AFXEnvironment>>(
        std::move(callback), [updated](AFXSystemManagementService& service, AFXEnvironmentCallback callback) {
            service.fetchCurrentEnvironmentUpdated(updated, std::move(callback));
        });
}

void AFXServicesFactory::fetchCurrentCustomerUpdated(
    bool updated, bool canDestroyInvalidCustomer,
    const std::shared_ptr<AFXRunningApplication>& runningApplication, std::int64_t presentationStyle,
    AFXCustomerCallback callback) {
    forwardToSystemManagementService<std::shared_ptr<AFXCustomer>>(
        std::move(callback), [=](AFXSystemManagementService& service, AFXCustomerCallback callback) {
            service.fetchCurrentCustomerUpdated(updated, canDestroyInvalidCustomer, runningApplication,
                                                presentationStyle, std::move(callback));
        });
}

void AFXServicesFactory::fetchEnvironmentWithID(const std::shared_ptr<AFXEnvironmentID>& environmentID,
                                                bool isUpdated, AFXEnvironmentCallback callback) {
    BRParameterAssertText(environmentID, "environmentID");
    forwardToSystemManagementService<std::shared_ptr<AFXEnvironment>>(
        std::move(callback),
        [environmentID, isUpdated](AFXSystemManagementService& service, AFXEnvironmentCallback callback) {
            service.fetchEnvironmentWithID(environmentID, isUpdated, std::move(callback));
        });
}

void AFXServicesFactory::fetchEnvironmentWithID(const std::shared_ptr<AFXEnvironmentID>& environmentID,
                                                AFXEnvironmentCallback callback) {
    fetchEnvironmentWithID(environmentID, false, std::move(callback));
}

void AFXServicesFactory::updateEnvironmentWithID(const std::shared_ptr<AFXEnvironmentID>& environmentID,
                                                 AFXEnvironmentCallback callback) {
    fetchEnvironmentWithID(environmentID, true, std::move(callback));
}

void AFXServicesFactory::fetchCustomerWithID(const std::shared_ptr<AFXCustomerID>& customerID,
                                             bool forceUpdate, AFXCustomerCallback callback) {
    BRParameterAssertText(customerID, "customerID");
    forwardToSystemManagementService<std::shared_ptr<AFXCustomer>>(
        std::move(callback),
        [customerID, forceUpdate](AFXSystemManagementService& service, AFXCustomerCallback callback) {
            service.fetchCustomerWithID(customerID, forceUpdate, std::move(callback));
        });
}

void AFXServicesFactory::fetchCustomerCabinetAccessTokenForCustomer(
    const std::shared_ptr<AFXCustomer>& customer, double timeoutInterval, AFXAccessTokenCallback callback) {
    BRParameterAssertText(customer, "customer");
    forwardToSystemManagementService<QString>(
        std::move(callback),
        [customer, timeoutInterval](AFXSystemManagementService& service, AFXAccessTokenCallback callback) {
            service.fetchCustomerCabinetAccessToken(customer, timeoutInterval, std::move(callback));
        });
}

std::shared_ptr<AFXActivity> AFXServicesFactory::startActivityWithReason(const QString& reason) {
    auto activity = AFXActivity::makeWithTierName(tierName_, reason);
    fetchSystemManagementServiceWithCallback([activity](const auto& result) {
        result.onValue([&](const std::shared_ptr<AFXSystemManagementService>& service) {
            service->startActivity(activity);
        });
    });
    return activity;
}

void AFXServicesFactory::stopActivity(const std::shared_ptr<AFXActivity>& activity) {
    fetchSystemManagementServiceWithCallback([activity](const auto& result) {
        result.onValue([&](const std::shared_ptr<AFXSystemManagementService>& service) {
            service->stopActivity(activity);
        });
    });
}

void AFXServicesFactory::prepareWholeSystemForTerminationWithCallback(AFXBooleanCallback callback) {
    fetchSystemManagementServiceWithCallback([callback = std::move(callback)](const auto& result) {
        result.onValue([&](const std::shared_ptr<AFXSystemManagementService>& service) {
            service->prepareWholeSystemForTerminationWithCallback(callback);
        });
        // A client that cannot be asked never holds up the end.
        result.onError([&](const platform::Error&) { callback(true); });
    });
}

// MARK: - Adaptor delegate

void AFXServicesFactory::didEstablishConnectionWithServiceNamed(const QString& serviceName,
                                                                const QUuid& esteblishedStreamID) {
    BRLogInfo("Did establish connection with %@", serviceName);
    internalQueue_->async([self = shared_from_this(), serviceName, esteblishedStreamID] {
        for (const auto& service : self->services_) {
            if (service->serviceID()->serviceName() == serviceName) {
                service->didEstablishInterprocessConnectionWithEsteblishedStreamID(esteblishedStreamID);
            }
        }
    });
}

void AFXServicesFactory::didLooseConnectionWithServiceNamed(const QString& serviceName,
                                                            const QUuid& esteblishedStreamID) {
    BRLogInfo("Did loose connection with %@", serviceName);
    internalQueue_->async([self = shared_from_this(), serviceName, esteblishedStreamID] {
        for (const auto& service : self->services_) {
            if (service->serviceID()->serviceName() == serviceName) {
                service->didLooseInterprocessConnectionWithEsteblishedStreamID(esteblishedStreamID);
            }
        }
    });
}

void AFXServicesFactory::didEstablishConnectionOfRegularInterprocessClientAdaptor(
    AFXRegularInterprocessClientAdaptor& adaptor, const QUuid& esteblishedStreamID) {
    didEstablishConnectionWithServiceNamed(adaptor.serviceName(), esteblishedStreamID);
}

void AFXServicesFactory::didLooseConnectionOfRegularInterprocessClientAdaptor(
    AFXRegularInterprocessClientAdaptor& adaptor, const QUuid& esteblishedStreamID) {
    didLooseConnectionWithServiceNamed(adaptor.serviceName(), esteblishedStreamID);
}

void AFXServicesFactory::didEstablishConnectionOfRegularInterprocessServerAdaptor(
    AFXRegularInterprocessServerAdaptor& adaptor, const QUuid& esteblishedStreamID) {
    didEstablishConnectionWithServiceNamed(adaptor.serviceName(), esteblishedStreamID);
}

void AFXServicesFactory::didLooseConnectionOfRegularInterprocessServerAdaptor(
    AFXRegularInterprocessServerAdaptor& adaptor, const QUuid& esteblishedStreamID) {
    didLooseConnectionWithServiceNamed(adaptor.serviceName(), esteblishedStreamID);
}

void AFXServicesFactory::regularInterprocessClientAdaptorPrepareForTermination(
    AFXRegularInterprocessClientAdaptor&, std::function<void(bool)> callback) {
    internalQueue_->async([self = shared_from_this(), callback = std::move(callback)] {
        // Services answer on queues of their own.
        const auto refusals = std::make_shared<std::atomic<int>>(0);
        const auto group = platform::DispatchGroup::make();
        for (const auto& service : self->services_) {
            group->enter();
            service->prepareForTerminationWithCallback([refusals, group](bool agrees) {
                if (!agrees) {
                    ++*refusals;
                }
                group->leave();
            });
        }
        group->notify(self->internalQueue_, [refusals, callback] { callback(refusals->load() == 0); });
    });
}

void AFXServicesFactory::regularInterprocessServerAdaptorPerformRequest(
    AFXRegularInterprocessServerAdaptor&, const std::shared_ptr<AFXInterprocessRequest>& request,
    AFXInterprocessReportHandler reportHandler, AFXInterprocessResponseHandler responseHandler) {
    const auto serviceID = request ? request->serviceID() : nullptr;
    if (!serviceID) {
        responseHandler(BRAnyValueOrError::makeWithError(afx_makeErrorOfMissingServiceNamed(
            QStringLiteral("service without ID"), QStringLiteral("perform interprocess request"))));
        return;
    }
    fetchManagementServiceWithID(
        serviceID, [request, reportHandler = std::move(reportHandler),
                    responseHandler = std::move(responseHandler)](const ServiceOrError& result) {
            result.onValue([&](const std::shared_ptr<AFXBaseService>& service) {
                service->performRequest(request, reportHandler, responseHandler);
            });
            result.onError([&](const platform::Error& error) {
                responseHandler(BRAnyValueOrError::makeWithError(error));
            });
        });
}
