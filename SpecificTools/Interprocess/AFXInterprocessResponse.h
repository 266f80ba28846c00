#pragma once

#include "AFXRecordField.h"
#include "SpecificTools/Model/AFXBaseMutableModelObject.h"

// The base of the responses to requests; concrete responses declare their
// own fields. A response travels as the value of the reply's BRValueOrError.
class AFXInterprocessResponse : public AFXBaseMutableModelObject {
    AFX_DECLARE_RECORD(AFXInterprocessResponse)

protected:
    AFXInterprocessResponse() = default;
};
