#include "AFXTeaserAppInstance.h"

#include "AFXTeaserVersions.h"
#include "platform/Bundle.h"
#include "platform/StringFormat.h"
#include "platform/ValueClasses.h"
#include "platform/ValueConversion.h"

#include <QStringList>

PLATFORM_DEFINE_CLASS_WITH_SETUP(
    AFXTeaserAppInstance, AFXAppInstance,
    [] { return std::shared_ptr<AFXTeaserAppInstance>(new AFXTeaserAppInstance); },
    [](platform::Class& c) {
        platform::addProperty(c, QStringLiteral("appVersion"), &AFXTeaserAppInstance::codedAppVersion,
                              &AFXTeaserAppInstance::setAppVersion);
        platform::addProperty(c, QStringLiteral("version"), &AFXTeaserAppInstance::codedVersion,
                              &AFXTeaserAppInstance::setVersion);
    })

std::shared_ptr<BRClassReflection> AFXTeaserAppInstance::makeReflection() {
    auto reflection = BRReflection<AFXAppInstance>()->copy();
    reflection->addPropertyForSelector(QStringLiteral("appVersion"), platform::ValueClasses::number());
    reflection->addPropertyForSelector(QStringLiteral("version"), platform::ValueClasses::string());
    return reflection;
}

std::shared_ptr<AFXTeaserAppInstance> AFXTeaserAppInstance::makeWithAppID(std::int64_t appID,
                                                                          const QUrl& url) {
    const auto bundle = platform::Bundle::bundleWithURL(url);
    const platform::Value version =
        bundle ? bundle->objectForInfoDictionaryKey(QStringLiteral("AFXTeaserInternalVersion"))
               : platform::Value();
    if (version.kind() != platform::Value::Kind::String) {
        return nullptr;
    }
    return makeWithAppID(appID, url, version.toString());
}

std::shared_ptr<AFXTeaserAppInstance> AFXTeaserAppInstance::makeWithAppID(std::int64_t appID, const QUrl& url,
                                                                          const QString& version) {
    std::shared_ptr<AFXTeaserAppInstance> instance(new AFXTeaserAppInstance);
    if (!instance->initWithAppID(appID, url)) {
        return nullptr;
    }
    instance->version_ = version;
    return instance;
}

QString AFXTeaserAppInstance::version() const {
    if (version_) {
        return *version_;
    }
    return appVersion_ ? AFXTeaserVersionFromOldTeaserVersion(*appVersion_) : QStringLiteral("0.0");
}

std::int64_t AFXTeaserAppInstance::appVersion() const {
    if (appVersion_) {
        return *appVersion_;
    }
    return version_ ? AFXTeaserVersionToOldTeaserVersion(*version_) : 0;
}

QString AFXTeaserAppInstance::objectForNotification() const {
    return platform::stringWithFormat(QStringLiteral("%@ - %@"), appID(), filePath());
}
