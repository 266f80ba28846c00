#include "AFXAttributesStorage.h"

#include "platform/ExtendedAttributes.h"

#include <utility>

AFXAttributesStorage::AFXAttributesStorage(AttributesByName attributesByName)
    : attributesByName_(std::move(attributesByName)) {}

AFXAttributesStorage AFXAttributesStorage::storageForURL(const QUrl& url) {
    AttributesByName attributes;
    const QString path = url.toLocalFile();
    for (const QString& name : platform::ExtendedAttributes::list(path)) {
        if (const auto value = platform::ExtendedAttributes::get(path, name)) {
            attributes.insert(name, *value);
        }
    }
    return AFXAttributesStorage(std::move(attributes));
}

AFXAttributesStorage AFXAttributesStorage::makeWithAttributesByName(AttributesByName attributesByName) {
    return AFXAttributesStorage(std::move(attributesByName));
}

void AFXAttributesStorage::setAttributesForURL(const QUrl& url) const {
    const QString path = url.toLocalFile();
    for (auto it = attributesByName_.cbegin(); it != attributesByName_.cend(); ++it) {
        platform::ExtendedAttributes::set(path, it.key(), it.value());
    }
}
