// The platform TLS layer: AsyncSocket::startTls against a Python TLS peer
// (tests/peers/tls_peer.py) and openssl s_server — the handshake in the
// notifications, the certificate description, decrypted bytes waiting inside
// OpenSSL, close_notify against a cut stream, an upload's orderly end, session
// resumption — and the trust store.

#include "support/byte_pattern.h"
#include "peer_server.h"
#include "port_block.h"
#include "test_certificate.h"

#include "platform/async_socket.h"
#include "platform/folders.h"
#include "platform/tls_trust_store.h"
#include "platform/winsock_errors.h"

#include <QCryptographicHash>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <arpa/inet.h>

using namespace platform;
using testsupport::PeerServer;
using testsupport::TestCertificate;

namespace {

// An owner of an AsyncSocket the way the engine is one: one receive per read
// notification, everything recorded.
struct Client {
    AsyncSocket socket;
    QList<QPair<int, int>> events;  // (event, error)
    QByteArray received;
    qint64 readSize = 256 * 1024;
    bool readOnNotify = true;

    Client()
    {
        socket.onEvent = [this](int event, int error) {
            events.append({event, error});
            if (event == AsyncSocket::FdRead && readOnNotify)
                ReadOnce();
        };
    }
    void ReadOnce()
    {
        QByteArray buffer(readSize, Qt::Uninitialized);
        int error = 0;
        const qint64 got = socket.receive(buffer.data(), readSize, &error);
        if (got > 0)
            received += buffer.left(got);
    }
    int Count(int event) const
    {
        int n = 0;
        for (const auto &e : events)
            n += e.first == event;
        return n;
    }
    int ErrorOf(int event) const
    {
        for (const auto &e : events)
            if (e.first == event)
                return e.second;
        return -1;
    }
    bool Connect(quint16 port)
    {
        if (socket.create() != 0)
            return false;
        socket.select(AsyncSocket::FdRead | AsyncSocket::FdWrite | AsyncSocket::FdConnect | AsyncSocket::FdClose);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (socket.connectTo(address) != 0)
            return false;
        return QTest::qWaitFor([&] { return Count(AsyncSocket::FdConnect) > 0; }, 5000)
               && ErrorOf(AsyncSocket::FdConnect) == 0;
    }
    // Connect, start TLS and wait for its end; true when it succeeded.
    bool Secure(quint16 port, const QString &host = QStringLiteral("127.0.0.1"), const TlsSessionHandle &reuse = nullptr)
    {
        if (!Connect(port) || socket.startTls(host, reuse) != 0)
            return false;
        return QTest::qWaitFor([&] { return Count(AsyncSocket::FdTls) > 0; }, 5000)
               && ErrorOf(AsyncSocket::FdTls) == 0;
    }
    bool SendAll(const QByteArray &bytes)
    {
        qint64 offset = 0;
        while (offset < bytes.size()) {
            int error = 0;
            const qint64 sent = socket.send(bytes.constData() + offset, bytes.size() - offset, false, &error);
            if (sent > 0) {
                offset += sent;
                continue;
            }
            if (error != WSAEWOULDBLOCK)
                return false;
            const int writes = Count(AsyncSocket::FdWrite);
            if (!QTest::qWaitFor([&] { return Count(AsyncSocket::FdWrite) > writes; }, 5000))
                return false;
        }
        return true;
    }
};

}  // namespace

class TestTlsSocket : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();

    void handshakeCertificateAndEcho();
    void trustedCertificateIsVerified();
    void wrongHostNameIsReported();
    void decryptedBytesWaitingInsideOpenSslAreAnnounced_data();
    void decryptedBytesWaitingInsideOpenSslAreAnnounced();
    void streamCutWithoutCloseNotifyIsTruncation();
    void uploadEndsWithCloseNotify();
    void handshakeThatNeverEndsReportsNothing();
    void handshakeWithPlainPeerFails();
    void sessionIsResumed();
    void opensslServerPeer();

    void trustStore();

private:
    std::unique_ptr<PeerServer> StartPeer(const QString &mode, int size = 0, const TestCertificate *cert = nullptr);

    QTemporaryDir folder_;
    TestCertificate plain_;  // CN=127.0.0.1, no subjectAltName
    TestCertificate ipSan_;  // subjectAltName IP:127.0.0.1
    TestCertificate wrongSan_;  // subjectAltName DNS:wrong.example
};

void TestTlsSocket::initTestCase()
{
    QString why;
    if (!testsupport::CanMakeCertificates(&why))
        QSKIP(qPrintable(why));
    QVERIFY2(testsupport::MakeSelfSignedCertificate(folder_.path(), QStringLiteral("plain"), QStringLiteral("127.0.0.1"),
                                                    {}, &plain_, &why),
             qPrintable(why));
    QVERIFY2(testsupport::MakeSelfSignedCertificate(folder_.path(), QStringLiteral("ipsan"), QStringLiteral("127.0.0.1"),
                                                    {QStringLiteral("subjectAltName=IP:127.0.0.1")}, &ipSan_, &why),
             qPrintable(why));
    QVERIFY2(testsupport::MakeSelfSignedCertificate(folder_.path(), QStringLiteral("wrong"), QStringLiteral("wrong.example"),
                                                    {QStringLiteral("subjectAltName=DNS:wrong.example")}, &wrongSan_, &why),
             qPrintable(why));
}

void TestTlsSocket::cleanup()
{
    TlsContext::Reset();
}

std::unique_ptr<PeerServer> TestTlsSocket::StartPeer(const QString &mode, int size, const TestCertificate *cert)
{
    const TestCertificate &use = cert ? *cert : plain_;
    QString why;
    auto server = PeerServer::StartScript(
        testsupport::PeerScriptsFolder() + QStringLiteral("/tls_peer.py"),
        {QStringLiteral("--port"), QStringLiteral("{port}"), QStringLiteral("--cert"), use.certificateFile,
         QStringLiteral("--key"), use.keyFile, QStringLiteral("--mode"), mode, QStringLiteral("--size"),
         QString::number(size)},
        &why);
    if (!server)
        qWarning("%s", qPrintable(why));
    return server;
}

void TestTlsSocket::handshakeCertificateAndEcho()
{
    auto server = StartPeer(QStringLiteral("echo"));
    QVERIFY(server);
    Client client;
    QVERIFY(client.Secure(server->Port()));
    QVERIFY(client.socket.tlsEstablished());
    QVERIFY2(client.socket.tlsProtocol().startsWith(QStringLiteral("TLSv1.")), qPrintable(client.socket.tlsProtocol()));
    QVERIFY(!client.socket.tlsCipher().isEmpty());
    const TlsCertificateInfo cert = client.socket.tlsCertificate();
    QCOMPARE(cert.sha256, plain_.sha256);
    QCOMPARE(cert.subject, QStringLiteral("CN=127.0.0.1"));
    QCOMPARE(cert.issuer, QStringLiteral("CN=127.0.0.1"));
    QVERIFY(cert.notBefore.isValid() && cert.notAfter.isValid());
    QVERIFY(cert.notBefore <= QDateTime::currentDateTimeUtc().addSecs(60));
    QVERIFY(cert.notAfter > QDateTime::currentDateTimeUtc().addDays(1));
    QCOMPARE(cert.verifyCode, 18);  // X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT
    QVERIFY(!cert.verifyText.isEmpty());
    // An address must be among the certificate's subjectAltName addresses; a CN does not count.
    QVERIFY(!cert.hostMatches);
    QVERIFY(!cert.Verified());
    QVERIFY(!cert.Problems().isEmpty());
    QVERIFY(!cert.der.isEmpty());

    QVERIFY(client.SendAll("hello through TLS\n"));
    QTRY_COMPARE(client.received, QByteArray("hello through TLS\n"));
    QVERIFY(client.SendAll("BYE\n"));
    QTRY_COMPARE(client.Count(AsyncSocket::FdClose), 1);
    QCOMPARE(client.ErrorOf(AsyncSocket::FdClose), 0);  // close_notify came
    QCOMPARE(client.received, QByteArray("hello through TLS\nBYE\n"));
    QTest::qWait(100);
    QCOMPARE(client.Count(AsyncSocket::FdClose), 1);
}

void TestTlsSocket::trustedCertificateIsVerified()
{
    TlsContext::AddTrustedCertificateFile(ipSan_.certificateFile);
    auto server = StartPeer(QStringLiteral("echo"), 0, &ipSan_);
    QVERIFY(server);
    Client client;
    QVERIFY(client.Secure(server->Port()));
    const TlsCertificateInfo cert = client.socket.tlsCertificate();
    QCOMPARE(cert.verifyCode, 0);
    QVERIFY(cert.hostMatches);
    QVERIFY(cert.Verified());
    QCOMPARE(cert.Problems(), QString());
}

void TestTlsSocket::wrongHostNameIsReported()
{
    TlsContext::AddTrustedCertificateFile(wrongSan_.certificateFile);
    auto server = StartPeer(QStringLiteral("echo"), 0, &wrongSan_);
    QVERIFY(server);
    Client client;
    QVERIFY(client.Secure(server->Port(), QStringLiteral("localhost")));
    const TlsCertificateInfo cert = client.socket.tlsCertificate();
    QCOMPARE(cert.hostName, QStringLiteral("localhost"));
    QVERIFY(!cert.hostMatches);
    QCOMPARE(cert.verifyCode, 62);  // X509_V_ERR_HOSTNAME_MISMATCH: the chain itself is trusted
    QVERIFY(!cert.Verified());
    QVERIFY(cert.Problems().contains(QStringLiteral("localhost")));
}

void TestTlsSocket::decryptedBytesWaitingInsideOpenSslAreAnnounced_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("readSize");
    QTest::newRow("1 byte") << 1 << 65536;
    QTest::newRow("one record read in small pieces") << 16000 << 1000;
    QTest::newRow("256 KiB read in 7 KiB pieces") << 256 * 1024 << 7 * 1024;
    QTest::newRow("1 MiB read in 256 KiB") << 1024 * 1024 << 256 * 1024;
}

void TestTlsSocket::decryptedBytesWaitingInsideOpenSslAreAnnounced()
{
    QFETCH(int, size);
    QFETCH(int, readSize);
    auto server = StartPeer(QStringLiteral("clean"), size);
    QVERIFY(server);
    Client client;
    client.readSize = readSize;
    QVERIFY(client.Secure(server->Port()));
    QTRY_COMPARE_WITH_TIMEOUT(client.Count(AsyncSocket::FdClose), 1, 10000);
    QCOMPARE(client.received.size(), qsizetype(size));
    QCOMPARE(client.received, Pattern(size));
    QCOMPARE(client.ErrorOf(AsyncSocket::FdClose), 0);
    // The close came after the last byte, once.
    QCOMPARE(client.events.last().first, int(AsyncSocket::FdClose));
    QTest::qWait(50);
    QCOMPARE(client.Count(AsyncSocket::FdClose), 1);
}

void TestTlsSocket::streamCutWithoutCloseNotifyIsTruncation()
{
    const int size = 300 * 1000;
    auto server = StartPeer(QStringLiteral("truncate"), size);
    QVERIFY(server);
    Client client;
    client.readSize = 64 * 1024;
    QVERIFY(client.Secure(server->Port()));
    QTRY_COMPARE_WITH_TIMEOUT(client.Count(AsyncSocket::FdClose), 1, 10000);
    QCOMPARE(client.received, Pattern(size));  // all that was sent, and then:
    QCOMPARE(client.ErrorOf(AsyncSocket::FdClose), int(TlsErrorTruncated));
}

void TestTlsSocket::uploadEndsWithCloseNotify()
{
    auto server = StartPeer(QStringLiteral("sink"));
    QVERIFY(server);
    Client client;
    QVERIFY(client.Secure(server->Port()));
    const QByteArray data = Pattern(3 * 1024 * 1024 + 17, 7);
    QVERIFY(client.SendAll(data));
    int result = WSAEWOULDBLOCK;
    QVERIFY(QTest::qWaitFor([&] {
        result = client.socket.shutdownTls();
        return result != WSAEWOULDBLOCK;
    }, 5000));
    QCOMPARE(result, 0);
    client.socket.close();
    const QString expected = QStringLiteral("sink %1 %2 clean")
                                 .arg(data.size())
                                 .arg(QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex()));
    QTRY_VERIFY2_WITH_TIMEOUT(server->LogTail(5).contains(expected), qPrintable(server->LogTail(5)), 10000);
}

void TestTlsSocket::handshakeThatNeverEndsReportsNothing()
{
    auto server = StartPeer(QStringLiteral("stall"));
    QVERIFY(server);
    Client client;
    QVERIFY(client.Connect(server->Port()));
    QCOMPARE(client.socket.startTls(QStringLiteral("127.0.0.1")), 0);
    QTest::qWait(1500);
    // No data event and no result: the owner's own time-out decides.
    QCOMPARE(client.Count(AsyncSocket::FdTls), 0);
    QCOMPARE(client.Count(AsyncSocket::FdRead), 0);
    QCOMPARE(client.Count(AsyncSocket::FdClose), 0);
    QVERIFY(!client.socket.tlsEstablished());
    int error = 0;
    char byte;
    QCOMPARE(client.socket.receive(&byte, 1, &error), qint64(-1));
    QCOMPARE(error, int(WSAEWOULDBLOCK));
    QCOMPARE(client.socket.close(), 0);
}

void TestTlsSocket::handshakeWithPlainPeerFails()
{
    QTcpServer plain;
    QVERIFY(plain.listen(QHostAddress::LocalHost));
    connect(&plain, &QTcpServer::newConnection, &plain, [&plain] {
        QTcpSocket *peer = plain.nextPendingConnection();
        peer->write("220 plain FTP here\r\n");
        connect(peer, &QTcpSocket::readyRead, peer, [peer] {
            peer->readAll();
            peer->write("500 What?\r\n");
            peer->disconnectFromHost();
        });
    });
    Client client;
    QVERIFY(client.Connect(plain.serverPort()));
    QCOMPARE(client.socket.startTls(QStringLiteral("127.0.0.1")), 0);
    QTRY_COMPARE(client.Count(AsyncSocket::FdTls), 1);
    QCOMPARE(client.ErrorOf(AsyncSocket::FdTls), int(TlsErrorHandshake));
    QVERIFY(!client.socket.tlsErrorText().isEmpty());
    QCOMPARE(client.Count(AsyncSocket::FdRead), 0);
}

void TestTlsSocket::sessionIsResumed()
{
    auto server = StartPeer(QStringLiteral("echo"));
    QVERIFY(server);
    Client first;
    QVERIFY(first.Secure(server->Port()));
    QVERIFY(!first.socket.tlsSessionReused());
    // TLS 1.3 tickets come after the handshake, with the first records read.
    QVERIFY(first.SendAll("x\n"));
    QTRY_COMPARE(first.received, QByteArray("x\n"));
    const TlsSessionHandle session = first.socket.tlsSession();
    QVERIFY(session);

    Client second;
    QVERIFY(second.Secure(server->Port(), QStringLiteral("127.0.0.1"), session));
    QVERIFY(second.socket.tlsSessionReused());
    QVERIFY(second.SendAll("y\n"));
    QTRY_COMPARE(second.received, QByteArray("y\n"));
}

void TestTlsSocket::opensslServerPeer()
{
    auto ports = testsupport::PortBlock::Reserve(1);
    QVERIFY(ports);
    QProcess sServer;
    sServer.setProcessChannelMode(QProcess::MergedChannels);
    sServer.start(QStringLiteral("/usr/bin/openssl"),
                  {QStringLiteral("s_server"), QStringLiteral("-accept"),
                   QStringLiteral("127.0.0.1:%1").arg(ports->First()), QStringLiteral("-cert"), plain_.certificateFile,
                   QStringLiteral("-key"), plain_.keyFile, QStringLiteral("-rev"), QStringLiteral("-tls1_2")});
    QVERIFY(sServer.waitForStarted());
    QVERIFY(QTest::qWaitFor([&] {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, ports->First());
        return probe.waitForConnected(200);
    }, 5000));
    Client client;
    QVERIFY(client.Secure(ports->First()));
    QCOMPARE(client.socket.tlsProtocol(), QStringLiteral("TLSv1.2"));
    QCOMPARE(client.socket.tlsCertificate().sha256, plain_.sha256);
    QVERIFY(client.SendAll("olleh\n"));
    QTRY_VERIFY(client.received.contains("hello"));
    client.socket.close();
    sServer.kill();
    sServer.waitForFinished();
}

void TestTlsSocket::trustStore()
{
    QTemporaryDir settings;
    SetSettingsFolderOverride(settings.path());
    TlsTrustStore store;
    QCOMPARE(store.FilePath(), settings.path() + QStringLiteral("/trusted-certificates.txt"));
    const QString key = TlsTrustStore::Key(QStringLiteral("FTP.Example.org"), 990);
    QCOMPARE(key, QStringLiteral("ftp.example.org:990"));
    QVERIFY(!store.IsTrusted(key, QStringLiteral("aa")));
    QVERIFY(!store.HasOther(key, QStringLiteral("aa")));
    QVERIFY(store.Trust(key, QStringLiteral("AA")));
    QVERIFY(QFile::exists(store.FilePath()));
    QVERIFY(store.IsTrusted(key, QStringLiteral("aa")));
    QVERIFY(!store.IsTrusted(TlsTrustStore::Key(QStringLiteral("ftp.example.org"), 21), QStringLiteral("aa")));
    QVERIFY(store.HasOther(key, QStringLiteral("bb")));
    // A store read anew sees what was written; trusting another replaces it.
    TlsTrustStore again;
    QVERIFY(again.Trust(key, QStringLiteral("bb")));
    QCOMPARE(store.Fingerprints(key), QStringList{QStringLiteral("bb")});
    QVERIFY(store.Forget(key));
    QVERIFY(store.Fingerprints(key).isEmpty());
    SetSettingsFolderOverride(QString());
}

QTEST_MAIN(TestTlsSocket)
#include "tst_tls_socket.moc"
