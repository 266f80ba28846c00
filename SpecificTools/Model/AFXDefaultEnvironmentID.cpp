#include "AFXDefaultEnvironmentID.h"

#include "platform/Hash.h"

PLATFORM_DEFINE_CLASS(AFXDefaultEnvironmentID, AFXEnvironmentID,
                      [] { return std::shared_ptr<AFXDefaultEnvironmentID>(new AFXDefaultEnvironmentID); })

namespace {
const char* const kDefaultManifestURL = "https://api.kestrel.app/endpoints.json";
} // namespace

std::shared_ptr<BRClassReflection> AFXDefaultEnvironmentID::makeReflection() {
    return BRReflection<AFXEnvironmentID>()->copy();
}

std::shared_ptr<AFXDefaultEnvironmentID> AFXDefaultEnvironmentID::make() {
    return std::shared_ptr<AFXDefaultEnvironmentID>(new AFXDefaultEnvironmentID);
}

QUrl AFXDefaultEnvironmentID::manifestURL() const {
    QUrl url(QString::fromLatin1(kDefaultManifestURL));
    const QUrl store(QString::fromLocal8Bit(qgetenv("KESTREL_ENDPOINTS_MANIFEST_URL")), QUrl::StrictMode);
    if (store.isValid() && !store.host().isEmpty()) {
        url = store;
        url.setPath(QStringLiteral("/endpoints.json"));
        url.setQuery(QString());
        url.setFragment(QString());
    }
    return url;
}

bool AFXDefaultEnvironmentID::isEqual(const platform::Object& other) const {
    return other.isKindOfClass(staticClass());
}

std::uint64_t AFXDefaultEnvironmentID::hash() const {
    return platform::Hash::string(QStringLiteral("default"));
}
