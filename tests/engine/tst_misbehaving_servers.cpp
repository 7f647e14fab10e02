// The engine against servers that follow RFC 959 loosely: every ordering of
// the replies after ABOR, final replies that never come, refusals that
// concern one command, greetings with a preliminary reply, keep-alives left
// unanswered, data connections from a stranger. Each case ends in a sound
// result and a connection that is usable or cleanly closed.

#include "tst_transfer_probe.h"

#include "scripted_ftp_peer.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

using namespace testsupport;
using namespace transfertest;

class TestMisbehavingServers : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void abortReplyOrderings_data();
    void abortReplyOrderings();
    void silenceTimesOut_data();
    void silenceTimesOut();
    void refusedListingStepKeepsSession_data();
    void refusedListingStepKeepsSession();
    void quitIsASuccess_data();
    void quitIsASuccess();
    void preliminaryGreeting_data();
    void preliminaryGreeting();
    void unansweredKeepAliveHoldsBriefly();
    void downloadLengthChecked_data();
    void downloadLengthChecked();
    void activeDataFromAnotherAddress();

private:
    bool LoginHere();
    void WaitIdle(const QString &completion, int count = 1, int timeoutMs = 5000);
    // A listing and a download after the case under test: both in step.
    void NextOperationsInStep();

    std::unique_ptr<ScriptedFtpPeer> peer_;
    std::unique_ptr<TMFtp> ftp_;
    std::unique_ptr<Probe> probe_;
    std::unique_ptr<QTemporaryDir> dir_;
};

void TestMisbehavingServers::init()
{
    peer_ = std::make_unique<ScriptedFtpPeer>();
    QVERIFY(peer_->Listen());
    ftp_ = std::make_unique<TMFtp>();
    probe_ = std::make_unique<Probe>(*ftp_);
    probe_->answers[needOverwriteLocal] = QStringLiteral("overwrite");
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    ftp_->Passive = true;
}

void TestMisbehavingServers::cleanup()
{
    probe_.reset();
    ftp_.reset();
    peer_.reset();
    dir_.reset();
}

bool TestMisbehavingServers::LoginHere()
{
    if (!Login(*ftp_, *probe_, peer_->Host(), peer_->Port(), "u", "p"))
        return false;
    probe_->Forget();
    return true;
}

void TestMisbehavingServers::WaitIdle(const QString &completion, int count, int timeoutMs)
{
    QTRY_VERIFY2_WITH_TIMEOUT(probe_->Count(completion) >= count, qPrintable(probe_->sequence.join(u' ')), timeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(!ftp_->Busy(), 2000);
}

void TestMisbehavingServers::NextOperationsInStep()
{
    peer_->SetTransfer("LIST", Transfer::Data("-rw-r--r-- 1 u g 4 Jan 1 2000 next\r\n"));
    peer_->SetTransfer("RETR", Transfer::Data("next"));
    probe_->Forget();
    probe_->onInfo = nullptr;
    ftp_->List();
    WaitIdle(QStringLiteral("ListingDone"));
    QVERIFY2(ftp_->Success(), qPrintable(probe_->Dialogue()));
    QCOMPARE(ftp_->FileNames, QList<QByteArray>{"next"});
    ftp_->RemoteFile = "next";
    ftp_->LocalFile = dir_->filePath(QStringLiteral("next"));
    ftp_->Download();
    WaitIdle(QStringLiteral("FileReceived"));
    QVERIFY2(ftp_->Success(), qPrintable(probe_->Dialogue()));
    QCOMPARE(ReadFile(ftp_->LocalFile), QByteArray("next"));
    QVERIFY(probe_->errors.isEmpty());
    QCOMPARE(probe_->Count(QStringLiteral("ready")), 2);
    QVERIFY(ftp_->Connected);
}

// ---------------------------------------------------------------- abort

void TestMisbehavingServers::abortReplyOrderings_data()
{
    QTest::addColumn<bool>("midTransfer");  // else at the data side's end, before any final reply
    QTest::addColumn<QByteArray>("finalReply");  // the transfer's own, sent by the transfer
    QTest::addColumn<bool>("replyBeforeClose");
    QTest::addColumn<QByteArray>("aborReplies");  // empty: the peer's own 426 and 226; "silent": none
    QTest::addColumn<QByteArray>("noopReply");    // to the NOOP that carries the DM; empty: none
    QTest::addColumn<bool>("firstPwdLost");
    QTest::addColumn<int>("syncs");               // NOOP and PWD pairs the engine needs

    const QByteArray transferDone = "226 Transfer complete.\r\n";
    const QByteArray noop = "200 NOOP ok.\r\n";
    const QByteArray dmNoop = "500 Unknown command.\r\n";
    QTest::newRow("mid-transfer: 426 then 226") << true << transferDone << false << QByteArray() << noop << false << 1;
    QTest::newRow("mid-transfer, final reply before the close")
        << true << transferDone << true << QByteArray() << noop << false << 1;
    QTest::newRow("after the data: 226 then 225") << false << QByteArray() << false
                                                  << QByteArray("226 Transfer complete.\r\n225 ABOR ok.\r\n") << noop
                                                  << false << 1;
    QTest::newRow("after the data: 226 then 226") << false << QByteArray() << false
                                                  << QByteArray("226 Transfer complete.\r\n226 ABOR ok.\r\n") << noop
                                                  << false << 1;
    QTest::newRow("225 only") << false << QByteArray() << false << QByteArray("225 ABOR ok.\r\n") << noop << false << 1;
    QTest::newRow("226 only") << false << QByteArray() << false << QByteArray("226 Closing.\r\n") << noop << false << 1;
    QTest::newRow("DM answered with 500") << true << transferDone << false << QByteArray() << dmNoop << false << 1;
    QTest::newRow("225 only, DM answered with 500")
        << false << QByteArray() << false << QByteArray("225 ABOR ok.\r\n") << dmNoop << false << 1;
    QTest::newRow("NOOP unanswered") << true << transferDone << false << QByteArray() << QByteArray() << false << 1;
    QTest::newRow("ABOR unanswered after a finished transfer")
        << false << transferDone << false << QByteArray("silent") << QByteArray() << false << 1;
    QTest::newRow("everything unanswered once") << false << QByteArray() << false << QByteArray("silent")
                                                << QByteArray() << true << 2;
    QTest::newRow("multi-line 226 then 225") << false << QByteArray() << false
                                             << QByteArray("226-Transfer complete.\r\n226 Bye data.\r\n225 ok.\r\n")
                                             << noop << false << 1;
}

void TestMisbehavingServers::abortReplyOrderings()
{
    QFETCH(bool, midTransfer);
    QFETCH(QByteArray, finalReply);
    QFETCH(bool, replyBeforeClose);
    QFETCH(QByteArray, aborReplies);
    QFETCH(QByteArray, noopReply);
    QFETCH(bool, firstPwdLost);
    QFETCH(int, syncs);

    Transfer plan = Transfer::Data(Pattern(midTransfer ? 2 * 1024 * 1024 : 3000, 7),
                                   replyBeforeClose ? Transfer::Ending::ReplyBeforeClose
                                                    : Transfer::Ending::ReplyAfterClose);
    plan.done = finalReply;
    if (midTransfer) {
        plan.chunkSize = 4096;
        plan.chunkPauseMs = 10;
    }
    peer_->SetTransfer("RETR", plan);
    if (!aborReplies.isEmpty())
        peer_->On("ABOR", aborReplies == "silent" ? Reply::Silent() : Reply::Raw(aborReplies));
    peer_->Queue("NOOP", noopReply.isEmpty() ? Reply::Silent() : Reply::Raw(noopReply));
    QVERIFY(LoginHere());
    if (firstPwdLost)
        peer_->Queue("PWD", Reply::Silent());
    const FtpInfo trigger = midTransfer ? ftpiProgress : ftpiTransferDone;
    bool armed = true;  // the download's event only, not the listing's after it
    probe_->onInfo = [this, trigger, &armed](FtpInfo info, const QString &) {
        if (info == trigger && armed) {
            armed = false;
            ftp_->Abort();
        }
    };
    // As the window's walks do, the next operation starts from the completion
    // event: a reply of the abort still to come would be read as its own.
    peer_->SetTransfer("LIST", Transfer::Data("-rw-r--r-- 1 u g 4 Jan 1 2000 listed\r\n"));
    auto recordReceived = ftp_->OnFileReceived;
    bool downloadSucceeded = true;
    ftp_->OnFileReceived = [this, recordReceived, &downloadSucceeded](QObject *sender) {
        recordReceived(sender);
        downloadSucceeded = ftp_->Success();
        ftp_->List();
    };
    ftp_->RemoteFile = "f";
    ftp_->LocalFile = dir_->filePath(QStringLiteral("f"));
    ftp_->Download();
    WaitIdle(QStringLiteral("ListingDone"), 1, 10000);
    probe_->onInfo = nullptr;
    QCOMPARE(probe_->Count(QStringLiteral("FileReceived")), 1);
    QCOMPARE(probe_->Count(QStringLiteral("ready")), 2);
    if (midTransfer)
        QVERIFY(!downloadSucceeded);
    QVERIFY2(ftp_->Success(), qPrintable(probe_->Dialogue()));
    QCOMPARE(ftp_->FileNames, QList<QByteArray>{"listed"});
    QVERIFY2(probe_->errors.isEmpty(), qPrintable(probe_->Dialogue()));
    QCOMPARE(peer_->CommandCount("ABOR"), 1);
    QCOMPARE(peer_->CommandCount("NOOP"), syncs);
    ftp_->OnFileReceived = recordReceived;
    NextOperationsInStep();
}

// ---------------------------------------------------------------- time-outs

void TestMisbehavingServers::silenceTimesOut_data()
{
    QTest::addColumn<QByteArray>("verb");
    QTest::addColumn<bool>("stall");     // no close either: the server stops mid-transfer
    QTest::addColumn<bool>("pressStop"); // Abort while stalled, and ABOR goes unanswered
    QTest::newRow("download, no final reply") << QByteArray("RETR") << false << false;
    QTest::newRow("listing, no final reply") << QByteArray("LIST") << false << false;
    QTest::newRow("upload, no final reply") << QByteArray("STOR") << false << false;
    QTest::newRow("download stalls") << QByteArray("RETR") << true << false;
    QTest::newRow("listing stalls") << QByteArray("LIST") << true << false;
    QTest::newRow("download stalls, Stop unanswered") << QByteArray("RETR") << true << true;
}

void TestMisbehavingServers::silenceTimesOut()
{
    QFETCH(QByteArray, verb);
    QFETCH(bool, stall);
    QFETCH(bool, pressStop);
    const bool listing = verb == "LIST";
    const bool upload = verb == "STOR";
    Transfer plan = Transfer::Data(listing ? QByteArray("-rw-r--r-- 1 u g 1 Jan 1 2000 x\r\n") : Pattern(5000),
                                   stall ? Transfer::Ending::Stall : Transfer::Ending::ReplyAfterClose);
    plan.done = QByteArray();
    peer_->SetTransfer(verb, plan);
    QVERIFY(LoginHere());
    if (pressStop) {
        for (const QByteArray verb : {"ABOR", "NOOP", "PWD"})
            peer_->On(verb, Reply::Silent());
    }
    ftp_->TimeOutConnect = 1;
    if (pressStop) {
        probe_->onInfo = [this](FtpInfo info, const QString &) {
            if (info == ftpiProgress)
                ftp_->Abort();
        };
    }
    ftp_->RemoteFile = "x";
    ftp_->LocalFile = dir_->filePath(QStringLiteral("x"));
    if (upload)
        QVERIFY(WriteFile(ftp_->LocalFile, Pattern(5000)));
    const QString completion = listing ? QStringLiteral("ListingDone")
                                       : upload ? QStringLiteral("FileStored") : QStringLiteral("FileReceived");
    listing ? ftp_->List() : upload ? ftp_->Upload() : ftp_->Download();
    WaitIdle(completion);
    QTRY_COMPARE_WITH_TIMEOUT(probe_->Count(QStringLiteral("quit")), 1, 3000);
    QCOMPARE(probe_->Count(completion), 1);
    QVERIFY(!ftp_->Success());
    QCOMPARE(probe_->errors, QList<FtpError>{ftpeTimeout});
    // Closed, not left half in step: the completion came before the quit.
    QVERIFY(probe_->sequence.indexOf(completion) < probe_->sequence.indexOf(QStringLiteral("quit")));
    QVERIFY(!ftp_->Connected);
    QTRY_VERIFY_WITH_TIMEOUT(!peer_->ControlOpen(), 3000);
}

// ---------------------------------------------------------------- refusals

void TestMisbehavingServers::refusedListingStepKeepsSession_data()
{
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArray>("mask");
    QTest::newRow("550 no files for a mask") << QByteArray("LIST") << QByteArray("550 No files found") << QByteArray("*.zip");
    QTest::newRow("450 on LIST") << QByteArray("LIST") << QByteArray("450 Try again later") << QByteArray();
    QTest::newRow("PWD refused") << QByteArray("PWD") << QByteArray("550 PWD not allowed") << QByteArray();
    QTest::newRow("TYPE refused") << QByteArray("TYPE") << QByteArray("504 Type not supported") << QByteArray();
    // A 5xx goes on with EPSV, then active (tst_data_fallback); a 4xx ends the listing.
    QTest::newRow("PASV refused for now") << QByteArray("PASV") << QByteArray("425 Cannot open passive connection")
                                          << QByteArray();
}

void TestMisbehavingServers::refusedListingStepKeepsSession()
{
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, mask);
    QVERIFY(LoginHere());
    peer_->Queue(key, Reply::Raw(reply + "\r\n"));
    ftp_->FileMask = mask;
    ftp_->List();
    WaitIdle(QStringLiteral("ListingDone"));
    QVERIFY(!ftp_->Success());
    QVERIFY(ftp_->FileNames.isEmpty() && ftp_->DirectoryNames.isEmpty());
    QCOMPARE(probe_->InfoTexts(ftpiAccessDenied), QStringList{QString::fromLatin1(reply)});
    QVERIFY(probe_->errors.isEmpty());
    ftp_->FileMask.clear();
    NextOperationsInStep();
}

// ---------------------------------------------------------------- quit

void TestMisbehavingServers::quitIsASuccess_data()
{
    QTest::addColumn<QByteArray>("quitReply");
    QTest::addColumn<bool>("viaUrl");
    QTest::addColumn<bool>("success");
    QTest::newRow("221") << QByteArray("221 Goodbye.\r\n") << false << true;
    QTest::newRow("QUIT refused") << QByteArray("500 No.\r\n") << false << false;
    QTest::newRow("address of another login") << QByteArray("221 Goodbye.\r\n") << true << true;
}

void TestMisbehavingServers::quitIsASuccess()
{
    QFETCH(QByteArray, quitReply);
    QFETCH(bool, viaUrl);
    QFETCH(bool, success);
    peer_->On("QUIT", Reply::Raw(quitReply).ThenClose());
    peer_->On("MKD", Reply::Line(550, "No."));
    QVERIFY(LoginHere());
    ftp_->OnDirectoryCreated = [this](QObject *) {
        probe_->sequence << (ftp_->Success() ? QStringLiteral("created:ok") : QStringLiteral("created:failed"));
    };
    ftp_->MakeDirectory("refused");  // leaves Success false before the QUIT
    QTRY_COMPARE_WITH_TIMEOUT(probe_->Count(QStringLiteral("created:failed")), 1, 5000);
    QTRY_VERIFY(!ftp_->Busy());
    if (viaUrl)
        ftp_->OpenURL("ftp://other:pw@127.0.0.1:" + QByteArray::number(peer_->Port()) + "/", QString());
    else
        ftp_->Quit();
    QTRY_COMPARE_WITH_TIMEOUT(probe_->Count(QStringLiteral("quit")), 1, 5000);
    // The completion repeated by the close reads as a success after a 221; a
    // refused QUIT takes the fatal path, which repeats nothing.
    QCOMPARE(probe_->Count(QStringLiteral("created:ok")), success ? 1 : 0);
    QCOMPARE(probe_->Count(QStringLiteral("created:failed")), 1);
    if (viaUrl) {
        QTRY_COMPARE_WITH_TIMEOUT(peer_->CommandCount("USER"), 2, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(ftp_->LoggedIn(), 5000);
    }
}

// ---------------------------------------------------------------- greeting, keep-alive

void TestMisbehavingServers::preliminaryGreeting_data()
{
    QTest::addColumn<QByteArray>("greeting");
    QTest::newRow("120 then 220") << QByteArray("120 Ready in 1 minute.\r\n220 Ready.\r\n");
    QTest::newRow("multi-line 120 then 220") << QByteArray("120-Busy,\r\n120 wait.\r\n220 Ready.\r\n");
    QTest::newRow("120, pause, 220") << QByteArray("120 Wait.\r\n");
}

void TestMisbehavingServers::preliminaryGreeting()
{
    QFETCH(QByteArray, greeting);
    Reply reply = Reply::Raw(greeting);
    if (!greeting.contains("220"))
        reply.Pause(300).Write("220 Ready now.\r\n");
    peer_->SetGreeting(reply);
    QVERIFY(LoginHere());
    QVERIFY(probe_->errors.isEmpty());
    QCOMPARE(peer_->CommandCount("USER"), 1);
}

void TestMisbehavingServers::unansweredKeepAliveHoldsBriefly()
{
    peer_->On("NOOP", Reply::Silent());
    ftp_->SetNoopInterval(8);
    QVERIFY(LoginHere());
    QTRY_COMPARE_WITH_TIMEOUT(peer_->CommandCount("NOOP"), 1, 10000);
    // Held behind the NOOP a few seconds, not a whole keep-alive period.
    ftp_->List();
    QTRY_COMPARE_WITH_TIMEOUT(probe_->Count(QStringLiteral("ListingDone")), 1, 6000);
    QVERIFY(ftp_->Success());
    QVERIFY(ftp_->Connected);
}

// ---------------------------------------------------------------- active mode

void TestMisbehavingServers::activeDataFromAnotherAddress()
{
    // A stranger on 127.0.0.2 reaches our data port first; the server's own
    // connection follows and carries the file.
    Transfer plan = Transfer::Data(Pattern(4000, 3));
    plan.gapMs = 50;
    peer_->SetTransfer("RETR", plan);
    peer_->On("PORT", Reply().Pause(400).Write("200 PORT ok.\r\n"));
    QVERIFY(LoginHere());
    ftp_->Passive = false;
    ftp_->RemoteFile = "f";
    ftp_->LocalFile = dir_->filePath(QStringLiteral("f"));
    QTcpSocket stranger;
    QObject::connect(peer_.get(), &ScriptedFtpPeer::commandReceived, this, [&](const QByteArray &line) {
        if (!line.startsWith("PORT "))
            return;
        const QList<QByteArray> fields = line.mid(5).split(',');
        const quint16 port = quint16(fields.value(4).toInt() * 256 + fields.value(5).toInt());
        stranger.bind(QHostAddress(QStringLiteral("127.0.0.2")));
        stranger.connectToHost(QHostAddress::LocalHost, port);
        stranger.write("not the file");
    });
    ftp_->Download();
    WaitIdle(QStringLiteral("FileReceived"));
    QVERIFY(ftp_->Success());
    QCOMPARE(ReadFile(ftp_->LocalFile), Pattern(4000, 3));
    QVERIFY(probe_->Dialogue().contains(QStringLiteral("127.0.0.2")));
}

// ---------------------------------------------------------------- download length

void TestMisbehavingServers::downloadLengthChecked_data()
{
    QTest::addColumn<QByteArray>("sent");       // what the server sends from the REST offset on
    QTest::addColumn<QByteArray>("opening");
    QTest::addColumn<int>("listedSize");        // -1: no listing first
    QTest::addColumn<int>("localBefore");       // bytes of the file already here (resumed), 0: none
    QTest::addColumn<QString>("overwrite");     // answer when the server ignored REST
    QTest::addColumn<bool>("success");
    QTest::addColumn<QByteArray>("fileAfter");

    const QByteArray whole = Pattern(5000, 9);
    const QByteArray plain = "150 Opening data connection.\r\n";
    QTest::newRow("cut short, 150 named the size")
        << whole.left(3000) << QByteArray("150 Opening BINARY mode data connection for f (5000 bytes).\r\n") << -1 << 0
        << QString() << false << whole.left(3000);
    QTest::newRow("cut short, listing named the size") << whole.left(3000) << plain << 5000 << 0 << QString() << false
                                                       << whole.left(3000);
    QTest::newRow("longer than announced") << whole << QByteArray("150 Opening (4000 bytes).\r\n") << -1 << 0
                                           << QString() << false << whole;
    QTest::newRow("150 in kbytes is no byte count") << whole << QByteArray("150 Opening (4 kbytes).\r\n") << -1 << 0
                                                    << QString() << true << whole;
    QTest::newRow("resumed, 150 names what is left") << whole << QByteArray("150 Opening (2000 bytes).\r\n") << 5000
                                                     << 3000 << QString() << true << whole;
    QTest::newRow("resumed, 150 names the whole file") << whole << QByteArray("150 Opening (5000 bytes).\r\n") << 5000
                                                       << 3000 << QString() << true << whole;
    QTest::newRow("REST ignored, overwritten") << QByteArray(3000, 'x') + whole << plain << 5000 << 3000
                                               << QStringLiteral("overwrite") << true << whole;
    QTest::newRow("REST ignored, kept") << QByteArray(3000, 'x') + whole << plain << 5000 << 3000 << QStringLiteral("no")
                                        << false << whole.left(3000);
}

void TestMisbehavingServers::downloadLengthChecked()
{
    QFETCH(QByteArray, sent);
    QFETCH(QByteArray, opening);
    QFETCH(int, listedSize);
    QFETCH(int, localBefore);
    QFETCH(QString, overwrite);
    QFETCH(bool, success);
    QFETCH(QByteArray, fileAfter);
    const QByteArray whole = Pattern(5000, 9);
    const QString local = dir_->filePath(QStringLiteral("f"));
    if (localBefore > 0)
        QVERIFY(WriteFile(local, whole.left(localBefore)));
    Transfer plan = Transfer::Data(sent);
    plan.opening = opening;
    peer_->SetTransfer("RETR", plan);
    peer_->SetTransfer("LIST", Transfer::Data("-rw-r--r-- 1 u g " + QByteArray::number(listedSize) + " Jan 1 2000 f\r\n"));
    QVERIFY(LoginHere());
    if (listedSize >= 0) {
        ftp_->List();
        WaitIdle(QStringLiteral("ListingDone"));
        probe_->Forget();
    }
    probe_->answers[needResumeDownload] = QStringLiteral("Resume");
    probe_->answers[needOverwriteLocal] = overwrite.isEmpty() ? QStringLiteral("overwrite") : overwrite;
    ftp_->RemoteFile = "/f";
    ftp_->LocalFile = local;
    ftp_->Download();
    WaitIdle(QStringLiteral("FileReceived"));
    QCOMPARE(ftp_->Success(), success);
    QCOMPARE(ReadFile(local), fileAfter);
    QCOMPARE(probe_->InfoCount(ftpiResumeFailed), overwrite.isEmpty() ? 0 : 1);
    QCOMPARE(probe_->errors.isEmpty(), success);
    QVERIFY(ftp_->Connected);
}

QTEST_MAIN(TestMisbehavingServers)
#include "tst_misbehaving_servers.moc"
