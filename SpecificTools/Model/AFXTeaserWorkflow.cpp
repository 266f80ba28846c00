#include "AFXTeaserWorkflow.h"

#include "platform/ValueClasses.h"

using platform::ValueClasses::number;
using platform::ValueClasses::url;

AFX_DEFINE_RECORD(AFXTeaserWorkflow, AFXBaseMutableModelObject,
                  AFX_FIELD(appInstance, {AFXTeaserAppInstance::staticClass()}), AFX_FIELD(state, {number()}),
                  AFX_FIELD(temporaryAppURL, {url()}), AFX_FIELD(fractionCompleted, {number()}),
                  AFX_FIELD(appWorkflow, {AFXAppWorkflow::staticClass()}))
