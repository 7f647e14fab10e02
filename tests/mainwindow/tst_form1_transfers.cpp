// Transfers between the panes against real servers (pyftpdlib and vsftpd) and
// a scripted one for hostile listings: whole trees both ways, byte-identical,
// the name case of downloads, what happens after the last file, the existing
// file policies, and the drops that are refused.

#include "window_round.h"

#include "engine/ftp.h"
#include "mainwindow/main_settings.h"
#include "core/queue_model.h"
#include "mainwindow/remote_list_model.h"
#include "mainwindow/remote_list_view.h"
#include "support/peer_server.h"
#include "support/scripted_ftp_peer.h"
#include "widgets/combobox98.h"
#include "widgets/file_list.h"

#include <QComboBox>
#include <QCryptographicHash>
#include <QDirIterator>
#include <QDragEnterEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QSpinBox>
#include <QTimer>
#include <QTreeView>
#include <QtTest>
#include <map>

using namespace Qt::StringLiterals;
using testsupport::PeerServer;
using testsupport::Reply;
using testsupport::ScriptedFtpPeer;
using testsupport::Transfer;

namespace {

QByteArray Content(const QString &name, int size)
{
    QByteArray bytes;
    const QByteArray seed = QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Sha256);
    while (bytes.size() < size)
        bytes += seed;
    bytes.resize(size);
    return bytes;
}

QByteArray Sha256(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

// Every file below a directory, relative to it.
QStringList FilesBelow(const QString &root)
{
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next().mid(root.size() + 1);
    files.sort();
    return files;
}

void SelectLocal(TForm1 &form, const QString &name)
{
    QTRY_VERIFY_WITH_TIMEOUT(form.FileList1->Count() > 0, 5000);
    form.FileList1->SelectionModel()->clear();
    for (int row = 0; row < form.FileList1->Count(); ++row) {
        if (form.FileList1->Caption(row) == name) {
            form.FileList1->SetSelected(row, true);
            return;
        }
    }
    QFAIL(qPrintable(name));
}

} // namespace

class TestForm1Transfers : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void downloadTree_data();
    void downloadTree();
    void uploadTree_data();
    void uploadTree();
    void downloadNameCase_data();
    void downloadNameCase();
    void afterTransfer_data();
    void afterTransfer();
    void existingFile_data();
    void existingFile();
    void hostileListing_data();
    void hostileListing();
    void dropsAcceptOnlyTheOtherList_data();
    void dropsAcceptOnlyTheOtherList();
    void transfersRefusedWhileWalkRunsOrOffline();
    void afterConnectMirror();
    void sessionEndDropsWalks_data();
    void sessionEndDropsWalks();
    void manualDownloadEndsLikeADownload();
    void stopAsksWholeOrCurrent_data();
    void stopAsksWholeOrCurrent();
    void failedDownloadReported_data();
    void failedDownloadReported();
    void progressOfTheRunningFile_data();
    void progressOfTheRunningFile();

private:
    void ShowLocal(TForm1 &form, const QString &directory);

    TestServers servers_;
    std::unique_ptr<WindowRound> round_;
};

void TestForm1Transfers::initTestCase()
{
    QString why;
    QVERIFY2(servers_.Start(&why), qPrintable(why));
}

void TestForm1Transfers::init()
{
    round_ = std::make_unique<WindowRound>();
    servers_.EmptyRoots();
}

void TestForm1Transfers::cleanup()
{
    QCOMPARE(round_->dialogs->UnexpectedCount(), 0);
    round_.reset();
}

void TestForm1Transfers::ShowLocal(TForm1 &form, const QString &directory)
{
    QDir().mkpath(directory);
    QDir::setCurrent(directory);
    form.SetLocalDirectory(directory);
    form.ComboBox1->addItem(directory);
    form.ComboBox1->setCurrentIndex(form.ComboBox1->count() - 1);
}

void TestForm1Transfers::downloadTree_data()
{
    QTest::addColumn<int>("server");
    SERVER_ROWS("three levels, blanks and Chinese names");
}

void TestForm1Transfers::downloadTree()
{
    NEED_SERVER(server);
    const QStringList files{u"树 顶/一 级.txt"_s,         u"树 顶/第二 层/b c.bin"_s, u"树 顶/第二 层/第三 层/深.txt"_s,
                            u"树 顶/other dir/x y.txt"_s, u"树 顶/other dir/z/last.txt"_s};
    int size = 1000;
    for (const QString &file : files)
        QVERIFY(server->PutFile(file, Content(file, size += 70001)));
    // A link back to the folder the download starts in is a loop, not a second copy.
    QVERIFY(QFile::link(u"../.."_s, server->Root() + u"/树 顶/第二 层/回到开始"_s));
    FormUnderTest t;
    TForm1 &form = *t.form;
    const QString target = round_->local.filePath(u"down"_s);
    ShowLocal(form, target);
    QVERIFY(Login(form, *server));

    SelectRemote(form, {u"树 顶"_s.toUtf8()});
    form.FileList1DragDrop(form.ftpview);
    QVERIFY(form.UiBusy());
    QTRY_VERIFY_WITH_TIMEOUT(Idle(form), 20000);

    QCOMPARE(FilesBelow(target), [&] { QStringList f = files; f.sort(); return f; }());
    for (const QString &file : files)
        QCOMPARE(Sha256(ReadLocal(target + u'/' + file)), Sha256(server->ReadFile(file)));

    // First in first out: no directory is entered before every shallower one.
    QVERIFY(!QFileInfo::exists(target + u"/树 顶/第二 层/回到开始"_s));
    QStringList changes = CommandArguments(form, u"CWD"_s);
    QVERIFY2(changes.size() == 7, qPrintable(changes.join(u" | "_s)));
    // The last one goes back to where the user started the download.
    QCOMPARE(changes.takeLast().toUtf8(), server->LoginDirectory());
    for (int i = 1; i < changes.size(); ++i)
        QVERIFY2(changes[i - 1].count(u'/') <= changes[i].count(u'/'), qPrintable(changes.join(u" | "_s)));
    // Both panes are where the user was, refreshed.
    QTRY_VERIFY_WITH_TIMEOUT(form.ftpviewModel->rowOfName(u"树 顶"_s.toUtf8()) >= 0, 5000);
    QCOMPARE(form.ftp1->CurrentDirectory(), server->LoginDirectory());
    QCOMPARE(QDir(form.LocalDirectory()).absolutePath(), QDir(target).absolutePath());
    QCOMPARE(QDir(form.ComboBox1->currentText()).absolutePath(), QDir(target).absolutePath());
    QCOMPARE(QDir::currentPath(), QDir(target).absolutePath());
    QTRY_VERIFY([&] {
        for (int row = 0; row < form.FileList1->Count(); ++row)
            if (form.FileList1->Caption(row) == u"树 顶"_s)
                return true;
        return false;
    }());
}

void TestForm1Transfers::uploadTree_data()
{
    QTest::addColumn<int>("server");
    SERVER_ROWS("blanks to underscores, dot-directories left out");
}

void TestForm1Transfers::uploadTree()
{
    NEED_SERVER(server);
    const QString source = round_->local.filePath(u"src"_s);
    const QStringList files{u"my dir/a b.txt"_s, u"my dir/.dotfile"_s, u"my dir/sub dir/c d.txt"_s,
                            u"my dir/sub dir/deeper/文 件.txt"_s, u"my dir/.hidden/secret.txt"_s};
    for (const QString &file : files)
        QVERIFY(WriteLocal(source + u'/' + file, Content(file, 50000 + int(file.size()))));
    FormUnderTest t;
    TForm1 &form = *t.form;
    ShowLocal(form, source);
    QVERIFY(Login(form, *server));

    SelectLocal(form, u"my dir"_s);
    form.ftpviewDragDrop(form.FileList1);
    QTRY_VERIFY_WITH_TIMEOUT(Idle(form), 20000);

    for (int i = 0; i < 4; ++i) {
        const QString stored = QString(files[i]).replace(u' ', u'_');
        QCOMPARE(Sha256(server->ReadFile(stored)), Sha256(ReadLocal(source + u'/' + files[i])));
    }
    QVERIFY(!server->Exists(u"my_dir/.hidden"_s));
    QVERIFY(!server->Exists(u"my dir"_s));
    // Both panes are back where the upload was started, the remote one showing what came.
    QCOMPARE(QDir(form.ComboBox1->currentText()).absolutePath(), QDir(source).absolutePath());
    QCOMPARE(QDir(form.LocalDirectory()).absolutePath(), QDir(source).absolutePath());
    QTRY_VERIFY_WITH_TIMEOUT(form.ftpviewModel->rowOfName("my_dir") >= 0, 5000);
    QCOMPARE(form.ftp1->CurrentDirectory(), server->LoginDirectory());
}

void TestForm1Transfers::downloadNameCase_data()
{
    QTest::addColumn<int>("server");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("remote");
    QTest::addColumn<QString>("local");
    SERVER_ROWS("upper", << int(CaseUpper) << u"Sub Dir/readme.txt"_s << u"Sub Dir/README.TXT"_s);
    SERVER_ROWS("lower", << int(CaseLower) << u"Sub Dir/README.TXT"_s << u"Sub Dir/readme.txt"_s);
}

void TestForm1Transfers::downloadNameCase()
{
    NEED_SERVER(server);
    QFETCH(int, mode);
    QFETCH(QString, remote);
    QFETCH(QString, local);
    QVERIFY(server->PutFile(remote, "case"));
    FormUnderTest t;
    TForm1 &form = *t.form;
    MainSettings.downfilenamecase = mode;
    ShowLocal(form, round_->local.path());
    QVERIFY(Login(form, *server));
    SelectRemote(form, {"Sub Dir"});
    form.N34Click();
    QTRY_VERIFY_WITH_TIMEOUT(Idle(form), 10000);
    // Only the file's own name changes; the directory keeps the server's name.
    QCOMPARE(FilesBelow(round_->local.path()), QStringList{local});
    QCOMPARE(ReadLocal(round_->local.filePath(local)), QByteArray("case"));
}

void TestForm1Transfers::afterTransfer_data()
{
    QTest::addColumn<int>("server");
    QTest::addColumn<int>("action");
    SERVER_ROWS("2 closes the window", << int(AfterTransferClose));
    SERVER_ROWS("3 logs out after the last file", << int(AfterTransferLogout));
}

void TestForm1Transfers::afterTransfer()
{
    NEED_SERVER(server);
    QFETCH(int, action);
    QVERIFY(server->PutFile(u"d/1.bin"_s, Content(u"1"_s, 200000)));
    QVERIFY(server->PutFile(u"d/2.bin"_s, Content(u"2"_s, 300000)));
    FormUnderTest t;
    TForm1 &form = *t.form;
    MainSettings.aftertransfer = action;
    ShowLocal(form, round_->local.path());
    QVERIFY(Login(form, *server));
    QSignalSpy closed(&form, &TForm1::Closed);
    SelectRemote(form, {"d"});
    form.FileList1DragDrop(form.ftpview);
    if (action == AfterTransferClose) {
        QTRY_COMPARE_WITH_TIMEOUT(closed.count(), 1, 10000);
        QVERIFY(!form.isVisible());
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(!form.ftp1->Connected && !form.UiBusy(), 10000);
        QCOMPARE(closed.count(), 0);
        QCOMPARE(CommandArguments(form, u"QUIT"_s).size(), 1);
    }
    // Nothing ended before the last file was complete.
    QCOMPARE(ReadLocal(round_->local.filePath(u"d/2.bin"_s)), Content(u"2"_s, 300000));
    QCOMPARE(ReadLocal(round_->local.filePath(u"d/1.bin"_s)), Content(u"1"_s, 200000));
}

void TestForm1Transfers::existingFile_data()
{
    QTest::addColumn<int>("server");
    QTest::addColumn<bool>("upload");
    QTest::addColumn<int>("policy");
    QTest::addColumn<QByteArray>("existing");
    QTest::addColumn<bool>("replaced");
    const QByteArray source = Content(u"source"_s, 400000);
    const QByteArray prefix = source.left(150000);
    const QByteArray sameSize(source.size(), 'x');
    const QByteArray longer(source.size() + 10, 'y');
    SERVER_ROWS("download: resume always, shorter target resumed",
                << false << int(ResumeAlways) << prefix << true);
    SERVER_ROWS("download: resume always, complete target skipped",
                << false << int(ResumeAlways) << sameSize << false);
    SERVER_ROWS("download: overwrite always", << false << int(OverwriteAlways) << longer << true);
    SERVER_ROWS("upload: resume always, shorter target resumed", << true << int(ResumeAlways) << prefix << true);
    SERVER_ROWS("upload: resume always, complete target skipped", << true << int(ResumeAlways) << sameSize << false);
    SERVER_ROWS("upload: overwrite always", << true << int(OverwriteAlways) << longer << true);
}

void TestForm1Transfers::existingFile()
{
    NEED_SERVER(server);
    QFETCH(bool, upload);
    QFETCH(int, policy);
    QFETCH(QByteArray, existing);
    QFETCH(bool, replaced);
    const QByteArray source = Content(u"source"_s, 400000);
    const QString localFile = round_->local.filePath(u"file.bin"_s);
    QVERIFY(WriteLocal(localFile, upload ? source : existing));
    QVERIFY(server->PutFile(u"file.bin"_s, upload ? existing : source));
    FormUnderTest t;
    TForm1 &form = *t.form;
    (upload ? MainSettings.upresume : MainSettings.downresume) = policy;
    ShowLocal(form, round_->local.path());
    QVERIFY(Login(form, *server));
    if (upload) {
        SelectLocal(form, u"file.bin"_s);
        form.N21Click();
    } else {
        SelectRemote(form, {"file.bin"});
        form.N34Click();
    }
    QVERIFY(form.UiBusy());
    QTRY_VERIFY_WITH_TIMEOUT(Idle(form), 10000);
    const QByteArray target = upload ? server->ReadFile(u"file.bin"_s) : ReadLocal(localFile);
    QCOMPARE(Sha256(target), Sha256(replaced ? source : existing));
    // A file left as it was says so: the log is where the user looks.
    form.FlushLog();
    QCOMPARE(form.richedit1->toPlainText().contains(u"已跳过"_s), !replaced);
    if (replaced && existing.size() < source.size())
        QVERIFY(!CommandArguments(form, u"REST"_s).isEmpty() || !CommandArguments(form, u"APPE"_s).isEmpty());
}

void TestForm1Transfers::hostileListing_data()
{
    QTest::addColumn<QByteArray>("throughLink");
    // What PWD says inside the link: the path through it, or the one it resolves to.
    QTest::newRow("link path kept by the server") << QByteArray("/evil/up");
    QTest::newRow("link path resolved by the server") << QByteArray("/evil");
}

void TestForm1Transfers::hostileListing()
{
    QFETCH(QByteArray, throughLink);
    ScriptedFtpPeer peer;
    QVERIFY(peer.Listen());
    const QByteArray root = "drwxr-xr-x 3 u g 4096 Jan 01 12:00 evil\r\n";
    const QByteArray evil = "drwxr-xr-x 3 u g 4096 Jan 01 12:00 ..\r\n"
                            "drwxr-xr-x 3 u g 4096 Jan 01 12:00 .\r\n"
                            "-rw-r--r-- 1 u g 5 Jan 01 12:00 a/b\r\n"
                            "-rw-r--r-- 1 u g 5 Jan 01 12:00 ../escape.txt\r\n"
                            "lrwxrwxrwx 1 u g 1 Jan 01 12:00 up -> .\r\n"
                            "-rw-r--r-- 1 u g 5 Jan 01 12:00 ok.txt\r\n";
    peer.QueueTransfer(Transfer::Data(root));
    peer.SetTransfer("LIST", Transfer::Data(evil));
    peer.SetTransfer("RETR", Transfer::Data("bytes"));
    for (const QByteArray &directory : {QByteArray("/"), QByteArray("/"), QByteArray("/evil"), throughLink})
        peer.Queue("PWD", Reply::Line(257, '"' + directory + '"'));
    peer.On("PWD", Reply::Line(257, '"' + throughLink + '"'));

    FormUnderTest t;
    TForm1 &form = *t.form;
    const QString target = round_->local.filePath(u"deep/target"_s);
    ShowLocal(form, target);
    QVERIFY(Login(form, peer.Host(), peer.Port(), u"u"_s, u"p"_s));
    SelectRemote(form, {"evil"});
    form.FileList1DragDrop(form.ftpview);
    QTRY_VERIFY_WITH_TIMEOUT(Idle(form) && peer.CommandCount("LIST") >= 3, 10000);

    // Everything the walk wrote is below the target, and only what was asked.
    QCOMPARE(FilesBelow(round_->local.path()), QStringList{u"deep/target/evil/ok.txt"_s});
    QVERIFY(!QFileInfo::exists(target + u"/evil/up"_s));
    const QByteArrayList commands = peer.Commands();
    QCOMPARE(commands.count("CWD /evil/up"), 1);
    QCOMPARE(peer.CommandCount("RETR"), 1);
    int skipped = 0;
    for (const LogLine &line : LogLines(form))
        skipped += line.text.startsWith(u"跳过"_s) ? 1 : 0;
    QCOMPARE(skipped, 3);  // "a/b", "../escape.txt" and the link
}

void TestForm1Transfers::dropsAcceptOnlyTheOtherList_data()
{
    QTest::addColumn<bool>("ontoLocal");
    QTest::addColumn<QString>("origin");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("remote onto local") << true << u"remote"_s << true;
    QTest::newRow("local onto local") << true << u"local"_s << false;
    QTest::newRow("queue onto local") << true << u"queue"_s << false;
    QTest::newRow("local onto remote") << false << u"local"_s << true;
    QTest::newRow("remote onto remote") << false << u"remote"_s << false;
    QTest::newRow("outside onto remote") << false << u"none"_s << false;
}

void TestForm1Transfers::dropsAcceptOnlyTheOtherList()
{
    QFETCH(bool, ontoLocal);
    QFETCH(QString, origin);
    QFETCH(bool, accepted);
    FormUnderTest t;
    TForm1 &form = *t.form;
    const std::map<QString, QObject *> origins{{u"remote"_s, form.ftpview},
                                               {u"local"_s, form.FileList1},
                                               {u"queue"_s, static_cast<QObject *>(form.spool)},
                                               {u"none"_s, nullptr}};
    QObject *source = origins.at(origin);
    QCOMPARE(ontoLocal ? form.FileList1DragOver(source) : form.ftpviewDragOver(source), accepted);
}

void TestForm1Transfers::transfersRefusedWhileWalkRunsOrOffline()
{
    PeerServer *server = servers_.Find(PeerServer::Kind::Pyftpdlib);
    if (!server)
        QSKIP("pyftpdlib is not available");
    for (int i = 0; i < 4; ++i)
        QVERIFY(server->PutFile(u"a/%1.bin"_s.arg(i), Content(QString::number(i), 300000)));
    QVERIFY(server->PutFile(u"b.bin"_s, "b"));
    FormUnderTest t;
    TForm1 &form = *t.form;
    ShowLocal(form, round_->local.path());

    QVERIFY(Login(form, *server));
    SelectRemote(form, {"a"});
    form.FileList1DragDrop(form.ftpview);
    QVERIFY(form.WalkRunning());
    // A second download while the walk runs is refused; the walk keeps its entries.
    SelectRemote(form, {"b.bin"});
    form.N34Click();
    QVERIFY(form.PanelText(0).contains(u"正在执行"_s));
    // A pane drag that did not come from the remote list is not accepted.
    QMimeData data;
    data.setData(u"application/x-tarvo-pane-origin"_s, "remote");
    QDragEnterEvent fromNowhere(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form.FileList1, &fromNowhere);
    QVERIFY(!fromNowhere.isAccepted());
    QTRY_VERIFY_WITH_TIMEOUT(Idle(form), 15000);
    QCOMPARE(FilesBelow(round_->local.path()), (QStringList{u"a/0.bin"_s, u"a/1.bin"_s, u"a/2.bin"_s, u"a/3.bin"_s}));

    // Without a connection nothing starts, and the status bar says why.
    form.ftp1->Connected = false;
    SelectRemote(form, {"b.bin"});
    form.FileList1DragDrop(form.ftpview);
    QVERIFY(!form.UiBusy() && !form.WalkRunning());
    QVERIFY(form.PanelText(0).contains(u"不能下载"_s));
    QTRY_VERIFY_WITH_TIMEOUT(form.FileList1->Count() > 0, 5000);
    form.FileList1->SetSelected(0, true);
    form.ftpviewDragDrop(form.FileList1);
    QVERIFY(!form.UiBusy() && !form.WalkRunning());
    QVERIFY(form.PanelText(0).contains(u"没有连接, 不能上传"_s));
    form.ftp1->Connected = true;
}

void TestForm1Transfers::afterConnectMirror()
{
    PeerServer *server = servers_.Find(PeerServer::Kind::Pyftpdlib);
    if (!server)
        QSKIP("pyftpdlib is not available");
    QVERIFY(server->PutFile(u"top.txt"_s, "t"));
    QVERIFY(server->PutFile(u"d 1/x.txt"_s, "x"));
    QVERIFY(server->PutFile(u"d 1/d 2/y.txt"_s, "y"));
    FormUnderTest t;
    TForm1 &form = *t.form;
    MainSettings.afterconnect = AfterConnectMirror;
    ShowLocal(form, round_->local.path());
    QVERIFY(Login(form, *server));
    QTRY_VERIFY_WITH_TIMEOUT(Idle(form), 10000);
    QCOMPARE(FilesBelow(round_->local.path()), (QStringList{u"d 1/d 2/y.txt"_s, u"d 1/x.txt"_s, u"top.txt"_s}));
    // Once per login: the refresh after the mirror does not start it again.
    QCOMPARE(CommandArguments(form, u"RETR"_s).size(), 3);
}

void TestForm1Transfers::sessionEndDropsWalks_data()
{
    QTest::addColumn<int>("server");
    QTest::addColumn<bool>("upload");
    QTest::addColumn<bool>("inDirectoryChange");  // else right after the first file
    QTest::addColumn<bool>("reconnect");          // else logout, then a login
    SERVER_ROWS("download cut after a file by logout", << false << false << false);
    SERVER_ROWS("download cut entering a directory by logout", << false << true << false);
    SERVER_ROWS("download cut after a file by a reconnect", << false << false << true);
    SERVER_ROWS("upload cut after a file by logout", << true << false << false);
}

void TestForm1Transfers::sessionEndDropsWalks()
{
    NEED_SERVER(server);
    QFETCH(bool, upload);
    QFETCH(bool, inDirectoryChange);
    QFETCH(bool, reconnect);
    const QString local = round_->local.filePath(u"here"_s);
    for (int i = 0; i < 4; ++i) {
        const QString file = u"t/%1.bin"_s.arg(i);
        QVERIFY(upload ? WriteLocal(local + u'/' + file, Content(file, 300000)) : server->PutFile(file, Content(file, 300000)));
    }
    QVERIFY(server->PutFile(u"one.txt"_s, "one"));
    FormUnderTest t;
    TForm1 &form = *t.form;
    ShowLocal(form, local);
    QVERIFY(Login(form, *server));

    // The session ends at a fixed point of the walk.
    bool cut = false;
    const auto cutOnce = [&] {
        if (std::exchange(cut, true))
            return;
        QTimer::singleShot(0, &form, [&] {
            round_->dialogs->QueueButton(platform::Dialogs::Ok);
            reconnect ? form.Button1Click() : form.logoutClick();
        });
    };
    TMFtp::Notify &event = upload ? form.ftp1->OnFileStored
                                  : inDirectoryChange ? form.ftp1->OnDirectoryChanged : form.ftp1->OnFileReceived;
    event = [original = event, cutOnce](QObject *sender) {
        original(sender);
        cutOnce();
    };
    if (upload) {
        SelectLocal(form, u"t"_s);
        form.N21Click();
    } else {
        SelectRemote(form, {"t"});
        form.N34Click();
    }
    QTRY_VERIFY_WITH_TIMEOUT(cut && (reconnect || !form.ftp1->Connected), 10000);
    const QStringList localBefore = FilesBelow(local);
    const QStringList serverBefore = FilesBelow(server->Root());
    if (reconnect)
        QTRY_VERIFY_WITH_TIMEOUT(Idle(form) && form.ftpviewModel->rowOfName("one.txt") >= 0, 10000);
    else {
        // As a person would, a moment later: a USER sent at the very instant
        // pyftpdlib closed the old session went unanswered here.
        QTest::qWait(300);
        QVERIFY(Login(form, *server));
    }

    // Nothing of the old walk goes on in the new session.
    QCOMPARE(FilesBelow(local), localBefore);
    QCOMPARE(FilesBelow(server->Root()), serverBefore);
    // And a download is not refused as if the old walk still ran.
    const QString target = form.LocalDirectory() + u"/one.txt"_s;
    SelectRemote(form, {"one.txt"});
    form.N34Click();
    QTRY_VERIFY_WITH_TIMEOUT(Idle(form), 10000);
    QCOMPARE(ReadLocal(target), QByteArray("one"));
}

void TestForm1Transfers::manualDownloadEndsLikeADownload()
{
    PeerServer *server = servers_.Find(PeerServer::Kind::Pyftpdlib);
    if (!server)
        QSKIP("pyftpdlib is not available");
    const QByteArray content = Content(u"url"_s, 300000);
    QVERIFY(server->PutFile(u"pub/f.bin"_s, content));
    FormUnderTest t;
    TForm1 &form = *t.form;
    ShowLocal(form, round_->local.path());
    round_->dialogs->QueueText(true, u"ftp://%1:%2@%3:%4/pub/f.bin"_s.arg(server->User(), server->Password(),
                                                                          server->Host())
                                         .arg(server->Port()));
    form.ToolbarButton9733Click();
    QTRY_COMPARE_WITH_TIMEOUT(ReadLocal(round_->local.filePath(u"f.bin"_s)), content, 10000);
    // The remote pane lists the file's folder, with its menu, and the window says where it is connected.
    QTRY_VERIFY_WITH_TIMEOUT(Idle(form) && form.ftpviewModel->rowOfName("f.bin") >= 0, 10000);
    QCOMPARE(form.ftp1->CurrentDirectory(), QByteArray("/pub"));
    QVERIFY(form.RemoteMenuAttached());
    QVERIFY(form.ConnectionStatus->text().contains(u"已连接"_s));
    QVERIFY(form.FileList1->Count() > 0);
}

void TestForm1Transfers::stopAsksWholeOrCurrent_data()
{
    QTest::addColumn<int>("server");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QStringList>("complete");  // the files that arrive whole
    const QStringList rest{u"t/1.bin"_s, u"t/2.bin"_s};
    SERVER_ROWS("yes: the whole walk stops", << int(platform::Dialogs::Yes) << QStringList());
    SERVER_ROWS("no: only the running file", << int(platform::Dialogs::No) << rest);
    SERVER_ROWS("cancel: nothing stops", << int(platform::Dialogs::Cancel) << (QStringList{u"t/0.bin"_s} + rest));
}

void TestForm1Transfers::stopAsksWholeOrCurrent()
{
    NEED_SERVER(server);
    QFETCH(int, answer);
    QFETCH(QStringList, complete);
    for (int i = 0; i < 3; ++i)
        QVERIFY(server->PutFile(u"t/%1.bin"_s.arg(i), Content(u"t"_s, 8 << 20)));
    FormUnderTest t;
    TForm1 &form = *t.form;
    const QString local = round_->local.filePath(u"stop"_s);
    ShowLocal(form, local);
    QVERIFY(Login(form, *server));
    bool stopped = false;
    form.ftp1->OnFtpInfo = [&, shown = form.ftp1->OnFtpInfo](QObject *sender, FtpInfo info, const QString &text) {
        shown(sender, info, text);
        if (info == ftpiProgress && form.ftp1->RemoteFile.endsWith("0.bin") && !std::exchange(stopped, true)) {
            round_->dialogs->QueueButton(answer);
            if (answer == platform::Dialogs::No)
                round_->dialogs->QueueButton(platform::Dialogs::Ok);  // the walk's one failure box
            form.stopClick();
        }
    };
    SelectRemote(form, {"t"});
    form.N34Click();
    QTRY_VERIFY_WITH_TIMEOUT(stopped && Idle(form) && !form.WalkRunning(), 20000);
    const auto boxes = round_->dialogs->CallsOf(ScriptedDialogs::MessageBoxKind);
    QCOMPARE(boxes.first().caption, u"停止传输"_s);
    if (answer == platform::Dialogs::No)
        QVERIFY(boxes.last().text.contains(u"0.bin"_s));
    QStringList whole;
    for (const QString &file : FilesBelow(local))
        if (ReadLocal(local + u'/' + file) == server->ReadFile(file))
            whole << file;
    QCOMPARE(whole, complete);
    // Back where the user started, with the session in step.
    QTRY_COMPARE_WITH_TIMEOUT(form.ftp1->CurrentDirectory(), server->LoginDirectory(), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(form.ftpviewModel->rowOfName("t") >= 0, 5000);
}

void TestForm1Transfers::failedDownloadReported_data()
{
    QTest::addColumn<QString>("failure");
    QTest::addColumn<qint64>("kept");           // bytes of the failed file left on disk
    QTest::addColumn<bool>("connectionLost");  // the walk cannot go on
    QTest::newRow("shorter than announced") << u"short"_s << qint64(400) << false;
    QTest::newRow("server falls silent") << u"silent"_s << qint64(400) << true;
    QTest::newRow("refused") << u"refused"_s << qint64(0) << false;
    QTest::newRow("local file cannot be made") << u"local"_s << qint64(-1) << false;
}

void TestForm1Transfers::failedDownloadReported()
{
    QFETCH(QString, failure);
    QFETCH(qint64, kept);
    QFETCH(bool, connectionLost);
    ScriptedFtpPeer peer;
    QVERIFY(peer.Listen());
    const QByteArray content = Content(u"whole"_s, 1000);
    peer.SetTransfer("LIST", Transfer::Data("-rw-r--r-- 1 u g 1000 Jan 01 12:00 a.bin\r\n"
                                            "-rw-r--r-- 1 u g 1000 Jan 01 12:00 b.bin\r\n"));
    peer.SetTransfer("RETR", Transfer::Data(content));
    FormUnderTest t;
    TForm1 &form = *t.form;
    ShowLocal(form, round_->local.path());
    QVERIFY(Login(form, peer.Host(), peer.Port(), u"u"_s, u"p"_s));
    form.ftp1->TimeOutConnect = 1;  // the silent server is given up at once

    // The walk's first file fails.
    if (failure == u"refused"_s) {
        peer.Queue("RETR", Reply::Line(550, "Permission denied."));
    } else if (failure == u"local"_s) {
        // A full disk: every write of the first file fails.
        QVERIFY(QFile::link(u"/dev/full"_s, round_->local.filePath(u"a.bin"_s)));
        round_->dialogs->QueueButton(platform::Dialogs::No);  // "resume?" No: write it anew
    } else {
        Transfer broken = Transfer::Data(content);
        broken.opening = "150 Opening BINARY mode data connection (1000 bytes).\r\n";
        broken.stopAfter = kept;
        if (failure == u"silent"_s)
            broken.ending = Transfer::Ending::Stall;
        peer.QueueTransfer(broken);
    }
    round_->dialogs->QueueButton(platform::Dialogs::Ok);
    SelectRemote(form, {"a.bin", "b.bin"});
    form.N34Click();
    QTRY_VERIFY_WITH_TIMEOUT(!form.UiBusy() && !form.WalkRunning() && !form.ftp1->Busy(), 15000);
    QTRY_VERIFY_WITH_TIMEOUT(failure == u"local"_s || peer.CommandCount("RETR") >= 1, 5000);
    QByteArray failed = failure == u"local"_s ? "a.bin" : "";
    for (const QByteArray &command : peer.Commands()) {
        if (failed.isEmpty() && command.startsWith("RETR "))
            failed = command.mid(command.lastIndexOf('/') + 1);
    }
    const QByteArray other = failed == "a.bin" ? "b.bin" : "a.bin";

    // What came of the failed file stays for a resume; the other file is there unless the server went away.
    if (kept >= 0) {
        QCOMPARE(QFileInfo(round_->local.filePath(QString::fromUtf8(failed))).size(), kept);
        QCOMPARE(ReadLocal(round_->local.filePath(QString::fromUtf8(other))),
                 connectionLost ? QByteArray("<missing>") : content);
    }
    // One line in the error colour names the file and says it can be resumed.
    int errorLines = 0;
    for (const LogLine &line : LogLines(form)) {
        if (line.color == QColor(255, 0, 0) && line.text.contains(QString::fromUtf8(failed))) {
            ++errorLines;
            QCOMPARE(line.text.contains(u"续传"_s), kept > 0);
        }
    }
    QCOMPARE(errorLines, 1);
    QVERIFY2(form.PanelText(0).contains(u"失败"_s), qPrintable(form.PanelText(0)));
    // One message box for the whole walk, naming the file.
    QList<ScriptedDialogs::Call> boxes = round_->dialogs->CallsOf(ScriptedDialogs::MessageBoxKind);
    boxes.removeIf([](const ScriptedDialogs::Call &box) { return box.caption != u"传输错误"_s; });
    QCOMPARE(boxes.size(), 1);
    QVERIFY2(boxes[0].text.contains(QString::fromUtf8(failed)), qPrintable(boxes[0].text));
}

void TestForm1Transfers::progressOfTheRunningFile_data()
{
    QTest::addColumn<int>("server");
    QTest::addColumn<QString>("how");
    SERVER_ROWS("a large file after a small one", << u"after small"_s);
    SERVER_ROWS("resumed at half", << u"resumed"_s);
    SERVER_ROWS("a queue entry the listing does not show", << u"unlisted"_s);
}

void TestForm1Transfers::progressOfTheRunningFile()
{
    NEED_SERVER(server);
    QFETCH(QString, how);
    const QByteArray big = Content(u"big"_s, 3000000);
    QVERIFY(server->PutFile(u"small.bin"_s, "tiny"));
    QVERIFY(server->PutFile(u"big.bin"_s, big));
    QVERIFY(server->PutFile(u"d/big.bin"_s, big));
    const QString target = round_->local.filePath(u"big.bin"_s);
    if (how == u"resumed"_s)
        QVERIFY(WriteLocal(target, big.left(big.size() / 2)));
    FormUnderTest t;
    TForm1 &form = *t.form;
    MainSettings.downresume = ResumeAlways;
    ShowLocal(form, round_->local.path());
    QVERIFY(Login(form, *server));
    if (how == u"after small"_s) {
        SelectRemote(form, {"small.bin"});
        form.N34Click();
        QTRY_VERIFY_WITH_TIMEOUT(Idle(form), 10000);
    }

    // What panel 2 and the bar show at every progress notice of the large file.
    struct Shown {
        QString text;
        bool barVisible;
        int bar;
    };
    QList<Shown> shown;
    form.ftp1->OnFtpInfo = [&, original = form.ftp1->OnFtpInfo](QObject *sender, FtpInfo info, const QString &text) {
        original(sender, info, text);
        if (info == ftpiProgress && !form.ftp1->ReceivingListing)
            shown << Shown{form.PanelText(2), !form.TransferProgress->isHidden(), form.TransferProgress->value()};
    };
    if (how == u"unlisted"_s) {
        QueueEntry entry;
        entry.direction = QueueEntry::Download;
        entry.remotePath = JoinRemotePath(server->LoginDirectory(), "d/big.bin");
        entry.localPath = target;
        form.spoolModel->Append({entry});
        form.N74Click();
    } else {
        SelectRemote(form, {"big.bin"});
        form.N34Click();
    }
    QTRY_VERIFY_WITH_TIMEOUT(Idle(form) && !form.QueueRunning(), 15000);
    QCOMPARE(Sha256(ReadLocal(target)), Sha256(big));

    // vsftpd names the size in its 150 reply; pyftpdlib does not.
    const bool sizeKnown = how != u"unlisted"_s || server->ServerKind() == PeerServer::Kind::Vsftpd;
    QVERIFY(!shown.isEmpty());
    for (const Shown &s : shown) {
        const qsizetype blank = s.text.lastIndexOf(u' ');
        if (!sizeKnown) {
            QVERIFY2(!s.text.contains(u'%') && !s.barVisible, qPrintable(s.text));
            continue;
        }
        QVERIFY2(s.text.endsWith(u'%') && s.barVisible, qPrintable(s.text));
        const int percent = s.text.mid(blank + 1).chopped(1).toInt();
        QVERIFY2(percent >= 0 && percent <= 100 && s.bar <= 1000, qPrintable(s.text));
        if (how == u"resumed"_s)
            QVERIFY2(percent >= 50 && s.bar >= 500, qPrintable(s.text));
    }
    if (sizeKnown)
        QVERIFY2(shown.last().text.endsWith(u" 100%"_s), qPrintable(shown.last().text));
}

QTEST_MAIN(TestForm1Transfers)
#include "tst_form1_transfers.moc"
