// Parallel transfer benchmark: two file sets, a tree of 2000 files of 1 KiB in
// 20 folders and 8 files of 128 MiB, downloaded by the main window (offscreen,
// a drop of the set's folder on the local list) with one connection and with
// four (MainSettings.transfers), and by lftp's mirror sequential and with
// --parallel=4, in the same run. First from a vsftpd on loopback, then from a
// "distant" server: pyftpdlib on loopback with every reply 20 ms late, serving
// the same folder. Everything lives on /dev/shm.
//
// Each window download runs in a child process (this program started again
// with --window-run), so its peak RSS is its own, as lftp's is. Prints seconds,
// ratios and peak RSS; fails (non-zero) only when a copy is incomplete or wrong.
//
//   bench_parallel_tree [--rounds N] [--sets tree,big] [--servers local,delayed]
//                       [--clients tarvo1,tarvo4,lftp,lftp4] [--big-mib N] [--delay-ms N]

#include "bench_file_set.h"
#include "bench_files.h"
#include "bench_window.h"
#include "measured_process.h"
#include "peer_server.h"
#include "transfers_finished.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMap>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <memory>

using bench::FileSet;
using testsupport::PeerServer;

namespace {

const QString kWindowRun = QStringLiteral("window-run");

struct Endpoint {
    QString name;
    QString host;
    quint16 port = 0;
    QString user;
    QString password;
    QString loginDirectory;  // what PWD answers after login: where the sets are

    QString RemotePathOf(const QString &top) const
    {
        return loginDirectory.endsWith(u'/') ? loginDirectory + top : loginDirectory + u'/' + top;
    }
};

FileSet SetNamed(const QString &name, int bigMib)
{
    return name == QLatin1String("big") ? bench::BigSet(8, qint64(bigMib) << 20) : bench::TreeSet();
}

// ---- the child: one window, one download ----

int WindowRun(const QCommandLineParser &parser)
{
    const QString target = parser.value(QStringLiteral("target"));
    const FileSet set = SetNamed(parser.value(QStringLiteral("set")), parser.value(QStringLiteral("big-mib")).toInt());
    TMainSettings settings;
    settings.transfers = parser.value(QStringLiteral("transfers")).toInt();
    settings.passive = true;  // as lftp
    bench::BenchWindow window(settings, target);
    TForm1 &form = window.form();
    QElapsedTimer timer;
    timer.start();
    if (!window.LogIn(parser.value(QStringLiteral("host")), quint16(parser.value(QStringLiteral("port")).toUInt()),
                      parser.value(QStringLiteral("user")), parser.value(QStringLiteral("password")), true))
        return 2;
    const double login = timer.nsecsElapsed() / 1e9;
    if (!window.DropRemoteEntry(set.top.toUtf8()))
        return 2;
    bench::LandedFiles landed(target, set);
    if (!bench::WaitUntil([&] { return bench::TransfersFinished(form, landed); }, 1800 * 1000)) {
        std::fprintf(stderr, "not finished: %lld of %lld files landed; %s\n", qint64(landed.landed()),
                     qint64(set.files.size()), qPrintable(form.PanelText(0)));
        return 2;
    }
    const double total = timer.nsecsElapsed() / 1e9;
    std::printf("window-run login %.6f total %.6f hwm %lld\n", login, total, bench::StatusKb("VmHWM"));
    std::fflush(stdout);
    return 0;
}

// ---- the parent: servers, sets, clients, figures ----

struct Outcome {
    bool ok = false;
    double seconds = 0;  // window: login click to the last file; lftp: the whole process
    double login = 0;    // window only
    long ownHwmKb = -1;  // window only: its own VmHWM, beside what GNU time saw
    double cpu = 0;
    long peakRssKb = 0;
    QString why;
};

QString SelfPath()
{
    return QCoreApplication::applicationFilePath();
}

Outcome RunWindow(const Endpoint &server, const QString &setName, int bigMib, int transfers, const QString &target)
{
    Outcome outcome;
    QDir().mkpath(target);
    const bench::MeasuredProcess run = bench::RunMeasured(
        SelfPath(),
        {QStringLiteral("--") + kWindowRun, QStringLiteral("--host"), server.host, QStringLiteral("--port"),
         QString::number(server.port), QStringLiteral("--user"), server.user, QStringLiteral("--password"),
         server.password, QStringLiteral("--set"), setName, QStringLiteral("--big-mib"), QString::number(bigMib),
         QStringLiteral("--transfers"), QString::number(transfers), QStringLiteral("--target"), target},
        target, 2000);
    static const QRegularExpression result(QStringLiteral("window-run login ([0-9.]+) total ([0-9.]+) hwm (-?[0-9]+)"));
    const auto match = result.match(QString::fromLocal8Bit(run.output));
    outcome.cpu = run.cpuSeconds;
    outcome.peakRssKb = run.peakRssKb;
    if (!run.finished || run.exitCode != 0 || !match.hasMatch()) {
        outcome.why = QStringLiteral("window run %1 (exit %2): %3")
                          .arg(run.finished ? QStringLiteral("failed") : QStringLiteral("timed out"))
                          .arg(run.exitCode)
                          .arg(QString::fromLocal8Bit(run.output.right(600)).trimmed());
        return outcome;
    }
    outcome.login = match.captured(1).toDouble();
    outcome.seconds = match.captured(2).toDouble();
    outcome.ownHwmKb = match.captured(3).toLong();
    outcome.ok = true;
    return outcome;
}

Outcome RunLftp(const Endpoint &server, const FileSet &set, int parallel, const QString &target)
{
    Outcome outcome;
    QDir().mkpath(target);
    const QString script = QStringLiteral("set ftp:ssl-allow no; set net:max-retries 1; set net:timeout 60; "
                                          "mirror --parallel=%1 '%2' '%3'; quit")
                               .arg(parallel)
                               .arg(server.RemotePathOf(set.top), target + u'/' + set.top);
    const bench::MeasuredProcess run = bench::RunMeasured(
        QStringLiteral("lftp"),
        {QStringLiteral("-u"), server.user + u',' + server.password, QStringLiteral("-p"), QString::number(server.port),
         QStringLiteral("-e"), script, server.host},
        target, 2000);
    outcome.seconds = run.seconds;
    outcome.cpu = run.cpuSeconds;
    outcome.peakRssKb = run.peakRssKb;
    if (!run.finished || run.exitCode != 0) {
        outcome.why = QStringLiteral("lftp %1 (exit %2): %3")
                          .arg(run.finished ? QStringLiteral("failed") : QStringLiteral("timed out"))
                          .arg(run.exitCode)
                          .arg(QString::fromLocal8Bit(run.output.right(600)).trimmed());
        return outcome;
    }
    outcome.ok = true;
    return outcome;
}

struct Client {
    QString name;
    bool window;
    int connections;
};

const QList<Client> &AllClients()
{
    static const QList<Client> clients{{QStringLiteral("tarvo1"), true, 1},
                                       {QStringLiteral("tarvo4"), true, 4},
                                       {QStringLiteral("lftp"), false, 1},
                                       {QStringLiteral("lftp4"), false, 4}};
    return clients;
}

// The best (shortest) round of a client on one server and set, and its largest peak RSS.
struct Figures {
    double best = 0;
    long peakRssKb = 0;
    int rounds = 0;
};

double Ratio(const QMap<QString, Figures> &row, const QString &ours, const QString &theirs)
{
    if (!row.contains(ours) || !row.contains(theirs) || row[theirs].best <= 0)
        return 0;
    return row[ours].best / row[theirs].best;
}

void PrintTable(const QStringList &rowOrder, const QMap<QString, QMap<QString, Figures>> &table, const QStringList &clients)
{
    std::printf("\nbest round, seconds (peak RSS MiB)\n%-14s", "server/set");
    for (const QString &client : clients)
        std::printf(" %18s", qPrintable(client));
    std::printf(" %12s %12s\n", "tarvo1/lftp", "tarvo4/lftp4");
    for (const QString &rowName : rowOrder) {
        const QMap<QString, Figures> &row = table[rowName];
        std::printf("%-14s", qPrintable(rowName));
        for (const QString &client : clients) {
            if (row.contains(client))
                std::printf(" %9.3f (%6.1f)", row[client].best, row[client].peakRssKb / 1024.0);
            else
                std::printf(" %18s", "-");
        }
        for (const double ratio : {Ratio(row, QStringLiteral("tarvo1"), QStringLiteral("lftp")),
                                   Ratio(row, QStringLiteral("tarvo4"), QStringLiteral("lftp4"))}) {
            if (ratio > 0)
                std::printf(" %12.2f", ratio);
            else
                std::printf(" %12s", "-");
        }
        std::printf("\n");
    }
}

std::unique_ptr<PeerServer> StartDelayedServer(const PeerServer &files, int delayMs, QString *why)
{
    QString folder = qEnvironmentVariable("TARVO_SOURCE_DIR");
    folder = folder.isEmpty() ? QStringLiteral(TARVO_BENCH_SOURCE_DIR) : folder + QStringLiteral("/bench");
    PeerServer::Options options;
    options.script = folder + QStringLiteral("/delayed_ftp_server.py");
    // It serves vsftpd's folder: the same bytes, made once.
    options.arguments = {QStringLiteral("--port"), QStringLiteral("{port}"), QStringLiteral("--root"), files.Root(),
                         QStringLiteral("--user"), files.User(), QStringLiteral("--password"), files.Password(),
                         QStringLiteral("--delay"), QString::number(delayMs / 1000.0)};
    return PeerServer::Start(PeerServer::Kind::Script, options, why);
}

int Benchmark(const QCommandLineParser &parser)
{
    const int rounds = std::max(1, parser.value(QStringLiteral("rounds")).toInt());
    const int bigMib = parser.value(QStringLiteral("big-mib")).toInt();
    const int delayMs = parser.value(QStringLiteral("delay-ms")).toInt();
    const QStringList sets = parser.value(QStringLiteral("sets")).split(u',', Qt::SkipEmptyParts);
    const QStringList servers = parser.value(QStringLiteral("servers")).split(u',', Qt::SkipEmptyParts);
    const QStringList chosenClients = parser.value(QStringLiteral("clients")).split(u',', Qt::SkipEmptyParts);
    QStringList clients;
    for (const Client &client : AllClients())
        if (chosenClients.contains(client.name))
            clients << client.name;
    // A misspelt name would otherwise leave a row out without a word.
    const auto unknown = [](const QStringList &given, const QStringList &known, const char *what) {
        for (const QString &name : given)
            if (!known.contains(name)) {
                std::printf("unknown %s \"%s\" (known: %s)\n", what, qPrintable(name), qPrintable(known.join(u',')));
                return true;
            }
        return false;
    };
    if (unknown(sets, {QStringLiteral("tree"), QStringLiteral("big")}, "set")
        || unknown(servers, {QStringLiteral("local"), QStringLiteral("delayed")}, "server")
        || unknown(chosenClients, {QStringLiteral("tarvo1"), QStringLiteral("tarvo4"), QStringLiteral("lftp"), QStringLiteral("lftp4")}, "client"))
        return 2;

    PeerServer::Options options;
    options.rootOnTmpfs = true;
    QString why;
    auto vsftpd = PeerServer::Start(PeerServer::Kind::Vsftpd, options, &why);
    if (!vsftpd) {
        std::printf("vsftpd not started: %s\n", qPrintable(why));
        return 1;
    }
    if (!vsftpd->Root().startsWith(QLatin1String("/dev/shm")))
        std::printf("note: the served folder %s is not on /dev/shm\n", qPrintable(vsftpd->Root()));
    QMap<QString, FileSet> made;
    for (const QString &name : sets) {
        QElapsedTimer timer;
        timer.start();
        FileSet set = SetNamed(name, bigMib);
        if (!bench::MakeSet(vsftpd->Root(), set, &why)) {
            std::printf("%s\n", qPrintable(why));
            return 1;
        }
        std::printf("set %-4s %5lld files, %8.1f MiB, made in %.1f s\n", qPrintable(name), qint64(set.files.size()),
                    set.totalBytes() / 1048576.0, timer.nsecsElapsed() / 1e9);
        made.insert(name, set);
    }
    vsftpd->HandOverTree();

    QList<Endpoint> endpoints;
    std::unique_ptr<PeerServer> delayed;
    for (const QString &name : servers) {
        if (name == QLatin1String("local")) {
            endpoints.append({name, vsftpd->Host(), vsftpd->Port(), vsftpd->User(), vsftpd->Password(),
                              QString::fromUtf8(vsftpd->LoginDirectory())});
        } else if (name == QLatin1String("delayed")) {
            delayed = StartDelayedServer(*vsftpd, delayMs, &why);
            if (!delayed) {
                std::printf("delayed server not started: %s\n", qPrintable(why));
                return 1;
            }
            endpoints.append({name, delayed->Host(), delayed->Port(), vsftpd->User(), vsftpd->Password(), QStringLiteral("/")});
        }
    }
    const QString shmBase = QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm/") : QDir::tempPath() + u'/';
    QTemporaryDir work(shmBase + QStringLiteral("tarvo-bench-parallel-XXXXXX"));
    std::printf("vsftpd on %s:%u", qPrintable(vsftpd->Host()), unsigned(vsftpd->Port()));
    if (delayed)
        std::printf(", delayed pyftpdlib (%d ms a reply) on %s:%u", delayMs, qPrintable(delayed->Host()), unsigned(delayed->Port()));
    std::printf("; targets in %s\n", qPrintable(work.path()));
    std::fflush(stdout);

    QStringList failures;
    QStringList rowOrder;
    QMap<QString, QMap<QString, Figures>> table;
    for (const Endpoint &server : endpoints) {
        for (const QString &setName : sets) {
            const FileSet &set = made[setName];
            const QString rowName = server.name + u'/' + setName;
            rowOrder << rowName;
            for (int round = 1; round <= rounds; ++round) {
                for (const Client &client : AllClients()) {
                    if (!clients.contains(client.name))
                        continue;
                    const QString target = work.filePath(QStringLiteral("%1-%2-%3-r%4").arg(server.name, setName, client.name).arg(round));
                    Outcome outcome = client.window ? RunWindow(server, setName, bigMib, client.connections, target)
                                                    : RunLftp(server, set, client.connections, target);
                    QString wrong;
                    if (outcome.ok && !bench::CheckCopy(target, set, &wrong)) {
                        outcome.ok = false;
                        outcome.why = QStringLiteral("copy incomplete or wrong: ") + wrong;
                    }
                    std::printf("%-8s %-4s %-6s round %d  %9.3f s", qPrintable(server.name), qPrintable(setName),
                                qPrintable(client.name), round, outcome.seconds);
                    if (client.window)
                        std::printf(" (login %.3f s)", outcome.login);
                    std::printf("  cpu %7.3f s  peak RSS %7.1f MiB", outcome.cpu, outcome.peakRssKb / 1024.0);
                    if (client.window)
                        std::printf(" (own VmHWM %.1f)", outcome.ownHwmKb / 1024.0);
                    std::printf("  %s\n", outcome.ok ? "complete" : qPrintable(outcome.why));
                    std::fflush(stdout);
                    if (outcome.ok) {
                        Figures &figures = table[rowName][client.name];
                        figures.best = figures.rounds == 0 ? outcome.seconds : std::min(figures.best, outcome.seconds);
                        figures.peakRssKb = std::max(figures.peakRssKb, outcome.peakRssKb);
                        ++figures.rounds;
                    } else {
                        failures << QStringLiteral("%1 %2 round %3: %4").arg(rowName, client.name).arg(round).arg(outcome.why);
                    }
                    QDir(target).removeRecursively();
                }
            }
        }
    }
    PrintTable(rowOrder, table, clients);
    std::printf("window seconds run from the login click to the last file; lftp's are its whole process.\n");
    if (!failures.isEmpty()) {
        std::printf("\n%lld run(s) incomplete or wrong:\n", qint64(failures.size()));
        for (const QString &failure : failures)
            std::printf("  %s\n", qPrintable(failure));
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const bool child = std::any_of(argv + 1, argv + argc, [](const char *a) { return QLatin1String(a) == QLatin1String("--window-run"); });
    // Only the child shows a window; the parent needs no GUI.
    std::unique_ptr<QCoreApplication> app = child ? std::make_unique<QApplication>(argc, argv)
                                                  : std::make_unique<QCoreApplication>(argc, argv);
    if (child)
        static_cast<QApplication *>(app.get())->setQuitOnLastWindowClosed(false);
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addOption({QStringLiteral("rounds"), QStringLiteral("Rounds per client."), QStringLiteral("n"), QStringLiteral("3")});
    parser.addOption({QStringLiteral("sets"), QStringLiteral("File sets, comma-separated: tree, big."), QStringLiteral("list"),
                      QStringLiteral("tree,big")});
    parser.addOption({QStringLiteral("servers"), QStringLiteral("Servers, comma-separated: local, delayed."),
                      QStringLiteral("list"), QStringLiteral("local,delayed")});
    parser.addOption({QStringLiteral("clients"), QStringLiteral("Clients, comma-separated: tarvo1, tarvo4, lftp, lftp4."),
                      QStringLiteral("list"), QStringLiteral("tarvo1,tarvo4,lftp,lftp4")});
    parser.addOption({QStringLiteral("big-mib"), QStringLiteral("Size of each of the 8 big files in MiB."), QStringLiteral("n"),
                      QStringLiteral("128")});
    parser.addOption({QStringLiteral("delay-ms"), QStringLiteral("The delayed server's lateness per reply."), QStringLiteral("ms"),
                      QStringLiteral("20")});
    // The child's own options: one window download, its figures on standard output.
    QList<QCommandLineOption> childOptions{
        {kWindowRun, QStringLiteral("Child: one window download.")},
        {QStringLiteral("host"), QString(), QStringLiteral("host")},
        {QStringLiteral("port"), QString(), QStringLiteral("port")},
        {QStringLiteral("user"), QString(), QStringLiteral("user")},
        {QStringLiteral("password"), QString(), QStringLiteral("password")},
        {QStringLiteral("set"), QString(), QStringLiteral("name")},
        {QStringLiteral("transfers"), QString(), QStringLiteral("n")},
        {QStringLiteral("target"), QString(), QStringLiteral("folder")},
    };
    for (QCommandLineOption &option : childOptions) {
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    parser.process(*app);
    return child ? WindowRun(parser) : Benchmark(parser);
}
