#include "AFXSystemManagementRequests.h"

#include "SpecificTools/Errors/AFXErrors.h"
#include "SpecificTools/Interprocess/AFXBaseService.h"
#include "platform/ValueClasses.h"

using platform::ValueClasses::number;
using platform::ValueClasses::string;

AFX_DEFINE_ABSTRACT_RECORD(AFXSystemManagementResponse, AFXInterprocessResponse)
AFX_DEFINE_ABSTRACT_RECORD(AFXSystemManagementReport, AFXInterprocessReport)
AFX_DEFINE_ABSTRACT_RECORD(AFXSystemManagementRequest, AFXInterprocessRequest)
AFX_DEFINE_RECORD(AFXFetchCurrentEnvironmentResponse, AFXSystemManagementResponse,
                  AFX_FIELD(environment, {AFXEnvironment::staticClass()}))
AFX_DEFINE_RECORD(AFXFetchCurrentEnvironmentRequest, AFXSystemManagementRequest,
                  AFX_FIELD(isUpdated, {number()}))
AFX_DEFINE_RECORD(AFXFetchEnvironmentWithIDResponse, AFXSystemManagementResponse,
                  AFX_FIELD(environment, {AFXEnvironment::staticClass()}))
AFX_DEFINE_RECORD(AFXFetchEnvironmentWithIDRequest, AFXSystemManagementRequest,
                  AFX_FIELD(environmentID, {AFXEnvironmentID::staticClass()}),
                  AFX_FIELD(isUpdated, {number()}))
AFX_DEFINE_RECORD(AFXPokeResponse, AFXSystemManagementResponse)
AFX_DEFINE_RECORD(AFXPokeRequest, AFXSystemManagementRequest)
AFX_DEFINE_RECORD(AFXCheckForUpdatesResponse, AFXSystemManagementResponse)
AFX_DEFINE_RECORD(AFXCheckForUpdatesRequest, AFXSystemManagementRequest,
                  AFX_FIELD(initiatedByUser, {number()}))
AFX_DEFINE_RECORD(AFXFinderSyncExtensionLaunchResponse, AFXSystemManagementResponse)
AFX_DEFINE_RECORD(AFXFinderSyncExtensionLaunchRequest, AFXSystemManagementRequest)
AFX_DEFINE_RECORD(AFXTearDownServiceResponse, AFXSystemManagementResponse,
                  AFX_FIELD(willTerminate, {number()}))
AFX_DEFINE_RECORD(AFXTearDownServiceRequest, AFXSystemManagementRequest)
AFX_DEFINE_RECORD(AFXFetchStartUpStatusResponse, AFXSystemManagementResponse, AFX_FIELD(status, {number()}))
AFX_DEFINE_RECORD(AFXFetchStartUpStatusRequest, AFXSystemManagementRequest)
AFX_DEFINE_RECORD(AFXShowSignInResponse, AFXSystemManagementResponse)
AFX_DEFINE_RECORD(AFXShowSignInRequest, AFXSystemManagementRequest, AFX_FIELD(presentationStyle, {number()}))
AFX_DEFINE_RECORD(AFXFetchUninstallerResponse, AFXSystemManagementResponse,
                  AFX_FIELD(executableInfo, {AFXExecutableInfo::staticClass()}))
AFX_DEFINE_RECORD(AFXFetchUninstallerRequest, AFXSystemManagementRequest,
                  AFX_FIELD(uninstallType, {number()}))
AFX_DEFINE_RECORD(AFXFetchConsumptiveInternetUsagePermissionResponse, AFXSystemManagementResponse,
                  AFX_FIELD(canUseInternet, {number()}), AFX_FIELD(cancellationKey, {string()}))
AFX_DEFINE_RECORD(AFXFetchConsumptiveInternetUsagePermissionRequest, AFXSystemManagementRequest,
                  AFX_FIELD(canAskUser, {number()}), AFX_FIELD(reason, {number()}))
AFX_DEFINE_RECORD(AFXCancelConsumptiveInternetUsagePermissionResponse, AFXSystemManagementResponse)
AFX_DEFINE_RECORD(AFXCancelConsumptiveInternetUsagePermissionRequest, AFXSystemManagementRequest,
                  AFX_FIELD(cancellationKey, {string()}))
AFX_DEFINE_RECORD(AFXSignOutCustomerResponse, AFXSystemManagementResponse)
AFX_DEFINE_RECORD(AFXSignOutCustomerRequest, AFXSystemManagementRequest,
                  AFX_FIELD(customerID, {AFXCustomerID::staticClass()}),
                  AFX_FIELD(showTerminationDialog, {number()}))
AFX_DEFINE_RECORD(AFXUninstallKestrelResponse, AFXSystemManagementResponse)
AFX_DEFINE_RECORD(AFXUninstallKestrelRequest, AFXSystemManagementRequest, AFX_FIELD(force, {number()}))
AFX_DEFINE_RECORD(AFXSignInWithCredentialsResponse, AFXSystemManagementResponse)
AFX_DEFINE_RECORD(AFXSignInWithCredentialsRequest, AFXSystemManagementRequest,
                  AFX_FIELD(credentials, {AFXCustomerCredentials::staticClass()}))
AFX_DEFINE_RECORD(AFXFetchCurrentCustomerResponse, AFXSystemManagementResponse,
                  AFX_FIELD(customer, {AFXCustomer::staticClass()}))
AFX_DEFINE_RECORD(AFXFetchCurrentCustomerRequest, AFXSystemManagementRequest,
                  AFX_FIELD(isUpdated, {number()}), AFX_FIELD(canDestroyInvalidCustomer, {number()}),
                  AFX_FIELD(runningApplication, {AFXRunningApplication::staticClass()}),
                  AFX_FIELD(presentationStyle, {number()}))
AFX_DEFINE_RECORD(AFXFetchCustomerWithIDResponse, AFXSystemManagementResponse,
                  AFX_FIELD(customer, {AFXCustomer::staticClass()}))
AFX_DEFINE_RECORD(AFXFetchCustomerWithIDRequest, AFXSystemManagementRequest,
                  AFX_FIELD(customerID, {AFXCustomerID::staticClass()}), AFX_FIELD(isUpdated, {number()}))
AFX_DEFINE_RECORD(AFXFetchCustomerCabinetAccessTokenResponse, AFXSystemManagementResponse,
                  AFX_FIELD(accessToken, {string()}))
AFX_DEFINE_RECORD(AFXFetchCustomerCabinetAccessTokenRequest, AFXSystemManagementRequest,
                  AFX_FIELD(customer, {AFXCustomer::staticClass()}), AFX_FIELD(timeoutInterval, {number()}))
AFX_DEFINE_RECORD(AFXFetchCustomerIdentityResponse, AFXSystemManagementResponse,
                  AFX_FIELD(identity, {AFXCustomerIdentity::staticClass()}))
AFX_DEFINE_RECORD(AFXFetchCustomerIdentityRequest, AFXSystemManagementRequest,
                  AFX_FIELD(customerID, {AFXCustomerID::staticClass()}))
AFX_DEFINE_RECORD(AFXSaveAPNSDeviceTokenResponse, AFXSystemManagementResponse)
AFX_DEFINE_RECORD(AFXSaveAPNSDeviceTokenRequest, AFXSystemManagementRequest,
                  AFX_FIELD(deviceToken, {string()}), AFX_FIELD(customer, {AFXCustomer::staticClass()}),
                  AFX_FIELD(environmentID, {AFXEnvironmentID::staticClass()}))
AFX_DEFINE_RECORD(AFXStartActivityResponse, AFXSystemManagementResponse)
AFX_DEFINE_RECORD(AFXStartActivityRequest, AFXSystemManagementRequest,
                  AFX_FIELD(activity, {AFXActivity::staticClass()}))
AFX_DEFINE_RECORD(AFXStopActivityResponse, AFXSystemManagementResponse)
AFX_DEFINE_RECORD(AFXStopActivityRequest, AFXSystemManagementRequest,
                  AFX_FIELD(activity, {AFXActivity::staticClass()}))
AFX_DEFINE_RECORD(AFXPrepareWholeSystemForTerminationResponse, AFXSystemManagementResponse,
                  AFX_FIELD(canTerminate, {number()}))
AFX_DEFINE_RECORD(AFXPrepareWholeSystemForTerminationRequest, AFXSystemManagementRequest)
AFX_DEFINE_RECORD(AFXFetchSignInWorkflowResponse, AFXSystemManagementResponse,
                  AFX_FIELD(workflow, {AFXSignInWorkflow::staticClass()}))
AFX_DEFINE_RECORD(AFXFetchSignInWorkflowRequest, AFXSystemManagementRequest)
AFX_DEFINE_RECORD(AFXPresentErrorSystemManagementResponse, AFXSystemManagementResponse)
AFX_DEFINE_RECORD(AFXPresentErrorSystemManagementRequest, AFXSystemManagementRequest,
                  AFX_FIELD(error, {platform::ValueClasses::error()}))

QList<const platform::Class*> AFXSystemManagementRequestClasses() {
    return {
        AFXFetchCurrentEnvironmentRequest::staticClass(),
        AFXFetchEnvironmentWithIDRequest::staticClass(),
        AFXPokeRequest::staticClass(),
        AFXCheckForUpdatesRequest::staticClass(),
        AFXFinderSyncExtensionLaunchRequest::staticClass(),
        AFXTearDownServiceRequest::staticClass(),
        AFXFetchStartUpStatusRequest::staticClass(),
        AFXShowSignInRequest::staticClass(),
        AFXFetchUninstallerRequest::staticClass(),
        AFXFetchConsumptiveInternetUsagePermissionRequest::staticClass(),
        AFXCancelConsumptiveInternetUsagePermissionRequest::staticClass(),
        AFXSignOutCustomerRequest::staticClass(),
        AFXUninstallKestrelRequest::staticClass(),
        AFXSignInWithCredentialsRequest::staticClass(),
        AFXFetchCurrentCustomerRequest::staticClass(),
        AFXFetchCustomerWithIDRequest::staticClass(),
        AFXFetchCustomerCabinetAccessTokenRequest::staticClass(),
        AFXFetchCustomerIdentityRequest::staticClass(),
        AFXSaveAPNSDeviceTokenRequest::staticClass(),
        AFXStartActivityRequest::staticClass(),
        AFXStopActivityRequest::staticClass(),
        AFXPrepareWholeSystemForTerminationRequest::staticClass(),
        AFXFetchSignInWorkflowRequest::staticClass(),
        AFXPresentErrorSystemManagementRequest::staticClass(),
    };
}

void AFXSystemManagementRequest::performOnService(AFXBaseService& service,
                                                  AFXInterprocessReportHandler reportHandler,
                                                  AFXInterprocessResponseHandler responseHandler) {
    // A peer's request names its service; one that reached another service
    // is answered, never dispatched.
    auto* systemManagementService = dynamic_cast<AFXSystemManagementService*>(&service);
    if (!systemManagementService) {
        responseHandler(BRAnyValueOrError::makeWithError(
            afx_makeErrorOfMissingServiceNamed(AFXSystemManagementServiceName(), objectClass()->name())));
        return;
    }
    performOnSystemManagementService(*systemManagementService, std::move(reportHandler),
                                     std::move(responseHandler));
}

bool AFXSystemManagementRequest::answerIfMissing(bool present, const QString& field,
                                                 const AFXInterprocessResponseHandler& responseHandler) {
    if (!present) {
        responseHandler(BRAnyValueOrError::makeWithError(afx_makeErrorOfMissingObjectOfKind(field)));
    }
    return !present;
}

void AFXSystemManagementRequest::assertNoReportHandler(const AFXInterprocessReportHandler& reportHandler) {
    BRParameterAssertText(!reportHandler, "nil == reportHandler");
}

// MARK: - Environments

void AFXFetchCurrentEnvironmentRequest::performOnSystemManagementService(
    AFXSystemManagementService& service, AFXInterprocessReportHandler reportHandler,
    AFXInterprocessResponseHandler responseHandler) {
    service.fetchCurrentEnvironmentUpdated(isUpdated(),
                                           answerValue(reportHandler, std::move(responseHandler),
                                                       &AFXFetchCurrentEnvironmentResponse::setEnvironment));
}

void AFXFetchEnvironmentWithIDRequest::performOnSystemManagementService(
    AFXSystemManagementService& service, AFXInterprocessReportHandler reportHandler,
    AFXInterprocessResponseHandler responseHandler) {
    if (answerIfMissing(environmentID() != nullptr, QStringLiteral("environmentID"), responseHandler)) {
        return;
    }
    service.fetchEnvironmentWithID(environmentID(), isUpdated(),
                                   answerValue(reportHandler, std::move(responseHandler),
                                               &AFXFetchEnvironmentWithIDResponse::setEnvironment));
}

// MARK: - The desktop client itself

void AFXPokeRequest::performOnSystemManagementService(AFXSystemManagementService& service,
                                                      AFXInterprocessReportHandler reportHandler,
                                                      AFXInterprocessResponseHandler responseHandler) {
    assertNoReportHandler(reportHandler);
    service.pokeWithCallback(answerCompletion<AFXPokeResponse>(std::move(responseHandler)));
}

void AFXCheckForUpdatesRequest::performOnSystemManagementService(
    AFXSystemManagementService& service, AFXInterprocessReportHandler reportHandler,
    AFXInterprocessResponseHandler responseHandler) {
    assertNoReportHandler(reportHandler);
    service.checkForUpdatesInitiatedByUser(
        initiatedByUser(), answerError<AFXCheckForUpdatesResponse>(std::move(responseHandler)));
}

void AFXFinderSyncExtensionLaunchRequest::performOnSystemManagementService(
    AFXSystemManagementService& service, AFXInterprocessReportHandler reportHandler,
    AFXInterprocessResponseHandler responseHandler) {
    assertNoReportHandler(reportHandler);
    service.notifyFinderSyncExtensionLaunchedWithCallback(
        answerCompletion<AFXFinderSyncExtensionLaunchResponse>(std::move(responseHandler)));
}

void AFXTearDownServiceRequest::performOnSystemManagementService(
    AFXSystemManagementService& service, AFXInterprocessReportHandler reportHandler,
    AFXInterprocessResponseHandler responseHandler) {
    assertNoReportHandler(reportHandler);
    service.tearDownServiceWithCallback(
        answerBoolean(std::move(responseHandler), &AFXTearDownServiceResponse::setWillTerminate));
}

void AFXFetchStartUpStatusRequest::performOnSystemManagementService(
    AFXSystemManagementService& service, AFXInterprocessReportHandler reportHandler,
    AFXInterprocessResponseHandler responseHandler) {
    service.fetchStartUpStatusWithCallback(
        answerValue(reportHandler, std::move(responseHandler), &AFXFetchStartUpStatusResponse::setStatus));
}

void AFXShowSignInRequest::performOnSystemManagementService(AFXSystemManagementService& service,
                                                            AFXInterprocessReportHandler reportHandler,
                                                            AFXInterprocessResponseHandler responseHandler) {
    assertNoReportHandler(reportHandler);
    service.showSignInWithPresentationStyle(
        presentationStyle(), answerCompletion<AFXShowSignInResponse>(std::move(responseHandler)));
}

void AFXFetchUninstallerRequest::performOnSystemManagementService(
    AFXSystemManagementService& service, AFXInterprocessReportHandler reportHandler,
    AFXInterprocessResponseHandler responseHandler) {
    service.fetchUninstallerExecutableInfoWithType(
        uninstallType(), answerValue(reportHandler, std::move(responseHandler),
                                     &AFXFetchUninstallerResponse::setExecutableInfo));
}

void AFXFetchConsumptiveInternetUsagePermissionRequest::performOnSystemManagementService(
    AFXSystemManagementService& service, AFXInterprocessReportHandler reportHandler,
    AFXInterprocessResponseHandler responseHandler) {
    assertNoReportHandler(reportHandler);
    service.fetchConsumptiveInternetUsagePermissionWithReason(
        reason(), canAskUser(),
        [responseHandler = std::move(responseHandler)](bool canUseInternet, const QString& cancellationKey) {
            auto response = AFXFetchConsumptiveInternetUsagePermissionResponse::make();
            response->setCanUseInternet(canUseInternet);
            response->setCancellationKey(cancellationKey);
            responseHandler(BRAnyValueOrError::makeWithValue(platform::Value(response)));
        });
}

void AFXCancelConsumptiveInternetUsagePermissionRequest::performOnSystemManagementService(
    AFXSystemManagementService& service, AFXInterprocessReportHandler reportHandler,
    AFXInterprocessResponseHandler responseHandler) {
    assertNoReportHandler(reportHandler);
    service.cancelConsumptiveInternetUsagePermission(cancellationKey());
    answerCompletion<AFXCancelConsumptiveInternetUsagePermissionResponse>(std::move(responseHandler))();
}

void AFXUninstallKestrelRequest::performOnSystemManagementService(
    AFXSystemManagementService& service, AFXInterprocessReportHandler,
    AFXInterprocessResponseHandler responseHandler) {
    service.uninstallKestrelForce(force(),
                                  answerError<AFXUninstallKestrelResponse>(std::move(responseHandler)));
}

void AFXPrepareWholeSystemForTerminationRequest::performOnSystemManagementService(
    AFXSystemManagementService& service, AFXInterprocessReportHandler,
    AFXInterprocessResponseHandler responseHandler) {
    service.prepareWholeSystemForTerminationWithCallback(answerBoolean(
        std::move(responseHandler), &AFXPrepareWholeSystemForTerminationResponse::setCanTerminate));
}

void AFXPresentErrorSystemManagementRequest::performOnSystemManagementService(
    AFXSystemManagementService& service, AFXInterprocessReportHandler reportHandler,
    AFXInterprocessResponseHandler responseHandler) {
    assertNoReportHandler(reportHandler);
    const std::optional<platform::Error> presented = error();
    if (answerIfMissing(presented.has_value(), QStringLiteral("error"), responseHandler)) {
        return;
    }
    service.presentError(
        *presented, answerCompletion<AFXPresentErrorSystemManagementResponse>(std::move(responseHandler)));
}

// MARK: - Customers

void AFXFetchCurrentCustomerRequest::performOnSystemManagementService(
    AFXSystemManagementService& service, AFXInterprocessReportHandler reportHandler,
    AFXInterprocessResponseHandler responseHandler) {
    service.fetchCurrentCustomerUpdated(isUpdated(), canDestroyInvalidCustomer(), runningApplication(),
                                        presentationStyle(),
                                        answerValue(reportHandler, std::move(responseHandler),
                                                    &AFXFetchCurrentCustomerResponse::setCustomer));
}

void AFXFetchCustomerWithIDRequest::performOnSystemManagementService(
    AFXSystemManagementService& service, AFXInterprocessReportHandler reportHandler,
    AFXInterprocessResponseHandler responseHandler) {
    if (answerIfMissing(customerID() != nullptr, QStringLiteral("customerID"), responseHandler)) {
        return;
    }
    service.fetchCustomerWithID(
        customerID(), isUpdated(),
        answerValue(reportHandler, std::move(responseHandler), &AFXFetchCustomerWithIDResponse::setCustomer));
}

void AFXSignOutCustomerRequest::performOnSystemManagementService(
    AFXSystemManagementService& service, AFXInterprocessReportHandler,
    AFXInterprocessResponseHandler responseHandler) {
    if (answerIfMissing(customerID() != nullptr, QStringLiteral("customerID"), responseHandler)) {
        return;
    }
    service.signOutCustomerWithID(customerID(), showTerminationDialog(),
                                  answerError<AFXSignOutCustomerResponse>(std::move(responseHandler)));
}

void AFXSignInWithCredentialsRequest::performOnSystemManagementService(
    AFXSystemManagementService& service, AFXInterprocessReportHandler reportHandler,
    AFXInterprocessResponseHandler responseHandler) {
    assertNoReportHandler(reportHandler);
    if (answerIfMissing(credentials() != nullptr, QStringLiteral("credentials"), responseHandler)) {
        return;
    }
    service.signInWithCredentials(credentials());
    answerCompletion<AFXSignInWithCredentialsResponse>(std::move(responseHandler))();
}

void AFXFetchCustomerCabinetAccessTokenRequest::performOnSystemManagementService(
    AFXSystemManagementService& service, AFXInterprocessReportHandler reportHandler,
    AFXInterprocessResponseHandler responseHandler) {
    if (answerIfMissing(customer() != nullptr, QStringLiteral("customer"), responseHandler)) {
        return;
    }
    service.fetchCustomerCabinetAccessToken(
        customer(), timeoutInterval(),
        answerValue(reportHandler, std::move(responseHandler),
                    &AFXFetchCustomerCabinetAccessTokenResponse::setAccessToken));
}

void AFXFetchCustomerIdentityRequest::performOnSystemManagementService(
    AFXSystemManagementService& service, AFXInterprocessReportHandler reportHandler,
    AFXInterprocessResponseHandler responseHandler) {
    if (answerIfMissing(customerID() != nullptr, QStringLiteral("customerID"), responseHandler)) {
        return;
    }
    service.fetchCustomerIdentityWithID(customerID(),
                                        answerValue(reportHandler, std::move(responseHandler),
                                                    &AFXFetchCustomerIdentityResponse::setIdentity));
}

void AFXSaveAPNSDeviceTokenRequest::performOnSystemManagementService(
    AFXSystemManagementService& service, AFXInterprocessReportHandler reportHandler,
    AFXInterprocessResponseHandler responseHandler) {
    assertNoReportHandler(reportHandler);
    if (answerIfMissing(customer() && environmentID(), QStringLiteral("customer and environmentID"),
                        responseHandler)) {
        return;
    }
    service.saveAPNSDeviceToken(deviceToken(), customer(), environmentID(),
                                answerError<AFXSaveAPNSDeviceTokenResponse>(std::move(responseHandler)));
}

// MARK: - Activities

// The serving side hears of the activity together with the stream of the
// process that sent it, so that it can forget the process's activities
// when the stream goes.
void AFXStartActivityRequest::performOnSystemManagementService(
    AFXSystemManagementService& service, AFXInterprocessReportHandler,
    AFXInterprocessResponseHandler responseHandler) {
    if (answerIfMissing(activity() != nullptr, QStringLiteral("activity"), responseHandler)) {
        return;
    }
    service.startActivity(activity(), reportStreamID());
    answerCompletion<AFXStartActivityResponse>(std::move(responseHandler))();
}

void AFXStopActivityRequest::performOnSystemManagementService(
    AFXSystemManagementService& service, AFXInterprocessReportHandler,
    AFXInterprocessResponseHandler responseHandler) {
    if (answerIfMissing(activity() != nullptr, QStringLiteral("activity"), responseHandler)) {
        return;
    }
    service.stopActivity(activity(), reportStreamID());
    answerCompletion<AFXStopActivityResponse>(std::move(responseHandler))();
}

// MARK: - Sign-in workflow

void AFXFetchSignInWorkflowRequest::performOnSystemManagementService(
    AFXSystemManagementService& service, AFXInterprocessReportHandler reportHandler,
    AFXInterprocessResponseHandler responseHandler) {
    service.fetchSignInWorkflowWithCallback(
        answerValue(reportHandler, std::move(responseHandler), &AFXFetchSignInWorkflowResponse::setWorkflow));
}
