#include "AFXCodedAppVersion.h"

#include "AFXModelProperties.h"
#include "platform/StringFormat.h"
#include "platform/ValueClasses.h"

using C = AFXCodedAppVersion;

PLATFORM_DEFINE_CLASS_WITH_SETUP(
    AFXCodedAppVersion, AFXCodedModelObject, [] { return std::make_shared<AFXCodedAppVersion>(); },
    [](platform::Class& c) {
        AFXAddOptionalProperty(c, QStringLiteral("identifier"), &C::identifier, &C::setIdentifier);
        AFXAddOptionalProperty(c, QStringLiteral("uiVersion"), &C::uiVersion, &C::setUiVersion);
        AFXAddOptionalProperty(c, QStringLiteral("releaseDate"), &C::releaseDate, &C::setReleaseDate);
        AFXAddOptionalProperty(c, QStringLiteral("releaseNotes"), &C::releaseNotes, &C::setReleaseNotes);
        AFXAddOptionalProperty(c, QStringLiteral("minOSVersion"), &C::minOSVersion, &C::setMinOSVersion);
        AFXAddOptionalProperty(c, QStringLiteral("maxOSVersion"), &C::maxOSVersion, &C::setMaxOSVersion);
        AFXAddOptionalProperty(c, QStringLiteral("libkestrelVersion"), &C::libkestrelVersion,
                               &C::setLibkestrelVersion);
        platform::addProperty(c, QStringLiteral("screenshotResourcesIDs"), &C::screenshotResourcesIDs,
                              &C::setScreenshotResourcesIDs);
        platform::addProperty(c, QStringLiteral("keywords"), &C::keywords, &C::setKeywords);
        platform::addProperty(c, QStringLiteral("size"), &C::size, &C::setSize);
        platform::addProperty(c, QStringLiteral("appID"), &C::appID, &C::setAppID);
    })

std::shared_ptr<BRClassReflection> AFXCodedAppVersion::makeReflection() {
    using namespace platform;
    auto reflection = BRReflection<AFXCodedModelObject>()->copy();
    reflection->addPropertyForSelector(QStringLiteral("identifier"), ValueClasses::string());
    reflection->addPropertyForSelector(QStringLiteral("uiVersion"), ValueClasses::string());
    reflection->addPropertyForSelector(QStringLiteral("releaseDate"), ValueClasses::date());
    reflection->addPropertyForSelector(QStringLiteral("releaseNotes"), ValueClasses::string());
    reflection->addPropertyForSelector(QStringLiteral("minOSVersion"), ValueClasses::string());
    reflection->addPropertyForSelector(QStringLiteral("maxOSVersion"), ValueClasses::string());
    reflection->addPropertyForSelector(QStringLiteral("libkestrelVersion"), ValueClasses::string());
    reflection->addPropertyForSelector(QStringLiteral("screenshotResourcesIDs"), ValueClasses::array(),
                                       ValueClasses::string());
    reflection->addPropertyForSelector(QStringLiteral("keywords"), ValueClasses::array(),
                                       ValueClasses::string());
    reflection->addPropertyForSelector(QStringLiteral("size"), ValueClasses::number());
    reflection->addPropertyForSelector(QStringLiteral("appID"), ValueClasses::number());
    return reflection;
}

bool AFXCodedAppVersion::isEqual(const platform::Object& other) const {
    const auto* version = dynamic_cast<const AFXCodedAppVersion*>(&other);
    return version && version->identifier_ == identifier_ && version->appID_ == appID_;
}

std::uint64_t AFXCodedAppVersion::hash() const {
    return AFXValueOrNull(identifier_).hash() ^ platform::Value(appID_).hash();
}

QString AFXCodedAppVersion::description() const {
    return platform::stringWithFormat(QStringLiteral("%@, identifier = %@, uiVersion = %@"),
                                      platform::Object::description(), AFXValueOrNull(identifier_),
                                      AFXValueOrNull(uiVersion_));
}
