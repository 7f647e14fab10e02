#include "line_socket.h"

#include "winsock_errors.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QPointer>

#include <arpa/inet.h>

namespace platform {

LineSocket::LineSocket(QObject *parent) : QObject(parent)
{
    address_.sin_family = AF_INET;
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
    // inet_addr: an unparsable text gives INADDR_NONE, as the classic call did.
    address_.sin_addr.s_addr = ::inet_addr(text.toLatin1().constData());
}

void LineSocket::SetPortNumber(quint16 port)
{
    address_.sin_port = htons(port);
}

void LineSocket::UseResolvedAddress()
{
    address_.sin_addr.s_addr = resolvedAddress_;
}

QString LineSocket::DottedAddress() const
{
    return QString::fromLatin1(::inet_ntoa(address_.sin_addr));
}

void LineSocket::LookupHost(const QString &name)
{
    if (lookupId_ != 0)
        return;
    HostName = name;
    QPointer<LineSocket> self(this);
    lookupId_ = QHostInfo::lookupHost(name, this, [self](const QHostInfo &info) {
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
    quint32 first = 0;
    if (error == 0) {
        error = WSANO_DATA;
        for (const QHostAddress &address : info.addresses()) {
            bool isIPv4 = false;
            quint32 v4 = address.toIPv4Address(&isIPv4);
            if (isIPv4) {
                first = htonl(v4);
                error = 0;
                break;
            }
        }
    }
    StartCountdown(0);
    LastError = quint16(error);
    if (error == 0)
        resolvedAddress_ = first;
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
    if (LastError == 0)
        StartCountdown(TimeOutConnect);
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
    sockaddr_in peer{};
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
    sockaddr_in local{};
    LastError = quint16(socket_.localAddress(local));
    return QString::fromLatin1(::inet_ntoa(local.sin_addr));
}

quint16 LineSocket::LocalPort()
{
    if (!socket_.isOpen())
        return 0;
    sockaddr_in local{};
    LastError = quint16(socket_.localAddress(local));
    return ntohs(local.sin_port);
}

int LineSocket::CloseSocket()
{
    if (lookupId_ != 0) {
        QHostInfo::abortHostLookup(lookupId_);
        lookupId_ = 0;
    }
    StartCountdown(0);
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
