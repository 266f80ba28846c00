#pragma once

#include "AFXBaseMutableModelObject.h"
#include "AFXCodedApp.h"
#include "SpecificTools/Interprocess/AFXRecordField.h"

#include <memory>

// One app found by a catalogue search, with how well it matched.
class AFXAppSearchResult : public AFXBaseMutableModelObject {
    AFX_DECLARE_RECORD(AFXAppSearchResult)
    AFX_RECORD_FIELD(std::shared_ptr<AFXCodedApp>, app, setApp)
    AFX_RECORD_FIELD(double, score, setScore)
};
