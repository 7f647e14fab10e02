#pragma once
// Real servers for the tests: vsftpd, proftpd, pure-ftpd and pyftpdlib for FTP,
// aiosmtpd for SMTP, and any /usr/bin/python3 script (the HTTP peer) — each
// started on 127.0.0.1 on ports of its own, with a temporary run folder, and
// stopped when the PeerServer goes away.
//
// Typical use:
//
//     QString why;
//     if (!PeerServer::Available(PeerServer::Kind::Vsftpd, &why))
//         QSKIP(qPrintable(why));                       // e.g. not root
//     auto server = PeerServer::Start(PeerServer::Kind::Vsftpd, &why);
//     QVERIFY2(server, qPrintable(why));                 // a failure to start is a failure
//     server->PutFile(u"dir/a.txt"_s, "hello");          // owned by the server's user
//     ... connect to server->Host(), server->Port() as server->User()/Password() ...
//     QCOMPARE(server->ReadFile(u"up.txt"_s), expected); // check what landed on its disk
//
// The kinds. FTP logins are User() "tarvoftp", Password() "tarvo-pass"; every
// FTP server allows upload, download, REST before RETR and before STOR, APPE,
// MKD/RMD/DELE/RNFR/RNTO, SITE CHMOD, PASV and PORT (to 127.0.0.1 only: all
// refuse a PORT to another address than the control connection's).
//   Vsftpd     root only. No chroot: PWD is the absolute Root(). Numeric owners
//              in LIST. A wrong password is refused after PAM's ~2 s delay.
//   Proftpd    root only. Chrooted: PWD "/". Owner names in LIST.
//   PureFtpd   root only. Chrooted: PWD "/". Six-line greeting; numeric owner
//              and wider columns in LIST. A wrong password is refused only
//              after seconds.
//   Pyftpdlib  any user. PWD "/". Answers "125" instead of "150" when the data
//              connection is already open.
//   Smtp       aiosmtpd; accepted messages in MailFolder(), read with Mails().
//   Script     a /usr/bin/python3 script with its arguments (see Options).
//
// Kill(), Pause() and Resume() reach the per-session processes of vsftpd,
// proftpd and pure-ftpd too (found through their parent chain: vsftpd's make
// themselves session leaders) — that is what breaks off a transfer already
// running. The server runs in a session of its own and dies with the test
// process (PR_SET_PDEATHSIG) if the test crashes.
//
// Logs (stdout/stderr of the server as server.log, plus the server's own log
// files) go into RunFolder(); a failed start's reason ends with their tail.

#include <QByteArray>
#include <QByteArrayList>
#include <QList>
#include <QString>
#include <QStringList>
#include <memory>

class QProcess;

namespace testsupport {

class PortBlock;

// One message the SMTP peer accepted.
struct ReceivedMail {
    QByteArray helo;             // the HELO/EHLO argument
    QByteArray from;             // envelope sender (MAIL FROM, without < >)
    QByteArrayList recipients;   // envelope recipients (RCPT TO), in order
    QByteArray data;             // message bytes after DATA, dot-unstuffed, CR LF kept
};

class PeerServer {
public:
    enum class Kind { Vsftpd, Proftpd, PureFtpd, Pyftpdlib, Smtp, Script };

    struct Options {
        // FTP kinds: put the login's root on /dev/shm (tmpfs) when it is there and
        // writable — for trees of thousands of files, slow on the disk here.
        bool rootOnTmpfs = false;
        // Script kind: the script run with /usr/bin/python3, and its arguments.
        // In the arguments "{port}" becomes a free port, "{root}" Root() and
        // "{run}" RunFolder(). Without "{port}" the script must print its port
        // as the first number on a line of its standard output.
        QString script;
        QStringList arguments;
        // How long Start() waits for the port to accept connections.
        int startTimeoutMs = 15000;
        // FTP kinds with TLS (FTPS): Explicit takes AUTH TLS and still lets a
        // plain login in; ExplicitRequired refuses a plain login and plain
        // data connections (vsftpd force_local_logins_ssl/force_local_data_ssl,
        // pure-ftpd -Y 2, pyftpdlib tls_control_required/tls_data_required);
        // Implicit speaks TLS from the first byte (vsftpd only). vsftpd
        // requires data connections to resume the control session.
        enum class Tls { None, Explicit, ExplicitRequired, Implicit };
        Tls tls = Tls::None;
        // The certificate and key (PEM) the server presents; empty: one made in
        // the run folder with openssl req -x509 ... -subj /CN=127.0.0.1.
        QString certificateFile;
        QString keyFile;
        // pyftpdlib: TLS data connections end without close_notify.
        bool tlsCutData = false;
        // Vsftpd and Pyftpdlib: listen on ::1 instead of 127.0.0.1 (Host() says
        // which). Ipv6Loopback() tells whether this machine has it.
        bool ipv6 = false;
        // Pyftpdlib: commands answered "500" ("PASV", "EPRT", ...).
        QStringList refusedCommands;
        // Pyftpdlib: connections taken from one address at once (0: no limit).
        int maxConnectionsPerAddress = 0;
        // Smtp: tls Explicit offers STARTTLS, ExplicitRequired refuses mail
        // before it, Implicit speaks TLS from the first byte. smtpLogin
        // requires AUTH (PLAIN or LOGIN) with User() and Password().
        bool smtpLogin = false;
    };
    static bool Ipv6Loopback();

    // Whether the kind can serve this TLS variant at all.
    static bool TlsAvailable(Kind kind, Options::Tls tls, QString *whyNot = nullptr);

    static std::unique_ptr<PeerServer> Start(Kind kind, QString *whyNot = nullptr);
    static std::unique_ptr<PeerServer> Start(Kind kind, const Options &options, QString *whyNot = nullptr);
    static std::unique_ptr<PeerServer> StartScript(const QString &script, const QStringList &arguments,
                                                   QString *whyNot = nullptr);

    // Whether this kind can run on this machine at all (program installed or
    // unpacked, FTP user present, root where the server needs it). Tests skip
    // on false and fail when Start() then fails.
    static bool Available(Kind kind, QString *whyNot = nullptr);
    static QString KindName(Kind kind);
    static QList<Kind> FtpKinds();  // Vsftpd, Proftpd, PureFtpd, Pyftpdlib

    ~PeerServer();
    PeerServer(const PeerServer &) = delete;
    PeerServer &operator=(const PeerServer &) = delete;

    Kind ServerKind() const { return kind_; }
    QString Host() const { return ipv6_ ? QStringLiteral("::1") : QStringLiteral("127.0.0.1"); }
    quint16 Port() const { return port_; }
    QString User() const { return user_; }
    QString Password() const { return password_; }
    // Passive data port range of an FTP server (inclusive).
    quint16 PassiveFirst() const { return passiveFirst_; }
    quint16 PassiveLast() const { return passiveLast_; }

    // The folder on disk that the FTP login sees as its root (Script: "{root}").
    QString Root() const { return root_; }
    // What PWD answers right after login: the absolute Root() on vsftpd (no
    // chroot), "/" on the others.
    QByteArray LoginDirectory() const { return loginDirectory_; }
    // The server's run folder: configuration, logs, pid files.
    QString RunFolder() const { return runFolder_; }
    // SMTP: the folder holding one sub-folder per accepted message.
    QString MailFolder() const { return mailFolder_; }
    // The complete greeting reply read when the server became ready (FTP, SMTP).
    QByteArray Greeting() const { return greeting_; }
    // TLS: the SHA-256 fingerprint (lower-case hex) of the certificate presented.
    QString CertificateSha256() const { return certificateSha256_; }
    // The last lines of the server's logs.
    QString LogTail(int lines = 25) const;

    // Accepted messages in arrival order (SMTP).
    QList<ReceivedMail> Mails() const;

    // Files in the login's root. Paths are relative to Root(); folders on the way
    // are created; everything is made owned by the server's user so that the
    // server can overwrite, rename and delete it.
    bool PutFile(const QString &relativePath, const QByteArray &content) const;
    bool MakeDirectory(const QString &relativePath) const;
    // For trees the test made itself inside Root(): gives everything below the
    // path (all of Root() when empty) to the server's user.
    void HandOverTree(const QString &relativePath = QString()) const;
    QByteArray ReadFile(const QString &relativePath) const;  // empty when missing
    bool Exists(const QString &relativePath) const;
    QString PathOf(const QString &relativePath) const;

    // Waits until the port accepts a connection and, for FTP and SMTP, the
    // greeting has come; false when the process ended or the time ran out.
    bool WaitReady(int timeoutMs = 10000);
    bool Running() const;
    qint64 ProcessId() const;
    // The server and every process it started (per-session processes).
    QList<qint64> ProcessIds() const;

    // Terminates the server and its session processes (SIGTERM, then SIGKILL
    // after a moment) and waits for it. Files in Root() stay until the
    // PeerServer is destroyed.
    void Stop();
    // SIGKILL, SIGSTOP and SIGCONT to the server and all its session processes.
    void Kill();
    void Pause();
    void Resume();

private:
    explicit PeerServer(Kind kind);
    bool Launch(const Options &options, QString *whyNot);
    bool Prepare(const Options &options, QString *whyNot);
    bool PrepareVsftpd(QString *whyNot);
    bool PrepareProftpd(QString *whyNot);
    bool PreparePureFtpd(QString *whyNot);
    bool PreparePyftpdlib(QString *whyNot);
    bool PrepareSmtp(const Options &options, QString *whyNot);
    bool PrepareScript(const Options &options, QString *whyNot);
    bool PrepareCertificate(const Options &options, QString *whyNot);
    QByteArray VsftpdTlsLines() const;
    bool ReadAnnouncedPort(int timeoutMs, QString *whyNot);
    struct Process {
        qint64 pid;
        qulonglong start;  // start time: tells a reused process number apart
    };
    QList<Process> ProcessTree() const;
    static void Signal(const QList<Process> &processes, int signalNumber);
    void HandOver(const QString &path) const;

    Kind kind_;
    bool ipv6_ = false;
    QStringList refusedCommands_;
    int maxPerAddress_ = 0;
    std::unique_ptr<PortBlock> ports_;
    std::unique_ptr<QProcess> process_;
    QString program_;
    QStringList arguments_;
    QStringList environment_;  // extra NAME=value pairs
    bool portFromOutput_ = false;
    QString runFolder_;
    QString root_;
    QString tmpfsFolder_;      // removed with the server when the root is on tmpfs
    QList<int> folderLocks_;   // flock()ed ".owner" files of the run and tmpfs folders
    QString mailFolder_;
    QString user_;
    QString password_;
    QByteArray loginDirectory_;
    QByteArray greeting_;
    Options::Tls tls_ = Options::Tls::None;
    bool tlsCutData_ = false;
    QString certificateFile_;
    QString keyFile_;
    QString certificateSha256_;
    QStringList logFiles_;
    quint16 port_ = 0;
    quint16 passiveFirst_ = 0;
    quint16 passiveLast_ = 0;
    int ownerUid_ = -1;        // owner given to files in the root (-1: leave)
    int ownerGid_ = -1;
    bool paused_ = false;
};

// The folder of the unpacked proftpd/pure-ftpd packages (TARVO_PEERS_DIR/root).
QString PeersRoot();
// The folder of the peer scripts (tests/peers in the source tree).
QString PeerScriptsFolder();

}  // namespace testsupport
