#pragma once

#include "AFXUIManagementService.h"
#include "SpecificTools/Interprocess/AFXRegularManagementServer.h"

// The serving side of the user-interface management service. Every
// operation answers that the service is missing (the error for
// credentials, the failure value or a plain call back otherwise); the
// process that owns the user interface subclasses it and overrides what it
// offers.
class AFXUIManagementServer : public AFXRegularManagementServer, public AFXUIManagementService {
public:
    using AFXUIManagementService::interprocessServiceName;
    static AFXServiceClass serviceClass();
    static std::shared_ptr<AFXUIManagementServer>
    makeWithServiceID(const std::shared_ptr<AFXServiceID>& serviceID,
                      const std::shared_ptr<AFXRegularInterprocessServerAdaptor>& interprocessAdaptor,
                      const std::shared_ptr<AFXServicesFactory>& servicesFactory,
                      const std::shared_ptr<AFXNetworkService>& networkService);

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
    // Answers cancelled, with no apps quitted.
    void presentTerminationWindowWithReason(std::int64_t reason,
                                            AFXTerminationWindowCallback callback) override;

protected:
    AFXUIManagementServer(const std::shared_ptr<AFXServiceID>& serviceID,
                          const std::shared_ptr<AFXRegularInterprocessServerAdaptor>& interprocessAdaptor,
                          const std::shared_ptr<AFXServicesFactory>& servicesFactory);

private:
    // Logs that the operation is not served and answers the error.
    static platform::Error missingOperation(const QString& operation);
};
