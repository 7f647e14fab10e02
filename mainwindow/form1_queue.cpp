// The batch queue: drops from both lists, its commands, and the run of its
// entries one at a time from the top. Files go with the engine's twin
// transfers (Downloadii/Uploadii), whose completions continue the queue;
// directories go with the walks between the panes, whose end continues it
// while the queue owns the sequence.

#include "mainwindow/tform1.h"

#include "engine/ftp.h"
#include "mainwindow/main_settings.h"
#include "core/queue_keeper.h"
#include "core/queue_model.h"
#include "mainwindow/remote_list_model.h"
#include "mainwindow/remote_list_view.h"
#include "core/remote_tree_walks.h"
#include "core/transfer_walk.h"
#include "platform/codepage.h"
#include "platform/folders.h"
#include "widgets/file_list.h"

#include <QCoreApplication>
#include <QAction>
#include <QDir>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QItemSelectionModel>
#include <QMenu>
#include <QShortcut>
#include <QTimer>
#include <QTreeView>

using namespace Qt::StringLiterals;

namespace {

const QColor kSkipColor(255, 0, 0);
const QColor kErrorColor(255, 0, 0);
const QColor kRetryColor(128, 0, 128);
// Long enough for a server that dropped us to be ready again, short enough
// not to be noticed.
constexpr int kQueueReconnectDelayMs = 500;

// Drags and drops on the queue's viewport, handed to the window's handlers
// with the list the drag came from.
class QueueDropFilter : public QObject {
public:
    explicit QueueDropFilter(TForm1 *form) : QObject(form), form_(form) {}

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto *drag = static_cast<QDragMoveEvent *>(event);
            if (form_->spoolDragOver(form_->PaneListOfDrag(drag->source()))) {
                // A copy: the list the entries came from keeps them.
                drag->setDropAction(Qt::CopyAction);
                drag->accept();
            } else {
                drag->ignore();
            }
            return true;
        }
        case QEvent::Drop: {
            auto *drop = static_cast<QDropEvent *>(event);
            QObject *origin = form_->PaneListOfDrag(drop->source());
            if (!form_->spoolDragOver(origin)) {
                drop->ignore();
                return true;
            }
            drop->setDropAction(Qt::CopyAction);
            drop->accept();
            form_->spoolDragDrop(origin);
            return true;
        }
        default:
            return false;
        }
    }

private:
    TForm1 *form_;
};

} // namespace

void TForm1::WireQueue()
{
    ftp1->OnFileReceivedii = [this](QObject *) { ftp1FileReceivedii(); };
    ftp1->OnFileStoredii = [this](QObject *) { ftp1FileStoredii(); };

    spool->setAcceptDrops(true);
    spool->viewport()->setAcceptDrops(true);
    spool->viewport()->installEventFilter(new QueueDropFilter(this));
    auto *deleteKey = new QShortcut(QKeySequence::Delete, spool, nullptr, nullptr, Qt::WidgetWithChildrenShortcut);
    connect(deleteKey, &QShortcut::activated, this, &TForm1::N73Click);

    auto on = [this](QAction *action, void (TForm1::*handler)()) {
        connect(action, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
    };
    on(N74, &TForm1::N74Click);
    on(queueStartButton, &TForm1::N74Click);
    on(N75, &TForm1::N75Click);
    on(queueDeleteAllButton, &TForm1::N75Click);
    on(N73, &TForm1::N73Click);
    on(queueDeleteButton, &TForm1::N73Click);
    on(N76, &TForm1::N76Click);
    on(N77, &TForm1::N77Click);
    on(N78, &TForm1::N78Click);
    on(queueUpButton, &TForm1::N78Click);
    on(N79, &TForm1::N79Click);
    on(queueDownButton, &TForm1::N79Click);
    on(N80, &TForm1::N80Click);
    on(queueRetryButton, &TForm1::N80Click);
    connect(QueueMenu, &QMenu::aboutToShow, this, &TForm1::QueueMenuPopup);
    OpenQueueFile();
}

// The queue as the last run left it; a file that cannot serve is said in the
// log, and a damaged one keeps its bytes under the name the log gives.
void TForm1::OpenQueueFile()
{
    const QueueStore::OpenResult opened = browsing_.OpenQueueFile(platform::SettingsFilePath(QStringLiteral("queue.sqlite")));
    const QueueKeeper *keeper = browsing_.QueueFile();
    const QueueStore &store = keeper->Store();
    connect(keeper, &QueueKeeper::SaveFailed, this, [this](const QString &why) {
        const QString text = tr("无法保存批处理队列 (%1); 队列仍在窗口中, 能保存时再保存").arg(why);
        AppendLog(text, kErrorColor, false);
        SetPanelText(0, u"  "_s + text);
    });
    connect(keeper, &QueueKeeper::SaveRecovered, this,
            [this] { AppendLog(tr("批处理队列已重新保存"), kRetryColor, false); });
    switch (opened) {
    case QueueStore::OpenResult::Opened:
    case QueueStore::OpenResult::Created:
        break;
    case QueueStore::OpenResult::KeptAside:
        if (store.KeptAsideFromNewerVersion()) {
            AppendLog(tr("批处理队列文件 %1 由较新版本的程序写成, 本版本不能读取; 已改名为 %2 保留; 队列从空开始")
                          .arg(store.Path(), store.KeptAsidePath()),
                      kErrorColor, false);
            break;
        }
        AppendLog(QCoreApplication::translate("TForm1", "批处理队列文件 %1 已损坏 (%2), 已改名为 %3 保留; 队列从空开始").arg(
                      store.Path(), store.LastError(), store.KeptAsidePath()),
                  kErrorColor, false);
        break;
    case QueueStore::OpenResult::Unavailable: {
        const QString why = keeper->AllHeldElsewhere()
            ? tr("%1 个批处理队列文件都在被其它 Tarvo 窗口使用").arg(QueueKeeper::kQueueFiles)
            : store.LastError();
        AppendLog(QCoreApplication::translate("TForm1", "无法打开批处理队列文件 %1 (%2); 本次运行的队列不会保存").arg(store.Path(), why),
                  kErrorColor, false);
        break;
    }
    }
    if (!keeper->HeldElsewhere().isEmpty())
        AppendLog(tr("另一个 Tarvo 窗口正在使用 %1; 本窗口的批处理队列保存在 %2").arg(keeper->HeldElsewhere(), store.Path()),
                  kRetryColor, false);
    if (keeper->TakenIn() > 0)
        AppendLog(tr("已接收已关闭的 Tarvo 窗口留下的 %1 个批处理队列条目").arg(keeper->TakenIn()), kRetryColor, false);
}

QList<int> TForm1::SelectedQueueRows() const
{
    QList<int> rows;
    for (const QModelIndex &index : spool->selectionModel()->selectedRows())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    return rows;
}

QueueConditions TForm1::QueueState() const
{
    QueueConditions conditions;
    conditions.engineBusy = ftp1->Busy();
    conditions.connected = ftp1->Connected;
    conditions.running = browsing_.Queue.running;
    conditions.selectedRows = SelectedQueueRows();
    conditions.count = spoolModel->count();
    conditions.failedCount = spoolModel->FailedCount();
    return conditions;
}

// The menu offers what its commands would do now.
void TForm1::QueueMenuPopup()
{
    const QueueConditions state = QueueState();
    const std::pair<QAction *, QueueCommand> items[] = {
        {N74, QueueCommand::Start},        {N75, QueueCommand::DeleteAll},    {N73, QueueCommand::Delete},
        {N76, QueueCommand::MoveToTop},    {N77, QueueCommand::MoveToBottom}, {N78, QueueCommand::MoveUp},
        {N79, QueueCommand::MoveDown},     {N80, QueueCommand::Retry},
    };
    for (const auto &[item, command] : items)
        item->setEnabled(QueueCommandAllowed(command, state));
}

bool TForm1::spoolDragOver(QObject *source) const
{
    return source && (source == FileList1 || source == ftpview);
}

void TForm1::spoolDragDrop(QObject *source)
{
    if (source == FileList1)
        AddLocalEntriesToQueue();
    else if (source == ftpview)
        AddRemoteEntriesToQueue();
}

// Uploads: offline the target is only the name; starting the queue puts the
// remote directory of that moment before it.
void TForm1::AddLocalEntriesToQueue()
{
    QList<QueueEntry> entries;
    for (int row : FileList1->SelectedRows()) {
        const TFileListItem &item = FileList1->Item(row);
        QueueEntry e;
        e.direction = QueueEntry::Upload;
        e.isDirectory = item.IsDir;
        e.localPath = item.FullPath();
        e.sizeText = FileList1->Model()->Text(item, fiSize);
        const QByteArray name = RemoteBytes(item.Name);
        e.remotePath = ftp1->Connected ? JoinRemotePath(ftp1->CurrentDirectory(), name) : name;
        entries << e;
    }
    spoolModel->Append(entries);
}

// Downloads: the local target is built from the name the server listed, so a
// name that would point outside the local directory is left out.
void TForm1::AddRemoteEntriesToQueue()
{
    const QString localDirectory = LocalDirectory().isEmpty() ? QDir::currentPath() : LocalDirectory();
    QList<QueueEntry> entries;
    for (int row : SelectedRemoteRows()) {
        const RemoteEntry listed = ftpviewModel->entry(row);
        if (!IsWalkableName(listed.name)) {
            AppendLog(UnsafeNameLogLine(listed.displayName), kSkipColor, false);
            continue;
        }
        QueueEntry e;
        e.direction = QueueEntry::Download;
        e.isDirectory = listed.isDirectory;
        e.remotePath = JoinRemotePath(ftp1->CurrentDirectory(), listed.name);
        e.localPath = JoinLocal(localDirectory, platform::DecodeAnsi(listed.name));
        e.sizeText = listed.isDirectory ? QString() : RemoteListModel::DisplayText(listed.size);
        entries << e;
    }
    spoolModel->Append(entries);
}

void TForm1::N74Click()
{
    if (!QueueCommandAllowed(QueueCommand::Start, QueueState()))
        return;
    spoolModel->RestoreRetries();
    StartQueue();
}

void TForm1::StartQueue()
{
    if (!QueueCommandAllowed(QueueCommand::Start, QueueState()))
        return;
    spoolModel->CompleteUploadTargets(ftp1->CurrentDirectory());
    browsing_.Transfers = TransferWalk();
    browsing_.Failures.status.clear();
    browsing_.Queue.entryFailure.clear();
    browsing_.Queue.failureRetryable = false;
    spoolModel->SetRetryLimit(MainSettings.retries);
    browsing_.Queue.running = true;
    RememberTransferHome();
    if (ParallelTransfers()) {
        browsing_.Queue.overConnections = true;
        AdvanceParallelQueue();
        return;
    }
    RunQueueStep(spoolModel->Start(ftp1->Connected));
}

void TForm1::N75Click()
{
    if (QueueCommandAllowed(QueueCommand::DeleteAll, QueueState()))
        spoolModel->Clear();
}

void TForm1::N73Click()
{
    const QueueConditions state = QueueState();
    if (QueueCommandAllowed(QueueCommand::Delete, state))
        spoolModel->Remove(state.selectedRows);
}

void TForm1::N76Click()
{
    const QueueConditions state = QueueState();
    if (QueueCommandAllowed(QueueCommand::MoveToTop, state))
        spoolModel->MoveToTop(state.selectedRows);
}

void TForm1::N77Click()
{
    const QueueConditions state = QueueState();
    if (QueueCommandAllowed(QueueCommand::MoveToBottom, state))
        spoolModel->MoveToBottom(state.selectedRows);
}

void TForm1::N78Click()
{
    const QueueConditions state = QueueState();
    if (QueueCommandAllowed(QueueCommand::MoveUp, state))
        spoolModel->MoveUp(state.selectedRows.first());
}

void TForm1::N79Click()
{
    const QueueConditions state = QueueState();
    if (QueueCommandAllowed(QueueCommand::MoveDown, state))
        spoolModel->MoveDown(state.selectedRows.first());
}

// The selected failed entries, or all of them when none is selected, wait
// again; a running queue takes them up as it goes, an idle one at its start.
void TForm1::N80Click()
{
    const QueueConditions state = QueueState();
    if (!QueueCommandAllowed(QueueCommand::Retry, state))
        return;
    spoolModel->Retry(state.selectedRows);
    if (browsing_.Queue.overConnections)
        AdvanceParallelQueue();
}

void TForm1::ftp1FileReceivedii()
{
    if (!ftp1->Success())
        ReportFailedTransfer(true);
    QueueContinue();
}

void TForm1::ftp1FileStoredii()
{
    if (!ftp1->Success())
        ReportFailedTransfer(false);
    QueueContinue();
}

// Only a sequence the queue started may remove its top entry.
void TForm1::QueueContinue()
{
    if (!browsing_.Queue.running)
        return;
    const QString failure = std::exchange(browsing_.Queue.entryFailure, QString());
    const bool retryable = std::exchange(browsing_.Queue.failureRetryable, false);
    const QueueStep step = spoolModel->Continue(ftp1->Connected, failure, retryable);
    if (step.retry > 0) {
        DropAttemptFailures();
        const QString source = spoolModel->entry(spoolModel->RunningRow()).SourceText();
        AppendLog(QCoreApplication::translate("TForm1", "连接错误, 第 %1 次自动重试: %2").arg(step.retry).arg(source), kRetryColor, false);
    }
    RunQueueStep(step);
}

// Tried again: what the attempt met is in the log, not in the box at the end.
void TForm1::DropAttemptFailures()
{
    browsing_.Failures.DropAttempt();
}

// A broken connection under the queue: after a moment the login bar's
// values connect again, while the cut entry has retries left.
bool TForm1::ReconnectForQueue()
{
    if (browsing_.Queue.resumeAfterLogin)
        return true;  // already on its way
    spoolModel->SetRetryLimit(MainSettings.retries);
    const int retry = spoolModel->UseRetryOfLastEntry();
    if (retry == 0)
        return false;
    AppendLog(QCoreApplication::translate("TForm1", "连接断开, 第 %1 次自动重试: 重新连接 %2").arg(retry).arg(ConnectionTarget()), kRetryColor, false);
    browsing_.Queue.resumeAfterLogin = true;
    QTimer::singleShot(kQueueReconnectDelayMs, this, [this] {
        if (!browsing_.Queue.resumeAfterLogin || ftp1->Connected || sessionClosedByUser_)
            return;
        browsing_.Queue.reconnecting = true;
        Button1Click();
        browsing_.Queue.reconnecting = false;
    });
    return true;
}

void TForm1::RunQueueStep(const QueueStep &step)
{
    const bool transfers = step.kind != QueueStep::None && step.kind != QueueStep::Stop && step.kind != QueueStep::End;
    if (transfers)
        browsing_.Failures.MarkAttempt();
    switch (step.kind) {
    case QueueStep::None:
        break;
    case QueueStep::Stop:
        // The connection is gone: the entries stay for the next 开始传输,
        // or for the new login when the cut entry has retries left.
        browsing_.Queue.running = false;
        SetIdle();
        if (!sessionClosedByUser_ && ReconnectForQueue()) {
            DropAttemptFailures();
            break;
        }
        ShowWalkFailures();
        break;
    case QueueStep::End:
        browsing_.Queue.running = false;
        ShowWalkFailures();
        RunAfterTransfer();
        if (MainSettings.aftertransfer == AfterTransferClose)
            return;  // the program ends
        ReturnToTransferHome();
        break;
    case QueueStep::UploadFile:
        // The target as queued: blanks stay, unlike the uploads between panes.
        ftp1->LocalFile = step.localPath;
        ftp1->RemoteFile = step.remotePath;
        SetBusy();
        BeginTransfer(false);
        ftp1->Uploadii();
        break;
    case QueueStep::DownloadFile:
        ftp1->RemoteFile = step.remotePath;
        SetBusy();
        ftp1->LocalFile = DownloadTargetName(step.localPath);
        BeginTransfer(true);
        ftp1->Downloadii();
        break;
    case QueueStep::UploadDirectory:
        SetBusy();
        StartUploadDirectory(step.localPath, step.remotePath);
        break;
    case QueueStep::DownloadDirectory:
        SetBusy();
        StartDownloadDirectory(step.remotePath, step.localPath);
        break;
    }
}
