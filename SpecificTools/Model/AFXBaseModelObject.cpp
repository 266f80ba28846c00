#include "AFXBaseModelObject.h"

PLATFORM_DEFINE_CLASS(AFXBaseModelObject, platform::Object, nullptr)

std::shared_ptr<BRClassReflection> AFXBaseModelObject::makeReflection() {
    return BRClassReflection::makeReflection();
}

std::shared_ptr<const BRClassReflection> AFXBaseModelObject::classReflection() const {
    return BRReflection<AFXBaseModelObject>();
}

void AFXBaseModelObject::encodeWithCoder(platform::KeyedArchiver& coder) const {
    classReflection()->encodeObject(*this, coder);
}

bool AFXBaseModelObject::initWithCoder(platform::KeyedUnarchiver& coder) {
    classReflection()->decodeObject(*this, coder);
    return !coder.error() && isValidAfterDecoding();
}

std::shared_ptr<platform::Object> AFXBaseModelObject::copyOfCodedFields() const {
    auto copied = objectClass()->make();
    if (copied) {
        classReflection()->setupPropertiesOfObject(*copied, *this);
    }
    return copied;
}
