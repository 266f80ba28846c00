#include "AFXExecutableInfo.h"

#include "platform/ValueClasses.h"
#include "platform/ValueConversion.h"

PLATFORM_DEFINE_CLASS_WITH_SETUP(
    AFXExecutableInfo, AFXBaseMutableModelObject,
    [] { return std::shared_ptr<AFXExecutableInfo>(new AFXExecutableInfo); },
    [](platform::Class& c) {
        platform::addProperty(c, QStringLiteral("path"), &AFXExecutableInfo::path,
                              &AFXExecutableInfo::setPath);
        platform::addProperty(c, QStringLiteral("arguments"), &AFXExecutableInfo::arguments,
                              &AFXExecutableInfo::setArguments);
    })

std::shared_ptr<BRClassReflection> AFXExecutableInfo::makeReflection() {
    auto reflection = BRReflection<AFXBaseMutableModelObject>()->copy();
    reflection->addPropertyForSelector(QStringLiteral("path"), platform::ValueClasses::string());
    reflection->addPropertyForSelector(QStringLiteral("arguments"), platform::ValueClasses::array(),
                                       platform::ValueClasses::string());
    return reflection;
}

std::shared_ptr<AFXExecutableInfo> AFXExecutableInfo::makeWithPath(const QString& path,
                                                                   const QStringList& arguments) {
    std::shared_ptr<AFXExecutableInfo> info(new AFXExecutableInfo);
    info->path_ = path;
    info->arguments_ = arguments;
    return info;
}
