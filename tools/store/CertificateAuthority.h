#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

// The store's own certificate authority and the server certificate it
// issues, kept as PEM files in one folder: ca.pem (what clients trust),
// ca-key.pem, server.pem (the server certificate followed by the CA) and
// server-key.pem. A CA already in the folder is used again while it has
// time left, so clients that trusted it keep trusting the store.
class CertificateAuthority {
public:
    // The authority for `folder`, or null with the reason in `error`.
    static std::unique_ptr<CertificateAuthority> prepare(const QString& folder, QString* error);
    ~CertificateAuthority();
    CertificateAuthority(const CertificateAuthority&) = delete;
    CertificateAuthority& operator=(const CertificateAuthority&) = delete;

    // A fresh server certificate for 127.0.0.1 and localhost, written to the
    // folder; false with the reason in `error`.
    bool issueServerCertificate(QString* error);

    QString caCertificatePath() const;
    QByteArray caCertificatePem() const { return caCertificatePem_; }
    QByteArray serverCertificatePem() const { return serverCertificatePem_; }
    QByteArray serverKeyPem() const { return serverKeyPem_; }

private:
    struct Keys;
    explicit CertificateAuthority(const QString& folder);
    bool load();
    bool create(QString* error);

    QString folder_;
    std::unique_ptr<Keys> keys_;
    QByteArray caCertificatePem_;
    QByteArray serverCertificatePem_;
    QByteArray serverKeyPem_;
};
