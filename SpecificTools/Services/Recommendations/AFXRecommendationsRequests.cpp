#include "AFXRecommendationsRequests.h"

#include "AFXRecommendationsService.h"
#include "SpecificTools/Interprocess/AFXBaseService.h"
#include "SpecificTools/Interprocess/AFXCustomerServiceID.h"
#include "SpecificTools/Model/AFXCustomer.h"
#include "platform/ValueClasses.h"

using namespace platform::ValueClasses;

AFX_DEFINE_ABSTRACT_RECORD(AFXRecommendationsRequest, AFXInterprocessRequest)
AFX_DEFINE_RECORD(AFXFetchRecommendedAppResponse, AFXInterprocessResponse,
                  AFX_FIELD(recommendedApp, {AFXRecommendedApp::staticClass()}))
AFX_DEFINE_RECORD(AFXFetchRecommendedAppRequest, AFXRecommendationsRequest, AFX_FIELD(appID, {number()}))
AFX_DEFINE_RECORD(AFXFetchWelcomeRecommendedAppsResponse, AFXInterprocessResponse,
                  AFX_FIELD(recommendedApps, {array(), AFXRecommendedApp::staticClass()}))
AFX_DEFINE_RECORD(AFXFetchWelcomeRecommendedAppsRequest, AFXRecommendationsRequest,
                  AFX_SET_FIELD(appIDsToExclude, {set(), number()}))

QList<const platform::Class*> AFXRecommendationsRequestClasses() {
    return {AFXFetchRecommendedAppRequest::staticClass(),
            AFXFetchWelcomeRecommendedAppsRequest::staticClass()};
}

std::shared_ptr<AFXServiceID>
AFXRecommendationsService::makeServiceIDToPokeWithNewCustomer(const std::shared_ptr<AFXCustomer>& customer) {
    if (!customer || !customer->identifier()) {
        return nullptr;
    }
    return AFXCustomerServiceID::makeWithServiceName(interprocessServiceName(), customer->identifier());
}

void AFXFetchRecommendedAppRequest::performOnService(AFXBaseService& service,
                                                     AFXInterprocessReportHandler reportHandler,
                                                     AFXInterprocessResponseHandler responseHandler) {
    dynamic_cast<AFXRecommendationsService&>(service).fetchRecommendedAppForAppID(
        appID(), makeResponseCallback<std::shared_ptr<AFXRecommendedApp>>(
                     reportHandler, std::move(responseHandler),
                     [](const std::shared_ptr<AFXRecommendedApp>& recommendedApp) {
                         auto response = AFXFetchRecommendedAppResponse::make();
                         response->setRecommendedApp(recommendedApp);
                         return response;
                     }));
}

void AFXFetchWelcomeRecommendedAppsRequest::performOnService(AFXBaseService& service,
                                                             AFXInterprocessReportHandler reportHandler,
                                                             AFXInterprocessResponseHandler responseHandler) {
    dynamic_cast<AFXRecommendationsService&>(service).fetchWelcomeRecommendedAppsExcludingAppIDs(
        appIDsToExclude(), makeResponseCallback<QList<std::shared_ptr<AFXRecommendedApp>>>(
                               reportHandler, std::move(responseHandler),
                               [](const QList<std::shared_ptr<AFXRecommendedApp>>& recommendedApps) {
                                   auto response = AFXFetchWelcomeRecommendedAppsResponse::make();
                                   response->setRecommendedApps(recommendedApps);
                                   return response;
                               }));
}
