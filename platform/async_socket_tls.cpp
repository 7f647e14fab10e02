// AsyncSocket's TLS side: the handshake inside the notifications, send and
// receive through OpenSSL, and the end of a TLS stream.

#include "async_socket.h"

#include "winsock_errors.h"

#include <QPointer>

namespace platform {

// ---------------------------------------------------------------- TLS

void AsyncSocket::resetTls()
{
    tls_.reset();
    tlsPhase_ = TlsPhase::None;
    handshakeWantsRead_ = false;
    handshakeWantsWrite_ = false;
    tlsWriteWantsRead_ = false;
    tlsReadPosted_ = false;
    tlsEnd_ = TlsSession::Result::Done;
}

int AsyncSocket::startTls(const QString &hostName, const TlsSessionHandle &reuse)
{
    if (fd_ < 0)
        return WSAENOTSOCK;
    if (!connected_ || listening_ || tls_)
        return WSAEINVAL;
    tls_ = std::make_unique<TlsSession>();
    if (!tls_->Begin(fd_, hostName, reuse)) {
        tlsPhase_ = TlsPhase::Failed;
        return TlsErrorUnavailable;
    }
    tlsPhase_ = TlsPhase::Handshaking;
    handshakeWantsRead_ = false;
    handshakeWantsWrite_ = false;
    updateNotifiers();
    // The first step runs from the event loop: the caller's handler ends first,
    // and the result always arrives as a notification.
    quint64 generation = generation_;
    QPointer<AsyncSocket> self(this);
    QMetaObject::invokeMethod(this, [self, generation] {
        if (self && self->generation_ == generation && self->fd_ >= 0
            && self->tlsPhase_ == TlsPhase::Handshaking)
            self->continueHandshake();
    }, Qt::QueuedConnection);
    return WSANOERROR;
}

void AsyncSocket::continueHandshake()
{
    const TlsSession::Result result = tls_->Handshake();
    handshakeWantsRead_ = result == TlsSession::Result::WantRead;
    handshakeWantsWrite_ = result == TlsSession::Result::WantWrite;
    if (handshakeWantsRead_ || handshakeWantsWrite_) {
        updateNotifiers();
        return;
    }
    quint64 generation = generation_;
    QPointer<AsyncSocket> self(this);
    if (result == TlsSession::Result::Done) {
        tlsPhase_ = TlsPhase::Established;
        readWanted_ = true;
        // Writable once, as after a connect: a sender starts from it.
        if (mask_ & FdWrite)
            writeWanted_ = true;
        updateNotifiers();
        deliver(FdTls, 0);
        if (self && generation == generation_ && tls_ && tls_->HasPending())
            postTlsRead();
        return;
    }
    // A failed handshake is the connection's last word: the owner closes it.
    tlsPhase_ = TlsPhase::Failed;
    closeReported_ = true;
    updateNotifiers();
    deliver(FdTls, TlsErrorHandshake);
}

int AsyncSocket::tlsFailureError() const
{
    if (tls_ && tls_->SystemError() != 0)
        return winsockErrorFromErrno(tls_->SystemError());
    return TlsErrorProtocol;
}

qint64 AsyncSocket::sendTls(const char *data, qint64 count, int *error)
{
    if (tlsPhase_ == TlsPhase::Handshaking) {
        *error = WSAEWOULDBLOCK;  // FdWrite follows the handshake
        return -1;
    }
    if (tlsPhase_ != TlsPhase::Established) {
        *error = TlsErrorHandshake;
        return -1;
    }
    // Urgent data has no place in a TLS stream: it goes in band.
    qint64 taken = 0;
    switch (tls_->Write(data, count, &taken)) {
    case TlsSession::Result::Done:
        return taken;
    case TlsSession::Result::WantWrite:
        *error = WSAEWOULDBLOCK;
        writeWanted_ = true;
        updateNotifiers();
        return -1;
    case TlsSession::Result::WantRead:
        *error = WSAEWOULDBLOCK;
        tlsWriteWantsRead_ = true;
        updateNotifiers();
        return -1;
    case TlsSession::Result::Closed:
        *error = WSAECONNRESET;
        return -1;
    case TlsSession::Result::Truncated:
        *error = TlsErrorTruncated;
        return -1;
    case TlsSession::Result::Failed:
        break;
    }
    *error = tlsFailureError();
    return -1;
}

qint64 AsyncSocket::receiveTls(char *buffer, qint64 count, int *error)
{
    if (tlsPhase_ == TlsPhase::Handshaking) {
        *error = WSAEWOULDBLOCK;
        return -1;
    }
    if (tlsPhase_ != TlsPhase::Established) {
        *error = TlsErrorHandshake;
        return -1;
    }
    TlsSession::Result end = tlsEnd_;
    if (end == TlsSession::Result::Done) {
        // As much as is there, record after record: one notification per
        // 16 KiB record would cost a turn of the event loop each.
        qint64 total = 0;
        while (total < count) {
            qint64 got = 0;
            const TlsSession::Result result = tls_->Read(buffer + total, count - total, &got);
            if (result == TlsSession::Result::Done) {
                total += got;
                continue;
            }
            if (result != TlsSession::Result::WantRead && result != TlsSession::Result::WantWrite)
                end = result;
            break;
        }
        if (total > 0) {
            tlsEnd_ = end;
            readWanted_ = true;
            updateNotifiers();
            // Bytes (or the end) already inside OpenSSL: no descriptor notification would tell.
            if (end != TlsSession::Result::Done || tls_->HasPending())
                postTlsRead();
            return total;
        }
        if (end == TlsSession::Result::Done) {
            *error = WSAEWOULDBLOCK;
            readWanted_ = true;
            updateNotifiers();
            return -1;
        }
        tlsEnd_ = end;
    }
    // The end of the stream; the close notification follows once.
    int closeError = 0;
    if (end == TlsSession::Result::Truncated)
        closeError = TlsErrorTruncated;
    else if (end != TlsSession::Result::Closed)
        closeError = tlsFailureError();
    if (!closeReported_) {
        closeReported_ = true;
        updateNotifiers();
        post(FdClose, closeError);
    }
    if (end == TlsSession::Result::Failed) {
        *error = closeError;
        return -1;
    }
    return 0;
}

void AsyncSocket::postTlsRead()
{
    if (tlsReadPosted_)
        return;
    tlsReadPosted_ = true;
    quint64 generation = generation_;
    QPointer<AsyncSocket> self(this);
    QMetaObject::invokeMethod(this, [self, generation] {
        if (!self || self->generation_ != generation || self->fd_ < 0)
            return;
        self->tlsReadPosted_ = false;
        if (!self->tlsEstablished() || self->closeReported_)
            return;
        if (self->tls_->HasPending() || self->tlsEnd_ != TlsSession::Result::Done) {
            self->readWanted_ = false;
            self->updateNotifiers();
            self->deliver(FdRead, 0);
        }
    }, Qt::QueuedConnection);
}

void AsyncSocket::onReadableTls()
{
    if (tlsWriteWantsRead_) {
        tlsWriteWantsRead_ = false;
        updateNotifiers();
        quint64 generation = generation_;
        QPointer<AsyncSocket> self(this);
        deliver(FdWrite, 0);
        if (!self || generation != generation_ || fd_ < 0)
            return;
    }
    if (tlsPhase_ != TlsPhase::Established || closeReported_ || !readWanted_)
        return;
    // A record may be a session ticket or a partial record: only decrypted
    // application data (or the stream's end) is worth a notification.
    qint64 got = 0;
    switch (tls_->Peek(&got)) {
    case TlsSession::Result::Done:
        readWanted_ = false;
        updateNotifiers();
        deliver(FdRead, 0);
        break;
    case TlsSession::Result::WantRead:
    case TlsSession::Result::WantWrite:
        break;
    case TlsSession::Result::Closed:
        reportClose(0);
        break;
    case TlsSession::Result::Truncated:
        reportClose(TlsErrorTruncated);
        break;
    case TlsSession::Result::Failed:
        reportClose(tlsFailureError());
        break;
    }
}

int AsyncSocket::shutdownTls()
{
    if (!tls_ || tlsPhase_ != TlsPhase::Established)
        return WSANOERROR;
    switch (tls_->Shutdown()) {
    case TlsSession::Result::Done:
    case TlsSession::Result::WantRead:
        return WSANOERROR;
    case TlsSession::Result::WantWrite:
        writeWanted_ = true;
        updateNotifiers();
        return WSAEWOULDBLOCK;
    default:
        return tlsFailureError();
    }
}

QString AsyncSocket::tlsProtocol() const
{
    return tlsEstablished() ? tls_->Protocol() : QString();
}

QString AsyncSocket::tlsCipher() const
{
    return tlsEstablished() ? tls_->Cipher() : QString();
}

TlsCertificateInfo AsyncSocket::tlsCertificate() const
{
    return tlsEstablished() ? tls_->Certificate() : TlsCertificateInfo();
}

TlsSessionHandle AsyncSocket::tlsSession() const
{
    return tlsEstablished() ? tls_->Session() : nullptr;
}

std::vector<TlsSessionHandle> AsyncSocket::takeTlsSessions()
{
    return tls_ ? tls_->TakeIssuedSessions() : std::vector<TlsSessionHandle>();
}

bool AsyncSocket::tlsSessionReused() const
{
    return tlsEstablished() && tls_->SessionReused();
}

QString AsyncSocket::tlsErrorText() const
{
    return tls_ ? tls_->ErrorText() : QString();
}

}  // namespace platform
