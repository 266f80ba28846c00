#include "AFXRecommendationsClient.h"

#include "AFXRecommendationsRequests.h"
#include "SpecificTools/Interprocess/AFXCustomerServiceID.h"

AFXServiceClass AFXRecommendationsClient::serviceClass() {
    AFXServiceClass serviceClass = makeServiceClass<AFXRecommendationsClient>(
        QStringLiteral("AFXRecommendationsClient"), interprocessServiceName(),
        AFXRecommendationsRequestClasses());
    serviceClass.makeServiceIDToPokeWithNewCustomer =
        &AFXRecommendationsService::makeServiceIDToPokeWithNewCustomer;
    return serviceClass;
}

std::shared_ptr<AFXRecommendationsClient> AFXRecommendationsClient::makeWithServiceID(
    const std::shared_ptr<AFXServiceID>& serviceID,
    const std::shared_ptr<AFXServicesFactory>& servicesFactory,
    const std::shared_ptr<AFXRegularInterprocessClientAdaptor>& interprocessAdaptor) {
    return std::shared_ptr<AFXRecommendationsClient>(
        new AFXRecommendationsClient(serviceID, servicesFactory, interprocessServiceName(),
                                     AFXCustomerServiceID::staticClass(), interprocessAdaptor));
}

void AFXRecommendationsClient::fetchRecommendedAppForAppID(std::int64_t appID,
                                                           AFXRecommendedAppCallback callback) {
    auto request = makeRequest<AFXFetchRecommendedAppRequest>();
    if (request) {
        request->setAppID(appID);
    }
    performRequestForResponse<AFXFetchRecommendedAppResponse>(
        request, QStringLiteral("fetchRecommendedAppForAppID"),
        [callback = std::move(callback)](
            const BRValueOrError<std::shared_ptr<AFXFetchRecommendedAppResponse>>& outcome) {
            callback(liftResponseField(outcome, &AFXFetchRecommendedAppResponse::recommendedApp,
                                       QStringLiteral("recommendedApp")));
        });
}

void AFXRecommendationsClient::fetchWelcomeRecommendedAppsExcludingAppIDs(
    const QList<std::int64_t>& appIDsToExclude, AFXRecommendedAppsCallback callback) {
    auto request = makeRequest<AFXFetchWelcomeRecommendedAppsRequest>();
    if (request) {
        request->setAppIDsToExclude(appIDsToExclude);
    }
    performRequestForResponse<AFXFetchWelcomeRecommendedAppsResponse>(
        request, QStringLiteral("fetchWelcomeRecommendedAppsExcludingAppIDs"),
        [callback = std::move(callback)](
            const BRValueOrError<std::shared_ptr<AFXFetchWelcomeRecommendedAppsResponse>>& outcome) {
            callback(outcome.liftValue(
                [](const std::shared_ptr<AFXFetchWelcomeRecommendedAppsResponse>& response) {
                    return response->recommendedApps();
                }));
        });
}

std::shared_ptr<AFXCustomerID> AFXRecommendationsClient::customerID() const {
    return std::static_pointer_cast<AFXCustomerServiceID>(serviceID())->customerID();
}
