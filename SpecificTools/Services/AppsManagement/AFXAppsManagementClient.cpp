#include "AFXAppsManagementClient.h"

#include "AFXAppsManagementRequests.h"
#include "SpecificTools/Interprocess/AFXEnvironmentServiceID.h"
#include "support/BRLog.h"

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
    sendForValue<AFXFetchAppsRequest>([&](auto& request) { request.setCollectionID(collectionID); },
                                      &AFXFetchAppsResponse::apps, QStringLiteral("apps"),
                                      std::move(callback));
}

void AFXAppsManagementClient::fetchAppWithID(std::int64_t appID, AFXAppCallback callback) {
    sendForValue<AFXFetchAppByIDRequest>([&](auto& request) { request.setAppID(appID); },
                                         &AFXFetchAppByIDResponse::app, QStringLiteral("app"),
                                         std::move(callback));
}

void AFXAppsManagementClient::fetchAppWithBundleId(const QString& bundleId, AFXAppCallback callback) {
    sendForValue<AFXFetchAppByBundleIdRequest>([&](auto& request) { request.setBundleId(bundleId); },
                                               &AFXFetchAppByBundleIdResponse::app, QStringLiteral("app"),
                                               std::move(callback));
}

void AFXAppsManagementClient::fetchScreenshotsForAppWithID(std::int64_t appID, const QString& versionID,
                                                           AFXScreenshotsCallback callback) {
    sendForValue<AFXFetchScreenshotsForAppVersionWithIDRequest>(
        [&](auto& request) {
            request.setAppVersionID(versionID);
            request.setAppID(appID);
        },
        &AFXFetchScreenshotsForAppVersionWithIDResponse::screenshots, QStringLiteral("screenshots"),
        std::move(callback));
}

void AFXAppsManagementClient::fetchAppInstancesWithCallback(AFXAppInstancesCallback callback) {
    sendForValue<AFXFetchAppInstancesRequest>(nullptr, &AFXFetchAppInstancesResponse::appInstances,
                                              QStringLiteral("appInstances"), std::move(callback));
}

void AFXAppsManagementClient::fetchAppInstancesWithAppID(std::int64_t appID,
                                                         AFXAppInstancesCallback callback) {
    sendForValue<AFXFetchAppInstancesWithAppIDRequest>([&](auto& request) { request.setAppID(appID); },
                                                       &AFXFetchAppInstancesWithAppIDResponse::appInstances,
                                                       QStringLiteral("appInstances"), std::move(callback));
}

void AFXAppsManagementClient::prepareResourcesForApp(const std::shared_ptr<AFXCodedApp>& app,
                                                     std::uint64_t priority,
                                                     AFXFractionReportHandler reportHandler,
                                                     AFXResourcesCallback callback) {
    sendForValue<AFXPrepareResourcesForAppRequest>(
        [&](auto& request) {
            request.setApp(app);
            request.setPriority(priority);
        },
        &AFXPrepareResourcesForAppResponse::resources, QStringLiteral("resources"), std::move(callback),
        forwardReports<AFXPrepareResourcesForAppReport, AFXFractionReportHandler>(
            std::move(reportHandler),
            [](const AFXFractionReportHandler& handler, const AFXPrepareResourcesForAppReport& report) {
                handler(report.fractionCompleted());
            }));
}

void AFXAppsManagementClient::installTeaserAppWithID(std::int64_t appID,
                                                     AFXTeaserInstallReportHandler reportHandler,
                                                     std::uint64_t options, AFXAppInstanceCallback callback) {
    sendForValue<AFXInstallTeaserAppWithIDRequest>(
        [&](auto& request) {
            request.setAppID(appID);
            request.setOptions(options);
        },
        &AFXInstallTeaserAppWithIDResponse::installedAppInstance, QStringLiteral("installedAppInstance"),
        std::move(callback),
        forwardReports<AFXInstallTeaserAppWithIDReport, AFXTeaserInstallReportHandler>(
            std::move(reportHandler),
            [](const AFXTeaserInstallReportHandler& handler, const AFXInstallTeaserAppWithIDReport& report) {
                handler(report.didFetchRequiredData(), report.fractionCompleted());
            }));
}

void AFXAppsManagementClient::installAbsentTeaserAppsWithReportHandler(
    AFXAbsentTeaserAppsReportHandler reportHandler, std::uint64_t options, AFXAppInstancesCallback callback) {
    sendForValue<AFXInstallAbsentTeaserAppsRequest>(
        [&](auto& request) { request.setOptions(options); },
        &AFXInstallAbsentTeaserAppsResponse::installedAppInstances, QStringLiteral("installedAppInstances"),
        std::move(callback),
        forwardReports<AFXInstallAbsentTeaserAppsReport, AFXAbsentTeaserAppsReportHandler>(
            std::move(reportHandler), [](const AFXAbsentTeaserAppsReportHandler& handler,
                                         const AFXInstallAbsentTeaserAppsReport& report) {
                handler(report.didFetchRequiredData(), report.numberOfSuccessfullyInstalledTeaserApps(),
                        report.fractionCompleted());
            }));
}

void AFXAppsManagementClient::fetchInternalUpdateForVersion(const QString& currentVersion,
                                                            AFXInternalUpdateResourceCallback callback) {
    sendForValue<AFXFetchInternalUpdateRequest>(
        [&](auto& request) { request.setCurrentVersion(currentVersion); },
        &AFXFetchInternalUpdateResponse::resource, QStringLiteral("resource"), std::move(callback));
}

void AFXAppsManagementClient::cleanupAfterInternalUpdateWithCallback(AFXErrorCallback callback) {
    sendForError<AFXCleanupAfterInternalUpdateRequest>(nullptr, std::move(callback));
}

void AFXAppsManagementClient::fetchRefreshedResourceWithID(const QString& resourceID, std::uint64_t priority,
                                                           AFXFractionReportHandler reportHandler,
                                                           AFXResourceCallback callback) {
    sendForValue<AFXFetchRefreshedResourceWithIDRequest>(
        [&](auto& request) {
            request.setResourceID(resourceID);
            request.setPriority(priority);
        },
        &AFXFetchRefreshedResourceWithIDResponse::resource, QStringLiteral("resource"), std::move(callback),
        forwardReports<AFXFetchRefreshedResourceWithIDReport, AFXFractionReportHandler>(
            std::move(reportHandler),
            [](const AFXFractionReportHandler& handler, const AFXFetchRefreshedResourceWithIDReport& report) {
                handler(report.fractionCompleted());
            }));
}

void AFXAppsManagementClient::fetchDownloadPriorityChangerForResourceWithID(
    const QString& resourceID, AFXResourceDownloadPriorityChangerCallback callback) {
    using Response = AFXFetchResourceDownloadPriorityChangerResponse;
    sendForResponse<AFXFetchResourceDownloadPriorityChangerRequest, Response>(
        [&](auto& request) { request.setResourceID(resourceID); },
        [callback = std::move(callback)](const BRValueOrError<std::shared_ptr<Response>>& result) {
            const auto* response = result.value();
            callback(response ? (*response)->priorityChanger() : nullptr);
        });
}

void AFXAppsManagementClient::launchApp(const std::shared_ptr<AFXCodedApp>& app,
                                        AFXAppInstanceCallback callback) {
    sendForValue<AFXLaunchAppRequest>([&](auto& request) { request.setApp(app); },
                                      &AFXLaunchAppResponse::instance, QStringLiteral("instance"),
                                      std::move(callback));
}

void AFXAppsManagementClient::markAppAsViewed(const std::shared_ptr<AFXCodedApp>& app,
                                              AFXErrorCallback callback) {
    sendForError<AFXMarkAppAsViewedRequest>([&](auto& request) { request.setApp(app); }, std::move(callback));
}

void AFXAppsManagementClient::noteTeaserDidLaunchWithID(std::int64_t appID) {
    sendForError<AFXNoteTeaserDidLaunchRequest>(
        [&](auto& request) { request.setAppID(appID); },
        [](const std::optional<platform::Error>& error) {
            if (error) {
                BRLogError("Did fail to note teaser launch with error %@", platform::Value(*error));
            }
        });
}

void AFXAppsManagementClient::refreshStoreInitiatedByUser(bool initiatedByUser, AFXErrorCallback callback) {
    sendForError<AFXRefreshStoreRequest>([&](auto& request) { request.setInitiatedByUser(initiatedByUser); },
                                         std::move(callback));
}

void AFXAppsManagementClient::noteAppDidLaunchWithID(std::int64_t appID, const QString& versionID) {
    sendForError<AFXNoteAppDidLaunchRequest>(
        [&](auto& request) {
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
    sendForError<AFXUpdateRunningAppsWithAvailableUpdatesRequest>(
        [&](auto& request) {
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
        [&](auto& request) {
            request.setSearchString(searchString);
            request.setLimitCount(limitCount);
            request.setIgnoreAppsWithoutInstance(ignoreAppsWithoutInstance);
        },
        &AFXSearchAppsWithStringResponse::searchResult, QStringLiteral("searchResult"), std::move(callback));
}

void AFXAppsManagementClient::fetchAppCollectionsWithCallback(AFXAppCollectionsCallback callback) {
    sendForValue<AFXFetchAppCollectionsRequest>(nullptr, &AFXFetchAppCollectionsResponse::appCollections,
                                                QStringLiteral("appCollections"), std::move(callback));
}

void AFXAppsManagementClient::fetchTeaserWorkflowForInstance(
    const std::shared_ptr<AFXTeaserAppInstance>& instance, AFXTeaserWorkflowCallback callback) {
    sendForValue<AFXFetchTeaserWorkflowForInstanceRequest>(
        [&](auto& request) { request.setInstance(instance); },
        &AFXFetchTeaserWorkflowForInstanceResponse::workflow, QStringLiteral("workflow"),
        std::move(callback));
}

void AFXAppsManagementClient::installVendorAppInsteadOfInstance(
    const std::shared_ptr<AFXTeaserAppInstance>& instance, bool replaceIfTeaserWillQuitBeforeCompletion,
    AFXURLCallback callback) {
    sendForValue<AFXInstallVendorAppInsteadOfInstanceRequest>(
        [&](auto& request) {
            request.setInstance(instance);
            request.setShouldReplaceIfTeaserWillQuit(replaceIfTeaserWillQuitBeforeCompletion);
        },
        &AFXInstallVendorAppInsteadOfInstanceResponse::temporaryAppURL, QStringLiteral("temporaryAppURL"),
        std::move(callback));
}

void AFXAppsManagementClient::stopInstallVendorAppInsteadOfInstance(
    const std::shared_ptr<AFXTeaserAppInstance>& instance, AFXErrorCallback callback) {
    sendForError<AFXStopInstallVendorAppInsteadOfInstanceRequest>(
        [&](auto& request) { request.setInstance(instance); }, std::move(callback));
}

void AFXAppsManagementClient::prepareToReplaceTeaserAppInstance(
    const std::shared_ptr<AFXTeaserAppInstance>& instance, bool shouldLaunch, const QList<QUrl>& documentURLs,
    AFXErrorCallback callback) {
    sendForError<AFXPrepareToReplaceTeaserAppInstanceRequest>(
        [&](auto& request) {
            request.setInstance(instance);
            request.setDocumentURLs(documentURLs);
            request.setShouldLaunch(shouldLaunch);
        },
        std::move(callback));
}

void AFXAppsManagementClient::fetchAppWorkflowForApp(const std::shared_ptr<AFXCodedApp>& app,
                                                     AFXAppWorkflowCallback callback) {
    sendForValue<AFXFetchAppWorkflowRequest>([&](auto& request) { request.setApp(app); },
                                             &AFXFetchAppWorkflowResponse::workflow,
                                             QStringLiteral("workflow"), std::move(callback));
}

void AFXAppsManagementClient::installVendorApp(const std::shared_ptr<AFXCodedApp>& app, bool shouldLaunch,
                                               AFXAppInstanceCallback callback) {
    sendForValue<AFXInstallVendorAppRequest>(
        [&](auto& request) {
            request.setApp(app);
            request.setShouldLaunch(shouldLaunch);
        },
        &AFXInstallVendorAppResponse::instance, QStringLiteral("instance"), std::move(callback));
}

void AFXAppsManagementClient::stopInstallVendorApp(const std::shared_ptr<AFXCodedApp>& app,
                                                   AFXErrorCallback callback) {
    sendForError<AFXStopInstallVendorAppRequest>([&](auto& request) { request.setApp(app); },
                                                 std::move(callback));
}

void AFXAppsManagementClient::placeVendorAppInstance(const std::shared_ptr<AFXCodedApp>& app,
                                                     bool shouldLaunch, const QList<QUrl>& documentURLs,
                                                     AFXVendorAppInstanceCallback callback) {
    sendForValue<AFXPlaceVendorAppInstanceRequest>(
        [&](auto& request) {
            request.setApp(app);
            request.setDocumentURLs(documentURLs);
            request.setShouldLaunch(shouldLaunch);
        },
        &AFXPlaceVendorAppInstanceResponse::vendorAppInstance, QStringLiteral("vendorAppInstance"),
        std::move(callback));
}
