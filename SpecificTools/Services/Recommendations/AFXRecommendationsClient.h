#pragma once

#include "AFXRecommendationsService.h"
#include "SpecificTools/Interprocess/AFXRegularManagementClient.h"
#include "SpecificTools/Services/AFXCustomerBasedService.h"

// The proxy of the desktop client's recommendations service of one customer.
class AFXRecommendationsClient : public AFXRegularManagementClient,
                                 public AFXRecommendationsService,
                                 public AFXCustomerBasedService {
public:
    using AFXRecommendationsService::interprocessServiceName;
    static AFXServiceClass serviceClass();
    static std::shared_ptr<AFXRecommendationsClient>
    makeWithServiceID(const std::shared_ptr<AFXServiceID>& serviceID,
                      const std::shared_ptr<AFXServicesFactory>& servicesFactory,
                      const std::shared_ptr<AFXRegularInterprocessClientAdaptor>& interprocessAdaptor);

    void fetchRecommendedAppForAppID(std::int64_t appID, AFXRecommendedAppCallback callback) override;
    void fetchWelcomeRecommendedAppsExcludingAppIDs(const QList<std::int64_t>& appIDsToExclude,
                                                    AFXRecommendedAppsCallback callback) override;

    // AFXCustomerBasedService: the client keeps nothing of the customer but
    // its ID; the desktop client serves the recommendations.
    std::shared_ptr<AFXCustomerID> customerID() const override;
    void updateCustomer(const std::shared_ptr<AFXCustomer>&) override {}

private:
    using AFXRegularManagementClient::AFXRegularManagementClient;
};
