#include "line_socket.h"

#include "winsock_errors.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QPointer>

#include <arpa/inet.h>
#include <cstring>

namespace platform {

LineSocket::LineSocket(QObject *parent) : QObject(parent)
{
    countdown_.setInterval(1000);
    connect(&countdown_, &QTimer::timeout, this, &LineSocket::onCountdownTick);
    socket_.onEvent = [this](int event, int error) { dispatch(SocketNotice, event, error); };
}

LineSocket::~LineSocket()
{
    if (lookupId_)
        QHostInfo::abortHostLookup(lookupId_);
    UnloadWinsock();
}

bool LineSocket::LoadWinsock(const QString &)
{
    // The socket calls are part of the C library here; nothing to bind.
    libraryLoaded_ = true;
    return libraryLoaded_;
}

bool LineSocket::StartWinsock()
{
    if (!libraryStarted_) {
        if (!libraryLoaded_)
            LoadWinsock();
        libraryStarted_ = libraryLoaded_;
    }
    return libraryStarted_;
}

void LineSocket::StopWinsock()
{
    libraryStarted_ = false;
}

void LineSocket::UnloadWinsock()
{
    StopWinsock();
    libraryLoaded_ = false;
}

void LineSocket::CreateSocket()
{
    if (socket_.isOpen())
        return;
    LastError = quint16(socket_.create());
}

void LineSocket::SetAddressText(const QString &text)
{
    candidates_.clear();
    // inet_addr: an unparsable text gives INADDR_NONE, as the classic call did.
    if (!address_.SetText(text))
        address_.SetIpv4(INADDR_NONE);
}

void LineSocket::SetPortNumber(quint16 port)
{
    address_.SetPort(port);
}

void LineSocket::UseResolvedAddress()
{
    UseAddresses(resolved_);
}

void LineSocket::UseAddresses(const QList<SocketAddress> &addresses)
{
    if (addresses.isEmpty())
        return;
    const quint16 port = address_.Port();
    address_ = addresses.first();
    address_.SetPort(port);
    candidates_ = addresses.mid(1);
}

QString LineSocket::DottedAddress() const
{
    return address_.Text();
}

void LineSocket::LookupHost(const QString &name)
{
    if (lookupId_ != 0)
        return;
    HostName = name;
    QPointer<LineSocket> self(this);
    lookupId_ = QHostInfo::lookupHost(SocketAddress::WithoutBrackets(name), this, [self](const QHostInfo &info) {
        if (self)
            self->onLookupResult(info);
    });
    LastError = 0;
    StartCountdown(TimeOutArp);
}

void LineSocket::onLookupResult(const QHostInfo &info)
{
    if (info.lookupId() != lookupId_)
        return;  // a cancelled lookup that still reported
    int error = winsockErrorFromLookup(info.error());
    QList<SocketAddress> found;
    if (error == 0) {
        for (const QHostAddress &address : info.addresses()) {
            bool isIPv4 = false;
            const quint32 v4 = address.toIPv4Address(&isIPv4);
            if (isIPv4) {
                sockaddr_in record{};
                record.sin_family = AF_INET;
                record.sin_addr.s_addr = htonl(v4);
                found << SocketAddress(record);
            } else if (address.protocol() == QAbstractSocket::IPv6Protocol) {
                sockaddr_in6 record{};
                record.sin6_family = AF_INET6;
                const Q_IPV6ADDR bytes = address.toIPv6Address();
                std::memcpy(&record.sin6_addr, bytes.c, sizeof bytes.c);
                record.sin6_scope_id = address.scopeId().toUInt();
                found << SocketAddress(record);
            }
        }
        if (found.isEmpty())
            error = WSANO_DATA;
    }
    StartCountdown(0);
    LastError = quint16(error);
    // A failed lookup keeps the addresses of the last one that worked.
    if (error == 0)
        resolved_ = found;
    lookupId_ = 0;
    LookupDone();
}

void LineSocket::LookupDone()
{
    fire(OnLookupDone);
}

void LineSocket::ConnectSocket()
{
    socket_.select(AsyncSocket::FdRead | AsyncSocket::FdWrite | AsyncSocket::FdConnect
                   | AsyncSocket::FdClose | AsyncSocket::FdTls);
    int error = socket_.connectTo(address_);
    LastError = quint16(error == WSAEWOULDBLOCK ? 0 : error);
    connectPending_ = LastError == 0;
    if (LastError == 0)
        StartCountdown(TimeOutConnect);
    else if (!candidates_.isEmpty())
        ConnectNextCandidate();  // this family may be missing here altogether
}

bool LineSocket::ConnectNextCandidate()
{
    // One address of a host that offers several failed: the next one, with a
    // descriptor of its family, before the owner hears of anything.
    while (!candidates_.isEmpty()) {
        const quint16 port = address_.Port();
        address_ = candidates_.takeFirst();
        address_.SetPort(port);
        socket_.close();
        LastError = quint16(socket_.create(address_.Family()));
        if (LastError == 0)
            ConnectSocket();
        if (LastError == 0)
            return true;
    }
    return false;
}

void LineSocket::Listen()
{
    LastError = quint16(socket_.bindTo(address_));
    if (LastError != 0)
        return;
    socket_.select(AsyncSocket::FdAccept);
    LastError = quint16(socket_.listenFor(2));
}

void LineSocket::Accept(LineSocket &listener)
{
    SocketAddress peer;
    int error = socket_.acceptFrom(listener.socket_, peer);
    if (error != 0) {
        socket_.close();
        LastError = quint16(error);
        return;
    }
    address_ = peer;
    LastError = 0;
    SocketConnected = true;
    socket_.select(AsyncSocket::FdRead | AsyncSocket::FdWrite | AsyncSocket::FdClose | AsyncSocket::FdTls);
}

int LineSocket::recordResult(qint64 result, int error)
{
    if (result >= 1) {
        LastError = 0;
        return int(result);
    }
    if (result < 0)
        LastError = quint16(error == WSAEWOULDBLOCK ? 0 : error);
    return 0;
}

int LineSocket::SendData(const char *data, int count)
{
    int error = 0;
    qint64 sent = socket_.send(data, count, false, &error);
    return recordResult(sent, error);
}

int LineSocket::SendUrgentData(const char *data, int count)
{
    int error = 0;
    qint64 sent = socket_.send(data, count, true, &error);
    return recordResult(sent, error);
}

int LineSocket::ReceiveData(char *buffer, int count)
{
    int error = 0;
    qint64 got = socket_.receive(buffer, count, &error);
    return recordResult(got, error);
}

QString LineSocket::LocalAddressText()
{
    if (!socket_.isOpen())
        return QString();
    SocketAddress local;
    LastError = quint16(socket_.localAddress(local));
    return local.Text();
}

quint16 LineSocket::LocalPort()
{
    if (!socket_.isOpen())
        return 0;
    SocketAddress local;
    LastError = quint16(socket_.localAddress(local));
    return local.Port();
}

int LineSocket::CloseSocket()
{
    if (lookupId_ != 0) {
        QHostInfo::abortHostLookup(lookupId_);
        lookupId_ = 0;
    }
    StartCountdown(0);
    connectPending_ = false;
    if (!socket_.isOpen())
        return -1;
    LastError = quint16(socket_.close());
    SocketConnected = false;
    return LastError;
}

void LineSocket::StartCountdown(int seconds)
{
    countdown_.stop();
    if (seconds != 0) {
        countdownCounter_ = seconds;
        countdown_.start();
    }
}

void LineSocket::StartTls(const QString &hostName, const TlsSessionHandle &reuse)
{
    LastError = quint16(socket_.startTls(hostName, reuse));
}

int LineSocket::ShutdownTls()
{
    const int result = socket_.shutdownTls();
    LastError = quint16(result == WSAEWOULDBLOCK ? 0 : result);
    return result;
}

void LineSocket::PostNotice(int code)
{
    QPointer<LineSocket> self(this);
    QMetaObject::invokeMethod(this, [self, code] {
        if (self)
            self->dispatch(code, 0, 0);
    }, Qt::QueuedConnection);
}

void LineSocket::onCountdownTick()
{
    if (--countdownCounter_ > 0)
        return;
    if (connectPending_ && lookupId_ == 0 && ConnectNextCandidate())
        return;
    CloseSocket();
    fire(OnTimeout);
}

void LineSocket::onSocketEvent(int event, int error)
{
    StartCountdown(0);
    LastError = quint16(error);
    switch (event) {
    case AsyncSocket::FdRead:
        fire(OnRead);
        break;
    case AsyncSocket::FdWrite:
        fire(OnWrite);
        break;
    case AsyncSocket::FdAccept:
        fire(OnAccept);
        break;
    case AsyncSocket::FdTls:
        fire(OnTlsDone);
        break;
    case AsyncSocket::FdConnect:
        connectPending_ = false;
        if ((error == WSAECONNREFUSED || error == WSAEHOSTUNREACH || error == WSAENETUNREACH
             || error == WSAETIMEDOUT || error == WSAEADDRNOTAVAIL || error == WSAEAFNOSUPPORT)
            && ConnectNextCandidate())
            break;
        candidates_.clear();
        SocketConnected = (error == 0);
        fire(OnConnect);
        break;
    case AsyncSocket::FdClose: {
        quint64 generation = socket_.generation();
        QPointer<LineSocket> self(this);  // the handler may delete its socket
        fire(OnClose);
        // The handle goes at once, unless the handler already replaced it.
        if (self && socket_.generation() == generation) {
            socket_.close();
            SocketConnected = false;
        }
        break;
    }
    default:
        break;
    }
}

void LineSocket::dispatch(int code, int event, int error)
{
    if (code > SocketNotice) {
        if (OnMessage)
            OnMessage(code);
        return;
    }
    if (code == SocketNotice)
        onSocketEvent(event, error);
}

void LineSocket::fire(const Notify &event)
{
    if (event) {
        Notify handler = event;  // the handler may reassign the event while it runs
        handler(this);
    }
}

}  // namespace platform
