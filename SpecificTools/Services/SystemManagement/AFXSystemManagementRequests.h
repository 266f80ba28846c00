#pragma once

// The requests of the system management service and their responses, in
// the framework's compact record form. Each request carries its own
// dispatch onto the serving side's AFXSystemManagementService. No request
// of this service reports progress.

#include "AFXActivity.h"
#include "AFXRunningApplication.h"
#include "AFXSignInWorkflow.h"
#include "AFXSystemManagementService.h"
#include "SpecificTools/Interprocess/AFXInterprocessRequest.h"
#include "SpecificTools/Model/AFXCustomer.h"
#include "SpecificTools/Model/AFXCustomerCredentials.h"
#include "SpecificTools/Model/AFXCustomerID.h"
#include "SpecificTools/Model/AFXCustomerIdentity.h"
#include "SpecificTools/Model/AFXEnvironment.h"
#include "SpecificTools/Model/AFXEnvironmentID.h"
#include "SpecificTools/Model/AFXExecutableInfo.h"

#include <QList>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

class AFXSystemManagementResponse : public AFXInterprocessResponse {
    AFX_DECLARE_RECORD(AFXSystemManagementResponse)

protected:
    AFXSystemManagementResponse() = default;
};

class AFXSystemManagementReport : public AFXInterprocessReport {
    AFX_DECLARE_RECORD(AFXSystemManagementReport)

protected:
    AFXSystemManagementReport() = default;
};

// The base of the service's requests; its service ID is a global one.
// The helpers turn the service's callback forms into the response
// handler's outcome.
class AFXSystemManagementRequest : public AFXInterprocessRequest {
    AFX_DECLARE_RECORD(AFXSystemManagementRequest)

public:
    // Dispatches onto the service when it is a system management service,
    // and answers the missing-service error otherwise.
    void performOnService(AFXBaseService& service, AFXInterprocessReportHandler reportHandler,
                          AFXInterprocessResponseHandler responseHandler) final;

protected:
    AFXSystemManagementRequest() = default;

    // The request's own dispatch: calls the service's operation with its
    // fields and turns the outcome into its response.
    virtual void performOnSystemManagementService(AFXSystemManagementService& service,
                                                  AFXInterprocessReportHandler reportHandler,
                                                  AFXInterprocessResponseHandler responseHandler) = 0;
    // A peer may leave out an object the operation needs: such a request is
    // answered with the missing-object error of the field (true) instead of
    // reaching the service.
    static bool answerIfMissing(bool present, const QString& field,
                                const AFXInterprocessResponseHandler& responseHandler);
    static void assertNoReportHandler(const AFXInterprocessReportHandler& reportHandler);

    // A value: an error as it is, a value in a new response's field.
    template <typename Response, typename T>
    static std::function<void(const BRValueOrError<T>&)>
    answerValue(const AFXInterprocessReportHandler& reportHandler,
                AFXInterprocessResponseHandler responseHandler, void (Response::*setField)(T)) {
        return makeResponseCallback<T>(reportHandler, std::move(responseHandler), [setField](const T& value) {
            auto response = Response::make();
            (*response.*setField)(value);
            return response;
        });
    }
    // An error or nothing: the error as it is, or a new empty response.
    template <typename Response>
    static AFXErrorCallback answerError(AFXInterprocessResponseHandler responseHandler) {
        return [responseHandler = std::move(responseHandler)](const std::optional<platform::Error>& error) {
            responseHandler(error ? BRAnyValueOrError::makeWithError(*error)
                                  : BRAnyValueOrError::makeWithValue(platform::Value(Response::make())));
        };
    }
    template <typename Response>
    static AFXSystemManagementCompletion answerCompletion(AFXInterprocessResponseHandler responseHandler) {
        return [responseHandler = std::move(responseHandler)] {
            responseHandler(BRAnyValueOrError::makeWithValue(platform::Value(Response::make())));
        };
    }
    template <typename Response>
    static AFXBooleanCallback answerBoolean(AFXInterprocessResponseHandler responseHandler,
                                            void (Response::*setField)(bool)) {
        return [responseHandler = std::move(responseHandler), setField](bool value) {
            auto response = Response::make();
            (*response.*setField)(value);
            responseHandler(BRAnyValueOrError::makeWithValue(platform::Value(response)));
        };
    }
};

// The class operations every concrete request of the service declares.
#define AFX_SYSTEM_MANAGEMENT_REQUEST(ResponseName)                                                          \
public:                                                                                                      \
    const platform::Class* responseClass() const override {                                                  \
        return ResponseName::staticClass();                                                                  \
    }                                                                                                        \
                                                                                                             \
protected:                                                                                                   \
    void performOnSystemManagementService(AFXSystemManagementService& service,                               \
                                          AFXInterprocessReportHandler reportHandler,                        \
                                          AFXInterprocessResponseHandler responseHandler) override;

class AFXFetchCurrentEnvironmentResponse : public AFXSystemManagementResponse {
    AFX_DECLARE_RECORD(AFXFetchCurrentEnvironmentResponse)
    AFX_RECORD_FIELD(std::shared_ptr<AFXEnvironment>, environment, setEnvironment)
};
class AFXFetchCurrentEnvironmentRequest : public AFXSystemManagementRequest {
    AFX_DECLARE_RECORD(AFXFetchCurrentEnvironmentRequest)
    AFX_RECORD_FIELD(bool, isUpdated, setIsUpdated)
    AFX_SYSTEM_MANAGEMENT_REQUEST(AFXFetchCurrentEnvironmentResponse)
};

class AFXFetchEnvironmentWithIDResponse : public AFXSystemManagementResponse {
    AFX_DECLARE_RECORD(AFXFetchEnvironmentWithIDResponse)
    AFX_RECORD_FIELD(std::shared_ptr<AFXEnvironment>, environment, setEnvironment)
};
class AFXFetchEnvironmentWithIDRequest : public AFXSystemManagementRequest {
    AFX_DECLARE_RECORD(AFXFetchEnvironmentWithIDRequest)
    AFX_RECORD_FIELD(std::shared_ptr<AFXEnvironmentID>, environmentID, setEnvironmentID)
    AFX_RECORD_FIELD(bool, isUpdated, setIsUpdated)
    AFX_SYSTEM_MANAGEMENT_REQUEST(AFXFetchEnvironmentWithIDResponse)
};

class AFXPokeResponse : public AFXSystemManagementResponse {
    AFX_DECLARE_RECORD(AFXPokeResponse)
};
class AFXPokeRequest : public AFXSystemManagementRequest {
    AFX_DECLARE_RECORD(AFXPokeRequest)
    AFX_SYSTEM_MANAGEMENT_REQUEST(AFXPokeResponse)
};

class AFXCheckForUpdatesResponse : public AFXSystemManagementResponse {
    AFX_DECLARE_RECORD(AFXCheckForUpdatesResponse)
};
class AFXCheckForUpdatesRequest : public AFXSystemManagementRequest {
    AFX_DECLARE_RECORD(AFXCheckForUpdatesRequest)
    AFX_RECORD_FIELD(bool, initiatedByUser, setInitiatedByUser)
    AFX_SYSTEM_MANAGEMENT_REQUEST(AFXCheckForUpdatesResponse)
};

class AFXFinderSyncExtensionLaunchResponse : public AFXSystemManagementResponse {
    AFX_DECLARE_RECORD(AFXFinderSyncExtensionLaunchResponse)
};
class AFXFinderSyncExtensionLaunchRequest : public AFXSystemManagementRequest {
    AFX_DECLARE_RECORD(AFXFinderSyncExtensionLaunchRequest)
    AFX_SYSTEM_MANAGEMENT_REQUEST(AFXFinderSyncExtensionLaunchResponse)
};

class AFXTearDownServiceResponse : public AFXSystemManagementResponse {
    AFX_DECLARE_RECORD(AFXTearDownServiceResponse)
    AFX_RECORD_FIELD(bool, willTerminate, setWillTerminate)
};
class AFXTearDownServiceRequest : public AFXSystemManagementRequest {
    AFX_DECLARE_RECORD(AFXTearDownServiceRequest)
    AFX_SYSTEM_MANAGEMENT_REQUEST(AFXTearDownServiceResponse)
};

class AFXFetchStartUpStatusResponse : public AFXSystemManagementResponse {
    AFX_DECLARE_RECORD(AFXFetchStartUpStatusResponse)
    AFX_RECORD_FIELD(std::int64_t, status, setStatus)
};
class AFXFetchStartUpStatusRequest : public AFXSystemManagementRequest {
    AFX_DECLARE_RECORD(AFXFetchStartUpStatusRequest)
    AFX_SYSTEM_MANAGEMENT_REQUEST(AFXFetchStartUpStatusResponse)
};

class AFXShowSignInResponse : public AFXSystemManagementResponse {
    AFX_DECLARE_RECORD(AFXShowSignInResponse)
};
class AFXShowSignInRequest : public AFXSystemManagementRequest {
    AFX_DECLARE_RECORD(AFXShowSignInRequest)
    AFX_RECORD_FIELD(std::int64_t, presentationStyle, setPresentationStyle)
    AFX_SYSTEM_MANAGEMENT_REQUEST(AFXShowSignInResponse)
};

class AFXFetchUninstallerResponse : public AFXSystemManagementResponse {
    AFX_DECLARE_RECORD(AFXFetchUninstallerResponse)
    AFX_RECORD_FIELD(std::shared_ptr<AFXExecutableInfo>, executableInfo, setExecutableInfo)
};
class AFXFetchUninstallerRequest : public AFXSystemManagementRequest {
    AFX_DECLARE_RECORD(AFXFetchUninstallerRequest)
    AFX_RECORD_FIELD(std::int64_t, uninstallType, setUninstallType)
    AFX_SYSTEM_MANAGEMENT_REQUEST(AFXFetchUninstallerResponse)
};

class AFXFetchConsumptiveInternetUsagePermissionResponse : public AFXSystemManagementResponse {
    AFX_DECLARE_RECORD(AFXFetchConsumptiveInternetUsagePermissionResponse)
    AFX_RECORD_FIELD(bool, canUseInternet, setCanUseInternet)
    AFX_RECORD_FIELD(QString, cancellationKey, setCancellationKey)
};
class AFXFetchConsumptiveInternetUsagePermissionRequest : public AFXSystemManagementRequest {
    AFX_DECLARE_RECORD(AFXFetchConsumptiveInternetUsagePermissionRequest)
    AFX_RECORD_FIELD(bool, canAskUser, setCanAskUser)
    AFX_RECORD_FIELD(std::uint64_t, reason, setReason)
    AFX_SYSTEM_MANAGEMENT_REQUEST(AFXFetchConsumptiveInternetUsagePermissionResponse)
};

class AFXCancelConsumptiveInternetUsagePermissionResponse : public AFXSystemManagementResponse {
    AFX_DECLARE_RECORD(AFXCancelConsumptiveInternetUsagePermissionResponse)
};
class AFXCancelConsumptiveInternetUsagePermissionRequest : public AFXSystemManagementRequest {
    AFX_DECLARE_RECORD(AFXCancelConsumptiveInternetUsagePermissionRequest)
    AFX_RECORD_FIELD(QString, cancellationKey, setCancellationKey)
    AFX_SYSTEM_MANAGEMENT_REQUEST(AFXCancelConsumptiveInternetUsagePermissionResponse)
};

class AFXSignOutCustomerResponse : public AFXSystemManagementResponse {
    AFX_DECLARE_RECORD(AFXSignOutCustomerResponse)
};
class AFXSignOutCustomerRequest : public AFXSystemManagementRequest {
    AFX_DECLARE_RECORD(AFXSignOutCustomerRequest)
    AFX_RECORD_FIELD(std::shared_ptr<AFXCustomerID>, customerID, setCustomerID)
    AFX_RECORD_FIELD(bool, showTerminationDialog, setShowTerminationDialog)
    AFX_SYSTEM_MANAGEMENT_REQUEST(AFXSignOutCustomerResponse)
};

class AFXUninstallKestrelResponse : public AFXSystemManagementResponse {
    AFX_DECLARE_RECORD(AFXUninstallKestrelResponse)
};
class AFXUninstallKestrelRequest : public AFXSystemManagementRequest {
    AFX_DECLARE_RECORD(AFXUninstallKestrelRequest)
    AFX_RECORD_FIELD(bool, force, setForce)
    AFX_SYSTEM_MANAGEMENT_REQUEST(AFXUninstallKestrelResponse)
};

class AFXSignInWithCredentialsResponse : public AFXSystemManagementResponse {
    AFX_DECLARE_RECORD(AFXSignInWithCredentialsResponse)
};
class AFXSignInWithCredentialsRequest : public AFXSystemManagementRequest {
    AFX_DECLARE_RECORD(AFXSignInWithCredentialsRequest)
    AFX_RECORD_FIELD(std::shared_ptr<AFXCustomerCredentials>, credentials, setCredentials)
    AFX_SYSTEM_MANAGEMENT_REQUEST(AFXSignInWithCredentialsResponse)
};

class AFXFetchCurrentCustomerResponse : public AFXSystemManagementResponse {
    AFX_DECLARE_RECORD(AFXFetchCurrentCustomerResponse)
    AFX_RECORD_FIELD(std::shared_ptr<AFXCustomer>, customer, setCustomer)
};
class AFXFetchCurrentCustomerRequest : public AFXSystemManagementRequest {
    AFX_DECLARE_RECORD(AFXFetchCurrentCustomerRequest)
    AFX_RECORD_FIELD(bool, isUpdated, setIsUpdated)
    AFX_RECORD_FIELD(bool, canDestroyInvalidCustomer, setCanDestroyInvalidCustomer)
    AFX_RECORD_FIELD(std::shared_ptr<AFXRunningApplication>, runningApplication, setRunningApplication)
    AFX_RECORD_FIELD(std::int64_t, presentationStyle, setPresentationStyle)
    AFX_SYSTEM_MANAGEMENT_REQUEST(AFXFetchCurrentCustomerResponse)
};

class AFXFetchCustomerWithIDResponse : public AFXSystemManagementResponse {
    AFX_DECLARE_RECORD(AFXFetchCustomerWithIDResponse)
    AFX_RECORD_FIELD(std::shared_ptr<AFXCustomer>, customer, setCustomer)
};
class AFXFetchCustomerWithIDRequest : public AFXSystemManagementRequest {
    AFX_DECLARE_RECORD(AFXFetchCustomerWithIDRequest)
    AFX_RECORD_FIELD(std::shared_ptr<AFXCustomerID>, customerID, setCustomerID)
    AFX_RECORD_FIELD(bool, isUpdated, setIsUpdated)
    AFX_SYSTEM_MANAGEMENT_REQUEST(AFXFetchCustomerWithIDResponse)
};

class AFXFetchCustomerCabinetAccessTokenResponse : public AFXSystemManagementResponse {
    AFX_DECLARE_RECORD(AFXFetchCustomerCabinetAccessTokenResponse)
    AFX_RECORD_FIELD(QString, accessToken, setAccessToken)
};
class AFXFetchCustomerCabinetAccessTokenRequest : public AFXSystemManagementRequest {
    AFX_DECLARE_RECORD(AFXFetchCustomerCabinetAccessTokenRequest)
    AFX_RECORD_FIELD(std::shared_ptr<AFXCustomer>, customer, setCustomer)
    AFX_RECORD_FIELD(double, timeoutInterval, setTimeoutInterval)
    AFX_SYSTEM_MANAGEMENT_REQUEST(AFXFetchCustomerCabinetAccessTokenResponse)
};

class AFXFetchCustomerIdentityResponse : public AFXSystemManagementResponse {
    AFX_DECLARE_RECORD(AFXFetchCustomerIdentityResponse)
    AFX_RECORD_FIELD(std::shared_ptr<AFXCustomerIdentity>, identity, setIdentity)
};
class AFXFetchCustomerIdentityRequest : public AFXSystemManagementRequest {
    AFX_DECLARE_RECORD(AFXFetchCustomerIdentityRequest)
    AFX_RECORD_FIELD(std::shared_ptr<AFXCustomerID>, customerID, setCustomerID)
    AFX_SYSTEM_MANAGEMENT_REQUEST(AFXFetchCustomerIdentityResponse)
};

class AFXSaveAPNSDeviceTokenResponse : public AFXSystemManagementResponse {
    AFX_DECLARE_RECORD(AFXSaveAPNSDeviceTokenResponse)
};
class AFXSaveAPNSDeviceTokenRequest : public AFXSystemManagementRequest {
    AFX_DECLARE_RECORD(AFXSaveAPNSDeviceTokenRequest)
    AFX_RECORD_FIELD(QString, deviceToken, setDeviceToken)
    AFX_RECORD_FIELD(std::shared_ptr<AFXCustomer>, customer, setCustomer)
    AFX_RECORD_FIELD(std::shared_ptr<AFXEnvironmentID>, environmentID, setEnvironmentID)
    AFX_SYSTEM_MANAGEMENT_REQUEST(AFXSaveAPNSDeviceTokenResponse)
};

class AFXStartActivityResponse : public AFXSystemManagementResponse {
    AFX_DECLARE_RECORD(AFXStartActivityResponse)
};
class AFXStartActivityRequest : public AFXSystemManagementRequest {
    AFX_DECLARE_RECORD(AFXStartActivityRequest)
    AFX_RECORD_FIELD(std::shared_ptr<AFXActivity>, activity, setActivity)
    AFX_SYSTEM_MANAGEMENT_REQUEST(AFXStartActivityResponse)
};

class AFXStopActivityResponse : public AFXSystemManagementResponse {
    AFX_DECLARE_RECORD(AFXStopActivityResponse)
};
class AFXStopActivityRequest : public AFXSystemManagementRequest {
    AFX_DECLARE_RECORD(AFXStopActivityRequest)
    AFX_RECORD_FIELD(std::shared_ptr<AFXActivity>, activity, setActivity)
    AFX_SYSTEM_MANAGEMENT_REQUEST(AFXStopActivityResponse)
};

class AFXPrepareWholeSystemForTerminationResponse : public AFXSystemManagementResponse {
    AFX_DECLARE_RECORD(AFXPrepareWholeSystemForTerminationResponse)
    AFX_RECORD_FIELD(bool, canTerminate, setCanTerminate)
};
class AFXPrepareWholeSystemForTerminationRequest : public AFXSystemManagementRequest {
    AFX_DECLARE_RECORD(AFXPrepareWholeSystemForTerminationRequest)
    AFX_SYSTEM_MANAGEMENT_REQUEST(AFXPrepareWholeSystemForTerminationResponse)
};

class AFXFetchSignInWorkflowResponse : public AFXSystemManagementResponse {
    AFX_DECLARE_RECORD(AFXFetchSignInWorkflowResponse)
    AFX_RECORD_FIELD(std::shared_ptr<AFXSignInWorkflow>, workflow, setWorkflow)
};
class AFXFetchSignInWorkflowRequest : public AFXSystemManagementRequest {
    AFX_DECLARE_RECORD(AFXFetchSignInWorkflowRequest)
    AFX_SYSTEM_MANAGEMENT_REQUEST(AFXFetchSignInWorkflowResponse)
};

class AFXPresentErrorSystemManagementResponse : public AFXSystemManagementResponse {
    AFX_DECLARE_RECORD(AFXPresentErrorSystemManagementResponse)
};
class AFXPresentErrorSystemManagementRequest : public AFXSystemManagementRequest {
    AFX_DECLARE_RECORD(AFXPresentErrorSystemManagementRequest)
    AFX_RECORD_FIELD(std::optional<platform::Error>, error, setError)
    AFX_SYSTEM_MANAGEMENT_REQUEST(AFXPresentErrorSystemManagementResponse)
};

#undef AFX_SYSTEM_MANAGEMENT_REQUEST

// The 24 request classes of the service, which its client may send and its
// server accepts.
QList<const platform::Class*> AFXSystemManagementRequestClasses();
