// The data connection's way round a server that refuses one mode: EPSV after
// a refused PASV, active after a failed passive connect, passive after a
// refused PORT or an active connection that never came, and the mode kept
// for the session — against the scripted peer, checked on the exact
// commands sent and the bytes that arrived. Real servers taking one mode
// only are in tst_data_mode_servers.

#include "tst_transfer_probe.h"

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

QTEST_GUILESS_MAIN(TestDataFallback)
#include "tst_data_fallback.moc"
