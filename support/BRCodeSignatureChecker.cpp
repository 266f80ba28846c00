#include "BRCodeSignatureChecker.h"

#include "platform/CodeRequirement.h"
#include "platform/CodeSignature.h"

using namespace platform;

bool BRCodeSignatureChecker::codeSignatureAtURL(const QUrl& url, const std::optional<QString>& requirements,
                                                Error* error) {
    std::optional<Error> detailed;
    std::optional<CodeSignature> code;
    std::optional<CodeRequirement> requirement;
    OSStatus status = CodeSignature::createWithPath(url.toLocalFile(), kSecCSDefaultFlags, &code);
    if (status == errSecSuccess && requirements && !requirements->isEmpty()) {
        status = CodeRequirement::createWithString(*requirements, &requirement, &detailed);
    }
    if (status == errSecSuccess) {
        status = code->checkValidity(kSecCSCheckAllArchitectures, requirement ? &*requirement : nullptr,
                                     &detailed);
    }
    if (status == errSecSuccess) {
        return true;
    }
    if (error) {
        Value::Dictionary userInfo = detailed ? detailed->userInfo() : Value::Dictionary();
        if (!userInfo.contains(NSLocalizedDescriptionKey)) {
            userInfo.insert(NSLocalizedDescriptionKey, SecCopyErrorMessageString(status).value_or(QString()));
        }
        *error = Error(NSOSStatusErrorDomain, status, userInfo);
    }
    return false;
}

bool BRCodeSignatureChecker::codeSignatureIsValidAtURL(const QUrl& url) {
    return codeSignatureAtURL(url, std::nullopt);
}

bool BRCodeSignatureChecker::isApplicationSandboxedAtURL(const QUrl& url) {
    return codeSignatureAtURL(url, QStringLiteral("entitlement[\"com.apple.security.app-sandbox\"] exists"));
}

std::optional<Value::Dictionary> BRCodeSignatureChecker::codeSignatureInfoAtURL(const QUrl& url) {
    std::optional<CodeSignature> code;
    Value::Dictionary information;
    if (CodeSignature::createWithPath(url.toLocalFile(), kSecCSDefaultFlags, &code) != errSecSuccess ||
        code->copySigningInformation(kSecCSRequirementInformation, &information) != errSecSuccess) {
        return std::nullopt;
    }
    return information;
}
