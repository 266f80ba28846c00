#pragma once

#include "AFXBaseModelObject.h"

// The base of mutable records (app instances, the app workflow,
// environments): a copy is a new object of the same class with every coded
// field of the original.
class AFXBaseMutableModelObject : public AFXBaseModelObject {
    AFX_DECLARE_MODEL_CLASS(AFXBaseMutableModelObject)

public:
    static std::shared_ptr<BRClassReflection> makeReflection();
    std::shared_ptr<platform::Object> copy() const override { return copyOfCodedFields(); }

protected:
    AFXBaseMutableModelObject() = default;
};
