#include "AFXUIManagementServer.h"

#include "AFXUIManagementRequests.h"
#include "SpecificTools/Errors/AFXErrors.h"
#include "SpecificTools/Interprocess/AFXGlobalServiceID.h"

AFXServiceClass AFXUIManagementServer::serviceClass() {
    AFXServiceClass serviceClass = makeServiceClass<AFXUIManagementServer>(
        QStringLiteral("AFXUIManagementServer"), interprocessServiceName(), AFXUIManagementRequestClasses());
    serviceClass.makeGlobalServiceIDToPoke = &AFXUIManagementService::makeGlobalServiceIDToPoke;
    return serviceClass;
}

std::shared_ptr<AFXUIManagementServer> AFXUIManagementServer::makeWithServiceID(
    const std::shared_ptr<AFXServiceID>& serviceID,
    const std::shared_ptr<AFXRegularInterprocessServerAdaptor>& interprocessAdaptor,
    const std::shared_ptr<AFXServicesFactory>& servicesFactory, const std::shared_ptr<AFXNetworkService>&) {
    return std::shared_ptr<AFXUIManagementServer>(
        new AFXUIManagementServer(serviceID, interprocessAdaptor, servicesFactory));
}

AFXUIManagementServer::AFXUIManagementServer(
    const std::shared_ptr<AFXServiceID>& serviceID,
    const std::shared_ptr<AFXRegularInterprocessServerAdaptor>& interprocessAdaptor,
    const std::shared_ptr<AFXServicesFactory>& servicesFactory)
    : AFXRegularManagementServer(serviceID, interprocessAdaptor, servicesFactory, interprocessServiceName(),
                                 AFXGlobalServiceID::staticClass()) {}

platform::Error AFXUIManagementServer::missingOperation(const QString& operation) {
    return afx_makeErrorOfMissingServiceNamed(interprocessServiceName(), operation);
}

void AFXUIManagementServer::fetchCredentialsWithAccountName(const QString&,
                                                            const std::shared_ptr<AFXRunningApplication>&,
                                                            AFXCustomerCredentialsCallback callback) {
    callback(BRValueOrError<std::shared_ptr<AFXCustomerCredentials>>::makeWithError(
        missingOperation(QStringLiteral("fetchCredentialsWithAccountName"))));
}

void AFXUIManagementServer::presentError(const platform::Error&, AFXUIManagementCallback callback) {
    missingOperation(QStringLiteral("presentError"));
    callback();
}

void AFXUIManagementServer::presentUserNotificationOfKind(std::uint64_t) {
    missingOperation(QStringLiteral("presentUserNotificationOfKind"));
}

void AFXUIManagementServer::presentUserNotificationOfBrandNewApps(
    const QList<std::shared_ptr<AFXCodedApp>>&) {
    missingOperation(QStringLiteral("presentUserNotificationOfBrandNewApps"));
}

void AFXUIManagementServer::presentUserNotificationOfUpdatedApps(const QList<std::shared_ptr<AFXCodedApp>>&) {
    missingOperation(QStringLiteral("presentUserNotificationOfUpdatedApps"));
}

void AFXUIManagementServer::proposeToUpdateRunningApplications(
    const QList<std::shared_ptr<AFXRunningApplication>>&, bool, const QByteArray&,
    AFXQuittedApplicationsCallback callback) {
    missingOperation(QStringLiteral("proposeToUpdateRunningApplications"));
    callback({});
}

void AFXUIManagementServer::proposeToUninstallKestrelWithCallback(AFXUIManagementFlagCallback callback) {
    missingOperation(QStringLiteral("proposeToUninstallKestrelWithCallback"));
    callback(false);
}

void AFXUIManagementServer::pokeWithCallback(AFXUIManagementCallback callback) {
    missingOperation(QStringLiteral("pokeWithCallback"));
    callback();
}

void AFXUIManagementServer::presentAboutWindowWithCallback(AFXUIManagementCallback callback) {
    missingOperation(QStringLiteral("presentAboutWindowWithCallback"));
    callback();
}

void AFXUIManagementServer::askUserForConsumptiveInternetUsageWithReason(
    std::uint64_t, AFXUIManagementFlagCallback callback) {
    missingOperation(QStringLiteral("askUserForConsumptiveInternetUsageWithReason"));
    callback(false);
}

void AFXUIManagementServer::openOnlineHelpWithCallback(AFXUIManagementFlagCallback callback) {
    missingOperation(QStringLiteral("openOnlineHelpWithCallback"));
    callback(false);
}

void AFXUIManagementServer::openFeedbackFormWithCallback(AFXUIManagementCallback callback) {
    missingOperation(QStringLiteral("openFeedbackFormWithCallback"));
    callback();
}

void AFXUIManagementServer::openCustomerWebAccount(const std::shared_ptr<AFXCustomer>&, bool,
                                                   AFXUIManagementFlagCallback callback) {
    missingOperation(QStringLiteral("openCustomerWebAccount"));
    callback(false);
}

void AFXUIManagementServer::changeStatusItemVisibilityToState(bool, AFXUIManagementFlagCallback callback) {
    missingOperation(QStringLiteral("changeStatusItemVisibilityToState"));
    callback(false);
}

void AFXUIManagementServer::presentTerminationWindowWithReason(std::int64_t,
                                                               AFXTerminationWindowCallback callback) {
    missingOperation(QStringLiteral("presentTerminationWindowWithReason"));
    callback(true, {});
}
