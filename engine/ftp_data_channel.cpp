// Setting up the data connection: PASV or EPSV (passive), PORT or EPRT
// (active), and the fallback from one mode to the other.
//
// IPv6 control connections use EPSV and EPRT (RFC 2428); IPv4 ones PASV and
// PORT, with EPSV once when PASV is refused. A passive data connection is
// made before the transfer command goes out, so that a connect that fails
// can still be answered by active mode within the same operation; an active
// one refused by the server goes passive the same way. The mode that worked
// is kept for the rest of the session (PassiveInEffect()).

#include "engine/ftp.h"
#include "engine/ftp_parse.h"

#include "platform/codepage.h"
#include "platform/winsock_errors.h"

using ftpparse::ReplyClass;

void TMFtp::ResetDataModes()
{
    modeSwitched_ = false;
    epsvForSession_ = false;
    dataConnectPending_ = false;
}

void TMFtp::UseDataModeForSession(bool passive)
{
    modeSwitched_ = passive != Passive;
    switchedFrom_ = Passive;
}

void TMFtp::OpenDataConnection(int targetState)
{
    ++transferSerial_;
    listingFramer_.Clear();
    CloseDataSockets();
    dataConnectPending_ = false;
    dataTarget_ = targetState;
    dataPassive_ = PassiveInEffect();
    if (dataPassive_)
        OpenPassiveDataConnection();
    else
        OpenActiveDataConnection();
}

void TMFtp::OpenPassiveDataConnection()
{
    stateAfterPasv_ = dataTarget_;
    if (AddressIsIpv6() || epsvForSession_)
        SendCommand("EPSV", ReplyState::Epsv);
    else
        SendCommand("PASV", ReplyState::Pasv);
}

void TMFtp::OpenActiveDataConnection()
{
    // The server connects back to a port of ours on the address the control
    // connection leaves from (an IPv6 one on an IPv6 connection).
    const QString localAddress = LocalAddressText();
    WatchForEarlyConnection();
    listenSocket_.OnTimeout = [this](QObject *) { ActiveConnectionNeverCame(); };
    listenSocket_.AddressText = localAddress;
    listenSocket_.Port = 0;
    listenSocket_.SetAddressText(localAddress);
    listenSocket_.SetPortNumber(0);
    listenSocket_.CreateSocket();
    if (listenSocket_.LastError == 0)
        listenSocket_.Listen();
    QString address;
    quint16 port = 0;
    if (listenSocket_.LastError == 0)
        address = listenSocket_.LocalAddressText();
    if (listenSocket_.LastError == 0)
        port = listenSocket_.LocalPort();
    if (listenSocket_.LastError != 0) {
        DataConnectionFailed(listenSocket_.LastError, false);
        return;
    }
    // A server that never connects must not leave the transfer hanging.
    listenSocket_.StartCountdown(TimeOutConnect);
    if (listenSocket_.AddressIsIpv6())
        SendCommand("EPRT " + ftpparse::EprtArgument(address, port), dataTarget_);
    else
        SendCommand("PORT " + ftpparse::PortArgument(address, port), dataTarget_);
}

void TMFtp::AnswerPasv(const QByteArray &line)
{
    if (ReplyClass(line) != '2') {
        if (ReplyClass(line) == '5' && !epsvTried_) {
            // Servers behind some NAT helpers, and IPv6-minded ones, take only EPSV.
            epsvTried_ = true;
            RaiseInfo(ftpiReply, QStringLiteral("PASV refused: trying EPSV\r\n"));
            SendCommand("EPSV", ReplyState::Epsv);
            return;
        }
        // A 4xx is for now only: this operation fails and the mode stays.
        if (ReplyClass(line) == '5' && FallBackToActive(QStringLiteral("The server refused passive mode")))
            return;
        FailCommandStep(line);
        return;
    }
    const std::optional<ftpparse::PasvAddress> address = ftpparse::ParsePasvReply(line);
    if (!address) {
        FailTransfer(ftpeProtocol);
        return;
    }
    QString host = address->host;
    const QString peer = DottedAddress();
    if (host != peer) {
        // Never let the server aim us at a third host; NATed servers that name
        // their private address are served by the same rule.
        RaiseInfo(ftpiReply, QStringLiteral("PASV named %1, connecting to the server's address %2 instead\r\n")
                                 .arg(host, peer));
        host = peer;
    }
    ConnectPassive(host, address->port);
}

void TMFtp::AnswerEpsv(const QByteArray &line)
{
    if (ReplyClass(line) != '2') {
        if (ReplyClass(line) == '5' && FallBackToActive(QStringLiteral("The server refused passive mode")))
            return;
        FailCommandStep(line);
        return;
    }
    const std::optional<quint16> port = ftpparse::ParseEpsvReply(line);
    if (!port) {
        FailTransfer(ftpeProtocol);
        return;
    }
    // EPSV names no host: the data connection goes where the control one does.
    if (epsvTried_)
        epsvForSession_ = true;
    ConnectPassive(DottedAddress(), *port);
}

void TMFtp::ConnectPassive(const QString &host, quint16 port)
{
    listingFramer_.Clear();
    dataSocket_.AddressText = host;
    dataSocket_.Port = port;
    dataSocket_.TimeOutConnect = TimeOutConnect;
    dataSocket_.OnConnect = [this](QObject *) { PassiveConnected(); };
    dataSocket_.OnTimeout = [this](QObject *) { PassiveConnectFailed(platform::WSAETIMEDOUT); };
    dataSocket_.SetAddressText(host);
    dataSocket_.SetPortNumber(port);
    dataSocket_.CreateSocket();
    if (dataSocket_.LastError == 0)
        dataSocket_.ConnectSocket();
    if (dataSocket_.LastError != 0) {
        PassiveConnectFailed(dataSocket_.LastError);
        return;
    }
    dataConnectPending_ = true;
}

void TMFtp::PassiveConnected()
{
    dataConnectPending_ = false;
    dataSocket_.OnConnect = nullptr;
    if (dataSocket_.LastError != 0) {
        PassiveConnectFailed(dataSocket_.LastError);
        return;
    }
    NoteTraffic();
    // Go straight on in the state that was waiting for the data connection.
    SetReplyState(stateAfterPasv_);
    DispatchReply("299");
}

void TMFtp::PassiveConnectFailed(int socketError)
{
    dataConnectPending_ = false;
    if (FallBackToActive(DataErrorText(QStringLiteral("The passive data connection failed"), socketError, QString())))
        return;
    DataConnectionFailed(socketError, false);
}

void TMFtp::ActiveConnectionNeverCame()
{
    // The transfer command is out and the server may still be trying: ABOR
    // brings the dialogue back in step, then the step is done again passive.
    if (transferCommandSent_ && !abortRequested_ && !dataFallbackTried_ && Connected && !operationEnded_) {
        dataFallbackTried_ = true;
        UseDataModeForSession(true);
        RaiseInfo(ftpiReply, QStringLiteral("The server never opened the active data connection: "
                                            "trying passive mode, kept for the rest of the session\r\n"));
        DropDataSide();
        retryDataStep_ = true;
        BeginAbortExchange();
        return;
    }
    DataConnectionFailed(platform::WSAETIMEDOUT, true);
}

bool TMFtp::RetryPassiveAfter425(const QByteArray &line)
{
    // 425 to the transfer command in active mode: the server could not reach us.
    if (!line.startsWith("425") || dataPassive_ || dataFallbackTried_ || dataSocket_.SocketConnected
        || abortRequested_ || !Connected || operationEnded_)
        return false;
    dataFallbackTried_ = true;
    UseDataModeForSession(true);
    RaiseInfo(ftpiReply, QStringLiteral("The server could not open the active data connection: "
                                        "trying passive mode, kept for the rest of the session\r\n"));
    DropDataSide();
    RetryDataStep();
    return true;
}

void TMFtp::RetryDataStep()
{
    // Nothing has moved on the data connection: the local file starts over
    // where it started, and the data connection is set up anew.
    retryDataStep_ = false;
    abortRequested_ = false;
    abortDeferred_ = false;
    dataDone_ = false;
    controlDone_ = false;
    dataFailed_ = false;
    transferCommandSent_ = false;
    senderPending_ = false;
    senderRunning_ = false;
    success_ = true;
    const int kind = operationKind_;
    if (kind != OperationKind::List) {
        const bool upload = kind == OperationKind::Upload || kind == OperationKind::Uploadii;
        const bool resumed = dataTarget_ == ReplyState::ResumeDownloadPort;
        const QIODevice::OpenMode mode = upload ? QIODevice::ReadOnly | QIODevice::Unbuffered
                                         : resumed ? QIODevice::ReadWrite | QIODevice::Unbuffered
                                                   : QIODevice::ReadWrite | QIODevice::Truncate | QIODevice::Unbuffered;
        const bool placed = localFile_.open(mode)
                            && (upload ? localFile_.seek(ResumePosition) : !resumed || localFile_.seek(localFile_.size()));
        if (!placed) {
            CloseLocalFile();
            PlainError(ftpeOpenLocalFile);
            SetReplyState(ReplyState::Idle);
            EndOperation();
            return;
        }
        localFileOpen_ = true;
    }
    OpenDataConnection(dataTarget_);
}

bool TMFtp::FallBackToActive(const QString &why)
{
    if (dataFallbackTried_ || !Connected || operationEnded_)
        return false;
    dataFallbackTried_ = true;
    UseDataModeForSession(false);
    RaiseInfo(ftpiReply, QStringLiteral("%1: trying active mode, kept for the rest of the session\r\n").arg(why));
    OpenDataConnection(dataTarget_);
    return true;
}

bool TMFtp::FallBackToPassive(const QString &why)
{
    if (dataFallbackTried_ || !Connected || operationEnded_)
        return false;
    dataFallbackTried_ = true;
    UseDataModeForSession(true);
    RaiseInfo(ftpiReply, QStringLiteral("%1: trying passive mode, kept for the rest of the session\r\n").arg(why));
    OpenDataConnection(dataTarget_);
    return true;
}
