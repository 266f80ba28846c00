#include "RecommendationsTestServer.h"

#include "SpecificTools/Services/Recommendations/AFXRecommendationsRequests.h"

#include <QStringList>

#include <algorithm>

using namespace Qt::StringLiterals;

std::shared_ptr<RecommendationsTestServer>
RecommendationsTestServer::make(const std::shared_ptr<AFXServiceID>& serviceID,
                                const std::shared_ptr<AFXRegularInterprocessServerAdaptor>& adaptor,
                                const std::shared_ptr<AFXServicesFactory>& factory, ServiceTestNote note) {
    return std::shared_ptr<RecommendationsTestServer>(
        new RecommendationsTestServer(serviceID, adaptor, factory, std::move(note)));
}

RecommendationsTestServer::RecommendationsTestServer(
    const std::shared_ptr<AFXServiceID>& serviceID,
    const std::shared_ptr<AFXRegularInterprocessServerAdaptor>& adaptor,
    const std::shared_ptr<AFXServicesFactory>& factory, ServiceTestNote note)
    : AFXRecommendationsServer(serviceID, adaptor, factory), note_(std::move(note)) {}

void RecommendationsTestServer::fetchRecommendedAppForAppID(std::int64_t appID,
                                                            AFXRecommendedAppCallback callback) {
    callback(BRValueOrError<std::shared_ptr<AFXRecommendedApp>>::makeWithValue(
        AFXRecommendedApp::makeWithAppID(appID, {appID + 1, appID + 2}, u"neighbours"_s)));
}

void RecommendationsTestServer::fetchWelcomeRecommendedAppsExcludingAppIDs(
    const QList<std::int64_t>& excluded, AFXRecommendedAppsCallback callback) {
    QList<std::int64_t> sorted = excluded;
    std::sort(sorted.begin(), sorted.end());
    QStringList identifiers;
    for (const std::int64_t appID : sorted) {
        identifiers << QString::number(appID);
    }
    note_(u"seen"_s, u"welcome excluding "_s + identifiers.join(u','));
    QList<std::shared_ptr<AFXRecommendedApp>> apps;
    for (std::int64_t appID = 4; appID >= 1; --appID) {
        if (!excluded.contains(appID)) {
            apps << AFXRecommendedApp::makeWithAppID(appID, {});
        }
    }
    callback(BRValueOrError<QList<std::shared_ptr<AFXRecommendedApp>>>::makeWithValue(apps));
}
