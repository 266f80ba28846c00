#pragma once

#include "SpecificTools/Services/AFXServiceCallbacks.h"
#include "platform/Object.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class AFXAppSearchResult;
class AFXCodedAppCollection;
class AFXCodedInternalUpdateResource;
class AFXCodedScreenshotResource;
class AFXResourceDownloadPriorityChanger;
class AFXTeaserAppInstance;
class AFXTeaserWorkflow;
class AFXVendorAppInstance;

// Posted by the desktop client whenever an app workflow changes, with the
// workflow's `objectForNotification` as the object; the user info holds
// the workflow as a keyed archive under the key.
inline const QString AFXAppsManagementAppWorkflowChangedNotification =
    QStringLiteral("com.kestrel.app-workflow-changed");
inline const QString AFXAppsManagementAppWorkflowChangedNotificationWorkflowKey =
    QStringLiteral("app_workflow");
// The same for teaser workflows.
inline const QString AFXAppsManagementTeaserAppWorkflowChangedNotification =
    QStringLiteral("com.kestrel.teaser-app-workflow-changed");
inline const QString AFXAppsManagementTeaserAppWorkflowChangedNotificationWorkflowKey =
    QStringLiteral("teaser_app_workflow");

using AFXAppsCallback = std::function<void(const BRValueOrError<QList<std::shared_ptr<AFXCodedApp>>>&)>;
using AFXScreenshotsCallback =
    std::function<void(const BRValueOrError<QList<std::shared_ptr<AFXCodedScreenshotResource>>>&)>;
using AFXInternalUpdateResourceCallback =
    std::function<void(const BRValueOrError<std::shared_ptr<AFXCodedInternalUpdateResource>>&)>;
using AFXResourceCallback = std::function<void(const BRValueOrError<std::shared_ptr<AFXCodedResource>>&)>;
// The changer, or null when it could not be fetched.
using AFXResourceDownloadPriorityChangerCallback =
    std::function<void(const std::shared_ptr<AFXResourceDownloadPriorityChanger>&)>;
using AFXTeaserWorkflowCallback =
    std::function<void(const BRValueOrError<std::shared_ptr<AFXTeaserWorkflow>>&)>;
using AFXURLCallback = std::function<void(const BRValueOrError<QUrl>&)>;
using AFXVendorAppInstanceCallback =
    std::function<void(const BRValueOrError<std::shared_ptr<AFXVendorAppInstance>>&)>;
using AFXAppSearchResultsCallback =
    std::function<void(const BRValueOrError<QList<std::shared_ptr<AFXAppSearchResult>>>&)>;
using AFXAppCollectionsCallback =
    std::function<void(const BRValueOrError<QList<std::shared_ptr<AFXCodedAppCollection>>>&)>;

// Progress of long operations: the share done, 0 to 1; a teaser install
// also says whether the data it needs has been fetched, and installing the
// absent teasers how many have been installed so far.
using AFXFractionReportHandler = std::function<void(double fractionCompleted)>;
using AFXTeaserInstallReportHandler =
    std::function<void(bool didFetchRequiredData, double fractionCompleted)>;
using AFXAbsentTeaserAppsReportHandler =
    std::function<void(bool didFetchRequiredData, std::int64_t numberOfSuccessfullyInstalledTeaserApps,
                       double fractionCompleted)>;

// The desktop client's apps management service of one environment: the
// catalogue, app installation and the resources apps need.
//
// An implementation offers the operations it can; every other one answers
// the missing-service error (operations without a result do nothing), so a
// serving process or a stand-in overrides only what it offers. The client
// offers every operation.
class AFXAppsManagementService {
public:
    virtual ~AFXAppsManagementService() = default;

    // The mach name of the service.
    static QString interprocessServiceName() { return QStringLiteral("com.kestrel.AppsManagementService"); }

    // The catalogue.
    void fetchAppsWithCallback(AFXAppsCallback callback) {
        fetchAppsForCollectionWithID(std::nullopt, std::move(callback));
    }
    // No collection: every app.
    virtual void fetchAppsForCollectionWithID(std::optional<std::int64_t> collectionID,
                                              AFXAppsCallback callback);
    virtual void fetchAppWithID(std::int64_t appID, AFXAppCallback callback);
    virtual void fetchAppWithBundleId(const QString& bundleId, AFXAppCallback callback);
    virtual void fetchScreenshotsForAppWithID(std::int64_t appID, const QString& versionID,
                                              AFXScreenshotsCallback callback);
    virtual void fetchAppInstancesWithCallback(AFXAppInstancesCallback callback);
    virtual void fetchAppInstancesWithAppID(std::int64_t appID, AFXAppInstancesCallback callback);
    // The report handler may be null.
    virtual void prepareResourcesForApp(const std::shared_ptr<AFXCodedApp>& app, std::uint64_t priority,
                                        AFXFractionReportHandler reportHandler,
                                        AFXResourcesCallback callback);
    virtual void installTeaserAppWithID(std::int64_t appID, AFXTeaserInstallReportHandler reportHandler,
                                        std::uint64_t options, AFXAppInstanceCallback callback);
    virtual void installAbsentTeaserAppsWithReportHandler(AFXAbsentTeaserAppsReportHandler reportHandler,
                                                          std::uint64_t options,
                                                          AFXAppInstancesCallback callback);
    virtual void fetchInternalUpdateForVersion(const QString& currentVersion,
                                               AFXInternalUpdateResourceCallback callback);
    virtual void cleanupAfterInternalUpdateWithCallback(AFXErrorCallback callback);
    virtual void fetchRefreshedResourceWithID(const QString& resourceID, std::uint64_t priority,
                                              AFXFractionReportHandler reportHandler,
                                              AFXResourceCallback callback);
    virtual void
    fetchDownloadPriorityChangerForResourceWithID(const QString& resourceID,
                                                  AFXResourceDownloadPriorityChangerCallback callback);
    virtual void launchApp(const std::shared_ptr<AFXCodedApp>& app, AFXAppInstanceCallback callback);
    virtual void markAppAsViewed(const std::shared_ptr<AFXCodedApp>& app, AFXErrorCallback callback);
    virtual void noteTeaserDidLaunchWithID(std::int64_t appID);
    virtual void refreshStoreInitiatedByUser(bool initiatedByUser, AFXErrorCallback callback);
    virtual void noteAppDidLaunchWithID(std::int64_t appID, const QString& versionID);
    // The running applications are the system management service's
    // running-application records. The callback says the client is done.
    virtual void updateRunningApplicationsWithAvailableUpdates(
        const QList<std::shared_ptr<platform::Object>>& runningApplications,
        const QByteArray& additionalUserNotificationData, std::function<void()> callback);
    virtual void searchAppsWithString(const QString& searchString, bool ignoreAppsWithoutInstance,
                                      std::uint64_t limitCount, AFXAppSearchResultsCallback callback);
    virtual void fetchAppCollectionsWithCallback(AFXAppCollectionsCallback callback);

    // Teasers: replacing a teaser with its vendor app.
    virtual void fetchTeaserWorkflowForInstance(const std::shared_ptr<AFXTeaserAppInstance>& instance,
                                                AFXTeaserWorkflowCallback callback);
    // Answers where the vendor app waits until it replaces the teaser.
    virtual void installVendorAppInsteadOfInstance(const std::shared_ptr<AFXTeaserAppInstance>& instance,
                                                   bool replaceIfTeaserWillQuitBeforeCompletion,
                                                   AFXURLCallback callback);
    virtual void stopInstallVendorAppInsteadOfInstance(const std::shared_ptr<AFXTeaserAppInstance>& instance,
                                                       AFXErrorCallback callback);
    virtual void prepareToReplaceTeaserAppInstance(const std::shared_ptr<AFXTeaserAppInstance>& instance,
                                                   bool shouldLaunch, const QList<QUrl>& documentURLs,
                                                   AFXErrorCallback callback);

    // App workflows: installing the vendor app.
    virtual void fetchAppWorkflowForApp(const std::shared_ptr<AFXCodedApp>& app,
                                        AFXAppWorkflowCallback callback);
    // Installation progress is not reported here: it follows through the
    // app-workflow notifications.
    virtual void installVendorApp(const std::shared_ptr<AFXCodedApp>& app, bool shouldLaunch,
                                  AFXAppInstanceCallback callback);
    virtual void stopInstallVendorApp(const std::shared_ptr<AFXCodedApp>& app, AFXErrorCallback callback);
    virtual void placeVendorAppInstance(const std::shared_ptr<AFXCodedApp>& app, bool shouldLaunch,
                                        const QList<QUrl>& documentURLs,
                                        AFXVendorAppInstanceCallback callback);
};
