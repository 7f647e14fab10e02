// The queue file on its own: entries and their states come back as saved
// (a running entry as waiting), a damaged file is kept aside and the queue
// starts empty, and a writer killed at random moments leaves a sound file
// holding its last committed queue whole.

#include "core/queue_keeper.h"
#include "core/queue_model.h"
#include "core/queue_store.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <cstdio>
#include <sys/resource.h>

using namespace Qt::StringLiterals;

namespace {

const char kWriterMode[] = "--queue-writer";
const char kFullDiskMode[] = "--queue-full-disk";

QueueEntry Entry(QueueEntry::Direction direction, QueueEntry::State state, const QString &local,
                 const QByteArray &remote)
{
    QueueEntry e;
    e.direction = direction;
    e.state = state;
    e.localPath = local;
    e.remotePath = remote;
    e.sizeText = u"1234"_s;
    return e;
}

// Generation g of the writer: g % 7 + 1 entries, each naming g, so that a
// queue read back shows whether it is one whole generation.
QList<QueueEntry> Generation(int g)
{
    QList<QueueEntry> entries;
    for (int i = 0; i <= g % 7; ++i) {
        QueueEntry e = Entry(QueueEntry::Download, QueueEntry::Running, u"/l/%1"_s.arg(i), "/r/" + QByteArray::number(i));
        e.sizeText = QString::number(g);
        e.bytesDone = g;
        entries << e;
    }
    return entries;
}

// The helper mode: saves generation after generation until it is killed,
// printing each one after its commit.
int RunWriter(const QString &path)
{
    QueueStore store(path);
    if (store.Open() == QueueStore::OpenResult::Unavailable)
        return 2;
    const QList<QueueEntry> last = store.Load();
    int g = last.isEmpty() ? 0 : last.first().sizeText.toInt() + 1;
    for (;; ++g) {
        if (!store.Save(Generation(g)))
            return 3;
        std::printf("%d\n", g);
        std::fflush(stdout);
    }
}

// The helper mode of the full disk: the file may grow only a little (as on a
// disk about to fill up); the keeper is fed ever longer queues until a write
// fails. Prints "failed <entries>" at the failure, then exits.
int RunFullDisk(const QString &path)
{
    QueueModel model;
    QueueKeeper keeper(&model, path);
    if (keeper.Open() == QueueStore::OpenResult::Unavailable)
        return 2;
    model.Append({Entry(QueueEntry::Download, QueueEntry::Waiting, u"/l/first"_s, "/r/first")});
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{rlim_t(QFileInfo(path).size() + 16 * 1024), RLIM_INFINITY};
    setrlimit(RLIMIT_FSIZE, &limit);
    bool failed = false;
    QObject::connect(&keeper, &QueueKeeper::SaveFailed, [&] { failed = true; });
    for (int i = 0; i < 2000 && !failed; ++i)
        model.Append({Entry(QueueEntry::Upload, QueueEntry::Waiting, u"/l/%1/"_s.arg(i) + QString(200, u'x'), "/r")});
    std::printf("failed %d\n", failed ? model.count() : -1);
    return 0;
}

} // namespace

class TestQueueStore : public QObject {
    Q_OBJECT
private slots:
    void roundTrip_data();
    void roundTrip();
    void damagedFileKeptAside_data();
    void damagedFileKeptAside();
    void killedWriterLeavesSoundFile();
    void fullDiskKeepsLastQueueAndSaysSo();
    void filesInFlightAreNotKept();
    void twoWindowsKeepTheirOwnQueues();

private:
    QTemporaryDir dir_;
};

void TestQueueStore::roundTrip_data()
{
    QTest::addColumn<QList<QueueEntry>>("saved");
    QTest::addColumn<QList<QueueEntry>>("loaded");

    QueueEntry failed = Entry(QueueEntry::Download, QueueEntry::Failed, u"/下载/a b.txt"_s, "/pub/\xb2\xe2.txt");
    failed.failureReason = u"主机应答: 550 No such file"_s;
    failed.bytesDone = 4096;
    failed.attempts = 2;
    QueueEntry directory = Entry(QueueEntry::Upload, QueueEntry::Waiting, u"/home/u/dir"_s, "dir");
    directory.isDirectory = true;
    directory.sizeText.clear();
    QueueEntry running = Entry(QueueEntry::Upload, QueueEntry::Running, u"/l/big"_s, "/r/big");
    running.bytesDone = 999;
    QueueEntry waiting = running;
    waiting.state = QueueEntry::Waiting;

    QTest::newRow("empty") << QList<QueueEntry>() << QList<QueueEntry>();
    QTest::newRow("failed with reason, raw remote bytes, a directory")
        << QList<QueueEntry>{failed, directory} << QList<QueueEntry>{failed, directory};
    QTest::newRow("running waits after a restart, bytes kept")
        << QList<QueueEntry>{directory, running} << QList<QueueEntry>{directory, waiting};
}

void TestQueueStore::roundTrip()
{
    QFETCH(QList<QueueEntry>, saved);
    QFETCH(QList<QueueEntry>, loaded);
    const QString path = dir_.filePath(QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'_') + u".sqlite"_s);
    {
        QueueStore store(path);
        QCOMPARE(store.Open(), QueueStore::OpenResult::Created);
        // The second save replaces the first.
        QVERIFY(store.Save(Generation(5)));
        QVERIFY(store.Save(saved));
    }
    QueueStore store(path);
    QCOMPARE(store.Open(), QueueStore::OpenResult::Opened);
    QCOMPARE(store.Load(), loaded);
}

void TestQueueStore::damagedFileKeptAside_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("newer");
    QByteArray garbage(8192, '\0');
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32 *>(garbage.data()), garbage.size() / 4);
    QTest::newRow("garbage") << garbage << false;
    QTest::newRow("text") << QByteArray("not a database\r\n") << false;
    QTest::newRow("SQLite header, garbage pages") << QByteArray("SQLite format 3\0", 16) + garbage << false;
    // A sound file of a later schema: told apart from a damaged one.
    const QString newer = dir_.filePath(u"newer-source.sqlite"_s);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"newer"_s);
        db.setDatabaseName(newer);
        QVERIFY(db.open());
        QSqlQuery query(db);
        QVERIFY(query.exec(u"CREATE TABLE entries (position INTEGER PRIMARY KEY, what TEXT)"_s));
        QVERIFY(query.exec(u"PRAGMA user_version=99"_s));
        db.close();
    }
    QSqlDatabase::removeDatabase(u"newer"_s);
    QFile file(newer);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QTest::newRow("a newer version's file") << file.readAll() << true;
}

void TestQueueStore::damagedFileKeptAside()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, newer);
    const QString path = dir_.filePath(u"damaged-%1.sqlite"_s.arg(QTest::currentDataTag()[0]));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    QueueStore store(path);
    QCOMPARE(store.Open(), QueueStore::OpenResult::KeptAside);
    QVERIFY(store.Load().isEmpty());
    QVERIFY(!store.LastError().isEmpty());
    QCOMPARE(store.KeptAsideFromNewerVersion(), newer);
    QFile aside(store.KeptAsidePath());
    QVERIFY2(aside.open(QIODevice::ReadOnly), qPrintable(store.KeptAsidePath()));
    QCOMPARE(aside.readAll(), bytes);
    // The fresh file in its place serves.
    QVERIFY(store.Save(Generation(3)));
    QueueStore again(path);
    QCOMPARE(again.Open(), QueueStore::OpenResult::Opened);
    QCOMPARE(again.Load().size(), 4);
}

void TestQueueStore::killedWriterLeavesSoundFile()
{
    const QString path = dir_.filePath(u"killed.sqlite"_s);
    int committed = -1;
    for (int cycle = 0; cycle < 20; ++cycle) {
        QProcess writer;
        writer.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(kWriterMode), path});
        QVERIFY(writer.waitForStarted());
        // Killed once it has committed something, at a moment of its writing.
        QVERIFY(writer.waitForReadyRead(10000));
        QTest::qWait(QRandomGenerator::global()->bounded(5, 60));
        writer.kill();  // SIGKILL
        QVERIFY(writer.waitForFinished());
        const QList<QByteArray> lines = writer.readAllStandardOutput().split('\n');
        QVERIFY(lines.size() >= 2);
        const int printed = lines[lines.size() - 2].toInt();
        QVERIFY(printed > committed);

        QueueStore store(path);
        QCOMPARE(store.Open(), QueueStore::OpenResult::Opened);
        QCOMPARE(store.IntegrityCheck(), u"ok"_s);
        const QList<QueueEntry> entries = store.Load();
        QVERIFY(!entries.isEmpty());
        committed = entries.first().sizeText.toInt();
        // Whole: one generation, every entry of it; nothing committed is lost
        // (the last one may have been committed but not yet printed).
        QCOMPARE(entries.size(), committed % 7 + 1);
        for (const QueueEntry &e : entries)
            QCOMPARE(e.sizeText.toInt(), committed);
        QVERIFY2(committed == printed || committed == printed + 1,
                 qPrintable(u"printed %1, read %2"_s.arg(printed).arg(committed)));
    }
}

// The file stops growing: the keeper says so once, the list keeps every
// entry, and the file still holds its last whole queue.
void TestQueueStore::fullDiskKeepsLastQueueAndSaysSo()
{
    const QString path = dir_.filePath(u"full.sqlite"_s);
    QProcess writer;
    writer.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(kFullDiskMode), path});
    QVERIFY(writer.waitForFinished(60000));
    QCOMPARE(writer.exitCode(), 0);
    const QByteArray said = writer.readAllStandardOutput().trimmed();
    QVERIFY2(said.startsWith("failed ") && said.mid(7).toInt() > 1, said.constData());
    QueueStore store(path);
    QCOMPARE(store.Open(), QueueStore::OpenResult::Opened);
    const QList<QueueEntry> kept = store.Load();
    QVERIFY(!kept.isEmpty() && kept.size() < said.mid(7).toInt());
    QCOMPARE(kept.first().localPath, u"/l/first"_s);
}

// The rows of files in flight share the list with the entries: the file
// holds the entries alone, and the last entry leaving beside a file in
// flight still empties it.
void TestQueueStore::filesInFlightAreNotKept()
{
    const QString path = dir_.filePath(u"flying.sqlite"_s);
    const auto stored = [&] {
        QueueStore reader(path);
        reader.Open();
        return reader.Load();
    };
    QueueModel model;
    QueueKeeper keeper(&model, path);
    QCOMPARE(keeper.Open(), QueueStore::OpenResult::Created);
    const QueueEntry entry = Entry(QueueEntry::Download, QueueEntry::Waiting, u"/l/a"_s, "/r/a");
    model.Append({entry});
    model.ShowFileInFlight(7, Entry(QueueEntry::Upload, QueueEntry::Waiting, u"/l/tree/f"_s, "/r/tree/f"));
    model.SetFileInFlightProgress(7, 10, 5);
    keeper.Flush();
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(stored(), QList<QueueEntry>{entry});
    model.Remove({0});
    QCOMPARE(stored(), QList<QueueEntry>());
    model.Append({entry});
    model.DropFileInFlight(7);
    keeper.Flush();
    QCOMPARE(model.rowCount(), 1);
    QCOMPARE(stored(), QList<QueueEntry>{entry});
}

// A second window (建立进程) keeps its queue in a file of its own instead of
// writing over the first one's; a later start takes in what a window that
// has ended left behind.
void TestQueueStore::twoWindowsKeepTheirOwnQueues()
{
    const QString path = dir_.filePath(u"shared.sqlite"_s), second = dir_.filePath(u"shared-2.sqlite"_s);
    const QueueEntry a = Entry(QueueEntry::Download, QueueEntry::Waiting, u"/l/a"_s, "/r/a");
    const QueueEntry b = Entry(QueueEntry::Upload, QueueEntry::Failed, u"/l/b"_s, "/r/b");
    auto first = std::make_unique<QueueModel>(), other = std::make_unique<QueueModel>();
    auto firstKeeper = std::make_unique<QueueKeeper>(first.get(), path);
    auto otherKeeper = std::make_unique<QueueKeeper>(other.get(), path);
    firstKeeper->Open();
    otherKeeper->Open();
    QCOMPARE(otherKeeper->HeldElsewhere(), path);
    QCOMPARE(otherKeeper->Store().Path(), second);
    first->Append({a});
    other->Append({b});
    first->Append({a});  // the first one's later change must not drop the other's entry
    QCOMPARE(other->entries(), QList<QueueEntry>{b});

    // The first window closes and opens again while the other still runs.
    firstKeeper.reset();
    QueueModel again;
    auto againKeeper = std::make_unique<QueueKeeper>(&again, path);
    againKeeper->Open();
    QCOMPARE(again.entries(), (QList<QueueEntry>{a, a}));
    QCOMPARE(againKeeper->TakenIn(), 0);

    // Both end: the next start shows every entry, and the second file is gone.
    againKeeper.reset();
    otherKeeper.reset();
    QueueModel last;
    QueueKeeper lastKeeper(&last, path);
    lastKeeper.Open();
    QCOMPARE(last.entries(), (QList<QueueEntry>{a, a, b}));
    QCOMPARE(lastKeeper.TakenIn(), 1);
    QVERIFY(!QFileInfo::exists(second));
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], kFullDiskMode) == 0)
        return RunFullDisk(QString::fromLocal8Bit(argv[2]));
    if (argc == 3 && qstrcmp(argv[1], kWriterMode) == 0)
        return RunWriter(QString::fromLocal8Bit(argv[2]));
    TestQueueStore test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_queue_store.moc"
