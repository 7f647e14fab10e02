// Transfer benchmark: 1 GiB down and up over loopback from vsftpd, by the
// engine and by curl in the same run, with the engine's memory before, during
// and after; and a listing of 100 000 entries received, parsed and filed.
// It prints figures and asserts nothing.
//
//   bench_transfer [--size MiB] [--entries N] [--rounds N]

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
#include <functional>
#include <cstdio>

using testsupport::PeerServer;

namespace {

// Kilobytes from /proc/self/status ("VmRSS", "VmHWM").
qint64 StatusKb(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

bool WriteBigFile(const QString &path, qint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QByteArray block(1 << 20, Qt::Uninitialized);
    quint32 x = 7;
    for (qint64 done = 0; done < size; done += block.size()) {
        for (int i = 0; i < block.size(); i += 4) {
            x = x * 1103515245u + 12345u;
            memcpy(block.data() + i, &x, 4);
        }
        const qint64 n = qMin<qint64>(block.size(), size - done);
        if (file.write(block.constData(), n) != n)
            return false;
    }
    return true;
}

struct EngineRun {
    double seconds = 0;
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
        QElapsedTimer timer;
        timer.start();
        run.ok = Wait([&] { download ? ftp_.Download() : ftp_.Upload(); }) && ftp_.Success();
        run.seconds = timer.nsecsElapsed() / 1e9;
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

double CurlSeconds(const QStringList &arguments, bool *ok)
{
    QProcess curl;
    QElapsedTimer timer;
    timer.start();
    curl.start(QStringLiteral("curl"), arguments);
    *ok = curl.waitForFinished(600000) && curl.exitStatus() == QProcess::NormalExit && curl.exitCode() == 0;
    if (!*ok)
        std::fprintf(stderr, "curl: %s\n", curl.readAllStandardError().constData());
    return timer.nsecsElapsed() / 1e9;
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
    for (bool download : {true, false}) {
        for (int round = 1; round <= rounds; ++round) {
            const QString engineLocal = local.filePath(QStringLiteral("engine.bin"));
            const EngineRun run = download ? session.Transfer(true, "big.bin", engineLocal)
                                           : session.Transfer(false, "up_engine.bin", source);
            bool curlOk = false;
            const double curlSeconds =
                download ? CurlSeconds({QStringLiteral("-s"), QStringLiteral("-o"), local.filePath(QStringLiteral("curl.bin")),
                                        url + QStringLiteral("big.bin")}, &curlOk)
                         : CurlSeconds({QStringLiteral("-s"), QStringLiteral("-T"), source, url + QStringLiteral("up_curl.bin")}, &curlOk);
            const double engineRate = mib / run.seconds;
            const double curlRate = mib / curlSeconds;
            std::printf("%-8s round %d: engine %8.1f MiB/s%s  curl %8.1f MiB/s%s  engine/curl %.2f  "
                        "RSS before %lld KiB, peak during %lld KiB, after %lld KiB\n",
                        download ? "download" : "upload", round, engineRate, run.ok ? "" : " (FAILED)", curlRate,
                        curlOk ? "" : " (FAILED)", engineRate / curlRate, run.rssBeforeKb, run.rssPeakDuringKb,
                        run.rssAfterKb);
            std::fflush(stdout);
            QFile::remove(engineLocal);
            QFile::remove(local.filePath(QStringLiteral("curl.bin")));
        }
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
    std::printf("peak RSS of the whole run %lld KiB\n", StatusKb("VmHWM"));
    return 0;
}
