#include "AFXCodedVendorUpdateResource.h"

#include "AFXModelProperties.h"
#include "platform/ValueClasses.h"

PLATFORM_DEFINE_CLASS_WITH_SETUP(
    AFXCodedVendorUpdateResource, AFXCodedAppResource,
    [] { return std::make_shared<AFXCodedVendorUpdateResource>(); },
    [](platform::Class& c) {
        AFXAddOptionalProperty(c, QStringLiteral("fromAppVersionID"),
                               &AFXCodedVendorUpdateResource::fromAppVersionID,
                               &AFXCodedVendorUpdateResource::setFromAppVersionID);
        AFXAddOptionalProperty(c, QStringLiteral("toAppVersionID"),
                               &AFXCodedVendorUpdateResource::toAppVersionID,
                               &AFXCodedVendorUpdateResource::setToAppVersionID);
    })

std::shared_ptr<BRClassReflection> AFXCodedVendorUpdateResource::makeReflection() {
    auto reflection = BRReflection<AFXCodedAppResource>()->copy();
    reflection->addPropertyForSelector(QStringLiteral("fromAppVersionID"), platform::ValueClasses::string());
    reflection->addPropertyForSelector(QStringLiteral("toAppVersionID"), platform::ValueClasses::string());
    return reflection;
}
