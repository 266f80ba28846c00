#pragma once

#include "SpecificTools/Interprocess/AFXRecordField.h"
#include "SpecificTools/Model/AFXBaseModelObject.h"

#include <QList>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

// The catalogue apps recommended next to one app, in order of
// recommendation, and the algorithm that chose them.
class AFXRecommendedApp : public AFXBaseModelObject {
    AFX_DECLARE_RECORD(AFXRecommendedApp)

public:
    // An empty algorithm stands for "default".
    static std::shared_ptr<AFXRecommendedApp> makeWithAppID(std::int64_t appID,
                                                            const QList<std::int64_t>& recommendationsList,
                                                            const QString& recommendationsAlgorithm = {});

    std::int64_t appID() const { return appID_.value_or(0); }
    QList<std::int64_t> recommendedList() const { return recommendedList_; }
    QString recommendationsAlgorithm() const { return recommendationsAlgorithm_; }

    // The recommended identifiers, in order, without those given.
    QList<std::int64_t> recommendedListExcludingIDs(const QList<std::int64_t>& excludedIDs) const;

    bool isEqual(const platform::Object& other) const override;
    std::uint64_t hash() const override;

private:
    AFXRecommendedApp() = default;
    // A record without its app is refused.
    bool isValidAfterDecoding() const override { return appID_.has_value(); }

    std::optional<std::int64_t> appID_;
    QList<std::int64_t> recommendedList_;
    QString recommendationsAlgorithm_;
};
