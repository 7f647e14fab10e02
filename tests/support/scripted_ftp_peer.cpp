#include "scripted_ftp_peer.h"

#include "scripted_ftp_session.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

namespace testsupport {

// ---- Reply ----

Reply Reply::Raw(const QByteArray &bytes)
{
    return Reply().Write(bytes);
}

Reply Reply::Line(int code, const QByteArray &text)
{
    return Raw(QByteArray::number(code) + ' ' + text + "\r\n");
}

Reply Reply::Lines(const QByteArrayList &lines)
{
    QByteArray all;
    for (const QByteArray &line : lines)
        all += line + "\r\n";
    return Raw(all);
}

Reply Reply::Split(const QByteArrayList &chunks, int pauseMs)
{
    Reply reply;
    for (qsizetype i = 0; i < chunks.size(); ++i) {
        if (i > 0)
            reply.Pause(pauseMs);
        reply.Write(chunks[i]);
    }
    return reply;
}

Reply Reply::Silent()
{
    return Reply();
}

Reply Reply::Close()
{
    return Reply().ThenClose();
}

Reply Reply::Reset()
{
    return Reply().ThenReset();
}

Reply &Reply::Write(const QByteArray &bytes)
{
    steps_.append(Step{Step::Kind::Write, bytes, 0});
    return *this;
}

Reply &Reply::Pause(int ms)
{
    steps_.append(Step{Step::Kind::Pause, {}, ms});
    return *this;
}

Reply &Reply::ThenClose()
{
    steps_.append(Step{Step::Kind::Close, {}, 0});
    return *this;
}

Reply &Reply::ThenReset()
{
    steps_.append(Step{Step::Kind::Reset, {}, 0});
    return *this;
}

// ---- Transfer ----

Transfer Transfer::Data(const QByteArray &bytes, Ending ending)
{
    Transfer transfer;
    transfer.data = bytes;
    transfer.ending = ending;
    return transfer;
}

Transfer Transfer::Refused()
{
    Transfer transfer;
    transfer.connection = Connection::Refuse;
    return transfer;
}

Transfer Transfer::Never()
{
    Transfer transfer;
    transfer.connection = Connection::NeverOpen;
    return transfer;
}

// ---- ScriptedFtpPeer ----

namespace {

// Map key: "VERB" for verb keys, "VERB argument" for exact lines.
QByteArray NormalizedKey(const QByteArray &key)
{
    const qsizetype space = key.indexOf(' ');
    if (space < 0)
        return key.toUpper();
    return key.left(space).toUpper() + key.mid(space);
}

}  // namespace

ScriptedFtpPeer::ScriptedFtpPeer(QObject *parent) : QObject(parent)
{
    greeting_ = Reply::Line(220, "Tarvo scripted FTP peer ready.");
}

ScriptedFtpPeer::~ScriptedFtpPeer()
{
    sessions_.clear();  // sessions reach back into the peer while closing
}

bool ScriptedFtpPeer::Listen()
{
    if (server_)
        return true;
    server_ = new QTcpServer(this);
    if (!server_->listen(QHostAddress::LocalHost, 0)) {
        delete server_;
        server_ = nullptr;
        return false;
    }
    port_ = server_->serverPort();
    connect(server_, &QTcpServer::newConnection, this, &ScriptedFtpPeer::AcceptPending);
    return true;
}

void ScriptedFtpPeer::StopListening()
{
    if (server_)
        server_->close();
}

quint16 ScriptedFtpPeer::ClosedPort()
{
    // Bound and released at once: nothing listens there afterwards. Ports are
    // handed out in sequence, so it is not reused right away.
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

void ScriptedFtpPeer::AcceptPending()
{
    while (QTcpSocket *socket = server_->nextPendingConnection()) {
        ++connectionCount_;
        sessions_.push_back(std::make_unique<ControlSession>(this, socket));
        emit clientConnected();
        sessions_.back()->Start();
    }
}

void ScriptedFtpPeer::On(const QByteArray &key, const Reply &reply)
{
    replies_.insert(NormalizedKey(key), reply);
}

void ScriptedFtpPeer::Queue(const QByteArray &key, const Reply &reply)
{
    queued_[NormalizedKey(key)].append(reply);
}

void ScriptedFtpPeer::SetTransfer(const QByteArray &verb, const Transfer &transfer)
{
    transferPlans_.insert(verb.toUpper(), transfer);
}

void ScriptedFtpPeer::QueueTransfer(const Transfer &transfer)
{
    queuedTransfers_.append(transfer);
}

bool ScriptedFtpPeer::SetPassiveAnnounce(const QByteArray &host, quint16 port)
{
    const QHostAddress address(QString::fromLatin1(host));
    if (address.protocol() != QAbstractSocket::IPv4Protocol || !address.isLoopback())
        return false;
    announceHost_ = host;
    announcePort_ = port;
    return true;
}

std::optional<Reply> ScriptedFtpPeer::FindReply(const QByteArray &line, const QByteArray &verb)
{
    const QByteArray lineKey = NormalizedKey(line);
    for (const QByteArray &key : {lineKey, verb}) {
        auto queued = queued_.find(key);
        if (queued != queued_.end() && !queued->isEmpty())
            return queued->takeFirst();
    }
    for (const QByteArray &key : {lineKey, verb}) {
        auto persistent = replies_.constFind(key);
        if (persistent != replies_.constEnd())
            return *persistent;
    }
    return std::nullopt;
}

Transfer ScriptedFtpPeer::TakeTransfer(const QByteArray &verb)
{
    if (!queuedTransfers_.isEmpty())
        return queuedTransfers_.takeFirst();
    return transferPlans_.value(verb, Transfer());
}

ControlSession *ScriptedFtpPeer::Newest() const
{
    return sessions_.empty() ? nullptr : sessions_.back().get();
}

void ScriptedFtpPeer::Send(const QByteArray &bytes)
{
    if (ControlSession *session = Newest())
        session->Play(Reply::Raw(bytes));
}

void ScriptedFtpPeer::CloseControl()
{
    if (ControlSession *session = Newest())
        session->Play(Reply::Close());
}

void ScriptedFtpPeer::ResetControl()
{
    if (ControlSession *session = Newest())
        session->CloseNow(true);
}

bool ScriptedFtpPeer::ControlOpen() const
{
    const ControlSession *session = Newest();
    return session && session->Open();
}

int ScriptedFtpPeer::CommandCount(const QByteArray &verb) const
{
    const QByteArray wanted = verb.toUpper();
    int count = 0;
    for (const QByteArray &command : commands_)
        if (command.left(command.indexOf(' ') < 0 ? command.size() : command.indexOf(' ')).toUpper() == wanted)
            ++count;
    return count;
}

QString ScriptedFtpPeer::TranscriptText() const
{
    QString text;
    for (const QByteArray &command : rawCommands_) {
        for (const char c : command) {
            const uchar u = uchar(c);
            if (u >= 0x20 && u < 0x7f)
                text += QLatin1Char(c);
            else
                text += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
        }
        text += QLatin1Char('\n');
    }
    return text;
}

QByteArray ScriptedFtpPeer::StripTelnet(const QByteArray &line)
{
    // IAC (255) IP (244) / DM (242) lead an ABOR. When the client sends one of
    // the pair as urgent data, the other one is left alone in the stream.
    auto isCommand = [](uchar c) { return c >= 0xf0 && c <= 0xfe; };
    qsizetype i = 0;
    while (i < line.size()) {
        const uchar c = uchar(line[i]);
        if (c == 0xff && i + 1 < line.size() && isCommand(uchar(line[i + 1])))
            i += 2;
        else if (c == 0xff || isCommand(c))
            i += 1;
        else
            break;
    }
    return line.mid(i);
}

}  // namespace testsupport
