// FTPS in the engine: explicit and implicit TLS against vsftpd (which requires
// data connections to resume the control session), pure-ftpd and pyftpdlib
// with a certificate the test run makes; what each TLS mode does against a
// server without TLS; certificate decisions and the trust store; handshakes
// that fail or never end; a data stream cut without close_notify.

#include "peer_server.h"
#include "scripted_ftp_peer.h"
#include "test_certificate.h"
#include "tst_transfer_probe.h"

#include "platform/folders.h"
#include "platform/tls_context.h"
#include "platform/tls_trust_store.h"

#include <QTemporaryDir>
#include <QtTest>

using testsupport::PeerServer;
using testsupport::Reply;
using testsupport::ScriptedFtpPeer;
using namespace transfertest;
using Tls = PeerServer::Options::Tls;

Q_DECLARE_METATYPE(PeerServer::Kind)
Q_DECLARE_METATYPE(Tls)

namespace {

QStringList Commands(const Probe &probe)
{
    QStringList commands;
    for (const QString &text : probe.InfoTexts(ftpiCommand))
        commands << QString(text).remove(QStringLiteral("\r\n"));
    return commands;
}

QByteArray RemotePath(const TMFtp &ftp, const QByteArray &name)
{
    const QByteArray directory = ftp.CurrentDirectory();
    return directory.endsWith('/') ? directory + name : directory + '/' + name;
}

std::unique_ptr<PeerServer> StartTls(PeerServer::Kind kind, Tls tls, QString *why, bool cutData = false,
                                     const testsupport::TestCertificate *certificate = nullptr)
{
    PeerServer::Options options;
    options.tls = tls;
    options.tlsCutData = cutData;
    if (certificate) {
        options.certificateFile = certificate->certificateFile;
        options.keyFile = certificate->keyFile;
    }
    return PeerServer::Start(kind, options, why);
}

// Answers every certificate question with `answer`, counting them.
struct CertificateAnswerer {
    int questions = 0;
    bool changed = false;
    platform::TlsCertificateInfo last;
    TMFtpCertificateAnswer answer = certAcceptOnce;
    void Attach(TMFtp &ftp)
    {
        ftp.OnFtpCertificate = [this](QObject *, const platform::TlsCertificateInfo &certificate, bool wasChanged,
                                      TMFtpCertificateAnswer &reply) {
            ++questions;
            changed = wasChanged;
            last = certificate;
            reply = answer;
        };
    }
};

}  // namespace

#define SKIP_UNLESS_TLS(kind, tls)                                                   \
    do {                                                                             \
        QString why_;                                                                \
        if (!PeerServer::Available(kind, &why_) || !PeerServer::TlsAvailable(kind, tls, &why_)) \
            QSKIP(qPrintable(why_));                                                 \
    } while (false)

class TestFtpsServers : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void transfersOverTls_data();
    void transfersOverTls();
    void plainLoginRefusedByTlsServer_data();
    void plainLoginRefusedByTlsServer();
    void modesAgainstServerWithoutTls_data();
    void modesAgainstServerWithoutTls();
    void certificateDecisionsAndTrustStore();
    void verificationAgainstTrustedCa_data();
    void verificationAgainstTrustedCa();
    void handshakeFailures_data();
    void handshakeFailures();
    void downloadCutWithoutCloseNotifyFails();

private:
    std::unique_ptr<QTemporaryDir> local_;
};

void TestFtpsServers::init()
{
    local_ = std::make_unique<QTemporaryDir>();
    platform::SetSettingsFolderOverride(local_->path());
}

void TestFtpsServers::cleanup()
{
    platform::SetSettingsFolderOverride(QString());
    platform::TlsContext::Reset();
}

void TestFtpsServers::transfersOverTls_data()
{
    QTest::addColumn<PeerServer::Kind>("kind");
    QTest::addColumn<Tls>("serverTls");
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("passive");
    using K = PeerServer::Kind;
    QTest::newRow("vsftpd explicit required, passive") << K::Vsftpd << Tls::ExplicitRequired << int(tlsExplicitRequired) << true;
    QTest::newRow("vsftpd explicit if supported, active") << K::Vsftpd << Tls::ExplicitRequired << int(tlsExplicitIfSupported) << false;
    QTest::newRow("vsftpd implicit, passive") << K::Vsftpd << Tls::Implicit << int(tlsImplicitRequired) << true;
    QTest::newRow("vsftpd implicit, active") << K::Vsftpd << Tls::Implicit << int(tlsImplicitRequired) << false;
    QTest::newRow("pure-ftpd -Y 2, passive") << K::PureFtpd << Tls::ExplicitRequired << int(tlsExplicitRequired) << true;
    QTest::newRow("pure-ftpd -Y 1, active") << K::PureFtpd << Tls::Explicit << int(tlsExplicitRequired) << false;
    QTest::newRow("pyftpdlib TLS, passive") << K::Pyftpdlib << Tls::ExplicitRequired << int(tlsExplicitRequired) << true;
    QTest::newRow("pyftpdlib TLS, active") << K::Pyftpdlib << Tls::Explicit << int(tlsExplicitIfSupported) << false;
}

void TestFtpsServers::transfersOverTls()
{
    QFETCH(PeerServer::Kind, kind);
    QFETCH(Tls, serverTls);
    QFETCH(int, mode);
    QFETCH(bool, passive);
    SKIP_UNLESS_TLS(kind, serverTls);
    QString why;
    auto server = StartTls(kind, serverTls, &why);
    QVERIFY2(server, qPrintable(why));
    const QList<qint64> sizes = {0, 1, TMFtp::TransferBlockSize, 3 * 1024 * 1024 + 5};
    for (qint64 size : sizes)
        QVERIFY(server->PutFile(QStringLiteral("d%1.bin").arg(size), Pattern(size, quint32(size + 1))));
    const QByteArray big = Pattern(24 * 1024 * 1024, 99);
    QVERIFY(server->PutFile(QStringLiteral("big.bin"), big));

    TMFtp ftp;
    Probe probe(ftp);
    CertificateAnswerer answerer;
    answerer.Attach(ftp);
    ftp.TlsMode = TMFtpTlsMode(mode);
    ftp.Passive = passive;
    QVERIFY2(Login(ftp, probe, server->Host(), server->Port(), server->User().toUtf8(), server->Password().toUtf8()),
             qPrintable(probe.Dialogue() + probe.sequence.join(u' ') + server->LogTail()));
    // The test's certificate is self-signed and names no address: the owner decides, once.
    QCOMPARE(answerer.questions, 1);
    QCOMPARE(answerer.last.sha256, server->CertificateSha256());
    QVERIFY(!answerer.changed);
    const QStringList secured = {QStringLiteral("PBSZ 0"), QStringLiteral("PROT P"), QStringLiteral("USER ") + server->User()};
    QCOMPARE(Commands(probe).mid(0, 4), mode == tlsImplicitRequired ? secured + QStringList{QStringLiteral("PASS ")
                                                                                           + QString(server->Password().size(), u'*')}
                                                                    : QStringList{QStringLiteral("AUTH TLS")} + secured);
    QVERIFY(ftp.ControlEncrypted());
    QVERIFY(ftp.DataEncrypted());
    QCOMPARE(probe.InfoCount(ftpiTlsEstablished), 1);
    QVERIFY2(probe.InfoTexts(ftpiTlsEstablished).first().contains(QStringLiteral("TLSv1.")),
             qPrintable(probe.InfoTexts(ftpiTlsEstablished).first()));
    QCOMPARE(probe.InfoCount(ftpiNotEncrypted), 0);

    probe.Forget();
    ftp.List();
    QTRY_COMPARE_WITH_TIMEOUT(probe.Count(QStringLiteral("ListingDone")), 1, 10000);
    QVERIFY2(ftp.Success(), qPrintable(probe.Dialogue()));
    for (qint64 size : sizes)
        QVERIFY(ftp.FileNames.contains(QStringLiteral("d%1.bin").arg(size).toLatin1()));

    for (qint64 size : sizes) {
        const QByteArray data = Pattern(size, quint32(size + 1));
        probe.Forget();
        ftp.RemoteFile = RemotePath(ftp, QStringLiteral("d%1.bin").arg(size).toLatin1());
        ftp.LocalFile = local_->filePath(QStringLiteral("d%1.bin").arg(size));
        ftp.Download();
        QTRY_VERIFY_WITH_TIMEOUT(probe.Count(QStringLiteral("FileReceived")) > 0, 20000);
        QVERIFY2(ftp.Success() && probe.Count(QStringLiteral("FileReceived")) == 1,
                 qPrintable(QStringLiteral("download %1: ").arg(size) + probe.Dialogue() + probe.sequence.join(u' ') + server->LogTail()));
        QCOMPARE(Sha256OfFile(ftp.LocalFile), Sha256(data));

        probe.Forget();
        ftp.RemoteFile = RemotePath(ftp, QStringLiteral("u%1.bin").arg(size).toLatin1());
        ftp.Upload();
        QTRY_COMPARE_WITH_TIMEOUT(probe.Count(QStringLiteral("FileStored")), 1, 20000);
        QVERIFY2(ftp.Success(), qPrintable(QStringLiteral("upload %1: ").arg(size) + probe.Dialogue() + probe.sequence.join(u' ') + server->LogTail()));
        QVERIFY2(Sha256(server->ReadFile(QStringLiteral("u%1.bin").arg(size))) == Sha256(data),
                 qPrintable(QStringLiteral("upload %1: %2 bytes arrived").arg(size).arg(server->ReadFile(QStringLiteral("u%1.bin").arg(size)).size())));
    }
    if (kind == PeerServer::Kind::Vsftpd)
        QVERIFY(ftp.DataSessionReused());  // require_ssl_reuse lets nothing else through

    // Resume both ways from the middle of the largest file.
    const qint64 largest = sizes.last();
    const QByteArray data = Pattern(largest, quint32(largest + 1));
    QVERIFY(WriteFile(local_->filePath(QStringLiteral("resumed.bin")), data.left(largest / 3)));
    QVERIFY(server->PutFile(QStringLiteral("r.bin"), data.left(largest / 2)));
    probe.Forget();
    ftp.List();
    QTRY_COMPARE_WITH_TIMEOUT(probe.Count(QStringLiteral("ListingDone")), 1, 10000);
    probe.answers[needResumeDownload] = QStringLiteral("Resume");
    probe.answers[needResumeUpload] = QStringLiteral("Resume");
    probe.Forget();
    ftp.RemoteFile = RemotePath(ftp, QStringLiteral("d%1.bin").arg(largest).toLatin1());
    ftp.LocalFile = local_->filePath(QStringLiteral("resumed.bin"));
    ftp.Download();
    QTRY_COMPARE_WITH_TIMEOUT(probe.Count(QStringLiteral("FileReceived")), 1, 20000);
    QVERIFY2(ftp.Success(), qPrintable(probe.Dialogue()));
    QVERIFY(Commands(probe).contains(QStringLiteral("REST %1").arg(largest / 3)));
    QCOMPARE(Sha256OfFile(ftp.LocalFile), Sha256(data));
    probe.Forget();
    ftp.RemoteFile = RemotePath(ftp, "r.bin");
    ftp.Upload();
    QTRY_COMPARE_WITH_TIMEOUT(probe.Count(QStringLiteral("FileStored")), 1, 20000);
    QVERIFY2(ftp.Success(), qPrintable(probe.Dialogue()));
    QVERIFY(Commands(probe).contains(QStringLiteral("REST %1").arg(largest / 2)));
    QCOMPARE(Sha256(server->ReadFile(QStringLiteral("r.bin"))), Sha256(data));

    // Abort a download midway; the session goes on in step.
    probe.Forget();
    ftp.RemoteFile = RemotePath(ftp, "big.bin");
    ftp.LocalFile = local_->filePath(QStringLiteral("aborted.bin"));
    probe.onInfo = [&](FtpInfo info, const QString &) {
        if (info == ftpiProgress && ftp.BytesTransferred >= 2 * 1024 * 1024)
            ftp.Abort();
    };
    ftp.Download();
    QTRY_COMPARE_WITH_TIMEOUT(probe.Count(QStringLiteral("FileReceived")), 1, 20000);
    probe.onInfo = nullptr;
    QVERIFY(!ftp.Success());
    QVERIFY2(ftp.Connected, qPrintable(probe.Dialogue()));
    probe.Forget();
    ftp.RemoteFile = RemotePath(ftp, "d1.bin");
    ftp.LocalFile = local_->filePath(QStringLiteral("after.bin"));
    ftp.Download();
    QTRY_COMPARE_WITH_TIMEOUT(probe.Count(QStringLiteral("FileReceived")), 1, 10000);
    QVERIFY2(ftp.Success(), qPrintable(probe.Dialogue()));
    QCOMPARE(ReadFile(ftp.LocalFile), Pattern(1, 2));
    QCOMPARE(answerer.questions, 1);  // data connections carry the accepted certificate
}

void TestFtpsServers::plainLoginRefusedByTlsServer_data()
{
    QTest::addColumn<PeerServer::Kind>("kind");
    QTest::newRow("vsftpd") << PeerServer::Kind::Vsftpd;
    QTest::newRow("pure-ftpd") << PeerServer::Kind::PureFtpd;
    QTest::newRow("pyftpdlib") << PeerServer::Kind::Pyftpdlib;
}

void TestFtpsServers::plainLoginRefusedByTlsServer()
{
    QFETCH(PeerServer::Kind, kind);
    SKIP_UNLESS_TLS(kind, Tls::ExplicitRequired);
    QString why;
    auto server = StartTls(kind, Tls::ExplicitRequired, &why);
    QVERIFY2(server, qPrintable(why));
    TMFtp ftp;
    Probe probe(ftp);
    QVERIFY(!Login(ftp, probe, server->Host(), server->Port(), server->User().toUtf8(), server->Password().toUtf8(), 15000));
    QTRY_COMPARE_WITH_TIMEOUT(probe.Count(QStringLiteral("quit")), 1, 10000);
    QCOMPARE(probe.errors, QList<FtpError>{ftpeLoginRefused});
    QVERIFY(!Commands(probe).contains(QStringLiteral("AUTH TLS")));
}

void TestFtpsServers::modesAgainstServerWithoutTls_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QByteArray>("wire");          // what the server receives first
    QTest::addColumn<bool>("loggedIn");
    QTest::addColumn<int>("warnings");
    QTest::newRow("plain only: today's bytes") << int(tlsPlainOnly) << QByteArray("USER u\r\nPASS p\r\nSYST\r\n") << true << 0;
    QTest::newRow("if supported: warned, then plain") << int(tlsExplicitIfSupported)
                                                     << QByteArray("AUTH TLS\r\nUSER u\r\nPASS p\r\nSYST\r\n") << true << 1;
    QTest::newRow("required: no USER") << int(tlsExplicitRequired) << QByteArray("AUTH TLS\r\nQUIT\r\n") << false << 0;
}

void TestFtpsServers::modesAgainstServerWithoutTls()
{
    QFETCH(int, mode);
    QFETCH(QByteArray, wire);
    QFETCH(bool, loggedIn);
    QFETCH(int, warnings);
    ScriptedFtpPeer peer;  // answers AUTH with "502 Command not implemented."
    QVERIFY(peer.Listen());
    TMFtp ftp;
    Probe probe(ftp);
    ftp.TlsMode = TMFtpTlsMode(mode);
    QCOMPARE(Login(ftp, probe, peer.Host(), peer.Port(), "u", "p"), loggedIn);
    if (!loggedIn)
        QTRY_COMPARE(peer.Received(), wire);
    QVERIFY2(peer.Received().startsWith(wire), peer.Received().constData());
    QCOMPARE(probe.InfoCount(ftpiNotEncrypted), warnings);
    if (warnings)
        QVERIFY(probe.InfoTexts(ftpiNotEncrypted).first().contains(QStringLiteral("NOT encrypted")));
    QCOMPARE(probe.errors, loggedIn ? QList<FtpError>{} : QList<FtpError>{ftpeTlsRequired});
    QCOMPARE(ftp.ControlEncrypted(), false);
}

void TestFtpsServers::certificateDecisionsAndTrustStore()
{
    SKIP_UNLESS_TLS(PeerServer::Kind::Pyftpdlib, Tls::Explicit);
    QString why;
    auto server = StartTls(PeerServer::Kind::Pyftpdlib, Tls::ExplicitRequired, &why);
    QVERIFY2(server, qPrintable(why));
    const platform::TlsTrustStore store;  // the settings folder: this test's temporary folder
    const QString key = platform::TlsTrustStore::Key(server->Host(), server->Port());
    struct Step {
        const char *name;
        bool handler;
        TMFtpCertificateAnswer answer;
        bool loggedIn;
        int questions;
        bool stored;
    };
    const Step steps[] = {
        {"no handler: rejected", false, certReject, false, 0, false},
        {"rejected by the handler", true, certReject, false, 1, false},
        {"accepted once", true, certAcceptOnce, true, 1, false},
        {"asked again, always trusted", true, certAlwaysTrust, true, 1, true},
        {"trusted: no question", true, certReject, true, 0, true},
        {"trusted without a handler", false, certReject, true, 0, true},
    };
    for (const Step &step : steps) {
        TMFtp ftp;
        Probe probe(ftp);
        CertificateAnswerer answerer;
        answerer.answer = step.answer;
        if (step.handler)
            answerer.Attach(ftp);
        ftp.TlsMode = tlsExplicitRequired;
        const bool in = Login(ftp, probe, server->Host(), server->Port(), server->User().toUtf8(),
                              server->Password().toUtf8());
        QVERIFY2(in == step.loggedIn, step.name);
        QVERIFY2(answerer.questions == step.questions, step.name);
        QVERIFY2(store.IsTrusted(key, server->CertificateSha256()) == step.stored, step.name);
        if (!step.loggedIn) {
            QVERIFY2(probe.errors == QList<FtpError>{ftpeCertificateRejected}, step.name);
            QVERIFY2(Commands(probe) == QStringList{QStringLiteral("AUTH TLS")}, step.name);
        }
        if (answerer.questions) {
            QVERIFY(!answerer.changed);
            QCOMPARE(answerer.last.verifyCode, 18);  // self-signed
            QVERIFY(!answerer.last.hostMatches);     // CN=127.0.0.1 is no subjectAltName address
        }
    }
    QVERIFY(QFile::exists(local_->filePath(platform::TlsTrustStore::DefaultFileName())));

    // Another certificate stored for this host and port: the server's has changed.
    QVERIFY(platform::TlsTrustStore().Trust(key, QString(64, u'a')));
    TMFtp ftp;
    Probe probe(ftp);
    CertificateAnswerer answerer;
    answerer.answer = certReject;
    answerer.Attach(ftp);
    ftp.TlsMode = tlsExplicitRequired;
    QVERIFY(!Login(ftp, probe, server->Host(), server->Port(), server->User().toUtf8(), server->Password().toUtf8()));
    QCOMPARE(answerer.questions, 1);
    QVERIFY(answerer.changed);
    QCOMPARE(answerer.last.sha256, server->CertificateSha256());
}

void TestFtpsServers::verificationAgainstTrustedCa_data()
{
    QTest::addColumn<QString>("subjectAltName");
    QTest::addColumn<bool>("verified");
    QTest::newRow("names the address") << QStringLiteral("IP:127.0.0.1") << true;
    QTest::newRow("names another host") << QStringLiteral("DNS:wrong.example") << false;
}

void TestFtpsServers::verificationAgainstTrustedCa()
{
    QFETCH(QString, subjectAltName);
    QFETCH(bool, verified);
    SKIP_UNLESS_TLS(PeerServer::Kind::Pyftpdlib, Tls::Explicit);
    testsupport::TestCertificate certificate;
    QString why;
    QVERIFY2(testsupport::MakeSelfSignedCertificate(local_->path(), QStringLiteral("ca"), QStringLiteral("127.0.0.1"),
                                                    {QStringLiteral("subjectAltName=") + subjectAltName}, &certificate, &why),
             qPrintable(why));
    platform::TlsContext::AddTrustedCertificateFile(certificate.certificateFile);
    auto server = StartTls(PeerServer::Kind::Pyftpdlib, Tls::ExplicitRequired, &why, false, &certificate);
    QVERIFY2(server, qPrintable(why));
    TMFtp ftp;
    Probe probe(ftp);
    ftp.TlsMode = tlsExplicitRequired;  // no handler: anything unverified is rejected
    QCOMPARE(Login(ftp, probe, server->Host(), server->Port(), server->User().toUtf8(), server->Password().toUtf8()),
             verified);
    QCOMPARE(ftp.ServerCertificate().Verified(), verified);
    QCOMPARE(ftp.ServerCertificate().hostMatches, verified);
    if (!verified) {
        QCOMPARE(probe.errors, QList<FtpError>{ftpeCertificateRejected});
        QCOMPARE(ftp.ServerCertificate().verifyCode, 64);  // X509_V_ERR_IP_ADDRESS_MISMATCH
    }
}

void TestFtpsServers::handshakeFailures_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("peer");  // "scripted" or the TLS test peer's mode
    QTest::addColumn<int>("error");
    QTest::newRow("AUTH accepted, then plain text") << int(tlsExplicitRequired) << QStringLiteral("scripted") << int(ftpeTlsHandshake);
    QTest::newRow("implicit against a plain server") << int(tlsImplicitRequired) << QStringLiteral("scripted") << int(ftpeTlsHandshake);
    QTest::newRow("implicit, handshake never answered") << int(tlsImplicitRequired) << QStringLiteral("stall") << int(ftpeTimeout);
    // Logging in, after 234: only the inactivity watchdog can end this one.
    QTest::newRow("explicit, handshake never answered") << int(tlsExplicitRequired) << QStringLiteral("auth-stall") << int(ftpeTimeout);
}

void TestFtpsServers::handshakeFailures()
{
    QFETCH(int, mode);
    QFETCH(QString, peer);
    QFETCH(int, error);
    ScriptedFtpPeer scripted;
    std::unique_ptr<PeerServer> stalling;
    quint16 port = 0;
    if (peer == u"scripted") {
        QVERIFY(scripted.Listen());
        scripted.On("AUTH", Reply::Line(234, "Go ahead").Pause(200).Write("500 Plain text where TLS belongs\r\n"));
        port = scripted.Port();
    } else {
        testsupport::TestCertificate certificate;
        QString why;
        QVERIFY2(testsupport::MakeSelfSignedCertificate(local_->path(), QStringLiteral("stall"), QStringLiteral("127.0.0.1"),
                                                        {}, &certificate, &why),
                 qPrintable(why));
        stalling = PeerServer::StartScript(testsupport::PeerScriptsFolder() + QStringLiteral("/tls_peer.py"),
                                           {QStringLiteral("--port"), QStringLiteral("{port}"), QStringLiteral("--cert"),
                                            certificate.certificateFile, QStringLiteral("--key"), certificate.keyFile,
                                            QStringLiteral("--mode"), peer},
                                           &why);
        QVERIFY2(stalling, qPrintable(why));
        port = stalling->Port();
    }
    TMFtp ftp;
    Probe probe(ftp);
    ftp.TlsMode = TMFtpTlsMode(mode);
    ftp.TimeOutConnect = 2;
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!Login(ftp, probe, QStringLiteral("127.0.0.1"), port, "u", "p", 8000));
    QCOMPARE(probe.errors, QList<FtpError>{FtpError(error)});
    if (error == ftpeTimeout)
        QVERIFY(clock.elapsed() >= 1500);
    QVERIFY(!Commands(probe).contains(QStringLiteral("USER u")));
    QVERIFY(!scripted.Commands().contains("USER u"));
    QVERIFY(!ftp.Connected);
}

void TestFtpsServers::downloadCutWithoutCloseNotifyFails()
{
    SKIP_UNLESS_TLS(PeerServer::Kind::Pyftpdlib, Tls::Explicit);
    QString why;
    auto server = StartTls(PeerServer::Kind::Pyftpdlib, Tls::ExplicitRequired, &why, true);
    QVERIFY2(server, qPrintable(why));
    QVERIFY(server->PutFile(QStringLiteral("cut.bin"), Pattern(1024 * 1024, 5)));
    TMFtp ftp;
    Probe probe(ftp);
    CertificateAnswerer answerer;
    answerer.Attach(ftp);
    ftp.TlsMode = tlsExplicitRequired;
    ftp.Passive = true;
    QVERIFY2(Login(ftp, probe, server->Host(), server->Port(), server->User().toUtf8(), server->Password().toUtf8()),
             qPrintable(probe.Dialogue()));
    probe.Forget();
    QString errorText;
    const auto recordError = ftp.OnFtpError;
    ftp.OnFtpError = [&](QObject *sender, FtpError error, const QString &text) {
        errorText = text;
        recordError(sender, error, text);
    };
    ftp.RemoteFile = "/cut.bin";
    ftp.LocalFile = local_->filePath(QStringLiteral("cut.bin"));
    ftp.Download();
    QTRY_COMPARE_WITH_TIMEOUT(probe.Count(QStringLiteral("FileReceived")), 1, 10000);
    QVERIFY(!ftp.Success());
    QCOMPARE(probe.errors, QList<FtpError>{ftpeDataError});
    QVERIFY2(errorText.contains(QStringLiteral("close_notify")), qPrintable(errorText));
    QVERIFY(ftp.Connected);
}

QTEST_MAIN(TestFtpsServers)
#include "tst_ftps_servers.moc"
