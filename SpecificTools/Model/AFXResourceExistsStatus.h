#pragma once

#include "AFXResourceStatus.h"

// The resource has been downloaded to a storage location.
class AFXResourceExistsStatus : public AFXResourceStatus {
    AFX_DECLARE_MODEL_CLASS(AFXResourceExistsStatus)

public:
    static std::shared_ptr<AFXResourceExistsStatus> makeWithStorageURL(const QUrl& storageURL);
    static std::shared_ptr<BRClassReflection> makeReflection();

    QUrl storageURL() const { return storageURL_; }

    std::int64_t priority() const override { return 3; }
    // The storage URL while a file is there; the file may have been removed
    // since the download, so this looks every time.
    std::optional<QUrl> downloadedResourceURL() const override;

    bool isEqual(const platform::Object& other) const override;
    std::uint64_t hash() const override;
    QString description() const override;

private:
    AFXResourceExistsStatus() = default;
    void setStorageURL(const QUrl& storageURL) { storageURL_ = storageURL; }
    bool isValidAfterDecoding() const override { return storageURL_.isValid(); }

    QUrl storageURL_;
};
