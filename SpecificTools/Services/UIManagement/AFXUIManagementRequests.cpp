#include "AFXUIManagementRequests.h"

#include "AFXUIManagementService.h"
#include "SpecificTools/Interprocess/AFXBaseService.h"
#include "SpecificTools/Interprocess/AFXGlobalServiceID.h"
#include "SpecificTools/Model/AFXCodedApp.h"
#include "platform/ValueClasses.h"

using platform::ValueClasses::data;
using platform::ValueClasses::number;
using platform::ValueClasses::set;
using platform::ValueClasses::string;
using platform::ValueClasses::url;

AFX_DEFINE_ABSTRACT_RECORD(AFXUIManagementRequest, AFXInterprocessRequest)
AFX_DEFINE_ABSTRACT_RECORD(AFXUIManagementResponse, AFXInterprocessResponse)
AFX_DEFINE_ABSTRACT_RECORD(AFXUIManagementReport, AFXInterprocessResponse)

AFX_DEFINE_RECORD(AFXFetchCredentialsResponse, AFXUIManagementResponse,
                  AFX_FIELD(credentials, {AFXCustomerCredentials::staticClass()}))
AFX_DEFINE_RECORD(AFXFetchCredentialsRequest, AFXUIManagementRequest, AFX_FIELD(accountName, {string()}),
                  AFX_FIELD(runningApplication, {AFXRunningApplication::staticClass()}))
AFX_DEFINE_RECORD(AFXPresentErrorResponse, AFXUIManagementResponse)
AFX_DEFINE_RECORD(AFXPresentErrorRequest, AFXUIManagementRequest,
                  AFX_FIELD(error, {platform::ValueClasses::error()}))
AFX_DEFINE_RECORD(AFXPresentUserNotificationResponse, AFXUIManagementResponse)
AFX_DEFINE_RECORD(AFXPresentUserNotificationRequest, AFXUIManagementRequest, AFX_FIELD(kind, {number()}))
AFX_DEFINE_RECORD(AFXPresentUserNotificationOfBrandNewAppsResponse, AFXUIManagementResponse)
AFX_DEFINE_RECORD(AFXPresentUserNotificationOfBrandNewAppsRequest, AFXUIManagementRequest,
                  AFX_SET_FIELD(brandNewApps, {set(), AFXCodedApp::staticClass()}))
AFX_DEFINE_RECORD(AFXPresentUserNotificationOfUpdatedAppsResponse, AFXUIManagementResponse)
AFX_DEFINE_RECORD(AFXPresentUserNotificationOfUpdatedAppsRequest, AFXUIManagementRequest,
                  AFX_SET_FIELD(updatedApps, {set(), AFXCodedApp::staticClass()}))
AFX_DEFINE_RECORD(AFXProposeToUpdateRunningApplicationsResponse, AFXUIManagementResponse,
                  AFX_SET_FIELD(quittedApplications, {set(), AFXRunningApplication::staticClass()}))
AFX_DEFINE_RECORD(AFXProposeToUpdateRunningApplicationsRequest, AFXUIManagementRequest,
                  AFX_SET_FIELD(runningApplications, {set(), AFXRunningApplication::staticClass()}),
                  AFX_FIELD(showUserNotification, {number()}),
                  AFX_FIELD(additionalNotificationData, {data()}))
AFX_DEFINE_RECORD(AFXProposeToUninstallKestrelUIResponse, AFXUIManagementResponse,
                  AFX_FIELD(cancelled, {number()}))
AFX_DEFINE_RECORD(AFXProposeToUninstallKestrelUIRequest, AFXUIManagementRequest)
AFX_DEFINE_RECORD(AFXPokeUIResponse, AFXUIManagementResponse)
AFX_DEFINE_RECORD(AFXPokeUIRequest, AFXUIManagementRequest)
AFX_DEFINE_RECORD(AFXPresentAboutWindowResponse, AFXUIManagementResponse)
AFX_DEFINE_RECORD(AFXPresentAboutWindowRequest, AFXUIManagementRequest)
AFX_DEFINE_RECORD(AFXAskUserForConsumptiveInternetUsageResponse, AFXUIManagementResponse,
                  AFX_FIELD(canUseInternet, {number()}))
AFX_DEFINE_RECORD(AFXAskUserForConsumptiveInternetUsageRequest, AFXUIManagementRequest,
                  AFX_FIELD(reason, {number()}))
AFX_DEFINE_RECORD(AFXOpenOnlineHelpResponse, AFXUIManagementResponse, AFX_FIELD(didOpen, {number()}))
AFX_DEFINE_RECORD(AFXOpenOnlineHelpRequest, AFXUIManagementRequest)
AFX_DEFINE_RECORD(AFXOpenFeedbackFormResponse, AFXUIManagementResponse)
AFX_DEFINE_RECORD(AFXOpenFeedbackFormRequest, AFXUIManagementRequest)
AFX_DEFINE_RECORD(AFXOpenCustomerWebAccountResponse, AFXUIManagementResponse,
                  AFX_FIELD(didOpenPage, {number()}))
AFX_DEFINE_RECORD(AFXOpenCustomerWebAccountRequest, AFXUIManagementRequest,
                  AFX_FIELD(customer, {AFXCustomer::staticClass()}),
                  AFX_FIELD(openAddPaymentPage, {number()}))
AFX_DEFINE_RECORD(AFXChangeStatusItemVisibilityResponse, AFXUIManagementRequest,
                  AFX_FIELD(isVisible, {number()}))
AFX_DEFINE_RECORD(AFXChangeStatusItemVisibilityRequest, AFXUIManagementRequest,
                  AFX_FIELD(isVisible, {number()}))
AFX_DEFINE_RECORD(AFXPresentTerminationWindowResponse, AFXUIManagementResponse,
                  AFX_FIELD(cancelledByUser, {number()}), AFX_SET_FIELD(quittedAppURLs, {set(), url()}))
AFX_DEFINE_RECORD(AFXPresentTerminationWindowRequest, AFXUIManagementRequest, AFX_FIELD(reason, {number()}))

QList<const platform::Class*> AFXUIManagementRequestClasses() {
    return {AFXFetchCredentialsRequest::staticClass(),
            AFXPresentErrorRequest::staticClass(),
            AFXPresentUserNotificationRequest::staticClass(),
            AFXPresentUserNotificationOfBrandNewAppsRequest::staticClass(),
            AFXProposeToUninstallKestrelUIRequest::staticClass(),
            AFXPokeUIRequest::staticClass(),
            AFXProposeToUpdateRunningApplicationsRequest::staticClass(),
            AFXPresentUserNotificationOfUpdatedAppsRequest::staticClass(),
            AFXPresentAboutWindowRequest::staticClass(),
            AFXOpenOnlineHelpRequest::staticClass(),
            AFXOpenFeedbackFormRequest::staticClass(),
            AFXOpenCustomerWebAccountRequest::staticClass(),
            AFXChangeStatusItemVisibilityRequest::staticClass(),
            AFXAskUserForConsumptiveInternetUsageRequest::staticClass()};
}

std::shared_ptr<AFXServiceID> AFXUIManagementService::makeGlobalServiceIDToPoke() {
    return AFXGlobalServiceID::makeWithServiceName(interprocessServiceName());
}

namespace {

AFXUIManagementService& uiManagementService(AFXBaseService& service) {
    return dynamic_cast<AFXUIManagementService&>(service);
}

// The response as the value (not every response of the family descends
// from the response base).
void respond(const AFXInterprocessResponseHandler& responseHandler, const platform::Value& response) {
    responseHandler(BRAnyValueOrError::makeWithValue(response));
}

// The answer of an operation without a result: an empty response.
template <typename Response>
AFXUIManagementCallback answerEmpty(const AFXInterprocessReportHandler& reportHandler,
                                    AFXInterprocessResponseHandler responseHandler) {
    BRParameterAssertText(!reportHandler, "nil == reportHandler");
    return [responseHandler = std::move(responseHandler)] { respond(responseHandler, Response::make()); };
}

// The answer of an operation with a flag: a response holding it.
template <typename Response, typename Record = Response>
AFXUIManagementFlagCallback answerFlag(const AFXInterprocessReportHandler& reportHandler,
                                       AFXInterprocessResponseHandler responseHandler,
                                       void (Record::*setter)(bool)) {
    BRParameterAssertText(!reportHandler, "nil == reportHandler");
    return [responseHandler = std::move(responseHandler), setter](bool flag) {
        auto response = Response::make();
        (response.get()->*setter)(flag);
        respond(responseHandler, response);
    };
}

} // namespace

void AFXFetchCredentialsRequest::performOnService(AFXBaseService& service,
                                                  AFXInterprocessReportHandler reportHandler,
                                                  AFXInterprocessResponseHandler responseHandler) {
    uiManagementService(service).fetchCredentialsWithAccountName(
        accountName(), runningApplication(),
        makeResponseCallback<std::shared_ptr<AFXCustomerCredentials>>(
            reportHandler, std::move(responseHandler),
            [](const std::shared_ptr<AFXCustomerCredentials>& credentials) {
                auto response = AFXFetchCredentialsResponse::make();
                response->setCredentials(credentials);
                return response;
            }));
}

void AFXPresentErrorRequest::performOnService(AFXBaseService& service,
                                              AFXInterprocessReportHandler reportHandler,
                                              AFXInterprocessResponseHandler responseHandler) {
    auto callback = answerEmpty<AFXPresentErrorResponse>(reportHandler, std::move(responseHandler));
    // A request without an error has nothing to present.
    if (const auto presented = error()) {
        uiManagementService(service).presentError(*presented, std::move(callback));
    } else {
        callback();
    }
}

void AFXPresentUserNotificationRequest::performOnService(AFXBaseService& service,
                                                         AFXInterprocessReportHandler reportHandler,
                                                         AFXInterprocessResponseHandler responseHandler) {
    auto answer = answerEmpty<AFXPresentUserNotificationResponse>(reportHandler, std::move(responseHandler));
    uiManagementService(service).presentUserNotificationOfKind(kind());
    answer();
}

void AFXPresentUserNotificationOfBrandNewAppsRequest::performOnService(
    AFXBaseService& service, AFXInterprocessReportHandler reportHandler,
    AFXInterprocessResponseHandler responseHandler) {
    auto answer = answerEmpty<AFXPresentUserNotificationOfBrandNewAppsResponse>(reportHandler,
                                                                                std::move(responseHandler));
    uiManagementService(service).presentUserNotificationOfBrandNewApps(brandNewApps());
    answer();
}

void AFXPresentUserNotificationOfUpdatedAppsRequest::performOnService(
    AFXBaseService& service, AFXInterprocessReportHandler reportHandler,
    AFXInterprocessResponseHandler responseHandler) {
    auto answer = answerEmpty<AFXPresentUserNotificationOfUpdatedAppsResponse>(reportHandler,
                                                                               std::move(responseHandler));
    uiManagementService(service).presentUserNotificationOfUpdatedApps(updatedApps());
    answer();
}

void AFXProposeToUpdateRunningApplicationsRequest::performOnService(
    AFXBaseService& service, AFXInterprocessReportHandler reportHandler,
    AFXInterprocessResponseHandler responseHandler) {
    BRParameterAssertText(!reportHandler, "nil == reportHandler");
    uiManagementService(service).proposeToUpdateRunningApplications(
        runningApplications(), showUserNotification(), additionalNotificationData(),
        [responseHandler = std::move(responseHandler)](
            const QList<std::shared_ptr<AFXRunningApplication>>& quittedApplications) {
            auto response = AFXProposeToUpdateRunningApplicationsResponse::make();
            response->setQuittedApplications(quittedApplications);
            respond(responseHandler, response);
        });
}

void AFXProposeToUninstallKestrelUIRequest::performOnService(AFXBaseService& service,
                                                             AFXInterprocessReportHandler reportHandler,
                                                             AFXInterprocessResponseHandler responseHandler) {
    uiManagementService(service).proposeToUninstallKestrelWithCallback(
        answerFlag<AFXProposeToUninstallKestrelUIResponse>(
            reportHandler, std::move(responseHandler),
            &AFXProposeToUninstallKestrelUIResponse::setCancelled));
}

void AFXPokeUIRequest::performOnService(AFXBaseService& service, AFXInterprocessReportHandler reportHandler,
                                        AFXInterprocessResponseHandler responseHandler) {
    uiManagementService(service).pokeWithCallback(
        answerEmpty<AFXPokeUIResponse>(reportHandler, std::move(responseHandler)));
}

void AFXPresentAboutWindowRequest::performOnService(AFXBaseService& service,
                                                    AFXInterprocessReportHandler reportHandler,
                                                    AFXInterprocessResponseHandler responseHandler) {
    uiManagementService(service).presentAboutWindowWithCallback(
        answerEmpty<AFXPresentAboutWindowResponse>(reportHandler, std::move(responseHandler)));
}

void AFXAskUserForConsumptiveInternetUsageRequest::performOnService(
    AFXBaseService& service, AFXInterprocessReportHandler reportHandler,
    AFXInterprocessResponseHandler responseHandler) {
    uiManagementService(service).askUserForConsumptiveInternetUsageWithReason(
        reason(), answerFlag<AFXAskUserForConsumptiveInternetUsageResponse>(
                      reportHandler, std::move(responseHandler),
                      &AFXAskUserForConsumptiveInternetUsageResponse::setCanUseInternet));
}

void AFXOpenOnlineHelpRequest::performOnService(AFXBaseService& service,
                                                AFXInterprocessReportHandler reportHandler,
                                                AFXInterprocessResponseHandler responseHandler) {
    uiManagementService(service).openOnlineHelpWithCallback(answerFlag<AFXOpenOnlineHelpResponse>(
        reportHandler, std::move(responseHandler), &AFXOpenOnlineHelpResponse::setDidOpen));
}

void AFXOpenFeedbackFormRequest::performOnService(AFXBaseService& service,
                                                  AFXInterprocessReportHandler reportHandler,
                                                  AFXInterprocessResponseHandler responseHandler) {
    uiManagementService(service).openFeedbackFormWithCallback(
        answerEmpty<AFXOpenFeedbackFormResponse>(reportHandler, std::move(responseHandler)));
}

void AFXOpenCustomerWebAccountRequest::performOnService(AFXBaseService& service,
                                                        AFXInterprocessReportHandler reportHandler,
                                                        AFXInterprocessResponseHandler responseHandler) {
    uiManagementService(service).openCustomerWebAccount(
        customer(), openAddPaymentPage(),
        answerFlag<AFXOpenCustomerWebAccountResponse>(reportHandler, std::move(responseHandler),
                                                      &AFXOpenCustomerWebAccountResponse::setDidOpenPage));
}

void AFXChangeStatusItemVisibilityRequest::performOnService(AFXBaseService& service,
                                                            AFXInterprocessReportHandler reportHandler,
                                                            AFXInterprocessResponseHandler responseHandler) {
    uiManagementService(service).changeStatusItemVisibilityToState(
        isVisible(),
        answerFlag<AFXChangeStatusItemVisibilityResponse>(
            reportHandler, std::move(responseHandler), &AFXChangeStatusItemVisibilityResponse::setIsVisible));
}

void AFXPresentTerminationWindowRequest::performOnService(AFXBaseService& service,
                                                          AFXInterprocessReportHandler reportHandler,
                                                          AFXInterprocessResponseHandler responseHandler) {
    BRParameterAssertText(!reportHandler, "nil == reportHandler");
    uiManagementService(service).presentTerminationWindowWithReason(
        reason(), [responseHandler = std::move(responseHandler)](bool cancelledByUser,
                                                                 const QList<QUrl>& quittedAppURLs) {
            auto response = AFXPresentTerminationWindowResponse::make();
            response->setCancelledByUser(cancelledByUser);
            response->setQuittedAppURLs(quittedAppURLs);
            respond(responseHandler, response);
        });
}
