#include "AFXBaseMutableModelObject.h"

PLATFORM_DEFINE_CLASS(AFXBaseMutableModelObject, AFXBaseModelObject, nullptr)

std::shared_ptr<BRClassReflection> AFXBaseMutableModelObject::makeReflection() {
    return BRReflection<AFXBaseModelObject>()->copy();
}
