// The local pane: the local file list FileList1, the path selector, the
// history of local directories and the local file commands. The process's
// current directory follows the pane's directory, except after 改变当前路径;
// the commands that act on what the pane shows therefore take their paths from
// the list, never from the process's current directory, so that a directory
// the user did not see is never created, renamed or deleted.

#include "mainwindow/tform1.h"

#include "engine/ftp.h"
#include "mainwindow/main_settings.h"
#include "mainwindow/pane_input.h"
#include "platform/dialogs.h"
#include "platform/shell.h"
#include "widgets/file_list.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QProcess>
#include <QShortcut>
#include <QSignalBlocker>
#include <QStorageInfo>
#include <QToolButton>

using namespace Qt::StringLiterals;

namespace {

// The selector's items carry their path; the browse item carries none.
constexpr int DrivePathRole = Qt::UserRole;

// A directory as the list reads it back: cleaned, ending with "/". Above the
// root is the root: "/.." names "/", as the system resolves it.
QString DirectoryText(const QString &path)
{
    if (path.isEmpty())
        return path;
    QString text = QDir::cleanPath(path);
    while (text.startsWith(u"/.."_s) && (text.size() == 3 || text.at(3) == u'/'))
        text.remove(0, 3);
    if (text.isEmpty())
        text = u"/"_s;
    if (!text.endsWith(u'/'))
        text += u'/';
    return text;
}

// Volumes a user browses: real file systems with a readable folder at their
// root. Kernel and memory file systems, and the single files some containers
// mount over /etc, are left out.
bool IsUserVolume(const QStorageInfo &volume)
{
    static const QList<QByteArray> pseudo = {
        "autofs", "binfmt_misc", "bpf", "cgroup", "cgroup2", "configfs", "debugfs", "devpts", "devtmpfs",
        "efivarfs", "fusectl", "hugetlbfs", "mqueue", "nsfs", "overlay", "proc", "pstore", "ramfs",
        "rpc_pipefs", "securityfs", "squashfs", "sysfs", "tmpfs", "tracefs",
    };
    if (!volume.isValid() || !volume.isReady() || pseudo.contains(volume.fileSystemType()))
        return false;
    const QString root = volume.rootPath();
    for (const QString &system : {u"/proc"_s, u"/sys"_s, u"/dev"_s}) {
        if (root == system || root.startsWith(system + u'/'))
            return false;
    }
    const QFileInfo info(root);
    return info.isDir() && info.isReadable();
}

} // namespace

void TForm1::WireLocalPane()
{
    StartEditor = [](const QString &program, const QStringList &arguments, const QString &workingDirectory) {
        return QProcess::startDetached(program, arguments, workingDirectory);
    };

    FillDriveItems();
    connect(drive, &QComboBox::activated, this, &TForm1::driveActivated);
    connect(ComboBox1, &QComboBox::activated, this, &TForm1::ComboBox1Change);
    connect(ToolbarButton971, &QToolButton::clicked, this, &TForm1::ToolbarButton971Click);
    FileList1->OnDblClick = [this](QObject *) { FileList1DblClick(); };
    // Files dropped from the desktop are accepted by the list but do nothing
    // here: FileList1->OnFileDrop stays empty.

    auto on = [this](QAction *action, void (TForm1::*handler)()) {
        connect(action, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
    };
    on(ToolbarButton974, &TForm1::ToolbarButton974Click);
    on(localMakeDirButton, &TForm1::N18Click);
    on(N18, &TForm1::N18Click);
    on(localRenameButton, &TForm1::N15Click);
    on(N15, &TForm1::N15Click);
    on(localDeleteButton, &TForm1::N14Click);
    on(N14, &TForm1::N14Click);
    on(N20, &TForm1::N20Click);
    on(N86, &TForm1::N86Click);
    on(N55, &TForm1::N55Click);
    on(N5, &TForm1::N5Click);
    on(N6, &TForm1::N6Click);
    on(N7, &TForm1::N7Click);
    on(N8, &TForm1::N8Click);
    on(N10, &TForm1::N10Click);
    on(N11, &TForm1::N11Click);
    on(N12, &TForm1::N12Click);
    connect(LocalMenu, &QMenu::aboutToShow, this, &TForm1::PopupMenu1Popup);
    connect(LocalViewMenu, &QMenu::aboutToShow, this, &TForm1::PopupMenu3Popup);

    auto *deleteKey = new QShortcut(QKeySequence::Delete, FileList1, nullptr, nullptr, Qt::WidgetWithChildrenShortcut);
    connect(deleteKey, &QShortcut::activated, this, &TForm1::N14Click);
    WatchListKeys(FileList1, [this](int key, Qt::KeyboardModifiers) { return LocalListKey(key); });
    auto *refreshKey =
        new QShortcut(QKeySequence::Refresh, LocalPane, nullptr, nullptr, Qt::WidgetWithChildrenShortcut);
    connect(refreshKey, &QShortcut::activated, this, &TForm1::RefreshLocalList);
    WatchPathBox(ComboBox1, [this](const QString &text) { ComboBox1Enter(text); }, [this] { return LocalDirectory(); });
}

// ---- the path selector ----

// Home, the root and the mounted volumes, then 浏览...; a path of the selector
// that is none of them (the start directory, a browsed folder) leads the list.
void TForm1::FillDriveItems()
{
    const QSignalBlocker blocker(drive);
    drive->clear();
    QStringList paths;
    auto add = [this, &paths](const QString &text, const QString &path) {
        if (paths.contains(path))
            return;
        paths << path;
        drive->addItem(text, path);
        drive->setItemData(drive->count() - 1, path, Qt::ToolTipRole);
    };
    add(tr("主目录"), DirectoryText(QDir::homePath()));
    add(u"/"_s, u"/"_s);
    for (const QStorageInfo &volume : QStorageInfo::mountedVolumes()) {
        if (IsUserVolume(volume))
            add(volume.rootPath(), DirectoryText(volume.rootPath()));
    }
    if (!drivePath_.isEmpty() && !paths.contains(drivePath_)) {
        drive->insertItem(0, drivePath_, drivePath_);
        drive->setItemData(0, drivePath_, Qt::ToolTipRole);
    }
    drive->addItem(tr("浏览..."));
    drive->setCurrentIndex(drivePath_.isEmpty() ? -1 : drive->findData(drivePath_, DrivePathRole));
    drive->setToolTip(drivePath_);
}

void TForm1::driveActivated(int index)
{
    QString path = drive->itemData(index, DrivePathRole).toString();
    if (path.isEmpty()) {
        // 浏览...: the selector keeps its path unless a folder is chosen.
        drive->setCurrentIndex(drive->findData(drivePath_, DrivePathRole));
        path = LocalDirectory();
        if (!platform::CurrentDialogs().ChooseDirectory(this, tr("浏览文件夹"), path) || path.isEmpty())
            return;
    }
    drivePath_ = DirectoryText(QDir(LocalDirectory()).absoluteFilePath(path));
    FillDriveItems();
    driveChange();
}

// Paths are compared as they are: on a case-sensitive file system a path
// that differs only in case is another directory.
void TForm1::SetDrivePath(const QString &path)
{
    const QString directory = DirectoryText(QDir(LocalDirectory()).absoluteFilePath(path));
    if (directory == drivePath_)
        return;
    drivePath_ = directory;
    FillDriveItems();
    driveChange();
}

void TForm1::driveChange()
{
    EnterLocalDirectory(drivePath_);
}

// ---- navigation ----

QString TForm1::LocalDirectory() const
{
    return localDirectory_;
}

void TForm1::SetLocalDirectory(const QString &directory)
{
    localDirectory_ = DirectoryText(directory);
    FileList1->SetDirectory(localDirectory_);
}

// A directory that cannot be entered leaves the process where it was; the
// list shows what it finds there, which may be nothing.
void TForm1::EnterLocalDirectory(const QString &directory)
{
    SetLocalDirectory(directory);
    QDir::setCurrent(LocalDirectory());
    ComboBox1->addItem(LocalDirectory());
    ComboBox1->setCurrentIndex(ComboBox1->count() - 1);
}

// Every directory is entered, hidden and read-only ones too, with its path as
// it is: lower-casing it would name another directory, or none, here.
void TForm1::FileList1DblClick()
{
    const int row = FileList1->Selected();
    if (row < 0 || !FileList1->IsDirectory(row))
        return;
    EnterLocalDirectory(FileList1->FullPath(row));
}

// The parent of the directory shown, which is also the process's after every
// navigation but 改变当前路径; at "/" the pane stays. The button is off while
// the list is read, since reading lets clicks through.
void TForm1::ToolbarButton971Click()
{
    const QString directory = QDir::cleanPath(LocalDirectory());
    if (directory.isEmpty() || directory == u"/"_s)
        return;
    ToolbarButton971->setEnabled(false);
    EnterLocalDirectory(QFileInfo(directory).path());
    ToolbarButton971->setEnabled(true);
}

void TForm1::RefreshLocalList()
{
    SetLocalDirectory(LocalDirectory());
}

bool TForm1::LocalListKey(int key)
{
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        FileList1DblClick();
        return true;
    case Qt::Key_Backspace:
        ToolbarButton971Click();
        return true;
    default:
        return false;
    }
}

bool TForm1::GoToLocalPath(const QString &path, bool addHistoryItem)
{
    const QString directory = DirectoryText(path);
    const QFileInfo info(QDir::cleanPath(directory));
    QString why;
    if (!info.exists())
        why = tr("目录不存在");
    else if (!info.isDir())
        why = tr("这不是目录");
    else if (!info.isExecutable() || !info.isReadable())
        why = tr("没有进入这个目录的权限");
    if (!why.isEmpty()) {
        ShowPathBoxFolder(ComboBox1, LocalDirectory());
        platform::CurrentDialogs().MessageBox(this, tr("不能进入 \"%1\": %2").arg(QDir::cleanPath(directory), why),
                                              tr("改变路径"), platform::Dialogs::Warning, platform::Dialogs::OkOnly);
        return false;
    }
    if (addHistoryItem) {
        EnterLocalDirectory(directory);
    } else {
        SetLocalDirectory(directory);
        QDir::setCurrent(LocalDirectory());
    }
    return true;
}

// A chosen item is entered when it is still there; it adds no history item.
void TForm1::ComboBox1Change(int index)
{
    if (index < 0 || index >= ComboBox1->count())
        return;
    GoToLocalPath(ComboBox1->itemText(index), false);
}

// "~" stands for the home directory; the history gains the directory entered.
void TForm1::ComboBox1Enter(const QString &text)
{
    if (text.isEmpty()) {
        ShowPathBoxFolder(ComboBox1, LocalDirectory());
        return;
    }
    QString path = text;
    if (path == u"~"_s || path.startsWith(u"~/"_s))
        path = QDir::homePath() + path.mid(1);
    GoToLocalPath(QDir(LocalDirectory()).absoluteFilePath(path), true);
}

// The list shows the typed path, relative ones taken from the directory shown;
// the process's current directory stays. An empty answer keeps the directory
// and still leaves an empty history item.
void TForm1::ToolbarButton974Click()
{
    QString value = LocalDirectory();
    if (!platform::CurrentDialogs().AskText(this, tr("改变路径"), tr("请输入你要改变的目的路径"), value))
        return;
    if (value.isEmpty()) {
        ComboBox1->addItem(QString());
        return;
    }
    SetLocalDirectory(QDir(LocalDirectory()).absoluteFilePath(value));
    ComboBox1->addItem(LocalDirectory());
    ComboBox1->setCurrentIndex(ComboBox1->count() - 1);
}

// ---- file commands ----

// A failure (empty name, name taken, no permission) is not reported: the list
// is read again and shows what there is.
void TForm1::N18Click()
{
    QString value;
    if (!platform::CurrentDialogs().AskText(this, tr("目录"), tr("请输入新建目录名:"), value))
        return;
    const QString directory = LocalDirectory();
    if (!value.isEmpty())
        QDir().mkdir(directory + value);
    SetLocalDirectory(directory);
}

// A new name with "/" would move the entry elsewhere, and an empty one names
// the directory itself: both are failures. A taken name fails too rather than
// replacing what is there.
void TForm1::N15Click()
{
    const int row = FileList1->Selected();
    if (row < 0)
        return;
    const QString name = FileList1->Caption(row);
    const QString directory = FileList1->Item(row).Directory;
    QString value = name;
    if (platform::CurrentDialogs().AskText(this, tr("修改文件名"), tr("请输入你要修改后的文件名"), value)
        && value != name) {
        const bool renamed = !value.isEmpty() && !value.contains(u'/') && value != u"."_s && value != u".."_s
                             && QDir().rename(directory + name, directory + value);
        if (!renamed)
            platform::CurrentDialogs().MessageBox(this, tr("操作错误"), QString(), platform::Dialogs::NoIcon,
                                                  platform::Dialogs::OkOnly);
    }
    SetLocalDirectory(LocalDirectory());
}

// After the question, files and directories, whatever their other attributes,
// go to the desktop's trash, where they can be restored. A file that cannot go
// there (no trash on its file system) is deleted for good; a directory stays.
void TForm1::N14Click()
{
    struct Doomed {
        QString path;
        bool directory;
    };
    QList<Doomed> doomed;
    QStringList names;
    for (int row : FileList1->SelectedRows()) {
        doomed.append({FileList1->FullPath(row), FileList1->IsDirectory(row)});
        names << FileList1->Caption(row);
    }
    if (doomed.isEmpty() || !AskBeforeDelete(this, names))
        return;
    for (const Doomed &entry : doomed) {
        if (!platform::MoveToTrash(entry.path) && !entry.directory)
            QFile::remove(entry.path);
    }
    SetLocalDirectory(LocalDirectory());
}

void TForm1::N20Click()
{
    const int row = FileList1->Selected();
    if (row < 0 || FileList1->Attributes(row) == u"D"_s)
        return;
    OpenDocument(FileList1->FullPath(row));
}

// The editor setting names a program, possibly with options of its own
// ("kate -n"); a path to an existing program is taken whole, spaces and all.
void TForm1::N86Click()
{
    const int row = FileList1->Selected();
    if (row < 0 || FileList1->IsDirectory(row))
        return;
    const QString path = FileList1->FullPath(row);
    const QString editor = MainSettings.editor.trimmed();
    QStringList arguments = QFileInfo(editor).isFile() ? QStringList{editor} : QProcess::splitCommand(editor);
    if (arguments.isEmpty()) {
        OpenDocument(path);
        return;
    }
    const QString program = arguments.takeFirst();
    arguments << path;
    if (!StartEditor(program, arguments, FileList1->Item(row).Directory))
        platform::CurrentDialogs().MessageBox(this, tr("不能启动编辑器 ") + editor, QString(),
                                              platform::Dialogs::Warning, platform::Dialogs::OkOnly);
}

void TForm1::N55Click()
{
    FileList1->SelectAll();
}

// ---- view styles and sorting ----

// The sort keys are offered only in the detailed view, the one with columns.
void TForm1::N5Click()
{
    FileList1->SetViewStyle(TFileListView::vsIcon);
    LocalSortMenu->menuAction()->setEnabled(false);
}

void TForm1::N6Click()
{
    FileList1->SetViewStyle(TFileListView::vsSmallIcon);
    LocalSortMenu->menuAction()->setEnabled(false);
}

void TForm1::N7Click()
{
    FileList1->SetViewStyle(TFileListView::vsList);
    LocalSortMenu->menuAction()->setEnabled(false);
}

void TForm1::N8Click()
{
    FileList1->SetViewStyle(TFileListView::vsReport);
    LocalSortMenu->menuAction()->setEnabled(true);
}

// Choosing the current key again reverses the order; folders stay on top.
void TForm1::N10Click()
{
    FileList1->SetSortColumn(fiName);
}

void TForm1::N11Click()
{
    FileList1->SetSortColumn(fiSize);
}

void TForm1::N12Click()
{
    FileList1->SetSortColumn(fiCreated);
}

// 上传 needs a session, as its tool button does.
void TForm1::PopupMenu1Popup()
{
    PopupMenu3Popup();
    const int row = FileList1->Selected();
    const bool selected = row >= 0;
    const bool plainDirectory = selected && FileList1->Attributes(row) == u"D"_s;
    N21->setEnabled(ftp1->LoggedIn());
    N14->setEnabled(selected);
    N15->setEnabled(selected);
    N20->setEnabled(selected && !plainDirectory);
    N86->setEnabled(selected && !FileList1->IsDirectory(row));
}

void TForm1::PopupMenu3Popup()
{
    QAction *styles[] = {N5, N6, N7, N8};
    styles[FileList1->ViewStyle()]->setChecked(true);
}
