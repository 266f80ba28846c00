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
    sendForValue<AFXFetchRecommendedAppRequest>([&](auto& request) { request.setAppID(appID); },
                                                &AFXFetchRecommendedAppResponse::recommendedApp,
                                                QStringLiteral("recommendedApp"), std::move(callback));
}

void AFXRecommendationsClient::fetchWelcomeRecommendedAppsExcludingAppIDs(
    const QList<std::int64_t>& appIDsToExclude, AFXRecommendedAppsCallback callback) {
    sendForValue<AFXFetchWelcomeRecommendedAppsRequest>(
        [&](auto& request) { request.setAppIDsToExclude(appIDsToExclude); },
        &AFXFetchWelcomeRecommendedAppsResponse::recommendedApps, QStringLiteral("recommendedApps"),
        std::move(callback));
}

std::shared_ptr<AFXCustomerID> AFXRecommendationsClient::customerID() const {
    return std::static_pointer_cast<AFXCustomerServiceID>(serviceID())->customerID();
}
