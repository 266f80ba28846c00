#include "AFXRecommendedApp.h"

#include "platform/ValueClasses.h"

using namespace platform::ValueClasses;

namespace {
const QString kDefaultAlgorithm = QStringLiteral("default");
}

AFX_DEFINE_RECORD(AFXRecommendedApp, AFXBaseModelObject, AFX_FIELD(appID, {number()}),
                  AFX_FIELD(recommendedList, {array(), number()}),
                  AFX_FIELD(recommendationsAlgorithm, {string()}, platform::Value(kDefaultAlgorithm)))

std::shared_ptr<AFXRecommendedApp>
AFXRecommendedApp::makeWithAppID(std::int64_t appID, const QList<std::int64_t>& recommendationsList,
                                 const QString& recommendationsAlgorithm) {
    std::shared_ptr<AFXRecommendedApp> app(new AFXRecommendedApp);
    app->appID_ = appID;
    app->recommendedList_ = recommendationsList;
    app->recommendationsAlgorithm_ =
        recommendationsAlgorithm.isEmpty() ? kDefaultAlgorithm : recommendationsAlgorithm;
    return app;
}

QList<std::int64_t>
AFXRecommendedApp::recommendedListExcludingIDs(const QList<std::int64_t>& excludedIDs) const {
    QList<std::int64_t> remaining = recommendedList();
    remaining.removeIf([&excludedIDs](std::int64_t appID) { return excludedIDs.contains(appID); });
    return remaining;
}

bool AFXRecommendedApp::isEqual(const platform::Object& other) const {
    const auto* app = dynamic_cast<const AFXRecommendedApp*>(&other);
    return app && app->appID_ == appID_ && app->recommendedList_ == recommendedList_ &&
           app->recommendationsAlgorithm_ == recommendationsAlgorithm_;
}

std::uint64_t AFXRecommendedApp::hash() const {
    return platform::Value(appID()).hash() ^ valueForKey(QStringLiteral("recommendedList")).hash() ^
           platform::Value(recommendationsAlgorithm_).hash();
}
