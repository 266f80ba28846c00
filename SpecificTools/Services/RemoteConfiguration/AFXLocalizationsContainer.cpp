#include "AFXLocalizationsContainer.h"

#include "platform/ValueClasses.h"

using platform::ValueClasses::dictionary;
using platform::ValueClasses::string;

AFX_DEFINE_RECORD(AFXLocalizationsContainer, AFXBaseModelObject, AFX_FIELD(key, {string()}),
                  AFX_FIELD(stringsMap, {dictionary(), string()}))

std::shared_ptr<AFXLocalizationsContainer>
AFXLocalizationsContainer::makeWithKey(const QString& key, const platform::Value::Dictionary& stringsMap) {
    std::shared_ptr<AFXLocalizationsContainer> container(new AFXLocalizationsContainer);
    container->key_ = key;
    container->stringsMap_ = stringsMap;
    return container;
}

std::optional<QString> AFXLocalizationsContainer::stringForLanguageCode(const QString& languageCode) const {
    const auto entry = stringsMap_.constFind(languageCode);
    if (entry == stringsMap_.constEnd() || entry->kind() != platform::Value::Kind::String) {
        return std::nullopt;
    }
    return entry->toString();
}

bool AFXLocalizationsContainer::isEqual(const platform::Object& other) const {
    const auto* container = dynamic_cast<const AFXLocalizationsContainer*>(&other);
    return container && container->key_ == key_ && container->stringsMap_ == stringsMap_;
}

std::uint64_t AFXLocalizationsContainer::hash() const {
    return platform::Value(key_).hash() ^ platform::Value(stringsMap_).hash();
}
