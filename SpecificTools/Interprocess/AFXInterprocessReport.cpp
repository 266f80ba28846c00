#include "AFXInterprocessReport.h"

AFX_DEFINE_ABSTRACT_RECORD(AFXInterprocessReport, AFXBaseMutableModelObject)
