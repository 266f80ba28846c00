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
#include "SpecificTools/Model/AFXVendorAppInstance.h"
#include "SpecificTools/Services/AppsManagement/AFXAppsManagementClient.h"
#include "SpecificTools/Services/AppsManagement/AFXAppsManagementService.h"
#include "SpecificTools/Services/SystemManagement/AFXSystemManagementClient.h"
#include "SpecificTools/Services/SystemManagement/AFXSystemManagementService.h"
#include "platform/Bundle.h"
#include "platform/DispatchGroup.h"
#include "platform/DistributedNotificationCenter.h"
#include "platform/FileManager.h"
#include "platform/KeyedUnarchiver.h"
#include "platform/LaunchServices.h"
#include "platform/Task.h"
#include "platform/Tools.h"
#include "platform/Workspace.h"
#include "support/BRAssertions.h"
#include "support/BRDispatch.h"
#include "support/BRLog.h"

using platform::Error;

namespace {

const QString kTierName = QStringLiteral("KestrelInstaller");
constexpr std::int64_t kWorkflowNotInstalling = 0;
constexpr std::int64_t kWorkflowInstalling = 1;
constexpr std::int64_t kWorkflowInstalled = 2;
constexpr std::uint64_t kResourcesPriority = 2;
constexpr std::int64_t kClientUninstallerType = 1;

bool isFailure(std::int64_t state) {
    return state == AFXInstallationStateDownloadFailed || state == AFXInstallationStateServicesFailed ||
           state == AFXInstallationStateAppInstallationFailed;
}

// Quotes a path for the shell, so that spaces and quotes stay part of it.
QString shellQuoted(const QString& text) {
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QLatin1String("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

// Launches a program and calls `exited` from the thread that notices its
// exit, so that no queue waits for it; answers the launch error, if any.
// What follows does not depend on how the program ended, but an end other
// than a clean exit is logged: it explains what goes wrong next.
std::optional<Error> launchThen(const QString& path, const QStringList& arguments,
                                std::function<void()> exited) {
    auto task = platform::Task::make();
    task->setLaunchPath(path);
    task->setArguments(arguments);
    task->setTerminationHandler([exited = std::move(exited), path, arguments](platform::Task& ended) {
        if (ended.terminationReason() == platform::Task::TerminationReason::UncaughtSignal) {
            BRLogError("%@ %@ was ended by signal %d", path, arguments.join(QLatin1Char(' ')),
                       ended.terminationStatus());
        } else if (ended.terminationStatus() != 0) {
            BRLogError("%@ %@ exited with status %d", path, arguments.join(QLatin1Char(' ')),
                       ended.terminationStatus());
        }
        exited();
    });
    Error error(QString(), 0);
    if (!task->launch(&error)) {
        return error;
    }
    return std::nullopt;
}

// Takes a placed app away; the desktop must not go on listing it once it is gone.
void removeApp(const QString& path) {
    platform::LaunchServices::unregisterURL(QUrl::fromLocalFile(path));
    platform::FileManager::removeItem(path);
}

} // namespace

AFXInstallationManager::AFXInstallationManager(std::int64_t appID)
    : appID_(appID), kestrelWasInstalledBefore_(AFXCheckIfAppWithBundleIDInstalledIgnoringPaths(
                         AFXDesktopClientBundleID, AFXDetectIgnoredPathsForDesktopClient())),
      servicesFactoryMaker_([](const QList<AFXServiceClass>& servicesClasses, const QString& tierName,
                               const std::shared_ptr<AFXServicesFactoryDelegate>& delegate) {
          return AFXServicesFactory::makeWithServicesClasses(servicesClasses, tierName, delegate);
      }),
      internalQueue_(BRBuildInternalDispatchQueue(QStringLiteral("installation-manager-internal"))),
      variablesQueue_(BRBuildInternalDispatchQueue(QStringLiteral("installation-manager-variables"))),
      notificationQueue_(BRBuildInternalDispatchQueue(QStringLiteral("installation-manager-notifications"))) {
}

std::shared_ptr<AFXInstallationManager> AFXInstallationManager::makeWithAppID(std::int64_t appID) {
    return std::shared_ptr<AFXInstallationManager>(new AFXInstallationManager(appID));
}

AFXInstallationManager::~AFXInstallationManager() {
    // A download under way holds its workflow through its session until it
    // is stopped; nothing else would end it once the manager is gone.
    if (downloaderWorflow_) {
        downloaderWorflow_->stop();
    }
    unbindAppInstallationProgress();
    // Only a manager that observed has a center to leave.
    if (workflowObservers_.isEmpty()) {
        return;
    }
    if (auto center = platform::DistributedNotificationCenter::defaultCenter()) {
        for (const auto& observer : workflowObservers_) {
            center->removeObserver(observer);
        }
    }
}

void AFXInstallationManager::setServicesFactoryMaker(ServicesFactoryMaker maker) {
    internalQueue_->async([weakSelf = weak_from_this(), maker = std::move(maker)] {
        if (auto self = weakSelf.lock()) {
            self->servicesFactoryMaker_ = maker;
        }
    });
}

// MARK: - Runs

template <typename Handler> auto AFXInstallationManager::inRun(Run run, Handler handler) {
    return [weakSelf = weak_from_this(), run, handler = std::move(handler)](const auto&... answer) {
        auto self = weakSelf.lock();
        if (!self) {
            return;
        }
        self->internalQueue_->async([weakSelf, run, handler, ... answer = answer] {
            auto self = weakSelf.lock();
            if (self && self->run_ == run) {
                handler(*self, answer...);
            }
        });
    };
}

void AFXInstallationManager::onDownloadReport(AFXDownloaderWorkflow& workflow,
                                              std::function<void(AFXInstallationManager&, Run)> step) {
    internalQueue_->async([weakSelf = weak_from_this(), weakWorkflow = workflow.weak_from_this(),
                           step = std::move(step)] {
        auto self = weakSelf.lock();
        auto reporting = weakWorkflow.lock();
        if (self && reporting && reporting == self->downloaderWorflow_ && self->downloadRun_ == self->run_) {
            step(*self, self->downloadRun_);
        }
    });
}

void AFXInstallationManager::assertOnInternalQueue() const {
    if (!internalQueue_->isCurrent()) {
        BRHandleAssertionFailure(QStringLiteral("The installation flow runs on its internal queue"));
    }
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
    QUrl url;
    internalQueue_->sync([&] { url = desktopClientURL_; });
    return url;
}

void AFXInstallationManager::reportProgress() {
    assertOnInternalQueue();
    if (progressBlock_) {
        progressBlock_(state(), progress());
    }
}

void AFXInstallationManager::finishWithError(const std::optional<Error>& error) {
    assertOnInternalQueue();
    if (callback_) {
        callback_(error ? *error : afx_didFailToInstallVendorAppForUnknownReason());
    }
}

void AFXInstallationManager::finishWithSuccess() {
    assertOnInternalQueue();
    if (callback_) {
        callback_(std::nullopt);
    }
}

void AFXInstallationManager::fail(AFXInstallationState state, const std::optional<Error>& error) {
    setState(state);
    finishWithError(error);
}

// MARK: - Installing

void AFXInstallationManager::installWithProgressBlock(ProgressBlock progressBlock, Callback callback) {
    internalQueue_->async([weakSelf = weak_from_this(), progressBlock = std::move(progressBlock),
                           callback = std::move(callback)] {
        if (auto self = weakSelf.lock()) {
            self->beginRun(progressBlock, callback);
        }
    });
}

void AFXInstallationManager::beginRun(ProgressBlock progressBlock, Callback callback) {
    assertOnInternalQueue();
    // One flow per run: while a run goes on (it has not failed), or while
    // an install waits for a stop, a further install is refused.
    const bool runGoesOn = downloaderWorflow_ && downloadRun_ == run_ && !isFailure(state());
    if (runGoesOn || installAfterStops_) {
        if (callback) {
            callback(afx_cancel());
        }
        return;
    }
    // A run begun while a stop is under way would have what it sets up
    // cleared by the stop's reset: it begins once the stop is done.
    if (stopsUnderWay_ > 0) {
        installAfterStops_ = {std::move(progressBlock), std::move(callback)};
        return;
    }
    progressBlock_ = std::move(progressBlock);
    callback_ = std::move(callback);
    startNewDownload();
}

void AFXInstallationManager::startNewDownload() {
    assertOnInternalQueue();
    downloaderWorflow_ = AFXDownloaderWorkflow::makeWithDelegate(shared_from_this());
    downloadRun_ = run_;
    downloaderWorflow_->start();
}

void AFXInstallationManager::downloaderDidStarted(AFXDownloaderWorkflow& workflow) {
    onDownloadReport(workflow, [](AFXInstallationManager& self, Run) {
        self.setDownloadingProgress(0.0);
        self.setState(AFXInstallationStateDownloading);
    });
}

void AFXInstallationManager::downloaderDidUpdateDownloadingProgress(AFXDownloaderWorkflow& workflow,
                                                                    double progress) {
    onDownloadReport(
        workflow, [progress](AFXInstallationManager& self, Run) { self.setDownloadingProgress(progress); });
}

void AFXInstallationManager::downloaderDidFinishDownloadingToURL(AFXDownloaderWorkflow& workflow,
                                                                 const QUrl&) {
    onDownloadReport(workflow, [](AFXInstallationManager& self, Run) {
        self.setDownloadingProgress(1.0);
        self.setState(AFXInstallationStateDownloaded);
    });
}

void AFXInstallationManager::downloaderDidFinishUnarchivingToURL(AFXDownloaderWorkflow& workflow,
                                                                 const QUrl& url) {
    onDownloadReport(workflow, [url](AFXInstallationManager& self, Run run) {
        AFXRemoveFromQuarantine(url.toLocalFile());
        self.continueWithDesktopClientInstanceAtURL(url, run);
    });
}

void AFXInstallationManager::downloaderWillRestartDownloading(AFXDownloaderWorkflow& workflow,
                                                              std::uint64_t) {
    onDownloadReport(workflow, [](AFXInstallationManager& self, Run) {
        self.setDownloadingProgress(0.0);
        self.setState(AFXInstallationStateDownloading);
    });
}

void AFXInstallationManager::downloaderDidFailWithError(AFXDownloaderWorkflow& workflow,
                                                        const std::optional<Error>& error) {
    onDownloadReport(workflow, [error](AFXInstallationManager& self, Run) {
        self.fail(AFXInstallationStateDownloadFailed, error);
    });
}

void AFXInstallationManager::continueWithDesktopClientInstanceAtURL(const QUrl& url, Run run) {
    assertOnInternalQueue();
    setPreparationProgress(0.1);
    desktopClientURL_ = url;
    const auto bundle = platform::Bundle::bundleWithURL(url);
    if (!bundle) {
        fail(AFXInstallationStateDownloadFailed,
             afx_makeErrorOfMissingObjectOfKind(QStringLiteral("Kestrel Bundle")));
        return;
    }
    // The silent run is awaited through its exit, not by blocking a queue:
    // a stop meanwhile must neither wait for the client nor let its exit
    // carry the stopped run on. A client that cannot be started is a
    // placement failure like a bundle that cannot be opened.
    auto exited = inRun(run, [run](AFXInstallationManager& self) { self.continueAfterSilentRun(run); });
    if (std::optional<Error> launchError =
            launchThen(bundle->executablePath(), {QStringLiteral("-silentLaunch")}, exited)) {
        BRLogError("Could not run the desktop client at %@ (%@)", url, *launchError);
        fail(AFXInstallationStateDownloadFailed, launchError);
    }
}

void AFXInstallationManager::continueAfterSilentRun(Run run) {
    assertOnInternalQueue();
    setPreparationProgress(0.6);
    servicesFactory_ = servicesFactoryMaker_(
        {AFXSystemManagementClient::serviceClass(), AFXAppsManagementClient::serviceClass()}, kTierName,
        shared_from_this());
    setState(AFXInstallationStateClientLaunched);
    servicesFactory_->fetchSystemManagementServiceWithCallback(
        inRun(run, [run](AFXInstallationManager& self, const auto& result) {
            result.onValue([&](const std::shared_ptr<AFXSystemManagementService>& service) {
                self.systemManagamentService_ = service;
                self.continueWithSystemManagementService(service, run);
            });
            result.onError([&](const Error& error) { self.fail(AFXInstallationStateServicesFailed, error); });
        }));
}

void AFXInstallationManager::continueWithSystemManagementService(
    const std::shared_ptr<AFXSystemManagementService>& service, Run run) {
    assertOnInternalQueue();
    setPreparationProgress(0.7);
    service->fetchCurrentCustomerUpdated(true, false, nullptr, 1,
                                         inRun(run, [](AFXInstallationManager& self, const auto& result) {
                                             self.canLaunchApp_ = result.hasValue();
                                         }));
    service->fetchCurrentEnvironmentUpdated(
        false, inRun(run, [run](AFXInstallationManager& self, const auto& result) {
            result.onError([&](const Error& error) { self.fail(AFXInstallationStateServicesFailed, error); });
            result.onValue([&](const std::shared_ptr<AFXEnvironment>& environment) {
                self.servicesFactory_->fetchAppsManagementServiceForEnvironmentID(
                    environment->identifier(),
                    self.inRun(run, [run](AFXInstallationManager& self, const auto& result) {
                        result.onValue([&](const std::shared_ptr<AFXAppsManagementService>& service) {
                            self.appsManagementService_ = service;
                            self.continueWithAppsManagementService(service, run);
                        });
                        result.onError([&](const Error& error) {
                            self.fail(AFXInstallationStateServicesFailed, error);
                        });
                    }));
            });
        }));
}

void AFXInstallationManager::continueWithAppsManagementService(
    const std::shared_ptr<AFXAppsManagementService>& service, Run run) {
    assertOnInternalQueue();
    setPreparationProgress(1.0);
    setAppInstallationProgress(0.0);
    service->fetchAppWithID(
        appID_, inRun(run, [run](AFXInstallationManager& self, const auto& result) {
            result.onError([&](const Error& error) { self.fail(AFXInstallationStateServicesFailed, error); });
            result.onValue([&](const std::shared_ptr<AFXCodedApp>& app) {
                self.app_ = app;
                // Left without a continuation, a failed workflow fetch would
                // leave the window waiting for ever; it fails like the other
                // fetches of this stage.
                self.appsManagementService_->fetchAppWorkflowForApp(
                    app, self.inRun(run, [run](AFXInstallationManager& self, const auto& result) {
                        result.onError([&](const Error& error) {
                            self.fail(AFXInstallationStateServicesFailed, error);
                        });
                        result.onValue([&](const std::shared_ptr<AFXAppWorkflow>& workflow) {
                            self.continueWithAppWorkflow(workflow, run);
                        });
                    }));
            });
        }));
}

void AFXInstallationManager::continueWithAppWorkflow(const std::shared_ptr<AFXAppWorkflow>& workflow,
                                                     Run run) {
    assertOnInternalQueue();
    // Observed before the fetched workflow is acted on, so that a change the
    // client posts right after its answer is not missed.
    observeWorkflowNotificationsForObject(workflow->objectForNotification());
    workflowRun_ = run;
    setAppWorkflow(workflow, run);
    if (workflow->state() == kWorkflowInstalled) {
        return;
    }
    setState(AFXInstallationStateInstallingApp);
    appInstallRequested_ = true;
    requestedAppURL_ = workflow->appURL();
    appsManagementService_->installVendorApp(
        app_, false, inRun(run, [](AFXInstallationManager& self, const auto& result) {
            result.onValue(
                [&](const std::shared_ptr<AFXAppInstance>& instance) { self.appInstance_ = instance; });
            // Once the workflow said the app is installed, the run has moved
            // on to its resources and a late failure of the call cannot undo that.
            result.onError([&](const Error& error) {
                if (self.workflowRun_) {
                    self.fail(AFXInstallationStateAppInstallationFailed, error);
                }
            });
        }));
}

void AFXInstallationManager::observeWorkflowNotificationsForObject(const QString& object) {
    assertOnInternalQueue();
    // One observation per workflow object: passing through this step again
    // (a retry, a restart) must not deliver each change twice.
    if (observedWorkflowObjects_.contains(object)) {
        return;
    }
    observedWorkflowObjects_.insert(object);
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
    workflowObservers_.append(observer);
}

void AFXInstallationManager::appWorkflowDidChange(const platform::Notification& notification) {
    const platform::Value data =
        notification.userInfo().value(AFXAppsManagementAppWorkflowChangedNotificationWorkflowKey);
    if (data.kind() != platform::Value::Kind::Data) {
        return;
    }
    auto workflow = platform::KeyedUnarchiver::unarchivedObjectOfClass<AFXAppWorkflow>(data.toData());
    if (!workflow) {
        return;
    }
    // A change means something only to a run that follows the app's
    // workflow: none before its workflow fetch answered, after its
    // resources began or after a stop. A run whose app installation failed
    // has given its outcome: it still follows the workflow's progress, but
    // only a retry carries it on to the resources.
    internalQueue_->async([weakSelf = weak_from_this(), workflow] {
        auto self = weakSelf.lock();
        if (!self || self->workflowRun_ != self->run_.load()) {
            return;
        }
        if (workflow->state() == kWorkflowInstalled &&
            self->state() == AFXInstallationStateAppInstallationFailed) {
            return;
        }
        self->setAppWorkflow(workflow, *self->workflowRun_);
    });
}

void AFXInstallationManager::bindAppInstallationProgress(const std::shared_ptr<AFXAppWorkflow>& workflow) {
    assertOnInternalQueue();
    // The installation progress takes the workflow's value now and follows
    // it from then on, on the internal queue whoever changes the workflow.
    bindingToken_ =
        workflow->addObserver(QStringLiteral("fractionCompleted"),
                              [weakSelf = weak_from_this(),
                               weakWorkflow = std::weak_ptr<AFXAppWorkflow>(workflow)](const QString&) {
                                  auto self = weakSelf.lock();
                                  if (!self) {
                                      return;
                                  }
                                  self->internalQueue_->async([weakSelf, weakWorkflow] {
                                      auto self = weakSelf.lock();
                                      auto workflow = weakWorkflow.lock();
                                      if (self && workflow && workflow == self->boundWorkflow_) {
                                          self->setAppInstallationProgress(workflow->fractionCompleted());
                                      }
                                  });
                              });
    boundWorkflow_ = workflow;
    setAppInstallationProgress(workflow->fractionCompleted());
}

void AFXInstallationManager::unbindAppInstallationProgress() {
    if (auto bound = std::exchange(boundWorkflow_, nullptr)) {
        bound->removeObserver(bindingToken_);
    }
}

void AFXInstallationManager::setAppWorkflow(const std::shared_ptr<AFXAppWorkflow>& workflow, Run run) {
    assertOnInternalQueue();
    switch (workflow->state()) {
    case kWorkflowNotInstalling:
        unbindAppInstallationProgress();
        if (state() == AFXInstallationStateAppInstallationFailed) {
            setAppInstallationProgress(0.0);
        }
        break;
    case kWorkflowInstalling:
        unbindAppInstallationProgress();
        variablesQueue_->barrierAsync([weakSelf = weak_from_this(), workflow] {
            if (auto self = weakSelf.lock()) {
                self->appWorkflow_ = workflow;
            }
        });
        bindAppInstallationProgress(workflow);
        break;
    case kWorkflowInstalled:
        // The client may say the app is in place before its answer to the
        // install arrives: a stop in between must still find the app.
        if (appInstallRequested_ && !appInstance_) {
            appInstance_ = AFXVendorAppInstance::makeWithAppID(workflow->appID(), workflow->appURL());
        }
        setAppInstallationProgress(1.0);
        prepareResourcesForApp(run);
        break;
    default:
        break;
    }
}

void AFXInstallationManager::prepareResourcesForApp(Run run) {
    assertOnInternalQueue();
    // The app is installed once per run, whether the workflow fetch or a
    // notification (or both, or a repeated one) says so.
    workflowRun_.reset();
    setState(AFXInstallationStatePreparingResources);
    appsManagementService_->prepareResourcesForApp(
        app_, kResourcesPriority,
        inRun(run, [](AFXInstallationManager& self,
                      double fraction) { self.setResourcesPreparationProgress(fraction); }),
        inRun(run, [](AFXInstallationManager& self, const auto&) {
            self.setState(AFXInstallationStateReady);
            self.setResourcesPreparationProgress(1.0);
            self.finishWithSuccess();
        }));
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
    // A retry asked before a stop, or while one is under way, belongs to
    // the run the stop ends.
    internalQueue_->async([self = shared_from_this(), run = run_.load()] {
        if (self->run_ != run || self->stopsUnderWay_ > 0) {
            return;
        }
        switch (self->state()) {
        case AFXInstallationStateAppInstallationFailed:
            if (self->appsManagementService_) {
                self->continueWithAppsManagementService(self->appsManagementService_, run);
            }
            break;
        case AFXInstallationStateServicesFailed:
            // The failed attempt's services go with it: the retry makes its
            // own, and a stop meanwhile must not reach the client through
            // them while the client runs silently once more.
            self->servicesFactory_ = nullptr;
            self->systemManagamentService_ = nullptr;
            self->appsManagementService_ = nullptr;
            self->continueWithDesktopClientInstanceAtURL(self->desktopClientURL_, run);
            break;
        case AFXInstallationStateDownloadFailed:
            self->startNewDownload();
            break;
        default:
            self->restartRun();
            break;
        }
    });
}

void AFXInstallationManager::stopInstallationWithCallback(std::function<void()> callback) {
    ++run_;
    internalQueue_->async([weakSelf = weak_from_this(), callback = std::move(callback)] {
        if (auto self = weakSelf.lock()) {
            self->stopRun(callback);
        }
    });
}

void AFXInstallationManager::stopRun(std::function<void()> callback) {
    assertOnInternalQueue();
    ++stopsUnderWay_;
    progressBlock_ = nullptr;
    callback_ = nullptr;
    // An install asked before this stop does not outlive it.
    if (auto parked = std::exchange(installAfterStops_, std::nullopt); parked && parked->second) {
        parked->second(afx_cancel());
    }
    // A stopped run follows no workflow: a change posted later must not
    // move the installation progress.
    unbindAppInstallationProgress();

    // The transfer must have ended, and its partial file be gone, before
    // the stop counts as done: an owner may quit right after it.
    auto group = platform::DispatchGroup::make();
    if (downloaderWorflow_) {
        group->enter();
        downloaderWorflow_->stop([group] { group->leave(); });
    }
    // An install that ended just as this stop came may have placed the app
    // with both its answer and its "installed" notice dropped as late: once
    // the client has stopped the install, an app where it was to go is ours.
    std::optional<QString> appPlacedUnheard;
    if (appInstallRequested_ && !appInstance_ && requestedAppURL_.isLocalFile()) {
        appPlacedUnheard = requestedAppURL_.toLocalFile();
    }
    if (appsManagementService_ && app_) {
        group->enter();
        appsManagementService_->stopInstallVendorApp(app_, [group, appPlacedUnheard](const auto&) {
            if (appPlacedUnheard) {
                removeApp(*appPlacedUnheard);
            }
            group->leave();
        });
    }
    if (appInstance_ && appInstance_->URL()) {
        removeApp(appInstance_->URL()->path());
    }
    if (systemManagamentService_ && !kestrelWasInstalledBefore_) {
        group->enter();
        systemManagamentService_->fetchUninstallerExecutableInfoWithType(
            kClientUninstallerType, [group](const auto& result) {
                if (!result.hasValue()) {
                    group->leave();
                    return;
                }
                const auto info = *result.value();
                if (std::optional<Error> error =
                        launchThen(info->path(), info->arguments(), [group] { group->leave(); })) {
                    BRLogError("Could not run the desktop client's uninstaller (%@)", *error);
                    group->leave();
                }
            });
    }

    group->notify(internalQueue_, [weakSelf = weak_from_this(), callback] {
        auto self = weakSelf.lock();
        if (!self) {
            return;
        }
        self->app_ = nullptr;
        self->appInstance_ = nullptr;
        self->appInstallRequested_ = false;
        self->requestedAppURL_ = QUrl();
        self->servicesFactory_ = nullptr;
        self->systemManagamentService_ = nullptr;
        self->appsManagementService_ = nullptr;
        self->canLaunchApp_ = false;
        self->setDownloadingProgress(0.0);
        self->setPreparationProgress(0.0);
        self->setAppInstallationProgress(0.0);
        self->setResourcesPreparationProgress(0.0);
        self->setState(AFXInstallationStateIdle);
        --self->stopsUnderWay_;
        if (callback) {
            callback();
        }
        if (self->stopsUnderWay_ == 0 && self->installAfterStops_) {
            auto [nextProgressBlock, nextCallback] = *std::exchange(self->installAfterStops_, std::nullopt);
            self->beginRun(std::move(nextProgressBlock), std::move(nextCallback));
        }
    });
}

void AFXInstallationManager::restart() {
    internalQueue_->async([weakSelf = weak_from_this(), run = run_.load()] {
        auto self = weakSelf.lock();
        if (self && self->run_ == run) {
            self->restartRun();
        }
    });
}

void AFXInstallationManager::restartRun() {
    assertOnInternalQueue();
    // The install follows only if no other stop came after this one.
    const Run run = ++run_;
    stopRun([weakSelf = weak_from_this(), run, progressBlock = progressBlock_, callback = callback_] {
        auto self = weakSelf.lock();
        if (self && self->run_ == run) {
            self->beginRun(progressBlock, callback);
        }
    });
}

// MARK: - Launch

void AFXInstallationManager::launchWithCallback(std::function<void(bool)> callback) {
    if (state() != AFXInstallationStateReady) {
        callback(false);
        return;
    }
    QUrl clientURL;
    std::shared_ptr<AFXAppInstance> instance;
    std::shared_ptr<AFXAppsManagementService> service;
    internalQueue_->sync([&] {
        clientURL = desktopClientURL_;
        instance = appInstance_;
        service = appsManagementService_;
    });
    QString sender =
        platform::Bundle::mainBundle()->objectForInfoDictionaryKey(QStringLiteral("CFBundleName")).toString();
    if (sender.isEmpty()) {
        sender = QStringLiteral("unknown");
    }
    const QUrl discoveryURL =
        afx_openAppsDiscoveryURLForCollection(std::nullopt, appID_, QStringLiteral("Installer"), sender);
    const bool clientOpened = platform::Workspace::openURLsWithApplicationAtURL({discoveryURL}, clientURL);
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
