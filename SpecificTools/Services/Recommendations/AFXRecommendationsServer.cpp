#include "AFXRecommendationsServer.h"

#include "AFXRecommendationsRequests.h"
#include "SpecificTools/Errors/AFXErrors.h"
#include "SpecificTools/Interprocess/AFXCustomerServiceID.h"

AFXServiceClass AFXRecommendationsServer::serviceClass() {
    AFXServiceClass serviceClass = makeServiceClass<AFXRecommendationsServer>(
        QStringLiteral("AFXRecommendationsServer"), interprocessServiceName(),
        AFXRecommendationsRequestClasses());
    serviceClass.makeServiceIDToPokeWithNewCustomer =
        &AFXRecommendationsService::makeServiceIDToPokeWithNewCustomer;
    return serviceClass;
}

std::shared_ptr<AFXRecommendationsServer> AFXRecommendationsServer::makeWithServiceID(
    const std::shared_ptr<AFXServiceID>& serviceID,
    const std::shared_ptr<AFXRegularInterprocessServerAdaptor>& interprocessAdaptor,
    const std::shared_ptr<AFXServicesFactory>& servicesFactory, const std::shared_ptr<AFXNetworkService>&) {
    return std::shared_ptr<AFXRecommendationsServer>(
        new AFXRecommendationsServer(serviceID, interprocessAdaptor, servicesFactory));
}

AFXRecommendationsServer::AFXRecommendationsServer(
    const std::shared_ptr<AFXServiceID>& serviceID,
    const std::shared_ptr<AFXRegularInterprocessServerAdaptor>& interprocessAdaptor,
    const std::shared_ptr<AFXServicesFactory>& servicesFactory)
    : AFXRegularManagementServer(serviceID, interprocessAdaptor, servicesFactory, interprocessServiceName(),
                                 AFXCustomerServiceID::staticClass()) {}

void AFXRecommendationsServer::fetchRecommendedAppForAppID(std::int64_t, AFXRecommendedAppCallback callback) {
    callback(
        BRValueOrError<std::shared_ptr<AFXRecommendedApp>>::makeWithError(afx_makeErrorOfMissingServiceNamed(
            interprocessServiceName(), QStringLiteral("fetchRecommendedAppForAppID"))));
}

void AFXRecommendationsServer::fetchWelcomeRecommendedAppsExcludingAppIDs(
    const QList<std::int64_t>&, AFXRecommendedAppsCallback callback) {
    callback(BRValueOrError<QList<std::shared_ptr<AFXRecommendedApp>>>::makeWithError(
        afx_makeErrorOfMissingServiceNamed(interprocessServiceName(),
                                           QStringLiteral("fetchWelcomeRecommendedAppsExcludingAppIDs"))));
}

std::shared_ptr<AFXCustomerID> AFXRecommendationsServer::customerID() const {
    return std::static_pointer_cast<AFXCustomerServiceID>(serviceID())->customerID();
}
