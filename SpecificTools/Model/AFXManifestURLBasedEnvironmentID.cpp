#include "AFXManifestURLBasedEnvironmentID.h"

#include "AFXBase32.h"
#include "platform/StringFormat.h"
#include "platform/ValueClasses.h"
#include "platform/ValueConversion.h"

#include <QCryptographicHash>

PLATFORM_DEFINE_CLASS_WITH_SETUP(
    AFXManifestURLBasedEnvironmentID, AFXEnvironmentID,
    [] { return std::shared_ptr<AFXManifestURLBasedEnvironmentID>(new AFXManifestURLBasedEnvironmentID); },
    [](platform::Class& c) {
        platform::addProperty(c, QStringLiteral("manifestURL"),
                              &AFXManifestURLBasedEnvironmentID::manifestURL,
                              &AFXManifestURLBasedEnvironmentID::setManifestURL);
    })

std::shared_ptr<BRClassReflection> AFXManifestURLBasedEnvironmentID::makeReflection() {
    auto reflection = BRReflection<AFXEnvironmentID>()->copy();
    reflection->addPropertyForSelector(QStringLiteral("manifestURL"), platform::ValueClasses::url());
    return reflection;
}

std::shared_ptr<AFXManifestURLBasedEnvironmentID>
AFXManifestURLBasedEnvironmentID::makeWithManifestURL(const QUrl& manifestURL) {
    std::shared_ptr<AFXManifestURLBasedEnvironmentID> identifier(new AFXManifestURLBasedEnvironmentID);
    identifier->manifestURL_ = manifestURL;
    return identifier;
}

QString AFXManifestURLBasedEnvironmentID::userDefaultsValue() const {
    return manifestURL_.toString(QUrl::FullyEncoded);
}

std::optional<QString> AFXManifestURLBasedEnvironmentID::URLQueryValue() const {
    return afx_base32EncodedString(userDefaultsValue().toUtf8());
}

QString AFXManifestURLBasedEnvironmentID::directoryName() const {
    return QString::fromLatin1(
        QCryptographicHash::hash(userDefaultsValue().toUtf8(), QCryptographicHash::Md5).toHex());
}

bool AFXManifestURLBasedEnvironmentID::isEqual(const platform::Object& other) const {
    const auto* identifier = dynamic_cast<const AFXManifestURLBasedEnvironmentID*>(&other);
    return identifier && identifier->manifestURL_ == manifestURL_;
}

std::uint64_t AFXManifestURLBasedEnvironmentID::hash() const {
    return platform::Value(manifestURL_).hash();
}

QString AFXManifestURLBasedEnvironmentID::description() const {
    return platform::stringWithFormat(QStringLiteral("Manifest URL %@"), userDefaultsValue());
}
