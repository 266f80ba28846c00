#pragma once

#include "AFXBaseModelObject.h"

// The base of the catalogue's coded records (app, version, resources,
// collections). A copy is a new instance of the coded class filled from the
// original (`setupWithPrototype`).
class AFXCodedModelObject : public AFXBaseModelObject {
    AFX_DECLARE_MODEL_CLASS(AFXCodedModelObject)

public:
    static std::shared_ptr<BRClassReflection> makeReflection();
    std::shared_ptr<platform::Object> copy() const override { return copyOfCodedFields(); }
    // Fills this record with every coded field of the prototype.
    void setupWithPrototype(const platform::Object& prototype);

protected:
    AFXCodedModelObject() = default;
};
