#pragma once

#include "AFXCodedAppResource.h"

#include <cstdint>
#include <optional>

// The archive of an app's teaser. Older records carry the teaser's version
// only as the old number N, newer ones as the string "0.N"; each form is
// derived from the other when only one is known.
class AFXCodedTeaserInstallResource : public AFXCodedAppResource {
    AFX_DECLARE_MODEL_CLASS(AFXCodedTeaserInstallResource)

public:
    AFXCodedTeaserInstallResource() = default;
    static std::shared_ptr<BRClassReflection> makeReflection();

    // The identifier hashes the URL's absolute string followed directly by
    // the teaser version, which is kept as `appVersion`.
    static std::shared_ptr<AFXCodedTeaserInstallResource>
    resourceWithDownloadURL(const QUrl& downloadURL, const AFXCodedApp& app, const QString& teaserAppVersion);

    // The stored number, else the string's old number, else 0.
    std::int64_t teaserAppVersion() const;
    void setTeaserAppVersion(std::int64_t teaserAppVersion) { teaserAppVersion_ = teaserAppVersion; }
    // The stored string, else "0.N" from the stored number, else "0.0".
    QString appVersion() const;
    void setAppVersion(const QString& appVersion) { appVersion_ = appVersion; }

    AFXResourceKind kind() const override { return AFXResourceKindTeaserAppInstall; }

private:
    std::optional<std::int64_t> teaserAppVersion_;
    QString appVersion_;
};
