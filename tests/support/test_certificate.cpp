#include "test_certificate.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

namespace testsupport {

namespace {

const QString kOpenSsl = QStringLiteral("/usr/bin/openssl");

QByteArray ReadAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

bool CanMakeCertificates(QString *whyNot)
{
    if (QFileInfo(kOpenSsl).isExecutable())
        return true;
    if (whyNot)
        *whyNot = QStringLiteral("/usr/bin/openssl is missing (apt-get install openssl)");
    return false;
}

bool MakeSelfSignedCertificate(const QString &folder, const QString &baseName, const QString &commonName,
                               const QStringList &extensions, TestCertificate *made, QString *whyNot)
{
    if (!CanMakeCertificates(whyNot))
        return false;
    TestCertificate result;
    result.certificateFile = folder + u'/' + baseName + QStringLiteral(".crt");
    result.keyFile = folder + u'/' + baseName + QStringLiteral(".key");
    result.combinedFile = folder + u'/' + baseName + QStringLiteral(".pem");
    QStringList arguments = {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                             QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-subj"),
                             QStringLiteral("/CN=") + commonName, QStringLiteral("-days"), QStringLiteral("2"),
                             QStringLiteral("-keyout"), result.keyFile, QStringLiteral("-out"),
                             result.certificateFile};
    for (const QString &extension : extensions)
        arguments << QStringLiteral("-addext") << extension;
    QProcess openssl;
    openssl.setProcessChannelMode(QProcess::MergedChannels);
    openssl.start(kOpenSsl, arguments);
    if (!openssl.waitForFinished(30000) || openssl.exitStatus() != QProcess::NormalExit || openssl.exitCode() != 0) {
        if (whyNot)
            *whyNot = QStringLiteral("openssl req failed: %1").arg(QString::fromLocal8Bit(openssl.readAll()));
        return false;
    }
    const QByteArray key = ReadAll(result.keyFile);
    const QByteArray certificate = ReadAll(result.certificateFile);
    QFile combined(result.combinedFile);
    if (!combined.open(QIODevice::WriteOnly | QIODevice::Truncate) || combined.write(key + certificate) < 0) {
        if (whyNot)
            *whyNot = QStringLiteral("cannot write %1").arg(result.combinedFile);
        return false;
    }
    combined.close();
    // Servers that drop privileges still read these.
    for (const QString &path : {result.keyFile, result.certificateFile, result.combinedFile})
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    QProcess digest;
    digest.start(kOpenSsl, {QStringLiteral("x509"), QStringLiteral("-in"), result.certificateFile,
                            QStringLiteral("-outform"), QStringLiteral("DER")});
    if (!digest.waitForFinished(10000) || digest.exitCode() != 0) {
        if (whyNot)
            *whyNot = QStringLiteral("openssl x509 failed");
        return false;
    }
    result.sha256 = QString::fromLatin1(QCryptographicHash::hash(digest.readAllStandardOutput(),
                                                                 QCryptographicHash::Sha256).toHex());
    *made = result;
    return true;
}

}  // namespace testsupport
