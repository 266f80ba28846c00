#include "AFXUIManagementClient.h"

#include "AFXUIManagementRequests.h"
#include "SpecificTools/Interprocess/AFXGlobalServiceID.h"
#include "SpecificTools/Model/AFXCodedApp.h"
#include "platform/DispatchQueue.h"

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
    sendForValue<AFXFetchCredentialsRequest>(
        [&](auto& request) {
            request.setAccountName(accountName);
            request.setRunningApplication(runningApplication);
        },
        &AFXFetchCredentialsResponse::credentials, QStringLiteral("credentials"), std::move(callback));
}

void AFXUIManagementClient::presentError(const platform::Error& error, AFXUIManagementCallback callback) {
    sendForCompletion<AFXPresentErrorRequest>([&](auto& request) { request.setError(error); },
                                              std::move(callback));
}

void AFXUIManagementClient::presentUserNotificationOfKind(std::uint64_t kind) {
    sendIgnoringOutcome<AFXPresentUserNotificationRequest>([&](auto& request) { request.setKind(kind); });
}

void AFXUIManagementClient::presentUserNotificationOfBrandNewApps(
    const QList<std::shared_ptr<AFXCodedApp>>& brandNewApps) {
    sendIgnoringOutcome<AFXPresentUserNotificationOfBrandNewAppsRequest>(
        [&](auto& request) { request.setBrandNewApps(brandNewApps); });
}

void AFXUIManagementClient::presentUserNotificationOfUpdatedApps(
    const QList<std::shared_ptr<AFXCodedApp>>& updatedApps) {
    sendIgnoringOutcome<AFXPresentUserNotificationOfUpdatedAppsRequest>(
        [&](auto& request) { request.setUpdatedApps(updatedApps); });
}

void AFXUIManagementClient::proposeToUpdateRunningApplications(
    const QList<std::shared_ptr<AFXRunningApplication>>& runningApplications, bool withUserNotification,
    const QByteArray& additionalNotificationData, AFXQuittedApplicationsCallback callback) {
    using Response = AFXProposeToUpdateRunningApplicationsResponse;
    sendForResponse<AFXProposeToUpdateRunningApplicationsRequest, Response>(
        [&](auto& request) {
            request.setRunningApplications(runningApplications);
            request.setShowUserNotification(withUserNotification);
            request.setAdditionalNotificationData(additionalNotificationData);
        },
        [callback = std::move(callback)](const BRValueOrError<std::shared_ptr<Response>>& outcome) {
            const auto* response = outcome.value();
            callback(response ? (*response)->quittedApplications()
                              : QList<std::shared_ptr<AFXRunningApplication>>());
        });
}

void AFXUIManagementClient::proposeToUninstallKestrelWithCallback(AFXUIManagementFlagCallback callback) {
    sendForBoolean<AFXProposeToUninstallKestrelUIRequest>(
        nullptr, &AFXProposeToUninstallKestrelUIResponse::cancelled, false, std::move(callback));
}

void AFXUIManagementClient::pokeWithCallback(AFXUIManagementCallback callback) {
    sendForCompletion<AFXPokeUIRequest>(nullptr, std::move(callback));
}

void AFXUIManagementClient::presentAboutWindowWithCallback(AFXUIManagementCallback callback) {
    sendForCompletion<AFXPresentAboutWindowRequest>(nullptr, std::move(callback));
}

void AFXUIManagementClient::askUserForConsumptiveInternetUsageWithReason(
    std::uint64_t reason, AFXUIManagementFlagCallback callback) {
    sendForBoolean<AFXAskUserForConsumptiveInternetUsageRequest>(
        [&](auto& request) { request.setReason(reason); },
        &AFXAskUserForConsumptiveInternetUsageResponse::canUseInternet, false, std::move(callback));
}

void AFXUIManagementClient::openOnlineHelpWithCallback(AFXUIManagementFlagCallback callback) {
    sendForBoolean<AFXOpenOnlineHelpRequest>(nullptr, &AFXOpenOnlineHelpResponse::didOpen, false,
                                             std::move(callback));
}

void AFXUIManagementClient::openFeedbackFormWithCallback(AFXUIManagementCallback callback) {
    sendForCompletion<AFXOpenFeedbackFormRequest>(nullptr, std::move(callback));
}

void AFXUIManagementClient::openCustomerWebAccount(const std::shared_ptr<AFXCustomer>& customer,
                                                   bool startingWithTrialPaymentPage,
                                                   AFXUIManagementFlagCallback callback) {
    sendForBoolean<AFXOpenCustomerWebAccountRequest>(
        [&](auto& request) {
            request.setCustomer(customer);
            request.setOpenAddPaymentPage(startingWithTrialPaymentPage);
        },
        &AFXOpenCustomerWebAccountResponse::didOpenPage, false, std::move(callback));
}

void AFXUIManagementClient::changeStatusItemVisibilityToState(bool isVisible,
                                                              AFXUIManagementFlagCallback callback) {
    sendForBoolean<AFXChangeStatusItemVisibilityRequest>(
        [&](auto& request) { request.setIsVisible(isVisible); },
        &AFXChangeStatusItemVisibilityResponse::isVisible, false, std::move(callback));
}

void AFXUIManagementClient::presentTerminationWindowWithReason(std::int64_t,
                                                               AFXTerminationWindowCallback callback) {
    afx_makeErrorOfMissingServiceNamed(interprocessServiceName(),
                                       QStringLiteral("presentTerminationWindowWithReason"));
    platform::DispatchQueue::global(platform::QualityOfService::Utility)
        ->async([callback = std::move(callback)] { callback(true, {}); });
}
