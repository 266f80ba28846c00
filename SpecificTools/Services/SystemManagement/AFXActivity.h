#pragma once

#include "SpecificTools/Interprocess/AFXRecordField.h"
#include "SpecificTools/Model/AFXBaseModelObject.h"

#include <QString>
#include <QUuid>

#include <memory>

// Work a process has under way and tells the desktop client of, so that
// the client does not end while it runs. Two activities are the same
// activity when their identifiers are equal.
class AFXActivity : public AFXBaseModelObject {
    AFX_DECLARE_RECORD(AFXActivity)
    AFX_RECORD_READONLY_FIELD(QUuid, identifier)
    AFX_RECORD_READONLY_FIELD(QString, tierName)
    AFX_RECORD_READONLY_FIELD(QString, reason)

public:
    // A new activity under a new random identifier.
    static std::shared_ptr<AFXActivity> makeWithTierName(const QString& tierName, const QString& reason);

    bool isEqual(const platform::Object& other) const override;
    std::uint64_t hash() const override;

private:
    AFXActivity() = default;
    bool isValidAfterDecoding() const override { return !identifier_.isNull(); }
};
