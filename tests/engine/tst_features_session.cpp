// What FEAT changes in a session, against the scripted peer: the login with
// FEAT refused, silent, late or cut short, the options it leads to, and
// listings by MLSD with their fallback to LIST.

#include "scripted_ftp_peer.h"
#include "tst_transfer_probe.h"

#include <QtTest>

using testsupport::Reply;
using testsupport::ScriptedFtpPeer;
using testsupport::Transfer;
using namespace transfertest;

Q_DECLARE_METATYPE(testsupport::Reply)

namespace {

const QByteArray MlstFeat = "211-Features:\r\n MLST type*;size*;modify*;UNIX.mode*;\r\n SIZE\r\n211 End\r\n";

}  // namespace

class TestFeaturesSession : public QObject {
    Q_OBJECT
private slots:
    void loginWithFeat_data();
    void loginWithFeat();
    void mlsdListing_data();
    void mlsdListing();
};

void TestFeaturesSession::loginWithFeat_data()
{
    QTest::addColumn<Reply>("feat");
    QTest::addColumn<QByteArrayList>("login");  // after SYST
    QTest::addColumn<bool>("utf8");

    const QByteArrayList plain = {"FEAT", "REST 100", "REST 0", "PWD"};
    const QByteArrayList utf8 = {"FEAT", "OPTS UTF8 ON", "REST 100", "REST 0", "PWD"};
    QTest::newRow("500") << Reply::Line(500, "FEAT not understood") << plain << false;
    QTest::newRow("502") << Reply::Line(502, "Command not implemented.") << plain << false;
    QTest::newRow("single line") << Reply::Line(211, "No features") << plain << false;
    // The watchdog (1 s here) ends the wait; the login goes on without features.
    QTest::newRow("silent") << Reply::Silent() << plain << false;
    // The reply comes after the time-out, before REST's: it must not pass for REST's.
    QTest::newRow("late") << Reply().Pause(2500).Write("211-Features:\r\n UTF8\r\n211 End\r\n") << plain << false;
    QTest::newRow("closing line never comes") << Reply::Raw("211-Features:\r\n UTF8\r\n MDTM\r\n") << utf8 << true;
    QTest::newRow("UTF8 and MLST, odd spacing")
        << Reply::Raw("211-Features:\n\tutf8\n   MLST  type*;size*;modify*;UNIX.mode;\n211 End\n")
        << QByteArrayList{"FEAT", "OPTS UTF8 ON", "OPTS MLST type;size;modify;UNIX.mode;", "REST 100", "REST 0", "PWD"}
        << true;
    // REST STREAM says resume works: no probe, and no offset to clear.
    QTest::newRow("REST STREAM skips the probe") << Reply::Raw("211-Features:\r\n REST STREAM\r\n211 End\r\n")
                                                 << QByteArrayList{"FEAT", "PWD"} << false;
    QTest::newRow("split across reads") << Reply::Split({"211-Feat", "ures:\r\n UT", "F8\r\n21", "1 End\r\n"}, 60)
                                        << utf8 << true;
}

void TestFeaturesSession::loginWithFeat()
{
    QFETCH(Reply, feat);
    QFETCH(QByteArrayList, login);
    QFETCH(bool, utf8);
    ScriptedFtpPeer peer;
    QVERIFY(peer.Listen());
    peer.On("FEAT", feat);
    TMFtp ftp;
    Probe probe(ftp);
    ftp.TimeOutConnect = 1;
    QVERIFY2(Login(ftp, probe, peer.Host(), peer.Port(), "u", "p"), qPrintable(peer.TranscriptText()));
    QCOMPARE(peer.Commands().mid(3), login);
    QVERIFY(ftp.ResumeSupported());  // REST 100 read its own 350
    QCOMPARE(ftp.CurrentDirectory(), QByteArray("/"));
    QCOMPARE(ftp.Features().utf8, utf8);
    QCOMPARE(ftp.Features().mlsd, login.contains("OPTS MLST type;size;modify;UNIX.mode;"));
    QVERIFY(probe.errors.isEmpty());

    // The session goes on in step.
    ftp.List();
    QTRY_COMPARE_WITH_TIMEOUT(probe.Count(QStringLiteral("ListingDone")), 1, 5000);
    QVERIFY(ftp.Success());
    QCOMPARE(peer.LastCommand(), ftp.Features().mlsd ? QByteArray("MLSD") : QByteArray("LIST"));
}

void TestFeaturesSession::mlsdListing_data()
{
    QTest::addColumn<bool>("useMlsd");
    QTest::addColumn<bool>("passive");
    QTest::addColumn<Reply>("mlsdReply");  // an empty reply: MLSD sends the listing
    QTest::addColumn<bool>("downloadFirst");  // a file comes in TYPE I before the listings
    QTest::addColumn<QByteArrayList>("commands");  // of two listings
    QTest::addColumn<QByteArrayList>("files");     // "name attributes size date"

    const QByteArrayList mlsdFiles = {"a.txt -rw-r--r-- 6 2026-12-08 00:40", "my file; v2 -rw------- 5 "};
    const QByteArrayList listFiles = {"from-list.txt -rw-r--r-- 9 Jan 1 2000"};
    QTest::newRow("MLSD passive") << true << true << Reply() << false
                                  << QByteArrayList{"PWD", "TYPE A", "PASV", "MLSD", "PWD", "PASV", "MLSD"} << mlsdFiles;
    QTest::newRow("MLSD active") << true << false << Reply() << false
                                 << QByteArrayList{"PWD", "TYPE A", "PORT", "MLSD", "PWD", "PORT", "MLSD"} << mlsdFiles;
    QTest::newRow("MLSD turned off") << false << true << Reply() << false
                                     << QByteArrayList{"PWD", "TYPE A", "PASV", "LIST", "PWD", "PASV", "LIST"} << listFiles;
    QTest::newRow("500 falls back to LIST, passive")
        << true << true << Reply::Line(500, "Unknown command.") << false
        << QByteArrayList{"PWD", "TYPE A", "PASV", "MLSD", "PASV", "LIST", "PWD", "PASV", "LIST"} << listFiles;
    QTest::newRow("502 falls back to LIST, active")
        << true << false << Reply::Line(502, "Not implemented.") << false
        << QByteArrayList{"PWD", "TYPE A", "PORT", "MLSD", "PORT", "LIST", "PWD", "PORT", "LIST"} << listFiles;
    // MLSD ignores the type: the folder after a file costs no TYPE A and no TYPE I.
    QTest::newRow("MLSD after a download keeps TYPE I")
        << true << true << Reply() << true
        << QByteArrayList{"TYPE I", "PASV", "RETR f.bin", "PWD", "PASV", "MLSD", "PWD", "PASV", "MLSD"} << mlsdFiles;
    QTest::newRow("LIST after the refusal still asks TYPE A")
        << true << true << Reply::Line(500, "Unknown command.") << true
        << QByteArrayList{"TYPE I", "PASV", "RETR f.bin", "PWD", "PASV", "MLSD", "TYPE A", "PASV", "LIST", "PWD",
                          "PASV", "LIST"}
        << listFiles;
}

void TestFeaturesSession::mlsdListing()
{
    QFETCH(bool, useMlsd);
    QFETCH(bool, passive);
    QFETCH(Reply, mlsdReply);
    QFETCH(bool, downloadFirst);
    QFETCH(QByteArrayList, commands);
    QFETCH(QByteArrayList, files);
    ScriptedFtpPeer peer;
    QVERIFY(peer.Listen());
    peer.On("FEAT", Reply::Raw(MlstFeat));
    peer.SetTransfer("LIST", Transfer::Data("-rw-r--r-- 1 u g 9 Jan 1 2000 from-list.txt\r\n"
                                            "drwxr-xr-x 2 u g 512 Jan 1 2000 list-dir\r\n"));
    if (mlsdReply.IsSilent()) {
        peer.SetTransfer("MLSD", Transfer::Data("type=cdir;modify=20261208004012; /\r\n"
                                                "type=pdir;modify=20261208004012; ..\r\n"
                                                "modify=20261208004012;size=6;type=file;UNIX.mode=0644; a.txt\r\n"
                                                "type=dir;UNIX.mode=0755;sizd=4096; sub dir\r\n"
                                                "type=file;size=1; ../../escape\r\n"
                                                "type=file;size=1; a/b\r\n"
                                                "no facts here\r\n"
                                                "Size=5;TYPE=FILE;unix.MODE=600; my file; v2\r\n"
                                                "type=OS.unix=slink:/etc;UNIX.mode=0777; link\r\n"));
    } else {
        peer.On("MLSD", mlsdReply);
    }
    TMFtp ftp;
    Probe probe(ftp);
    ftp.UseMlsd = useMlsd;
    ftp.Passive = passive;
    QVERIFY(Login(ftp, probe, peer.Host(), peer.Port(), "u", "p"));
    QVERIFY(ftp.Features().mlsd);
    const qsizetype loginCommands = peer.Commands().size();
    QTemporaryDir local;
    if (downloadFirst) {
        peer.SetTransfer("RETR", Transfer::Data("file"));
        ftp.RemoteFile = "f.bin";
        ftp.LocalFile = local.filePath(QStringLiteral("f.bin"));
        ftp.Download();
        QTRY_COMPARE_WITH_TIMEOUT(probe.Count(QStringLiteral("FileReceived")), 1, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(!ftp.Busy(), 2000);
    }
    for (int round = 1; round <= 2; ++round) {
        ftp.List();
        QTRY_COMPARE_WITH_TIMEOUT(probe.Count(QStringLiteral("ListingDone")), round, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(!ftp.Busy(), 2000);
        QVERIFY2(ftp.Success(), qPrintable(peer.TranscriptText()));
    }
    QByteArrayList sent = peer.Commands().mid(loginCommands);
    for (QByteArray &command : sent)
        if (command.startsWith("PORT "))
            command = "PORT";
    QCOMPARE(sent, commands);
    QVERIFY(probe.errors.isEmpty());

    // What the window shows: MLSD times in local time, UNIX.mode as LIST's text.
    QByteArrayList filed;
    for (int i = 0; i < ftp.FileNames.size(); ++i) {
        QByteArray attributes, size, date;
        ftp.FileInfos.GetInfo(i, 0, attributes);
        ftp.FileInfos.GetInfo(i, 2, size);
        ftp.FileInfos.GetInfo(i, 1, date);
        filed << ftp.FileNames.at(i) + ' ' + attributes + ' ' + size + ' ' + date;
    }
    QByteArrayList expectedFiles = files;
    const QByteArray localTime = QDateTime(QDate(2026, 12, 8), QTime(0, 40, 12), QTimeZone::utc())
                                     .toLocalTime().toString(u"yyyy-MM-dd HH:mm").toLatin1();
    for (QByteArray &file : expectedFiles)
        file.replace("2026-12-08 00:40", localTime);
    QCOMPARE(filed, expectedFiles);
    const bool byMlsd = commands.last() == "MLSD";
    QCOMPARE(ftp.ListedByMlsd(), byMlsd);
    if (byMlsd) {
        QCOMPARE(ftp.DirectoryNames, (QList<QByteArray>{"sub dir", "link"}));
        QByteArray linkAttributes;
        ftp.DirectoryInfos.GetInfo(1, 0, linkAttributes);
        QCOMPARE(linkAttributes, QByteArray("lrwxrwxrwx"));
    } else {
        QCOMPARE(ftp.DirectoryNames, QList<QByteArray>{"list-dir"});
    }
}

QTEST_MAIN(TestFeaturesSession)
#include "tst_features_session.moc"
