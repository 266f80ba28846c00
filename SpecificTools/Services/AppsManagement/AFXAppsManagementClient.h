#pragma once

#include "AFXAppsManagementService.h"
#include "SpecificTools/Interprocess/AFXRegularManagementClient.h"

#include <memory>

// This process's proxy of the desktop client's apps management service of
// one environment (an environment service ID). Each operation sends one
// request and turns its response, and the reports of the four reporting
// requests, into the caller's callbacks. Callbacks and report handlers run
// on the queues the transport delivers on; callers hop to their own.
class AFXAppsManagementClient : public AFXRegularManagementClient, public AFXAppsManagementService {
public:
    // The class operations the services factory uses; the class takes no
    // service role.
    static const AFXServiceClass& serviceClass();
    static std::shared_ptr<AFXAppsManagementClient>
    makeWithServiceID(const std::shared_ptr<AFXServiceID>& serviceID,
                      const std::shared_ptr<AFXServicesFactory>& servicesFactory,
                      const std::shared_ptr<AFXRegularInterprocessClientAdaptor>& interprocessAdaptor);

    void fetchAppsForCollectionWithID(std::optional<std::int64_t> collectionID,
                                      AFXAppsCallback callback) override;
    void fetchAppWithID(std::int64_t appID, AFXAppCallback callback) override;
    void fetchAppWithBundleId(const QString& bundleId, AFXAppCallback callback) override;
    void fetchScreenshotsForAppWithID(std::int64_t appID, const QString& versionID,
                                      AFXScreenshotsCallback callback) override;
    void fetchAppInstancesWithCallback(AFXAppInstancesCallback callback) override;
    void fetchAppInstancesWithAppID(std::int64_t appID, AFXAppInstancesCallback callback) override;
    void prepareResourcesForApp(const std::shared_ptr<AFXCodedApp>& app, std::uint64_t priority,
                                AFXFractionReportHandler reportHandler,
                                AFXResourcesCallback callback) override;
    void installTeaserAppWithID(std::int64_t appID, AFXTeaserInstallReportHandler reportHandler,
                                std::uint64_t options, AFXAppInstanceCallback callback) override;
    void installAbsentTeaserAppsWithReportHandler(AFXAbsentTeaserAppsReportHandler reportHandler,
                                                  std::uint64_t options,
                                                  AFXAppInstancesCallback callback) override;
    void fetchInternalUpdateForVersion(const QString& currentVersion,
                                       AFXInternalUpdateResourceCallback callback) override;
    void cleanupAfterInternalUpdateWithCallback(AFXErrorCallback callback) override;
    void fetchRefreshedResourceWithID(const QString& resourceID, std::uint64_t priority,
                                      AFXFractionReportHandler reportHandler,
                                      AFXResourceCallback callback) override;
    void fetchDownloadPriorityChangerForResourceWithID(
        const QString& resourceID, AFXResourceDownloadPriorityChangerCallback callback) override;
    void launchApp(const std::shared_ptr<AFXCodedApp>& app, AFXAppInstanceCallback callback) override;
    void markAppAsViewed(const std::shared_ptr<AFXCodedApp>& app, AFXErrorCallback callback) override;
    void noteTeaserDidLaunchWithID(std::int64_t appID) override;
    void refreshStoreInitiatedByUser(bool initiatedByUser, AFXErrorCallback callback) override;
    void noteAppDidLaunchWithID(std::int64_t appID, const QString& versionID) override;
    void updateRunningApplicationsWithAvailableUpdates(
        const QList<std::shared_ptr<platform::Object>>& runningApplications,
        const QByteArray& additionalUserNotificationData, std::function<void()> callback) override;
    void searchAppsWithString(const QString& searchString, bool ignoreAppsWithoutInstance,
                              std::uint64_t limitCount, AFXAppSearchResultsCallback callback) override;
    void fetchAppCollectionsWithCallback(AFXAppCollectionsCallback callback) override;
    void fetchTeaserWorkflowForInstance(const std::shared_ptr<AFXTeaserAppInstance>& instance,
                                        AFXTeaserWorkflowCallback callback) override;
    void installVendorAppInsteadOfInstance(const std::shared_ptr<AFXTeaserAppInstance>& instance,
                                           bool replaceIfTeaserWillQuitBeforeCompletion,
                                           AFXURLCallback callback) override;
    void stopInstallVendorAppInsteadOfInstance(const std::shared_ptr<AFXTeaserAppInstance>& instance,
                                               AFXErrorCallback callback) override;
    void prepareToReplaceTeaserAppInstance(const std::shared_ptr<AFXTeaserAppInstance>& instance,
                                           bool shouldLaunch, const QList<QUrl>& documentURLs,
                                           AFXErrorCallback callback) override;
    void fetchAppWorkflowForApp(const std::shared_ptr<AFXCodedApp>& app,
                                AFXAppWorkflowCallback callback) override;
    void installVendorApp(const std::shared_ptr<AFXCodedApp>& app, bool shouldLaunch,
                          AFXAppInstanceCallback callback) override;
    void stopInstallVendorApp(const std::shared_ptr<AFXCodedApp>& app, AFXErrorCallback callback) override;
    void placeVendorAppInstance(const std::shared_ptr<AFXCodedApp>& app, bool shouldLaunch,
                                const QList<QUrl>& documentURLs,
                                AFXVendorAppInstanceCallback callback) override;

private:
    using AFXRegularManagementClient::AFXRegularManagementClient;
};
