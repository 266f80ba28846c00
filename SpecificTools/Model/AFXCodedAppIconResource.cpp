#include "AFXCodedAppIconResource.h"

PLATFORM_DEFINE_CLASS(AFXCodedAppIconResource, AFXCodedAppResource,
                      [] { return std::make_shared<AFXCodedAppIconResource>(); })

std::shared_ptr<BRClassReflection> AFXCodedAppIconResource::makeReflection() {
    return BRReflection<AFXCodedAppResource>()->copy();
}
