#include "AFXCodedTeaserInstallResource.h"

#include "AFXModelProperties.h"
#include "AFXTeaserVersions.h"
#include "platform/ValueClasses.h"

PLATFORM_DEFINE_CLASS_WITH_SETUP(
    AFXCodedTeaserInstallResource, AFXCodedAppResource,
    [] { return std::make_shared<AFXCodedTeaserInstallResource>(); },
    [](platform::Class& c) {
        platform::addProperty(c, QStringLiteral("teaserAppVersion"),
                              &AFXCodedTeaserInstallResource::teaserAppVersion,
                              &AFXCodedTeaserInstallResource::setTeaserAppVersion);
        AFXAddOptionalProperty(c, QStringLiteral("appVersion"), &AFXCodedTeaserInstallResource::appVersion,
                               &AFXCodedTeaserInstallResource::setAppVersion);
    })

std::shared_ptr<BRClassReflection> AFXCodedTeaserInstallResource::makeReflection() {
    auto reflection = BRReflection<AFXCodedAppResource>()->copy();
    reflection->addPropertyForSelector(QStringLiteral("teaserAppVersion"), platform::ValueClasses::number());
    reflection->addPropertyForSelector(QStringLiteral("appVersion"), platform::ValueClasses::string());
    return reflection;
}

std::shared_ptr<AFXCodedTeaserInstallResource>
AFXCodedTeaserInstallResource::resourceWithDownloadURL(const QUrl& downloadURL, const AFXCodedApp& app,
                                                       const QString& teaserAppVersion) {
    auto resource = std::make_shared<AFXCodedTeaserInstallResource>();
    resource->setupWithDownloadURLAndApp(downloadURL, app, teaserAppVersion);
    resource->appVersion_ = teaserAppVersion;
    return resource;
}

std::int64_t AFXCodedTeaserInstallResource::teaserAppVersion() const {
    if (teaserAppVersion_) {
        return *teaserAppVersion_;
    }
    return appVersion_.isNull() ? 0 : AFXTeaserVersionToOldTeaserVersion(appVersion_);
}

QString AFXCodedTeaserInstallResource::appVersion() const {
    if (!appVersion_.isNull()) {
        return appVersion_;
    }
    return teaserAppVersion_ ? AFXTeaserVersionFromOldTeaserVersion(*teaserAppVersion_)
                             : QStringLiteral("0.0");
}
