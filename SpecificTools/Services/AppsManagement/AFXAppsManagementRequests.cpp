#include "AFXAppsManagementRequests.h"

#include "AFXAppsManagementService.h"
#include "SpecificTools/Interprocess/AFXBaseService.h"
#include "SpecificTools/Services/SystemManagement/AFXRunningApplication.h"
#include "platform/ValueClasses.h"

using platform::ValueClasses::array;
using platform::ValueClasses::data;
using platform::ValueClasses::number;
using platform::ValueClasses::set;
using platform::ValueClasses::string;
using platform::ValueClasses::url;

namespace {

const BRClassReflection::Classes& appInstanceClasses() {
    static const BRClassReflection::Classes classes{AFXAppInstance::staticClass(),
                                                    AFXTeaserAppInstance::staticClass(),
                                                    AFXVendorAppInstance::staticClass()};
    return classes;
}

AFXAppsManagementService& appsManagementService(AFXBaseService& service) {
    return dynamic_cast<AFXAppsManagementService&>(service);
}

// A response of the class with the one field the setter sets.
template <typename Response, typename T>
std::function<std::shared_ptr<AFXInterprocessResponse>(const T&)> responseWith(void (Response::*setter)(T)) {
    return [setter](const T& value) {
        auto response = Response::make();
        (response.get()->*setter)(value);
        return std::static_pointer_cast<AFXInterprocessResponse>(response);
    };
}

// The dispatch of a request without reports whose operation answers an
// error or nothing: nothing becomes an empty response of the class.
template <typename Response>
AFXErrorCallback makeEmptyResponseCallback(const AFXInterprocessReportHandler& reportHandler,
                                           AFXInterprocessResponseHandler responseHandler) {
    BRParameterAssertText(!reportHandler, "nil == reportHandler");
    return [responseHandler = std::move(responseHandler)](const std::optional<platform::Error>& error) {
        responseHandler(error ? BRAnyValueOrError::makeWithError(*error)
                              : BRAnyValueOrError::makeWithValue(platform::Value(Response::make())));
    };
}

} // namespace

AFX_DEFINE_ABSTRACT_RECORD(AFXAppsManagementRequest, AFXInterprocessRequest)
AFX_DEFINE_ABSTRACT_RECORD(AFXAppsManagementResponse, AFXInterprocessResponse)
AFX_DEFINE_ABSTRACT_RECORD(AFXAppsManagementReport, AFXInterprocessReport)

AFX_DEFINE_RECORD(AFXFetchAppsResponse, AFXAppsManagementResponse,
                  AFX_SET_FIELD(apps, {set(), AFXCodedApp::staticClass()}))
AFX_DEFINE_RECORD(AFXFetchAppsRequest, AFXAppsManagementRequest, AFX_FIELD(collectionID, {number()}))
AFX_DEFINE_RECORD(AFXFetchAppByIDResponse, AFXAppsManagementResponse,
                  AFX_FIELD(app, {AFXCodedApp::staticClass()}))
AFX_DEFINE_RECORD(AFXFetchAppByIDRequest, AFXAppsManagementRequest, AFX_FIELD(appID, {number()}))
AFX_DEFINE_RECORD(AFXFetchAppByBundleIdResponse, AFXAppsManagementResponse,
                  AFX_FIELD(app, {AFXCodedApp::staticClass()}))
AFX_DEFINE_RECORD(AFXFetchAppByBundleIdRequest, AFXAppsManagementRequest, AFX_FIELD(bundleId, {string()}))
AFX_DEFINE_RECORD(AFXFetchScreenshotsForAppVersionWithIDResponse, AFXAppsManagementResponse,
                  AFX_FIELD(screenshots, {array(), AFXCodedScreenshotResource::staticClass()}))
AFX_DEFINE_RECORD(AFXFetchScreenshotsForAppVersionWithIDRequest, AFXAppsManagementRequest,
                  AFX_FIELD(appVersionID, {string()}), AFX_FIELD(appID, {number()}))
AFX_DEFINE_RECORD(AFXFetchAppInstancesResponse, AFXAppsManagementResponse,
                  AFX_SET_FIELD(appInstances, BRClassReflection::Classes{set()} + appInstanceClasses()))
AFX_DEFINE_RECORD(AFXFetchAppInstancesRequest, AFXAppsManagementRequest)
AFX_DEFINE_RECORD(AFXFetchAppInstancesWithAppIDResponse, AFXAppsManagementResponse,
                  AFX_SET_FIELD(appInstances, BRClassReflection::Classes{set()} + appInstanceClasses()))
AFX_DEFINE_RECORD(AFXFetchAppInstancesWithAppIDRequest, AFXAppsManagementRequest,
                  AFX_FIELD(appID, {number()}))
AFX_DEFINE_RECORD(AFXPrepareResourcesForAppReport, AFXAppsManagementReport,
                  AFX_FIELD(fractionCompleted, {number()}))
AFX_DEFINE_RECORD(AFXPrepareResourcesForAppResponse, AFXAppsManagementResponse,
                  AFX_SET_FIELD(resources, {set(), AFXCodedResource::staticClass()}))
AFX_DEFINE_RECORD(AFXPrepareResourcesForAppRequest, AFXAppsManagementRequest,
                  AFX_FIELD(app, {AFXCodedApp::staticClass()}), AFX_FIELD(priority, {number()}))
AFX_DEFINE_RECORD(AFXInstallTeaserAppWithIDReport, AFXAppsManagementReport,
                  AFX_FIELD(didFetchRequiredData, {number()}), AFX_FIELD(fractionCompleted, {number()}))
AFX_DEFINE_RECORD(AFXInstallTeaserAppWithIDResponse, AFXAppsManagementResponse,
                  AFX_FIELD(installedAppInstance, appInstanceClasses()))
AFX_DEFINE_RECORD(AFXInstallTeaserAppWithIDRequest, AFXAppsManagementRequest, AFX_FIELD(appID, {number()}),
                  AFX_FIELD(options, {number()}, platform::Value(std::uint64_t(0))))
AFX_DEFINE_RECORD(AFXInstallAbsentTeaserAppsReport, AFXAppsManagementReport,
                  AFX_FIELD(didFetchRequiredData, {number()}),
                  AFX_FIELD(numberOfSuccessfullyInstalledTeaserApps, {number()}),
                  AFX_FIELD(fractionCompleted, {number()}))
AFX_DEFINE_RECORD(AFXInstallAbsentTeaserAppsResponse, AFXAppsManagementResponse,
                  AFX_SET_FIELD(installedAppInstances,
                                BRClassReflection::Classes{set()} + appInstanceClasses()))
AFX_DEFINE_RECORD(AFXInstallAbsentTeaserAppsRequest, AFXAppsManagementRequest,
                  AFX_FIELD(options, {number()}, platform::Value(std::uint64_t(0))))
AFX_DEFINE_RECORD(AFXFetchInternalUpdateResponse, AFXAppsManagementResponse,
                  AFX_FIELD(resource, {AFXCodedInternalUpdateResource::staticClass()}))
AFX_DEFINE_RECORD(AFXFetchInternalUpdateRequest, AFXAppsManagementRequest,
                  AFX_FIELD(currentVersion, {string()}))
AFX_DEFINE_RECORD(AFXCleanupAfterInternalUpdateResponse, AFXAppsManagementResponse)
AFX_DEFINE_RECORD(AFXCleanupAfterInternalUpdateRequest, AFXAppsManagementRequest)
AFX_DEFINE_RECORD(AFXFetchRefreshedResourceWithIDReport, AFXAppsManagementReport,
                  AFX_FIELD(fractionCompleted, {number()}))
AFX_DEFINE_RECORD(AFXFetchRefreshedResourceWithIDResponse, AFXAppsManagementResponse,
                  AFX_FIELD(resource, {AFXCodedResource::staticClass()}))
AFX_DEFINE_RECORD(AFXFetchRefreshedResourceWithIDRequest, AFXAppsManagementRequest,
                  AFX_FIELD(resourceID, {string()}), AFX_FIELD(priority, {number()}))
AFX_DEFINE_RECORD(AFXFetchResourceDownloadPriorityChangerResponse, AFXAppsManagementResponse,
                  AFX_FIELD(priorityChanger, {AFXResourceDownloadPriorityHolder::staticClass()}))
AFX_DEFINE_RECORD(AFXFetchResourceDownloadPriorityChangerRequest, AFXAppsManagementRequest,
                  AFX_FIELD(resourceID, {string()}))
AFX_DEFINE_RECORD(AFXLaunchAppResponse, AFXAppsManagementResponse, AFX_FIELD(instance, appInstanceClasses()))
AFX_DEFINE_RECORD(AFXLaunchAppRequest, AFXAppsManagementRequest, AFX_FIELD(app, {AFXCodedApp::staticClass()}))
AFX_DEFINE_RECORD(AFXMarkAppAsViewedResponse, AFXAppsManagementResponse)
AFX_DEFINE_RECORD(AFXMarkAppAsViewedRequest, AFXAppsManagementRequest,
                  AFX_FIELD(app, {AFXCodedApp::staticClass()}))
AFX_DEFINE_RECORD(AFXNoteTeaserDidLaunchResponse, AFXAppsManagementResponse)
AFX_DEFINE_RECORD(AFXNoteTeaserDidLaunchRequest, AFXAppsManagementRequest, AFX_FIELD(appID, {number()}))
AFX_DEFINE_RECORD(AFXRefreshStoreResponse, AFXAppsManagementResponse)
AFX_DEFINE_RECORD(AFXRefreshStoreRequest, AFXAppsManagementRequest, AFX_FIELD(initiatedByUser, {number()}))
AFX_DEFINE_RECORD(AFXNoteAppDidLaunchResponse, AFXAppsManagementResponse)
AFX_DEFINE_RECORD(AFXNoteAppDidLaunchRequest, AFXAppsManagementRequest, AFX_FIELD(appID, {number()}),
                  AFX_FIELD(versionID, {string()}))
AFX_DEFINE_RECORD(AFXUpdateRunningAppsWithAvailableUpdatesResponse, AFXAppsManagementResponse)
AFX_DEFINE_RECORD(AFXUpdateRunningAppsWithAvailableUpdatesRequest, AFXAppsManagementRequest,
                  AFX_SET_FIELD(runningApplications, {set(), AFXRunningApplication::staticClass()}),
                  AFX_FIELD(additionalUserNotificationData, {data()}))
AFX_DEFINE_RECORD(AFXSearchAppsWithStringResponse, AFXAppsManagementResponse,
                  AFX_FIELD(searchResult, {array(), AFXAppSearchResult::staticClass()}))
AFX_DEFINE_RECORD(AFXSearchAppsWithStringRequest, AFXAppsManagementRequest,
                  AFX_FIELD(searchString, {string()}), AFX_FIELD(limitCount, {number()}),
                  AFX_FIELD(ignoreAppsWithoutInstance, {number()}, platform::Value(true)))
AFX_DEFINE_RECORD(AFXFetchAppCollectionsResponse, AFXAppsManagementResponse,
                  AFX_SET_FIELD(appCollections, {set(), AFXCodedAppCollection::staticClass()}))
AFX_DEFINE_RECORD(AFXFetchAppCollectionsRequest, AFXAppsManagementRequest)
AFX_DEFINE_RECORD(AFXFetchTeaserWorkflowForInstanceResponse, AFXAppsManagementResponse,
                  AFX_FIELD(workflow, {AFXTeaserWorkflow::staticClass()}))
AFX_DEFINE_RECORD(AFXFetchTeaserWorkflowForInstanceRequest, AFXAppsManagementRequest,
                  AFX_FIELD(instance, {AFXTeaserAppInstance::staticClass()}))
AFX_DEFINE_RECORD(AFXInstallVendorAppInsteadOfInstanceResponse, AFXAppsManagementResponse,
                  AFX_FIELD(temporaryAppURL, {url()}))
AFX_DEFINE_RECORD(AFXInstallVendorAppInsteadOfInstanceRequest, AFXAppsManagementRequest,
                  AFX_FIELD(instance, {AFXTeaserAppInstance::staticClass()}),
                  AFX_FIELD(shouldReplaceIfTeaserWillQuit, {number()}, platform::Value(true)))
AFX_DEFINE_RECORD(AFXStopInstallVendorAppInsteadOfInstanceResponse, AFXAppsManagementResponse)
AFX_DEFINE_RECORD(AFXStopInstallVendorAppInsteadOfInstanceRequest, AFXAppsManagementRequest,
                  AFX_FIELD(instance, {AFXTeaserAppInstance::staticClass()}))
AFX_DEFINE_RECORD(AFXPrepareToReplaceTeaserAppInstanceResponse, AFXAppsManagementResponse)
AFX_DEFINE_RECORD(AFXPrepareToReplaceTeaserAppInstanceRequest, AFXAppsManagementRequest,
                  AFX_FIELD(instance, {AFXTeaserAppInstance::staticClass()}),
                  AFX_FIELD(documentURLs, {array(), url()}),
                  AFX_FIELD(shouldLaunch, {number()}, platform::Value(true)))
AFX_DEFINE_RECORD(AFXFetchAppWorkflowResponse, AFXAppsManagementResponse,
                  AFX_FIELD(workflow, {AFXAppWorkflow::staticClass()}))
AFX_DEFINE_RECORD(AFXFetchAppWorkflowRequest, AFXAppsManagementRequest,
                  AFX_FIELD(app, {AFXCodedApp::staticClass()}))
AFX_DEFINE_RECORD(AFXInstallVendorAppResponse, AFXAppsManagementResponse,
                  AFX_FIELD(instance, appInstanceClasses()))
AFX_DEFINE_RECORD(AFXInstallVendorAppRequest, AFXAppsManagementRequest,
                  AFX_FIELD(app, {AFXCodedApp::staticClass()}),
                  AFX_FIELD(shouldLaunch, {number()}, platform::Value(true)))
AFX_DEFINE_RECORD(AFXStopInstallVendorAppResponse, AFXAppsManagementResponse)
AFX_DEFINE_RECORD(AFXStopInstallVendorAppRequest, AFXAppsManagementRequest,
                  AFX_FIELD(app, {AFXCodedApp::staticClass()}))
AFX_DEFINE_RECORD(AFXPlaceVendorAppInstanceResponse, AFXAppsManagementResponse,
                  AFX_FIELD(vendorAppInstance, {AFXVendorAppInstance::staticClass()}))
AFX_DEFINE_RECORD(AFXPlaceVendorAppInstanceRequest, AFXAppsManagementRequest,
                  AFX_FIELD(app, {AFXCodedApp::staticClass()}), AFX_FIELD(documentURLs, {array(), url()}),
                  AFX_FIELD(shouldLaunch, {number()}, platform::Value(true)))

QList<const platform::Class*> AFXAppsManagementRequestClasses() {
    return {AFXFetchAppsRequest::staticClass(),
            AFXFetchAppByIDRequest::staticClass(),
            AFXFetchAppByBundleIdRequest::staticClass(),
            AFXFetchScreenshotsForAppVersionWithIDRequest::staticClass(),
            AFXFetchAppInstancesRequest::staticClass(),
            AFXFetchAppInstancesWithAppIDRequest::staticClass(),
            AFXPrepareResourcesForAppRequest::staticClass(),
            AFXInstallTeaserAppWithIDRequest::staticClass(),
            AFXInstallAbsentTeaserAppsRequest::staticClass(),
            AFXFetchInternalUpdateRequest::staticClass(),
            AFXCleanupAfterInternalUpdateRequest::staticClass(),
            AFXFetchRefreshedResourceWithIDRequest::staticClass(),
            AFXFetchResourceDownloadPriorityChangerRequest::staticClass(),
            AFXLaunchAppRequest::staticClass(),
            AFXMarkAppAsViewedRequest::staticClass(),
            AFXNoteTeaserDidLaunchRequest::staticClass(),
            AFXFetchTeaserWorkflowForInstanceRequest::staticClass(),
            AFXInstallVendorAppInsteadOfInstanceRequest::staticClass(),
            AFXStopInstallVendorAppInsteadOfInstanceRequest::staticClass(),
            AFXPrepareToReplaceTeaserAppInstanceRequest::staticClass(),
            AFXFetchAppWorkflowRequest::staticClass(),
            AFXInstallVendorAppRequest::staticClass(),
            AFXStopInstallVendorAppRequest::staticClass(),
            AFXPlaceVendorAppInstanceRequest::staticClass(),
            AFXRefreshStoreRequest::staticClass(),
            AFXNoteAppDidLaunchRequest::staticClass(),
            AFXUpdateRunningAppsWithAvailableUpdatesRequest::staticClass(),
            AFXSearchAppsWithStringRequest::staticClass(),
            AFXFetchAppCollectionsRequest::staticClass()};
}

// Server-side dispatch.

using Apps = QList<std::shared_ptr<AFXCodedApp>>;
using AppInstances = QList<std::shared_ptr<AFXAppInstance>>;

void AFXFetchAppsRequest::performOnService(AFXBaseService& service,
                                           AFXInterprocessReportHandler reportHandler,
                                           AFXInterprocessResponseHandler responseHandler) {
    appsManagementService(service).fetchAppsForCollectionWithID(
        collectionID(), makeResponseCallback<Apps>(reportHandler, std::move(responseHandler),
                                                   responseWith(&AFXFetchAppsResponse::setApps)));
}

void AFXFetchAppByIDRequest::performOnService(AFXBaseService& service,
                                              AFXInterprocessReportHandler reportHandler,
                                              AFXInterprocessResponseHandler responseHandler) {
    appsManagementService(service).fetchAppWithID(
        appID(),
        makeResponseCallback<std::shared_ptr<AFXCodedApp>>(reportHandler, std::move(responseHandler),
                                                           responseWith(&AFXFetchAppByIDResponse::setApp)));
}

void AFXFetchAppByBundleIdRequest::performOnService(AFXBaseService& service,
                                                    AFXInterprocessReportHandler reportHandler,
                                                    AFXInterprocessResponseHandler responseHandler) {
    appsManagementService(service).fetchAppWithBundleId(
        bundleId(),
        makeResponseCallback<std::shared_ptr<AFXCodedApp>>(
            reportHandler, std::move(responseHandler), responseWith(&AFXFetchAppByBundleIdResponse::setApp)));
}

void AFXFetchScreenshotsForAppVersionWithIDRequest::performOnService(
    AFXBaseService& service, AFXInterprocessReportHandler reportHandler,
    AFXInterprocessResponseHandler responseHandler) {
    appsManagementService(service).fetchScreenshotsForAppWithID(
        appID(), appVersionID(),
        makeResponseCallback<QList<std::shared_ptr<AFXCodedScreenshotResource>>>(
            reportHandler, std::move(responseHandler),
            responseWith(&AFXFetchScreenshotsForAppVersionWithIDResponse::setScreenshots)));
}

void AFXFetchAppInstancesRequest::performOnService(AFXBaseService& service,
                                                   AFXInterprocessReportHandler reportHandler,
                                                   AFXInterprocessResponseHandler responseHandler) {
    appsManagementService(service).fetchAppInstancesWithCallback(
        makeResponseCallback<AppInstances>(reportHandler, std::move(responseHandler),
                                           responseWith(&AFXFetchAppInstancesResponse::setAppInstances)));
}

void AFXFetchAppInstancesWithAppIDRequest::performOnService(AFXBaseService& service,
                                                            AFXInterprocessReportHandler reportHandler,
                                                            AFXInterprocessResponseHandler responseHandler) {
    appsManagementService(service).fetchAppInstancesWithAppID(
        appID(), makeResponseCallback<AppInstances>(
                     reportHandler, std::move(responseHandler),
                     responseWith(&AFXFetchAppInstancesWithAppIDResponse::setAppInstances)));
}

void AFXPrepareResourcesForAppRequest::performOnService(AFXBaseService& service,
                                                        AFXInterprocessReportHandler reportHandler,
                                                        AFXInterprocessResponseHandler responseHandler) {
    AFXFractionReportHandler progress;
    if (reportHandler) {
        progress = [reportHandler](double fractionCompleted) {
            auto report = AFXPrepareResourcesForAppReport::make();
            report->setFractionCompleted(fractionCompleted);
            reportHandler(report);
        };
    }
    appsManagementService(service).prepareResourcesForApp(
        app(), priority(), std::move(progress),
        makeValueResponseCallback<QList<std::shared_ptr<AFXCodedResource>>>(
            std::move(responseHandler), responseWith(&AFXPrepareResourcesForAppResponse::setResources)));
}

void AFXInstallTeaserAppWithIDRequest::performOnService(AFXBaseService& service,
                                                        AFXInterprocessReportHandler reportHandler,
                                                        AFXInterprocessResponseHandler responseHandler) {
    AFXTeaserInstallReportHandler progress;
    if (reportHandler) {
        progress = [reportHandler](bool didFetchRequiredData, double fractionCompleted) {
            auto report = AFXInstallTeaserAppWithIDReport::make();
            report->setDidFetchRequiredData(didFetchRequiredData);
            report->setFractionCompleted(fractionCompleted);
            reportHandler(report);
        };
    }
    appsManagementService(service).installTeaserAppWithID(
        appID(), std::move(progress), options(),
        makeValueResponseCallback<std::shared_ptr<AFXAppInstance>>(
            std::move(responseHandler),
            responseWith(&AFXInstallTeaserAppWithIDResponse::setInstalledAppInstance)));
}

void AFXInstallAbsentTeaserAppsRequest::performOnService(AFXBaseService& service,
                                                         AFXInterprocessReportHandler reportHandler,
                                                         AFXInterprocessResponseHandler responseHandler) {
    AFXAbsentTeaserAppsReportHandler progress;
    if (reportHandler) {
        progress = [reportHandler](bool didFetchRequiredData, std::int64_t installed,
                                   double fractionCompleted) {
            auto report = AFXInstallAbsentTeaserAppsReport::make();
            report->setDidFetchRequiredData(didFetchRequiredData);
            report->setNumberOfSuccessfullyInstalledTeaserApps(installed);
            report->setFractionCompleted(fractionCompleted);
            reportHandler(report);
        };
    }
    appsManagementService(service).installAbsentTeaserAppsWithReportHandler(
        std::move(progress), options(),
        makeValueResponseCallback<AppInstances>(
            std::move(responseHandler),
            responseWith(&AFXInstallAbsentTeaserAppsResponse::setInstalledAppInstances)));
}

void AFXFetchInternalUpdateRequest::performOnService(AFXBaseService& service,
                                                     AFXInterprocessReportHandler reportHandler,
                                                     AFXInterprocessResponseHandler responseHandler) {
    appsManagementService(service).fetchInternalUpdateForVersion(
        currentVersion(), makeResponseCallback<std::shared_ptr<AFXCodedInternalUpdateResource>>(
                              reportHandler, std::move(responseHandler),
                              responseWith(&AFXFetchInternalUpdateResponse::setResource)));
}

void AFXCleanupAfterInternalUpdateRequest::performOnService(AFXBaseService& service,
                                                            AFXInterprocessReportHandler reportHandler,
                                                            AFXInterprocessResponseHandler responseHandler) {
    appsManagementService(service).cleanupAfterInternalUpdateWithCallback(
        makeEmptyResponseCallback<AFXCleanupAfterInternalUpdateResponse>(reportHandler,
                                                                         std::move(responseHandler)));
}

void AFXFetchRefreshedResourceWithIDRequest::performOnService(
    AFXBaseService& service, AFXInterprocessReportHandler reportHandler,
    AFXInterprocessResponseHandler responseHandler) {
    AFXFractionReportHandler progress;
    if (reportHandler) {
        progress = [reportHandler](double fractionCompleted) {
            auto report = AFXFetchRefreshedResourceWithIDReport::make();
            report->setFractionCompleted(fractionCompleted);
            reportHandler(report);
        };
    }
    appsManagementService(service).fetchRefreshedResourceWithID(
        resourceID(), priority(), std::move(progress),
        makeValueResponseCallback<std::shared_ptr<AFXCodedResource>>(
            std::move(responseHandler), responseWith(&AFXFetchRefreshedResourceWithIDResponse::setResource)));
}

// Only a holder can travel; a changer of another kind is answered as none.
void AFXFetchResourceDownloadPriorityChangerRequest::performOnService(
    AFXBaseService& service, AFXInterprocessReportHandler reportHandler,
    AFXInterprocessResponseHandler responseHandler) {
    BRParameterAssertText(!reportHandler, "nil == reportHandler");
    appsManagementService(service).fetchDownloadPriorityChangerForResourceWithID(
        resourceID(), [responseHandler = std::move(responseHandler)](
                          const std::shared_ptr<AFXResourceDownloadPriorityChanger>& priorityChanger) {
            auto response = AFXFetchResourceDownloadPriorityChangerResponse::make();
            response->setPriorityChanger(
                std::dynamic_pointer_cast<AFXResourceDownloadPriorityHolder>(priorityChanger));
            responseHandler(BRAnyValueOrError::makeWithValue(platform::Value(response)));
        });
}

void AFXLaunchAppRequest::performOnService(AFXBaseService& service,
                                           AFXInterprocessReportHandler reportHandler,
                                           AFXInterprocessResponseHandler responseHandler) {
    appsManagementService(service).launchApp(app(), makeResponseCallback<std::shared_ptr<AFXAppInstance>>(
                                                        reportHandler, std::move(responseHandler),
                                                        responseWith(&AFXLaunchAppResponse::setInstance)));
}

void AFXMarkAppAsViewedRequest::performOnService(AFXBaseService& service,
                                                 AFXInterprocessReportHandler reportHandler,
                                                 AFXInterprocessResponseHandler responseHandler) {
    appsManagementService(service).markAppAsViewed(
        app(),
        makeEmptyResponseCallback<AFXMarkAppAsViewedResponse>(reportHandler, std::move(responseHandler)));
}

void AFXNoteTeaserDidLaunchRequest::performOnService(AFXBaseService& service,
                                                     AFXInterprocessReportHandler reportHandler,
                                                     AFXInterprocessResponseHandler responseHandler) {
    BRParameterAssertText(!reportHandler, "nil == reportHandler");
    appsManagementService(service).noteTeaserDidLaunchWithID(appID());
    responseHandler(
        BRAnyValueOrError::makeWithValue(platform::Value(AFXNoteTeaserDidLaunchResponse::make())));
}

void AFXRefreshStoreRequest::performOnService(AFXBaseService& service,
                                              AFXInterprocessReportHandler reportHandler,
                                              AFXInterprocessResponseHandler responseHandler) {
    appsManagementService(service).refreshStoreInitiatedByUser(
        initiatedByUser(),
        makeEmptyResponseCallback<AFXRefreshStoreResponse>(reportHandler, std::move(responseHandler)));
}

void AFXNoteAppDidLaunchRequest::performOnService(AFXBaseService& service,
                                                  AFXInterprocessReportHandler reportHandler,
                                                  AFXInterprocessResponseHandler responseHandler) {
    BRParameterAssertText(!reportHandler, "nil == reportHandler");
    appsManagementService(service).noteAppDidLaunchWithID(appID(), versionID());
    responseHandler(BRAnyValueOrError::makeWithValue(platform::Value(AFXNoteAppDidLaunchResponse::make())));
}

void AFXUpdateRunningAppsWithAvailableUpdatesRequest::performOnService(
    AFXBaseService& service, AFXInterprocessReportHandler reportHandler,
    AFXInterprocessResponseHandler responseHandler) {
    BRParameterAssertText(!reportHandler, "nil == reportHandler");
    appsManagementService(service).updateRunningApplicationsWithAvailableUpdates(
        runningApplications(), additionalUserNotificationData(),
        [responseHandler = std::move(responseHandler)] {
            responseHandler(BRAnyValueOrError::makeWithValue(
                platform::Value(AFXUpdateRunningAppsWithAvailableUpdatesResponse::make())));
        });
}

void AFXSearchAppsWithStringRequest::performOnService(AFXBaseService& service,
                                                      AFXInterprocessReportHandler reportHandler,
                                                      AFXInterprocessResponseHandler responseHandler) {
    appsManagementService(service).searchAppsWithString(
        searchString(), ignoreAppsWithoutInstance(), limitCount(),
        makeResponseCallback<QList<std::shared_ptr<AFXAppSearchResult>>>(
            reportHandler, std::move(responseHandler),
            responseWith(&AFXSearchAppsWithStringResponse::setSearchResult)));
}

void AFXFetchAppCollectionsRequest::performOnService(AFXBaseService& service,
                                                     AFXInterprocessReportHandler reportHandler,
                                                     AFXInterprocessResponseHandler responseHandler) {
    appsManagementService(service).fetchAppCollectionsWithCallback(
        makeResponseCallback<QList<std::shared_ptr<AFXCodedAppCollection>>>(
            reportHandler, std::move(responseHandler),
            responseWith(&AFXFetchAppCollectionsResponse::setAppCollections)));
}

void AFXFetchTeaserWorkflowForInstanceRequest::performOnService(
    AFXBaseService& service, AFXInterprocessReportHandler reportHandler,
    AFXInterprocessResponseHandler responseHandler) {
    appsManagementService(service).fetchTeaserWorkflowForInstance(
        instance(), makeResponseCallback<std::shared_ptr<AFXTeaserWorkflow>>(
                        reportHandler, std::move(responseHandler),
                        responseWith(&AFXFetchTeaserWorkflowForInstanceResponse::setWorkflow)));
}

void AFXInstallVendorAppInsteadOfInstanceRequest::performOnService(
    AFXBaseService& service, AFXInterprocessReportHandler reportHandler,
    AFXInterprocessResponseHandler responseHandler) {
    appsManagementService(service).installVendorAppInsteadOfInstance(
        instance(), shouldReplaceIfTeaserWillQuit(),
        makeResponseCallback<QUrl>(
            reportHandler, std::move(responseHandler),
            responseWith(&AFXInstallVendorAppInsteadOfInstanceResponse::setTemporaryAppURL)));
}

void AFXStopInstallVendorAppInsteadOfInstanceRequest::performOnService(
    AFXBaseService& service, AFXInterprocessReportHandler reportHandler,
    AFXInterprocessResponseHandler responseHandler) {
    appsManagementService(service).stopInstallVendorAppInsteadOfInstance(
        instance(), makeEmptyResponseCallback<AFXStopInstallVendorAppInsteadOfInstanceResponse>(
                        reportHandler, std::move(responseHandler)));
}

void AFXPrepareToReplaceTeaserAppInstanceRequest::performOnService(
    AFXBaseService& service, AFXInterprocessReportHandler reportHandler,
    AFXInterprocessResponseHandler responseHandler) {
    appsManagementService(service).prepareToReplaceTeaserAppInstance(
        instance(), shouldLaunch(), documentURLs(),
        makeEmptyResponseCallback<AFXPrepareToReplaceTeaserAppInstanceResponse>(reportHandler,
                                                                                std::move(responseHandler)));
}

void AFXFetchAppWorkflowRequest::performOnService(AFXBaseService& service,
                                                  AFXInterprocessReportHandler reportHandler,
                                                  AFXInterprocessResponseHandler responseHandler) {
    appsManagementService(service).fetchAppWorkflowForApp(
        app(), makeResponseCallback<std::shared_ptr<AFXAppWorkflow>>(
                   reportHandler, std::move(responseHandler),
                   responseWith(&AFXFetchAppWorkflowResponse::setWorkflow)));
}

void AFXInstallVendorAppRequest::performOnService(AFXBaseService& service,
                                                  AFXInterprocessReportHandler reportHandler,
                                                  AFXInterprocessResponseHandler responseHandler) {
    appsManagementService(service).installVendorApp(
        app(), shouldLaunch(),
        makeResponseCallback<std::shared_ptr<AFXAppInstance>>(
            reportHandler, std::move(responseHandler),
            responseWith(&AFXInstallVendorAppResponse::setInstance)));
}

void AFXStopInstallVendorAppRequest::performOnService(AFXBaseService& service,
                                                      AFXInterprocessReportHandler reportHandler,
                                                      AFXInterprocessResponseHandler responseHandler) {
    appsManagementService(service).stopInstallVendorApp(
        app(), makeEmptyResponseCallback<AFXStopInstallVendorAppResponse>(reportHandler,
                                                                          std::move(responseHandler)));
}

void AFXPlaceVendorAppInstanceRequest::performOnService(AFXBaseService& service,
                                                        AFXInterprocessReportHandler reportHandler,
                                                        AFXInterprocessResponseHandler responseHandler) {
    appsManagementService(service).placeVendorAppInstance(
        app(), shouldLaunch(), documentURLs(),
        makeResponseCallback<std::shared_ptr<AFXVendorAppInstance>>(
            reportHandler, std::move(responseHandler),
            responseWith(&AFXPlaceVendorAppInstanceResponse::setVendorAppInstance)));
}
