#include "AFXSystemManagementClient.h"

#include "AFXSystemManagementRequests.h"
#include "SpecificTools/Errors/AFXErrors.h"
#include "SpecificTools/Interprocess/AFXGlobalServiceID.h"
#include "support/BRDispatch.h"

#include <utility>

namespace {

// The outcome's response, when the outcome holds one of the expected class.
template <typename Response>
BRValueOrError<std::shared_ptr<Response>> responseOf(const BRAnyValueOrError& outcome) {
    if (const auto error = outcome.error()) {
        return BRValueOrError<std::shared_ptr<Response>>::makeWithError(*error);
    }
    if (auto response = outcome.value()->toObject<Response>()) {
        return BRValueOrError<std::shared_ptr<Response>>::makeWithValue(std::move(response));
    }
    return BRValueOrError<std::shared_ptr<Response>>::makeWithError(
        afx_makeErrorOfMissingObjectOfKind(Response::staticClass()->name()));
}

template <typename T> bool isAbsent(const std::shared_ptr<T>& value) {
    return !value;
}
bool isAbsent(const QString& value) {
    return value.isNull();
}
bool isAbsent(std::int64_t) {
    return false;
}

// A value callback: the response's field, or the error. A response without
// the field (nobody signed in, no workflow) answers the missing-object
// error of the field, since a result never holds nothing.
template <typename Response, typename T>
AFXInterprocessResponseHandler answerValue(std::function<void(const BRValueOrError<T>&)> callback,
                                           T (Response::*field)() const, const QString& fieldName) {
    return [callback = std::move(callback), field, fieldName](const BRAnyValueOrError& outcome) {
        const auto response = responseOf<Response>(outcome);
        if (const auto error = response.error()) {
            callback(BRValueOrError<T>::makeWithError(*error));
            return;
        }
        const Response& held = **response.value();
        T value = (held.*field)();
        callback(isAbsent(value)
                     ? BRValueOrError<T>::makeWithError(afx_makeErrorOfMissingObjectOfKind(fieldName))
                     : BRValueOrError<T>::makeWithValue(std::move(value)));
    };
}

AFXInterprocessResponseHandler answerError(AFXErrorCallback callback) {
    return [callback = std::move(callback)](const BRAnyValueOrError& outcome) { callback(outcome.error()); };
}

AFXInterprocessResponseHandler answerCompletion(AFXSystemManagementCompletion callback) {
    return [callback = std::move(callback)](const BRAnyValueOrError&) { callback(); };
}

// A boolean callback: the response's boolean, or the failure value.
template <typename Response>
AFXInterprocessResponseHandler answerBoolean(AFXBooleanCallback callback, bool (Response::*field)() const,
                                             bool failureValue) {
    return [callback = std::move(callback), field, failureValue](const BRAnyValueOrError& outcome) {
        const auto response = responseOf<Response>(outcome);
        callback(response.hasValue() ? ((**response.value()).*field)() : failureValue);
    };
}

void ignoreOutcome(const BRAnyValueOrError&) {}

} // namespace

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

template <typename Request>
void AFXSystemManagementClient::send(const std::function<void(Request&)>& fill,
                                     AFXInterprocessResponseHandler responseHandler) {
    const auto request = makeRequest<Request>();
    if (!request) {
        platform::DispatchQueue::global(platform::QualityOfService::Utility)
            ->async([responseHandler = std::move(responseHandler)] {
                responseHandler(BRAnyValueOrError::makeWithError(afx_makeErrorOfMissingServiceNamed(
                    QStringLiteral("self as AFXServicesFactory"), Request::staticClass()->name())));
            });
        return;
    }
    fill(*request);
    performRequest(request, nullptr, std::move(responseHandler));
}

std::weak_ptr<AFXSystemManagementClient> AFXSystemManagementClient::weakSelf() {
    return std::static_pointer_cast<AFXSystemManagementClient>(shared_from_this());
}

// MARK: - Environments

void AFXSystemManagementClient::fetchCurrentEnvironmentUpdated(bool updated,
                                                               AFXEnvironmentCallback callback) {
    send<AFXFetchCurrentEnvironmentRequest>([&](auto& request) { request.setIsUpdated(updated); },
                                            answerValue(std::move(callback),
                                                        &AFXFetchCurrentEnvironmentResponse::environment,
                                                        QStringLiteral("environment")));
}

void AFXSystemManagementClient::fetchEnvironmentWithID(const std::shared_ptr<AFXEnvironmentID>& environmentID,
                                                       bool isUpdated, AFXEnvironmentCallback callback) {
    send<AFXFetchEnvironmentWithIDRequest>(
        [&](auto& request) {
            request.setEnvironmentID(environmentID);
            request.setIsUpdated(isUpdated);
        },
        answerValue(std::move(callback), &AFXFetchEnvironmentWithIDResponse::environment,
                    QStringLiteral("environment")));
}

// MARK: - The desktop client itself

void AFXSystemManagementClient::pokeWithCallback(AFXSystemManagementCompletion callback) {
    send<AFXPokeRequest>([](auto&) {}, answerCompletion(std::move(callback)));
}

void AFXSystemManagementClient::checkForUpdatesInitiatedByUser(bool initiatedByUser,
                                                               AFXErrorCallback callback) {
    send<AFXCheckForUpdatesRequest>([&](auto& request) { request.setInitiatedByUser(initiatedByUser); },
                                    answerError(std::move(callback)));
}

void AFXSystemManagementClient::notifyFinderSyncExtensionLaunchedWithCallback(
    AFXSystemManagementCompletion callback) {
    send<AFXFinderSyncExtensionLaunchRequest>([](auto&) {}, answerCompletion(std::move(callback)));
}

void AFXSystemManagementClient::tearDownServiceWithCallback(AFXBooleanCallback callback) {
    send<AFXTearDownServiceRequest>(
        [](auto&) {}, answerBoolean(std::move(callback), &AFXTearDownServiceResponse::willTerminate, false));
}

void AFXSystemManagementClient::fetchStartUpStatusWithCallback(AFXStartUpStatusCallback callback) {
    send<AFXFetchStartUpStatusRequest>(
        [](auto&) {},
        answerValue(std::move(callback), &AFXFetchStartUpStatusResponse::status, QStringLiteral("status")));
}

void AFXSystemManagementClient::showSignInWithPresentationStyle(std::int64_t presentationStyle,
                                                                AFXSystemManagementCompletion callback) {
    send<AFXShowSignInRequest>([&](auto& request) { request.setPresentationStyle(presentationStyle); },
                               answerCompletion(std::move(callback)));
}

void AFXSystemManagementClient::fetchUninstallerExecutableInfoWithType(std::int64_t uninstallType,
                                                                       AFXExecutableInfoCallback callback) {
    send<AFXFetchUninstallerRequest>([&](auto& request) { request.setUninstallType(uninstallType); },
                                     answerValue(std::move(callback),
                                                 &AFXFetchUninstallerResponse::executableInfo,
                                                 QStringLiteral("executableInfo")));
}

void AFXSystemManagementClient::fetchConsumptiveInternetUsagePermissionWithReason(
    std::uint64_t reason, bool canAskUser, AFXInternetUsagePermissionCallback callback) {
    using Response = AFXFetchConsumptiveInternetUsagePermissionResponse;
    send<AFXFetchConsumptiveInternetUsagePermissionRequest>(
        [&](auto& request) {
            request.setReason(reason);
            request.setCanAskUser(canAskUser);
        },
        [callback = std::move(callback)](const BRAnyValueOrError& outcome) {
            const auto response = responseOf<Response>(outcome);
            if (!response.hasValue()) {
                callback(false, QString());
                return;
            }
            const auto& permission = *response.value();
            callback(permission->canUseInternet(), permission->cancellationKey());
        });
}

void AFXSystemManagementClient::cancelConsumptiveInternetUsagePermission(const QString& cancellationKey) {
    send<AFXCancelConsumptiveInternetUsagePermissionRequest>(
        [&](auto& request) { request.setCancellationKey(cancellationKey); }, ignoreOutcome);
}

void AFXSystemManagementClient::uninstallKestrelForce(bool force, AFXErrorCallback callback) {
    send<AFXUninstallKestrelRequest>([&](auto& request) { request.setForce(force); },
                                     answerError(std::move(callback)));
}

void AFXSystemManagementClient::prepareWholeSystemForTerminationWithCallback(AFXBooleanCallback callback) {
    send<AFXPrepareWholeSystemForTerminationRequest>(
        [](auto&) {},
        answerBoolean(std::move(callback), &AFXPrepareWholeSystemForTerminationResponse::canTerminate, true));
}

void AFXSystemManagementClient::presentError(const platform::Error& error,
                                             AFXSystemManagementCompletion callback) {
    send<AFXPresentErrorSystemManagementRequest>([&](auto& request) { request.setError(error); },
                                                 answerCompletion(std::move(callback)));
}

// MARK: - Customers

void AFXSystemManagementClient::fetchCurrentCustomerUpdated(
    bool updated, bool canDestroyInvalidCustomer,
    const std::shared_ptr<AFXRunningApplication>& runningApplication, std::int64_t presentationStyle,
    AFXCustomerCallback callback) {
    send<AFXFetchCurrentCustomerRequest>(
        [&](auto& request) {
            request.setIsUpdated(updated);
            request.setCanDestroyInvalidCustomer(canDestroyInvalidCustomer);
            request.setRunningApplication(runningApplication);
            request.setPresentationStyle(presentationStyle);
        },
        answerValue(std::move(callback), &AFXFetchCurrentCustomerResponse::customer,
                    QStringLiteral("customer")));
}

void AFXSystemManagementClient::fetchCustomerWithID(const std::shared_ptr<AFXCustomerID>& customerID,
                                                    bool isUpdated, AFXCustomerCallback callback) {
    send<AFXFetchCustomerWithIDRequest>(
        [&](auto& request) {
            request.setCustomerID(customerID);
            request.setIsUpdated(isUpdated);
        },
        answerValue(std::move(callback), &AFXFetchCustomerWithIDResponse::customer,
                    QStringLiteral("customer")));
}

void AFXSystemManagementClient::signOutCustomerWithID(const std::shared_ptr<AFXCustomerID>& customerID,
                                                      bool showTerminationDialog, AFXErrorCallback callback) {
    send<AFXSignOutCustomerRequest>(
        [&](auto& request) {
            request.setCustomerID(customerID);
            request.setShowTerminationDialog(showTerminationDialog);
        },
        answerError(std::move(callback)));
}

void AFXSystemManagementClient::signInWithCredentials(
    const std::shared_ptr<AFXCustomerCredentials>& credentials) {
    send<AFXSignInWithCredentialsRequest>([&](auto& request) { request.setCredentials(credentials); },
                                          ignoreOutcome);
}

void AFXSystemManagementClient::fetchCustomerCabinetAccessToken(const std::shared_ptr<AFXCustomer>& customer,
                                                                double timeoutInterval,
                                                                AFXAccessTokenCallback callback) {
    send<AFXFetchCustomerCabinetAccessTokenRequest>(
        [&](auto& request) {
            request.setCustomer(customer);
            request.setTimeoutInterval(timeoutInterval);
        },
        answerValue(std::move(callback), &AFXFetchCustomerCabinetAccessTokenResponse::accessToken,
                    QStringLiteral("accessToken")));
}

void AFXSystemManagementClient::fetchCustomerIdentityWithID(const std::shared_ptr<AFXCustomerID>& customerID,
                                                            AFXCustomerIdentityCallback callback) {
    send<AFXFetchCustomerIdentityRequest>([&](auto& request) { request.setCustomerID(customerID); },
                                          answerValue(std::move(callback),
                                                      &AFXFetchCustomerIdentityResponse::identity,
                                                      QStringLiteral("identity")));
}

void AFXSystemManagementClient::saveAPNSDeviceToken(const QString& deviceToken,
                                                    const std::shared_ptr<AFXCustomer>& customer,
                                                    const std::shared_ptr<AFXEnvironmentID>& environmentID,
                                                    AFXErrorCallback callback) {
    send<AFXSaveAPNSDeviceTokenRequest>(
        [&](auto& request) {
            request.setDeviceToken(deviceToken);
            request.setCustomer(customer);
            request.setEnvironmentID(environmentID);
        },
        answerError(std::move(callback)));
}

// MARK: - Activities

template <typename Request>
void AFXSystemManagementClient::sendActivity(const std::shared_ptr<AFXActivity>& activity) {
    send<Request>([&](Request& request) { request.setActivity(activity); }, ignoreOutcome);
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
    send<AFXFetchSignInWorkflowRequest>([](auto&) {}, answerValue(std::move(callback),
                                                                  &AFXFetchSignInWorkflowResponse::workflow,
                                                                  QStringLiteral("workflow")));
}
