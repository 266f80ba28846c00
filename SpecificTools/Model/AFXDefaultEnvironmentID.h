#pragma once

#include "AFXEnvironmentID.h"

// The store's own environment. Its endpoints manifest is
// "https://api.kestrel.app/endpoints.json"; for a development store,
// KESTREL_ENDPOINTS_MANIFEST_URL replaces the scheme, host and port of that
// URL (the path stays "/endpoints.json"). Any two default identifiers are
// equal.
class AFXDefaultEnvironmentID : public AFXEnvironmentID {
    AFX_DECLARE_MODEL_CLASS(AFXDefaultEnvironmentID)

public:
    static std::shared_ptr<BRClassReflection> makeReflection();
    static std::shared_ptr<AFXDefaultEnvironmentID> make();

    QUrl manifestURL() const override;
    QString userDefaultsValue() const override { return QStringLiteral("default"); }
    std::optional<QString> URLQueryValue() const override { return std::nullopt; }
    QString directoryName() const override { return QStringLiteral("Default"); }
    std::optional<QString> statsdID() const override { return QStringLiteral("production"); }
    bool isDefault() const override { return true; }
    bool isAnalyticsTrackingEnabled() const override { return true; }

    bool isEqual(const platform::Object& other) const override;
    std::uint64_t hash() const override;
    QString description() const override { return QStringLiteral("Default"); }

private:
    AFXDefaultEnvironmentID() = default;
};
