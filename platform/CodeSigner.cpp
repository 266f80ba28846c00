#include "CodeSigner.h"

#include "CodeResources.h"
#include "FileManager.h"
#include "OpenSSLPointers.h"
#include "PropertyList.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <openssl/pem.h>

namespace platform {

namespace {

OSStatus internalError(const QString& description, std::optional<Error>* errors) {
    if (errors) {
        *errors =
            Error(NSOSStatusErrorDomain, errSecCSInternalError, {{NSLocalizedDescriptionKey, description}});
    }
    return errSecCSInternalError;
}

QString bundleIdentifier(const QString& bundlePath) {
    for (const QString& candidate :
         {QStringLiteral("/Contents/Info.plist"), QStringLiteral("/Resources/Info.plist")}) {
        QFile file(bundlePath + candidate);
        if (!file.open(QIODevice::ReadOnly)) {
            continue;
        }
        const QString identifier = PropertyList::read(file.readAll())
                                       .value_or(Value())[QStringLiteral("CFBundleIdentifier")]
                                       .toString();
        if (!identifier.isEmpty()) {
            return identifier;
        }
    }
    return QFileInfo(bundlePath).completeBaseName();
}

// The signer's certificate, key and the rest of the chain, read from PEM.
struct LoadedIdentity {
    openssl::KeyPointer key;
    openssl::CertificatePointer signer;
    openssl::CertificateStackPointer others{sk_X509_new_null()};
};

std::optional<QString> load(const CodeSigner::Identity& identity, LoadedIdentity* loaded) {
    openssl::BioPointer keyInput(
        BIO_new_mem_buf(identity.privateKey.constData(), static_cast<int>(identity.privateKey.size())));
    loaded->key.reset(PEM_read_bio_PrivateKey(keyInput.get(), nullptr, nullptr, nullptr));
    if (!loaded->key) {
        return QStringLiteral("the private key cannot be read");
    }
    openssl::BioPointer chainInput(BIO_new_mem_buf(identity.certificateChain.constData(),
                                                   static_cast<int>(identity.certificateChain.size())));
    while (X509* certificate = PEM_read_bio_X509(chainInput.get(), nullptr, nullptr, nullptr)) {
        if (!loaded->signer) {
            loaded->signer.reset(certificate);
        } else {
            sk_X509_push(loaded->others.get(), certificate);
        }
    }
    if (!loaded->signer) {
        return QStringLiteral("the certificate chain holds no certificate");
    }
    if (X509_check_private_key(loaded->signer.get(), loaded->key.get()) != 1) {
        return QStringLiteral("the private key does not belong to the chain's first certificate");
    }
    return std::nullopt;
}

std::optional<QByteArray> signDetached(const QByteArray& content, LoadedIdentity& identity) {
    openssl::BioPointer input(BIO_new_mem_buf(content.constData(), static_cast<int>(content.size())));
    openssl::CMSPointer cms(CMS_sign(identity.signer.get(), identity.key.get(), identity.others.get(),
                                     input.get(), CMS_DETACHED | CMS_BINARY));
    if (!cms) {
        return std::nullopt;
    }
    unsigned char* der = nullptr;
    const int length = i2d_CMS_ContentInfo(cms.get(), &der);
    if (length <= 0) {
        return std::nullopt;
    }
    QByteArray signature(reinterpret_cast<const char*>(der), length);
    OPENSSL_free(der);
    return signature;
}

OSStatus signOne(const QString& bundlePath, LoadedIdentity& identity, const QString& identifier,
                 const Value::Dictionary& entitlements, std::optional<Error>* errors) {
    CodeResources resources;
    resources.identifier = identifier.isEmpty() ? bundleIdentifier(bundlePath) : identifier;
    resources.entitlements = entitlements;
    if (const OSStatus status = CodeResources::collect(bundlePath, &resources, errors);
        status != errSecSuccess) {
        return status;
    }
    const QByteArray list = resources.toPropertyList();
    const std::optional<QByteArray> signature = signDetached(list, identity);
    if (list.isEmpty() || !signature) {
        return internalError(QStringLiteral("the signature of %1 cannot be made").arg(bundlePath), errors);
    }
    if (!QDir().mkpath(CodeResources::signatureFolder(bundlePath)) ||
        !FileManager::writeDataAtomically(CodeResources::resourcesPath(bundlePath), list) ||
        !FileManager::writeDataAtomically(CodeResources::signaturePath(bundlePath), *signature)) {
        return internalError(QStringLiteral("the signature of %1 cannot be written").arg(bundlePath), errors);
    }
    return errSecSuccess;
}

} // namespace

OSStatus CodeSigner::signBundle(const QString& bundlePath, const Identity& identity,
                                const QString& identifier, const Value::Dictionary& entitlements,
                                std::optional<Error>* errors) {
    const QFileInfo info(bundlePath);
    if (!info.isDir()) {
        if (errors) {
            *errors = Error(NSOSStatusErrorDomain, errSecCSStaticCodeNotFound);
        }
        return errSecCSStaticCodeNotFound;
    }
    LoadedIdentity loaded;
    if (std::optional<QString> problem = load(identity, &loaded)) {
        return internalError(*problem, errors);
    }
    const QString path = info.absoluteFilePath();
    for (const QString& nested : CodeResources::nestedBundles(path)) {
        if (const OSStatus status = signOne(nested, loaded, QString(), {}, errors); status != errSecSuccess) {
            return status;
        }
    }
    return signOne(path, loaded, identifier, entitlements, errors);
}

} // namespace platform
