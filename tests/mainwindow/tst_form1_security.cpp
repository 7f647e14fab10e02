// The main window's encryption and data connection choices against real
// servers: the login bar's TLS modes, the certificate question through the
// dialogs seam, the lock in the status bar, and passive or active transfers
// from the configuration and from a site.

#include "form1_fixture.h"

#include "dialogs/site_options.h"
#include "dialogs/tform2.h"
#include "mainwindow/main_settings.h"
#include "platform/tls_trust_store.h"

#include <QCheckBox>
#include <QComboBox>
#include <QtTest>

using namespace Qt::StringLiterals;
using testsupport::PeerServer;
using Tls = PeerServer::Options::Tls;
using Answer = platform::Dialogs::CertificateAnswer;

Q_DECLARE_METATYPE(Tls)
Q_DECLARE_METATYPE(Answer)

namespace {

bool LogHas(const TForm1 &form, const QString &text)
{
    for (const LogLine &line : LogLines(form)) {
        if (line.text.contains(text))
            return true;
    }
    return false;
}

bool ConnectWith(TForm1 &form, const PeerServer &server, int mode)
{
    form.show();
    form.encryption->setCurrentIndex(mode);
    form.server->setEditText(server.Host());
    form.port->setValue(server.Port());
    form.username->setText(server.User());
    form.password->setText(server.Password());
    form.Button1Click();
    // Logged in and listed, or the session is over.
    return QTest::qWaitFor(
        [&] { return Idle(form) || form.ConnectionStatus->text().contains(u"未连接"_s); }, 15000);
}

}  // namespace

class TestForm1Security : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void encryptionModes_data();
    void encryptionModes();
    void trustedCertificateIsNotAskedAgain();
    void dataConnectionMode_data();
    void dataConnectionMode();

private:
    std::unique_ptr<SettingsFolder> settings_;
    std::unique_ptr<ScopedScriptedDialogs> dialogs_;
};

void TestForm1Security::init()
{
    settings_ = std::make_unique<SettingsFolder>();
    dialogs_ = std::make_unique<ScopedScriptedDialogs>();
    MainSettings = TMainSettings();
}

void TestForm1Security::cleanup()
{
    QCOMPARE((*dialogs_)->UnexpectedCount(), 0);
    dialogs_.reset();
    settings_.reset();
}

void TestForm1Security::encryptionModes_data()
{
    QTest::addColumn<Tls>("serverTls");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QList<Answer>>("answers");  // certificate questions expected, answered so
    QTest::addColumn<bool>("loggedIn");
    QTest::addColumn<QString>("status");        // the encryption panel
    QTest::addColumn<QString>("shown");         // a log line or box text that must appear

    const QList<Answer> none;
    QTest::newRow("tls server, if supported, accepted once")
        << Tls::Explicit << int(SiteOptions::TlsIfSupported) << QList<Answer>{Answer::AcceptCertificateOnce} << true
        << u"已加密 (TLSv1."_s << u"已建立加密连接"_s;
    QTest::newRow("tls server, required, rejected")
        << Tls::ExplicitRequired << int(SiteOptions::TlsExplicitRequired)
        << QList<Answer>{Answer::RejectCertificate} << false << QString() << u"服务器的证书没有被接受"_s;
    QTest::newRow("plain server, if supported")
        << Tls::None << int(SiteOptions::TlsIfSupported) << none << true << u"未加密"_s
        << u"本次连接没有加密"_s;
    QTest::newRow("plain server, required")
        << Tls::None << int(SiteOptions::TlsExplicitRequired) << none << false << QString()
        << u"服务器不支持 TLS 加密"_s;
    QTest::newRow("tls server, plain only")
        << Tls::Explicit << int(SiteOptions::PlainOnly) << none << true << u"未加密"_s << u"USER"_s;
}

void TestForm1Security::encryptionModes()
{
    QFETCH(Tls, serverTls);
    QFETCH(int, mode);
    QFETCH(QList<Answer>, answers);
    QFETCH(bool, loggedIn);
    QFETCH(QString, status);
    QFETCH(QString, shown);
    QString why;
    if (!PeerServer::Available(PeerServer::Kind::Pyftpdlib, &why)
        || (serverTls != Tls::None && !PeerServer::TlsAvailable(PeerServer::Kind::Pyftpdlib, serverTls, &why)))
        QSKIP(qPrintable(why));
    PeerServer::Options options;
    options.tls = serverTls;
    auto server = PeerServer::Start(PeerServer::Kind::Pyftpdlib, options, &why);
    QVERIFY2(server, qPrintable(why));
    for (Answer answer : answers)
        (*dialogs_)->QueueCertificate(answer);
    if (!loggedIn)
        (*dialogs_)->QueueButton(platform::Dialogs::Ok);  // the error box

    FormUnderTest t;
    TForm1 &form = *t.form;
    QVERIFY(ConnectWith(form, *server, mode));
    QCOMPARE(form.ftp1->LoggedIn(), loggedIn);
    QCOMPARE(form.EncryptionStatus->text().left(status.size()), status);
    QCOMPARE(form.EncryptionStatus->isVisibleTo(&form), loggedIn);

    const QList<ScriptedDialogs::Call> asked = (*dialogs_)->CallsOf(ScriptedDialogs::AskCertificateKind);
    QCOMPARE(asked.size(), answers.size());
    for (const ScriptedDialogs::Call &call : asked) {
        QCOMPARE(call.caption, u"%1:%2"_s.arg(server->Host()).arg(server->Port()));
        QVERIFY(!call.certificateChanged);
    }
    const auto boxes = (*dialogs_)->CallsOf(ScriptedDialogs::MessageBoxKind);
    QVERIFY2(LogHas(form, shown) || (!boxes.isEmpty() && boxes.last().text.contains(shown)), qPrintable(shown));
    // Refused encryption never lets the login out in clear.
    if (mode == SiteOptions::TlsExplicitRequired && !loggedIn)
        QVERIFY(Commands(form, {u"USER"_s}).isEmpty());
}

void TestForm1Security::trustedCertificateIsNotAskedAgain()
{
    QString why;
    if (!PeerServer::Available(PeerServer::Kind::Pyftpdlib, &why)
        || !PeerServer::TlsAvailable(PeerServer::Kind::Pyftpdlib, Tls::Explicit, &why))
        QSKIP(qPrintable(why));
    PeerServer::Options options;
    options.tls = Tls::Explicit;
    auto server = PeerServer::Start(PeerServer::Kind::Pyftpdlib, options, &why);
    QVERIFY2(server, qPrintable(why));
    (*dialogs_)->QueueCertificate(Answer::TrustCertificateAlways);

    for (int run = 0; run < 2; ++run) {
        FormUnderTest t;
        QVERIFY(ConnectWith(*t.form, *server, SiteOptions::TlsIfSupported));
        QVERIFY(t.form->ftp1->LoggedIn());
        QVERIFY(t.form->ftp1->ControlEncrypted());
    }
    QCOMPARE((*dialogs_)->CallsOf(ScriptedDialogs::AskCertificateKind).size(), 1);
    const QString key = platform::TlsTrustStore::Key(server->Host(), server->Port());
    QCOMPARE(platform::TlsTrustStore(settings_->File(platform::TlsTrustStore::DefaultFileName())).Fingerprints(key).size(),
             1);
}

void TestForm1Security::dataConnectionMode_data()
{
    QTest::addColumn<bool>("configured");     // the configuration's 被动模式
    QTest::addColumn<int>("site");            // -1: typed into the login bar; else the site's passive
    QTest::addColumn<QString>("command");     // what the listing's data connection was made with

    QTest::newRow("default: passive") << true << -1 << u"PASV"_s;
    QTest::newRow("configured active") << false << -1 << u"PORT"_s;
    QTest::newRow("site active over passive default") << true << 0 << u"PORT"_s;
    QTest::newRow("site passive over active default") << false << 1 << u"PASV"_s;
}

void TestForm1Security::dataConnectionMode()
{
    QFETCH(bool, configured);
    QFETCH(int, site);
    QFETCH(QString, command);
    QString why;
    if (!PeerServer::Available(PeerServer::Kind::Pyftpdlib, &why))
        QSKIP(qPrintable(why));
    auto server = PeerServer::Start(PeerServer::Kind::Pyftpdlib, &why);
    QVERIFY2(server, qPrintable(why));

    MainSettings.passive = configured;
    QVERIFY(WriteSettingsFile(SettingsFileName(), MainSettings));
    FormUnderTest t;
    TForm1 &form = *t.form;
    form.show();
    if (site < 0) {
        QVERIFY(ConnectWith(form, *server, SiteOptions::PlainOnly));
    } else {
        TForm2 &sites = *form.Form2;
        sites.name->setText(u"site"_s);
        sites.server->setText(server->Host());
        sites.port->setValue(server->Port());
        sites.username->setText(server->User());
        sites.password->setText(server->Password());
        sites.encryption->setCurrentIndex(SiteOptions::PlainOnly);
        sites.passive->setChecked(site == 1);
        sites.localpath->setText(settings_->Path());
        sites.Button8Click();
        sites.Button3Click();
        sites.Button1Click();
        QVERIFY(QTest::qWaitFor([&] { return Idle(form) && form.ftppath->count() > 0; }, 10000));
        // The site's choices are kept beside list.ini, whose lines keep their seven fields.
        QCOMPARE(ReadSiteOptions(SiteOptionsFileName()).value(u"site"_s),
                 (SiteOptions{SiteOptions::PlainOnly, site == 1}));
        QCOMPARE(ReadSiteList(SiteListFileName()).sites.size(), 1);
    }
    QVERIFY(form.ftp1->LoggedIn());
    QCOMPARE(Commands(form, {u"PASV"_s, u"PORT"_s}).value(0).section(u' ', 0, 0), command);
}

QTEST_MAIN(TestForm1Security)
#include "tst_form1_security.moc"
