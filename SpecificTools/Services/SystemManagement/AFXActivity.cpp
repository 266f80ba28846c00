#include "AFXActivity.h"

#include "platform/ValueClasses.h"

using platform::ValueClasses::string;
using platform::ValueClasses::uuid;

AFX_DEFINE_RECORD(AFXActivity, AFXBaseModelObject, AFX_FIELD(identifier, {uuid()}),
                  AFX_FIELD(tierName, {string()}), AFX_FIELD(reason, {string()}))

std::shared_ptr<AFXActivity> AFXActivity::makeWithTierName(const QString& tierName, const QString& reason) {
    std::shared_ptr<AFXActivity> activity(new AFXActivity);
    activity->identifier_ = QUuid::createUuid();
    activity->tierName_ = tierName;
    activity->reason_ = reason;
    return activity;
}

bool AFXActivity::isEqual(const platform::Object& other) const {
    const auto* activity = dynamic_cast<const AFXActivity*>(&other);
    return activity && activity->identifier_ == identifier_;
}

std::uint64_t AFXActivity::hash() const {
    return platform::Value(identifier_).hash();
}
