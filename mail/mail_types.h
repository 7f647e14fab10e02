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
};

// Command property of SendMail: writing starts or cancels a send.
enum class TMailAction { None, Send_Mail, Cancel_SendMail };

using TSendMailInfoEvent = std::function<void(QObject *sender, SendMailInfo info, const QString &addinfo)>;
using TSendMailErrorEvent = std::function<void(QObject *sender, SendMailError error, const QString &addinfo)>;
// Raw message text, sent as given (no encoding, no line cutting); an empty
// result ends the feeding.
using TSendMailEvent = std::function<void(QObject *sender, QByteArray &data)>;
using TNotifyEvent = std::function<void(QObject *sender)>;
