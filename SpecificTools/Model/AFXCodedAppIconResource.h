#pragma once

#include "AFXCodedAppResource.h"

// The app's icon.
class AFXCodedAppIconResource : public AFXCodedAppResource {
    AFX_DECLARE_MODEL_CLASS(AFXCodedAppIconResource)

public:
    AFXCodedAppIconResource() = default;
    static std::shared_ptr<BRClassReflection> makeReflection();

    AFXResourceKind kind() const override { return AFXResourceKindAppIcon; }
};
