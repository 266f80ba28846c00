#include "AFXRecommendationsService.h"

#include "SpecificTools/Errors/AFXErrors.h"

void AFXRecommendationsService::fetchRecommendedAppForAppID(std::int64_t,
                                                            AFXRecommendedAppCallback callback) {
    callback(
        BRValueOrError<std::shared_ptr<AFXRecommendedApp>>::makeWithError(afx_makeErrorOfMissingServiceNamed(
            interprocessServiceName(), QStringLiteral("fetchRecommendedAppForAppID"))));
}

void AFXRecommendationsService::fetchWelcomeRecommendedAppsExcludingAppIDs(
    const QList<std::int64_t>&, AFXRecommendedAppsCallback callback) {
    callback(BRValueOrError<QList<std::shared_ptr<AFXRecommendedApp>>>::makeWithError(
        afx_makeErrorOfMissingServiceNamed(interprocessServiceName(),
                                           QStringLiteral("fetchWelcomeRecommendedAppsExcludingAppIDs"))));
}
