// Transfers between the panes: drags from one list onto the other, 上传,
// 下载 and 手工下载, the download and upload walks carried out on the engine,
// the end of a sequence, aftertransfer, the afterconnect mirror, and the
// running file's share in the status bar.

#include "mainwindow/tform1.h"

#include "core/transfer_session.h"
#include "engine/ftp.h"
#include "engine/ftp_parse.h"
#include "mainwindow/main_settings.h"
#include "core/queue_model.h"
#include "mainwindow/remote_list_model.h"
#include "mainwindow/remote_list_view.h"
#include "platform/codepage.h"
#include "platform/dialogs.h"
#include "widgets/file_list.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDrag>
#include <QElapsedTimer>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QListView>
#include <QMimeData>
#include <QMouseEvent>
#include <QProgressBar>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

using namespace Qt::StringLiterals;

namespace {

const QColor kSkipColor(255, 0, 0);
const QColor kErrorColor(255, 0, 0);
// A box names this many failed files at most; the log has every one.
constexpr int kFailuresInBox = 20;

// The drag between the panes carries only where it came from; the entries are
// read from the source list's selection when it is dropped.
const QString kPaneDragFormat = u"application/x-tarvo-pane-origin"_s;

// Starts a drag from a pane list when the mouse moves far enough with the
// button held over a selection.
class PaneDragStarter : public QObject {
public:
    PaneDragStarter(TFileListView *list, const QByteArray &origin) : QObject(list), list_(list), origin_(origin) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::MouseButtonPress) {
            auto *mouse = static_cast<QMouseEvent *>(event);
            if (mouse->button() == Qt::LeftButton)
                pressedAt_ = mouse->position().toPoint();
            return false;
        }
        if (event->type() != QEvent::MouseMove)
            return false;
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (!(mouse->buttons() & Qt::LeftButton) || pressedAt_.isNull()
            || (mouse->position().toPoint() - pressedAt_).manhattanLength() < QApplication::startDragDistance()
            || list_->SelectedRows().isEmpty())
            return false;
        pressedAt_ = QPoint();
        auto *drag = new QDrag(qobject_cast<QWidget *>(watched));
        auto *data = new QMimeData;
        data->setData(kPaneDragFormat, origin_);
        drag->setMimeData(data);
        drag->exec(Qt::CopyAction);
        return true;
    }

private:
    TFileListView *list_;
    QByteArray origin_;
    QPoint pressedAt_;
};

// Drops of a pane drag on the other pane's list; other drags (files from the
// desktop) go on to the list's own handling.
class PaneDropFilter : public QObject {
public:
    PaneDropFilter(TForm1 *form, QWidget *target) : QObject(target), form_(form), target_(target) {}

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        const QEvent::Type type = event->type();
        if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop)
            return false;
        auto *drop = static_cast<QDropEvent *>(event);
        if (!drop->mimeData() || !drop->mimeData()->hasFormat(kPaneDragFormat))
            return false;
        QObject *origin = form_->PaneListOfDrag(drop->source());
        const bool toLocal = target_ == form_->FileList1;
        const bool accepted = toLocal ? form_->FileList1DragOver(origin) : form_->ftpviewDragOver(origin);
        if (!accepted) {
            drop->ignore();
            return true;
        }
        drop->setDropAction(Qt::CopyAction);
        drop->accept();
        if (type == QEvent::Drop) {
            if (toLocal)
                form_->FileList1DragDrop(origin);
            else
                form_->ftpviewDragDrop(origin);
        }
        return true;
    }

private:
    TForm1 *form_;
    QWidget *target_;
};

// While a walk runs, every reply changes the log, the status panels and the
// progress bar, and each change repainted the window: a tree of small files
// spent most of its time painting. The window is repainted at most every
// kRepaintInterval then; at other times updates go through at once.
class RepaintThrottle : public QObject {
public:
    static constexpr int kRepaintInterval = 40;  // ms

    RepaintThrottle(TForm1 *form, std::function<bool()> walking)
        : QObject(form), form_(form), walking_(std::move(walking))
    {
        sinceRepaint_.start();
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched != form_ || event->type() != QEvent::UpdateRequest)
            return false;
        if (!walking_() || sinceRepaint_.elapsed() >= kRepaintInterval) {
            sinceRepaint_.restart();
            return false;
        }
        // The window's repaint manager waits for this one request: it is sent again later.
        if (!deferred_) {
            deferred_ = true;
            QTimer::singleShot(int(kRepaintInterval - sinceRepaint_.elapsed()), this, [this] {
                deferred_ = false;
                QCoreApplication::postEvent(form_, new QEvent(QEvent::UpdateRequest), Qt::LowEventPriority);
            });
        }
        return true;
    }

private:
    TForm1 *form_;
    std::function<bool()> walking_;
    QElapsedTimer sinceRepaint_;
    bool deferred_ = false;
};

void WatchForDrags(TFileListView *list, const QByteArray &origin)
{
    auto *starter = new PaneDragStarter(list, origin);
    for (QAbstractItemView *view : {static_cast<QAbstractItemView *>(list->ReportView()),
                                    static_cast<QAbstractItemView *>(list->IconView())})
        view->viewport()->installEventFilter(starter);
}

} // namespace

void TForm1::WireTransfers()
{
    ftp1->OnFileReceived = [this](QObject *) { ftp1FileReceived(); };
    ftp1->OnFileStored = [this](QObject *) { ftp1FileStored(); };

    auto on = [this](QAction *action, void (TForm1::*handler)()) {
        connect(action, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
    };
    on(N21, &TForm1::N21Click);
    on(uploadButton, &TForm1::N21Click);
    on(N34, &TForm1::N34Click);
    on(downloadButton, &TForm1::N34Click);
    on(manualDownloadButton, &TForm1::ToolbarButton9733Click);

    WatchForDrags(FileList1, "local");
    WatchForDrags(ftpview, "remote");
    for (QWidget *list : {static_cast<QWidget *>(FileList1), static_cast<QWidget *>(ftpview)}) {
        list->setAcceptDrops(true);
        list->installEventFilter(new PaneDropFilter(this, list));
    }

    installEventFilter(new RepaintThrottle(this, [this] { return browsing_.Transfers.running() || browsing_.Queue.running; }));

    TransferProgress = new QProgressBar(this);
    TransferProgress->setRange(0, 1000);
    TransferProgress->setTextVisible(false);
    TransferProgress->setMaximumWidth(160);
    TransferProgress->hide();
    statusBar()->addPermanentWidget(TransferProgress);
    // The status panels keep their handler; the bar follows the same notices.
    TMFtp::TMFtpInfoEvent shown = ftp1->OnFtpInfo;
    ftp1->OnFtpInfo = [this, shown](QObject *sender, FtpInfo info, const QString &addinfo) {
        if (shown)
            shown(sender, info, addinfo);
        ShowTransferProgress(info);
    };
}

void TForm1::ShowTransferProgress(FtpInfo info)
{
    if (ftp1->ReceivingListing || (info != ftpiFileSize && info != ftpiProgress))
        return;
    // Without a size no share is known: an empty or full bar would say one.
    if (currentTransferSize_ <= 0) {
        TransferProgress->hide();
        return;
    }
    // Before the first byte of this transfer the count may still be the last one's.
    const qint64 done = info == ftpiFileSize ? transferResumeOffset_ : TransferredSoFar();
    const double share = std::clamp(double(done) * 1000.0 / double(currentTransferSize_), 0.0, 1000.0);
    TransferProgress->setValue(int(share));
    TransferProgress->show();
}

bool TForm1::TransferWalkRunning() const
{
    return browsing_.SequenceHeld() || ftp1->Busy();
}

void TForm1::CancelTransferWalks()
{
    AbandonParallelTransfers(sessionClosedByUser_);
    // No completion of the old session continues the queue; its entries stay.
    browsing_.ForgetTransferWalk();
    spoolModel->Halt();
    TransferProgress->hide();
    // Files still on the transfer connections tell theirs at the run's end,
    // in the same box: one box now would name only some of them.
    if (!transferSession_->HasBatches())
        ShowWalkFailures();
    // The session is over: the local pane goes back; the remote one is empty.
    if (!transferHomeLocal_.isEmpty()) {
        SetLocalDirectory(std::exchange(transferHomeLocal_, {}));
        QDir::setCurrent(LocalDirectory());
    }
    transferHomeRemote_.clear();
}

void TForm1::CancelAllWalks()
{
    CancelRemoteWalks();
    CancelTransferWalks();
}

// ---- drags between the panes ----

QObject *TForm1::PaneListOfDrag(const QObject *dragSource) const
{
    auto *source = qobject_cast<const QWidget *>(dragSource);
    for (QWidget *list : {static_cast<QWidget *>(FileList1), static_cast<QWidget *>(ftpview)}) {
        if (source && (source == list || list->isAncestorOf(source)))
            return list;
    }
    return nullptr;
}

bool TForm1::FileList1DragOver(QObject *source) const
{
    return source == ftpview;
}

void TForm1::FileList1DragDrop(QObject *source)
{
    if (FileList1DragOver(source))
        StartDownloadSelection();
}

bool TForm1::ftpviewDragOver(QObject *source) const
{
    return source == FileList1;
}

void TForm1::ftpviewDragDrop(QObject *source)
{
    if (ftpviewDragOver(source))
        StartUploadSelection();
}

void TForm1::N34Click()
{
    StartDownloadSelection();
}

void TForm1::N21Click()
{
    StartUploadSelection();
}

// A second walk would take over the running one's completions and lose its
// pending entries, so a download waits for the running one to end.
void TForm1::StartDownloadSelection()
{
    const QList<int> rows = SelectedRemoteRows();
    if (rows.isEmpty())
        return;
    if (!ftp1->Connected) {
        SetPanelText(0, tr("  没有连接, 不能下载 "));
        return;
    }
    if (!TreeTransferMayStart()) {
        SetPanelText(0, tr("  正在执行其它操作, 请等它结束后再下载 "));
        return;
    }
    browsing_.Failures.status.clear();
    RememberTransferHome();
    if (ParallelTransfers())
        walkBatch_ = NewBatch(true);
    browsing_.Transfers.NameCase = MainSettings.downfilenamecase;
    browsing_.Transfers.MaxDepth = MainSettings.walkdepth;
    RunTransferStep(browsing_.Transfers.startDownload(ftpviewModel->items(rows), ftp1->CurrentDirectory(), LocalDirectory(),
                                                ftpviewModel->allItems()));
}

void TForm1::StartUploadSelection()
{
    const QList<int> rows = FileList1->SelectedRows();
    if (rows.isEmpty())
        return;
    if (!ftp1->Connected) {
        SetPanelText(0, tr("  没有连接, 不能上传 "));
        return;
    }
    if (!TreeTransferMayStart()) {
        SetPanelText(0, tr("  正在执行其它操作, 请等它结束后再上传 "));
        return;
    }
    QList<LocalItem> selection;
    for (int row : rows)
        selection.append({QFileInfo(FileList1->FullPath(row)).fileName(), FileList1->IsDirectory(row)});
    browsing_.Failures.status.clear();
    RememberTransferHome();
    if (ParallelTransfers())
        walkBatch_ = NewBatch(false);
    browsing_.Transfers.EncodeRemote = [this](const QString &text) { return RemoteBytes(text); };
    browsing_.Transfers.MaxDepth = MainSettings.walkdepth;
    RunTransferStep(browsing_.Transfers.startUpload(selection, LocalDirectory(), ftp1->CurrentDirectory()));
}

// ---- the queue's side ----

void TForm1::StartDownloadDirectory(const QByteArray &remotePath, const QString &localPath)
{
    browsing_.Transfers.NameCase = MainSettings.downfilenamecase;
    browsing_.Transfers.MaxDepth = MainSettings.walkdepth;
    RunTransferStep(browsing_.Transfers.startDownloadDirectory(remotePath, localPath));
}

void TForm1::StartUploadDirectory(const QString &localPath, const QByteArray &remotePath)
{
    browsing_.Transfers.EncodeRemote = [this](const QString &text) { return RemoteBytes(text); };
    browsing_.Transfers.MaxDepth = MainSettings.walkdepth;
    RunTransferStep(browsing_.Transfers.startUploadDirectory(localPath, remotePath));
}

QString TForm1::DownloadTargetName(const QString &localPath) const
{
    return ConvertDownloadNameCase(localPath, MainSettings.downfilenamecase);
}

void TForm1::RunAfterTransfer()
{
    if (MainSettings.aftertransfer == AfterTransferClose)
        close();
    else if (MainSettings.aftertransfer == AfterTransferLogout)
        ftp1->Quit();
}

// ---- the walk on the engine ----

void TForm1::RunTransferStep(const TransferStep &first)
{
    TransferStep step = first;
    // With transfer connections the walk hands its files out and goes on
    // listing; a loop, not a call per file, keeps the stack flat.
    while (walkBatch_ != 0 && (step.kind == TransferStep::Download || step.kind == TransferStep::Upload)) {
        PrepareTransferStep(step);
        HandOverToPool(step);
        step = step.kind == TransferStep::Download ? browsing_.Transfers.onFileReceived() : browsing_.Transfers.onFileStored();
    }
    PrepareTransferStep(step);
    switch (step.kind) {
    case TransferStep::None:
        break;
    case TransferStep::Download:
        ftp1->RemoteFile = step.remotePath;
        ftp1->LocalFile = step.localPath;
        BeginTransfer(true);
        ftp1->Download();
        break;
    case TransferStep::Upload:
        ftp1->LocalFile = step.localPath;
        ftp1->RemoteFile = step.remotePath;
        BeginTransfer(false);
        ftp1->Upload();
        break;
    case TransferStep::EnterDownloadDirectory:
        // A directory that cannot be made shows as files that cannot be opened.
        // The local pane stays where the user is; it is refreshed at the end.
        QDir().mkpath(step.localPath);
        QDir::setCurrent(step.localPath);
        ftp1->ChangeDirectory(step.remotePath);
        break;
    case TransferStep::MakeUploadDirectory:
        QDir::setCurrent(step.localPath);
        ftp1->MakeDirectory(step.remotePath);
        break;
    case TransferStep::ChangeUploadDirectory:
        ftp1->ChangeDirectory(step.remotePath);
        break;
    case TransferStep::DownloadsEnded:
    case TransferStep::UploadsEnded:
        if (walkBatch_ != 0) {
            EndBatchListing();
            break;
        }
        if (step.kind == TransferStep::DownloadsEnded)
            SetIdle();
        EndTransferSequence();
        break;
    }
}

void TForm1::PrepareTransferStep(const TransferStep &step)
{
    for (const QString &line : step.log)
        AppendLog(line, kSkipColor, false);
    if (!step.removeEmptyLocalDirectory.isEmpty())
        QDir().rmdir(step.removeEmptyLocalDirectory);  // only when nothing came into it
    if (step.setBusy)
        SetBusy();
}

void TForm1::EndTransferSequence()
{
    TransferProgress->hide();
    // A directory entry of a running queue: only the queue goes on, and it
    // runs aftertransfer itself when it is empty.
    if (browsing_.Queue.running) {
        QueueContinue();
        return;
    }
    ShowWalkFailures();
    RunAfterTransfer();
    if (MainSettings.aftertransfer == AfterTransferClose)
        return;
    ReturnToTransferHome();
}

void TForm1::RememberTransferHome()
{
    transferHomeRemote_ = ftp1->CurrentDirectory();
    transferHomeLocal_ = LocalDirectory();
}

// The walk went from folder to folder; the user's panes go back to where the
// transfer was started, refreshed, to show what came.
void TForm1::ReturnToTransferHome()
{
    const QString local = std::exchange(transferHomeLocal_, {});
    const QByteArray remote = std::exchange(transferHomeRemote_, {});
    if (!local.isEmpty()) {
        SetLocalDirectory(local);
        QDir::setCurrent(LocalDirectory());
    }
    if (!ftp1->Connected || ftp1->Busy())
        return;
    if (!remote.isEmpty() && remote != ftp1->CurrentDirectory())
        ftp1->ChangeDirectory(remote);  // its completion lists it
    else
        ftp1->List();
}

void TForm1::ftp1FileReceived()
{
    if (BrowsingJobDone(true))
        return;
    if (!ftp1->Success())
        ReportFailedTransfer(true);
    if (browsing_.OwnerOfFileEnd() == BrowsingOwner::DownloadWalk) {
        // Without the connection the walk ends with the quit notice that follows.
        if (ftp1->Connected)
            RunTransferStep(browsing_.Transfers.onFileReceived());
        return;
    }
    TransferProgress->hide();
    if (!browsing_.EndAddressDownload())
        return;  // the file a stopped walk was fetching
    // 手工下载 ends as every download sequence does; the panes show where the file came from and went.
    SetLocalDirectory(LocalDirectory());
    RunAfterTransfer();
    if (MainSettings.aftertransfer != AfterTransferClose && ftp1->Connected && !ftp1->Busy())
        ftp1->List();
}

void TForm1::ftp1FileStored()
{
    if (BrowsingJobDone(false))
        return;
    if (!ftp1->Success())
        ReportFailedTransfer(false);
    if (browsing_.OwnerOfFileEnd() == BrowsingOwner::UploadWalk && ftp1->Connected)
        RunTransferStep(browsing_.Transfers.onFileStored());
}

// ---- failed transfers ----

void TForm1::BeginTransfer(bool download)
{
    browsing_.Failures.transferCause.clear();
    lastRefusal_.clear();
    listedTransferSize_ = download ? ListedRemoteSize(ftp1->RemoteFile) : QFileInfo(ftp1->LocalFile).size();
    currentTransferSize_ = listedTransferSize_;
    transferResumeOffset_ = 0;
    // The bar shows nothing of the file before until this one reports.
    TransferProgress->hide();
}

qint64 TForm1::ListedRemoteSize(const QByteArray &remotePath) const
{
    const QByteArray prefix = ftpparse::RemoteFullPath(ftp1->CurrentDirectory(), QByteArray());
    if (!remotePath.startsWith(prefix))
        return 0;
    const QByteArray name = remotePath.mid(prefix.size());
    const qsizetype index = ftp1->FileNames.indexOf(name);
    QByteArray text;
    if (index < 0 || !ftp1->FileInfos.GetInfo(int(index), 2, text))
        return 0;
    return ftpparse::ParseSizeText(text).value_or(0);
}

qint64 TForm1::TransferredSoFar() const
{
    // A download counts only this session's bytes, an upload from its resume point.
    return transferResumeOffset_ + ftp1->BytesTransferred;
}

bool TForm1::HoldingMessages() const
{
    return browsing_.Transfers.running() || browsing_.Queue.running || transferSession_->HasBatches();
}

void TForm1::NoteTransferFailure(const QString &cause)
{
    const int kind = ftp1->CurrentOperationKind();
    const bool transferring = kind == OperationKind::Download || kind == OperationKind::Downloadii
        || kind == OperationKind::Upload || kind == OperationKind::Uploadii;
    if (transferring && browsing_.Failures.transferCause.isEmpty())
        browsing_.Failures.transferCause = cause;
}

void TForm1::ShowOrHoldMessage(const QString &text, const QString &caption, bool critical)
{
    if (!HoldingMessages()) {
        platform::CurrentDialogs().MessageBox(this, text, caption,
                                              critical ? platform::Dialogs::Critical : platform::Dialogs::NoIcon,
                                              platform::Dialogs::OkOnly);
        return;
    }
    if (!browsing_.Failures.heldMessages.contains(text.trimmed()))
        browsing_.Failures.heldMessages << text.trimmed();
}

void TForm1::ReportFailedTransfer(bool download)
{
    const QString cause = browsing_.Failures.transferCause.isEmpty() ? tr("连接已断开") : browsing_.Failures.transferCause;
    browsing_.Failures.transferCause.clear();
    ReportFailedFile(download, ftp1->LocalFile, platform::DecodeAnsi(ftp1->RemoteFile), cause);
    // A directory entry is marked with its first failed file.
    if (HoldingMessages() && browsing_.Queue.running && browsing_.Queue.entryFailure.isEmpty())
        browsing_.Queue.entryFailure = cause;
}

QString TForm1::ReportFailedFile(bool download, const QString &local, const QString &remote, const QString &cause)
{
    QString line = (download ? tr("下载失败: ") + remote + u" -> "_s + local : tr("上传失败: ") + local + u" -> "_s + remote)
        + tr(", 原因: ") + cause;
    // The engine leaves what came in place; the next download of it can resume there.
    const QFileInfo partial(local);
    if (download && partial.exists() && partial.size() > 0)
        line += tr("; 已保留未完成的文件 (%1 字节), 再次下载时可以续传").arg(partial.size());
    AppendLog(line, kErrorColor, false);
    browsing_.Failures.status = u"  "_s + line;
    SetPanelText(0, browsing_.Failures.status);
    if (HoldingMessages())
        browsing_.Failures.failedFiles << line;
    return line;
}

void TForm1::ShowWalkFailures()
{
    if (browsing_.Failures.failedFiles.isEmpty() && browsing_.Failures.heldMessages.isEmpty())
        return;
    auto [failed, text] = browsing_.Failures.Take();
    if (!failed.isEmpty()) {
        text << tr("%1 个文件传输失败:").arg(failed.size());
        text << failed.mid(0, kFailuresInBox);
        if (failed.size() > kFailuresInBox)
            text << tr("...(其余的见日志)");
        browsing_.Failures.status = tr("  %1 个文件传输失败, 详见日志").arg(failed.size());
        SetPanelText(0, browsing_.Failures.status);
    }
    platform::CurrentDialogs().MessageBox(this, text.join(u'\n'), tr("传输错误"), platform::Dialogs::Critical,
                                          platform::Dialogs::OkOnly);
}

void TForm1::ToolbarButton9733Click()
{
    QString url = platform::DecodeAnsi(ftp1->CurrentURL());
    if (!platform::CurrentDialogs().AskText(this, tr("请输入下载路径"), tr("请输入下载软件全路径"), url))
        return;
    OpenUrlDownload(RemoteBytes(url), LocalDirectory());
}

void TForm1::OpenUrlDownload(const QByteArray &url, const QString &localFolder)
{
    if (TransferWalkRunning()) {
        SetPanelText(0, tr("  正在执行其它操作, 请等它结束后再下载 "));
        return;
    }
    browsing_.Failures.status.clear();
    browsing_.StartAddressDownload();
    ApplyConnectionOptions();
    ftp1->OpenURL(url, localFolder);
}

// afterconnect 3: the whole first listing of a login, recursively, into the
// local pane's directory.
void TForm1::StartMirror()
{
    N88Click();
    StartDownloadSelection();
}
