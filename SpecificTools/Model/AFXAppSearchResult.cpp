#include "AFXAppSearchResult.h"

#include "platform/ValueClasses.h"

AFX_DEFINE_RECORD(AFXAppSearchResult, AFXBaseMutableModelObject, AFX_FIELD(app, {AFXCodedApp::staticClass()}),
                  AFX_FIELD(score, {platform::ValueClasses::number()}))
