#include "AFXCodedTeaserUpdateResource.h"

#include "AFXModelProperties.h"
#include "AFXTeaserVersions.h"
#include "platform/ValueClasses.h"
#include "platform/ValueTransformer.h"

namespace {

class OldTeaserVersionTransformer : public platform::ValueTransformer {
public:
    platform::Value transformedValue(const platform::Value& value) const override {
        if (value.isNull()) {
            return value;
        }
        return platform::Value(AFXTeaserVersionToOldTeaserVersion(value.toString()));
    }
    platform::Value reverseTransformedValue(const platform::Value& value) const override {
        if (value.isNull()) {
            return value;
        }
        return platform::Value(AFXTeaserVersionFromOldTeaserVersion(value.toInteger()));
    }
};

} // namespace

PLATFORM_DEFINE_CLASS_WITH_SETUP(
    AFXCodedTeaserUpdateResource, AFXCodedAppResource,
    [] { return std::make_shared<AFXCodedTeaserUpdateResource>(); },
    [](platform::Class& c) {
        AFXAddOptionalProperty(c, QStringLiteral("fromTeaserAppVersion"),
                               &AFXCodedTeaserUpdateResource::fromTeaserAppVersion,
                               &AFXCodedTeaserUpdateResource::setFromTeaserAppVersion);
        AFXAddOptionalProperty(c, QStringLiteral("toTeaserAppVersion"),
                               &AFXCodedTeaserUpdateResource::toTeaserAppVersion,
                               &AFXCodedTeaserUpdateResource::setToTeaserAppVersion);
    })

std::shared_ptr<BRClassReflection> AFXCodedTeaserUpdateResource::makeReflection() {
    auto reflection = BRReflection<AFXCodedAppResource>()->copy();
    const auto transformer = std::make_shared<OldTeaserVersionTransformer>();
    for (const QString& key :
         {QStringLiteral("fromTeaserAppVersion"), QStringLiteral("toTeaserAppVersion")}) {
        reflection->addPropertyForSelector(key, {platform::ValueClasses::number()}, {}, transformer);
    }
    return reflection;
}
