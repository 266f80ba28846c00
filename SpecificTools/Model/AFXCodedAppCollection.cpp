#include "AFXCodedAppCollection.h"

#include "AFXModelProperties.h"
#include "platform/StringFormat.h"
#include "platform/ValueClasses.h"

using C = AFXCodedAppCollection;

PLATFORM_DEFINE_CLASS_WITH_SETUP(
    AFXCodedAppCollection, AFXCodedModelObject, [] { return std::make_shared<AFXCodedAppCollection>(); },
    [](platform::Class& c) {
        platform::addProperty(c, QStringLiteral("identifier"), &C::identifier, &C::setIdentifier);
        AFXAddOptionalProperty(c, QStringLiteral("name"), &C::name, &C::setName);
        platform::addProperty(c, QStringLiteral("priority"), &C::priority, &C::setPriority);
        AFXAddOptionalProperty(c, QStringLiteral("localizedName"), &C::localizedName, &C::setLocalizedName);
        AFXAddSetProperty(c, QStringLiteral("applicationIDs"), &C::applicationIDs, &C::setApplicationIDs);
    })

std::shared_ptr<BRClassReflection> AFXCodedAppCollection::makeReflection() {
    using namespace platform;
    auto reflection = BRReflection<AFXCodedModelObject>()->copy();
    reflection->addPropertyForSelector(QStringLiteral("identifier"), ValueClasses::number());
    reflection->addPropertyForSelector(QStringLiteral("name"), ValueClasses::string());
    reflection->addPropertyForSelector(QStringLiteral("priority"), ValueClasses::number());
    reflection->addPropertyForSelector(QStringLiteral("localizedName"), ValueClasses::string());
    reflection->addPropertyForSelector(QStringLiteral("applicationIDs"), ValueClasses::set(),
                                       ValueClasses::number());
    return reflection;
}

bool AFXCodedAppCollection::isEqual(const platform::Object& other) const {
    const auto* collection = dynamic_cast<const AFXCodedAppCollection*>(&other);
    return collection && collection->identifier_ == identifier_ &&
           AFXValueOrNull(collection->name_) == AFXValueOrNull(name_) &&
           AFXValueOrNull(collection->localizedName_) == AFXValueOrNull(localizedName_);
}

std::uint64_t AFXCodedAppCollection::hash() const {
    return platform::Value(identifier_).hash();
}

QString AFXCodedAppCollection::description() const {
    return platform::stringWithFormat(QStringLiteral("%@, identifier = %@, name = %@"),
                                      platform::Object::description(), identifier_,
                                      AFXValueOrNull(name_.isEmpty() ? localizedName_ : name_));
}
