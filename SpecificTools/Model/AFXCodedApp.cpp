#include "AFXCodedApp.h"

#include "AFXAppAlgorithms.h"
#include "AFXCodedAppIconResource.h"
#include "AFXModelProperties.h"
#include "platform/ValueClasses.h"

using C = AFXCodedApp;

PLATFORM_DEFINE_CLASS_WITH_SETUP(
    AFXCodedApp, AFXCodedModelObject, [] { return std::make_shared<AFXCodedApp>(); },
    [](platform::Class& c) {
        platform::addProperty(c, QStringLiteral("identifier"), &C::identifier, &C::setIdentifier);
        AFXAddOptionalProperty(c, QStringLiteral("bundleIdentifier"), &C::bundleIdentifier,
                               &C::setBundleIdentifier);
        AFXAddOptionalProperty(c, QStringLiteral("name"), &C::name, &C::setName);
        AFXAddSetProperty(c, QStringLiteral("oldNames"), &C::oldNames, &C::setOldNames);
        AFXAddOptionalProperty(c, QStringLiteral("tagLine"), &C::tagLine, &C::setTagLine);
        AFXAddOptionalProperty(c, QStringLiteral("marketingDescription"), &C::marketingDescription,
                               &C::setMarketingDescription);
        AFXAddOptionalProperty(c, QStringLiteral("ctaDescription"), &C::ctaDescription,
                               &C::setCtaDescription);
        AFXAddOptionalProperty(c, QStringLiteral("vendorName"), &C::vendorName, &C::setVendorName);
        AFXAddOptionalProperty(c, QStringLiteral("marketingURL"), &C::marketingURL, &C::setMarketingURL);
        AFXAddOptionalProperty(c, QStringLiteral("lastLaunchedAppVersionID"), &C::lastLaunchedAppVersionID,
                               &C::setLastLaunchedAppVersionID);
        platform::addProperty(c, QStringLiteral("isInstanceHidden"), &C::isInstanceHidden,
                              &C::setIsInstanceHidden);
        platform::addProperty(c, QStringLiteral("isBrandNew"), &C::isBrandNew, &C::setIsBrandNew);
        platform::addProperty(c, QStringLiteral("didPresentAsBrandNew"), &C::didPresentAsBrandNew,
                              &C::setDidPresentAsBrandNew);
        AFXAddSetProperty(c, QStringLiteral("versions"), &C::versions, &C::setVersions);
        AFXAddSetProperty(c, QStringLiteral("collectionIDs"), &C::collectionIDs, &C::setCollectionIDs);
        AFXAddSetProperty(c, QStringLiteral("resources"), &C::resources, &C::setResources);
    })

std::shared_ptr<BRClassReflection> AFXCodedApp::makeReflection() {
    using namespace platform;
    auto reflection = BRReflection<AFXCodedModelObject>()->copy();
    reflection->addPropertyForSelector(QStringLiteral("identifier"), ValueClasses::number());
    reflection->addPropertyForSelector(QStringLiteral("bundleIdentifier"), ValueClasses::string());
    reflection->addPropertyForSelector(QStringLiteral("name"), ValueClasses::string());
    reflection->addPropertyForSelector(QStringLiteral("oldNames"), ValueClasses::set(),
                                       ValueClasses::string());
    reflection->addPropertyForSelector(QStringLiteral("tagLine"), ValueClasses::string());
    reflection->addPropertyForSelector(QStringLiteral("marketingDescription"), ValueClasses::string());
    reflection->addPropertyForSelector(QStringLiteral("ctaDescription"), ValueClasses::string());
    reflection->addPropertyForSelector(QStringLiteral("vendorName"), ValueClasses::string());
    reflection->addPropertyForSelector(QStringLiteral("marketingURL"), ValueClasses::url());
    reflection->addPropertyForSelector(QStringLiteral("lastLaunchedAppVersionID"), ValueClasses::string());
    for (const QString& key : {QStringLiteral("isInstanceHidden"), QStringLiteral("isBrandNew"),
                               QStringLiteral("didPresentAsBrandNew")}) {
        reflection->addPropertyForSelector(key, {ValueClasses::number()}, Value(false), nullptr);
    }
    reflection->addPropertyForSelector(QStringLiteral("versions"), ValueClasses::set(),
                                       AFXCodedAppVersion::staticClass());
    reflection->addPropertyForSelector(QStringLiteral("collectionIDs"), ValueClasses::set(),
                                       ValueClasses::number());
    reflection->addPropertyForSelector(QStringLiteral("resources"), ValueClasses::set(),
                                       AFXCodedAppResource::staticClass());
    return reflection;
}

QString AFXCodedApp::teaserBundleIdentifier() const {
    return AFXAppTeaserBundleIdentifier(*this);
}

std::shared_ptr<AFXCodedAppVersion> AFXCodedApp::firstVersion() const {
    return AFXAppFirstVersion(*this);
}

std::shared_ptr<AFXCodedAppVersion> AFXCodedApp::latestVersion() const {
    return AFXAppLatestVersion(*this);
}

std::shared_ptr<AFXCodedAppVersion> AFXCodedApp::latestMajorVersion() const {
    return AFXAppLatestMajorVersion(*this);
}

std::shared_ptr<AFXCodedAppIconResource> AFXCodedApp::iconResource() const {
    return AFXGetAppIconResource(*this);
}

std::shared_ptr<AFXCodedAppVersion> AFXCodedApp::pickAppVersion(platform::Error* error) const {
    return AFXPickAppVersion(*this, error);
}

bool AFXCodedApp::isEqual(const platform::Object& other) const {
    return AFXAppIsEqual(*this, other);
}

std::uint64_t AFXCodedApp::hash() const {
    return AFXAppHash(*this);
}

QString AFXCodedApp::description() const {
    return AFXAppDescription(*this, platform::Object::description());
}

std::shared_ptr<platform::Object> AFXCodedApp::copy() const {
    auto copied = std::dynamic_pointer_cast<AFXCodedApp>(copyOfCodedFields());
    if (!copied) {
        return copied;
    }
    copied->versions_.clear();
    for (const auto& version : versions_) {
        copied->versions_.append(std::dynamic_pointer_cast<AFXCodedAppVersion>(version->copy()));
    }
    copied->resources_.clear();
    for (const auto& resource : resources_) {
        copied->resources_.append(std::dynamic_pointer_cast<AFXCodedAppResource>(resource->copy()));
    }
    return copied;
}
