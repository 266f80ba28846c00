#include "CertificateAuthority.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <ctime>

#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

namespace {

template <auto Free> struct Deleter {
    template <typename T> void operator()(T* object) const { Free(object); }
};
using KeyPointer = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY_free>>;
using CertificatePointer = std::unique_ptr<X509, Deleter<X509_free>>;
using BioPointer = std::unique_ptr<BIO, Deleter<BIO_free>>;
using BignumPointer = std::unique_ptr<BIGNUM, Deleter<BN_free>>;
using ExtensionPointer = std::unique_ptr<X509_EXTENSION, Deleter<X509_EXTENSION_free>>;

constexpr long hour = 60 * 60;
constexpr long day = 24 * hour;
constexpr long caLifetime = 365 * day;
constexpr long serverLifetime = 30 * day;
// A CA is used again only while it outlives a server certificate issued now.
constexpr long caReuseMargin = serverLifetime + day;

const char* caFile = "ca.pem";
const char* caKeyFile = "ca-key.pem";
const char* serverFile = "server.pem";
const char* serverKeyFile = "server-key.pem";

QString openSslError(const QString& what) {
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0) {
        return what;
    }
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return what + QStringLiteral(": ") + QString::fromLatin1(text);
}

KeyPointer makeKey() {
    return KeyPointer(EVP_EC_gen("P-256"));
}

QByteArray pemOfCertificate(X509* certificate) {
    BioPointer bio(BIO_new(BIO_s_mem()));
    if (!bio || PEM_write_bio_X509(bio.get(), certificate) != 1) {
        return {};
    }
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio.get(), &data);
    return QByteArray(data, length);
}

QByteArray pemOfPrivateKey(EVP_PKEY* key) {
    BioPointer bio(BIO_new(BIO_s_mem()));
    if (!bio || PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr) != 1) {
        return {};
    }
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio.get(), &data);
    return QByteArray(data, length);
}

bool addExtension(X509* certificate, X509V3_CTX* context, int nid, const char* value) {
    ExtensionPointer extension(X509V3_EXT_conf_nid(nullptr, context, nid, value));
    return extension && X509_add_ext(certificate, extension.get(), -1) == 1;
}

// A certificate for `key` with the subject `commonName`, valid from an hour
// ago (clocks of clients may lag a little) for `lifetime` seconds, carrying
// the given extensions and signed by `issuer` (itself when null).
CertificatePointer makeCertificate(EVP_PKEY* key, const char* commonName, long lifetime, X509* issuer,
                                   EVP_PKEY* issuerKey,
                                   std::initializer_list<std::pair<int, const char*>> extensions) {
    CertificatePointer certificate(X509_new());
    BignumPointer serial(BN_new());
    if (!certificate || !serial || X509_set_version(certificate.get(), X509_VERSION_3) != 1 ||
        BN_rand(serial.get(), 127, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY) != 1 ||
        !BN_to_ASN1_INTEGER(serial.get(), X509_get_serialNumber(certificate.get())) ||
        !X509_gmtime_adj(X509_getm_notBefore(certificate.get()), -hour) ||
        !X509_gmtime_adj(X509_getm_notAfter(certificate.get()), lifetime) ||
        X509_set_pubkey(certificate.get(), key) != 1) {
        return nullptr;
    }
    X509_NAME* subject = X509_get_subject_name(certificate.get());
    if (X509_NAME_add_entry_by_txt(subject, "O", MBSTRING_UTF8,
                                   reinterpret_cast<const unsigned char*>("Kestrel"), -1, -1, 0) != 1 ||
        X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_UTF8,
                                   reinterpret_cast<const unsigned char*>(commonName), -1, -1, 0) != 1 ||
        X509_set_issuer_name(certificate.get(), issuer ? X509_get_subject_name(issuer) : subject) != 1) {
        return nullptr;
    }
    X509V3_CTX context;
    X509V3_set_ctx(&context, issuer ? issuer : certificate.get(), certificate.get(), nullptr, nullptr, 0);
    for (const auto& [nid, value] : extensions) {
        if (!addExtension(certificate.get(), &context, nid, value)) {
            return nullptr;
        }
    }
    if (X509_sign(certificate.get(), issuerKey ? issuerKey : key, EVP_sha256()) <= 0) {
        return nullptr;
    }
    return certificate;
}

bool writeFile(const QString& path, const QByteArray& contents, bool secret) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return false;
    }
    // Narrowed before anything is written, so a key is never readable by others.
    if (secret && !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        return false;
    }
    return file.write(contents) == contents.size() && file.flush();
}

} // namespace

struct CertificateAuthority::Keys {
    KeyPointer caKey;
    CertificatePointer caCertificate;
};

CertificateAuthority::CertificateAuthority(const QString& folder)
    : folder_(QFileInfo(folder).absoluteFilePath()), keys_(std::make_unique<Keys>()) {}

CertificateAuthority::~CertificateAuthority() = default;

std::unique_ptr<CertificateAuthority> CertificateAuthority::prepare(const QString& folder, QString* error) {
    if (!QDir().mkpath(folder)) {
        *error = QStringLiteral("Could not make the folder \"%1\"").arg(folder);
        return nullptr;
    }
    std::unique_ptr<CertificateAuthority> authority(new CertificateAuthority(folder));
    if (!authority->load() && !authority->create(error)) {
        return nullptr;
    }
    return authority;
}

QString CertificateAuthority::caCertificatePath() const {
    return folder_ + QLatin1Char('/') + QLatin1String(caFile);
}

bool CertificateAuthority::load() {
    QFile certificateFile(caCertificatePath());
    QFile keyFile(folder_ + QLatin1Char('/') + QLatin1String(caKeyFile));
    if (!certificateFile.open(QIODevice::ReadOnly) || !keyFile.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray certificatePem = certificateFile.readAll();
    const QByteArray keyPem = keyFile.readAll();
    BioPointer certificateBio(BIO_new_mem_buf(certificatePem.constData(), int(certificatePem.size())));
    BioPointer keyBio(BIO_new_mem_buf(keyPem.constData(), int(keyPem.size())));
    CertificatePointer certificate(PEM_read_bio_X509(certificateBio.get(), nullptr, nullptr, nullptr));
    KeyPointer key(PEM_read_bio_PrivateKey(keyBio.get(), nullptr, nullptr, nullptr));
    time_t horizon = std::time(nullptr) + caReuseMargin;
    const bool usable = certificate && key && X509_check_private_key(certificate.get(), key.get()) == 1 &&
                        X509_check_ca(certificate.get()) == 1 &&
                        X509_cmp_time(X509_get0_notAfter(certificate.get()), &horizon) > 0;
    ERR_clear_error();
    if (!usable) {
        return false;
    }
    keys_->caKey = std::move(key);
    keys_->caCertificate = std::move(certificate);
    caCertificatePem_ = certificatePem;
    return true;
}

bool CertificateAuthority::create(QString* error) {
    KeyPointer key = makeKey();
    if (!key) {
        *error = openSslError(QStringLiteral("Could not make the CA key"));
        return false;
    }
    CertificatePointer certificate =
        makeCertificate(key.get(), "Kestrel Development CA", caLifetime, nullptr, nullptr,
                        {{NID_basic_constraints, "critical,CA:TRUE"},
                         {NID_key_usage, "critical,keyCertSign,cRLSign"},
                         {NID_subject_key_identifier, "hash"}});
    if (!certificate) {
        *error = openSslError(QStringLiteral("Could not make the CA certificate"));
        return false;
    }
    const QByteArray certificatePem = pemOfCertificate(certificate.get());
    const QByteArray keyPem = pemOfPrivateKey(key.get());
    if (certificatePem.isEmpty() || keyPem.isEmpty() ||
        !writeFile(folder_ + QLatin1Char('/') + QLatin1String(caKeyFile), keyPem, true) ||
        !writeFile(caCertificatePath(), certificatePem, false)) {
        *error = QStringLiteral("Could not write the CA to \"%1\"").arg(folder_);
        return false;
    }
    keys_->caKey = std::move(key);
    keys_->caCertificate = std::move(certificate);
    caCertificatePem_ = certificatePem;
    return true;
}

bool CertificateAuthority::issueServerCertificate(QString* error) {
    KeyPointer key = makeKey();
    if (!key) {
        *error = openSslError(QStringLiteral("Could not make the server key"));
        return false;
    }
    CertificatePointer certificate = makeCertificate(key.get(), "Kestrel Development Store", serverLifetime,
                                                     keys_->caCertificate.get(), keys_->caKey.get(),
                                                     {{NID_basic_constraints, "critical,CA:FALSE"},
                                                      {NID_key_usage, "critical,digitalSignature"},
                                                      {NID_ext_key_usage, "serverAuth"},
                                                      {NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost"},
                                                      {NID_subject_key_identifier, "hash"},
                                                      {NID_authority_key_identifier, "keyid:always"}});
    if (!certificate) {
        *error = openSslError(QStringLiteral("Could not make the server certificate"));
        return false;
    }
    const QByteArray certificatePem = pemOfCertificate(certificate.get());
    const QByteArray keyPem = pemOfPrivateKey(key.get());
    if (certificatePem.isEmpty() || keyPem.isEmpty() ||
        !writeFile(folder_ + QLatin1Char('/') + QLatin1String(serverKeyFile), keyPem, true) ||
        !writeFile(folder_ + QLatin1Char('/') + QLatin1String(serverFile), certificatePem + caCertificatePem_,
                   false)) {
        *error = QStringLiteral("Could not write the server certificate to \"%1\"").arg(folder_);
        return false;
    }
    serverCertificatePem_ = certificatePem;
    serverKeyPem_ = keyPem;
    return true;
}
