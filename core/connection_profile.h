#pragma once
// What a transfer connection needs to log in as the browsing connection did:
// the same server, login, encryption and data connection settings.

#include "engine/ftp_types.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

class TMFtp;

struct ConnectionProfile {
    QString server;
    quint16 port = 21;
    QByteArray username;
    QByteArray password;
    QByteArray account;
    TMFtpTlsMode tlsMode = tlsPlainOnly;
    bool passive = true;
    TMFtpProxyType proxyType = proxyNone;
    QString proxyServer;
    int timeoutSeconds = 300;
    bool keepUploadTime = true;
    bool acceptDataFromAnyAddress = false;
    QString trustStoreFile;
    // Certificates (SHA-256) the user accepted for this session only: the
    // transfer connections take them without asking again.
    QStringList acceptedCertificates;

    bool IsUsable() const { return !server.isEmpty() && !username.isEmpty(); }
    void ApplyTo(TMFtp &ftp) const;
};
