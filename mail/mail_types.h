#pragma once
// Values and event types shared by the SMTP sender, its progress dialog and
// the FTP-by-mail window.

#include <QByteArray>
#include <QString>
#include <functional>

class QObject;

// Progress notices of SendMail, in their numeric order.
enum SendMailInfo : int {
    smServerConnected = 0,
    smTraceIn = 1,
    smTraceOut = 2,
    smServerDisconnected = 3,
    smMessageAccepted = 4,
    smAttachmentName = 5,
    smAttachmentSize = 6,
    smAttachmentBytes = 7,
    smBadAddress = 8,
    smRecipient = 9,
    smMessageSize = 10,
    smSendingMessage = 11,
    smBadAttachment = 12,
    smAlreadyBusy = 13,
    smAddressResolved = 14,
    smResolvingAddress = 15,
    smTlsEstablished = 16,   // the TLS handshake is done; addinfo: protocol and cipher
    smNotEncrypted = 17,     // the server offers no STARTTLS: the mail goes in clear text
};

// Failures of SendMail; kept in LastMailError.
enum SendMailError : int {
    smeNone = 0,
    smeWinsockInit = 1,
    smeNetworkDown = 2,
    smeInvalidAddress = 3,
    smeInternal = 4,
    smeGeneral = 5,
    smeConnectionAborted = 6,
    smeConnectionReset = 7,
    smeTimeout = 8,
    smeOutOfSockets = 9,
    smeNetworkUnreachable = 10,
    smeAddressNotAvailable = 11,
    smeConnectionRefused = 12,
    smeUnexpectedResponse = 13,
    smeCancelled = 14,
    smeUnknown = 15,
    smeResolve = 16,
    smePrematureDisconnect = 17,
    smeNoDestination = 18,
    smeHostUnreachable = 19,
    smeTlsRequired = 20,          // encryption required, the server offers none (or refused STARTTLS)
    smeTlsHandshake = 21,         // the TLS handshake failed
    smeCertificateRejected = 22,  // the server's certificate was not accepted
    smeAuthFailed = 23,           // the server refused the user name or password
    smeAuthUnsupported = 24,      // the server offers no login method this sender speaks
};

// Whether the connection is encrypted: STARTTLS when the server offers it,
// STARTTLS or nothing at all, or never. The port that speaks TLS from the
// first byte (465) is encrypted unless encryption is off.
enum TSmtpSecurity : int { smtpTlsIfOffered = 0, smtpTlsRequired = 1, smtpTlsOff = 2 };

// The owner's answer to a certificate that failed verification.
enum TSendMailCertificateAnswer : int { smCertReject = 0, smCertAcceptOnce = 1, smCertAlwaysTrust = 2 };

namespace platform {
struct TlsCertificateInfo;
}

// Command property of SendMail: writing starts or cancels a send.
enum class TMailAction { None, Send_Mail, Cancel_SendMail };

using TSendMailInfoEvent = std::function<void(QObject *sender, SendMailInfo info, const QString &addinfo)>;
using TSendMailErrorEvent = std::function<void(QObject *sender, SendMailError error, const QString &addinfo)>;
// Raw message text, sent as given (no encoding, no line cutting); an empty
// result ends the feeding.
using TSendMailEvent = std::function<void(QObject *sender, QByteArray &data)>;
using TNotifyEvent = std::function<void(QObject *sender)>;
// A server certificate that failed verification (self-signed, other host,
// expired); `changed`: another one is trusted for this server.
using TSendMailCertificateEvent = std::function<void(QObject *sender, const platform::TlsCertificateInfo &certificate,
                                                     bool changed, TSendMailCertificateAnswer &answer)>;
