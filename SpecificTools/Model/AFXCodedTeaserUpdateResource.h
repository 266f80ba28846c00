#pragma once

#include "AFXCodedAppResource.h"

// An update of an app's teaser from one teaser version to another. The
// versions are held in their string form ("0.N") but travel as the old
// numbers N, the only form the coding allows.
class AFXCodedTeaserUpdateResource : public AFXCodedAppResource {
    AFX_DECLARE_MODEL_CLASS(AFXCodedTeaserUpdateResource)

public:
    AFXCodedTeaserUpdateResource() = default;
    static std::shared_ptr<BRClassReflection> makeReflection();

    QString fromTeaserAppVersion() const { return fromTeaserAppVersion_; }
    void setFromTeaserAppVersion(const QString& version) { fromTeaserAppVersion_ = version; }
    QString toTeaserAppVersion() const { return toTeaserAppVersion_; }
    void setToTeaserAppVersion(const QString& version) { toTeaserAppVersion_ = version; }

    AFXResourceKind kind() const override { return AFXResourceKindTeaserAppUpdate; }

private:
    QString fromTeaserAppVersion_;
    QString toTeaserAppVersion_;
};
