// The batch queue's list without a window: reordering with the selection
// following its entries, removal, the targets of uploads added offline, the
// start and continuation steps, failed entries with their automatic and
// manual retries, and which commands are refused when.

#include "core/queue_model.h"

#include <QItemSelectionModel>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

// Five file uploads whose sources are "1" ... "5".
void FillFive(QueueModel &model)
{
    QList<QueueEntry> entries;
    for (int i = 1; i <= 5; ++i) {
        QueueEntry e;
        e.localPath = QString::number(i);
        e.remotePath = "/r/" + QByteArray::number(i);
        e.sizeText = u"         1"_s;
        entries << e;
    }
    model.Append(entries);
}

QString Order(const QueueModel &model)
{
    QString order;
    for (int row = 0; row < model.count(); ++row)
        order += model.entry(row).localPath;
    return order;
}

QList<int> SelectedRows(const QItemSelectionModel &selection)
{
    QList<int> rows;
    for (const QModelIndex &index : selection.selectedRows())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    return rows;
}

QueueEntry Entry(QueueEntry::Direction direction, bool directory, const QString &local, const QByteArray &remote)
{
    QueueEntry e;
    e.direction = direction;
    e.isDirectory = directory;
    e.localPath = local;
    e.remotePath = remote;
    e.sizeText = directory ? QString() : u"3"_s;
    return e;
}

} // namespace

class TestQueueModel : public QObject {
    Q_OBJECT
private slots:
    void reorder_data();
    void reorder();
    void remove();
    void uploadTargetsCompleted_data();
    void uploadTargetsCompleted();
    void startAndContinue();
    void notConnectedKeepsEntries();
    void failuresAndRetries_data();
    void failuresAndRetries();
    void commandsRefused_data();
    void commandsRefused();
    void rowsShowSafeText();
};

void TestQueueModel::reorder_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QList<int>>("selected");
    QTest::addColumn<QString>("order");
    QTest::addColumn<QList<int>>("selectedAfter");

    QTest::newRow("top, second and fourth") << u"top"_s << QList<int>{1, 3} << u"24135"_s << QList<int>{0, 1};
    QTest::newRow("top, last") << u"top"_s << QList<int>{4} << u"51234"_s << QList<int>{0};
    QTest::newRow("top, first") << u"top"_s << QList<int>{0} << u"12345"_s << QList<int>{0};
    QTest::newRow("top, all") << u"top"_s << QList<int>{0, 1, 2, 3, 4} << u"12345"_s << QList<int>{0, 1, 2, 3, 4};
    QTest::newRow("bottom, second and fourth") << u"bottom"_s << QList<int>{1, 3} << u"13524"_s << QList<int>{3, 4};
    QTest::newRow("bottom, first") << u"bottom"_s << QList<int>{0} << u"23451"_s << QList<int>{4};
    QTest::newRow("bottom, last") << u"bottom"_s << QList<int>{4} << u"12345"_s << QList<int>{4};
    QTest::newRow("up, middle") << u"up"_s << QList<int>{2} << u"13245"_s << QList<int>{1};
    QTest::newRow("up, first does nothing") << u"up"_s << QList<int>{0} << u"12345"_s << QList<int>{0};
    QTest::newRow("down, middle") << u"down"_s << QList<int>{2} << u"12435"_s << QList<int>{3};
    QTest::newRow("down, last does nothing") << u"down"_s << QList<int>{4} << u"12345"_s << QList<int>{4};
}

void TestQueueModel::reorder()
{
    QFETCH(QString, command);
    QFETCH(QList<int>, selected);
    QFETCH(QString, order);
    QFETCH(QList<int>, selectedAfter);

    QueueModel model;
    FillFive(model);
    // A file in flight below the entries stays there, unselectable.
    model.ShowFileInFlight(9, Entry(QueueEntry::Download, false, u"/l/f"_s, "/r/f"));
    const QPersistentModelIndex flying = model.index(5, QueueModel::TargetColumn);
    QVERIFY(!(model.flags(flying) & Qt::ItemIsSelectable));
    QItemSelectionModel selection(&model);
    for (int row : selected)
        selection.select(model.index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);

    if (command == u"top")
        model.MoveToTop(selected);
    else if (command == u"bottom")
        model.MoveToBottom(selected);
    else if (command == u"up")
        QCOMPARE(model.MoveUp(selected.first()), order != u"12345");
    else
        QCOMPARE(model.MoveDown(selected.first()), order != u"12345");

    QCOMPARE(Order(model), order);
    QCOMPARE(SelectedRows(selection), selectedAfter);
    QCOMPARE(flying.row(), 5);
    QCOMPARE(flying.data().toString(), u"/l/f"_s);
    // A moved row carries its own texts, not its old place's.
    for (int row = 0; row < model.count(); ++row) {
        QCOMPARE(model.data(model.index(row, QueueModel::TargetColumn)).toString(),
                 u"/r/"_s + model.entry(row).localPath);
    }
}

void TestQueueModel::remove()
{
    QueueModel model;
    FillFive(model);
    QItemSelectionModel selection(&model);
    selection.select(model.index(4, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    model.Remove({3, 1, 1, 7, -1});
    QCOMPARE(Order(model), u"135"_s);
    QCOMPARE(SelectedRows(selection), QList<int>{2});
    model.Clear();
    QCOMPARE(model.count(), 0);
    QCOMPARE(model.rowCount(), 0);
}

void TestQueueModel::uploadTargetsCompleted_data()
{
    QTest::addColumn<int>("direction");
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<QByteArray>("directory");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("offline, root") << int(QueueEntry::Upload) << QByteArray("a b.txt") << QByteArray("/")
                                   << QByteArray("/a b.txt");
    QTest::newRow("offline, subdirectory") << int(QueueEntry::Upload) << QByteArray("a.txt")
                                           << QByteArray("/pub/in") << QByteArray("/pub/in/a.txt");
    QTest::newRow("offline, directory with slash") << int(QueueEntry::Upload) << QByteArray("d")
                                                   << QByteArray("/home/u/") << QByteArray("/home/u/d");
    QTest::newRow("added online keeps its directory") << int(QueueEntry::Upload) << QByteArray("/old/a.txt")
                                                      << QByteArray("/new") << QByteArray("/old/a.txt");
    QTest::newRow("download source untouched") << int(QueueEntry::Download) << QByteArray("rel")
                                               << QByteArray("/new") << QByteArray("rel");
}

void TestQueueModel::uploadTargetsCompleted()
{
    QFETCH(int, direction);
    QFETCH(QByteArray, target);
    QFETCH(QByteArray, directory);
    QFETCH(QByteArray, expected);

    QueueModel model;
    model.Append({Entry(QueueEntry::Direction(direction), false, u"/l/a.txt"_s, target)});
    QCOMPARE(model.data(model.index(0, direction == QueueEntry::Upload ? QueueModel::TargetColumn
                                                                      : QueueModel::SourceColumn))
                 .toString(),
             QString::fromUtf8(target));
    model.CompleteUploadTargets(directory);
    QCOMPARE(model.entry(0).remotePath, expected);
    QCOMPARE(model.data(model.index(0, 0), QueueModel::RemotePathRole).toByteArray(), expected);
}

void TestQueueModel::startAndContinue()
{
    QueueModel model;
    model.Append({Entry(QueueEntry::Upload, false, u"/l/f"_s, "/r/f"),
                  Entry(QueueEntry::Upload, true, u"/l/d"_s, "/r/d"),
                  Entry(QueueEntry::Download, false, u"/l/g"_s, "/r/g"),
                  Entry(QueueEntry::Download, true, u"/l/e"_s, "/r/e")});
    const QList<QueueStep::Kind> kinds = {QueueStep::UploadFile, QueueStep::UploadDirectory, QueueStep::DownloadFile,
                                          QueueStep::DownloadDirectory};
    const QStringList locals = {u"/l/f"_s, u"/l/d"_s, u"/l/g"_s, u"/l/e"_s};

    QVERIFY(!model.Running());
    // A completion that the queue did not start removes nothing.
    QCOMPARE(model.Continue(true).kind, QueueStep::None);
    QCOMPARE(model.count(), 4);

    QueueStep step = model.Start(true);
    for (int i = 0; i < kinds.size(); ++i) {
        QCOMPARE(step.kind, kinds[i]);
        QCOMPARE(step.localPath, locals[i]);
        QCOMPARE(step.remotePath, QString(locals[i]).replace(u"/l/"_s, u"/r/"_s).toUtf8());
        QVERIFY(model.Running());
        // The running entry stays at the top until its transfer completes.
        QCOMPARE(model.count(), kinds.size() - i);
        step = model.Continue(true);
    }
    QCOMPARE(step.kind, QueueStep::End);
    QCOMPARE(model.count(), 0);
    QVERIFY(!model.Running());
    QCOMPARE(model.Start(true).kind, QueueStep::End);
}

void TestQueueModel::notConnectedKeepsEntries()
{
    QueueModel model;
    model.Append({Entry(QueueEntry::Download, false, u"/l/1"_s, "/r/1"),
                  Entry(QueueEntry::Download, false, u"/l/2"_s, "/r/2")});
    QCOMPARE(model.Start(false).kind, QueueStep::Stop);
    QCOMPARE(model.count(), 2);
    QVERIFY(!model.Running());

    // The server cut the first transfer off: its completion comes without a
    // connection, and the entry stays at the top for the next start.
    QCOMPARE(model.Start(true).kind, QueueStep::DownloadFile);
    QCOMPARE(model.Continue(false).kind, QueueStep::Stop);
    QCOMPARE(model.count(), 2);
    QCOMPARE(model.entry(0).localPath, u"/l/1"_s);
    QVERIFY(!model.Running());
    QCOMPARE(model.Continue(true).kind, QueueStep::None);
    QCOMPARE(model.count(), 2);
    const QueueStep again = model.Start(true);
    QCOMPARE(again.kind, QueueStep::DownloadFile);
    QCOMPARE(again.localPath, u"/l/1"_s);
}

void TestQueueModel::failuresAndRetries_data()
{
    QTest::addColumn<int>("retries");
    QTest::addColumn<QStringList>("outcomes");  // per completion: ok, fail (the file's), conn (the connection's)
    QTest::addColumn<QString>("started");       // the entries started, in order
    QTest::addColumn<QStringList>("left");      // what stays, with its state

    QTest::newRow("a failed entry stays marked and gives way")
        << 2 << QStringList{u"fail"_s, u"ok"_s, u"fail"_s} << u"123"_s << QStringList{u"1 失败: x"_s, u"3 失败: x"_s};
    QTest::newRow("connection failures retried up to the limit")
        << 2 << QStringList{u"conn"_s, u"conn"_s, u"conn"_s, u"ok"_s, u"ok"_s} << u"11123"_s
        << QStringList{u"1 失败: x"_s};
    QTest::newRow("a retry that succeeds")
        << 2 << QStringList{u"conn"_s, u"ok"_s, u"ok"_s, u"ok"_s} << u"1123"_s << QStringList{};
    QTest::newRow("no retries") << 0 << QStringList{u"conn"_s, u"ok"_s, u"ok"_s} << u"123"_s
                                << QStringList{u"1 失败: x"_s};
}

void TestQueueModel::failuresAndRetries()
{
    QFETCH(int, retries);
    QFETCH(QStringList, outcomes);
    QFETCH(QString, started);
    QFETCH(QStringList, left);

    QueueModel model;
    model.SetRetryLimit(retries);
    model.Append({Entry(QueueEntry::Download, false, u"1"_s, "/r/1"), Entry(QueueEntry::Download, false, u"2"_s, "/r/2"),
                  Entry(QueueEntry::Upload, false, u"3"_s, "/r/3")});
    QueueStep step = model.Start(true);
    QString order;
    for (const QString &outcome : outcomes) {
        QVERIFY(model.Running());
        order += step.localPath;
        QCOMPARE(model.data(model.index(model.RunningRow(), QueueModel::StateColumn)).toString(), u"传输中"_s);
        step = outcome == u"ok"_s ? model.Continue(true) : model.Continue(true, u"x"_s, outcome == u"conn"_s);
    }
    QCOMPARE(step.kind, QueueStep::End);
    QCOMPARE(order, started);
    QStringList states;
    for (int row = 0; row < model.count(); ++row)
        states << model.entry(row).localPath + u' ' + model.data(model.index(row, QueueModel::StateColumn)).toString();
    QCOMPARE(states, left);

    // Failed entries wait for 重试: a start passes them over until then.
    QCOMPARE(model.Start(true).kind, QueueStep::End);
    QCOMPARE(model.Retry({}), left.size());
    QCOMPARE(model.FailedCount(), 0);
    if (!left.isEmpty()) {
        QCOMPARE(model.Start(true).localPath, left.first().section(u' ', 0, 0));
        QCOMPARE(model.entry(0).attempts, 0);
    }
}

void TestQueueModel::commandsRefused_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<bool>("busy");
    QTest::addColumn<bool>("connected");
    QTest::addColumn<bool>("running");
    QTest::addColumn<QList<int>>("selected");
    QTest::addColumn<int>("failed");
    QTest::addColumn<bool>("allowed");

    using C = QueueCommand;
    const QList<int> second = {1};
    QTest::newRow("start") << int(C::Start) << false << true << false << QList<int>{} << 0 << true;
    QTest::newRow("start, offline") << int(C::Start) << false << false << false << QList<int>{} << 0 << false;
    QTest::newRow("delete, busy") << int(C::Delete) << true << true << false << second << 0 << false;
    QTest::newRow("delete, running") << int(C::Delete) << false << true << true << second << 0 << false;
    QTest::newRow("delete all, busy with another walk") << int(C::DeleteAll) << true << true << false
                                                        << QList<int>{} << 0 << true;
    QTest::newRow("delete all, running") << int(C::DeleteAll) << false << true << true << QList<int>{} << 0 << false;
    QTest::newRow("to top, busy with another walk") << int(C::MoveToTop) << true << true << false << second << 0 << true;
    QTest::newRow("to top, running") << int(C::MoveToTop) << false << true << true << second << 0 << false;
    QTest::newRow("to bottom, running") << int(C::MoveToBottom) << false << true << true << second << 0 << false;
    QTest::newRow("up, first") << int(C::MoveUp) << false << true << false << QList<int>{0, 2} << 0 << false;
    QTest::newRow("down, last") << int(C::MoveDown) << false << true << false << QList<int>{2} << 0 << false;
    QTest::newRow("start, every entry failed") << int(C::Start) << false << true << false << QList<int>{} << 3 << false;
    QTest::newRow("retry, running") << int(C::Retry) << true << true << true << QList<int>{} << 1 << true;
    QTest::newRow("retry, nothing failed") << int(C::Retry) << false << true << false << QList<int>{} << 0 << false;
}

void TestQueueModel::commandsRefused()
{
    QFETCH(int, command);
    QFETCH(bool, busy);
    QFETCH(bool, connected);
    QFETCH(bool, running);
    QFETCH(QList<int>, selected);
    QFETCH(int, failed);
    QFETCH(bool, allowed);

    QueueConditions conditions;
    conditions.engineBusy = busy;
    conditions.connected = connected;
    conditions.running = running;
    conditions.selectedRows = selected;
    conditions.count = 3;
    conditions.failedCount = failed;
    QCOMPARE(QueueCommandAllowed(QueueCommand(command), conditions), allowed);
}

// Names come from servers: a name with a line break or a direction override
// must not paint as something else.
void TestQueueModel::rowsShowSafeText()
{
    QueueModel model;
    const QByteArray hostile = "/pub/a\nb\xE2\x80\xAEtxt.exe";
    model.Append({Entry(QueueEntry::Download, false, u"/l/a"_s, hostile)});
    const QString shown = model.data(model.index(0, QueueModel::SourceColumn)).toString();
    QVERIFY(!shown.contains(u'\n'));
    QVERIFY(!shown.contains(QChar(0x202E)));
    // The server's words in a failure, and counts from a damaged queue file.
    QueueEntry failed = Entry(QueueEntry::Download, false, u"/l/b"_s, "/pub/b");
    failed.state = QueueEntry::Failed;
    failed.failureReason = QString::fromUtf8("550 a\r\nb\xE2\x80\xAEexe");
    failed.sizeText = u"100"_s;
    failed.bytesDone = std::numeric_limits<qint64>::max();
    model.Append({failed});
    const QString state = model.data(model.index(1, QueueModel::StateColumn)).toString();
    QVERIFY2(!state.contains(u'\n') && !state.contains(QChar(0x202E)) && state.contains(u"550 a"_s), qPrintable(state));
    QVERIFY(model.data(model.index(1, QueueModel::BytesDoneColumn)).toString().endsWith(u"(100%)"_s));
    QCOMPARE(model.data(model.index(0, 0), QueueModel::RemotePathRole).toByteArray(), hostile);
    QCOMPARE(model.data(model.index(0, 0), QueueModel::DirectionRole).toInt(), int(QueueEntry::Download));
    QCOMPARE(model.data(model.index(0, QueueModel::SizeColumn), Qt::TextAlignmentRole).toInt(),
             int(Qt::AlignRight | Qt::AlignVCenter));
}

QTEST_GUILESS_MAIN(TestQueueModel)
#include "tst_queue_model.moc"
