#include "AFXAppsManagementClient.h"

#include "AFXAppsManagementRequests.h"
#include "SpecificTools/Errors/AFXErrors.h"
#include "SpecificTools/Interprocess/AFXEnvironmentServiceID.h"
#include "support/BRLog.h"

namespace {

// The error of an operation whose request could not be made because the
// services factory is gone.
platform::Error missingFactoryError(const platform::Class* requestClass) {
    return afx_makeErrorOfMissingServiceNamed(QStringLiteral("services factory"), requestClass->name());
}

// The response of the class the request names, or the error the reply holds
// (a response of another class is a parsing failure).
template <typename Response>
BRValueOrError<std::shared_ptr<Response>> responseFromOutcome(const BRAnyValueOrError& outcome) {
    if (const auto error = outcome.error()) {
        return BRValueOrError<std::shared_ptr<Response>>::makeWithError(*error);
    }
    if (auto response = outcome.value()->toObject<Response>()) {
        return BRValueOrError<std::shared_ptr<Response>>::makeWithValue(std::move(response));
    }
    return BRValueOrError<std::shared_ptr<Response>>::makeWithError(
        afx_makeServerResponseParsingErrorOnOperation(Response::staticClass()->name(), std::nullopt));
}

// Sends a request filled by `fill`; `answer` receives the response or the
// error, once.
template <typename Request, typename Response>
void send(AFXAppsManagementClient& client, const std::function<void(Request&)>& fill,
          AFXInterprocessReportHandler reportHandler,
          std::function<void(const BRValueOrError<std::shared_ptr<Response>>&)> answer) {
    const auto request = client.makeRequest<Request>();
    if (!request) {
        answer(BRValueOrError<std::shared_ptr<Response>>::makeWithError(
            missingFactoryError(Request::staticClass())));
        return;
    }
    if (fill) {
        fill(*request);
    }
    client.performRequest(request, std::move(reportHandler),
                          [answer = std::move(answer)](const BRAnyValueOrError& outcome) {
                              answer(responseFromOutcome<Response>(outcome));
                          });
}

// The same for a value callback: the response's field is the value.
template <typename Request, typename Response, typename T>
void sendForValue(AFXAppsManagementClient& client, const std::function<void(Request&)>& fill,
                  AFXInterprocessReportHandler reportHandler, T (Response::*field)() const,
                  std::function<void(const BRValueOrError<T>&)> callback) {
    send<Request, Response>(
        client, fill, std::move(reportHandler),
        [field, callback = std::move(callback)](const BRValueOrError<std::shared_ptr<Response>>& result) {
            callback(result.liftValue(
                [field](const std::shared_ptr<Response>& response) { return ((*response).*field)(); }));
        });
}

// The same for an error callback: nothing on success.
template <typename Request, typename Response>
void sendForError(AFXAppsManagementClient& client, const std::function<void(Request&)>& fill,
                  AFXErrorCallback callback) {
    send<Request, Response>(
        client, fill, nullptr,
        [callback = std::move(callback)](const BRValueOrError<std::shared_ptr<Response>>& result) {
            callback(result.error());
        });
}

// The client's own report handler for a reporting request: each report,
// which must be of the request's report class, goes to `forward`, or is
// dropped when the caller gave no handler.
template <typename Report, typename Handler>
AFXInterprocessReportHandler forwardReports(Handler handler,
                                            std::function<void(const Handler&, const Report&)> forward) {
    return [handler = std::move(handler),
            forward = std::move(forward)](const std::shared_ptr<AFXInterprocessReport>& report) {
        const auto typed = std::dynamic_pointer_cast<Report>(report);
        BRParameterAssertText(typed, "[report isKindOfClass:reportClass]");
        if (handler) {
            forward(handler, *typed);
        }
    };
}

} // namespace

const AFXServiceClass& AFXAppsManagementClient::serviceClass() {
    static const AFXServiceClass serviceClass = makeServiceClass<AFXAppsManagementClient>(
        QStringLiteral("AFXAppsManagementClient"), interprocessServiceName(),
        AFXAppsManagementRequestClasses());
    return serviceClass;
}

std::shared_ptr<AFXAppsManagementClient> AFXAppsManagementClient::makeWithServiceID(
    const std::shared_ptr<AFXServiceID>& serviceID,
    const std::shared_ptr<AFXServicesFactory>& servicesFactory,
    const std::shared_ptr<AFXRegularInterprocessClientAdaptor>& interprocessAdaptor) {
    return std::shared_ptr<AFXAppsManagementClient>(
        new AFXAppsManagementClient(serviceID, servicesFactory, interprocessServiceName(),
                                    AFXEnvironmentServiceID::staticClass(), interprocessAdaptor));
}

void AFXAppsManagementClient::fetchAppsForCollectionWithID(std::optional<std::int64_t> collectionID,
                                                           AFXAppsCallback callback) {
    sendForValue<AFXFetchAppsRequest>(
        *this, [&](AFXFetchAppsRequest& request) { request.setCollectionID(collectionID); }, nullptr,
        &AFXFetchAppsResponse::apps, std::move(callback));
}

void AFXAppsManagementClient::fetchAppWithID(std::int64_t appID, AFXAppCallback callback) {
    sendForValue<AFXFetchAppByIDRequest>(
        *this, [&](AFXFetchAppByIDRequest& request) { request.setAppID(appID); }, nullptr,
        &AFXFetchAppByIDResponse::app, std::move(callback));
}

void AFXAppsManagementClient::fetchAppWithBundleId(const QString& bundleId, AFXAppCallback callback) {
    sendForValue<AFXFetchAppByBundleIdRequest>(
        *this, [&](AFXFetchAppByBundleIdRequest& request) { request.setBundleId(bundleId); }, nullptr,
        &AFXFetchAppByBundleIdResponse::app, std::move(callback));
}

void AFXAppsManagementClient::fetchScreenshotsForAppWithID(std::int64_t appID, const QString& versionID,
                                                           AFXScreenshotsCallback callback) {
    sendForValue<AFXFetchScreenshotsForAppVersionWithIDRequest>(
        *this,
        [&](AFXFetchScreenshotsForAppVersionWithIDRequest& request) {
            request.setAppVersionID(versionID);
            request.setAppID(appID);
        },
        nullptr, &AFXFetchScreenshotsForAppVersionWithIDResponse::screenshots, std::move(callback));
}

void AFXAppsManagementClient::fetchAppInstancesWithCallback(AFXAppInstancesCallback callback) {
    sendForValue<AFXFetchAppInstancesRequest>(
        *this, nullptr, nullptr, &AFXFetchAppInstancesResponse::appInstances, std::move(callback));
}

void AFXAppsManagementClient::fetchAppInstancesWithAppID(std::int64_t appID,
                                                         AFXAppInstancesCallback callback) {
    sendForValue<AFXFetchAppInstancesWithAppIDRequest>(
        *this, [&](AFXFetchAppInstancesWithAppIDRequest& request) { request.setAppID(appID); }, nullptr,
        &AFXFetchAppInstancesWithAppIDResponse::appInstances, std::move(callback));
}

void AFXAppsManagementClient::prepareResourcesForApp(const std::shared_ptr<AFXCodedApp>& app,
                                                     std::uint64_t priority,
                                                     AFXFractionReportHandler reportHandler,
                                                     AFXResourcesCallback callback) {
    sendForValue<AFXPrepareResourcesForAppRequest>(
        *this,
        [&](AFXPrepareResourcesForAppRequest& request) {
            request.setApp(app);
            request.setPriority(priority);
        },
        forwardReports<AFXPrepareResourcesForAppReport, AFXFractionReportHandler>(
            std::move(reportHandler),
            [](const AFXFractionReportHandler& handler, const AFXPrepareResourcesForAppReport& report) {
                handler(report.fractionCompleted());
            }),
        &AFXPrepareResourcesForAppResponse::resources, std::move(callback));
}

void AFXAppsManagementClient::installTeaserAppWithID(std::int64_t appID,
                                                     AFXTeaserInstallReportHandler reportHandler,
                                                     std::uint64_t options, AFXAppInstanceCallback callback) {
    sendForValue<AFXInstallTeaserAppWithIDRequest>(
        *this,
        [&](AFXInstallTeaserAppWithIDRequest& request) {
            request.setAppID(appID);
            request.setOptions(options);
        },
        forwardReports<AFXInstallTeaserAppWithIDReport, AFXTeaserInstallReportHandler>(
            std::move(reportHandler),
            [](const AFXTeaserInstallReportHandler& handler, const AFXInstallTeaserAppWithIDReport& report) {
                handler(report.didFetchRequiredData(), report.fractionCompleted());
            }),
        &AFXInstallTeaserAppWithIDResponse::installedAppInstance, std::move(callback));
}

void AFXAppsManagementClient::installAbsentTeaserAppsWithReportHandler(
    AFXAbsentTeaserAppsReportHandler reportHandler, std::uint64_t options, AFXAppInstancesCallback callback) {
    sendForValue<AFXInstallAbsentTeaserAppsRequest>(
        *this, [&](AFXInstallAbsentTeaserAppsRequest& request) { request.setOptions(options); },
        forwardReports<AFXInstallAbsentTeaserAppsReport, AFXAbsentTeaserAppsReportHandler>(
            std::move(reportHandler),
            [](const AFXAbsentTeaserAppsReportHandler& handler,
               const AFXInstallAbsentTeaserAppsReport& report) {
                handler(report.didFetchRequiredData(), report.numberOfSuccessfullyInstalledTeaserApps(),
                        report.fractionCompleted());
            }),
        &AFXInstallAbsentTeaserAppsResponse::installedAppInstances, std::move(callback));
}

void AFXAppsManagementClient::fetchInternalUpdateForVersion(const QString& currentVersion,
                                                            AFXInternalUpdateResourceCallback callback) {
    sendForValue<AFXFetchInternalUpdateRequest>(
        *this, [&](AFXFetchInternalUpdateRequest& request) { request.setCurrentVersion(currentVersion); },
        nullptr, &AFXFetchInternalUpdateResponse::resource, std::move(callback));
}

void AFXAppsManagementClient::cleanupAfterInternalUpdateWithCallback(AFXErrorCallback callback) {
    sendForError<AFXCleanupAfterInternalUpdateRequest, AFXCleanupAfterInternalUpdateResponse>(
        *this, nullptr, std::move(callback));
}

void AFXAppsManagementClient::fetchRefreshedResourceWithID(const QString& resourceID, std::uint64_t priority,
                                                           AFXFractionReportHandler reportHandler,
                                                           AFXResourceCallback callback) {
    sendForValue<AFXFetchRefreshedResourceWithIDRequest>(
        *this,
        [&](AFXFetchRefreshedResourceWithIDRequest& request) {
            request.setResourceID(resourceID);
            request.setPriority(priority);
        },
        forwardReports<AFXFetchRefreshedResourceWithIDReport, AFXFractionReportHandler>(
            std::move(reportHandler),
            [](const AFXFractionReportHandler& handler, const AFXFetchRefreshedResourceWithIDReport& report) {
                handler(report.fractionCompleted());
            }),
        &AFXFetchRefreshedResourceWithIDResponse::resource, std::move(callback));
}

void AFXAppsManagementClient::fetchDownloadPriorityChangerForResourceWithID(
    const QString& resourceID, AFXResourceDownloadPriorityChangerCallback callback) {
    send<AFXFetchResourceDownloadPriorityChangerRequest, AFXFetchResourceDownloadPriorityChangerResponse>(
        *this,
        [&](AFXFetchResourceDownloadPriorityChangerRequest& request) { request.setResourceID(resourceID); },
        nullptr,
        [callback = std::move(callback)](
            const BRValueOrError<std::shared_ptr<AFXFetchResourceDownloadPriorityChangerResponse>>& result) {
            const auto* response = result.value();
            callback(response ? (*response)->priorityChanger() : nullptr);
        });
}

void AFXAppsManagementClient::launchApp(const std::shared_ptr<AFXCodedApp>& app,
                                        AFXAppInstanceCallback callback) {
    sendForValue<AFXLaunchAppRequest>(
        *this, [&](AFXLaunchAppRequest& request) { request.setApp(app); }, nullptr,
        &AFXLaunchAppResponse::instance, std::move(callback));
}

void AFXAppsManagementClient::markAppAsViewed(const std::shared_ptr<AFXCodedApp>& app,
                                              AFXErrorCallback callback) {
    sendForError<AFXMarkAppAsViewedRequest, AFXMarkAppAsViewedResponse>(
        *this, [&](AFXMarkAppAsViewedRequest& request) { request.setApp(app); }, std::move(callback));
}

void AFXAppsManagementClient::noteTeaserDidLaunchWithID(std::int64_t appID) {
    sendForError<AFXNoteTeaserDidLaunchRequest, AFXNoteTeaserDidLaunchResponse>(
        *this, [&](AFXNoteTeaserDidLaunchRequest& request) { request.setAppID(appID); },
        [](const std::optional<platform::Error>& error) {
            if (error) {
                BRLogError("Did fail to note teaser launch with error %@", platform::Value(*error));
            }
        });
}

void AFXAppsManagementClient::refreshStoreInitiatedByUser(bool initiatedByUser, AFXErrorCallback callback) {
    sendForError<AFXRefreshStoreRequest, AFXRefreshStoreResponse>(
        *this, [&](AFXRefreshStoreRequest& request) { request.setInitiatedByUser(initiatedByUser); },
        std::move(callback));
}

void AFXAppsManagementClient::noteAppDidLaunchWithID(std::int64_t appID, const QString& versionID) {
    sendForError<AFXNoteAppDidLaunchRequest, AFXNoteAppDidLaunchResponse>(
        *this,
        [&](AFXNoteAppDidLaunchRequest& request) {
            request.setAppID(appID);
            request.setVersionID(versionID);
        },
        [](const std::optional<platform::Error>& error) {
            if (error) {
                BRLogError("Did fail to note app launch with error %@", platform::Value(*error));
            }
        });
}

void AFXAppsManagementClient::updateRunningApplicationsWithAvailableUpdates(
    const QList<std::shared_ptr<platform::Object>>& runningApplications,
    const QByteArray& additionalUserNotificationData, std::function<void()> callback) {
    sendForError<AFXUpdateRunningAppsWithAvailableUpdatesRequest,
                 AFXUpdateRunningAppsWithAvailableUpdatesResponse>(
        *this,
        [&](AFXUpdateRunningAppsWithAvailableUpdatesRequest& request) {
            request.setRunningApplications(runningApplications);
            request.setAdditionalUserNotificationData(additionalUserNotificationData);
        },
        [callback = std::move(callback)](const std::optional<platform::Error>& error) {
            // The callback takes nothing, so a failure is only logged.
            if (error) {
                BRLogError("Did fail to update running applications with error %@", platform::Value(*error));
            }
            callback();
        });
}

void AFXAppsManagementClient::searchAppsWithString(const QString& searchString,
                                                   bool ignoreAppsWithoutInstance, std::uint64_t limitCount,
                                                   AFXAppSearchResultsCallback callback) {
    sendForValue<AFXSearchAppsWithStringRequest>(
        *this,
        [&](AFXSearchAppsWithStringRequest& request) {
            request.setSearchString(searchString);
            request.setLimitCount(limitCount);
            request.setIgnoreAppsWithoutInstance(ignoreAppsWithoutInstance);
        },
        nullptr, &AFXSearchAppsWithStringResponse::searchResult, std::move(callback));
}

void AFXAppsManagementClient::fetchAppCollectionsWithCallback(AFXAppCollectionsCallback callback) {
    sendForValue<AFXFetchAppCollectionsRequest>(
        *this, nullptr, nullptr, &AFXFetchAppCollectionsResponse::appCollections, std::move(callback));
}

void AFXAppsManagementClient::fetchTeaserWorkflowForInstance(
    const std::shared_ptr<AFXTeaserAppInstance>& instance, AFXTeaserWorkflowCallback callback) {
    sendForValue<AFXFetchTeaserWorkflowForInstanceRequest>(
        *this, [&](AFXFetchTeaserWorkflowForInstanceRequest& request) { request.setInstance(instance); },
        nullptr, &AFXFetchTeaserWorkflowForInstanceResponse::workflow, std::move(callback));
}

void AFXAppsManagementClient::installVendorAppInsteadOfInstance(
    const std::shared_ptr<AFXTeaserAppInstance>& instance, bool replaceIfTeaserWillQuitBeforeCompletion,
    AFXURLCallback callback) {
    sendForValue<AFXInstallVendorAppInsteadOfInstanceRequest>(
        *this,
        [&](AFXInstallVendorAppInsteadOfInstanceRequest& request) {
            request.setInstance(instance);
            request.setShouldReplaceIfTeaserWillQuit(replaceIfTeaserWillQuitBeforeCompletion);
        },
        nullptr, &AFXInstallVendorAppInsteadOfInstanceResponse::temporaryAppURL, std::move(callback));
}

void AFXAppsManagementClient::stopInstallVendorAppInsteadOfInstance(
    const std::shared_ptr<AFXTeaserAppInstance>& instance, AFXErrorCallback callback) {
    sendForError<AFXStopInstallVendorAppInsteadOfInstanceRequest,
                 AFXStopInstallVendorAppInsteadOfInstanceResponse>(
        *this,
        [&](AFXStopInstallVendorAppInsteadOfInstanceRequest& request) { request.setInstance(instance); },
        std::move(callback));
}

void AFXAppsManagementClient::prepareToReplaceTeaserAppInstance(
    const std::shared_ptr<AFXTeaserAppInstance>& instance, bool shouldLaunch, const QList<QUrl>& documentURLs,
    AFXErrorCallback callback) {
    sendForError<AFXPrepareToReplaceTeaserAppInstanceRequest, AFXPrepareToReplaceTeaserAppInstanceResponse>(
        *this,
        [&](AFXPrepareToReplaceTeaserAppInstanceRequest& request) {
            request.setInstance(instance);
            request.setDocumentURLs(documentURLs);
            request.setShouldLaunch(shouldLaunch);
        },
        std::move(callback));
}

void AFXAppsManagementClient::fetchAppWorkflowForApp(const std::shared_ptr<AFXCodedApp>& app,
                                                     AFXAppWorkflowCallback callback) {
    sendForValue<AFXFetchAppWorkflowRequest>(
        *this, [&](AFXFetchAppWorkflowRequest& request) { request.setApp(app); }, nullptr,
        &AFXFetchAppWorkflowResponse::workflow, std::move(callback));
}

void AFXAppsManagementClient::installVendorApp(const std::shared_ptr<AFXCodedApp>& app, bool shouldLaunch,
                                               AFXAppInstanceCallback callback) {
    sendForValue<AFXInstallVendorAppRequest>(
        *this,
        [&](AFXInstallVendorAppRequest& request) {
            request.setApp(app);
            request.setShouldLaunch(shouldLaunch);
        },
        nullptr, &AFXInstallVendorAppResponse::instance, std::move(callback));
}

void AFXAppsManagementClient::stopInstallVendorApp(const std::shared_ptr<AFXCodedApp>& app,
                                                   AFXErrorCallback callback) {
    sendForError<AFXStopInstallVendorAppRequest, AFXStopInstallVendorAppResponse>(
        *this, [&](AFXStopInstallVendorAppRequest& request) { request.setApp(app); }, std::move(callback));
}

void AFXAppsManagementClient::placeVendorAppInstance(const std::shared_ptr<AFXCodedApp>& app,
                                                     bool shouldLaunch, const QList<QUrl>& documentURLs,
                                                     AFXVendorAppInstanceCallback callback) {
    sendForValue<AFXPlaceVendorAppInstanceRequest>(
        *this,
        [&](AFXPlaceVendorAppInstanceRequest& request) {
            request.setApp(app);
            request.setDocumentURLs(documentURLs);
            request.setShouldLaunch(shouldLaunch);
        },
        nullptr, &AFXPlaceVendorAppInstanceResponse::vendorAppInstance, std::move(callback));
}
