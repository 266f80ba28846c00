#pragma once

#include "AFXAppInstance.h"

// The vendor's own app on the disk, with the versions its bundle declares.
class AFXVendorAppInstance : public AFXAppInstance {
    AFX_DECLARE_MODEL_CLASS(AFXVendorAppInstance)

public:
    static std::shared_ptr<BRClassReflection> makeReflection();

    // The app at the URL with the versions of its Info.plist
    // (CFBundleShortVersionString, CFBundleVersion); null when nothing is
    // there or the bundle has no Info.plist.
    static std::shared_ptr<AFXVendorAppInstance> makeWithAppID(std::int64_t appID, const QUrl& url);
    // Null when nothing is at the URL.
    static std::shared_ptr<AFXVendorAppInstance> makeWithAppID(std::int64_t appID, const QUrl& url,
                                                               const QString& appVersionID,
                                                               const QString& appVersion);

    AFXAppInstanceKind kind() const override { return AFXAppInstanceKind::Vendor; }
    // The bundle's short version string.
    QString appVersionID() const { return appVersionID_; }
    void setAppVersionID(const QString& appVersionID) { appVersionID_ = appVersionID; }
    // The bundle's version string.
    QString appVersion() const { return appVersion_; }
    void setAppVersion(const QString& appVersion) { appVersion_ = appVersion; }

private:
    AFXVendorAppInstance() = default;

    QString appVersionID_;
    QString appVersion_;
};
