#pragma once

#include "AFXCodedAppResource.h"

// The archive of one version of the vendor's app.
class AFXCodedVendorInstallResource : public AFXCodedAppResource {
    AFX_DECLARE_MODEL_CLASS(AFXCodedVendorInstallResource)

public:
    AFXCodedVendorInstallResource() = default;
    static std::shared_ptr<BRClassReflection> makeReflection();

    // The identifier hashes the URL's absolute string followed directly by
    // the version identifier, which is kept as `appVersionID`.
    static std::shared_ptr<AFXCodedVendorInstallResource>
    resourceWithDownloadURL(const QUrl& downloadURL, const AFXCodedApp& app, const QString& appVersionID);

    QString appVersionID() const { return appVersionID_; }
    void setAppVersionID(const QString& appVersionID) { appVersionID_ = appVersionID; }

    AFXResourceKind kind() const override { return AFXResourceKindVendorAppInstall; }

private:
    QString appVersionID_;
};
