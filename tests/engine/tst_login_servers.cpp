// Login against real servers: each kind is started on a loopback port of its
// own, logged in to by name and by address, kept alive and quit.

#include "engine_probe.h"
#include "peer_server.h"

#include <QtTest>

using testsupport::PeerServer;

Q_DECLARE_METATYPE(PeerServer::Kind)

class TestLoginServers : public QObject {
    Q_OBJECT
private slots:
    void loginKeepAliveQuit_data();
    void loginKeepAliveQuit();
    void wrongPasswordIsRefused_data() { loginKeepAliveQuit_data(); }
    void wrongPasswordIsRefused();

};

void TestLoginServers::loginKeepAliveQuit_data()
{
    QTest::addColumn<PeerServer::Kind>("kind");
    QTest::addColumn<QString>("host");
    for (PeerServer::Kind kind : PeerServer::FtpKinds()) {
        const QByteArray name = PeerServer::KindName(kind).toLatin1();
        QTest::newRow((name + " by address").constData()) << kind << QStringLiteral("127.0.0.1");
        QTest::newRow((name + " by name").constData()) << kind << QStringLiteral("localhost");
    }
}

void TestLoginServers::loginKeepAliveQuit()
{
    QFETCH(PeerServer::Kind, kind);
    QFETCH(QString, host);
    QString why;
    if (!PeerServer::Available(kind, &why))
        QSKIP(qPrintable(why));
    auto server = PeerServer::Start(kind, &why);
    QVERIFY2(server, qPrintable(why));

    TMFtp ftp;
    EngineProbe probe(ftp);
    ftp.ServerType = ftpstAutoDetect;
    ftp.SetServer(host);
    ftp.Port = server->Port();
    ftp.Username = server->User().toUtf8();
    ftp.SetPassword(server->Password().toUtf8());
    ftp.SetNoopInterval(1);
    ftp.Connect();
    QTRY_COMPARE_WITH_TIMEOUT(probe.Count(QStringLiteral("LoggedIn")), 1, 10000);

    QVERIFY2(probe.errors.isEmpty(), qPrintable(server->LogTail()));
    QCOMPARE(probe.InfoTexts(ftpiResolving), QStringList{host});
    QCOMPARE(probe.InfoTexts(ftpiConnecting), QStringList{QStringLiteral("127.0.0.1")});
    QCOMPARE(ftp.ServerType, ftpstUNIX);
    QVERIFY2(ftp.ResumeSupported(), qPrintable(probe.InfoTexts(ftpiReply).join(QString())));
    QCOMPARE(probe.InfoCount(ftpiResumeSupported), 1);
    QCOMPARE(ftp.CurrentDirectory(), server->LoginDirectory());
    // FEAT as each server answers it and the options it asks for; all four
    // list REST STREAM, so no resume probe follows.
    const FtpFeatures &features = ftp.Features();
    QVERIFY(features.answered);
    // vsftpd lists UTF8 only with utf8_filesystem, which the test server leaves off.
    const bool vsftpd = kind == PeerServer::Kind::Vsftpd;
    QCOMPARE(features.utf8, !vsftpd);
    QVERIFY(features.size && features.mdtm && features.restStream && features.epsv && features.eprt);
    QCOMPARE(features.mlsd, !vsftpd);
    QCOMPARE(features.HasFact("UNIX.mode"), !vsftpd);
    QCOMPARE(features.authTls, kind == PeerServer::Kind::PureFtpd);
    QStringList options = {QStringLiteral("SYST"), QStringLiteral("FEAT")};
    if (!vsftpd)
        options << QStringLiteral("OPTS UTF8 ON");
    // pyftpdlib lists UNIX.mode without sending it until asked.
    if (kind == PeerServer::Kind::Pyftpdlib)
        options << QStringLiteral("OPTS MLST type;perm;size;modify;unique;unix.mode;");
    const QStringList login = probe.Commands().mid(2);
    QCOMPARE(login, options + QStringList{QStringLiteral("PWD")});

    // Idle: the keep-alive speaks, and the server keeps answering it.
    QTRY_VERIFY_WITH_TIMEOUT(probe.Commands().contains(QStringLiteral("NOOP")), 3000);
    QVERIFY(ftp.Connected);
    QVERIFY(!ftp.Busy());

    ftp.Quit();
    QTRY_COMPARE_WITH_TIMEOUT(probe.Count(QStringLiteral("quit")), 1, 5000);
    QVERIFY(!ftp.Connected);
    QVERIFY(probe.errors.isEmpty());
    QVERIFY(probe.InfoTexts(ftpiReply).join(QString()).contains(QStringLiteral("221")));
}

void TestLoginServers::wrongPasswordIsRefused()
{
    QFETCH(PeerServer::Kind, kind);
    QFETCH(QString, host);
    if (host != QStringLiteral("127.0.0.1"))
        QSKIP("one row per server is enough");
    QString why;
    if (!PeerServer::Available(kind, &why))
        QSKIP(qPrintable(why));
    auto server = PeerServer::Start(kind, &why);
    QVERIFY2(server, qPrintable(why));

    TMFtp ftp;
    EngineProbe probe(ftp);
    ftp.SetServer(host);
    ftp.Port = server->Port();
    ftp.Username = server->User().toUtf8();
    ftp.SetPassword("certainly-not-the-password");
    ftp.Connect();
    // Servers delay a failed login on purpose; allow for it.
    QTRY_COMPARE_WITH_TIMEOUT(probe.Count(QStringLiteral("quit")), 1, 15000);
    QCOMPARE(probe.ErrorCodes(), QList<FtpError>{ftpeLoginRefused});
    QCOMPARE(probe.Commands().last(), QStringLiteral("QUIT"));
    QCOMPARE(probe.Count(QStringLiteral("LoggedIn")), 0);
    QVERIFY(!ftp.Connected);
}

QTEST_MAIN(TestLoginServers)
#include "tst_login_servers.moc"
