#include "AFXSystemManagementClient.h"

#include "AFXSystemManagementRequests.h"
#include "SpecificTools/Interprocess/AFXGlobalServiceID.h"
#include "support/BRDispatch.h"

#include <utility>

const platform::Class* AFXSystemManagementClient::serviceIDClass() {
    return AFXGlobalServiceID::staticClass();
}

QList<const platform::Class*> AFXSystemManagementClient::requestClasses() {
    return AFXSystemManagementRequestClasses();
}

AFXServiceClass AFXSystemManagementClient::serviceClass() {
    return makeServiceClass<AFXSystemManagementClient>(QStringLiteral("AFXSystemManagementClient"),
                                                       interprocessServiceName(), requestClasses());
}

std::shared_ptr<AFXSystemManagementClient> AFXSystemManagementClient::makeWithServiceID(
    const std::shared_ptr<AFXServiceID>& serviceID,
    const std::shared_ptr<AFXServicesFactory>& servicesFactory,
    const std::shared_ptr<AFXRegularInterprocessClientAdaptor>& interprocessAdaptor) {
    return std::shared_ptr<AFXSystemManagementClient>(
        new AFXSystemManagementClient(serviceID, servicesFactory, interprocessAdaptor));
}

AFXSystemManagementClient::AFXSystemManagementClient(
    const std::shared_ptr<AFXServiceID>& serviceID,
    const std::shared_ptr<AFXServicesFactory>& servicesFactory,
    const std::shared_ptr<AFXRegularInterprocessClientAdaptor>& interprocessAdaptor)
    : AFXRegularManagementClient(serviceID, servicesFactory, interprocessServiceName(), serviceIDClass(),
                                 interprocessAdaptor),
      internalQueue_(BRBuildInternalDispatchQueue(QStringLiteral("system-management-client"))) {}

std::weak_ptr<AFXSystemManagementClient> AFXSystemManagementClient::weakSelf() {
    return std::static_pointer_cast<AFXSystemManagementClient>(shared_from_this());
}

// MARK: - Environments

void AFXSystemManagementClient::fetchCurrentEnvironmentUpdated(bool updated,
                                                               AFXEnvironmentCallback callback) {
    sendForValue<AFXFetchCurrentEnvironmentRequest>([&](auto& request) { request.setIsUpdated(updated); },
                                                    &AFXFetchCurrentEnvironmentResponse::environment,
                                                    QStringLiteral("environment"), std::move(callback));
}

void AFXSystemManagementClient::fetchEnvironmentWithID(const std::shared_ptr<AFXEnvironmentID>& environmentID,
                                                       bool isUpdated, AFXEnvironmentCallback callback) {
    sendForValue<AFXFetchEnvironmentWithIDRequest>(
        [&](auto& request) {
            request.setEnvironmentID(environmentID);
            request.setIsUpdated(isUpdated);
        },
        &AFXFetchEnvironmentWithIDResponse::environment, QStringLiteral("environment"), std::move(callback));
}

// MARK: - The desktop client itself

void AFXSystemManagementClient::pokeWithCallback(AFXSystemManagementCompletion callback) {
    sendForCompletion<AFXPokeRequest>(nullptr, std::move(callback));
}

void AFXSystemManagementClient::checkForUpdatesInitiatedByUser(bool initiatedByUser,
                                                               AFXErrorCallback callback) {
    sendForError<AFXCheckForUpdatesRequest>(
        [&](auto& request) { request.setInitiatedByUser(initiatedByUser); }, std::move(callback));
}

void AFXSystemManagementClient::notifyFinderSyncExtensionLaunchedWithCallback(
    AFXSystemManagementCompletion callback) {
    sendForCompletion<AFXFinderSyncExtensionLaunchRequest>(nullptr, std::move(callback));
}

void AFXSystemManagementClient::tearDownServiceWithCallback(AFXBooleanCallback callback) {
    sendForBoolean<AFXTearDownServiceRequest>(nullptr, &AFXTearDownServiceResponse::willTerminate, false,
                                              std::move(callback));
}

void AFXSystemManagementClient::fetchStartUpStatusWithCallback(AFXStartUpStatusCallback callback) {
    sendForValue<AFXFetchStartUpStatusRequest>(nullptr, &AFXFetchStartUpStatusResponse::status,
                                               QStringLiteral("status"), std::move(callback));
}

void AFXSystemManagementClient::showSignInWithPresentationStyle(std::int64_t presentationStyle,
                                                                AFXSystemManagementCompletion callback) {
    sendForCompletion<AFXShowSignInRequest>(
        [&](auto& request) { request.setPresentationStyle(presentationStyle); }, std::move(callback));
}

void AFXSystemManagementClient::fetchUninstallerExecutableInfoWithType(std::int64_t uninstallType,
                                                                       AFXExecutableInfoCallback callback) {
    sendForValue<AFXFetchUninstallerRequest>([&](auto& request) { request.setUninstallType(uninstallType); },
                                             &AFXFetchUninstallerResponse::executableInfo,
                                             QStringLiteral("executableInfo"), std::move(callback));
}

void AFXSystemManagementClient::fetchConsumptiveInternetUsagePermissionWithReason(
    std::uint64_t reason, bool canAskUser, AFXInternetUsagePermissionCallback callback) {
    using Response = AFXFetchConsumptiveInternetUsagePermissionResponse;
    sendForResponse<AFXFetchConsumptiveInternetUsagePermissionRequest, Response>(
        [&](auto& request) {
            request.setReason(reason);
            request.setCanAskUser(canAskUser);
        },
        [callback = std::move(callback)](const BRValueOrError<std::shared_ptr<Response>>& outcome) {
            const auto* permission = outcome.value();
            if (!permission) {
                callback(false, QString());
                return;
            }
            callback((*permission)->canUseInternet(), (*permission)->cancellationKey());
        });
}

void AFXSystemManagementClient::cancelConsumptiveInternetUsagePermission(const QString& cancellationKey) {
    sendIgnoringOutcome<AFXCancelConsumptiveInternetUsagePermissionRequest>(
        [&](auto& request) { request.setCancellationKey(cancellationKey); });
}

void AFXSystemManagementClient::uninstallKestrelForce(bool force, AFXErrorCallback callback) {
    sendForError<AFXUninstallKestrelRequest>([&](auto& request) { request.setForce(force); },
                                             std::move(callback));
}

void AFXSystemManagementClient::prepareWholeSystemForTerminationWithCallback(AFXBooleanCallback callback) {
    sendForBoolean<AFXPrepareWholeSystemForTerminationRequest>(
        nullptr, &AFXPrepareWholeSystemForTerminationResponse::canTerminate, true, std::move(callback));
}

void AFXSystemManagementClient::presentError(const platform::Error& error,
                                             AFXSystemManagementCompletion callback) {
    sendForCompletion<AFXPresentErrorSystemManagementRequest>([&](auto& request) { request.setError(error); },
                                                              std::move(callback));
}

// MARK: - Customers

void AFXSystemManagementClient::fetchCurrentCustomerUpdated(
    bool updated, bool canDestroyInvalidCustomer,
    const std::shared_ptr<AFXRunningApplication>& runningApplication, std::int64_t presentationStyle,
    AFXCustomerCallback callback) {
    sendForValue<AFXFetchCurrentCustomerRequest>(
        [&](auto& request) {
            request.setIsUpdated(updated);
            request.setCanDestroyInvalidCustomer(canDestroyInvalidCustomer);
            request.setRunningApplication(runningApplication);
            request.setPresentationStyle(presentationStyle);
        },
        &AFXFetchCurrentCustomerResponse::customer, QStringLiteral("customer"), std::move(callback));
}

void AFXSystemManagementClient::fetchCustomerWithID(const std::shared_ptr<AFXCustomerID>& customerID,
                                                    bool isUpdated, AFXCustomerCallback callback) {
    sendForValue<AFXFetchCustomerWithIDRequest>(
        [&](auto& request) {
            request.setCustomerID(customerID);
            request.setIsUpdated(isUpdated);
        },
        &AFXFetchCustomerWithIDResponse::customer, QStringLiteral("customer"), std::move(callback));
}

void AFXSystemManagementClient::signOutCustomerWithID(const std::shared_ptr<AFXCustomerID>& customerID,
                                                      bool showTerminationDialog, AFXErrorCallback callback) {
    sendForError<AFXSignOutCustomerRequest>(
        [&](auto& request) {
            request.setCustomerID(customerID);
            request.setShowTerminationDialog(showTerminationDialog);
        },
        std::move(callback));
}

void AFXSystemManagementClient::signInWithCredentials(
    const std::shared_ptr<AFXCustomerCredentials>& credentials) {
    sendIgnoringOutcome<AFXSignInWithCredentialsRequest>(
        [&](auto& request) { request.setCredentials(credentials); });
}

void AFXSystemManagementClient::fetchCustomerCabinetAccessToken(const std::shared_ptr<AFXCustomer>& customer,
                                                                double timeoutInterval,
                                                                AFXAccessTokenCallback callback) {
    sendForValue<AFXFetchCustomerCabinetAccessTokenRequest>(
        [&](auto& request) {
            request.setCustomer(customer);
            request.setTimeoutInterval(timeoutInterval);
        },
        &AFXFetchCustomerCabinetAccessTokenResponse::accessToken, QStringLiteral("accessToken"),
        std::move(callback));
}

void AFXSystemManagementClient::fetchCustomerIdentityWithID(const std::shared_ptr<AFXCustomerID>& customerID,
                                                            AFXCustomerIdentityCallback callback) {
    sendForValue<AFXFetchCustomerIdentityRequest>([&](auto& request) { request.setCustomerID(customerID); },
                                                  &AFXFetchCustomerIdentityResponse::identity,
                                                  QStringLiteral("identity"), std::move(callback));
}

void AFXSystemManagementClient::saveAPNSDeviceToken(const QString& deviceToken,
                                                    const std::shared_ptr<AFXCustomer>& customer,
                                                    const std::shared_ptr<AFXEnvironmentID>& environmentID,
                                                    AFXErrorCallback callback) {
    sendForError<AFXSaveAPNSDeviceTokenRequest>(
        [&](auto& request) {
            request.setDeviceToken(deviceToken);
            request.setCustomer(customer);
            request.setEnvironmentID(environmentID);
        },
        std::move(callback));
}

// MARK: - Activities

template <typename Request>
void AFXSystemManagementClient::sendActivity(const std::shared_ptr<AFXActivity>& activity) {
    sendIgnoringOutcome<Request>([&](Request& request) { request.setActivity(activity); });
}

void AFXSystemManagementClient::startActivity(const std::shared_ptr<AFXActivity>& activity) {
    BRParameterAssertText(activity, "activity");
    internalQueue_->async([weakSelf = weakSelf(), activity] {
        const auto self = weakSelf.lock();
        if (!self) {
            return;
        }
        BRAssertOnQueue(self->internalQueue_);
        if (self->currentActivities_.contains(activity->identifier())) {
            return;
        }
        self->currentActivities_.insert(activity->identifier(), activity);
        self->sendActivity<AFXStartActivityRequest>(activity);
    });
}

void AFXSystemManagementClient::stopActivity(const std::shared_ptr<AFXActivity>& activity) {
    BRParameterAssertText(activity, "activity");
    internalQueue_->async([weakSelf = weakSelf(), activity] {
        const auto self = weakSelf.lock();
        if (!self) {
            return;
        }
        BRAssertOnQueue(self->internalQueue_);
        self->currentActivities_.remove(activity->identifier());
        self->sendActivity<AFXStopActivityRequest>(activity);
    });
}

void AFXSystemManagementClient::didEstablishInterprocessConnectionWithEsteblishedStreamID(
    const QUuid& streamID) {
    AFXRegularManagementClient::didEstablishInterprocessConnectionWithEsteblishedStreamID(streamID);
    internalQueue_->async([weakSelf = weakSelf()] {
        const auto self = weakSelf.lock();
        if (!self) {
            return;
        }
        BRAssertOnQueue(self->internalQueue_);
        for (const auto& activity : std::as_const(self->currentActivities_)) {
            self->sendActivity<AFXStartActivityRequest>(activity);
        }
    });
}

// MARK: - Sign-in workflow

void AFXSystemManagementClient::fetchSignInWorkflowWithCallback(AFXSignInWorkflowCallback callback) {
    sendForValue<AFXFetchSignInWorkflowRequest>(nullptr, &AFXFetchSignInWorkflowResponse::workflow,
                                                QStringLiteral("workflow"), std::move(callback));
}
