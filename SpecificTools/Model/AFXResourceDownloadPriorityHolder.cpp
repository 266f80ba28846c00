#include "AFXResourceDownloadPriorityHolder.h"

#include "platform/ValueClasses.h"

AFX_DEFINE_RECORD(AFXResourceDownloadPriorityHolder, AFXBaseMutableModelObject,
                  AFX_FIELD(priority, {platform::ValueClasses::number()}),
                  AFX_FIELD(identifier, {platform::ValueClasses::string()}))
