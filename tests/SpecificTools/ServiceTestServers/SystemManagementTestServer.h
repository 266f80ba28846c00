#pragma once

#include "ServedService.h"
#include "SpecificTools/Services/SystemManagement/AFXSystemManagementServer.h"

#include <atomic>

// Offers every operation of system management: notes what it was given
// ("seen", and the streams activities came with as "stream") and answers
// fixed values, or errors of "com.kestrel.tests" (41 for values, 42 for
// error callbacks) while `fails`.
class SystemManagementTestServer final : public AFXSystemManagementServer {
public:
    static std::shared_ptr<SystemManagementTestServer>
    make(const std::shared_ptr<AFXServiceID>& serviceID,
         const std::shared_ptr<AFXRegularInterprocessServerAdaptor>& adaptor,
         const std::shared_ptr<AFXServicesFactory>& factory, ServiceTestNote note);

    std::atomic<bool> fails{false};

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
    void startActivity(const std::shared_ptr<AFXActivity>& activity, const QUuid& reportStreamID) override;
    void stopActivity(const std::shared_ptr<AFXActivity>& activity, const QUuid& reportStreamID) override;
    void fetchSignInWorkflowWithCallback(AFXSignInWorkflowCallback callback) override;

private:
    SystemManagementTestServer(const std::shared_ptr<AFXServiceID>& serviceID,
                               const std::shared_ptr<AFXRegularInterprocessServerAdaptor>& adaptor,
                               const std::shared_ptr<AFXServicesFactory>& factory, ServiceTestNote note);

    template <typename T> BRValueOrError<T> value(T held) const;
    std::optional<platform::Error> errorOrNothing() const;
    void seen(const QString& text) const { note_(QStringLiteral("seen"), text); }

    const ServiceTestNote note_;
};
