#pragma once

#include "Error.h"
#include "SecurityStatus.h"
#include "Value.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>

namespace platform {

// What a bundle's signature seals, kept in "_CodeSignature/CodeResources"
// (inside "Contents" when the bundle has one) as an XML property list:
//
//   "format-version"   1
//   "identifier"       the signed code's identifier
//   "digest-algorithm" "sha256"
//   "entitlements"     the entitlements dictionary
//   "files"            relative path → SHA-256 of the file's bytes
//   "symlinks"         relative path → the link's target text
//   "nested"           relative path of a nested bundle → SHA-256 of that
//                      bundle's own "_CodeSignature/CodeSignature"
//
// Paths are relative to the bundle's folder ("Contents/MacOS/Notes").
// Nested bundles (".app", ".framework", ".appex", ".xpc", ".bundle",
// ".plugin" folders below the bundle) are sealed by their own signatures,
// never by their files; the bundle's own "_CodeSignature" folder is not
// sealed. Empty folders carry nothing.
class CodeResources {
public:
    static constexpr int formatVersion = 1;

    // "…/Contents/_CodeSignature" or "…/_CodeSignature".
    static QString signatureFolder(const QString& bundlePath);
    static QString resourcesPath(const QString& bundlePath);
    // The detached CMS signature over the exact bytes of CodeResources.
    static QString signaturePath(const QString& bundlePath);

    // Seals what is in the bundle now. A symbolic link whose target leaves
    // the bundle is errSecCSInvalidSymlink, an item that cannot be read
    // errSecCSBadResource; either names the item under kSecCFErrorPath.
    static OSStatus collect(const QString& bundlePath, CodeResources* resources,
                            std::optional<Error>* errors);
    // The nested bundles below a bundle, deepest first.
    static QStringList nestedBundles(const QString& bundlePath);

    // Malformed text gives nothing.
    static std::optional<CodeResources> fromPropertyList(const QByteArray& data);
    QByteArray toPropertyList() const;

    // Compares a bundle's present state (`present`, from `collect`) with this
    // seal: files and links that differ, appeared or are gone give
    // errSecCSBadResource with their file URLs under kSecCFErrorResourceAltered,
    // …Added and …Missing; a nested bundle whose signature changed gives
    // errSecCSBadNestedCode.
    OSStatus compareWith(const CodeResources& present, const QString& bundlePath,
                         std::optional<Error>* errors) const;

    QString identifier;
    Value::Dictionary entitlements;
    QMap<QString, QByteArray> files;
    QMap<QString, QString> symlinks;
    QMap<QString, QByteArray> nested;
};

} // namespace platform
