#include "wsocket.h"

#include "socket_error_text.h"

#include "platform/winsock_errors.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QPointer>

#include <arpa/inet.h>

namespace {

// inet_addr's notion of a dotted address (also "127.1" and the like).
bool DottedAddress(const QString &text, in_addr *address)
{
    QByteArray latin = text.toLatin1();
    if (latin.isEmpty() || latin.size() != text.size() || latin.contains('\0'))
        return false;
    return inet_aton(latin.constData(), address) != 0;
}

}  // namespace

TWSocket::TWSocket(QObject *parent) : QObject(parent), socket_(this)
{
    socket_.onEvent = [this](int event, int error) { onSocketEvent(event, error); };
}

TWSocket::~TWSocket()
{
    if (lookupId_ >= 0)
        QHostInfo::abortHostLookup(lookupId_);
    socket_.onEvent = nullptr;
}

void TWSocket::checkClosed(const char *property) const
{
    if (state_ != wsClosed)
        throw ESocketException(QStringLiteral("Cannot change %1 if not closed").arg(QLatin1StringView(property)));
}

void TWSocket::SetAddr(const QString &value)
{
    checkClosed("Addr");
    addr_ = value;
}

void TWSocket::SetPort(const QString &value)
{
    checkClosed("Port");
    port_ = value;
}

void TWSocket::SetProto(const QString &value)
{
    checkClosed("Proto");
    proto_ = value;
}

void TWSocket::fire(const Event &event, int error)
{
    // A copy: the handler may replace the event while it runs.
    Event handler = event;
    if (handler)
        handler(this, error);
}

void TWSocket::DnsLookup(const QString &hostName)
{
    if (lookupId_ >= 0) {
        QHostInfo::abortHostLookup(lookupId_);
        lookupId_ = -1;
    }
    if (hostName.isEmpty()) {
        lastError_ = platform::WSAEINVAL;
        fire(OnDnsLookupDone, platform::WSAEINVAL);
        throw ESocketException(QStringLiteral("DNS lookup: invalid host name."));
    }
    in_addr address{};
    if (DottedAddress(hostName, &address)) {
        dnsResult_ = QString::fromLatin1(inet_ntoa(address));
        lastError_ = 0;
        fire(OnDnsLookupDone, 0);
        return;
    }
    // QHostInfo never refuses to start a lookup; its failures arrive as results.
    lookupId_ = QHostInfo::lookupHost(hostName, this, &TWSocket::onLookupResult);
}

void TWSocket::onLookupResult(const QHostInfo &info)
{
    if (info.lookupId() != lookupId_)
        return;
    lookupId_ = -1;
    int error = platform::winsockErrorFromLookup(info.error());
    if (error == 0) {
        // The socket speaks IPv4 only: take the first IPv4 address found.
        error = platform::WSANO_DATA;
        for (const QHostAddress &address : info.addresses()) {
            if (address.protocol() == QAbstractSocket::IPv4Protocol) {
                dnsResult_ = address.toString();
                error = 0;
                break;
            }
        }
    }
    finishLookup(error);
}

void TWSocket::finishLookup(int error)
{
    lastError_ = error;
    fire(OnDnsLookupDone, error);
}

void TWSocket::CancelDnsLookup()
{
    if (lookupId_ < 0)
        return;
    QHostInfo::abortHostLookup(lookupId_);
    lookupId_ = -1;
    finishLookup(platform::WSAEINTR);
}

[[noreturn]] void TWSocket::raiseSocketError(int error, const char *function)
{
    lastError_ = error;
    // A reset or unconnected socket is of no further use: close it before telling.
    if (error == platform::WSAECONNRESET || error == platform::WSAENOTCONN)
        Close();
    throw ESocketException(QStringLiteral("Error %1 in function %2\r\n%3")
                               .arg(error)
                               .arg(QLatin1StringView(function), SocketErrorText(error)));
}

void TWSocket::Connect()
{
    if (state_ != wsClosed) {
        lastError_ = platform::WSAEISCONN;
        throw ESocketException(QStringLiteral("Connect: socket is already in use"));
    }
    if (port_.isEmpty()) {
        lastError_ = platform::WSAEINVAL;
        throw ESocketException(QStringLiteral("Connect: No Port Specified"));
    }
    if (addr_.isEmpty()) {
        lastError_ = platform::WSAEDESTADDRREQ;
        throw ESocketException(QStringLiteral("Connect: No IP Address Specified"));
    }
    if (proto_.compare(u"tcp", Qt::CaseInsensitive) != 0) {
        lastError_ = platform::WSAEPROTONOSUPPORT;
        throw ESocketException(QStringLiteral("Connect: Unsupported protocol '%1'").arg(proto_));
    }
    bool numeric = false;
    uint port = port_.toUInt(&numeric);
    if (!numeric || port == 0 || port > 65535) {
        lastError_ = platform::WSAEINVAL;
        throw ESocketException(QStringLiteral("Connect: Invalid port '%1'").arg(port_));
    }
    in_addr address{};
    if (!DottedAddress(addr_, &address)) {
        lastError_ = platform::WSAEDESTADDRREQ;
        throw ESocketException(QStringLiteral("Connect: Invalid IP address '%1'").arg(addr_));
    }

    int error = socket_.create();
    if (error != 0)
        raiseSocketError(error, "socket");
    ++connection_;
    closeNoticed_ = false;
    sentNoticePending_ = false;
    sendQueue_.clear();
    socket_.select(platform::AsyncSocket::FdRead | platform::AsyncSocket::FdWrite
                   | platform::AsyncSocket::FdConnect | platform::AsyncSocket::FdClose);
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(quint16(port));
    target.sin_addr = address;
    error = socket_.connectTo(target);
    if (error != 0) {
        socket_.close();
        closeNoticed_ = true;
        raiseSocketError(error, "connect");
    }
    state_ = wsConnecting;
}

void TWSocket::onSocketEvent(int event, int error)
{
    switch (event) {
    case platform::AsyncSocket::FdConnect:
        sessionConnected(error);
        break;
    case platform::AsyncSocket::FdRead:
        fire(OnDataAvailable, error);
        break;
    case platform::AsyncSocket::FdWrite:
        tryToSend();
        break;
    case platform::AsyncSocket::FdClose:
        sessionClosed(error);
        break;
    case platform::AsyncSocket::FdTls:
        lastError_ = error;
        fire(OnTlsDone, error);
        break;
    default:
        break;
    }
}

void TWSocket::sessionConnected(int error)
{
    if (error != 0) {
        // A failed connect leaves nothing to close: the one event tells it all.
        socket_.close();
        closeNoticed_ = true;
        state_ = wsClosed;
        lastError_ = error;
        fire(OnSessionConnected, error);
        return;
    }
    state_ = wsConnected;
    fire(OnSessionConnected, 0);
}

void TWSocket::sessionClosed(int error)
{
    if (closeNoticed_)
        return;
    closeNoticed_ = true;
    if (socket_.isOpen())
        socket_.close();
    state_ = wsClosed;
    sendQueue_.clear();
    if (error != 0)
        lastError_ = error;
    fire(OnSessionClosed, error);
}

int TWSocket::Send(const char *data, int count)
{
    if (state_ != wsConnected)
        raiseSocketError(platform::WSAENOTCONN, "send");
    if (count <= 0)
        return 0;
    sendQueue_.append(data, count);
    tryToSend();
    return count;
}

void TWSocket::tryToSend()
{
    if (state_ != wsConnected)
        return;
    bool hadData = !sendQueue_.isEmpty();
    while (!sendQueue_.isEmpty()) {
        int error = 0;
        qint64 sent = socket_.send(sendQueue_.constData(), sendQueue_.size(), false, &error);
        if (sent < 0) {
            if (error == platform::WSAEWOULDBLOCK)
                return;  // the write notification brings us back
            raiseSocketError(error, "send");
        }
        sendQueue_.remove(0, sent);
    }
    if (!hadData || sentNoticePending_)
        return;
    // Drained: tell the owner after the current handler, never from inside Send.
    sentNoticePending_ = true;
    QPointer<TWSocket> self(this);
    quint64 connection = connection_;
    QMetaObject::invokeMethod(this, [self, connection] {
        if (!self || self->connection_ != connection)
            return;
        self->sentNoticePending_ = false;
        if (self->state_ == wsConnected && self->sendQueue_.isEmpty())
            self->fire(self->OnDataSent, 0);
    }, Qt::QueuedConnection);
}

int TWSocket::Receive(char *buffer, int maximum)
{
    if (!socket_.isOpen()) {
        lastError_ = platform::WSAENOTCONN;
        return -1;
    }
    int error = 0;
    qint64 got = socket_.receive(buffer, maximum, &error);
    if (got < 0) {
        lastError_ = error;
        return -1;
    }
    return int(got);
}

int TWSocket::StartTls(const QString &hostName)
{
    if (state_ != wsConnected)
        return lastError_ = platform::WSAENOTCONN;
    return lastError_ = socket_.startTls(hostName);
}

void TWSocket::Close()
{
    if (!socket_.isOpen()) {
        state_ = wsClosed;
        return;
    }
    socket_.close();
    state_ = wsClosed;
    sendQueue_.clear();
    if (closeNoticed_)
        return;
    QPointer<TWSocket> self(this);
    quint64 connection = connection_;
    QMetaObject::invokeMethod(this, [self, connection] {
        if (!self || self->connection_ != connection || self->closeNoticed_)
            return;
        self->closeNoticed_ = true;
        self->fire(self->OnSessionClosed, 0);
    }, Qt::QueuedConnection);
}
