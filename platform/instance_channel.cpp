#include "instance_channel.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <unistd.h>

namespace platform {

namespace {

// An address is short; anything longer is not one.
constexpr qint64 kMaxMessageBytes = 16 * 1024;
constexpr int kConnectTimeoutMs = 1000;

}  // namespace

InstanceChannel::InstanceChannel(QObject *parent) : QObject(parent) {}

InstanceChannel::~InstanceChannel() = default;

QString InstanceChannel::DefaultName()
{
    // Tests run programs side by side: each set of them names its own channel.
    const QString forced = qEnvironmentVariable("TARVO_INSTANCE");
    if (!forced.isEmpty())
        return forced;
    return QStringLiteral("tarvo-%1").arg(::getuid());
}

bool InstanceChannel::SendToRunning(const QString &text, const QString &name)
{
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(kConnectTimeoutMs))
        return false;
    socket.write(text.toUtf8() + '\n');
    if (!socket.waitForBytesWritten(kConnectTimeoutMs))
        return false;
    // The receiver closes once it has the line: then the hand-over is done.
    socket.waitForDisconnected(kConnectTimeoutMs);
    return true;
}

bool InstanceChannel::Listen(const QString &name)
{
    if (server_)
        return server_->isListening();
    {
        // Someone answers: that program takes the addresses.
        QLocalSocket probe;
        probe.connectToServer(name);
        if (probe.waitForConnected(kConnectTimeoutMs)) {
            probe.abort();
            return false;
        }
    }
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(name)) {
        // A socket file left by a program that ended without removing it.
        QLocalServer::removeServer(name);
        if (!server_->listen(name))
            return false;
    }
    connect(server_, &QLocalServer::newConnection, this, &InstanceChannel::AcceptConnection);
    return true;
}

bool InstanceChannel::IsListening() const
{
    return server_ && server_->isListening();
}

void InstanceChannel::AcceptConnection()
{
    while (QLocalSocket *socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine()) {
                if (socket->bytesAvailable() > kMaxMessageBytes)
                    socket->abort();
                return;
            }
            const QString text = QString::fromUtf8(socket->readLine(kMaxMessageBytes)).trimmed();
            socket->disconnectFromServer();
            emit received(text);
        });
    }
}

}  // namespace platform
