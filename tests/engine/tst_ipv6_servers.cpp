// Sessions over ::1 against real servers: login, listing, download and
// upload with EPSV and EPRT, in plain FTP and with TLS on the data
// connections; the files are checked where they land.

#include "tst_transfer_probe.h"

#include "peer_server.h"

#include <QTemporaryDir>
#include <QTest>

using namespace testsupport;
using namespace transfertest;
using namespace Qt::StringLiterals;
using Tls = PeerServer::Options::Tls;

class TestIpv6Servers : public QObject {
    Q_OBJECT
private slots:
    void session_data();
    void session();
};

void TestIpv6Servers::session_data()
{
    using K = PeerServer::Kind;
    QTest::addColumn<PeerServer::Kind>("kind");
    QTest::addColumn<bool>("passive");
    QTest::addColumn<QString>("server");  // what the user typed
    QTest::addColumn<bool>("tls");

    QTest::newRow("pyftpdlib, EPSV") << K::Pyftpdlib << true << u"::1"_s << false;
    QTest::newRow("pyftpdlib, EPRT, bracketed") << K::Pyftpdlib << false << u"[::1]"_s << false;
    QTest::newRow("pyftpdlib TLS, EPSV") << K::Pyftpdlib << true << u"::1"_s << true;
    QTest::newRow("pyftpdlib TLS, EPRT") << K::Pyftpdlib << false << u"[::1]"_s << true;
    QTest::newRow("vsftpd, EPSV") << K::Vsftpd << true << u"[::1]"_s << false;
    QTest::newRow("vsftpd, EPRT") << K::Vsftpd << false << u"::1"_s << false;
    QTest::newRow("vsftpd TLS, EPSV") << K::Vsftpd << true << u"::1"_s << true;
}

void TestIpv6Servers::session()
{
    QFETCH(PeerServer::Kind, kind);
    QFETCH(bool, passive);
    QFETCH(QString, server);
    QFETCH(bool, tls);
    if (!PeerServer::Ipv6Loopback())
        QSKIP("this machine has no ::1");
    QString why;
    if (!PeerServer::Available(kind, &why) || (tls && !PeerServer::TlsAvailable(kind, Tls::ExplicitRequired, &why)))
        QSKIP(qPrintable(why));
    PeerServer::Options options;
    options.ipv6 = true;
    options.tls = tls ? Tls::ExplicitRequired : Tls::None;
    auto peer = PeerServer::Start(kind, options, &why);
    QVERIFY2(peer, qPrintable(why));
    QCOMPARE(peer->Host(), u"::1"_s);
    const QByteArray payload = Pattern(3 * 1024 * 1024 + 7, 11);
    QVERIFY(peer->PutFile(u"down.bin"_s, payload));

    TMFtp ftp;
    Probe probe(ftp);
    probe.answers[needOverwriteLocal] = u"overwrite"_s;
    // The test's certificate names 127.0.0.1, not ::1: accepted for this connection.
    ftp.OnFtpCertificate = [](QObject *, const platform::TlsCertificateInfo &, bool, TMFtpCertificateAnswer &answer) {
        answer = certAcceptOnce;
    };
    ftp.TlsMode = tls ? tlsExplicitRequired : tlsPlainOnly;
    ftp.Passive = passive;
    ftp.SetServer(server);
    QVERIFY2(Login(ftp, probe, server, peer->Port(), peer->User().toUtf8(), peer->Password().toUtf8()),
             qPrintable(probe.Dialogue() + probe.sequence.join(u' ') + peer->LogTail()));
    // An address literal needs no lookup.
    QCOMPARE(probe.InfoCount(ftpiResolving), 0);
    QCOMPARE(ftp.DataEncrypted(), tls);

    QTemporaryDir local;
    const QByteArray directory = ftp.CurrentDirectory().endsWith('/') ? ftp.CurrentDirectory() : ftp.CurrentDirectory() + '/';
    probe.Forget();
    ftp.List();
    QTRY_COMPARE_WITH_TIMEOUT(probe.Count(u"ListingDone"_s), 1, 10000);
    QVERIFY2(ftp.Success(), qPrintable(probe.Dialogue()));
    QVERIFY(ftp.FileNames.contains("down.bin"));

    probe.Forget();
    ftp.RemoteFile = directory + "down.bin";
    ftp.LocalFile = local.filePath(u"down.bin"_s);
    ftp.Download();
    QTRY_COMPARE_WITH_TIMEOUT(probe.Count(u"FileReceived"_s), 1, 20000);
    QVERIFY2(ftp.Success(), qPrintable(probe.Dialogue() + peer->LogTail()));
    QCOMPARE(Sha256OfFile(ftp.LocalFile), Sha256(payload));

    probe.Forget();
    ftp.RemoteFile = directory + "up.bin";
    ftp.Upload();
    QTRY_COMPARE_WITH_TIMEOUT(probe.Count(u"FileStored"_s), 1, 20000);
    QVERIFY2(ftp.Success(), qPrintable(probe.Dialogue() + peer->LogTail()));
    QCOMPARE(Sha256(peer->ReadFile(u"up.bin"_s)), Sha256(payload));

    // Every data connection was set up the IPv6 way, never by PASV or PORT,
    // and the mode did not have to change.
    QStringList setup;
    for (const auto &entry : probe.infos) {
        const QString command = entry.second.left(4);
        if (entry.first == ftpiCommand && (command == u"EPSV" || command == u"EPRT" || command == u"PASV" || command == u"PORT"))
            setup << entry.second.trimmed();
    }
    QCOMPARE(setup.size(), 1);  // the upload's; Forget() dropped the earlier ones
    QVERIFY2(passive ? setup.first() == u"EPSV" : setup.first().startsWith(u"EPRT |2|::1|"), qPrintable(setup.first()));
    QCOMPARE(ftp.PassiveInEffect(), passive);
    if (tls && kind == PeerServer::Kind::Vsftpd)
        QVERIFY(ftp.DataSessionReused());  // vsftpd refuses data connections that do not resume
}

QTEST_GUILESS_MAIN(TestIpv6Servers)
#include "tst_ipv6_servers.moc"
