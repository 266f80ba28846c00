#include "CodeSignature.h"

#include "CodeResources.h"
#include "CodeSigningTrust.h"
#include "OpenSSLPointers.h"
#include "PropertyList.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

namespace platform {

namespace {

std::optional<QByteArray> readFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    return file.readAll();
}

QByteArray derOf(X509* certificate) {
    unsigned char* bytes = nullptr;
    const int length = i2d_X509(certificate, &bytes);
    if (length <= 0) {
        return {};
    }
    QByteArray der(reinterpret_cast<const char*>(bytes), length);
    OPENSSL_free(bytes);
    return der;
}

QString subjectOf(X509* certificate) {
    openssl::BioPointer output(BIO_new(BIO_s_mem()));
    X509_NAME_print_ex(output.get(), X509_get_subject_name(certificate), 0,
                       XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB);
    char* data = nullptr;
    const long length = BIO_get_mem_data(output.get(), &data);
    return QString::fromUtf8(data, length);
}

QStringList organizationalUnitsOf(X509* certificate) {
    QStringList units;
    const X509_NAME* name = X509_get_subject_name(certificate);
    for (int index = X509_NAME_get_index_by_NID(name, NID_organizationalUnitName, -1); index >= 0;
         index = X509_NAME_get_index_by_NID(name, NID_organizationalUnitName, index)) {
        const ASN1_STRING* value = X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name, index));
        unsigned char* text = nullptr;
        const int length = ASN1_STRING_to_UTF8(&text, value);
        if (length >= 0) {
            units.append(QString::fromUtf8(reinterpret_cast<const char*>(text), length));
            OPENSSL_free(text);
        }
    }
    return units;
}

// A bundle's signature as read from disk, before anything is checked.
struct SignedContents {
    QByteArray resourcesData;
    openssl::CMSPointer cms;
    // The signer's certificate first, then each one's issuer as far as the
    // signature carries them, then any others.
    std::vector<openssl::CertificatePointer> chain;

    QList<QByteArray> chainDER() const {
        QList<QByteArray> ders;
        for (const auto& certificate : chain) {
            ders.append(derOf(certificate.get()));
        }
        return ders;
    }
};

void orderChain(CMS_ContentInfo* cms, SignedContents* contents) {
    openssl::CertificateStackPointer certificates(CMS_get1_certs(cms));
    STACK_OF(CMS_SignerInfo)* signers = CMS_get0_SignerInfos(cms);
    if (!certificates || sk_CMS_SignerInfo_num(signers) < 1) {
        return;
    }
    CMS_SignerInfo* signer = sk_CMS_SignerInfo_value(signers, 0);
    std::vector<openssl::CertificatePointer> pool;
    while (sk_X509_num(certificates.get()) > 0) {
        pool.emplace_back(sk_X509_shift(certificates.get()));
    }
    const auto take = [&](auto matches) {
        for (auto it = pool.begin(); it != pool.end(); ++it) {
            if (matches(it->get())) {
                contents->chain.push_back(std::move(*it));
                pool.erase(it);
                return true;
            }
        }
        return false;
    };
    if (!take([&](X509* certificate) { return CMS_SignerInfo_cert_cmp(signer, certificate) == 0; })) {
        return;
    }
    while (take([&](X509* certificate) {
        X509* last = contents->chain.back().get();
        return X509_check_issued(certificate, last) == X509_V_OK && X509_cmp(certificate, last) != 0;
    })) {
    }
    for (auto& certificate : pool) {
        contents->chain.push_back(std::move(certificate));
    }
}

OSStatus loadSignedContents(const QString& bundlePath, SignedContents* contents) {
    std::optional<QByteArray> resources = readFile(CodeResources::resourcesPath(bundlePath));
    std::optional<QByteArray> signature = readFile(CodeResources::signaturePath(bundlePath));
    if (!resources || !signature) {
        return errSecCSUnsigned;
    }
    contents->resourcesData = *resources;
    const auto* bytes = reinterpret_cast<const unsigned char*>(signature->constData());
    contents->cms.reset(d2i_CMS_ContentInfo(nullptr, &bytes, signature->size()));
    if (!contents->cms) {
        return errSecCSSignatureFailed;
    }
    orderChain(contents->cms.get(), contents);
    return contents->chain.empty() ? errSecCSSignatureFailed : errSecSuccess;
}

OSStatus statusError(OSStatus status, std::optional<Error>* errors, Value::Dictionary userInfo = {}) {
    if (errors && status != errSecSuccess) {
        *errors = Error(NSOSStatusErrorDomain, status, userInfo);
    }
    return status;
}

} // namespace

OSStatus CodeSignature::createWithPath(const QString& path, SecCSFlags, std::optional<CodeSignature>* code) {
    const QFileInfo info(path);
    if (path.isEmpty() || (!info.exists() && !info.isSymLink())) {
        return errSecCSStaticCodeNotFound;
    }
    if (code) {
        *code = CodeSignature(info.absoluteFilePath());
    }
    return errSecSuccess;
}

OSStatus CodeSignature::checkValidity(SecCSFlags flags, const CodeRequirement* requirement,
                                      std::optional<Error>* errors) const {
    SignedContents contents;
    if (const OSStatus status = loadSignedContents(path_, &contents); status != errSecSuccess) {
        return statusError(status, errors);
    }
    openssl::BioPointer content(
        BIO_new_mem_buf(contents.resourcesData.constData(), static_cast<int>(contents.resourcesData.size())));
    // The chain is judged by the requirement ("anchor apple generic"), not
    // here: a signature made by any certificate is intact when it verifies.
    if (CMS_verify(contents.cms.get(), nullptr, nullptr, content.get(), nullptr,
                   CMS_BINARY | CMS_NO_SIGNER_CERT_VERIFY) != 1) {
        return statusError(errSecCSSignatureFailed, errors);
    }
    const std::optional<CodeResources> sealed = CodeResources::fromPropertyList(contents.resourcesData);
    if (!sealed) {
        return statusError(errSecCSResourcesInvalid, errors,
                           {{kSecCFErrorPath, QUrl::fromLocalFile(CodeResources::resourcesPath(path_))}});
    }
    CodeResources present;
    if (const OSStatus status = CodeResources::collect(path_, &present, errors); status != errSecSuccess) {
        return status;
    }
    if (const OSStatus status = sealed->compareWith(present, path_, errors); status != errSecSuccess) {
        return status;
    }
    for (auto it = sealed->nested.begin(); it != sealed->nested.end(); ++it) {
        const QString nestedPath = path_ + QLatin1Char('/') + it.key();
        std::optional<Error> nestedError;
        if (CodeSignature(nestedPath).checkValidity(flags, nullptr, &nestedError) != errSecSuccess) {
            Value::Dictionary userInfo{{kSecCFErrorPath, QUrl::fromLocalFile(nestedPath)}};
            if (nestedError) {
                userInfo.insert(NSUnderlyingErrorKey, *nestedError);
            }
            return statusError(errSecCSBadNestedCode, errors, userInfo);
        }
    }
    if (requirement) {
        const CodeRequirement::Subject subject{CodeSigningTrust::isTrustedChain(contents.chainDER()),
                                               organizationalUnitsOf(contents.chain.front().get()),
                                               sealed->entitlements};
        if (!requirement->isSatisfiedBy(subject)) {
            return statusError(errSecCSReqFailed, errors);
        }
    }
    return errSecSuccess;
}

OSStatus CodeSignature::copySigningInformation(SecCSFlags flags, Value::Dictionary* information) const {
    Value::Dictionary result;
    const std::optional<QByteArray> infoData = readFile(path_ + QStringLiteral("/Contents/Info.plist"));
    const std::optional<Value> info = infoData ? PropertyList::read(*infoData) : std::nullopt;
    const QString executable = info ? (*info)[QStringLiteral("CFBundleExecutable")].toString() : QString();
    if (!executable.isEmpty()) {
        result.insert(kSecCodeInfoMainExecutable,
                      QUrl::fromLocalFile(path_ + QStringLiteral("/Contents/MacOS/") + executable));
    }
    SignedContents contents;
    const OSStatus status = loadSignedContents(path_, &contents);
    if (status == errSecCSUnsigned) {
        *information = result;
        return errSecSuccess;
    }
    const std::optional<CodeResources> sealed =
        status == errSecSuccess ? CodeResources::fromPropertyList(contents.resourcesData) : std::nullopt;
    if (!sealed) {
        return errSecCSSignatureFailed;
    }
    Value::Array certificates;
    QStringList subjects;
    for (const auto& certificate : contents.chain) {
        certificates.append(derOf(certificate.get()));
        subjects.append(subjectOf(certificate.get()));
    }
    const QStringList units = organizationalUnitsOf(contents.chain.front().get());
    result.insert(kSecCodeInfoIdentifier, sealed->identifier);
    if (!units.isEmpty()) {
        result.insert(kSecCodeInfoTeamIdentifier, units.first());
    }
    result.insert(kSecCodeInfoCertificates, certificates);
    result.insert(kSecCodeInfoCertificateSubjects, subjects);
    result.insert(kSecCodeInfoEntitlementsDict, sealed->entitlements);
    result.insert(kSecCodeInfoFormat, QStringLiteral("bundle with CMS signature"));
    result.insert(kSecCodeInfoDigestAlgorithm, QStringLiteral("sha256"));
    result.insert(kSecCodeInfoUnique,
                  QCryptographicHash::hash(contents.resourcesData, QCryptographicHash::Sha256));
    if (flags & kSecCSRequirementInformation) {
        QString designated = QStringLiteral("anchor apple generic");
        if (!units.isEmpty()) {
            QString unit = units.first();
            unit.replace(QLatin1Char('\\'), QLatin1String("\\\\")).replace(QLatin1Char('"'), QLatin1String("\\\""));
            designated += QStringLiteral(" and certificate leaf[subject.OU] = \"%1\"").arg(unit);
        }
        result.insert(kSecCodeInfoDesignatedRequirement, designated);
    }
    *information = result;
    return errSecSuccess;
}

} // namespace platform
