// Tree download benchmark: 2000 files of 1 KiB in 20 directories on a vsftpd
// started here, downloaded into a tmpfs by the main window's walk (offscreen,
// a drop of the tree on the local list), by lftp's sequential mirror and by
// wget -m, in the same run. Prints seconds and ratios; asserts nothing.
//
//   bench_tree_download [--rounds N] [--dirs N] [--files N] [--clients walk,pasv,lftp,wget]

#include "bench_window.h"
#include "peer_server.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <sys/resource.h>

using bench::CountFiles;
using bench::CpuSeconds;
using testsupport::PeerServer;

namespace {

// One drop of the tree on the local list, from login to the last file.
double ProgramRun(PeerServer &server, const QString &target, bool passive, int *files, double *cpu)
{
    // One connection: the walk over the browsing connection, as lftp's sequential mirror.
    TMainSettings settings;
    settings.transfers = 1;
    bench::BenchWindow window(settings, target);
    TForm1 &form = window.form();
    if (!window.LogIn(server.Host(), server.Port(), server.User(), server.Password(), passive))
        return -1;
    QElapsedTimer timer;
    timer.start();
    const double cpuBefore = CpuSeconds(RUSAGE_SELF);
    if (!window.DropRemoteEntry("tree"))
        return -1;
    // Timed to the end of the walk: the last file stored and the pane showing it.
    if (!bench::WaitUntil([&] { return !form.UiBusy() && !form.WalkRunning(); }, 600000)) {
        std::fprintf(stderr, "walk did not end: %s\n", qPrintable(form.PanelText(0)));
        return -1;
    }
    const double seconds = timer.nsecsElapsed() / 1e9;
    *cpu = CpuSeconds(RUSAGE_SELF) - cpuBefore;
    *files = CountFiles(target);
    return seconds;
}

double ToolRun(const QString &program, const QStringList &arguments, const QString &target, int *files, double *cpu)
{
    QDir().mkpath(target);
    QProcess process;
    process.setWorkingDirectory(target);
    process.setProcessChannelMode(QProcess::MergedChannels);
    QElapsedTimer timer;
    timer.start();
    const double cpuBefore = CpuSeconds(RUSAGE_CHILDREN);
    process.start(program, arguments);
    if (!process.waitForFinished(600000))
        return -1;
    const double seconds = timer.nsecsElapsed() / 1e9;
    *cpu = CpuSeconds(RUSAGE_CHILDREN) - cpuBefore;
    if (process.exitCode() != 0)
        std::fprintf(stderr, "%s: %s\n", qPrintable(program), process.readAll().left(400).constData());
    *files = CountFiles(target);
    return seconds;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    QCommandLineParser parser;
    parser.addOption({QStringLiteral("rounds"), QStringLiteral("Rounds per client."), QStringLiteral("n"), QStringLiteral("3")});
    parser.addOption({QStringLiteral("dirs"), QStringLiteral("Directories."), QStringLiteral("n"), QStringLiteral("20")});
    parser.addOption({QStringLiteral("files"), QStringLiteral("Files per directory."), QStringLiteral("n"), QStringLiteral("100")});
    parser.addOption({QStringLiteral("clients"), QStringLiteral("Clients to run, comma-separated: walk, pasv, lftp, wget."),
                      QStringLiteral("list"), QStringLiteral("walk,pasv,lftp,wget")});
    parser.process(app);
    const QStringList clients = parser.value(QStringLiteral("clients")).split(u',', Qt::SkipEmptyParts);
    const auto runs = [&clients](const char *name) { return clients.contains(QLatin1StringView(name)); };
    const int rounds = parser.value(QStringLiteral("rounds")).toInt();
    const int dirs = parser.value(QStringLiteral("dirs")).toInt();
    const int perDir = parser.value(QStringLiteral("files")).toInt();

    PeerServer::Options options;
    options.rootOnTmpfs = true;
    QString why;
    auto server = PeerServer::Start(PeerServer::Kind::Vsftpd, options, &why);
    if (!server) {
        std::printf("vsftpd not started: %s\n", qPrintable(why));
        return 0;
    }
    const QByteArray block(1024, 'x');
    for (int d = 0; d < dirs; ++d) {
        const QString dir = QStringLiteral("tree/dir %1/").arg(d, 2, 10, QLatin1Char('0'));
        QDir().mkpath(server->PathOf(dir));
        for (int f = 0; f < perDir; ++f) {
            QFile file(server->PathOf(dir + QStringLiteral("file %1.bin").arg(f, 3, 10, QLatin1Char('0'))));
            if (!file.open(QIODevice::WriteOnly) || file.write(block) != block.size())
                return 1;
        }
    }
    server->HandOverTree();
    const int expected = dirs * perDir;
    const QString remoteTree = QString::fromUtf8(server->LoginDirectory()) + QStringLiteral("/tree");

    const QString shmBase = QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm/") : QDir::tempPath() + u'/';
    QTemporaryDir work(shmBase + QStringLiteral("tarvo-bench-XXXXXX"));
    std::printf("tree: %d files of 1 KiB in %d directories, vsftpd on 127.0.0.1:%u, targets in %s\n", expected, dirs,
                unsigned(server->Port()), qPrintable(work.path()));

    struct Best {
        const char *name;
        double seconds = 1e9;
    };
    Best program{"tarvo walk"}, passive{"tarvo PASV"}, lftp{"lftp mirror"}, wget{"wget -m"};
    // "%2F": the path is absolute, not below the login directory.
    const QString url = QStringLiteral("ftp://%1:%2@127.0.0.1:%3/").arg(server->User(), server->Password()).arg(server->Port())
        + QStringLiteral("%2F") + remoteTree.mid(1) + u'/';
    for (int round = 1; round <= rounds; ++round) {
        int files = 0;
        double cpu = 0;
        const QString base = work.filePath(QStringLiteral("r%1").arg(round));
        // The engine's default data connection (PORT), then passive as lftp and wget use.
        if (runs("walk")) {
            const double p = ProgramRun(*server, base + QStringLiteral("/tarvo"), false, &files, &cpu);
            std::printf("round %d  tarvo walk   %8.3f s  %d files  cpu %6.3f s\n", round, p, files, cpu);
            if (p > 0 && files == expected)
                program.seconds = std::min(program.seconds, p);
        }
        if (runs("pasv")) {
            const double pp = ProgramRun(*server, base + QStringLiteral("/tarvo-pasv"), true, &files, &cpu);
            std::printf("round %d  tarvo PASV   %8.3f s  %d files  cpu %6.3f s\n", round, pp, files, cpu);
            if (pp > 0 && files == expected)
                passive.seconds = std::min(passive.seconds, pp);
        }
        if (runs("lftp")) {
            const QString lftpScript = QStringLiteral("set ftp:ssl-allow no; set net:max-retries 1; mirror --parallel=1 '%1' '%2'; quit")
                                           .arg(remoteTree, base + QStringLiteral("/lftp/tree"));
            const double l = ToolRun(QStringLiteral("lftp"),
                                     {QStringLiteral("-u"), server->User() + u',' + server->Password(), QStringLiteral("-p"),
                                      QString::number(server->Port()), QStringLiteral("-e"), lftpScript,
                                      QStringLiteral("127.0.0.1")},
                                     base + QStringLiteral("/lftp"), &files, &cpu);
            std::printf("round %d  lftp mirror  %8.3f s  %d files  cpu %6.3f s\n", round, l, files, cpu);
            if (l > 0 && files == expected)
                lftp.seconds = std::min(lftp.seconds, l);
        }
        if (runs("wget")) {
            const double w = ToolRun(QStringLiteral("wget"),
                                     {QStringLiteral("-m"), QStringLiteral("-q"), QStringLiteral("-nH"),
                                      QStringLiteral("--no-remove-listing"), url},
                                     base + QStringLiteral("/wget"), &files, &cpu);
            std::printf("round %d  wget -m      %8.3f s  %d files  cpu %6.3f s\n", round, w, files, cpu);
            if (w > 0 && files >= expected)
                wget.seconds = std::min(wget.seconds, w);
        }
        std::fflush(stdout);
        QDir(base).removeRecursively();
    }
    std::printf("best of %d:\n", rounds);
    const auto measured = [](const Best &b) { return b.seconds < 1e9; };
    for (const Best *b : {&program, &passive, &lftp, &wget}) {
        if (measured(*b))
            std::printf("  %-12s %8.3f s\n", b->name, b->seconds);
    }
    for (const Best *ours : {&program, &passive}) {
        for (const Best *theirs : {&lftp, &wget}) {
            if (measured(*ours) && measured(*theirs))
                std::printf("%s / %s = %.2f\n", ours->name, theirs->name, ours->seconds / theirs->seconds);
        }
    }
    return 0;
}
