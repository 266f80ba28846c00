#pragma once

#include "support/BRValueOrError.h"

#include <QList>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

class AFXCustomer;
class AFXRecommendedApp;
class AFXServiceID;

using AFXRecommendedAppCallback =
    std::function<void(const BRValueOrError<std::shared_ptr<AFXRecommendedApp>>&)>;
using AFXRecommendedAppsCallback =
    std::function<void(const BRValueOrError<QList<std::shared_ptr<AFXRecommendedApp>>>&)>;

// The desktop client's recommendations service of one customer: which
// catalogue apps to recommend next to an app and to a new customer. The
// operations' own forms answer the missing-service error: a service
// overrides what it offers.
class AFXRecommendationsService {
public:
    static QString interprocessServiceName() { return QStringLiteral("com.kestrel.RecommendationsService"); }
    // A customer-based service: the ID of the customer's service.
    static std::shared_ptr<AFXServiceID>
    makeServiceIDToPokeWithNewCustomer(const std::shared_ptr<AFXCustomer>& customer);

    virtual ~AFXRecommendationsService() = default;

    virtual void fetchRecommendedAppForAppID(std::int64_t appID, AFXRecommendedAppCallback callback);
    virtual void fetchWelcomeRecommendedAppsExcludingAppIDs(const QList<std::int64_t>& appIDsToExclude,
                                                            AFXRecommendedAppsCallback callback);
};
