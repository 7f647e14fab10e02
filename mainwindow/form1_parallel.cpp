// Transfers over connections of their own: the walks and the queue hand their
// files to the session (core/transfer_session.h), which owns every result;
// the window shows them. A batch's end shows what failed, refreshes the panes
// and finishes its queue entry; a server that takes no second login gets its
// files over the browsing connection, one after another.

#include "mainwindow/tform1.h"

#include "core/transfer_session.h"
#include "engine/ftp.h"
#include "mainwindow/engine_notices.h"
#include "mainwindow/main_settings.h"
#include "core/queue_model.h"
#include "platform/codepage.h"
#include "platform/dialogs.h"

#include <QFileInfo>
#include <QLocale>
#include <QProgressBar>
#include <QTimer>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

const QColor kSkipColor(255, 0, 0);
const QColor kRetryColor(128, 0, 128);
constexpr int kTotalsIntervalMs = 500;

QString SizeText(qint64 bytes)
{
    return QLocale().formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
}

} // namespace

void TForm1::WireTransferPool()
{
    transferSession_ = new TransferSession(this);
    transferPool = &transferSession_->Pool();
    // The files the browsing connection carries keep to the same limits.
    ftp1->DownloadLimit = transferPool->DownloadLimiter();
    ftp1->UploadLimit = transferPool->UploadLimiter();
    transferPool->OnQuestion = [this](const TransferQuestion &question) {
        QuestionContext context;
        context.downresume = MainSettings.downresume;
        context.upresume = MainSettings.upresume;
        context.localFile = question.localFile;
        context.remoteFile = platform::DecodeAnsi(question.remoteFile);
        const QFileInfo local(question.localFile);
        if (local.exists()) {
            context.localSize = local.size();
            context.localTime = local.lastModified();
        }
        context.remoteSize = question.remoteSize;
        context.remoteTime = question.remoteTime;
        const QString answer = AnswerEngineQuestion(this, question.need, context);
        if (const QString skipped = SkippedTransferLine(question.need, answer, context); !skipped.isEmpty())
            AppendLog(skipped, kSkipColor, false);
        return answer;
    };
    transferPool->OnCertificate = [this](const platform::TlsCertificateInfo &certificate, bool changed) {
        switch (platform::CurrentDialogs().AskCertificate(this, ConnectionTarget(), certificate, changed)) {
        case platform::Dialogs::TrustCertificateAlways: return certAlwaysTrust;
        case platform::Dialogs::AcceptCertificateOnce: return certAcceptOnce;
        case platform::Dialogs::RejectCertificate: break;
        }
        return certReject;
    };
    connect(transferSession_, &TransferSession::FileFailed, this, &TForm1::ShowFileFailure);
    connect(transferSession_, &TransferSession::FileRetrying, this, [this](const TransferJob &job) {
        const QString source = job.direction == TransferJob::Download ? platform::DecodeAnsi(job.remotePath) : job.localPath;
        AppendLog(tr("连接错误, 第 %1 次自动重试: %2").arg(job.attempts).arg(source), kRetryColor, false);
    });
    connect(transferSession_, &TransferSession::BatchStarted, this, [this](const TransferBatch &batch) {
        if (const int row = batch.queueEntry ? QueueRowOfBatch(batch) : -1; row >= 0)
            spoolModel->MarkStarted(row);
    });
    connect(transferSession_, &TransferSession::BatchProgress, this, &TForm1::ShowBatchProgress);
    connect(transferPool, &TransferPool::JobStarted, this, &TForm1::NoteFileInFlight);
    connect(transferPool, &TransferPool::JobProgress, this, [this](const TransferJob &job, qint64 bytesDone) {
        if (const auto file = filesInFlight_.find(job.id); file != filesInFlight_.end())
            file->bytesDone = bytesDone;
    });
    // A file that has landed leaves the list at once: it no longer moves.
    const auto landed = [this](const TransferJob &job) {
        filesInFlight_.remove(job.id);
        spoolModel->DropFileInFlight(job.id);
    };
    connect(transferPool, &TransferPool::JobRetrying, this, landed);
    connect(transferPool, &TransferPool::JobFinished, this, landed);
    connect(transferSession_, &TransferSession::BatchEnded, this, &TForm1::ShowBatchEnd);
    connect(transferSession_, &TransferSession::RunEnded, this, &TForm1::EndParallelRun);
    connect(transferSession_, &TransferSession::FellBack, this, [this](const QString &detail) {
        AppendLog(tr("服务器不接受更多的连接%1, 文件改在当前连接上逐个传输")
                      .arg(detail.isEmpty() ? QString() : u" ("_s + detail.trimmed() + u')'),
                  kRetryColor, false);
    });
    connect(transferSession_, &TransferSession::BrowsingJobsWaiting, this, &TForm1::RunNextBrowsingJob);
    totalsTimer_ = new QTimer(this);
    totalsTimer_->setInterval(kTotalsIntervalMs);
    connect(totalsTimer_, &QTimer::timeout, this, &TForm1::ShowTransferTotals);
}

// At each login, before the window forgets it: the transfer connections repeat it.
void TForm1::StartTransferSession()
{
    ConnectionProfile profile;
    profile.server = ftp1->Server();
    profile.port = ftp1->Port;
    profile.username = ftp1->SessionUser();
    profile.password = ftp1->SessionPassword();
    profile.account = ftp1->Account;
    profile.tlsMode = ftp1->TlsMode;
    profile.passive = ftp1->PassiveInEffect();
    profile.proxyType = ftp1->ProxyType;
    profile.proxyServer = ftp1->ProxyServer;
    profile.timeoutSeconds = ftp1->TimeOutConnect;
    profile.keepUploadTime = ftp1->KeepUploadTime;
    profile.acceptDataFromAnyAddress = ftp1->AcceptDataFromAnyAddress;
    profile.trustStoreFile = ftp1->TrustStoreFile;
    profile.acceptedCertificates = acceptedCertificates_;
    transferSession_->StartSession(profile);
    poolSessionReady_ = profile.IsUsable();
    // A 手工下载 that follows keeps to the limits as well.
    ApplyTransferSettings();
}

bool TForm1::ParallelTransfers() const
{
    // An address opened meanwhile may have logged the engine in elsewhere:
    // the transfer connections must go where the browsing connection is.
    const ConnectionProfile &held = transferPool->Profile();
    const bool sameLogin = held.server == ftp1->Server() && held.username == ftp1->SessionUser()
        && held.password == ftp1->SessionPassword();
    return MainSettings.transfers > 1 && poolSessionReady_ && sameLogin && !transferSession_->FallenBack()
        && ftp1->Connected;
}

bool TForm1::TreeTransferMayStart() const
{
    if (ftp1->Busy() || browsing_.Transfers.running() || browsing_.Deletes.running() || browsing_.Cases.running())
        return false;
    // A queue whose files are all on the transfer connections leaves the
    // browsing connection free for a walk whose files go there too.
    return !browsing_.Queue.running || (browsing_.Queue.overConnections && walkBatch_ == 0 && ParallelTransfers());
}

bool TForm1::TransfersIdle() const
{
    return !ftp1->Busy() && !browsing_.Transfers.running() && !browsing_.Queue.running && transferSession_->Idle();
}

quint64 TForm1::NewBatch(bool download)
{
    if (!transferSession_->HasBatches()) {
        lastTotal_ = 0;
        lastTotalAt_ = 0;
        runCut_ = false;
    }
    ApplyTransferSettings();
    totalsTimer_->start();
    return transferSession_->OpenBatch(download);
}

void TForm1::ApplyTransferSettings()
{
    transferSession_->Configure(MainSettings.transfers, MainSettings.retries, qint64(MainSettings.downlimit) * 1024,
                                qint64(MainSettings.uplimit) * 1024);
}

void TForm1::HandOverToPool(const TransferStep &step)
{
    TransferJob job;
    job.batch = walkBatch_;
    job.direction = step.kind == TransferStep::Download ? TransferJob::Download : TransferJob::Upload;
    job.remotePath = step.remotePath;
    job.localPath = QFileInfo(step.localPath).absoluteFilePath();
    job.size = job.direction == TransferJob::Download ? ListedRemoteSize(step.remotePath) : QFileInfo(job.localPath).size();
    if (!transferSession_->Submit(job)) {
        AppendLog(tr("已在传输中, 跳过: %1").arg(job.direction == TransferJob::Download ? job.localPath
                                                                                      : platform::DecodeAnsi(job.remotePath)),
                  kSkipColor, false);
    }
}

// The walk has handed out its last file: the browsing connection is free
// again, and the batch ends once its files have.
void TForm1::EndBatchListing()
{
    const quint64 batch = std::exchange(walkBatch_, 0);
    TransferProgress->hide();
    SetIdle();
    // The user's own walk may have run beside the queue's files.
    const TransferBatch *ended = transferSession_->Find(batch);
    const bool queueEntry = ended && ended->queueEntry;
    if (!queueEntry && (!transferHomeLocal_.isEmpty() || !transferHomeRemote_.isEmpty()))
        ReturnToTransferHome();
    transferSession_->EndListing(batch);
    if (browsing_.Queue.overConnections)
        AdvanceParallelQueue();
    // The queue's folders are listed: the remote pane shows where the run
    // started again, and the user browses from there.
    if (queueEntry && walkBatch_ == 0 && ftp1->Connected && !ftp1->Busy() && !transferHomeRemote_.isEmpty()
        && transferHomeRemote_ != ftp1->CurrentDirectory())
        ftp1->ChangeDirectory(transferHomeRemote_);
    RunNextBrowsingJob();
}

void TForm1::ShowFileFailure(const TransferJob &job, const TransferOutcome &outcome)
{
    // The transfer connection's own address: the browsing connection may be gone by now.
    const ConnectionProfile &profile = transferPool->Profile();
    const ErrorNotice notice =
        ErrorNoticeFor(outcome.error, outcome.detail, u"%1:%2"_s.arg(profile.server).arg(profile.port));
    QString cause = notice.text.trimmed();
    if (!outcome.detail.isEmpty() && !cause.contains(outcome.detail))
        cause += (cause.isEmpty() ? QString() : u" "_s) + u'(' + outcome.detail + u')';
    if (cause.isEmpty())
        cause = tr("连接已断开");
    ReportFailedFile(job.direction == TransferJob::Download, job.localPath, platform::DecodeAnsi(job.remotePath), cause);
    transferSession_->NoteFailure(job.batch, cause);
}

void TForm1::ShowBatchProgress(const TransferBatch &batch)
{
    if (!batch.queueEntry)
        return;
    const int row = QueueRowOfBatch(batch);
    if (row < 0)
        return;
    const qint64 done = batch.BytesSoFar();
    const qint64 elapsed = transferSession_->RunElapsed() - batch.startedAt;
    spoolModel->SetProgress(row, done, elapsed > 0 ? done * 1000 / elapsed : 0);
}

void TForm1::NoteFileInFlight(const TransferJob &job)
{
    const TransferBatch *batch = transferSession_->Find(job.batch);
    if (batch && batch->queueEntry) {
        const int row = QueueRowOfBatch(*batch);
        if (row >= 0 && !spoolModel->entry(row).isDirectory)
            return;
    }
    FileInFlight &file = filesInFlight_[job.id];
    file.shown.direction = job.direction == TransferJob::Download ? QueueEntry::Download : QueueEntry::Upload;
    file.shown.localPath = job.localPath;
    file.shown.remotePath = job.remotePath;
    if (job.size >= 0)
        file.shown.sizeText = QString::number(job.size);
    file.since = transferSession_->RunElapsed();
}

// The list takes up the files in flight at the pace of the totals: a tree of
// small files would otherwise add and take away rows by the thousand.
void TForm1::ShowFilesInFlight()
{
    for (const quint64 job : spoolModel->JobsInFlight()) {
        if (!filesInFlight_.contains(job))
            spoolModel->DropFileInFlight(job);
    }
    // Jobs are numbered as they were handed out: new rows come in that order.
    QList<quint64> jobs = filesInFlight_.keys();
    std::sort(jobs.begin(), jobs.end());
    const qint64 now = transferSession_->RunElapsed();
    for (const quint64 job : jobs) {
        const FileInFlight &file = filesInFlight_[job];
        spoolModel->ShowFileInFlight(job, file.shown);
        const qint64 elapsed = now - file.since;
        spoolModel->SetFileInFlightProgress(job, file.bytesDone, elapsed > 0 ? file.bytesDone * 1000 / elapsed : 0);
    }
}

void TForm1::ShowBatchEnd(const TransferBatch &batch)
{
    if (batch.queueEntry) {
        const int row = QueueRowOfBatch(batch);
        if (row >= 0)
            spoolModel->FinishEntry(row, batch.stopped ? QString() : batch.firstFailure);
    } else if (batch.download) {
        // What came shows in the local pane.
        SetLocalDirectory(LocalDirectory());
    } else if (ftp1->Connected && !ftp1->Busy() && !browsing_.Transfers.running()) {
        ftp1->List();
    }
    // A user's walk beside the queue may have been its last batch.
    if (browsing_.Queue.overConnections)
        AdvanceParallelQueue();
}

// The last batch has ended: one box for what failed, and aftertransfer.
void TForm1::EndParallelRun()
{
    totalsTimer_->stop();
    ShowTransferTotals();
    if (browsing_.Queue.overConnections)
        return;  // the queue's end says it
    ShowWalkFailures();
    // aftertransfer follows a run that ended, not one stopped or cut off.
    if (!runCut_)
        RunAfterTransfer();
}

void TForm1::RunNextBrowsingJob()
{
    if (walkBatch_ != 0 || !ftp1->Connected || ftp1->Busy())
        return;
    const std::optional<TransferJob> job = transferSession_->TakeBrowsingJob();
    if (!job)
        return;
    ftp1->RemoteFile = job->remotePath;
    ftp1->LocalFile = job->localPath;
    SetBusy();
    BeginTransfer(job->direction == TransferJob::Download);
    if (job->direction == TransferJob::Download)
        ftp1->Download();
    else
        ftp1->Upload();
}

// The completion of a file the browsing connection carried for the session:
// true when it was one.
bool TForm1::BrowsingJobDone(bool download)
{
    if (!transferSession_->BrowsingJobRunning())
        return false;
    SetIdle();
    TransferProgress->hide();
    QString failure;
    if (!ftp1->Success()) {
        ReportFailedTransfer(download);
        failure = browsing_.Failures.status.trimmed();
    }
    transferSession_->EndBrowsingJob(TransferredSoFar(), failure);
    RunNextBrowsingJob();
    return true;
}

int TForm1::QueueRowOfBatch(const TransferBatch &batch) const
{
    QueueEntry key;
    key.direction = QueueEntry::Direction(batch.entryDirection);
    key.localPath = batch.entryLocal;
    key.remotePath = batch.entryRemote;
    return spoolModel->RunningRowOf(key);
}

void TForm1::ShowTransferTotals()
{
    ShowFilesInFlight();
    if (!transferSession_->HasBatches()) {
        for (int panel = 1; panel < StatusPanelCount; ++panel)
            SetPanelText(panel, QString());
        return;
    }
    const qint64 total = transferSession_->RunBytes();
    const qint64 now = transferSession_->RunElapsed();
    const qint64 rate = now > lastTotalAt_ ? (total - lastTotal_) * 1000 / (now - lastTotalAt_) : 0;
    lastTotal_ = total;
    lastTotalAt_ = now;
    SetPanelText(1, tr(" %1 个文件传输中, %2 个等待 ").arg(transferSession_->RunningCount()).arg(
                        transferSession_->WaitingCount()));
    SetPanelText(2, tr(" 已传输 %1 ").arg(SizeText(total)));
    SetPanelText(3, tr(" 用时 %1 秒 ").arg(now / 1000));
    SetPanelText(4, u" "_s + SizeText(std::max<qint64>(0, rate)) + u"/s "_s);
}

// 停止 while files run on the transfer connections: all of them stop; the
// queue's entries wait again.
void TForm1::StopParallelTransfers()
{
    if (browsing_.Queue.overConnections) {
        browsing_.Queue.overConnections = false;
        browsing_.Queue.running = false;
        spoolModel->HaltAll();
    }
    AppendLog(tr("传输已停止"), kRetryColor, false);
    runCut_ = true;
    transferSession_->Stop();
}

void TForm1::AbandonParallelTransfers(bool closedByUser)
{
    walkBatch_ = 0;
    if (transferSession_->HasBatches())
        runCut_ = true;
    if (browsing_.Queue.overConnections) {
        // Entries not started wait for the next start; the running ones end as their files do.
        browsing_.Queue.overConnections = false;
        browsing_.Queue.running = false;
    }
    if (closedByUser) {
        poolSessionReady_ = false;
        transferSession_->Abandon(true, QString());
        spoolModel->HaltAll();
        totalsTimer_->stop();
        ShowTransferTotals();
        return;
    }
    transferSession_->Abandon(false, tr("连接已断开"));
}

// ---- the queue over the transfer connections ----

// Entries start in their order: files go to the session at once, a folder's
// walk lists on the browsing connection and the next entry starts when it has
// handed out its files.
void TForm1::AdvanceParallelQueue()
{
    while (browsing_.Queue.overConnections && walkBatch_ == 0) {
        if (!ftp1->Connected) {
            // The entries not started wait for the next start; the running ones end as their files do.
            browsing_.Queue.overConnections = false;
            browsing_.Queue.running = false;
            runCut_ = true;
            return;
        }
        const int row = spoolModel->NextWaitingRow();
        if (row < 0) {
            if (!transferSession_->HasBatches())
                FinishParallelQueue();
            return;
        }
        const QueueEntry entry = spoolModel->entry(row);
        // A folder's walk needs the browsing connection: it starts once the
        // command in flight (the user's, or a way home) has ended.
        if (entry.isDirectory && ftp1->Busy())
            return;
        // A folder's walk starts at once on the browsing connection; a file
        // waits for a transfer connection.
        spoolModel->MarkRunning(row, entry.isDirectory);
        const bool download = entry.direction == QueueEntry::Download;
        const quint64 id = NewBatch(download);
        TransferBatch &batch = *transferSession_->Find(id);
        batch.queueEntry = true;
        batch.entryLocal = entry.localPath;
        batch.entryRemote = entry.remotePath;
        batch.entryDirection = int(entry.direction);
        if (entry.isDirectory) {
            walkBatch_ = id;
            SetBusy();
            if (download)
                StartDownloadDirectory(entry.remotePath, entry.localPath);
            else
                StartUploadDirectory(entry.localPath, entry.remotePath);
            return;  // EndBatchListing goes on
        }
        TransferJob job;
        job.batch = id;
        job.direction = download ? TransferJob::Download : TransferJob::Upload;
        job.remotePath = entry.remotePath;
        job.localPath = download ? DownloadTargetName(entry.localPath) : entry.localPath;
        job.size = download ? -1 : QFileInfo(entry.localPath).size();
        if (!transferSession_->Submit(job)) {
            AppendLog(tr("已在传输中, 跳过: %1").arg(entry.SourceText()), kSkipColor, false);
            transferSession_->NoteFailure(id, tr("同一个文件已在传输中"));
        }
        transferSession_->EndListing(id);
    }
}

void TForm1::FinishParallelQueue()
{
    if (!browsing_.Queue.overConnections)
        return;
    browsing_.Queue.overConnections = false;
    browsing_.Queue.running = false;
    spoolModel->HaltAll();
    ShowWalkFailures();
    RunAfterTransfer();
    if (MainSettings.aftertransfer == AfterTransferClose)
        return;
    ReturnToTransferHome();
}
