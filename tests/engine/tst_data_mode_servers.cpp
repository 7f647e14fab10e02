// Data connections against real servers: sessions over ::1 with EPSV and
// EPRT, and servers that take one data mode only (pyftpdlib --refuse), in
// plain FTP and with TLS on the data connections. Login, listing, download
// and upload; the files are checked where they land.

#include "tst_transfer_probe.h"

#include "peer_server.h"

#include <QTemporaryDir>
#include <QTest>

using namespace testsupport;
using namespace transfertest;
using namespace Qt::StringLiterals;
using Tls = PeerServer::Options::Tls;

class TestDataModeServers : public QObject {
    Q_OBJECT
private slots:
    void session_data();
    void session();
};

void TestDataModeServers::session_data()
{
    using K = PeerServer::Kind;
    QTest::addColumn<PeerServer::Kind>("kind");
    QTest::addColumn<bool>("ipv6");
    QTest::addColumn<bool>("brackets");  // "[::1]" typed rather than "::1"
    QTest::addColumn<bool>("tls");
    QTest::addColumn<bool>("passive");
    QTest::addColumn<QStringList>("refused");
    QTest::addColumn<QString>("used");  // what set up the data connections in the end

    QTest::newRow("pyftpdlib ::1, EPSV") << K::Pyftpdlib << true << false << false << true << QStringList() << u"EPSV"_s;
    QTest::newRow("pyftpdlib [::1], EPRT") << K::Pyftpdlib << true << true << false << false << QStringList() << u"EPRT"_s;
    QTest::newRow("pyftpdlib ::1 TLS, EPSV") << K::Pyftpdlib << true << false << true << true << QStringList() << u"EPSV"_s;
    QTest::newRow("pyftpdlib [::1] TLS, EPRT") << K::Pyftpdlib << true << true << true << false << QStringList() << u"EPRT"_s;
    QTest::newRow("vsftpd [::1], EPSV") << K::Vsftpd << true << true << false << true << QStringList() << u"EPSV"_s;
    QTest::newRow("vsftpd ::1, EPRT") << K::Vsftpd << true << false << false << false << QStringList() << u"EPRT"_s;
    QTest::newRow("vsftpd ::1 TLS, EPSV") << K::Vsftpd << true << false << true << true << QStringList() << u"EPSV"_s;
    QTest::newRow("IPv4 TLS, PASV and EPSV refused") << K::Pyftpdlib << false << false << true << true
                                                     << QStringList{u"PASV"_s, u"EPSV"_s} << u"PORT"_s;
    QTest::newRow("IPv4 TLS, PORT refused") << K::Pyftpdlib << false << false << true << false
                                            << QStringList{u"PORT"_s} << u"PASV"_s;
    QTest::newRow("IPv6, EPSV refused") << K::Pyftpdlib << true << false << false << true << QStringList{u"EPSV"_s}
                                        << u"EPRT"_s;
    QTest::newRow("IPv6 TLS, EPRT refused") << K::Pyftpdlib << true << false << true << false
                                            << QStringList{u"EPRT"_s} << u"EPSV"_s;
}

void TestDataModeServers::session()
{
    QFETCH(PeerServer::Kind, kind);
    QFETCH(bool, ipv6);
    QFETCH(bool, brackets);
    QFETCH(bool, tls);
    QFETCH(bool, passive);
    QFETCH(QStringList, refused);
    QFETCH(QString, used);
    if (ipv6 && !PeerServer::Ipv6Loopback())
        QSKIP("this machine has no ::1");
    QString why;
    if (!PeerServer::Available(kind, &why) || (tls && !PeerServer::TlsAvailable(kind, Tls::ExplicitRequired, &why)))
        QSKIP(qPrintable(why));
    PeerServer::Options options;
    options.ipv6 = ipv6;
    options.tls = tls ? Tls::ExplicitRequired : Tls::None;
    options.refusedCommands = refused;
    auto peer = PeerServer::Start(kind, options, &why);
    QVERIFY2(peer, qPrintable(why));
    const QByteArray payload = Pattern(3 * 1024 * 1024 + 7, 11);
    QVERIFY(peer->PutFile(u"down.bin"_s, payload));

    TMFtp ftp;
    Probe probe(ftp);
    probe.answers[needOverwriteLocal] = u"overwrite"_s;
    // The test's certificate names 127.0.0.1 and no other address: accepted for this connection.
    ftp.OnFtpCertificate = [](QObject *, const platform::TlsCertificateInfo &, bool, TMFtpCertificateAnswer &answer) {
        answer = certAcceptOnce;
    };
    ftp.TlsMode = tls ? tlsExplicitRequired : tlsPlainOnly;
    ftp.Passive = passive;
    const QString server = brackets ? u"["_s + peer->Host() + u"]"_s : peer->Host();
    QVERIFY2(Login(ftp, probe, server, peer->Port(), peer->User().toUtf8(), peer->Password().toUtf8()),
             qPrintable(probe.Dialogue() + probe.sequence.join(u' ') + peer->LogTail()));
    // An IPv6 literal needs no lookup (a dotted address still goes through one).
    QCOMPARE(probe.InfoCount(ftpiResolving), ipv6 ? 0 : 1);
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

    // The upload went straight to the mode that works, the IPv6 way on ::1.
    QStringList setup;
    for (const QString &command : probe.InfoTexts(ftpiCommand))
        if (QStringList{u"PASV"_s, u"EPSV"_s, u"PORT"_s, u"EPRT"_s}.contains(command.left(4)))
            setup << command.trimmed();
    QCOMPARE(setup.size(), 1);
    QVERIFY2(setup.first().startsWith(used == u"EPRT" ? u"EPRT |2|::1|"_s : used), qPrintable(setup.first()));
    QCOMPARE(ftp.PassiveInEffect(), refused.isEmpty() ? passive : !passive);
    if (tls && kind == PeerServer::Kind::Vsftpd)
        QVERIFY(ftp.DataSessionReused());  // vsftpd refuses data connections that do not resume
}

QTEST_GUILESS_MAIN(TestDataModeServers)
#include "tst_data_mode_servers.moc"
