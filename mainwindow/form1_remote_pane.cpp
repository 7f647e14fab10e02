// The remote pane: the list of the current remote directory, the history of
// remote directories, the remote file commands, and the steps of the delete
// and case-conversion walks, driven by the engine's completion events.

#include "mainwindow/tform1.h"

#include "dialogs/tform3.h"
#include "engine/ftp.h"
#include "mainwindow/main_settings.h"
#include "mainwindow/pane_input.h"
#include "mainwindow/remote_list_model.h"
#include "mainwindow/remote_list_view.h"
#include "platform/codepage.h"
#include "platform/dialogs.h"

#include <QAction>
#include <QComboBox>
#include <QFileIconProvider>
#include <QMenu>
#include <QShortcut>
#include <QToolButton>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

const QColor kRefusalColor(255, 0, 0);

} // namespace

void TForm1::WireRemotePane()
{
    ftpviewModel->setIconProvider([](bool isDirectory) {
        static const QFileIconProvider provider;
        return provider.icon(isDirectory ? QFileIconProvider::Folder : QFileIconProvider::File);
    });
    ftp1->OnListingDone = [this](QObject *) { ftp1ListingDone(); };
    ftp1->OnDirectoryChanged = [this](QObject *) { ftp1DirectoryChanged(); };
    ftp1->OnDirectoryCreated = [this](QObject *) { ftp1DirectoryCreated(); };
    ftp1->OnFileDeleted = [this](QObject *) { ftp1FileDeleted(); };
    ftp1->OnDirectoryDeleted = [this](QObject *) { ftp1DirectoryDeleted(); };
    ftp1->OnFileRenamed = [this](QObject *) { ftp1FileRenamed(); };
    ftp1->OnDirRenamed = [this](QObject *) { ftp1DirRenamed(); };

    ftpview->OnDblClick = [this](QObject *) { ftpviewDblClick(); };
    ftpview->OnColumnClick = [this](QObject *, int column) { ftpviewColumnClick(column); };
    ftpview->OnEdited = [this](QObject *, int row, const QString &text) { ftpviewEdited(row, text); };
    auto *deleteKey = new QShortcut(QKeySequence::Delete, ftpview, nullptr, nullptr, Qt::WidgetWithChildrenShortcut);
    connect(deleteKey, &QShortcut::activated, this, &TForm1::N22Click);
    WatchListKeys(ftpview, [this](int key, Qt::KeyboardModifiers) { return RemoteListKey(key); });
    auto *refreshKey =
        new QShortcut(QKeySequence::Refresh, RemotePane, nullptr, nullptr, Qt::WidgetWithChildrenShortcut);
    connect(refreshKey, &QShortcut::activated, this, &TForm1::refreshClick);
    connect(ftppath, &QComboBox::activated, this, &TForm1::ftppathChange);
    WatchPathBox(ftppath, [this](const QString &text) { ftppathEnter(text); },
                 [this] { return platform::DecodeAnsi(remoteFolder_); });
    connect(ToolbarButton972, &QToolButton::clicked, this, &TForm1::ToolbarButton972Click);

    auto on = [this](QAction *action, void (TForm1::*handler)()) {
        connect(action, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
    };
    on(refresh, &TForm1::refreshClick);
    on(remoteRefreshButton, &TForm1::refreshClick);
    on(N38, &TForm1::N38Click);
    on(N36, &TForm1::N36Click);
    on(remoteChangeDirButton, &TForm1::N36Click);
    on(N32, &TForm1::N32Click);
    on(remoteMakeDirButton, &TForm1::N32Click);
    on(N23, &TForm1::N23Click);
    on(remoteRenameButton, &TForm1::N23Click);
    on(N35, &TForm1::N35Click);
    on(N37, &TForm1::N37Click);
    on(remoteMoveButton, &TForm1::N35Click);
    on(N22, &TForm1::N22Click);
    on(remoteDeleteButton, &TForm1::N22Click);
    on(caseUpperItem, &TForm1::N89Click);
    on(caseLowerItem, &TForm1::N90Click);
    on(caseDropUpper, &TForm1::N89Click);
    on(caseDropLower, &TForm1::N90Click);
    connect(ToolbarButton9732, &QToolButton::clicked, this, &TForm1::ToolbarButton9732Click);
    on(N88, &TForm1::N88Click);
    on(N25, &TForm1::N25Click);
    on(N26, &TForm1::N26Click);
    on(N27, &TForm1::N27Click);
    on(N28, &TForm1::N28Click);
    connect(RemoteMenu, &QMenu::aboutToShow, this, &TForm1::PopupMenu2Popup);
    connect(RemoteViewMenu, &QMenu::aboutToShow, this, &TForm1::PopupMenu5Popup);
}

QByteArray TForm1::RemoteBytes(const QString &text) const
{
    return remoteNamesUtf8_ ? text.toUtf8() : platform::EncodeAnsi(text);
}

QList<int> TForm1::SelectedRemoteRows() const
{
    return ftpview->SelectedRows();
}

// The directory as the server names it, blanks and all: the item keeps its
// bytes, which a choice of it sends back unchanged.
void TForm1::AddRemotePathItem()
{
    const QByteArray directory = ftp1->CurrentDirectory();
    remoteFolder_ = directory;
    ftppath->addItem(platform::DecodeAnsi(directory), directory);
    ftppath->setCurrentIndex(ftppath->count() - 1);
}

void TForm1::ftp1ListingDone()
{
    if (SearchTookListing())
        return;
    ftpviewModel->Fill(*ftp1);
    remoteNamesUtf8_ = platform::IsValidUtf8(ftp1->CurrentDirectory());
    for (const QList<QByteArray> *names : {&ftp1->DirectoryNames, &ftp1->FileNames}) {
        for (const QByteArray &name : *names)
            remoteNamesUtf8_ = remoteNamesUtf8_ && platform::IsValidUtf8(name);
    }
    AddRemotePathItem();

    // The rows as items only for a walk that reads them: a listing of millions
    // would otherwise be copied once more after every directory change.
    switch (browsing_.OwnerOfListing()) {
    case BrowsingOwner::DownloadWalk:
        RunTransferStep(browsing_.Transfers.onDownloadListing(ftp1->CurrentDirectory(), ftpviewModel->allItems()));
        break;
    case BrowsingOwner::CaseWalk:
        RunRemoteStep(browsing_.Cases.onListing(ftp1->CurrentDirectory(), ftpviewModel->allItems()));
        break;
    case BrowsingOwner::DeleteWalk:
        RunRemoteStep(browsing_.Deletes.onListing(ftp1->CurrentDirectory(), ftpviewModel->allItems()));
        break;
    default:
        SetIdle();
        break;
    }
    if (ftpview->ViewStyle() == TFileListView::vsReport) {
        ftpviewModel->Sort(RemoteListModel::PermissionsColumn, sortDescending_);
        ftpview->ShowSortIndicator(RemoteListModel::PermissionsColumn, sortDescending_);
    }
    // The queue the broken connection stopped goes on.
    if (std::exchange(browsing_.Queue.resumeAfterLogin, false))
        StartQueue();
    // afterconnect 2: the batch queue runs after the first listing of a login.
    if (MainSettings.afterconnect == AfterConnectRunQueue && !afterConnectDone_) {
        afterConnectDone_ = true;
        N74Click();
    }
    // afterconnect 3: the site is mirrored into the local pane's directory.
    if (MainSettings.afterconnect == AfterConnectMirror && !afterConnectDone_) {
        afterConnectDone_ = true;
        StartMirror();
    }
}

void TForm1::RunRemoteStep(const RemoteStep &step)
{
    if (step.setBusy)
        SetBusy();
    if (step.setIdle)
        SetIdle();
    switch (step.kind) {
    case RemoteStep::DeleteFile:
        ftp1->DeleteFile(step.path);
        break;
    case RemoteStep::ChangeDirectory:
        ftp1->ChangeDirectory(step.path);
        break;
    case RemoteStep::RemoveDirectory:
        ftp1->RemoveDirectory(step.path);
        break;
    case RemoteStep::RenameFile:
        ftp1->RenameFile(step.path, step.newPath);
        break;
    case RemoteStep::RenameDirectory:
        ftp1->RenameDirectory(step.path, step.newPath);
        break;
    case RemoteStep::List:
        ftp1->List();
        break;
    case RemoteStep::None:
        break;
    }
}

void TForm1::CancelRemoteWalks()
{
    CancelServerSearch();
    browsing_.ForgetRemoteWalks();
    remotePathAsked_.clear();
}

void TForm1::ftp1DirectoryChanged()
{
    if (SearchTookDirectoryChange())
        return;
    if (!remotePathAsked_.isEmpty()) {
        const QByteArray asked = std::exchange(remotePathAsked_, QByteArray());
        if (!ftp1->Success()) {
            AppendLog(tr("不能进入 \"%1\": %2").arg(platform::DecodeAnsi(asked),
                                                   lastRefusal_.isEmpty() ? tr("主机拒绝") : lastRefusal_),
                      kRefusalColor, false);
            ShowPathBoxFolder(ftppath, platform::DecodeAnsi(remoteFolder_));
        }
    }
    switch (browsing_.OwnerOfDirectoryChange()) {
    case BrowsingOwner::UploadWalk:
        RunTransferStep(browsing_.Transfers.onUploadDirectoryChanged(ftp1->CurrentDirectory(), ftp1->Success()));
        return;
    case BrowsingOwner::DownloadWalk:
        browsing_.Transfers.onDownloadDirectoryChanged(ftp1->Success());
        break;
    case BrowsingOwner::AddressDownload:
        browsing_.EndAddressDownload();  // the address named a folder: it is shown
        break;
    default:
        break;
    }
    ftp1->List();
}

void TForm1::ftp1DirectoryCreated()
{
    if (browsing_.OwnerOfDirectoryCreated() == BrowsingOwner::UploadWalk) {
        RunTransferStep(browsing_.Transfers.onUploadDirectoryCreated());
        return;
    }
    ftp1->List();
}

void TForm1::ftp1FileDeleted()
{
    if (browsing_.OwnerOfRemoval() == BrowsingOwner::DeleteWalk)
        RunRemoteStep(browsing_.Deletes.onFileDeleted());
}

void TForm1::ftp1DirectoryDeleted()
{
    if (browsing_.OwnerOfRemoval() == BrowsingOwner::DeleteWalk)
        RunRemoteStep(browsing_.Deletes.onDirectoryDeleted());
}

// A rename or move of its own ends like a walk with nothing pending: idle, and
// the directory listed again.
void TForm1::ftp1FileRenamed()
{
    if (browsing_.OwnerOfRename() == BrowsingOwner::CaseWalk) {
        RunRemoteStep(browsing_.Cases.onFileRenamed());
        return;
    }
    SetIdle();
    ftp1->List();
}

void TForm1::ftp1DirRenamed()
{
    if (browsing_.OwnerOfRename() == BrowsingOwner::CaseWalk) {
        RunRemoteStep(browsing_.Cases.onDirRenamed());
        return;
    }
    SetIdle();
    ftp1->List();
}

// Every listed directory is entered, whatever its permissions say; the
// server decides.
void TForm1::ftpviewDblClick()
{
    if (uiBusy_)
        return;
    const int row = ftpview->Selected();
    if (row < 0 || !ftpviewModel->isDirectory(row))
        return;
    ftp1->ChangeDirectory(ftpviewModel->name(row));
}

// The listing that follows adds the parent to the history. At "/" there is
// nothing above: no command, and no history item.
void TForm1::ToolbarButton972Click()
{
    if (uiBusy_ || ftp1->Busy() || !ftp1->Connected)
        return;
    if (ftp1->CurrentDirectory() == "/")
        return;
    ftp1->ChangeDirectoryUp();
}

bool TForm1::RemoteListKey(int key)
{
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        ftpviewDblClick();
        return true;
    case Qt::Key_Backspace:
        ToolbarButton972Click();
        return true;
    default:
        return false;
    }
}

void TForm1::GoToRemotePath(const QByteArray &path)
{
    remotePathAsked_ = path;
    lastRefusal_.clear();  // the reason logged is this command's
    ftp1->ChangeDirectory(path);
    // Refused before anything was sent: no directory change will report.
    if (!ftp1->Busy()) {
        remotePathAsked_.clear();
        ShowPathBoxFolder(ftppath, platform::DecodeAnsi(remoteFolder_));
    }
}

// An item chosen from the list changes the directory, to the bytes it keeps.
void TForm1::ftppathChange(int index)
{
    if (index < 0)
        return;
    QByteArray path = ftppath->itemData(index).toByteArray();
    if (path.isEmpty())
        path = RemoteBytes(ftppath->itemText(index));
    if (!ftp1->Connected || uiBusy_ || ftp1->Busy()) {
        ShowPathBoxFolder(ftppath, platform::DecodeAnsi(remoteFolder_));
        return;
    }
    GoToRemotePath(path);
}

// A typed path goes as it is typed, relative ones from the current directory.
void TForm1::ftppathEnter(const QString &text)
{
    const QString shown = platform::DecodeAnsi(remoteFolder_);
    if (text.isEmpty()) {
        ShowPathBoxFolder(ftppath, shown);
        return;
    }
    QString why;
    if (!ftp1->LoggedIn())
        why = tr("没有连接到主机");
    else if (uiBusy_ || ftp1->Busy())
        why = tr("正在执行其他操作, 请稍后再试");
    if (!why.isEmpty()) {
        AppendLog(tr("不能进入 \"%1\": %2").arg(text, why), kRefusalColor, false);
        ShowPathBoxFolder(ftppath, shown);
        return;
    }
    GoToRemotePath(RemoteBytes(text));
}

void TForm1::refreshClick()
{
    if (ftp1->Connected && !ftp1->Busy())
        ftp1->List();
}

void TForm1::N38Click()
{
    refreshClick();
}

void TForm1::N36Click()
{
    if (!ftp1->Connected || ftp1->Busy())
        return;
    QString directory = platform::DecodeAnsi(ftp1->CurrentDirectory());
    if (platform::CurrentDialogs().AskText(this, tr("改变当前目录"), tr("请输入你的目的目录"),
                                           directory))
        ftp1->ChangeDirectory(RemoteBytes(directory));
}

void TForm1::N32Click()
{
    if (!ftp1->Connected || ftp1->Busy())
        return;
    QString name;
    if (platform::CurrentDialogs().AskText(this, tr("目录"), tr("请输入新建目录名:"), name))
        ftp1->MakeDirectory(RemoteBytes(name));
    // After a creation the engine refuses this as busy and the creation's own
    // completion lists the directory; after Cancel it lists it at once.
    ftp1->ChangeDirectory(ftp1->CurrentDirectory());
}

void TForm1::N23Click()
{
    const int row = ftpview->Selected();
    if (row < 0 || ftp1->Busy())
        return;
    // Nothing left over from a walk may ride on this rename's completion.
    browsing_.Transfers = TransferWalk();
    CancelRemoteWalks();
    ftpview->EditName(row);
}

void TForm1::ftpviewEdited(int row, const QString &text)
{
    if (row < 0 || row >= ftpviewModel->count() || text.isEmpty())
        return;
    const QByteArray oldName = ftpviewModel->name(row);
    const QByteArray newName = RemoteBytes(text);
    if (newName == oldName)
        return;
    ftp1->RenameFile(oldName, newName);
}

void TForm1::N35Click()
{
    const int row = ftpview->Selected();
    if (row < 0 || ftp1->Busy())
        return;
    browsing_.Transfers = TransferWalk();
    CancelRemoteWalks();
    QString target = platform::DecodeAnsi(ftp1->CurrentDirectory());
    if (!platform::CurrentDialogs().AskText(this, tr("移动文件"), tr("移动文件的目的路径"),
                                            target))
        return;
    if (!target.endsWith(u'/'))
        target += u'/';
    const QByteArray name = ftpviewModel->name(row);
    ftp1->RenameFile(name, RemoteBytes(target) + name);
}

// Asks first; what was selected when asked is deleted, unless the window
// got busy meanwhile.
void TForm1::N22Click()
{
    const QList<int> rows = SelectedRemoteRows();
    if (uiBusy_ || rows.isEmpty())
        return;
    const QList<RemoteItem> items = ftpviewModel->items(rows);
    const QByteArray directory = ftp1->CurrentDirectory();
    QStringList names;
    for (int row : rows)
        names << ftpviewModel->entry(row).displayName;
    if (!AskBeforeDelete(this, names) || uiBusy_ || ftp1->Busy() || !ftp1->Connected)
        return;
    browsing_.Cases.cancel();
    browsing_.Transfers = TransferWalk();
    RunRemoteStep(browsing_.Deletes.start(items, directory));
}

void TForm1::ToolbarButton9732Click()
{
    const QList<int> rows = SelectedRemoteRows();
    if (uiBusy_ || rows.isEmpty())
        return;
    browsing_.Deletes.cancel();
    browsing_.Transfers = TransferWalk();
    RunRemoteStep(browsing_.Cases.start(ftpviewModel->items(rows), ftp1->CurrentDirectory(), caseToUpper_));
}

void TForm1::N89Click()
{
    caseToUpper_ = true;
    ToolbarButton9732Click();
}

void TForm1::N90Click()
{
    caseToUpper_ = false;
    ToolbarButton9732Click();
}

void TForm1::N88Click()
{
    ftpview->SelectAll();
}

void TForm1::N25Click() { ftpview->SetViewStyle(TFileListView::vsIcon); }
void TForm1::N26Click() { ftpview->SetViewStyle(TFileListView::vsSmallIcon); }
void TForm1::N27Click() { ftpview->SetViewStyle(TFileListView::vsList); }
void TForm1::N28Click() { ftpview->SetViewStyle(TFileListView::vsReport); }

void TForm1::ftpviewColumnClick(int column)
{
    sortDescending_ = !sortDescending_;
    if (ftpview->ViewStyle() == TFileListView::vsReport) {
        ftpviewModel->Sort(column, sortDescending_);
        ftpview->ShowSortIndicator(column, sortDescending_);
    }
}

void TForm1::N37Click()
{
    // The dialog acts on the selected row: without one there is nothing to change.
    if (Form3 && !SelectedRemoteRows().isEmpty()) {
        Form3->show();
        Form3->raise();
        Form3->activateWindow();
    }
}

void TForm1::PopupMenu2Popup()
{
    PopupMenu5Popup();
    const bool selected = ftpview->Selected() >= 0;
    if (!selected && ftp1->Connected) {
        for (QAction *item : {N22, N23, N35, N37})
            item->setEnabled(false);
        return;
    }
    for (QAction *item : {N22, N23, N35, N37, N38})
        item->setEnabled(true);
}

void TForm1::PopupMenu5Popup()
{
    QAction *styles[] = {N25, N26, N27, N28};
    styles[ftpview->ViewStyle()]->setChecked(true);
}
