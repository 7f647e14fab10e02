#pragma once
// The notification-driven TCP socket component that the FTP engine's control,
// data and listening connections and the mail sender's connection are built on.
// Every call returns at once; completion arrives as one of seven events.

#include "async_socket.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <netinet/in.h>

class QHostInfo;

namespace platform {

class LineSocket : public QObject {
    Q_OBJECT
public:
    // Notification codes: 1024 lookup done, 1025 socket event; codes above
    // 1025 are private notices of the owner (handed to OnMessage).
    static constexpr int LookupNotice = 1024;
    static constexpr int SocketNotice = 1025;

    using Notify = std::function<void(QObject *sender)>;

    explicit LineSocket(QObject *parent = nullptr);
    ~LineSocket() override;

    // Events; each optional. OnTlsDone ends StartTls (LastError: 0 or a
    // TlsErrorNumber).
    Notify OnLookupDone, OnConnect, OnClose, OnTimeout, OnRead, OnWrite, OnAccept, OnTlsDone;
    // Private notices (codes above 1025) of the owner.
    std::function<void(int code)> OnMessage;

    // The library operations keep their flags; the calls are always there.
    bool LoadWinsock(const QString &libraryName = QString());
    bool StartWinsock();
    void StopWinsock();
    void UnloadWinsock();
    bool WinsockLoaded() const { return libraryLoaded_; }
    bool WinsockStarted() const { return libraryStarted_; }

    void CreateSocket();
    // An IPv4 or IPv6 literal ("[::1]" too); other text gives INADDR_NONE, as
    // the classic inet_addr did.
    void SetAddressText(const QString &text);
    void SetPortNumber(quint16 port);
    // The lookup's addresses, both families, in the order the lookup gave
    // them: ConnectSocket tries the first, and a connect that is refused,
    // unreachable or timed out goes on to the next before OnConnect (or
    // OnTimeout) reports the last one's failure.
    void UseResolvedAddress();
    void UseAddresses(const QList<SocketAddress> &addresses);
    QList<SocketAddress> ResolvedAddresses() const { return resolved_; }
    // The address connected to or bound (either family, no brackets).
    QString DottedAddress() const;
    bool AddressIsIpv6() const { return address_.IsIpv6(); }
    void LookupHost(const QString &name);
    void ConnectSocket();
    void Listen();
    void Accept(LineSocket &listener);
    int SendData(const char *data, int count);
    int SendUrgentData(const char *data, int count);
    int ReceiveData(char *buffer, int count);
    QString LocalAddressText();
    quint16 LocalPort();
    int CloseSocket();
    void StartCountdown(int seconds);

    // TLS on the connected socket (AsyncSocket::startTls): the handshake runs
    // in the notifications and ends with OnTlsDone; afterwards SendData and
    // ReceiveData go through it. A stream that ends without the peer's
    // close_notify closes with LastError TlsErrorTruncated.
    void StartTls(const QString &hostName, const TlsSessionHandle &reuse = nullptr);
    bool TlsStarted() const { return socket_.tlsStarted(); }
    bool TlsActive() const { return socket_.tlsEstablished(); }
    // Sends close_notify: 0 when out, WSAEWOULDBLOCK to try again after the
    // next write notice, else an error number (also in LastError).
    int ShutdownTls();
    QString TlsProtocol() const { return socket_.tlsProtocol(); }
    QString TlsCipher() const { return socket_.tlsCipher(); }
    TlsCertificateInfo TlsCertificate() const { return socket_.tlsCertificate(); }
    TlsSessionHandle TlsSessionForReuse() const { return socket_.tlsSession(); }
    // The sessions the server issued on this connection since the last call.
    std::vector<TlsSessionHandle> TakeTlsSessions() { return socket_.takeTlsSessions(); }
    bool TlsSessionReused() const { return socket_.tlsSessionReused(); }
    QString TlsErrorText() const { return socket_.tlsErrorText(); }

    // Posts a private notice to this socket, handled after the current handler.
    void PostNotice(int code);

    bool HasSocket() const { return socket_.isOpen(); }
    bool LookupPending() const { return lookupId_ != 0; }
    bool CountdownRunning() const { return countdown_.isActive(); }
    int CountdownLeft() const { return countdownCounter_; }
    int Descriptor() const { return socket_.descriptor(); }
    // The address record, target of connect and bind.
    const SocketAddress &AddressRecord() const { return address_; }

    bool SocketConnected = false;
    int TimeOutConnect = 30;
    int TimeOutArp = 5;
    QString AddressText;
    QString HostName;
    quint16 LastError = 0;

protected:
    // Runs when a lookup has finished (LastError tells how); calls OnLookupDone.
    virtual void LookupDone();

private:
    void dispatch(int code, int event, int error);
    void onSocketEvent(int event, int error);
    void onLookupResult(const QHostInfo &info);
    void onCountdownTick();
    void fire(const Notify &event);
    int recordResult(qint64 result, int error);
    bool ConnectNextCandidate();

    AsyncSocket socket_;
    SocketAddress address_;
    QList<SocketAddress> resolved_;
    QList<SocketAddress> candidates_;  // still to try if the current connect fails
    bool connectPending_ = false;
    int lookupId_ = 0;
    int countdownCounter_ = 0;
    QTimer countdown_;
    bool libraryLoaded_ = false;
    bool libraryStarted_ = false;
};

}  // namespace platform
