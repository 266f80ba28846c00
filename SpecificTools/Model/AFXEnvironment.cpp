#include "AFXEnvironment.h"

#include "platform/StringFormat.h"
#include "platform/ValueClasses.h"
#include "platform/ValueConversion.h"

PLATFORM_DEFINE_CLASS_WITH_SETUP(
    AFXEnvironment, AFXBaseMutableModelObject,
    [] { return std::shared_ptr<AFXEnvironment>(new AFXEnvironment); },
    [](platform::Class& c) {
        using E = AFXEnvironment;
        platform::addProperty(c, QStringLiteral("identifier"), &E::identifier, &E::setIdentifier);
        platform::addProperty(c, QStringLiteral("endpointsManifest"), &E::endpointsManifest,
                              &E::setEndpointsManifest);
        platform::addProperty(c, QStringLiteral("URLForAppsDirectory"), &E::URLForAppsDirectory,
                              &E::setURLForAppsDirectory);
        platform::addProperty(c, QStringLiteral("URLForPersistentDirectory"), &E::URLForPersistentDirectory,
                              &E::setURLForPersistentDirectory);
        platform::addProperty(c, QStringLiteral("URLForResourcesDirectory"), &E::URLForResourcesDirectory,
                              &E::setURLForResourcesDirectory);
        platform::addProperty(c, QStringLiteral("URLForTeasersDirectory"), &E::URLForTeasersDirectory,
                              &E::setURLForTeasersDirectory);
    })

std::shared_ptr<BRClassReflection> AFXEnvironment::makeReflection() {
    auto reflection = BRReflection<AFXBaseMutableModelObject>()->copy();
    reflection->addPropertyForSelector(QStringLiteral("identifier"), AFXEnvironmentID::staticClass());
    reflection->addPropertyForSelector(QStringLiteral("endpointsManifest"),
                                       AFXEndpointsManifest::staticClass());
    for (const char* key : {"URLForAppsDirectory", "URLForPersistentDirectory", "URLForResourcesDirectory",
                            "URLForTeasersDirectory"}) {
        reflection->addPropertyForSelector(QString::fromLatin1(key), platform::ValueClasses::url());
    }
    return reflection;
}

std::shared_ptr<AFXEnvironment>
AFXEnvironment::makeWithIdentifier(const std::shared_ptr<AFXEnvironmentID>& identifier,
                                   const std::shared_ptr<AFXEndpointsManifest>& endpointsManifest,
                                   const QUrl& URLForAppsDirectory, const QUrl& URLForPersistentDirectory,
                                   const QUrl& URLForResourcesDirectory, const QUrl& URLForTeasersDirectory) {
    std::shared_ptr<AFXEnvironment> environment(new AFXEnvironment);
    environment->identifier_ = identifier;
    environment->endpointsManifest_ = endpointsManifest;
    environment->apps_ = URLForAppsDirectory;
    environment->persistent_ = URLForPersistentDirectory;
    environment->resources_ = URLForResourcesDirectory;
    environment->teasers_ = URLForTeasersDirectory;
    return environment;
}

QString AFXEnvironment::name() const {
    return endpointsManifest_ ? endpointsManifest_->name() : QString();
}

std::optional<QString> AFXEnvironment::displayName() const {
    if (!identifier_ || identifier_->isDefault()) {
        return std::nullopt;
    }
    return platform::stringWithFormat(QStringLiteral("%@ (%@)"), name(), identifier_->manifestURL().host());
}

bool AFXEnvironment::isEqual(const platform::Object& other) const {
    const auto* environment = dynamic_cast<const AFXEnvironment*>(&other);
    if (!environment || !identifier_ || !environment->identifier_) {
        return environment && !identifier_ && !environment->identifier_;
    }
    return identifier_->isEqual(*environment->identifier_);
}

std::uint64_t AFXEnvironment::hash() const {
    return identifier_ ? identifier_->hash() : 0;
}

QString AFXEnvironment::description() const {
    return platform::stringWithFormat(
        QStringLiteral("Environment <%@> (%@ at %@)"),
        QStringLiteral("0x%1").arg(reinterpret_cast<quintptr>(this), 0, 16), name(),
        endpointsManifest_ ? platform::Value(endpointsManifest_->originURL()) : platform::Value());
}
