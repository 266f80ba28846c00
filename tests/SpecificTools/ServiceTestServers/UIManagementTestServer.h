#pragma once

#include "ServedService.h"
#include "SpecificTools/Model/AFXCustomer.h"
#include "SpecificTools/Services/UIManagement/AFXUIManagementServer.h"
#include "platform/Value.h"

#include <optional>

// Notes the fields each operation of user-interface management received
// ("seen": the operation's name, a space and `encodeFields` of them) and
// answers true, or the values it was given.
class UIManagementTestServer final : public AFXUIManagementServer {
public:
    static std::shared_ptr<UIManagementTestServer>
    make(const std::shared_ptr<AFXServiceID>& serviceID,
         const std::shared_ptr<AFXRegularInterprocessServerAdaptor>& adaptor,
         const std::shared_ptr<AFXServicesFactory>& factory, ServiceTestNote note);

    // The customer it fetches credentials for.
    static std::shared_ptr<AFXCustomerID> customerID();
    // The applications' bundle identifiers, sorted.
    static QStringList bundleIdentifiers(const QList<std::shared_ptr<AFXRunningApplication>>& applications);
    // A note's fields as one word of text (a keyed archive in base 64), and back.
    static QString encodeFields(const platform::Value::Dictionary& fields);
    static std::optional<platform::Value::Dictionary> decodeFields(const QString& encoded);

    void fetchCredentialsWithAccountName(const QString& accountName,
                                         const std::shared_ptr<AFXRunningApplication>& application,
                                         AFXCustomerCredentialsCallback callback) override;
    void presentError(const platform::Error& error, AFXUIManagementCallback callback) override;
    void presentUserNotificationOfKind(std::uint64_t kind) override;
    void presentUserNotificationOfBrandNewApps(const QList<std::shared_ptr<AFXCodedApp>>& apps) override;
    void presentUserNotificationOfUpdatedApps(const QList<std::shared_ptr<AFXCodedApp>>& apps) override;
    void proposeToUpdateRunningApplications(const QList<std::shared_ptr<AFXRunningApplication>>& applications,
                                            bool withUserNotification, const QByteArray& data,
                                            AFXQuittedApplicationsCallback callback) override;
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
    void presentTerminationWindowWithReason(std::int64_t reason,
                                            AFXTerminationWindowCallback callback) override;

private:
    UIManagementTestServer(const std::shared_ptr<AFXServiceID>& serviceID,
                           const std::shared_ptr<AFXRegularInterprocessServerAdaptor>& adaptor,
                           const std::shared_ptr<AFXServicesFactory>& factory, ServiceTestNote note);

    void record(const QString& operation, const platform::Value::Dictionary& fields) const;

    const ServiceTestNote note_;
};
