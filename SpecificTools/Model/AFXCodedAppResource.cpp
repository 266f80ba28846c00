#include "AFXCodedAppResource.h"

#include "AFXCodedApp.h"
#include "platform/ValueClasses.h"
#include "platform/ValueConversion.h"

PLATFORM_DEFINE_CLASS_WITH_SETUP(
    AFXCodedAppResource, AFXCodedResource, [] { return std::make_shared<AFXCodedAppResource>(); },
    [](platform::Class& c) {
        platform::addProperty(c, QStringLiteral("appID"), &AFXCodedAppResource::appID,
                              &AFXCodedAppResource::setAppID);
    })

std::shared_ptr<BRClassReflection> AFXCodedAppResource::makeReflection() {
    auto reflection = BRReflection<AFXCodedResource>()->copy();
    reflection->addPropertyForSelector(QStringLiteral("appID"), platform::ValueClasses::number());
    return reflection;
}

void AFXCodedAppResource::setupWithDownloadURLAndApp(const QUrl& downloadURL, const AFXCodedApp& app,
                                                     const QString& hashedSuffix) {
    setupWithDownloadURL(downloadURL, hashedSuffix);
    appID_ = app.identifier();
}
