// The control connection and login against a scripted peer: the exact
// dialogue, reply framing, server-type detection and the error paths.

#include "engine_probe.h"
#include "scripted_ftp_peer.h"

#include <QtTest>

using testsupport::Reply;
using testsupport::ScriptedFtpPeer;
using testsupport::Transfer;

Q_DECLARE_METATYPE(testsupport::Reply)

namespace {

const QStringList PlainLogin = {QStringLiteral("USER user"), QStringLiteral("PASS secret"),
                                QStringLiteral("SYST"), QStringLiteral("FEAT"),
                                QStringLiteral("REST 100"), QStringLiteral("REST 0"), QStringLiteral("PWD")};

void Aim(TMFtp &ftp, const ScriptedFtpPeer &peer)
{
    ftp.SetServer(peer.Host());
    ftp.Port = peer.Port();
    ftp.Username = "user";
    ftp.SetPassword("secret");
}

QStringList PeerCommands(const ScriptedFtpPeer &peer)
{
    QStringList commands;
    for (const QByteArray &line : peer.Commands())
        commands << QString::fromLatin1(line);
    return commands;
}

}  // namespace

class TestControl : public QObject {
    Q_OBJECT
private slots:
    void plainLoginDialogue();
    void replyFraming_data();
    void replyFraming();
    void accountAskedAfter332();
    void answersFollowNameEncoding_data();
    void answersFollowNameEncoding();
    void userRefusedSendsQuit();
    void serverTypeDetection_data();
    void serverTypeDetection();
    void resumeProbe_data();
    void resumeProbe();
    void resumeProbeRetriedInBinary();
    void initialDirectoryAndQuotedPath_data();
    void initialDirectoryAndQuotedPath();
    void greetingRefusedIsFatal();
    void silentServerTimesOut();
    void endlessReplyLineIsCut();
    void closedPortGivesErrorAndTwoQuits();
    void refusedOperations();
    void proxyUserSiteNamesTheTarget();
    void keepAliveAndQuit();
    void zeroNoopIntervalSendsNoNoop();
    void operationDuringKeepAliveSendNeverHangs();
    void operationWaitsForNoopReply();
    void noopWaitEndsWithTheConnection();
    void serverCloseRaisesLastCompletionAgain();
    void serverCloseMidOperationIsAFailure();
};

void TestControl::plainLoginDialogue()
{
    ScriptedFtpPeer peer;
    QVERIFY(peer.Listen());
    peer.On("PWD", Reply::Line(257, "\"/home/user\" is the current directory"));
    TMFtp ftp;
    EngineProbe probe(ftp);
    Aim(ftp, peer);
    ftp.Connect();
    QTRY_COMPARE_WITH_TIMEOUT(probe.Count(QStringLiteral("LoggedIn")), 1, 5000);

    QCOMPARE(PeerCommands(peer), PlainLogin);
    QVERIFY(ftp.Connected);
    QVERIFY(ftp.LoggedIn());
    QVERIFY(!ftp.Busy());
    QVERIFY(ftp.Success());
    QCOMPARE(ftp.CurrentDirectory(), QByteArray("/home/user"));
    QCOMPARE(ftp.ServerType, ftpstUNIX);
    QCOMPARE(ftp.CurrentReplyState(), ReplyState::Idle);
    // The log shows the password masked, one star per character.
    QVERIFY(probe.Commands().contains(QStringLiteral("PASS ******")));
    QVERIFY(!probe.Commands().join(QString()).contains(QStringLiteral("secret")));
    QCOMPARE(ftp.Password(), QByteArray("******"));
    // One star per character, also where a character takes several bytes.
    ftp.SetPassword(QStringLiteral("密码9").toUtf8());
    QCOMPARE(ftp.Password(), QByteArray("***"));
    // Connected before any reply, logged in last; ready comes before the completion event.
    QCOMPARE(probe.InfoTexts(ftpiConnected), QStringList{QStringLiteral("127.0.0.1")});
    QCOMPARE(probe.InfoTexts(ftpiResolving), QStringList{QStringLiteral("127.0.0.1")});
    QCOMPARE(probe.InfoTexts(ftpiLoggedIn), QStringList{QStringLiteral("Logged in")});
    int ready = probe.sequence.indexOf(QStringLiteral("ready"));
    QVERIFY(ready >= 0 && ready + 1 == probe.sequence.indexOf(QStringLiteral("LoggedIn")));
    QVERIFY(probe.errors.isEmpty());
}

void TestControl::replyFraming_data()
{
    QTest::addColumn<Reply>("greeting");
    QTest::addColumn<Reply>("userReply");
    QTest::addColumn<QStringList>("commands");
    const QStringList login = PlainLogin;
    QTest::newRow("three-line greeting")
        << Reply::Lines({"220-Welcome", "220-to the scripted peer", "220 Ready"})
        << Reply::Line(331, "Password required") << login;
    QTest::newRow("greeting split mid-line across reads")
        << Reply::Split({"22", "0 Rea", "dy\r", "\n"}, 60) << Reply::Line(331, "Password required") << login;
    QTest::newRow("multi-line with inner lines that look like replies")
        << Reply::Lines({"220-First", "331 not the end", "220-still", "220 Last"})
        << Reply::Line(331, "Password required") << login;
    // 331 and 230 in one read: the 230 is taken as the reply to PASS.
    QTest::newRow("two replies in one read")
        << Reply::Line(220, "Ready") << Reply::Raw("331 Password required\r\n230 Logged in\r\n")
        << QStringList{QStringLiteral("USER user"), QStringLiteral("PASS secret"), QStringLiteral("SYST"),
                       QStringLiteral("FEAT"), QStringLiteral("REST 100"), QStringLiteral("REST 0"),
                       QStringLiteral("PWD")};
    QTest::newRow("bare LF line ends")
        << Reply::Raw("220-Welcome\n220 Ready\n") << Reply::Raw("331 Password required\n") << login;
    QTest::newRow("lone CR is no line end")
        << Reply::Raw("220-Welcome\r220 not the end\r\n220 Ready\r\n") << Reply::Line(331, "Password required")
        << login;
    // A NUL cuts its own line short, nothing more.
    QTest::newRow("NUL in the greeting and in the USER reply")
        << Reply::Raw(QByteArray("220 hi\0junk\r\n", 13)) << Reply::Raw(QByteArray("331 x\0y\r\n", 9)) << login;
    QTest::newRow("NUL in a line of a multi-line greeting")
        << Reply::Raw(QByteArray("220-a\0b\r\n220-c\r\n220 Ready\r\n", 27)) << Reply::Line(331, "Password required")
        << login;
    QTest::newRow("two replies in one read, NUL in the first")
        << Reply::Line(220, "Ready") << Reply::Raw(QByteArray("331 x\0y\r\n230 Logged in\r\n", 24)) << login;
    QTest::newRow("USER accepted without password")
        << Reply::Line(220, "Ready") << Reply::Line(230, "No password needed")
        << QStringList{QStringLiteral("USER user"), QStringLiteral("SYST"), QStringLiteral("FEAT"),
                       QStringLiteral("REST 100"),
                       QStringLiteral("REST 0"), QStringLiteral("PWD")};
}

void TestControl::replyFraming()
{
    QFETCH(Reply, greeting);
    QFETCH(Reply, userReply);
    QFETCH(QStringList, commands);
    ScriptedFtpPeer peer;
    QVERIFY(peer.Listen());
    peer.SetGreeting(greeting);
    peer.On("USER", userReply);
    // When the 230 came early, the peer must not answer PASS a second time.
    if (QByteArray(QTest::currentDataTag()).startsWith("two replies in one read"))
        peer.On("PASS", Reply::Silent());
    TMFtp ftp;
    EngineProbe probe(ftp);
    Aim(ftp, peer);
    ftp.Connect();
    QTRY_COMPARE_WITH_TIMEOUT(probe.Count(QStringLiteral("LoggedIn")), 1, 5000);
    QTest::qWait(50);
    QCOMPARE(PeerCommands(peer), commands);
    QCOMPARE(peer.CommandCount("USER"), 1);
}

void TestControl::accountAskedAfter332()
{
    ScriptedFtpPeer peer;
    QVERIFY(peer.Listen());
    peer.On("PASS", Reply::Line(332, "Need account for login."));
    TMFtp ftp;
    EngineProbe probe(ftp);
    probe.answers[needAccount] = QStringLiteral("acct7");
    Aim(ftp, peer);
    ftp.Connect();
    QTRY_COMPARE_WITH_TIMEOUT(probe.Count(QStringLiteral("LoggedIn")), 1, 5000);
    QCOMPARE(probe.needs, QList<TMFtpInfoNeeded>{needAccount});
    QCOMPARE(peer.Commands().mid(0, 4), (QByteArrayList{"USER user", "PASS secret", "ACCT acct7", "SYST"}));
    QCOMPARE(ftp.Account, QByteArray("acct7"));
}

void TestControl::answersFollowNameEncoding_data()
{
    QTest::addColumn<QByteArray>("listedName");  // listed before the login that asks; none when empty
    QTest::addColumn<int>("need");
    QTest::addColumn<QByteArray>("sent");

    const QByteArray utf8 = "\xe5\xaf\x86\xe7\xa0\x81";  // "密码"
    const QByteArray gb = "\xc3\xdc\xc2\xeb";
    QTest::newRow("nothing listed: UTF-8") << QByteArray() << int(needPassword) << "PASS " + utf8;
    QTest::newRow("UTF-8 names listed") << QByteArray("\xe4\xb8\xad.txt") << int(needPassword) << "PASS " + utf8;
    QTest::newRow("GB18030 names listed: password") << QByteArray("\xd6\xd0.txt") << int(needPassword) << "PASS " + gb;
    QTest::newRow("GB18030 names listed: user") << QByteArray("\xd6\xd0.txt") << int(needUsername) << "USER " + gb;
    QTest::newRow("GB18030 names listed: account") << QByteArray("\xd6\xd0.txt") << int(needAccount) << "ACCT " + gb;
}

void TestControl::answersFollowNameEncoding()
{
    QFETCH(QByteArray, listedName);
    QFETCH(int, need);
    QFETCH(QByteArray, sent);
    ScriptedFtpPeer peer;
    QVERIFY(peer.Listen());
    peer.SetTransfer("LIST", Transfer::Data("-rw-r--r-- 1 u g 1 Jan 1 2000 plain.txt\r\n"
                                            "-rw-r--r-- 1 u g 1 Jan 1 2000 " + listedName + "\r\n"));
    TMFtp ftp;
    EngineProbe probe(ftp);
    probe.answers[need] = QStringLiteral("密码");
    Aim(ftp, peer);
    ftp.Passive = true;
    if (!listedName.isEmpty()) {
        ftp.Connect();
        QTRY_COMPARE_WITH_TIMEOUT(probe.Count(QStringLiteral("LoggedIn")), 1, 5000);
        ftp.List();
        QTRY_COMPARE_WITH_TIMEOUT(probe.Count(QStringLiteral("ListingDone")), 1, 5000);
        QVERIFY(ftp.FileNames.contains(listedName));
        ftp.Disconnect();
    }

    // The next login asks, and sends the answer the way this server's names are encoded.
    if (need == needUsername)
        ftp.Username.clear();
    else if (need == needPassword)
        ftp.SetPassword(QByteArray());
    else
        peer.On("PASS", Reply::Line(332, "Need account for login."));
    const int loggedIn = probe.Count(QStringLiteral("LoggedIn"));
    ftp.Connect();
    QTRY_COMPARE_WITH_TIMEOUT(probe.Count(QStringLiteral("LoggedIn")), loggedIn + 1, 5000);
    QCOMPARE(probe.needs, QList<TMFtpInfoNeeded>{TMFtpInfoNeeded(need)});
    QVERIFY2(peer.Commands().contains(sent), qPrintable(peer.TranscriptText()));
}

void TestControl::userRefusedSendsQuit()
{
    for (const QByteArray &refused : {QByteArrayLiteral("USER"), QByteArrayLiteral("PASS")}) {
        ScriptedFtpPeer peer;
        QVERIFY(peer.Listen());
        peer.On(refused, Reply::Line(530, "Login incorrect."));
        TMFtp ftp;
        EngineProbe probe(ftp);
        Aim(ftp, peer);
        ftp.Connect();
        QTRY_VERIFY_WITH_TIMEOUT(peer.CommandCount("QUIT") == 1, 5000);
        QCOMPARE(probe.ErrorCodes(), QList<FtpError>{ftpeLoginRefused});
        QVERIFY(!ftp.Success());
        // The peer answers QUIT and closes; until then the connection is up.
        QTRY_COMPARE_WITH_TIMEOUT(probe.Count(QStringLiteral("quit")), 1, 5000);
        QVERIFY(!ftp.Connected);
        QCOMPARE(probe.Count(QStringLiteral("LoggedIn")), 0);
        QCOMPARE(peer.CommandCount("SYST"), 0);
    }
}

void TestControl::serverTypeDetection_data()
{
    QTest::addColumn<QByteArray>("syst");
    QTest::addColumn<int>("type");
    QTest::newRow("UNIX") << QByteArray("215 UNIX Type: L8") << int(ftpstUNIX);
    QTest::newRow("lower case unix") << QByteArray("215 unix type: l8") << int(ftpstUNIX);
    QTest::newRow("CLIX") << QByteArray("215 CLIX") << int(ftpstClix);
    QTest::newRow("ULTRIX beats UNIX") << QByteArray("215 UNIX ULTRIX") << int(ftpstULTRIX);
    QTest::newRow("MVS") << QByteArray("215 MVS is the operating system of this server.") << int(ftpstMVS);
    QTest::newRow("QVT") << QByteArray("215 QVT/Net") << int(ftpstQVT);
    QTest::newRow("NCSA after UNIX wins") << QByteArray("215 UNIX emulated by NCSA") << int(ftpstNCSA);
    QTest::newRow("CHAMELEON") << QByteArray("215 Chameleon") << int(ftpstChameleon);
    QTest::newRow("VMS MultiNet") << QByteArray("215 VMS MultiNet V4.3") << int(ftpstVmsMultinet);
    QTest::newRow("VMS UCX") << QByteArray("215 VMS OpenVMS V7") << int(ftpstVmsUcx);
    QTest::newRow("VM/VPS") << QByteArray("215 VM/VPS") << int(ftpstVMVPS);
    QTest::newRow("VM") << QByteArray("215 VM is the operating system") << int(ftpstVM);
    QTest::newRow("Windows") << QByteArray("215 Windows_NT") << int(ftpstDefault);
    QTest::newRow("refused") << QByteArray("500 SYST not understood") << int(ftpstDefault);
    QTest::newRow("4xx examined like 2xx") << QByteArray("450 UNIX busy") << int(ftpstUNIX);
    // Only the text from the fifth character on is examined.
    QTest::newRow("code is not text") << QByteArray("VMS UNIX") << int(ftpstUNIX);
}

void TestControl::serverTypeDetection()
{
    QFETCH(QByteArray, syst);
    QFETCH(int, type);
    ScriptedFtpPeer peer;
    QVERIFY(peer.Listen());
    peer.On("SYST", Reply::Raw(syst + "\r\n"));
    TMFtp ftp;
    EngineProbe probe(ftp);
    ftp.ServerType = ftpstAutoDetect;
    Aim(ftp, peer);
    ftp.Connect();
    QTRY_COMPARE_WITH_TIMEOUT(probe.Count(QStringLiteral("LoggedIn")), 1, 5000);
    QCOMPARE(int(ftp.ServerType), type);
}

void TestControl::resumeProbe_data()
{
    QTest::addColumn<Reply>("restReply");
    QTest::addColumn<bool>("supported");
    QTest::addColumn<QStringList>("commands");
    const QStringList withBinaryRetry = {QStringLiteral("USER user"), QStringLiteral("PASS secret"),
                                         QStringLiteral("SYST"), QStringLiteral("FEAT"),
                                         QStringLiteral("REST 100"), QStringLiteral("TYPE I"), QStringLiteral("REST 100"),
                                         QStringLiteral("REST 0"), QStringLiteral("PWD")};
    QTest::newRow("350 accepted") << Reply::Line(350, "Restarting at 100.") << true << PlainLogin;
    QTest::newRow("502 refused") << Reply::Line(502, "REST not implemented.") << false << PlainLogin;
    QTest::newRow("200 is not a resume answer") << Reply::Line(200, "OK") << false << PlainLogin;
    // A 501 means "not in this mode": asked once more in binary, and refused again.
    QTest::newRow("501 twice") << Reply::Line(501, "Resuming transfers not allowed in ASCII mode.") << false
                               << withBinaryRetry;
}

void TestControl::resumeProbe()
{
    QFETCH(Reply, restReply);
    QFETCH(bool, supported);
    QFETCH(QStringList, commands);
    ScriptedFtpPeer peer;
    QVERIFY(peer.Listen());
    peer.On("REST 100", restReply);
    TMFtp ftp;
    EngineProbe probe(ftp);
    Aim(ftp, peer);
    ftp.Connect();
    QTRY_COMPARE_WITH_TIMEOUT(probe.Count(QStringLiteral("LoggedIn")), 1, 5000);
    QCOMPARE(ftp.ResumeSupported(), supported);
    QCOMPARE(probe.InfoTexts(ftpiResumeSupported),
             supported ? QStringList{QStringLiteral("This site can resume broken downloads/uploads")}
                       : QStringList());
    QCOMPARE(PeerCommands(peer), commands);  // "REST 0" follows either way
}

void TestControl::resumeProbeRetriedInBinary()
{
    ScriptedFtpPeer peer;
    QVERIFY(peer.Listen());
    peer.Queue("REST 100", Reply::Line(501, "REST: Resuming transfers not allowed in ASCII mode"));
    TMFtp ftp;
    EngineProbe probe(ftp);
    Aim(ftp, peer);
    ftp.Connect();
    QTRY_COMPARE_WITH_TIMEOUT(probe.Count(QStringLiteral("LoggedIn")), 1, 5000);
    QVERIFY(ftp.ResumeSupported());
    QCOMPARE(peer.Commands().mid(3, 4), (QByteArrayList{"FEAT", "REST 100", "TYPE I", "REST 100"}));
    QCOMPARE(peer.Commands().mid(7), (QByteArrayList{"REST 0", "PWD"}));
}

void TestControl::initialDirectoryAndQuotedPath_data()
{
    QTest::addColumn<QByteArray>("initial");
    QTest::addColumn<Reply>("reply");
    QTest::addColumn<QByteArray>("directory");
    QTest::addColumn<bool>("loggedIn");
    QTest::newRow("PWD quoted") << QByteArray() << Reply::Line(257, "\"/pub/a b\" is current") << QByteArray("/pub/a b") << true;
    QTest::newRow("PWD one quote") << QByteArray() << Reply::Line(257, "\"/pub") << QByteArray() << true;
    QTest::newRow("PWD no quote") << QByteArray() << Reply::Line(257, "/pub") << QByteArray() << true;
    QTest::newRow("PWD refused is fatal") << QByteArray() << Reply::Line(550, "No") << QByteArray() << false;
    QTest::newRow("CWD initial directory") << QByteArray("/srv/ftp") << Reply::Line(250, "\"/srv/ftp\" ok")
                                            << QByteArray("/srv/ftp") << true;
}

void TestControl::initialDirectoryAndQuotedPath()
{
    QFETCH(QByteArray, initial);
    QFETCH(Reply, reply);
    QFETCH(QByteArray, directory);
    QFETCH(bool, loggedIn);
    ScriptedFtpPeer peer;
    QVERIFY(peer.Listen());
    peer.On(initial.isEmpty() ? QByteArray("PWD") : QByteArray("CWD"), reply);
    TMFtp ftp;
    EngineProbe probe(ftp);
    Aim(ftp, peer);
    ftp.InitialDirectory = initial;
    ftp.Connect();
    QTRY_VERIFY_WITH_TIMEOUT(probe.Count(QStringLiteral("LoggedIn")) == 1 || probe.Count(QStringLiteral("quit")) >= 1, 5000);
    QCOMPARE(probe.Count(QStringLiteral("LoggedIn")), loggedIn ? 1 : 0);
    QCOMPARE(ftp.CurrentDirectory(), directory);
    if (!initial.isEmpty())
        QCOMPARE(peer.LastCommand(), "CWD " + initial);
    if (!loggedIn)
        QCOMPARE(probe.ErrorCodes(), QList<FtpError>{ftpeProtocol});
}

void TestControl::greetingRefusedIsFatal()
{
    ScriptedFtpPeer peer;
    QVERIFY(peer.Listen());
    peer.SetGreeting(Reply::Line(421, "Too many users"));
    TMFtp ftp;
    EngineProbe probe(ftp);
    Aim(ftp, peer);
    ftp.Connect();
    QTRY_COMPARE_WITH_TIMEOUT(probe.Count(QStringLiteral("quit")), 1, 5000);
    QCOMPARE(probe.ErrorCodes(), QList<FtpError>{ftpeServerNotReady});
    QVERIFY(!ftp.Connected);
    QVERIFY(peer.Commands().isEmpty());
}

void TestControl::silentServerTimesOut()
{
    ScriptedFtpPeer peer;
    QVERIFY(peer.Listen());
    peer.SetMode(ScriptedFtpPeer::Mode::Silent);
    TMFtp ftp;
    EngineProbe probe(ftp);
    Aim(ftp, peer);
    ftp.TimeOutConnect = 1;
    ftp.Connect();
    QTRY_COMPARE_WITH_TIMEOUT(probe.ErrorCodes(), QList<FtpError>{ftpeTimeout}, 4000);
    QTRY_COMPARE_WITH_TIMEOUT(probe.Count(QStringLiteral("quit")), 1, 2000);
    QVERIFY(!ftp.Connected);
    QVERIFY(!ftp.HasSocket());
}

void TestControl::endlessReplyLineIsCut()
{
    ScriptedFtpPeer peer;
    QVERIFY(peer.Listen());
    QByteArray endless(TMFtp::MaxPendingLine + 4096, 'x');
    peer.SetGreeting(Reply::Raw("220" + endless));
    TMFtp ftp;
    EngineProbe probe(ftp);
    Aim(ftp, peer);
    ftp.Connect();
    QTRY_COMPARE_WITH_TIMEOUT(probe.ErrorCodes(), QList<FtpError>{ftpeProtocol}, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(probe.Count(QStringLiteral("quit")), 1, 2000);
    QVERIFY(!ftp.Connected);
    QVERIFY(peer.Commands().isEmpty());
}

void TestControl::closedPortGivesErrorAndTwoQuits()
{
    TMFtp ftp;
    EngineProbe probe(ftp);
    ftp.SetServer(QStringLiteral("127.0.0.1"));
    ftp.Port = ScriptedFtpPeer::ClosedPort();
    ftp.Connect();
    QTRY_COMPARE_WITH_TIMEOUT(probe.Count(QStringLiteral("quit")), 2, 5000);
    QCOMPARE(probe.errors.size(), 1);
    QCOMPARE(probe.errors.first().first, ftpeConnectionRefused);
    QCOMPARE(probe.errors.first().second, QStringLiteral("Connection Refused"));
    QVERIFY(!ftp.Connected);
    QVERIFY(!ftp.Success());
}

void TestControl::refusedOperations()
{
    TMFtp ftp;
    EngineProbe probe(ftp);
    ftp.Quit();
    QCOMPARE(probe.InfoTexts(ftpiDisconnected), QStringList{QStringLiteral("Not connected to the server")});

    // No server and nobody to ask: error 19, nothing else.
    ftp.Connect();
    QCOMPARE(probe.ErrorCodes(), QList<FtpError>{ftpeNoServer});

    ScriptedFtpPeer peer;
    QVERIFY(peer.Listen());
    peer.On("QUIT", Reply::Silent());
    Aim(ftp, peer);
    ftp.Connect();
    QTRY_COMPARE_WITH_TIMEOUT(probe.Count(QStringLiteral("LoggedIn")), 1, 5000);
    ftp.Quit();
    QVERIFY(ftp.Busy());
    ftp.Connect();
    ftp.Quit();
    QCOMPARE(probe.InfoTexts(ftpiBusy), (QStringList{QStringLiteral("当前连接正忙"), QStringLiteral("当前连接正忙")}));
    QTest::qWait(50);
    QCOMPARE(peer.CommandCount("QUIT"), 1);
    QCOMPARE(peer.ConnectionCount(), 1);
}

void TestControl::proxyUserSiteNamesTheTarget()
{
    ScriptedFtpPeer proxy;
    QVERIFY(proxy.Listen());
    TMFtp ftp;
    EngineProbe probe(ftp);
    ftp.ProxyType = proxyUserSite;
    ftp.ProxyServer = QStringLiteral("   ");
    ftp.SetServer(QStringLiteral("127.0.0.1"));
    ftp.Port = proxy.Port();
    ftp.Username = "anna";
    ftp.SetPassword("pw");
    ftp.Connect();
    QTRY_COMPARE_WITH_TIMEOUT(probe.Count(QStringLiteral("LoggedIn")), 1, 5000);
    QCOMPARE(ftp.ProxyType, proxyNone);  // a blank proxy falls back, and stays so
    QCOMPARE(proxy.Commands().first(), QByteArray("USER anna"));
    ftp.Disconnect();

    // The connection goes to the proxy (named by host name); USER names the target site.
    ScriptedFtpPeer second;
    QVERIFY(second.Listen());
    ftp.ProxyType = proxyUserSite;
    ftp.ProxyServer = QStringLiteral("localhost");
    ftp.SetServer(QStringLiteral("ftp.target.example"));
    ftp.Port = second.Port();
    ftp.Connect();
    QTRY_COMPARE_WITH_TIMEOUT(probe.Count(QStringLiteral("LoggedIn")), 2, 5000);
    QCOMPARE(second.Commands().first(), QByteArray("USER anna@ftp.target.example"));
    QCOMPARE(ftp.Server(), QStringLiteral("ftp.target.example"));
}

void TestControl::keepAliveAndQuit()
{
    ScriptedFtpPeer peer;
    QVERIFY(peer.Listen());
    TMFtp ftp;
    EngineProbe probe(ftp);
    Aim(ftp, peer);
    ftp.SetNoopInterval(1);
    QCOMPARE(ftp.NoopInterval(), 1);
    ftp.Connect();
    QTRY_COMPARE_WITH_TIMEOUT(probe.Count(QStringLiteral("LoggedIn")), 1, 5000);
    QCOMPARE(peer.CommandCount("NOOP"), 0);
    QTRY_VERIFY_WITH_TIMEOUT(peer.CommandCount("NOOP") >= 1, 3000);
    QVERIFY(!ftp.Busy());

    probe.sequence.clear();
    ftp.Quit();
    QTRY_COMPARE_WITH_TIMEOUT(probe.Count(QStringLiteral("quit")), 1, 5000);
    QVERIFY(!ftp.Busy());
    QVERIFY(!ftp.LoggedIn());
    QVERIFY(!ftp.Connected);
    // The server's close: info, then ready (the login's kind was reset: no completion), then quit.
    QCOMPARE(probe.sequence.filter(QRegularExpression(QStringLiteral("^(info:1|ready|quit|[A-Z].*)$"))),
             (QStringList{QStringLiteral("info:1"), QStringLiteral("ready"), QStringLiteral("quit")}));
    const int noops = peer.CommandCount("NOOP");
    QTest::qWait(1300);
    QCOMPARE(peer.CommandCount("NOOP"), noops);  // no keep-alive after the end
}

void TestControl::zeroNoopIntervalSendsNoNoop()
{
    ScriptedFtpPeer peer;
    QVERIFY(peer.Listen());
    TMFtp ftp;
    EngineProbe probe(ftp);
    Aim(ftp, peer);
    // A timer of 0 ms would fire at every turn of the event loop and flood the
    // server with NOOPs; no period means no keep-alive.
    ftp.SetNoopInterval(0);
    ftp.Connect();
    QTRY_COMPARE_WITH_TIMEOUT(probe.Count(QStringLiteral("LoggedIn")), 1, 5000);
    ftp.MakeDirectory("new");
    QTRY_COMPARE_WITH_TIMEOUT(probe.Count(QStringLiteral("DirectoryCreated")), 1, 5000);
    QTest::qWait(300);
    QCOMPARE(peer.CommandCount("NOOP"), 0);
    QCOMPARE(PeerCommands(peer), PlainLogin + QStringList{QStringLiteral("MKD new")});

    // A period set again later works as before.
    ftp.SetNoopInterval(1);
    ftp.MakeDirectory("other");
    QTRY_VERIFY_WITH_TIMEOUT(peer.CommandCount("NOOP") >= 1, 3000);
}

void TestControl::operationDuringKeepAliveSendNeverHangs()
{
    ScriptedFtpPeer peer;
    QVERIFY(peer.Listen());
    TMFtp ftp;
    EngineProbe probe(ftp);
    Aim(ftp, peer);
    ftp.SetNoopInterval(1);
    ftp.Connect();
    QTRY_COMPARE_WITH_TIMEOUT(probe.Count(QStringLiteral("LoggedIn")), 1, 5000);

    // A click that the event loop handles while the NOOP is being written:
    // the NOOP's own reply state must not replace the operation's.
    auto recorded = ftp.OnFtpInfo;
    bool clicked = false;
    ftp.OnFtpInfo = [&](QObject *sender, FtpInfo info, const QString &text) {
        recorded(sender, info, text);
        if (info == ftpiCommand && text == QStringLiteral("NOOP\r\n") && !clicked) {
            clicked = true;
            QMetaObject::invokeMethod(&ftp, [&ftp] { ftp.MakeDirectory("new"); }, Qt::QueuedConnection);
        }
    };
    QTRY_VERIFY_WITH_TIMEOUT(clicked, 3000);
    // Either refused as busy, or carried out; never left waiting for a reply
    // that was read in the wrong state.
    QTRY_VERIFY_WITH_TIMEOUT(probe.Count(QStringLiteral("DirectoryCreated")) == 1
                                 || probe.Count(QStringLiteral("info:6")) == 1,
                             3000);
    QTRY_VERIFY_WITH_TIMEOUT(!ftp.Busy(), 3000);
    QTRY_COMPARE_WITH_TIMEOUT(ftp.CurrentReplyState(), int(ReplyState::Idle), 3000);

    ftp.OnFtpInfo = recorded;
    const int created = probe.Count(QStringLiteral("DirectoryCreated"));
    ftp.MakeDirectory("after");
    QTRY_COMPARE_WITH_TIMEOUT(probe.Count(QStringLiteral("DirectoryCreated")), created + 1, 3000);
    QVERIFY(ftp.Success());
    QCOMPARE(peer.LastCommand(), QByteArray("MKD after"));
}

void TestControl::operationWaitsForNoopReply()
{
    ScriptedFtpPeer peer;
    QVERIFY(peer.Listen());
    peer.On("NOOP", Reply().Pause(300).Write("200 NOOP ok.\r\n"));
    peer.On("RMD", Reply::Line(550, "Not empty."));
    peer.On("MKD", Reply().Pause(200).Write("257 \"/new\" created.\r\n"));
    TMFtp ftp;
    EngineProbe probe(ftp);
    Aim(ftp, peer);
    ftp.SetNoopInterval(1);
    ftp.Connect();
    QTRY_COMPARE_WITH_TIMEOUT(probe.Count(QStringLiteral("LoggedIn")), 1, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(peer.CommandCount("NOOP"), 1, 3000);

    // Started while the NOOP's reply is on its way: that reply is not the MKD's.
    QString received;
    auto recorded = ftp.OnFtpInfo;
    ftp.OnFtpInfo = [&](QObject *sender, FtpInfo info, const QString &text) {
        if (info == ftpiReply)
            received += text;
        recorded(sender, info, text);
    };
    bool answeredBeforeCompletion = false;
    auto created = ftp.OnDirectoryCreated;
    ftp.OnDirectoryCreated = [&](QObject *sender) {
        answeredBeforeCompletion = received.contains(QStringLiteral("257 "));
        created(sender);
    };
    ftp.MakeDirectory("new");
    QTRY_COMPARE_WITH_TIMEOUT(probe.Count(QStringLiteral("DirectoryCreated")), 1, 3000);
    QVERIFY2(answeredBeforeCompletion, qPrintable(received));
    QVERIFY(ftp.Success());
    // Nor is the MKD's reply the answer to the next command.
    ftp.RemoveDirectory("full");
    QTRY_COMPARE_WITH_TIMEOUT(probe.Count(QStringLiteral("DirectoryDeleted")), 1, 3000);
    QVERIFY(!ftp.Success());
    QCOMPARE(peer.Commands().mid(PlainLogin.size()),
             (QByteArrayList{"NOOP", "MKD new", "RMD full"}));
}

void TestControl::noopWaitEndsWithTheConnection()
{
    ScriptedFtpPeer peer;
    QVERIFY(peer.Listen());
    peer.Queue("NOOP", Reply::Silent());
    TMFtp ftp;
    EngineProbe probe(ftp);
    Aim(ftp, peer);
    ftp.SetNoopInterval(1);
    ftp.Connect();
    QTRY_COMPARE_WITH_TIMEOUT(probe.Count(QStringLiteral("LoggedIn")), 1, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(peer.CommandCount("NOOP"), 1, 3000);
    ftp.MakeDirectory("held");  // waits for the NOOP's reply
    peer.ResetControl();
    QTRY_VERIFY_WITH_TIMEOUT(probe.Count(QStringLiteral("quit")) >= 1, 3000);
    // What waited is refused with the connection ("Disconnected", then "Not
    // connected" for the MKD), not kept for a later session.
    QCOMPARE(probe.Count(QStringLiteral("info:1")), 2);

    ftp.SetNoopInterval(30);
    ftp.Connect();
    QTRY_COMPARE_WITH_TIMEOUT(probe.Count(QStringLiteral("LoggedIn")), 2, 5000);
    ftp.ChangeMode("f", 644);
    QTRY_COMPARE_WITH_TIMEOUT(peer.CommandCount("SITE"), 1, 3000);
    ftp.ChangeDirectoryUp();
    QTRY_COMPARE_WITH_TIMEOUT(probe.Count(QStringLiteral("DirectoryChanged")), 1, 3000);
    QCOMPARE(peer.CommandCount("MKD"), 0);
}

void TestControl::serverCloseRaisesLastCompletionAgain()
{
    ScriptedFtpPeer peer;
    QVERIFY(peer.Listen());
    TMFtp ftp;
    EngineProbe probe(ftp);
    Aim(ftp, peer);
    ftp.Connect();
    QTRY_COMPARE_WITH_TIMEOUT(probe.Count(QStringLiteral("LoggedIn")), 1, 5000);
    ftp.MakeDirectory("new");
    QTRY_COMPARE_WITH_TIMEOUT(probe.Count(QStringLiteral("DirectoryCreated")), 1, 5000);
    probe.sequence.clear();
    peer.Send("421 Service not available, closing control connection.\r\n");
    peer.CloseControl();
    QTRY_COMPARE_WITH_TIMEOUT(probe.Count(QStringLiteral("quit")), 1, 5000);
    QStringList events = probe.sequence.filter(QRegularExpression(QStringLiteral("^(info:1|ready|quit|[A-Z].*)$")));
    QCOMPARE(events, (QStringList{QStringLiteral("info:1"), QStringLiteral("ready"), QStringLiteral("DirectoryCreated"),
                                  QStringLiteral("quit")}));
    QCOMPARE(probe.InfoTexts(ftpiDisconnected), QStringList{QStringLiteral("Disconnected")});
}

void TestControl::serverCloseMidOperationIsAFailure()
{
    ScriptedFtpPeer peer;
    QVERIFY(peer.Listen());
    peer.On("MKD", Reply::Silent());
    TMFtp ftp;
    EngineProbe probe(ftp);
    bool successAtCompletion = true;
    ftp.OnDirectoryCreated = [&](QObject *) { successAtCompletion = ftp.Success(); };
    Aim(ftp, peer);
    ftp.Connect();
    QTRY_COMPARE_WITH_TIMEOUT(probe.Count(QStringLiteral("LoggedIn")), 1, 5000);
    ftp.MakeDirectory("never-answered");
    QTRY_COMPARE_WITH_TIMEOUT(peer.CommandCount("MKD"), 1, 5000);
    QVERIFY(ftp.Success());
    peer.CloseControl();
    QTRY_COMPARE_WITH_TIMEOUT(probe.Count(QStringLiteral("quit")), 1, 5000);
    QVERIFY(!successAtCompletion);
    QVERIFY(!ftp.Busy());
}

QTEST_MAIN(TestControl)
#include "tst_control.moc"
