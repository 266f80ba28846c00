#pragma once

#include "ServedService.h"
#include "SpecificTools/Services/AppsManagement/AFXAppsManagementServer.h"

#include <atomic>
#include <condition_variable>
#include <mutex>

// Serves every operation of apps management: notes its arguments ("seen"),
// reports progress where the operation has reports, and answers a canned
// value or, while `failing`, the error 7 of "com.kestrel.tests". While
// `holdAnswers`, reporting operations keep their answer until released, so
// that their reports arrive first.
class AppsManagementTestServer final : public AFXAppsManagementServer {
public:
    static constexpr std::int64_t kAppID = 230;

    // `appPath` is where its app instances live.
    static std::shared_ptr<AppsManagementTestServer>
    make(const std::shared_ptr<AFXServiceID>& serviceID,
         const std::shared_ptr<AFXRegularInterprocessServerAdaptor>& adaptor,
         const std::shared_ptr<AFXServicesFactory>& factory, ServiceTestNote note, QString appPath);

    // The records it answers, which the tests' clients also send.
    static std::shared_ptr<AFXCodedApp> app();
    static std::shared_ptr<AFXVendorAppInstance> vendorInstance(const QString& appPath);
    static std::shared_ptr<AFXTeaserAppInstance> teaserInstance(const QString& appPath);
    // "vendor:ID" or "teaser:ID", or "none".
    static QString describeInstance(const std::shared_ptr<AFXAppInstance>& instance);

    std::atomic<bool> failing = false;
    std::atomic<bool> holdAnswers = false;

    // Answers the held answers once `count` of them are held; false when
    // they were not within twenty seconds.
    bool releaseHeldAnswers(int count);

    void fetchAppsForCollectionWithID(std::optional<std::int64_t> collectionID,
                                      AFXAppsCallback callback) override;
    void fetchAppWithID(std::int64_t appID, AFXAppCallback callback) override;
    void fetchAppWithBundleId(const QString& bundleId, AFXAppCallback callback) override;
    void fetchScreenshotsForAppWithID(std::int64_t appID, const QString& versionID,
                                      AFXScreenshotsCallback callback) override;
    void fetchAppInstancesWithCallback(AFXAppInstancesCallback callback) override;
    // Only the teaser: the installer then has no vendor instance to open.
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
    AppsManagementTestServer(const std::shared_ptr<AFXServiceID>& serviceID,
                             const std::shared_ptr<AFXRegularInterprocessServerAdaptor>& adaptor,
                             const std::shared_ptr<AFXServicesFactory>& factory, ServiceTestNote note,
                             QString appPath);

    template <typename T> void answer(const std::function<void(const BRValueOrError<T>&)>& callback, T value);
    template <typename T>
    void answerReporting(const std::function<void(const BRValueOrError<T>&)>& callback, T value);
    void answerError(const AFXErrorCallback& callback);
    void seen(const QString& text) const { note_(QStringLiteral("seen"), text); }

    const ServiceTestNote note_;
    const QString appPath_;
    // Operations run on the transport's threads, releases on the program's
    // command thread.
    std::mutex mutex_;
    std::condition_variable heldChanged_;
    QList<std::function<void()>> held_;
};
