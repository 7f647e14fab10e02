// The permissions dialog: the boxes' sum and the "(所有)" buttons offscreen,
// OK's refusals without a server, and SITE CHMOD through the main window
// against pyftpdlib, checked on the server's disk and in the listing that
// follows.

#include "dialogs/tform3.h"
#include "engine/ftp.h"
#include "mainwindow/form1_fixture.h"
#include "mainwindow/remote_list_model.h"
#include "mainwindow/remote_list_view.h"
#include "support/peer_server.h"
#include "widgets/combobox98.h"

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

#include <sys/stat.h>

using namespace Qt::StringLiterals;
using testsupport::PeerServer;

namespace {

// Steps of a row: "c1".."c9" click a box, "r" "w" "x" press 读/写/执行(所有),
// "t:TEXT" types into Edit1.
void Run(TForm3 &form, const QStringList &steps)
{
    for (const QString &step : steps) {
        if (step.startsWith(u't'))
            form.Edit1->setText(step.mid(2));
        else if (step == u"r"_s)
            form.Button3->click();
        else if (step == u"w"_s)
            form.Button4->click();
        else if (step == u"x"_s)
            form.Button5->click();
        else
            form.findChild<QCheckBox *>(u"CheckBox"_s + step.mid(1))->click();
    }
}

int ModeOnDisk(const QString &path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

} // namespace

class TestTForm3 : public QObject {
    Q_OBJECT
private slots:
    void init() { startDirectory_ = QDir::currentPath(); }
    // The window moves the working directory with its local pane.
    void cleanup() { QDir::setCurrent(startDirectory_); }
    void boxesComposeTheMode_data();
    void boxesComposeTheMode();
    void okRefusals_data();
    void okRefusals();
    void chmodOnTheServer_data();
    void chmodOnTheServer();
    void menuItemFollowsTheSelection();

private:
    bool StartServer();
    std::unique_ptr<PeerServer> server_;
    QString startDirectory_;
};

void TestTForm3::boxesComposeTheMode_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("modeValue");

    const QStringList all = {u"c1"_s, u"c2"_s, u"c3"_s, u"c4"_s, u"c5"_s, u"c6"_s, u"c7"_s, u"c8"_s, u"c9"_s};
    QTest::newRow("all nine") << all << u"777"_s << 777;
    QTest::newRow("all nine, then 写 of everyone off") << (all + QStringList{u"c8"_s}) << u"775"_s << 775;
    QTest::newRow("读(所有) twice") << QStringList{u"r"_s, u"r"_s} << u"444"_s << 444;
    QTest::newRow("写(所有) with the owner's already checked") << QStringList{u"c2"_s, u"w"_s} << u"222"_s << 222;
    QTest::newRow("read by group and others") << QStringList{u"c4"_s, u"c7"_s} << u"44"_s << 44;
    QTest::newRow("everything off again") << QStringList{u"c1"_s, u"c5"_s, u"c1"_s, u"c5"_s} << u"0"_s << 0;
    QTest::newRow("typed text left alone") << QStringList{u"c1"_s, u"t:640"_s} << u"640"_s << 400;
    QTest::newRow("a box replaces typed text") << QStringList{u"t:640"_s, u"c9"_s} << u"1"_s << 1;
}

void TestTForm3::boxesComposeTheMode()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, shown);
    QFETCH(int, modeValue);

    TMFtp engine;
    TForm3 form(&engine);
    QCOMPARE(form.ModeValue, 0);
    Run(form, steps);
    QCOMPARE(form.Edit1->text(), shown);
    QCOMPARE(form.ModeValue, modeValue);
    // What a hide leaves is what the next show finds.
    form.show();
    form.Button2->click();
    QVERIFY(!form.isVisible());
    form.show();
    QCOMPARE(form.Edit1->text(), shown);
    QCOMPARE(form.ModeValue, modeValue);
}

void TestTForm3::okRefusals_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("selected");
    QTest::addColumn<QString>("message");  // empty: none
    QTest::addColumn<bool>("reachesEngine");

    QTest::newRow("empty text") << QString() << true << QString() << false;
    QTest::newRow("no row selected") << u"644"_s << false << QString() << false;
    QTest::newRow("letters") << u"rw-"_s << true << u"'rw-' is not a valid integer value"_s << false;
    QTest::newRow("negative") << u"-1"_s << true << u"'-1' is not a valid integer value"_s << false;
    QTest::newRow("a number") << u"644"_s << true << QString() << true;
}

void TestTForm3::okRefusals()
{
    QFETCH(QString, text);
    QFETCH(bool, selected);
    QFETCH(QString, message);
    QFETCH(bool, reachesEngine);

    ScopedScriptedDialogs dialogs;
    TMFtp engine;
    QList<FtpInfo> infos;
    engine.OnFtpInfo = [&](QObject *, FtpInfo info, const QString &) { infos << info; };
    TForm3 form(&engine);
    form.SelectedRemoteName = [selected]() -> std::optional<QByteArray> {
        return selected ? std::optional<QByteArray>("a.txt") : std::nullopt;
    };
    form.show();
    form.Edit1->setText(text);
    if (!message.isEmpty())
        dialogs->QueueButton(platform::Dialogs::Ok);
    form.Button1->click();

    const auto boxes = dialogs->CallsOf(ScriptedDialogs::MessageBoxKind);
    QCOMPARE(boxes.size(), message.isEmpty() ? 0 : 1);
    if (!message.isEmpty())
        QCOMPARE(boxes.first().text, message);
    QCOMPARE(dialogs->UnexpectedCount(), 0);
    // Unconnected, the engine answers a command it was given with "disconnected".
    QCOMPARE(infos.contains(ftpiDisconnected), reachesEngine);
    QCOMPARE(form.isVisible(), !reachesEngine);
}

// The server, started at the first call, with an empty root.
bool TestTForm3::StartServer()
{
    if (server_) {
        QDir(server_->Root()).removeRecursively();
        QDir().mkpath(server_->Root());
        return true;
    }
    QString why;
    if (!PeerServer::Available(PeerServer::Kind::Pyftpdlib, &why)) {
        qWarning("%s", qPrintable(why));
        return false;
    }
    server_ = PeerServer::Start(PeerServer::Kind::Pyftpdlib, &why);
    if (!server_)
        qWarning("%s", qPrintable(why));
    return bool(server_);
}

void TestTForm3::chmodOnTheServer_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("sent");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QByteArray>("listed");

    const QStringList all = {u"c1"_s, u"c2"_s, u"c3"_s, u"c4"_s, u"c5"_s, u"c6"_s, u"c7"_s, u"c8"_s, u"c9"_s};
    QTest::newRow("all nine") << u"a.txt"_s << all << u"SITE CHMOD 777 a.txt"_s << 0777
                              << QByteArray("-rwxrwxrwx");
    QTest::newRow("写 of everyone off") << u"a.txt"_s << (all + QStringList{u"c8"_s}) << u"SITE CHMOD 775 a.txt"_s
                                       << 0775 << QByteArray("-rwxrwxr-x");
    QTest::newRow("读(所有) twice") << u"a.txt"_s << QStringList{u"r"_s, u"r"_s} << u"SITE CHMOD 444 a.txt"_s
                                  << 0444 << QByteArray("-r--r--r--");
    QTest::newRow("typed 640") << u"a.txt"_s << QStringList{u"t:640"_s} << u"SITE CHMOD 640 a.txt"_s << 0640
                               << QByteArray("-rw-r-----");
    QTest::newRow("typed 0640") << u"a.txt"_s << QStringList{u"t:0640"_s} << u"SITE CHMOD 640 a.txt"_s << 0640
                                << QByteArray("-rw-r-----");
    QTest::newRow("Chinese name with a blank") << u"权限 文件.txt"_s << QStringList{u"t:604"_s}
                                               << u"SITE CHMOD 604 权限 文件.txt"_s << 0604
                                               << QByteArray("-rw----r--");
}

void TestTForm3::chmodOnTheServer()
{
    QFETCH(QString, name);
    QFETCH(QStringList, steps);
    QFETCH(QString, sent);
    QFETCH(int, mode);
    QFETCH(QByteArray, listed);

    if (!StartServer())
        QSKIP("pyftpdlib is not available here");
    SettingsFolder settings;
    ScopedScriptedDialogs dialogs;
    QVERIFY(server_->PutFile(name, "permissions"));
    QVERIFY(server_->PutFile(u"other.txt"_s, "x"));
    const QString onDisk = QDir(server_->Root()).filePath(name);
    QVERIFY(QFile::setPermissions(onDisk, QFile::ReadOwner | QFile::WriteOwner));
    QCOMPARE(ModeOnDisk(onDisk), 0600);

    FormUnderTest t;
    TForm1 &form = *t.form;
    QVERIFY(Login(form, *server_));
    const int row = form.ftpviewModel->rowOfName(name.toUtf8());
    QVERIFY(row >= 0);
    QCOMPARE(form.ftpviewModel->entry(row).permissions, QByteArray("-rw-------"));
    form.ftpview->SelectionModel()->clear();
    form.ftpview->SetSelected(row, true);

    form.N37Click();
    QVERIFY(form.Form3->isVisible());
    Run(*form.Form3, steps);
    form.Form3->Button1->click();
    QVERIFY(!form.Form3->isVisible());

    // The listing that follows is read after the SITE reply, so it shows the change.
    QTRY_COMPARE_WITH_TIMEOUT(form.ftpviewModel->entry(qMax(0, form.ftpviewModel->rowOfName(name.toUtf8())))
                                  .permissions,
                              listed, 5000);
    QCOMPARE(ModeOnDisk(onDisk), mode);
    QCOMPARE(Commands(form, {u"SITE"_s}), QStringList{sent});
    QCOMPARE(Commands(form, {u"LIST"_s, u"MLSD"_s}).size(), 2);
    QVERIFY(form.ftp1->Connected);
    QCOMPARE(dialogs->UnexpectedCount(), 0);
}

void TestTForm3::menuItemFollowsTheSelection()
{
    if (!StartServer())
        QSKIP("pyftpdlib is not available here");
    SettingsFolder settings;
    ScopedScriptedDialogs dialogs;
    QVERIFY(server_->PutFile(u"a.txt"_s, "x"));

    FormUnderTest t;
    TForm1 &form = *t.form;
    QVERIFY(Login(form, *server_));
    form.ftpview->SelectionModel()->clear();
    form.PopupMenu2Popup();
    QVERIFY(!form.N37->isEnabled());
    form.N37Click();
    QVERIFY(!form.Form3->isVisible());

    form.ftpview->SetSelected(form.ftpviewModel->rowOfName("a.txt"), true);
    form.PopupMenu2Popup();
    QVERIFY(form.N37->isEnabled());
    form.N37->trigger();
    QVERIFY(form.Form3->isVisible());
    QCOMPARE(dialogs->UnexpectedCount(), 0);
}

QTEST_MAIN(TestTForm3)
#include "tst_tform3.moc"
