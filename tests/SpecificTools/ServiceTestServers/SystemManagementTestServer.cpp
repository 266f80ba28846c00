#include "SystemManagementTestServer.h"

#include "ServiceTestValues.h"
#include "SpecificTools/Errors/AFXErrors.h"
#include "SpecificTools/Services/SystemManagement/AFXSystemManagementRequests.h"

using namespace Qt::StringLiterals;
using service_test_values::describeError;
using service_test_values::testCustomer;
using service_test_values::testCustomerID;
using service_test_values::testEnvironment;

namespace {

const QString kTestDomain = u"com.kestrel.tests"_s;

} // namespace

std::shared_ptr<SystemManagementTestServer>
SystemManagementTestServer::make(const std::shared_ptr<AFXServiceID>& serviceID,
                                 const std::shared_ptr<AFXRegularInterprocessServerAdaptor>& adaptor,
                                 const std::shared_ptr<AFXServicesFactory>& factory, ServiceTestNote note) {
    return std::shared_ptr<SystemManagementTestServer>(
        new SystemManagementTestServer(serviceID, adaptor, factory, std::move(note)));
}

SystemManagementTestServer::SystemManagementTestServer(
    const std::shared_ptr<AFXServiceID>& serviceID,
    const std::shared_ptr<AFXRegularInterprocessServerAdaptor>& adaptor,
    const std::shared_ptr<AFXServicesFactory>& factory, ServiceTestNote note)
    : AFXSystemManagementServer(serviceID, adaptor, factory), note_(std::move(note)) {}

template <typename T> BRValueOrError<T> SystemManagementTestServer::value(T held) const {
    return fails ? BRValueOrError<T>::makeWithError(platform::Error(kTestDomain, 41))
                 : BRValueOrError<T>::makeWithValue(std::move(held));
}

std::optional<platform::Error> SystemManagementTestServer::errorOrNothing() const {
    return fails ? std::optional(platform::Error(kTestDomain, 42)) : std::nullopt;
}

void SystemManagementTestServer::fetchCurrentEnvironmentUpdated(bool updated,
                                                                AFXEnvironmentCallback callback) {
    seen(u"fetchCurrentEnvironmentUpdated %1"_s.arg(updated));
    callback(value(testEnvironment(AFXEnvironmentID::defaultEnvironmentID())));
}

void SystemManagementTestServer::fetchEnvironmentWithID(
    const std::shared_ptr<AFXEnvironmentID>& environmentID, bool isUpdated, AFXEnvironmentCallback callback) {
    seen(u"fetchEnvironmentWithID %1 %2"_s.arg(environmentID->userDefaultsValue()).arg(isUpdated));
    callback(value(testEnvironment(environmentID)));
}

void SystemManagementTestServer::pokeWithCallback(AFXSystemManagementCompletion callback) {
    seen(u"pokeWithCallback"_s);
    callback();
}

void SystemManagementTestServer::checkForUpdatesInitiatedByUser(bool initiatedByUser,
                                                                AFXErrorCallback callback) {
    seen(u"checkForUpdatesInitiatedByUser %1"_s.arg(initiatedByUser));
    callback(errorOrNothing());
}

void SystemManagementTestServer::notifyFinderSyncExtensionLaunchedWithCallback(
    AFXSystemManagementCompletion callback) {
    seen(u"notifyFinderSyncExtensionLaunchedWithCallback"_s);
    callback();
}

void SystemManagementTestServer::tearDownServiceWithCallback(AFXBooleanCallback callback) {
    seen(u"tearDownServiceWithCallback"_s);
    callback(true);
}

void SystemManagementTestServer::fetchStartUpStatusWithCallback(AFXStartUpStatusCallback callback) {
    seen(u"fetchStartUpStatusWithCallback"_s);
    callback(value(std::int64_t(3)));
}

void SystemManagementTestServer::showSignInWithPresentationStyle(std::int64_t presentationStyle,
                                                                 AFXSystemManagementCompletion callback) {
    seen(u"showSignInWithPresentationStyle %1"_s.arg(presentationStyle));
    callback();
}

void SystemManagementTestServer::fetchUninstallerExecutableInfoWithType(std::int64_t uninstallType,
                                                                        AFXExecutableInfoCallback callback) {
    seen(u"fetchUninstallerExecutableInfoWithType %1"_s.arg(uninstallType));
    callback(value(AFXExecutableInfo::makeWithPath(u"/bin/uninstall"_s, {u"-all"_s, u"-quiet"_s})));
}

void SystemManagementTestServer::fetchConsumptiveInternetUsagePermissionWithReason(
    std::uint64_t reason, bool canAskUser, AFXInternetUsagePermissionCallback callback) {
    seen(u"fetchConsumptiveInternetUsagePermissionWithReason %1 %2"_s.arg(reason).arg(canAskUser));
    callback(true, u"key-1"_s);
}

void SystemManagementTestServer::cancelConsumptiveInternetUsagePermission(const QString& cancellationKey) {
    seen(u"cancelConsumptiveInternetUsagePermission "_s + cancellationKey);
}

void SystemManagementTestServer::uninstallKestrelForce(bool force, AFXErrorCallback callback) {
    seen(u"uninstallKestrelForce %1"_s.arg(force));
    callback(errorOrNothing());
}

void SystemManagementTestServer::prepareWholeSystemForTerminationWithCallback(AFXBooleanCallback callback) {
    seen(u"prepareWholeSystemForTerminationWithCallback"_s);
    // The opposite of the client's failure value.
    callback(false);
}

void SystemManagementTestServer::presentError(const platform::Error& error,
                                              AFXSystemManagementCompletion callback) {
    seen(u"presentError "_s + describeError(error));
    callback();
}

void SystemManagementTestServer::fetchCurrentCustomerUpdated(
    bool updated, bool canDestroyInvalidCustomer,
    const std::shared_ptr<AFXRunningApplication>& runningApplication, std::int64_t presentationStyle,
    AFXCustomerCallback callback) {
    seen(u"fetchCurrentCustomerUpdated %1 %2 %3 %4"_s.arg(updated)
             .arg(canDestroyInvalidCustomer)
             .arg(runningApplication
                      ? u"%1/%2/%3/%4/%5/%6"_s
                            .arg(runningApplication->localizedName(), runningApplication->bundleIdentifier(),
                                 runningApplication->bundleURL().path(), runningApplication->version(),
                                 runningApplication->build())
                            .arg(runningApplication->processIdentifier())
                      : u"none"_s)
             .arg(presentationStyle));
    callback(value(testCustomer(u"ann"_s)));
}

void SystemManagementTestServer::fetchCustomerWithID(const std::shared_ptr<AFXCustomerID>& customerID,
                                                     bool isUpdated, AFXCustomerCallback callback) {
    seen(u"fetchCustomerWithID %1 %2"_s.arg(customerID->accountName()).arg(isUpdated));
    callback(value(testCustomer(customerID->accountName())));
}

void SystemManagementTestServer::signOutCustomerWithID(const std::shared_ptr<AFXCustomerID>& customerID,
                                                       bool showTerminationDialog,
                                                       AFXErrorCallback callback) {
    seen(u"signOutCustomerWithID %1 %2"_s.arg(customerID->accountName()).arg(showTerminationDialog));
    callback(errorOrNothing());
}

void SystemManagementTestServer::signInWithCredentials(
    const std::shared_ptr<AFXCustomerCredentials>& credentials) {
    seen(u"signInWithCredentials %1 %2"_s.arg(credentials->customerID()->accountName(),
                                              credentials->authToken()));
}

void SystemManagementTestServer::fetchCustomerCabinetAccessToken(const std::shared_ptr<AFXCustomer>& customer,
                                                                 double timeoutInterval,
                                                                 AFXAccessTokenCallback callback) {
    seen(u"fetchCustomerCabinetAccessToken %1 %2"_s.arg(customer->accountName()).arg(timeoutInterval));
    callback(value(u"token-for-"_s + customer->accountName()));
}

void SystemManagementTestServer::fetchCustomerIdentityWithID(const std::shared_ptr<AFXCustomerID>& customerID,
                                                             AFXCustomerIdentityCallback callback) {
    seen(u"fetchCustomerIdentityWithID "_s + customerID->accountName());
    callback(value(AFXCustomerIdentity::makeWithCustomerID(customerID, u"Ann A."_s, "png")));
}

void SystemManagementTestServer::saveAPNSDeviceToken(const QString& deviceToken,
                                                     const std::shared_ptr<AFXCustomer>& customer,
                                                     const std::shared_ptr<AFXEnvironmentID>& environmentID,
                                                     AFXErrorCallback callback) {
    seen(u"saveAPNSDeviceToken %1 %2 %3"_s.arg(deviceToken, customer->accountName(),
                                               environmentID->userDefaultsValue()));
    callback(errorOrNothing());
}

void SystemManagementTestServer::startActivity(const std::shared_ptr<AFXActivity>& activity,
                                               const QUuid& reportStreamID) {
    note_(u"stream"_s, reportStreamID.toString());
    seen(u"startActivity "_s + activity->reason());
}

void SystemManagementTestServer::stopActivity(const std::shared_ptr<AFXActivity>& activity,
                                              const QUuid& reportStreamID) {
    note_(u"stream"_s, reportStreamID.toString());
    seen(u"stopActivity "_s + activity->reason());
}

void SystemManagementTestServer::fetchSignInWorkflowWithCallback(AFXSignInWorkflowCallback callback) {
    seen(u"fetchSignInWorkflowWithCallback"_s);
    auto workflow = AFXSignInWorkflow::make();
    workflow->setCustomerID(testCustomerID(u"ann"_s));
    workflow->setState(4);
    workflow->setEnvironment(testEnvironment(AFXEnvironmentID::defaultEnvironmentID()));
    workflow->setCustomer(testCustomer(u"ann"_s));
    workflow->setEnvironmentPreparationFractionCompleted(0.25);
    auto application = AFXRunningApplication::make();
    application->setLocalizedName(u"Orbit Notes"_s);
    workflow->setRunningApplication(application);
    workflow->setPresentationStyle(1);
    workflow->setLastError(platform::Error(kTestDomain, 9));
    callback(value(workflow));
}
