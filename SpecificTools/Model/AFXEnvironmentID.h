#pragma once

#include "AFXBaseModelObject.h"

#include <QString>
#include <QUrl>

#include <memory>
#include <optional>

// Which store back end a process talks to. Two concrete forms:
// AFXDefaultEnvironmentID (the store's own endpoints manifest) and
// AFXManifestURLBasedEnvironmentID (any other manifest, named by its URL).
// Identifiers are immutable and travel in several forms: the stored form of
// the preferences (`userDefaultsValue`), a URL query value (Base32) and a
// folder name (MD5).
class AFXEnvironmentID : public AFXBaseModelObject {
    AFX_DECLARE_MODEL_CLASS(AFXEnvironmentID)

public:
    static std::shared_ptr<BRClassReflection> makeReflection();

    static std::shared_ptr<AFXEnvironmentID> defaultEnvironmentID();
    static std::shared_ptr<AFXEnvironmentID> environmentIDWithManifestURL(const QUrl& manifestURL);
    // None or "default" give the default identifier, and so does a string
    // that is not an absolute URL; any other string names a manifest.
    static std::shared_ptr<AFXEnvironmentID> environmentWithURLString(const std::optional<QString>& string);
    static std::shared_ptr<AFXEnvironmentID>
    environmentWithUserDefaultsValue(const std::optional<QString>& value);
    // The Base32 text of the URL string's UTF-8 bytes; none gives the default
    // identifier, and so does text that does not decode.
    static std::shared_ptr<AFXEnvironmentID>
    environmentWithURLQueryValue(const std::optional<QString>& value);

    virtual QUrl manifestURL() const = 0;
    virtual QString userDefaultsValue() const = 0;
    virtual std::optional<QString> URLQueryValue() const = 0;
    virtual QString directoryName() const = 0;
    virtual std::optional<QString> statsdID() const = 0;
    virtual bool isDefault() const = 0;
    virtual bool isAnalyticsTrackingEnabled() const = 0;

protected:
    AFXEnvironmentID() = default;
};
