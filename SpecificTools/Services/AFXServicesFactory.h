#pragma once

#include "AFXServiceCallbacks.h"
#include "AFXServiceClass.h"
#include "AFXServicesFactoryDelegate.h"
#include "SpecificTools/Interprocess/AFXRegularInterprocessClientAdaptorDelegate.h"
#include "SpecificTools/Interprocess/AFXRegularInterprocessServerAdaptorDelegate.h"
#include "SystemManagement/AFXSystemManagementService.h"
#include "platform/DispatchQueue.h"
#include "platform/DistributedNotificationCenter.h"
#include "platform/Object.h"
#include "support/BRProactorDelegate.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QUuid>

#include <cstdint>
#include <memory>

class AFXAnalyticsTracker;
class AFXBaseService;
class AFXCustomerID;
class AFXEnvironmentID;
class AFXInterprocessAdaptor;
class AFXRunningApplication;
class AFXStatsdClient;
class BRProactor;
class BRProactorAction;

using AFXInterprocessAdaptorCallback =
    std::function<void(const BRValueOrError<std::shared_ptr<AFXInterprocessAdaptor>>&)>;
// A service of the factory's cache, or why there is none.
using AFXBaseServiceCallback = std::function<void(const BRValueOrError<std::shared_ptr<AFXBaseService>>&)>;

// The one owner of a process's management services: hands out the live
// service for a service ID, making it on first request through its
// proactor (one making per ID at a time, every waiting caller answered with
// the same result), and keeps it until it is invalidated. It gives every
// registered service name one interprocess adaptor, relays the adaptors'
// connection events to the services of that name, serves the requests peers
// send to its server adaptors, keeps the current environment and customer
// and tells the services that take a role of their changes.
//
// The cache and the current environment and customer live on the internal
// queue ("services-factory"). Fetch results arrive on the proactor's
// invocation queue, never on the caller's thread.
class AFXServicesFactory : public AFXRegularInterprocessClientAdaptorDelegate,
                           public AFXRegularInterprocessServerAdaptorDelegate,
                           public BRProactorDelegate,
                           public std::enable_shared_from_this<AFXServicesFactory> {
public:
    // A factory of the given service classes that starts up at once: it
    // pokes the global services, then asks the delegate for the current
    // environment and customer and applies them, and observes the desktop
    // client's announcements of their changes.
    static std::shared_ptr<AFXServicesFactory>
    makeWithServicesClasses(const QList<AFXServiceClass>& servicesClasses, const QString& tierName,
                            const std::shared_ptr<AFXNetworkService>& networkService,
                            const std::shared_ptr<AFXServicesFactoryDelegate>& delegate);
    // The same without a network component: the installer's management
    // clients make no use of one.
    static std::shared_ptr<AFXServicesFactory>
    makeWithServicesClasses(const QList<AFXServiceClass>& servicesClasses, const QString& tierName,
                            const std::shared_ptr<AFXServicesFactoryDelegate>& delegate);
    static QHash<QString, AFXServiceClass>
    makeServiceClassesByServiceNameFromServicesClasses(const QList<AFXServiceClass>& servicesClasses);

    // Invalidates every cached service.
    ~AFXServicesFactory() override;
    AFXServicesFactory(const AFXServicesFactory&) = delete;
    AFXServicesFactory& operator=(const AFXServicesFactory&) = delete;

    const QString& tierName() const { return tierName_; }
    const std::shared_ptr<AFXNetworkService>& networkService() const { return networkService_; }
    std::shared_ptr<AFXServicesFactoryDelegate> delegate() const { return delegate_.lock(); }
    const std::shared_ptr<AFXAnalyticsTracker>& analyticsTracker() const { return analyticsTracker_; }
    const std::shared_ptr<AFXStatsdClient>& statsdClient() const { return statsdClient_; }
    const QHash<QString, AFXServiceClass>& serviceClassesByServiceName() const {
        return serviceClassesByServiceName_;
    }
    // Short reads on the internal queue: never call them from it.
    std::shared_ptr<AFXEnvironment> currentEnvironment() const;
    std::shared_ptr<AFXCustomer> currentCustomer() const;

    // The cached service of the ID, or a new one. An ID whose service name
    // has no registered class is answered with the missing-service error.
    void fetchManagementServiceWithID(const std::shared_ptr<AFXServiceID>& serviceID,
                                      AFXBaseServiceCallback callback);
    // The cached services of the name, in order of creation.
    void fetchAllServicesForName(const QString& serviceName,
                                 std::function<void(const QList<std::shared_ptr<AFXBaseService>>&)> callback);
    // Forgets the service, so that the next fetch of its ID makes a new one,
    // and lets it prepare; the callback follows once it has.
    void invalidateService(const std::shared_ptr<AFXBaseService>& service, std::function<void()> callback);
    // The same, for callers already on the internal queue.
    void unsafeInvalidateService(const std::shared_ptr<AFXBaseService>& service,
                                 std::function<void()> callback);
    // The adaptor of the service name in this process, or the missing-service error.
    void fetchInterpocessAdaptorForServiceNamed(const QString& serviceName,
                                                AFXInterprocessAdaptorCallback callback);
    // Through the delegate; without one the callback receives null at once.
    void fetchCurrentEnvironmentWithCallback(std::function<void(std::shared_ptr<AFXEnvironment>)> callback);
    void fetchCurrentCustomerWithCallback(std::function<void(std::shared_ptr<AFXCustomer>)> callback);

    // The services by their names.
    virtual void fetchSystemManagementServiceWithCallback(AFXSystemManagementServiceCallback callback);
    virtual void
    fetchAppsManagementServiceForEnvironmentID(const std::shared_ptr<AFXEnvironmentID>& environmentID,
                                               AFXAppsManagementServiceCallback callback);
    void fetchUIManagementServiceWithCallback(AFXUIManagementServiceCallback callback);
    void
    fetchRemoteConfigurationServiceForEnvironmentID(const std::shared_ptr<AFXEnvironmentID>& environmentID,
                                                    AFXRemoteConfigurationServiceCallback callback);
    void fetchRecommendationsServiceForCustomerID(const std::shared_ptr<AFXCustomerID>& customerID,
                                                  AFXRecommendationsServiceCallback callback);

    // Shortcuts through the system management service: its failure to come
    // reaches the callback as the error.
    void fetchCurrentEnvironmentUpdated(bool updated, AFXEnvironmentCallback callback);
    void fetchCurrentCustomerUpdated(bool updated, bool canDestroyInvalidCustomer,
                                     const std::shared_ptr<AFXRunningApplication>& runningApplication,
                                     std::int64_t presentationStyle, AFXCustomerCallback callback);
    void fetchEnvironmentWithID(const std::shared_ptr<AFXEnvironmentID>& environmentID, bool isUpdated,
                                AFXEnvironmentCallback callback);
    void fetchEnvironmentWithID(const std::shared_ptr<AFXEnvironmentID>& environmentID,
                                AFXEnvironmentCallback callback);
    void updateEnvironmentWithID(const std::shared_ptr<AFXEnvironmentID>& environmentID,
                                 AFXEnvironmentCallback callback);
    void fetchCustomerWithID(const std::shared_ptr<AFXCustomerID>& customerID, bool forceUpdate,
                             AFXCustomerCallback callback);
    // The interval is in seconds.
    void fetchCustomerCabinetAccessTokenForCustomer(const std::shared_ptr<AFXCustomer>& customer,
                                                    double timeoutInterval, AFXAccessTokenCallback callback);
    // The activity made from this factory's tier name and the reason, at
    // once; starting and stopping it are best effort.
    std::shared_ptr<AFXActivity> startActivityWithReason(const QString& reason);
    void stopActivity(const std::shared_ptr<AFXActivity>& activity);
    // True also when the system management service cannot be made.
    void prepareWholeSystemForTerminationWithCallback(AFXBooleanCallback callback);

    // Relays an adaptor's connection event to the cached services of its name.
    void didEstablishConnectionWithServiceNamed(const QString& serviceName, const QUuid& esteblishedStreamID);
    void didLooseConnectionWithServiceNamed(const QString& serviceName, const QUuid& esteblishedStreamID);

    // AFXRegularInterprocessClientAdaptorDelegate
    void
    didEstablishConnectionOfRegularInterprocessClientAdaptor(AFXRegularInterprocessClientAdaptor& adaptor,
                                                             const QUuid& esteblishedStreamID) override;
    void didLooseConnectionOfRegularInterprocessClientAdaptor(AFXRegularInterprocessClientAdaptor& adaptor,
                                                              const QUuid& esteblishedStreamID) override;
    // True when every cached service agrees to terminate.
    void regularInterprocessClientAdaptorPrepareForTermination(AFXRegularInterprocessClientAdaptor& adaptor,
                                                               std::function<void(bool)> callback) override;

    // AFXRegularInterprocessServerAdaptorDelegate: a peer's request goes to
    // the service of its ID; a request for a service this process does not
    // offer is answered with the missing-service error.
    void regularInterprocessServerAdaptorPerformRequest(
        AFXRegularInterprocessServerAdaptor& adaptor, const std::shared_ptr<AFXInterprocessRequest>& request,
        AFXInterprocessReportHandler reportHandler, AFXInterprocessResponseHandler responseHandler) override;
    void
    didEstablishConnectionOfRegularInterprocessServerAdaptor(AFXRegularInterprocessServerAdaptor& adaptor,
                                                             const QUuid& esteblishedStreamID) override;
    void didLooseConnectionOfRegularInterprocessServerAdaptor(AFXRegularInterprocessServerAdaptor& adaptor,
                                                              const QUuid& esteblishedStreamID) override;

protected:
    // Everything but what needs the factory as a shared object (the
    // proactor, the adaptors, start-up): see `makeWithServicesClasses`.
    AFXServicesFactory(const QList<AFXServiceClass>& servicesClasses, QString tierName,
                       std::shared_ptr<AFXNetworkService> networkService,
                       const std::shared_ptr<AFXServicesFactoryDelegate>& delegate);

private:
    void finishConstructionAndStartUp();
    void startUp();
    void startObservingChangeNotifications();

    // The proactor's handler of "findOrMakeManamenentService".
    void findOrMakeManagementServiceForAction(const std::shared_ptr<BRProactorAction>& action);
    // On the internal queue.
    void dispatchedFindOrMakeManagementServiceWithID(const std::shared_ptr<AFXServiceID>& serviceID,
                                                     AFXBaseServiceCallback callback);
    // Runs `forward` with the system management service, or answers the
    // callback with its failure to come.
    template <typename T>
    void forwardToSystemManagementService(
        std::function<void(const BRValueOrError<T>&)> callback,
        std::function<void(AFXSystemManagementService&, std::function<void(const BRValueOrError<T>&)>)>
            forward);
    template <typename Service>
    void
    fetchServiceOfInterface(const std::shared_ptr<AFXServiceID>& serviceID,
                            std::function<void(const BRValueOrError<std::shared_ptr<Service>>&)> callback);

    // Fetches every service of the IDs; the callback runs on the internal queue.
    void pokeServicesWithIDs(const QList<std::shared_ptr<AFXServiceID>>& serviceIDs,
                             std::function<void()> callback);
    // On the internal queue.
    void setCurrentEnvironment(const std::shared_ptr<AFXEnvironment>& environment,
                               std::function<void()> pokeCompletionHandler);
    void setCurrentCustomer(const std::shared_ptr<AFXCustomer>& customer);
    void assertOnInternalQueue() const;

    const QString tierName_;
    const std::shared_ptr<AFXNetworkService> networkService_;
    const std::weak_ptr<AFXServicesFactoryDelegate> delegate_;
    std::shared_ptr<AFXAnalyticsTracker> analyticsTracker_;
    const std::shared_ptr<AFXStatsdClient> statsdClient_;
    const QHash<QString, AFXServiceClass> serviceClassesByServiceName_;
    // Made once the factory is shared, then never changed.
    QHash<QString, std::shared_ptr<AFXInterprocessAdaptor>> interprocessAdaptorByServiceName_;
    std::shared_ptr<BRProactor> proactor_;
    const std::shared_ptr<platform::DispatchQueue> internalQueue_;
    std::shared_ptr<platform::DistributedNotificationCenter> notificationCenter_;
    QList<std::shared_ptr<platform::DistributedNotificationCenter::ObserverToken>> changeObservers_;

    // On the internal queue.
    QList<std::shared_ptr<AFXBaseService>> services_;
    std::shared_ptr<AFXEnvironment> currentEnvironment_;
    std::shared_ptr<AFXCustomer> currentCustomer_;
};
