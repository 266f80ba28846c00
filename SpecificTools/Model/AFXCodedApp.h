#pragma once

#include "AFXCodedAppResource.h"
#include "AFXCodedAppVersion.h"
#include "AFXCodedModelObject.h"
#include "platform/Error.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <cstdint>
#include <memory>

class AFXCodedAppIconResource;

// An app of the store's catalogue as the desktop client knows it, with its
// versions and resources. Two apps are the same app when their store
// identifiers are equal, whatever else they say.
class AFXCodedApp : public AFXCodedModelObject {
    AFX_DECLARE_MODEL_CLASS(AFXCodedApp)

public:
    using Versions = QList<std::shared_ptr<AFXCodedAppVersion>>;
    using Resources = QList<std::shared_ptr<AFXCodedAppResource>>;

    AFXCodedApp() = default;
    static std::shared_ptr<BRClassReflection> makeReflection();

    std::int64_t identifier() const { return identifier_; }
    void setIdentifier(std::int64_t identifier) { identifier_ = identifier; }
    // The vendor app's bundle identifier.
    QString bundleIdentifier() const { return bundleIdentifier_; }
    void setBundleIdentifier(const QString& bundleIdentifier) { bundleIdentifier_ = bundleIdentifier; }
    QString name() const { return name_; }
    void setName(const QString& name) { name_ = name; }
    // A set of earlier display names.
    QStringList oldNames() const { return oldNames_; }
    void setOldNames(const QStringList& oldNames) { oldNames_ = oldNames; }
    QString tagLine() const { return tagLine_; }
    void setTagLine(const QString& tagLine) { tagLine_ = tagLine; }
    QString marketingDescription() const { return marketingDescription_; }
    void setMarketingDescription(const QString& text) { marketingDescription_ = text; }
    QString ctaDescription() const { return ctaDescription_; }
    void setCtaDescription(const QString& text) { ctaDescription_ = text; }
    QString vendorName() const { return vendorName_; }
    void setVendorName(const QString& vendorName) { vendorName_ = vendorName; }
    QUrl marketingURL() const { return marketingURL_; }
    void setMarketingURL(const QUrl& marketingURL) { marketingURL_ = marketingURL; }
    QString lastLaunchedAppVersionID() const { return lastLaunchedAppVersionID_; }
    void setLastLaunchedAppVersionID(const QString& identifier) { lastLaunchedAppVersionID_ = identifier; }
    bool isInstanceHidden() const { return isInstanceHidden_; }
    void setIsInstanceHidden(bool hidden) { isInstanceHidden_ = hidden; }
    bool isBrandNew() const { return isBrandNew_; }
    void setIsBrandNew(bool brandNew) { isBrandNew_ = brandNew; }
    bool didPresentAsBrandNew() const { return didPresentAsBrandNew_; }
    void setDidPresentAsBrandNew(bool presented) { didPresentAsBrandNew_ = presented; }
    // A set of all versions.
    Versions versions() const { return versions_; }
    void setVersions(const Versions& versions) { versions_ = versions; }
    // A set of the identifiers of the collections that contain the app.
    QList<std::int64_t> collectionIDs() const { return collectionIDs_; }
    void setCollectionIDs(const QList<std::int64_t>& collectionIDs) { collectionIDs_ = collectionIDs; }
    // A set of the app's resources, of any kind.
    Resources resources() const { return resources_; }
    void setResources(const Resources& resources) { resources_ = resources; }

    // Derived; see AFXAppAlgorithms.h.
    QString teaserBundleIdentifier() const;
    std::shared_ptr<AFXCodedAppVersion> firstVersion() const;
    std::shared_ptr<AFXCodedAppVersion> latestVersion() const;
    std::shared_ptr<AFXCodedAppVersion> latestMajorVersion() const;
    std::shared_ptr<AFXCodedAppIconResource> iconResource() const;
    std::shared_ptr<AFXCodedAppVersion> pickAppVersion(platform::Error* error = nullptr) const;

    bool isEqual(const platform::Object& other) const override;
    std::uint64_t hash() const override;
    QString description() const override;
    // Versions and resources are copied too, so the copy can change them
    // without touching this app.
    std::shared_ptr<platform::Object> copy() const override;

private:
    std::int64_t identifier_ = 0;
    QString bundleIdentifier_;
    QString name_;
    QStringList oldNames_;
    QString tagLine_;
    QString marketingDescription_;
    QString ctaDescription_;
    QString vendorName_;
    QUrl marketingURL_;
    QString lastLaunchedAppVersionID_;
    bool isInstanceHidden_ = false;
    bool isBrandNew_ = false;
    bool didPresentAsBrandNew_ = false;
    Versions versions_;
    QList<std::int64_t> collectionIDs_;
    Resources resources_;
};
