#pragma once

// The requests of the apps management service with their responses and
// reports. Each request's `performOnService` calls the service operation of
// the same name on an AFXAppsManagementService with the request's fields.

#include "SpecificTools/Interprocess/AFXInterprocessRequest.h"
#include "SpecificTools/Model/AFXAppInstance.h"
#include "SpecificTools/Model/AFXAppSearchResult.h"
#include "SpecificTools/Model/AFXAppWorkflow.h"
#include "SpecificTools/Model/AFXCodedApp.h"
#include "SpecificTools/Model/AFXCodedAppCollection.h"
#include "SpecificTools/Model/AFXCodedInternalUpdateResource.h"
#include "SpecificTools/Model/AFXCodedResource.h"
#include "SpecificTools/Model/AFXCodedScreenshotResource.h"
#include "SpecificTools/Model/AFXResourceDownloadPriorityHolder.h"
#include "SpecificTools/Model/AFXTeaserAppInstance.h"
#include "SpecificTools/Model/AFXTeaserWorkflow.h"
#include "SpecificTools/Model/AFXVendorAppInstance.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

#include <cstdint>
#include <memory>
#include <optional>

// The class operations and the dispatch every concrete request declares.
#define AFX_APPS_MANAGEMENT_REQUEST(ResponseClass)                                                           \
public:                                                                                                      \
    const platform::Class* responseClass() const override {                                                  \
        return ResponseClass::staticClass();                                                                 \
    }                                                                                                        \
    void performOnService(AFXBaseService& service, AFXInterprocessReportHandler reportHandler,               \
                          AFXInterprocessResponseHandler responseHandler) override;

#define AFX_APPS_MANAGEMENT_REPORTING_REQUEST(ResponseClass, ReportClass)                                    \
    AFX_APPS_MANAGEMENT_REQUEST(ResponseClass)                                                               \
    const platform::Class* reportClass() const override {                                                    \
        return ReportClass::staticClass();                                                                   \
    }

class AFXAppsManagementRequest : public AFXInterprocessRequest {
    AFX_DECLARE_RECORD(AFXAppsManagementRequest)

protected:
    AFXAppsManagementRequest() = default;
};

class AFXAppsManagementResponse : public AFXInterprocessResponse {
    AFX_DECLARE_RECORD(AFXAppsManagementResponse)

protected:
    AFXAppsManagementResponse() = default;
};

class AFXAppsManagementReport : public AFXInterprocessReport {
    AFX_DECLARE_RECORD(AFXAppsManagementReport)

protected:
    AFXAppsManagementReport() = default;
};

// Catalogue.

class AFXFetchAppsResponse : public AFXAppsManagementResponse {
    AFX_DECLARE_RECORD(AFXFetchAppsResponse)
    AFX_RECORD_FIELD(QList<std::shared_ptr<AFXCodedApp>>, apps, setApps)
};
// Without a collection: every app.
class AFXFetchAppsRequest : public AFXAppsManagementRequest {
    AFX_DECLARE_RECORD(AFXFetchAppsRequest)
    AFX_RECORD_FIELD(std::optional<std::int64_t>, collectionID, setCollectionID)
    AFX_APPS_MANAGEMENT_REQUEST(AFXFetchAppsResponse)
};

class AFXFetchAppByIDResponse : public AFXAppsManagementResponse {
    AFX_DECLARE_RECORD(AFXFetchAppByIDResponse)
    AFX_RECORD_FIELD(std::shared_ptr<AFXCodedApp>, app, setApp)
};
class AFXFetchAppByIDRequest : public AFXAppsManagementRequest {
    AFX_DECLARE_RECORD(AFXFetchAppByIDRequest)
    AFX_RECORD_FIELD(std::int64_t, appID, setAppID)
    AFX_APPS_MANAGEMENT_REQUEST(AFXFetchAppByIDResponse)
};

class AFXFetchAppByBundleIdResponse : public AFXAppsManagementResponse {
    AFX_DECLARE_RECORD(AFXFetchAppByBundleIdResponse)
    AFX_RECORD_FIELD(std::shared_ptr<AFXCodedApp>, app, setApp)
};
class AFXFetchAppByBundleIdRequest : public AFXAppsManagementRequest {
    AFX_DECLARE_RECORD(AFXFetchAppByBundleIdRequest)
    AFX_RECORD_FIELD(QString, bundleId, setBundleId)
    AFX_APPS_MANAGEMENT_REQUEST(AFXFetchAppByBundleIdResponse)
};

class AFXFetchScreenshotsForAppVersionWithIDResponse : public AFXAppsManagementResponse {
    AFX_DECLARE_RECORD(AFXFetchScreenshotsForAppVersionWithIDResponse)
    AFX_RECORD_FIELD(QList<std::shared_ptr<AFXCodedScreenshotResource>>, screenshots, setScreenshots)
};
class AFXFetchScreenshotsForAppVersionWithIDRequest : public AFXAppsManagementRequest {
    AFX_DECLARE_RECORD(AFXFetchScreenshotsForAppVersionWithIDRequest)
    AFX_RECORD_FIELD(QString, appVersionID, setAppVersionID)
    AFX_RECORD_FIELD(std::int64_t, appID, setAppID)
    AFX_APPS_MANAGEMENT_REQUEST(AFXFetchScreenshotsForAppVersionWithIDResponse)
};

class AFXFetchAppInstancesResponse : public AFXAppsManagementResponse {
    AFX_DECLARE_RECORD(AFXFetchAppInstancesResponse)
    AFX_RECORD_FIELD(QList<std::shared_ptr<AFXAppInstance>>, appInstances, setAppInstances)
};
class AFXFetchAppInstancesRequest : public AFXAppsManagementRequest {
    AFX_DECLARE_RECORD(AFXFetchAppInstancesRequest)
    AFX_APPS_MANAGEMENT_REQUEST(AFXFetchAppInstancesResponse)
};

class AFXFetchAppInstancesWithAppIDResponse : public AFXAppsManagementResponse {
    AFX_DECLARE_RECORD(AFXFetchAppInstancesWithAppIDResponse)
    AFX_RECORD_FIELD(QList<std::shared_ptr<AFXAppInstance>>, appInstances, setAppInstances)
};
class AFXFetchAppInstancesWithAppIDRequest : public AFXAppsManagementRequest {
    AFX_DECLARE_RECORD(AFXFetchAppInstancesWithAppIDRequest)
    AFX_RECORD_FIELD(std::int64_t, appID, setAppID)
    AFX_APPS_MANAGEMENT_REQUEST(AFXFetchAppInstancesWithAppIDResponse)
};

class AFXPrepareResourcesForAppReport : public AFXAppsManagementReport {
    AFX_DECLARE_RECORD(AFXPrepareResourcesForAppReport)
    AFX_RECORD_FIELD(double, fractionCompleted, setFractionCompleted)
};
class AFXPrepareResourcesForAppResponse : public AFXAppsManagementResponse {
    AFX_DECLARE_RECORD(AFXPrepareResourcesForAppResponse)
    AFX_RECORD_FIELD(QList<std::shared_ptr<AFXCodedResource>>, resources, setResources)
};
class AFXPrepareResourcesForAppRequest : public AFXAppsManagementRequest {
    AFX_DECLARE_RECORD(AFXPrepareResourcesForAppRequest)
    AFX_RECORD_FIELD(std::shared_ptr<AFXCodedApp>, app, setApp)
    AFX_RECORD_FIELD(std::uint64_t, priority, setPriority)
    AFX_APPS_MANAGEMENT_REPORTING_REQUEST(AFXPrepareResourcesForAppResponse, AFXPrepareResourcesForAppReport)
};

class AFXInstallTeaserAppWithIDReport : public AFXAppsManagementReport {
    AFX_DECLARE_RECORD(AFXInstallTeaserAppWithIDReport)
    AFX_RECORD_FIELD(bool, didFetchRequiredData, setDidFetchRequiredData)
    AFX_RECORD_FIELD(double, fractionCompleted, setFractionCompleted)
};
class AFXInstallTeaserAppWithIDResponse : public AFXAppsManagementResponse {
    AFX_DECLARE_RECORD(AFXInstallTeaserAppWithIDResponse)
    AFX_RECORD_FIELD(std::shared_ptr<AFXAppInstance>, installedAppInstance, setInstalledAppInstance)
};
// `options` decodes as 0 when absent.
class AFXInstallTeaserAppWithIDRequest : public AFXAppsManagementRequest {
    AFX_DECLARE_RECORD(AFXInstallTeaserAppWithIDRequest)
    AFX_RECORD_FIELD(std::int64_t, appID, setAppID)
    AFX_RECORD_FIELD(std::uint64_t, options, setOptions)
    AFX_APPS_MANAGEMENT_REPORTING_REQUEST(AFXInstallTeaserAppWithIDResponse, AFXInstallTeaserAppWithIDReport)
};

class AFXInstallAbsentTeaserAppsReport : public AFXAppsManagementReport {
    AFX_DECLARE_RECORD(AFXInstallAbsentTeaserAppsReport)
    AFX_RECORD_FIELD(bool, didFetchRequiredData, setDidFetchRequiredData)
    AFX_RECORD_FIELD(std::int64_t, numberOfSuccessfullyInstalledTeaserApps,
                     setNumberOfSuccessfullyInstalledTeaserApps)
    AFX_RECORD_FIELD(double, fractionCompleted, setFractionCompleted)
};
class AFXInstallAbsentTeaserAppsResponse : public AFXAppsManagementResponse {
    AFX_DECLARE_RECORD(AFXInstallAbsentTeaserAppsResponse)
    AFX_RECORD_FIELD(QList<std::shared_ptr<AFXAppInstance>>, installedAppInstances, setInstalledAppInstances)
};
// `options` decodes as 0 when absent.
class AFXInstallAbsentTeaserAppsRequest : public AFXAppsManagementRequest {
    AFX_DECLARE_RECORD(AFXInstallAbsentTeaserAppsRequest)
    AFX_RECORD_FIELD(std::uint64_t, options, setOptions)
    AFX_APPS_MANAGEMENT_REPORTING_REQUEST(AFXInstallAbsentTeaserAppsResponse,
                                          AFXInstallAbsentTeaserAppsReport)
};

class AFXFetchInternalUpdateResponse : public AFXAppsManagementResponse {
    AFX_DECLARE_RECORD(AFXFetchInternalUpdateResponse)
    AFX_RECORD_FIELD(std::shared_ptr<AFXCodedInternalUpdateResource>, resource, setResource)
};
class AFXFetchInternalUpdateRequest : public AFXAppsManagementRequest {
    AFX_DECLARE_RECORD(AFXFetchInternalUpdateRequest)
    AFX_RECORD_FIELD(QString, currentVersion, setCurrentVersion)
    AFX_APPS_MANAGEMENT_REQUEST(AFXFetchInternalUpdateResponse)
};

class AFXCleanupAfterInternalUpdateResponse : public AFXAppsManagementResponse {
    AFX_DECLARE_RECORD(AFXCleanupAfterInternalUpdateResponse)
};
class AFXCleanupAfterInternalUpdateRequest : public AFXAppsManagementRequest {
    AFX_DECLARE_RECORD(AFXCleanupAfterInternalUpdateRequest)
    AFX_APPS_MANAGEMENT_REQUEST(AFXCleanupAfterInternalUpdateResponse)
};

class AFXFetchRefreshedResourceWithIDReport : public AFXAppsManagementReport {
    AFX_DECLARE_RECORD(AFXFetchRefreshedResourceWithIDReport)
    AFX_RECORD_FIELD(double, fractionCompleted, setFractionCompleted)
};
class AFXFetchRefreshedResourceWithIDResponse : public AFXAppsManagementResponse {
    AFX_DECLARE_RECORD(AFXFetchRefreshedResourceWithIDResponse)
    AFX_RECORD_FIELD(std::shared_ptr<AFXCodedResource>, resource, setResource)
};
class AFXFetchRefreshedResourceWithIDRequest : public AFXAppsManagementRequest {
    AFX_DECLARE_RECORD(AFXFetchRefreshedResourceWithIDRequest)
    AFX_RECORD_FIELD(QString, resourceID, setResourceID)
    AFX_RECORD_FIELD(std::uint64_t, priority, setPriority)
    AFX_APPS_MANAGEMENT_REPORTING_REQUEST(AFXFetchRefreshedResourceWithIDResponse,
                                          AFXFetchRefreshedResourceWithIDReport)
};

class AFXFetchResourceDownloadPriorityChangerResponse : public AFXAppsManagementResponse {
    AFX_DECLARE_RECORD(AFXFetchResourceDownloadPriorityChangerResponse)
    AFX_RECORD_FIELD(std::shared_ptr<AFXResourceDownloadPriorityHolder>, priorityChanger, setPriorityChanger)
};
class AFXFetchResourceDownloadPriorityChangerRequest : public AFXAppsManagementRequest {
    AFX_DECLARE_RECORD(AFXFetchResourceDownloadPriorityChangerRequest)
    AFX_RECORD_FIELD(QString, resourceID, setResourceID)
    AFX_APPS_MANAGEMENT_REQUEST(AFXFetchResourceDownloadPriorityChangerResponse)
};

class AFXLaunchAppResponse : public AFXAppsManagementResponse {
    AFX_DECLARE_RECORD(AFXLaunchAppResponse)
    AFX_RECORD_FIELD(std::shared_ptr<AFXAppInstance>, instance, setInstance)
};
class AFXLaunchAppRequest : public AFXAppsManagementRequest {
    AFX_DECLARE_RECORD(AFXLaunchAppRequest)
    AFX_RECORD_FIELD(std::shared_ptr<AFXCodedApp>, app, setApp)
    AFX_APPS_MANAGEMENT_REQUEST(AFXLaunchAppResponse)
};

class AFXMarkAppAsViewedResponse : public AFXAppsManagementResponse {
    AFX_DECLARE_RECORD(AFXMarkAppAsViewedResponse)
};
class AFXMarkAppAsViewedRequest : public AFXAppsManagementRequest {
    AFX_DECLARE_RECORD(AFXMarkAppAsViewedRequest)
    AFX_RECORD_FIELD(std::shared_ptr<AFXCodedApp>, app, setApp)
    AFX_APPS_MANAGEMENT_REQUEST(AFXMarkAppAsViewedResponse)
};

class AFXNoteTeaserDidLaunchResponse : public AFXAppsManagementResponse {
    AFX_DECLARE_RECORD(AFXNoteTeaserDidLaunchResponse)
};
class AFXNoteTeaserDidLaunchRequest : public AFXAppsManagementRequest {
    AFX_DECLARE_RECORD(AFXNoteTeaserDidLaunchRequest)
    AFX_RECORD_FIELD(std::int64_t, appID, setAppID)
    AFX_APPS_MANAGEMENT_REQUEST(AFXNoteTeaserDidLaunchResponse)
};

class AFXRefreshStoreResponse : public AFXAppsManagementResponse {
    AFX_DECLARE_RECORD(AFXRefreshStoreResponse)
};
class AFXRefreshStoreRequest : public AFXAppsManagementRequest {
    AFX_DECLARE_RECORD(AFXRefreshStoreRequest)
    AFX_RECORD_FIELD(bool, initiatedByUser, setInitiatedByUser)
    AFX_APPS_MANAGEMENT_REQUEST(AFXRefreshStoreResponse)
};

class AFXNoteAppDidLaunchResponse : public AFXAppsManagementResponse {
    AFX_DECLARE_RECORD(AFXNoteAppDidLaunchResponse)
};
class AFXNoteAppDidLaunchRequest : public AFXAppsManagementRequest {
    AFX_DECLARE_RECORD(AFXNoteAppDidLaunchRequest)
    AFX_RECORD_FIELD(std::int64_t, appID, setAppID)
    AFX_RECORD_FIELD(QString, versionID, setVersionID)
    AFX_APPS_MANAGEMENT_REQUEST(AFXNoteAppDidLaunchResponse)
};

class AFXUpdateRunningAppsWithAvailableUpdatesResponse : public AFXAppsManagementResponse {
    AFX_DECLARE_RECORD(AFXUpdateRunningAppsWithAvailableUpdatesResponse)
};
// The running applications are running-application records of the system
// management service.
class AFXUpdateRunningAppsWithAvailableUpdatesRequest : public AFXAppsManagementRequest {
    AFX_DECLARE_RECORD(AFXUpdateRunningAppsWithAvailableUpdatesRequest)
    AFX_RECORD_FIELD(QList<std::shared_ptr<platform::Object>>, runningApplications, setRunningApplications)
    AFX_RECORD_FIELD(QByteArray, additionalUserNotificationData, setAdditionalUserNotificationData)
    AFX_APPS_MANAGEMENT_REQUEST(AFXUpdateRunningAppsWithAvailableUpdatesResponse)
};

class AFXSearchAppsWithStringResponse : public AFXAppsManagementResponse {
    AFX_DECLARE_RECORD(AFXSearchAppsWithStringResponse)
    AFX_RECORD_FIELD(QList<std::shared_ptr<AFXAppSearchResult>>, searchResult, setSearchResult)
};
// `ignoreAppsWithoutInstance` decodes as true when absent.
class AFXSearchAppsWithStringRequest : public AFXAppsManagementRequest {
    AFX_DECLARE_RECORD(AFXSearchAppsWithStringRequest)
    AFX_RECORD_FIELD(QString, searchString, setSearchString)
    AFX_RECORD_FIELD(std::uint64_t, limitCount, setLimitCount)
    AFX_RECORD_FIELD(bool, ignoreAppsWithoutInstance, setIgnoreAppsWithoutInstance)
    AFX_APPS_MANAGEMENT_REQUEST(AFXSearchAppsWithStringResponse)
};

class AFXFetchAppCollectionsResponse : public AFXAppsManagementResponse {
    AFX_DECLARE_RECORD(AFXFetchAppCollectionsResponse)
    AFX_RECORD_FIELD(QList<std::shared_ptr<AFXCodedAppCollection>>, appCollections, setAppCollections)
};
class AFXFetchAppCollectionsRequest : public AFXAppsManagementRequest {
    AFX_DECLARE_RECORD(AFXFetchAppCollectionsRequest)
    AFX_APPS_MANAGEMENT_REQUEST(AFXFetchAppCollectionsResponse)
};

// Teasers.

class AFXFetchTeaserWorkflowForInstanceResponse : public AFXAppsManagementResponse {
    AFX_DECLARE_RECORD(AFXFetchTeaserWorkflowForInstanceResponse)
    AFX_RECORD_FIELD(std::shared_ptr<AFXTeaserWorkflow>, workflow, setWorkflow)
};
class AFXFetchTeaserWorkflowForInstanceRequest : public AFXAppsManagementRequest {
    AFX_DECLARE_RECORD(AFXFetchTeaserWorkflowForInstanceRequest)
    AFX_RECORD_FIELD(std::shared_ptr<AFXTeaserAppInstance>, instance, setInstance)
    AFX_APPS_MANAGEMENT_REQUEST(AFXFetchTeaserWorkflowForInstanceResponse)
};

class AFXInstallVendorAppInsteadOfInstanceResponse : public AFXAppsManagementResponse {
    AFX_DECLARE_RECORD(AFXInstallVendorAppInsteadOfInstanceResponse)
    AFX_RECORD_FIELD(QUrl, temporaryAppURL, setTemporaryAppURL)
};
// `shouldReplaceIfTeaserWillQuit` decodes as true when absent.
class AFXInstallVendorAppInsteadOfInstanceRequest : public AFXAppsManagementRequest {
    AFX_DECLARE_RECORD(AFXInstallVendorAppInsteadOfInstanceRequest)
    AFX_RECORD_FIELD(std::shared_ptr<AFXTeaserAppInstance>, instance, setInstance)
    AFX_RECORD_FIELD(bool, shouldReplaceIfTeaserWillQuit, setShouldReplaceIfTeaserWillQuit)
    AFX_APPS_MANAGEMENT_REQUEST(AFXInstallVendorAppInsteadOfInstanceResponse)
};

class AFXStopInstallVendorAppInsteadOfInstanceResponse : public AFXAppsManagementResponse {
    AFX_DECLARE_RECORD(AFXStopInstallVendorAppInsteadOfInstanceResponse)
};
class AFXStopInstallVendorAppInsteadOfInstanceRequest : public AFXAppsManagementRequest {
    AFX_DECLARE_RECORD(AFXStopInstallVendorAppInsteadOfInstanceRequest)
    AFX_RECORD_FIELD(std::shared_ptr<AFXTeaserAppInstance>, instance, setInstance)
    AFX_APPS_MANAGEMENT_REQUEST(AFXStopInstallVendorAppInsteadOfInstanceResponse)
};

class AFXPrepareToReplaceTeaserAppInstanceResponse : public AFXAppsManagementResponse {
    AFX_DECLARE_RECORD(AFXPrepareToReplaceTeaserAppInstanceResponse)
};
// `shouldLaunch` decodes as true when absent.
class AFXPrepareToReplaceTeaserAppInstanceRequest : public AFXAppsManagementRequest {
    AFX_DECLARE_RECORD(AFXPrepareToReplaceTeaserAppInstanceRequest)
    AFX_RECORD_FIELD(std::shared_ptr<AFXTeaserAppInstance>, instance, setInstance)
    AFX_RECORD_FIELD(QList<QUrl>, documentURLs, setDocumentURLs)
    AFX_RECORD_FIELD(bool, shouldLaunch, setShouldLaunch)
    AFX_APPS_MANAGEMENT_REQUEST(AFXPrepareToReplaceTeaserAppInstanceResponse)
};

// App workflows.

class AFXFetchAppWorkflowResponse : public AFXAppsManagementResponse {
    AFX_DECLARE_RECORD(AFXFetchAppWorkflowResponse)
    AFX_RECORD_FIELD(std::shared_ptr<AFXAppWorkflow>, workflow, setWorkflow)
};
class AFXFetchAppWorkflowRequest : public AFXAppsManagementRequest {
    AFX_DECLARE_RECORD(AFXFetchAppWorkflowRequest)
    AFX_RECORD_FIELD(std::shared_ptr<AFXCodedApp>, app, setApp)
    AFX_APPS_MANAGEMENT_REQUEST(AFXFetchAppWorkflowResponse)
};

class AFXInstallVendorAppResponse : public AFXAppsManagementResponse {
    AFX_DECLARE_RECORD(AFXInstallVendorAppResponse)
    AFX_RECORD_FIELD(std::shared_ptr<AFXAppInstance>, instance, setInstance)
};
// `shouldLaunch` decodes as true when absent.
class AFXInstallVendorAppRequest : public AFXAppsManagementRequest {
    AFX_DECLARE_RECORD(AFXInstallVendorAppRequest)
    AFX_RECORD_FIELD(std::shared_ptr<AFXCodedApp>, app, setApp)
    AFX_RECORD_FIELD(bool, shouldLaunch, setShouldLaunch)
    AFX_APPS_MANAGEMENT_REQUEST(AFXInstallVendorAppResponse)
};

class AFXStopInstallVendorAppResponse : public AFXAppsManagementResponse {
    AFX_DECLARE_RECORD(AFXStopInstallVendorAppResponse)
};
class AFXStopInstallVendorAppRequest : public AFXAppsManagementRequest {
    AFX_DECLARE_RECORD(AFXStopInstallVendorAppRequest)
    AFX_RECORD_FIELD(std::shared_ptr<AFXCodedApp>, app, setApp)
    AFX_APPS_MANAGEMENT_REQUEST(AFXStopInstallVendorAppResponse)
};

class AFXPlaceVendorAppInstanceResponse : public AFXAppsManagementResponse {
    AFX_DECLARE_RECORD(AFXPlaceVendorAppInstanceResponse)
    AFX_RECORD_FIELD(std::shared_ptr<AFXVendorAppInstance>, vendorAppInstance, setVendorAppInstance)
};
// `shouldLaunch` decodes as true when absent.
class AFXPlaceVendorAppInstanceRequest : public AFXAppsManagementRequest {
    AFX_DECLARE_RECORD(AFXPlaceVendorAppInstanceRequest)
    AFX_RECORD_FIELD(std::shared_ptr<AFXCodedApp>, app, setApp)
    AFX_RECORD_FIELD(QList<QUrl>, documentURLs, setDocumentURLs)
    AFX_RECORD_FIELD(bool, shouldLaunch, setShouldLaunch)
    AFX_APPS_MANAGEMENT_REQUEST(AFXPlaceVendorAppInstanceResponse)
};

#undef AFX_APPS_MANAGEMENT_REPORTING_REQUEST
#undef AFX_APPS_MANAGEMENT_REQUEST

// The 29 request classes of the service.
QList<const platform::Class*> AFXAppsManagementRequestClasses();
