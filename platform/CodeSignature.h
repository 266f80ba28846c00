#pragma once

#include "CodeRequirement.h"
#include "Error.h"
#include "SecurityStatus.h"
#include "Value.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace platform {

using SecCSFlags = std::uint32_t;
enum : SecCSFlags {
    kSecCSDefaultFlags = 0,
    kSecCSCheckAllArchitectures = 1,
    kSecCSRequirementInformation = 4,
};

// Keys of the signing information.
inline const QString kSecCodeInfoIdentifier = QStringLiteral("identifier");
inline const QString kSecCodeInfoTeamIdentifier = QStringLiteral("teamid");
inline const QString kSecCodeInfoCertificates = QStringLiteral("certificates");
inline const QString kSecCodeInfoCertificateSubjects = QStringLiteral("certificate-subjects");
inline const QString kSecCodeInfoEntitlementsDict = QStringLiteral("entitlements-dict");
inline const QString kSecCodeInfoMainExecutable = QStringLiteral("main-executable");
inline const QString kSecCodeInfoFormat = QStringLiteral("format");
inline const QString kSecCodeInfoDigestAlgorithm = QStringLiteral("digest-algorithm");
inline const QString kSecCodeInfoUnique = QStringLiteral("unique");
inline const QString kSecCodeInfoDesignatedRequirement = QStringLiteral("designated-requirement");

// A bundle's code signature on disk (a static code object): the sealed
// resource list (CodeResources) and a detached CMS SignedData in DER form
// over its exact bytes ("_CodeSignature/CodeSignature"), which carries the
// signer's certificate chain. Checking it verifies the CMS signature, that
// the bundle's files, links and nested bundles are what the list seals,
// that every nested bundle is valid in turn, and then the requirement.
class CodeSignature {
public:
    // A path where nothing exists is errSecCSStaticCodeNotFound.
    static OSStatus createWithPath(const QString& path, SecCSFlags flags, std::optional<CodeSignature>* code);

    // errSecCSUnsigned: no signature; errSecCSSignatureFailed: the CMS
    // signature does not verify over the resource list;
    // errSecCSResourcesInvalid: the list cannot be read;
    // errSecCSInvalidSymlink, errSecCSBadResource, errSecCSBadNestedCode:
    // the bundle differs from what was sealed (CodeResources::compareWith);
    // errSecCSReqFailed: the requirement does not hold. The detailed error
    // carries the items concerned.
    OSStatus checkValidity(SecCSFlags flags, const CodeRequirement* requirement,
                           std::optional<Error>* errors) const;

    // What the signature says, without checking it: the main executable,
    // and for signed code the identifier, the team (the signer's
    // organisational unit), the certificates (DER, the signer's first) and
    // their subjects, the entitlements, the format, the digest algorithm and
    // "unique" (the SHA-256 of the resource list). kSecCSRequirementInformation
    // adds the designated requirement. errSecCSSignatureFailed when a
    // signature is there but cannot be read.
    OSStatus copySigningInformation(SecCSFlags flags, Value::Dictionary* information) const;

    const QString& path() const { return path_; }

private:
    explicit CodeSignature(QString path) : path_(std::move(path)) {}

    QString path_;
};

} // namespace platform
