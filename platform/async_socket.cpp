#include "async_socket.h"

#include "winsock_errors.h"

#include <QPointer>
#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {

AsyncSocket::AsyncSocket(QObject *parent) : QObject(parent) {}

AsyncSocket::~AsyncSocket()
{
    close();
}

int AsyncSocket::create(int family)
{
    if (fd_ >= 0)
        return WSANOERROR;
    int fd = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return winsockErrorFromErrno(errno);
    family_ = family;
    adopt(fd);
    return WSANOERROR;
}

int AsyncSocket::matchFamily(int family)
{
    if (fd_ < 0)
        return WSAENOTSOCK;
    if (family == family_)
        return WSANOERROR;
    // Owners create the descriptor before they know the address; a fresh one
    // of the other family takes its place and keeps the interest registered.
    const int mask = mask_;
    close();
    const int error = create(family);
    if (error == WSANOERROR)
        select(mask);
    return error;
}

void AsyncSocket::adopt(int fd)
{
    fd_ = fd;
    ++generation_;
    mask_ = 0;  // interest is registered anew for every descriptor
    listening_ = false;
    connecting_ = false;
    connected_ = false;
    readWanted_ = true;
    writeWanted_ = false;
    closeReported_ = false;
    resetTls();
    readNotifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    writeNotifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
    connect(readNotifier_.get(), &QSocketNotifier::activated, this, &AsyncSocket::onReadable);
    connect(writeNotifier_.get(), &QSocketNotifier::activated, this, &AsyncSocket::onWritable);
    updateNotifiers();
}

int AsyncSocket::connectTo(const SocketAddress &address)
{
    if (const int error = matchFamily(address.Family()); error != WSANOERROR)
        return error;
    if (::connect(fd_, address.Raw(), address.Length()) == 0) {
        connecting_ = true;
        post(FdConnect, 0);
        return WSANOERROR;
    }
    int err = errno;
    if (err == EINPROGRESS || err == EAGAIN) {
        connecting_ = true;
        updateNotifiers();
        return WSANOERROR;
    }
    // A refusal known at once still arrives as the connect notification, as
    // it would from a platform that always completes connects asynchronously.
    if (err == ECONNREFUSED || err == ENETUNREACH || err == EHOSTUNREACH || err == ETIMEDOUT) {
        post(FdConnect, winsockErrorFromErrno(err));
        return WSANOERROR;
    }
    return winsockErrorFromErrno(err);
}

int AsyncSocket::bindTo(const SocketAddress &address)
{
    if (const int error = matchFamily(address.Family()); error != WSANOERROR)
        return error;
    if (::bind(fd_, address.Raw(), address.Length()) != 0)
        return winsockErrorFromErrno(errno);
    return WSANOERROR;
}

int AsyncSocket::listenFor(int backlog)
{
    if (fd_ < 0)
        return WSAENOTSOCK;
    if (::listen(fd_, backlog) != 0)
        return winsockErrorFromErrno(errno);
    listening_ = true;
    readWanted_ = true;
    updateNotifiers();
    return WSANOERROR;
}

int AsyncSocket::acceptFrom(AsyncSocket &listener, SocketAddress &peer)
{
    if (listener.fd_ < 0)
        return WSAENOTSOCK;
    sockaddr_storage storage{};
    socklen_t length = sizeof storage;
    int fd = ::accept4(listener.fd_, reinterpret_cast<sockaddr *>(&storage), &length,
                       SOCK_NONBLOCK | SOCK_CLOEXEC);
    int err = errno;
    listener.readWanted_ = true;
    listener.updateNotifiers();
    if (fd < 0)
        return winsockErrorFromErrno(err);
    peer = SocketAddress::FromStorage(storage, length);
    close();
    family_ = listener.family_;
    adopt(fd);
    connected_ = true;
    return WSANOERROR;
}

int AsyncSocket::localAddress(SocketAddress &address) const
{
    if (fd_ < 0)
        return WSAENOTSOCK;
    sockaddr_storage storage{};
    socklen_t length = sizeof storage;
    if (::getsockname(fd_, reinterpret_cast<sockaddr *>(&storage), &length) != 0)
        return winsockErrorFromErrno(errno);
    address = SocketAddress::FromStorage(storage, length);
    return WSANOERROR;
}

int AsyncSocket::peerAddress(SocketAddress &address) const
{
    if (fd_ < 0)
        return WSAENOTSOCK;
    sockaddr_storage storage{};
    socklen_t length = sizeof storage;
    if (::getpeername(fd_, reinterpret_cast<sockaddr *>(&storage), &length) != 0)
        return winsockErrorFromErrno(errno);
    address = SocketAddress::FromStorage(storage, length);
    return WSANOERROR;
}

int AsyncSocket::close()
{
    if (fd_ < 0)
        return WSAENOTSOCK;
    if (tls_) {
        // An orderly end where it can be had: close_notify goes out first.
        if (tlsPhase_ == TlsPhase::Established)
            tls_->Shutdown();
        // Records nobody read (TLS 1.3 session tickets) would make the close
        // a reset, and a reset discards what the peer has not read yet: the
        // end of an upload. They are read and dropped first.
        char discard[4096];
        for (int i = 0; i < 64 && ::recv(fd_, discard, sizeof discard, MSG_DONTWAIT) > 0; ++i) {
        }
    }
    resetTls();
    readNotifier_.reset();
    writeNotifier_.reset();
    int result = ::close(fd_) == 0 ? WSANOERROR : winsockErrorFromErrno(errno);
    fd_ = -1;
    ++generation_;
    listening_ = connecting_ = connected_ = writeWanted_ = false;
    return result;
}

void AsyncSocket::select(int mask)
{
    mask_ = mask;
    // Asking for "write" on a connected socket reports it writable once, as the
    // classic API did when the interest was registered.
    if ((mask & FdWrite) && fd_ >= 0 && connected_)
        writeWanted_ = true;
    updateNotifiers();
}

qint64 AsyncSocket::send(const char *data, qint64 count, bool urgent, int *error)
{
    *error = WSANOERROR;
    if (fd_ < 0) {
        *error = WSAENOTSOCK;
        return -1;
    }
    if (tls_)
        return sendTls(data, count, error);
    ssize_t sent = ::send(fd_, data, size_t(count), MSG_NOSIGNAL | (urgent ? MSG_OOB : 0));
    if (sent >= 0)
        return sent;
    *error = winsockErrorFromErrno(errno);
    if (*error == WSAEWOULDBLOCK) {
        writeWanted_ = true;
        updateNotifiers();
    }
    return -1;
}

qint64 AsyncSocket::receive(char *buffer, qint64 count, int *error)
{
    *error = WSANOERROR;
    if (fd_ < 0) {
        *error = WSAENOTSOCK;
        return -1;
    }
    if (tls_)
        return receiveTls(buffer, count, error);
    ssize_t got = ::recv(fd_, buffer, size_t(count), 0);
    if (got > 0) {
        readWanted_ = true;
        updateNotifiers();
        return got;
    }
    if (got == 0) {
        // End of stream met by the owner's own receive: the close notification
        // follows, once, after the current handler.
        if (!closeReported_) {
            closeReported_ = true;
            updateNotifiers();
            post(FdClose, 0);
        }
        return 0;
    }
    *error = winsockErrorFromErrno(errno);
    if (*error == WSAEWOULDBLOCK) {
        readWanted_ = true;
        updateNotifiers();
    }
    return -1;
}

void AsyncSocket::updateNotifiers()
{
    if (fd_ < 0)
        return;
    bool wantRead = (connected_ || listening_) && !closeReported_ && readWanted_
                    && (mask_ & (FdRead | FdClose | FdAccept));
    bool wantWrite = connecting_ ? bool(mask_ & (FdConnect | FdWrite))
                                 : (writeWanted_ && (mask_ & FdWrite) && !closeReported_);
    if (tlsPhase_ == TlsPhase::Handshaking) {
        // The handshake alone decides what to wait for.
        wantRead = handshakeWantsRead_;
        wantWrite = handshakeWantsWrite_;
    } else if (tlsWriteWantsRead_ && !closeReported_ && (mask_ & FdWrite)) {
        wantRead = true;
    }
    if (readNotifier_ && readNotifier_->isEnabled() != wantRead)
        readNotifier_->setEnabled(wantRead);
    if (writeNotifier_ && writeNotifier_->isEnabled() != wantWrite)
        writeNotifier_->setEnabled(wantWrite);
}

void AsyncSocket::onReadable()
{
    if (fd_ < 0)
        return;
    if (tlsPhase_ == TlsPhase::Handshaking) {
        continueHandshake();
        return;
    }
    if (tls_) {
        onReadableTls();
        return;
    }
    if (listening_) {
        readWanted_ = false;
        updateNotifiers();
        deliver(FdAccept, 0);
        return;
    }
    char probe;
    ssize_t got = ::recv(fd_, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
    if (got > 0) {
        readWanted_ = false;
        updateNotifiers();
        deliver(FdRead, 0);
    } else if (got == 0) {
        reportClose(0);
    } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
        reportClose(winsockErrorFromErrno(errno));
    }
}

void AsyncSocket::onWritable()
{
    if (fd_ < 0)
        return;
    if (connecting_) {
        int err = 0;
        socklen_t length = sizeof err;
        if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &err, &length) != 0)
            err = errno;
        connecting_ = false;
        connected_ = err == 0;
        writeWanted_ = false;
        readWanted_ = true;
        // A failed connect is the socket's last word: no close follows it.
        closeReported_ = err != 0;
        updateNotifiers();
        quint64 generation = generation_;
        QPointer<AsyncSocket> self(this);  // the handler may delete its socket
        deliver(FdConnect, winsockErrorFromErrno(err));
        if (self && err == 0 && generation == generation_ && fd_ >= 0)
            deliver(FdWrite, 0);
        return;
    }
    if (tlsPhase_ == TlsPhase::Handshaking) {
        continueHandshake();
        return;
    }
    writeWanted_ = false;
    updateNotifiers();
    deliver(FdWrite, 0);
}

void AsyncSocket::reportClose(int error)
{
    if (closeReported_)
        return;
    closeReported_ = true;
    updateNotifiers();
    deliver(FdClose, error);
}

void AsyncSocket::deliver(int event, int error)
{
    // The TLS result always goes to the owner that asked for it; data events
    // wait until the handshake is over.
    if (event != FdTls && !(mask_ & event))
        return;
    if (tlsPhase_ == TlsPhase::Handshaking && (event == FdRead || event == FdWrite || event == FdClose))
        return;
    // A copy: the handler may replace onEvent while it runs.
    auto handler = onEvent;
    if (handler)
        handler(event, error);
}

void AsyncSocket::post(int event, int error)
{
    quint64 generation = generation_;
    QPointer<AsyncSocket> self(this);
    QMetaObject::invokeMethod(this, [self, generation, event, error] {
        if (!self || self->generation_ != generation || self->fd_ < 0)
            return;
        if (event == FdConnect) {
            self->connecting_ = false;
            self->connected_ = error == 0;
            self->readWanted_ = true;
            self->closeReported_ = error != 0;
            self->updateNotifiers();
            self->deliver(FdConnect, error);
            if (error == 0 && self && self->generation_ == generation && self->fd_ >= 0)
                self->deliver(FdWrite, 0);
        } else {
            self->deliver(event, error);
        }
    }, Qt::QueuedConnection);
}

}  // namespace platform
