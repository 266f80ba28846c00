#pragma once

#include "SpecificTools/Services/SystemManagement/AFXSystemManagementServer.h"
#include "platform/DispatchQueue.h"

#include <QHash>
#include <QUuid>

#include <memory>

class KestrelCustomerKeeper;
class KestrelEnvironmentLoader;

// The desktop client's system management service: the current environment
// (the store's default one), the customer kept by the last sign-in, the
// activities of the processes that use the client, the start-up status,
// the termination vote and the uninstaller. What it does not offer answers
// as its base does: with the missing-service error naming the operation.
//
// The activities live on the server's queue ("kestrel-system-management").
class KestrelSystemManagementServer : public AFXSystemManagementServer {
public:
    // The start-up status the service answers.
    enum StartUpStatus : std::int64_t {
        // The environment is being fetched for the first time.
        StartUpStatusStarting = 0,
        // The environment is known; the client is ready.
        StartUpStatusReady = 1,
        // The environment could not be fetched; requests that need it fail.
        StartUpStatusEnvironmentUnavailable = 2,
    };
    // The one uninstaller the client has: it removes the client and its agent.
    static constexpr std::int64_t ClientUninstallType = 1;

    static AFXServiceClass serviceClass();
    static std::shared_ptr<KestrelSystemManagementServer>
    makeWithServiceID(const std::shared_ptr<AFXServiceID>& serviceID,
                      const std::shared_ptr<AFXRegularInterprocessServerAdaptor>& interprocessAdaptor,
                      const std::shared_ptr<AFXServicesFactory>& servicesFactory,
                      const std::shared_ptr<AFXNetworkService>& networkService);

    void fetchCurrentEnvironmentUpdated(bool updated, AFXEnvironmentCallback callback) override;
    void fetchEnvironmentWithID(const std::shared_ptr<AFXEnvironmentID>& environmentID, bool isUpdated,
                                AFXEnvironmentCallback callback) override;
    void pokeWithCallback(AFXSystemManagementCompletion callback) override;
    void fetchStartUpStatusWithCallback(AFXStartUpStatusCallback callback) override;
    void fetchUninstallerExecutableInfoWithType(std::int64_t uninstallType,
                                                AFXExecutableInfoCallback callback) override;
    void fetchCurrentCustomerUpdated(bool updated, bool canDestroyInvalidCustomer,
                                     const std::shared_ptr<AFXRunningApplication>& runningApplication,
                                     std::int64_t presentationStyle, AFXCustomerCallback callback) override;
    void fetchCustomerWithID(const std::shared_ptr<AFXCustomerID>& customerID, bool isUpdated,
                             AFXCustomerCallback callback) override;
    void startActivity(const std::shared_ptr<AFXActivity>& activity, const QUuid& reportStreamID) override;
    void stopActivity(const std::shared_ptr<AFXActivity>& activity, const QUuid& reportStreamID) override;
    // True while no activity is under way.
    void prepareWholeSystemForTerminationWithCallback(AFXBooleanCallback callback) override;
    void prepareForTerminationWithCallback(std::function<void(bool)> callback) override;
    // The activities of a process that went away end with it.
    void didLooseInterprocessConnectionWithEsteblishedStreamID(const QUuid& streamID) override;

private:
    KestrelSystemManagementServer(
        const std::shared_ptr<AFXServiceID>& serviceID,
        const std::shared_ptr<AFXRegularInterprocessServerAdaptor>& interprocessAdaptor,
        const std::shared_ptr<AFXServicesFactory>& servicesFactory);

    const std::shared_ptr<KestrelEnvironmentLoader> environmentLoader_;
    const std::shared_ptr<KestrelCustomerKeeper> customerKeeper_;
    const std::shared_ptr<platform::DispatchQueue> queue_;
    // On the queue: each activity under way and the stream of the process that started it.
    struct RunningActivity {
        std::shared_ptr<AFXActivity> activity;
        QUuid reportStreamID;
    };
    QHash<QUuid, RunningActivity> activities_;
};
