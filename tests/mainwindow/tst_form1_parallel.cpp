// The window with transfers over connections of their own, against real
// servers: trees both ways arrive whole while the user browses elsewhere, a
// queue runs its entries at once and keeps its failed one, a server that takes
// one login gets its files over the browsing connection, and a program killed
// mid-queue finishes the queue after its restart.

#include "window_round.h"

#include "core/transfer_pool.h"
#include "dialogs/tform4.h"
#include "engine/ftp.h"
#include "core/queue_model.h"
#include "widgets/file_list.h"

#include <QApplication>
#include <QDirIterator>
#include <QProcess>
#include <QtTest>

using namespace Qt::StringLiterals;
using testsupport::PeerServer;

namespace {

constexpr char kQueueChildMode[] = "--queue-child";

QByteArray Content(int i)
{
    return QByteArray::number(i).repeated(4000 / (QByteArray::number(i).size()) + 1).left(3000 + i * 7);
}

QString TreeFile(int i)
{
    return u"tree/d%1/f%2.bin"_s.arg(i % 10).arg(i);
}

void SelectLocal(TForm1 &form, const QString &name)
{
    QTRY_VERIFY_WITH_TIMEOUT(form.FileList1->Count() > 0, 5000);
    form.FileList1->SelectionModel()->clear();
    for (int row = 0; row < form.FileList1->Count(); ++row)
        form.FileList1->SetSelected(row, form.FileList1->Caption(row) == name);
}

// The child of the kill test: logs in with a fresh window over the given
// settings folder, starts the queue (filling it first when asked) and runs
// until it is killed or the queue is done.
int RunQueueChild(const QStringList &arguments)
{
    const QString settings = arguments.value(0), host = arguments.value(1), local = arguments.value(4);
    const quint16 port = quint16(arguments.value(2).toInt());
    const bool fill = arguments.value(5) == u"fill";
    platform::SetSettingsFolderOverride(settings);
    ScopedScriptedDialogs dialogs;
    TForm1 form;
    MainSettings.transfers = 4;
    MainSettings.downlimit = 300;  // KiB/s: slow enough to be killed mid-queue
    // What the killed run left is resumed with REST, as the policy says.
    MainSettings.downresume = ResumeAlways;
    if (!fill)
        std::printf("restored %d\n", form.spoolModel->count());
    if (!Login(form, host, port, u"tarvoftp"_s, u"tarvo-pass"_s))
        return 3;
    form.SetLocalDirectory(local);
    if (fill) {
        form.N88Click();  // 全部选择
        form.spoolDragDrop(form.ftpview);
    }
    std::fflush(stdout);
    form.N74Click();
    std::printf("started\n");
    std::fflush(stdout);
    const bool done = QTest::qWaitFor([&] { return form.TransfersIdle() && form.spoolModel->count() == 0; }, 60000);
    return done ? 0 : 4;
}

} // namespace

class TestForm1Parallel : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void treeWhileBrowsing_data();
    void treeWhileBrowsing();
    void queueRunsEntriesAtOnce();
    void serverTakingOneLogin();
    void addressLoginUsesTheConnections();
    void confirmedSettingsTakeEffect();
    void killedMidQueueFinishesAfterRestart();

private:
    TestServers servers_;
    std::unique_ptr<WindowRound> round_;
};

void TestForm1Parallel::initTestCase()
{
    QString why;
    QVERIFY2(servers_.Start(&why), qPrintable(why));
}

void TestForm1Parallel::init()
{
    round_ = std::make_unique<WindowRound>();
    servers_.EmptyRoots();
}

void TestForm1Parallel::cleanup()
{
    QCOMPARE(round_->dialogs->UnexpectedCount(), 0);
    round_.reset();
}

void TestForm1Parallel::treeWhileBrowsing_data()
{
    QTest::addColumn<int>("server");
    QTest::addColumn<bool>("download");
    SERVER_ROWS("download", << true);
    SERVER_ROWS("upload", << false);
}

// 200 files in 10 folders over 4 connections, the speed limited so that the
// user can list another folder meanwhile; every file arrives whole.
void TestForm1Parallel::treeWhileBrowsing()
{
    NEED_SERVER(server);
    QFETCH(bool, download);
    constexpr int kFiles = 200;
    const QString local = round_->local.path();
    QVERIFY(server->PutFile(u"other/a.txt"_s, "a"));
    for (int i = 0; i < kFiles; ++i) {
        if (download)
            QVERIFY(server->PutFile(TreeFile(i), Content(i)));
        else
            QVERIFY(WriteLocal(local + u'/' + TreeFile(i), Content(i)));
    }
    FormUnderTest under;
    TForm1 &form = *under.form;
    QVERIFY(Login(form, *server));
    MainSettings.transfers = 4;
    (download ? MainSettings.downlimit : MainSettings.uplimit) = 400;
    int running = 0, peak = 0, shown = 0;
    connect(form.transferPool, &TransferPool::JobStarted, this, [&] { peak = std::max(peak, ++running); });
    connect(form.transferPool, &TransferPool::JobFinished, this, [&] { --running; });
    connect(form.transferPool, &TransferPool::JobRetrying, this, [&] { --running; });
    connect(form.spoolModel, &QAbstractItemModel::rowsInserted, this,
            [&] { shown = std::max(shown, form.spoolModel->FilesInFlight()); });
    form.SetLocalDirectory(local);
    if (download) {
        SelectRemoteNames(form, {u"tree"_s});
        form.N34Click();
    } else {
        SelectLocal(form, u"tree"_s);
        form.N21Click();
    }
    // The walk has handed its files out; the browsing connection is free.
    QVERIFY(QTest::qWaitFor([&] { return !form.WalkRunning() && !form.ftp1->Busy(); }, 20000));
    QVERIFY(form.transferPool->Busy());
    form.ftppathEnter(QString::fromUtf8(server->LoginDirectory()).chopped(server->LoginDirectory().endsWith('/') ? 1 : 0)
                      + u"/other"_s);
    QVERIFY(QTest::qWaitFor([&] { return form.ftpviewModel->rowOfName("a.txt") >= 0; }, 10000));
    QVERIFY2(form.transferPool->Busy(), "the files were done before the listing: nothing ran beside it");
    QVERIFY(QTest::qWaitFor([&] { return form.TransfersIdle(); }, 60000));
    QVERIFY2(peak >= 2 && peak <= 4, qPrintable(u"%1 files at once"_s.arg(peak)));
    // The queue's list showed files moving, and shows none once they are done.
    QVERIFY(shown >= 1 && shown <= 4);
    QCOMPARE(form.spoolModel->rowCount(), 0);
    for (int i = 0; i < kFiles; ++i) {
        const QByteArray arrived = download ? ReadLocal(local + u'/' + TreeFile(i)) : server->ReadFile(TreeFile(i));
        QVERIFY2(arrived == Content(i), qPrintable(TreeFile(i)));
    }
}

// Files and a folder of the queue run at once, and a tree the user starts
// while the queue's files still move; the one the server no longer has stays,
// failed with the reason, and one box names it.
void TestForm1Parallel::queueRunsEntriesAtOnce()
{
    testsupport::PeerServer *server = servers_.Find(TestServers::Kind::Vsftpd);
    if (!server)
        QSKIP("vsftpd not available here");
    const QByteArray large = Content(3).repeated(200);  // about 600 KB: a second and more at the limit
    for (const QString &name : {u"q1.bin"_s, u"q2.bin"_s, u"gone.bin"_s})
        QVERIFY(server->PutFile(name, name == u"gone.bin"_s ? Content(1) : large));
    for (int i = 0; i < 6; ++i)
        QVERIFY(server->PutFile(u"qd/f%1.bin"_s.arg(i), Content(i)));
    for (int i = 0; i < 20; ++i)
        QVERIFY(server->PutFile(TreeFile(i), Content(i)));
    FormUnderTest under;
    TForm1 &form = *under.form;
    QVERIFY(Login(form, *server));
    MainSettings.transfers = 3;
    MainSettings.downlimit = 600;
    form.SetLocalDirectory(round_->local.path());
    SelectRemoteNames(form, {u"q1.bin"_s, u"gone.bin"_s, u"qd"_s, u"q2.bin"_s});
    form.spoolDragDrop(form.ftpview);
    QCOMPARE(form.spoolModel->count(), 4);
    QFile::remove(server->PathOf(u"gone.bin"_s));
    round_->dialogs->QueueButton(platform::Dialogs::Ok);
    form.N74Click();
    // The queue's folder is listed; its files still move.
    QVERIFY(QTest::qWaitFor([&] { return !form.WalkRunning() && !form.ftp1->Busy()
                                         && form.ftpviewModel->rowOfName("tree") >= 0; }, 20000));
    QVERIFY(form.QueueRunning());
    SelectRemoteNames(form, {u"tree"_s});
    form.N34Click();
    QVERIFY2(form.WalkRunning() || form.ftp1->Busy(), qPrintable(form.PanelText(0)));
    QVERIFY(QTest::qWaitFor([&] { return form.TransfersIdle(); }, 30000));
    QVERIFY(!form.QueueRunning());
    for (int i = 0; i < 20; ++i)
        QCOMPARE(ReadLocal(round_->local.filePath(TreeFile(i))), Content(i));
    QCOMPARE(form.spoolModel->count(), 1);
    const QueueEntry &left = form.spoolModel->entry(0);
    QCOMPARE(left.remotePath.endsWith("gone.bin"), true);
    QCOMPARE(left.state, QueueEntry::Failed);
    QVERIFY(!left.failureReason.isEmpty());
    const auto boxes = round_->dialogs->CallsOf(ScriptedDialogs::MessageBoxKind);
    QCOMPARE(boxes.size(), 1);
    QVERIFY2(boxes.first().text.contains(u"gone.bin"_s), qPrintable(boxes.first().text));
    for (const QString &name : {u"q1.bin"_s, u"q2.bin"_s, u"qd/f0.bin"_s, u"qd/f5.bin"_s})
        QCOMPARE(ReadLocal(round_->local.filePath(name)), server->ReadFile(name));
}

// A server that takes one login per address: the walk's files go over the
// browsing connection within the speed limit, and the log says why.
void TestForm1Parallel::serverTakingOneLogin()
{
    QString why;
    PeerServer::Options options;
    options.maxConnectionsPerAddress = 1;
    auto server = PeerServer::Start(PeerServer::Kind::Pyftpdlib, options, &why);
    QVERIFY2(server, qPrintable(why));
    for (int i = 0; i < 12; ++i)
        QVERIFY(server->PutFile(TreeFile(i), Content(i)));
    QTest::qWait(200);  // the start's own probe connection is gone
    FormUnderTest under;
    TForm1 &form = *under.form;
    QVERIFY(Login(form, *server));
    MainSettings.transfers = 4;
    // The speed limit holds on the browsing connection too: 36 KB at 8 KiB/s
    // cannot take less than about 3.5 s, one second of burst allowed.
    MainSettings.downlimit = 8;
    form.SetLocalDirectory(round_->local.path());
    SelectRemoteNames(form, {u"tree"_s});
    QElapsedTimer clock;  // from the moment the files come back to the browsing connection
    connect(form.transferPool, &TransferPool::ConnectionsRefused, this, [&] { clock.start(); });
    form.N34Click();
    QVERIFY(QTest::qWaitFor([&] { return form.TransfersIdle(); }, 30000));
    QVERIFY2(clock.isValid() && clock.elapsed() >= 2500, qPrintable(u"%1 ms"_s.arg(clock.elapsed())));
    for (int i = 0; i < 12; ++i)
        QCOMPARE(ReadLocal(round_->local.filePath(TreeFile(i))), Content(i));
    form.FlushLog();
    QVERIFY(form.richedit1->toPlainText().contains(u"服务器不接受更多的连接"_s));
    QCOMPARE(round_->dialogs->CallsOf(ScriptedDialogs::MessageBoxKind).size(), 0);
}

// A session opened from an ftp:// address (a link, the command line) logs
// in without the usual logged-in notice: its files still go over the
// transfer connections.
void TestForm1Parallel::addressLoginUsesTheConnections()
{
    testsupport::PeerServer *server = servers_.Find(TestServers::Kind::Vsftpd);
    if (!server)
        QSKIP("vsftpd not available here");
    for (int i = 0; i < 6; ++i)
        QVERIFY(server->PutFile(TreeFile(i), Content(i)));
    FormUnderTest under;
    TForm1 &form = *under.form;
    MainSettings.transfers = 3;
    int started = 0;
    connect(form.transferPool, &TransferPool::JobStarted, this, [&] { ++started; });
    QByteArray folder = server->LoginDirectory();
    if (!folder.endsWith('/'))
        folder += '/';
    QVERIFY(form.OpenAddress(u"ftp://%1:%2@%3:%4%5tree"_s.arg(server->User(), server->Password(), server->Host())
                                 .arg(server->Port()).arg(QString::fromUtf8(folder))));
    QVERIFY(QTest::qWaitFor([&] { return form.ftpviewModel->rowOfName("d0") >= 0 && !form.ftp1->Busy(); }, 10000));
    form.SetLocalDirectory(round_->local.path());
    form.N88Click();  // 全部选择
    form.N34Click();
    QVERIFY(QTest::qWaitFor([&] { return form.TransfersIdle(); }, 30000));
    QCOMPARE(started, 6);
    for (int i = 0; i < 6; ++i)
        QCOMPARE(ReadLocal(round_->local.filePath(TreeFile(i).mid(5))), Content(i));
}

// 同时传输的文件数 and the speed limit confirmed in the configuration dialog
// hold at once, for the transfer connections and the browsing connection.
void TestForm1Parallel::confirmedSettingsTakeEffect()
{
    FormUnderTest under;
    TForm1 &form = *under.form;
    form.show();  // the secondary windows are made at the first showing
    form.Form4->show();
    form.Form4->transfers->setValue(5);
    form.Form4->downLimit->setValue(123);
    QVERIFY(form.Form4->Button1Click());
    QCOMPARE(form.transferPool->MaxConnections(), 5);
    QVERIFY(form.ftp1->DownloadLimit);
    QCOMPARE(form.ftp1->DownloadLimit->Rate(), 123 * 1024);
}

// SIGKILL while the queue runs: the restarted program shows every entry not
// done, and running the queue again leaves every file whole.
void TestForm1Parallel::killedMidQueueFinishesAfterRestart()
{
    testsupport::PeerServer *server = servers_.Find(TestServers::Kind::Vsftpd);
    if (!server)
        QSKIP("vsftpd not available here");
    constexpr int kFiles = 8;
    constexpr int kSize = 256 * 1024;
    for (int i = 0; i < kFiles; ++i)
        QVERIFY(server->PutFile(u"k%1.bin"_s.arg(i), Content(i).repeated(kSize / Content(i).size() + 1).left(kSize)));
    const QStringList common = {round_->settings.Path(), server->Host(), QString::number(server->Port()),
                                QString(), round_->local.path()};
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), QStringList{QString::fromLatin1(kQueueChildMode)} + common
                                                             + QStringList{u"fill"_s});
    QVERIFY(child.waitForStarted());
    QVERIFY(QTest::qWaitFor([&] { return child.readAllStandardOutput().contains("started"); }, 20000));
    // Some of the first files are on their way when it dies.
    QTest::qWait(1500);
    child.kill();
    QVERIFY(child.waitForFinished());

    QProcess again;
    again.start(QCoreApplication::applicationFilePath(), QStringList{QString::fromLatin1(kQueueChildMode)} + common
                                                             + QStringList{u"resume"_s});
    QVERIFY(again.waitForFinished(60000));
    const QByteArray said = again.readAllStandardOutput();
    QCOMPARE(again.exitCode(), 0);
    const int restored = said.mid(said.indexOf("restored ") + 9).split('\n').first().toInt();
    QVERIFY2(restored > 0 && restored <= kFiles, said.constData());
    for (int i = 0; i < kFiles; ++i) {
        const QString name = u"k%1.bin"_s.arg(i);
        QVERIFY2(ReadLocal(round_->local.filePath(name)) == server->ReadFile(name), qPrintable(name));
    }
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc > 1 && qstrcmp(argv[1], kQueueChildMode) == 0)
        return RunQueueChild(app.arguments().mid(2));
    TestForm1Parallel test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_form1_parallel.moc"
