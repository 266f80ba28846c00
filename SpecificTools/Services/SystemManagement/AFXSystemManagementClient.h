#pragma once

#include "AFXActivity.h"
#include "AFXSystemManagementService.h"
#include "SpecificTools/Interprocess/AFXRegularManagementClient.h"
#include "platform/DispatchQueue.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QUuid>

#include <memory>

// This process's proxy of the desktop client's system management service:
// every operation is one request, and its response is turned into the
// operation's callback form. Callbacks run on the queue on which the
// transport delivers responses.
//
// The client remembers the activities it started and not yet stopped, and
// starts them again whenever its connection is established anew, so that
// they outlive a restart of the desktop client. The activities live on the
// internal queue ("system-management-client").
class AFXSystemManagementClient final : public AFXRegularManagementClient, public AFXSystemManagementService {
public:
    static QString interprocessServiceName() { return AFXSystemManagementServiceName(); }
    static const platform::Class* serviceIDClass();
    static QList<const platform::Class*> requestClasses();
    // A global service of the process; it takes no service role.
    static AFXServiceClass serviceClass();
    static std::shared_ptr<AFXSystemManagementClient>
    makeWithServiceID(const std::shared_ptr<AFXServiceID>& serviceID,
                      const std::shared_ptr<AFXServicesFactory>& servicesFactory,
                      const std::shared_ptr<AFXRegularInterprocessClientAdaptor>& interprocessAdaptor);

    void fetchCurrentEnvironmentUpdated(bool updated, AFXEnvironmentCallback callback) override;
    void fetchEnvironmentWithID(const std::shared_ptr<AFXEnvironmentID>& environmentID, bool isUpdated,
                                AFXEnvironmentCallback callback) override;
    void pokeWithCallback(AFXSystemManagementCompletion callback) override;
    void checkForUpdatesInitiatedByUser(bool initiatedByUser, AFXErrorCallback callback) override;
    void notifyFinderSyncExtensionLaunchedWithCallback(AFXSystemManagementCompletion callback) override;
    void tearDownServiceWithCallback(AFXBooleanCallback callback) override;
    void fetchStartUpStatusWithCallback(AFXStartUpStatusCallback callback) override;
    void showSignInWithPresentationStyle(std::int64_t presentationStyle,
                                         AFXSystemManagementCompletion callback) override;
    void fetchUninstallerExecutableInfoWithType(std::int64_t uninstallType,
                                                AFXExecutableInfoCallback callback) override;
    void
    fetchConsumptiveInternetUsagePermissionWithReason(std::uint64_t reason, bool canAskUser,
                                                      AFXInternetUsagePermissionCallback callback) override;
    void cancelConsumptiveInternetUsagePermission(const QString& cancellationKey) override;
    void uninstallKestrelForce(bool force, AFXErrorCallback callback) override;
    void prepareWholeSystemForTerminationWithCallback(AFXBooleanCallback callback) override;
    void presentError(const platform::Error& error, AFXSystemManagementCompletion callback) override;
    void fetchCurrentCustomerUpdated(bool updated, bool canDestroyInvalidCustomer,
                                     const std::shared_ptr<AFXRunningApplication>& runningApplication,
                                     std::int64_t presentationStyle, AFXCustomerCallback callback) override;
    void fetchCustomerWithID(const std::shared_ptr<AFXCustomerID>& customerID, bool isUpdated,
                             AFXCustomerCallback callback) override;
    void signOutCustomerWithID(const std::shared_ptr<AFXCustomerID>& customerID, bool showTerminationDialog,
                               AFXErrorCallback callback) override;
    void signInWithCredentials(const std::shared_ptr<AFXCustomerCredentials>& credentials) override;
    void fetchCustomerCabinetAccessToken(const std::shared_ptr<AFXCustomer>& customer, double timeoutInterval,
                                         AFXAccessTokenCallback callback) override;
    void fetchCustomerIdentityWithID(const std::shared_ptr<AFXCustomerID>& customerID,
                                     AFXCustomerIdentityCallback callback) override;
    void saveAPNSDeviceToken(const QString& deviceToken, const std::shared_ptr<AFXCustomer>& customer,
                             const std::shared_ptr<AFXEnvironmentID>& environmentID,
                             AFXErrorCallback callback) override;
    // Sends a start request only for an activity not yet started.
    void startActivity(const std::shared_ptr<AFXActivity>& activity) override;
    // Sends a stop request whether or not the activity was started here.
    void stopActivity(const std::shared_ptr<AFXActivity>& activity) override;
    // The serving side's forms, which a client never calls.
    using AFXSystemManagementService::startActivity;
    using AFXSystemManagementService::stopActivity;
    void fetchSignInWorkflowWithCallback(AFXSignInWorkflowCallback callback) override;

    // Starts every current activity again on the new connection.
    void didEstablishInterprocessConnectionWithEsteblishedStreamID(const QUuid& streamID) override;

private:
    AFXSystemManagementClient(
        const std::shared_ptr<AFXServiceID>& serviceID,
        const std::shared_ptr<AFXServicesFactory>& servicesFactory,
        const std::shared_ptr<AFXRegularInterprocessClientAdaptor>& interprocessAdaptor);

    // A start or stop request for the activity, answered by nobody.
    template <typename Request> void sendActivity(const std::shared_ptr<AFXActivity>& activity);
    std::weak_ptr<AFXSystemManagementClient> weakSelf();

    const std::shared_ptr<platform::DispatchQueue> internalQueue_;
    // On the internal queue, by identifier.
    QHash<QUuid, std::shared_ptr<AFXActivity>> currentActivities_;
};
