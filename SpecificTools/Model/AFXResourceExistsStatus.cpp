#include "AFXResourceExistsStatus.h"

#include "AFXModelProperties.h"
#include "platform/StringFormat.h"
#include "platform/ValueClasses.h"

#include <QFileInfo>

PLATFORM_DEFINE_CLASS_WITH_SETUP(
    AFXResourceExistsStatus, AFXResourceStatus,
    [] { return std::shared_ptr<AFXResourceExistsStatus>(new AFXResourceExistsStatus); },
    [](platform::Class& c) {
        AFXAddOptionalProperty(c, QStringLiteral("storageURL"), &AFXResourceExistsStatus::storageURL,
                               &AFXResourceExistsStatus::setStorageURL);
    })

std::shared_ptr<AFXResourceExistsStatus> AFXResourceExistsStatus::makeWithStorageURL(const QUrl& storageURL) {
    std::shared_ptr<AFXResourceExistsStatus> status(new AFXResourceExistsStatus);
    status->storageURL_ = storageURL;
    return status;
}

std::shared_ptr<BRClassReflection> AFXResourceExistsStatus::makeReflection() {
    auto reflection = BRReflection<AFXResourceStatus>()->copy();
    reflection->addPropertyForSelector(QStringLiteral("storageURL"), platform::ValueClasses::url());
    return reflection;
}

std::optional<QUrl> AFXResourceExistsStatus::downloadedResourceURL() const {
    if (storageURL_.isLocalFile() && QFileInfo::exists(storageURL_.toLocalFile())) {
        return storageURL_;
    }
    return std::nullopt;
}

bool AFXResourceExistsStatus::isEqual(const platform::Object& other) const {
    const auto* status = dynamic_cast<const AFXResourceExistsStatus*>(&other);
    return status && status->storageURL_ == storageURL_;
}

std::uint64_t AFXResourceExistsStatus::hash() const {
    return AFXValueOrNull(storageURL_).hash();
}

QString AFXResourceExistsStatus::description() const {
    return platform::stringWithFormat(QStringLiteral("%@ storageURL = %@"), platform::Object::description(),
                                      AFXValueOrNull(storageURL_));
}
