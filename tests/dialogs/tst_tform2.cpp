// The site manager offscreen: loading and selecting, the anonymous box, store,
// delete and save on the file's bytes, connect with and without a local
// directory, and, inside the main window, the missing list at the first show
// and a real login that ends in the site's remote directory.

#include "dialogs/tform2.h"
#include "engine/ftp.h"
#include "mainwindow/form1_fixture.h"
#include "platform/codepage.h"
#include "support/peer_server.h"
#include "widgets/combobox98.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

using namespace Qt::StringLiterals;
using testsupport::PeerServer;

namespace {

QByteArray Gb(const QString &text)
{
    return platform::EncodeAnsi(text);
}

QByteArray ReadBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void WriteBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

QStringList Lines(const TForm2 &form)
{
    QStringList lines;
    for (const SiteEntry &site : form.ListView1Model->Sites())
        lines << site.Fields().join(u'|');
    return lines;
}

QStringList MessageTexts(const ScriptedDialogs &dialogs)
{
    QStringList texts;
    for (const ScriptedDialogs::Call &call : dialogs.CallsOf(ScriptedDialogs::MessageBoxKind))
        texts << call.text;
    return texts;
}

// What the window asked of the main window, in order.
struct HostRecord {
    QStringList calls;
    SiteManagerHost Host()
    {
        SiteManagerHost host;
        host.LocalDirectory = [] { return u"/start/dir"_s; };
        host.SetLogin = [this](const QString &u, const QString &p) { calls << u"login "_s + u + u' ' + p; };
        host.SetServer = [this](int port, const QString &s) { calls << u"server "_s + s + u':' + QString::number(port); };
        host.SetInitialDirectory = [this](const QString &d) { calls << u"initial "_s + d; };
        host.SetDrivePath = [this](const QString &d) { calls << u"drive "_s + d; };
        host.SetLocalPathText = [this](const QString &t) { calls << u"path "_s + t; };
        host.Connect = [this] { calls << u"connect"_s; };
        return host;
    }
};

const QByteArray kThreeSites = "a|h1|u1|21|/l1|/r1|no\r\nb|h2|u2|2121|/l2|/r2|yes\r\na|h3|u3|22|/l3|/r3|no\r\n";

} // namespace

class TestTForm2 : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void loadAndSelect_data();
    void loadAndSelect();
    void store_data();
    void store();
    void deleteAndSaveByteForByte();
    void saveThatFailsKeepsTheList();
    void connectCommand_data();
    void connectCommand();

    void unreadableListReportedOnceAtFirstShow();
    void connectWithMissingLocalDirectory();
    void connectToARealSite();

private:
    QString ListFile() const { return settings_->File(u"list.ini"_s); }
    std::unique_ptr<SettingsFolder> settings_;
    std::unique_ptr<ScopedScriptedDialogs> dialogs_;
    QString startDirectory_;
};

void TestTForm2::init()
{
    startDirectory_ = QDir::currentPath();
    settings_ = std::make_unique<SettingsFolder>();
    dialogs_ = std::make_unique<ScopedScriptedDialogs>();
}

void TestTForm2::cleanup()
{
    QCOMPARE((*dialogs_)->UnexpectedCount(), 0);
    dialogs_.reset();
    settings_.reset();
    QDir::setCurrent(startDirectory_);
}

void TestTForm2::loadAndSelect_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QStringList>("shown");  // name server username port localpath remotepath
    QTest::addColumn<bool>("anonymous");
    QTest::addColumn<QString>("message");

    QTest::newRow("Chinese site, anonymous")
        << 0 << QStringList{u"工作站"_s, u"ftp.example.org"_s, u"张三"_s, u"2121"_s, u"/home/下载"_s, u"/pub"_s}
        << true << QString();
    QTest::newRow("trailing bar: empty last field")
        << 1 << QStringList{u"trailing"_s, u"h"_s, u"u"_s, u"21"_s, u"/tmp"_s, u"/"_s} << false << QString();
    QTest::newRow("YES is not yes")
        << 2 << QStringList{u"upper"_s, u"h"_s, u"u"_s, u"-7"_s, u"/tmp"_s, u"/x"_s} << false << QString();
    QTest::newRow("port not a number: the rest keep their contents")
        << 3 << QStringList{u"badport"_s, u"bh"_s, u"bu"_s, u"99"_s, u"/prev"_s, u"/prevr"_s} << true
        << u"'21x' is not a valid integer value"_s;
}

void TestTForm2::loadAndSelect()
{
    QFETCH(int, row);
    QFETCH(QStringList, shown);
    QFETCH(bool, anonymous);
    QFETCH(QString, message);

    WriteBytes(ListFile(), Gb(u"工作站|ftp.example.org|张三|2121|/home/下载|/pub|yes\r\n"_s)
                               + "six|h|u|21|/tmp|/\r\n\r\n"
                               + "trailing|h|u|21|/tmp|/|\r\n"
                               + "upper|h|u|-7|/tmp|/x|YES\r\n"
                               + "badport|bh|bu|21x|/l|/r|no\r\n");
    HostRecord record;
    TForm2 form(record.Host());
    QCOMPARE(form.windowTitle(), u"站点管理"_s);
    QCOMPARE(form.ListView1Model->rowCount(), 4);
    QCOMPARE(form.localpath->text(), u"/start/dir"_s);
    QCOMPARE(form.remotepath->text(), u"/"_s);

    form.port->setValue(99);
    form.localpath->setText(u"/prev"_s);
    form.remotepath->setText(u"/prevr"_s);
    form.password->setText(u"secret"_s);
    form.anonymous->setChecked(true);
    if (!message.isEmpty())
        (*dialogs_)->QueueButton(platform::Dialogs::Ok);
    form.SelectRow(row);

    QCOMPARE(MessageTexts(**dialogs_), message.isEmpty() ? QStringList() : QStringList{message});
    const QStringList actual = {form.name->text(), form.server->text(), form.username->text(),
                                QString::number(form.port->value()), form.localpath->text(),
                                form.remotepath->text()};
    QCOMPARE(actual, shown);
    QCOMPARE(form.anonymous->isChecked(), anonymous);
    QCOMPARE(form.username->isEnabled(), !anonymous);
    QCOMPARE(form.password->isEnabled(), !anonymous);
    // A password typed for one site never goes to the next one chosen.
    QCOMPARE(form.password->text(), QString());
    QVERIFY(record.calls.isEmpty());
}

void TestTForm2::store_data()
{
    QTest::addColumn<QStringList>("fields");  // name server username localpath remotepath
    QTest::addColumn<int>("port");
    QTest::addColumn<bool>("anonymous");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QStringList>("lines");

    const QStringList before = QString::fromLatin1(kThreeSites).split(u"\r\n"_s, Qt::SkipEmptyParts);
    QTest::newRow("no name") << QStringList{u""_s, u"h"_s, u"u"_s, u"/l"_s, u"/r"_s} << 21 << false
                             << u"没有填站点名称"_s << before;
    QTest::newRow("no host") << QStringList{u"n"_s, u""_s, u"u"_s, u"/l"_s, u"/r"_s} << 21 << false
                             << u"没有填主机名"_s << before;
    QTest::newRow("no user") << QStringList{u"n"_s, u"h"_s, u""_s, u"/l"_s, u"/r"_s} << 21 << false
                             << u"没有填用户名"_s << before;
    QTest::newRow("no user but anonymous") << QStringList{u"n"_s, u"h"_s, u""_s, u"/l"_s, u"/r"_s} << 21 << true
                                           << QString() << before + QStringList{u"n|h||21|/l|/r|yes"_s};
    QTest::newRow("name of two rows updates both")
        << QStringList{u"a"_s, u"hx"_s, u"ux"_s, u"/lx"_s, u"/rx"_s} << -1 << false << QString()
        << QStringList{u"a|hx|ux|-1|/lx|/rx|no"_s, before.at(1), u"a|hx|ux|-1|/lx|/rx|no"_s};
    QTest::newRow("names are case-sensitive") << QStringList{u"A"_s, u"h"_s, u"u"_s, u"/l"_s, u"/r"_s} << 21
                                              << false << QString() << before + QStringList{u"A|h|u|21|/l|/r|no"_s};
    QTest::newRow("a bar in a field is refused")
        << QStringList{u"n"_s, u"h"_s, u"u"_s, u"/l|x"_s, u"/r"_s} << 21 << false
        << u"站点资料中不能含有字符 \"|\""_s << before;
}

void TestTForm2::store()
{
    QFETCH(QStringList, fields);
    QFETCH(int, port);
    QFETCH(bool, anonymous);
    QFETCH(QString, message);
    QFETCH(QStringList, lines);

    WriteBytes(ListFile(), kThreeSites);
    HostRecord record;
    TForm2 form(record.Host());
    form.name->setText(fields.at(0));
    form.server->setText(fields.at(1));
    form.username->setText(fields.at(2));
    form.localpath->setText(fields.at(3));
    form.remotepath->setText(fields.at(4));
    form.port->setValue(port);
    form.anonymous->setChecked(anonymous);
    if (!message.isEmpty())
        (*dialogs_)->QueueButton(platform::Dialogs::Ok);
    form.Button8->click();

    QCOMPARE(MessageTexts(**dialogs_), message.isEmpty() ? QStringList() : QStringList{message});
    QCOMPARE(Lines(form), lines);
    // Only save writes the file.
    QCOMPARE(ReadBytes(ListFile()), kThreeSites);
}

void TestTForm2::deleteAndSaveByteForByte()
{
    const QByteArray first = Gb(u"家里|192.168.1.2|张三|21|/home/张三|/pub/中文|no\r\n"_s);
    const QByteArray second = QByteArray("\x81\x7c") + Gb(u"站|h|u|2121|/tmp|/|yes\r\n"_s);
    const QByteArray third = "last|h|u|21|/tmp|/|no\r\n";
    WriteBytes(ListFile(), first + second + "bad|line\r\n" + third);
    HostRecord record;
    TForm2 form(record.Host());

    form.Button3->click();
    QCOMPARE(ReadBytes(ListFile()), first + second + third);

    form.SelectRow(1);
    form.Button4->click();
    QCOMPARE(form.ListView1Model->rowCount(), 2);
    QCOMPARE(ReadBytes(ListFile()), first + second + third);  // not yet saved
    // The edit fields keep the deleted site; storing it brings it back at the end.
    form.Button8->click();
    form.Button3->click();
    QCOMPARE(ReadBytes(ListFile()), first + third + second);

    for (int i = 0; i < 3; ++i) {
        form.SelectRow(0);
        form.Button4->click();
    }
    QCOMPARE(form.ListView1Model->rowCount(), 0);
    form.Button4->click();  // nothing selected: nothing happens
    form.Button3->click();
    QCOMPARE(ReadBytes(ListFile()), QByteArray());
    QVERIFY(MessageTexts(**dialogs_).isEmpty());
}

void TestTForm2::saveThatFailsKeepsTheList()
{
    WriteBytes(ListFile(), kThreeSites);
    HostRecord record;
    TForm2 form(record.Host());
    QVERIFY(QFile::remove(ListFile()));
    QVERIFY(QDir().mkpath(ListFile() + u"/inside"_s));

    (*dialogs_)->QueueButton(platform::Dialogs::Ok);
    form.Button3->click();
    QCOMPARE(MessageTexts(**dialogs_), QStringList{u"Cannot create file "_s + QDir::toNativeSeparators(ListFile())});
    QCOMPARE(form.ListView1Model->rowCount(), 3);
    QVERIFY(QFileInfo(ListFile() + u"/inside"_s).isDir());
}

void TestTForm2::connectCommand_data()
{
    QTest::addColumn<bool>("anonymous");
    QTest::addColumn<bool>("localExists");
    QTest::addColumn<bool>("trailingSlash");
    QTest::newRow("user, directory there") << false << true << false;
    QTest::newRow("user, directory with its slash") << false << true << true;
    QTest::newRow("anonymous, directory there") << true << true << false;
    QTest::newRow("user, directory missing") << false << false << false;
    QTest::newRow("anonymous, directory missing") << true << false << false;
}

void TestTForm2::connectCommand()
{
    QFETCH(bool, anonymous);
    QFETCH(bool, localExists);
    QFETCH(bool, trailingSlash);

    QTemporaryDir local;
    const QString directory = localExists ? local.path() + (trailingSlash ? u"/"_s : QString())
                                          : local.path() + u"/missing"_s;
    HostRecord record;
    TForm2 form(record.Host());
    form.show();
    form.server->setText(u"ftp.example.org"_s);
    form.username->setText(u"zhang"_s);
    form.password->setText(u"pw"_s);
    form.port->setValue(2121);
    form.remotepath->setText(u"/pub/中文"_s);
    form.localpath->setText(directory);
    form.anonymous->setChecked(anonymous);
    if (!localExists)
        (*dialogs_)->QueueButton(platform::Dialogs::Ok);
    form.Button1->click();

    QStringList expected = {anonymous ? u"login anonymous "_s + TForm2::AnonymousPassword() : u"login zhang pw"_s,
                            u"server ftp.example.org:2121"_s, u"initial /pub/中文"_s};
    if (localExists)
        expected << u"drive "_s + local.path() + u"/"_s << u"path "_s + directory << u"connect"_s;
    QCOMPARE(record.calls, expected);
    QCOMPARE(MessageTexts(**dialogs_), localExists ? QStringList()
                                                   : QStringList{u"目录 "_s + directory + u" 不存在,请填正确"_s});
    QCOMPARE(form.isVisible(), !localExists);
}

// ---- inside the main window ----

void TestTForm2::unreadableListReportedOnceAtFirstShow()
{
    // A first start has no list: nothing to report. A list that cannot be read is reported once.
    QVERIFY(QFile::remove(ListFile()));
    {
        FormUnderTest fresh;
        fresh.form->show();
        QVERIFY((*dialogs_)->Calls().isEmpty());
    }
    QVERIFY(QDir().mkpath(ListFile()));
    (*dialogs_)->QueueButton(platform::Dialogs::Ok);
    FormUnderTest f;
    f.form->show();
    f.form->hide();
    f.form->show();
    QCOMPARE(MessageTexts(**dialogs_), QStringList{u"Cannot open file "_s + QDir::toNativeSeparators(ListFile())});

    TForm2 *sites = f.form->Form2;
    QVERIFY(sites);
    QVERIFY(!sites->isVisible());
    QVERIFY(f.form->N2->isEnabled());
    QVERIFY(f.form->siteManagerButton->isEnabled());
    f.form->siteManagerButton->trigger();
    QVERIFY(sites->isVisible());
    QCOMPARE(sites->ListView1Model->rowCount(), 0);
    QCOMPARE(sites->localpath->text(), QString());
    QCOMPARE(sites->remotepath->text(), QString());

    sites->name->setText(u"新站"_s);
    sites->server->setText(u"h"_s);
    sites->anonymous->setChecked(true);
    sites->Button8->click();
    sites->Button2->click();
    QVERIFY(!sites->isVisible());
    // Hidden, not gone: the unsaved row is still there at the next show.
    f.form->N2->trigger();
    QCOMPARE(sites->ListView1Model->rowCount(), 1);
    QVERIFY(QDir().rmdir(ListFile()));
    sites->Button3->click();
    QCOMPARE(ReadBytes(ListFile()), Gb(u"新站|h||21|||yes\r\n"_s));
    QCOMPARE(MessageTexts(**dialogs_).size(), 1);
}

void TestTForm2::connectWithMissingLocalDirectory()
{
    WriteBytes(ListFile(), "far|ftp.example.org|li|2121|/no/such/dir|/pub|no\r\n");
    FormUnderTest f;
    f.form->show();
    TForm2 *sites = f.form->Form2;
    const QString localBefore = f.form->LocalDirectory();
    QCOMPARE(sites->localpath->text(), localBefore);
    f.form->N2->trigger();
    sites->SelectRow(0);
    sites->password->setText(u"pw"_s);
    (*dialogs_)->QueueButton(platform::Dialogs::Ok);
    sites->Button1->click();

    QCOMPARE(MessageTexts(**dialogs_), QStringList{u"目录 /no/such/dir 不存在,请填正确"_s});
    QCOMPARE(f.form->server->currentText(), u"ftp.example.org"_s);
    QCOMPARE(f.form->username->text(), u"li"_s);
    QCOMPARE(f.form->password->text(), u"pw"_s);
    QCOMPARE(f.form->port->value(), 2121);
    QCOMPARE(f.form->ftp1->InitialDirectory, QByteArray("/pub"));
    QCOMPARE(f.form->LocalDirectory(), localBefore);
    QVERIFY(!f.form->ftp1->Connected);
    QVERIFY(!f.form->ftp1->Busy());
    QVERIFY(sites->isVisible());
}

void TestTForm2::connectToARealSite()
{
    QString why;
    if (!PeerServer::Available(PeerServer::Kind::Pyftpdlib, &why))
        QSKIP(qPrintable(why));
    std::unique_ptr<PeerServer> server = PeerServer::Start(PeerServer::Kind::Pyftpdlib, &why);
    QVERIFY2(server, qPrintable(why));
    QVERIFY(QDir().mkpath(server->Root() + u"/站点/sub"_s));
    server->HandOverTree();

    QTemporaryDir local;
    const QString line = u"测试站|%1|%2|%3|%4|/站点/sub|no\r\n"_s.arg(server->Host(), server->User())
                             .arg(server->Port())
                             .arg(local.path());
    WriteBytes(ListFile(), Gb(line));
    FormUnderTest f;
    f.form->show();
    TForm2 *sites = f.form->Form2;
    f.form->N2->trigger();
    QCOMPARE(sites->ListView1Model->rowCount(), 1);
    sites->SelectRow(0);
    // No password stored: the login asks for it, masked, instead of sending an empty one.
    (*dialogs_)->QueueText(true, server->Password());
    sites->Button1->click();

    // The connect waits for the keyring's answer (here: there is none).
    QTRY_VERIFY(!sites->isVisible());
    QCOMPARE(f.form->LocalDirectory(), local.path() + u"/"_s);
    QCOMPARE(f.form->ComboBox1->currentText(), local.path());
    QTRY_VERIFY_WITH_TIMEOUT(f.form->ftp1->LoggedIn() && !f.form->ftp1->Busy()
                                 && f.form->ftp1->CurrentDirectory() == u"/站点/sub"_s.toUtf8(),
                             10000);
    QCOMPARE(f.form->username->text(), server->User());
    QCOMPARE(f.form->port->value(), int(server->Port()));
    QVERIFY(MessageTexts(**dialogs_).isEmpty());
    QCOMPARE((*dialogs_)->CallsOf(ScriptedDialogs::AskPasswordKind).size(), 1);
}

QTEST_MAIN(TestTForm2)
#include "tst_tform2.moc"
