#pragma once

#include "AFXCodedModelObject.h"
#include "AFXResourceKind.h"
#include "AFXResourceStatus.h"

#include <QString>
#include <QUrl>

#include <memory>
#include <optional>

// A downloadable file of the catalogue. Its identifier is derived from
// where it is downloaded from, so the desktop client and its clients name
// the same resource alike without asking the store.
class AFXCodedResource : public AFXCodedModelObject {
    AFX_DECLARE_MODEL_CLASS(AFXCodedResource)

public:
    AFXCodedResource() = default;
    static std::shared_ptr<BRClassReflection> makeReflection();

    // Identifier: the lower-case hexadecimal SHA-1 of the URL's absolute
    // string; status: missing.
    static std::shared_ptr<AFXCodedResource> resourceWithDownloadURL(const QUrl& downloadURL);

    QString identifier() const { return identifier_; }
    void setIdentifier(const QString& identifier) { identifier_ = identifier; }
    QUrl downloadURL() const { return downloadURL_; }
    void setDownloadURL(const QUrl& downloadURL) { downloadURL_ = downloadURL; }
    std::shared_ptr<AFXResourceStatus> status() const { return status_; }
    void setStatus(std::shared_ptr<AFXResourceStatus> status) { status_ = std::move(status); }

    virtual AFXResourceKind kind() const { return AFXResourceKindUndefined; }
    std::optional<QUrl> downloadedURL() const;
    std::optional<QString> statsdID() const { return AFXResourceKindGetStatsdID(kind()); }

    bool isEqual(const platform::Object& other) const override;
    std::uint64_t hash() const override;
    QString description() const override;

protected:
    // Sets the download URL, the identifier from the URL's absolute string
    // followed by `hashedSuffix`, and a missing status.
    void setupWithDownloadURL(const QUrl& downloadURL, const QString& hashedSuffix = {});

private:
    QString identifier_;
    QUrl downloadURL_;
    std::shared_ptr<AFXResourceStatus> status_;
};
