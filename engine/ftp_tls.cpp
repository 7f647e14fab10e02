// FTPS (RFC 4217): AUTH TLS, PBSZ and PROT between the greeting and USER,
// the control connection's handshake and certificate, and TLS on the data
// connections (which resume the control connection's session: vsftpd with
// require_ssl_reuse refuses any that does not).

#include "engine/ftp.h"
#include "engine/ftp_parse.h"

#include "platform/codepage.h"
#include "platform/tls_trust_store.h"
#include "platform/winsock_errors.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPointer>

#include <algorithm>

using ftpparse::ReplyClass;

// ---------------------------------------------------------------- login

void TMFtp::AnswerAuth(const QByteArray &line)
{
    switch (ReplyClass(line)) {
    case '1':
        return;
    case '2':
        StartControlTls();
        return;
    default:
        break;
    }
    if (TlsMode == tlsExplicitIfSupported) {
        RaiseInfo(ftpiNotEncrypted,
                  QStringLiteral("Warning: the server does not support TLS (AUTH TLS refused). The connection is "
                                 "NOT encrypted: the password, listings and files go in clear text."));
        SendUser();
        return;
    }
    RefuseInsecureLogin(QStringLiteral("The server refused AUTH TLS: %1").arg(platform::DecodeAnsi(line).trimmed()));
}

void TMFtp::AnswerPbsz(const QByteArray &line)
{
    if (ReplyClass(line) == '2')
        SendCommand("PROT P", ReplyState::Prot);
    else
        DataInClear(line);
}

void TMFtp::AnswerProt(const QByteArray &line)
{
    if (ReplyClass(line) != '2') {
        DataInClear(line);
        return;
    }
    dataProtected_ = true;
    SendUser();
}

void TMFtp::DataInClear(const QByteArray &line)
{
    const QString reply = platform::DecodeAnsi(line).trimmed();
    if (TlsMode == tlsExplicitIfSupported) {
        RaiseInfo(ftpiNotEncrypted,
                  QStringLiteral("Warning: the server refused to protect data connections (%1). The login is "
                                 "encrypted, listings and files go in clear text.").arg(reply));
        SendUser();
        return;
    }
    RefuseInsecureLogin(QStringLiteral("The server refused to protect data connections: %1").arg(reply));
}

void TMFtp::RefuseInsecureLogin(const QString &why)
{
    // Nothing secret has gone out; QUIT says goodbye, in clear text if need be.
    lastErrorText_ = why;
    PlainError(ftpeTlsRequired);
    SendCommand("QUIT", ReplyState::Quit);
}

void TMFtp::StartControlTls()
{
    // Plain text that came behind the 234 was not protected: it is dropped,
    // never read as a reply from inside the TLS session.
    replyFramer_.Clear();
    OnTlsDone = [this](QObject *) { ControlTlsDone(); };
    StartTls(tlsHostName_.isEmpty() ? DottedAddress() : tlsHostName_);
    if (LastError != 0) {
        lastErrorText_ = platform::TlsErrorText(LastError) + QStringLiteral(": ") + TlsErrorText();
        FatalError(ftpeTlsHandshake);
    }
}

void TMFtp::ControlTlsDone()
{
    OnTlsDone = nullptr;
    if (LastError != 0) {
        lastErrorText_ = platform::TlsErrorText(LastError);
        if (!TlsErrorText().isEmpty())
            lastErrorText_ += QStringLiteral(": ") + TlsErrorText();
        FatalError(ftpeTlsHandshake);
        return;
    }
    NoteTraffic();
    serverCertificate_ = TlsCertificate();
    if (!AcceptCertificate(serverCertificate_)) {
        if (!HasSocket())
            return;  // the connection ended while the owner was asked
        lastErrorText_ = QStringLiteral("The server's certificate was not accepted: %1").arg(serverCertificate_.Problems());
        FatalError(ftpeCertificateRejected);
        return;
    }
    if (!HasSocket())
        return;
    NoteTraffic();
    RaiseInfo(ftpiTlsEstablished, QStringLiteral("TLS connection established: %1, %2").arg(TlsProtocol(), TlsCipher()));
    if (!HasSocket())
        return;
    // Implicit: the greeting comes next, through TLS.
    if (TlsMode != tlsImplicitRequired)
        SendCommand("PBSZ 0", ReplyState::Pbsz);
}

bool TMFtp::AcceptCertificate(const platform::TlsCertificateInfo &certificate)
{
    if (certificate.IsNull())
        return false;
    if (certificate.Verified())
        return true;
    platform::TlsTrustStore store(TrustStoreFile);
    const QString key = platform::TlsTrustStore::Key(tlsHostName_.isEmpty() ? DottedAddress() : tlsHostName_, Port);
    if (store.IsTrusted(key, certificate.sha256))
        return true;
    if (!OnFtpCertificate)
        return false;
    TMFtpCertificateAnswer answer = certReject;
    const bool changed = store.HasOther(key, certificate.sha256);
    // The owner may ask the user: no time-out while the question is open.
    const bool greetingWait = greetingTimer_.isActive();
    greetingTimer_.stop();
    askingCertificate_ = true;
    QPointer<TMFtp> self(this);
    TMFtpCertificateEvent handler = OnFtpCertificate;
    handler(this, certificate, changed, answer);
    if (!self)
        return false;
    askingCertificate_ = false;
    NoteTraffic();
    if (greetingWait && HasSocket() && TimeOutConnect > 0)
        greetingTimer_.start(MillisecondsOf(TimeOutConnect));
    if (answer == certAlwaysTrust)
        store.Trust(key, certificate.sha256);
    return answer == certAcceptOnce || answer == certAlwaysTrust;
}

// ---------------------------------------------------------------- data connections

bool TMFtp::StartDataTls(std::function<void()> then)
{
    if (!dataProtected_)
        return false;
    // The handshake starts once LIST, RETR or STOR is out, as servers expect
    // it (pyftpdlib drops a data connection whose handshake crosses a REST).
    dataTlsThen_ = std::move(then);
    dataTlsSerial_ = transferSerial_;
    dataTlsPending_ = true;
    if (transferCommandSent_)
        BeginDataTls();
    return true;
}

void TMFtp::BeginDataTls()
{
    if (!dataTlsPending_ || dataTlsSerial_ != transferSerial_ || !dataSocket_.HasSocket())
        return;
    dataTlsPending_ = false;
    const quint64 serial = transferSerial_;
    std::function<void()> then = std::move(dataTlsThen_);
    dataTlsThen_ = nullptr;
    dataSessionReused_ = false;
    dataSocket_.OnTlsDone = [this, serial, then](QObject *) {
        dataSocket_.OnTlsDone = nullptr;
        if (serial != transferSerial_)
            return;
        const int error = dataSocket_.LastError;
        if (error != 0) {
            DataConnectionFailed(error, true);
            return;
        }
        // The data connection must end at the server whose certificate the
        // control connection accepted.
        const platform::TlsCertificateInfo certificate = dataSocket_.TlsCertificate();
        if (!certificate.Verified() && certificate.sha256 != serverCertificate_.sha256) {
            DataConnectionFailed(platform::TlsErrorHandshake, true);
            return;
        }
        dataSessionReused_ = dataSocket_.TlsSessionReused();
        NoteTraffic();
        if (then)
            then();
    };
    dataSocket_.StartTls(tlsHostName_.isEmpty() ? DottedAddress() : tlsHostName_, TakeDataSession());
    if (dataSocket_.LastError != 0)
        DataConnectionFailed(dataSocket_.LastError, true);
}

platform::TlsSessionHandle TMFtp::TakeDataSession()
{
    for (auto &session : TakeTlsSessions())
        dataSessions_.push_back(std::move(session));
    if (!dataSessions_.empty()) {
        lastDataSession_ = std::move(dataSessions_.back());
        dataSessions_.pop_back();
    } else if (!lastDataSession_) {
        lastDataSession_ = TlsSessionForReuse();
    }
    return lastDataSession_;
}

void TMFtp::CollectDataSessions()
{
    for (auto &session : dataSocket_.TakeTlsSessions())
        dataSessions_.push_back(std::move(session));
    // A long session must not hoard tickets.
    constexpr size_t Kept = 8;
    if (dataSessions_.size() > Kept)
        dataSessions_.erase(dataSessions_.begin(), dataSessions_.end() - Kept);
}

TMFtp::SendResult TMFtp::ShutdownDataTls(quint64 serial)
{
    bool wouldBlock = false;
    for (;;) {
        if (wouldBlock)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (serial != transferSerial_ || !dataSocket_.HasSocket())
            return SendResult::Stale;
        const int result = dataSocket_.ShutdownTls();
        if (result == 0)
            return SendResult::Sent;
        if (result != platform::WSAEWOULDBLOCK)
            return SendResult::Failed;
        wouldBlock = true;
    }
}

TMFtp::SendResult TMFtp::AwaitDataPeerClose(quint64 serial)
{
    // Closing first would let the server's late records (TLS 1.3 tickets sent
    // when it finishes its side of the handshake, its close_notify) meet a
    // closed socket, and the reset that answers them throws away upload bytes
    // the server has not read yet. The server closes once it has read our
    // close_notify; whatever it sends until then is read and dropped.
    bool peerClosed = false;
    dataSocket_.OnRead = [this](QObject *) {
        char sink[4096];
        while (dataSocket_.ReceiveData(sink, int(sizeof sink)) > 0) {
        }
    };
    dataSocket_.OnClose = [this, &peerClosed](QObject *) {
        peerClosed = true;
        CollectDataSessions();  // the socket goes with this notification
    };
    QElapsedTimer waited;
    waited.start();
    const int limit = std::min(TimeoutMs(), MaxDataCloseWaitMs);
    SendResult result = SendResult::Sent;
    while (!peerClosed && waited.elapsed() < limit) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (peerClosed)
            break;
        if (serial != transferSerial_ || !dataSocket_.HasSocket()) {
            result = SendResult::Stale;
            break;
        }
    }
    if (serial == transferSerial_) {
        dataSocket_.OnRead = nullptr;
        dataSocket_.OnClose = nullptr;
    }
    return result;
}

QString TMFtp::DataErrorText(const QString &what, int socketError, const QString &tlsDetail)
{
    const QString tls = platform::TlsErrorText(socketError);
    if (tls.isEmpty())
        return QStringLiteral("%1 (socket error %2)").arg(what).arg(socketError);
    QString text = QStringLiteral("%1: %2").arg(what, tls);
    if (!tlsDetail.isEmpty())
        text += QStringLiteral(" (%1)").arg(tlsDetail);
    return text;
}
