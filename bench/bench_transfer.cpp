// Transfer benchmark: 1 GiB down and up over loopback from vsftpd, by the
// engine and by curl in the same run, with the engine's memory before, during
// and after; and a listing of 100 000 entries received, parsed and filed.
// It prints figures and asserts nothing.
//
// Each transfer also shows the CPU seconds vsftpd and the client spent on it:
// vsftpd's own CPU per GiB varies a lot from round to round, so a rate ratio
// alone cannot tell a slow client from a slow server.
//
//   bench_transfer [--size MiB] [--entries N] [--rounds N]

#include "bench_files.h"
#include "engine/ftp.h"
#include "peer_server.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QEventLoop>
#include <QTimer>
#include <QThread>
#include <algorithm>
#include <functional>
#include <cstdio>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

using testsupport::PeerServer;

using bench::StatusKb;
using bench::WriteBigFile;

namespace {

// Kilobytes from /proc/self/status ("VmRSS", "VmHWM").
double Seconds(const timeval &user, const timeval &system)
{
    return double(user.tv_sec + system.tv_sec) + double(user.tv_usec + system.tv_usec) / 1e6;
}

// User plus system CPU seconds of this process (RUSAGE_SELF) or of its
// children that have been waited for (RUSAGE_CHILDREN).
double RusageSeconds(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    return Seconds(usage.ru_utime, usage.ru_stime);
}

// The fields of /proc/<pid>/stat after the name, counted from 0 at the state;
// the name may hold spaces and parentheses, so they start after the last ')'.
QByteArrayList StatFields(qint64 pid, QByteArray *name = nullptr)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return {};
    const QByteArray text = stat.readAll();
    const qsizetype close = text.lastIndexOf(')');
    if (name)
        *name = text.mid(text.indexOf('(') + 1, close - text.indexOf('(') - 1);
    return text.mid(close + 2).split(' ');
}

// vsftpd's privileged session process may exit on the end of its socket
// before its SIGCHLD handler has reaped the worker; the orphaned worker then
// comes to us (a child subreaper, see main) instead of to init. We do not reap
// it, so as a zombie it keeps its CPU times readable.
QList<qint64> AdoptedSessionProcesses(qint64 listener)
{
    QList<qint64> adopted;
    const QByteArray self = QByteArray::number(qint64(getpid()));
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool numeric = false;
        const qint64 pid = entry.toLongLong(&numeric);
        if (!numeric || pid == listener)
            continue;
        QByteArray name;
        const QByteArrayList fields = StatFields(pid, &name);
        if (fields.size() > 1 && fields[1] == self && name == "vsftpd")
            adopted << pid;
    }
    return adopted;
}

// CPU seconds of the server: utime+stime of the listener, every descendant
// and every adopted session process, plus the listener's cutime+cstime, which
// holds the sessions it has reaped.
double ServerCpuSeconds(const PeerServer &server)
{
    const qint64 listener = server.ProcessId();
    qulonglong ticks = 0;
    for (qint64 pid : server.ProcessIds() + AdoptedSessionProcesses(listener)) {
        const QByteArrayList fields = StatFields(pid);
        if (fields.size() < 15)
            continue;
        ticks += fields[11].toULongLong() + fields[12].toULongLong();  // utime, stime
        if (pid == listener)
            ticks += fields[13].toULongLong() + fields[14].toULongLong();  // cutime, cstime
    }
    return double(ticks) / double(sysconf(_SC_CLK_TCK));
}

// A curl session's processes outlive curl for a moment; one reaped between the
// reading of the listener's stat and its own would go uncounted, so the sample
// after curl waits until they are gone.
void WaitForSessionsAtMost(const PeerServer &server, qsizetype processes)
{
    QElapsedTimer timer;
    timer.start();
    while (server.ProcessIds().size() > processes && timer.elapsed() < 3000)
        QThread::msleep(5);
}

double Median(QList<double> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    const qsizetype n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

struct EngineRun {
    double seconds = 0;
    double cpuSeconds = 0;
    bool ok = false;
    qint64 rssBeforeKb = 0, rssPeakDuringKb = 0, rssAfterKb = 0;
};

class Session {
public:
    explicit Session(PeerServer &server) : server_(server)
    {
        ftp_.OnFtpInfo = [this](QObject *, FtpInfo info, const QString &) {
            if (info == ftpiProgress && ++progress_ % 64 == 0)
                rssPeak_ = qMax(rssPeak_, StatusKb("VmRSS"));
        };
        ftp_.OnFtpError = [](QObject *, FtpError error, const QString &text) {
            std::fprintf(stderr, "engine error %d %s\n", int(error), qPrintable(text));
        };
        ftp_.OnLoggedIn = [this](QObject *) { Done(); };
        ftp_.OnFileReceived = [this](QObject *) { Done(); };
        ftp_.OnFileStored = [this](QObject *) { Done(); };
        ftp_.OnListingDone = [this](QObject *) { Done(); };
        ftp_.OnFtpQuit = [this](QObject *) { Done(); };
    }

    bool Login()
    {
        ftp_.SetServer(server_.Host());
        ftp_.Port = server_.Port();
        ftp_.Username = server_.User().toUtf8();
        ftp_.SetPassword(server_.Password().toUtf8());
        ftp_.Passive = true;
        return Wait([this] { ftp_.Connect(); }) && ftp_.LoggedIn();
    }

    EngineRun Transfer(bool download, const QByteArray &remote, const QString &local)
    {
        EngineRun run;
        ftp_.RemoteFile = remote;
        ftp_.LocalFile = local;
        run.rssBeforeKb = StatusKb("VmRSS");
        rssPeak_ = run.rssBeforeKb;
        const double cpuBefore = RusageSeconds(RUSAGE_SELF);
        QElapsedTimer timer;
        timer.start();
        run.ok = Wait([&] { download ? ftp_.Download() : ftp_.Upload(); }) && ftp_.Success();
        run.seconds = timer.nsecsElapsed() / 1e9;
        run.cpuSeconds = RusageSeconds(RUSAGE_SELF) - cpuBefore;
        run.rssPeakDuringKb = rssPeak_;
        run.rssAfterKb = StatusKb("VmRSS");
        return run;
    }

    double List(const QByteArray &mask, qsizetype *entries)
    {
        ftp_.FileMask = mask;
        QElapsedTimer timer;
        timer.start();
        const bool ok = Wait([&] { ftp_.List(); });
        const double ms = timer.nsecsElapsed() / 1e6;
        *entries = ok ? ftp_.FileNames.size() + ftp_.DirectoryNames.size() : -1;
        ftp_.FileMask.clear();
        return ms;
    }

private:
    // A real event loop, as the program runs: QTest::qWaitFor naps between
    // its rounds and would measure its own naps.
    template <typename Start>
    bool Wait(Start start)
    {
        done_ = false;
        QEventLoop loop;
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
        guard.start(600000);
        quit_ = [&loop] { loop.quit(); };
        start();
        if (!done_)
            loop.exec();
        quit_ = nullptr;
        return done_;
    }
    void Done()
    {
        done_ = true;
        if (quit_)
            quit_();
    }
    std::function<void()> quit_;

    PeerServer &server_;
    TMFtp ftp_;
    bool done_ = false;
    qint64 progress_ = 0;
    qint64 rssPeak_ = 0;
};

// Wall seconds; curl's CPU seconds from the children's rusage once it is reaped.
double CurlSeconds(const QStringList &arguments, bool *ok, double *cpuSeconds)
{
    QProcess curl;
    const double cpuBefore = RusageSeconds(RUSAGE_CHILDREN);
    QElapsedTimer timer;
    timer.start();
    curl.start(QStringLiteral("curl"), arguments);
    *ok = curl.waitForFinished(600000) && curl.exitStatus() == QProcess::NormalExit && curl.exitCode() == 0;
    const double seconds = timer.nsecsElapsed() / 1e9;
    *cpuSeconds = RusageSeconds(RUSAGE_CHILDREN) - cpuBefore;
    if (!*ok)
        std::fprintf(stderr, "curl: %s\n", curl.readAllStandardError().constData());
    return seconds;
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser options;
    options.addHelpOption();
    options.addOption({QStringLiteral("size"), QStringLiteral("file size in MiB"), QStringLiteral("MiB"), QStringLiteral("1024")});
    options.addOption({QStringLiteral("entries"), QStringLiteral("listing entries"), QStringLiteral("N"), QStringLiteral("100000")});
    options.addOption({QStringLiteral("rounds"), QStringLiteral("rounds per direction"), QStringLiteral("N"), QStringLiteral("2")});
    options.process(app);
    const qint64 size = options.value(QStringLiteral("size")).toLongLong() * 1024 * 1024;
    const int entries = options.value(QStringLiteral("entries")).toInt();
    const int rounds = qMax(1, options.value(QStringLiteral("rounds")).toInt());

    // Orphaned vsftpd session processes come to us rather than to init, whose
    // accounting we cannot read apart from everything else on the machine.
    prctl(PR_SET_CHILD_SUBREAPER, 1);

    QString why;
    if (!PeerServer::Available(PeerServer::Kind::Vsftpd, &why)) {
        std::fprintf(stderr, "vsftpd cannot run: %s\n", qPrintable(why));
        return 1;
    }
    PeerServer::Options serverOptions;
    serverOptions.rootOnTmpfs = true;
    std::unique_ptr<PeerServer> server = PeerServer::Start(PeerServer::Kind::Vsftpd, serverOptions, &why);
    if (!server) {
        std::fprintf(stderr, "vsftpd did not start: %s\n", qPrintable(why));
        return 1;
    }
    const QString shm = QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    QTemporaryDir local(shm + QStringLiteral("/tarvo-bench-XXXXXX"));
    const QString source = local.filePath(QStringLiteral("source.bin"));
    if (!server->PutFile(QStringLiteral("big.bin"), QByteArray()) || !WriteBigFile(server->PathOf(QStringLiteral("big.bin")), size)
        || !WriteBigFile(source, size)) {
        std::fprintf(stderr, "cannot write the test files\n");
        return 1;
    }

    std::printf("TransferBlockSize %d bytes, file %lld MiB, vsftpd on 127.0.0.1, files on %s\n",
                TMFtp::TransferBlockSize, size >> 20, qPrintable(shm));
    Session session(*server);
    if (!session.Login()) {
        std::fprintf(stderr, "login failed\n");
        return 1;
    }
    const QString url = QStringLiteral("ftp://%1:%2@127.0.0.1:%3/").arg(server->User(), server->Password()).arg(server->Port());
    const double mib = double(size) / (1024 * 1024);
    const double gib = mib / 1024;
    std::printf("CPU seconds per transfer (user+system): server = vsftpd listener and its sessions, "
                "client = the engine's process or curl\n");
    for (bool download : {true, false}) {
        QList<double> engineRates, curlRates, engineServerCpu, curlServerCpu, engineCpu, curlCpu;
        for (int round = 1; round <= rounds; ++round) {
            const QString engineLocal = local.filePath(QStringLiteral("engine.bin"));
            // The listener and the engine's session: a curl session beyond them is gone once reaped.
            const qsizetype baseProcesses = server->ProcessIds().size();
            const double engineServerBefore = ServerCpuSeconds(*server);
            const EngineRun run = download ? session.Transfer(true, "big.bin", engineLocal)
                                           : session.Transfer(false, "up_engine.bin", source);
            const double engineServer = ServerCpuSeconds(*server) - engineServerBefore;
            bool curlOk = false;
            double curlClient = 0;
            const double curlServerBefore = ServerCpuSeconds(*server);
            const double curlSeconds =
                download ? CurlSeconds({QStringLiteral("-s"), QStringLiteral("-o"), local.filePath(QStringLiteral("curl.bin")),
                                        url + QStringLiteral("big.bin")}, &curlOk, &curlClient)
                         : CurlSeconds({QStringLiteral("-s"), QStringLiteral("-T"), source, url + QStringLiteral("up_curl.bin")},
                                       &curlOk, &curlClient);
            WaitForSessionsAtMost(*server, baseProcesses);
            const double curlServer = ServerCpuSeconds(*server) - curlServerBefore;
            const double engineRate = mib / run.seconds;
            const double curlRate = mib / curlSeconds;
            std::printf("%-8s round %d: engine %8.1f MiB/s%s  curl %8.1f MiB/s%s  engine/curl %.2f  "
                        "RSS before %lld KiB, peak during %lld KiB, after %lld KiB\n",
                        download ? "download" : "upload", round, engineRate, run.ok ? "" : " (FAILED)", curlRate,
                        curlOk ? "" : " (FAILED)", engineRate / curlRate, run.rssBeforeKb, run.rssPeakDuringKb,
                        run.rssAfterKb);
            std::printf("%-8s round %d CPU s: engine run: server %.2f, engine %.2f   curl run: server %.2f, curl %.2f\n",
                        download ? "download" : "upload", round, engineServer, run.cpuSeconds, curlServer, curlClient);
            std::fflush(stdout);
            engineRates << engineRate;
            curlRates << curlRate;
            engineServerCpu << engineServer / gib;
            curlServerCpu << curlServer / gib;
            engineCpu << run.cpuSeconds / gib;
            curlCpu << curlClient / gib;
            QFile::remove(engineLocal);
            QFile::remove(local.filePath(QStringLiteral("curl.bin")));
        }
        const double engineMedian = Median(engineRates), curlMedian = Median(curlRates);
        std::printf("%-8s median of %d: engine %.1f MiB/s, curl %.1f MiB/s, engine/curl %.2f; "
                    "server CPU s/GiB with engine %.2f, with curl %.2f; client CPU s/GiB engine %.2f, curl %.2f\n",
                    download ? "download" : "upload", rounds, engineMedian, curlMedian, engineMedian / curlMedian,
                    Median(engineServerCpu), Median(curlServerCpu), Median(engineCpu), Median(curlCpu));
        std::fflush(stdout);
    }

    // A listing of many entries: received, parsed and filed.
    server->MakeDirectory(QStringLiteral("many"));
    const QString many = server->PathOf(QStringLiteral("many"));
    for (int i = 0; i < entries; ++i) {
        QFile file(QStringLiteral("%1/entry-%2.txt").arg(many).arg(i, 6, 10, QLatin1Char('0')));
        file.open(QIODevice::WriteOnly);
    }
    for (int round = 1; round <= rounds; ++round) {
        qsizetype filed = 0;
        const double ms = session.List("many", &filed);
        std::printf("listing round %d: %lld entries parsed and filed in %.1f ms\n", round, qlonglong(filed), ms);
    }
    std::printf("vsftpd session processes orphaned and counted through this process: %lld\n",
                qlonglong(AdoptedSessionProcesses(server->ProcessId()).size()));
    std::printf("peak RSS of the whole run %lld KiB\n", StatusKb("VmHWM"));
    return 0;
}
