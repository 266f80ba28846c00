#include "SecurityStatus.h"

namespace platform {

std::optional<QString> SecCopyErrorMessageString(OSStatus status) {
    switch (status) {
    case errSecSuccess:
        return QStringLiteral("No error.");
    case errSecCSInvalidSymlink:
        return QStringLiteral("invalid destination for symbolic link in bundle");
    case errSecCSBadNestedCode:
        return QStringLiteral("nested code is modified or invalid");
    case errSecCSReqFailed:
        return QStringLiteral("code failed to satisfy specified code requirement(s)");
    case errSecCSReqInvalid:
        return QStringLiteral("invalid or corrupted code requirement(s)");
    case errSecCSBadResource:
        return QStringLiteral("a sealed resource is missing or invalid");
    case errSecCSResourcesInvalid:
        return QStringLiteral("the sealed resource directory is invalid");
    case errSecCSSignatureFailed:
        return QStringLiteral("invalid signature (code or signature have been modified)");
    case errSecCSUnsigned:
        return QStringLiteral("code object is not signed at all");
    case errSecCSStaticCodeNotFound:
        return QStringLiteral("cannot find code object on disk");
    case errSecCSInternalError:
        return QStringLiteral("internal error in Code Signing subsystem");
    default:
        return std::nullopt;
    }
}

} // namespace platform
