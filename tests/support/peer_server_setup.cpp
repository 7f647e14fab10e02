// How each real server is configured and started: one Prepare function per kind
// writes the configuration into the run folder and sets the command line.

#include "peer_server.h"

#include "port_block.h"
#include "test_certificate.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QCryptographicHash>
#include <QProcess>

#include <pwd.h>
#include <unistd.h>

namespace testsupport {

namespace {

constexpr int kPassivePorts = 16;
const char kFtpUser[] = "tarvoftp";
const char kFtpPassword[] = "tarvo-pass";
// SHA-512 crypt of kFtpPassword. pure-pw would hash with argon2id at a cost
// that makes every login take seconds here; crypt(3) hashes are accepted too.
const char kFtpPasswordCrypt[] =
    "$6$tarvopeer$nMmHsGS1JKALHh0xFHgficUPJOgccRAF8NIPsG2ndI7x3KjsoHo9bzXYNwGcvBIJ1ZUosW8AApvstE.EqHCCg1";

bool WriteText(const QString &path, const QByteArray &text, QString *whyNot)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text) == text.size())
        return true;
    *whyNot = QStringLiteral("cannot write %1").arg(path);
    return false;
}

QByteArray Bytes(const QString &text)
{
    return QFile::encodeName(text);
}

}  // namespace

bool PeerServer::Prepare(const Options &options, QString *whyNot)
{
    const bool ftp = kind_ != Kind::Smtp && kind_ != Kind::Script;
    if (ftp || kind_ == Kind::Smtp ||
        (kind_ == Kind::Script && options.arguments.join(QLatin1Char(' ')).contains(QLatin1String("{port}")))) {
        ports_ = PortBlock::Reserve(ftp ? 1 + kPassivePorts : 1, whyNot);
        if (!ports_)
            return false;
        port_ = ports_->First();
        if (ftp) {
            passiveFirst_ = quint16(port_ + 1);
            passiveLast_ = ports_->Last();
        }
    }
    if (ftp) {
        user_ = QString::fromLatin1(kFtpUser);
        password_ = QString::fromLatin1(kFtpPassword);
        loginDirectory_ = "/";
        // Files in the root belong to the login's system user, so the server
        // (which works as that user) can overwrite, rename and delete them.
        if (::geteuid() == 0 && kind_ != Kind::Pyftpdlib) {
            if (const passwd *account = ::getpwnam(kFtpUser)) {
                ownerUid_ = int(account->pw_uid);
                ownerGid_ = int(account->pw_gid);
            }
        }
    }
    if (kind_ == Kind::Smtp && options.smtpLogin) {
        user_ = QStringLiteral("mailer");
        password_ = QStringLiteral("s3cret:pass word");
    }
    if ((ftp || kind_ == Kind::Smtp) && !PrepareCertificate(options, whyNot))
        return false;
    switch (kind_) {
    case Kind::Vsftpd: return PrepareVsftpd(whyNot);
    case Kind::Proftpd: return PrepareProftpd(whyNot);
    case Kind::PureFtpd: return PreparePureFtpd(whyNot);
    case Kind::Pyftpdlib: return PreparePyftpdlib(whyNot);
    case Kind::Smtp: return PrepareSmtp(options, whyNot);
    case Kind::Script: return PrepareScript(options, whyNot);
    }
    return false;
}

bool PeerServer::PrepareCertificate(const Options &options, QString *whyNot)
{
    tls_ = options.tls;
    tlsCutData_ = options.tlsCutData;
    if (tls_ == Options::Tls::None)
        return true;
    TestCertificate made;
    if (options.certificateFile.isEmpty()) {
        if (!MakeSelfSignedCertificate(runFolder_, QStringLiteral("server"), QStringLiteral("127.0.0.1"), {}, &made, whyNot))
            return false;
    } else {
        // A certificate of the test's: its fingerprint is read the same way.
        QFile certificate(options.certificateFile);
        QFile key(options.keyFile);
        if (!certificate.open(QIODevice::ReadOnly) || !key.open(QIODevice::ReadOnly)) {
            *whyNot = QStringLiteral("cannot read %1 or %2").arg(options.certificateFile, options.keyFile);
            return false;
        }
        made.certificateFile = runFolder_ + QStringLiteral("/server.crt");
        made.keyFile = runFolder_ + QStringLiteral("/server.key");
        if (!WriteText(made.certificateFile, certificate.readAll(), whyNot) || !WriteText(made.keyFile, key.readAll(), whyNot))
            return false;
        QProcess digest;
        digest.start(QStringLiteral("/usr/bin/openssl"), {QStringLiteral("x509"), QStringLiteral("-in"),
                     made.certificateFile, QStringLiteral("-outform"), QStringLiteral("DER")});
        digest.waitForFinished(10000);
        made.sha256 = QString::fromLatin1(
            QCryptographicHash::hash(digest.readAllStandardOutput(), QCryptographicHash::Sha256).toHex());
    }
    certificateFile_ = made.certificateFile;
    keyFile_ = made.keyFile;
    certificateSha256_ = made.sha256;
    return true;
}

QByteArray PeerServer::VsftpdTlsLines() const
{
    if (tls_ == Options::Tls::None)
        return QByteArray();
    const bool required = tls_ != Options::Tls::Explicit;
    return "ssl_enable=YES\n"
           "rsa_cert_file=" + Bytes(certificateFile_) + "\n"
           "rsa_private_key_file=" + Bytes(keyFile_) + "\n"
           "allow_anon_ssl=NO\n"
           // The built-in default (DES-CBC3-SHA) is refused by OpenSSL 3.
           "ssl_ciphers=HIGH\n"
           "ssl_request_cert=NO\n"
           "require_ssl_reuse=YES\n"
           "debug_ssl=YES\n"
           "force_local_logins_ssl=" + QByteArray(required ? "YES" : "NO") + "\n"
           "force_local_data_ssl=" + QByteArray(required ? "YES" : "NO") + "\n"
           "implicit_ssl=" + QByteArray(tls_ == Options::Tls::Implicit ? "YES" : "NO") + "\n";
}

bool PeerServer::PrepareVsftpd(QString *whyNot)
{
    // Without chroot vsftpd's PWD is the absolute path of the root.
    loginDirectory_ = Bytes(root_);
    const QString empty = runFolder_ + QStringLiteral("/empty");
    QDir().mkpath(empty);
    const QString log = runFolder_ + QStringLiteral("/vsftpd.log");
    logFiles_ << log;
    const QByteArray config =
        (ipv6_ ? QByteArray("listen=NO\nlisten_ipv6=YES\nlisten_address6=::1\n")
                 : QByteArray("listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1\n")) +
        "listen_port=" + QByteArray::number(port_) + "\n"
        "background=NO\n"
        // With the seccomp sandbox every login dies on this kernel.
        "seccomp_sandbox=NO\n"
        "anonymous_enable=NO\n"
        "local_enable=YES\n"
        "write_enable=YES\n"
        "chmod_enable=YES\n"
        "local_umask=022\n"
        "local_root=" + Bytes(root_) + "\n"
        "pasv_enable=YES\n"
        "pasv_min_port=" + QByteArray::number(passiveFirst_) + "\n"
        "pasv_max_port=" + QByteArray::number(passiveLast_) + "\n"
        "port_enable=YES\n"
        "connect_from_port_20=NO\n"
        // Clients abort with the Telnet interrupt and an urgent ABOR.
        "async_abor_enable=YES\n"
        "max_clients=0\n"
        "max_per_ip=0\n"
        "delay_failed_login=0\n"
        "delay_successful_login=0\n"
        "idle_session_timeout=600\n"
        "data_connection_timeout=600\n"
        "use_localtime=NO\n"
        "xferlog_enable=YES\n"
        "dual_log_enable=YES\n"
        "log_ftp_protocol=YES\n"
        "vsftpd_log_file=" + Bytes(log) + "\n"
        "xferlog_file=" + Bytes(runFolder_ + QStringLiteral("/xferlog")) + "\n"
        "secure_chroot_dir=" + Bytes(empty) + "\n"
        "pam_service_name=vsftpd\n"
        "userlist_enable=NO\n"
        "tcp_wrappers=NO\n" + VsftpdTlsLines();
    const QString path = runFolder_ + QStringLiteral("/vsftpd.conf");
    if (!WriteText(path, config, whyNot))
        return false;
    program_ = QStringLiteral("/usr/sbin/vsftpd");
    arguments_ = {path};
    return true;
}

bool PeerServer::PrepareProftpd(QString *whyNot)
{
    const QString log = runFolder_ + QStringLiteral("/proftpd.log");
    logFiles_ << log;
    // No User/Group: the listening process stays as it was started. Switching
    // it to nobody would clear its parent-death signal, and a crashed test
    // would leave it running. Sessions still work as the logged-in user.
    const QByteArray config =
        "ServerName \"Tarvo test proftpd\"\n"
        "ServerType standalone\n"
        "Port " + QByteArray::number(port_) + "\n"
        "DefaultAddress 127.0.0.1\n"
        "SocketBindTight on\n"
        "UseIPv6 off\n"
        "PassivePorts " + QByteArray::number(passiveFirst_) + " " + QByteArray::number(passiveLast_) + "\n"
        "Umask 022\n"
        "MaxInstances 64\n"
        "AuthPAM off\n"
        "AuthOrder mod_auth_unix.c\n"
        "UseReverseDNS off\n"
        "DelayEngine off\n"
        "WtmpLog off\n"
        "RequireValidShell off\n"
        "TimeoutIdle 600\n"
        "TimeoutNoTransfer 600\n"
        "AllowStoreRestart on\n"
        "AllowRetrieveRestart on\n"
        "PidFile " + Bytes(runFolder_ + QStringLiteral("/proftpd.pid")) + "\n"
        "ScoreboardFile " + Bytes(runFolder_ + QStringLiteral("/proftpd.scoreboard")) + "\n"
        "SystemLog " + Bytes(log) + "\n"
        "TransferLog " + Bytes(runFolder_ + QStringLiteral("/xferlog")) + "\n"
        "DefaultRoot " + Bytes(root_) + "\n"
        "<IfModule mod_ident.c>\n"
        "  IdentLookups off\n"
        "</IfModule>\n"
        "<Directory />\n"
        "  AllowOverwrite on\n"
        "</Directory>\n";
    const QString path = runFolder_ + QStringLiteral("/proftpd.conf");
    if (!WriteText(path, config, whyNot))
        return false;
    program_ = PeersRoot() + QStringLiteral("/usr/sbin/proftpd");
    arguments_ = {QStringLiteral("-n"), QStringLiteral("-q"), QStringLiteral("-c"), path};
    return true;
}

bool PeerServer::PreparePureFtpd(QString *whyNot)
{
    // A virtual user in a puredb file, working as the system user tarvoftp;
    // "/./" at the end of its home chroots it.
    const uid_t uid = uid_t(ownerUid_);
    const gid_t gid = gid_t(ownerGid_);
    const QString passwdFile = runFolder_ + QStringLiteral("/pureftpd.passwd");
    const QString database = runFolder_ + QStringLiteral("/pureftpd.pdb");
    const QByteArray line = QByteArray(kFtpUser) + ':' + kFtpPasswordCrypt + ':' + QByteArray::number(uint(uid)) +
                            ':' + QByteArray::number(uint(gid)) + "::" + Bytes(root_) + "/./::::::::::::\n";
    if (!WriteText(passwdFile, line, whyNot))
        return false;
    QProcess makeDatabase;
    makeDatabase.setProcessChannelMode(QProcess::MergedChannels);
    makeDatabase.start(PeersRoot() + QStringLiteral("/usr/bin/pure-pw"),
                       {QStringLiteral("mkdb"), database, QStringLiteral("-f"), passwdFile});
    if (!makeDatabase.waitForFinished(10000) || makeDatabase.exitCode() != 0) {
        *whyNot = QStringLiteral("pure-pw mkdb failed: %1").arg(QString::fromLocal8Bit(makeDatabase.readAll()));
        return false;
    }
    const QString transferLog = runFolder_ + QStringLiteral("/transfer.log");
    logFiles_ << transferLog;
    program_ = PeersRoot() + QStringLiteral("/usr/sbin/pure-ftpd");
    arguments_ = {
        QStringLiteral("-S"), QStringLiteral("127.0.0.1,%1").arg(port_),
        QStringLiteral("-p"), QStringLiteral("%1:%2").arg(passiveFirst_).arg(passiveLast_),
        QStringLiteral("-l"), QStringLiteral("puredb:") + database,
        QStringLiteral("-E"),  // no anonymous logins
        QStringLiteral("-H"),  // no reverse lookups
        QStringLiteral("-c"), QStringLiteral("64"),
        QStringLiteral("-C"), QStringLiteral("64"),
        QStringLiteral("-O"), QStringLiteral("clf:") + transferLog,
    };
    if (tls_ != Options::Tls::None)
        arguments_ << QStringLiteral("-Y") << (tls_ == Options::Tls::Explicit ? QStringLiteral("1") : QStringLiteral("2"))
                   << QStringLiteral("-2") << certificateFile_ + u',' + keyFile_;
    return true;
}

bool PeerServer::PreparePyftpdlib(QString *whyNot)
{
    const QString script = PeerScriptsFolder() + QStringLiteral("/ftp_pyftpdlib.py");
    if (!QFileInfo::exists(script)) {
        *whyNot = QStringLiteral("%1 is missing (is TARVO_SOURCE_DIR right?)").arg(script);
        return false;
    }
    program_ = QStringLiteral("/usr/bin/python3");
    arguments_ = {script,
                  QStringLiteral("--port"), QString::number(port_),
                  QStringLiteral("--root"), root_,
                  QStringLiteral("--user"), user_,
                  QStringLiteral("--password"), password_,
                  QStringLiteral("--passive"), QStringLiteral("%1-%2").arg(passiveFirst_).arg(passiveLast_),
                  QStringLiteral("--host"), Host()};
    if (tls_ != Options::Tls::None)
        arguments_ << QStringLiteral("--tls-cert") << certificateFile_ << QStringLiteral("--tls-key") << keyFile_;
    if (tls_ == Options::Tls::ExplicitRequired)
        arguments_ << QStringLiteral("--tls-required");
    if (tlsCutData_)
        arguments_ << QStringLiteral("--tls-cut-data");
    if (!refusedCommands_.isEmpty())
        arguments_ << QStringLiteral("--refuse") << refusedCommands_.join(u',');
    if (maxPerAddress_ > 0)
        arguments_ << QStringLiteral("--max-per-ip") << QString::number(maxPerAddress_);
    environment_ << QStringLiteral("PYTHONUNBUFFERED=1");
    return true;
}

bool PeerServer::PrepareSmtp(const Options &options, QString *whyNot)
{
    const QString handler = PeerScriptsFolder() + QStringLiteral("/smtp_sink.py");
    if (!QFileInfo::exists(handler)) {
        *whyNot = QStringLiteral("%1 is missing (is TARVO_SOURCE_DIR right?)").arg(handler);
        return false;
    }
    mailFolder_ = runFolder_ + QStringLiteral("/mail");
    QDir().mkpath(mailFolder_);
    program_ = QStringLiteral("/usr/bin/python3");
    // -n: as root aiosmtpd would otherwise switch to nobody and lose every message.
    arguments_ = {QStringLiteral("-m"), QStringLiteral("aiosmtpd"), QStringLiteral("-n"),
                  QStringLiteral("-l"), QStringLiteral("127.0.0.1:%1").arg(port_),
                  QStringLiteral("-c"), QStringLiteral("smtp_sink.SaveToFolder"), mailFolder_};
    if (tls_ != Options::Tls::None || options.smtpLogin) {
        // TLS and login need aiosmtpd's controller: the sink's own main.
        arguments_ = {handler, QStringLiteral("--port"), QString::number(port_), QStringLiteral("--folder"), mailFolder_};
        if (tls_ != Options::Tls::None)
            arguments_ << QStringLiteral("--cert") << certificateFile_ << QStringLiteral("--key") << keyFile_
                       << QStringLiteral("--tls")
                       << (tls_ == Options::Tls::Implicit           ? QStringLiteral("implicit")
                           : tls_ == Options::Tls::ExplicitRequired ? QStringLiteral("required")
                                                                    : QStringLiteral("offered"));
        if (options.smtpLogin)
            arguments_ << QStringLiteral("--login") << user_ + u'\n' + password_;
    }
    environment_ << QStringLiteral("PYTHONPATH=") + PeerScriptsFolder() << QStringLiteral("PYTHONUNBUFFERED=1");
    return true;
}

bool PeerServer::PrepareScript(const Options &options, QString *whyNot)
{
    if (options.script.isEmpty() || !QFileInfo::exists(options.script)) {
        *whyNot = QStringLiteral("no script to run: \"%1\"").arg(options.script);
        return false;
    }
    program_ = QStringLiteral("/usr/bin/python3");
    arguments_ = {options.script};
    for (QString argument : options.arguments) {
        argument.replace(QLatin1String("{port}"), QString::number(port_));
        argument.replace(QLatin1String("{root}"), root_);
        argument.replace(QLatin1String("{run}"), runFolder_);
        arguments_ << argument;
    }
    portFromOutput_ = port_ == 0;
    environment_ << QStringLiteral("PYTHONPATH=") + PeerScriptsFolder() << QStringLiteral("PYTHONUNBUFFERED=1");
    return true;
}

}  // namespace testsupport
