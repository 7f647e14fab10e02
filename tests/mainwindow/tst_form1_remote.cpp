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

enum Via { MenuItem, ToolButton, DeleteKey };
enum PathInput { TypeEnter, TypeLeave, ChooseItem, TypeOnly };

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
    void listKeys_data();
    void listKeys();

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
    // 上传 in the local list's menu, as its tool button, works in a session.
    emit form.LocalMenu->aboutToShow();
    QVERIFY(form.N21->isEnabled() && form.uploadButton->isEnabled());

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
    QTest::addColumn<int>("answer");  // 0: ftp.ini's confirmdelete is 0, nothing asked
    QTest::addColumn<QString>("question");

    const int yes = platform::Dialogs::Yes, no = platform::Dialogs::No;
    QTest::newRow("one, yes, menu") << QStringList{u"lone.txt"_s} << int(MenuItem) << yes
                                    << u"确实要删除 \"lone.txt\" 吗?"_s;
    QTest::newRow("three, no, tool button") << QStringList{u"lone.txt"_s, u"tree"_s, u"my docs"_s} << int(ToolButton)
                                            << no << u"确实要删除选中的 3 个项目吗?"_s;
    QTest::newRow("blank name, yes, Delete key") << QStringList{u"my docs"_s} << int(DeleteKey) << yes
                                                 << u"确实要删除 \"my docs\" 吗?"_s;
    QTest::newRow("not asked") << QStringList{u"lone.txt"_s} << int(ToolButton) << 0 << QString();
}

void TestForm1Remote::deleteAsksFirst()
{
    QFETCH(QStringList, selected);
    QFETCH(int, via);
    QFETCH(int, answer);
    QFETCH(QString, question);

    for (const QString &file : {u"lone.txt"_s, u"tree/a.txt"_s, u"my docs/x.txt"_s, u"stays.txt"_s})
        QVERIFY(server_->PutFile(file, "x"));
    FormUnderTest t;
    TForm1 &form = *t.form;
    QVERIFY(Login(form, *server_));
    QVERIFY(Activate(form));
    MainSettings.confirmdelete = answer != 0;
    if (answer)
        (*dialogs_)->QueueButton(answer);
    SelectRemoteNames(form, selected);
    if (via == DeleteKey) {
        form.ftpview->ActiveView()->setFocus();
        QTest::keyClick(form.ftpview->ActiveView(), Qt::Key_Delete);
    } else {
        (via == MenuItem ? form.N22 : form.remoteDeleteButton)->trigger();
    }

    const QList<ScriptedDialogs::Call> boxes = (*dialogs_)->CallsOf(ScriptedDialogs::MessageBoxKind);
    QCOMPARE(boxes.size(), answer ? 1 : 0);
    if (answer) {
        QCOMPARE(boxes.first().text, question);
        QCOMPARE(boxes.first().buttons, platform::Dialogs::YesNo);
        QCOMPARE(boxes.first().defaultButton, int(platform::Dialogs::No));
    }
    const bool deleted = answer != platform::Dialogs::No;
    for (const QString &name : selected)
        QTRY_COMPARE_WITH_TIMEOUT(server_->Exists(name), !deleted, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(Idle(form), 5000);
    QVERIFY(server_->Exists(u"stays.txt"_s));
    if (!deleted)
        QCOMPARE(Commands(form, {u"DELE"_s, u"RMD"_s}), QStringList());
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
    QTest::newRow("Enter, missing") << QStringList{u"/sub"_s} << int(TypeEnter) << u"/nope"_s << u"/sub"_s
                                    << QStringList{u"/nope"_s} << u"不能进入 \"/nope\": 550 "_s << u"/sub"_s;
    QTest::newRow("left without Enter") << QStringList{u"/sub"_s} << int(TypeLeave) << u"/my docs"_s << u"/sub"_s
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
    FormUnderTest t;
    TForm1 &form = *t.form;
    QVERIFY(Login(form, *server_));
    QVERIFY(Activate(form));
    for (const QString &path : start)
        QVERIFY2(Enter(form, path.toUtf8()), qPrintable(path));
    // A refused path is told in the log only: no box is answered here.
    const int cwdBefore = CommandArguments(form, u"CWD"_s).size();

    QComboBox *box = form.ftppath;  // it holds the focus for its edit field
    box->setFocus();
    box->lineEdit()->clear();
    if (input == ChooseItem) {
        const int index = HistoryItems(form).indexOf(text);
        box->setCurrentIndex(index);  // as the user's pick does
        emit box->activated(index);
    } else {
        QTest::keyClicks(box, text);
    }
    if (input == TypeEnter)
        QTest::keyClick(box, Qt::Key_Return);
    if (input == TypeLeave)
        form.ftpview->ActiveView()->setFocus();

    QTRY_COMPARE(CommandArguments(form, u"CWD"_s).mid(cwdBefore), sent);
    QTest::qWait(100);
    QTRY_VERIFY_WITH_TIMEOUT(Idle(form), 5000);
    QCOMPARE(form.ftp1->CurrentDirectory(), directory.toUtf8());
    QTRY_COMPARE(box->currentText(), boxText);
    // The history names the directory exactly as the server does.
    QCOMPARE(box->itemData(box->currentIndex()).toByteArray(), (input == TypeOnly ? u"/"_s : directory).toUtf8());
    const QStringList red = RedLines(form);
    QCOMPARE(red.size(), refusal.isEmpty() ? 0 : 1);
    if (!refusal.isEmpty())
        QVERIFY2(red.first().startsWith(refusal), qPrintable(red.first()));
}

void TestForm1Remote::listKeys_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("name");       // the row acted on; empty: none
    QTest::addColumn<int>("key");            // on the list; 0: a double click, -1: the 上一层目录 button
    QTest::addColumn<QString>("directory");
    QTest::addColumn<int>("newItems");       // history items added

    QTest::newRow("double click, hidden") << u"/"_s << u".hidden"_s << 0 << u"/.hidden"_s << 1;
    QTest::newRow("Enter, read-only") << u"/"_s << u"read only"_s << int(Qt::Key_Return) << u"/read only"_s << 1;
    QTest::newRow("Enter, a file") << u"/"_s << u"file.txt"_s << int(Qt::Key_Return) << u"/"_s << 0;
    QTest::newRow("Backspace") << u"/read only"_s << QString() << int(Qt::Key_Backspace) << u"/"_s << 1;
    QTest::newRow("Backspace at /") << u"/"_s << QString() << int(Qt::Key_Backspace) << u"/"_s << 0;
    QTest::newRow("button at /") << u"/"_s << QString() << -1 << u"/"_s << 0;
    QTest::newRow("F5") << u"/"_s << QString() << int(Qt::Key_F5) << u"/"_s << 1;
}

void TestForm1Remote::listKeys()
{
    QFETCH(QString, start);
    QFETCH(QString, name);
    QFETCH(int, key);
    QFETCH(QString, directory);
    QFETCH(int, newItems);

    for (const QString &folder : {u".hidden"_s, u"read only"_s})
        QVERIFY(server_->PutFile(folder + u"/inside.txt"_s, "i"));
    QVERIFY(server_->PutFile(u"file.txt"_s, "f"));
    QVERIFY(QFile::setPermissions(server_->PathOf(u"read only"_s),
                                  QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup
                                      | QFile::ReadOther | QFile::ExeOther));
    FormUnderTest t;
    TForm1 &form = *t.form;
    QVERIFY(Login(form, *server_));
    QVERIFY(Activate(form));
    QVERIFY(Enter(form, start.toUtf8()));
    const int items = form.ftppath->count();
    QVERIFY(server_->PutFile(u"later.txt"_s, "l"));  // shown only when listed again
    QAbstractItemView *view = form.ftpview->ActiveView();
    view->setFocus();
    if (!name.isEmpty()) {
        SelectRemoteNames(form, {name});
        view->setCurrentIndex(view->model()->index(form.ftpviewModel->rowOfName(name.toUtf8()), 0));
    }
    const QPoint at = view->visualRect(view->currentIndex()).center();
    if (key == 0) {
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);  // a double click follows a click
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at);
    } else if (key < 0) {
        QTest::mouseClick(form.ToolbarButton972, Qt::LeftButton);
    } else {
        QTest::keyClick(view, Qt::Key(key));
    }

    QTest::qWait(100);
    QTRY_VERIFY_WITH_TIMEOUT(Idle(form) && form.ftppath->count() == items + newItems, 5000);
    QCOMPARE(form.ftp1->CurrentDirectory(), directory.toUtf8());
    QCOMPARE(form.ftppath->currentText(), directory);
    if (directory != u"/"_s)
        QCOMPARE(Captions(form), QStringList{u"inside.txt"_s});
    QCOMPARE(Captions(form).contains(u"later.txt"_s), newItems > 0 && directory == u"/"_s);
}

QTEST_MAIN(TestForm1Remote)
#include "tst_form1_remote.moc"
