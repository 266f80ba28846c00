#pragma once

#include "AFXCodedAppResource.h"

// An update of the vendor's app from one version to another.
class AFXCodedVendorUpdateResource : public AFXCodedAppResource {
    AFX_DECLARE_MODEL_CLASS(AFXCodedVendorUpdateResource)

public:
    AFXCodedVendorUpdateResource() = default;
    static std::shared_ptr<BRClassReflection> makeReflection();

    QString fromAppVersionID() const { return fromAppVersionID_; }
    void setFromAppVersionID(const QString& appVersionID) { fromAppVersionID_ = appVersionID; }
    QString toAppVersionID() const { return toAppVersionID_; }
    void setToAppVersionID(const QString& appVersionID) { toAppVersionID_ = appVersionID; }

    AFXResourceKind kind() const override { return AFXResourceKindVendorAppUpdate; }

private:
    QString fromAppVersionID_;
    QString toAppVersionID_;
};
