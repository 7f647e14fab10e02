// The FTP-by-mail window, offscreen: the request script, the send checks and
// the send itself, the server list and the settings file, the help texts.

#include "scripted_smtp_peer.h"

#include "mail/ftpmail.h"
#include "platform/codepage.h"
#include "platform/exceptions.h"
#include "platform/folders.h"
#include "platform/profile.h"
#include "peer_server.h"
#include "platform/tls_trust_store.h"
#include "scripted_dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

class TestFtpMail : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void startState();
    void script_data();
    void script();
    void editsLostWhenLeavingThePage();
    void sendChecks_data();
    void sendChecks();
    void secureSend_data();
    void secureSend();
    void certificateQuestion_data();
    void certificateQuestion();
    void serverList();
    void settingsRoundTrip();
    void help();
    void screenshots();

private:
    QString file(const QString &name) const { return settings_->filePath(name); }
    std::unique_ptr<QTemporaryDir> settings_;
    std::unique_ptr<ScopedScriptedDialogs> dialogs_;
};

void TestFtpMail::init()
{
    settings_ = std::make_unique<QTemporaryDir>();
    QVERIFY(settings_->isValid());
    platform::SetSettingsFolderOverride(settings_->path());
    dialogs_ = std::make_unique<ScopedScriptedDialogs>();
}

void TestFtpMail::cleanup()
{
    QCOMPARE((*dialogs_)->UnexpectedCount(), 0);
    dialogs_.reset();
    platform::SetSettingsFolderOverride(QString());
    settings_.reset();
}

void TestFtpMail::startState()
{
    // Nothing saved yet: empty fields, an empty server list.
    Tmailform form(nullptr);
    QCOMPARE(form.windowTitle(), u"Tarvo."_qs);
    QCOMPARE(form.size(), QSize(461, 322));
    QCOMPARE(form.PageControl1->count(), 5);
    QCOMPARE(form.PageControl1->currentWidget(), form.TabSheet2);
    QStringList tabs;
    for (int i = 0; i < form.PageControl1->count(); ++i)
        tabs.append(form.PageControl1->tabText(i));
    QCOMPARE(tabs, (QStringList{u"用户资料"_qs, u"服务器资料"_qs, u"设置"_qs, u"发送邮件"_qs, u"帮助"_qs}));
    QCOMPARE(form.email->text(), QString());
    QCOMPARE(form.smtp->text(), QString());
    QCOMPARE(form.url->text(), u"ftp://"_qs);
    QCOMPARE(form.server3->count(), 0);
    QVERIFY(form.uuencode->isChecked());
    QVERIFY(!form.binary->isChecked() && !form.text->isChecked());
    QVERIFY(form.split->isChecked());
    QVERIFY(!form.splitsize->isEnabled());
    QCOMPARE(form.Memo3->toPlainText().split(u'\n').size(), 11);
    QCOMPARE(form.mail.LanguageStrings,
             (QStringList{u"正在连接"_qs, u"已经连接"_qs, u"收信人 :"_qs, u"正在发送邮件"_qs, u"附件"_qs, u"取消"_qs}));
    // The splitting switch.
    form.split->click();
    QVERIFY(form.splitsize->isEnabled());
    form.split->click();
    QVERIFY(!form.splitsize->isEnabled());
}

void TestFtpMail::script_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("binary");
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("splitSize");  // null: "不分块" stays checked
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("start settings") << u"ftp://ftp.example.org/pub/a.zip"_qs << false << u"uuencode"_qs << QString()
                                    << QStringList{u"open ftp.example.org anonymous"_qs, u"mode ascii"_qs,
                                                   u"uuencode"_qs, u"get /pub/a.zip"_qs, u"quit"_qs};
    QTest::newRow("upper-case prefix, text as typed")
        << u"FTP://Ftp.Example.ORG/Pub/A.ZIP"_qs << false << u"uuencode"_qs << QString()
        << QStringList{u"open Ftp.Example.ORG anonymous"_qs, u"mode ascii"_qs, u"uuencode"_qs, u"get /Pub/A.ZIP"_qs,
                       u"quit"_qs};
    QTest::newRow("host without slash") << u"ftp://ftp.example.org"_qs << false << u"uuencode"_qs << QString()
                                        << QStringList{u"open  anonymous"_qs, u"mode ascii"_qs, u"uuencode"_qs,
                                                       u"get ftp.example.org"_qs, u"quit"_qs};
    QTest::newRow("split with no size") << u"ftp://h/p"_qs << false << u"btoa"_qs << u""_qs
                                        << QStringList{u"open h anonymous"_qs, u"mode ascii"_qs, u"split "_qs, u"btoa"_qs,
                                                       u"get /p"_qs, u"quit"_qs};
    QTest::newRow("binary, mime, 512K") << u"ftp://h/dir/文件.rar"_qs << true << u"mime"_qs << u"512"_qs
                                        << QStringList{u"open h anonymous"_qs, u"mode binary"_qs, u"split 512"_qs,
                                                       u"mime"_qs, u"get /dir/文件.rar"_qs, u"quit"_qs};
    QTest::newRow("not ftp") << u"http://h/p"_qs << false << u"uuencode"_qs << QString() << QStringList();
    QTest::newRow("too short") << u"ftp:/"_qs << false << u"uuencode"_qs << QString() << QStringList();
}

void TestFtpMail::script()
{
    QFETCH(QString, url);
    QFETCH(bool, binary);
    QFETCH(QString, format);
    QFETCH(QString, splitSize);
    QFETCH(QStringList, lines);

    Tmailform form(nullptr);
    form.url->setText(url);
    if (binary)
        form.binary->setChecked(true);
    if (format == u"btoa"_qs)
        form.btoa->setChecked(true);
    else if (format == u"mime"_qs)
        form.mime->setChecked(true);
    if (!splitSize.isNull()) {
        form.split->click();
        form.splitsize->setText(splitSize);
    }
    form.Memo2->setPlainText(u"old text"_qs);
    if (lines.isEmpty())
        (*dialogs_)->QueueButton(platform::Dialogs::Ok);
    form.PageControl1->setCurrentWidget(form.TabSheet1);
    QCOMPARE(form.ScriptLines(), lines);
    const QList<ScriptedDialogs::Call> messages = (*dialogs_)->CallsOf(ScriptedDialogs::MessageBoxKind);
    if (lines.isEmpty()) {
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages.first().text, u"下载软件路径必须 ftp:// 开头"_qs);
    } else {
        QVERIFY(messages.isEmpty());
    }
}

void TestFtpMail::editsLostWhenLeavingThePage()
{
    Tmailform form(nullptr);
    form.url->setText(u"ftp://h/p"_qs);
    form.PageControl1->setCurrentWidget(form.TabSheet1);
    form.Memo2->setPlainText(u"my own edits"_qs);
    form.url->setText(u"ftp://h/q"_qs);
    // Leaving composes again (from the fields), and so does coming back.
    form.PageControl1->setCurrentWidget(form.TabSheet4);
    QCOMPARE(form.ScriptLines().value(3), u"get /q"_qs);
    form.Memo2->setPlainText(u"edited on another page"_qs);
    form.PageControl1->setCurrentWidget(form.TabSheet1);
    QCOMPARE(form.ScriptLines(),
             (QStringList{u"open h anonymous"_qs, u"mode ascii"_qs, u"uuencode"_qs, u"get /q"_qs, u"quit"_qs}));
}

void TestFtpMail::sendChecks_data()
{
    QTest::addColumn<QString>("email");
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("smtp");
    QTest::addColumn<QString>("message");  // empty: the mail goes out

    QTest::newRow("no address first") << QString() << QString() << QString() << u"没有填你的邮件地址"_qs;
    QTest::newRow("no server second") << u"me@client.test"_qs << QString() << QString() << u"没有选择好邮件服务器"_qs;
    QTest::newRow("no smtp third") << u"me@client.test"_qs << u"ftpmail@server.test"_qs << QString()
                                   << u"没有填SMTP服务器"_qs;
    QTest::newRow("all there") << u"me@client.test"_qs << u"ftpmail@server.test"_qs << u"127.0.0.1"_qs << QString();
}

void TestFtpMail::sendChecks()
{
    QFETCH(QString, email);
    QFETCH(QString, server);
    QFETCH(QString, smtp);
    QFETCH(QString, message);

    ScriptedSmtpPeer peer;
    QVERIFY(peer.Listen());
    Tmailform form(nullptr);
    form.mail.SMTP_Port = peer.Port();
    form.email->setText(email);
    form.smtp->setText(smtp);
    if (!server.isEmpty())
        form.AddServer(server);
    form.url->setText(u"ftp://ftp.example.org/pub/a.zip"_qs);
    form.PageControl1->setCurrentWidget(form.TabSheet1);
    const QStringList script = form.ScriptLines();
    if (!message.isEmpty())
        (*dialogs_)->QueueButton(platform::Dialogs::Ok);
    form.Button12Click();

    const QList<ScriptedDialogs::Call> calls = (*dialogs_)->CallsOf(ScriptedDialogs::MessageBoxKind);
    if (!message.isEmpty()) {
        QCOMPARE(calls.size(), 1);
        QCOMPARE(calls.first().text, message);
        QCOMPARE(peer.Connections, 0);
        return;
    }
    QVERIFY(calls.isEmpty());
    QCOMPARE(peer.RawMessages.size(), 1);
    QCOMPARE(peer.Commands.value(1), QByteArray("MAIL FROM:<me@client.test>"));
    QCOMPARE(peer.Commands.value(2), QByteArray("RCPT TO:<ftpmail@server.test>"));
    const QByteArray data = ScriptedSmtpPeer::Unstuff(peer.RawMessages.first());
    const QByteArrayList header = ScriptedSmtpPeer::HeaderLines(data);
    // The window gives each address as its own name: it goes out bare.
    QVERIFY(header.contains("From: me@client.test"));
    QVERIFY(header.contains("To: ftpmail@server.test"));
    QVERIFY(!data.contains("Subject:"));
    QCOMPARE(ScriptedSmtpPeer::Body(data), (script.join(u"\r\n"_qs) + u"\r\n\r\n"_qs).toUtf8());
    QVERIFY(form.mail.MailText.isEmpty());
}

void TestFtpMail::secureSend_data()
{
    QTest::addColumn<QByteArray>("ehlo");
    QTest::addColumn<QByteArray>("authReply");
    QTest::addColumn<int>("security");
    QTest::addColumn<QString>("typedPassword");  // empty: asked at send time
    QTest::addColumn<QString>("message");         // the start of the box shown; empty: none
    QTest::addColumn<QByteArrayList>("verbs");

    const QByteArray auth = "250-scripted.test\r\n250 AUTH PLAIN LOGIN\r\n";
    QTest::newRow("password asked at send time")
        << auth << QByteArray("235 2.7.0 ok\r\n") << int(smtpTlsIfOffered) << QString() << QString()
        << QByteArrayList{"EHLO", "AUTH", "MAIL", "RCPT", "DATA", "QUIT"};
    QTest::newRow("login refused") << auth << QByteArray("535 5.7.8 no\r\n") << int(smtpTlsOff) << u"typed"_qs
                                   << u"邮件服务器拒绝了用户名或密码"_qs << QByteArrayList{"EHLO", "AUTH"};
    QTest::newRow("encryption required, none offered")
        << auth << QByteArray() << int(smtpTlsRequired) << u"typed"_qs << u"邮件服务器不提供加密连接"_qs
        << QByteArrayList{"EHLO"};
}

void TestFtpMail::secureSend()
{
    QFETCH(QByteArray, ehlo);
    QFETCH(QByteArray, authReply);
    QFETCH(int, security);
    QFETCH(QString, typedPassword);
    QFETCH(QString, message);
    QFETCH(QByteArrayList, verbs);

    ScriptedSmtpPeer peer;
    QVERIFY(peer.Listen());
    peer.SetReply("HELO", ehlo, 0);
    peer.SetReply("AUTH", authReply);
    Tmailform form(nullptr);
    form.email->setText(u"me@client.test"_qs);
    form.smtp->setText(u"127.0.0.1:"_qs + QString::number(peer.Port()));
    form.AddServer(u"ftpmail@server.test"_qs);
    form.smtpuser->setText(u"zhangsan"_qs);
    form.smtppass->setText(typedPassword);
    form.smtptls->setCurrentIndex(security);
    form.PageControl1->setCurrentWidget(form.TabSheet1);
    if (typedPassword.isEmpty())
        (*dialogs_)->QueueText(true, u"asked-pw"_qs);
    if (!message.isEmpty())
        (*dialogs_)->QueueButton(platform::Dialogs::Ok);
    form.Button12Click();

    QByteArrayList sent;
    for (const QByteArray &command : peer.Commands)
        sent.append(command.left(4));
    QCOMPARE(sent, verbs);
    const QList<ScriptedDialogs::Call> boxes = (*dialogs_)->CallsOf(ScriptedDialogs::MessageBoxKind);
    QCOMPARE(boxes.size(), message.isEmpty() ? 0 : 1);
    if (!message.isEmpty())
        QVERIFY2(boxes.first().text.startsWith(message), qPrintable(boxes.first().text));
    QCOMPARE(peer.RawMessages.size(), message.isEmpty() ? 1 : 0);
    // An asked password is kept for the run and is the one that went out.
    const QString password = typedPassword.isEmpty() ? u"asked-pw"_qs : typedPassword;
    QCOMPARE(form.smtppass->text(), password);
    if (verbs.contains("AUTH"))
        QCOMPARE(peer.Commands.at(1), "AUTH PLAIN " + ("\0zhangsan\0"_qba + password.toUtf8()).toBase64());
}

void TestFtpMail::certificateQuestion_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("questionsOnSecondSend");
    QTest::newRow("reject") << int(platform::Dialogs::RejectCertificate) << -1;
    QTest::newRow("accept once") << int(platform::Dialogs::AcceptCertificateOnce) << 1;
    QTest::newRow("always trust") << int(platform::Dialogs::TrustCertificateAlways) << 0;
}

void TestFtpMail::certificateQuestion()
{
    QFETCH(int, answer);
    QFETCH(int, questionsOnSecondSend);
    using testsupport::PeerServer;
    QString why;
    if (!PeerServer::Available(PeerServer::Kind::Smtp, &why))
        QSKIP(qPrintable(why));
    PeerServer::Options options;
    options.tls = PeerServer::Options::Tls::ExplicitRequired;
    const auto server = PeerServer::Start(PeerServer::Kind::Smtp, options, &why);
    QVERIFY2(server, qPrintable(why));

    Tmailform form(nullptr);
    form.email->setText(u"me@client.test"_qs);
    form.smtp->setText(u"127.0.0.1:"_qs + QString::number(server->Port()));
    form.AddServer(u"ftpmail@server.test"_qs);
    form.smtptls->setCurrentIndex(smtpTlsRequired);
    form.PageControl1->setCurrentWidget(form.TabSheet1);
    const QString endpoint = u"127.0.0.1:"_qs + QString::number(server->Port());
    const bool rejected = answer == platform::Dialogs::RejectCertificate;
    (*dialogs_)->QueueCertificate(platform::Dialogs::CertificateAnswer(answer));
    if (rejected)
        (*dialogs_)->QueueButton(platform::Dialogs::Ok);
    form.Button12Click();

    QList<ScriptedDialogs::Call> asked = (*dialogs_)->CallsOf(ScriptedDialogs::AskCertificateKind);
    QCOMPARE(asked.size(), 1);
    QCOMPARE(asked.first().caption, endpoint);
    QCOMPARE(asked.first().initial, server->CertificateSha256());
    const QList<ScriptedDialogs::Call> boxes = (*dialogs_)->CallsOf(ScriptedDialogs::MessageBoxKind);
    QCOMPARE(boxes.size(), rejected ? 1 : 0);
    QTest::qWait(200);
    QCOMPARE(server->Mails().size(), rejected ? 0 : 1);
    platform::TlsTrustStore store;
    QCOMPARE(store.IsTrusted(platform::TlsTrustStore::Key(u"127.0.0.1"_qs, server->Port()), server->CertificateSha256()),
             answer == platform::Dialogs::TrustCertificateAlways);
    if (rejected)
        return;

    // A second send asks again unless the certificate is trusted for good.
    if (questionsOnSecondSend > 0)
        (*dialogs_)->QueueCertificate(platform::Dialogs::AcceptCertificateOnce);
    form.Button12Click();
    asked = (*dialogs_)->CallsOf(ScriptedDialogs::AskCertificateKind);
    QCOMPARE(asked.size(), 1 + questionsOnSecondSend);
    QTRY_COMPARE_WITH_TIMEOUT(server->Mails().size(), 2, 5000);
}

void TestFtpMail::serverList()
{
    const QStringList unsorted{u"zeta@ftpmail.test"_qs, u"Alpha@ftpmail.test"_qs, u"beta@ftpmail.test"_qs};
    QVERIFY(platform::WriteAnsiTextFile(file(u"ftpmail.txt"_qs), unsorted));
    QFile original(file(u"ftpmail.txt"_qs));
    QVERIFY(original.open(QIODevice::ReadOnly));
    const QByteArray before = original.readAll();
    original.close();

    Tmailform form(nullptr);
    QCOMPARE(form.Servers(), (QStringList{u"Alpha@ftpmail.test"_qs, u"beta@ftpmail.test"_qs, u"zeta@ftpmail.test"_qs}));
    QCOMPARE(form.server3->currentText(), u"Alpha@ftpmail.test"_qs);

    (*dialogs_)->QueueText(true, u"gamma@ftpmail.test"_qs);
    form.Button6->click();
    const ScriptedDialogs::Call ask = (*dialogs_)->CallsOf(ScriptedDialogs::AskTextKind).value(0);
    QCOMPARE(ask.caption, u"请输入添加的服务器"_qs);
    QCOMPARE(ask.text, u"请输入你要添加的新服务器"_qs);
    QCOMPARE(ask.initial, QString());
    QCOMPARE(form.Servers().value(2), u"gamma@ftpmail.test"_qs);
    // A cancelled question adds nothing.
    (*dialogs_)->QueueText(false, u"ignored@ftpmail.test"_qs);
    form.Button6Click();
    QCOMPARE(form.Servers().size(), 4);

    // 取消: the file stays as it was, the list keeps the new server.
    form.show();
    form.Button2->click();
    QVERIFY(!form.isVisible());
    QVERIFY(original.open(QIODevice::ReadOnly));
    QCOMPARE(original.readAll(), before);
    original.close();
    QCOMPARE(form.Servers().size(), 4);

    // 确定: written in the list's order.
    form.show();
    form.Button1->click();
    QVERIFY(!form.isVisible());
    QStringList saved;
    QVERIFY(platform::ReadAnsiTextFile(file(u"ftpmail.txt"_qs), &saved));
    QCOMPARE(saved, (QStringList{u"Alpha@ftpmail.test"_qs, u"beta@ftpmail.test"_qs, u"gamma@ftpmail.test"_qs,
                                 u"zeta@ftpmail.test"_qs}));
}

void TestFtpMail::settingsRoundTrip()
{
    {
        Tmailform form(nullptr);
        form.email->setText(u"张三@client.test"_qs);
        form.smtp->setText(u"smtp.client.test"_qs);
        form.AddServer(u"ftpmail@server.test"_qs);
        form.smtpuser->setText(u"zhangsan"_qs);
        form.smtppass->setText(u"pass-word-9"_qs);
        form.smtptls->setCurrentIndex(smtpTlsRequired);
        form.Button1Click();
    }
    // The password stays in memory: no file of the settings folder holds it.
    for (const QString &name : QDir(settings_->path()).entryList(QDir::Files)) {
        QFile saved(file(name));
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QVERIFY2(!saved.readAll().contains("pass-word-9"), qPrintable(name));
    }
    QCOMPARE(platform::GetProfileString(file(u"ftp-mail.ini"_qs), u"data"_qs, u"email"_qs), u"张三@client.test"_qs);
    QCOMPARE(platform::GetProfileString(file(u"ftp-mail.ini"_qs), u"data"_qs, u"smtp"_qs), u"smtp.client.test"_qs);
    Tmailform again(nullptr);
    QCOMPARE(again.email->text(), u"张三@client.test"_qs);
    QCOMPARE(again.smtp->text(), u"smtp.client.test"_qs);
    QCOMPARE(again.server3->currentText(), u"ftpmail@server.test"_qs);
    QCOMPARE(again.smtpuser->text(), u"zhangsan"_qs);
    QCOMPARE(again.smtppass->text(), QString());
    QCOMPARE(again.smtptls->currentIndex(), int(smtpTlsRequired));

    // 取消 writes nothing.
    again.email->setText(u"other@client.test"_qs);
    again.Button2Click();
    QCOMPARE(platform::GetProfileString(file(u"ftp-mail.ini"_qs), u"data"_qs, u"email"_qs), u"张三@client.test"_qs);
}

void TestFtpMail::help()
{
    Tmailform form(nullptr);
    form.Button3->click();
    QVERIFY(form.Memo1->toPlainText().startsWith(u"FTPMAIL 介绍"_qs));
    form.Button4->click();
    const QString commands = form.Memo1->toPlainText();
    QVERIFY(commands.startsWith(u"FTPMAIL 指令说明"_qs));
    // Every command the window writes is explained.
    for (const QString &command : {u"open"_qs, u"mode binary"_qs, u"mode ascii"_qs, u"split"_qs, u"uuencode"_qs,
                                   u"btoa"_qs, u"mime"_qs, u"get"_qs, u"quit"_qs})
        QVERIFY2(commands.contains(command), qPrintable(command));

    // A missing help file: the open error, and an empty memo.
    const QString path = platform::ProgramFolder() + u"/intro.txt"_qs;
    const QString aside = path + u".aside"_qs;
    QVERIFY(QFile::rename(path, aside));
    auto restore = qScopeGuard([&] { QFile::rename(aside, path); });
    try {
        form.Button3Click();
        QFAIL("no exception for a missing help file");
    } catch (const platform::Exception &e) {
        QCOMPARE(e.Message(), u"Cannot open file "_qs + path);
    }
    QVERIFY(form.Memo1->toPlainText().isEmpty());
}

void TestFtpMail::screenshots()
{
    // Looked at by eye; written only when a folder is named.
    const QString folder = qEnvironmentVariable("TARVO_SCREENSHOT_DIR");
    Tmailform form(nullptr);
    form.email->setText(u"zhangsan@163.net"_qs);
    form.smtp->setText(u"smtp.163.net"_qs);
    form.url->setText(u"ftp://ftp.gnu.org/gnu/hello/hello-2.12.tar.gz"_qs);
    form.AddServer(u"ftpmail@ftpmail.example.org"_qs);
    form.show();
    form.PageControl1->setCurrentWidget(form.TabSheet1);
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    const QImage shot = form.grab().toImage();
    QCOMPARE(shot.size(), QSize(461, 322) * shot.devicePixelRatio());
    if (folder.isEmpty())
        return;
    QVERIFY(shot.save(folder + u"/mail.png"_qs));
    for (QWidget *page : {form.TabSheet2, form.TabSheet3, form.TabSheet7, form.TabSheet4}) {
        form.PageControl1->setCurrentWidget(page);
        if (page == form.TabSheet4)
            form.Button4Click();
        QVERIFY(form.grab().save(folder + QStringLiteral("/mail-page%1.png").arg(form.PageControl1->currentIndex())));
    }
}

QTEST_MAIN(TestFtpMail)
#include "tst_ftpmail.moc"
