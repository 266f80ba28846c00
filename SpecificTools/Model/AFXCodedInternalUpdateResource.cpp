#include "AFXCodedInternalUpdateResource.h"

#include "AFXModelProperties.h"
#include "platform/ValueClasses.h"

PLATFORM_DEFINE_CLASS_WITH_SETUP(
    AFXCodedInternalUpdateResource, AFXCodedResource,
    [] { return std::make_shared<AFXCodedInternalUpdateResource>(); },
    [](platform::Class& c) {
        AFXAddOptionalProperty(c, QStringLiteral("version"), &AFXCodedInternalUpdateResource::version,
                               &AFXCodedInternalUpdateResource::setVersion);
        AFXAddOptionalProperty(c, QStringLiteral("downloadedDate"),
                               &AFXCodedInternalUpdateResource::downloadedDate,
                               &AFXCodedInternalUpdateResource::setDownloadedDate);
        AFXAddOptionalProperty(c, QStringLiteral("minOSVersion"),
                               &AFXCodedInternalUpdateResource::minOSVersion,
                               &AFXCodedInternalUpdateResource::setMinOSVersion);
    })

std::shared_ptr<BRClassReflection> AFXCodedInternalUpdateResource::makeReflection() {
    auto reflection = BRReflection<AFXCodedResource>()->copy();
    reflection->addPropertyForSelector(QStringLiteral("version"), platform::ValueClasses::string());
    reflection->addPropertyForSelector(QStringLiteral("downloadedDate"), platform::ValueClasses::date());
    reflection->addPropertyForSelector(QStringLiteral("minOSVersion"), platform::ValueClasses::string());
    return reflection;
}
