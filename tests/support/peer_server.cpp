#include "peer_server.h"

#include "port_block.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QThread>

#include <netinet/in.h>
#include <sys/socket.h>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#ifndef TARVO_DEFAULT_SOURCE_DIR
#define TARVO_DEFAULT_SOURCE_DIR ""
#endif

namespace testsupport {

namespace {

QString EnvOr(const char *name, const QString &fallback)
{
    const QString value = qEnvironmentVariable(name);
    return value.isEmpty() ? fallback : value;
}

QString SourceDir()
{
    return EnvOr("TARVO_SOURCE_DIR", QString::fromLocal8Bit(TARVO_DEFAULT_SOURCE_DIR));
}

bool PythonImports(const char *module)
{
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral("-c"), QStringLiteral("import %1").arg(QLatin1String(module))});
    return python.waitForFinished(10000) && python.exitStatus() == QProcess::NormalExit && python.exitCode() == 0;
}

bool FtpUserExists()
{
    return ::getpwnam("tarvoftp") != nullptr;
}

bool IsRoot()
{
    return ::geteuid() == 0;
}

// A complete FTP or SMTP reply: the last line is "NNN " (or exactly "NNN").
bool ReplyComplete(const QByteArray &text)
{
    if (!text.endsWith('\n'))
        return false;
    QByteArrayList lines = text.split('\n');
    lines.removeLast();  // empty piece after the final LF
    const QByteArray last = lines.last().trimmed();
    return last.size() >= 3 && std::isdigit(uchar(last[0])) && std::isdigit(uchar(last[1])) &&
           std::isdigit(uchar(last[2])) && (last.size() == 3 || last[3] == ' ');
}

// Run folders are held with an flock()ed ".owner" file while their server
// lives; the kernel drops the lock when the test process ends in any way. The
// lock is taken on a temporary name and then renamed, so a sweeper never sees
// an ".owner" that is not locked yet.
int HoldFolder(const QString &folder)
{
    const QByteArray temporary = QFile::encodeName(folder + QStringLiteral("/.owner.new"));
    const int fd = ::open(temporary.constData(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return -1;
    if (::flock(fd, LOCK_EX) != 0 ||
        ::rename(temporary.constData(), QFile::encodeName(folder + QStringLiteral("/.owner")).constData()) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Removes the run folders of test processes that died without cleaning up
// (a crash, a SIGKILL from a time-out), once per process.
void SweepStaleFolders()
{
    static bool swept = false;
    if (swept)
        return;
    swept = true;
    const QList<std::pair<QString, QString>> places = {
        {QDir::tempPath(), QStringLiteral("tarvo-peer-*")},
        {QStringLiteral("/dev/shm"), QStringLiteral("tarvo-peer-root-*")},
    };
    for (const auto &[place, pattern] : places) {
        const QDir dir(place);
        for (const QString &name : dir.entryList({pattern}, QDir::Dirs | QDir::NoDotAndDotDot)) {
            const QString folder = dir.filePath(name);
            const int fd = ::open(QFile::encodeName(folder + QStringLiteral("/.owner")).constData(),
                                  O_RDONLY | O_CLOEXEC);
            if (fd < 0)
                continue;  // not a run folder, or not set up yet
            const bool stale = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
            if (stale)
                QDir(folder).removeRecursively();
            ::close(fd);
        }
    }
}

}  // namespace

QString PeersRoot()
{
    return EnvOr("TARVO_PEERS_DIR", SourceDir() + QStringLiteral("/.peers")) + QStringLiteral("/root");
}

QString PeerScriptsFolder()
{
    return SourceDir() + QStringLiteral("/tests/peers");
}

QString PeerServer::KindName(Kind kind)
{
    switch (kind) {
    case Kind::Vsftpd: return QStringLiteral("vsftpd");
    case Kind::Proftpd: return QStringLiteral("proftpd");
    case Kind::PureFtpd: return QStringLiteral("pure-ftpd");
    case Kind::Pyftpdlib: return QStringLiteral("pyftpdlib");
    case Kind::Smtp: return QStringLiteral("aiosmtpd");
    case Kind::Script: return QStringLiteral("script");
    }
    return QStringLiteral("unknown");
}

QList<PeerServer::Kind> PeerServer::FtpKinds()
{
    return {Kind::Vsftpd, Kind::Proftpd, Kind::PureFtpd, Kind::Pyftpdlib};
}

bool PeerServer::Available(Kind kind, QString *whyNot)
{
    auto no = [whyNot](const QString &reason) {
        if (whyNot)
            *whyNot = reason;
        return false;
    };
    if (!QFileInfo(QStringLiteral("/usr/bin/python3")).isExecutable() &&
        (kind == Kind::Pyftpdlib || kind == Kind::Smtp || kind == Kind::Script))
        return no(QStringLiteral("/usr/bin/python3 is missing (run scripts/install-deps)"));
    switch (kind) {
    case Kind::Vsftpd:
        if (!QFileInfo(QStringLiteral("/usr/sbin/vsftpd")).isExecutable())
            return no(QStringLiteral("vsftpd is not installed (run scripts/install-deps)"));
        if (!IsRoot())
            return no(QStringLiteral("vsftpd logs in system users only when started as root"));
        if (!FtpUserExists())
            return no(QStringLiteral("system user tarvoftp is missing (run scripts/install-deps)"));
        return true;
    case Kind::Proftpd:
        if (!QFileInfo(PeersRoot() + QStringLiteral("/usr/sbin/proftpd")).isExecutable())
            return no(QStringLiteral("proftpd is not unpacked in %1 (run scripts/install-deps)").arg(PeersRoot()));
        if (!IsRoot())
            return no(QStringLiteral("proftpd logs in system users only when started as root"));
        if (!FtpUserExists())
            return no(QStringLiteral("system user tarvoftp is missing (run scripts/install-deps)"));
        return true;
    case Kind::PureFtpd:
        if (!QFileInfo(PeersRoot() + QStringLiteral("/usr/sbin/pure-ftpd")).isExecutable() ||
            !QFileInfo(PeersRoot() + QStringLiteral("/usr/bin/pure-pw")).isExecutable())
            return no(QStringLiteral("pure-ftpd is not unpacked in %1 (run scripts/install-deps)").arg(PeersRoot()));
        // Debian builds it without its non-root mode: as another user every
        // login ends in "421 Sorry, but I can't trust you".
        if (!IsRoot())
            return no(QStringLiteral("pure-ftpd logs users in only when started as root"));
        if (!FtpUserExists())
            return no(QStringLiteral("system user tarvoftp is missing (run scripts/install-deps)"));
        return true;
    case Kind::Pyftpdlib: {
        static const bool present = PythonImports("pyftpdlib");
        return present || no(QStringLiteral("python3-pyftpdlib is not installed (run scripts/install-deps)"));
    }
    case Kind::Smtp: {
        static const bool present = PythonImports("aiosmtpd");
        return present || no(QStringLiteral("python3-aiosmtpd is not installed (run scripts/install-deps)"));
    }
    case Kind::Script:
        return true;
    }
    return no(QStringLiteral("unknown kind"));
}

PeerServer::PeerServer(Kind kind) : kind_(kind) {}

std::unique_ptr<PeerServer> PeerServer::Start(Kind kind, QString *whyNot)
{
    return Start(kind, Options{}, whyNot);
}

std::unique_ptr<PeerServer> PeerServer::StartScript(const QString &script, const QStringList &arguments,
                                                    QString *whyNot)
{
    Options options;
    options.script = script;
    options.arguments = arguments;
    return Start(Kind::Script, options, whyNot);
}

bool PeerServer::TlsAvailable(Kind kind, Options::Tls tls, QString *whyNot)
{
    if (tls == Options::Tls::None)
        return true;
    auto no = [whyNot](const QString &reason) {
        if (whyNot)
            *whyNot = reason;
        return false;
    };
    if (!QFileInfo(QStringLiteral("/usr/bin/openssl")).isExecutable())
        return no(QStringLiteral("/usr/bin/openssl is missing to make the certificate"));
    switch (kind) {
    case Kind::Vsftpd:
        return true;
    case Kind::PureFtpd:
        return tls != Options::Tls::Implicit || no(QStringLiteral("pure-ftpd has no implicit TLS"));
    case Kind::Pyftpdlib: {
        if (tls == Options::Tls::Implicit)
            return no(QStringLiteral("pyftpdlib has no implicit TLS"));
        static const bool present = PythonImports("OpenSSL");
        return present || no(QStringLiteral("python3-openssl is not installed (run scripts/install-deps)"));
    }
    case Kind::Proftpd:
        return no(QStringLiteral("proftpd's mod_tls is not in the unpacked proftpd-core package"));
    case Kind::Smtp:
        return true;
    default:
        return no(QStringLiteral("not an FTP server"));
    }
}

std::unique_ptr<PeerServer> PeerServer::Start(Kind kind, const Options &options, QString *whyNot)
{
    QString reason;
    if (!TlsAvailable(kind, options.tls, &reason)) {
        if (whyNot)
            *whyNot = KindName(kind) + QStringLiteral(" cannot serve TLS here: ") + reason;
        return nullptr;
    }
    if (!Available(kind, &reason)) {
        if (whyNot)
            *whyNot = KindName(kind) + QStringLiteral(" cannot run here: ") + reason;
        return nullptr;
    }
    std::unique_ptr<PeerServer> server(new PeerServer(kind));
    if (!server->Launch(options, &reason)) {
        if (whyNot)
            *whyNot = KindName(kind) + QStringLiteral(" did not start: ") + reason;
        return nullptr;  // the destructor stops what did start and removes the run folder
    }
    return server;
}

bool PeerServer::Ipv6Loopback()
{
    const int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_addr = in6addr_loopback;
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    ::close(fd);
    return bound;
}

bool PeerServer::Launch(const Options &options, QString *whyNot)
{
    SweepStaleFolders();
    const QByteArray pattern =
        QFile::encodeName(QDir::tempPath() + QStringLiteral("/tarvo-peer-%1-XXXXXX").arg(KindName(kind_)));
    QByteArray buffer = pattern;
    if (!::mkdtemp(buffer.data())) {
        *whyNot = QStringLiteral("cannot create a run folder in %1").arg(QDir::tempPath());
        return false;
    }
    runFolder_ = QFile::decodeName(buffer);
    folderLocks_ << HoldFolder(runFolder_);
    // The servers' unprivileged processes must reach the root below it.
    ::chmod(buffer.constData(), 0755);
    logFiles_ << runFolder_ + QStringLiteral("/server.log");

    root_ = runFolder_ + QStringLiteral("/root");
    if (options.rootOnTmpfs && QFileInfo(QStringLiteral("/dev/shm")).isWritable()) {
        QByteArray shm = "/dev/shm/tarvo-peer-root-XXXXXX";
        if (::mkdtemp(shm.data())) {
            ::chmod(shm.constData(), 0755);
            tmpfsFolder_ = QFile::decodeName(shm);
            folderLocks_ << HoldFolder(tmpfsFolder_);
            root_ = tmpfsFolder_ + QStringLiteral("/root");
        }
    }
    if (!QDir().mkpath(root_)) {
        *whyNot = QStringLiteral("cannot create the root folder %1").arg(root_);
        return false;
    }
    ::chmod(QFile::encodeName(root_).constData(), 0755);

    ipv6_ = options.ipv6;
    refusedCommands_ = options.refusedCommands;
    maxPerAddress_ = options.maxConnectionsPerAddress;
    if (ipv6_ && kind_ != Kind::Vsftpd && kind_ != Kind::Pyftpdlib) {
        *whyNot = QStringLiteral("%1 is not started on ::1 by the tests").arg(KindName(kind_));
        return false;
    }
    if (!Prepare(options, whyNot))
        return false;
    HandOver(root_);

    process_ = std::make_unique<QProcess>();
    process_->setProgram(program_);
    process_->setArguments(arguments_);
    process_->setWorkingDirectory(runFolder_);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString &pair : std::as_const(environment_))
        environment.insert(pair.section(QLatin1Char('='), 0, 0), pair.section(QLatin1Char('='), 1));
    process_->setProcessEnvironment(environment);
    // A log file, not a pipe: a chatty server must never block on a full pipe.
    process_->setProcessChannelMode(QProcess::MergedChannels);
    process_->setStandardOutputFile(runFolder_ + QStringLiteral("/server.log"), QIODevice::Append);
    process_->setStandardInputFile(QProcess::nullDevice());
    process_->setChildProcessModifier([] {
        ::setsid();                         // own process group: Kill/Pause reach the session children
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);  // never outlive a crashed test
    });
    process_->start();
    if (!process_->waitForStarted(5000)) {
        *whyNot = QStringLiteral("cannot run %1: %2").arg(program_, process_->errorString());
        return false;
    }

    const QDeadlineTimer deadline(options.startTimeoutMs);
    if (portFromOutput_ && !ReadAnnouncedPort(int(deadline.remainingTime()), whyNot))
        return false;
    if (!WaitReady(int(deadline.remainingTime()))) {
        QString state = Running() ? QStringLiteral("still running")
                                  : QStringLiteral("exited with code %1").arg(process_->exitCode());
        *whyNot = QStringLiteral("port %1 did not become ready within %2 ms (process %3)\n%4")
                      .arg(port_)
                      .arg(options.startTimeoutMs)
                      .arg(state, LogTail());
        return false;
    }
    return true;
}

bool PeerServer::ReadAnnouncedPort(int timeoutMs, QString *whyNot)
{
    // "The first number on a line": "8080", "listening on 8080", "ready 8080".
    static const QRegularExpression number(QStringLiteral("\\b(\\d{1,5})\\b"));
    const QDeadlineTimer deadline(timeoutMs);
    QFile log(runFolder_ + QStringLiteral("/server.log"));
    while (!deadline.hasExpired()) {
        if (log.open(QIODevice::ReadOnly)) {
            const QList<QByteArray> lines = log.readAll().split('\n');
            log.close();
            for (int i = 0; i + 1 < lines.size(); ++i) {  // complete lines only
                const auto match = number.match(QString::fromUtf8(lines[i]));
                const int value = match.hasMatch() ? match.captured(1).toInt() : 0;
                if (value > 0 && value < 65536) {
                    port_ = quint16(value);
                    return true;
                }
            }
        }
        if (!Running())
            break;
        QThread::msleep(20);
    }
    *whyNot = QStringLiteral("the script printed no port number\n%1").arg(LogTail());
    return false;
}

bool PeerServer::WaitReady(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    // An implicit TLS server greets only through TLS: an accepted connection is enough.
    const bool greets = kind_ != Kind::Script && tls_ != Options::Tls::Implicit;
    while (!deadline.hasExpired()) {
        if (!Running())
            return false;
        QTcpSocket probe;
        probe.connectToHost(Host(), port_);
        if (probe.waitForConnected(int(qBound(qint64(1), deadline.remainingTime(), qint64(500))))) {
            if (!greets)
                return true;
            QByteArray text;
            while (!ReplyComplete(text) && !deadline.hasExpired() &&
                   probe.waitForReadyRead(int(qMax(qint64(1), deadline.remainingTime()))))
                text += probe.readAll();
            if (ReplyComplete(text)) {
                greeting_ = text;
                probe.write("QUIT\r\n");
                probe.waitForBytesWritten(200);
                probe.abort();
                return true;
            }
            probe.abort();
        }
        QThread::msleep(30);
    }
    return false;
}

PeerServer::~PeerServer()
{
    Stop();
    process_.reset();
    if (!runFolder_.isEmpty())
        QDir(runFolder_).removeRecursively();
    if (!tmpfsFolder_.isEmpty())
        QDir(tmpfsFolder_).removeRecursively();
    for (int fd : std::as_const(folderLocks_))
        if (fd >= 0)
            ::close(fd);
}

bool PeerServer::Running() const
{
    if (!process_)
        return false;
    // Lets QProcess notice an exit without an event loop.
    if (process_->state() != QProcess::NotRunning)
        process_->waitForFinished(0);
    return process_->state() != QProcess::NotRunning;
}

qint64 PeerServer::ProcessId() const
{
    return Running() ? process_->processId() : 0;
}

QList<PeerServer::Process> PeerServer::ProcessTree() const
{
    // Every process whose parent chain leads to the server: vsftpd's session
    // processes make themselves session leaders, so a process group misses them.
    QList<Process> tree;
    const pid_t root = pid_t(ProcessId());
    if (root <= 1)
        return tree;
    struct Entry {
        pid_t pid;
        pid_t parent;
        qulonglong start;
    };
    QList<Entry> all;
    const QStringList names = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &name : names) {
        bool numeric = false;
        const pid_t pid = pid_t(name.toInt(&numeric));
        if (!numeric)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.readAll();
        // "pid (name) state ppid pgrp ... starttime(22nd)": the name may hold
        // spaces and parentheses, so the fields are counted after the last ')'.
        const QByteArrayList fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 19)
            all.append({pid, pid_t(fields[1].toInt()), fields[19].toULongLong()});
    }
    QList<pid_t> wanted{root};
    for (qsizetype i = 0; i < wanted.size(); ++i) {
        for (const Entry &entry : std::as_const(all)) {
            if (entry.pid == wanted[i])
                tree.append({qint64(entry.pid), entry.start});
            else if (entry.parent == wanted[i] && !wanted.contains(entry.pid))
                wanted.append(entry.pid);
        }
    }
    return tree;
}

QList<qint64> PeerServer::ProcessIds() const
{
    QList<qint64> ids;
    for (const Process &process : ProcessTree())
        ids << process.pid;
    return ids;
}

void PeerServer::Signal(const QList<Process> &processes, int signalNumber)
{
    for (const Process &process : processes) {
        // Only while the number still names the same process (same start time).
        QFile stat(QStringLiteral("/proc/%1/stat").arg(process.pid));
        if (process.pid <= 1 || !stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.readAll();
        const QByteArrayList fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 19 && fields[19].toULongLong() == process.start)
            ::kill(pid_t(process.pid), signalNumber);
    }
}

void PeerServer::Stop()
{
    if (!Running())
        return;
    const QList<Process> tree = ProcessTree();
    Signal(tree, SIGTERM);
    if (paused_)
        Signal(tree, SIGCONT);
    paused_ = false;
    if (!process_->waitForFinished(3000))
        Signal(tree, SIGKILL);
    // Sessions that outlived the server itself.
    Signal(tree, SIGKILL);
    process_->waitForFinished(3000);
}

void PeerServer::Kill()
{
    if (!Running())
        return;
    Signal(ProcessTree(), SIGKILL);
    process_->waitForFinished(3000);
    paused_ = false;
}

void PeerServer::Pause()
{
    Signal(ProcessTree(), SIGSTOP);
    paused_ = true;
}

void PeerServer::Resume()
{
    Signal(ProcessTree(), SIGCONT);
    paused_ = false;
}

QString PeerServer::LogTail(int lines) const
{
    QString tail;
    for (const QString &path : logFiles_) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        QList<QByteArray> all = file.readAll().split('\n');
        while (!all.isEmpty() && all.last().isEmpty())
            all.removeLast();
        tail += QStringLiteral("--- %1 ---\n").arg(QFileInfo(path).fileName());
        for (qsizetype i = qMax<qsizetype>(0, all.size() - lines); i < all.size(); ++i)
            tail += QString::fromUtf8(all[i]) + QLatin1Char('\n');
    }
    return tail.isEmpty() ? QStringLiteral("(no log)") : tail;
}

QList<ReceivedMail> PeerServer::Mails() const
{
    QList<ReceivedMail> mails;
    if (mailFolder_.isEmpty())
        return mails;
    QDir folder(mailFolder_);
    // Four-digit names: name order is arrival order. Dot names are still being written.
    const QStringList names = folder.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString &name : names) {
        auto read = [&](const char *part) {
            QFile file(folder.filePath(name + QLatin1Char('/') + QLatin1String(part)));
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        ReceivedMail mail;
        mail.helo = read("helo");
        mail.from = read("from");
        const QByteArray recipients = read("rcpt");
        if (!recipients.isEmpty())
            mail.recipients = recipients.split('\n');
        mail.data = read("data");
        mails << mail;
    }
    return mails;
}

QString PeerServer::PathOf(const QString &relativePath) const
{
    return QDir::cleanPath(root_ + QLatin1Char('/') + relativePath);
}

void PeerServer::HandOver(const QString &path) const
{
    if (ownerUid_ < 0)
        return;
    // Every folder from the root down to the path, then the path itself.
    const QString relative = QDir(root_).relativeFilePath(path);
    QString current = root_;
    ::chown(QFile::encodeName(current).constData(), uid_t(ownerUid_), gid_t(ownerGid_));
    if (relative == QLatin1String("."))
        return;
    for (const QString &part : relative.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        current += QLatin1Char('/') + part;
        ::chown(QFile::encodeName(current).constData(), uid_t(ownerUid_), gid_t(ownerGid_));
    }
}

void PeerServer::HandOverTree(const QString &relativePath) const
{
    if (ownerUid_ < 0)
        return;
    const QString top = PathOf(relativePath);
    HandOver(top);
    QDirIterator it(top, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        ::lchown(QFile::encodeName(it.next()).constData(), uid_t(ownerUid_), gid_t(ownerGid_));
}

bool PeerServer::MakeDirectory(const QString &relativePath) const
{
    const QString path = PathOf(relativePath);
    if (!QDir().mkpath(path))
        return false;
    HandOver(path);
    return true;
}

bool PeerServer::PutFile(const QString &relativePath, const QByteArray &content) const
{
    const QString path = PathOf(relativePath);
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder))
        return false;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) != content.size())
        return false;
    file.close();
    HandOver(path);
    return true;
}

QByteArray PeerServer::ReadFile(const QString &relativePath) const
{
    QFile file(PathOf(relativePath));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool PeerServer::Exists(const QString &relativePath) const
{
    return QFileInfo::exists(PathOf(relativePath));
}

}  // namespace testsupport
