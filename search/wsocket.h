#pragma once
// TWSocket: the asynchronous TCP socket the HTTP client runs on. Every call
// returns at once; lookups, connects, arriving data, drained sends and closes
// come back as events from the event loop. Built on platform::AsyncSocket,
// whose notifications already carry Winsock error numbers.

#include "platform/async_socket.h"
#include "platform/exceptions.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>

class QHostInfo;

enum TSocketState {
    wsInvalidState,
    wsOpened,
    wsBound,
    wsConnecting,
    wsConnected,
    wsAccepting,
    wsListening,
    wsClosed,
};

class ESocketException : public platform::Exception {
public:
    using platform::Exception::Exception;
};

class TWSocket : public QObject {
    Q_OBJECT
public:
    using Event = std::function<void(QObject *sender, int error)>;

    explicit TWSocket(QObject *parent = nullptr);
    ~TWSocket() override;

    // Addr, Port and Proto may change only while the socket is closed.
    const QString &Addr() const { return addr_; }
    void SetAddr(const QString &value);
    const QString &Port() const { return port_; }
    void SetPort(const QString &value);
    const QString &Proto() const { return proto_; }
    void SetProto(const QString &value);

    const QString &DnsResult() const { return dnsResult_; }
    TSocketState State() const { return state_; }
    int LastError() const { return lastError_; }
    bool MultiThreaded = false;

    Event OnDnsLookupDone;
    Event OnSessionConnected;
    Event OnDataAvailable;
    Event OnDataSent;
    Event OnSessionClosed;
    // The TLS handshake StartTls began has ended: 0 or a platform::TlsErrorNumber.
    Event OnTlsDone;

    // A dotted address completes at once (inside the call); a name is looked up
    // asynchronously. An empty name completes with 10022 and raises.
    void DnsLookup(const QString &hostName);
    // The running lookup completes at once with 10004.
    void CancelDnsLookup();
    bool DnsLookupPending() const { return lookupId_ >= 0; }

    void Connect();
    // Queues the bytes; OnDataSent follows once everything queued has gone out.
    int Send(const char *data, int count);
    // Bytes read; 0 at the end of the stream; -1 with LastError set otherwise
    // (10035 when nothing is there yet).
    int Receive(char *buffer, int maximum);
    // OnSessionClosed follows after the current handler.
    void Close();

    qsizetype BufferedByteCount() const { return sendQueue_.size(); }

    // TLS on the connected socket: the name is checked in the certificate and
    // OnTlsDone tells the end of the handshake. 0 or an error number.
    int StartTls(const QString &hostName);
    bool TlsStarted() const { return socket_.tlsStarted(); }
    platform::TlsCertificateInfo TlsCertificate() const { return socket_.tlsCertificate(); }
    QString TlsErrorText() const { return socket_.tlsErrorText(); }

private:
    void onSocketEvent(int event, int error);
    void onLookupResult(const QHostInfo &info);
    void finishLookup(int error);
    void sessionConnected(int error);
    void sessionClosed(int error);
    void tryToSend();
    [[noreturn]] void raiseSocketError(int error, const char *function);
    void checkClosed(const char *property) const;
    void fire(const Event &event, int error);

    platform::AsyncSocket socket_;
    QString addr_;
    QString port_;
    QString proto_ = QStringLiteral("tcp");
    QString dnsResult_;
    TSocketState state_ = wsClosed;
    int lastError_ = 0;
    int lookupId_ = -1;
    // Identifies the connection a posted notice belongs to, so that a notice
    // from a connection already gone is dropped.
    quint64 connection_ = 0;
    bool closeNoticed_ = true;
    bool sentNoticePending_ = false;
    QByteArray sendQueue_;
};
