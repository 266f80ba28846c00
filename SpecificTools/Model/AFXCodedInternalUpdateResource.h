#pragma once

#include "AFXCodedResource.h"

#include <QDateTime>

// An update of the desktop client itself; it belongs to no app.
class AFXCodedInternalUpdateResource : public AFXCodedResource {
    AFX_DECLARE_MODEL_CLASS(AFXCodedInternalUpdateResource)

public:
    AFXCodedInternalUpdateResource() = default;
    static std::shared_ptr<BRClassReflection> makeReflection();

    QString version() const { return version_; }
    void setVersion(const QString& version) { version_ = version; }
    QDateTime downloadedDate() const { return downloadedDate_; }
    void setDownloadedDate(const QDateTime& downloadedDate) { downloadedDate_ = downloadedDate; }
    QString minOSVersion() const { return minOSVersion_; }
    void setMinOSVersion(const QString& minOSVersion) { minOSVersion_ = minOSVersion; }

    AFXResourceKind kind() const override { return AFXResourceKindInternalAppUpdate; }

private:
    QString version_;
    QDateTime downloadedDate_;
    QString minOSVersion_;
};
