// The main window without a server: start-up from ftp.ini, the bars, fonts
// and colours, help and a second instance, and what it makes of the engine's
// notices, including ones no engine should send.

#include "form1_fixture.h"

#include "engine/ftp.h"
#include "mainwindow/about_box.h"
#include "mainwindow/remote_list_view.h"
#include "mainwindow/translation.h"
#include "dialogs/tform4.h"
#include "widgets/file_list.h"
#include "platform/folders.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QToolBar>
#include <QGuiApplication>
#include <QScreen>
#include <QSplitter>
#include <QHeaderView>
#include <QTreeView>
#include <QtTest>

using namespace Qt::StringLiterals;

class TestForm1 : public QObject {
    Q_OBJECT
private slots:
    void init() { startDirectory_ = QDir::currentPath(); }
    void cleanup() { QDir::setCurrent(startDirectory_); }

    void startsFromSettings_data();
    void startsFromSettings();
    void barToggles_data();
    void barToggles();
    void fontsAndColours_data();
    void fontsAndColours();
    void helpAboutAndSecondInstance();
    void logColoursAndBlankLines();
    void errorsReachBoxOrStatus_data();
    void errorsReachBoxOrStatus();
    void transferStatistics_data();
    void transferStatistics();
    void unexpectedEventsAreHarmless();
    void nameColumnsTakeTheRoom();
    void layoutKeptAcrossRuns_data();
    void layoutKeptAcrossRuns();
    void speaksTheInstalledLanguage_data();
    void speaksTheInstalledLanguage();

private:
    QString startDirectory_;
};

void TestForm1::startsFromSettings_data()
{
    QTest::addColumn<QByteArray>("ini");  // empty: no ftp.ini at all
    QTest::addColumn<int>("timeout");
    QTest::addColumn<int>("noop");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("initdirUsed");

    QTest::newRow("no file") << QByteArray() << 300 << 5 << QString() << false;
    QTest::newRow("hex and letters") << QByteArray("[data]\r\nemail=me@example.org\r\ntimeout=0x1E\r\nnooptime=abc\r\n")
                                     << 30 << 5 << u"me@example.org"_s << false;
    QTest::newRow("initdir") << QByteArray("[data]\r\ninitdir={dir}\r\nnooptime=7\r\n") << 300 << 7 << QString()
                             << true;
    QTest::newRow("huge values") << QByteArray("[data]\r\ntimeout=0x7FFFFFFF\r\nnooptime=2147483647\r\n")
                                 << 2147483647 << 2147483 << QString() << false;
    QTest::newRow("initdir gone") << QByteArray("[data]\r\ninitdir=/no/such/folder/here\r\n") << 300 << 5
                                  << QString() << false;
    QByteArray garbled("\xff\xfe[data\x00\r\ntimeout=\x81\x7c\x01\r\n\r\n[data]\r\nemail", 36);
    garbled += QByteArray(70000, '\x93');
    QTest::newRow("garbled") << garbled << 300 << 5 << QString() << false;
}

void TestForm1::startsFromSettings()
{
    QFETCH(QByteArray, ini);
    QFETCH(int, timeout);
    QFETCH(int, noop);
    QFETCH(QString, password);
    QFETCH(bool, initdirUsed);

    SettingsFolder settings;
    QTemporaryDir initdir;
    if (!ini.isEmpty()) {
        QFile file(settings.File(u"ftp.ini"_s));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(ini.replace("{dir}", initdir.path().toUtf8()));
    }
    ScopedScriptedDialogs dialogs;
    const QString workingDirectory = QDir::currentPath();
    FormUnderTest t;
    TForm1 &form = *t.form;

    QCOMPARE(form.windowTitle(), u"Tarvo - FTP 客户端"_s);
    // The classic size at least, three quarters of the screen where that is more.
    const QSize room = QGuiApplication::primaryScreen()->availableGeometry().size() * 3 / 4;
    QCOMPARE(form.size(), QSize(739, 528).expandedTo(room.boundedTo(QSize(1400, 900))));
    QCOMPARE(form.ftp1->TimeOutConnect, timeout);
    QCOMPARE(form.ftp1->NoopInterval(), noop);
    QCOMPARE(form.password->text(), password);
    const QString expected = (initdirUsed ? initdir.path() : workingDirectory) + u'/';
    QCOMPARE(form.LocalDirectory(), expected);
    QCOMPARE(QDir::currentPath() + u'/', expected);
    QCOMPARE(dialogs->Calls().size(), 0);  // a bad file is never reported
}

void TestForm1::barToggles_data()
{
    QTest::addColumn<int>("bar");
    QTest::newRow("login bar") << 0;
    QTest::newRow("management bar") << 1;
    QTest::newRow("batch bar") << 2;
}

void TestForm1::barToggles()
{
    QFETCH(int, bar);
    SettingsFolder settings;
    FormUnderTest t;
    TForm1 &form = *t.form;
    form.show();
    QToolBar *bars[] = {form.Toolbar971, form.Toolbar972, form.Toolbar973};
    QAction *items[] = {form.N56, form.N57, form.N83};
    void (TForm1::*toggles[])() = {&TForm1::N56Click, &TForm1::N57Click, &TForm1::N83Click};

    (form.*toggles[bar])();
    form.BarsMenuPopup();
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(bars[i]->isVisible(), i != bar);
        QCOMPARE(items[i]->isChecked(), i != bar);
    }
    (form.*toggles[bar])();
    form.BarsMenuPopup();
    QVERIFY(bars[bar]->isVisible());
    QVERIFY(items[bar]->isChecked());

    // The window's own tool bar menu offers the three bars and never the
    // main tool bar: hidden, it would take every menu of the window along.
    const std::unique_ptr<QMenu> popup(form.createPopupMenu());
    QVERIFY(popup);
    QList<QAction *> offered;
    for (QAction *action : popup->actions()) {
        if (action->isVisible() && !action->isSeparator())
            offered << action;
    }
    QCOMPARE(offered, (QList<QAction *>{form.Toolbar971->toggleViewAction(), form.Toolbar972->toggleViewAction(),
                                        form.Toolbar973->toggleViewAction()}));
}

void TestForm1::fontsAndColours_data()
{
    QTest::addColumn<int>("target");  // 0 log, 1 local, 2 remote, 3 queue
    QTest::addColumn<bool>("confirmed");
    for (int target = 0; target < 4; ++target) {
        QTest::addRow("target %d confirmed", target) << target << true;
        QTest::addRow("target %d cancelled", target) << target << false;
    }
}

void TestForm1::fontsAndColours()
{
    QFETCH(int, target);
    QFETCH(bool, confirmed);
    SettingsFolder settings;
    ScopedScriptedDialogs dialogs;
    FormUnderTest t;
    TForm1 &form = *t.form;
    QWidget *controls[] = {form.richedit1, form.FileList1, form.ftpview, form.spool};
    void (TForm1::*fonts[])() = {&TForm1::N63Click, &TForm1::N64Click, &TForm1::N65Click, &TForm1::N84Click};
    void (TForm1::*colours[])() = {&TForm1::N67Click, &TForm1::N68Click, &TForm1::N69Click, &TForm1::N85Click};
    QWidget *control = controls[target];
    const QFont before = control->font();
    const QColor beforeColour = control->palette().color(QPalette::Base);

    QFont chosen(u"Noto Sans CJK SC"_s, 17);
    dialogs->QueueFont(confirmed, chosen);
    dialogs->QueueColor(confirmed, QColor(12, 34, 56));
    (form.*fonts[target])();
    (form.*colours[target])();

    QCOMPARE(dialogs->UnexpectedCount(), 0);
    QCOMPARE(control->font().pointSize(), confirmed ? 17 : before.pointSize());
    QCOMPARE(control->palette().color(QPalette::Base), confirmed ? QColor(12, 34, 56) : beforeColour);
    for (QWidget *other : controls) {  // only the chosen control changes
        if (other != control && confirmed)
            QVERIFY(other->font().pointSize() != 17);
    }
}

void TestForm1::helpAboutAndSecondInstance()
{
    SettingsFolder settings;
    ScopedScriptedDialogs dialogs;
    FormUnderTest t;
    TForm1 &form = *t.form;
    form.show();

    form.N58Click();
    QCOMPARE(t.opened, QStringList{platform::ProgramFolder() + u"/Tarvo.html"_s});
    QFile help(t.opened.first());
    QVERIFY(help.open(QIODevice::ReadOnly));
    QVERIFY(QString::fromUtf8(help.readAll()).contains(u"服务器"_s));
    QCOMPARE(dialogs->Calls().size(), 0);

    form.N1Click();
    QCOMPARE(t.started, QStringList{QCoreApplication::applicationFilePath()});

    form.N61Click();
    QVERIFY(form.AboutBox);
    QTRY_VERIFY(form.AboutBox->isVisible());
    QCOMPARE(form.AboutBox->windowTitle(), u"关于 Tarvo"_s);
    QCOMPARE(form.AboutBox->Version->text(), u"Version: 1.0 Beta1 "_s);
}

void TestForm1::logColoursAndBlankLines()
{
    SettingsFolder settings;
    FormUnderTest t;
    TForm1 &form = *t.form;
    TMFtp &ftp = *form.ftp1;
    // Replies come as raw chunks with their CR LF, commands with CR LF.
    ftp.OnFtpInfo(&ftp, ftpiReply, u"220 ready\r\n"_s);
    ftp.OnFtpInfo(&ftp, ftpiCommand, u"PASS ******\r\n"_s);
    ftp.OnFtpInfo(&ftp, ftpiReply, QString());  // an empty text adds nothing
    ftp.OnFtpInfo(&ftp, ftpiResumeSupported, QString());
    ftp.OnFtpInfo(&ftp, ftpiReply, u"250-first\r\n250 o"_s);  // cut between two reads
    // The log reaches the view by itself, a little later; the cut line is
    // joined even when its first part is already shown.
    QTRY_VERIFY_WITH_TIMEOUT(form.richedit1->toPlainText().endsWith(u"250 o"_s), 2000);
    ftp.OnFtpInfo(&ftp, ftpiReply, u"k\r\n"_s);
    // A read that ends between CR and LF: the LF opening the next read ends
    // the same line, it is no empty line of its own.
    ftp.OnFtpInfo(&ftp, ftpiReply, u"220-long banner\r"_s);
    ftp.OnFtpInfo(&ftp, ftpiReply, u"\n220 end\r\n"_s);
    ftp.OnFtpInfo(&ftp, ftpiReply, u"230 in\r"_s);
    ftp.OnFtpInfo(&ftp, ftpiReply, u"\n"_s);
    ftp.OnFtpInfo(&ftp, ftpiReply, u"250 ok\r\n"_s);

    const QList<LogLine> lines = LogLines(form);
    QCOMPARE(lines.size(), 10);
    QCOMPARE(lines[0].text, u"220 ready"_s);
    QCOMPARE(lines[0].color, QColor(0, 128, 0));
    QCOMPARE(lines[1].text, u"PASS ******"_s);
    QCOMPARE(lines[1].color, QColor(0, 0, 255));
    QCOMPARE(lines[2].text, u"该主机支持续传"_s);
    QCOMPARE(lines[2].color, QColor(128, 0, 128));
    QCOMPARE(lines[3].text, QString());
    QCOMPARE(lines[4].text, u"250-first"_s);
    QCOMPARE(lines[5].text, u"250 ok"_s);
    QCOMPARE(lines[5].color, QColor(0, 128, 0));
    QCOMPARE(lines[6].text, u"220-long banner"_s);
    QCOMPARE(lines[7].text, u"220 end"_s);
    QCOMPARE(lines[8].text, u"230 in"_s);
    QCOMPARE(lines[9].text, u"250 ok"_s);

    form.N71Click();
    QCOMPARE(form.richedit1->textCursor().selectedText().size(), form.richedit1->toPlainText().size());
    form.N72Click();
    QCOMPARE(form.richedit1->toPlainText(), QString());
    ftp.OnFtpInfo(&ftp, ftpiCommand, u"NOOP"_s);
    QCOMPARE(LogLines(form).size(), 1);

    // A reply of a million lines leaves the latest ones, in one piece or in many.
    QString huge;
    for (int i = 0; i < 1000000; ++i)
        huge += u"211-line "_s + QString::number(i) + u"\r\n"_s;
    ftp.OnFtpInfo(&ftp, ftpiReply, huge);
    for (int i = 0; i < 30000; ++i)
        ftp.OnFtpInfo(&ftp, ftpiReply, u"211-more "_s + QString::number(i) + u"\r\n"_s);
    const QList<LogLine> kept = LogLines(form);
    QVERIFY(kept.size() <= 20000);
    QVERIFY(kept.size() >= 19000);
    QCOMPARE(kept.last().text, u"211-more 29999"_s);
}

void TestForm1::errorsReachBoxOrStatus_data()
{
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("caption");  // empty: no box
    QTest::addColumn<QString>("text");     // box text, or panel 0
    QTest::newRow("refused") << int(ftpeConnectionRefused) << u"连接错误"_s << u"无法连接到 h.example:2121: 连接被拒绝"_s;
    QTest::newRow("timeout") << int(ftpeTimeout) << u"超时连接错误"_s << u"连接超时,已经退出当前连接."_s;
    QTest::newRow("local file") << int(ftpeOpenLocalFile) << QString() << u"  不能打开文件 a.txt"_s;
    QTest::newRow("none") << int(ftpeNone) << QString() << QString();
}

void TestForm1::errorsReachBoxOrStatus()
{
    QFETCH(int, error);
    QFETCH(QString, caption);
    QFETCH(QString, text);
    SettingsFolder settings;
    ScopedScriptedDialogs dialogs;
    FormUnderTest t;
    TForm1 &form = *t.form;
    form.ftp1->SetServer(u"h.example"_s);
    form.ftp1->Port = 2121;
    form.ftp1->OnFtpError(form.ftp1, FtpError(error), u"a.txt"_s);

    const auto boxes = dialogs->CallsOf(ScriptedDialogs::MessageBoxKind);
    if (caption.isEmpty()) {
        QCOMPARE(boxes.size(), 0);
        QCOMPARE(form.PanelText(0), text);
    } else {
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].caption, caption);
        QCOMPARE(boxes[0].text, text);
        QCOMPARE(boxes[0].icon, platform::Dialogs::Critical);
        QCOMPARE(boxes[0].buttons, platform::Dialogs::OkOnly);
    }
}

void TestForm1::transferStatistics_data()
{
    QTest::addColumn<qint64>("total");
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<qint64>("elapsed");
    QTest::addColumn<qint64>("resumedAt");
    QTest::addColumn<QString>("size");
    QTest::addColumn<QString>("time");
    QTest::addColumn<QString>("rate");
    QTest::newRow("3 000 000 bytes") << qint64(3000000) << qint64(3000000) << qint64(1500) << qint64(0)
                                     << u"传输大小:3000000字节 100%"_s << u"时间: 0:00:01"_s
                                     << u"传输速率:2000000(字节/秒)"_s;
    QTest::newRow("resumed") << qint64(3000000) << qint64(2000000) << qint64(4000) << qint64(1000000)
                             << u"传输大小:2000000字节 66%"_s << u"时间: 0:00:04"_s
                             << u"传输速率:250000(字节/秒)"_s;
}

void TestForm1::transferStatistics()
{
    QFETCH(qint64, total);
    QFETCH(qint64, bytes);
    QFETCH(qint64, elapsed);
    QFETCH(qint64, resumedAt);
    QFETCH(QString, size);
    QFETCH(QString, time);
    QFETCH(QString, rate);
    SettingsFolder settings;
    FormUnderTest t;
    TForm1 &form = *t.form;
    TMFtp &ftp = *form.ftp1;

    ftp.OnFtpInfo(&ftp, ftpiFileSize, QString::number(total));
    QCOMPARE(form.PanelText(1), u"文件总大小:%1字节"_s.arg(total));
    ftp.BytesTransferred = bytes;
    ftp.ElapsedTime = elapsed;
    ftp.ResumePosition = resumedAt;
    ftp.OnFtpInfo(&ftp, ftpiProgress, QString());
    QCOMPARE(form.PanelText(2), size);
    QCOMPARE(form.PanelText(3), time);
    QCOMPARE(form.PanelText(4), rate);

    // While a listing arrives the panels keep the file's figures.
    ftp.ReceivingListing = true;
    ftp.BytesTransferred = 1;
    ftp.OnFtpInfo(&ftp, ftpiProgress, QString());
    ftp.OnFtpInfo(&ftp, ftpiFileSize, u"77"_s);
    QCOMPARE(form.PanelText(2), size);
    QCOMPARE(form.PanelText(1), u"文件总大小:%1字节"_s.arg(total));
    ftp.ReceivingListing = false;

    ftp.OnFtpReady(&ftp);
    for (int panel = 0; panel < TForm1::StatusPanelCount; ++panel)
        QCOMPARE(form.PanelText(panel), QString());
}

void TestForm1::unexpectedEventsAreHarmless()
{
    SettingsFolder settings;
    ScopedScriptedDialogs dialogs;
    FormUnderTest t;
    TForm1 &form = *t.form;
    TMFtp &ftp = *form.ftp1;
    form.show();

    ftp.OnFtpInfo(&ftp, FtpInfo(99), u"?"_s);
    ftp.OnFtpInfo(&ftp, FtpInfo(-1), u"?"_s);
    ftp.OnFtpError(&ftp, FtpError(1234), u"?"_s);
    ftp.OnFtpInfo(&ftp, ftpiFileSize, u"not a size"_s);
    ftp.OnFtpInfo(&ftp, ftpiProgress, QString());  // no size known: no share shown
    QVERIFY(!form.PanelText(2).contains(u'%'));
    QVERIFY(form.TransferProgress->isHidden());
    ftp.OnFtpInfo(&ftp, ftpiReply, u"<b>550</b> \x01\x1b[31m"_s);
    QCOMPARE(LogLines(form).last().text, u"<b>550</b> \x01\x1b[31m"_s);
    ftp.OnFtpInfo(&ftp, ftpiConnected, u"<img src=x>"_s);
    QCOMPARE(form.StatusPanels[0]->textFormat(), Qt::PlainText);
    ftp.OnFtpQuit(&ftp);
    ftp.OnFtpQuit(&ftp);
    ftp.OnFtpReady(&ftp);
    QString answer = u"left over"_s;
    ftp.OnFtpNeedInfo(&ftp, TMFtpInfoNeeded(42), answer);
    QCOMPARE(answer, QString());
    QCOMPARE(dialogs->Calls().size(), 0);

    ftp.OnFtpInfo(&ftp, ftpiAccessDenied, QString());
    QCOMPARE(dialogs->Calls().size(), 1);
    QCOMPARE(dialogs->Calls()[0].text, u" 主机应答:没有相应的操作权限 "_s);
}

void TestForm1::nameColumnsTakeTheRoom()
{
    SettingsFolder settings;
    FormUnderTest t;
    TForm1 &form = *t.form;
    form.resize(1600, 900);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    for (QTreeView *view : {form.FileList1->ReportView(), form.ftpview->ReportView()}) {
        QHeaderView *header = view->header();
        int others = 0;
        for (int column = 1; column < header->count(); ++column)
            others += header->isSectionHidden(column) ? 0 : header->sectionSize(column);
        // The name column fills what the other columns leave of the list's width.
        QVERIFY2(header->sectionSize(0) + others >= view->viewport()->width() - 2,
                 qPrintable(QString::number(header->sectionSize(0))));
        QVERIFY(header->sectionSize(0) > 300);
    }
}

QTEST_MAIN(TestForm1)
void TestForm1::layoutKeptAcrossRuns_data()
{
    QTest::addColumn<QByteArray>("damage");  // written over layout.ini between the runs; empty: none
    QTest::newRow("kept") << QByteArray();
    QTest::newRow("damaged file") << QByteArray("\xff\x00[General]\nversion=1\ngeometry=@ByteArray(garbage)\n"
                                                 "paneSplitter=@ByteArray(\x01\x02)\nlocalSort=99\n",
                                                 70);
}

void TestForm1::layoutKeptAcrossRuns()
{
    QFETCH(QByteArray, damage);
    SettingsFolder settings;
    QList<int> panes;
    int remoteSizeWidth = 0;
    QSize size;
    {
        FormUnderTest t;
        TForm1 &form = *t.form;
        form.show();
        form.resize(900, 640);
        form.PaneSplitter->setSizes({200, 600});
        form.ftpview->ReportView()->header()->resizeSection(2, 133);
        form.N83Click();  // hides the batch bar
        form.FileList1->SetSortColumn(fiSize);
        QCoreApplication::processEvents();
        panes = form.PaneSplitter->sizes();
        remoteSizeWidth = form.ftpview->ReportView()->header()->sectionSize(2);
        size = form.size();
        form.close();
    }
    if (!damage.isEmpty()) {
        QFile file(settings.File(u"layout.ini"_s));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(damage);
    }
    FormUnderTest t;
    TForm1 &form = *t.form;
    form.show();
    QCoreApplication::processEvents();
    const bool kept = damage.isEmpty();
    QCOMPARE(form.size() == size, kept);
    QCOMPARE(form.PaneSplitter->sizes() == panes, kept);
    QCOMPARE(form.ftpview->ReportView()->header()->sectionSize(2) == remoteSizeWidth, kept);
    QCOMPARE(form.Toolbar973->isVisible(), !kept);
    QCOMPARE(form.FileList1->SortColumn(), kept ? fiSize : fiName);
}

#include "tst_form1.moc"

void TestForm1::speaksTheInstalledLanguage_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("siteManager");
    QTest::addColumn<QString>("title");

    QTest::newRow("Chinese source") << u"zh"_s << u"站点管理"_s << u"Tarvo - FTP 客户端"_s;
    QTest::newRow("English") << u"en"_s << u"Site Manager"_s << u"Tarvo - FTP Client"_s;
}

// Every menu item, caption and tool tip of the window follows the installed
// translation; in English none of them may keep a Chinese character.
void TestForm1::speaksTheInstalledLanguage()
{
    QFETCH(QString, language);
    QFETCH(QString, siteManager);
    QFETCH(QString, title);
    QVERIFY(InstallTranslation(language));
    const auto restore = qScopeGuard([] { InstallTranslation(u"zh"_s); });
    SettingsFolder settings;
    FormUnderTest t;
    TForm1 &form = *t.form;
    form.show();

    QCOMPARE(form.siteManagerButton->text(), siteManager);
    QCOMPARE(form.siteManagerButton->toolTip(), siteManager);
    QCOMPARE(form.windowTitle(), title);
    if (language != u"en")
        return;
    const QRegularExpression chinese(u"[\\x{4e00}-\\x{9fff}]"_s);
    QStringList left;
    for (const QAction *action : form.findChildren<QAction *>()) {
        if ((action->text().contains(chinese) || action->toolTip().contains(chinese))
            && !form.Form4->isAncestorOf(qobject_cast<QWidget *>(action->parent())))
            left << action->text();
    }
    for (const QWidget *widget : form.findChildren<QWidget *>()) {
        // The configuration dialog is worded in a later change.
        if (widget->toolTip().contains(chinese) && !form.Form4->isAncestorOf(widget))
            left << widget->toolTip();
    }
    left.removeAll(QString());
    QVERIFY2(left.isEmpty(), qPrintable(left.join(u" | "_s)));
}
