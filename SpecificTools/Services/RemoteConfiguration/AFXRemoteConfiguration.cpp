#include "AFXRemoteConfiguration.h"

#include "platform/Bundle.h"
#include "platform/ValueClasses.h"

using namespace platform::ValueClasses;

AFX_DEFINE_RECORD(AFXRemoteConfiguration, AFXBaseModelObject, AFX_FIELD(version, {string()}),
                  AFX_FIELD(settingsContainer,
                            {dictionary(), array(), AFXLocalizationsContainer::staticClass(), number(),
                             string()}))

std::shared_ptr<AFXRemoteConfiguration>
AFXRemoteConfiguration::makeWithVersion(const QString& version,
                                        const platform::Value::Dictionary& configurationSettings) {
    std::shared_ptr<AFXRemoteConfiguration> configuration(new AFXRemoteConfiguration);
    configuration->version_ = version;
    configuration->settingsContainer_ = configurationSettings;
    return configuration;
}

QList<std::shared_ptr<AFXLocalizationsContainer>> AFXRemoteConfiguration::localizationContainers() const {
    const platform::Value containers = settingsContainer_.value(QStringLiteral("localization_containers"));
    QList<std::shared_ptr<AFXLocalizationsContainer>> found;
    if (containers.kind() != platform::Value::Kind::Array) {
        return found;
    }
    for (const platform::Value& element : containers.toArray()) {
        if (auto container = element.toObject<AFXLocalizationsContainer>()) {
            found.append(std::move(container));
        }
    }
    return found;
}

std::optional<QString> AFXRemoteConfiguration::localizedStringForKey(const QString& key) const {
    for (const auto& container : localizationContainers()) {
        if (container->key() == key) {
            const QString languageCode =
                platform::Bundle::preferredLocalizations().value(0, QStringLiteral("en"));
            return container->stringForLanguageCode(languageCode);
        }
    }
    return std::nullopt;
}

bool AFXRemoteConfiguration::shouldShowReferal2Button() const {
    const platform::Value flag = settingsContainer_.value(QStringLiteral("should_show_referal_2.0_button"));
    return flag.isNumber() && flag.toBool();
}

bool AFXRemoteConfiguration::isEqual(const platform::Object& other) const {
    const auto* configuration = dynamic_cast<const AFXRemoteConfiguration*>(&other);
    return configuration && configuration->version_ == version_ &&
           configuration->settingsContainer_ == settingsContainer_;
}

std::uint64_t AFXRemoteConfiguration::hash() const {
    return platform::Value(version_).hash() ^ platform::Value(settingsContainer_).hash();
}
