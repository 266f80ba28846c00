#pragma once

#include "platform/Error.h"
#include "platform/Value.h"

#include <QString>
#include <QUrl>

#include <optional>

// Checks bundles' code signatures against code requirements through the
// platform's static code objects. Class methods only; keeps no state and
// may be called from any thread.
class BRCodeSignatureChecker {
public:
    BRCodeSignatureChecker() = delete;

    // Whether the signature at `url` is valid and, when `requirements` is a
    // non-empty text, satisfies it. A requirement that does not compile
    // fails with the compiler's status without the signature being checked.
    // Failures are NSOSStatusErrorDomain errors with the status as code;
    // the user info is the detailed error's, with the platform's message for
    // the status as description when it has none.
    static bool codeSignatureAtURL(const QUrl& url, const std::optional<QString>& requirements,
                                   platform::Error* error = nullptr);
    static bool codeSignatureIsValidAtURL(const QUrl& url);
    static bool isApplicationSandboxedAtURL(const QUrl& url);
    // The signing information (with the requirement information), or
    // nothing when there is no code at `url` or its signature is unreadable.
    static std::optional<platform::Value::Dictionary> codeSignatureInfoAtURL(const QUrl& url);
};
