#include "scripted_smtp_peer.h"

#include <QTimer>

ScriptedSmtpPeer::ScriptedSmtpPeer(QObject *parent) : QObject(parent)
{
    connect(&server_, &QTcpServer::newConnection, this, &ScriptedSmtpPeer::Accept);
}

ScriptedSmtpPeer::~ScriptedSmtpPeer()
{
    if (client_)
        client_->abort();
}

bool ScriptedSmtpPeer::Listen()
{
    return server_.listen(QHostAddress::LocalHost, 0);
}

void ScriptedSmtpPeer::SetReply(const QByteArray &verb, const QByteArray &reply, int occurrence)
{
    replies_[verb][occurrence] = reply;
}

void ScriptedSmtpPeer::Accept()
{
    while (QTcpSocket *socket = server_.nextPendingConnection()) {
        ++Connections;
        if (client_) {  // one client at a time
            socket->abort();
            socket->deleteLater();
            continue;
        }
        client_ = socket;
        socket->setParent(this);
        buffer_.clear();
        inData_ = false;
        connect(socket, &QTcpSocket::readyRead, this, &ScriptedSmtpPeer::Read);
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            ClientClosed = true;
            if (client_ == socket)
                client_ = nullptr;
            socket->deleteLater();
        });
        Write(Greeting);
    }
}

void ScriptedSmtpPeer::Read()
{
    if (!client_)
        return;
    buffer_.append(client_->readAll());
    for (;;) {
        if (inData_) {
            // The data ends with a line holding only ".".
            qsizetype end = buffer_.startsWith(".\r\n") ? 0 : buffer_.indexOf("\r\n.\r\n");
            if (end < 0)
                return;
            const qsizetype dataEnd = end == 0 ? 0 : end + 2;
            RawMessages.append(buffer_.left(dataEnd));
            buffer_.remove(0, dataEnd + 3);
            inData_ = false;
            Answer(".", "250 2.0.0 queued\r\n");
            continue;
        }
        const qsizetype end = buffer_.indexOf("\r\n");
        if (end < 0)
            return;
        const QByteArray line = buffer_.left(end);
        buffer_.remove(0, end + 2);
        Commands.append(line);
        const qsizetype blank = line.indexOf(' ');
        QByteArray verb = (blank < 0 ? line : line.left(blank)).toUpper();
        if (verb.startsWith("MAIL"))
            verb = "MAIL";
        else if (verb.startsWith("RCPT"))
            verb = "RCPT";
        if (verb == "HELO" || verb == "EHLO")
            Answer("HELO", "250 scripted.test\r\n");
        else if (verb == "MAIL" || verb == "RCPT")
            Answer(verb, "250 2.1.0 ok\r\n");
        else if (verb == "DATA")
            Answer("DATA", "354 end with <CRLF>.<CRLF>\r\n");
        else if (verb == "QUIT")
            Answer("QUIT", "221 bye\r\n");
        else
            Answer(verb, "500 unknown command\r\n");
        if (!client_)
            return;
    }
}

void ScriptedSmtpPeer::Answer(const QByteArray &verb, const QByteArray &defaultReply)
{
    const int occurrence = seen_[verb]++;
    QByteArray reply = defaultReply;
    const auto &overrides = replies_.value(verb);
    if (overrides.contains(occurrence))
        reply = overrides.value(occurrence);
    else if (overrides.contains(-1))
        reply = overrides.value(-1);
    if (verb == "DATA" && reply.startsWith("354"))
        inData_ = true;
    Write(reply);
    if (verb == "QUIT" && reply.startsWith("221") && client_)
        client_->disconnectFromHost();
}

void ScriptedSmtpPeer::Write(const QByteArray &bytes)
{
    if (!client_ || bytes == Silent)
        return;
    if (bytes.endsWith(Close)) {
        // A reply and then the end: "220 go ahead" and no TLS after it.
        client_->write(bytes.chopped(Close.size()));
        client_->flush();
        client_->disconnectFromHost();
        return;
    }
    if (!SplitWrites || bytes.size() < 2) {
        client_->write(bytes);
        client_->flush();
        return;
    }
    const qsizetype half = bytes.size() / 2;
    client_->write(bytes.left(half));
    client_->flush();
    QPointer<QTcpSocket> socket = client_;
    QTimer::singleShot(20, this, [socket, rest = bytes.mid(half)] {
        if (socket) {
            socket->write(rest);
            socket->flush();
        }
    });
}

QByteArray ScriptedSmtpPeer::Unstuff(const QByteArray &raw)
{
    QByteArrayList lines = raw.split('\n');
    for (QByteArray &line : lines)
        if (line.startsWith('.'))
            line.remove(0, 1);
    return lines.join('\n');
}

QByteArrayList ScriptedSmtpPeer::HeaderLines(const QByteArray &message)
{
    const qsizetype end = message.indexOf("\r\n\r\n");
    const QByteArray header = end < 0 ? message : message.left(end);
    QByteArrayList lines;
    for (const QByteArray &physical : header.split('\n')) {
        QByteArray line = physical;
        if (line.endsWith('\r'))
            line.chop(1);
        if ((line.startsWith(' ') || line.startsWith('\t')) && !lines.isEmpty())
            lines.last().append(line);  // unfold
        else
            lines.append(line);
    }
    return lines;
}

QByteArray ScriptedSmtpPeer::Body(const QByteArray &message)
{
    const qsizetype end = message.indexOf("\r\n\r\n");
    return end < 0 ? QByteArray() : message.mid(end + 4);
}
