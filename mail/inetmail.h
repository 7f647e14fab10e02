#pragma once
// SendMail: delivers one message (text and attachments) to its recipients
// through an SMTP server, driven entirely by socket notifications on the
// user-interface thread. Started and cancelled through Action; every step is
// reported through OnMailInfo, failures through OnMailError, the end of each
// send (accepted, failed or cancelled) through OnDone.

#include "mail_types.h"
#include "reply_lines.h"
#include "smtp_capabilities.h"
#include "starsock.h"

#include <QStringList>

class QFile;

class SendMail : public TStarSocket {
    Q_OBJECT
public:
    explicit SendMail(QObject *parent = nullptr);
    ~SendMail() override;

    // The SMTP dialogue step; a reply to the step is awaited.
    enum MailStage : int {
        StageGreeting = 0,
        StageHelo = 1,
        StageMailFrom = 2,
        StageRecipients = 3,
        StageDataSent = 4,  // passed through on the way to StageData, never awaited
        StageData = 5,
        StageMessageEnd = 6,
        StageQuit = 7,
        StageClosing = 8,  // stray lines after QUIT stay here
        // Encryption and login between EHLO and MAIL FROM.
        StageStartTls = 20,       // reply to STARTTLS
        StageTlsHandshake = 21,   // TLS handshake running (after STARTTLS, or first on the TLS port)
        StageAuthPlain = 22,      // reply to AUTH PLAIN with the credentials
        StageAuthLogin = 23,      // reply to AUTH LOGIN (asks for the user name)
        StageAuthUser = 24,       // reply to the user name (asks for the password)
        StageAuthPassword = 25,   // reply to the password
    };

    static constexpr int DoneNotice = 1026;

    // Published properties.
    QString SMTP_Server() const { return smtpServer_; }
    void SetSMTP_Server(const QString &server);
    quint16 SMTP_Port = 25;
    QString FROM_Name;
    QString FROM_Address;
    QString TO_Name;
    QString TO_Address;
    QString Subject;
    QStringList MailText;
    QStringList ListTo;
    QStringList Listcc;
    QStringList ListBcc;
    QStringList Attachments;
    QStringList Headers;
    bool KeepConnectionOpen = false;
    // Encryption and login. The password is never traced: AUTH lines are
    // reported masked through smTraceOut.
    TSmtpSecurity Security = smtpTlsIfOffered;
    quint16 ImplicitTlsPort = 465;  // this port speaks TLS from the first byte
    QString UserName;               // empty: no login
    QString Password;
    // Fingerprints the user chose to trust; empty: the settings folder's file.
    QString TrustStoreFile;

    TMailAction Action() const { return TMailAction::None; }
    void SetAction(TMailAction action);
    void SetWinsockStarted(bool started);
    int TimeoutConnect() const { return TimeOutConnect; }
    void SetTimeoutConnect(int seconds) { TimeOutConnect = seconds; }
    int TimeoutArp() const { return TimeOutArp; }
    void SetTimeoutArp(int seconds) { TimeOutArp = seconds; }
    QString Version() const { return QStringLiteral("SendMail 1.3.9"); }

    TSendMailInfoEvent OnMailInfo;
    TSendMailErrorEvent OnMailError;
    TSendMailEvent OnFeedData;
    TNotifyEvent OnDone;
    // Unassigned: a certificate that fails verification is rejected.
    TSendMailCertificateEvent OnMailCertificate;

    // State that owners read.
    bool MailBusy() const { return mailBusy_; }
    bool Accepted() const { return accepted_; }
    bool Cancelled() const { return cancelled_; }
    SendMailError LastMailError() const { return lastMailError_; }
    int Stage() const { return stage_; }
    QString ServerAddressText() const { return serverAddressText_; }
    QString ServerHostName() const { return serverHostName_; }
    // The server's EHLO offer, as last received.
    const SmtpCapabilities &Capabilities() const { return capabilities_; }
    bool Encrypted() const { return TlsActive(); }
    // The body text as it goes out (each MailText item and CR LF), in bytes.
    QByteArray BodyText() const;

    static QString ErrorText(SendMailError error);
    // Address and display name of a recipient item "address|name".
    static void SplitRecipient(const QString &item, QString &address, QString &name);

protected:
    void LookupDone() override;

private:
    void StartSend();
    void Abort();
    bool CheckSocketError();
    void RaiseError(SendMailError error, const QString &text);
    void Info(SendMailInfo info, const QString &text);
    void PostDone();
    void HandleDoneNotice(int code);
    bool Halted() const { return cancelled_ || closedEarly_; }
    // The message was accepted and the connection kept for the next send.
    bool KeptConnectionIdle() const { return accepted_ && stage_ == StageMessageEnd && !cancelled_; }

    // Socket notifications.
    void ConnectedNotice(QObject *sender);
    void ReadableNotice(QObject *sender);
    void ClosedNotice(QObject *sender);
    void TimeoutNotice(QObject *sender);

    // Replies.
    void HandleLine(const QByteArray &line);
    void ReplyLine(const QByteArray &line);
    void SetStage(int stage);
    bool AnswerGreeting();
    bool AnswerEhlo(const QByteArray &line, bool positive);
    bool AnswerMailFrom();
    bool AnswerRecipient();
    bool AnswerData();
    bool AnswerMessageEnd();
    static bool RefusalHandledByState(int stage);

    // Encryption and login (inetmail_secure.cpp).
    void AfterEhlo();
    void GoOnInClear(const QString &why);
    void StartHandshake();
    void TlsHandshakeDone();
    bool AcceptCertificate(const platform::TlsCertificateInfo &certificate);
    QString TlsHostName() const;
    void Login();
    bool AnswerStartTls(const QByteArray &line, bool positive);
    bool AnswerAuthPlain(const QByteArray &line, bool positive);
    bool AnswerAuthLogin(const QByteArray &line, bool positive);
    bool AnswerAuthUser(const QByteArray &line, bool positive);
    bool AnswerAuthPassword(const QByteArray &line, bool positive);
    void LoginRefused(const QByteArray &line);
    void SendMailFrom();
    void SendSecret(const QByteArray &line, const QByteArray &shown);
    void Fail(SendMailError error, const QString &text);
    void AdvancePastEmptyLists();
    const QStringList &RecipientListItems(int list) const;
    int SkipOf(int list) const;

    // Writing (inetmail_message.cpp).
    void WriteMessage();
    void WriteHeader(const QByteArray &body);
    void WriteBody(const QByteArray &body);
    void WriteAttachment(const QString &path);
    bool WriteBase64(QFile &file, const QString &path);
    QByteArray TextTypeLine(const QByteArray &body) const;
    void SendLine(const QByteArray &line);
    void SendText(const QByteArray &text, const QByteArray *shown = nullptr);
    void DataText(const QByteArray &text);
    void DataLine(const QByteArray &line);
    void DataHeader(const QByteArray &line);

    QString smtpServer_;
    QString serverAddressText_;
    QString serverHostName_;

    int stage_ = StageGreeting;
    ReplyLines replies_;
    QString currentRecipient_;
    int recipientList_ = 1;
    int recipientIndex_ = -1;
    int recipientLast_ = -1;
    int skipTo_ = 0, skipCc_ = 0, skipBcc_ = 0;
    bool mailBusy_ = false;
    bool cancelled_ = false;
    bool closedEarly_ = false;  // the server closed the connection during the send
    bool accepted_ = false;
    bool inReply_ = false;
    bool bodyQuotedPrintable_ = false;
    bool feeding_ = false;
    bool donePending_ = false;
    int qpColumn_ = 0;
    bool dataLineStart_ = true;  // dot rule state of the data phase
    bool dataAfterCR_ = false;
    SendMailError lastMailError_ = smeNone;
    QByteArray messageBoundary_;
    QByteArrayList ehloLines_;     // the EHLO reply being received
    SmtpCapabilities capabilities_;
    bool heloSent_ = false;        // EHLO was refused: the old greeting was tried
    bool implicitTls_ = false;     // this connection began with the handshake
};
