#pragma once

// The requests and responses of the recommendations service, declared in
// the framework's compact record form.

#include "AFXRecommendedApp.h"
#include "SpecificTools/Interprocess/AFXInterprocessRequest.h"

#include <QList>

#include <cstdint>

// The base of the family. A request's service ID is a customer service ID.
class AFXRecommendationsRequest : public AFXInterprocessRequest {
    AFX_DECLARE_RECORD(AFXRecommendationsRequest)
protected:
    AFXRecommendationsRequest() = default;
};

class AFXFetchRecommendedAppResponse : public AFXInterprocessResponse {
    AFX_DECLARE_RECORD(AFXFetchRecommendedAppResponse)
    AFX_RECORD_FIELD(std::shared_ptr<AFXRecommendedApp>, recommendedApp, setRecommendedApp)
};
class AFXFetchRecommendedAppRequest : public AFXRecommendationsRequest {
    AFX_DECLARE_RECORD(AFXFetchRecommendedAppRequest)
    AFX_RECORD_FIELD(std::int64_t, appID, setAppID)
    AFX_REQUEST_RESPONDING_WITH(AFXFetchRecommendedAppResponse)
};

class AFXFetchWelcomeRecommendedAppsResponse : public AFXInterprocessResponse {
    AFX_DECLARE_RECORD(AFXFetchWelcomeRecommendedAppsResponse)
    AFX_RECORD_FIELD(QList<std::shared_ptr<AFXRecommendedApp>>, recommendedApps, setRecommendedApps)
};
class AFXFetchWelcomeRecommendedAppsRequest : public AFXRecommendationsRequest {
    AFX_DECLARE_RECORD(AFXFetchWelcomeRecommendedAppsRequest)
    // Travels as a set.
    AFX_RECORD_FIELD(QList<std::int64_t>, appIDsToExclude, setAppIDsToExclude)
    AFX_REQUEST_RESPONDING_WITH(AFXFetchWelcomeRecommendedAppsResponse)
};

// The request classes of the service.
QList<const platform::Class*> AFXRecommendationsRequestClasses();
