#pragma once

#include "SpecificTools/Services/AppsManagement/AFXAppsManagementServer.h"
#include "platform/DispatchQueue.h"

#include <QHash>
#include <QList>
#include <QUrl>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class AFXAppInstance;
class AFXEnvironment;
class AFXVendorAppInstance;
class StoreCatalogue;
class VendorAppInstallation;

// The desktop client's apps management service of one environment: it
// serves the store's catalogue of that environment (the store endpoint's
// "catalogue.json"), installs vendor apps into "/Applications" and follows
// their workflows, prepares the resources apps show and launches placed
// apps. Operations it does not offer keep the base's missing-service answer.
//
// The environment, the catalogue and the running installations live on the
// server's serial queue; every operation hops onto it and answers from it.
// The catalogue is fetched on first need and kept; a failed fetch is
// answered and tried again on the next need.
class KestrelAppsManagementServer : public AFXAppsManagementServer {
public:
    // The descriptor the agent's services factory is built with: the base's
    // class operations with this class as the maker.
    static const AFXServiceClass& serviceClass();
    static std::shared_ptr<KestrelAppsManagementServer>
    makeWithServiceID(const std::shared_ptr<AFXServiceID>& serviceID,
                      const std::shared_ptr<AFXRegularInterprocessServerAdaptor>& interprocessAdaptor,
                      const std::shared_ptr<AFXServicesFactory>& servicesFactory,
                      const std::shared_ptr<AFXNetworkService>& networkService);

    // AFXEnvironmentBasedService: a new environment of this service's
    // identifier replaces the catalogue; none (another environment became
    // current) leaves the known one in use.
    void updateEnvironment(const std::shared_ptr<AFXEnvironment>& environment) override;

    // AFXAppsManagementService
    void fetchAppsForCollectionWithID(std::optional<std::int64_t> collectionID,
                                      AFXAppsCallback callback) override;
    void fetchAppWithID(std::int64_t appID, AFXAppCallback callback) override;
    void fetchAppWithBundleId(const QString& bundleId, AFXAppCallback callback) override;
    void fetchAppInstancesWithCallback(AFXAppInstancesCallback callback) override;
    void fetchAppInstancesWithAppID(std::int64_t appID, AFXAppInstancesCallback callback) override;
    // Downloads the app's icon and screenshots into the environment's
    // resources folder, reporting the share done, and answers them with the
    // status of their stored files. Files already stored are not fetched
    // again. The priority plays no part: one app's few files are fetched one
    // after the other, and the first failure is the answer.
    void prepareResourcesForApp(const std::shared_ptr<AFXCodedApp>& app, std::uint64_t priority,
                                AFXFractionReportHandler reportHandler,
                                AFXResourcesCallback callback) override;
    void launchApp(const std::shared_ptr<AFXCodedApp>& app, AFXAppInstanceCallback callback) override;
    void markAppAsViewed(const std::shared_ptr<AFXCodedApp>& app, AFXErrorCallback callback) override;
    // Apps whose name contains the string, case aside: the whole name first,
    // then names that start with it. A limit of 0 means no limit.
    void searchAppsWithString(const QString& searchString, bool ignoreAppsWithoutInstance,
                              std::uint64_t limitCount, AFXAppSearchResultsCallback callback) override;
    void fetchAppCollectionsWithCallback(AFXAppCollectionsCallback callback) override;
    // State 1 while the app is being installed, 2 when it is in place, else 0.
    void fetchAppWorkflowForApp(const std::shared_ptr<AFXCodedApp>& app,
                                AFXAppWorkflowCallback callback) override;
    // Answers the placed app once it is in place (at once when it already
    // is); callers that ask while an installation runs wait for the same one.
    void installVendorApp(const std::shared_ptr<AFXCodedApp>& app, bool shouldLaunch,
                          AFXAppInstanceCallback callback) override;
    // Answers once the running installation has ended and left nothing behind.
    void stopInstallVendorApp(const std::shared_ptr<AFXCodedApp>& app, AFXErrorCallback callback) override;

private:
    KestrelAppsManagementServer(
        const std::shared_ptr<AFXServiceID>& serviceID,
        const std::shared_ptr<AFXRegularInterprocessServerAdaptor>& interprocessAdaptor,
        const std::shared_ptr<AFXServicesFactory>& servicesFactory);

    using CatalogueCallback = std::function<void(StoreCatalogue&)>;
    using FailureCallback = std::function<void(const platform::Error&)>;
    struct Installation;
    struct ResourcesPreparation;

    std::shared_ptr<KestrelAppsManagementServer> sharedSelf();
    void assertOnQueue() const;
    // Runs `work` on the queue with the catalogue, or `failure` with why there is none.
    void withCatalogue(CatalogueCallback work, FailureCallback failure);
    // The same with the catalogue's record of the app, or the missing-object error.
    void withCatalogueApp(const std::shared_ptr<AFXCodedApp>& app,
                          std::function<void(StoreCatalogue&, const std::shared_ptr<AFXCodedApp>&)> work,
                          FailureCallback failure);
    // The catalogue of the environment of the given generation.
    void loadCatalogue(const std::shared_ptr<AFXEnvironment>& environment, std::uint64_t generation);
    void finishLoadingCatalogue(std::uint64_t generation, const std::shared_ptr<StoreCatalogue>& catalogue,
                                const std::optional<platform::Error>& error);

    // On the queue.
    QUrl installURLOfApp(const StoreCatalogue& catalogue, std::int64_t appID) const;
    std::shared_ptr<AFXVendorAppInstance> placedInstanceOfApp(const StoreCatalogue& catalogue,
                                                              std::int64_t appID) const;
    // Installs the catalogue's app, joins its running installation, or
    // waits for the stop under way.
    void installKnownApp(const StoreCatalogue& catalogue, const std::shared_ptr<AFXCodedApp>& known,
                         bool shouldLaunch, AFXAppInstanceCallback callback);
    // Starts the installation whose waiters `installation` holds.
    void startInstallation(const StoreCatalogue& catalogue, const std::shared_ptr<AFXCodedApp>& app,
                           const std::shared_ptr<Installation>& installation);
    void finishInstallation(std::int64_t appID, const BRValueOrError<QUrl>& result);
    void prepareNextResource(const std::shared_ptr<ResourcesPreparation>& preparation);

    const std::shared_ptr<platform::DispatchQueue> queue_;
    // On the queue.
    std::shared_ptr<AFXEnvironment> environment_;
    // Counts environments, so that a catalogue fetched for an earlier one is not kept.
    std::uint64_t environmentGeneration_ = 0;
    std::shared_ptr<StoreCatalogue> catalogue_;
    bool loadingCatalogue_ = false;
    QList<std::pair<CatalogueCallback, FailureCallback>> catalogueWaiters_;
    QHash<std::int64_t, std::shared_ptr<Installation>> installations_;
};
