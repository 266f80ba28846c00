#include "AFXCustomerIdentity.h"

#include "platform/ValueClasses.h"
#include "platform/ValueConversion.h"

PLATFORM_DEFINE_CLASS_WITH_SETUP(
    AFXCustomerIdentity, AFXBaseModelObject,
    [] { return std::shared_ptr<AFXCustomerIdentity>(new AFXCustomerIdentity); },
    [](platform::Class& c) {
        using I = AFXCustomerIdentity;
        platform::addProperty(c, QStringLiteral("customerID"), &I::customerID, &I::setCustomerID);
        platform::addProperty(c, QStringLiteral("name"), &I::name, &I::setName);
        platform::addProperty(c, QStringLiteral("image"), &I::image, &I::setImage);
    })

std::shared_ptr<BRClassReflection> AFXCustomerIdentity::makeReflection() {
    auto reflection = BRReflection<AFXBaseModelObject>()->copy();
    reflection->addPropertyForSelector(QStringLiteral("customerID"), AFXCustomerID::staticClass());
    reflection->addPropertyForSelector(QStringLiteral("name"), platform::ValueClasses::string());
    reflection->addPropertyForSelector(QStringLiteral("image"), platform::ValueClasses::data());
    return reflection;
}

std::shared_ptr<AFXCustomerIdentity>
AFXCustomerIdentity::makeWithCustomerID(const std::shared_ptr<AFXCustomerID>& customerID, const QString& name,
                                        const QByteArray& image) {
    std::shared_ptr<AFXCustomerIdentity> identity(new AFXCustomerIdentity);
    identity->customerID_ = customerID;
    identity->name_ = name;
    identity->image_ = image;
    return identity;
}
