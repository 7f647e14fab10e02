// The transfer connections of a session against real servers: trees spread
// over several connections arrive whole, a connection cut mid-file costs only
// a retry of that file, a server that takes fewer logins than asked for is
// made do with, and the shared speed limit's arithmetic.

#include "byte_pattern.h"
#include "core/transfer_pool.h"
#include "engine/ftp.h"
#include "peer_server.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <numeric>

using namespace Qt::StringLiterals;
using testsupport::PeerServer;

namespace {

ConnectionProfile ProfileOf(const PeerServer &server)
{
    ConnectionProfile profile;
    profile.server = server.Host();
    profile.port = server.Port();
    profile.username = server.User().toUtf8();
    profile.password = server.Password().toUtf8();
    profile.passive = true;
    profile.timeoutSeconds = 20;
    return profile;
}

QByteArray RemoteOf(const PeerServer &server, const QString &relative)
{
    QByteArray base = server.LoginDirectory();
    if (!base.endsWith('/'))
        base += '/';
    return base + relative.toUtf8();
}

// What the pool reported, for the checks.
struct PoolRecord {
    QHash<quint64, TransferOutcome> finished;
    QSet<int> connections;
    int running = 0;
    int peakRunning = 0;
    int retries = 0;
    int refusals = 0;

    explicit PoolRecord(TransferPool &pool)
    {
        QObject::connect(&pool, &TransferPool::JobStarted, &pool, [this](const TransferJob &, int connection) {
            connections.insert(connection);
            peakRunning = std::max(peakRunning, ++running);
        });
        QObject::connect(&pool, &TransferPool::JobRetrying, &pool, [this](const TransferJob &, const TransferOutcome &) {
            --running;
            ++retries;
        });
        QObject::connect(&pool, &TransferPool::JobFinished, &pool,
                         [this](const TransferJob &job, const TransferOutcome &outcome) {
                             --running;
                             finished.insert(job.id, outcome);
                         });
        QObject::connect(&pool, &TransferPool::ConnectionsRefused, &pool, [this] { ++refusals; });
    }
    // Empty when every file arrived; else the first failure.
    QString Failure() const
    {
        for (const TransferOutcome &o : finished) {
            if (!o.ok)
                return u"error %1: %2"_s.arg(int(o.error)).arg(o.detail);
        }
        return QString();
    }
};

} // namespace

// A server of the kind with its default options, or the test skipped where
// that kind is not installed.
#define START_SERVER_OR_SKIP(var, kind)                                                                   \
    QString var##Why;                                                                                       \
    if (!PeerServer::Available(kind, &var##Why))                                                            \
        QSKIP(qPrintable(var##Why));                                                                        \
    auto var = PeerServer::Start(kind, &var##Why);                                                          \
    QVERIFY2(var, qPrintable(var##Why))

class TestTransferPool : public QObject {
    Q_OBJECT
private slots:
    void treeOverSeveralConnections_data();
    void treeOverSeveralConnections();
    void cutConnectionRetriesItsFileOnly();
    void retryOfAnUntouchedTargetAsks_data();
    void retryOfAnUntouchedTargetAsks();
    void countLoweredMidRun();
    void serverTakingFewerLogins_data();
    void serverTakingFewerLogins();
    void serverGoneFailsTheFiles();
    void speedLimitShares_data();
    void speedLimitShares();
};

void TestTransferPool::treeOverSeveralConnections_data()
{
    QTest::addColumn<PeerServer::Kind>("kind");
    QTest::addColumn<bool>("download");
    QTest::addColumn<bool>("tls");
    QTest::newRow("vsftpd download") << PeerServer::Kind::Vsftpd << true << false;
    QTest::newRow("vsftpd upload") << PeerServer::Kind::Vsftpd << false << false;
    QTest::newRow("pyftpdlib download, TLS required") << PeerServer::Kind::Pyftpdlib << true << true;
    QTest::newRow("pure-ftpd upload") << PeerServer::Kind::PureFtpd << false << false;
}

// 200 files in 10 folders with 4 connections: every file whole and in place.
void TestTransferPool::treeOverSeveralConnections()
{
    QFETCH(PeerServer::Kind, kind);
    QFETCH(bool, download);
    QFETCH(bool, tls);
    QString why;
    if (!PeerServer::Available(kind, &why))
        QSKIP(qPrintable(why));
    PeerServer::Options options;
    options.tls = tls ? PeerServer::Options::Tls::ExplicitRequired : PeerServer::Options::Tls::None;
    auto server = PeerServer::Start(kind, options, &why);
    QVERIFY2(server, qPrintable(why));
    QTemporaryDir local;
    constexpr int kFiles = 200;
    auto content = [](int i) { return Pattern(1000 + i * 37, quint32(i + 1)); };
    auto relative = [](int i) { return u"tree/d%1/f%2.bin"_s.arg(i % 10).arg(i); };
    // The walk makes the folders before it hands their files out; here the test does.
    for (int i = 0; i < 10; ++i) {
        QVERIFY(server->MakeDirectory(u"tree/d%1"_s.arg(i)));
        QVERIFY(QDir().mkpath(local.filePath(u"tree/d%1"_s.arg(i))));
    }
    for (int i = 0; i < kFiles; ++i) {
        if (download) {
            QVERIFY(server->PutFile(relative(i), content(i)));
        } else {
            QFile file(local.filePath(relative(i)));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(content(i));
        }
    }

    TransferPool pool;
    ConnectionProfile profile = ProfileOf(*server);
    if (tls) {
        profile.tlsMode = tlsExplicitRequired;
        profile.acceptedCertificates << server->CertificateSha256();
    }
    pool.SetProfile(profile);
    pool.SetMaxConnections(4);
    PoolRecord record(pool);
    for (int i = 0; i < kFiles; ++i) {
        TransferJob job;
        job.direction = download ? TransferJob::Download : TransferJob::Upload;
        job.remotePath = RemoteOf(*server, relative(i));
        job.localPath = local.filePath(relative(i));
        QVERIFY(pool.Submit(job));
    }
    // The same target again while it waits is refused.
    TransferJob twin;
    twin.direction = download ? TransferJob::Download : TransferJob::Upload;
    twin.remotePath = RemoteOf(*server, relative(0));
    twin.localPath = local.filePath(relative(0));
    QVERIFY(!pool.Submit(twin));

    QVERIFY2(QTest::qWaitFor([&] { return record.finished.size() == kFiles; }, 120000),
             qPrintable(u"%1 of %2 finished"_s.arg(record.finished.size()).arg(kFiles)));
    QCOMPARE(record.Failure(), QString());
    // A connection that failed is replaced, so more than four may have served.
    QVERIFY2(record.peakRunning <= 4 && record.peakRunning >= 2,
             qPrintable(u"%1 connections, %2 at once"_s.arg(record.connections.size()).arg(record.peakRunning)));
    for (int i = 0; i < kFiles; ++i) {
        QFile file(local.filePath(relative(i)));
        const QByteArray arrived = download ? (file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray())
                                            : server->ReadFile(relative(i));
        QVERIFY2(arrived == content(i), qPrintable(relative(i)));
    }
    QVERIFY(!pool.Busy());
}

// One session process of the server killed mid-file: that file fails with its
// connection, is tried again, and everything arrives.
void TestTransferPool::cutConnectionRetriesItsFileOnly()
{
    START_SERVER_OR_SKIP(server, PeerServer::Kind::Vsftpd);
    QTemporaryDir local;
    constexpr int kFiles = 4;
    constexpr qint64 kSize = 3 * 1024 * 1024;
    for (int i = 0; i < kFiles; ++i)
        QVERIFY(server->PutFile(u"big%1.bin"_s.arg(i), Pattern(kSize, quint32(i + 7))));
    TransferPool pool;
    pool.SetProfile(ProfileOf(*server));
    pool.SetMaxConnections(2);
    // Slow enough that a cut lands inside a file.
    pool.SetSpeedLimits(4 * 1024 * 1024, 0);
    PoolRecord record(pool);
    qint64 furthest = 0;
    connect(&pool, &TransferPool::JobProgress, this,
            [&](const TransferJob &, qint64 done, qint64) { furthest = std::max(furthest, done); });
    const QList<qint64> before = server->ProcessIds();
    for (int i = 0; i < kFiles; ++i) {
        TransferJob job;
        job.remotePath = RemoteOf(*server, u"big%1.bin"_s.arg(i));
        job.localPath = local.filePath(u"big%1.bin"_s.arg(i));
        QVERIFY(pool.Submit(job));
    }
    QVERIFY(QTest::qWaitFor([&] { return furthest > kSize / 4; }, 30000));
    QList<qint64> sessions = server->ProcessIds();
    for (qint64 pid : before)
        sessions.removeAll(pid);
    QVERIFY2(!sessions.isEmpty(), "no session process to cut");
    ::kill(pid_t(sessions.last()), SIGKILL);
    QVERIFY(QTest::qWaitFor([&] { return record.finished.size() == kFiles; }, 60000));
    QCOMPARE(record.Failure(), QString());
    QCOMPARE(record.retries, 1);
    for (int i = 0; i < kFiles; ++i) {
        QFile file(local.filePath(u"big%1.bin"_s.arg(i)));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY2(file.readAll() == Pattern(kSize, quint32(i + 7)), qPrintable(file.fileName()));
    }
}

void TestTransferPool::retryOfAnUntouchedTargetAsks_data()
{
    QTest::addColumn<bool>("download");
    QTest::addColumn<bool>("written");
    QTest::newRow("download, the user's file") << true << false;
    QTest::newRow("upload, the server's file") << false << false;
    QTest::newRow("download, its own partial file") << true << true;
}

// A retry whose earlier attempt failed before it touched the target (a
// connection found dead, a cut before the question) must not resume onto or
// overwrite the file already there without asking; one that wrote it goes on.
void TestTransferPool::retryOfAnUntouchedTargetAsks()
{
    QFETCH(bool, download);
    QFETCH(bool, written);
    START_SERVER_OR_SKIP(server, PeerServer::Kind::Vsftpd);
    QTemporaryDir local;
    const QByteArray source = Pattern(200000, 5);
    // Its own attempt left the head of the file; the user's file is another.
    const QByteArray existing = written ? source.left(50000) : Pattern(50000, 9);
    QFile file(local.filePath(u"f.bin"_s));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(download ? existing : source);
    file.close();
    QVERIFY(server->PutFile(u"f.bin"_s, download ? source : existing));

    TransferPool pool;
    pool.SetProfile(ProfileOf(*server));
    PoolRecord record(pool);
    int asked = 0;
    pool.OnQuestion = [&](const TransferQuestion &) { ++asked; return QString(); };  // keep it
    TransferJob job;
    job.direction = download ? TransferJob::Download : TransferJob::Upload;
    job.remotePath = RemoteOf(*server, u"f.bin"_s);
    job.localPath = file.fileName();
    job.attempts = 1;  // the next is a retry
    job.targetWritten = written;
    QVERIFY(pool.Submit(job));
    QVERIFY(QTest::qWaitFor([&] { return record.finished.size() == 1; }, 20000));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray target = download ? file.readAll() : server->ReadFile(u"f.bin"_s);
    QCOMPARE(asked, written ? 0 : 1);
    QVERIFY(target == (written ? source : existing));
}

// The user lowers 同时传输的文件数 while files move: the files running go
// on, and no new one starts until fewer run than the new count.
void TestTransferPool::countLoweredMidRun()
{
    START_SERVER_OR_SKIP(server, PeerServer::Kind::Vsftpd);
    QTemporaryDir local;
    for (int i = 0; i < 6; ++i)
        QVERIFY(server->PutFile(u"c%1.bin"_s.arg(i), Pattern(200000, quint32(i))));
    TransferPool pool;
    pool.SetProfile(ProfileOf(*server));
    pool.SetMaxConnections(3);
    pool.SetSpeedLimits(600000, 0);  // a second a file while three move
    PoolRecord record(pool);
    int startedOverCount = 0;
    connect(&pool, &TransferPool::JobStarted, this, [&] {
        if (pool.MaxConnections() == 1 && record.running > 1)
            ++startedOverCount;
    });
    for (int i = 0; i < 6; ++i) {
        TransferJob job;
        job.remotePath = RemoteOf(*server, u"c%1.bin"_s.arg(i));
        job.localPath = local.filePath(u"c%1.bin"_s.arg(i));
        QVERIFY(pool.Submit(job));
    }
    QVERIFY(QTest::qWaitFor([&] { return record.running == 3; }, 10000));
    pool.SetMaxConnections(1);
    QVERIFY(QTest::qWaitFor([&] { return record.finished.size() == 6; }, 30000));
    QCOMPARE(record.Failure(), QString());
    QCOMPARE(startedOverCount, 0);
}

void TestTransferPool::serverTakingFewerLogins_data()
{
    QTest::addColumn<int>("perAddress");
    QTest::addColumn<int>("expectedConnections");
    QTest::addColumn<bool>("refused");
    // The browsing connection holds one login; the pool gets the rest.
    QTest::newRow("two per address: one transfer connection") << 2 << 1 << false;
    QTest::newRow("one per address: none, the owner takes the files") << 1 << 0 << true;
}

void TestTransferPool::serverTakingFewerLogins()
{
    QFETCH(int, perAddress);
    QFETCH(int, expectedConnections);
    QFETCH(bool, refused);
    QString why;
    if (!PeerServer::Available(PeerServer::Kind::Pyftpdlib, &why))
        QSKIP(qPrintable(why));
    PeerServer::Options options;
    options.maxConnectionsPerAddress = perAddress;
    auto server = PeerServer::Start(PeerServer::Kind::Pyftpdlib, options, &why);
    QVERIFY2(server, qPrintable(why));
    for (int i = 0; i < 6; ++i)
        QVERIFY(server->PutFile(u"f%1.txt"_s.arg(i), Pattern(5000, quint32(i + 3))));
    // The ready check of the peer used a connection: let the server see it gone.
    QTest::qWait(200);
    TMFtp browsing;
    ProfileOf(*server).ApplyTo(browsing);
    bool in = false;
    browsing.OnLoggedIn = [&](QObject *) { in = true; };
    browsing.Connect();
    QVERIFY(QTest::qWaitFor([&] { return in; }, 10000));

    QTemporaryDir local;
    TransferPool pool;
    pool.SetProfile(ProfileOf(*server));
    pool.SetMaxConnections(4);
    PoolRecord record(pool);
    for (int i = 0; i < 6; ++i) {
        TransferJob job;
        job.remotePath = RemoteOf(*server, u"f%1.txt"_s.arg(i));
        job.localPath = local.filePath(u"f%1.txt"_s.arg(i));
        QVERIFY(pool.Submit(job));
    }
    if (refused) {
        QVERIFY(QTest::qWaitFor([&] { return record.refusals > 0; }, 20000));
        // Nothing lost: every file still waits for the owner to take.
        QCOMPARE(pool.TakeWaiting().size(), 6);
        QVERIFY(record.finished.isEmpty());
        return;
    }
    QVERIFY(QTest::qWaitFor([&] { return record.finished.size() == 6; }, 30000));
    QCOMPARE(record.Failure(), QString());
    QCOMPARE(record.connections.size(), expectedConnections);
    QCOMPARE(pool.LearnedLimit(), expectedConnections);
    QCOMPARE(record.refusals, 0);
}

// Nothing listens any more (the server died): the files fail with that
// instead of waiting for the browsing connection to carry them.
void TestTransferPool::serverGoneFailsTheFiles()
{
    START_SERVER_OR_SKIP(server, PeerServer::Kind::Pyftpdlib);
    const ConnectionProfile profile = ProfileOf(*server);
    server->Stop();
    QTemporaryDir local;
    TransferPool pool;
    pool.SetProfile(profile);
    pool.SetMaxConnections(3);
    PoolRecord record(pool);
    for (int i = 0; i < 5; ++i) {
        TransferJob job;
        job.remotePath = "/f" + QByteArray::number(i);
        job.localPath = local.filePath(u"f%1"_s.arg(i));
        QVERIFY(pool.Submit(job));
    }
    QVERIFY(QTest::qWaitFor([&] { return record.finished.size() == 5; }, 20000));
    QCOMPARE(record.refusals, 0);
    QCOMPARE(record.Failure(), u"error %1: Connection Refused"_s.arg(int(ftpeConnectionRefused)));
}

void TestTransferPool::speedLimitShares_data()
{
    QTest::addColumn<qint64>("rate");
    QTest::addColumn<int>("takers");
    QTest::addColumn<qint64>("slowTakerWants");  // 0: every taker wants all it can get
    QTest::newRow("100 KiB/s, one taker") << qint64(100 * 1024) << 1 << qint64(0);
    QTest::newRow("100 KiB/s, four takers") << qint64(100 * 1024) << 4 << qint64(0);
    QTest::newRow("10 MiB/s, ten takers") << qint64(10 * 1024 * 1024) << 10 << qint64(0);
    QTest::newRow("1 MiB/s, one of four slow") << qint64(1024 * 1024) << 4 << qint64(1024);
}

// Over ten simulated seconds the takers together get the rate, within the
// bucket, whatever their number, each asking again when it was told to. Each
// gets its even share, and what a slow one leaves goes to the others.
void TestTransferPool::speedLimitShares()
{
    QFETCH(qint64, rate);
    QFETCH(int, takers);
    QFETCH(qint64, slowTakerWants);
    static qint64 now = 0;
    now = 0;
    RateLimiter limiter;
    limiter.SetClockForTest([] { return now; });
    limiter.SetRate(rate);
    QList<qint64> nextAsk(takers, 0), got(takers, 0);
    const int slow = slowTakerWants > 0 ? takers - 1 : takers;  // the last one, if any
    for (; now < 10000; ++now) {
        for (int t = 0; t < takers; ++t) {
            if (nextAsk[t] > now)
                continue;
            int waitMs = 0;
            const qint64 granted = limiter.Take(t == slow ? slowTakerWants : 256 * 1024, &waitMs, &got[t]);
            QVERIFY(granted > 0 ? waitMs == 0 : waitMs > 0);
            got[t] += granted;
            nextAsk[t] = now + (granted > 0 ? (t == slow ? 100 : 1) : waitMs);
        }
    }
    const qint64 total = std::accumulate(got.begin(), got.end(), qint64(0));
    QVERIFY2(total <= rate * 10 + rate / 10 + 1024 && total >= rate * 10 * 95 / 100, qPrintable(QString::number(total)));
    const int greedy = slow < takers ? takers - 1 : takers;
    const qint64 fair = (total - (slow < takers ? got[slow] : 0)) / greedy;
    for (int t = 0; t < greedy; ++t)
        QVERIFY2(got[t] >= fair * 8 / 10, qPrintable(u"taker %1: %2 of %3"_s.arg(t).arg(got[t]).arg(total)));
}

QTEST_GUILESS_MAIN(TestTransferPool)
#include "tst_transfer_pool.moc"
