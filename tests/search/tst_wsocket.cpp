// TWSocket against an in-process listener on loopback: lookups (dotted, named,
// empty, cancelled), property locking, connect checks, send/receive and closes.

#include "search/wsocket.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

using namespace Qt::StringLiterals;

class TestWSocket : public QObject {
    Q_OBJECT
private slots:
    void dottedLookupCompletesAtOnce_data();
    void dottedLookupCompletesAtOnce();
    void emptyHostLookup();
    void namedLookupAndCancel();
    void connectChecks_data();
    void connectChecks();
    void propertiesLockedWhileOpen();
    void sendReceiveAndPeerClose();
    void localCloseReportsOnce();
    void refusedConnect();
};

void TestWSocket::dottedLookupCompletesAtOnce_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("result");
    QTest::newRow("dotted") << u"127.0.0.1"_s << u"127.0.0.1"_s;
    QTest::newRow("short form") << u"127.1"_s << u"127.0.0.1"_s;
    QTest::newRow("other") << u"10.1.2.3"_s << u"10.1.2.3"_s;
}

void TestWSocket::dottedLookupCompletesAtOnce()
{
    QFETCH(QString, host);
    QFETCH(QString, result);
    TWSocket socket;
    QList<int> done;
    socket.OnDnsLookupDone = [&](QObject *sender, int error) {
        QCOMPARE(sender, &socket);
        done.append(error);
    };
    socket.DnsLookup(host);
    // No lookup at all: the completion came inside the call.
    QCOMPARE(done, QList<int>{0});
    QVERIFY(!socket.DnsLookupPending());
    QCOMPARE(socket.DnsResult(), result);
}

void TestWSocket::emptyHostLookup()
{
    TWSocket socket;
    QList<int> done;
    socket.OnDnsLookupDone = [&](QObject *, int error) { done.append(error); };
    QString message;
    try {
        socket.DnsLookup(QString());
    } catch (const ESocketException &e) {
        message = e.Message();
    }
    QCOMPARE(message, u"DNS lookup: invalid host name."_s);
    QCOMPARE(done, QList<int>{10022});
}

void TestWSocket::namedLookupAndCancel()
{
    TWSocket socket;
    QList<int> done;
    socket.OnDnsLookupDone = [&](QObject *, int error) { done.append(error); };
    socket.DnsLookup(u"localhost"_s);  // from the hosts file: no network traffic
    QVERIFY(done.isEmpty());          // a name is looked up asynchronously
    QTRY_COMPARE_WITH_TIMEOUT(done, QList<int>{0}, 5000);
    QCOMPARE(socket.DnsResult(), u"127.0.0.1"_s);

    done.clear();
    socket.DnsLookup(u"localhost"_s);
    QVERIFY(socket.DnsLookupPending());
    socket.CancelDnsLookup();
    QCOMPARE(done, QList<int>{10004});
    QVERIFY(!socket.DnsLookupPending());
    // The cancelled lookup never reports a second time; a new lookup still works.
    socket.DnsLookup(u"127.0.0.2"_s);
    QCOMPARE(done, (QList<int>{10004, 0}));
}

void TestWSocket::connectChecks_data()
{
    QTest::addColumn<QString>("addr");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("proto");
    QTest::addColumn<QString>("message");
    QTest::newRow("no port") << u"127.0.0.1"_s << u""_s << u"tcp"_s << u"Connect: No Port Specified"_s;
    QTest::newRow("no address") << u""_s << u"80"_s << u"tcp"_s << u"Connect: No IP Address Specified"_s;
    QTest::newRow("port out of range") << u"127.0.0.1"_s << u"70000"_s << u"tcp"_s
                                       << u"Connect: Invalid port '70000'"_s;
    QTest::newRow("udp") << u"127.0.0.1"_s << u"80"_s << u"udp"_s << u"Connect: Unsupported protocol 'udp'"_s;
}

void TestWSocket::connectChecks()
{
    QFETCH(QString, addr);
    QFETCH(QString, port);
    QFETCH(QString, proto);
    QFETCH(QString, message);
    TWSocket socket;
    socket.SetAddr(addr);
    socket.SetPort(port);
    socket.SetProto(proto);
    QString got;
    try {
        socket.Connect();
    } catch (const ESocketException &e) {
        got = e.Message();
    }
    QCOMPARE(got, message);
    QCOMPARE(socket.State(), wsClosed);
}

void TestWSocket::propertiesLockedWhileOpen()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    TWSocket socket;
    socket.SetAddr(u"127.0.0.1"_s);
    socket.SetPort(QString::number(server.serverPort()));
    socket.Connect();
    QCOMPARE(socket.State(), wsConnecting);
    QStringList messages;
    for (auto set : {&TWSocket::SetAddr, &TWSocket::SetPort, &TWSocket::SetProto}) {
        try {
            (socket.*set)(u"x"_s);
        } catch (const ESocketException &e) {
            messages << e.Message();
        }
    }
    QCOMPARE(messages, (QStringList{u"Cannot change Addr if not closed"_s, u"Cannot change Port if not closed"_s,
                                    u"Cannot change Proto if not closed"_s}));
    QCOMPARE(socket.Addr(), u"127.0.0.1"_s);
    socket.Close();
    socket.SetAddr(u"127.0.0.2"_s);  // closed again: allowed
    QCOMPARE(socket.Addr(), u"127.0.0.2"_s);
}

void TestWSocket::sendReceiveAndPeerClose()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    TWSocket socket;
    QList<int> connected, sent, closed;
    QByteArray received;
    socket.OnSessionConnected = [&](QObject *, int error) { connected << error; };
    socket.OnDataSent = [&](QObject *, int error) { sent << error; };
    socket.OnSessionClosed = [&](QObject *, int error) { closed << error; };
    socket.OnDataAvailable = [&](QObject *, int) {
        char buffer[3];  // small on purpose: the rest must be announced again
        int n = socket.Receive(buffer, sizeof buffer);
        if (n > 0)
            received.append(buffer, n);
    };
    socket.SetAddr(u"127.0.0.1"_s);
    socket.SetPort(QString::number(server.serverPort()));
    socket.Connect();
    QTRY_COMPARE_WITH_TIMEOUT(connected, QList<int>{0}, 5000);
    QCOMPARE(socket.State(), wsConnected);
    QTRY_VERIFY_WITH_TIMEOUT(server.hasPendingConnections(), 5000);
    std::unique_ptr<QTcpSocket> peer(server.nextPendingConnection());

    QByteArray big(300000, 'z');  // more than the kernel takes at once
    QCOMPARE(socket.Send(big.constData(), int(big.size())), int(big.size()));
    QVERIFY(sent.isEmpty());  // never from inside Send
    QByteArray atPeer;
    QTRY_VERIFY_WITH_TIMEOUT((atPeer += peer->readAll()).size() == big.size(), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(sent, QList<int>{0}, 5000);
    QCOMPARE(atPeer, big);

    peer->write("hello, world");
    peer->flush();
    QTRY_COMPARE_WITH_TIMEOUT(received, "hello, world"_ba, 5000);
    peer->close();
    QTRY_COMPARE_WITH_TIMEOUT(closed, QList<int>{0}, 5000);
    QCOMPARE(socket.State(), wsClosed);
}

void TestWSocket::localCloseReportsOnce()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    TWSocket socket;
    int connected = 0;
    QList<int> closed;
    socket.OnSessionConnected = [&](QObject *, int) { ++connected; };
    socket.OnSessionClosed = [&](QObject *, int error) { closed << error; };
    socket.SetAddr(u"127.0.0.1"_s);
    socket.SetPort(QString::number(server.serverPort()));
    socket.Connect();
    QTRY_COMPARE_WITH_TIMEOUT(connected, 1, 5000);
    socket.Close();
    QCOMPARE(socket.State(), wsClosed);
    QVERIFY(closed.isEmpty());  // after the current handler
    QTRY_COMPARE_WITH_TIMEOUT(closed, QList<int>{0}, 5000);
    socket.Close();  // closing a closed socket tells nothing more
    QString message;
    try {
        socket.Send("x", 1);
    } catch (const ESocketException &e) {
        message = e.Message();
    }
    QCOMPARE(message, u"Error 10057 in function send\r\nSocket is not connected"_s);
    QCoreApplication::processEvents();
    QCOMPARE(closed, QList<int>{0});
}

void TestWSocket::refusedConnect()
{
    quint16 port;
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        port = probe.serverPort();
    }
    TWSocket socket;
    QList<int> connected;
    int closed = 0;
    socket.OnSessionConnected = [&](QObject *, int error) { connected << error; };
    socket.OnSessionClosed = [&](QObject *, int) { ++closed; };
    socket.SetAddr(u"127.0.0.1"_s);
    socket.SetPort(QString::number(port));
    socket.Connect();
    QTRY_COMPARE_WITH_TIMEOUT(connected, QList<int>{10061}, 5000);
    QCOMPARE(socket.State(), wsClosed);
    QCOMPARE(socket.LastError(), 10061);
    QCoreApplication::processEvents();
    QCOMPARE(closed, 0);  // the failed connect is the one event
}

QTEST_GUILESS_MAIN(TestWSocket)
#include "tst_wsocket.moc"
