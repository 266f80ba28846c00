#include "AFXUIManagementClient.h"

#include "AFXUIManagementRequests.h"
#include "SpecificTools/Interprocess/AFXGlobalServiceID.h"
#include "SpecificTools/Model/AFXCodedApp.h"
#include "platform/DispatchQueue.h"

namespace {

// A flag read from the response; false when there is none.
template <typename Response>
std::function<void(const BRValueOrError<std::shared_ptr<Response>>&)>
readFlag(AFXUIManagementFlagCallback callback, bool (Response::*flag)() const) {
    return [callback = std::move(callback), flag](const BRValueOrError<std::shared_ptr<Response>>& outcome) {
        const auto* response = outcome.value();
        callback(response && ((*response).get()->*flag)());
    };
}

template <typename Response>
std::function<void(const BRValueOrError<std::shared_ptr<Response>>&)>
callBack(AFXUIManagementCallback callback) {
    return [callback = std::move(callback)](const BRValueOrError<std::shared_ptr<Response>>&) { callback(); };
}

template <typename Response> std::function<void(const BRValueOrError<std::shared_ptr<Response>>&)> ignore() {
    return [](const BRValueOrError<std::shared_ptr<Response>>&) {};
}

} // namespace

AFXServiceClass AFXUIManagementClient::serviceClass() {
    AFXServiceClass serviceClass = makeServiceClass<AFXUIManagementClient>(
        QStringLiteral("AFXUIManagementClient"), interprocessServiceName(), AFXUIManagementRequestClasses());
    serviceClass.makeGlobalServiceIDToPoke = &AFXUIManagementService::makeGlobalServiceIDToPoke;
    return serviceClass;
}

std::shared_ptr<AFXUIManagementClient> AFXUIManagementClient::makeWithServiceID(
    const std::shared_ptr<AFXServiceID>& serviceID,
    const std::shared_ptr<AFXServicesFactory>& servicesFactory,
    const std::shared_ptr<AFXRegularInterprocessClientAdaptor>& interprocessAdaptor) {
    return std::shared_ptr<AFXUIManagementClient>(
        new AFXUIManagementClient(serviceID, servicesFactory, interprocessServiceName(),
                                  AFXGlobalServiceID::staticClass(), interprocessAdaptor));
}

void AFXUIManagementClient::fetchCredentialsWithAccountName(
    const QString& accountName, const std::shared_ptr<AFXRunningApplication>& runningApplication,
    AFXCustomerCredentialsCallback callback) {
    auto request = makeRequest<AFXFetchCredentialsRequest>();
    if (request) {
        request->setAccountName(accountName);
        request->setRunningApplication(runningApplication);
    }
    performRequestForResponse<AFXFetchCredentialsResponse>(
        request, QStringLiteral("fetchCredentialsWithAccountName"),
        [callback = std::move(callback)](
            const BRValueOrError<std::shared_ptr<AFXFetchCredentialsResponse>>& outcome) {
            callback(liftResponseField(outcome, &AFXFetchCredentialsResponse::credentials,
                                       QStringLiteral("credentials")));
        });
}

void AFXUIManagementClient::presentError(const platform::Error& error, AFXUIManagementCallback callback) {
    auto request = makeRequest<AFXPresentErrorRequest>();
    if (request) {
        request->setError(error);
    }
    performRequestForResponse<AFXPresentErrorResponse>(
        request, QStringLiteral("presentError"), callBack<AFXPresentErrorResponse>(std::move(callback)));
}

void AFXUIManagementClient::presentUserNotificationOfKind(std::uint64_t kind) {
    auto request = makeRequest<AFXPresentUserNotificationRequest>();
    if (request) {
        request->setKind(kind);
    }
    performRequestForResponse<AFXPresentUserNotificationResponse>(
        request, QStringLiteral("presentUserNotificationOfKind"),
        ignore<AFXPresentUserNotificationResponse>());
}

void AFXUIManagementClient::presentUserNotificationOfBrandNewApps(
    const QList<std::shared_ptr<AFXCodedApp>>& brandNewApps) {
    auto request = makeRequest<AFXPresentUserNotificationOfBrandNewAppsRequest>();
    if (request) {
        request->setBrandNewApps(brandNewApps);
    }
    performRequestForResponse<AFXPresentUserNotificationOfBrandNewAppsResponse>(
        request, QStringLiteral("presentUserNotificationOfBrandNewApps"),
        ignore<AFXPresentUserNotificationOfBrandNewAppsResponse>());
}

void AFXUIManagementClient::presentUserNotificationOfUpdatedApps(
    const QList<std::shared_ptr<AFXCodedApp>>& updatedApps) {
    auto request = makeRequest<AFXPresentUserNotificationOfUpdatedAppsRequest>();
    if (request) {
        request->setUpdatedApps(updatedApps);
    }
    performRequestForResponse<AFXPresentUserNotificationOfUpdatedAppsResponse>(
        request, QStringLiteral("presentUserNotificationOfUpdatedApps"),
        ignore<AFXPresentUserNotificationOfUpdatedAppsResponse>());
}

void AFXUIManagementClient::proposeToUpdateRunningApplications(
    const QList<std::shared_ptr<AFXRunningApplication>>& runningApplications, bool withUserNotification,
    const QByteArray& additionalNotificationData, AFXQuittedApplicationsCallback callback) {
    auto request = makeRequest<AFXProposeToUpdateRunningApplicationsRequest>();
    if (request) {
        request->setRunningApplications(runningApplications);
        request->setShowUserNotification(withUserNotification);
        request->setAdditionalNotificationData(additionalNotificationData);
    }
    performRequestForResponse<AFXProposeToUpdateRunningApplicationsResponse>(
        request, QStringLiteral("proposeToUpdateRunningApplications"),
        [callback = std::move(callback)](
            const BRValueOrError<std::shared_ptr<AFXProposeToUpdateRunningApplicationsResponse>>& outcome) {
            const auto* response = outcome.value();
            callback(response ? (*response)->quittedApplications()
                              : QList<std::shared_ptr<AFXRunningApplication>>());
        });
}

void AFXUIManagementClient::proposeToUninstallKestrelWithCallback(AFXUIManagementFlagCallback callback) {
    performRequestForResponse<AFXProposeToUninstallKestrelUIResponse>(
        makeRequest<AFXProposeToUninstallKestrelUIRequest>(),
        QStringLiteral("proposeToUninstallKestrelWithCallback"),
        readFlag(std::move(callback), &AFXProposeToUninstallKestrelUIResponse::cancelled));
}

void AFXUIManagementClient::pokeWithCallback(AFXUIManagementCallback callback) {
    performRequestForResponse<AFXPokeUIResponse>(makeRequest<AFXPokeUIRequest>(),
                                                 QStringLiteral("pokeWithCallback"),
                                                 callBack<AFXPokeUIResponse>(std::move(callback)));
}

void AFXUIManagementClient::presentAboutWindowWithCallback(AFXUIManagementCallback callback) {
    performRequestForResponse<AFXPresentAboutWindowResponse>(
        makeRequest<AFXPresentAboutWindowRequest>(), QStringLiteral("presentAboutWindowWithCallback"),
        callBack<AFXPresentAboutWindowResponse>(std::move(callback)));
}

void AFXUIManagementClient::askUserForConsumptiveInternetUsageWithReason(
    std::uint64_t reason, AFXUIManagementFlagCallback callback) {
    auto request = makeRequest<AFXAskUserForConsumptiveInternetUsageRequest>();
    if (request) {
        request->setReason(reason);
    }
    performRequestForResponse<AFXAskUserForConsumptiveInternetUsageResponse>(
        request, QStringLiteral("askUserForConsumptiveInternetUsageWithReason"),
        readFlag(std::move(callback), &AFXAskUserForConsumptiveInternetUsageResponse::canUseInternet));
}

void AFXUIManagementClient::openOnlineHelpWithCallback(AFXUIManagementFlagCallback callback) {
    performRequestForResponse<AFXOpenOnlineHelpResponse>(
        makeRequest<AFXOpenOnlineHelpRequest>(), QStringLiteral("openOnlineHelpWithCallback"),
        readFlag(std::move(callback), &AFXOpenOnlineHelpResponse::didOpen));
}

void AFXUIManagementClient::openFeedbackFormWithCallback(AFXUIManagementCallback callback) {
    performRequestForResponse<AFXOpenFeedbackFormResponse>(
        makeRequest<AFXOpenFeedbackFormRequest>(), QStringLiteral("openFeedbackFormWithCallback"),
        callBack<AFXOpenFeedbackFormResponse>(std::move(callback)));
}

void AFXUIManagementClient::openCustomerWebAccount(const std::shared_ptr<AFXCustomer>& customer,
                                                   bool startingWithTrialPaymentPage,
                                                   AFXUIManagementFlagCallback callback) {
    auto request = makeRequest<AFXOpenCustomerWebAccountRequest>();
    if (request) {
        request->setCustomer(customer);
        request->setOpenAddPaymentPage(startingWithTrialPaymentPage);
    }
    performRequestForResponse<AFXOpenCustomerWebAccountResponse>(
        request, QStringLiteral("openCustomerWebAccount"),
        readFlag(std::move(callback), &AFXOpenCustomerWebAccountResponse::didOpenPage));
}

void AFXUIManagementClient::changeStatusItemVisibilityToState(bool isVisible,
                                                              AFXUIManagementFlagCallback callback) {
    auto request = makeRequest<AFXChangeStatusItemVisibilityRequest>();
    if (request) {
        request->setIsVisible(isVisible);
    }
    performRequestForResponse<AFXChangeStatusItemVisibilityResponse>(
        request, QStringLiteral("changeStatusItemVisibilityToState"),
        readFlag(std::move(callback), &AFXChangeStatusItemVisibilityResponse::isVisible));
}

void AFXUIManagementClient::presentTerminationWindowWithReason(std::int64_t,
                                                               AFXTerminationWindowCallback callback) {
    afx_makeErrorOfMissingServiceNamed(interprocessServiceName(),
                                       QStringLiteral("presentTerminationWindowWithReason"));
    platform::DispatchQueue::global(platform::QualityOfService::Utility)
        ->async([callback = std::move(callback)] { callback(true, {}); });
}
