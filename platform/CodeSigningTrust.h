#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace platform {

// Which code-signing roots the platform trusts. Nothing made on this
// machine is trusted by default: only a root (KESTREL_ROOT) that installs
// development roots trusts them, as PEM files (any name ending in ".pem",
// each holding one or more certificates) in its folder
// "/Library/Security/Trust/CodeSigning". Without a root no certificate is
// trusted at all, so "anchor apple generic" never holds.
class CodeSigningTrust {
public:
    // The system path of the folder of trusted roots.
    static const QString trustedRootsFolder;

    // Whether `chain` (DER certificates, the signer's first) leads from the
    // signer to a trusted root, every certificate valid now, and the
    // signer's certificate is fit for code signing (no extended key usage,
    // or one that includes code signing).
    static bool isTrustedChain(const QList<QByteArray>& chain);
};

} // namespace platform
