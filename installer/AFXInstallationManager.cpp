#include "AFXInstallationManager.h"

#include "SpecificTools/AFXAppInstaller/AFXInstalledAppDiscovery.h"
#include "SpecificTools/AFXAppInstaller/AFXRemoveFromQuarantine.h"
#include "SpecificTools/Errors/AFXErrors.h"
#include "SpecificTools/Model/AFXAppInstance.h"
#include "SpecificTools/Model/AFXAppWorkflow.h"
#include "SpecificTools/Model/AFXCodedApp.h"
#include "SpecificTools/Model/AFXCustomURLScheme.h"
#include "SpecificTools/Model/AFXEnvironment.h"
#include "SpecificTools/Model/AFXExecutableInfo.h"
#include "SpecificTools/Services/AFXAppsManagementService.h"
#include "SpecificTools/Services/AFXSystemManagementService.h"
#include "platform/Bundle.h"
#include "platform/DispatchGroup.h"
#include "platform/DistributedNotificationCenter.h"
#include "platform/FileManager.h"
#include "platform/KeyedUnarchiver.h"
#include "platform/Task.h"
#include "platform/Tools.h"
#include "platform/Workspace.h"
#include "support/BRDispatch.h"
#include "support/BRLog.h"

using platform::Error;

namespace {

const QString kTierName = QStringLiteral("KestrelInstaller");
const QString AFXAppsManagementAppWorkflowChangedNotification =
    QStringLiteral("com.kestrel.app-workflow-changed");
const QString AFXAppsManagementAppWorkflowChangedNotificationWorkflowKey = QStringLiteral("app_workflow");
constexpr std::int64_t kWorkflowNotInstalling = 0;
constexpr std::int64_t kWorkflowInstalling = 1;
constexpr std::int64_t kWorkflowInstalled = 2;
constexpr std::uint64_t kResourcesPriority = 2;
constexpr std::int64_t kClientUninstallerType = 1;

// Quotes a path for the shell, so that spaces and quotes stay part of it.
QString shellQuoted(const QString& text) {
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QLatin1String("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

// Runs a program and waits for it; answers the launch error, if any.
std::optional<Error> runAndWait(const QString& path, const QStringList& arguments) {
    Error error(QString(), 0);
    auto task = platform::Task::launchedTask(path, arguments, &error);
    if (!task) {
        return error;
    }
    task->waitUntilExit();
    return std::nullopt;
}

} // namespace

AFXInstallationManager::AFXInstallationManager(std::int64_t appID)
    : appID_(appID), kestrelWasInstalledBefore_(AFXCheckIfAppWithBundleIDInstalledIgnoringPaths(
                         AFXDesktopClientBundleID, AFXDetectIgnoredPathsForDesktopClient())),
      servicesFactoryMaker_(&AFXServicesFactory::makeWithServicesClasses),
      internalQueue_(BRBuildInternalDispatchQueue(QStringLiteral("installation-manager-internal"))),
      variablesQueue_(BRBuildInternalDispatchQueue(QStringLiteral("installation-manager-variables"))),
      notificationQueue_(BRBuildInternalDispatchQueue(QStringLiteral("installation-manager-notifications"))) {
}

std::shared_ptr<AFXInstallationManager> AFXInstallationManager::makeWithAppID(std::int64_t appID) {
    return std::shared_ptr<AFXInstallationManager>(new AFXInstallationManager(appID));
}

AFXInstallationManager::~AFXInstallationManager() {
    unbindAppInstallationProgress();
    if (auto center = platform::DistributedNotificationCenter::defaultCenter()) {
        for (const auto& observer : workflowObservers_) {
            center->removeObserver(observer);
        }
    }
}

void AFXInstallationManager::setServicesFactoryMaker(ServicesFactoryMaker maker) {
    std::lock_guard lock(mutex_);
    servicesFactoryMaker_ = std::move(maker);
}

// MARK: - Thread-safe state and progress

std::int64_t AFXInstallationManager::state() const {
    std::int64_t state = 0;
    variablesQueue_->sync([&] { state = state_; });
    return state;
}

void AFXInstallationManager::setState(std::int64_t state) {
    variablesQueue_->barrierAsync([weakSelf = weak_from_this(), state] {
        if (auto self = weakSelf.lock()) {
            self->state_ = state;
        }
    });
}

double AFXInstallationManager::readProgress(double AFXInstallationManager::*field) const {
    double value = 0.0;
    variablesQueue_->sync([&] { value = this->*field; });
    return value;
}

void AFXInstallationManager::writeProgress(double AFXInstallationManager::*field, double value) {
    variablesQueue_->barrierAsync([weakSelf = weak_from_this(), field, value] {
        if (auto self = weakSelf.lock()) {
            (*self).*field = value;
        }
    });
    reportProgress();
}

double AFXInstallationManager::progress() const {
    double progress = 0.0;
    variablesQueue_->sync([&] {
        progress = 0.3 * downloadingProgress_ + 0.1 * preparationProgress_ + 0.5 * appInstallationProgress_ +
                   0.1 * resourcesPreparationProgress_;
    });
    return progress;
}

double AFXInstallationManager::downloadingProgress() const {
    return readProgress(&AFXInstallationManager::downloadingProgress_);
}
double AFXInstallationManager::preparationProgress() const {
    return readProgress(&AFXInstallationManager::preparationProgress_);
}
double AFXInstallationManager::appInstallationProgress() const {
    return readProgress(&AFXInstallationManager::appInstallationProgress_);
}
double AFXInstallationManager::resourcesPreparationProgress() const {
    return readProgress(&AFXInstallationManager::resourcesPreparationProgress_);
}
void AFXInstallationManager::setDownloadingProgress(double value) {
    writeProgress(&AFXInstallationManager::downloadingProgress_, value);
}
void AFXInstallationManager::setPreparationProgress(double value) {
    writeProgress(&AFXInstallationManager::preparationProgress_, value);
}
void AFXInstallationManager::setAppInstallationProgress(double value) {
    writeProgress(&AFXInstallationManager::appInstallationProgress_, value);
}
void AFXInstallationManager::setResourcesPreparationProgress(double value) {
    writeProgress(&AFXInstallationManager::resourcesPreparationProgress_, value);
}

QUrl AFXInstallationManager::desktopClientURL() const {
    std::lock_guard lock(mutex_);
    return desktopClientURL_;
}

void AFXInstallationManager::reportProgress() {
    ProgressBlock block;
    {
        std::lock_guard lock(mutex_);
        block = progressBlock_;
    }
    if (block) {
        block(state(), progress());
    }
}

void AFXInstallationManager::finishWithError(const std::optional<Error>& error) {
    Callback callback;
    {
        std::lock_guard lock(mutex_);
        callback = callback_;
    }
    if (callback) {
        callback(error ? *error : afx_didFailToInstallVendorAppForUnknownReason());
    }
}

void AFXInstallationManager::finishWithSuccess() {
    Callback callback;
    {
        std::lock_guard lock(mutex_);
        callback = callback_;
    }
    if (callback) {
        callback(std::nullopt);
    }
}

void AFXInstallationManager::fail(AFXInstallationState state, const std::optional<Error>& error) {
    setState(state);
    finishWithError(error);
}

// MARK: - Installing

void AFXInstallationManager::installWithProgressBlock(ProgressBlock progressBlock, Callback callback) {
    {
        std::lock_guard lock(mutex_);
        progressBlock_ = std::move(progressBlock);
        callback_ = std::move(callback);
    }
    startNewDownload();
}

void AFXInstallationManager::startNewDownload() {
    auto workflow = AFXDownloaderWorkflow::makeWithDelegate(shared_from_this());
    {
        std::lock_guard lock(mutex_);
        downloaderWorflow_ = workflow;
    }
    workflow->start();
}

void AFXInstallationManager::downloaderDidStarted(AFXDownloaderWorkflow&) {
    setDownloadingProgress(0.0);
    setState(AFXInstallationStateDownloading);
}

void AFXInstallationManager::downloaderDidUpdateDownloadingProgress(AFXDownloaderWorkflow&, double progress) {
    setDownloadingProgress(progress);
}

void AFXInstallationManager::downloaderDidFinishDownloadingToURL(AFXDownloaderWorkflow&, const QUrl&) {
    setDownloadingProgress(1.0);
    setState(AFXInstallationStateDownloaded);
}

void AFXInstallationManager::downloaderDidFinishUnarchivingToURL(AFXDownloaderWorkflow&, const QUrl& url) {
    AFXRemoveFromQuarantine(url.toLocalFile());
    continueWithDesktopClientInstanceAtURL(url);
}

void AFXInstallationManager::downloaderWillRestartDownloading(AFXDownloaderWorkflow&, std::uint64_t) {
    setDownloadingProgress(0.0);
    setState(AFXInstallationStateDownloading);
}

void AFXInstallationManager::downloaderDidFailWithError(AFXDownloaderWorkflow&,
                                                        const std::optional<Error>& error) {
    fail(AFXInstallationStateDownloadFailed, error);
}

void AFXInstallationManager::continueWithDesktopClientInstanceAtURL(const QUrl& url) {
    setPreparationProgress(0.1);
    {
        std::lock_guard lock(mutex_);
        desktopClientURL_ = url;
    }
    const auto bundle = platform::Bundle::bundleWithURL(url);
    if (!bundle) {
        fail(AFXInstallationStateDownloadFailed,
             afx_makeErrorOfMissingObjectOfKind(QStringLiteral("Kestrel Bundle")));
        return;
    }
    // A client that cannot be started is a placement failure like a bundle
    // that cannot be opened, not a reason to stop the whole program.
    if (std::optional<Error> launchError =
            runAndWait(bundle->executablePath(), {QStringLiteral("-silentLaunch")})) {
        BRLogError("Could not run the desktop client at %@ (%@)", url, *launchError);
        fail(AFXInstallationStateDownloadFailed, launchError);
        return;
    }
    setPreparationProgress(0.6);

    ServicesFactoryMaker maker;
    {
        std::lock_guard lock(mutex_);
        maker = servicesFactoryMaker_;
    }
    auto factory =
        maker({QStringLiteral("AFXSystemManagementClient"), QStringLiteral("AFXAppsManagementClient")},
              kTierName, shared_from_this());
    {
        std::lock_guard lock(mutex_);
        servicesFactory_ = factory;
    }
    setState(AFXInstallationStateClientLaunched);
    internalQueue_->async([weakSelf = weak_from_this(), factory] {
        factory->fetchSystemManagementServiceWithCallback([weakSelf](const auto& result) {
            auto self = weakSelf.lock();
            if (!self) {
                return;
            }
            result.onValue([&](const std::shared_ptr<AFXSystemManagementService>& service) {
                {
                    std::lock_guard lock(self->mutex_);
                    self->systemManagamentService_ = service;
                }
                self->continueWithSystemManagementService(service);
            });
            result.onError(
                [&](const Error& error) { self->fail(AFXInstallationStateServicesFailed, error); });
        });
    });
}

void AFXInstallationManager::continueWithSystemManagementService(
    const std::shared_ptr<AFXSystemManagementService>& service) {
    setPreparationProgress(0.7);
    service->fetchCurrentCustomerUpdated(true, false, nullptr, 1,
                                         [weakSelf = weak_from_this()](const auto& result) {
                                             if (auto self = weakSelf.lock()) {
                                                 self->canLaunchApp_ = result.hasValue();
                                             }
                                         });
    service->fetchCurrentEnvironmentUpdated(false, [weakSelf = weak_from_this()](const auto& result) {
        auto self = weakSelf.lock();
        if (!self) {
            return;
        }
        result.onError([&](const Error& error) { self->fail(AFXInstallationStateServicesFailed, error); });
        result.onValue([&](const std::shared_ptr<AFXEnvironment>& environment) {
            std::shared_ptr<AFXServicesFactory> factory;
            {
                std::lock_guard lock(self->mutex_);
                factory = self->servicesFactory_;
            }
            if (!factory) {
                return;
            }
            factory->fetchAppsManagementServiceForEnvironmentID(
                environment->identifier(), [weakSelf](const auto& result) {
                    auto self = weakSelf.lock();
                    if (!self) {
                        return;
                    }
                    result.onValue([&](const std::shared_ptr<AFXAppsManagementService>& service) {
                        {
                            std::lock_guard lock(self->mutex_);
                            self->appsManagementService_ = service;
                        }
                        self->continueWithAppsManagementService(service);
                    });
                    result.onError(
                        [&](const Error& error) { self->fail(AFXInstallationStateServicesFailed, error); });
                });
        });
    });
}

void AFXInstallationManager::continueWithAppsManagementService(
    const std::shared_ptr<AFXAppsManagementService>& service) {
    setPreparationProgress(1.0);
    setAppInstallationProgress(0.0);
    const std::weak_ptr<AFXAppsManagementService> weakService = service;
    service->fetchAppWithID(appID_, [weakSelf = weak_from_this(), weakService](const auto& result) {
        auto self = weakSelf.lock();
        auto service = weakService.lock();
        if (!self || !service) {
            return;
        }
        result.onError([&](const Error& error) { self->fail(AFXInstallationStateServicesFailed, error); });
        result.onValue([&](const std::shared_ptr<AFXCodedApp>& app) {
            {
                std::lock_guard lock(self->mutex_);
                self->app_ = app;
            }
            service->fetchAppWorkflowForApp(app, [weakSelf, weakService, app](const auto& result) {
                auto self = weakSelf.lock();
                auto service = weakService.lock();
                if (!self || !service) {
                    return;
                }
                // Left without a continuation, a failed workflow fetch would
                // leave the window waiting for ever; it fails like the other
                // fetches of this stage.
                result.onError(
                    [&](const Error& error) { self->fail(AFXInstallationStateServicesFailed, error); });
                result.onValue([&](const std::shared_ptr<AFXAppWorkflow>& workflow) {
                    self->setAppWorkflow(workflow);
                    self->observeWorkflowNotificationsForObject(workflow->objectForNotification());
                    if (workflow->state() == kWorkflowInstalled) {
                        return;
                    }
                    self->setState(AFXInstallationStateInstallingApp);
                    service->installVendorApp(app, false, [weakSelf](const auto& result) {
                        auto self = weakSelf.lock();
                        if (!self) {
                            return;
                        }
                        result.onValue([&](const std::shared_ptr<AFXAppInstance>& instance) {
                            std::lock_guard lock(self->mutex_);
                            self->appInstance_ = instance;
                        });
                        result.onError([&](const Error& error) {
                            self->fail(AFXInstallationStateAppInstallationFailed, error);
                        });
                    });
                });
            });
        });
    });
}

void AFXInstallationManager::observeWorkflowNotificationsForObject(const QString& object) {
    // One observation per workflow object: passing through this step again
    // (a retry, a restart) must not deliver each change twice.
    {
        std::lock_guard lock(mutex_);
        if (observedWorkflowObjects_.contains(object)) {
            return;
        }
        observedWorkflowObjects_.insert(object);
    }
    Error error(QString(), 0);
    auto center = platform::DistributedNotificationCenter::defaultCenter(&error);
    if (!center) {
        BRLogError("Cannot follow the app's installation: %@", error);
        return;
    }
    auto observer = center->addObserver(
        AFXAppsManagementAppWorkflowChangedNotification, object, notificationQueue_,
        [weakSelf = weak_from_this()](const platform::Notification& notification) {
            if (auto self = weakSelf.lock()) {
                self->appWorkflowDidChange(notification);
            }
        },
        &error);
    if (!observer) {
        BRLogError("Cannot follow the app's installation: %@", error);
        return;
    }
    std::lock_guard lock(mutex_);
    workflowObservers_.append(observer);
}

void AFXInstallationManager::appWorkflowDidChange(const platform::Notification& notification) {
    const platform::Value data =
        notification.userInfo().value(AFXAppsManagementAppWorkflowChangedNotificationWorkflowKey);
    if (data.kind() != platform::Value::Kind::Data) {
        return;
    }
    if (auto workflow = platform::KeyedUnarchiver::unarchivedObjectOfClass<AFXAppWorkflow>(data.toData())) {
        setAppWorkflow(workflow);
    }
}

void AFXInstallationManager::unbindAppInstallationProgress() {
    std::shared_ptr<AFXAppWorkflow> bound;
    platform::Object::ObserverToken token = 0;
    {
        std::lock_guard lock(mutex_);
        bound = std::exchange(boundWorkflow_, nullptr);
        token = bindingToken_;
    }
    if (bound) {
        bound->removeObserver(token);
    }
}

void AFXInstallationManager::setAppWorkflow(const std::shared_ptr<AFXAppWorkflow>& workflow) {
    switch (workflow->state()) {
    case kWorkflowNotInstalling:
        unbindAppInstallationProgress();
        if (state() == AFXInstallationStateAppInstallationFailed) {
            setAppInstallationProgress(0.0);
        }
        break;
    case kWorkflowInstalling: {
        unbindAppInstallationProgress();
        variablesQueue_->barrierAsync([weakSelf = weak_from_this(), workflow] {
            if (auto self = weakSelf.lock()) {
                self->appWorkflow_ = workflow;
            }
        });
        // The installation progress takes the workflow's value now and
        // follows it from then on.
        const auto token =
            workflow->addObserver(QStringLiteral("fractionCompleted"),
                                  [weakSelf = weak_from_this(),
                                   weakWorkflow = std::weak_ptr<AFXAppWorkflow>(workflow)](const QString&) {
                                      auto self = weakSelf.lock();
                                      auto workflow = weakWorkflow.lock();
                                      if (self && workflow) {
                                          self->setAppInstallationProgress(workflow->fractionCompleted());
                                      }
                                  });
        {
            std::lock_guard lock(mutex_);
            boundWorkflow_ = workflow;
            bindingToken_ = token;
        }
        setAppInstallationProgress(workflow->fractionCompleted());
        break;
    }
    case kWorkflowInstalled: {
        // An installed workflow moves an installation on only while the app
        // steps are under way; one heard again later (a repeated
        // notification, one after a stop) must not prepare and succeed twice.
        const std::int64_t current = state();
        if (current != AFXInstallationStateClientLaunched && current != AFXInstallationStateInstallingApp &&
            current != AFXInstallationStateAppInstallationFailed) {
            break;
        }
        setAppInstallationProgress(1.0);
        prepareResourcesForApp();
        break;
    }
    default:
        break;
    }
}

void AFXInstallationManager::prepareResourcesForApp() {
    setState(AFXInstallationStatePreparingResources);
    internalQueue_->async([weakSelf = weak_from_this()] {
        auto self = weakSelf.lock();
        if (!self) {
            return;
        }
        std::shared_ptr<AFXAppsManagementService> service;
        std::shared_ptr<AFXCodedApp> app;
        {
            std::lock_guard lock(self->mutex_);
            service = self->appsManagementService_;
            app = self->app_;
        }
        if (!service || !app) {
            return;
        }
        service->prepareResourcesForApp(
            app, kResourcesPriority,
            [weakSelf](double fraction) {
                if (auto self = weakSelf.lock()) {
                    self->setResourcesPreparationProgress(fraction);
                }
            },
            [weakSelf](const auto&) {
                if (auto self = weakSelf.lock()) {
                    self->setState(AFXInstallationStateReady);
                    self->setResourcesPreparationProgress(1.0);
                    self->finishWithSuccess();
                }
            });
    });
}

// MARK: - The factory's questions

void AFXInstallationManager::servicesFactoryFetchCurrentEnvironment(
    AFXServicesFactory& factory, std::function<void(std::shared_ptr<AFXEnvironment>)> callback) {
    factory.fetchCurrentEnvironmentUpdated(false, [callback = std::move(callback)](const auto& result) {
        callback(result.hasValue() ? *result.value() : nullptr);
    });
}

void AFXInstallationManager::servicesFactoryFetchCurrentCustomer(
    AFXServicesFactory& factory, std::function<void(std::shared_ptr<AFXCustomer>)> callback) {
    factory.fetchCurrentCustomerUpdated(false, false, nullptr, 0,
                                        [callback = std::move(callback)](const auto& result) {
                                            callback(result.hasValue() ? *result.value() : nullptr);
                                        });
}

// MARK: - Retry, stop, restart

void AFXInstallationManager::retryAfterError() {
    internalQueue_->async([self = shared_from_this()] {
        switch (self->state()) {
        case AFXInstallationStateAppInstallationFailed: {
            std::shared_ptr<AFXAppsManagementService> service;
            {
                std::lock_guard lock(self->mutex_);
                service = self->appsManagementService_;
            }
            if (service) {
                self->continueWithAppsManagementService(service);
            }
            break;
        }
        case AFXInstallationStateServicesFailed:
            self->continueWithDesktopClientInstanceAtURL(self->desktopClientURL());
            break;
        case AFXInstallationStateDownloadFailed:
            self->startNewDownload();
            break;
        default:
            self->restart();
            break;
        }
    });
}

void AFXInstallationManager::stopInstallationWithCallback(std::function<void()> callback) {
    internalQueue_->async([weakSelf = weak_from_this(), callback = std::move(callback)] {
        auto self = weakSelf.lock();
        if (!self) {
            return;
        }
        std::shared_ptr<AFXDownloaderWorkflow> workflow;
        std::shared_ptr<AFXAppsManagementService> appsService;
        std::shared_ptr<AFXSystemManagementService> systemService;
        std::shared_ptr<AFXCodedApp> app;
        std::shared_ptr<AFXAppInstance> instance;
        {
            std::lock_guard lock(self->mutex_);
            self->progressBlock_ = nullptr;
            self->callback_ = nullptr;
            workflow = self->downloaderWorflow_;
            appsService = self->appsManagementService_;
            systemService = self->systemManagamentService_;
            app = self->app_;
            instance = self->appInstance_;
        }
        // The transfer must have ended, and its partial file be gone, before
        // the stop counts as done: an owner may quit right after it.
        auto group = platform::DispatchGroup::make();
        if (workflow) {
            group->enter();
            workflow->stop([group] { group->leave(); });
        }
        if (appsService && app) {
            group->enter();
            appsService->stopInstallVendorApp(app, [group](const auto&) { group->leave(); });
        }
        if (instance && instance->URL()) {
            platform::FileManager::removeItem(instance->URL()->path());
        }
        if (systemService && !self->kestrelWasInstalledBefore_) {
            group->enter();
            systemService->fetchUninstallerExecutableInfoWithType(
                kClientUninstallerType, [group](const auto& result) {
                    result.onValue([](const std::shared_ptr<AFXExecutableInfo>& info) {
                        if (std::optional<Error> error = runAndWait(info->path(), info->arguments())) {
                            BRLogError("Could not run the desktop client's uninstaller (%@)", *error);
                        }
                    });
                    group->leave();
                });
        }

        group->notify(self->internalQueue_, [weakSelf, callback] {
            auto self = weakSelf.lock();
            if (!self) {
                return;
            }
            {
                std::lock_guard lock(self->mutex_);
                self->app_ = nullptr;
                self->appInstance_ = nullptr;
                self->servicesFactory_ = nullptr;
                self->systemManagamentService_ = nullptr;
                self->appsManagementService_ = nullptr;
            }
            self->canLaunchApp_ = false;
            self->setDownloadingProgress(0.0);
            self->setPreparationProgress(0.0);
            self->setAppInstallationProgress(0.0);
            self->setResourcesPreparationProgress(0.0);
            self->setState(AFXInstallationStateIdle);
            if (callback) {
                callback();
            }
        });
    });
}

void AFXInstallationManager::restart() {
    ProgressBlock progressBlock;
    Callback callback;
    {
        std::lock_guard lock(mutex_);
        progressBlock = progressBlock_;
        callback = callback_;
    }
    stopInstallationWithCallback([weakSelf = weak_from_this(), progressBlock, callback] {
        if (auto self = weakSelf.lock()) {
            self->installWithProgressBlock(progressBlock, callback);
        }
    });
}

// MARK: - Launch

void AFXInstallationManager::launchWithCallback(std::function<void(bool)> callback) {
    if (state() != AFXInstallationStateReady) {
        callback(false);
        return;
    }
    QString sender =
        platform::Bundle::mainBundle()->objectForInfoDictionaryKey(QStringLiteral("CFBundleName")).toString();
    if (sender.isEmpty()) {
        sender = QStringLiteral("unknown");
    }
    const QUrl discoveryURL =
        afx_openAppsDiscoveryURLForCollection(std::nullopt, appID_, QStringLiteral("Installer"), sender);
    const bool clientOpened =
        platform::Workspace::openURLsWithApplicationAtURL({discoveryURL}, desktopClientURL());
    if (!canLaunchApp_) {
        callback(clientOpened);
        return;
    }

    auto openApp = [](const QString& path) {
        if (path.isEmpty()) {
            return;
        }
        // The client needs a moment to show its page before the app comes
        // up in front of it; nobody waits for this.
        const QString command =
            QStringLiteral("(/bin/sleep 2 && %1 %2)")
                .arg(shellQuoted(platform::Tools::path(QStringLiteral("/usr/bin/open"))), shellQuoted(path));
        platform::Task::launchedTask(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command});
    };

    std::shared_ptr<AFXAppInstance> instance;
    std::shared_ptr<AFXAppsManagementService> service;
    {
        std::lock_guard lock(mutex_);
        instance = appInstance_;
        service = appsManagementService_;
    }
    if (instance) {
        openApp(instance->URL() ? instance->URL()->path() : QString());
        callback(clientOpened);
        return;
    }
    if (!service) {
        callback(clientOpened);
        return;
    }
    service->fetchAppInstancesWithAppID(appID_, [openApp, callback, clientOpened](const auto& result) {
        result.onValue([&](const QList<std::shared_ptr<AFXAppInstance>>& instances) {
            for (const auto& candidate : instances) {
                if (candidate->kind() == AFXAppInstanceKind::Vendor) {
                    openApp(candidate->URL() ? candidate->URL()->path() : QString());
                    break;
                }
            }
        });
        callback(clientOpened);
    });
}
