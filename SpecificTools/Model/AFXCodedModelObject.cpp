#include "AFXCodedModelObject.h"

PLATFORM_DEFINE_CLASS(AFXCodedModelObject, AFXBaseModelObject, nullptr)

std::shared_ptr<BRClassReflection> AFXCodedModelObject::makeReflection() {
    return BRReflection<AFXBaseModelObject>()->copy();
}

void AFXCodedModelObject::setupWithPrototype(const platform::Object& prototype) {
    classReflection()->setupPropertiesOfObject(*this, prototype);
}
