// The data connection's way round a server that refuses one mode: EPSV after
// a refused PASV, active after a failed passive connect, passive after a
// refused PORT or an active connection that never came, and the mode kept
// for the session — against the scripted
// peer, checked on the exact commands sent and the bytes that arrived.

#include "tst_transfer_probe.h"

#include "peer_server.h"
#include "scripted_ftp_peer.h"

#include <QTemporaryDir>
#include <QTest>

using namespace testsupport;
using namespace transfertest;
using namespace Qt::StringLiterals;

class TestDataFallback : public QObject {
    Q_OBJECT
private slots:
    void modeFallback_data();
    void modeFallback();
    void realServerOneModeOnly_data();
    void realServerOneModeOnly();
};

void TestDataFallback::modeFallback_data()
{
    QTest::addColumn<bool>("passive");
    QTest::addColumn<QString>("server");
    // The data-setup commands of the first and of a second download ("PORT"
    // stands for any PORT line).
    QTest::addColumn<QByteArrayList>("first");
    QTest::addColumn<QByteArrayList>("second");
    QTest::addColumn<bool>("passiveAfter");
    QTest::addColumn<QString>("logged");
    QTest::addColumn<bool>("upload");  // else a download

    QTest::newRow("PASV refused: EPSV")
        << true << u"PASV 500"_s << QByteArrayList{"PASV", "EPSV"} << QByteArrayList{"EPSV"} << true
        << u"trying EPSV"_s << false;
    QTest::newRow("PASV and EPSV refused: active")
        << true << u"PASV 500, EPSV 500"_s << QByteArrayList{"PASV", "EPSV", "PORT"} << QByteArrayList{"PORT"}
        << false << u"trying active mode"_s << false;
    QTest::newRow("passive connect refused: active")
        << true << u"closed passive port"_s << QByteArrayList{"PASV", "PORT"} << QByteArrayList{"PORT"} << false
        << u"The passive data connection failed"_s << false;
    QTest::newRow("server never connects: passive")
        << false << u"never connects"_s << QByteArrayList{"PORT", "PASV"} << QByteArrayList{"PASV"} << true
        << u"never opened the active data connection"_s << false;
    QTest::newRow("server cannot connect (425): passive")
        << false << u"425"_s << QByteArrayList{"PORT", "PASV"} << QByteArrayList{"PASV"} << true
        << u"could not open the active data connection"_s << false;
    QTest::newRow("server never connects, upload: passive")
        << false << u"never connects"_s << QByteArrayList{"PORT", "PASV"} << QByteArrayList{"PASV"} << true
        << u"never opened the active data connection"_s << true;
    QTest::newRow("server cannot connect (425), upload: passive")
        << false << u"425"_s << QByteArrayList{"PORT", "PASV"} << QByteArrayList{"PASV"} << true
        << u"could not open the active data connection"_s << true;
    QTest::newRow("PORT refused: passive")
        << false << u"PORT 500"_s << QByteArrayList{"PORT", "PASV"} << QByteArrayList{"PASV"} << true
        << u"trying passive mode"_s << false;
}

void TestDataFallback::modeFallback()
{
    QFETCH(bool, passive);
    QFETCH(QString, server);
    QFETCH(QByteArrayList, first);
    QFETCH(QByteArrayList, second);
    QFETCH(bool, passiveAfter);
    QFETCH(QString, logged);
    QFETCH(bool, upload);

    ScriptedFtpPeer peer;
    QVERIFY(peer.Listen());
    if (server.contains(u"PASV 500"))
        peer.On("PASV", Reply::Line(500, "PASV not understood."));
    if (server.contains(u"EPSV 500"))
        peer.On("EPSV", Reply::Line(500, "EPSV not understood."));
    if (server.contains(u"PORT 500"))
        peer.On("PORT", Reply::Line(500, "PORT refused."));
    if (server == u"closed passive port")
        QVERIFY(peer.SetPassiveAnnounce("127.0.0.1", ScriptedFtpPeer::ClosedPort()));
    if (server == u"never connects")
        peer.QueueTransfer(Transfer::Never());
    if (server == u"425")
        peer.QueueTransfer(Transfer::Refused());
    const QByteArray payload = Pattern(100000, 5);
    peer.SetTransfer("RETR", Transfer::Data(payload));

    TMFtp ftp;
    Probe probe(ftp);
    probe.answers[needOverwriteLocal] = u"overwrite"_s;
    QTemporaryDir dir;
    QVERIFY(Login(ftp, probe, peer.Host(), peer.Port(), "u", "p"));
    ftp.Passive = passive;
    ftp.TimeOutConnect = 2;
    ftp.RemoteFile = "f.bin";
    const auto setupCommands = [&](qsizetype from) {
        QByteArrayList setup;
        for (const QByteArray &command : peer.Commands().mid(from)) {
            const QByteArray verb = command.left(4);
            if (verb == "PASV" || verb == "EPSV" || verb == "PORT" || verb == "EPRT")
                setup << verb;
        }
        return setup;
    };

    for (int round = 0; round < 2; ++round) {
        const qsizetype before = peer.Commands().size();
        probe.Forget();
        ftp.LocalFile = dir.filePath(u"f%1.bin"_s.arg(round));
        if (upload) {
            QVERIFY(WriteFile(ftp.LocalFile, payload));
            ftp.Upload();
        } else {
            ftp.Download();
        }
        QTRY_VERIFY_WITH_TIMEOUT(probe.Count(upload ? u"FileStored"_s : u"FileReceived"_s) == 1, 10000);
        QVERIFY2(ftp.Success(), qPrintable(probe.sequence.join(u' ') + u'\n' + peer.TranscriptText()));
        if (upload)
            QTRY_COMPARE_WITH_TIMEOUT(peer.Transfers().last().received, payload, 5000);
        else
            QCOMPARE(ReadFile(ftp.LocalFile), payload);
        QCOMPARE(setupCommands(before), round == 0 ? first : second);
        QCOMPARE(ftp.PassiveInEffect(), passiveAfter);
        QCOMPARE(ftp.Passive, passive);  // the owner's choice is left alone
        bool told = false;
        for (const QString &text : probe.InfoTexts(ftpiReply))
            told = told || text.contains(logged);
        QCOMPARE(told, round == 0);
    }
    // A new session starts from the owner's choice again.
    ftp.Disconnect();
    probe.Forget();
    QVERIFY(Login(ftp, probe, peer.Host(), peer.Port(), "u", "p"));
    QCOMPARE(ftp.PassiveInEffect(), passive);
}

void TestDataFallback::realServerOneModeOnly_data()
{
    QTest::addColumn<bool>("ipv6");
    QTest::addColumn<bool>("tls");
    QTest::addColumn<bool>("passive");
    QTest::addColumn<QStringList>("refused");
    QTest::addColumn<QString>("used");  // the command that set up the data connections in the end

    QTest::newRow("IPv4 TLS, PASV and EPSV refused") << false << true << true << QStringList{u"PASV"_s, u"EPSV"_s} << u"PORT"_s;
    QTest::newRow("IPv4 TLS, PORT refused") << false << true << false << QStringList{u"PORT"_s} << u"PASV"_s;
    QTest::newRow("IPv6, EPSV refused") << true << false << true << QStringList{u"EPSV"_s} << u"EPRT"_s;
    QTest::newRow("IPv6 TLS, EPRT refused") << true << true << false << QStringList{u"EPRT"_s} << u"EPSV"_s;
}

// pyftpdlib taking one data mode only: the session finds the other one and
// moves files both ways with it, TLS on the data connections included.
void TestDataFallback::realServerOneModeOnly()
{
    QFETCH(bool, ipv6);
    QFETCH(bool, tls);
    QFETCH(bool, passive);
    QFETCH(QStringList, refused);
    QFETCH(QString, used);
    using Kind = PeerServer::Kind;
    QString why;
    if (ipv6 && !PeerServer::Ipv6Loopback())
        QSKIP("this machine has no ::1");
    if (!PeerServer::Available(Kind::Pyftpdlib, &why)
        || (tls && !PeerServer::TlsAvailable(Kind::Pyftpdlib, PeerServer::Options::Tls::ExplicitRequired, &why)))
        QSKIP(qPrintable(why));
    PeerServer::Options options;
    options.ipv6 = ipv6;
    options.tls = tls ? PeerServer::Options::Tls::ExplicitRequired : PeerServer::Options::Tls::None;
    options.refusedCommands = refused;
    auto server = PeerServer::Start(Kind::Pyftpdlib, options, &why);
    QVERIFY2(server, qPrintable(why));
    const QByteArray payload = Pattern(2 * 1024 * 1024 + 3, 17);
    QVERIFY(server->PutFile(u"down.bin"_s, payload));

    TMFtp ftp;
    Probe probe(ftp);
    probe.answers[needOverwriteLocal] = u"overwrite"_s;
    ftp.OnFtpCertificate = [](QObject *, const platform::TlsCertificateInfo &, bool, TMFtpCertificateAnswer &answer) {
        answer = certAcceptOnce;
    };
    ftp.TlsMode = tls ? tlsExplicitRequired : tlsPlainOnly;
    ftp.Passive = passive;
    QVERIFY2(Login(ftp, probe, server->Host(), server->Port(), server->User().toUtf8(), server->Password().toUtf8()),
             qPrintable(probe.Dialogue() + server->LogTail()));
    QTemporaryDir local;
    ftp.RemoteFile = "/down.bin";
    ftp.LocalFile = local.filePath(u"down.bin"_s);
    ftp.Download();
    QTRY_COMPARE_WITH_TIMEOUT(probe.Count(u"FileReceived"_s), 1, 20000);
    QVERIFY2(ftp.Success(), qPrintable(probe.Dialogue() + server->LogTail()));
    QCOMPARE(Sha256OfFile(ftp.LocalFile), Sha256(payload));
    QCOMPARE(ftp.PassiveInEffect(), !passive);

    probe.Forget();
    ftp.RemoteFile = "/up.bin";
    ftp.Upload();
    QTRY_COMPARE_WITH_TIMEOUT(probe.Count(u"FileStored"_s), 1, 20000);
    QVERIFY2(ftp.Success(), qPrintable(probe.Dialogue() + server->LogTail()));
    QCOMPARE(Sha256(server->ReadFile(u"up.bin"_s)), Sha256(payload));
    QCOMPARE(ftp.DataEncrypted(), tls);
    // The upload went straight to the mode that worked.
    QStringList setup;
    for (const QString &command : probe.InfoTexts(ftpiCommand))
        if (QStringList{u"PASV"_s, u"EPSV"_s, u"PORT"_s, u"EPRT"_s}.contains(command.left(4)))
            setup << command.left(4);
    QCOMPARE(setup, QStringList{used});
}

QTEST_GUILESS_MAIN(TestDataFallback)
#include "tst_data_fallback.moc"
