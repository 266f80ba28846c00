#include "AFXCodedScreenshotResource.h"

#include "AFXModelProperties.h"
#include "platform/ValueClasses.h"

PLATFORM_DEFINE_CLASS_WITH_SETUP(
    AFXCodedScreenshotResource, AFXCodedAppResource,
    [] { return std::make_shared<AFXCodedScreenshotResource>(); },
    [](platform::Class& c) {
        AFXAddOptionalProperty(c, QStringLiteral("screenshotsServiceIdentifier"),
                               &AFXCodedScreenshotResource::screenshotsServiceIdentifier,
                               &AFXCodedScreenshotResource::setScreenshotsServiceIdentifier);
    })

std::shared_ptr<BRClassReflection> AFXCodedScreenshotResource::makeReflection() {
    auto reflection = BRReflection<AFXCodedAppResource>()->copy();
    reflection->addPropertyForSelector(QStringLiteral("screenshotsServiceIdentifier"),
                                       platform::ValueClasses::string());
    return reflection;
}
