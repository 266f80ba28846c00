#include "AppsManagementTestServer.h"

#include "SpecificTools/Services/AppsManagement/AFXAppsManagementRequests.h"

#include <chrono>

using namespace Qt::StringLiterals;

namespace {

const std::int64_t kAppID = AppsManagementTestServer::kAppID;

platform::Error testError() {
    return platform::Error(u"com.kestrel.tests"_s, 7);
}

} // namespace

std::shared_ptr<AppsManagementTestServer>
AppsManagementTestServer::make(const std::shared_ptr<AFXServiceID>& serviceID,
                               const std::shared_ptr<AFXRegularInterprocessServerAdaptor>& adaptor,
                               const std::shared_ptr<AFXServicesFactory>& factory, ServiceTestNote note,
                               QString appPath) {
    return std::shared_ptr<AppsManagementTestServer>(
        new AppsManagementTestServer(serviceID, adaptor, factory, std::move(note), std::move(appPath)));
}

AppsManagementTestServer::AppsManagementTestServer(
    const std::shared_ptr<AFXServiceID>& serviceID,
    const std::shared_ptr<AFXRegularInterprocessServerAdaptor>& adaptor,
    const std::shared_ptr<AFXServicesFactory>& factory, ServiceTestNote note, QString appPath)
    : AFXAppsManagementServer(serviceID, adaptor, factory), note_(std::move(note)),
      appPath_(std::move(appPath)) {}

std::shared_ptr<AFXCodedApp> AppsManagementTestServer::app() {
    auto app = std::make_shared<AFXCodedApp>();
    app->setIdentifier(kAppID);
    app->setBundleIdentifier(u"com.orbit.notes"_s);
    return app;
}

std::shared_ptr<AFXVendorAppInstance> AppsManagementTestServer::vendorInstance(const QString& appPath) {
    return AFXVendorAppInstance::makeWithAppID(kAppID, QUrl::fromLocalFile(appPath), u"4.2"_s, u"420"_s);
}

std::shared_ptr<AFXTeaserAppInstance> AppsManagementTestServer::teaserInstance(const QString& appPath) {
    return AFXTeaserAppInstance::makeWithAppID(kAppID, QUrl::fromLocalFile(appPath), u"0.3"_s);
}

QString AppsManagementTestServer::describeInstance(const std::shared_ptr<AFXAppInstance>& instance) {
    if (!instance) {
        return u"none"_s;
    }
    return u"%1:%2"_s.arg(instance->kind() == AFXAppInstanceKind::Vendor ? u"vendor"_s : u"teaser"_s)
        .arg(instance->appID());
}

bool AppsManagementTestServer::releaseHeldAnswers(int count) {
    QList<std::function<void()>> answers;
    {
        std::unique_lock lock(mutex_);
        if (!heldChanged_.wait_for(lock, std::chrono::seconds(20), [&] { return held_.size() >= count; })) {
            return false;
        }
        answers.swap(held_);
    }
    for (const auto& answer : answers) {
        answer();
    }
    return true;
}

template <typename T>
void AppsManagementTestServer::answer(const std::function<void(const BRValueOrError<T>&)>& callback,
                                      T value) {
    callback(failing ? BRValueOrError<T>::makeWithError(testError())
                     : BRValueOrError<T>::makeWithValue(std::move(value)));
}

template <typename T>
void AppsManagementTestServer::answerReporting(const std::function<void(const BRValueOrError<T>&)>& callback,
                                               T value) {
    if (!holdAnswers) {
        answer(callback, std::move(value));
        return;
    }
    std::lock_guard lock(mutex_);
    held_.append([this, callback, value] { answer(callback, value); });
    heldChanged_.notify_all();
}

void AppsManagementTestServer::answerError(const AFXErrorCallback& callback) {
    callback(failing ? std::optional<platform::Error>(testError()) : std::nullopt);
}

void AppsManagementTestServer::fetchAppsForCollectionWithID(std::optional<std::int64_t> collectionID,
                                                            AFXAppsCallback callback) {
    seen(u"apps collection=%1"_s.arg(collectionID ? QString::number(*collectionID) : u"none"_s));
    auto other = app();
    other->setIdentifier(231);
    answer(callback, QList<std::shared_ptr<AFXCodedApp>>{app(), other});
}

void AppsManagementTestServer::fetchAppWithID(std::int64_t appID, AFXAppCallback callback) {
    seen(u"app %1"_s.arg(appID));
    answer(callback, app());
}

void AppsManagementTestServer::fetchAppWithBundleId(const QString& bundleId, AFXAppCallback callback) {
    seen(u"bundle %1"_s.arg(bundleId));
    answer(callback, app());
}

void AppsManagementTestServer::fetchScreenshotsForAppWithID(std::int64_t appID, const QString& versionID,
                                                            AFXScreenshotsCallback callback) {
    seen(u"screenshots app=%1 version=%2"_s.arg(appID).arg(versionID));
    QList<std::shared_ptr<AFXCodedScreenshotResource>> screenshots;
    for (const QString& identifier : {u"s2"_s, u"s1"_s}) {
        auto screenshot = std::make_shared<AFXCodedScreenshotResource>();
        screenshot->setIdentifier(identifier);
        screenshots.append(screenshot);
    }
    answer(callback, screenshots);
}

void AppsManagementTestServer::fetchAppInstancesWithCallback(AFXAppInstancesCallback callback) {
    seen(u"instances"_s);
    answer(callback,
           QList<std::shared_ptr<AFXAppInstance>>{vendorInstance(appPath_), teaserInstance(appPath_)});
}

// Only the teaser: the installer then has no vendor instance to open.
void AppsManagementTestServer::fetchAppInstancesWithAppID(std::int64_t appID,
                                                          AFXAppInstancesCallback callback) {
    seen(u"instances app=%1"_s.arg(appID));
    answer(callback, QList<std::shared_ptr<AFXAppInstance>>{teaserInstance(appPath_)});
}

void AppsManagementTestServer::prepareResourcesForApp(const std::shared_ptr<AFXCodedApp>& app,
                                                      std::uint64_t priority,
                                                      AFXFractionReportHandler reportHandler,
                                                      AFXResourcesCallback callback) {
    seen(u"resources app=%1 priority=%2"_s.arg(app->identifier()).arg(priority));
    if (reportHandler) {
        reportHandler(0.25);
        reportHandler(0.5);
    }
    auto resource = AFXCodedResource::resourceWithDownloadURL(QUrl(u"https://store.test/r1"_s));
    resource->setIdentifier(u"r1"_s);
    answerReporting(callback, QList<std::shared_ptr<AFXCodedResource>>{resource});
}

void AppsManagementTestServer::installTeaserAppWithID(std::int64_t appID,
                                                      AFXTeaserInstallReportHandler reportHandler,
                                                      std::uint64_t options,
                                                      AFXAppInstanceCallback callback) {
    seen(u"teaser install app=%1 options=%2"_s.arg(appID).arg(options));
    if (reportHandler) {
        reportHandler(true, 0.5);
    }
    answerReporting(callback, std::shared_ptr<AFXAppInstance>(teaserInstance(appPath_)));
}

void AppsManagementTestServer::installAbsentTeaserAppsWithReportHandler(
    AFXAbsentTeaserAppsReportHandler reportHandler, std::uint64_t options, AFXAppInstancesCallback callback) {
    seen(u"absent teasers options=%1"_s.arg(options));
    if (reportHandler) {
        reportHandler(true, 2, 0.75);
    }
    answerReporting(callback, QList<std::shared_ptr<AFXAppInstance>>{teaserInstance(appPath_)});
}

void AppsManagementTestServer::fetchInternalUpdateForVersion(const QString& currentVersion,
                                                             AFXInternalUpdateResourceCallback callback) {
    seen(u"internal update from=%1"_s.arg(currentVersion));
    auto resource = std::make_shared<AFXCodedInternalUpdateResource>();
    resource->setIdentifier(u"u1"_s);
    resource->setVersion(u"1.3"_s);
    answer(callback, resource);
}

void AppsManagementTestServer::cleanupAfterInternalUpdateWithCallback(AFXErrorCallback callback) {
    seen(u"cleanup"_s);
    answerError(callback);
}

void AppsManagementTestServer::fetchRefreshedResourceWithID(const QString& resourceID, std::uint64_t priority,
                                                            AFXFractionReportHandler reportHandler,
                                                            AFXResourceCallback callback) {
    seen(u"refresh %1 priority=%2"_s.arg(resourceID).arg(priority));
    if (reportHandler) {
        reportHandler(0.4);
    }
    auto resource = std::make_shared<AFXCodedResource>();
    resource->setIdentifier(resourceID);
    answerReporting(callback, resource);
}

void AppsManagementTestServer::fetchDownloadPriorityChangerForResourceWithID(
    const QString& resourceID, AFXResourceDownloadPriorityChangerCallback callback) {
    seen(u"priority changer %1"_s.arg(resourceID));
    if (failing) {
        callback(nullptr);
        return;
    }
    auto holder = AFXResourceDownloadPriorityHolder::make();
    holder->setIdentifier(resourceID);
    holder->setPriority(2);
    callback(holder);
}

void AppsManagementTestServer::launchApp(const std::shared_ptr<AFXCodedApp>& app,
                                         AFXAppInstanceCallback callback) {
    seen(u"launch app=%1"_s.arg(app->identifier()));
    answer(callback, std::shared_ptr<AFXAppInstance>(vendorInstance(appPath_)));
}

void AppsManagementTestServer::markAppAsViewed(const std::shared_ptr<AFXCodedApp>& app,
                                               AFXErrorCallback callback) {
    seen(u"viewed app=%1"_s.arg(app->identifier()));
    answerError(callback);
}

void AppsManagementTestServer::noteTeaserDidLaunchWithID(std::int64_t appID) {
    seen(u"teaser launched %1"_s.arg(appID));
}

void AppsManagementTestServer::refreshStoreInitiatedByUser(bool initiatedByUser, AFXErrorCallback callback) {
    seen(u"refresh store user=%1"_s.arg(initiatedByUser));
    answerError(callback);
}

void AppsManagementTestServer::noteAppDidLaunchWithID(std::int64_t appID, const QString& versionID) {
    seen(u"app launched %1 version=%2"_s.arg(appID).arg(versionID));
}

void AppsManagementTestServer::updateRunningApplicationsWithAvailableUpdates(
    const QList<std::shared_ptr<platform::Object>>& runningApplications,
    const QByteArray& additionalUserNotificationData, std::function<void()> callback) {
    seen(u"running apps %1 data=%2"_s.arg(runningApplications.size())
             .arg(QString::fromUtf8(additionalUserNotificationData)));
    callback();
}

void AppsManagementTestServer::searchAppsWithString(const QString& searchString,
                                                    bool ignoreAppsWithoutInstance, std::uint64_t limitCount,
                                                    AFXAppSearchResultsCallback callback) {
    seen(u"search %1 ignore=%2 limit=%3"_s.arg(searchString).arg(ignoreAppsWithoutInstance).arg(limitCount));
    auto result = AFXAppSearchResult::make();
    result->setApp(app());
    result->setScore(0.5);
    answer(callback, QList<std::shared_ptr<AFXAppSearchResult>>{result});
}

void AppsManagementTestServer::fetchAppCollectionsWithCallback(AFXAppCollectionsCallback callback) {
    seen(u"collections"_s);
    auto collection = std::make_shared<AFXCodedAppCollection>();
    collection->setIdentifier(7);
    answer(callback, QList<std::shared_ptr<AFXCodedAppCollection>>{collection});
}

void AppsManagementTestServer::fetchTeaserWorkflowForInstance(
    const std::shared_ptr<AFXTeaserAppInstance>& instance, AFXTeaserWorkflowCallback callback) {
    seen(u"teaser workflow %1 %2"_s.arg(describeInstance(instance)).arg(instance->version()));
    auto workflow = AFXTeaserWorkflow::make();
    workflow->setAppInstance(teaserInstance(appPath_));
    workflow->setState(3);
    workflow->setFractionCompleted(0.5);
    workflow->setAppWorkflow(AFXAppWorkflow::makeWithAppID(kAppID, QUrl::fromLocalFile(appPath_)));
    answer(callback, workflow);
}

void AppsManagementTestServer::installVendorAppInsteadOfInstance(
    const std::shared_ptr<AFXTeaserAppInstance>& instance, bool replaceIfTeaserWillQuitBeforeCompletion,
    AFXURLCallback callback) {
    seen(u"instead %1 replace=%2"_s.arg(describeInstance(instance))
             .arg(replaceIfTeaserWillQuitBeforeCompletion));
    answer(callback, QUrl(u"file:///tmp/waiting.app"_s));
}

void AppsManagementTestServer::stopInstallVendorAppInsteadOfInstance(
    const std::shared_ptr<AFXTeaserAppInstance>& instance, AFXErrorCallback callback) {
    seen(u"stop instead %1"_s.arg(describeInstance(instance)));
    answerError(callback);
}

void AppsManagementTestServer::prepareToReplaceTeaserAppInstance(
    const std::shared_ptr<AFXTeaserAppInstance>& instance, bool shouldLaunch, const QList<QUrl>& documentURLs,
    AFXErrorCallback callback) {
    seen(u"replace %1 launch=%2 documents=%3"_s.arg(describeInstance(instance))
             .arg(shouldLaunch)
             .arg(QUrl::toStringList(documentURLs).join(u',')));
    answerError(callback);
}

void AppsManagementTestServer::fetchAppWorkflowForApp(const std::shared_ptr<AFXCodedApp>& app,
                                                      AFXAppWorkflowCallback callback) {
    seen(u"workflow app=%1"_s.arg(app->identifier()));
    auto workflow = AFXAppWorkflow::makeWithAppID(kAppID, QUrl::fromLocalFile(appPath_));
    workflow->setState(2);
    answer(callback, workflow);
}

void AppsManagementTestServer::installVendorApp(const std::shared_ptr<AFXCodedApp>& app, bool shouldLaunch,
                                                AFXAppInstanceCallback callback) {
    seen(u"install app=%1 launch=%2"_s.arg(app->identifier()).arg(shouldLaunch));
    answer(callback, std::shared_ptr<AFXAppInstance>(vendorInstance(appPath_)));
}

void AppsManagementTestServer::stopInstallVendorApp(const std::shared_ptr<AFXCodedApp>& app,
                                                    AFXErrorCallback callback) {
    seen(u"stop install app=%1"_s.arg(app->identifier()));
    answerError(callback);
}

void AppsManagementTestServer::placeVendorAppInstance(const std::shared_ptr<AFXCodedApp>& app,
                                                      bool shouldLaunch, const QList<QUrl>& documentURLs,
                                                      AFXVendorAppInstanceCallback callback) {
    seen(u"place app=%1 launch=%2 documents=%3"_s.arg(app->identifier())
             .arg(shouldLaunch)
             .arg(QUrl::toStringList(documentURLs).join(u',')));
    answer(callback, vendorInstance(appPath_));
}
