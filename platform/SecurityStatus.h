#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace platform {

// The Security framework's result codes, as the platform numbers them
// (OSStatus values, reported in NSOSStatusErrorDomain). Only the codes the
// code-signing stand-ins produce are listed.
using OSStatus = std::int32_t;

enum : OSStatus {
    errSecSuccess = 0,
    errSecCSInvalidSymlink = -67003,
    errSecCSBadNestedCode = -67021,
    errSecCSReqFailed = -67050,
    errSecCSReqInvalid = -67052,
    errSecCSBadResource = -67054,
    errSecCSResourcesInvalid = -67055,
    errSecCSSignatureFailed = -67061,
    errSecCSUnsigned = -67062,
    errSecCSStaticCodeNotFound = -67068,
    errSecCSInternalError = -67048,
};

// User-info keys of the detailed errors that code-signing checks report.
inline const QString kSecCFErrorResourceAltered = QStringLiteral("SecCSResourceAltered");
inline const QString kSecCFErrorResourceAdded = QStringLiteral("SecCSResourceAdded");
inline const QString kSecCFErrorResourceMissing = QStringLiteral("SecCSResourceMissing");
inline const QString kSecCFErrorRequirementSyntax = QStringLiteral("SecRequirementSyntax");
inline const QString kSecCFErrorPath = QStringLiteral("SecComponentPath");

// The platform's message text for a status, or nothing for a status it has
// no text for.
std::optional<QString> SecCopyErrorMessageString(OSStatus status);

} // namespace platform
