#pragma once

#include "AFXRecommendationsService.h"
#include "SpecificTools/Interprocess/AFXRegularManagementServer.h"
#include "SpecificTools/Services/AFXCustomerBasedService.h"

// The serving side of the recommendations service of one customer. Without
// a subclass that overrides them, both fetches answer that the service is
// missing (see AFXRecommendationsService).
class AFXRecommendationsServer : public AFXRegularManagementServer,
                                 public AFXRecommendationsService,
                                 public AFXCustomerBasedService {
public:
    using AFXRecommendationsService::interprocessServiceName;
    static AFXServiceClass serviceClass();
    static std::shared_ptr<AFXRecommendationsServer>
    makeWithServiceID(const std::shared_ptr<AFXServiceID>& serviceID,
                      const std::shared_ptr<AFXRegularInterprocessServerAdaptor>& interprocessAdaptor,
                      const std::shared_ptr<AFXServicesFactory>& servicesFactory,
                      const std::shared_ptr<AFXNetworkService>& networkService);

    // AFXCustomerBasedService; subclasses that follow the customer override
    // the update.
    std::shared_ptr<AFXCustomerID> customerID() const override;
    void updateCustomer(const std::shared_ptr<AFXCustomer>&) override {}

protected:
    AFXRecommendationsServer(const std::shared_ptr<AFXServiceID>& serviceID,
                             const std::shared_ptr<AFXRegularInterprocessServerAdaptor>& interprocessAdaptor,
                             const std::shared_ptr<AFXServicesFactory>& servicesFactory);
};
