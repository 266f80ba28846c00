#pragma once

#include "AFXEnvironmentID.h"

// An environment named by the URL of its endpoints manifest. Two are equal
// exactly when their manifest URLs are.
class AFXManifestURLBasedEnvironmentID : public AFXEnvironmentID {
    AFX_DECLARE_MODEL_CLASS(AFXManifestURLBasedEnvironmentID)

public:
    static std::shared_ptr<BRClassReflection> makeReflection();
    static std::shared_ptr<AFXManifestURLBasedEnvironmentID> makeWithManifestURL(const QUrl& manifestURL);

    QUrl manifestURL() const override { return manifestURL_; }
    // The manifest URL's absolute string.
    QString userDefaultsValue() const override;
    std::optional<QString> URLQueryValue() const override;
    // Lower-case hexadecimal MD5 of the absolute string.
    QString directoryName() const override;
    std::optional<QString> statsdID() const override { return std::nullopt; }
    bool isDefault() const override { return false; }
    bool isAnalyticsTrackingEnabled() const override { return false; }

    bool isEqual(const platform::Object& other) const override;
    std::uint64_t hash() const override;
    QString description() const override;

private:
    AFXManifestURLBasedEnvironmentID() = default;
    bool isValidAfterDecoding() const override { return manifestURL_.isValid() && !manifestURL_.isEmpty(); }
    void setManifestURL(const QUrl& manifestURL) { manifestURL_ = manifestURL; }

    QUrl manifestURL_;
};
