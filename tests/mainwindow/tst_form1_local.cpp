// The local pane on temporary directories: navigation with the process's
// current directory following (buttons, keys, the path box and its history),
// the path selector, the file commands checked on disk (and in the desktop's
// trash, after the question), the desktop seams of 执行 and 编辑, the
// context-menu rules, view styles and sort keys.

#include "form1_fixture.h"

#include "mainwindow/main_settings.h"
#include "widgets/file_list.h"

#include <QTreeView>
#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QStorageInfo>
#include <QToolButton>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

// root/
//   .hidden/        "DH"
//   MixedCase/Inside.txt, MixedCase/sub/
//   ReadOnly/       "DR"
//   file.txt        3 bytes
//   sub/keep.txt
class Tree {
public:
    Tree()
        // The home trash takes only entries on the home's file system.
        : dir_((QStorageInfo(QDir::tempPath()) == QStorageInfo(QDir::homePath()) ? QDir::tempPath()
                                                                                   : QDir::homePath())
               + u"/tst_form1_local-XXXXXX"_s)
    {
        for (const QString &sub : {u".hidden"_s, u"MixedCase/sub"_s, u"ReadOnly"_s, u"sub"_s})
            QDir().mkpath(Path(sub));
        Write(u"MixedCase/Inside.txt"_s, "inside");
        Write(u"file.txt"_s, "abc");
        Write(u"sub/keep.txt"_s, "keep");
        QFile::setPermissions(Path(u"ReadOnly"_s), QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup
                                                       | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
    }
    QString Path(const QString &relative = QString()) const
    {
        return relative.isEmpty() ? dir_.path() : dir_.path() + u'/' + relative;
    }
    // A directory as the pane names it.
    QString Dir(const QString &relative = QString()) const { return Path(relative) + u'/'; }
    void Write(const QString &relative, const QByteArray &bytes) const
    {
        QFile file(Path(relative));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    bool Exists(const QString &relative) const { return QFileInfo::exists(Path(relative)); }

private:
    QTemporaryDir dir_;
};

QStringList Shown(const TFileList *list)
{
    QStringList names;
    for (int row = 0; row < list->Count(); ++row)
        names << list->Caption(row);
    return names;
}

QStringList OnDisk(const QString &directory)
{
    return QDir(directory).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                     QDir::Name);
}

void Select(TForm1 &form, const QStringList &names)
{
    form.FileList1->SelectionModel()->clear();
    for (const QString &name : names) {
        const int row = Shown(form.FileList1).indexOf(name);
        QVERIFY2(row >= 0, qPrintable(name));
        form.FileList1->SetSelected(row, true);
    }
}

QStringList ComboItems(const QComboBox *combo)
{
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    return items;
}

QString Rooted(QString text, const Tree &tree)
{
    return text.replace(u"{root}"_s, tree.Path());
}

enum Command {
    DoubleClick, Parent, HistoryChoice, ChangePath, DriveBrowse, DriveHome,
    EnterKey, BackspaceKey, F5Key, TypePath, TypeLeave,
    MakeDir, Rename, Delete, DeleteKey, Execute, Edit,
};

} // namespace

class TestForm1Local : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void navigation_data();
    void navigation();
    void driveItems();
    void fileCommands_data();
    void fileCommands();
    void executeAndEdit_data();
    void executeAndEdit();
    void popupRules_data();
    void popupRules();
    void viewStyles_data();
    void viewStyles();
    void sortKeys_data();
    void sortKeys();
    void vanishedDirectory();

private:
    QString startDirectory_;
    std::unique_ptr<QTemporaryDir> dataHome_;
};

void TestForm1Local::init()
{
    startDirectory_ = QDir::currentPath();
    // A trash of the test's own: $XDG_DATA_HOME/Trash.
    dataHome_ = std::make_unique<QTemporaryDir>();
    qputenv("XDG_DATA_HOME", dataHome_->path().toUtf8());
}

void TestForm1Local::cleanup()
{
    QDir::setCurrent(startDirectory_);
    qunsetenv("XDG_DATA_HOME");
    dataHome_.reset();
    MainSettings.editor.clear();
    MainSettings.confirmdelete = true;
}

void TestForm1Local::navigation_data()
{
    QTest::addColumn<QString>("start");    // relative to the tree; "/" is the root
    QTest::addColumn<int>("command");
    QTest::addColumn<QString>("argument"); // entry, answer, typed text or history item ({root} replaced)
    QTest::addColumn<bool>("confirmed");
    QTest::addColumn<QString>("directory");  // the pane's, afterwards
    QTest::addColumn<QString>("cwd");        // the process's, afterwards
    QTest::addColumn<QStringList>("newItems");  // ComboBox1's items added by the command
    QTest::addColumn<QString>("message");    // why a path was not entered; empty: no message

    const QString none;
    QTest::newRow("double click keeps case") << "" << int(DoubleClick) << "MixedCase" << true << "{root}/MixedCase/"
                                             << "{root}/MixedCase" << QStringList{u"{root}/MixedCase/"_s} << none;
    QTest::newRow("double click file") << "" << int(DoubleClick) << "file.txt" << true << "{root}/" << "{root}"
                                       << QStringList() << none;
    QTest::newRow("double click DH") << "" << int(DoubleClick) << ".hidden" << true << "{root}/.hidden/"
                                     << "{root}/.hidden" << QStringList{u"{root}/.hidden/"_s} << none;
    QTest::newRow("double click DR") << "" << int(DoubleClick) << "ReadOnly" << true << "{root}/ReadOnly/"
                                     << "{root}/ReadOnly" << QStringList{u"{root}/ReadOnly/"_s} << none;
    QTest::newRow("parent") << "MixedCase/sub" << int(Parent) << "" << true << "{root}/MixedCase/"
                            << "{root}/MixedCase" << QStringList{u"{root}/MixedCase/"_s} << none;
    QTest::newRow("parent at the root") << "/" << int(Parent) << "" << true << "/" << "/" << QStringList() << none;
    QTest::newRow("history item") << "MixedCase" << int(HistoryChoice) << "{root}/sub/" << true << "{root}/sub/"
                                  << "{root}/sub" << QStringList() << none;
    QTest::newRow("history item gone") << "sub" << int(HistoryChoice) << "{root}/gone/" << true << "{root}/sub/"
                                       << "{root}/sub" << QStringList() << u"不能进入 \"{root}/gone\": 目录不存在"_s;
    QTest::newRow("change path") << "" << int(ChangePath) << "{root}/MixedCase" << true << "{root}/MixedCase/"
                                 << "{root}" << QStringList{u"{root}/MixedCase/"_s} << none;
    QTest::newRow("change path relative") << "MixedCase" << int(ChangePath) << "../sub" << true << "{root}/sub/"
                                          << "{root}/MixedCase" << QStringList{u"{root}/sub/"_s} << none;
    QTest::newRow("change path empty") << "" << int(ChangePath) << "" << true << "{root}/" << "{root}"
                                       << QStringList{QString()} << none;
    QTest::newRow("change path cancelled") << "" << int(ChangePath) << "sub" << false << "{root}/" << "{root}"
                                           << QStringList() << none;
    QTest::newRow("browse") << "" << int(DriveBrowse) << "{root}/sub" << true << "{root}/sub/" << "{root}/sub"
                            << QStringList{u"{root}/sub/"_s} << none;
    QTest::newRow("browse cancelled") << "" << int(DriveBrowse) << "{root}/sub" << false << "{root}/" << "{root}"
                                      << QStringList() << none;
    QTest::newRow("home") << "" << int(DriveHome) << "" << true << QDir::homePath() + u'/' << QDir::homePath()
                          << QStringList{QDir::homePath() + u'/'} << none;
    QTest::newRow("Enter on a folder") << "" << int(EnterKey) << "MixedCase" << true << "{root}/MixedCase/"
                                       << "{root}/MixedCase" << QStringList{u"{root}/MixedCase/"_s} << none;
    QTest::newRow("Backspace at the root") << "/" << int(BackspaceKey) << "" << true << "/" << "/" << QStringList()
                                           << none;
    QTest::newRow("F5") << "" << int(F5Key) << "arrived.txt" << true << "{root}/" << "{root}" << QStringList()
                        << none;
    QTest::newRow("path box") << "" << int(TypePath) << "{root}/MixedCase/sub" << true << "{root}/MixedCase/sub/"
                              << "{root}/MixedCase/sub" << QStringList{u"{root}/MixedCase/sub/"_s} << none;
    QTest::newRow("path box above the root") << "" << int(TypePath) << "/../.." << true << "/" << "/"
                                             << QStringList{u"/"_s} << none;
    QTest::newRow("path box missing") << "" << int(TypePath) << "gone" << true << "{root}/" << "{root}"
                                      << QStringList() << u"不能进入 \"{root}/gone\": 目录不存在"_s;
    QTest::newRow("path box left") << "" << int(TypeLeave) << "{root}/sub" << true << "{root}/" << "{root}"
                                   << QStringList() << none;
}

void TestForm1Local::navigation()
{
    QFETCH(QString, start);
    QFETCH(int, command);
    QFETCH(QString, argument);
    QFETCH(bool, confirmed);
    QFETCH(QString, directory);
    QFETCH(QString, cwd);
    QFETCH(QStringList, newItems);
    QFETCH(QString, message);

    Tree tree;
    SettingsFolder settings;
    ScopedScriptedDialogs dialogs;
    FormUnderTest t;
    TForm1 &form = *t.form;
    form.show();
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    const QString startPath = start == u"/"_s ? start : tree.Path(start);
    form.SetDrivePath(startPath);
    QCOMPARE(QDir::currentPath(), startPath);
    argument = Rooted(argument, tree);
    message = Rooted(message, tree);
    const QStringList itemsBefore = ComboItems(form.ComboBox1);
    if (!message.isEmpty())
        dialogs->QueueButton(platform::Dialogs::Ok);
    QAbstractItemView *view = form.FileList1->ActiveView();
    QComboBox *box = form.ComboBox1;  // it holds the focus for its edit field

    switch (command) {
    case DoubleClick: {
        const int row = Shown(form.FileList1).indexOf(argument);
        QVERIFY(row >= 0);
        const QRect rect = view->visualRect(view->model()->index(row, 0));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, rect.center());
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, rect.center());
        break;
    }
    case Parent:
        QTest::mouseClick(form.ToolbarButton971, Qt::LeftButton);
        QVERIFY(form.ToolbarButton971->isEnabled());
        break;
    case HistoryChoice:
        form.ComboBox1->addItem(argument);
        form.ComboBox1->setCurrentIndex(form.ComboBox1->count() - 1);  // as the user's pick does
        emit form.ComboBox1->activated(form.ComboBox1->count() - 1);
        newItems.prepend(argument);  // the test's own item
        break;
    case ChangePath:
        dialogs->QueueText(confirmed, argument);
        form.ToolbarButton974->trigger();
        QCOMPARE(dialogs->Calls().first().caption, u"改变路径"_s);
        QCOMPARE(dialogs->Calls().first().text, u"请输入你要改变的目的路径"_s);
        QCOMPARE(dialogs->Calls().first().initial, tree.Dir(start));
        break;
    case DriveBrowse:
        dialogs->QueueDirectory(confirmed, argument);
        emit form.drive->activated(form.drive->count() - 1);
        QCOMPARE(dialogs->CallsOf(ScriptedDialogs::ChooseDirectoryKind).size(), 1);
        QCOMPARE(form.drive->currentData().toString(), confirmed ? argument + u'/' : tree.Dir(start));
        break;
    case DriveHome:
        emit form.drive->activated(form.drive->findData(QDir::homePath() + u'/'));
        break;
    case EnterKey:
        Select(form, {argument});
        view->setFocus();
        QTest::keyClick(view, Qt::Key_Return);
        break;
    case BackspaceKey:
        view->setFocus();
        QTest::keyClick(view, Qt::Key_Backspace);
        break;
    case F5Key:
        tree.Write(argument, "new");
        view->setFocus();
        QTest::keyClick(view, Qt::Key_F5);
        break;
    case TypePath:
    case TypeLeave:
        box->setFocus();
        box->lineEdit()->clear();
        QTest::keyClicks(box, argument);
        if (command == TypePath)
            QTest::keyClick(box, Qt::Key_Return);
        else
            view->setFocus();
        break;
    }

    QCOMPARE(form.LocalDirectory(), Rooted(directory, tree));
    QCOMPARE(QDir::currentPath(), Rooted(cwd, tree));
    QStringList expectedItems = itemsBefore;
    for (const QString &item : newItems)
        expectedItems << Rooted(item, tree);
    QCOMPARE(ComboItems(form.ComboBox1), expectedItems);
    if (!newItems.isEmpty() && !newItems.last().isEmpty() && message.isEmpty())
        QCOMPARE(form.ComboBox1->currentText(), expectedItems.last());
    // The path box shows the pane's directory, and no item names "..".
    QCOMPARE(form.ComboBox1->currentText(), form.LocalDirectory());
    for (const QString &item : ComboItems(form.ComboBox1))
        QVERIFY2(!item.contains(u".."_s), qPrintable(item));
    const QList<ScriptedDialogs::Call> boxes = dialogs->CallsOf(ScriptedDialogs::MessageBoxKind);
    QCOMPARE(boxes.size(), message.isEmpty() ? 0 : 1);
    if (!message.isEmpty()) {
        QCOMPARE(boxes.first().text, message);
        QCOMPARE(boxes.first().caption, u"改变路径"_s);
        QCOMPARE(boxes.first().icon, platform::Dialogs::Warning);
    }
    // The list shows the directory it names, or nothing when it is gone.
    QStringList shown = Shown(form.FileList1);
    shown.sort();
    QCOMPARE(shown, OnDisk(form.LocalDirectory()));
    // After the reload the pane still shows only name, size, type and modified.
    QStringList visibleColumns;
    const QAbstractItemModel *model = form.FileList1->Model();
    for (int column = 0; column < model->columnCount(); ++column)
        if (!form.FileList1->ReportView()->isColumnHidden(column))
            visibleColumns << model->headerData(column, Qt::Horizontal).toString();
    QCOMPARE(visibleColumns.size(), 4);
    QCOMPARE(visibleColumns.first(), model->headerData(form.FileList1->Model()->ColumnOf(fiName), Qt::Horizontal).toString());
    QCOMPARE(dialogs->UnexpectedCount(), 0);
}

// The selector offers home, the root and real volumes, plus browsing; the
// start directory shows although it is none of them, and giving it the same
// path again changes nothing, while a path differing only in case is another.
void TestForm1Local::driveItems()
{
    Tree tree;
    QDir().mkpath(tree.Path(u"mixedcase"_s));
    SettingsFolder settings;
    ScopedScriptedDialogs dialogs;
    FormUnderTest t;
    TForm1 &form = *t.form;
    form.SetDrivePath(tree.Path(u"MixedCase"_s));

    QComboBox *drive = form.drive;
    QCOMPARE(drive->currentData().toString(), tree.Dir(u"MixedCase"_s));
    QCOMPARE(drive->itemText(drive->count() - 1), u"浏览..."_s);
    QVERIFY(drive->findData(QDir::homePath() + u'/') >= 0);
    QVERIFY(drive->findData(u"/"_s) >= 0);
    for (int i = 0; i < drive->count() - 1; ++i) {
        const QString path = drive->itemData(i).toString();
        QVERIFY2(QFileInfo(path).isDir() && QFileInfo(path).isReadable(), qPrintable(path));
        for (const QString &system : {u"/proc/"_s, u"/sys/"_s, u"/dev/"_s})
            QVERIFY2(!path.startsWith(system), qPrintable(path));
    }

    const int items = form.ComboBox1->count();
    form.SetDrivePath(tree.Dir(u"MixedCase"_s));
    QCOMPARE(form.ComboBox1->count(), items);
    form.SetDrivePath(tree.Path(u"mixedcase"_s));
    QCOMPARE(form.LocalDirectory(), tree.Dir(u"mixedcase"_s));
    QCOMPARE(QDir::currentPath(), tree.Path(u"mixedcase"_s));
    QCOMPARE(form.ComboBox1->count(), items + 1);
}

void TestForm1Local::fileCommands_data()
{
    QTest::addColumn<QString>("changePathFirst");  // 改变当前路径 to this first: the process stays in root
    QTest::addColumn<int>("command");
    QTest::addColumn<QStringList>("selected");
    QTest::addColumn<bool>("confirmed");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QStringList>("present");   // relative to root, afterwards
    QTest::addColumn<QStringList>("absent");
    QTest::addColumn<QStringList>("trashed");   // names in $XDG_DATA_HOME/Trash/files
    QTest::addColumn<bool>("failureShown");
    QTest::addColumn<QString>("question");      // asked before a delete (confirmed: Yes); empty: not asked

    const QStringList none;
    QTest::newRow("make dir") << "" << int(MakeDir) << none << true << u"新目录"_s << QStringList{u"新目录"_s}
                              << none << none << false << QString();
    QTest::newRow("make dir cancelled") << "" << int(MakeDir) << none << false << u"x"_s << none
                                        << QStringList{u"x"_s} << none << false << QString();
    QTest::newRow("make dir taken") << "" << int(MakeDir) << none << true << u"sub"_s
                                    << QStringList{u"sub/keep.txt"_s} << none << none << false << QString();
    QTest::newRow("make dir where shown") << "MixedCase" << int(MakeDir) << none << true << u"made"_s
                                          << QStringList{u"MixedCase/made"_s} << QStringList{u"made"_s} << none
                                          << false << QString();
    QTest::newRow("rename file") << "" << int(Rename) << QStringList{u"file.txt"_s} << true << u"Renamed.TXT"_s
                                 << QStringList{u"Renamed.TXT"_s} << QStringList{u"file.txt"_s} << none << false
                                 << QString();
    QTest::newRow("rename dir") << "" << int(Rename) << QStringList{u"MixedCase"_s} << true << u"other"_s
                                << QStringList{u"other/Inside.txt"_s} << QStringList{u"MixedCase"_s} << none
                                << false << QString();
    QTest::newRow("rename onto taken") << "" << int(Rename) << QStringList{u"file.txt"_s} << true << u"sub"_s
                                       << QStringList{u"file.txt"_s, u"sub/keep.txt"_s} << none << none << true
                                       << QString();
    QTest::newRow("rename with slash") << "" << int(Rename) << QStringList{u"file.txt"_s} << true
                                       << u"sub/file.txt"_s << QStringList{u"file.txt"_s}
                                       << QStringList{u"sub/file.txt"_s} << none << true << QString();
    QTest::newRow("rename empty") << "" << int(Rename) << QStringList{u"file.txt"_s} << true << u""_s
                                  << QStringList{u"file.txt"_s} << none << none << true << QString();
    QTest::newRow("rename unchanged") << "" << int(Rename) << QStringList{u"file.txt"_s} << true << u"file.txt"_s
                                      << QStringList{u"file.txt"_s} << none << none << false << QString();
    QTest::newRow("rename cancelled") << "" << int(Rename) << QStringList{u"file.txt"_s} << false << u"y"_s
                                      << QStringList{u"file.txt"_s} << QStringList{u"y"_s} << none << false
                                      << QString();
    QTest::newRow("delete files and dirs")
        << "" << int(Delete) << QStringList{u"file.txt"_s, u"MixedCase"_s, u".hidden"_s} << true << ""
        << QStringList{u"sub/keep.txt"_s} << QStringList{u"file.txt"_s, u"MixedCase"_s, u".hidden"_s}
        << QStringList{u".hidden"_s, u"MixedCase"_s, u"file.txt"_s} << false << u"确实要删除选中的 3 个项目吗?"_s;
    QTest::newRow("delete answered No")
        << "" << int(Delete) << QStringList{u"file.txt"_s, u"sub"_s} << false << ""
        << QStringList{u"file.txt"_s, u"sub/keep.txt"_s} << none << none << false << u"确实要删除选中的 2 个项目吗?"_s;
    QTest::newRow("delete key") << "" << int(DeleteKey) << QStringList{u"file.txt"_s} << true << ""
                                << QStringList{u"sub"_s} << QStringList{u"file.txt"_s} << QStringList{u"file.txt"_s}
                                << false << u"确实要删除 \"file.txt\" 吗?"_s;
    QTest::newRow("delete where shown") << "MixedCase" << int(Delete) << QStringList{u"sub"_s} << true << ""
                                        << QStringList{u"sub/keep.txt"_s} << QStringList{u"MixedCase/sub"_s}
                                        << QStringList{u"sub"_s} << false << u"确实要删除 \"sub\" 吗?"_s;
    QTest::newRow("delete without the question")
        << "" << int(Delete) << QStringList{u"file.txt"_s} << true << "" << QStringList{u"sub/keep.txt"_s}
        << QStringList{u"file.txt"_s} << QStringList{u"file.txt"_s} << false << QString();
}

void TestForm1Local::fileCommands()
{
    QFETCH(QString, changePathFirst);
    QFETCH(int, command);
    QFETCH(QStringList, selected);
    QFETCH(bool, confirmed);
    QFETCH(QString, answer);
    QFETCH(QStringList, present);
    QFETCH(QStringList, absent);
    QFETCH(QStringList, trashed);
    QFETCH(bool, failureShown);
    QFETCH(QString, question);

    Tree tree;
    SettingsFolder settings;
    ScopedScriptedDialogs dialogs;
    FormUnderTest t;
    TForm1 &form = *t.form;
    form.show();
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    form.SetDrivePath(tree.Path());
    if (!changePathFirst.isEmpty()) {
        dialogs->QueueText(true, tree.Path(changePathFirst));
        form.ToolbarButton974Click();
        QCOMPARE(QDir::currentPath(), tree.Path());
        dialogs->ClearCalls();
    }
    Select(form, selected);
    const bool deleting = command == Delete || command == DeleteKey;
    MainSettings.confirmdelete = !question.isEmpty();
    if (deleting && !question.isEmpty())
        dialogs->QueueButton(confirmed ? platform::Dialogs::Yes : platform::Dialogs::No);

    switch (command) {
    case MakeDir:
        dialogs->QueueText(confirmed, answer);
        form.localMakeDirButton->trigger();
        QCOMPARE(dialogs->Calls().first().caption, u"目录"_s);
        QCOMPARE(dialogs->Calls().first().text, u"请输入新建目录名:"_s);
        QCOMPARE(dialogs->Calls().first().initial, QString());
        break;
    case Rename:
        dialogs->QueueText(confirmed, answer);
        if (failureShown)
            dialogs->QueueButton(platform::Dialogs::Ok);
        form.N15->trigger();
        QCOMPARE(dialogs->Calls().first().caption, u"修改文件名"_s);
        QCOMPARE(dialogs->Calls().first().text, u"请输入你要修改后的文件名"_s);
        QCOMPARE(dialogs->Calls().first().initial, selected.first());
        break;
    case Delete:
        form.localDeleteButton->trigger();
        break;
    case DeleteKey:
        form.FileList1->ActiveView()->setFocus();
        QTest::keyClick(form.FileList1->ActiveView(), Qt::Key_Delete);
        break;
    }

    for (const QString &path : present)
        QVERIFY2(tree.Exists(path), qPrintable(path));
    for (const QString &path : absent)
        QVERIFY2(!tree.Exists(path), qPrintable(path));
    const QString trash = dataHome_->path() + u"/Trash/files"_s;
    QCOMPARE(OnDisk(trash), trashed);
    if (trashed.contains(u"MixedCase"_s))
        QVERIFY(QFileInfo::exists(trash + u"/MixedCase/Inside.txt"_s));

    QList<ScriptedDialogs::Call> boxes, questions;
    for (const ScriptedDialogs::Call &call : dialogs->CallsOf(ScriptedDialogs::MessageBoxKind))
        (call.caption == u"删除"_s ? questions : boxes).append(call);
    QCOMPARE(questions.size(), question.isEmpty() ? 0 : 1);
    if (!question.isEmpty()) {
        QCOMPARE(questions.first().text, question);
        QCOMPARE(questions.first().icon, platform::Dialogs::Question);
        QCOMPARE(questions.first().buttons, platform::Dialogs::YesNo);
        QCOMPARE(questions.first().defaultButton, int(platform::Dialogs::No));
    }
    QCOMPARE(boxes.size(), failureShown ? 1 : 0);
    if (failureShown) {
        QCOMPARE(boxes.first().text, u"操作错误"_s);
        QCOMPARE(boxes.first().buttons, platform::Dialogs::OkOnly);
    }
    QCOMPARE(dialogs->UnexpectedCount(), 0);
    // The list was read again.
    QStringList shown = Shown(form.FileList1);
    shown.sort();
    QCOMPARE(shown, OnDisk(form.LocalDirectory()));
}

void TestForm1Local::executeAndEdit_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("editor");
    QTest::addColumn<bool>("editorStarts");
    QTest::addColumn<QStringList>("opened");       // relative to root
    QTest::addColumn<QStringList>("editorCall");   // program, arguments...; {root} replaced

    const QStringList none;
    QTest::newRow("execute file") << int(Execute) << "file.txt" << "" << true << QStringList{u"file.txt"_s}
                                  << none;
    QTest::newRow("execute D") << int(Execute) << "sub" << "" << true << none << none;
    QTest::newRow("execute DR") << int(Execute) << "ReadOnly" << "" << true << QStringList{u"ReadOnly"_s} << none;
    QTest::newRow("edit without editor") << int(Edit) << "file.txt" << "" << true << QStringList{u"file.txt"_s}
                                         << none;
    QTest::newRow("edit") << int(Edit) << "file.txt" << "myedit" << true << none
                          << QStringList{u"myedit"_s, u"{root}/file.txt"_s};
    QTest::newRow("edit with option") << int(Edit) << "file.txt" << " myedit -n " << true << none
                                      << QStringList{u"myedit"_s, u"-n"_s, u"{root}/file.txt"_s};
    QTest::newRow("editor missing") << int(Edit) << "file.txt" << "myedit" << false << none
                                    << QStringList{u"myedit"_s, u"{root}/file.txt"_s};
    QTest::newRow("edit DR dir") << int(Edit) << "ReadOnly" << "myedit" << true << none << none;
}

void TestForm1Local::executeAndEdit()
{
    QFETCH(int, command);
    QFETCH(QString, entry);
    QFETCH(QString, editor);
    QFETCH(bool, editorStarts);
    QFETCH(QStringList, opened);
    QFETCH(QStringList, editorCall);

    Tree tree;
    SettingsFolder settings;
    ScopedScriptedDialogs dialogs;
    FormUnderTest t;
    TForm1 &form = *t.form;
    QStringList call;
    QString workingDirectory;
    form.StartEditor = [&](const QString &program, const QStringList &arguments, const QString &directory) {
        call = QStringList{program} + arguments;
        workingDirectory = directory;
        return editorStarts;
    };
    form.SetDrivePath(tree.Path());
    MainSettings.editor = editor;
    Select(form, {entry});
    if (!editorStarts)
        dialogs->QueueButton(platform::Dialogs::Ok);
    (command == Execute ? form.N20 : form.N86)->trigger();

    QStringList expectedOpened;
    for (const QString &path : opened)
        expectedOpened << tree.Path(path);
    QCOMPARE(t.opened, expectedOpened);
    for (QString &part : editorCall)
        part = Rooted(part, tree);
    QCOMPARE(call, editorCall);
    if (!call.isEmpty())
        QCOMPARE(workingDirectory, tree.Dir());
    QCOMPARE(dialogs->CallsOf(ScriptedDialogs::MessageBoxKind).size(), editorStarts ? 0 : 1);
    QCOMPARE(dialogs->UnexpectedCount(), 0);
}

void TestForm1Local::popupRules_data()
{
    QTest::addColumn<QStringList>("selected");
    QTest::addColumn<bool>("deleteAndRename");
    QTest::addColumn<bool>("execute");
    QTest::addColumn<bool>("edit");

    QTest::newRow("nothing") << QStringList() << false << false << false;
    QTest::newRow("file") << QStringList{u"file.txt"_s} << true << true << true;
    QTest::newRow("D") << QStringList{u"sub"_s} << true << false << false;
    QTest::newRow("DR") << QStringList{u"ReadOnly"_s} << true << true << false;
    QTest::newRow("DH") << QStringList{u".hidden"_s} << true << true << false;
}

void TestForm1Local::popupRules()
{
    QFETCH(QStringList, selected);
    QFETCH(bool, deleteAndRename);
    QFETCH(bool, execute);
    QFETCH(bool, edit);

    Tree tree;
    SettingsFolder settings;
    FormUnderTest t;
    TForm1 &form = *t.form;
    form.SetDrivePath(tree.Path());
    Select(form, selected);
    // Start from the opposite of what is expected, so each item must be set.
    form.N14->setEnabled(!deleteAndRename);
    form.N15->setEnabled(!deleteAndRename);
    form.N20->setEnabled(!execute);
    form.N86->setEnabled(!edit);
    form.N21->setEnabled(true);
    emit form.LocalMenu->aboutToShow();
    QVERIFY(!form.N21->isEnabled() && !form.uploadButton->isEnabled());  // 上传: no session
    QCOMPARE(form.N14->shortcut(), QKeySequence(QKeySequence::Delete));
    QCOMPARE(form.N14->isEnabled(), deleteAndRename);
    QCOMPARE(form.N15->isEnabled(), deleteAndRename);
    QCOMPARE(form.N20->isEnabled(), execute);
    QCOMPARE(form.N86->isEnabled(), edit);
}

void TestForm1Local::viewStyles_data()
{
    QTest::addColumn<int>("item");  // N5..N8
    QTest::addColumn<int>("style");
    QTest::addColumn<bool>("sortMenu");

    QTest::newRow("large icons") << 0 << int(TFileListView::vsIcon) << false;
    QTest::newRow("small icons") << 1 << int(TFileListView::vsSmallIcon) << false;
    QTest::newRow("list") << 2 << int(TFileListView::vsList) << false;
    QTest::newRow("details") << 3 << int(TFileListView::vsReport) << true;
}

void TestForm1Local::viewStyles()
{
    QFETCH(int, item);
    QFETCH(int, style);
    QFETCH(bool, sortMenu);

    SettingsFolder settings;
    FormUnderTest t;
    TForm1 &form = *t.form;
    QAction *items[] = {form.N5, form.N6, form.N7, form.N8};
    // From another style, with the check marks out of step.
    (item == 3 ? form.N5 : form.N8)->trigger();
    items[(item + 2) % 4]->setChecked(true);

    items[item]->trigger();
    QCOMPARE(int(form.FileList1->ViewStyle()), style);
    QCOMPARE(form.LocalSortMenu->menuAction()->isEnabled(), sortMenu);
    items[(item + 1) % 4]->setChecked(true);
    emit form.LocalViewMenu->aboutToShow();  // the tool bar's drop-down
    for (int i = 0; i < 4; ++i)
        QCOMPARE(items[i]->isChecked(), i == item);
    items[(item + 3) % 4]->setChecked(true);
    emit form.LocalMenu->aboutToShow();      // the context menu
    for (int i = 0; i < 4; ++i)
        QCOMPARE(items[i]->isChecked(), i == item);
}

void TestForm1Local::sortKeys_data()
{
    QTest::addColumn<QList<int>>("keys");  // 0 文件名, 1 文件大小, 2 文件日期
    QTest::addColumn<int>("sortColumn");
    QTest::addColumn<QStringList>("order");

    // The list starts sorted by name, ascending: the name key first reverses it.
    QTest::newRow("size") << QList<int>{1} << int(fiSize)
                          << QStringList{u"a_dir"_s, u"b_dir"_s, u"small"_s, u"middle"_s, u"large"_s};
    QTest::newRow("size twice") << QList<int>{1, 1} << int(fiSize)
                                << QStringList{u"b_dir"_s, u"a_dir"_s, u"large"_s, u"middle"_s, u"small"_s};
    QTest::newRow("name") << QList<int>{0} << int(fiName)
                          << QStringList{u"b_dir"_s, u"a_dir"_s, u"small"_s, u"middle"_s, u"large"_s};
    QTest::newRow("name twice") << QList<int>{0, 0} << int(fiName)
                                << QStringList{u"a_dir"_s, u"b_dir"_s, u"large"_s, u"middle"_s, u"small"_s};
    QTest::newRow("date") << QList<int>{2} << int(fiCreated) << QStringList();
}

void TestForm1Local::sortKeys()
{
    QFETCH(QList<int>, keys);
    QFETCH(int, sortColumn);
    QFETCH(QStringList, order);

    QTemporaryDir dir;
    QDir().mkpath(dir.filePath(u"a_dir"_s));
    QDir().mkpath(dir.filePath(u"b_dir"_s));
    const QList<std::pair<QString, int>> files = {{u"large"_s, 3000}, {u"middle"_s, 200}, {u"small"_s, 10}};
    for (const auto &[name, size] : files) {
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(size, 'x'));
    }
    SettingsFolder settings;
    FormUnderTest t;
    TForm1 &form = *t.form;
    form.SetDrivePath(dir.path());
    QAction *items[] = {form.N10, form.N11, form.N12};
    for (int key : keys)
        items[key]->trigger();
    QCOMPARE(int(form.FileList1->SortColumn()), sortColumn);
    if (!order.isEmpty())
        QCOMPARE(Shown(form.FileList1), order);
}

// A directory that goes while shown reads as empty, without a message, and
// the pane can still leave it.
void TestForm1Local::vanishedDirectory()
{
    Tree tree;
    SettingsFolder settings;
    ScopedScriptedDialogs dialogs;
    FormUnderTest t;
    TForm1 &form = *t.form;
    form.SetDrivePath(tree.Path(u"MixedCase/sub"_s));
    QVERIFY(QDir(tree.Path(u"MixedCase"_s)).removeRecursively());

    dialogs->QueueText(true, QString());
    form.N18Click();  // reads the list again
    QCOMPARE(form.FileList1->Count(), 0);
    QCOMPARE(form.LocalDirectory(), tree.Dir(u"MixedCase/sub"_s));

    form.ToolbarButton971Click();  // its parent is gone too
    QCOMPARE(form.FileList1->Count(), 0);
    form.ToolbarButton971Click();
    QCOMPARE(form.LocalDirectory(), tree.Dir());
    QCOMPARE(QDir::currentPath(), tree.Path());
    QStringList shown = Shown(form.FileList1);
    shown.sort();
    QCOMPARE(shown, OnDisk(tree.Path()));
    QCOMPARE(dialogs->CallsOf(ScriptedDialogs::MessageBoxKind).size(), 0);
}

QTEST_MAIN(TestForm1Local)
#include "tst_form1_local.moc"
