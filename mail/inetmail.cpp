#include "inetmail.h"

#include "platform/tls_session.h"
#include "platform/winsock_errors.h"

#include <QLoggingCategory>

#include <arpa/inet.h>

// Stage changes are traced with QT_LOGGING_RULES="tarvo.mail.debug=true".
Q_LOGGING_CATEGORY(lcMail, "tarvo.mail", QtWarningMsg)

namespace {

const char *stageName(int stage)
{
    switch (stage) {
    case SendMail::StageGreeting: return "Greeting";
    case SendMail::StageHelo: return "Helo";
    case SendMail::StageMailFrom: return "MailFrom";
    case SendMail::StageRecipients: return "Recipients";
    case SendMail::StageDataSent: return "DataSent";
    case SendMail::StageData: return "Data";
    case SendMail::StageMessageEnd: return "MessageEnd";
    case SendMail::StageQuit: return "Quit";
    case SendMail::StageStartTls: return "StartTls";
    case SendMail::StageTlsHandshake: return "TlsHandshake";
    case SendMail::StageAuthPlain: return "AuthPlain";
    case SendMail::StageAuthLogin: return "AuthLogin";
    case SendMail::StageAuthUser: return "AuthUser";
    case SendMail::StageAuthPassword: return "AuthPassword";
    default: return "Closing";
    }
}

}  // namespace

SendMail::SendMail(QObject *parent) : TStarSocket(parent)
{
    OnMessage = [this](int code) { HandleDoneNotice(code); };
}

SendMail::~SendMail() = default;

void SendMail::SetSMTP_Server(const QString &server)
{
    if (server.isEmpty())
        return;
    smtpServer_ = server;
    // Only a valid dotted IPv4 address is used as one; anything else, a host
    // name beginning with digits included, is looked up.
    in_addr parsed{};
    if (::inet_pton(AF_INET, server.toLatin1().constData(), &parsed) == 1) {
        serverAddressText_ = server;
        serverHostName_.clear();
    } else {
        serverHostName_ = server;
        serverAddressText_.clear();
    }
}

void SendMail::SetAction(TMailAction action)
{
    switch (action) {
    case TMailAction::None:
        break;
    case TMailAction::Send_Mail:
        StartSend();
        break;
    case TMailAction::Cancel_SendMail:
        lastMailError_ = smeCancelled;
        Abort();
        break;
    }
}

void SendMail::SetWinsockStarted(bool started)
{
    if (started)
        StartWinsock();
    else
        StopWinsock();
}

QByteArray SendMail::BodyText() const
{
    QByteArray body;
    for (const QString &item : MailText) {
        // A line break inside an item would be a bare CR or LF on the wire.
        QString line = item;
        line.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
        body.append(line.toUtf8().replace('\n', "\r\n"));
        body.append("\r\n");
    }
    return body;
}

void SendMail::SplitRecipient(const QString &item, QString &address, QString &name)
{
    const qsizetype bar = item.indexOf(QLatin1Char('|'));
    if (bar < 0) {
        address = item;
        name.clear();
    } else {
        address = item.left(bar);
        name = item.mid(bar + 1, 999);
    }
}

QString SendMail::ErrorText(SendMailError error)
{
    switch (error) {
    case smeNone: return QString();
    case smeWinsockInit: return QStringLiteral("Winsock not initialized");
    case smeNetworkDown: return QStringLiteral("Network down");
    case smeInvalidAddress: return QStringLiteral("Invalid address specified");
    case smeInternal: return QStringLiteral("Unexpected internal error in component");
    case smeGeneral: return QStringLiteral("General Winsock Error");
    case smeConnectionAborted: return QStringLiteral("Connection aborted due to timeout or other failure");
    case smeConnectionReset: return QStringLiteral("Connection reset by remote side");
    case smeTimeout: return QStringLiteral("timeout");
    case smeOutOfSockets: return QStringLiteral("Out of sockets");
    case smeNetworkUnreachable: return QStringLiteral("Network unreachable");
    case smeAddressNotAvailable: return QStringLiteral("Address not available");
    case smeConnectionRefused: return QStringLiteral("Connection Refused");
    case smeUnexpectedResponse: return QStringLiteral("Unexpected response: ");
    case smeCancelled: return QString();
    case smeUnknown: return QStringLiteral("Unknown Error");
    case smeResolve: return QStringLiteral("Address resolution error");
    case smePrematureDisconnect: return QStringLiteral("Prematurely Disconnected");
    case smeNoDestination: return QStringLiteral("Mail Destination Error");
    case smeHostUnreachable: return QStringLiteral("Host Unreachable");
    case smeTlsRequired: return QStringLiteral("Encryption required, but the server offers no STARTTLS");
    case smeTlsHandshake: return QStringLiteral("TLS handshake failed");
    case smeCertificateRejected: return QStringLiteral("The server's certificate was not accepted");
    case smeAuthFailed: return QStringLiteral("Authentication failed: ");
    case smeAuthUnsupported: return QStringLiteral("The server offers no supported login method (PLAIN, LOGIN)");
    }
    return QString();
}

namespace {

SendMailError mapSocketError(int code)
{
    using namespace platform;
    switch (code) {
    case WSANOTINITIALISED: return smeWinsockInit;
    case WSAENETDOWN: return smeNetworkDown;
    case WSAEACCES: return smeInvalidAddress;
    case WSAEINTR: case WSAEFAULT: case WSAEINVAL: case WSAEINPROGRESS: case WSAENOTSOCK:
    case WSAEMSGSIZE: case WSAEOPNOTSUPP: case WSAEAFNOSUPPORT: case WSAEADDRINUSE:
    case WSAEISCONN: case WSAENOTCONN: case WSAESHUTDOWN:
        return smeInternal;
    case WSAENETRESET: case WSAENOBUFS: return smeGeneral;
    case WSAECONNABORTED: return smeConnectionAborted;
    case WSAECONNRESET: return smeConnectionReset;
    case WSAETIMEDOUT: return smeTimeout;
    case WSAEMFILE: return smeOutOfSockets;
    case WSAENETUNREACH: return smeNetworkUnreachable;
    case WSAEADDRNOTAVAIL: return smeAddressNotAvailable;
    case WSAECONNREFUSED: return smeConnectionRefused;
    case WSAHOST_NOT_FOUND: case WSATRY_AGAIN: case WSANO_RECOVERY: case WSANO_DATA:
        return smeResolve;
    case WSAEHOSTUNREACH: return smeHostUnreachable;
    case TlsErrorHandshake: case TlsErrorUnavailable: return smeTlsHandshake;
    case TlsErrorTruncated: case TlsErrorProtocol: return smeConnectionReset;
    default: return smeUnknown;
    }
}

}  // namespace

void SendMail::Info(SendMailInfo info, const QString &text)
{
    if (OnMailInfo) {
        TSendMailInfoEvent handler = OnMailInfo;
        handler(this, info, text);
    }
}

void SendMail::RaiseError(SendMailError error, const QString &text)
{
    lastMailError_ = error;
    if (OnMailError) {
        TSendMailErrorEvent handler = OnMailError;
        handler(this, error, text);
    }
}

bool SendMail::CheckSocketError()
{
    if (Halted())
        return false;
    if (LastError == 0) {
        lastMailError_ = smeNone;
        return false;
    }
    const SendMailError error = mapSocketError(LastError);
    // The "not started" text of a socket error differs from the start-up failure's.
    QString text = ErrorText(error);
    const QString tls = platform::TlsErrorText(LastError);
    if (!tls.isEmpty())
        text = TlsErrorText().isEmpty() ? tls : tls + QStringLiteral(": ") + TlsErrorText();
    RaiseError(error, text);
    Abort();
    return true;
}

void SendMail::Abort()
{
    if (cancelled_)
        return;
    TO_Address.clear();
    TO_Name.clear();
    ListTo.clear();
    Listcc.clear();
    ListBcc.clear();
    cancelled_ = true;
    CloseSocket();
    PostDone();
}

void SendMail::PostDone()
{
    // One notice per ending: a second would bring a second OnDone for one send.
    if (donePending_)
        return;
    donePending_ = true;
    PostNotice(DoneNotice);
}

void SendMail::HandleDoneNotice(int)
{
    donePending_ = false;
    mailBusy_ = false;
    if (OnDone) {
        TNotifyEvent handler = OnDone;
        handler(this);
    }
}

void SendMail::StartSend()
{
    if (mailBusy_) {
        Info(smAlreadyBusy, QString());
        return;
    }
    OnTimeout = [this](QObject *sender) { TimeoutNotice(sender); };
    cancelled_ = false;
    closedEarly_ = false;
    accepted_ = false;
    mailBusy_ = true;
    skipTo_ = skipCc_ = skipBcc_ = 0;

    // The first recipient: TO_Address, else the head of ListTo, Listcc, ListBcc.
    if (!TO_Address.isEmpty()) {
        ListTo.prepend(TO_Address + QLatin1Char('|') + TO_Name);
        skipTo_ = 1;
    } else {
        if (!ListTo.isEmpty()) {
            SplitRecipient(ListTo.first(), TO_Address, TO_Name);
            skipTo_ = 1;
        }
        if (TO_Address.isEmpty() && !Listcc.isEmpty()) {
            SplitRecipient(Listcc.first(), TO_Address, TO_Name);
            skipCc_ = 1;
        }
        if (TO_Address.isEmpty() && !ListBcc.isEmpty()) {
            SplitRecipient(ListBcc.first(), TO_Address, TO_Name);
            skipBcc_ = 1;
        }
    }
    if (TO_Address.isEmpty()) {
        RaiseError(smeNoDestination, ErrorText(smeNoDestination));
        Abort();
        return;
    }

    if (SocketConnected) {
        // A connection kept from the last message: go on as after HELO.
        SetStage(StageHelo);
        replies_.Clear();
        HandleLine(QByteArrayLiteral(" "));
        return;
    }

    StartWinsock();
    if (!WinsockStarted()) {
        RaiseError(smeWinsockInit, QStringLiteral("Winsock not initiliazed"));
        Abort();
        return;
    }
    OnConnect = [this](QObject *sender) { ConnectedNotice(sender); };
    OnRead = [this](QObject *sender) { ReadableNotice(sender); };
    OnClose = [this](QObject *sender) { ClosedNotice(sender); };
    CreateSocket();
    if (CheckSocketError())
        return;
    if (!serverAddressText_.isEmpty()) {
        SetAddressText(serverAddressText_);
        SetPortNumber(SMTP_Port);
        ConnectSocket();
        CheckSocketError();
    } else {
        Info(smResolvingAddress, serverHostName_);
        LookupHost(serverHostName_);
        CheckSocketError();
    }
}

void SendMail::LookupDone()
{
    if (CheckSocketError())
        return;
    UseResolvedAddress();
    SetPortNumber(SMTP_Port);
    serverAddressText_ = DottedAddress();
    Info(smAddressResolved, serverAddressText_);
    ConnectSocket();
    CheckSocketError();
}

void SendMail::ConnectedNotice(QObject *)
{
    if (CheckSocketError())
        return;
    SetStage(StageGreeting);
    Info(smServerConnected, serverAddressText_);
    replies_.Clear();
    accepted_ = false;
    heloSent_ = false;
    capabilities_ = SmtpCapabilities();
    implicitTls_ = SMTP_Port == ImplicitTlsPort && Security != smtpTlsOff;
    if (implicitTls_)
        StartHandshake();  // the greeting comes through TLS
}

void SendMail::ReadableNotice(QObject *)
{
    if (inReply_ || Halted())
        return;
    char buffer[2048];
    while (!Halted()) {
        const int got = ReceiveData(buffer, int(sizeof buffer));
        if (CheckSocketError() || got <= 0)
            return;
        replies_.Append(QByteArray(buffer, got));
        QByteArray line;
        for (;;) {
            const ReplyLines::Result result = replies_.Take(line);
            if (result == ReplyLines::NoLine)
                break;
            if (result == ReplyLines::Overlong) {
                RaiseError(smeUnexpectedResponse, ErrorText(smeUnexpectedResponse) + QString::fromLatin1(line));
                Abort();
                return;
            }
            HandleLine(line);
            if (Halted())
                return;
        }
        // Read again: data may have come in while a line was being handled.
    }
}

void SendMail::HandleLine(const QByteArray &line)
{
    inReply_ = true;
    ReplyLine(line);
    inReply_ = false;
}

void SendMail::ReplyLine(const QByteArray &line)
{
    // An empty line is no reply; it must not move the dialogue on.
    if (line.isEmpty())
        return;
    const QString text = QString::fromLatin1(line);
    Info(smTraceIn, text);
    // After an accepted message on a kept connection no reply is awaited: a
    // stray line must not accept the message twice nor fail an ended send.
    if (KeptConnectionIdle())
        return;
    // A positive reply begins with 1, 2 or 3 (the single space stands for the
    // positive reply on a kept connection). Anything else, garbage included,
    // is negative: a broken server must not have a message counted as accepted.
    const char first = line.at(0);
    const bool positive = first == '1' || first == '2' || first == '3' || line == " ";
    const bool continuation = line.size() >= 4 && line.at(3) == '-';
    if (!positive) {
        if (stage_ == StageRecipients) {
            Info(smBadAddress, currentRecipient_);
        } else if (!RefusalHandledByState(stage_)) {
            RaiseError(smeUnexpectedResponse, ErrorText(smeUnexpectedResponse) + text);
            Abort();
            return;
        }
    }
    if (stage_ == StageHelo)
        ehloLines_.append(line);
    if (continuation)
        return;  // the reply is not complete yet

    bool goOn = true;
    switch (stage_) {
    case StageGreeting: goOn = AnswerGreeting(); break;
    case StageHelo: goOn = AnswerEhlo(line, positive); break;
    case StageMailFrom: goOn = AnswerMailFrom(); break;
    case StageRecipients: goOn = AnswerRecipient(); break;
    case StageDataSent: break;
    case StageData: goOn = AnswerData(); break;
    case StageMessageEnd: goOn = AnswerMessageEnd(); break;
    case StageStartTls: goOn = AnswerStartTls(line, positive); break;
    case StageTlsHandshake: goOn = false; break;  // nothing is read in clear meanwhile
    case StageAuthPlain: goOn = AnswerAuthPlain(line, positive); break;
    case StageAuthLogin: goOn = AnswerAuthLogin(line, positive); break;
    case StageAuthUser: goOn = AnswerAuthUser(line, positive); break;
    case StageAuthPassword: goOn = AnswerAuthPassword(line, positive); break;
    default: goOn = false; break;  // the reply to QUIT and anything after it
    }
    if (stage_ == StageQuit)
        goOn = true;
    if (goOn && stage_ < StageClosing && stage_ != StageRecipients)
        SetStage(stage_ + 1);
}

bool SendMail::RefusalHandledByState(int stage)
{
    // A refused EHLO falls back to HELO, a refused STARTTLS may go on in
    // clear text, a refused login has its own error.
    switch (stage) {
    case StageHelo: case StageStartTls: case StageAuthPlain: case StageAuthLogin: case StageAuthUser:
    case StageAuthPassword:
        return true;
    default:
        return false;
    }
}

void SendMail::SetStage(int stage)
{
    if (stage != stage_)
        qCDebug(lcMail, "stage %s -> %s", stageName(stage_), stageName(stage));
    stage_ = stage;
}

bool SendMail::AnswerGreeting()
{
    // EHLO: the server's answer says whether it offers STARTTLS and AUTH.
    ehloLines_.clear();
    SendLine("EHLO " + LocalHostName().toUtf8());
    return !Halted();
}

bool SendMail::AnswerEhlo(const QByteArray &line, bool positive)
{
    const QByteArrayList reply = ehloLines_;
    ehloLines_.clear();
    if (line == " ") {
        // A connection kept from the last message is ready for MAIL FROM.
        SendMailFrom();
        return false;
    }
    if (!positive) {
        if (heloSent_) {
            RaiseError(smeUnexpectedResponse, ErrorText(smeUnexpectedResponse) + QString::fromLatin1(line));
            Abort();
            return false;
        }
        // A server from before ESMTP: it offers nothing beyond the plain dialogue.
        heloSent_ = true;
        SendLine("HELO " + LocalHostName().toUtf8());
        return false;
    }
    capabilities_ = heloSent_ ? SmtpCapabilities() : SmtpCapabilities::Parse(reply);
    AfterEhlo();
    return false;
}

bool SendMail::AnswerMailFrom()
{
    SendLine("RCPT TO:<" + TO_Address.toUtf8() + '>');
    if (Halted())
        return false;
    currentRecipient_ = TO_Address;
    recipientIndex_ = -1;
    recipientList_ = 1;
    recipientLast_ = int(ListTo.size()) - 1 - skipTo_;
    AdvancePastEmptyLists();
    Info(smRecipient, TO_Address);
    return true;
}

bool SendMail::AnswerRecipient()
{
    if (Halted())
        return false;
    if (recipientList_ >= 1 && recipientList_ <= 3 && recipientIndex_ < recipientLast_) {
        ++recipientIndex_;
        const QStringList &items = RecipientListItems(recipientList_);
        const qsizetype at = recipientIndex_ + SkipOf(recipientList_);
        QString name;
        SplitRecipient(at < items.size() ? items.at(at) : QString(), currentRecipient_, name);
        SendLine("RCPT TO:<" + currentRecipient_.toUtf8() + '>');
        if (Halted())
            return false;
        Info(smRecipient, currentRecipient_);
    }
    if (recipientList_ == 4) {
        SendLine("DATA");
        if (Halted())
            return false;
        SetStage(StageDataSent);
    }
    if (recipientIndex_ == recipientLast_) {
        recipientLast_ = -1;
        AdvancePastEmptyLists();
        recipientIndex_ = -1;
    }
    return true;
}

void SendMail::AdvancePastEmptyLists()
{
    while (recipientLast_ == -1) {
        ++recipientList_;
        if (recipientList_ >= 4)
            recipientLast_ = 0;
        else
            recipientLast_ = int(RecipientListItems(recipientList_).size()) - 1 - SkipOf(recipientList_);
    }
}

const QStringList &SendMail::RecipientListItems(int list) const
{
    return list == 1 ? ListTo : list == 2 ? Listcc : ListBcc;
}

int SendMail::SkipOf(int list) const
{
    return list == 1 ? skipTo_ : list == 2 ? skipCc_ : skipBcc_;
}

bool SendMail::AnswerData()
{
    WriteMessage();
    return !Halted();
}

bool SendMail::AnswerMessageEnd()
{
    if (Halted())
        return false;
    Info(smMessageAccepted, QString());
    accepted_ = true;
    if (KeepConnectionOpen) {
        PostDone();
        return false;
    }
    SendLine("QUIT");
    return !Halted();
}

void SendMail::ClosedNotice(QObject *)
{
    // After QUIT many servers close without TLS's close_notify: nothing is lost.
    if (accepted_ && LastError == platform::TlsErrorTruncated)
        LastError = 0;
    if (KeptConnectionIdle()) {
        // The kept connection went away between two sends: no send to end.
        Info(smServerDisconnected, QString());
        return;
    }
    if (CheckSocketError())
        return;
    const bool sending = mailBusy_ && !cancelled_;
    Info(smServerDisconnected, QString());
    if (!sending)
        return;
    if (!accepted_)
        RaiseError(smePrematureDisconnect, ErrorText(smePrematureDisconnect));
    // Whatever of this send is still being written must stop quietly now.
    closedEarly_ = !accepted_;
    PostDone();
}

void SendMail::TimeoutNotice(QObject *)
{
    RaiseError(smeTimeout, QStringLiteral("Connection timed out"));
    Abort();
}
