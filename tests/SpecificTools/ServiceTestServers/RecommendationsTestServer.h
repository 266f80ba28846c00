#pragma once

#include "ServedService.h"
#include "SpecificTools/Services/Recommendations/AFXRecommendationsServer.h"

// Recommends the app's identifier plus one and two, and for a welcome
// every app of 4…1 not excluded; notes the exclusions of a welcome
// ("seen": "welcome excluding" and the sorted identifiers).
class RecommendationsTestServer final : public AFXRecommendationsServer {
public:
    static std::shared_ptr<RecommendationsTestServer>
    make(const std::shared_ptr<AFXServiceID>& serviceID,
         const std::shared_ptr<AFXRegularInterprocessServerAdaptor>& adaptor,
         const std::shared_ptr<AFXServicesFactory>& factory, ServiceTestNote note);

    void fetchRecommendedAppForAppID(std::int64_t appID, AFXRecommendedAppCallback callback) override;
    void fetchWelcomeRecommendedAppsExcludingAppIDs(const QList<std::int64_t>& excluded,
                                                    AFXRecommendedAppsCallback callback) override;

private:
    RecommendationsTestServer(const std::shared_ptr<AFXServiceID>& serviceID,
                              const std::shared_ptr<AFXRegularInterprocessServerAdaptor>& adaptor,
                              const std::shared_ptr<AFXServicesFactory>& factory, ServiceTestNote note);

    const ServiceTestNote note_;
};
