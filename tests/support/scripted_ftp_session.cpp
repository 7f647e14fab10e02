// The control side of a scripted FTP session: command lines in, scripted or
// built-in replies out, in order, with pauses.

#include "scripted_ftp_session.h"

#include <QHostAddress>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>

#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

namespace testsupport {

namespace {

bool IsTransferVerb(const QByteArray &verb)
{
    static const QByteArrayList verbs = {"LIST", "NLST", "MLSD", "RETR", "STOR", "APPE", "STOU"};
    return verbs.contains(verb);
}

// A 227 whose address is outside 127.0.0.0/8 would send an obedient client
// off this machine.
bool AnnouncesForeignAddress(const QByteArray &bytes)
{
    static const QRegularExpression sixNumbers(QStringLiteral("(\\d+)\\s*,\\s*\\d+\\s*,\\s*\\d+\\s*,\\s*\\d+\\s*,"));
    for (const QByteArray &line : bytes.split('\n')) {
        if (!line.startsWith("227"))
            continue;
        const auto match = sixNumbers.match(QString::fromLatin1(line.mid(3)));
        if (match.hasMatch() && match.captured(1).toInt() != 127)
            return true;
    }
    return false;
}

void SetLingerZero(QTcpSocket *socket)
{
    // close() then sends RST instead of FIN.
    const linger option{1, 0};
    ::setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &option, sizeof option);
}

}  // namespace

ControlSession::ControlSession(ScriptedFtpPeer *peer, QTcpSocket *socket) : peer_(peer), control_(socket)
{
    control_->setParent(this);
    control_->setSocketOption(QAbstractSocket::LowDelayOption, 1);  // each scripted write leaves at once
    connect(control_, &QTcpSocket::readyRead, this, &ControlSession::OnReadable);
    connect(control_, &QTcpSocket::disconnected, this, &ControlSession::OnControlClosed);
    // Qt receives urgent data inline; the client's urgent byte of an abort is
    // to be seen apart, so it is left out of band and read with MSG_OOB. It is
    // watched on a duplicate of the socket so the notifier never outlives its
    // descriptor when Qt closes the socket.
    const int inlineOff = 0;
    ::setsockopt(int(control_->socketDescriptor()), SOL_SOCKET, SO_OOBINLINE, &inlineOff, sizeof inlineOff);
    urgentFd_ = ::dup(int(control_->socketDescriptor()));
    if (urgentFd_ >= 0) {
        urgentNotifier_ = new QSocketNotifier(urgentFd_, QSocketNotifier::Exception, this);
        connect(urgentNotifier_, &QSocketNotifier::activated, this, &ControlSession::OnUrgent);
    }
    pauseTimer_.setSingleShot(true);
    connect(&pauseTimer_, &QTimer::timeout, this, &ControlSession::Pump);
    chunkTimer_.setSingleShot(true);
    connect(&chunkTimer_, &QTimer::timeout, this, &ControlSession::SendNextChunk);
}

ControlSession::~ControlSession()
{
    if (data_)
        data_->disconnect(this);
    if (earlyData_)
        earlyData_->disconnect(this);
    control_->disconnect(this);
    ReleaseUrgentWatch();
}

void ControlSession::ReleaseUrgentWatch()
{
    delete urgentNotifier_;
    urgentNotifier_ = nullptr;
    if (urgentFd_ >= 0)
        ::close(urgentFd_);
    urgentFd_ = -1;
}

void ControlSession::Start()
{
    if (peer_->mode_ != ScriptedFtpPeer::Mode::Silent)
        Play(peer_->greeting_);
}

bool ControlSession::Open() const
{
    return !closing_ && control_->state() == QAbstractSocket::ConnectedState;
}

void ControlSession::OnReadable()
{
    const QByteArray bytes = control_->readAll();
    peer_->received_ += bytes;
    pendingInput_ += bytes;
    qsizetype end;
    while ((end = pendingInput_.indexOf('\n')) >= 0) {
        QByteArray line = pendingInput_.left(end);
        pendingInput_.remove(0, end + 1);
        if (line.endsWith('\r'))
            line.chop(1);
        HandleLine(line);
    }
}

void ControlSession::OnUrgent()
{
    char byte = 0;
    const ssize_t got = ::recv(urgentFd_, &byte, 1, MSG_OOB);
    if (got == 1) {
        peer_->urgent_ += byte;
        peer_->urgentOffsets_ << peer_->received_.size();
        return;
    }
    if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINVAL)) {
        ReleaseUrgentWatch();  // the connection is gone: stop watching
        return;
    }
    // No urgent byte after all (already read, or not yet there): rest a moment
    // so a level-triggered notifier cannot spin.
    urgentNotifier_->setEnabled(false);
    QTimer::singleShot(5, this, [this] {
        if (urgentNotifier_)
            urgentNotifier_->setEnabled(true);
    });
}

void ControlSession::OnControlClosed()
{
    if (closedHandled_)
        return;
    closedHandled_ = true;
    closing_ = true;
    steps_.clear();
    pauseTimer_.stop();
    ReleaseUrgentWatch();
    StopTransfer();
    DropDataSockets();
    emit peer_->controlClosed();
}

void ControlSession::HandleLine(const QByteArray &raw)
{
    const QByteArray line = ScriptedFtpPeer::StripTelnet(raw);
    peer_->rawCommands_ << raw;
    peer_->commands_ << line;
    emit peer_->commandReceived(line);
    if (peer_->mode_ != ScriptedFtpPeer::Mode::Normal || closing_)
        return;
    const qsizetype space = line.indexOf(' ');
    const QByteArray verb = (space < 0 ? line : line.left(space)).toUpper();
    const QByteArray argument = space < 0 ? QByteArray() : line.mid(space + 1);
    Dispatch(line, verb, argument);
}

void ControlSession::Dispatch(const QByteArray &line, const QByteArray &verb, const QByteArray &argument)
{
    // Side effects that hold whatever the answer.
    if (verb == "REST")
        restOffset_ = argument.trimmed().toLongLong();
    if (verb == "PORT") {
        NotePort(argument);
        if (peer_->connectOnPort_)
            ConnectToPortNow();
    }

    const std::optional<Reply> scripted = peer_->FindReply(line, verb);
    if (verb == "ABOR") {
        AnswerAbort(scripted);
        return;
    }
    if (!scripted) {
        AnswerBuiltIn(line, verb, argument);
        return;
    }
    if (verb == "PASV" || verb == "EPSV") {
        DropDataSockets();
        dataMode_ = DataMode::None;
    }
    if (IsTransferVerb(verb))
        restOffset_ = 0;
    Play(*scripted);
}

void ControlSession::AnswerBuiltIn(const QByteArray &line, const QByteArray &verb, const QByteArray &argument)
{
    static const QHash<QByteArray, QByteArray> plain = {
        {"USER", "331 Password required.\r\n"},
        {"PASS", "230 Logged in.\r\n"},
        {"ACCT", "230 Account accepted.\r\n"},
        {"SYST", "215 UNIX Type: L8\r\n"},
        {"PWD", "257 \"/\" is the current directory.\r\n"},
        {"XPWD", "257 \"/\" is the current directory.\r\n"},
        {"CWD", "250 Directory changed.\r\n"},
        {"CDUP", "250 Directory changed.\r\n"},
        {"TYPE", "200 Type set.\r\n"},
        {"MODE", "200 Mode set.\r\n"},
        {"STRU", "200 Structure set.\r\n"},
        {"NOOP", "200 NOOP ok.\r\n"},
        {"RMD", "250 Directory removed.\r\n"},
        {"DELE", "250 File deleted.\r\n"},
        {"RNFR", "350 Ready for RNTO.\r\n"},
        {"RNTO", "250 Rename successful.\r\n"},
        {"SITE", "200 SITE command successful.\r\n"},
        {"HELP", "214 Help OK.\r\n"},
    };
    if (verb == "PASV" || verb == "EPSV")
        AnswerPassive(verb == "EPSV");
    else if (verb == "PORT")
        Write(portValid_ ? QByteArray("200 PORT command successful.\r\n") : QByteArray("501 Bad PORT argument.\r\n"));
    else if (verb == "REST")
        Write("350 Restarting at " + QByteArray::number(restOffset_) + ".\r\n");
    else if (verb == "MKD")
        Write("257 \"" + argument + "\" created.\r\n");
    else if (IsTransferVerb(verb))
        StartTransfer(line, verb);
    else if (verb == "QUIT")
        Play(Reply::Line(221, "Goodbye.").ThenClose());
    else
        Write(plain.value(verb, "502 Command not implemented.\r\n"));
}

void ControlSession::AnswerPassive(bool extended)
{
    DropDataSockets();
    passiveListener_ = std::make_unique<QTcpServer>();
    if (!passiveListener_->listen(QHostAddress::LocalHost, 0)) {
        passiveListener_.reset();
        dataMode_ = DataMode::None;
        Write("425 Cannot open a passive listener.\r\n");
        return;
    }
    dataMode_ = DataMode::Passive;
    connect(passiveListener_.get(), &QTcpServer::newConnection, this, &ControlSession::OnPassiveConnection);
    QByteArray host = peer_->announceHost_.isEmpty() ? QByteArray("127.0.0.1") : peer_->announceHost_;
    const quint16 port = peer_->announcePort_ ? peer_->announcePort_ : passiveListener_->serverPort();
    if (extended) {
        Write("229 Entering Extended Passive Mode (|||" + QByteArray::number(port) + "|)\r\n");
        return;
    }
    const QByteArray address = host.replace('.', ',') + ',' + QByteArray::number(port / 256) + ',' +
                               QByteArray::number(port % 256);
    QByteArray text = peer_->passiveTemplate_;
    Write(text.replace("{addr}", address));
}

void ControlSession::NotePort(const QByteArray &argument)
{
    const QByteArrayList fields = argument.trimmed().split(',');
    portValid_ = false;
    if (fields.size() != 6)
        return;
    quint32 values[6];
    for (int i = 0; i < 6; ++i) {
        bool ok = false;
        values[i] = fields[i].trimmed().toUInt(&ok);
        if (!ok || values[i] > 255)
            return;
    }
    DropDataSockets();
    portAddress_ = (values[0] << 24) | (values[1] << 16) | (values[2] << 8) | values[3];
    portPort_ = quint16(values[4] * 256 + values[5]);
    portValid_ = true;
    dataMode_ = DataMode::Active;
}

void ControlSession::AnswerAbort(const std::optional<Reply> &scripted)
{
    const bool wasRunning = StopTransfer();
    if (scripted)
        Play(*scripted);
    else if (wasRunning) {
        Write(plan_.aborted);
        Write("226 ABOR command successful.\r\n");
    } else {
        Write("225 No transfer to abort.\r\n");
    }
}

// ---- the ordered writer ----

void ControlSession::Play(const Reply &reply)
{
    for (const Reply::Step &step : reply.Steps())
        Enqueue(Step{step.kind, step.bytes, step.ms, {}});
}

void ControlSession::Write(const QByteArray &bytes)
{
    if (!bytes.isEmpty())
        Enqueue(Step{Reply::Step::Kind::Write, bytes, 0, {}});
}

void ControlSession::Then(std::function<void()> action)
{
    Enqueue(Step{Reply::Step::Kind::Write, {}, 0, std::move(action)});
}

void ControlSession::Enqueue(Step step)
{
    if (closing_)
        return;
    steps_.append(std::move(step));
    Pump();
}

void ControlSession::Pump()
{
    if (pumping_)
        return;  // an action enqueued more: the running loop takes it
    pumping_ = true;
    while (!steps_.isEmpty() && !pauseTimer_.isActive() && !closing_) {
        const Step step = steps_.takeFirst();
        if (step.action) {
            step.action();
            continue;
        }
        switch (step.kind) {
        case Reply::Step::Kind::Write:
            WriteNow(step.bytes);
            break;
        case Reply::Step::Kind::Pause:
            pauseTimer_.start(step.ms);
            break;
        case Reply::Step::Kind::Close:
            CloseNow(false);
            break;
        case Reply::Step::Kind::Reset:
            CloseNow(true);
            break;
        }
    }
    pumping_ = false;
}

void ControlSession::WriteNow(const QByteArray &bytes)
{
    if (control_->state() != QAbstractSocket::ConnectedState)
        return;
    if (AnnouncesForeignAddress(bytes)) {
        qWarning("ScriptedFtpPeer: refusing to send a 227 that announces an address outside 127.0.0.0/8: %s",
                 bytes.constData());
        control_->write("421 Scripted peer refuses to announce a non-loopback address.\r\n");
    } else {
        control_->write(bytes);
    }
    control_->flush();
}

void ControlSession::CloseNow(bool reset)
{
    if (closing_)
        return;
    steps_.clear();
    pauseTimer_.stop();
    if (reset) {
        SetLingerZero(control_);
        closing_ = true;
        // The duplicate descriptor would keep the socket open: let it go first.
        ReleaseUrgentWatch();
        control_->abort();
    } else {
        closing_ = true;
        control_->disconnectFromHost();
    }
    if (control_->state() == QAbstractSocket::UnconnectedState)
        OnControlClosed();
}

}  // namespace testsupport
