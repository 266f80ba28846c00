#include "AFXInterprocessResponse.h"

AFX_DEFINE_ABSTRACT_RECORD(AFXInterprocessResponse, AFXBaseMutableModelObject)
