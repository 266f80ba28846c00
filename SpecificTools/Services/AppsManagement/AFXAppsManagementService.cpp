#include "AFXAppsManagementService.h"

#include "SpecificTools/Errors/AFXErrors.h"

namespace {

template <typename T>
void answerMissing(const std::function<void(const BRValueOrError<T>&)>& callback, const char* operation) {
    callback(BRValueOrError<T>::makeWithError(afx_makeErrorOfMissingServiceNamed(
        AFXAppsManagementService::interprocessServiceName(), QString::fromLatin1(operation))));
}

void answerMissing(const AFXErrorCallback& callback, const char* operation) {
    callback(afx_makeErrorOfMissingServiceNamed(AFXAppsManagementService::interprocessServiceName(),
                                                QString::fromLatin1(operation)));
}

} // namespace

void AFXAppsManagementService::fetchAppsForCollectionWithID(std::optional<std::int64_t>,
                                                            AFXAppsCallback callback) {
    answerMissing(callback, "fetchAppsForCollectionWithID");
}

void AFXAppsManagementService::fetchAppWithID(std::int64_t, AFXAppCallback callback) {
    answerMissing(callback, "fetchAppWithID");
}

void AFXAppsManagementService::fetchAppWithBundleId(const QString&, AFXAppCallback callback) {
    answerMissing(callback, "fetchAppWithBundleId");
}

void AFXAppsManagementService::fetchScreenshotsForAppWithID(std::int64_t, const QString&,
                                                            AFXScreenshotsCallback callback) {
    answerMissing(callback, "fetchScreenshotsForAppWithID");
}

void AFXAppsManagementService::fetchAppInstancesWithCallback(AFXAppInstancesCallback callback) {
    answerMissing(callback, "fetchAppInstancesWithCallback");
}

void AFXAppsManagementService::fetchAppInstancesWithAppID(std::int64_t, AFXAppInstancesCallback callback) {
    answerMissing(callback, "fetchAppInstancesWithAppID");
}

void AFXAppsManagementService::prepareResourcesForApp(const std::shared_ptr<AFXCodedApp>&, std::uint64_t,
                                                      AFXFractionReportHandler,
                                                      AFXResourcesCallback callback) {
    answerMissing(callback, "prepareResourcesForApp");
}

void AFXAppsManagementService::installTeaserAppWithID(std::int64_t, AFXTeaserInstallReportHandler,
                                                      std::uint64_t, AFXAppInstanceCallback callback) {
    answerMissing(callback, "installTeaserAppWithID");
}

void AFXAppsManagementService::installAbsentTeaserAppsWithReportHandler(AFXAbsentTeaserAppsReportHandler,
                                                                        std::uint64_t,
                                                                        AFXAppInstancesCallback callback) {
    answerMissing(callback, "installAbsentTeaserAppsWithReportHandler");
}

void AFXAppsManagementService::fetchInternalUpdateForVersion(const QString&,
                                                             AFXInternalUpdateResourceCallback callback) {
    answerMissing(callback, "fetchInternalUpdateForVersion");
}

void AFXAppsManagementService::cleanupAfterInternalUpdateWithCallback(AFXErrorCallback callback) {
    answerMissing(callback, "cleanupAfterInternalUpdateWithCallback");
}

void AFXAppsManagementService::fetchRefreshedResourceWithID(const QString&, std::uint64_t,
                                                            AFXFractionReportHandler,
                                                            AFXResourceCallback callback) {
    answerMissing(callback, "fetchRefreshedResourceWithID");
}

void AFXAppsManagementService::fetchDownloadPriorityChangerForResourceWithID(
    const QString&, AFXResourceDownloadPriorityChangerCallback callback) {
    // The changer's callback has no error: a missing one is answered as none.
    callback(nullptr);
}

void AFXAppsManagementService::launchApp(const std::shared_ptr<AFXCodedApp>&,
                                         AFXAppInstanceCallback callback) {
    answerMissing(callback, "launchApp");
}

void AFXAppsManagementService::markAppAsViewed(const std::shared_ptr<AFXCodedApp>&,
                                               AFXErrorCallback callback) {
    answerMissing(callback, "markAppAsViewed");
}

void AFXAppsManagementService::noteTeaserDidLaunchWithID(std::int64_t) {}

void AFXAppsManagementService::refreshStoreInitiatedByUser(bool, AFXErrorCallback callback) {
    answerMissing(callback, "refreshStoreInitiatedByUser");
}

void AFXAppsManagementService::noteAppDidLaunchWithID(std::int64_t, const QString&) {}

void AFXAppsManagementService::updateRunningApplicationsWithAvailableUpdates(
    const QList<std::shared_ptr<platform::Object>>&, const QByteArray&, std::function<void()> callback) {
    callback();
}

void AFXAppsManagementService::searchAppsWithString(const QString&, bool, std::uint64_t,
                                                    AFXAppSearchResultsCallback callback) {
    answerMissing(callback, "searchAppsWithString");
}

void AFXAppsManagementService::fetchAppCollectionsWithCallback(AFXAppCollectionsCallback callback) {
    answerMissing(callback, "fetchAppCollectionsWithCallback");
}

void AFXAppsManagementService::fetchTeaserWorkflowForInstance(const std::shared_ptr<AFXTeaserAppInstance>&,
                                                              AFXTeaserWorkflowCallback callback) {
    answerMissing(callback, "fetchTeaserWorkflowForInstance");
}

void AFXAppsManagementService::installVendorAppInsteadOfInstance(const std::shared_ptr<AFXTeaserAppInstance>&,
                                                                 bool, AFXURLCallback callback) {
    answerMissing(callback, "installVendorAppInsteadOfInstance");
}

void AFXAppsManagementService::stopInstallVendorAppInsteadOfInstance(
    const std::shared_ptr<AFXTeaserAppInstance>&, AFXErrorCallback callback) {
    answerMissing(callback, "stopInstallVendorAppInsteadOfInstance");
}

void AFXAppsManagementService::prepareToReplaceTeaserAppInstance(const std::shared_ptr<AFXTeaserAppInstance>&,
                                                                 bool, const QList<QUrl>&,
                                                                 AFXErrorCallback callback) {
    answerMissing(callback, "prepareToReplaceTeaserAppInstance");
}

void AFXAppsManagementService::fetchAppWorkflowForApp(const std::shared_ptr<AFXCodedApp>&,
                                                      AFXAppWorkflowCallback callback) {
    answerMissing(callback, "fetchAppWorkflowForApp");
}

void AFXAppsManagementService::installVendorApp(const std::shared_ptr<AFXCodedApp>&, bool,
                                                AFXAppInstanceCallback callback) {
    answerMissing(callback, "installVendorApp");
}

void AFXAppsManagementService::stopInstallVendorApp(const std::shared_ptr<AFXCodedApp>&,
                                                    AFXErrorCallback callback) {
    answerMissing(callback, "stopInstallVendorApp");
}

void AFXAppsManagementService::placeVendorAppInstance(const std::shared_ptr<AFXCodedApp>&, bool,
                                                      const QList<QUrl>&,
                                                      AFXVendorAppInstanceCallback callback) {
    answerMissing(callback, "placeVendorAppInstance");
}
