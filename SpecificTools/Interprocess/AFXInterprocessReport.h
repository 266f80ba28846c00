#pragma once

#include "AFXRecordField.h"
#include "SpecificTools/Model/AFXBaseMutableModelObject.h"

// The base of the progress reports a request may produce; concrete reports
// declare their own fields. A report travels alone over the reporting stream.
class AFXInterprocessReport : public AFXBaseMutableModelObject {
    AFX_DECLARE_RECORD(AFXInterprocessReport)

protected:
    AFXInterprocessReport() = default;
};
