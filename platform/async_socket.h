#pragma once
// One non-blocking TCP descriptor (IPv4 or IPv6) that reports readiness the way the
// classic asynchronous socket API did: edge-like notifications with an error
// number, delivered from the event loop.
//
// QSocketNotifier is level-triggered, so each notifier is armed only while its
// notification is wanted: "read" again after the owner received, "write" after
// a send that would block (and once after connect), "close" exactly once, after
// the data that came before it has been read.
//
// TLS: startTls() after connect or accept runs the client handshake inside
// the notifications (FdRead and FdWrite are held back meanwhile) and ends it
// with FdTls (0 or a TlsErrorNumber). Then send and receive go through TLS
// with the same rhythm: FdRead also for bytes already decrypted inside
// OpenSSL, FdWrite after a send that would block, FdClose once after the data
// (0 after the peer's close_notify, TlsErrorTruncated for a stream that ended
// without it). close() sends close_notify first when it can; shutdownTls()
// does it and tells when it is out (an upload's end).

#include "socket_address.h"
#include "tls_session.h"

#include <QObject>
#include <functional>
#include <memory>
#include <netinet/in.h>

class QSocketNotifier;

namespace platform {

class AsyncSocket : public QObject {
    Q_OBJECT
public:
    enum Event : int { FdRead = 1, FdWrite = 2, FdOob = 4, FdAccept = 8, FdConnect = 16, FdClose = 32, FdTls = 64 };

    explicit AsyncSocket(QObject *parent = nullptr);
    ~AsyncSocket() override;

    // (event, Winsock error number)
    std::function<void(int event, int error)> onEvent;

    bool isOpen() const { return fd_ >= 0; }
    int descriptor() const { return fd_; }
    // Changes whenever the descriptor is opened, adopted or closed.
    quint64 generation() const { return generation_; }

    // Each call returns 0 or a Winsock error number. create() makes an IPv4
    // descriptor; connectTo and bindTo make it anew in the address's family
    // when that differs (nothing has happened on it yet then).
    int create(int family = AF_INET);
    int connectTo(const SocketAddress &address);  // 0 also while the connect is in progress
    int bindTo(const SocketAddress &address);
    int listenFor(int backlog);
    int acceptFrom(AsyncSocket &listener, SocketAddress &peer);
    int localAddress(SocketAddress &address) const;
    int peerAddress(SocketAddress &address) const;
    int family() const { return family_; }
    int close();

    // Which notifications to deliver (a mask of Event values).
    void select(int mask);

    // Bytes taken or received; -1 with *error set on failure (10035 when it would
    // block). receive() returns 0 at the end of the stream.
    qint64 send(const char *data, qint64 count, bool urgent, int *error);
    qint64 receive(char *buffer, qint64 count, int *error);

    // TLS on the connected descriptor (see above); 0 or an error number. The
    // name (or address) is checked in the server's certificate; `reuse` (may
    // be null) is offered for resumption.
    int startTls(const QString &hostName, const TlsSessionHandle &reuse = nullptr);
    bool tlsStarted() const { return bool(tls_); }
    bool tlsEstablished() const { return tls_ && tlsPhase_ == TlsPhase::Established; }
    // 0 once close_notify is out, WSAEWOULDBLOCK to try again after FdWrite,
    // else an error number. 0 without TLS.
    int shutdownTls();
    // After the handshake: "TLSv1.3", the cipher, the server's certificate,
    // the latest session for another connection, whether this one resumed.
    QString tlsProtocol() const;
    QString tlsCipher() const;
    TlsCertificateInfo tlsCertificate() const;
    TlsSessionHandle tlsSession() const;
    std::vector<TlsSessionHandle> takeTlsSessions();
    bool tlsSessionReused() const;
    // OpenSSL's words about the last TLS failure.
    QString tlsErrorText() const;

private:
    void adopt(int fd);
    int matchFamily(int family);
    void updateNotifiers();
    void onReadable();
    void onWritable();
    void reportClose(int error);
    void deliver(int event, int error);
    void post(int event, int error);
    void resetTls();
    void continueHandshake();
    qint64 sendTls(const char *data, qint64 count, int *error);
    qint64 receiveTls(char *buffer, qint64 count, int *error);
    void postTlsRead();
    void onReadableTls();
    int tlsFailureError() const;

    enum class TlsPhase { None, Handshaking, Established, Failed };
    std::unique_ptr<TlsSession> tls_;
    TlsPhase tlsPhase_ = TlsPhase::None;
    bool handshakeWantsRead_ = false;
    bool handshakeWantsWrite_ = false;
    bool tlsWriteWantsRead_ = false;   // an SSL_write waits for the descriptor to be readable
    bool tlsReadPosted_ = false;       // a read notice for decrypted bytes is queued
    // The end of the stream met behind data the owner already got: reported at its next receive.
    TlsSession::Result tlsEnd_ = TlsSession::Result::Done;

    int fd_ = -1;
    int family_ = AF_INET;
    int mask_ = 0;
    quint64 generation_ = 0;  // guards posted notifications against a reused object
    bool listening_ = false;
    bool connecting_ = false;
    bool connected_ = false;  // connect completed or accepted: reads and writes make sense
    bool readWanted_ = true;
    bool writeWanted_ = false;
    bool closeReported_ = false;
    std::unique_ptr<QSocketNotifier> readNotifier_;
    std::unique_ptr<QSocketNotifier> writeNotifier_;
};

}  // namespace platform
