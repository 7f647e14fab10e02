// The remote pane against a real FTP server: the listing in the list, sorting
// by column, the directory history, the path box, the remote commands, the
// keys of the list, the question before a delete, and the recursive delete
// and case conversion, each checked on the server's disk.

#include "form1_fixture.h"

#include "engine/ftp.h"
#include "mainwindow/main_settings.h"
#include "mainwindow/remote_list_model.h"
#include "mainwindow/remote_list_view.h"
#include "support/peer_server.h"
#include "widgets/combobox98.h"

#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QMenu>
#include <QDir>
#include <QLineEdit>
#include <QSpinBox>
#include <QToolButton>
#include <QtTest>

using namespace Qt::StringLiterals;
using testsupport::PeerServer;

namespace {

QStringList Captions(const TForm1 &form)
{
    QStringList names;
    for (int row = 0; row < form.ftpviewModel->count(); ++row)
        names << QString::fromUtf8(form.ftpviewModel->entry(row).name);
    return names;
}

// The window in front, so that keys reach the focused control.
bool Activate(TForm1 &form)
{
    form.activateWindow();
    return QTest::qWaitForWindowActive(&form);
}

// Enters a directory the way a listing follows it, and waits for the listing.
bool Enter(TForm1 &form, const QByteArray &directory)
{
    form.ftp1->ChangeDirectory(directory);
    return QTest::qWaitFor([&] {
        return Idle(form) && form.ftp1->CurrentDirectory() == directory
               && form.ftppath->currentText() == QString::fromUtf8(directory);
    }, 5000);
}

QStringList HistoryItems(const TForm1 &form)
{
    QStringList items;
    for (int i = 0; i < form.ftppath->count(); ++i)
        items << form.ftppath->itemText(i);
    return items;
}

// The red lines of the log.
QStringList RedLines(const TForm1 &form)
{
    QStringList lines;
    for (const LogLine &line : LogLines(form)) {
        if (line.color == QColor(255, 0, 0))
            lines << line.text;
    }
    return lines;
}

void ClickRow(QAbstractItemView *view, int row, bool twice)
{
    const QRect rect = view->visualRect(view->model()->index(row, 0));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, rect.center());
    if (twice)
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, rect.center());
}

enum Via { MenuItem, ToolButton, DeleteKey };
enum PathInput { TypeEnter, TypeLeave, TypeEscape, ChooseItem, TypeOnly };

} // namespace

class TestForm1Remote : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void listingSortingAndHistory();
    void commandsChangeTheServersDisk();
    void recursiveDelete();
    void caseConversion_data();
    void caseConversion();
    void deleteAsksFirst_data();
    void deleteAsksFirst();
    void pathBox_data();
    void pathBox();
    void upStaysAtTheTop_data();
    void upStaysAtTheTop();
    void everyDirectoryIsEntered_data();
    void everyDirectoryIsEntered();
    void refreshKey();
    void uploadNeedsASession();

private:

    std::unique_ptr<PeerServer> server_;
    std::unique_ptr<SettingsFolder> settings_;
    std::unique_ptr<ScopedScriptedDialogs> dialogs_;
    QString startDirectory_;
};

void TestForm1Remote::initTestCase()
{
    QString why;
    if (!PeerServer::Available(PeerServer::Kind::Pyftpdlib, &why))
        QSKIP(qPrintable(why));
    server_ = PeerServer::Start(PeerServer::Kind::Pyftpdlib, &why);
    QVERIFY2(server_, qPrintable(why));
}

void TestForm1Remote::init()
{
    startDirectory_ = QDir::currentPath();
    settings_ = std::make_unique<SettingsFolder>();
    dialogs_ = std::make_unique<ScopedScriptedDialogs>();
    QDir(server_->Root()).removeRecursively();
    QDir().mkpath(server_->Root());
    server_->HandOverTree();
}

void TestForm1Remote::cleanup()
{
    // Everything is put back before the check: a failure must not leave the
    // real dialogs or the machine's settings to the next test.
    const int unexpected = (*dialogs_)->UnexpectedCount();
    dialogs_.reset();
    settings_.reset();
    QDir::setCurrent(startDirectory_);
    MainSettings = TMainSettings();
    QCOMPARE(unexpected, 0);
}

void TestForm1Remote::listingSortingAndHistory()
{
    QVERIFY(server_->PutFile(u"b.txt"_s, "12345"));
    QVERIFY(server_->PutFile(u"A.txt"_s, "1"));
    QVERIFY(server_->PutFile(u"zdir/inner.txt"_s, "x"));
    QVERIFY(server_->PutFile(u"Adir/inner.txt"_s, "x"));
    FormUnderTest t;
    TForm1 &form = *t.form;
    QVERIFY(Login(form, *server_));

    // Directories first, files after; the listing is sorted by permissions,
    // equal permissions by name.
    QCOMPARE(Captions(form), (QStringList{u"Adir"_s, u"zdir"_s, u"A.txt"_s, u"b.txt"_s}));
    QCOMPARE(form.ftppath->count(), 1);
    QCOMPARE(form.ftppath->currentText(), u"/"_s);

    // A column clicked twice reverses files and directories; directories stay on top.
    form.ftpviewColumnClick(RemoteListModel::NameColumn);
    QCOMPARE(Captions(form), (QStringList{u"zdir"_s, u"Adir"_s, u"b.txt"_s, u"A.txt"_s}));
    form.ftpviewColumnClick(RemoteListModel::NameColumn);
    QCOMPARE(Captions(form), (QStringList{u"Adir"_s, u"zdir"_s, u"A.txt"_s, u"b.txt"_s}));

    // Double click enters a directory; every listing adds to the history.
    SelectRemoteNames(form, {u"zdir"_s});
    form.ftpviewDblClick();
    QTRY_COMPARE(form.ftp1->CurrentDirectory(), QByteArray("/zdir"));
    QTRY_VERIFY(Idle(form) && form.ftppath->count() == 2);
    QCOMPARE(Captions(form), QStringList{u"inner.txt"_s});
    QCOMPARE(form.ftppath->currentText(), u"/zdir"_s);

    // Typing into the history changes nothing; choosing an item does.
    form.ftppath->setEditText(u"/Adir"_s);
    QTest::qWait(100);
    QCOMPARE(form.ftp1->CurrentDirectory(), QByteArray("/zdir"));
    form.ftppathChange(0);
    QTRY_COMPARE(form.ftp1->CurrentDirectory(), QByteArray("/"));
    QTRY_VERIFY(Idle(form) && form.ftppath->count() == 3);
}

void TestForm1Remote::commandsChangeTheServersDisk()
{
    QVERIFY(server_->PutFile(u"old.txt"_s, "data"));
    QVERIFY(server_->PutFile(u"sub/keep.txt"_s, "k"));
    FormUnderTest t;
    TForm1 &form = *t.form;
    QVERIFY(Login(form, *server_));
    ScriptedDialogs &dialogs = **dialogs_;

    // 建立目录, blanks kept: only an upload's names become "_".
    dialogs.QueueText(true, u"new dir"_s);
    form.N32Click();
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(server_->PathOf(u"new dir"_s)).isDir(), 5000);
    QTRY_VERIFY(Idle(form) && form.ftpviewModel->rowOfName("new dir") >= 0);
    QVERIFY(!server_->Exists(u"new_dir"_s));
    QCOMPARE(dialogs.CallsOf(ScriptedDialogs::AskTextKind).last().caption, u"目录"_s);

    // 重命名: the in-place edit, accepted.
    SelectRemoteNames(form, {u"old.txt"_s});
    form.N23Click();
    QAbstractItemView *view = form.ftpview->ActiveView();
    QTRY_VERIFY(view->indexWidget(view->currentIndex()) || view->findChild<QLineEdit *>());
    auto *editor = view->findChild<QLineEdit *>();
    QVERIFY(editor);
    editor->setText(u"renamed.txt"_s);
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_VERIFY_WITH_TIMEOUT(server_->Exists(u"renamed.txt"_s), 5000);
    QVERIFY(!server_->Exists(u"old.txt"_s));
    QTRY_VERIFY(Idle(form) && form.ftpviewModel->rowOfName("renamed.txt") >= 0);

    // 移动文件 into a subdirectory.
    SelectRemoteNames(form, {u"renamed.txt"_s});
    dialogs.QueueText(true, u"/sub"_s);
    form.N35Click();
    QTRY_VERIFY_WITH_TIMEOUT(server_->Exists(u"sub/renamed.txt"_s), 5000);
    QCOMPARE(server_->ReadFile(u"sub/renamed.txt"_s), QByteArray("data"));
    QTRY_VERIFY(Idle(form) && form.ftpviewModel->rowOfName("renamed.txt") < 0);

    // 改变当前目录 by prompt, with the current directory as start text.
    dialogs.QueueText(true, u"/sub"_s);
    form.N36Click();
    QCOMPARE(dialogs.CallsOf(ScriptedDialogs::AskTextKind).last().initial, u"/"_s);
    QTRY_COMPARE(form.ftp1->CurrentDirectory(), QByteArray("/sub"));
    QTRY_VERIFY(Idle(form) && form.ftpviewModel->rowOfName("keep.txt") >= 0);

    // The parent-directory button.
    form.ToolbarButton972Click();
    QTRY_COMPARE(form.ftp1->CurrentDirectory(), QByteArray("/"));
    QTRY_VERIFY(Idle(form) && form.ftpviewModel->rowOfName("sub") >= 0);
}

void TestForm1Remote::recursiveDelete()
{
    QVERIFY(server_->PutFile(u"lone.txt"_s, "1"));
    QVERIFY(server_->PutFile(u"tree/a.txt"_s, "a"));
    QVERIFY(server_->PutFile(u"tree/mid/b.txt"_s, "b"));
    QVERIFY(server_->PutFile(u"tree/mid/deep/c.txt"_s, "c"));
    QVERIFY(server_->MakeDirectory(u"empty"_s));
    QVERIFY(server_->PutFile(u"stays.txt"_s, "s"));
    FormUnderTest t;
    TForm1 &form = *t.form;
    QVERIFY(Login(form, *server_));

    (*dialogs_)->QueueButton(platform::Dialogs::Yes);
    SelectRemoteNames(form, {u"lone.txt"_s, u"tree"_s});
    form.N22Click();
    QTRY_VERIFY_WITH_TIMEOUT(!server_->Exists(u"tree"_s), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(Idle(form) && form.ftp1->CurrentDirectory() == "/", 5000);
    QVERIFY(!server_->Exists(u"lone.txt"_s));
    QVERIFY(server_->Exists(u"stays.txt"_s));
    QCOMPARE(Commands(form, {u"DELE"_s, u"RMD"_s}),
             (QStringList{u"DELE /lone.txt"_s, u"DELE a.txt"_s, u"DELE b.txt"_s, u"DELE c.txt"_s,
                          u"RMD /tree/mid/deep"_s, u"RMD /tree/mid"_s, u"RMD /tree"_s}));
    // It ends by listing the directory where it began.
    QTRY_COMPARE(Captions(form), (QStringList{u"empty"_s, u"stays.txt"_s}));

    // An empty directory is removed right after its listing.
    (*dialogs_)->QueueButton(platform::Dialogs::Yes);
    SelectRemoteNames(form, {u"empty"_s});
    form.N22Click();
    QTRY_VERIFY_WITH_TIMEOUT(!server_->Exists(u"empty"_s), 5000);
    QTRY_VERIFY(Idle(form));
    QCOMPARE(Captions(form), QStringList{u"stays.txt"_s});
}

void TestForm1Remote::caseConversion_data()
{
    QTest::addColumn<bool>("upper");
    QTest::addColumn<bool>("contextMenu");  // 全部变成大写/小写, else the tool button's drop-down
    QTest::newRow("upper") << true << false;
    QTest::newRow("lower") << false << false;
    // The context menu's items do what they say, whichever way the button last went.
    QTest::newRow("全部变成大写") << true << true;
    QTest::newRow("全部变成小写") << false << true;
}

void TestForm1Remote::caseConversion()
{
    QFETCH(bool, upper);
    QFETCH(bool, contextMenu);
    QVERIFY(server_->PutFile(u"Top/Mid/Leaf.txt"_s, "l"));
    QVERIFY(server_->PutFile(u"Top/File.txt"_s, "f"));
    QVERIFY(server_->PutFile(u"Other.txt"_s, "o"));
    FormUnderTest t;
    TForm1 &form = *t.form;
    QVERIFY(Login(form, *server_));

    SelectRemoteNames(form, {u"Top"_s});
    if (contextMenu) {
        form.CaseDirection = upper ? TForm1::CaseToLower : TForm1::CaseToUpper;
        QAction *item = upper ? form.caseUpperItem : form.caseLowerItem;
        QCOMPARE(item->text(), upper ? u"全部变成大写"_s : u"全部变成小写"_s);
        item->trigger();
    } else {
        upper ? form.N89Click() : form.N90Click();
    }
    const auto convert = [upper](const QString &name) { return upper ? name.toUpper() : name.toLower(); };
    QTRY_VERIFY_WITH_TIMEOUT(server_->Exists(convert(u"Top/Mid/Leaf.txt"_s)), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(Idle(form), 5000);
    QVERIFY(server_->Exists(convert(u"Top/File.txt"_s)));
    QVERIFY(server_->Exists(u"Other.txt"_s));  // not selected, not touched
    // The directory is renamed before its contents.
    QCOMPARE(Commands(form, {u"RNFR"_s}), (QStringList{u"RNFR /Top"_s, u"RNFR File.txt"_s,
                                                       u"RNFR /"_s + convert(u"Top"_s) + u"/Mid"_s,
                                                       u"RNFR Leaf.txt"_s}));
    QCOMPARE(form.ftp1->CurrentDirectory(), (u"/"_s + convert(u"Top"_s) + u"/"_s + convert(u"Mid"_s)).toUtf8());
}

void TestForm1Remote::deleteAsksFirst_data()
{
    QTest::addColumn<QStringList>("selected");
    QTest::addColumn<int>("via");
    QTest::addColumn<bool>("ask");        // ftp.ini's confirmdelete
    QTest::addColumn<int>("answer");      // the button pressed; 0: no question
    QTest::addColumn<QString>("question");
    QTest::addColumn<QStringList>("gone");  // on the server, afterwards
    QTest::addColumn<QStringList>("kept");

    const int yes = platform::Dialogs::Yes, no = platform::Dialogs::No;
    const QStringList all{u"lone.txt"_s, u"tree/a.txt"_s, u"my docs/x.txt"_s, u"stays.txt"_s};
    QTest::newRow("one file, yes, menu") << QStringList{u"lone.txt"_s} << int(MenuItem) << true << yes
                                         << u"确实要删除 \"lone.txt\" 吗?"_s << QStringList{u"lone.txt"_s}
                                         << QStringList{u"tree/a.txt"_s, u"stays.txt"_s};
    QTest::newRow("one file, no, menu") << QStringList{u"lone.txt"_s} << int(MenuItem) << true << no
                                        << u"确实要删除 \"lone.txt\" 吗?"_s << QStringList() << all;
    QTest::newRow("three, yes, tool button")
        << QStringList{u"lone.txt"_s, u"tree"_s, u"my docs"_s} << int(ToolButton) << true << yes
        << u"确实要删除选中的 3 个项目吗?"_s << QStringList{u"lone.txt"_s, u"tree"_s, u"my docs"_s}
        << QStringList{u"stays.txt"_s};
    QTest::newRow("three, no, tool button")
        << QStringList{u"lone.txt"_s, u"tree"_s, u"my docs"_s} << int(ToolButton) << true << no
        << u"确实要删除选中的 3 个项目吗?"_s << QStringList() << all;
    QTest::newRow("directory with a blank, yes, Delete key")
        << QStringList{u"my docs"_s} << int(DeleteKey) << true << yes << u"确实要删除 \"my docs\" 吗?"_s
        << QStringList{u"my docs"_s} << QStringList{u"lone.txt"_s, u"tree/a.txt"_s};
    QTest::newRow("directory, no, Delete key") << QStringList{u"tree"_s} << int(DeleteKey) << true << no
                                               << u"确实要删除 \"tree\" 吗?"_s << QStringList() << all;
    QTest::newRow("question turned off") << QStringList{u"lone.txt"_s} << int(ToolButton) << false << 0 << QString()
                                         << QStringList{u"lone.txt"_s} << QStringList{u"stays.txt"_s};
}

void TestForm1Remote::deleteAsksFirst()
{
    QFETCH(QStringList, selected);
    QFETCH(int, via);
    QFETCH(bool, ask);
    QFETCH(int, answer);
    QFETCH(QString, question);
    QFETCH(QStringList, gone);
    QFETCH(QStringList, kept);

    for (const QString &file : {u"lone.txt"_s, u"tree/a.txt"_s, u"my docs/x.txt"_s, u"stays.txt"_s})
        QVERIFY(server_->PutFile(file, "x"));
    FormUnderTest t;
    TForm1 &form = *t.form;
    QVERIFY(Login(form, *server_));
    QVERIFY(Activate(form));
    MainSettings.confirmdelete = ask;
    ScriptedDialogs &dialogs = **dialogs_;
    if (answer)
        dialogs.QueueButton(answer);

    SelectRemoteNames(form, selected);
    switch (via) {
    case MenuItem:
        form.N22->trigger();
        break;
    case ToolButton:
        form.remoteDeleteButton->trigger();
        break;
    case DeleteKey:
        form.ftpview->ActiveView()->setFocus();
        QTest::keyClick(form.ftpview->ActiveView(), Qt::Key_Delete);
        break;
    }

    const QList<ScriptedDialogs::Call> boxes = dialogs.CallsOf(ScriptedDialogs::MessageBoxKind);
    QCOMPARE(boxes.size(), ask ? 1 : 0);
    if (ask) {
        QCOMPARE(boxes.first().text, question);
        QCOMPARE(boxes.first().caption, u"删除"_s);
        QCOMPARE(boxes.first().icon, platform::Dialogs::Question);
        QCOMPARE(boxes.first().buttons, platform::Dialogs::YesNo);
        QCOMPARE(boxes.first().defaultButton, int(platform::Dialogs::No));
    }
    for (const QString &path : gone)
        QTRY_VERIFY2_WITH_TIMEOUT(!server_->Exists(path), qPrintable(path), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(Idle(form), 5000);
    if (gone.isEmpty()) {
        QTest::qWait(200);
        QCOMPARE(Commands(form, {u"DELE"_s, u"RMD"_s, u"CWD"_s}), QStringList());
    }
    for (const QString &path : kept)
        QVERIFY2(server_->Exists(path), qPrintable(path));
    // The list shows what the server has.
    QTRY_COMPARE(Captions(form).size(),
                 QDir(server_->Root()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size());
}

void TestForm1Remote::pathBox_data()
{
    QTest::addColumn<QStringList>("start");  // directories entered first, in order
    QTest::addColumn<int>("input");
    QTest::addColumn<QString>("text");       // typed, or the history item chosen
    QTest::addColumn<QString>("directory");  // the server's, afterwards
    QTest::addColumn<QStringList>("sent");   // CWD arguments the input sent
    QTest::addColumn<QString>("refusal");    // the start of a red log line; empty: none
    QTest::addColumn<QString>("boxText");    // what the box shows afterwards

    QTest::newRow("Enter, a blank kept") << QStringList{u"/"_s} << int(TypeEnter) << u"/my docs"_s << u"/my docs"_s
                                         << QStringList{u"/my docs"_s} << QString() << u"/my docs"_s;
    QTest::newRow("Enter, relative") << QStringList{u"/my docs"_s} << int(TypeEnter) << u"../sub"_s << u"/sub"_s
                                     << QStringList{u"../sub"_s} << QString() << u"/sub"_s;
    QTest::newRow("Enter, missing") << QStringList{u"/sub"_s} << int(TypeEnter) << u"/nope"_s << u"/sub"_s
                                    << QStringList{u"/nope"_s} << u"不能进入 \"/nope\": 550 "_s << u"/sub"_s;
    QTest::newRow("left without Enter") << QStringList{u"/sub"_s} << int(TypeLeave) << u"/my docs"_s << u"/sub"_s
                                        << QStringList() << QString() << u"/sub"_s;
    QTest::newRow("Escape") << QStringList{u"/sub"_s} << int(TypeEscape) << u"/my docs"_s << u"/sub"_s
                            << QStringList() << QString() << u"/sub"_s;
    QTest::newRow("history item with a blank") << QStringList{u"/my docs"_s, u"/sub"_s} << int(ChooseItem)
                                               << u"/my docs"_s << u"/my docs"_s << QStringList{u"/my docs"_s}
                                               << QString() << u"/my docs"_s;
    QTest::newRow("completion only suggests") << QStringList{u"/my docs"_s, u"/"_s} << int(TypeOnly) << u"/my"_s
                                              << u"/"_s << QStringList() << QString() << u"/my docs"_s;
}

void TestForm1Remote::pathBox()
{
    QFETCH(QStringList, start);
    QFETCH(int, input);
    QFETCH(QString, text);
    QFETCH(QString, directory);
    QFETCH(QStringList, sent);
    QFETCH(QString, refusal);
    QFETCH(QString, boxText);

    QVERIFY(server_->PutFile(u"my docs/in docs.txt"_s, "d"));
    QVERIFY(server_->PutFile(u"sub/in sub.txt"_s, "s"));
    QVERIFY(server_->PutFile(u"at top.txt"_s, "t"));
    FormUnderTest t;
    TForm1 &form = *t.form;
    QVERIFY(Login(form, *server_));
    QVERIFY(Activate(form));
    for (const QString &path : start)
        QVERIFY2(Enter(form, path.toUtf8()), qPrintable(path));
    const int cwdBefore = CommandArguments(form, u"CWD"_s).size();
    if (!refusal.isEmpty())
        (*dialogs_)->QueueButton(platform::Dialogs::Ok);  // the engine's refusal box

    QComboBox *edit = form.ftppath;  // it holds the focus for its edit field
    edit->setFocus();
    QVERIFY(edit->hasFocus());
    edit->lineEdit()->clear();
    switch (input) {
    case TypeEnter:
        QTest::keyClicks(edit, text);
        QTest::keyClick(edit, Qt::Key_Return);
        break;
    case TypeLeave:
        QTest::keyClicks(edit, text);
        form.ftpview->ActiveView()->setFocus();
        QCOMPARE(form.ftppath->currentText(), directory);  // at once
        break;
    case TypeEscape:
        QTest::keyClicks(edit, text);
        QTest::keyClick(edit, Qt::Key_Escape);
        QCOMPARE(form.ftppath->currentText(), directory);
        break;
    case ChooseItem: {
        const int index = HistoryItems(form).indexOf(text);
        QVERIFY(index >= 0);
        form.ftppath->setCurrentIndex(index);  // as the user's pick does
        emit form.ftppath->activated(index);
        break;
    }
    case TypeOnly:
        QTest::keyClicks(edit, text);
        break;
    }

    QTRY_COMPARE(CommandArguments(form, u"CWD"_s).mid(cwdBefore), sent);
    QTest::qWait(100);
    QTRY_VERIFY_WITH_TIMEOUT(Idle(form), 5000);
    QCOMPARE(form.ftp1->CurrentDirectory(), directory.toUtf8());
    QTRY_COMPARE(form.ftppath->currentText(), boxText);
    // The history names the directory exactly as the server does.
    if (input != TypeOnly) {
        QCOMPARE(form.ftppath->itemData(form.ftppath->currentIndex()).toByteArray(), directory.toUtf8());
        QCOMPARE(form.ftppath->itemText(form.ftppath->currentIndex()), directory);
    }
    for (const QString &item : HistoryItems(form))
        QVERIFY2(!item.contains(u'_'), qPrintable(item));
    const QString listed = directory == u"/"_s     ? u"at top.txt"_s
                           : directory == u"/sub"_s ? u"in sub.txt"_s
                                                    : u"in docs.txt"_s;
    QVERIFY2(Captions(form).contains(listed), qPrintable(Captions(form).join(u", "_s)));
    const QStringList red = RedLines(form);
    if (refusal.isEmpty()) {
        QCOMPARE(red, QStringList());
    } else {
        QCOMPARE(red.size(), 1);
        QVERIFY2(red.first().startsWith(refusal), qPrintable(red.first()));
    }
}

void TestForm1Remote::upStaysAtTheTop_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<bool>("key");          // Backspace on the list, else the button
    QTest::addColumn<QString>("directory");
    QTest::addColumn<int>("cdup");          // CDUP commands sent

    QTest::newRow("button at /") << u"/"_s << false << u"/"_s << 0;
    QTest::newRow("Backspace at /") << u"/"_s << true << u"/"_s << 0;
    QTest::newRow("button below") << u"/my docs"_s << false << u"/"_s << 1;
    QTest::newRow("Backspace below") << u"/my docs/deeper"_s << true << u"/my docs"_s << 1;
}

void TestForm1Remote::upStaysAtTheTop()
{
    QFETCH(QString, start);
    QFETCH(bool, key);
    QFETCH(QString, directory);
    QFETCH(int, cdup);

    QVERIFY(server_->PutFile(u"my docs/deeper/x.txt"_s, "x"));
    FormUnderTest t;
    TForm1 &form = *t.form;
    QVERIFY(Login(form, *server_));
    QVERIFY(Activate(form));
    QVERIFY(Enter(form, start.toUtf8()));
    const QStringList history = HistoryItems(form);

    for (int i = 0; i < 2 - cdup; ++i) {  // twice at the top: nothing piles up
        if (key) {
            form.ftpview->ActiveView()->setFocus();
            QTest::keyClick(form.ftpview->ActiveView(), Qt::Key_Backspace);
        } else {
            QTest::mouseClick(form.ToolbarButton972, Qt::LeftButton);
        }
    }
    QTRY_COMPARE(Commands(form, {u"CDUP"_s}).size(), cdup);
    QTest::qWait(100);
    QTRY_VERIFY_WITH_TIMEOUT(Idle(form), 5000);
    QCOMPARE(form.ftp1->CurrentDirectory(), directory.toUtf8());
    QTRY_COMPARE(HistoryItems(form), cdup ? history + QStringList{directory} : history);
    QCOMPARE(form.ftppath->currentText(), directory);
}

void TestForm1Remote::everyDirectoryIsEntered_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("key");  // Enter on the list, else a double click

    QTest::newRow("hidden, double click") << u".hidden"_s << false;
    QTest::newRow("hidden, Enter") << u".hidden"_s << true;
    QTest::newRow("read-only, double click") << u"read only"_s << false;
    QTest::newRow("read-only, Enter") << u"read only"_s << true;
    QTest::newRow("plain, Enter") << u"plain"_s << true;
    QTest::newRow("file, Enter") << u"file.txt"_s << true;
}

void TestForm1Remote::everyDirectoryIsEntered()
{
    QFETCH(QString, name);
    QFETCH(bool, key);

    for (const QString &directory : {u".hidden"_s, u"read only"_s, u"plain"_s})
        QVERIFY(server_->PutFile(directory + u"/inside.txt"_s, "i"));
    QVERIFY(server_->PutFile(u"file.txt"_s, "f"));
    QVERIFY(QFile::setPermissions(server_->PathOf(u"read only"_s),
                                  QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup
                                      | QFile::ReadOther | QFile::ExeOther));
    FormUnderTest t;
    TForm1 &form = *t.form;
    QVERIFY(Login(form, *server_));
    QVERIFY(Activate(form));
    const int row = form.ftpviewModel->rowOfName(name.toUtf8());
    QVERIFY2(row >= 0, qPrintable(Captions(form).join(u", "_s)));
    QAbstractItemView *view = form.ftpview->ActiveView();
    SelectRemoteNames(form, {name});
    view->setCurrentIndex(view->model()->index(row, 0));
    if (key) {
        view->setFocus();
        QTest::keyClick(view, Qt::Key_Return);
    } else {
        ClickRow(view, row, true);
    }

    const bool directory = name != u"file.txt"_s;
    const QByteArray expected = directory ? u"/"_s.toUtf8() + name.toUtf8() : QByteArray("/");
    QTRY_COMPARE(CommandArguments(form, u"CWD"_s), directory ? QStringList{name} : QStringList());
    QTRY_VERIFY_WITH_TIMEOUT(Idle(form), 5000);
    QCOMPARE(form.ftp1->CurrentDirectory(), expected);
    if (directory)
        QTRY_COMPARE(Captions(form), QStringList{u"inside.txt"_s});
}

// F5 on the remote list lists the directory again.
void TestForm1Remote::refreshKey()
{
    QVERIFY(server_->PutFile(u"first.txt"_s, "1"));
    FormUnderTest t;
    TForm1 &form = *t.form;
    QVERIFY(Login(form, *server_));
    QVERIFY(Activate(form));
    QCOMPARE(Captions(form), QStringList{u"first.txt"_s});
    QVERIFY(server_->PutFile(u"later.txt"_s, "2"));
    form.ftpview->ActiveView()->setFocus();
    QTest::keyClick(form.ftpview->ActiveView(), Qt::Key_F5);
    QTRY_COMPARE(Captions(form), (QStringList{u"first.txt"_s, u"later.txt"_s}));
    // The menu item shows the key.
    QCOMPARE(form.N38->text(), u"刷新列表"_s);
    QCOMPARE(form.N38->shortcut(), QKeySequence(QKeySequence::Refresh));
    QCOMPARE(form.N22->shortcut(), QKeySequence(QKeySequence::Delete));
}

// 上传 in the local list's menu, like its tool button, only while logged in;
// after the session the remote path box names no folder.
void TestForm1Remote::uploadNeedsASession()
{
    FormUnderTest t;
    TForm1 &form = *t.form;
    form.N21->setEnabled(true);
    emit form.LocalMenu->aboutToShow();
    QVERIFY(!form.N21->isEnabled());
    QVERIFY(!form.uploadButton->isEnabled());
    QVERIFY(Login(form, *server_));
    emit form.LocalMenu->aboutToShow();
    QVERIFY(form.N21->isEnabled());
    QVERIFY(form.uploadButton->isEnabled());
    QCOMPARE(form.N21->text(), u"上传"_s);
    QCOMPARE(form.ftppath->currentText(), u"/"_s);

    (*dialogs_)->QueueButton(platform::Dialogs::Ok);  // 确定要退出目前的连接吗?
    form.logout->trigger();
    QTRY_VERIFY(!form.ftp1->LoggedIn());
    emit form.LocalMenu->aboutToShow();
    QVERIFY(!form.N21->isEnabled());
    QVERIFY(!form.uploadButton->isEnabled());
    QCOMPARE(form.ftppath->currentText(), QString());
    QCOMPARE(form.ftppath->count(), 1);  // the history stays
}

QTEST_MAIN(TestForm1Remote)
#include "tst_form1_remote.moc"
