#pragma once

// In-process stand-ins for the desktop client's management services, behind
// the interfaces the installation manager really calls. They answer on a
// utility queue, as the real ones do, record what they were asked, and can
// hold an answer back until a test releases it.

#include "SpecificTools/Model/AFXAppWorkflow.h"
#include "SpecificTools/Model/AFXCodedApp.h"
#include "SpecificTools/Model/AFXCustomer.h"
#include "SpecificTools/Model/AFXDefaultEnvironmentID.h"
#include "SpecificTools/Model/AFXEnvironment.h"
#include "SpecificTools/Model/AFXExecutableInfo.h"
#include "SpecificTools/Model/AFXVendorAppInstance.h"
#include "SpecificTools/Services/AFXServicesFactory.h"
#include "SpecificTools/Services/AppsManagement/AFXAppsManagementService.h"
#include "SpecificTools/Services/SystemManagement/AFXSystemManagementService.h"
#include "platform/DispatchQueue.h"
#include "platform/DistributedNotificationCenter.h"
#include "platform/KeyedArchiver.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QHash>
#include <QSet>
#include <QStringList>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>

namespace fakes {

inline void answer(std::function<void()> work) {
    platform::DispatchQueue::global(platform::QualityOfService::Utility)->async(std::move(work));
}

inline platform::Error serviceError(const QString& what) {
    return platform::Error(QStringLiteral("com.kestrel.fake"), 7,
                           {{platform::NSLocalizedDescriptionKey, what}});
}

// Calls in order, for checks on what the manager asked.
class CallLog {
public:
    void add(const QString& call) {
        std::lock_guard lock(mutex_);
        calls_.append(call);
    }
    QStringList calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    int count(const QString& call) const { return calls().count(call); }

private:
    mutable std::mutex mutex_;
    QStringList calls_;
};

// Gives the services' answers. A test can hold the next answer to a call
// (named as in the services' `gate_->answer` calls); the answer then waits
// until the test releases it and is given on the releasing thread, so that
// whatever the answer sets off synchronously has happened on return.
class AnswerGate : public std::enable_shared_from_this<AnswerGate> {
public:
    void hold(const QString& call) {
        std::lock_guard lock(mutex_);
        holding_.insert(call);
    }
    void answer(const QString& call, std::function<void()> work) {
        {
            std::lock_guard lock(mutex_);
            if (closed_) {
                return;
            }
            if (holding_.remove(call)) {
                held_.insert(call, std::move(work));
                changed_.notify_all();
                return;
            }
            ++running_;
        }
        fakes::answer([self = shared_from_this(), work = std::move(work)] {
            work();
            std::lock_guard lock(self->mutex_);
            --self->running_;
            self->changed_.notify_all();
        });
    }
    bool waitUntilHeld(const QString& call) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, kBound, [&] { return held_.contains(call); });
    }
    bool release(const QString& call) {
        std::function<void()> work;
        {
            std::unique_lock lock(mutex_);
            if (!changed_.wait_for(lock, kBound, [&] { return held_.contains(call); })) {
                return false;
            }
            work = held_.take(call);
        }
        work();
        return true;
    }
    // The end of a test: answers not given yet never will be, and those
    // under way have run on return, so none touches the test's root after
    // the root is gone. False if one is still running after the bound.
    bool close() {
        QHash<QString, std::function<void()>> dropped;
        std::unique_lock lock(mutex_);
        closed_ = true;
        dropped.swap(held_);
        return changed_.wait_for(lock, kBound, [&] { return running_ == 0; });
    }

private:
    static constexpr std::chrono::seconds kBound{30};
    std::mutex mutex_;
    std::condition_variable changed_;
    QSet<QString> holding_;
    QHash<QString, std::function<void()>> held_;
    int running_ = 0;
    bool closed_ = false;
};

// Answers, held or not, keep the service alive until they have run.
class SystemService : public AFXSystemManagementService, public std::enable_shared_from_this<SystemService> {
public:
    SystemService(std::shared_ptr<CallLog> log, std::shared_ptr<AnswerGate> gate)
        : log_(std::move(log)), gate_(std::move(gate)) {}

    bool signedIn = true;
    bool environmentFails = false;
    // The uninstaller the client names; empty: fetching it fails.
    QString uninstallerPath;
    QStringList uninstallerArguments;

    void fetchCurrentCustomerUpdated(bool updated, bool, const std::shared_ptr<AFXRunningApplication>&,
                                     std::int64_t presentationStyle, AFXCustomerCallback callback) override {
        log_->add(QStringLiteral("customer updated=%1 style=%2").arg(updated).arg(presentationStyle));
        gate_->answer(QStringLiteral("customer"), [this, self = shared_from_this(), callback] {
            callback(signedIn ? BRValueOrError<std::shared_ptr<AFXCustomer>>::makeWithValue(
                                    AFXCustomer::makeWithFields({}))
                              : BRValueOrError<std::shared_ptr<AFXCustomer>>::makeWithError(
                                    serviceError(QStringLiteral("nobody signed in"))));
        });
    }
    void fetchCurrentEnvironmentUpdated(bool, AFXEnvironmentCallback callback) override {
        log_->add(QStringLiteral("environment"));
        gate_->answer(QStringLiteral("environment"), [this, self = shared_from_this(), callback] {
            if (environmentFails) {
                callback(BRValueOrError<std::shared_ptr<AFXEnvironment>>::makeWithError(
                    serviceError(QStringLiteral("no environment"))));
                return;
            }
            callback(BRValueOrError<std::shared_ptr<AFXEnvironment>>::makeWithValue(
                AFXEnvironment::makeWithIdentifier(AFXDefaultEnvironmentID::make(), nullptr, {}, {}, {},
                                                   {})));
        });
    }
    void fetchUninstallerExecutableInfoWithType(std::int64_t type,
                                                AFXExecutableInfoCallback callback) override {
        log_->add(QStringLiteral("uninstaller type=%1").arg(type));
        gate_->answer(QStringLiteral("uninstaller"), [this, self = shared_from_this(), callback] {
            if (uninstallerPath.isEmpty()) {
                callback(BRValueOrError<std::shared_ptr<AFXExecutableInfo>>::makeWithError(
                    serviceError(QStringLiteral("no uninstaller"))));
                return;
            }
            callback(BRValueOrError<std::shared_ptr<AFXExecutableInfo>>::makeWithValue(
                AFXExecutableInfo::makeWithPath(uninstallerPath, uninstallerArguments)));
        });
    }

private:
    const std::shared_ptr<CallLog> log_;
    const std::shared_ptr<AnswerGate> gate_;
};

// The apps service of one environment. The app's installation is played
// as the client plays it: workflow notifications on the session bus (state
// 1 with a fraction, then 2), then the instance as the install call's answer.
class AppsService : public AFXAppsManagementService, public std::enable_shared_from_this<AppsService> {
public:
    AppsService(std::shared_ptr<CallLog> log, std::shared_ptr<AnswerGate> gate, std::int64_t appID,
                QString appPath)
        : log_(std::move(log)), gate_(std::move(gate)), appID_(appID), appPath_(std::move(appPath)) {}

    // The workflow state the fetch answers (2: already installed).
    std::int64_t workflowState = 0;
    // How many install calls fail before one succeeds.
    std::atomic<int> installFailures = 0;
    bool postInstalledNotification = true;
    // Places the app (and says so, unless told not to) before answering
    // the install, whose answer then comes as "install answer".
    bool installedBeforeAnswer = false;
    bool appFails = false;
    bool workflowFails = false;
    bool resourcesFail = false;
    bool instancesFail = false;

    std::shared_ptr<AFXAppWorkflow> workflow(std::int64_t state, double fraction) const {
        auto workflow = AFXAppWorkflow::makeWithAppID(appID_, QUrl::fromLocalFile(appPath_));
        workflow->setState(state);
        workflow->setFractionCompleted(fraction);
        return workflow;
    }
    void postWorkflow(std::int64_t state, double fraction) const {
        const auto changed = workflow(state, fraction);
        platform::DistributedNotificationCenter::defaultCenter()->postNotificationName(
            QStringLiteral("com.kestrel.app-workflow-changed"), changed->objectForNotification(),
            {{QStringLiteral("app_workflow"), *platform::KeyedArchiver::archivedDataWithRootObject(changed)}},
            true);
    }

    // The app as the client leaves it installed; opening it leaves a mark
    // in the root. A fake that cannot place the app says why, and its
    // install fails.
    bool placeApp() const {
        const QString folder = appPath_ + QStringLiteral("/Contents/MacOS");
        if (!QDir().mkpath(folder)) {
            ADD_FAILURE() << "the fake could not make " << folder.toStdString() << ": "
                          << std::strerror(errno);
            return false;
        }
        const auto write = [](const QString& path, const QByteArray& contents) {
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size()) {
                ADD_FAILURE() << "the fake could not write " << path.toStdString() << ": "
                              << file.errorString().toStdString();
                return false;
            }
            return true;
        };
        const QString executable = appPath_ + QStringLiteral("/Contents/MacOS/Orbit Notes");
        return write(appPath_ + QStringLiteral("/Contents/Info.plist"),
                     R"(<?xml version="1.0" encoding="UTF-8"?><plist version="1.0"><dict>
<key>CFBundleIdentifier</key><string>com.orbit.notes</string>
<key>CFBundleExecutable</key><string>Orbit Notes</string></dict></plist>)") &&
               write(executable, "#!/bin/sh\ntouch \"$KESTREL_ROOT/app-opened\"\n") &&
               QFile::setPermissions(executable, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    void fetchAppWithID(std::int64_t appID, AFXAppCallback callback) override {
        log_->add(QStringLiteral("app %1").arg(appID));
        gate_->answer(QStringLiteral("app"), [this, self = shared_from_this(), callback] {
            callback(appFails ? BRValueOrError<std::shared_ptr<AFXCodedApp>>::makeWithError(
                                    serviceError(QStringLiteral("no app")))
                              : BRValueOrError<std::shared_ptr<AFXCodedApp>>::makeWithValue(
                                    std::make_shared<AFXCodedApp>()));
        });
    }
    void fetchAppWorkflowForApp(const std::shared_ptr<AFXCodedApp>&,
                                AFXAppWorkflowCallback callback) override {
        log_->add(QStringLiteral("workflow"));
        gate_->answer(QStringLiteral("workflow"), [this, self = shared_from_this(), callback] {
            callback(workflowFails ? BRValueOrError<std::shared_ptr<AFXAppWorkflow>>::makeWithError(
                                         serviceError(QStringLiteral("no workflow")))
                                   : BRValueOrError<std::shared_ptr<AFXAppWorkflow>>::makeWithValue(
                                         workflow(workflowState, 0.0)));
        });
    }
    void installVendorApp(const std::shared_ptr<AFXCodedApp>&, bool shouldLaunch,
                          AFXAppInstanceCallback callback) override {
        log_->add(QStringLiteral("install launch=%1").arg(shouldLaunch));
        gate_->answer(QStringLiteral("install"), [this, self = shared_from_this(), callback] {
            postWorkflow(1, 0.5);
            if (installFailures > 0) {
                --installFailures;
                callback(BRValueOrError<std::shared_ptr<AFXAppInstance>>::makeWithError(
                    serviceError(QStringLiteral("install failed"))));
                return;
            }
            if (!placeApp()) {
                callback(BRValueOrError<std::shared_ptr<AFXAppInstance>>::makeWithError(
                    serviceError(QStringLiteral("could not place the app"))));
                return;
            }
            const auto placed = AFXVendorAppInstance::makeWithAppID(appID_, QUrl::fromLocalFile(appPath_));
            if (installedBeforeAnswer) {
                if (postInstalledNotification) {
                    postWorkflow(2, 1.0);
                }
                gate_->answer(QStringLiteral("install answer"), [callback, placed] {
                    callback(BRValueOrError<std::shared_ptr<AFXAppInstance>>::makeWithValue(placed));
                });
                return;
            }
            callback(BRValueOrError<std::shared_ptr<AFXAppInstance>>::makeWithValue(placed));
            if (postInstalledNotification) {
                postWorkflow(2, 1.0);
            }
        });
    }
    void stopInstallVendorApp(const std::shared_ptr<AFXCodedApp>&, AFXErrorCallback callback) override {
        log_->add(QStringLiteral("stop install"));
        gate_->answer(QStringLiteral("stop install"), [callback] { callback(std::nullopt); });
    }
    void prepareResourcesForApp(const std::shared_ptr<AFXCodedApp>&, std::uint64_t priority,
                                std::function<void(double)> reportHandler,
                                AFXResourcesCallback callback) override {
        log_->add(QStringLiteral("resources priority=%1").arg(priority));
        gate_->answer(
            QStringLiteral("resources"), [this, self = shared_from_this(), reportHandler, callback] {
                reportHandler(0.5);
                callback(resourcesFail
                             ? BRValueOrError<QList<std::shared_ptr<AFXCodedResource>>>::makeWithError(
                                   serviceError(QStringLiteral("no resources")))
                             : BRValueOrError<QList<std::shared_ptr<AFXCodedResource>>>::makeWithValue({}));
            });
    }
    void fetchAppInstancesWithAppID(std::int64_t appID, AFXAppInstancesCallback callback) override {
        log_->add(QStringLiteral("instances %1").arg(appID));
        gate_->answer(QStringLiteral("instances"), [this, self = shared_from_this(), callback] {
            if (instancesFail) {
                callback(BRValueOrError<QList<std::shared_ptr<AFXAppInstance>>>::makeWithError(
                    serviceError(QStringLiteral("no instances"))));
                return;
            }
            QList<std::shared_ptr<AFXAppInstance>> instances;
            if (auto instance = AFXVendorAppInstance::makeWithAppID(appID_, QUrl::fromLocalFile(appPath_))) {
                instances.append(instance);
            }
            callback(BRValueOrError<QList<std::shared_ptr<AFXAppInstance>>>::makeWithValue(instances));
        });
    }

private:
    const std::shared_ptr<CallLog> log_;
    const std::shared_ptr<AnswerGate> gate_;
    const std::int64_t appID_;
    const QString appPath_;
};

// Hands out the two services; the first `systemServiceFailures` fetches of
// the system service fail, and so do those of the apps service when
// `appsServiceFails`.
class Factory : public AFXServicesFactory {
public:
    Factory(std::shared_ptr<SystemService> system, std::shared_ptr<AppsService> apps,
            std::shared_ptr<AnswerGate> gate, int systemServiceFailures, bool appsServiceFails,
            const std::shared_ptr<AFXServicesFactoryDelegate>& delegate,
            const QList<AFXServiceClass>& classes, const QString& tierName)
        : AFXServicesFactory(classes, tierName, nullptr, delegate), system_(std::move(system)),
          apps_(std::move(apps)), gate_(std::move(gate)), systemServiceFailures_(systemServiceFailures),
          appsServiceFails_(appsServiceFails) {}

    void fetchSystemManagementServiceWithCallback(AFXSystemManagementServiceCallback callback) override {
        gate_->answer(QStringLiteral("system service"), [this, callback, self = shared_from_this()] {
            if (systemServiceFailures_ > 0) {
                --systemServiceFailures_;
                callback(BRValueOrError<std::shared_ptr<AFXSystemManagementService>>::makeWithError(
                    serviceError(QStringLiteral("no system service"))));
                return;
            }
            callback(BRValueOrError<std::shared_ptr<AFXSystemManagementService>>::makeWithValue(system_));
        });
    }
    void fetchAppsManagementServiceForEnvironmentID(const std::shared_ptr<AFXEnvironmentID>&,
                                                    AFXAppsManagementServiceCallback callback) override {
        gate_->answer(QStringLiteral("apps service"), [this, callback, self = shared_from_this()] {
            callback(appsServiceFails_
                         ? BRValueOrError<std::shared_ptr<AFXAppsManagementService>>::makeWithError(
                               serviceError(QStringLiteral("no apps service")))
                         : BRValueOrError<std::shared_ptr<AFXAppsManagementService>>::makeWithValue(apps_));
        });
    }

private:
    const std::shared_ptr<SystemService> system_;
    const std::shared_ptr<AppsService> apps_;
    const std::shared_ptr<AnswerGate> gate_;
    std::atomic<int> systemServiceFailures_;
    const bool appsServiceFails_;
};

} // namespace fakes
