#pragma once

#include "Error.h"
#include "SecurityStatus.h"
#include "Value.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace platform {

// Signs bundles in the form CodeSignature checks: seals the bundle's
// contents in "_CodeSignature/CodeResources" and signs that file's bytes
// as a detached CMS SignedData (SHA-256) that carries the signer's chain.
// Nested bundles are signed first, deepest first, with the same identity,
// their own identifiers and no entitlements, so the outer seal holds their
// new signatures.
class CodeSigner {
public:
    struct Identity {
        // PEM: the private key; the signer's certificate followed by the
        // rest of its chain.
        QByteArray privateKey;
        QByteArray certificateChain;
    };

    // `identifier` empty: the bundle's "CFBundleIdentifier", else its file
    // name. Errors: errSecCSStaticCodeNotFound for a missing bundle; the
    // sealing errors of CodeResources::collect; errSecCSInternalError with a
    // description when the identity is unusable or the signature cannot be
    // written.
    static OSStatus signBundle(const QString& bundlePath, const Identity& identity, const QString& identifier,
                               const Value::Dictionary& entitlements, std::optional<Error>* errors);
};

} // namespace platform
