// FTPS transfer benchmark: 1 GiB down and up over explicit TLS (AUTH TLS,
// PROT P) on loopback from vsftpd, by the engine and by curl
// (--ftp-ssl-reqd -k) in the same run. Prints MiB/s and peak RSS of both and
// asserts nothing.
//
//   bench_ftps_transfer [--size MiB] [--rounds N]
//
// The engine's peak is sampled from VmRSS during the transfer (the process
// also holds Qt and the test support); curl's is its own ru_maxrss, read
// from wait4 on exactly that child.

#include "bench_files.h"
#include "engine/ftp.h"
#include "peer_server.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using testsupport::PeerServer;

using bench::StatusKb;
using bench::WriteBigFile;

namespace {

struct Run {
    bool ok = false;
    double seconds = 0;
    qint64 peakKb = 0;
};

class Session {
public:
    explicit Session(PeerServer &server, const QString &trustStore) : server_(server)
    {
        ftp_.TlsMode = tlsExplicitRequired;
        ftp_.TrustStoreFile = trustStore;
        // The test certificate is self-signed: accepted for this connection only.
        ftp_.OnFtpCertificate = [](QObject *, const platform::TlsCertificateInfo &, bool,
                                   TMFtpCertificateAnswer &answer) { answer = certAcceptOnce; };
        ftp_.OnFtpInfo = [this](QObject *, FtpInfo info, const QString &) {
            if (info == ftpiProgress && ++progress_ % 64 == 0)
                peak_ = qMax(peak_, StatusKb("VmRSS"));
        };
        ftp_.OnFtpError = [](QObject *, FtpError error, const QString &text) {
            std::fprintf(stderr, "engine error %d %s\n", int(error), qPrintable(text));
        };
        for (TMFtp::Notify *event : {&ftp_.OnLoggedIn, &ftp_.OnFileReceived, &ftp_.OnFileStored, &ftp_.OnFtpQuit})
            *event = [this](QObject *) { Done(); };
    }

    bool Login()
    {
        ftp_.SetServer(server_.Host());
        ftp_.Port = server_.Port();
        ftp_.Username = server_.User().toUtf8();
        ftp_.SetPassword(server_.Password().toUtf8());
        ftp_.Passive = true;
        return Wait([this] { ftp_.Connect(); }) && ftp_.LoggedIn() && ftp_.DataEncrypted();
    }

    Run Transfer(bool download, const QByteArray &remote, const QString &local)
    {
        Run run;
        ftp_.RemoteFile = remote;
        ftp_.LocalFile = local;
        peak_ = StatusKb("VmRSS");
        QElapsedTimer timer;
        timer.start();
        run.ok = Wait([&] { download ? ftp_.Download() : ftp_.Upload(); }) && ftp_.Success();
        run.seconds = timer.nsecsElapsed() / 1e9;
        run.peakKb = qMax(peak_, StatusKb("VmRSS"));
        return run;
    }

private:
    // A real event loop, as the program runs.
    bool Wait(const std::function<void()> &start)
    {
        done_ = false;
        QEventLoop loop;
        QTimer::singleShot(600000, &loop, &QEventLoop::quit);
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

    PeerServer &server_;
    TMFtp ftp_;
    std::function<void()> quit_;
    bool done_ = false;
    qint64 progress_ = 0;
    qint64 peak_ = 0;
};

// curl run as a child of its own, so that wait4 gives exactly its peak RSS.
Run RunCurl(const QStringList &arguments)
{
    Run run;
    QList<QByteArray> bytes;
    for (const QString &argument : arguments)
        bytes << argument.toLocal8Bit();
    std::vector<char *> argv{const_cast<char *>("curl")};
    for (QByteArray &argument : bytes)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    QElapsedTimer timer;
    timer.start();
    const pid_t pid = fork();
    if (pid == 0) {
        execvp("curl", argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid)
        return run;
    run.seconds = timer.nsecsElapsed() / 1e9;
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    run.peakKb = usage.ru_maxrss;
    return run;
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser options;
    options.addHelpOption();
    options.addOption({QStringLiteral("size"), QStringLiteral("file size in MiB"), QStringLiteral("MiB"), QStringLiteral("1024")});
    options.addOption({QStringLiteral("rounds"), QStringLiteral("rounds per direction"), QStringLiteral("N"), QStringLiteral("1")});
    options.process(app);
    const qint64 size = options.value(QStringLiteral("size")).toLongLong() * 1024 * 1024;
    const int rounds = qMax(1, options.value(QStringLiteral("rounds")).toInt());

    QString why;
    if (!PeerServer::Available(PeerServer::Kind::Vsftpd, &why)
        || !PeerServer::TlsAvailable(PeerServer::Kind::Vsftpd, PeerServer::Options::Tls::ExplicitRequired, &why)) {
        std::fprintf(stderr, "vsftpd with TLS cannot run: %s\n", qPrintable(why));
        return 1;
    }
    PeerServer::Options serverOptions;
    serverOptions.rootOnTmpfs = true;
    serverOptions.tls = PeerServer::Options::Tls::ExplicitRequired;
    std::unique_ptr<PeerServer> server = PeerServer::Start(PeerServer::Kind::Vsftpd, serverOptions, &why);
    if (!server) {
        std::fprintf(stderr, "vsftpd did not start: %s\n", qPrintable(why));
        return 1;
    }
    const QString shm = QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    QTemporaryDir local(shm + QStringLiteral("/tarvo-bench-XXXXXX"));
    const QString source = local.filePath(QStringLiteral("source.bin"));
    if (!server->PutFile(QStringLiteral("big.bin"), QByteArray())
        || !WriteBigFile(server->PathOf(QStringLiteral("big.bin")), size) || !WriteBigFile(source, size)) {
        std::fprintf(stderr, "cannot write the test files\n");
        return 1;
    }

    std::printf("FTPS (AUTH TLS, PROT P), file %lld MiB, vsftpd on 127.0.0.1, files on %s, block %d bytes\n",
                size >> 20, qPrintable(shm), TMFtp::TransferBlockSize);
    Session session(*server, local.filePath(QStringLiteral("trusted.txt")));
    if (!session.Login()) {
        std::fprintf(stderr, "TLS login failed\n");
        return 1;
    }
    const QString url = QStringLiteral("ftp://%1:%2@127.0.0.1:%3/").arg(server->User(), server->Password()).arg(server->Port());
    const QStringList curlTls = {QStringLiteral("--ftp-ssl-reqd"), QStringLiteral("-k"), QStringLiteral("-s")};
    const double mib = double(size) / (1024 * 1024);
    for (bool download : {true, false}) {
        for (int round = 1; round <= rounds; ++round) {
            const QString engineLocal = local.filePath(QStringLiteral("engine.bin"));
            const QString curlLocal = local.filePath(QStringLiteral("curl.bin"));
            const Run engine = download ? session.Transfer(true, "big.bin", engineLocal)
                                        : session.Transfer(false, "up_engine.bin", source);
            const Run curl = download ? RunCurl(curlTls + QStringList{QStringLiteral("-o"), curlLocal, url + QStringLiteral("big.bin")})
                                      : RunCurl(curlTls + QStringList{QStringLiteral("-T"), source, url + QStringLiteral("up_curl.bin")});
            const double engineRate = mib / engine.seconds, curlRate = mib / curl.seconds;
            std::printf("%-8s round %d: engine %8.1f MiB/s%s, peak RSS %lld KiB   curl %8.1f MiB/s%s, peak RSS %lld KiB"
                        "   engine/curl %.2f\n",
                        download ? "download" : "upload", round, engineRate, engine.ok ? "" : " (FAILED)",
                        engine.peakKb, curlRate, curl.ok ? "" : " (FAILED)", curl.peakKb, engineRate / curlRate);
            std::fflush(stdout);
            QFile::remove(engineLocal);
            QFile::remove(curlLocal);
        }
    }
    std::printf("peak RSS of the whole benchmark process %lld KiB\n", StatusKb("VmHWM"));
    return 0;
}
