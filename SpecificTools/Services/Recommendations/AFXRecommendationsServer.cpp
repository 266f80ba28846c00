#include "AFXRecommendationsServer.h"

#include "AFXRecommendationsRequests.h"
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

std::shared_ptr<AFXCustomerID> AFXRecommendationsServer::customerID() const {
    return std::static_pointer_cast<AFXCustomerServiceID>(serviceID())->customerID();
}
