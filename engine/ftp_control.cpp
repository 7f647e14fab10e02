// The control connection: construction, connect, the reply dispatcher,
// notices, keep-alive, quit and the two error paths. The login's replies are
// in ftp_login.cpp.

#include "engine/ftp.h"
#include "engine/ftp_parse.h"

#include "platform/codepage.h"
#include "platform/tls_session.h"
#include "platform/winsock_errors.h"

#include <QCoreApplication>
#include <QPointer>
#include <utility>

namespace ReplyState {
const char *Name(int state)
{
    switch (state) {
    case Greeting: return "Greeting";
    case User: return "User";
    case Pass: return "Pass";
    case Acct: return "Acct";
    case Syst: return "Syst";
    case LoginDirectory: return "LoginDirectory";
    case ListPwd: return "ListPwd";
    case ListType: return "ListType";
    case ListPort: return "ListPort";
    case List: return "List";
    case Pasv: return "Pasv";
    case Epsv: return "Epsv";
    case AbortReplies: return "AbortReplies";
    case DownloadType: return "DownloadType";
    case DownloadPort: return "DownloadPort";
    case Retr: return "Retr";
    case UploadType: return "UploadType";
    case UploadPort: return "UploadPort";
    case Stor: return "Stor";
    case Auth: return "Auth";
    case Pbsz: return "Pbsz";
    case Prot: return "Prot";
    case RenameFrom: return "RenameFrom";
    case RenameTo: return "RenameTo";
    case Feat: return "Feat";
    case OptsUtf8: return "OptsUtf8";
    case OptsMlst: return "OptsMlst";
    case Mlsd: return "Mlsd";
    case SingleCommand: return "SingleCommand";
    case Quit: return "Quit";
    case Idle: return "Idle";
    case RestProbe: return "RestProbe";
    case RestZero: return "RestZero";
    case RestProbeBinary: return "RestProbeBinary";
    case ResumeDownloadType: return "ResumeDownloadType";
    case ResumeDownloadPort: return "ResumeDownloadPort";
    case ResumeDownloadRest: return "ResumeDownloadRest";
    case ResumeUploadType: return "ResumeUploadType";
    case ResumeUploadPort: return "ResumeUploadPort";
    case ResumeUploadRest: return "ResumeUploadRest";
    case FactsType: return "FactsType";
    case Size: return "Size";
    case Mdtm: return "Mdtm";
    case Mfmt: return "Mfmt";
    case UrlStart: return "UrlStart";
    case UrlCwd: return "UrlCwd";
    case UrlParent: return "UrlParent";
    case Chmod: return "Chmod";
    }
    return "Unknown";
}
}  // namespace ReplyState

using ftpparse::ReplyClass;

namespace {

constexpr int ControlReadSize = 2048;
// How often the time-out of a wait on the server is checked.
constexpr int WatchdogPeriodMs = 1000;
// How long a keep-alive NOOP may hold a user's operation. Some servers never
// answer NOOP; a dead one is caught by the operation's own time-out.
constexpr int KeepAliveReplyWaitMs = 3000;


struct SocketErrorMapping {
    FtpError error;
    QString text;
};

SocketErrorMapping MapSocketError(int code)
{
    using namespace platform;
    switch (code) {
    case WSAEINTR: case WSAEFAULT: case WSAEINVAL: case WSAEINPROGRESS: case WSAENOTSOCK:
    case WSAEMSGSIZE: case WSAEOPNOTSUPP: case WSAEAFNOSUPPORT: case WSAEADDRINUSE: case WSAEISCONN:
    case WSAENOTCONN: case WSAESHUTDOWN:
        return {ftpeInternal, QStringLiteral("Unexpected internal error in component ") + QString::number(code)};
    case WSAEACCES: return {ftpeInvalidAddress, QStringLiteral("Invalid address specified")};
    case WSAEMFILE: return {ftpeOutOfSockets, QStringLiteral("Out of sockets")};
    case WSAEADDRNOTAVAIL: return {ftpeAddressNotAvailable, QStringLiteral("Address not available")};
    case WSAENETDOWN: return {ftpeNetworkDown, QStringLiteral("Network down")};
    case WSAENETUNREACH: return {ftpeNetworkUnreachable, QStringLiteral("Network unreachable")};
    case WSAENETRESET: case WSAENOBUFS: return {ftpeGeneral, QStringLiteral("General Winsock Error")};
    case WSAECONNABORTED:
        return {ftpeConnectionAborted, QStringLiteral("Connection aborted due to timeout or other failure")};
    case WSAECONNRESET: return {ftpeConnectionReset, QStringLiteral("Connection reset by remote side")};
    case WSAETIMEDOUT: return {ftpeTimeout, QStringLiteral("timeout")};
    case WSAECONNREFUSED: return {ftpeConnectionRefused, QStringLiteral("Connection Refused")};
    case WSAEHOSTUNREACH: return {ftpeHostUnreachable, QStringLiteral("Host Unreachable")};
    case WSANOTINITIALISED: return {ftpeWinsockInit, QStringLiteral("Winsock not initialized")};
    case WSAHOST_NOT_FOUND: case WSATRY_AGAIN: case WSANO_RECOVERY: case WSANO_DATA:
        return {ftpeResolve, QStringLiteral("Address resolution error")};
    case TlsErrorHandshake: case TlsErrorUnavailable: return {ftpeTlsHandshake, TlsErrorText(code)};
    case TlsErrorTruncated: case TlsErrorProtocol: return {ftpeConnectionAborted, TlsErrorText(code)};
    }
    return {ftpeUnknown, QStringLiteral("Unknown Error")};
}

}  // namespace

// ---------------------------------------------------------------- lifecycle

TMFtp::TMFtp(QObject *parent) : Tmsocket(parent)
{
    keepAlive_.setInterval(30 * 1000);
    connect(&keepAlive_, &QTimer::timeout, this, &TMFtp::KeepAliveTick);
    keepAlive_.start();
    greetingTimer_.setSingleShot(true);
    connect(&greetingTimer_, &QTimer::timeout, this, &TMFtp::GreetingTimedOut);
    watchdog_.setInterval(WatchdogPeriodMs);
    connect(&watchdog_, &QTimer::timeout, this, &TMFtp::WatchdogTick);
    watchdog_.start();
    NoteTraffic();
    dataSocket_.StartWinsock();
    listenSocket_.StartWinsock();
    OnMessage = [this](int code) { OnNotice(code); };
    Port = 21;
    transferBuffer_.resize(TransferBlockSize);
}

TMFtp::~TMFtp()
{
    OnMessage = nullptr;
    listenSocket_.CloseSocket();
    dataSocket_.CloseSocket();
    CloseSocket();
}

// ---------------------------------------------------------------- connect

void TMFtp::Connect()
{
    if (busy_) {
        RaiseInfo(ftpiBusy);
        return;
    }
    greetingTimer_.stop();  // a timer left from an earlier connection must not end this one
    if (ProxyServer.trimmed().isEmpty())
        ProxyType = proxyNone;
    if (ProxyType == proxyUserSite) {
        savedTargetServer_ = Server();
        SetServer(ProxyServer);
    }
    OnTimeout = [this](QObject *) { OnControlTimeout(); };
    errorCode_ = ftpeNone;
    success_ = true;
    if (!StartWinsock()) {
        PlainError(ftpeWinsockInit);
        return;
    }
    if (Server().isEmpty()) {
        QString answer;
        AskNeedInfo(needServer, answer);
        if (answer.isEmpty()) {
            PlainError(ftpeNoServer);
            return;
        }
        SetServer(answer);
    }
    if (Port == 0)
        Port = 21;
    replyAssembler_.Reset();
    SetReplyState(ReplyState::Greeting);
    OnConnect = [this](QObject *) { OnControlConnected(); };
    OnRead = [this](QObject *) { OnControlRead(); };
    OnClose = [this](QObject *) { OnControlClosed(); };

    CreateSocket();
    if (CheckSocketError()) {
        if (!AddressText.isEmpty()) {
            SetAddressText(AddressText);
            SetPortNumber(Port);
            ConnectSocket();
            CheckSocketError();
        } else {
            RaiseInfo(ftpiResolving, HostName);
            LookupHost(HostName);
            CheckSocketError();
        }
    }
    // The certificate names the host connected to.
    tlsHostName_ = HostName.isEmpty() ? AddressText : HostName;
    // The socket already holds the proxy's address; USER names the target site.
    if (ProxyType == proxyUserSite)
        SetServer(savedTargetServer_);
}

void TMFtp::LookupDone()
{
    if (!CheckSocketError())
        return;
    UseResolvedAddress();
    SetPortNumber(Port);
    AddressText = DottedAddress();
    RaiseInfo(ftpiConnecting, AddressText);
    ConnectSocket();
    CheckSocketError();
}

void TMFtp::OnControlConnected()
{
    if (!CheckSocketError())
        return;
    SetReplyState(ReplyState::Greeting);
    RaiseInfo(ftpiConnected, AddressText);
    Connected = true;
    // A new session starts in the server's default type, whatever that is.
    sessionType_ = 0;
    ResetSessionFeatures();
    ResetDataModes();
    noopIgnored_ = false;
    quitAccepted_ = false;
    quitByOwner_ = false;
    NoteTraffic();
    replyFramer_.Clear();
    dispatching_ = false;
    dataProtected_ = false;
    serverCertificate_ = platform::TlsCertificateInfo();
    dataSessions_.clear();
    lastDataSession_.reset();
    if (TimeOutConnect > 0)
        greetingTimer_.start(MillisecondsOf(TimeOutConnect));
    // Implicit TLS: the handshake comes before the greeting.
    if (TlsMode == tlsImplicitRequired)
        StartControlTls();
}

void TMFtp::GreetingTimedOut()
{
    if (replyState_ == ReplyState::Greeting && HasSocket())
        FatalError(ftpeTimeout);
}

void TMFtp::OnControlTimeout()
{
    FatalError(ftpeTimeout);
}

void TMFtp::OnControlClosed()
{
    // An operation cut off by the server did not succeed, whatever it had
    // done so far (a download would otherwise end "successfully" truncated).
    if (busy_ && replyState_ != ReplyState::Quit && !quitAccepted_)
        success_ = false;
    quitAccepted_ = false;
    greetingTimer_.stop();
    RaiseInfo(ftpiDisconnected, QStringLiteral("Disconnected"));
    PostReady();
    PostQuit();
    Connected = false;
}

void TMFtp::Quit()
{
    if (HoldWhileChmodPending([this] { Quit(); }))
        return;
    if (!CommonPreamble())
        return;
    quitAccepted_ = false;
    quitByOwner_ = true;
    SendCommand("QUIT", ReplyState::Quit);
}

void TMFtp::Disconnect()
{
    greetingTimer_.stop();
    CloseDataSockets();
    CloseSocket();
    if (localFile_.isOpen())
        localFile_.close();
    localFileOpen_ = false;
    Connected = false;
    errorCode_ = ftpeNone;
    keepAlive_.stop();
    loggedIn_ = false;
    urlPending_ = false;
    urlReconnectDue_ = false;
    noopPending_ = false;
    busy_ = false;
    chmodPending_ = false;
    heldOperations_.clear();
}

void TMFtp::KeepAliveTick()
{
    // A period of 0 would make the timer fire at every turn of the event loop.
    if (keepAlive_.interval() <= 0) {
        keepAlive_.stop();
        return;
    }
    if (!loggedIn_ || busy_ || noopPending_ || noopIgnored_)
        return;
    // Until the reply is in, operations are held: one started in the send loop
    // would otherwise have its reply state replaced by the NOOP's, and one
    // started later would take the NOOP's reply for the answer to its own
    // first command. A server that never answers holds them a few seconds at
    // most, and gets no more keep-alives in this session.
    noopPending_ = true;
    const quint64 serial = ++noopSerial_;
    QTimer::singleShot(std::min(keepAlive_.interval(), KeepAliveReplyWaitMs), this, [this, serial] {
        if (noopPending_ && noopSerial_ == serial) {
            noopIgnored_ = true;
            EndNoopWait();
        }
    });
    if (!SendCommand("NOOP", ReplyState::Idle))
        EndNoopWait();  // the fatal path has run; what waited is refused as not connected
}

// ---------------------------------------------------------------- replies

// A NUL ends the reply line it is in: the log shows the read without what the
// NULs cut off, as the dispatcher takes it.
static QByteArray WithoutNulTails(const QByteArray &chunk)
{
    QByteArray shown;
    qsizetype from = 0;
    for (qsizetype zero; (zero = chunk.indexOf('\0', from)) >= 0;) {
        shown += QByteArrayView(chunk).sliced(from, zero - from);
        const qsizetype lf = chunk.indexOf('\n', zero);
        if (lf < 0)
            return shown;
        from = lf - 1 > zero && chunk.at(lf - 1) == '\r' ? lf - 1 : lf;
    }
    shown += QByteArrayView(chunk).sliced(from);
    return shown;
}

void TMFtp::OnControlRead()
{
    // A line is being handled further up the stack; its loop reads the rest.
    if (dispatching_)
        return;
    QByteArray buffer(ControlReadSize, Qt::Uninitialized);
    for (;;) {
        if (!HasSocket())
            return;
        int count = ReceiveData(buffer.data(), ControlReadSize);
        QByteArray chunk(buffer.constData(), count);
        if (!CheckSocketError())
            return;
        RaiseInfo(ftpiReply, platform::DecodeAnsi(chunk.contains('\0') ? WithoutNulTails(chunk) : chunk));
        if (chunk.isEmpty())
            return;
        NoteTraffic();
        replyFramer_.Append(chunk);
        QByteArray line;
        while (replyFramer_.NextLine(line)) {
            // Servers written in C end a reply at a NUL; the lines after it still count.
            if (qsizetype zero = line.indexOf('\0'); zero >= 0)
                line.truncate(zero);
            dispatching_ = true;
            DispatchReply(line);
            dispatching_ = false;
            if (!HasSocket())
                return;
        }
        // A server that never ends its line would grow this without bound.
        if (replyFramer_.Overflowed()) {
            replyFramer_.Clear();
            FatalError(ftpeProtocol);
            return;
        }
    }
}

void TMFtp::DispatchReply(const QByteArray &line)
{
    if (featLate_ && IsLateFeatLine(line))
        return;
    if (replyState_ == ReplyState::Feat)
        NoteFeatLine(line);
    if (replyAssembler_.Accept(line))
        InterpretReply(line);
}

void TMFtp::InterpretReply(const QByteArray &line)
{
    namespace RS = ReplyState;
    switch (replyState_) {
    case RS::Greeting: AnswerGreeting(line); break;
    case RS::User: AnswerUser(line); break;
    case RS::Pass: AnswerPass(line); break;
    case RS::Acct: AnswerAcct(line); break;
    case RS::Syst: AnswerSyst(line); break;
    case RS::LoginDirectory: AnswerLoginDirectory(line); break;
    case RS::ListPwd: AnswerListPwd(line); break;
    case RS::ListType: case RS::DownloadType: case RS::UploadType: case RS::ResumeDownloadType: case RS::ResumeUploadType:
        AnswerTransferType(line);
        break;
    case RS::ListPort: case RS::DownloadPort: case RS::UploadPort: case RS::ResumeDownloadPort: case RS::ResumeUploadPort:
        AnswerDataPort(line);
        break;
    case RS::List: AnswerList(line); break;
    case RS::Pasv: AnswerPasv(line); break;
    case RS::Epsv: AnswerEpsv(line); break;
    case RS::AbortReplies: AnswerAbortReplies(line); break;
    case RS::Retr: AnswerRetr(line); break;
    case RS::Stor: AnswerStor(line); break;
    case RS::Auth: AnswerAuth(line); break;
    case RS::Pbsz: AnswerPbsz(line); break;
    case RS::Prot: AnswerProt(line); break;
    case RS::ResumeDownloadRest: case RS::ResumeUploadRest: AnswerRest(line); break;
    case RS::RenameFrom: AnswerRenameFrom(line); break;
    case RS::RenameTo: AnswerRenameTo(line); break;
    case RS::Feat: AnswerFeat(line); break;
    case RS::OptsUtf8: AnswerOptsUtf8(line); break;
    case RS::OptsMlst: AnswerOptsMlst(line); break;
    case RS::Mlsd: AnswerMlsd(line); break;
    case RS::SingleCommand: AnswerSingleCommand(line); break;
    case RS::Quit: AnswerQuit(line); break;
    case RS::RestProbe: AnswerRestProbe(line); break;
    case RS::RestZero: AnswerRestZero(line); break;
    case RS::RestProbeBinary: AnswerRestProbeBinary(line); break;
    case RS::FactsType: AnswerFactsType(line); break;
    case RS::Size: AnswerSize(line); break;
    case RS::Mdtm: AnswerMdtm(line); break;
    case RS::Mfmt: AnswerMfmt(line); break;
    case RS::UrlStart: AnswerUrlStart(line); break;
    case RS::UrlCwd: AnswerUrlCwd(line); break;
    case RS::UrlParent: AnswerUrlParent(line); break;
    case RS::Chmod: AnswerChmod(line); break;
    case RS::Idle: AnswerIdle(line); break;  // NOOP replies and anything unexpected
    default: break;
    }
}

void TMFtp::SetReplyState(int state)
{
    if (OnStateTrace && state != replyState_)
        OnStateTrace(ReplyState::Name(replyState_), ReplyState::Name(state));
    replyState_ = state;
}

// ---------------------------------------------------------------- sending

bool TMFtp::SendCommand(const QByteArray &command, int expectState)
{
    const QByteArray line = command + "\r\n";
    if (command.startsWith("PASS "))
        RaiseInfo(ftpiCommand, QStringLiteral("PASS ") + QString(MaskedLength(command.mid(5)), u'*')
                                   + QStringLiteral("\r\n"));
    else
        RaiseInfo(ftpiCommand, platform::DecodeAnsi(line));
    if (!SendRaw(line, false))
        return false;
    // Only now: a reply can never be read in the previous command's state.
    SetReplyState(expectState);
    // The wait for its reply starts here.
    NoteTraffic();
    return true;
}

bool TMFtp::SendRaw(const QByteArray &bytes, bool urgent)
{
    qsizetype offset = 0;
    bool wouldBlock = false;
    while (offset < bytes.size()) {
        // While the socket is full, other events run here; one of them may
        // have closed the connection.
        if (wouldBlock) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            if (!HasSocket())
                return false;
        }
        const char *rest = bytes.constData() + offset;
        int count = int(bytes.size() - offset);
        int taken = urgent ? SendUrgentData(rest, count) : SendData(rest, count);
        if (!CheckSocketError())
            return false;
        offset += taken;
        wouldBlock = taken == 0;
    }
    return true;
}

bool TMFtp::CheckSocketError()
{
    if (LastError == 0) {
        errorCode_ = ftpeNone;
        return true;
    }
    SocketErrorMapping mapped = MapSocketError(LastError);
    lastErrorText_ = mapped.text;
    FatalError(mapped.error);
    CloseDataSockets();
    CloseSocket();
    PostQuit();
    return false;
}

bool TMFtp::CommonPreamble()
{
    if (!Connected) {
        RaiseInfo(ftpiDisconnected);
        return false;
    }
    if (busy_) {
        RaiseInfo(ftpiBusy);
        return false;
    }
    errorCode_ = ftpeNone;
    busy_ = true;
    keepAlive_.stop();
    NoteTraffic();
    return true;
}

// ---------------------------------------------------------------- reporting

void TMFtp::RaiseInfo(FtpInfo info, const QString &text)
{
    if (!OnFtpInfo)
        return;
    QString addinfo = text;
    if (addinfo.isEmpty()) {
        switch (info) {
        case ftpiDisconnected: addinfo = QStringLiteral("Not connected to the server"); break;
        case ftpiBusy: addinfo = QStringLiteral("当前连接正忙"); break;
        case ftpiSyntaxError: addinfo = QStringLiteral("Invalid sytax"); break;
        case ftpiAccessDenied: addinfo = QStringLiteral("Access denied or file not found"); break;
        default: break;
        }
    }
    TMFtpInfoEvent handler = OnFtpInfo;
    handler(this, info, addinfo);
}

void TMFtp::RaiseError(FtpError error)
{
    if (OnFtpError) {
        TMFtpErrorEvent handler = OnFtpError;
        handler(this, error, lastErrorText_);
    }
}

void TMFtp::PlainError(FtpError error)
{
    success_ = false;
    errorCode_ = error;
    RaiseError(error);
}

void TMFtp::FatalError(FtpError error)
{
    greetingTimer_.stop();
    CloseDataSockets();
    CloseSocket();
    Connected = false;
    success_ = false;
    errorCode_ = error;
    RaiseError(error);
    PostQuit();
}

void TMFtp::AskNeedInfo(TMFtpInfoNeeded need, QString &value)
{
    if (OnFtpNeedInfo) {
        // The owner may think it over for long: that is no silence of the server.
        const bool wasAsking = std::exchange(askingQuestion_, true);
        TMFtpInfoNeededEvent handler = OnFtpNeedInfo;
        handler(this, need, value);
        askingQuestion_ = wasAsking;
        NoteTraffic();
    }
}

void TMFtp::CloseDataSockets()
{
    CollectDataSessions();
    dataConnectPending_ = false;
    dataSocket_.CloseSocket();
    listenSocket_.CloseSocket();
}

// ---------------------------------------------------------------- notices

void TMFtp::PostReady()
{
    readyPending_ = true;
    PostNotice(ReadyNotice);
}

void TMFtp::PostQuit()
{
    PostNotice(QuitNotice);
}

void TMFtp::OnNotice(int code)
{
    if (code == QuitNotice)
        HandleQuitNotice();
    else if (code == ReadyNotice)
        HandleReadyNotice();
}

void TMFtp::HandleQuitNotice()
{
    // A keep-alive reply that will never come: what waited on it is refused
    // now (not connected) instead of running in some later session.
    if (noopPending_)
        EndNoopWait();
    ResumePosition = 0;
    busy_ = false;
    keepAlive_.start();
    loggedIn_ = false;
    if (OnFtpQuit) {
        QPointer<TMFtp> self(this);  // an owner may delete the engine on quit
        Notify handler = OnFtpQuit;
        handler(this);
        if (!self)
            return;
    }
    if (!urlPending_)
        return;
    // Only the QUIT that left for the address's site logs in anew. A login to
    // it that failed gives the address up; reconnecting after every failure
    // would run against a closed port or a wrong password without end.
    if (urlReconnectDue_) {
        urlReconnectDue_ = false;
        Connect();
        if (!HasSocket())
            urlPending_ = false;
    } else if (!HasSocket()) {
        urlPending_ = false;
    }
}

void TMFtp::HandleReadyNotice()
{
    readyPending_ = false;
    ResumePosition = 0;
    busy_ = false;
    keepAlive_.start();
    if (OnFtpReady) {
        Notify handler = OnFtpReady;
        handler(this);
    }
    if (abortRequested_) {
        CloseDataSockets();
        abortRequested_ = false;
    }
    RaiseCompletionEvent();
}

void TMFtp::RaiseCompletionEvent()
{
    namespace Kind = OperationKind;
    const Notify *event = nullptr;
    switch (operationKind_) {
    case Kind::RenameDirectory: event = &OnDirRenamed; break;
    case Kind::Login:
        operationKind_ = Kind::None;
        loggedIn_ = true;
        event = &OnLoggedIn;
        break;
    case Kind::ChangeDirectory: case Kind::ChangeDirectoryUp: event = &OnDirectoryChanged; break;
    case Kind::MakeDirectory: event = &OnDirectoryCreated; break;
    case Kind::RemoveDirectory: event = &OnDirectoryDeleted; break;
    case Kind::DeleteFile: event = &OnFileDeleted; break;
    case Kind::Download: event = &OnFileReceived; break;
    case Kind::Downloadii: event = &OnFileReceivedii; break;
    case Kind::Upload: event = &OnFileStored; break;
    case Kind::Uploadii: event = &OnFileStoredii; break;
    case Kind::List: event = &OnListingDone; break;
    case Kind::RenameFile: event = &OnFileRenamed; break;
    default: break;
    }
    if (event && *event) {
        Notify handler = *event;
        handler(this);
    }
}
