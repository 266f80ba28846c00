#pragma once

#include "AFXAppWorkflow.h"
#include "AFXBaseMutableModelObject.h"
#include "AFXTeaserAppInstance.h"
#include "SpecificTools/Interprocess/AFXRecordField.h"

#include <QUrl>

#include <cstdint>
#include <memory>

// The desktop client's progress in replacing a teaser with its vendor app:
// the teaser, the client's own state of the replacement, where the vendor
// app waits meanwhile, and the vendor app's installation workflow. The
// state values are the desktop client's.
class AFXTeaserWorkflow : public AFXBaseMutableModelObject {
    AFX_DECLARE_RECORD(AFXTeaserWorkflow)
    AFX_RECORD_FIELD(std::shared_ptr<AFXTeaserAppInstance>, appInstance, setAppInstance)
    AFX_RECORD_FIELD(std::int64_t, state, setState)
    AFX_RECORD_FIELD(QUrl, temporaryAppURL, setTemporaryAppURL)
    AFX_RECORD_FIELD(double, fractionCompleted, setFractionCompleted)
    AFX_RECORD_FIELD(std::shared_ptr<AFXAppWorkflow>, appWorkflow, setAppWorkflow)
};
