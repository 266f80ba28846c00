#include "AFXVendorAppInstance.h"

#include "platform/Bundle.h"
#include "platform/ValueClasses.h"
#include "platform/ValueConversion.h"

PLATFORM_DEFINE_CLASS_WITH_SETUP(
    AFXVendorAppInstance, AFXAppInstance,
    [] { return std::shared_ptr<AFXVendorAppInstance>(new AFXVendorAppInstance); },
    [](platform::Class& c) {
        platform::addProperty(c, QStringLiteral("appVersionID"), &AFXVendorAppInstance::appVersionID,
                              &AFXVendorAppInstance::setAppVersionID);
        platform::addProperty(c, QStringLiteral("appVersion"), &AFXVendorAppInstance::appVersion,
                              &AFXVendorAppInstance::setAppVersion);
    })

std::shared_ptr<BRClassReflection> AFXVendorAppInstance::makeReflection() {
    auto reflection = BRReflection<AFXAppInstance>()->copy();
    reflection->addPropertyForSelector(QStringLiteral("appVersionID"), platform::ValueClasses::string());
    reflection->addPropertyForSelector(QStringLiteral("appVersion"), platform::ValueClasses::string());
    return reflection;
}

std::shared_ptr<AFXVendorAppInstance> AFXVendorAppInstance::makeWithAppID(std::int64_t appID,
                                                                          const QUrl& url) {
    const auto bundle = platform::Bundle::bundleWithURL(url);
    if (!bundle || bundle->infoDictionary().isEmpty()) {
        return nullptr;
    }
    return makeWithAppID(
        appID, url,
        bundle->objectForInfoDictionaryKey(QStringLiteral("CFBundleShortVersionString")).toString(),
        bundle->objectForInfoDictionaryKey(QStringLiteral("CFBundleVersion")).toString());
}

std::shared_ptr<AFXVendorAppInstance> AFXVendorAppInstance::makeWithAppID(std::int64_t appID, const QUrl& url,
                                                                          const QString& appVersionID,
                                                                          const QString& appVersion) {
    std::shared_ptr<AFXVendorAppInstance> instance(new AFXVendorAppInstance);
    if (!instance->initWithAppID(appID, url)) {
        return nullptr;
    }
    instance->appVersionID_ = appVersionID;
    instance->appVersion_ = appVersion;
    return instance;
}
