// Transfers against the scripted peer: the exact commands and bytes the engine
// sends, and the cases real servers do not produce on demand.

#include "tst_transfer_probe.h"

#include "scripted_ftp_peer.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace testsupport;
using namespace transfertest;
using namespace Qt::StringLiterals;

namespace {

const QByteArrayList LoginCommands = {"USER u", "PASS p", "SYST", "FEAT", "REST 100", "REST 0", "PWD"};

QByteArrayList After(const QByteArrayList &commands, qsizetype from)
{
    return commands.mid(from);
}

// The PORT line carries our listening port; it must name 127.0.0.1 and a real port.
bool PortLineValid(const QByteArray &line)
{
    static const QRegularExpression form(QStringLiteral("^PORT 127,0,0,1,(\\d+),(\\d+)$"));
    const QRegularExpressionMatch match = form.match(QString::fromLatin1(line));
    if (!match.hasMatch())
        return false;
    const int port = match.captured(1).toInt() * 256 + match.captured(2).toInt();
    return port > 0 && match.captured(1).toInt() < 256 && match.captured(2).toInt() < 256;
}

}  // namespace

class TestTransferScripted : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void transcript_data();
    void transcript();
    void typeOnlyWhenItChanges_data();
    void typeOnlyWhenItChanges();
    void endingOrders_data();
    void endingOrders();
    void uploadBlocks_data();
    void uploadBlocks();
    void resumedTransfers_data();
    void resumedTransfers();
    void refusals_data();
    void refusals();
    void dataConnectionFailures_data();
    void dataConnectionFailures();
    void serverConnectsBeforePortReply_data();
    void serverConnectsBeforePortReply();
    void pasvNamingAnotherHost();
    void badPasvReplyIsFatal();
    void listingLineEnds_data();
    void listingLineEnds();
    void abortSendsTelnetSynch_data();
    void abortSendsTelnetSynch();
    void unsafeNameNeverSent();
    void notConnected();
    void localFileFailures();
    void progressHandlerRunsEvents_data();
    void progressHandlerRunsEvents();
    void listingHandlerRunsEvents_data();
    void listingHandlerRunsEvents();

private:
    bool LoginHere();
    void WaitIdle(const QString &completion, int count = 1);

    std::unique_ptr<ScriptedFtpPeer> peer_;
    std::unique_ptr<TMFtp> ftp_;
    std::unique_ptr<Probe> probe_;
    std::unique_ptr<QTemporaryDir> dir_;
};

void TestTransferScripted::init()
{
    peer_ = std::make_unique<ScriptedFtpPeer>();
    QVERIFY(peer_->Listen());
    ftp_ = std::make_unique<TMFtp>();
    probe_ = std::make_unique<Probe>(*ftp_);
    probe_->answers[needOverwriteLocal] = QStringLiteral("overwrite");
    probe_->answers[needOverwriteRemote] = QStringLiteral("overwrite");
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
}

void TestTransferScripted::cleanup()
{
    probe_.reset();
    ftp_.reset();
    peer_.reset();
    dir_.reset();
}

bool TestTransferScripted::LoginHere()
{
    if (!Login(*ftp_, *probe_, peer_->Host(), peer_->Port(), "u", "p"))
        return false;
    probe_->Forget();
    return peer_->Commands() == LoginCommands;
}

void TestTransferScripted::WaitIdle(const QString &completion, int count)
{
    QTRY_VERIFY_WITH_TIMEOUT(probe_->Count(completion) >= count, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(!ftp_->Busy(), 2000);
}

// ---------------------------------------------------------------- transcript

void TestTransferScripted::transcript_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<bool>("passive");
    QTest::addColumn<QByteArray>("mask");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QByteArrayList>("expected");  // "PORT" stands for the checked PORT line

    QTest::newRow("list passive") << "List" << true << QByteArray() << int(BinaryTransfer)
                                  << QByteArrayList{"PWD", "TYPE A", "PASV", "LIST"};
    QTest::newRow("list active with mask") << "List" << false << QByteArray("*.txt") << int(BinaryTransfer)
                                           << QByteArrayList{"PWD", "TYPE A", "PORT", "LIST *.txt"};
    QTest::newRow("download passive binary") << "Download" << true << QByteArray() << int(BinaryTransfer)
                                             << QByteArrayList{"TYPE I", "PASV", "RETR dir/a b.bin"};
    QTest::newRow("download active ascii") << "Downloadii" << false << QByteArray() << int(AsciiTransfer)
                                           << QByteArrayList{"TYPE A", "PORT", "RETR dir/a b.bin"};
    QTest::newRow("upload passive") << "Upload" << true << QByteArray() << int(BinaryTransfer)
                                    << QByteArrayList{"TYPE I", "PASV", "STOR dir/a b.bin"};
    QTest::newRow("upload active") << "Uploadii" << false << QByteArray() << int(BinaryTransfer)
                                   << QByteArrayList{"TYPE I", "PORT", "STOR dir/a b.bin"};
}

void TestTransferScripted::transcript()
{
    QFETCH(QString, operation);
    QFETCH(bool, passive);
    QFETCH(QByteArray, mask);
    QFETCH(int, mode);
    QFETCH(QByteArrayList, expected);

    const QByteArray payload = Pattern(5000);
    const QByteArray listing = "drwxr-xr-x 2 u g 512 Jan 12 12:30 pub\r\n"
                               "-rw-r--r-- 1 u g 1024 Mar 3 1998 readme.txt\r\n";
    peer_->SetTransfer("LIST", Transfer::Data(listing));
    Transfer retr = Transfer::Data(payload);
    retr.opening = "150 Opening BINARY mode data connection for a b.bin (5000 bytes).\r\n";
    peer_->SetTransfer("RETR", retr);
    QVERIFY(LoginHere());

    ftp_->Passive = passive;
    ftp_->FileMask = mask;
    ftp_->TransferMode = TTransferType(mode);
    ftp_->RemoteFile = "dir/a b.bin";
    const QString local = dir_->filePath(QStringLiteral("a.bin"));
    QString completion;
    if (operation == u"List") {
        ftp_->List();
        completion = QStringLiteral("ListingDone");
    } else if (operation.startsWith(u"Download")) {
        ftp_->LocalFile = local;
        operation == u"Download" ? ftp_->Download() : ftp_->Downloadii();
        completion = operation == u"Download" ? QStringLiteral("FileReceived") : QStringLiteral("FileReceivedii");
    } else {
        QVERIFY(WriteFile(local, payload));
        ftp_->LocalFile = local;
        operation == u"Upload" ? ftp_->Upload() : ftp_->Uploadii();
        completion = operation == u"Upload" ? QStringLiteral("FileStored") : QStringLiteral("FileStoredii");
    }
    WaitIdle(completion);
    QVERIFY2(ftp_->Success(), qPrintable(peer_->TranscriptText()));
    QCOMPARE(probe_->Count(QStringLiteral("ready")), 1);
    QCOMPARE(probe_->InfoCount(ftpiTransferDone), 1);

    QByteArrayList sent = After(peer_->Commands(), LoginCommands.size());
    QCOMPARE(sent.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        if (expected.at(i) == "PORT")
            QVERIFY2(PortLineValid(sent.at(i)), sent.at(i).constData());
        else
            QCOMPARE(sent.at(i), expected.at(i));
    }
    // What the engine logged is what went over the wire.
    QCOMPARE(probe_->InfoTexts(ftpiCommand).size(), expected.size());
    QCOMPARE(peer_->Transfers().size(), 1);
    QCOMPARE(peer_->Transfers().first().passive, passive);

    if (operation == u"List") {
        QCOMPARE(ftp_->DirectoryNames, QList<QByteArray>{"pub"});
        QCOMPARE(ftp_->FileNames, QList<QByteArray>{"readme.txt"});
        QCOMPARE(ftp_->CurrentDirectory(), QByteArray("/"));
        QCOMPARE(probe_->InfoCount(ftpiListingLine), 2);
        QCOMPARE(probe_->InfoCount(ftpiListingReady), 1);
        QCOMPARE(ftp_->BytesTransferred, qint64(listing.size()));
    } else if (operation.startsWith(u"Download")) {
        QCOMPARE(ReadFile(local), payload);
        QCOMPARE(probe_->InfoTexts(ftpiFileSize), QStringList{QStringLiteral("5000")});
        QCOMPARE(ftp_->BytesTransferred, qint64(payload.size()));
    } else {
        QCOMPARE(peer_->Transfers().first().received, payload);
        QCOMPARE(probe_->InfoTexts(ftpiFileSize), QStringList{QStringLiteral("5000")});
    }
}

// ---------------------------------------------------------------- TYPE per session

void TestTransferScripted::typeOnlyWhenItChanges_data()
{
    QTest::addColumn<QByteArray>("restProbe");   // first reply to "REST 100" at login
    QTest::addColumn<QByteArray>("probeType");   // reply to the login's "TYPE I", if sent
    QTest::addColumn<int>("mode");
    QTest::addColumn<QByteArray>("operations");  // RETR and LIST, in order
    QTest::addColumn<QByteArrayList>("expected");

    const QByteArray accepted = "350 Restarting at 100.";
    const QByteArray asciiOnly = "501 Resuming transfers not allowed in ASCII mode.";
    QTest::newRow("two downloads") << accepted << QByteArray() << int(BinaryTransfer) << QByteArray("RETR RETR")
                                   << QByteArrayList{"TYPE I", "PASV", "RETR a.bin", "PASV", "RETR a.bin"};
    QTest::newRow("listing between downloads")
        << accepted << QByteArray() << int(BinaryTransfer) << QByteArray("RETR LIST RETR")
        << QByteArrayList{"TYPE I", "PASV", "RETR a.bin", "PWD", "TYPE A", "PASV", "LIST", "TYPE I", "PASV", "RETR a.bin"};
    QTest::newRow("ascii downloads and a listing")
        << accepted << QByteArray() << int(AsciiTransfer) << QByteArray("RETR LIST RETR")
        << QByteArrayList{"TYPE A", "PASV", "RETR a.bin", "PWD", "PASV", "LIST", "PASV", "RETR a.bin"};
    QTest::newRow("binary since the login probe") << asciiOnly << QByteArray("200 Binary.") << int(BinaryTransfer)
                                                  << QByteArray("RETR") << QByteArrayList{"PASV", "RETR a.bin"};
    QTest::newRow("login probe's TYPE refused") << asciiOnly << QByteArray("504 Not now.") << int(BinaryTransfer)
                                                << QByteArray("RETR")
                                                << QByteArrayList{"TYPE I", "PASV", "RETR a.bin"};
}

void TestTransferScripted::typeOnlyWhenItChanges()
{
    QFETCH(QByteArray, restProbe);
    QFETCH(QByteArray, probeType);
    QFETCH(int, mode);
    QFETCH(QByteArray, operations);
    QFETCH(QByteArrayList, expected);

    const QByteArray payload = Pattern(3000, 9);
    peer_->SetTransfer("LIST", Transfer::Data("-rw-r--r-- 1 u g 10 Jan 1 2000 other.txt\r\n"));
    peer_->SetTransfer("RETR", Transfer::Data(payload));
    peer_->Queue("REST 100", Reply::Raw(restProbe + "\r\n"));
    if (!probeType.isEmpty())
        peer_->Queue("TYPE I", Reply::Raw(probeType + "\r\n"));
    QVERIFY(Login(*ftp_, *probe_, peer_->Host(), peer_->Port(), "u", "p"));
    const qsizetype loginCommands = peer_->Commands().size();
    ftp_->Passive = true;
    ftp_->TransferMode = TTransferType(mode);
    int done = 0;
    for (const QByteArray &operation : operations.split(' ')) {
        probe_->Forget();
        if (operation == "LIST") {
            ftp_->List();
            WaitIdle(QStringLiteral("ListingDone"));
        } else {
            ftp_->RemoteFile = "a.bin";
            ftp_->LocalFile = dir_->filePath(QStringLiteral("a%1.bin").arg(done));
            ftp_->Download();
            WaitIdle(QStringLiteral("FileReceived"));
            QCOMPARE(ReadFile(ftp_->LocalFile), payload);
        }
        QVERIFY2(ftp_->Success(), qPrintable(peer_->TranscriptText()));
        ++done;
    }
    QCOMPARE(After(peer_->Commands(), loginCommands), expected);
}

// ---------------------------------------------------------------- the end handshake

void TestTransferScripted::endingOrders_data()
{
    QTest::addColumn<bool>("listing");
    QTest::addColumn<bool>("passive");
    QTest::addColumn<int>("ending");
    const QList<QPair<const char *, Transfer::Ending>> endings = {
        {"226 after close", Transfer::Ending::ReplyAfterClose},
        {"226 before close", Transfer::Ending::ReplyBeforeClose},
        {"426 then 226", Transfer::Ending::AbortThenReply},
    };
    for (bool listing : {false, true})
        for (bool passive : {true, false})
            for (const auto &[name, ending] : endings)
                QTest::addRow("%s %s %s", listing ? "list" : "retr", passive ? "passive" : "active", name)
                    << listing << passive << int(ending);
}

void TestTransferScripted::endingOrders()
{
    QFETCH(bool, listing);
    QFETCH(bool, passive);
    QFETCH(int, ending);
    QByteArray data;
    for (int i = 0; i < 300; ++i)
        data += "-rw-r--r-- 1 u g " + QByteArray::number(i) + " Jan 1 2000 f" + QByteArray::number(i) + "\r\n";
    Transfer plan = Transfer::Data(data, Transfer::Ending(ending));
    plan.chunkSize = 4000;  // several reads, the last bytes just before the close
    peer_->SetTransfer(listing ? "LIST" : "RETR", plan);
    QVERIFY(LoginHere());
    ftp_->Passive = passive;
    const QString local = dir_->filePath(QStringLiteral("f"));
    ftp_->RemoteFile = "f";
    ftp_->LocalFile = local;
    const QString completion = listing ? QStringLiteral("ListingDone") : QStringLiteral("FileReceived");
    listing ? ftp_->List() : ftp_->Download();
    WaitIdle(completion);
    // A second ready would show up in the next rounds of the event loop.
    QTest::qWait(300);
    QCOMPARE(probe_->Count(QStringLiteral("ready")), 1);
    QCOMPARE(probe_->Count(completion), 1);
    QVERIFY(probe_->errors.isEmpty());
    if (listing)
        QCOMPARE(ftp_->FileNames.size(), 300);
    else
        QCOMPARE(ReadFile(local), data);

    // A 426 says the transfer broke, whatever came before it.
    QCOMPARE(ftp_->Success(), Transfer::Ending(ending) != Transfer::Ending::AbortThenReply);

    // The connection goes on: the next operation runs in its own states.
    peer_->SetTransfer("LIST", Transfer::Data(data));
    probe_->Forget();
    ftp_->List();
    WaitIdle(QStringLiteral("ListingDone"));
    QCOMPARE(probe_->Count(QStringLiteral("ready")), 1);
    QVERIFY(ftp_->Success());
}

// ---------------------------------------------------------------- upload blocks

void TestTransferScripted::uploadBlocks_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("passive");
    const qint64 block = TMFtp::TransferBlockSize;
    for (bool passive : {true, false}) {
        const char *mode = passive ? "passive" : "active";
        QTest::addRow("empty %s", mode) << qint64(0) << passive;
        QTest::addRow("one byte %s", mode) << qint64(1) << passive;
        QTest::addRow("one block %s", mode) << block << passive;
        QTest::addRow("one block plus one %s", mode) << block + 1 << passive;
        QTest::addRow("two blocks %s", mode) << 2 * block << passive;
        QTest::addRow("three blocks less one %s", mode) << 3 * block - 1 << passive;
    }
}

void TestTransferScripted::uploadBlocks()
{
    QFETCH(qint64, size);
    QFETCH(bool, passive);
    const QByteArray payload = Pattern(size, 7);
    const QString local = dir_->filePath(QStringLiteral("up.bin"));
    QVERIFY(WriteFile(local, payload));
    QVERIFY(LoginHere());
    ftp_->Passive = passive;
    ftp_->LocalFile = local;
    ftp_->RemoteFile = "up.bin";
    ftp_->Upload();
    WaitIdle(QStringLiteral("FileStored"));
    QVERIFY(ftp_->Success());
    QTRY_COMPARE_WITH_TIMEOUT(peer_->Transfers().size(), 1, 2000);
    QCOMPARE(peer_->Transfers().first().received.size(), payload.size());
    QCOMPARE(peer_->Transfers().first().received, payload);
    // One progress per block sent.
    const qint64 block = TMFtp::TransferBlockSize;
    QCOMPARE(qint64(probe_->progress), (size + block - 1) / block);
    QCOMPARE(ftp_->BytesTransferred, size);
}

// ---------------------------------------------------------------- resume

void TestTransferScripted::resumedTransfers_data()
{
    QTest::addColumn<bool>("download");
    QTest::addColumn<bool>("passive");
    QTest::addColumn<QString>("answer");
    for (bool passive : {true, false}) {
        const char *mode = passive ? "passive" : "active";
        QTest::addRow("download resume %s", mode) << true << passive << QStringLiteral("Resume");
        QTest::addRow("download overwrite %s", mode) << true << passive << QStringLiteral("overwrite");
        QTest::addRow("upload resume %s", mode) << false << passive << QStringLiteral("Resume");
        QTest::addRow("upload overwrite %s", mode) << false << passive << QStringLiteral("overwrite");
    }
    QTest::addRow("download cancelled") << true << true << QStringLiteral("resume");  // case matters
    QTest::addRow("upload cancelled") << false << true << QString();
}

void TestTransferScripted::resumedTransfers()
{
    QFETCH(bool, download);
    QFETCH(bool, passive);
    QFETCH(QString, answer);
    const QByteArray whole = Pattern(5000, 3);
    const QByteArray part = whole.left(3000);
    const QString local = dir_->filePath(QStringLiteral("r.bin"));
    QVERIFY(WriteFile(local, download ? part : whole));
    // The remote copy as the listing shows it.
    const QByteArray listed = download ? "5000" : "3000";
    peer_->SetTransfer("LIST", Transfer::Data("-rw-r--r-- 1 u g " + listed + " Jan 1 2000 r.bin\r\n"));
    peer_->SetTransfer("RETR", Transfer::Data(whole));
    QVERIFY(LoginHere());
    ftp_->Passive = passive;
    ftp_->List();
    WaitIdle(QStringLiteral("ListingDone"));
    probe_->Forget();
    const qsizetype before = peer_->Commands().size();

    probe_->answers[download ? needResumeDownload : needResumeUpload] = answer;
    ftp_->RemoteFile = "/r.bin";  // as the listing's full path
    ftp_->LocalFile = local;
    download ? ftp_->Download() : ftp_->Upload();
    const QString completion = download ? QStringLiteral("FileReceived") : QStringLiteral("FileStored");
    WaitIdle(completion);
    QCOMPARE(probe_->needs, QList<TMFtpInfoNeeded>{download ? needResumeDownload : needResumeUpload});
    const QByteArrayList sent = After(peer_->Commands(), before);

    if (answer != u"Resume" && answer != u"overwrite") {
        // Anything else cancels: nothing sent, the local file untouched.
        QVERIFY(sent.isEmpty());
        QCOMPARE(ReadFile(local), download ? part : whole);
        QCOMPARE(probe_->Count(completion), 1);
        return;
    }
    QVERIFY(ftp_->Success());
    const bool resume = answer == u"Resume";
    QByteArrayList expected{"TYPE I", passive ? "PASV" : "PORT"};
    if (resume)
        expected << "REST 3000";
    expected << (download ? "RETR /r.bin" : "STOR /r.bin");
    QCOMPARE(sent.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i)
        if (expected.at(i) != "PORT")
            QCOMPARE(sent.at(i), expected.at(i));
    if (download) {
        QCOMPARE(ReadFile(local), whole);
    } else {
        QCOMPARE(peer_->Transfers().last().received, resume ? whole.mid(3000) : whole);
        QCOMPARE(ftp_->BytesTransferred, qint64(5000));
    }
}

// ---------------------------------------------------------------- refusals

void TestTransferScripted::refusals_data()
{
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("download");
    QTest::addColumn<int>("info");
    QTest::newRow("550 on RETR") << QByteArray("RETR") << QByteArray("550 No such file.") << true << int(ftpiAccessDenied);
    QTest::newRow("553 on STOR") << QByteArray("STOR") << QByteArray("553 Not allowed.") << false << int(ftpiAccessDenied);
    QTest::newRow("REST refused on download") << QByteArray("REST 3000") << QByteArray("502 No REST.") << true << int(ftpiResumeFailed);
    QTest::newRow("REST refused on upload") << QByteArray("REST 3000") << QByteArray("502 No REST.") << false << int(ftpiResumeFailed);
}

void TestTransferScripted::refusals()
{
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, reply);
    QFETCH(bool, download);
    QFETCH(int, info);
    const QByteArray whole = Pattern(5000, 5);
    const QString local = dir_->filePath(QStringLiteral("r.bin"));
    const bool resume = key.startsWith("REST");
    QVERIFY(WriteFile(local, download ? whole.left(3000) : whole));
    peer_->SetTransfer("LIST", Transfer::Data(QByteArray("-rw-r--r-- 1 u g ") + (download ? "5000" : "3000")
                                              + " Jan 1 2000 r.bin\r\n"));
    peer_->SetTransfer("RETR", Transfer::Data(whole));
    QVERIFY(LoginHere());
    ftp_->Passive = true;
    if (resume) {
        ftp_->List();
        WaitIdle(QStringLiteral("ListingDone"));
        probe_->Forget();
        probe_->answers[download ? needResumeDownload : needResumeUpload] = QStringLiteral("Resume");
    }
    peer_->On(key, Reply::Raw(reply + "\r\n"));
    ftp_->RemoteFile = resume ? "/r.bin" : "r.bin";
    ftp_->LocalFile = local;
    download ? ftp_->Download() : ftp_->Upload();
    const QString completion = download ? QStringLiteral("FileReceived") : QStringLiteral("FileStored");
    WaitIdle(completion);
    QCOMPARE(probe_->InfoCount(FtpInfo(info)), 1);
    QVERIFY(!ftp_->Success());
    QCOMPARE(probe_->Count(QStringLiteral("ready")), 1);
    QVERIFY(probe_->sequence.indexOf(QStringLiteral("ready")) < probe_->sequence.indexOf(completion));
    QVERIFY(ftp_->Connected);
    if (resume) {
        QCOMPARE(probe_->InfoTexts(ftpiResumeFailed), QStringList{QStringLiteral("Failed in resuming downloading file")});
        // Nothing was sent after the refused REST, and the partial file is kept.
        QVERIFY(!peer_->LastCommand().startsWith("RETR") && !peer_->LastCommand().startsWith("STOR"));
        QCOMPARE(ReadFile(local), download ? whole.left(3000) : whole);
    }
    // The connection is usable for the next operation.
    peer_->On(key, download ? Reply::Raw("250 ok\r\n") : Reply::Raw("250 ok\r\n"));
    probe_->Forget();
    ftp_->List();
    WaitIdle(QStringLiteral("ListingDone"));
    QVERIFY(probe_->errors.isEmpty());
}

// ---------------------------------------------------------------- data connection failures

void TestTransferScripted::dataConnectionFailures_data()
{
    // Active mode tries passive instead (tst_data_fallback); passive has nowhere to go.
    QTest::addColumn<bool>("listing");
    QTest::newRow("server drops the data connection, retr") << false;
    QTest::newRow("server drops the data connection, list") << true;
}

void TestTransferScripted::dataConnectionFailures()
{
    QFETCH(bool, listing);
    const QString local = dir_->filePath(QStringLiteral("d.bin"));
    peer_->QueueTransfer(Transfer::Refused());
    QVERIFY(LoginHere());
    ftp_->Passive = true;
    ftp_->TimeOutConnect = 1;
    ftp_->RemoteFile = "d.bin";
    ftp_->LocalFile = local;
    const QString completion = listing ? QStringLiteral("ListingDone") : QStringLiteral("FileReceived");
    listing ? ftp_->List() : ftp_->Download();
    WaitIdle(completion);
    QTest::qWait(200);
    QCOMPARE(probe_->Count(completion), 1);
    QVERIFY(!ftp_->Success());
    QVERIFY(!probe_->errors.contains(ftpeProtocol));
    QVERIFY(ftp_->Connected);
    QVERIFY(ftp_->PassiveInEffect());

    // Still usable.
    QVERIFY(peer_->SetPassiveAnnounce("127.0.0.1", 0));
    peer_->SetTransfer("LIST", Transfer::Data("-rw-r--r-- 1 u g 1 Jan 1 2000 x\r\n"));
    probe_->Forget();
    ftp_->Passive = true;
    ftp_->List();
    WaitIdle(QStringLiteral("ListingDone"));
    QVERIFY(ftp_->Success());
    QCOMPARE(ftp_->FileNames, QList<QByteArray>{"x"});
}

void TestTransferScripted::serverConnectsBeforePortReply_data()
{
    QTest::addColumn<QString>("operation");
    QTest::newRow("listing") << u"List"_s;
    QTest::newRow("download") << u"Download"_s;
    QTest::newRow("upload") << u"Upload"_s;
}

// The connection is announced before the handler for it is in place; it must
// not be lost (the transfer would wait for ever).
void TestTransferScripted::serverConnectsBeforePortReply()
{
    QFETCH(QString, operation);
    const QByteArray payload = Pattern(70000, 3);
    const QByteArray listing = "-rw-r--r-- 1 u g 5 Jan 1 2000 early\r\n";
    peer_->SetConnectOnPort(true);
    peer_->On("PORT", Reply().Pause(300).Write("200 PORT command successful.\r\n"));
    peer_->SetTransfer(operation == u"List" ? "LIST" : "RETR", Transfer::Data(operation == u"List" ? listing : payload));
    const QString local = dir_->filePath(u"early.bin"_s);
    if (operation == u"Upload")
        QVERIFY(WriteFile(local, payload));
    QVERIFY(LoginHere());
    ftp_->Passive = false;
    ftp_->RemoteFile = "early.bin";
    ftp_->LocalFile = local;
    QString completion = u"FileReceived"_s;
    if (operation == u"List") {
        completion = u"ListingDone"_s;
        ftp_->List();
    } else if (operation == u"Download") {
        ftp_->Download();
    } else {
        completion = u"FileStored"_s;
        ftp_->Upload();
    }
    WaitIdle(completion);
    QVERIFY2(ftp_->Success(), qPrintable(probe_->sequence.join(u' ')));
    QTRY_COMPARE_WITH_TIMEOUT(peer_->Transfers().size(), 1, 2000);
    QVERIFY(peer_->Transfers().first().connected);
    if (operation == u"List")
        QCOMPARE(ftp_->FileNames, QList<QByteArray>{"early"});
    else if (operation == u"Download")
        QCOMPARE(ReadFile(local), payload);
    else
        QTRY_COMPARE_WITH_TIMEOUT(peer_->Transfers().first().received, payload, 2000);
}

void TestTransferScripted::pasvNamingAnotherHost()
{
    QVERIFY(peer_->SetPassiveAnnounce("127.0.0.2"));
    const QByteArray payload = Pattern(10000, 9);
    peer_->SetTransfer("RETR", Transfer::Data(payload));
    QVERIFY(LoginHere());
    ftp_->Passive = true;
    ftp_->RemoteFile = "a";
    ftp_->LocalFile = dir_->filePath(QStringLiteral("a"));
    ftp_->Download();
    WaitIdle(QStringLiteral("FileReceived"));
    // The data went to the server's own address, and the log says why.
    QVERIFY(ftp_->Success());
    QCOMPARE(ReadFile(ftp_->LocalFile), payload);
    bool logged = false;
    for (const QString &text : probe_->InfoTexts(ftpiReply))
        logged = logged || (text.contains(u"127.0.0.2") && text.contains(u"127.0.0.1"));
    QVERIFY(logged);
}

void TestTransferScripted::badPasvReplyIsFatal()
{
    peer_->On("PASV", Reply::Line(227, "Entering Passive Mode (127,0,0,1,4)."));
    QVERIFY(LoginHere());
    ftp_->Passive = true;
    ftp_->RemoteFile = "a";
    ftp_->LocalFile = dir_->filePath(QStringLiteral("a"));
    ftp_->Download();
    QTRY_VERIFY_WITH_TIMEOUT(probe_->Count(QStringLiteral("quit")) >= 1, 3000);
    QCOMPARE(probe_->errors, QList<FtpError>{ftpeProtocol});
    QVERIFY(!ftp_->Connected);
    QCOMPARE(peer_->LastCommand(), QByteArray("PASV"));
    QCOMPARE(probe_->Count(QStringLiteral("FileReceived")), 0);
}

void TestTransferScripted::listingLineEnds_data()
{
    QTest::addColumn<QByteArray>("listing");
    QTest::addColumn<int>("chunkSize");  // bytes per write, 0: all at once
    QTest::addColumn<QByteArrayList>("names");

    const QByteArray entry = "-rw-r--r-- 1 u g 10 Jan 1 2000 ";
    QTest::newRow("CR LF, a tail without line end is not filed")
        << entry + "first\r\n" + entry + "last" << 0 << QByteArrayList{"first"};
    QTest::newRow("bare LF") << entry + "first\n" + entry + "second\n" << 0 << QByteArrayList{"first", "second"};
    QTest::newRow("a lone CR is part of the name")
        << entry + "a\rb\n" + entry + "c\r\n" + entry + "d\r\r\n" << 0 << QByteArrayList{"a\rb", "c", "d\r"};
    QTest::newRow("LF and CR LF mixed, cut into small reads")
        << entry + "one\r\n" + entry + "two\n" + entry + "three\r\n" << 5
        << QByteArrayList{"one", "two", "three"};
}

void TestTransferScripted::listingLineEnds()
{
    QFETCH(QByteArray, listing);
    QFETCH(int, chunkSize);
    QFETCH(QByteArrayList, names);
    Transfer transfer = Transfer::Data(listing);
    transfer.chunkSize = chunkSize;
    transfer.chunkPauseMs = chunkSize > 0 ? 2 : 0;
    peer_->SetTransfer("LIST", transfer);
    QVERIFY(LoginHere());
    ftp_->Passive = true;
    ftp_->List();
    WaitIdle(QStringLiteral("ListingDone"));
    QCOMPARE(ftp_->FileNames, names);
    QCOMPARE(probe_->InfoCount(ftpiListingLine), names.size());
    QVERIFY(ftp_->Success());
}

// ---------------------------------------------------------------- abort

void TestTransferScripted::abortSendsTelnetSynch_data()
{
    QTest::addColumn<bool>("download");
    QTest::addColumn<bool>("passive");
    QTest::newRow("download passive") << true << true;
    QTest::newRow("download active") << true << false;
    QTest::newRow("listing passive") << false << true;
}

void TestTransferScripted::abortSendsTelnetSynch()
{
    QFETCH(bool, download);
    QFETCH(bool, passive);
    Transfer slow = Transfer::Data(Pattern(4 * 1024 * 1024, 11));
    slow.chunkSize = 4096;
    slow.chunkPauseMs = 20;
    peer_->SetTransfer(download ? "RETR" : "LIST", slow);
    QVERIFY(LoginHere());
    ftp_->Passive = passive;
    ftp_->RemoteFile = "big";
    ftp_->LocalFile = dir_->filePath(QStringLiteral("big"));
    const qsizetype receivedBefore = peer_->Received().size();
    download ? ftp_->Download() : ftp_->List();
    QTRY_VERIFY_WITH_TIMEOUT(ftp_->BytesTransferred > 0, 3000);
    ftp_->Abort();
    ftp_->Abort();  // a second request changes nothing
    const QString completion = download ? QStringLiteral("FileReceived") : QStringLiteral("ListingDone");
    WaitIdle(completion);
    QCOMPARE(probe_->Count(completion), 1);
    QVERIFY(!ftp_->Success());
    QVERIFY(probe_->errors.isEmpty());
    // IAC IP in band, IAC DM urgent (the DM is the urgent byte), ABOR, IAC DM in band.
    const QByteArray tail = peer_->Received().mid(receivedBefore);
    const QByteArray command = download ? "RETR big\r\n" : "LIST\r\n";
    const qsizetype at = tail.indexOf(command);
    QVERIFY(at >= 0);
    // The DM went as urgent data: it is the out-of-band byte, not in the stream.
    QCOMPARE(peer_->Urgent(), QByteArray("\xf2"));
    QByteArray inBand = tail.mid(at + command.size());
    QCOMPARE(inBand, QByteArray("\xff\xf4\xff" "ABOR\r\n\xff\xf2" "NOOP\r\nPWD\r\n"));
    QCOMPARE(peer_->CommandCount("ABOR"), 1);
    // The NOOP takes the DM that would otherwise stick to the next command;
    // the PWD's 257 marks the end of what the abort is answered.
    QCOMPARE(probe_->InfoTexts(ftpiCommand).mid(probe_->InfoTexts(ftpiCommand).size() - 3),
             (QStringList{QStringLiteral("ABOR\r\n"), QStringLiteral("NOOP\r\n"), QStringLiteral("PWD\r\n")}));
    QCOMPARE(peer_->Transfers().last().end, TransferRecord::End::Aborted);

    // The connection serves the next operation.
    peer_->SetTransfer("RETR", Transfer::Data("tiny"));
    probe_->Forget();
    ftp_->RemoteFile = "tiny";
    ftp_->LocalFile = dir_->filePath(QStringLiteral("tiny"));
    ftp_->Download();
    WaitIdle(QStringLiteral("FileReceived"));
    QVERIFY(ftp_->Success());
    QCOMPARE(ReadFile(ftp_->LocalFile), QByteArray("tiny"));
}

// ---------------------------------------------------------------- bad input

void TestTransferScripted::unsafeNameNeverSent()
{
    QVERIFY(LoginHere());
    const QString local = dir_->filePath(QStringLiteral("keep"));
    QVERIFY(WriteFile(local, "precious"));
    const qsizetype received = peer_->Received().size();
    ftp_->LocalFile = local;
    ftp_->RemoteFile = "evil\r\nDELE important";
    ftp_->Download();
    WaitIdle(QStringLiteral("FileReceived"));
    ftp_->Upload();
    WaitIdle(QStringLiteral("FileStored"));
    ftp_->RemoteFile = "x";
    ftp_->FileMask = "*\nDELE x";
    ftp_->List();
    WaitIdle(QStringLiteral("ListingDone"));
    QCOMPARE(probe_->InfoCount(ftpiAccessDenied), 3);
    QVERIFY(!ftp_->Success());
    QCOMPARE(peer_->Received().size(), received);  // not one byte written
    QCOMPARE(ReadFile(local), QByteArray("precious"));
}

void TestTransferScripted::notConnected()
{
    Probe &probe = *probe_;
    ftp_->RemoteFile = "a";
    ftp_->LocalFile = dir_->filePath(QStringLiteral("a"));
    ftp_->Download();
    QCOMPARE(probe.InfoTexts(ftpiDisconnected), QStringList{QStringLiteral("Not connected to the server")});
    ftp_->Upload();
    QTRY_COMPARE_WITH_TIMEOUT(probe.Count(QStringLiteral("FileStored")), 1, 2000);
    // Only the upload reports back, and as a failure.
    QCOMPARE(probe.sequence, (QStringList{QStringLiteral("info:1"), QStringLiteral("info:1"), QStringLiteral("ready"),
                                          QStringLiteral("FileStored")}));
    QVERIFY(!ftp_->Success());
    QVERIFY(!QFile::exists(ftp_->LocalFile));
}

void TestTransferScripted::localFileFailures()
{
    const QByteArray payload = Pattern(3 * TMFtp::TransferBlockSize + 10, 13);
    Transfer slow = Transfer::Data(payload);
    slow.chunkSize = 65536;
    slow.chunkPauseMs = 5;
    peer_->SetTransfer("RETR", slow);
    QVERIFY(LoginHere());
    ftp_->Passive = true;

    // A full disk: /dev/full takes no byte.
    ftp_->RemoteFile = "a";
    ftp_->LocalFile = QStringLiteral("/dev/full");
    ftp_->Download();
    WaitIdle(QStringLiteral("FileReceived"));
    QCOMPARE(probe_->errors, QList<FtpError>{ftpeWriteLocalFile});
    QVERIFY(!ftp_->Success());
    QCOMPARE(peer_->CommandCount("ABOR"), 1);  // the rest of the file is not pulled for nothing

    // A local file that cannot be created.
    probe_->Forget();
    ftp_->LocalFile = dir_->filePath(QStringLiteral("no/such/folder/a"));
    ftp_->Download();
    WaitIdle(QStringLiteral("FileReceived"));
    QCOMPARE(probe_->errors, QList<FtpError>{ftpeOpenLocalFile});

    // An upload whose local file shrinks under it: error 23, and the operation ends.
    probe_->Forget();
    const QString local = dir_->filePath(QStringLiteral("shrinks"));
    QVERIFY(WriteFile(local, payload));
    ftp_->LocalFile = local;
    ftp_->RemoteFile = "s";
    probe_->onInfo = [&](FtpInfo info, const QString &) {
        if (info == ftpiProgress)
            QFile::resize(local, 10);
    };
    ftp_->Upload();
    WaitIdle(QStringLiteral("FileStored"));
    probe_->onInfo = nullptr;
    QCOMPARE(probe_->errors, QList<FtpError>{ftpeReadLocalFile});
    QVERIFY(!ftp_->Success());
    QCOMPARE(probe_->Count(QStringLiteral("FileStored")), 1);

    // Missing names.
    probe_->Forget();
    ftp_->RemoteFile.clear();
    ftp_->Download();
    WaitIdle(QStringLiteral("FileReceived"));
    ftp_->RemoteFile = "a";
    ftp_->LocalFile.clear();
    ftp_->Upload();
    WaitIdle(QStringLiteral("FileStored"));
    QCOMPARE(probe_->errors, (QList<FtpError>{ftpeNoRemoteFile, ftpeOpenLocalFile}));
}

// ---------------------------------------------------------------- re-entry

void TestTransferScripted::progressHandlerRunsEvents_data()
{
    QTest::addColumn<bool>("passive");
    QTest::addColumn<int>("chunkSize");
    // One piece: the close arrives while the owner's handler runs; in pieces:
    // further reads arrive there too.
    for (bool passive : {true, false}) {
        const char *mode = passive ? "passive" : "active";
        QTest::addRow("close during the handler, %s", mode) << passive << 0;
        QTest::addRow("more data during the handler, %s", mode) << passive << 4096;
    }
}

void TestTransferScripted::progressHandlerRunsEvents()
{
    // An owner's progress handler may run the event loop (a modal progress
    // dialog does): the bytes of the read it reports must still reach the file,
    // in order.
    QFETCH(bool, passive);
    QFETCH(int, chunkSize);
    const QByteArray payload = Pattern(60000, 17);
    Transfer plan = Transfer::Data(payload);
    plan.chunkSize = chunkSize;
    plan.chunkPauseMs = chunkSize ? 2 : 0;
    peer_->SetTransfer("RETR", plan);
    QVERIFY(LoginHere());
    ftp_->Passive = passive;
    ftp_->RemoteFile = "p.bin";
    ftp_->LocalFile = dir_->filePath(QStringLiteral("p.bin"));
    int nested = 0;
    probe_->onInfo = [&](FtpInfo info, const QString &) {
        if (info == ftpiProgress && nested++ < 3)
            QTest::qWait(100);
    };
    ftp_->Download();
    WaitIdle(QStringLiteral("FileReceived"));
    probe_->onInfo = nullptr;
    QCOMPARE(probe_->Count(QStringLiteral("FileReceived")), 1);
    QVERIFY(ftp_->Success());
    QCOMPARE(ftp_->BytesTransferred, qint64(payload.size()));
    const QByteArray got = ReadFile(ftp_->LocalFile);
    QCOMPARE(got.size(), payload.size());
    QVERIFY(got == payload);
}

void TestTransferScripted::listingHandlerRunsEvents_data()
{
    QTest::addColumn<int>("chunkSize");
    QTest::addColumn<int>("info");
    QTest::newRow("close during the line event") << 0 << int(ftpiListingLine);
    QTest::newRow("close during the progress event") << 0 << int(ftpiProgress);
    QTest::newRow("more data during the line event") << 4000 << int(ftpiListingLine);
}

void TestTransferScripted::listingHandlerRunsEvents()
{
    // Every line is filed once, in order, and before the listing is reported
    // ready, even when a line's handler runs the event loop.
    QFETCH(int, chunkSize);
    QFETCH(int, info);
    QByteArray data;
    QList<QByteArray> names;
    for (int i = 0; i < 300; ++i) {
        names << "f" + QByteArray::number(i);
        data += "-rw-r--r-- 1 u g " + QByteArray::number(i) + " Jan 1 2000 " + names.last() + "\r\n";
    }
    Transfer plan = Transfer::Data(data);
    plan.chunkSize = chunkSize;
    plan.chunkPauseMs = chunkSize ? 2 : 0;
    peer_->SetTransfer("LIST", plan);
    QVERIFY(LoginHere());
    ftp_->Passive = true;
    int nested = 0;
    int filedAtReady = -1;
    probe_->onInfo = [&](FtpInfo raised, const QString &) {
        if (raised == ftpiListingReady)
            filedAtReady = int(ftp_->FileNames.size());
        if (int(raised) == info && nested++ < 2)
            QTest::qWait(100);
    };
    ftp_->List();
    WaitIdle(QStringLiteral("ListingDone"));
    probe_->onInfo = nullptr;
    QCOMPARE(probe_->Count(QStringLiteral("ListingDone")), 1);
    QVERIFY(ftp_->Success());
    QCOMPARE(ftp_->FileNames, names);
    QCOMPARE(filedAtReady, int(names.size()));
    QCOMPARE(probe_->InfoCount(ftpiListingLine), int(names.size()));
}

QTEST_GUILESS_MAIN(TestTransferScripted)
#include "tst_transfer_scripted.moc"
