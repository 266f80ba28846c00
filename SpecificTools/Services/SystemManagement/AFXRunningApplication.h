#pragma once

#include "SpecificTools/Interprocess/AFXRecordField.h"
#include "SpecificTools/Model/AFXBaseMutableModelObject.h"

#include <QString>
#include <QUrl>

#include <cstdint>

// The application on whose behalf a customer is asked for: the desktop
// client may name it to the person signing in.
class AFXRunningApplication : public AFXBaseMutableModelObject {
    AFX_DECLARE_RECORD(AFXRunningApplication)
    AFX_RECORD_FIELD(QString, localizedName, setLocalizedName)
    AFX_RECORD_FIELD(QString, bundleIdentifier, setBundleIdentifier)
    AFX_RECORD_FIELD(QUrl, bundleURL, setBundleURL)
    AFX_RECORD_FIELD(QString, version, setVersion)
    AFX_RECORD_FIELD(QString, build, setBuild)
    AFX_RECORD_FIELD(std::int64_t, processIdentifier, setProcessIdentifier)

private:
    AFXRunningApplication() = default;
};
