// Between EHLO and MAIL FROM: STARTTLS (RFC 3207) or TLS from the first byte
// on the submission port 465 (RFC 8314), the server's certificate, and the
// login with AUTH PLAIN or AUTH LOGIN (RFC 4954).

#include "inetmail.h"

#include "platform/tls_session.h"
#include "platform/tls_trust_store.h"

#include <QPointer>

void SendMail::Fail(SendMailError error, const QString &text)
{
    RaiseError(error, text);
    Abort();
}

void SendMail::AfterEhlo()
{
    if (!TlsActive() && Security != smtpTlsOff) {
        if (capabilities_.startTls) {
            SendLine("STARTTLS");
            SetStage(StageStartTls);
            return;
        }
        if (Security == smtpTlsRequired) {
            // Nothing more goes out in clear text: no login, no message.
            Fail(smeTlsRequired, ErrorText(smeTlsRequired));
            return;
        }
        Info(smNotEncrypted, QStringLiteral("The server offers no STARTTLS: the mail goes in clear text"));
        if (Halted())
            return;
    }
    Login();
}

bool SendMail::AnswerStartTls(const QByteArray &line, bool positive)
{
    if (positive && line.startsWith('2')) {
        StartHandshake();
        return false;
    }
    const QString reply = QString::fromLatin1(line);
    if (Security == smtpTlsRequired) {
        Fail(smeTlsRequired, QStringLiteral("The server refused STARTTLS: ") + reply);
        return false;
    }
    Info(smNotEncrypted, QStringLiteral("The server refused STARTTLS (%1): the mail goes in clear text").arg(reply));
    if (!Halted())
        Login();
    return false;
}

QString SendMail::TlsHostName() const
{
    return serverHostName_.isEmpty() ? serverAddressText_ : serverHostName_;
}

void SendMail::StartHandshake()
{
    // Text that came behind the 220 was not protected: it is dropped, never
    // read as a reply from inside the TLS session.
    replies_.Clear();
    SetStage(StageTlsHandshake);
    OnTlsDone = [this](QObject *) { TlsHandshakeDone(); };
    StartTls(TlsHostName());
    if (LastError != 0)
        Fail(smeTlsHandshake, platform::TlsErrorText(LastError) + QStringLiteral(": ") + TlsErrorText());
}

void SendMail::TlsHandshakeDone()
{
    OnTlsDone = nullptr;
    if (Halted())
        return;
    if (LastError != 0) {
        QString text = ErrorText(smeTlsHandshake);
        if (!TlsErrorText().isEmpty())
            text += QStringLiteral(": ") + TlsErrorText();
        Fail(smeTlsHandshake, text);
        return;
    }
    const platform::TlsCertificateInfo certificate = TlsCertificate();
    if (!AcceptCertificate(certificate)) {
        if (!Halted())
            Fail(smeCertificateRejected, ErrorText(smeCertificateRejected) + QStringLiteral(": ") + certificate.Problems());
        return;
    }
    if (Halted())
        return;
    Info(smTlsEstablished, TlsProtocol() + QStringLiteral(", ") + TlsCipher());
    if (Halted())
        return;
    if (implicitTls_) {
        SetStage(StageGreeting);  // the greeting comes next, through TLS
        return;
    }
    // What the server offered in clear text may have been forged: ask again.
    capabilities_ = SmtpCapabilities();
    heloSent_ = false;
    SetStage(StageGreeting);
    if (AnswerGreeting())
        SetStage(StageHelo);
}

bool SendMail::AcceptCertificate(const platform::TlsCertificateInfo &certificate)
{
    if (certificate.IsNull())
        return false;
    if (certificate.Verified())
        return true;
    platform::TlsTrustStore store(TrustStoreFile);
    const QString key = platform::TlsTrustStore::Key(TlsHostName(), SMTP_Port);
    if (store.IsTrusted(key, certificate.sha256))
        return true;
    if (!OnMailCertificate)
        return false;
    TSendMailCertificateAnswer answer = smCertReject;
    QPointer<SendMail> self(this);
    TSendMailCertificateEvent handler = OnMailCertificate;
    handler(this, certificate, store.HasOther(key, certificate.sha256), answer);
    if (!self || Halted())
        return false;
    if (answer == smCertAlwaysTrust)
        store.Trust(key, certificate.sha256);
    return answer == smCertAcceptOnce || answer == smCertAlwaysTrust;
}

void SendMail::Login()
{
    if (UserName.isEmpty() || capabilities_.authMechanisms.isEmpty()) {
        // No login asked for, or none offered: the server may not need one
        // (it refuses MAIL FROM otherwise).
        SendMailFrom();
        return;
    }
    const QByteArray mechanism = capabilities_.ChooseAuth();
    if (mechanism == "PLAIN") {
        const QByteArray credentials = '\0' + UserName.toUtf8() + '\0' + Password.toUtf8();
        SendSecret("AUTH PLAIN " + credentials.toBase64(), "AUTH PLAIN ****");
        SetStage(StageAuthPlain);
    } else if (mechanism == "LOGIN") {
        SendLine("AUTH LOGIN");
        SetStage(StageAuthLogin);
    } else {
        Fail(smeAuthUnsupported, ErrorText(smeAuthUnsupported) + QStringLiteral(": AUTH ")
                                     + QString::fromLatin1(capabilities_.authMechanisms.join(' ')));
    }
}

bool SendMail::AnswerAuthPlain(const QByteArray &line, bool positive)
{
    return AnswerAuthPassword(line, positive);
}

bool SendMail::AnswerAuthLogin(const QByteArray &line, bool positive)
{
    if (!positive || !line.startsWith("334")) {
        LoginRefused(line);
        return false;
    }
    SendSecret(UserName.toUtf8().toBase64(), "****");
    SetStage(StageAuthUser);
    return false;
}

bool SendMail::AnswerAuthUser(const QByteArray &line, bool positive)
{
    if (!positive || !line.startsWith("334")) {
        LoginRefused(line);
        return false;
    }
    SendSecret(Password.toUtf8().toBase64(), "****");
    SetStage(StageAuthPassword);
    return false;
}

bool SendMail::AnswerAuthPassword(const QByteArray &line, bool positive)
{
    // Only 235 is a login; a 334 here would ask for more than we have.
    if (!positive || !line.startsWith('2')) {
        LoginRefused(line);
        return false;
    }
    SendMailFrom();
    return false;
}

void SendMail::LoginRefused(const QByteArray &line)
{
    Fail(smeAuthFailed, ErrorText(smeAuthFailed) + QString::fromLatin1(line));
}

void SendMail::SendMailFrom()
{
    SendLine("MAIL FROM:<" + FROM_Address.toUtf8() + '>');
    if (!Halted())
        SetStage(StageMailFrom);
}

void SendMail::SendSecret(const QByteArray &line, const QByteArray &shown)
{
    // Not cut to the command limit: AUTH lines may be long (RFC 4954: 12288).
    SendText(line + "\r\n", &shown);
}
