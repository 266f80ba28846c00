#include "AFXSystemManagementService.h"

#include "SpecificTools/Errors/AFXErrors.h"

namespace {

// The answer of an operation the service does not offer; making the error logs it.
platform::Error missing(const char* operation) {
    return afx_makeErrorOfMissingServiceNamed(AFXSystemManagementServiceName(),
                                              QString::fromLatin1(operation));
}

// Operations whose callback takes no error only log it.
void logMissing(const char* operation) {
    missing(operation);
}

template <typename T> BRValueOrError<T> missingValue(const char* operation) {
    return BRValueOrError<T>::makeWithError(missing(operation));
}

} // namespace

QString AFXSystemManagementServiceName() {
    return QStringLiteral("com.kestrel.SystemManagementService");
}

void AFXSystemManagementService::fetchCurrentEnvironmentUpdated(bool, AFXEnvironmentCallback callback) {
    callback(missingValue<std::shared_ptr<AFXEnvironment>>("fetchCurrentEnvironmentUpdated:callback:"));
}

void AFXSystemManagementService::fetchEnvironmentWithID(const std::shared_ptr<AFXEnvironmentID>&, bool,
                                                        AFXEnvironmentCallback callback) {
    callback(missingValue<std::shared_ptr<AFXEnvironment>>("fetchEnvironmentWithID:isUpdated:callback:"));
}

void AFXSystemManagementService::pokeWithCallback(AFXSystemManagementCompletion callback) {
    logMissing("pokeWithCallback:");
    callback();
}

void AFXSystemManagementService::checkForUpdatesInitiatedByUser(bool, AFXErrorCallback callback) {
    callback(missing("checkForUpdatesInitiatedByUser:callback:"));
}

void AFXSystemManagementService::notifyFinderSyncExtensionLaunchedWithCallback(
    AFXSystemManagementCompletion callback) {
    logMissing("notifyFinderSyncExtensionLaunchedWithCallback:");
    callback();
}

void AFXSystemManagementService::tearDownServiceWithCallback(AFXBooleanCallback callback) {
    logMissing("tearDownServiceWithCallback:");
    callback(false);
}

void AFXSystemManagementService::fetchStartUpStatusWithCallback(AFXStartUpStatusCallback callback) {
    callback(missingValue<std::int64_t>("fetchStartUpStatusWithCallback:"));
}

void AFXSystemManagementService::showSignInWithPresentationStyle(std::int64_t,
                                                                 AFXSystemManagementCompletion callback) {
    logMissing("showSignInWithPresentationStyle:callback:");
    callback();
}

void AFXSystemManagementService::fetchUninstallerExecutableInfoWithType(std::int64_t,
                                                                        AFXExecutableInfoCallback callback) {
    callback(
        missingValue<std::shared_ptr<AFXExecutableInfo>>("fetchUninstallerExecutableInfoWithType:callback:"));
}

void AFXSystemManagementService::fetchConsumptiveInternetUsagePermissionWithReason(
    std::uint64_t, bool, AFXInternetUsagePermissionCallback callback) {
    logMissing("fetchConsumptiveInternetUsagePermissionWithReason:canAskUser:callback:");
    callback(false, QString());
}

void AFXSystemManagementService::cancelConsumptiveInternetUsagePermission(const QString&) {
    logMissing("cancelConsumptiveInternetUsagePermission:");
}

void AFXSystemManagementService::uninstallKestrelForce(bool, AFXErrorCallback callback) {
    callback(missing("uninstallKestrelForce:callback:"));
}

void AFXSystemManagementService::prepareWholeSystemForTerminationWithCallback(AFXBooleanCallback callback) {
    logMissing("prepareWholeSystemForTerminationWithCallback:");
    callback(true);
}

void AFXSystemManagementService::presentError(const platform::Error&,
                                              AFXSystemManagementCompletion callback) {
    logMissing("presentError:callback:");
    callback();
}

void AFXSystemManagementService::fetchCurrentCustomerUpdated(bool, bool,
                                                             const std::shared_ptr<AFXRunningApplication>&,
                                                             std::int64_t, AFXCustomerCallback callback) {
    callback(
        missingValue<std::shared_ptr<AFXCustomer>>("fetchCurrentCustomerUpdated:canDestroyInvalidCustomer:"
                                                   "forRunningApplication:presentationStyle:callback:"));
}

void AFXSystemManagementService::fetchCustomerWithID(const std::shared_ptr<AFXCustomerID>&, bool,
                                                     AFXCustomerCallback callback) {
    callback(missingValue<std::shared_ptr<AFXCustomer>>("fetchCustomerWithID:isUpdated:callback:"));
}

void AFXSystemManagementService::signOutCustomerWithID(const std::shared_ptr<AFXCustomerID>&, bool,
                                                       AFXErrorCallback callback) {
    callback(missing("signOutCustomerWithID:showTerminationDialog:callback:"));
}

void AFXSystemManagementService::signInWithCredentials(const std::shared_ptr<AFXCustomerCredentials>&) {
    logMissing("signInWithCredentials:");
}

void AFXSystemManagementService::fetchCustomerCabinetAccessToken(const std::shared_ptr<AFXCustomer>&, double,
                                                                 AFXAccessTokenCallback callback) {
    callback(missingValue<QString>("fetchCustomerCabinetAccessToken:timeoutInterval:callback:"));
}

void AFXSystemManagementService::fetchCustomerIdentityWithID(const std::shared_ptr<AFXCustomerID>&,
                                                             AFXCustomerIdentityCallback callback) {
    callback(missingValue<std::shared_ptr<AFXCustomerIdentity>>("fetchCustomerIdentityWithID:callback:"));
}

void AFXSystemManagementService::saveAPNSDeviceToken(const QString&, const std::shared_ptr<AFXCustomer>&,
                                                     const std::shared_ptr<AFXEnvironmentID>&,
                                                     AFXErrorCallback callback) {
    callback(missing("saveAPNSDeviceToken:forCustomer:environmentID:callback:"));
}

void AFXSystemManagementService::startActivity(const std::shared_ptr<AFXActivity>&) {
    logMissing("startActivity:");
}

void AFXSystemManagementService::stopActivity(const std::shared_ptr<AFXActivity>&) {
    logMissing("stopActivity:");
}

void AFXSystemManagementService::startActivity(const std::shared_ptr<AFXActivity>&, const QUuid&) {
    logMissing("startActivity:reportStreamID:");
}

void AFXSystemManagementService::stopActivity(const std::shared_ptr<AFXActivity>&, const QUuid&) {
    logMissing("stopActivity:reportStreamID:");
}

void AFXSystemManagementService::fetchSignInWorkflowWithCallback(AFXSignInWorkflowCallback callback) {
    callback(missingValue<std::shared_ptr<AFXSignInWorkflow>>("fetchSignInWorkflowWithCallback:"));
}
