// The main window against real FTP servers: the login bar, the Enter key and
// the server history, completion, the coloured log, the status bar, connect
// and logout while connected, refused connections, and the engine's questions
// answered by the settings.

#include "form1_fixture.h"

#include "engine/ftp.h"
#include "mainwindow/main_settings.h"
#include "support/peer_server.h"
#include "support/port_block.h"
#include "widgets/combobox98.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QSpinBox>
#include "mainwindow/remote_list_model.h"
#include <QtTest>

using namespace Qt::StringLiterals;
using testsupport::PeerServer;

namespace {

// Records panel 0 after each info notice the window has handled.
struct PanelRecorder {
    explicit PanelRecorder(TForm1 &form) : form_(form)
    {
        original_ = form.ftp1->OnFtpInfo;
        form.ftp1->OnFtpInfo = [this](QObject *sender, FtpInfo info, const QString &addinfo) {
            original_(sender, info, addinfo);
            seen.append({info, form_.PanelText(0), form_.PanelText(1), form_.PanelText(2)});
        };
    }
    struct Seen {
        FtpInfo info;
        QString panel0;
        QString panel1;
        QString panel2;
    };
    QList<Seen> seen;
    QString Panel0After(FtpInfo info) const
    {
        for (const Seen &s : seen) {
            if (s.info == info)
                return s.panel0;
        }
        return u"(never)"_s;
    }

private:
    TForm1 &form_;
    TMFtp::TMFtpInfoEvent original_;
};

void TypeInto(QWidget *field, const QString &text)
{
    field->setFocus();
    QTest::keyClicks(field, text);
}

void ClearField(QLineEdit *field)
{
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Backspace);
}

int CountLines(const TForm1 &form, const QString &start)
{
    int count = 0;
    for (const LogLine &line : LogLines(form)) {
        if (line.text.startsWith(start))
            ++count;
    }
    return count;
}

bool SameFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly)
           && QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256)
                  == QCryptographicHash::hash(content, QCryptographicHash::Sha256);
}

} // namespace

class TestForm1Connect : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void enterRemembersAndConnects();
    void connectAndLogoutWhileConnected();
    void refusedAndDefaultPort_data();
    void refusedAndDefaultPort();
    void questionsFollowTheSettings_data();
    void questionsFollowTheSettings();

private:
    // Logs the window in through the login bar and the Enter key.
    bool LoginWithEnter(TForm1 &form);

    std::unique_ptr<PeerServer> server_;
    std::unique_ptr<SettingsFolder> settings_;
    std::unique_ptr<ScopedScriptedDialogs> dialogs_;
    QString startDirectory_;
};

void TestForm1Connect::initTestCase()
{
    QString why;
    if (!PeerServer::Available(PeerServer::Kind::Pyftpdlib, &why))
        QSKIP(qPrintable(why));
    server_ = PeerServer::Start(PeerServer::Kind::Pyftpdlib, &why);
    QVERIFY2(server_, qPrintable(why));
}

void TestForm1Connect::init()
{
    startDirectory_ = QDir::currentPath();
    settings_ = std::make_unique<SettingsFolder>();
    dialogs_ = std::make_unique<ScopedScriptedDialogs>();
    MainSettings = TMainSettings();
}

void TestForm1Connect::cleanup()
{
    QCOMPARE((*dialogs_)->UnexpectedCount(), 0);
    dialogs_.reset();
    settings_.reset();
    QDir::setCurrent(startDirectory_);
}

bool TestForm1Connect::LoginWithEnter(TForm1 &form)
{
    form.server->setEditText(server_->Host());
    form.port->setValue(server_->Port());
    form.username->setText(server_->User());
    form.password->setText(server_->Password());
    form.password->setFocus();
    QTest::keyClick(form.password, Qt::Key_Return);
    return QTest::qWaitFor([&] { return form.ftp1->LoggedIn() && !form.ftp1->Busy(); }, 10000);
}

void TestForm1Connect::enterRemembersAndConnects()
{
    QVERIFY(server_->PutFile(u"hello.txt"_s, "hello"));
    FormUnderTest t;
    TForm1 &form = *t.form;
    form.show();
    PanelRecorder panels(form);

    QVERIFY(LoginWithEnter(form));
    QCOMPARE(form.Form6.Rows().size(), 1);
    QCOMPARE(form.Form6.Rows()[0].server, server_->Host());
    QCOMPARE(form.Form6.Rows()[0].port, QString::number(server_->Port()));
    QCOMPARE(form.server->count(), 1);

    // The dialogue in colour: replies green, commands blue, the password
    // masked, the resume notice purple with a blank line after it.
    const QList<LogLine> lines = LogLines(form);
    QVERIFY(!lines.isEmpty());
    QVERIFY(lines[0].text.startsWith(u"220"_s));
    QCOMPARE(lines[0].color, QColor(0, 128, 0));
    bool sawPass = false;
    bool sawResume = false;
    for (int i = 0; i < lines.size(); ++i) {
        QVERIFY2(!lines[i].text.contains(server_->Password()), qPrintable(lines[i].text));
        if (lines[i].text.startsWith(u"PASS "_s)) {
            sawPass = true;
            QCOMPARE(lines[i].text, u"PASS "_s + QString(server_->Password().size(), u'*'));
            QCOMPARE(lines[i].color, QColor(0, 0, 255));
        }
        if (lines[i].text.startsWith(u"USER "_s))
            QCOMPARE(lines[i].color, QColor(0, 0, 255));
        if (lines[i].text.startsWith(u"230"_s))
            QCOMPARE(lines[i].color, QColor(0, 128, 0));
        if (lines[i].text == u"该主机支持续传"_s) {
            sawResume = true;
            QCOMPARE(lines[i].color, QColor(128, 0, 128));
            QVERIFY(i + 1 < lines.size());
            QCOMPARE(lines[i + 1].text, QString());
        }
    }
    QVERIFY(sawPass);
    QVERIFY(sawResume);
    QCOMPARE(CountLines(form, u"MLSD"_s), 1);  // the login ends with a listing (pyftpdlib offers MLSD)

    QCOMPARE(panels.Panel0After(ftpiResolving), u" 正在查找 "_s + server_->Host());
    QCOMPARE(panels.Panel0After(ftpiConnecting), u" 连接 "_s + server_->Host());
    QVERIFY(panels.Panel0After(ftpiConnected).startsWith(u"  已经连接到 "_s));
    QCOMPARE(panels.Panel0After(ftpiLoggedIn), u"登陆成功"_s);
    QCOMPARE(panels.Panel0After(ftpiListingLine), u" 正在获取主机当前文件列表....."_s);

    // The engine forgot the login.
    QVERIFY(form.ftp1->Username.isEmpty());
    QVERIFY(form.ftp1->Password().isEmpty());
    QCOMPARE(form.ftp1->Port, quint16(21));

    // Typing the server again fills the rest of the bar...
    form.port->setValue(1);
    ClearField(form.username);
    ClearField(form.password);
    ClearField(form.server->lineEdit());
    TypeInto(form.server->lineEdit(), server_->Host());
    QCOMPARE(form.port->value(), int(server_->Port()));
    QCOMPARE(form.username->text(), server_->User());
    QCOMPARE(form.password->text(), server_->Password());

    // ...and so does its completion, which proposes the rest selected.
    form.port->setValue(1);
    ClearField(form.username);
    ClearField(form.server->lineEdit());
    TypeInto(form.server->lineEdit(), u"127"_s);
    QCOMPARE(form.server->currentText(), server_->Host());
    QCOMPARE(form.server->lineEdit()->selectedText(), server_->Host().mid(3));
    QCOMPARE(form.username->text(), server_->User());
    QCOMPARE(form.port->value(), int(server_->Port()));

    // Enter again on the same server: no second row or item.
    form.password->setFocus();
    (**dialogs_).QueueButton(platform::Dialogs::Cancel);  // connected: "leave?" -> no
    QTest::keyClick(form.password, Qt::Key_Return);
    QCOMPARE(form.Form6.Rows().size(), 1);
    QCOMPARE(form.server->count(), 1);
}

void TestForm1Connect::connectAndLogoutWhileConnected()
{
    FormUnderTest t;
    TForm1 &form = *t.form;
    form.show();
    QVERIFY(LoginWithEnter(form));
    QCOMPARE(CountLines(form, u"220"_s), 1);
    ScriptedDialogs &dialogs = **dialogs_;
    const QString target = server_->Host() + u':' + QString::number(server_->Port());
    QCOMPARE(form.windowTitle(), u"Tarvo - "_s + server_->Host());
    QTRY_COMPARE(form.ConnectionStatus->text().trimmed(), u"已连接 "_s + target);

    // Keep-alive exchanges happen, and stay out of the log.
    int noops = 0;
    const TMFtp::TMFtpInfoEvent shown = form.ftp1->OnFtpInfo;
    form.ftp1->OnFtpInfo = [&](QObject *sender, FtpInfo info, const QString &text) {
        noops += info == ftpiCommand && text.startsWith(u"NOOP"_s);
        shown(sender, info, text);
    };
    const int logLines = LogLines(form).size();
    form.ftp1->SetNoopInterval(1);
    QTRY_VERIFY_WITH_TIMEOUT(noops >= 2, 5000);
    QTRY_VERIFY(!form.ftp1->KeepAliveInFlight());
    form.ftp1->SetNoopInterval(0);
    QCOMPARE(LogLines(form).size(), logLines);

    // Connect while connected, answered Cancel: the session stays.
    dialogs.ClearCalls();
    dialogs.QueueButton(platform::Dialogs::Cancel);
    form.Button1Click();
    QCOMPARE(dialogs.Calls().size(), 1);
    QCOMPARE(dialogs.Calls()[0].text, u"确定要退出目前的连接吗?"_s);
    QCOMPARE(dialogs.Calls()[0].buttons, platform::Dialogs::OkCancel);
    QTest::qWait(200);
    QVERIFY(form.ftp1->Connected);
    QCOMPARE(CountLines(form, u"220"_s), 1);

    // Answered OK: a new session with the bar's values logs in again.
    dialogs.QueueButton(platform::Dialogs::Ok);
    form.password->setText(server_->Password());
    form.Button1Click();
    QTRY_COMPARE_WITH_TIMEOUT(CountLines(form, u"230"_s), 2, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(form.ftp1->LoggedIn() && !form.ftp1->Busy(), 10000);
    QCOMPARE(CountLines(form, u"MLSD"_s), 2);

    // Logout answered Cancel keeps the connection; OK ends it.
    dialogs.ClearCalls();
    dialogs.QueueButton(platform::Dialogs::Cancel);
    form.logoutClick();
    QCOMPARE(dialogs.Calls().size(), 1);
    QVERIFY(form.ftp1->Connected);
    dialogs.QueueButton(platform::Dialogs::Ok);
    form.logoutClick();
    QVERIFY(!form.ftp1->Connected);
    QTRY_COMPARE(form.PanelText(0), u"  退出连接"_s);
    QCOMPARE(form.windowTitle(), u"Tarvo - FTP 客户端"_s);
    QCOMPARE(form.ConnectionStatus->text().trimmed(), u"未连接"_s);
    QVERIFY(!form.UiBusy());
    QCOMPARE(form.ftpviewModel->rowCount(), 0);
    // Not connected: logout asks nothing.
    dialogs.ClearCalls();
    form.logoutClick();
    QCOMPARE(dialogs.Calls().size(), 0);
}

void TestForm1Connect::refusedAndDefaultPort_data()
{
    QTest::addColumn<bool>("portZero");
    QTest::newRow("refused port") << false;
    QTest::newRow("port 0 means 21") << true;
}

void TestForm1Connect::refusedAndDefaultPort()
{
    QFETCH(bool, portZero);
    quint16 closedPort = 21;
    std::unique_ptr<testsupport::PortBlock> block;
    if (portZero) {
        if (!testsupport::PortBlock::PortFree(21))
            QSKIP("something listens on port 21 here");
    } else {
        block = testsupport::PortBlock::Reserve(1);
        QVERIFY(block);
        closedPort = block->First();
    }
    FormUnderTest t;
    TForm1 &form = *t.form;
    form.show();
    form.server->setEditText(u"127.0.0.1"_s);
    form.port->setValue(portZero ? 0 : closedPort);
    (**dialogs_).QueueButton(platform::Dialogs::Ok);
    form.Button1Click();
    QCOMPARE(form.ftp1->Port, closedPort);
    QTRY_COMPARE_WITH_TIMEOUT((**dialogs_).CallsOf(ScriptedDialogs::MessageBoxKind).size(), 1, 10000);
    const ScriptedDialogs::Call box = (**dialogs_).CallsOf(ScriptedDialogs::MessageBoxKind)[0];
    QCOMPARE(box.caption, u"连接错误"_s);
    QCOMPARE(box.text, u"无法连接到 127.0.0.1:%1: 连接被拒绝"_s.arg(closedPort));
    QVERIFY(!form.ftp1->Connected);
}

void TestForm1Connect::questionsFollowTheSettings_data()
{
    QTest::addColumn<int>("policy");
    QTest::addColumn<bool>("upload");
    QTest::addColumn<int>("button");       // answer to the question, 0 when none is asked
    QTest::addColumn<QString>("outcome");  // resumed, overwritten, kept

    for (bool upload : {false, true}) {
        const char *way = upload ? "upload" : "download";
        QTest::addRow("%s ask, yes resumes", way) << int(ResumeAsk) << upload << int(platform::Dialogs::Yes)
                                                  << u"resumed"_s;
        QTest::addRow("%s ask, no overwrites", way) << int(ResumeAsk) << upload << int(platform::Dialogs::No)
                                                    << u"overwritten"_s;
        QTest::addRow("%s ask, cancel keeps", way) << int(ResumeAsk) << upload << int(platform::Dialogs::Cancel)
                                                   << u"kept"_s;
        QTest::addRow("%s always resume", way) << int(ResumeAlways) << upload << 0 << u"resumed"_s;
        QTest::addRow("%s always overwrite", way) << int(OverwriteAlways) << upload << 0 << u"overwritten"_s;
    }
}

// A shorter file on the receiving side: the resume question, answered as the
// settings say, and the statistics of a resumed transfer.
void TestForm1Connect::questionsFollowTheSettings()
{
    QFETCH(int, policy);
    QFETCH(bool, upload);
    QFETCH(int, button);
    QFETCH(QString, outcome);

    QByteArray content(3000000, '\0');
    for (qsizetype i = 0; i < content.size(); ++i)
        content[i] = char((i * 31) ^ (i >> 11));
    const QByteArray partial = content.left(1000000);
    QByteArray stale = partial;
    stale[0] = char(~content[0]);  // tells an overwrite from a resume
    QTemporaryDir local;
    const QString localPath = local.filePath(u"big.bin"_s);
    const QString remoteName = upload ? u"up-%1.bin"_s.arg(QString::fromLatin1(QTest::currentDataTag())).replace(u' ', u'_')
                                      : u"big.bin"_s;
    QVERIFY(server_->PutFile(remoteName, upload ? stale : content));
    {
        QFile file(localPath);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(upload ? content : stale);
    }

    FormUnderTest t;
    TForm1 &form = *t.form;
    form.show();
    QVERIFY(LoginWithEnter(form));
    PanelRecorder panels(form);
    MainSettings.downresume = upload ? ResumeAsk : policy;
    MainSettings.upresume = upload ? policy : ResumeAsk;
    ScriptedDialogs &dialogs = **dialogs_;
    dialogs.ClearCalls();
    if (button)
        dialogs.QueueButton(button);

    form.ftp1->LocalFile = localPath;
    form.ftp1->RemoteFile = "/" + remoteName.toUtf8();  // pyftpdlib logs in at "/"
    bool done = false;
    auto finished = [&](QObject *) { done = true; };
    form.ftp1->OnFileReceived = finished;
    form.ftp1->OnFileStored = finished;
    upload ? form.ftp1->Upload() : form.ftp1->Download();
    QTRY_VERIFY_WITH_TIMEOUT(done, 15000);

    const auto boxes = dialogs.CallsOf(ScriptedDialogs::MessageBoxKind);
    QCOMPARE(boxes.size(), button ? 1 : 0);
    if (button) {
        const QString expected = upload ? u"远程文件 /"_s + remoteName + u" 已经存在,且长度小于本地文件,要续传吗?"_s
                                        : u"文件 "_s + localPath + u" 已经存在,且长度小于远程文件,要续传吗?"_s;
        // The question's own words first; the server's SIZE and MDTM follow on a line of their own.
        QCOMPARE(boxes[0].text.section(u'\n', 0, 0), expected);
        QVERIFY2(boxes[0].text.section(u'\n', 1).contains(upload ? u"远程: 1,000,000 字节"_s : u"远程: 3,000,000 字节"_s),
                 qPrintable(boxes[0].text));
        QCOMPARE(boxes[0].buttons, platform::Dialogs::YesNoCancel);
    }

    const QByteArray received = upload ? server_->ReadFile(remoteName) : [&] {
        QFile file(localPath);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();
    QByteArray resumed = stale + content.mid(partial.size());
    if (outcome == u"resumed"_s)
        QVERIFY(received == resumed);
    else if (outcome == u"overwritten"_s)
        QVERIFY(SameFile(upload ? server_->PathOf(remoteName) : localPath, content));
    else
        QVERIFY(received == stale);

    // The last progress notice: both directions count from the resume point
    // to the whole file; an upload against the size it announced, while
    // pyftpdlib's 150 reply carries no size, so a download shows no share.
    if (outcome != u"kept"_s) {
        QString lastSize;
        for (const PanelRecorder::Seen &s : panels.seen) {
            if (s.info == ftpiProgress)
                lastSize = s.panel2;
        }
        QCOMPARE(lastSize, upload ? u"传输大小:3000000字节 100%"_s : u"传输大小:3000000字节"_s);
    }
}

QTEST_MAIN(TestForm1Connect)
#include "tst_form1_connect.moc"
