#include "CodeSigningTrust.h"

#include "OpenSSLPointers.h"
#include "Paths.h"

#include <QDir>
#include <QFile>

#include <openssl/pem.h>
#include <openssl/x509v3.h>

namespace platform {

const QString CodeSigningTrust::trustedRootsFolder = QStringLiteral("/Library/Security/Trust/CodeSigning");

namespace {

openssl::CertificatePointer certificateFromDER(const QByteArray& der) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(der.constData());
    return openssl::CertificatePointer(d2i_X509(nullptr, &bytes, der.size()));
}

// Adds every certificate of the installed PEM files; false when there are none.
bool addTrustedRoots(X509_STORE* store) {
    if (Paths::root().isEmpty()) {
        return false;
    }
    const QDir folder(Paths::resolve(CodeSigningTrust::trustedRootsFolder));
    bool added = false;
    for (const QString& name : folder.entryList({QStringLiteral("*.pem")}, QDir::Files | QDir::Readable)) {
        QFile file(folder.filePath(name));
        if (!file.open(QIODevice::ReadOnly)) {
            continue;
        }
        const QByteArray pem = file.readAll();
        openssl::BioPointer input(BIO_new_mem_buf(pem.constData(), static_cast<int>(pem.size())));
        while (X509* certificate = PEM_read_bio_X509(input.get(), nullptr, nullptr, nullptr)) {
            added = X509_STORE_add_cert(store, certificate) == 1 || added;
            X509_free(certificate);
        }
    }
    return added;
}

} // namespace

bool CodeSigningTrust::isTrustedChain(const QList<QByteArray>& chain) {
    if (chain.isEmpty()) {
        return false;
    }
    openssl::StorePointer store(X509_STORE_new());
    if (!addTrustedRoots(store.get())) {
        return false;
    }
    openssl::CertificatePointer leaf = certificateFromDER(chain.first());
    if (!leaf) {
        return false;
    }
    if ((X509_get_extension_flags(leaf.get()) & EXFLAG_XKUSAGE) &&
        !(X509_get_extended_key_usage(leaf.get()) & XKU_CODE_SIGN)) {
        return false;
    }
    openssl::CertificateStackPointer intermediates(sk_X509_new_null());
    for (qsizetype i = 1; i < chain.size(); ++i) {
        if (openssl::CertificatePointer certificate = certificateFromDER(chain[i])) {
            sk_X509_push(intermediates.get(), certificate.release());
        }
    }
    openssl::StoreContextPointer context(X509_STORE_CTX_new());
    if (X509_STORE_CTX_init(context.get(), store.get(), leaf.get(), intermediates.get()) != 1) {
        return false;
    }
    return X509_verify_cert(context.get()) == 1;
}

} // namespace platform
