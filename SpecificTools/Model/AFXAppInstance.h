#pragma once

#include "AFXBaseMutableModelObject.h"
#include "platform/FileReferenceURL.h"
#include "platform/RunningApplication.h"

#include <QString>
#include <QUrl>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

// The kinds of app instances.
enum class AFXAppInstanceKind : std::int64_t {
    Teaser = 1,
    Vendor = 2,
};

// A copy of an app on the disk. The location is held as a file reference
// URL, so an instance keeps finding its app after the app is moved; it is
// archived as a file path URL (AFXFileReferenceURLToFilePathURLValueTransformer).
//
// An app is inside a backup when a folder on its path is named
// "Backups.backupdb" or ends in ".backup"; it is in a Trash folder when its
// path contains "/.Trash/", a per-volume trash folder ".Trash-<uid>", or the
// user's "/.local/share/Trash/".
class AFXAppInstance : public AFXBaseMutableModelObject {
    AFX_DECLARE_MODEL_CLASS(AFXAppInstance)

public:
    static std::shared_ptr<BRClassReflection> makeReflection();

    virtual AFXAppInstanceKind kind() const = 0;
    std::int64_t appID() const { return appID_; }
    // The file reference URL of the app, or null (as read from an archive
    // whose app no longer existed).
    std::shared_ptr<platform::FileReferenceURL> URL() const { return URL_; }
    // The app's present path, or an empty string when it no longer resolves.
    QString filePath() const;

    // The app is still at a path outside Trash folders and backups.
    bool exists() const;
    // The same, on the volume of the root folder ("/", or the system's root
    // folder when one is set).
    bool existsOnRootVolume() const;
    // The bundle's category with its prefix removed and capitalised
    // ("public.app-category.developer-tools" is "Developer Tools"; none is
    // "Other"), read on first use and kept.
    QString appCategory() const;
    // The category from the framework's string table (the category itself without an entry).
    QString localizedAppCategory() const;
    // The running application whose bundle is this instance's app, if any.
    std::optional<platform::RunningApplication> runningApplication() const;

    bool isEqual(const platform::Object& other) const override;
    std::uint64_t hash() const override;
    QString description() const override;

protected:
    AFXAppInstance() = default;
    // Sets the app ID and a reference to the item at the URL; false when there is none.
    bool initWithAppID(std::int64_t appID, const QUrl& url);
    void setAppID(std::int64_t appID) { appID_ = appID; }
    void setURL(std::shared_ptr<platform::FileReferenceURL> url) { URL_ = std::move(url); }

private:
    std::int64_t appID_ = 0;
    std::shared_ptr<platform::FileReferenceURL> URL_;
    mutable std::once_flag appCategoryOnce_;
    mutable QString appCategory_;
};
