#pragma once
// Self-signed certificates made by the test run for the TLS peers:
//     openssl req -x509 -newkey rsa:2048 -nodes -subj /CN=<name> -days 2
// with optional extensions (a subjectAltName), into a folder of the caller's.

#include <QString>
#include <QStringList>

namespace testsupport {

struct TestCertificate {
    QString certificateFile;  // PEM certificate
    QString keyFile;          // PEM private key (unencrypted)
    QString combinedFile;     // key and certificate in one PEM (pure-ftpd)
    QString sha256;           // fingerprint of the DER certificate, lower-case hex
};

// Makes key and certificate as <folder>/<baseName>.crt/.key/.pem. `extensions`
// are given to openssl req as "-addext" values ("subjectAltName=IP:127.0.0.1").
bool MakeSelfSignedCertificate(const QString &folder, const QString &baseName, const QString &commonName,
                               const QStringList &extensions, TestCertificate *made, QString *whyNot = nullptr);

// Whether /usr/bin/openssl is there to make certificates.
bool CanMakeCertificates(QString *whyNot = nullptr);

}  // namespace testsupport
