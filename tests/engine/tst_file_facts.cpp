// SIZE and MDTM before the resume question, MFMT after uploads: the reply
// readers by table, the exact dialogue against the scripted peer, and what
// lands on real servers' disks.

#include "tst_transfer_probe.h"

#include "engine/ftp_facts_reply.h"
#include "engine/ftp_parse.h"
#include "peer_server.h"
#include "scripted_ftp_peer.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace testsupport;
using namespace transfertest;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(testsupport::PeerServer::Kind)

namespace {

const QByteArray FactsFeat = "211-Features:\r\n REST STREAM\r\n SIZE\r\n MDTM\r\n MFMT\r\n211 End\r\n";

QDateTime Utc(int y, int mo, int d, int h, int mi, int s, int ms = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms), QTimeZone::utc());
}

bool SetModified(const QString &path, const QDateTime &moment)
{
    QFile file(path);
    return file.open(QIODevice::ReadWrite) && file.setFileTime(moment, QFileDevice::FileModificationTime);
}

// The question's remote facts as the engine offers them while it asks.
struct Asked {
    qint64 size = -2;
    QDateTime time;
};

void RecordQuestion(TMFtp &ftp, Asked &asked)
{
    const TMFtp::TMFtpInfoNeededEvent inner = ftp.OnFtpNeedInfo;
    ftp.OnFtpNeedInfo = [&ftp, &asked, inner](QObject *sender, TMFtpInfoNeeded need, QString &value) {
        asked.size = ftp.QuestionRemoteSize();
        asked.time = ftp.QuestionRemoteTime();
        inner(sender, need, value);
    };
}

void AnswerResumeQuestions(Probe &probe)
{
    probe.answers[needResumeDownload] = u"Resume"_s;
    probe.answers[needOverwriteLocal] = u"overwrite"_s;
    probe.answers[needResumeUpload] = u"Resume"_s;
    probe.answers[needOverwriteRemote] = u"overwrite"_s;
}

}  // namespace

class TestFileFacts : public QObject {
    Q_OBJECT
private slots:
    void mdtmReply_data();
    void mdtmReply();
    void sizeReply_data();
    void sizeReply();
    void resumeQuestion_data();
    void resumeQuestion();
    void mfmtAfterUpload_data();
    void mfmtAfterUpload();
    void realServers_data();
    void realServers();
};

void TestFileFacts::mdtmReply_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QDateTime>("time");  // invalid: refused

    QTest::newRow("plain") << QByteArray("213 20261208101530") << Utc(2026, 12, 8, 10, 15, 30);
    QTest::newRow("milliseconds") << QByteArray("213 20261208101530.123") << Utc(2026, 12, 8, 10, 15, 30, 123);
    QTest::newRow("one decimal") << QByteArray("213 20261208101530.5") << Utc(2026, 12, 8, 10, 15, 30, 500);
    QTest::newRow("comma, blanks, CR LF") << QByteArray("213   20261208101530,25 \r\n")
                                          << Utc(2026, 12, 8, 10, 15, 30, 250);
    QTest::newRow("year 2000 bug") << QByteArray("213 191261208101530") << Utc(2026, 12, 8, 10, 15, 30);
    QTest::newRow("leap second") << QByteArray("213 20161231235960") << Utc(2016, 12, 31, 23, 59, 59);
    QTest::newRow("550") << QByteArray("550 f.bin: No such file or directory.") << QDateTime();
    QTest::newRow("500") << QByteArray("500 Unknown command.") << QDateTime();
    QTest::newRow("2130 is not 213") << QByteArray("2130 20261208101530") << QDateTime();
    QTest::newRow("month 13") << QByteArray("213 20261308101530") << QDateTime();
    QTest::newRow("30 February") << QByteArray("213 20260230101530") << QDateTime();
    QTest::newRow("hour 24") << QByteArray("213 20261208241530") << QDateTime();
    QTest::newRow("short") << QByteArray("213 202612081015") << QDateTime();
    QTest::newRow("letters") << QByteArray("213 2026120810153x") << QDateTime();
    QTest::newRow("text after") << QByteArray("213 20261208101530 f.bin") << QDateTime();
    QTest::newRow("point alone") << QByteArray("213 20261208101530.") << QDateTime();
    QTest::newRow("code only") << QByteArray("213") << QDateTime();
    QTest::newRow("empty") << QByteArray() << QDateTime();
}

void TestFileFacts::mdtmReply()
{
    QFETCH(QByteArray, reply);
    QFETCH(QDateTime, time);
    const QDateTime read = ftpfacts::ParseMdtmReply(reply);
    QCOMPARE(read.isValid(), time.isValid());
    if (time.isValid()) {
        QCOMPARE(read, time);
        QCOMPARE(read.offsetFromUtc(), 0);
    }
}

void TestFileFacts::sizeReply_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<qint64>("size");  // -1: refused

    QTest::newRow("plain") << QByteArray("213 5678") << qint64(5678);
    QTest::newRow("zero") << QByteArray("213 0") << qint64(0);
    QTest::newRow("past 4 GiB, CR LF") << QByteArray("213  5368709120\r\n") << qint64(5368709120);
    QTest::newRow("550") << QByteArray("550 Could not get file size.") << qint64(-1);
    QTest::newRow("negative") << QByteArray("213 -5") << qint64(-1);
    QTest::newRow("with a unit") << QByteArray("213 5 kB") << qint64(-1);
    QTest::newRow("code only") << QByteArray("213") << qint64(-1);
}

void TestFileFacts::sizeReply()
{
    QFETCH(QByteArray, reply);
    QFETCH(qint64, size);
    QCOMPARE(ftpfacts::ParseSizeReply(reply).value_or(-1), size);
}

void TestFileFacts::resumeQuestion_data()
{
    QTest::addColumn<bool>("upload");
    QTest::addColumn<int>("listedSize");       // -1: the listing does not hold f.bin
    QTest::addColumn<QByteArray>("sizeReply");
    QTest::addColumn<QByteArray>("mdtmReply");
    QTest::addColumn<int>("localSize");        // -1: no local file (downloads)
    QTest::addColumn<int>("need");             // -1: nothing asked
    QTest::addColumn<qint64>("askedSize");
    QTest::addColumn<QDateTime>("askedTime");
    QTest::addColumn<QByteArrayList>("commands");  // after the listing

    const QByteArray mdtm = "213 20261208101530";
    const QDateTime time = Utc(2026, 12, 8, 10, 15, 30);
    const QByteArray refused = "550 No such file.";
    const QByteArrayList facts = {"TYPE I", "SIZE /f.bin", "MDTM /f.bin", "PASV"};
    // The listing alone would have this overwritten: 2000 local bytes against 1000 listed.
    QTest::newRow("download: SIZE longer than listed, resumed")
        << false << 1000 << QByteArray("213 3000") << mdtm << 2000 << int(needResumeDownload) << qint64(3000) << time
        << facts + QByteArrayList{"REST 2000", "RETR /f.bin"};
    QTest::newRow("download: SIZE refused, the listing's size")
        << false << 3000 << refused << refused << 2000 << int(needResumeDownload) << qint64(3000) << QDateTime()
        << facts + QByteArrayList{"REST 2000", "RETR /f.bin"};
    QTest::newRow("download: SIZE not understood, the listing's size")
        << false << 1000 << QByteArray("500 Unknown command.") << QByteArray("502 No.") << 2000
        << int(needOverwriteLocal) << qint64(1000) << QDateTime() << facts + QByteArrayList{"RETR /f.bin"};
    QTest::newRow("download: SIZE shorter than listed, overwritten")
        << false << 3000 << QByteArray("213 1000") << mdtm << 2000 << int(needOverwriteLocal) << qint64(1000) << time
        << facts + QByteArrayList{"RETR /f.bin"};
    QTest::newRow("download: no local file, nothing asked")
        << false << 3000 << QByteArray("213 3000") << mdtm << -1 << -1 << qint64(-2) << QDateTime()
        << QByteArrayList{"TYPE I", "PASV", "RETR /f.bin"};
    QTest::newRow("upload: not listed, SIZE finds it, resumed")
        << true << -1 << QByteArray("213 1000") << mdtm << 3000 << int(needResumeUpload) << qint64(1000) << time
        << facts + QByteArrayList{"REST 1000", "STOR /f.bin"};
    QTest::newRow("upload: listed longer, SIZE shorter, resumed")
        << true << 5000 << QByteArray("213 1000") << mdtm << 3000 << int(needResumeUpload) << qint64(1000) << time
        << facts + QByteArrayList{"REST 1000", "STOR /f.bin"};
    QTest::newRow("upload: not listed, SIZE refused, nothing asked")
        << true << -1 << refused << refused << 3000 << -1 << qint64(-2) << QDateTime()
        << facts + QByteArrayList{"STOR /f.bin"};
    QTest::newRow("upload: SIZE not understood, the listing's size")
        << true << 1000 << QByteArray("502 No.") << refused << 3000 << int(needResumeUpload) << qint64(1000)
        << QDateTime() << facts + QByteArrayList{"REST 1000", "STOR /f.bin"};
}

void TestFileFacts::resumeQuestion()
{
    QFETCH(bool, upload);
    QFETCH(int, listedSize);
    QFETCH(QByteArray, sizeReply);
    QFETCH(QByteArray, mdtmReply);
    QFETCH(int, localSize);
    QFETCH(int, need);
    QFETCH(qint64, askedSize);
    QFETCH(QDateTime, askedTime);
    QFETCH(QByteArrayList, commands);

    // What RETR sends: the size SIZE names, else the listed one.
    const QByteArray remote = Pattern(qMax(ftpfacts::ParseSizeReply(sizeReply).value_or(listedSize), qint64(0)), 7);
    const QByteArray local = upload ? Pattern(localSize, 8) : remote.left(localSize);
    ScriptedFtpPeer peer;
    QVERIFY(peer.Listen());
    peer.On("FEAT", Reply::Raw(FactsFeat));
    peer.On("SIZE", Reply::Raw(sizeReply + "\r\n"));
    peer.On("MDTM", Reply::Raw(mdtmReply + "\r\n"));
    peer.On("MFMT", Reply::Line(213, "Modify=20261208101530; f.bin"));
    const QByteArray listed = listedSize < 0 ? QByteArray("other.bin") : QByteArray("f.bin");
    peer.SetTransfer("LIST", Transfer::Data("-rw-r--r-- 1 u g " + QByteArray::number(qMax(listedSize, 10))
                                            + " Jan 1 2000 " + listed + "\r\n"));
    peer.SetTransfer("RETR", Transfer::Data(remote));
    QTemporaryDir dir;
    QVERIFY(dir.isValid());

    TMFtp ftp;
    Probe probe(ftp);
    AnswerResumeQuestions(probe);
    Asked asked;
    RecordQuestion(ftp, asked);
    ftp.Passive = true;
    ftp.KeepUploadTime = false;
    QVERIFY(Login(ftp, probe, peer.Host(), peer.Port(), "u", "p"));
    ftp.List();
    QTRY_COMPARE_WITH_TIMEOUT(probe.Count(u"ListingDone"_s), 1, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(!ftp.Busy(), 2000);
    const qsizetype before = peer.Commands().size();

    ftp.RemoteFile = "/f.bin";
    ftp.LocalFile = dir.filePath(u"f.bin"_s);
    if (localSize >= 0)
        QVERIFY(WriteFile(ftp.LocalFile, local));
    const QString done = upload ? u"FileStored"_s : u"FileReceived"_s;
    upload ? ftp.Upload() : ftp.Download();
    QTRY_COMPARE_WITH_TIMEOUT(probe.Count(done), 1, 5000);
    QVERIFY2(ftp.Success(), qPrintable(peer.TranscriptText()));
    QCOMPARE(peer.Commands().mid(before), commands);
    QCOMPARE(probe.needs, need < 0 ? QList<TMFtpInfoNeeded>{} : QList<TMFtpInfoNeeded>{TMFtpInfoNeeded(need)});
    QCOMPARE(asked.size, askedSize);
    QCOMPARE(asked.time, askedTime);
    if (upload) {
        const TransferRecord stored = peer.Transfers().last();
        QCOMPARE(stored.received, local.mid(stored.restOffset));
    } else {
        QCOMPARE(ReadFile(ftp.LocalFile), remote);
    }
}

void TestFileFacts::mfmtAfterUpload_data()
{
    QTest::addColumn<QByteArray>("feat");
    QTest::addColumn<bool>("keepTime");
    QTest::addColumn<QByteArray>("mfmtReply");
    QTest::addColumn<bool>("sent");

    QTest::newRow("accepted") << FactsFeat << true << QByteArray("213 Modify=20250304050607; f.bin") << true;
    QTest::newRow("refused 550") << FactsFeat << true << QByteArray("550 Permission denied.") << true;
    QTest::newRow("not understood 502") << FactsFeat << true << QByteArray("502 No.") << true;
    QTest::newRow("turned off") << FactsFeat << false << QByteArray() << false;
    QTest::newRow("not listed") << QByteArray("211-Features:\r\n SIZE\r\n211 End\r\n") << true << QByteArray() << false;
}

void TestFileFacts::mfmtAfterUpload()
{
    QFETCH(QByteArray, feat);
    QFETCH(bool, keepTime);
    QFETCH(QByteArray, mfmtReply);
    QFETCH(bool, sent);

    ScriptedFtpPeer peer;
    QVERIFY(peer.Listen());
    peer.On("FEAT", Reply::Raw(feat));
    // Late, so that a completion that does not wait for it shows.
    if (!mfmtReply.isEmpty())
        peer.On("MFMT", Reply().Pause(300).Write(mfmtReply + "\r\n"));
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString local = dir.filePath(u"f.bin"_s);
    const QByteArray content = Pattern(5000, 3);
    QVERIFY(WriteFile(local, content));
    QVERIFY(SetModified(local, Utc(2025, 3, 4, 5, 6, 7)));

    TMFtp ftp;
    Probe probe(ftp);
    ftp.Passive = true;
    ftp.KeepUploadTime = keepTime;
    bool replyBeforeCompletion = false;
    ftp.OnFileStored = [&](QObject *) {
        probe.sequence << u"FileStored"_s;
        replyBeforeCompletion = probe.InfoTexts(ftpiReply).join(QString()).contains(QString::fromLatin1(mfmtReply));
    };
    QVERIFY(Login(ftp, probe, peer.Host(), peer.Port(), "u", "p"));
    ftp.RemoteFile = "f.bin";
    ftp.LocalFile = local;
    ftp.Upload();
    QTRY_COMPARE_WITH_TIMEOUT(probe.Count(u"FileStored"_s), 1, 5000);
    QVERIFY2(ftp.Success(), qPrintable(peer.TranscriptText()));
    QVERIFY(probe.errors.isEmpty());
    QCOMPARE(peer.Transfers().last().received, content);
    const QByteArrayList expectedTail = sent ? QByteArrayList{"STOR f.bin", "MFMT 20250304050607 f.bin"}
                                             : QByteArrayList{"STOR f.bin"};
    QTRY_VERIFY_WITH_TIMEOUT(!ftp.Busy(), 2000);
    QCOMPARE(peer.Commands().mid(peer.Commands().size() - expectedTail.size()), expectedTail);
    if (sent)
        QVERIFY(replyBeforeCompletion);

    // The session goes on in step after it.
    probe.Forget();
    ftp.List();
    QTRY_COMPARE_WITH_TIMEOUT(probe.Count(u"ListingDone"_s), 1, 5000);
    QVERIFY(ftp.Success());
}

void TestFileFacts::realServers_data()
{
    QTest::addColumn<PeerServer::Kind>("kind");
    QTest::addColumn<bool>("mfmt");  // the server lists MFMT and sets the time with it
    QTest::newRow("vsftpd") << PeerServer::Kind::Vsftpd << false;
    QTest::newRow("proftpd") << PeerServer::Kind::Proftpd << true;
    QTest::newRow("pure-ftpd") << PeerServer::Kind::PureFtpd << true;
    QTest::newRow("pyftpdlib") << PeerServer::Kind::Pyftpdlib << true;
}

void TestFileFacts::realServers()
{
    QFETCH(PeerServer::Kind, kind);
    QFETCH(bool, mfmt);
    QString why;
    if (!PeerServer::Available(kind, &why))
        QSKIP(qPrintable(why));
    auto server = PeerServer::Start(kind, &why);
    QVERIFY2(server, qPrintable(why));
    const QByteArray remote = Pattern(300000, 11);
    QVERIFY(server->PutFile(u"f.bin"_s, remote.left(100000)));
    QTemporaryDir dir;
    QVERIFY(dir.isValid());

    TMFtp ftp;
    Probe probe(ftp);
    AnswerResumeQuestions(probe);
    Asked asked;
    RecordQuestion(ftp, asked);
    ftp.Passive = true;
    QVERIFY(Login(ftp, probe, server->Host(), server->Port(), server->User().toUtf8(), server->Password().toUtf8()));
    QVERIFY(ftp.Features().size && ftp.Features().mdtm && ftp.ResumeSupported());
    QCOMPARE(ftp.Features().mfmt, mfmt);
    ftp.List();
    QTRY_COMPARE_WITH_TIMEOUT(probe.Count(u"ListingDone"_s), 1, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(!ftp.Busy(), 2000);

    // The file grew after the listing: by the listing the local copy is
    // complete, by SIZE it is resumed.
    QVERIFY(server->PutFile(u"f.bin"_s, remote));
    const QDateTime serverTime = QFileInfo(server->PathOf(u"f.bin"_s)).lastModified().toUTC();
    ftp.RemoteFile = ftpparse::RemoteFullPath(ftp.CurrentDirectory(), "f.bin");
    ftp.LocalFile = dir.filePath(u"f.bin"_s);
    QVERIFY(WriteFile(ftp.LocalFile, remote.left(200000)));
    ftp.Download();
    QTRY_COMPARE_WITH_TIMEOUT(probe.Count(u"FileReceived"_s), 1, 10000);
    QVERIFY2(ftp.Success(), qPrintable(probe.Dialogue()));
    QCOMPARE(probe.needs, QList<TMFtpInfoNeeded>{needResumeDownload});
    QCOMPARE(asked.size, qint64(remote.size()));
    QCOMPARE(asked.time.toSecsSinceEpoch(), serverTime.toSecsSinceEpoch());
    QCOMPARE(ReadFile(ftp.LocalFile), remote);
    QTRY_VERIFY_WITH_TIMEOUT(!ftp.Busy(), 2000);

    // The upload keeps the local file's time where MFMT is offered.
    const QString upload = dir.filePath(u"up.bin"_s);
    const QDateTime localTime = Utc(2024, 1, 2, 3, 4, 5);
    QVERIFY(WriteFile(upload, remote.left(70000)));
    QVERIFY(SetModified(upload, localTime));
    probe.Forget();
    ftp.LocalFile = upload;
    ftp.RemoteFile = ftpparse::RemoteFullPath(ftp.CurrentDirectory(), "up.bin");
    ftp.Upload();
    QTRY_COMPARE_WITH_TIMEOUT(probe.Count(u"FileStored"_s), 1, 10000);
    QVERIFY2(ftp.Success(), qPrintable(probe.Dialogue()));
    QCOMPARE(server->ReadFile(u"up.bin"_s), remote.left(70000));
    const QDateTime stored = QFileInfo(server->PathOf(u"up.bin"_s)).lastModified().toUTC();
    if (mfmt)
        QCOMPARE(stored, localTime);
    else
        QVERIFY(stored != localTime);
}

QTEST_MAIN(TestFileFacts)
#include "tst_file_facts.moc"
