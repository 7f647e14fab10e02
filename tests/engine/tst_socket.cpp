// The line socket against real loopback peers: notifications, their rhythm
// and the error numbers owners rely on.

#include "engine/ftpsock.h"
#include "platform/winsock_errors.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

struct EventLog {
    QStringList events;
    void attach(Tmsocket &socket)
    {
        socket.OnLookupDone = [this](QObject *) { events << QStringLiteral("lookup"); };
        socket.OnConnect = [this](QObject *) { events << QStringLiteral("connect"); };
        socket.OnClose = [this](QObject *) { events << QStringLiteral("close"); };
        socket.OnTimeout = [this](QObject *) { events << QStringLiteral("timeout"); };
        socket.OnRead = [this](QObject *) { events << QStringLiteral("read"); };
        socket.OnWrite = [this](QObject *) { events << QStringLiteral("write"); };
        socket.OnAccept = [this](QObject *) { events << QStringLiteral("accept"); };
    }
};

quint16 FreePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

void ConnectTo(Tmsocket &socket, quint16 port)
{
    socket.CreateSocket();
    socket.SetAddressText(QStringLiteral("127.0.0.1"));
    socket.SetPortNumber(port);
    socket.ConnectSocket();
}

}  // namespace

class TestSocket : public QObject {
    Q_OBJECT
private slots:
    void serverClassification_data();
    void serverClassification();
    void lookupResolvesDottedAndNames();
    void failedLookupKeepsResolvedAddress();
    void closeCancelsLookupAndAllowsANewOne();
    void countdownOfZeroStartsNoTimer();
    void refusedConnectArrivesAsConnectEvent();
    void closeOnClosedSocketKeepsLastError();
    void connectReadWriteClose();
    void countdownClosesSilentConnect();
    void listenAcceptAndLocalAddress();
    void urgentDataArrivesOutOfBand();
    void privateNoticesGoToOnMessage();
    void connectsToEitherFamily_data();
    void connectsToEitherFamily();
};

void TestSocket::serverClassification_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("addressText");
    QTest::addColumn<QString>("hostName");
    QTest::newRow("all digits is numeric") << "21000" << "21000" << "";
    QTest::newRow("dotted address is looked up") << "10.0.0.1" << "" << "10.0.0.1";
    QTest::newRow("host name") << "ftp.example.org" << "" << "ftp.example.org";
    QTest::newRow("digits then letters") << "123abc" << "" << "123abc";
    QTest::newRow("IPv6 literal is connected to") << "::1" << "::1" << "";
    QTest::newRow("bracketed IPv6 literal") << "[2001:db8::5]" << "2001:db8::5" << "";
    QTest::newRow("brackets round a name are looked up") << "[host]" << "" << "[host]";
    QTest::newRow("broken IPv6 literal is looked up") << "1::2::3" << "" << "1::2::3";
}

void TestSocket::serverClassification()
{
    QFETCH(QString, server);
    Tmsocket socket;
    socket.AddressText = QStringLiteral("stale");
    socket.SetServer(server);
    QCOMPARE(socket.Server(), server);
    QFETCH(QString, addressText);
    QCOMPARE(socket.AddressText, addressText);
    QFETCH(QString, hostName);
    QCOMPARE(socket.HostName, hostName);

    // An empty server clears the host name and leaves the address as it was.
    socket.AddressText = QStringLiteral("1.2.3.4");
    socket.SetServer(QString());
    QCOMPARE(socket.HostName, QString());
    QCOMPARE(socket.AddressText, QStringLiteral("1.2.3.4"));
}

void TestSocket::lookupResolvesDottedAndNames()
{
    for (const QString &name : {QStringLiteral("127.0.0.1"), QStringLiteral("localhost")}) {
        Tmsocket socket;
        EventLog log;
        log.attach(socket);
        socket.LookupHost(name);
        QVERIFY(socket.LookupPending());
        QVERIFY(socket.CountdownRunning());
        QTRY_COMPARE_WITH_TIMEOUT(log.events, QStringList{QStringLiteral("lookup")}, 5000);
        QCOMPARE(socket.LastError, quint16(0));
        QVERIFY(!socket.CountdownRunning());
        socket.UseResolvedAddress();
        QCOMPARE(socket.DottedAddress(), QStringLiteral("127.0.0.1"));
    }
}

void TestSocket::failedLookupKeepsResolvedAddress()
{
    Tmsocket socket;
    EventLog log;
    log.attach(socket);
    socket.LookupHost(QStringLiteral("127.0.0.1"));
    QTRY_COMPARE_WITH_TIMEOUT(log.events.size(), 1, 5000);
    // ".invalid" never resolves (reserved), and no query leaves the machine for it.
    socket.LookupHost(QStringLiteral("no-such-host.invalid"));
    QTRY_COMPARE_WITH_TIMEOUT(log.events.size(), 2, 5000);
    QVERIFY(socket.LastError >= platform::WSAHOST_NOT_FOUND && socket.LastError <= platform::WSANO_DATA);
    socket.UseResolvedAddress();
    QCOMPARE(socket.DottedAddress(), QStringLiteral("127.0.0.1"));
}

void TestSocket::closeCancelsLookupAndAllowsANewOne()
{
    Tmsocket socket;
    EventLog log;
    log.attach(socket);
    socket.LookupHost(QStringLiteral("localhost"));
    QCOMPARE(socket.CloseSocket(), -1);  // no socket, but the lookup is cancelled
    QVERIFY(!socket.LookupPending());
    QVERIFY(!socket.CountdownRunning());
    socket.LookupHost(QStringLiteral("127.0.0.1"));
    QVERIFY(socket.LookupPending());
    QTRY_COMPARE_WITH_TIMEOUT(log.events, QStringList{QStringLiteral("lookup")}, 5000);
    QTest::qWait(100);
    QCOMPARE(log.events.size(), 1);  // the cancelled lookup never reported
}

void TestSocket::countdownOfZeroStartsNoTimer()
{
    Tmsocket socket;
    socket.StartCountdown(3);
    QVERIFY(socket.CountdownRunning());
    socket.StartCountdown(0);
    QVERIFY(!socket.CountdownRunning());
}

void TestSocket::refusedConnectArrivesAsConnectEvent()
{
    Tmsocket socket;
    EventLog log;
    log.attach(socket);
    ConnectTo(socket, FreePort());
    QCOMPARE(socket.LastError, quint16(0));
    QTRY_COMPARE_WITH_TIMEOUT(log.events, QStringList{QStringLiteral("connect")}, 5000);
    QCOMPARE(socket.LastError, quint16(platform::WSAECONNREFUSED));
    QVERIFY(!socket.SocketConnected);
}

void TestSocket::closeOnClosedSocketKeepsLastError()
{
    Tmsocket socket;
    socket.LastError = 10061;
    QCOMPARE(socket.CloseSocket(), -1);
    QCOMPARE(socket.LastError, quint16(10061));
}

void TestSocket::connectReadWriteClose()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    Tmsocket socket;
    EventLog log;
    log.attach(socket);
    ConnectTo(socket, server.serverPort());
    QVERIFY(socket.CountdownRunning());
    QTRY_VERIFY_WITH_TIMEOUT(log.events.contains(QStringLiteral("write")), 5000);
    QCOMPARE(log.events, (QStringList{QStringLiteral("connect"), QStringLiteral("write")}));
    QVERIFY(socket.SocketConnected);
    QVERIFY(!socket.CountdownRunning());  // the first notification stops it
    QTRY_VERIFY_WITH_TIMEOUT(server.hasPendingConnections(), 5000);
    QTcpSocket *peer = server.nextPendingConnection();

    QCOMPARE(socket.SendData("hello", 5), 5);
    QTRY_COMPARE_WITH_TIMEOUT(peer->bytesAvailable(), qint64(5), 5000);

    // "read" is not repeated until the owner receives; "close" comes after the data.
    log.events.clear();
    peer->write("abc");
    peer->flush();
    QTRY_COMPARE_WITH_TIMEOUT(log.events, QStringList{QStringLiteral("read")}, 5000);
    peer->write("def");
    peer->flush();
    QTest::qWait(50);
    QCOMPARE(log.events.size(), 1);
    char buffer[16];
    QCOMPARE(socket.ReceiveData(buffer, sizeof buffer), 6);
    QCOMPARE(QByteArray(buffer, 6), QByteArray("abcdef"));
    QCOMPARE(socket.ReceiveData(buffer, sizeof buffer), 0);  // would block
    QCOMPARE(socket.LastError, quint16(0));

    peer->write("tail");
    peer->flush();
    peer->disconnectFromHost();
    QTRY_VERIFY_WITH_TIMEOUT(log.events.contains(QStringLiteral("read")) && log.events.size() >= 2, 5000);
    QCOMPARE(socket.ReceiveData(buffer, sizeof buffer), 4);
    QCOMPARE(socket.ReceiveData(buffer, sizeof buffer), 0);
    QTRY_VERIFY_WITH_TIMEOUT(log.events.contains(QStringLiteral("close")), 5000);
    QTest::qWait(50);
    QCOMPARE(log.events.count(QStringLiteral("close")), 1);
    QVERIFY(!socket.HasSocket());
    QVERIFY(!socket.SocketConnected);
}

void TestSocket::countdownClosesSilentConnect()
{
    // 192.0.2.0/24 is reserved for documentation: nothing answers, and with no
    // route the connect fails at once on a closed machine; either way the
    // owner must hear of it within the countdown.
    Tmsocket socket;
    EventLog log;
    log.attach(socket);
    socket.TimeOutConnect = 1;
    socket.CreateSocket();
    socket.SetAddressText(QStringLiteral("192.0.2.1"));
    socket.SetPortNumber(21);
    socket.ConnectSocket();
    if (socket.LastError != 0) {
        QVERIFY(socket.LastError == platform::WSAENETUNREACH || socket.LastError == platform::WSAEHOSTUNREACH);
        return;
    }
    QTRY_VERIFY_WITH_TIMEOUT(!log.events.isEmpty(), 4000);
    if (log.events.first() == QStringLiteral("timeout"))
        QVERIFY(!socket.HasSocket());
    else
        QCOMPARE(log.events.first(), QStringLiteral("connect"));
}

void TestSocket::listenAcceptAndLocalAddress()
{
    Tmsocket listener;
    EventLog listenLog;
    listenLog.attach(listener);
    QCOMPARE(listener.LocalAddressText(), QString());
    QCOMPARE(listener.LocalPort(), quint16(0));
    listener.CreateSocket();
    listener.SetAddressText(QStringLiteral("127.0.0.1"));
    listener.SetPortNumber(0);
    listener.Listen();
    QCOMPARE(listener.LastError, quint16(0));
    QCOMPARE(listener.LocalAddressText(), QStringLiteral("127.0.0.1"));
    quint16 port = listener.LocalPort();
    QVERIFY(port != 0);

    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, port);
    QTRY_COMPARE_WITH_TIMEOUT(listenLog.events, QStringList{QStringLiteral("accept")}, 5000);

    Tmsocket accepted;
    EventLog acceptedLog;
    acceptedLog.attach(accepted);
    accepted.Accept(listener);
    QCOMPARE(accepted.LastError, quint16(0));
    QVERIFY(accepted.SocketConnected);
    QTRY_VERIFY_WITH_TIMEOUT(client.state() == QAbstractSocket::ConnectedState, 5000);
    client.write("x");
    QTRY_VERIFY_WITH_TIMEOUT(acceptedLog.events.contains(QStringLiteral("read")), 5000);

    // Binding the same port again fails with "address in use".
    Tmsocket second;
    second.CreateSocket();
    second.SetAddressText(QStringLiteral("127.0.0.1"));
    second.SetPortNumber(port);
    second.Listen();
    QCOMPARE(second.LastError, quint16(platform::WSAEADDRINUSE));

    // Accept with nothing pending fails and leaves no socket.
    Tmsocket nothing;
    nothing.Accept(listener);
    QCOMPARE(nothing.LastError, quint16(platform::WSAEWOULDBLOCK));
    QVERIFY(!nothing.HasSocket());
}

void TestSocket::urgentDataArrivesOutOfBand()
{
    // A plain descriptor as the peer, so nothing reads past the urgent mark.
    int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    QCOMPARE(::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    QCOMPARE(::listen(listener, 1), 0);
    socklen_t length = sizeof address;
    ::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length);

    Tmsocket socket;
    ConnectTo(socket, ntohs(address.sin_port));
    QTRY_VERIFY_WITH_TIMEOUT(socket.SocketConnected, 5000);
    int peer = ::accept(listener, nullptr, nullptr);
    QVERIFY(peer >= 0);
    const char ip[] = {char(255), char(244)};
    const char dm[] = {char(255), char(242)};
    QCOMPARE(socket.SendData(ip, 2), 2);
    QCOMPARE(socket.SendUrgentData(dm, 2), 2);
    // TCP carries one urgent byte: the last one sent with the urgent flag.
    char mark = 0;
    ssize_t got = -1;
    for (int attempt = 0; attempt < 100 && got != 1; ++attempt) {
        got = ::recv(peer, &mark, 1, MSG_OOB | MSG_DONTWAIT);
        if (got != 1)
            QTest::qWait(20);
    }
    QCOMPARE(got, ssize_t(1));
    QCOMPARE(quint8(mark), quint8(242));
    char inline_[8];
    QCOMPARE(::recv(peer, inline_, sizeof inline_, MSG_DONTWAIT), ssize_t(3));
    QCOMPARE(QByteArray(inline_, 3), QByteArray("\xff\xf4\xff"));
    ::close(peer);
    ::close(listener);
}

void TestSocket::privateNoticesGoToOnMessage()
{
    Tmsocket socket;
    QList<int> codes;
    socket.OnMessage = [&codes](int code) { codes << code; };
    socket.PostNotice(1028);
    socket.PostNotice(1026);
    QVERIFY(codes.isEmpty());  // posted, not called
    QTRY_COMPARE_WITH_TIMEOUT(codes, (QList<int>{1028, 1026}), 2000);
}

void TestSocket::connectsToEitherFamily_data()
{
    // The addresses offered in order; the loopback listener's family ("" for
    // none); the address connected to in the end ("" when every one failed).
    QTest::addColumn<QStringList>("addresses");
    QTest::addColumn<QString>("listening");
    QTest::addColumn<QString>("connected");
    QTest::newRow("IPv6 refused, then IPv4") << QStringList{u"::1"_s, u"127.0.0.1"_s} << u"127.0.0.1"_s << u"127.0.0.1"_s;
    QTest::newRow("IPv4 refused, then IPv6") << QStringList{u"127.0.0.1"_s, u"::1"_s} << u"::1"_s << u"::1"_s;
    QTest::newRow("IPv6 first when offered first") << QStringList{u"::1"_s, u"127.0.0.1"_s} << u"both"_s << u"::1"_s;
    QTest::newRow("all refused") << QStringList{u"::1"_s, u"127.0.0.1"_s} << u""_s << u""_s;
}

// A host that offers both families is reached on whichever answers, in the
// order offered, with one connect event; the local end reads back in its family.
void TestSocket::connectsToEitherFamily()
{
    QFETCH(QStringList, addresses);
    QFETCH(QString, listening);
    QFETCH(QString, connected);
    if (!QTcpServer().listen(QHostAddress::LocalHostIPv6))
        QSKIP("this machine has no ::1");
    // One port number, free in both families, open in the one(s) listening.
    Tmsocket listener;
    quint16 port = 0;
    QTcpServer other;
    for (int attempt = 0; attempt < 20 && port == 0; ++attempt) {
        const quint16 candidate = FreePort();
        QTcpServer v6;
        if (!v6.listen(QHostAddress::LocalHostIPv6, candidate))
            continue;
        v6.close();
        port = candidate;
    }
    QVERIFY(port != 0);
    if (!listening.isEmpty()) {
        listener.CreateSocket();
        listener.SetAddressText(listening == u"both" ? QStringLiteral("::1") : listening);
        listener.SetPortNumber(port);
        listener.Listen();
        QCOMPARE(listener.LastError, quint16(0));
        QCOMPARE(listener.LocalPort(), port);
        if (listening == u"both")
            QVERIFY(other.listen(QHostAddress::LocalHost, port));
    }

    Tmsocket socket;
    EventLog log;
    log.attach(socket);
    QList<platform::SocketAddress> offered;
    for (const QString &text : addresses) {
        platform::SocketAddress address;
        QVERIFY(address.SetText(text));
        offered << address;
    }
    socket.CreateSocket();
    socket.SetPortNumber(port);
    socket.UseAddresses(offered);
    socket.ConnectSocket();
    QTRY_COMPARE_WITH_TIMEOUT(log.events.value(0), QStringLiteral("connect"), 5000);
    QTest::qWait(50);
    QCOMPARE(log.events.count(QStringLiteral("connect")), 1);
    if (connected.isEmpty()) {
        QCOMPARE(socket.LastError, quint16(platform::WSAECONNREFUSED));
        return;
    }
    QCOMPARE(socket.LastError, quint16(0));
    QCOMPARE(socket.DottedAddress(), connected);
    QCOMPARE(socket.LocalAddressText(), connected);
}

QTEST_MAIN(TestSocket)
#include "tst_socket.moc"
