#pragma once

#include "AFXDownloaderWorkflow.h"
#include "AFXInstallationState.h"
#include "SpecificTools/Services/AFXServicesFactory.h"
#include "platform/DispatchQueue.h"
#include "platform/DistributedNotificationCenter.h"
#include "platform/Error.h"
#include "platform/Object.h"

#include <QSet>
#include <QUrl>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

class AFXAppInstance;
class AFXAppWorkflow;
class AFXAppsManagementService;
class AFXCodedApp;
class AFXSystemManagementService;

// Drives the installation of one store app from nothing to ready-to-launch:
// downloads and places the desktop client, runs it once silently, connects
// to its management services, has it install the app and prepare the app's
// resources, and reports (state, overall progress) all the way. A failure
// can be retried from the stage that failed; a stop undoes what was done.
class AFXInstallationManager : public AFXDownloaderDelegate,
                               public AFXServicesFactoryDelegate,
                               public std::enable_shared_from_this<AFXInstallationManager> {
public:
    // Called on the manager's internal queue.
    using ProgressBlock = std::function<void(std::int64_t state, double progress)>;
    // Called on the manager's internal queue; no error means success.
    using Callback = std::function<void(const std::optional<platform::Error>& error)>;
    // Where the manager gets its services factory from; the default makes
    // the framework's own.
    using ServicesFactoryMaker = std::function<std::shared_ptr<AFXServicesFactory>(
        const QList<AFXServiceClass>& servicesClasses, const QString& tierName,
        const std::shared_ptr<AFXServicesFactoryDelegate>& delegate)>;

    static std::shared_ptr<AFXInstallationManager> makeWithAppID(std::int64_t appID);
    ~AFXInstallationManager() override;

    void setServicesFactoryMaker(ServicesFactoryMaker maker);

    // Starts a new download of the client; returns at once. Refused, with
    // a cancellation error, while another installation goes on (a failed
    // one does not).
    void installWithProgressBlock(ProgressBlock progressBlock, Callback callback);
    // Resumes after a reported failure, at the stage that failed.
    void retryAfterError();
    // Ends the current run and undoes what it did; the block runs once
    // everything is reset and nothing of that run can act any more. An
    // install still waiting for an earlier stop ends with a cancellation.
    void stopInstallationWithCallback(std::function<void()> callback);
    void restart();
    // Opens the client's page of the app, and the app itself when a customer
    // is signed in; answers whether the client was opened.
    void launchWithCallback(std::function<void(bool clientOpened)> callback);

    std::int64_t appID() const { return appID_; }
    bool kestrelWasInstalledBefore() const { return kestrelWasInstalledBefore_; }
    bool canLaunchApp() const { return canLaunchApp_; }
    std::int64_t state() const;
    // 0.3 × download + 0.1 × preparation + 0.5 × app installation + 0.1 × resources.
    double progress() const;
    double downloadingProgress() const;
    double preparationProgress() const;
    double appInstallationProgress() const;
    double resourcesPreparationProgress() const;
    // Read through the internal queue, like launching.
    QUrl desktopClientURL() const;

    // The download workflow's reports.
    void downloaderDidStarted(AFXDownloaderWorkflow&) override;
    void downloaderDidUpdateDownloadingProgress(AFXDownloaderWorkflow&, double progress) override;
    void downloaderDidFinishDownloadingToURL(AFXDownloaderWorkflow&, const QUrl&) override;
    void downloaderDidFinishUnarchivingToURL(AFXDownloaderWorkflow&, const QUrl& url) override;
    void downloaderWillRestartDownloading(AFXDownloaderWorkflow&, std::uint64_t) override;
    void downloaderDidFailWithError(AFXDownloaderWorkflow&,
                                    const std::optional<platform::Error>& error) override;

    // The services factory's questions.
    void servicesFactoryFetchCurrentEnvironment(
        AFXServicesFactory& factory, std::function<void(std::shared_ptr<AFXEnvironment>)> callback) override;
    void
    servicesFactoryFetchCurrentCustomer(AFXServicesFactory& factory,
                                        std::function<void(std::shared_ptr<AFXCustomer>)> callback) override;

private:
    explicit AFXInstallationManager(std::int64_t appID);

    // A run lasts from an install to the next stop. Every step of the flow
    // carries the run it belongs to and acts only while that run is the
    // current one, so nothing of a stopped run can act after the stop.
    using Run = std::uint64_t;

    // Wraps `handler` into an answer handler that moves the answer onto the
    // internal queue and hands it over only while `run` is current.
    template <typename Handler> auto inRun(Run run, Handler handler);
    // Runs `step` on the internal queue if `workflow` is the download of
    // the current run.
    void onDownloadReport(AFXDownloaderWorkflow& workflow,
                          std::function<void(AFXInstallationManager&, Run)> step);
    void assertOnInternalQueue() const;

    // Installs on the internal queue: begins a run, waits for the stops
    // under way, or refuses with a cancellation while another run goes on.
    void beginRun(ProgressBlock progressBlock, Callback callback);
    void startNewDownload();
    void continueWithDesktopClientInstanceAtURL(const QUrl& url, Run run);
    void continueAfterSilentRun(Run run);
    void continueWithSystemManagementService(const std::shared_ptr<AFXSystemManagementService>& service,
                                             Run run);
    void continueWithAppsManagementService(const std::shared_ptr<AFXAppsManagementService>& service, Run run);
    void continueWithAppWorkflow(const std::shared_ptr<AFXAppWorkflow>& workflow, Run run);
    void observeWorkflowNotificationsForObject(const QString& object);
    void appWorkflowDidChange(const platform::Notification& notification);
    void setAppWorkflow(const std::shared_ptr<AFXAppWorkflow>& workflow, Run run);
    void bindAppInstallationProgress(const std::shared_ptr<AFXAppWorkflow>& workflow);
    void unbindAppInstallationProgress();
    void prepareResourcesForApp(Run run);
    void finishWithError(const std::optional<platform::Error>& error);
    void finishWithSuccess();
    void reportProgress();
    void fail(AFXInstallationState state, const std::optional<platform::Error>& error);
    void stopRun(std::function<void()> callback);
    void restartRun();

    void setState(std::int64_t state);
    void setDownloadingProgress(double value);
    void setPreparationProgress(double value);
    void setAppInstallationProgress(double value);
    void setResourcesPreparationProgress(double value);
    void writeProgress(double AFXInstallationManager::*field, double value);
    double readProgress(double AFXInstallationManager::*field) const;

    // Variables queue: read with a synchronous call on it, written with
    // barrier blocks on it.
    std::int64_t state_ = AFXInstallationStateIdle;
    double downloadingProgress_ = 0.0;
    double preparationProgress_ = 0.0;
    double appInstallationProgress_ = 0.0;
    double resourcesPreparationProgress_ = 0.0;
    std::shared_ptr<AFXAppWorkflow> appWorkflow_;

    const std::int64_t appID_;
    const bool kestrelWasInstalledBefore_;
    // Written on the internal queue, read from anywhere.
    std::atomic<bool> canLaunchApp_ = false;
    // The current run. A stop moves it on at once, on the stopping thread,
    // so that answers handled after the stop was asked are already stale;
    // it is compared on the internal queue, where every step acts.
    std::atomic<Run> run_ = 0;

    // Internal queue: everything below is read and written only there (the
    // destructor aside). Progress reports and outcomes are delivered there.
    ProgressBlock progressBlock_;
    Callback callback_;
    ServicesFactoryMaker servicesFactoryMaker_;
    // Stops begun and not yet done, and an install asked meanwhile.
    int stopsUnderWay_ = 0;
    std::optional<std::pair<ProgressBlock, Callback>> installAfterStops_;
    std::shared_ptr<AFXDownloaderWorkflow> downloaderWorflow_;
    // The run `downloaderWorflow_` was started in.
    Run downloadRun_ = 0;
    // The run that follows the app's workflow: set when its workflow fetch
    // answers, cleared when resource preparation begins. Workflow
    // notifications act only while it is the current run.
    std::optional<Run> workflowRun_;
    std::shared_ptr<AFXCodedApp> app_;
    std::shared_ptr<AFXAppInstance> appInstance_;
    // This run asked the client to install the app: the app in place is
    // then ours to take back on a stop.
    bool appInstallRequested_ = false;
    // Where the requested install puts the app, as its workflow said.
    QUrl requestedAppURL_;
    QUrl desktopClientURL_;
    std::shared_ptr<AFXServicesFactory> servicesFactory_;
    std::shared_ptr<AFXSystemManagementService> systemManagamentService_;
    std::shared_ptr<AFXAppsManagementService> appsManagementService_;
    // The workflow the installation progress follows, and the observation.
    std::shared_ptr<AFXAppWorkflow> boundWorkflow_;
    platform::Object::ObserverToken bindingToken_ = 0;
    // Notification objects observed so far, and the observations.
    QSet<QString> observedWorkflowObjects_;
    QList<std::shared_ptr<platform::DistributedNotificationCenter::ObserverToken>> workflowObservers_;

    const std::shared_ptr<platform::DispatchQueue> internalQueue_;
    const std::shared_ptr<platform::DispatchQueue> variablesQueue_;
    // Workflow notifications arrive here, in the order they were posted,
    // and move on to the internal queue.
    const std::shared_ptr<platform::DispatchQueue> notificationQueue_;
};
