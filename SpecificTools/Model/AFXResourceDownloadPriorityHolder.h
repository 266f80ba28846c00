#pragma once

#include "AFXBaseMutableModelObject.h"
#include "AFXResourceDownloadPriorityChanger.h"
#include "SpecificTools/Interprocess/AFXRecordField.h"

#include <QString>

#include <cstdint>

// The download priority of one resource, as a record that can travel to
// another process; `identifier` names the resource's download.
class AFXResourceDownloadPriorityHolder : public AFXBaseMutableModelObject,
                                          public AFXResourceDownloadPriorityChanger {
    AFX_DECLARE_RECORD(AFXResourceDownloadPriorityHolder)
    AFX_RECORD_FIELD(QString, identifier, setIdentifier)

public:
    std::uint64_t priority() const override { return priority_; }
    void setPriority(std::uint64_t priority) override { priority_ = priority; }

private:
    std::uint64_t priority_ = 1;
};
