// The configuration dialog offscreen: every setting from ftp.ini to its
// control and back to the file, the values outside 1..3, a bad number that
// stops OK without writing, cancel after a reload, the remembered page, the
// browse buttons, and the main window's tool button.

#include "dialogs/tform4.h"
#include "mainwindow/main_settings.h"
#include "mainwindow/tform1.h"
#include "platform/folders.h"
#include "support/scripted_dialogs.h"

#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

QByteArray ReadBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void WriteIni(const QString &path, const QByteArray &lines)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[data]\r\n" + lines);
}

// A setting of the record by its key, as text.
QString Field(const TMainSettings &s, const QString &key)
{
    const QHash<QString, QString> fields = {
        {u"email"_s, s.email}, {u"initdir"_s, s.initdir}, {u"editor"_s, s.editor},
        {u"timeout"_s, QString::number(s.timeout)}, {u"nooptime"_s, QString::number(s.nooptime)},
        {u"upresume"_s, QString::number(s.upresume)}, {u"upfilenamecase"_s, QString::number(s.upfilenamecase)},
        {u"downresume"_s, QString::number(s.downresume)},
        {u"downfilenamecase"_s, QString::number(s.downfilenamecase)},
        {u"aftertransfer"_s, QString::number(s.aftertransfer)},
        {u"afterconnect"_s, QString::number(s.afterconnect)},
        {u"confirmdelete"_s, QString::number(s.confirmdelete)},
        {u"searchengine"_s, s.searchengine}, {u"retries"_s, QString::number(s.retries)},
    };
    return fields.value(key, u"<no such key>"_s);
}

QStringList CheckedRadios(const TForm4 &form, int first, int last)
{
    QStringList names;
    for (int i = first; i <= last; ++i) {
        auto *button = form.findChild<QRadioButton *>(u"RadioButton%1"_s.arg(i));
        if (button && button->isChecked())
            names << button->objectName();
    }
    return names;
}

} // namespace

class TestTForm4 : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void settingMapsBothWays_data();
    void settingMapsBothWays();
    void valuesOutsideTheirGroup_data();
    void valuesOutsideTheirGroup();
    void editorChoice_data();
    void editorChoice();
    void badNumberStopsOk_data();
    void badNumberStopsOk();
    void cancelKeepsTheReload();
    void pageInFrontIsRemembered();
    void browseButtons_data();
    void browseButtons();
    void optionsButtonShowsTheDialog();

private:
    QString Ini() const { return dir_->filePath(u"ftp.ini"_s); }
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<ScopedScriptedDialogs> dialogs_;
};

void TestTForm4::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    platform::SetSettingsFolderOverride(dir_->path());
    dialogs_ = std::make_unique<ScopedScriptedDialogs>();
    MainSettings = TMainSettings();
}

void TestTForm4::cleanup()
{
    QCOMPARE((*dialogs_)->UnexpectedCount(), 0);
    dialogs_.reset();
    platform::SetSettingsFolderOverride(QString());
    dir_.reset();
}

void TestTForm4::settingMapsBothWays_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QByteArray>("fileValue");
    QTest::addColumn<QString>("shown");      // the field holding shownText, or the radio or check button checked
    QTest::addColumn<QString>("shownText");
    QTest::addColumn<QString>("edit");       // the field given editText, or the radio or check button clicked
    QTest::addColumn<QString>("editText");
    QTest::addColumn<QString>("saved");

    QTest::newRow("email") << u"email"_s << QByteArray("me@example.cn") << u"email"_s << u"me@example.cn"_s
                           << u"email"_s << u"用户@例子.cn"_s << u"用户@例子.cn"_s;
    QTest::newRow("initdir") << u"initdir"_s << QByteArray("/srv/down") << u"dir"_s << u"/srv/down"_s
                             << u"dir"_s << u"/home/下载"_s << u"/home/下载"_s;
    QTest::newRow("timeout") << u"timeout"_s << QByteArray("45") << u"timeout"_s << u"45"_s
                             << u"timeout"_s << u"600"_s << u"600"_s;
    QTest::newRow("nooptime from hexadecimal") << u"nooptime"_s << QByteArray("0x1E") << u"noop"_s << u"30"_s
                                               << u"noop"_s << u"-7"_s << u"-7"_s;
    QTest::newRow("upresume") << u"upresume"_s << QByteArray("2") << u"RadioButton2"_s << QString()
                              << u"RadioButton3"_s << QString() << u"3"_s;
    QTest::newRow("upfilenamecase") << u"upfilenamecase"_s << QByteArray("3") << u"RadioButton6"_s << QString()
                                    << u"RadioButton5"_s << QString() << u"2"_s;
    QTest::newRow("downresume") << u"downresume"_s << QByteArray("3") << u"RadioButton9"_s << QString()
                                << u"RadioButton8"_s << QString() << u"2"_s;
    QTest::newRow("downfilenamecase") << u"downfilenamecase"_s << QByteArray("2") << u"RadioButton11"_s
                                      << QString() << u"RadioButton10"_s << QString() << u"1"_s;
    QTest::newRow("aftertransfer") << u"aftertransfer"_s << QByteArray("3") << u"RadioButton17"_s << QString()
                                   << u"RadioButton16"_s << QString() << u"2"_s;
    QTest::newRow("afterconnect") << u"afterconnect"_s << QByteArray("2") << u"RadioButton19"_s << QString()
                                  << u"RadioButton20"_s << QString() << u"3"_s;
    QTest::newRow("editor") << u"editor"_s << QByteArray("/usr/bin/kate") << u"editor"_s << u"/usr/bin/kate"_s
                            << u"editor"_s << u"/usr/bin/gedit"_s << u"/usr/bin/gedit"_s;
    QTest::newRow("confirmdelete") << u"confirmdelete"_s << QByteArray("1") << u"confirmDelete"_s << QString()
                                   << u"confirmDelete"_s << QString() << u"0"_s;
    QTest::newRow("searchengine") << u"searchengine"_s << QByteArray("search.example.org") << u"searchEngine"_s
                                  << u"search.example.org"_s << u"searchEngine"_s
                                  << u" https://s.example.net:8443 "_s << u"https://s.example.net:8443"_s;
    QTest::newRow("retries") << u"retries"_s << QByteArray("5") << u"retries"_s << u"5"_s << u"retries"_s << u"0"_s
                             << u"0"_s;
}

void TestTForm4::settingMapsBothWays()
{
    QFETCH(QString, key);
    QFETCH(QByteArray, fileValue);
    QFETCH(QString, shown);
    QFETCH(QString, shownText);
    QFETCH(QString, edit);
    QFETCH(QString, editText);
    QFETCH(QString, saved);

    WriteIni(Ini(), key.toLatin1() + '=' + fileValue + "\r\n");
    TForm4 form(MainSettings);
    form.show();
    QCOMPARE(Field(MainSettings, key), Field(ReadSettingsFile(Ini()), key));

    if (auto *spin = form.findChild<QSpinBox *>(shown)) {
        QCOMPARE(spin->text(), shownText);
    } else if (auto *field = form.findChild<QLineEdit *>(shown)) {
        QCOMPARE(field->text(), shownText);
    } else {
        auto *radio = form.findChild<QAbstractButton *>(shown);
        QVERIFY2(radio, qPrintable(shown));
        QVERIFY(radio->isChecked());
    }

    if (auto *spin = form.findChild<QSpinBox *>(edit)) {
        spin->setValue(editText.toInt());
    } else if (auto *field = form.findChild<QLineEdit *>(edit)) {
        field->setText(editText);
    } else {
        auto *radio = form.findChild<QAbstractButton *>(edit);
        QVERIFY2(radio, qPrintable(edit));
        radio->click();
    }
    form.Button1->click();
    QVERIFY(!form.isVisible());
    QCOMPARE(Field(ReadSettingsFile(Ini()), key), saved);
    QCOMPARE(Field(MainSettings, key), saved);
    // Saving writes all twelve keys, and a newer key only because the file named it.
    QCOMPARE(ReadBytes(Ini()).count("\r\n"), key == u"searchengine"_s || key == u"retries"_s ? 14 : 13);
}

void TestTForm4::valuesOutsideTheirGroup_data()
{
    QTest::addColumn<QByteArray>("earlierFile");  // shown and cancelled first; empty: none
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("firstButton");
    QTest::addColumn<QStringList>("checked");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("saved");

    QTest::newRow("upresume 7 at the first show") << QByteArray() << QByteArray("upresume=7\r\n") << 1
                                                  << QStringList{u"RadioButton1"_s} << u"upresume"_s << u"1"_s;
    QTest::newRow("upresume 7 after 3 was shown") << QByteArray("upresume=3\r\n") << QByteArray("upresume=7\r\n")
                                                  << 1 << QStringList{u"RadioButton3"_s} << u"upresume"_s << u"3"_s;
    QTest::newRow("afterconnect 0") << QByteArray() << QByteArray("afterconnect=0\r\n") << 18 << QStringList()
                                    << u"afterconnect"_s << u"0"_s;
    QTest::newRow("aftertransfer 9 after 3 was shown") << QByteArray("aftertransfer=3\r\n")
                                                       << QByteArray("aftertransfer=9\r\n") << 15 << QStringList()
                                                       << u"aftertransfer"_s << u"9"_s;
}

void TestTForm4::valuesOutsideTheirGroup()
{
    QFETCH(QByteArray, earlierFile);
    QFETCH(QByteArray, file);
    QFETCH(int, firstButton);
    QFETCH(QStringList, checked);
    QFETCH(QString, key);
    QFETCH(QString, saved);

    TForm4 form(MainSettings);
    if (!earlierFile.isEmpty()) {
        WriteIni(Ini(), earlierFile);
        form.show();
        form.Button2->click();
    }
    WriteIni(Ini(), file);
    form.show();
    QCOMPARE(CheckedRadios(form, firstButton, firstButton + 2), checked);
    QVERIFY(form.Button1Click());
    QCOMPARE(Field(ReadSettingsFile(Ini()), key), saved);
}

void TestTForm4::editorChoice_data()
{
    QTest::addColumn<QByteArray>("fileValue");
    QTest::addColumn<bool>("specifiedShown");
    QTest::addColumn<QString>("choose");     // the radio button the user then selects
    QTest::addColumn<QString>("typed");      // typed into the field when it is enabled
    QTest::addColumn<QString>("saved");

    QTest::newRow("empty, then a program") << QByteArray() << false << u"RadioButton14"_s << u"vim"_s << u"vim"_s;
    QTest::newRow("empty, then the other button with an empty field")
        << QByteArray() << false << u"RadioButton14"_s << QString() << QString();
    QTest::newRow("a program, then the default way")
        << QByteArray("/usr/bin/kate") << true << u"RadioButton13"_s << QString() << QString();
}

void TestTForm4::editorChoice()
{
    QFETCH(QByteArray, fileValue);
    QFETCH(bool, specifiedShown);
    QFETCH(QString, choose);
    QFETCH(QString, typed);
    QFETCH(QString, saved);

    WriteIni(Ini(), "editor=" + fileValue + "\r\n");
    TForm4 form(MainSettings);
    form.show();
    QCOMPARE(form.RadioButton14->isChecked(), specifiedShown);
    QCOMPARE(form.RadioButton13->isChecked(), !specifiedShown);
    QCOMPARE(form.editor->isEnabled(), specifiedShown);
    QCOMPARE(form.editor->text(), QString::fromUtf8(fileValue));

    form.findChild<QRadioButton *>(choose)->click();
    QCOMPARE(form.editor->isEnabled(), choose == u"RadioButton14"_s);
    if (form.editor->isEnabled())
        form.editor->setText(typed);
    QVERIFY(form.Button1Click());
    QCOMPARE(ReadSettingsFile(Ini()).editor, saved);
}

void TestTForm4::badNumberStopsOk_data()
{
    QTest::addColumn<QString>("timeoutText");
    QTest::addColumn<QString>("noopText");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("recordTimeout");  // what the record holds afterwards

    QTest::newRow("letters in timeout") << u"abc"_s << u"5"_s << u"'abc' is not a valid integer value"_s << 60;
    QTest::newRow("empty timeout") << QString() << u"5"_s << u"'' is not a valid integer value"_s << 60;
    QTest::newRow("hexadecimal") << u"0x1E"_s << u"5"_s << u"'0x1E' is not a valid integer value"_s << 60;
    QTest::newRow("beyond int") << u"99999999999"_s << u"5"_s << u"'99999999999' is not a valid integer value"_s
                                << 60;
    QTest::newRow("only noop bad: timeout stored") << u"77"_s << u"1.5"_s << u"'1.5' is not a valid integer value"_s
                                                   << 77;
}

void TestTForm4::badNumberStopsOk()
{
    QFETCH(QString, timeoutText);
    QFETCH(QString, noopText);
    QFETCH(QString, message);
    QFETCH(int, recordTimeout);

    WriteIni(Ini(), "email=old@x\r\ntimeout=60\r\nnooptime=9\r\nupresume=1\r\n");
    const QByteArray before = ReadBytes(Ini());
    TForm4 form(MainSettings);
    form.show();
    form.email->setText(u"new@x"_s);
    form.timeout->setText(timeoutText);
    form.noop->setText(noopText);
    form.RadioButton3->setChecked(true);
    (*dialogs_)->QueueButton(platform::Dialogs::Ok);
    form.Button1->click();

    const QList<ScriptedDialogs::Call> boxes = (*dialogs_)->CallsOf(ScriptedDialogs::MessageBoxKind);
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes.first().text, message);
    QVERIFY(form.isVisible());
    QCOMPARE(ReadBytes(Ini()), before);
    QCOMPARE(MainSettings.email, u"new@x"_s);
    QCOMPARE(MainSettings.timeout, recordTimeout);
    QCOMPARE(MainSettings.nooptime, 9);
    QCOMPARE(MainSettings.upresume, 1);

    // Mended, the same OK writes everything.
    form.timeout->setText(u"30"_s);
    form.noop->setText(u"4"_s);
    QVERIFY(form.Button1Click());
    const TMainSettings saved = ReadSettingsFile(Ini());
    QCOMPARE(saved.email, u"new@x"_s);
    QCOMPARE(saved.timeout, 30);
    QCOMPARE(saved.nooptime, 4);
    QCOMPARE(saved.upresume, 3);
}

void TestTForm4::cancelKeepsTheReload()
{
    WriteIni(Ini(), "email=file@x\r\ntimeout=60\r\ndownresume=2\r\n");
    const QByteArray before = ReadBytes(Ini());
    MainSettings.email = u"memory@x"_s;
    MainSettings.timeout = 999;
    TForm4 form(MainSettings);
    form.show();
    form.email->setText(u"typed@x"_s);
    form.timeout->setText(u"5"_s);
    form.RadioButton9->click();
    form.Button2->click();

    QVERIFY(!form.isVisible());
    QCOMPARE(ReadBytes(Ini()), before);
    QCOMPARE(MainSettings.email, u"file@x"_s);
    QCOMPARE(MainSettings.timeout, 60);
    QCOMPARE(MainSettings.downresume, 2);

    form.show();
    QCOMPARE(form.email->text(), u"file@x"_s);
    QCOMPARE(form.timeout->text(), u"60"_s);
    QVERIFY(form.RadioButton8->isChecked());
}

void TestTForm4::pageInFrontIsRemembered()
{
    TForm4 form(MainSettings);
    form.show();
    QCOMPARE(form.PageControl1->tabText(form.PageControl1->currentIndex()), u"编辑文件"_s);
    form.PageControl1->setCurrentIndex(TForm4::DownloadPage);
    form.close();
    QVERIFY(!form.isVisible());
    form.show();
    QCOMPARE(form.PageControl1->tabText(form.PageControl1->currentIndex()), u"下载"_s);
    form.PageControl1->setCurrentIndex(TForm4::AdvancedPage);
    QVERIFY(form.Button1Click());
    form.show();
    QCOMPARE(form.PageControl1->tabText(form.PageControl1->currentIndex()), u"高级选项"_s);
}

void TestTForm4::browseButtons_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("confirmed");
    QTest::addColumn<QString>("expected");

    QTest::newRow("folder chosen") << u"dirButton"_s << true << u"/srv/选中"_s;
    QTest::newRow("program chooser cancelled") << u"editorButton"_s << false << u"/start"_s;
}

void TestTForm4::browseButtons()
{
    QFETCH(QString, button);
    QFETCH(bool, confirmed);
    QFETCH(QString, expected);

    WriteIni(Ini(), "initdir=/start\r\neditor=/start\r\n");
    TForm4 form(MainSettings);
    form.show();
    const bool folder = button == u"dirButton"_s;
    const QString chosen = folder ? u"/srv/选中"_s : u"/opt/编辑器"_s;
    if (folder)
        (*dialogs_)->QueueDirectory(confirmed, chosen);
    else
        (*dialogs_)->QueueFiles(confirmed, {chosen});
    form.findChild<QPushButton *>(button)->click();
    const auto kind = folder ? ScriptedDialogs::ChooseDirectoryKind : ScriptedDialogs::ChooseOpenFilesKind;
    QCOMPARE((*dialogs_)->CallsOf(kind).size(), 1);
    QCOMPARE((*dialogs_)->CallsOf(kind).first().initial, u"/start"_s);
    QCOMPARE((folder ? form.dir : form.editor)->text(), expected);
}

void TestTForm4::optionsButtonShowsTheDialog()
{
    WriteIni(Ini(), "email=shown@x\r\n");
    // An empty site list: the window's site manager has nothing to report.
    QVERIFY(QFile(dir_->filePath(u"list.ini"_s)).open(QIODevice::WriteOnly));
    TForm1 window;
    window.OpenDocument = [](const QString &) { return true; };
    window.StartInstance = [](const QString &) { return true; };
    window.show();
    QVERIFY(window.Form4);
    QVERIFY(!window.Form4->isVisible());
    QVERIFY(window.optionsButton->isEnabled());
    window.optionsButton->click();
    QVERIFY(window.Form4->isVisible());
    QCOMPARE(window.Form4->email->text(), u"shown@x"_s);
}

QTEST_MAIN(TestTForm4)
#include "tst_tform4.moc"
