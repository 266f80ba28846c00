#pragma once

#include "AFXUIManagementService.h"
#include "SpecificTools/Interprocess/AFXRegularManagementClient.h"

// The proxy of the desktop client's user-interface management service (one
// per process, under a global service ID): each operation sends one request
// and turns the response into the caller's callback.
class AFXUIManagementClient : public AFXRegularManagementClient, public AFXUIManagementService {
public:
    using AFXUIManagementService::interprocessServiceName;
    static AFXServiceClass serviceClass();
    static std::shared_ptr<AFXUIManagementClient>
    makeWithServiceID(const std::shared_ptr<AFXServiceID>& serviceID,
                      const std::shared_ptr<AFXServicesFactory>& servicesFactory,
                      const std::shared_ptr<AFXRegularInterprocessClientAdaptor>& interprocessAdaptor);

    void fetchCredentialsWithAccountName(const QString& accountName,
                                         const std::shared_ptr<AFXRunningApplication>& runningApplication,
                                         AFXCustomerCredentialsCallback callback) override;
    void presentError(const platform::Error& error, AFXUIManagementCallback callback) override;
    void presentUserNotificationOfKind(std::uint64_t kind) override;
    void
    presentUserNotificationOfBrandNewApps(const QList<std::shared_ptr<AFXCodedApp>>& brandNewApps) override;
    void
    presentUserNotificationOfUpdatedApps(const QList<std::shared_ptr<AFXCodedApp>>& updatedApps) override;
    void proposeToUpdateRunningApplications(
        const QList<std::shared_ptr<AFXRunningApplication>>& runningApplications, bool withUserNotification,
        const QByteArray& additionalNotificationData, AFXQuittedApplicationsCallback callback) override;
    void proposeToUninstallKestrelWithCallback(AFXUIManagementFlagCallback callback) override;
    void pokeWithCallback(AFXUIManagementCallback callback) override;
    void presentAboutWindowWithCallback(AFXUIManagementCallback callback) override;
    void askUserForConsumptiveInternetUsageWithReason(std::uint64_t reason,
                                                      AFXUIManagementFlagCallback callback) override;
    void openOnlineHelpWithCallback(AFXUIManagementFlagCallback callback) override;
    void openFeedbackFormWithCallback(AFXUIManagementCallback callback) override;
    void openCustomerWebAccount(const std::shared_ptr<AFXCustomer>& customer,
                                bool startingWithTrialPaymentPage,
                                AFXUIManagementFlagCallback callback) override;
    void changeStatusItemVisibilityToState(bool isVisible, AFXUIManagementFlagCallback callback) override;
    // The termination-window request is not among the service's request
    // classes, so it cannot be sent: answered at once (on a utility queue) as
    // cancelled, with no apps quitted, so the caller does not go on to end.
    void presentTerminationWindowWithReason(std::int64_t reason,
                                            AFXTerminationWindowCallback callback) override;

private:
    using AFXRegularManagementClient::AFXRegularManagementClient;
};
