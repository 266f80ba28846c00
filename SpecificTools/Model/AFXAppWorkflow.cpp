#include "AFXAppWorkflow.h"

#include "platform/StringFormat.h"
#include "platform/ValueClasses.h"
#include "platform/ValueConversion.h"

PLATFORM_DEFINE_CLASS_WITH_SETUP(
    AFXAppWorkflow, AFXBaseMutableModelObject,
    [] { return std::shared_ptr<AFXAppWorkflow>(new AFXAppWorkflow); },
    [](platform::Class& c) {
        platform::addProperty(c, QStringLiteral("appID"), &AFXAppWorkflow::appID, &AFXAppWorkflow::setAppID);
        platform::addProperty(c, QStringLiteral("state"), &AFXAppWorkflow::state, &AFXAppWorkflow::setState);
        platform::addProperty(c, QStringLiteral("temporaryAppURL"), &AFXAppWorkflow::temporaryAppURL,
                              &AFXAppWorkflow::setTemporaryAppURL);
        platform::addProperty(c, QStringLiteral("appURL"), &AFXAppWorkflow::appURL,
                              &AFXAppWorkflow::setAppURL);
        platform::addProperty(c, QStringLiteral("fractionCompleted"), &AFXAppWorkflow::fractionCompleted,
                              &AFXAppWorkflow::setFractionCompleted);
    })

std::shared_ptr<BRClassReflection> AFXAppWorkflow::makeReflection() {
    auto reflection = BRReflection<AFXBaseMutableModelObject>()->copy();
    reflection->addPropertyForSelector(QStringLiteral("appID"), platform::ValueClasses::number());
    reflection->addPropertyForSelector(QStringLiteral("state"), platform::ValueClasses::number());
    reflection->addPropertyForSelector(QStringLiteral("temporaryAppURL"), platform::ValueClasses::url());
    reflection->addPropertyForSelector(QStringLiteral("appURL"), platform::ValueClasses::url());
    reflection->addPropertyForSelector(QStringLiteral("fractionCompleted"), platform::ValueClasses::number());
    return reflection;
}

std::shared_ptr<AFXAppWorkflow> AFXAppWorkflow::makeWithAppID(std::int64_t appID, const QUrl& installURL) {
    std::shared_ptr<AFXAppWorkflow> workflow(new AFXAppWorkflow);
    workflow->appID_ = appID;
    workflow->appURL_ = installURL;
    return workflow;
}

void AFXAppWorkflow::setFractionCompleted(double fractionCompleted) {
    fractionCompleted_ = fractionCompleted > 1 ? 1 : (fractionCompleted >= 0 ? fractionCompleted : 0);
}

QString AFXAppWorkflow::objectForNotification() const {
    return platform::stringWithFormat(QStringLiteral("%@ - %@"), appID_, appURL_.toLocalFile());
}

bool AFXAppWorkflow::isEqual(const platform::Object& other) const {
    const auto* workflow = dynamic_cast<const AFXAppWorkflow*>(&other);
    return workflow && workflow->appID_ == appID_;
}

std::uint64_t AFXAppWorkflow::hash() const {
    return platform::Value(appID_).hash();
}

QString AFXAppWorkflow::description() const {
    return platform::stringWithFormat(QStringLiteral("%@ appID = %@ at %@"), platform::Object::description(),
                                      appID_, appURL_.path());
}
