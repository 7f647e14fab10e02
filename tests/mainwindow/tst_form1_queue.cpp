// The batch queue against real FTP servers: entries run one at a time from
// the top and leave as they complete, uploads added offline get the remote
// directory, directory entries finish before the next entry, afterconnect 2
// runs the queue once per login, failed entries give way to the next, a lost
// connection keeps the entries, and the commands that would disturb a running
// queue are refused; the queue outlives the window with its states, and a
// failed entry stays marked until 重试. Results are checked on the server's
// disk, the local one and the queue file.

#include "window_round.h"

#include "engine/ftp.h"
#include "mainwindow/main_settings.h"
#include "core/queue_model.h"
#include "core/queue_store.h"
#include "mainwindow/remote_list_model.h"
#include "mainwindow/remote_list_view.h"
#include "core/remote_tree_walks.h"
#include "support/peer_server.h"
#include "support/scripted_ftp_peer.h"
#include "widgets/combobox98.h"
#include "platform/folders.h"
#include "widgets/file_list.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTreeView>
#include <QProgressBar>
#include <QtTest>

using namespace Qt::StringLiterals;
using testsupport::PeerServer;
using testsupport::Reply;
using testsupport::ScriptedFtpPeer;
using testsupport::Transfer;

namespace {

// Longer than the window waits before it logs in again after a broken connection.
constexpr int kSettleMs = 800;

// A content that tells files apart and is big enough for several reads.
QByteArray Content(const QString &name, int kib = 64)
{
    QByteArray bytes;
    while (bytes.size() < kib * 1024)
        bytes += name.toUtf8() + ':' + QByteArray::number(bytes.size()) + '\n';
    return bytes;
}

QStringList States(const TForm1 &form)
{
    QStringList states;
    for (int row = 0; row < form.spoolModel->count(); ++row)
        states << form.spoolModel->data(form.spoolModel->index(row, QueueModel::StateColumn)).toString();
    return states;
}

QStringList Sources(const TForm1 &form)
{
    QStringList sources;
    for (int row = 0; row < form.spoolModel->count(); ++row)
        sources << form.spoolModel->data(form.spoolModel->index(row, QueueModel::SourceColumn)).toString();
    return sources;
}

void SelectLocal(TForm1 &form, const QStringList &names)
{
    form.FileList1->SelectionModel()->clear();
    for (const QString &name : names) {
        int found = -1;
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                for (int row = 0; row < form.FileList1->Count(); ++row) {
                    if (form.FileList1->Caption(row) == name)
                        found = row;
                }
                return found >= 0;
            }(),
            3000);
        form.FileList1->SetSelected(found, true);
    }
}

void SelectQueueRows(TForm1 &form, const QList<int> &rows)
{
    QItemSelectionModel *selection = form.spool->selectionModel();
    selection->clear();
    for (int row : rows)
        selection->select(form.spoolModel->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

} // namespace

class TestForm1Queue : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void twoFilesInOrder_data();
    void twoFilesInOrder();
    void offlineUploadGetsRemoteDirectory_data();
    void offlineUploadGetsRemoteDirectory();
    void directoryEntryBeforeNext_data();
    void directoryEntryBeforeNext();
    void afterConnectRunsQueueOncePerLogin();
    void afterTransferOnlyWhenQueueEmpties_data();
    void afterTransferOnlyWhenQueueEmpties();
    void failedEntryStaysAndGivesWayToNext_data();
    void failedEntryStaysAndGivesWayToNext();
    void refusedWhileRunning();
    void otherTransfersLeaveEntries_data();
    void otherTransfersLeaveEntries();
    void lostConnectionKeepsEntries();
    void queueOutlivesTheWindow();
    void failedEntryMarkedUntilRetried();
    void damagedQueueFileSetAside();
    void connectionFailuresRetried_data();
    void connectionFailuresRetried();

private:
    void AddServerColumn();
    QByteArray Remote(const PeerServer &server, const QString &relative) const;
    void ShowLocal(TForm1 &form, const QString &directory);

    TestServers servers_;
    std::unique_ptr<WindowRound> round_;
};

void TestForm1Queue::initTestCase()
{
    QString why;
    QVERIFY2(servers_.Start(&why), qPrintable(why));
    if (!servers_.Find(PeerServer::Kind::Pyftpdlib))
        QSKIP("pyftpdlib is not available");
}

void TestForm1Queue::init()
{
    round_ = std::make_unique<WindowRound>();
    servers_.EmptyRoots();
}

void TestForm1Queue::cleanup()
{
    QCOMPARE(round_->dialogs->UnexpectedCount(), 0);
    round_.reset();
}

void TestForm1Queue::AddServerColumn()
{
    QTest::addColumn<int>("server");
}

QByteArray TestForm1Queue::Remote(const PeerServer &server, const QString &relative) const
{
    return JoinRemotePath(server.LoginDirectory(), relative.toUtf8());
}

void TestForm1Queue::ShowLocal(TForm1 &form, const QString &directory)
{
    QDir().mkpath(directory);
    QDir::setCurrent(directory);
    form.SetLocalDirectory(directory);
}

void TestForm1Queue::twoFilesInOrder_data()
{
    AddServerColumn();
    SERVER_ROWS("two files");
}

void TestForm1Queue::twoFilesInOrder()
{
    NEED_SERVER(server);
    const QByteArray first = Content(u"first"_s, 512), second = Content(u"second"_s);
    QVERIFY(server->PutFile(u"pub/1 first.bin"_s, first));
    QVERIFY(server->PutFile(u"pub/2 second.bin"_s, second));
    FormUnderTest t;
    TForm1 &form = *t.form;
    const QString target = round_->local.filePath(u"in"_s);
    ShowLocal(form, target);
    QVERIFY(Login(form, *server));
    form.ftp1->ChangeDirectory(Remote(*server, u"pub"_s));
    QTRY_VERIFY(Idle(form) && form.ftpviewModel->rowOfName("2 second.bin") >= 0);

    // Dropped in the queue in reverse order: the queue's order is what runs.
    SelectRemoteNames(form, {u"2 second.bin"_s});
    form.spoolDragDrop(form.ftpview);
    SelectRemoteNames(form, {u"1 first.bin"_s});
    form.spoolDragDrop(form.ftpview);
    QCOMPARE(Sources(form), (QStringList{QString::fromUtf8(Remote(*server, u"pub/2 second.bin"_s)),
                                         QString::fromUtf8(Remote(*server, u"pub/1 first.bin"_s))}));
    QCOMPARE(form.spoolModel->entry(0).localPath, target + u"/2 second.bin"_s);
    QCOMPARE(form.spoolModel->entry(0).sizeText, QString::number(second.size()));
    QCOMPARE(form.spoolModel->data(form.spoolModel->index(0, 0), QueueModel::DirectionRole).toInt(),
             int(QueueEntry::Download));

    // Each row leaves when its own file has arrived whole, the other not before.
    QStringList removals;
    connect(form.spoolModel, &QAbstractItemModel::rowsAboutToBeRemoved, &form, [&] {
        removals << u"%1:%2:%3"_s.arg(form.spoolModel->entry(0).localPath.section(u'/', -1))
                        .arg(ReadLocal(target + u"/2 second.bin"_s) == second)
                        .arg(QFileInfo::exists(target + u"/1 first.bin"_s));
    });
    // Something new on the server shows only if the list is read again at the end.
    QVERIFY(server->PutFile(u"pub/3 new.bin"_s, "n"));
    form.N74Click();
    QVERIFY(form.QueueRunning());
    QTRY_VERIFY_WITH_TIMEOUT(form.spoolModel->count() == 0 && Idle(form), 5000);
    QCOMPARE(removals, (QStringList{u"2 second.bin:1:0"_s, u"1 first.bin:1:1"_s}));
    QCOMPARE(ReadLocal(target + u"/1 first.bin"_s), first);
    QTRY_VERIFY(form.ftpviewModel->rowOfName("3 new.bin") >= 0);
    QVERIFY(!form.QueueRunning());
    // vsftpd lists by LIST, the others by MLSD.
    const QString listing = server->ServerKind() == PeerServer::Kind::Vsftpd ? u"LIST"_s : u"MLSD"_s;
    const QStringList commands = Commands(form, {u"RETR"_s, listing});
    QCOMPARE(commands.mid(commands.size() - 3),
             (QStringList{u"RETR "_s + QString::fromUtf8(Remote(*server, u"pub/2 second.bin"_s)),
                          u"RETR "_s + QString::fromUtf8(Remote(*server, u"pub/1 first.bin"_s)), listing}));
}

void TestForm1Queue::offlineUploadGetsRemoteDirectory_data()
{
    AddServerColumn();
    SERVER_ROWS("offline upload");
}

void TestForm1Queue::offlineUploadGetsRemoteDirectory()
{
    NEED_SERVER(server);
    const QByteArray content = Content(u"up"_s);
    const QString source = round_->local.filePath(u"out"_s);
    QVERIFY(WriteLocal(source + u"/上传 a.txt"_s, content));
    QVERIFY(server->MakeDirectory(u"into"_s));
    FormUnderTest t;
    TForm1 &form = *t.form;
    form.show();
    ShowLocal(form, source);
    SelectLocal(form, {u"上传 a.txt"_s});
    QVERIFY(form.spoolDragOver(form.FileList1));
    QVERIFY(!form.spoolDragOver(nullptr));
    form.spoolDragDrop(form.FileList1);
    QCOMPARE(form.spoolModel->count(), 1);
    QCOMPARE(form.spoolModel->data(form.spoolModel->index(0, QueueModel::TargetColumn)).toString(),
             u"上传 a.txt"_s);
    QCOMPARE(form.spoolModel->data(form.spoolModel->index(0, QueueModel::SourceColumn)).toString(),
             source + u"/上传 a.txt"_s);
    QCOMPARE(form.spoolModel->entry(0).sizeText.trimmed(), QString::number(content.size()));

    // Offline the queue does not start.
    form.N74Click();
    QVERIFY(!form.QueueRunning());
    QCOMPARE(form.spoolModel->count(), 1);

    QVERIFY(Login(form, *server));
    form.ftp1->ChangeDirectory(Remote(*server, u"into"_s));
    QTRY_VERIFY(Idle(form) && form.ftp1->CurrentDirectory() == Remote(*server, u"into"_s));
    form.N74Click();
    // The target became the directory of that moment, the name kept as it is.
    QTRY_VERIFY_WITH_TIMEOUT(form.spoolModel->count() == 0 && Idle(form), 5000);
    QCOMPARE(server->ReadFile(u"into/上传 a.txt"_s), content);
    QTRY_VERIFY(form.ftpviewModel->rowOfName("上传 a.txt") >= 0);
}

void TestForm1Queue::directoryEntryBeforeNext_data()
{
    AddServerColumn();
    QTest::addColumn<bool>("upload");
    QTest::newRow("download pyftpdlib") << int(PeerServer::Kind::Pyftpdlib) << false;
    QTest::newRow("download vsftpd") << int(PeerServer::Kind::Vsftpd) << false;
    QTest::newRow("upload pyftpdlib") << int(PeerServer::Kind::Pyftpdlib) << true;
    QTest::newRow("upload vsftpd") << int(PeerServer::Kind::Vsftpd) << true;
}

void TestForm1Queue::directoryEntryBeforeNext()
{
    NEED_SERVER(server);
    QFETCH(bool, upload);
    const QStringList treeFiles = {u"tree/a.txt"_s, u"tree/sub/b.txt"_s, u"tree/sub/deeper/c.txt"_s,
                                   u"tree/z/d.txt"_s};
    FormUnderTest t;
    TForm1 &form = *t.form;
    const QString local = round_->local.filePath(u"here"_s);
    ShowLocal(form, local);
    for (const QString &file : treeFiles) {
        QVERIFY(upload ? WriteLocal(local + u'/' + file, Content(file, 8)) : server->PutFile(file, Content(file, 8)));
    }
    QVERIFY(upload ? WriteLocal(local + u"/after.txt"_s, "after") : server->PutFile(u"after.txt"_s, "after"));
    QVERIFY(Login(form, *server));
    if (upload) {
        form.SetLocalDirectory(local);
        SelectLocal(form, {u"tree"_s});
        form.spoolDragDrop(form.FileList1);
        SelectLocal(form, {u"after.txt"_s});
        form.spoolDragDrop(form.FileList1);
    } else {
        SelectRemoteNames(form, {u"tree"_s});
        form.spoolDragDrop(form.ftpview);
        SelectRemoteNames(form, {u"after.txt"_s});
        form.spoolDragDrop(form.ftpview);
    }
    QCOMPARE(form.spoolModel->count(), 2);
    QVERIFY(form.spoolModel->entry(0).isDirectory);
    QVERIFY(form.spoolModel->entry(0).sizeText.isEmpty());

    // When the directory entry leaves the queue, its whole tree has landed and
    // the next entry has not started.
    auto landed = [&](const QString &relative) {
        return upload ? server->ReadFile(relative) == Content(relative, 8)
                      : ReadLocal(local + u'/' + relative) == Content(relative, 8);
    };
    QStringList atRemoval;
    connect(form.spoolModel, &QAbstractItemModel::rowsAboutToBeRemoved, &form, [&] {
        QString state;
        for (const QString &file : treeFiles)
            state += landed(file) ? u'1' : u'0';
        state += (upload ? server->Exists(u"after.txt"_s) : QFileInfo::exists(local + u"/after.txt"_s)) ? u'1'
                                                                                                          : u'0';
        atRemoval << state;
    });
    form.N74Click();
    QTRY_VERIFY_WITH_TIMEOUT(form.spoolModel->count() == 0 && Idle(form), 8000);
    QCOMPARE(atRemoval, (QStringList{u"11110"_s, u"11111"_s}));
}

void TestForm1Queue::afterConnectRunsQueueOncePerLogin()
{
    PeerServer &server = *servers_.Find(PeerServer::Kind::Pyftpdlib);
    const QString source = round_->local.filePath(u"out"_s);
    QVERIFY(WriteLocal(source + u"/one.txt"_s, "one"));
    QVERIFY(WriteLocal(source + u"/two.txt"_s, "two"));
    FormUnderTest t;
    TForm1 &form = *t.form;
    form.show();
    // The window read its settings when it was made.
    MainSettings.afterconnect = AfterConnectRunQueue;
    ShowLocal(form, source);
    SelectLocal(form, {u"one.txt"_s});
    form.spoolDragDrop(form.FileList1);

    // The first listing of the login starts the queue.
    QVERIFY(Login(form, server));
    QTRY_VERIFY_WITH_TIMEOUT(form.spoolModel->count() == 0 && Idle(form), 5000);
    QCOMPARE(server.ReadFile(u"one.txt"_s), QByteArray("one"));

    // Later listings of the same login do not.
    SelectLocal(form, {u"two.txt"_s});
    form.spoolDragDrop(form.FileList1);
    const int lists = Commands(form, {u"MLSD"_s}).size();
    form.refreshClick();
    QTRY_VERIFY(Commands(form, {u"MLSD"_s}).size() == lists + 1 && Idle(form));
    QTest::qWait(200);
    QCOMPARE(form.spoolModel->count(), 1);
    QVERIFY(!server.Exists(u"two.txt"_s));

    // The next login runs it once more.
    round_->dialogs->QueueButton(platform::Dialogs::Ok);
    form.password->setText(server.Password());
    form.Button1Click();
    QTRY_VERIFY_WITH_TIMEOUT(form.spoolModel->count() == 0, 8000);
    QTRY_COMPARE_WITH_TIMEOUT(server.ReadFile(u"two.txt"_s), QByteArray("two"), 5000);
}

void TestForm1Queue::afterTransferOnlyWhenQueueEmpties_data()
{
    QTest::addColumn<int>("action");
    QTest::newRow("log out") << int(AfterTransferLogout);
    QTest::newRow("close the window") << int(AfterTransferClose);
}

// A directory entry is a whole sequence of its own, yet only the end of the
// queue runs aftertransfer.
void TestForm1Queue::afterTransferOnlyWhenQueueEmpties()
{
    QFETCH(int, action);
    PeerServer &server = *servers_.Find(PeerServer::Kind::Pyftpdlib);
    QVERIFY(server.PutFile(u"dir/in.txt"_s, "in"));
    QVERIFY(server.PutFile(u"last.txt"_s, "last"));
    FormUnderTest t;
    TForm1 &form = *t.form;
    const QString local = round_->local.filePath(u"l"_s);
    ShowLocal(form, local);
    QVERIFY(Login(form, server));
    MainSettings.aftertransfer = action;
    SelectRemoteNames(form, {u"dir"_s});
    form.spoolDragDrop(form.ftpview);
    SelectRemoteNames(form, {u"last.txt"_s});
    form.spoolDragDrop(form.ftpview);
    QStringList events;
    connect(form.spoolModel, &QAbstractItemModel::rowsRemoved, &form,
            [&] { events << u"removed, connected %1"_s.arg(form.ftp1->Connected); });
    connect(&form, &TForm1::Closed, &form, [&] { events << u"closed"_s; });
    form.N74Click();
    QTRY_VERIFY_WITH_TIMEOUT(form.spoolModel->count() == 0, 5000);
    QCOMPARE(ReadLocal(local + u"/dir/in.txt"_s), QByteArray("in"));
    QCOMPARE(ReadLocal(local + u"/last.txt"_s), QByteArray("last"));
    if (action == AfterTransferLogout) {
        QTRY_VERIFY_WITH_TIMEOUT(!form.ftp1->Connected, 5000);
        QCOMPARE(events, (QStringList{u"removed, connected 1"_s, u"removed, connected 1"_s}));
    } else {
        QCOMPARE(events, (QStringList{u"removed, connected 1"_s, u"removed, connected 1"_s, u"closed"_s}));
    }
}

void TestForm1Queue::failedEntryStaysAndGivesWayToNext_data()
{
    QTest::addColumn<bool>("upload");
    QTest::newRow("upload of a local file that is gone") << true;
    QTest::newRow("download into a local directory that cannot be made") << false;
}

void TestForm1Queue::failedEntryStaysAndGivesWayToNext()
{
    QFETCH(bool, upload);
    PeerServer &server = *servers_.Find(PeerServer::Kind::Pyftpdlib);
    const QString local = round_->local.filePath(u"l"_s);
    if (upload) {
        QVERIFY(WriteLocal(local + u"/gone.txt"_s, "gone"));
        QVERIFY(WriteLocal(local + u"/ok.txt"_s, "ok"));
    } else {
        QVERIFY(server.PutFile(u"gone.txt"_s, "remote gone"));
        QVERIFY(server.PutFile(u"ok.txt"_s, "remote ok"));
    }
    FormUnderTest t;
    TForm1 &form = *t.form;
    ShowLocal(form, local);
    QVERIFY(Login(form, server));
    if (upload) {
        SelectLocal(form, {u"gone.txt"_s, u"ok.txt"_s});
        form.spoolDragDrop(form.FileList1);
        QVERIFY(QFile::remove(local + u"/gone.txt"_s));
    } else {
        SelectRemoteNames(form, {u"gone.txt"_s, u"ok.txt"_s});
        form.spoolDragDrop(form.ftpview);
        // A file where the first target's directory would be: nothing can be
        // created below it.
        QVERIFY(WriteLocal(local + u"/blocker"_s, "x"));
        QList<QueueEntry> entries = form.spoolModel->entries();
        entries[0].localPath = local + u"/blocker/gone.txt"_s;
        form.spoolModel->Clear();
        form.spoolModel->Append(entries);
    }
    QCOMPARE(form.spoolModel->count(), 2);
    const QueueEntry failed = form.spoolModel->entry(0);
    round_->dialogs->QueueButton(platform::Dialogs::Ok);
    form.N74Click();
    QTRY_VERIFY_WITH_TIMEOUT(form.spoolModel->count() == 1 && Idle(form) && !form.QueueRunning(), 5000);
    // The failed entry stays for another start; one box at the end names it.
    QCOMPARE(form.spoolModel->entry(0).localPath, failed.localPath);
    const QList<ScriptedDialogs::Call> boxes = round_->dialogs->CallsOf(ScriptedDialogs::MessageBoxKind);
    QCOMPARE(boxes.size(), 1);
    QVERIFY2(boxes[0].text.contains(u"gone.txt"_s), qPrintable(boxes[0].text));
    if (upload) {
        QVERIFY(!server.Exists(u"gone.txt"_s));
        QCOMPARE(server.ReadFile(u"ok.txt"_s), QByteArray("ok"));
    } else {
        QVERIFY(!QFileInfo::exists(local + u"/blocker/gone.txt"_s));
        QCOMPARE(ReadLocal(local + u"/ok.txt"_s), QByteArray("remote ok"));
    }
    QVERIFY(!form.QueueRunning());
}

void TestForm1Queue::refusedWhileRunning()
{
    PeerServer &server = *servers_.Find(PeerServer::Kind::Pyftpdlib);
    for (int i = 1; i <= 3; ++i)
        QVERIFY(server.PutFile(u"f%1.bin"_s.arg(i), Content(u"f"_s + QString::number(i), 256)));
    FormUnderTest t;
    TForm1 &form = *t.form;
    const QString local = round_->local.filePath(u"l"_s);
    ShowLocal(form, local);
    QVERIFY(Login(form, server));
    SelectRemoteNames(form, {u"f1.bin"_s, u"f2.bin"_s, u"f3.bin"_s});
    form.spoolDragDrop(form.ftpview);
    const QStringList order = Sources(form);
    QCOMPARE(order.size(), 3);

    form.N74Click();
    QVERIFY(form.QueueRunning());
    QVERIFY(form.ftp1->Busy());
    SelectQueueRows(form, {1, 2});
    for (void (TForm1::*command)() : {&TForm1::N76Click, &TForm1::N77Click, &TForm1::N78Click,
                                      &TForm1::N79Click, &TForm1::N73Click, &TForm1::N75Click}) {
        (form.*command)();
        QCOMPARE(Sources(form), order);
    }
    // A second start while the first runs adds nothing.
    form.N74Click();
    QTRY_VERIFY_WITH_TIMEOUT(form.spoolModel->count() == 0 && Idle(form), 5000);
    QCOMPARE(Commands(form, {u"RETR"_s}).size(), 3);

    // Idle again, the same commands act.
    SelectRemoteNames(form, {u"f1.bin"_s, u"f2.bin"_s, u"f3.bin"_s});
    form.spoolDragDrop(form.ftpview);
    SelectQueueRows(form, {1, 2});
    form.N76Click();
    QCOMPARE(Sources(form), (QStringList{order[1], order[2], order[0]}));
    form.N75Click();
    QCOMPARE(form.spoolModel->count(), 0);
}

void TestForm1Queue::otherTransfersLeaveEntries_data()
{
    QTest::addColumn<bool>("upload");
    QTest::newRow("download between the panes") << false;
    QTest::newRow("upload between the panes") << true;
}

// A transfer the queue did not start ends without touching the queue.
void TestForm1Queue::otherTransfersLeaveEntries()
{
    QFETCH(bool, upload);
    PeerServer &server = *servers_.Find(PeerServer::Kind::Pyftpdlib);
    QVERIFY(server.PutFile(u"queued.txt"_s, "q"));
    QVERIFY(server.PutFile(u"plain.txt"_s, "plain"));
    FormUnderTest t;
    TForm1 &form = *t.form;
    const QString local = round_->local.filePath(u"l"_s);
    QVERIFY(WriteLocal(local + u"/mine.txt"_s, "mine"));
    ShowLocal(form, local);
    QVERIFY(Login(form, server));
    SelectRemoteNames(form, {u"queued.txt"_s});
    form.spoolDragDrop(form.ftpview);
    SelectLocal(form, {u"mine.txt"_s});
    form.spoolDragDrop(form.FileList1);
    const QStringList queued = Sources(form);

    if (upload) {
        form.ftpviewDragDrop(form.FileList1);
        QTRY_COMPARE_WITH_TIMEOUT(server.ReadFile(u"mine.txt"_s), QByteArray("mine"), 5000);
    } else {
        SelectRemoteNames(form, {u"plain.txt"_s});
        form.FileList1DragDrop(form.ftpview);
        QTRY_COMPARE_WITH_TIMEOUT(ReadLocal(local + u"/plain.txt"_s), QByteArray("plain"), 5000);
    }
    QTRY_VERIFY_WITH_TIMEOUT(Idle(form), 5000);
    QTest::qWait(100);
    QCOMPARE(Sources(form), queued);
    QVERIFY(!QFileInfo::exists(local + u"/queued.txt"_s));
}

// The server goes away in the middle of the first file: no completion comes,
// so nothing leaves the queue, and the queue no longer owns what comes next.
void TestForm1Queue::lostConnectionKeepsEntries()
{
    QString why;
    auto server = PeerServer::Start(PeerServer::Kind::Pyftpdlib, &why);
    QVERIFY2(server, qPrintable(why));
    QVERIFY(server->PutFile(u"big.bin"_s, Content(u"big"_s, 4096)));
    QVERIFY(server->PutFile(u"small.bin"_s, "small"));
    FormUnderTest t;
    TForm1 &form = *t.form;
    ShowLocal(form, round_->local.filePath(u"l"_s));
    QVERIFY(Login(form, *server));
    SelectRemoteNames(form, {u"big.bin"_s, u"small.bin"_s});
    form.spoolDragDrop(form.ftpview);
    // Held still, the server cannot finish the first file before it dies.
    server->Pause();
    form.N74Click();
    QVERIFY(form.QueueRunning());
    QTest::qWait(100);
    round_->dialogs->QueueButton(platform::Dialogs::Ok);  // the error box of the lost connection, if any
    server->Kill();
    QTRY_VERIFY_WITH_TIMEOUT(!form.ftp1->Connected, 5000);
    QTRY_VERIFY(!form.QueueRunning());
    QCOMPARE(form.spoolModel->count(), 2);
    QVERIFY(!form.UiBusy());
}

// The window goes away in the middle of the first file; the next window shows
// the same queue, the cut entry waiting, and finishes it by resuming.
void TestForm1Queue::queueOutlivesTheWindow()
{
    PeerServer &server = *servers_.Find(PeerServer::Kind::Pyftpdlib);
    const QStringList names = {u"a.bin"_s, u"b.bin"_s, u"c.bin"_s};
    QList<QByteArray> contents;
    for (const QString &name : names) {
        contents << Content(name, name == names[0] ? 16 * 1024 : 64);
        QVERIFY(server.PutFile(name, contents.last()));
    }
    const QString local = round_->local.filePath(u"l"_s);
    QStringList queued;
    {
        FormUnderTest t;
        TForm1 &form = *t.form;
        ShowLocal(form, local);
        QVERIFY(Login(form, server));
        SelectRemoteNames(form, names);
        form.spoolDragDrop(form.ftpview);
        queued = Sources(form);
        // Held at the first bytes: over loopback the rest would follow within a poll.
        bool paused = false;
        connect(form.TransferProgress, &QProgressBar::valueChanged, this, [&](int share) {
            if (share > 0 && !std::exchange(paused, true))
                server.Pause();
        });
        form.N74Click();
        QTRY_VERIFY_WITH_TIMEOUT(paused && QFileInfo(local + u"/a.bin"_s).size() > 0, 5000);
        QCOMPARE(States(form), (QStringList{u"传输中"_s, u"等待"_s, u"等待"_s}));
    }
    server.Resume();
    const qint64 partial = QFileInfo(local + u"/a.bin"_s).size();
    QVERIFY(partial > 0 && partial < contents[0].size());

    FormUnderTest t;
    TForm1 &form = *t.form;
    QCOMPARE(Sources(form), queued);
    QCOMPARE(States(form), (QStringList{u"等待"_s, u"等待"_s, u"等待"_s}));
    // The progress of the cut file came along: "bytes (share%)".
    const QString done = form.spoolModel->data(form.spoolModel->index(0, QueueModel::BytesDoneColumn)).toString();
    const qint64 doneBytes = done.section(u' ', 0, 0).toLongLong();
    QVERIFY2(doneBytes > 0 && doneBytes <= partial && done.endsWith(u"%)"_s), qPrintable(done));
    ShowLocal(form, local);
    QVERIFY(Login(form, server));
    MainSettings.downresume = ResumeAlways;
    form.N74Click();
    QTRY_VERIFY_WITH_TIMEOUT(form.spoolModel->count() == 0 && Idle(form), 10000);
    for (int i = 0; i < names.size(); ++i)
        QVERIFY2(ReadLocal(local + u'/' + names[i]) == contents[i], qPrintable(names[i]));
    // The cut file went on from where it stopped.
    QVERIFY(CommandArguments(form, u"REST"_s).contains(QString::number(partial)));
    QueueStore store(platform::SettingsFilePath(u"queue.sqlite"_s));
    QCOMPARE(store.Open(), QueueStore::OpenResult::Opened);
    QVERIFY(store.Load().isEmpty());
}

// A file gone from the server fails once (not a connection failure, so not
// retried by itself), stays marked with the server's reason in the list and
// the file, and 重试 makes it wait for the next start.
void TestForm1Queue::failedEntryMarkedUntilRetried()
{
    PeerServer &server = *servers_.Find(PeerServer::Kind::Pyftpdlib);
    QVERIFY(server.PutFile(u"gone.txt"_s, "gone"));
    QVERIFY(server.PutFile(u"ok.txt"_s, "ok"));
    FormUnderTest t;
    TForm1 &form = *t.form;
    const QString local = round_->local.filePath(u"l"_s);
    ShowLocal(form, local);
    QVERIFY(Login(form, server));
    SelectRemoteNames(form, {u"gone.txt"_s, u"ok.txt"_s});
    form.spoolDragDrop(form.ftpview);
    QVERIFY(QFile::remove(server.PathOf(u"gone.txt"_s)));
    round_->dialogs->QueueButton(platform::Dialogs::Ok);
    form.N74Click();
    QTRY_VERIFY_WITH_TIMEOUT(form.spoolModel->count() == 1 && Idle(form) && !form.QueueRunning(), 5000);
    QCOMPARE(ReadLocal(local + u"/ok.txt"_s), QByteArray("ok"));
    QCOMPARE(CommandArguments(form, u"RETR"_s).filter(u"gone.txt"_s).size(), 1);
    const QString state = States(form).value(0);
    // Marked with the cause the log gave the failed download.
    QVERIFY2(state.startsWith(u"失败: "_s) && state.size() > 4, qPrintable(state));
    bool logged = false;
    for (const LogLine &line : LogLines(form))
        logged = logged || (line.text.contains(u"gone.txt"_s) && line.text.endsWith(u"原因: "_s + state.mid(4)));
    QVERIFY2(logged, qPrintable(state));
    QueueStore store(platform::SettingsFilePath(u"queue.sqlite"_s));
    QCOMPARE(store.Open(), QueueStore::OpenResult::Opened);
    QCOMPARE(store.Load().value(0).state, QueueEntry::Failed);

    // Only failed entries wait again: a start before 重试 runs nothing.
    form.N74Click();
    QVERIFY(!form.QueueRunning());
    QVERIFY(server.PutFile(u"gone.txt"_s, "back"));
    form.queueRetryButton->trigger();
    QCOMPARE(States(form), QStringList{u"等待"_s});
    // The failed download left an empty file: no question about it.
    MainSettings.downresume = OverwriteAlways;
    form.N74Click();
    QTRY_VERIFY_WITH_TIMEOUT(form.spoolModel->count() == 0 && Idle(form), 5000);
    QCOMPARE(ReadLocal(local + u"/gone.txt"_s), QByteArray("back"));
}

// Nothing is lost silently: the log names the damaged file and where its bytes went.
void TestForm1Queue::damagedQueueFileSetAside()
{
    const QString path = platform::SettingsFilePath(u"queue.sqlite"_s);
    const QByteArray garbage = Content(u"garbage"_s, 8);
    QVERIFY(WriteLocal(path, garbage));
    FormUnderTest t;
    QCOMPARE(t.form->spoolModel->count(), 0);
    QString said;
    for (const LogLine &line : LogLines(*t.form)) {
        if (line.color == QColor(255, 0, 0) && line.text.contains(u"已损坏"_s))
            said = line.text;
    }
    const QStringList aside = QDir(QFileInfo(path).path()).entryList({u"queue.sqlite.damaged-*"_s}, QDir::Files);
    QCOMPARE(aside.size(), 1);
    QVERIFY2(said.contains(aside[0]), qPrintable(said));
    QCOMPARE(ReadLocal(QFileInfo(path).path() + u'/' + aside[0]), garbage);
}

void TestForm1Queue::connectionFailuresRetried_data()
{
    QTest::addColumn<int>("retries");
    QTest::addColumn<QString>("failures");  // what the first RETRs meet: short (data cut short), drop
                                            // (control connection closed), refuse (550)
    QTest::addColumn<int>("retrs");
    QTest::addColumn<int>("logins");
    QTest::addColumn<QString>("left");      // the entry's state when it stays; empty: the file arrived

    QTest::newRow("cut short once, retried, resumed") << 2 << u"short"_s << 2 << 1 << QString();
    QTest::newRow("cut short past the retries") << 1 << u"short short"_s << 2 << 1 << u"失败"_s;
    QTest::newRow("no retries") << 0 << u"short"_s << 1 << 1 << u"失败"_s;
    QTest::newRow("refused: not retried") << 2 << u"refuse"_s << 1 << 1 << u"失败"_s;
    QTest::newRow("connection dropped: logged in again") << 2 << u"drop"_s << 2 << 2 << QString();
    QTest::newRow("connection dropped, no retries: waits") << 0 << u"drop"_s << 1 << 1 << u"等待"_s;
}

// A download cut short or a control connection that breaks is the
// connection's failure: the entry runs again (after a new login), resuming,
// up to `retries` times; a refusal is the file's own failure.
void TestForm1Queue::connectionFailuresRetried()
{
    QFETCH(int, retries);
    QFETCH(QString, failures);
    QFETCH(int, retrs);
    QFETCH(int, logins);
    QFETCH(QString, left);
    ScriptedFtpPeer peer;
    QVERIFY(peer.Listen());
    const QByteArray content = Content(u"whole"_s, 4);
    peer.SetTransfer("LIST", Transfer::Data("-rw-r--r-- 1 u g 4096 Jan 01 12:00 a.bin\r\n"));
    peer.SetTransfer("RETR", Transfer::Data(content));
    FormUnderTest t;
    TForm1 &form = *t.form;
    const QString local = round_->local.filePath(u"l"_s);
    ShowLocal(form, local);
    QVERIFY(Login(form, peer.Host(), peer.Port(), u"u"_s, u"p"_s));
    MainSettings.retries = retries;
    MainSettings.downresume = ResumeAlways;
    SelectRemoteNames(form, {u"a.bin"_s});
    form.spoolDragDrop(form.ftpview);
    for (const QString &failure : failures.split(u' ')) {
        if (failure == u"short"_s) {
            Transfer broken = Transfer::Data(content);
            broken.opening = "150 Opening BINARY mode data connection (4096 bytes).\r\n";
            broken.stopAfter = 1000;
            peer.QueueTransfer(broken);
        } else {
            peer.Queue("RETR", failure == u"drop"_s ? Reply::Close() : Reply::Line(550, "Permission denied."));
        }
    }
    if (!left.isEmpty())
        round_->dialogs->QueueButton(platform::Dialogs::Ok);  // the box that names the failure
    form.N74Click();
    QTRY_VERIFY_WITH_TIMEOUT(peer.CommandCount("RETR") == retrs && !form.QueueRunning()
                                 && !form.QueueWaitingForLogin() && !form.ftp1->Busy(),
                             10000);
    QTest::qWait(kSettleMs);
    QCOMPARE(peer.CommandCount("RETR"), retrs);
    QCOMPARE(peer.CommandCount("PASS"), logins);
    if (left.isEmpty()) {
        QCOMPARE(ReadLocal(local + u"/a.bin"_s), content);
        QCOMPARE(form.spoolModel->count(), 0);
        const QList<ScriptedDialogs::Call> boxes = round_->dialogs->CallsOf(ScriptedDialogs::MessageBoxKind);
        QVERIFY2(boxes.isEmpty(), qPrintable(boxes.value(0).text));
    } else {
        QCOMPARE(States(form).size(), 1);
        QVERIFY2(States(form)[0].startsWith(left), qPrintable(States(form)[0]));
    }
    if (failures == u"short"_s && left.isEmpty())
        QVERIFY(peer.Commands().contains("REST 1000"));
}

QTEST_MAIN(TestForm1Queue)
#include "tst_form1_queue.moc"

