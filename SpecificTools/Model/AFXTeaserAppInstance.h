#pragma once

#include "AFXAppInstance.h"

// A teaser of an app on the disk. Its version is a string "0.N"; older
// records carry only the number N, and each is derived from the other when
// only one is known.
class AFXTeaserAppInstance : public AFXAppInstance {
    AFX_DECLARE_MODEL_CLASS(AFXTeaserAppInstance)

public:
    static std::shared_ptr<BRClassReflection> makeReflection();

    // The teaser at the URL, with the version its Info.plist gives under
    // "AFXTeaserInternalVersion"; null when nothing is there or the bundle
    // has no such string.
    static std::shared_ptr<AFXTeaserAppInstance> makeWithAppID(std::int64_t appID, const QUrl& url);
    // Null when nothing is at the URL.
    static std::shared_ptr<AFXTeaserAppInstance> makeWithAppID(std::int64_t appID, const QUrl& url,
                                                               const QString& version);

    AFXAppInstanceKind kind() const override { return AFXAppInstanceKind::Teaser; }
    // The stored version, else "0.N" with the stored number, else "0.0".
    QString version() const;
    void setVersion(std::optional<QString> version) { version_ = std::move(version); }
    // The stored number, else the one the version string gives, else 0.
    std::int64_t appVersion() const;
    void setAppVersion(std::optional<std::int64_t> appVersion) { appVersion_ = appVersion; }
    // The object of this teaser's notifications: "<app ID> - <path>".
    QString objectForNotification() const;

private:
    AFXTeaserAppInstance() = default;
    std::optional<QString> codedVersion() const { return version_; }
    std::optional<std::int64_t> codedAppVersion() const { return appVersion_; }

    std::optional<std::int64_t> appVersion_;
    std::optional<QString> version_;
};
