#include "AFXEndpoint.h"

#include "platform/StringFormat.h"
#include "platform/ValueClasses.h"
#include "platform/ValueConversion.h"

PLATFORM_DEFINE_CLASS_WITH_SETUP(
    AFXEndpoint, AFXBaseModelObject, [] { return std::shared_ptr<AFXEndpoint>(new AFXEndpoint); },
    [](platform::Class& c) {
        platform::addProperty(c, QStringLiteral("type"), &AFXEndpoint::type, &AFXEndpoint::setType);
        platform::addProperty(c, QStringLiteral("URL"), &AFXEndpoint::URL, &AFXEndpoint::setURL);
    })

std::shared_ptr<BRClassReflection> AFXEndpoint::makeReflection() {
    auto reflection = BRReflection<AFXBaseModelObject>()->copy();
    reflection->addPropertyForSelector(QStringLiteral("type"), platform::ValueClasses::number());
    reflection->addPropertyForSelector(QStringLiteral("URL"), platform::ValueClasses::url());
    return reflection;
}

std::shared_ptr<AFXEndpoint> AFXEndpoint::makeWithType(std::uint64_t type, const QUrl& URL) {
    std::shared_ptr<AFXEndpoint> endpoint(new AFXEndpoint);
    endpoint->type_ = type;
    endpoint->URL_ = URL;
    return endpoint;
}

bool AFXEndpoint::isEqual(const platform::Object& other) const {
    const auto* endpoint = dynamic_cast<const AFXEndpoint*>(&other);
    return endpoint && endpoint->URL_ == URL_;
}

std::uint64_t AFXEndpoint::hash() const {
    return platform::Value(URL_).hash() ^ platform::Value(type_).hash();
}

QString AFXEndpoint::description() const {
    return platform::stringWithFormat(QStringLiteral("Endpoint %@ (%@)"), URL_,
                                      isSelfSufficient() ? QStringLiteral("self-sufficient")
                                                         : QStringLiteral("needy"));
}
