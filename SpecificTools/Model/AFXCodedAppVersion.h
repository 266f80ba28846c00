#pragma once

#include "AFXCodedModelObject.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <cstdint>

// One version of an app in the store's catalogue.
class AFXCodedAppVersion : public AFXCodedModelObject {
    AFX_DECLARE_MODEL_CLASS(AFXCodedAppVersion)

public:
    AFXCodedAppVersion() = default;
    static std::shared_ptr<BRClassReflection> makeReflection();

    // The store's identifier, compared as a version string.
    QString identifier() const { return identifier_; }
    void setIdentifier(const QString& identifier) { identifier_ = identifier; }
    // The version shown to users (dotted numbers).
    QString uiVersion() const { return uiVersion_; }
    void setUiVersion(const QString& uiVersion) { uiVersion_ = uiVersion; }
    QDateTime releaseDate() const { return releaseDate_; }
    void setReleaseDate(const QDateTime& releaseDate) { releaseDate_ = releaseDate; }
    QString releaseNotes() const { return releaseNotes_; }
    void setReleaseNotes(const QString& releaseNotes) { releaseNotes_ = releaseNotes; }
    QString minOSVersion() const { return minOSVersion_; }
    void setMinOSVersion(const QString& minOSVersion) { minOSVersion_ = minOSVersion; }
    QString maxOSVersion() const { return maxOSVersion_; }
    void setMaxOSVersion(const QString& maxOSVersion) { maxOSVersion_ = maxOSVersion; }
    // The version of the store's in-app library the build carries.
    QString libkestrelVersion() const { return libkestrelVersion_; }
    void setLibkestrelVersion(const QString& libkestrelVersion) { libkestrelVersion_ = libkestrelVersion; }
    QStringList screenshotResourcesIDs() const { return screenshotResourcesIDs_; }
    void setScreenshotResourcesIDs(const QStringList& identifiers) { screenshotResourcesIDs_ = identifiers; }
    QStringList keywords() const { return keywords_; }
    void setKeywords(const QStringList& keywords) { keywords_ = keywords; }
    std::int64_t size() const { return size_; }
    void setSize(std::int64_t size) { size_ = size; }
    std::int64_t appID() const { return appID_; }
    void setAppID(std::int64_t appID) { appID_ = appID; }

    // Equal identifier and app.
    bool isEqual(const platform::Object& other) const override;
    std::uint64_t hash() const override;
    QString description() const override;

private:
    QString identifier_;
    QString uiVersion_;
    QDateTime releaseDate_;
    QString releaseNotes_;
    QString minOSVersion_;
    QString maxOSVersion_;
    QString libkestrelVersion_;
    QStringList screenshotResourcesIDs_;
    QStringList keywords_;
    std::int64_t size_ = 0;
    std::int64_t appID_ = 0;
};
