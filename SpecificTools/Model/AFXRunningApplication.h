#pragma once

#include "SpecificTools/Interprocess/AFXRecordField.h"
#include "SpecificTools/Model/AFXBaseModelObject.h"

#include <QString>
#include <QUrl>

#include <cstdint>

// The application on whose behalf another process asks the desktop client
// for something (a customer, credentials, quitting it for an update).
class AFXRunningApplication : public AFXBaseModelObject {
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
