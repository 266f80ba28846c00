#include "AFXCodedVendorInstallResource.h"

#include "AFXModelProperties.h"
#include "platform/ValueClasses.h"

PLATFORM_DEFINE_CLASS_WITH_SETUP(
    AFXCodedVendorInstallResource, AFXCodedAppResource,
    [] { return std::make_shared<AFXCodedVendorInstallResource>(); },
    [](platform::Class& c) {
        AFXAddOptionalProperty(c, QStringLiteral("appVersionID"),
                               &AFXCodedVendorInstallResource::appVersionID,
                               &AFXCodedVendorInstallResource::setAppVersionID);
    })

std::shared_ptr<BRClassReflection> AFXCodedVendorInstallResource::makeReflection() {
    auto reflection = BRReflection<AFXCodedAppResource>()->copy();
    reflection->addPropertyForSelector(QStringLiteral("appVersionID"), platform::ValueClasses::string());
    return reflection;
}

std::shared_ptr<AFXCodedVendorInstallResource>
AFXCodedVendorInstallResource::resourceWithDownloadURL(const QUrl& downloadURL, const AFXCodedApp& app,
                                                       const QString& appVersionID) {
    auto resource = std::make_shared<AFXCodedVendorInstallResource>();
    resource->setupWithDownloadURLAndApp(downloadURL, app, appVersionID);
    resource->appVersionID_ = appVersionID;
    return resource;
}
