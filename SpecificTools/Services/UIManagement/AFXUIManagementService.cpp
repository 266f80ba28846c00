#include "AFXUIManagementService.h"

#include "SpecificTools/Errors/AFXErrors.h"

namespace {

// Logs that the operation is not served and answers the error.
platform::Error missingOperation(const QString& operation) {
    return afx_makeErrorOfMissingServiceNamed(AFXUIManagementService::interprocessServiceName(), operation);
}

} // namespace

void AFXUIManagementService::fetchCredentialsWithAccountName(const QString&,
                                                             const std::shared_ptr<AFXRunningApplication>&,
                                                             AFXCustomerCredentialsCallback callback) {
    callback(BRValueOrError<std::shared_ptr<AFXCustomerCredentials>>::makeWithError(
        missingOperation(QStringLiteral("fetchCredentialsWithAccountName"))));
}

void AFXUIManagementService::presentError(const platform::Error&, AFXUIManagementCallback callback) {
    missingOperation(QStringLiteral("presentError"));
    callback();
}

void AFXUIManagementService::presentUserNotificationOfKind(std::uint64_t) {
    missingOperation(QStringLiteral("presentUserNotificationOfKind"));
}

void AFXUIManagementService::presentUserNotificationOfBrandNewApps(
    const QList<std::shared_ptr<AFXCodedApp>>&) {
    missingOperation(QStringLiteral("presentUserNotificationOfBrandNewApps"));
}

void AFXUIManagementService::presentUserNotificationOfUpdatedApps(
    const QList<std::shared_ptr<AFXCodedApp>>&) {
    missingOperation(QStringLiteral("presentUserNotificationOfUpdatedApps"));
}

void AFXUIManagementService::proposeToUpdateRunningApplications(
    const QList<std::shared_ptr<AFXRunningApplication>>&, bool, const QByteArray&,
    AFXQuittedApplicationsCallback callback) {
    missingOperation(QStringLiteral("proposeToUpdateRunningApplications"));
    callback({});
}

void AFXUIManagementService::proposeToUninstallKestrelWithCallback(AFXUIManagementFlagCallback callback) {
    missingOperation(QStringLiteral("proposeToUninstallKestrelWithCallback"));
    callback(false);
}

void AFXUIManagementService::pokeWithCallback(AFXUIManagementCallback callback) {
    missingOperation(QStringLiteral("pokeWithCallback"));
    callback();
}

void AFXUIManagementService::presentAboutWindowWithCallback(AFXUIManagementCallback callback) {
    missingOperation(QStringLiteral("presentAboutWindowWithCallback"));
    callback();
}

void AFXUIManagementService::askUserForConsumptiveInternetUsageWithReason(
    std::uint64_t, AFXUIManagementFlagCallback callback) {
    missingOperation(QStringLiteral("askUserForConsumptiveInternetUsageWithReason"));
    callback(false);
}

void AFXUIManagementService::openOnlineHelpWithCallback(AFXUIManagementFlagCallback callback) {
    missingOperation(QStringLiteral("openOnlineHelpWithCallback"));
    callback(false);
}

void AFXUIManagementService::openFeedbackFormWithCallback(AFXUIManagementCallback callback) {
    missingOperation(QStringLiteral("openFeedbackFormWithCallback"));
    callback();
}

void AFXUIManagementService::openCustomerWebAccount(const std::shared_ptr<AFXCustomer>&, bool,
                                                    AFXUIManagementFlagCallback callback) {
    missingOperation(QStringLiteral("openCustomerWebAccount"));
    callback(false);
}

void AFXUIManagementService::changeStatusItemVisibilityToState(bool, AFXUIManagementFlagCallback callback) {
    missingOperation(QStringLiteral("changeStatusItemVisibilityToState"));
    callback(false);
}

void AFXUIManagementService::presentTerminationWindowWithReason(std::int64_t,
                                                                AFXTerminationWindowCallback callback) {
    missingOperation(QStringLiteral("presentTerminationWindowWithReason"));
    callback(true, {});
}
