#include "AFXCodedResource.h"

#include "AFXModelProperties.h"
#include "AFXResourceMissingStatus.h"
#include "platform/StringFormat.h"
#include "platform/ValueClasses.h"

#include <QCryptographicHash>

PLATFORM_DEFINE_CLASS_WITH_SETUP(
    AFXCodedResource, AFXCodedModelObject, [] { return std::make_shared<AFXCodedResource>(); },
    [](platform::Class& c) {
        AFXAddOptionalProperty(c, QStringLiteral("identifier"), &AFXCodedResource::identifier,
                               &AFXCodedResource::setIdentifier);
        AFXAddOptionalProperty(c, QStringLiteral("downloadURL"), &AFXCodedResource::downloadURL,
                               &AFXCodedResource::setDownloadURL);
        platform::addProperty(c, QStringLiteral("status"), &AFXCodedResource::status,
                              &AFXCodedResource::setStatus);
    })

std::shared_ptr<BRClassReflection> AFXCodedResource::makeReflection() {
    auto reflection = BRReflection<AFXCodedModelObject>()->copy();
    reflection->addPropertyForSelector(QStringLiteral("identifier"), platform::ValueClasses::string());
    reflection->addPropertyForSelector(QStringLiteral("downloadURL"), platform::ValueClasses::url());
    reflection->addPropertyForSelector(QStringLiteral("status"), AFXResourceStatus::staticClass());
    return reflection;
}

std::shared_ptr<AFXCodedResource> AFXCodedResource::resourceWithDownloadURL(const QUrl& downloadURL) {
    auto resource = std::make_shared<AFXCodedResource>();
    resource->setupWithDownloadURL(downloadURL);
    return resource;
}

void AFXCodedResource::setupWithDownloadURL(const QUrl& downloadURL, const QString& hashedSuffix) {
    const QByteArray hashed = downloadURL.toString(QUrl::FullyEncoded).toUtf8() + hashedSuffix.toUtf8();
    downloadURL_ = downloadURL;
    identifier_ = QString::fromLatin1(QCryptographicHash::hash(hashed, QCryptographicHash::Sha1).toHex());
    status_ = std::make_shared<AFXResourceMissingStatus>();
}

std::optional<QUrl> AFXCodedResource::downloadedURL() const {
    return status_ ? status_->downloadedResourceURL() : std::nullopt;
}

bool AFXCodedResource::isEqual(const platform::Object& other) const {
    const auto* resource = dynamic_cast<const AFXCodedResource*>(&other);
    return resource && resource->identifier_ == identifier_;
}

std::uint64_t AFXCodedResource::hash() const {
    return AFXValueOrNull(identifier_).hash();
}

QString AFXCodedResource::description() const {
    return platform::stringWithFormat(QStringLiteral("%@, identifier = %@, downloadURL = %@, status = %@"),
                                      platform::Object::description(), AFXValueOrNull(identifier_),
                                      AFXValueOrNull(downloadURL_), platform::Value(status_));
}
