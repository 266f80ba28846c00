#include "AFXEnvironmentID.h"

#include "AFXBase32.h"
#include "AFXDefaultEnvironmentID.h"
#include "AFXManifestURLBasedEnvironmentID.h"

PLATFORM_DEFINE_CLASS(AFXEnvironmentID, AFXBaseModelObject, nullptr)

std::shared_ptr<BRClassReflection> AFXEnvironmentID::makeReflection() {
    return BRReflection<AFXBaseModelObject>()->copy();
}

std::shared_ptr<AFXEnvironmentID> AFXEnvironmentID::defaultEnvironmentID() {
    return AFXDefaultEnvironmentID::make();
}

std::shared_ptr<AFXEnvironmentID> AFXEnvironmentID::environmentIDWithManifestURL(const QUrl& manifestURL) {
    return AFXManifestURLBasedEnvironmentID::makeWithManifestURL(manifestURL);
}

std::shared_ptr<AFXEnvironmentID>
AFXEnvironmentID::environmentWithURLString(const std::optional<QString>& string) {
    if (!string || *string == QLatin1String("default")) {
        return defaultEnvironmentID();
    }
    const QUrl url(*string, QUrl::StrictMode);
    if (!url.isValid() || url.isRelative()) {
        return defaultEnvironmentID();
    }
    return environmentIDWithManifestURL(url);
}

std::shared_ptr<AFXEnvironmentID>
AFXEnvironmentID::environmentWithUserDefaultsValue(const std::optional<QString>& value) {
    return environmentWithURLString(value);
}

std::shared_ptr<AFXEnvironmentID>
AFXEnvironmentID::environmentWithURLQueryValue(const std::optional<QString>& value) {
    if (!value) {
        return defaultEnvironmentID();
    }
    for (const QChar c : *value) {
        if (c.unicode() > 0x7f) {
            return defaultEnvironmentID();
        }
    }
    const auto bytes = afx_base32DecodedData(*value);
    if (!bytes) {
        return defaultEnvironmentID();
    }
    return environmentWithURLString(QString::fromUtf8(*bytes));
}
