// Transfers over connections of their own: the walks and the queue hand their
// files to the session's transfer pool, which runs several at once while the
// browsing connection stays free. Each file belongs to one batch (a walk or a
// queue entry); the batch's end shows what failed, refreshes the panes and
// finishes the queue entry. A server that takes no second login gets the
// files one after another on the browsing connection instead.

#include "mainwindow/tform1.h"

#include "core/transfer_pool.h"
#include "engine/ftp.h"
#include "mainwindow/engine_notices.h"
#include "mainwindow/main_settings.h"
#include "mainwindow/queue_model.h"
#include "platform/codepage.h"
#include "platform/dialogs.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QProgressBar>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

const QColor kSkipColor(255, 0, 0);
const QColor kRetryColor(128, 0, 128);
constexpr int kTotalsIntervalMs = 500;

QString RateText(qint64 bytesPerSecond)
{
    return QLocale().formattedDataSize(bytesPerSecond, 1, QLocale::DataSizeTraditionalFormat) + u"/s"_s;
}

} // namespace

void TForm1::WireTransferPool()
{
    transferPool = new TransferPool(this);
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
        return AnswerEngineQuestion(this, question.need, context);
    };
    transferPool->OnCertificate = [this](const platform::TlsCertificateInfo &certificate, bool changed) {
        switch (platform::CurrentDialogs().AskCertificate(this, ConnectionTarget(), certificate, changed)) {
        case platform::Dialogs::TrustCertificateAlways: return certAlwaysTrust;
        case platform::Dialogs::AcceptCertificateOnce: return certAcceptOnce;
        case platform::Dialogs::RejectCertificate: break;
        }
        return certReject;
    };
    connect(transferPool, &TransferPool::JobProgress, this, &TForm1::PoolJobProgress);
    connect(transferPool, &TransferPool::JobFinished, this, &TForm1::PoolJobFinished);
    connect(transferPool, &TransferPool::ConnectionsRefused, this, &TForm1::PoolRefused);
    connect(transferPool, &TransferPool::JobRetrying, this, [this](const TransferJob &job, const TransferOutcome &) {
        const QString source = job.direction == TransferJob::Download ? platform::DecodeAnsi(job.remotePath) : job.localPath;
        AppendLog(tr("连接错误, 第 %1 次自动重试: %2").arg(job.attempts).arg(source), kRetryColor, false);
        if (auto it = batches_.find(job.batch); it != batches_.end())
            it->second.running.remove(job.id);
    });
    totalsTimer_ = new QTimer(this);
    totalsTimer_->setInterval(kTotalsIntervalMs);
    connect(totalsTimer_, &QTimer::timeout, this, &TForm1::ShowTransferTotals);
}

// At each login: the pool gets the session's login, unless it holds it
// already (a login again after a cut keeps the transfers that run).
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
    const ConnectionProfile &held = transferPool->Profile();
    const bool same = held.server == profile.server && held.port == profile.port && held.username == profile.username
        && held.password == profile.password && held.tlsMode == profile.tlsMode;
    if (!same) {
        transferPool->SetProfile(profile);
        poolRefused_ = false;
    }
    poolSessionReady_ = profile.IsUsable();
}

bool TForm1::ParallelTransfers() const
{
    return MainSettings.transfers > 1 && poolSessionReady_ && !poolRefused_ && ftp1->Connected;
}

bool TForm1::TransfersIdle() const
{
    return !ftp1->Busy() && !TransferQueue.running() && !QueueOwnsSequence && batches_.empty()
        && !transferPool->Busy() && browsingJobs_.empty() && !browsingJob_;
}

quint64 TForm1::NewBatch(bool download)
{
    const quint64 id = nextBatch_++;
    TransferBatch batch;
    batch.download = download;
    batch.startedAt = runClock_.isValid() ? runClock_.elapsed() : 0;
    if (batches_.empty()) {
        runClock_.start();
        runBytes_ = 0;
        lastTotal_ = 0;
        lastTotalAt_ = 0;
        batch.startedAt = 0;
    }
    batches_[id] = batch;
    transferPool->SetMaxConnections(MainSettings.transfers);
    transferPool->SetRetryLimit(MainSettings.retries);
    transferPool->SetSpeedLimits(qint64(MainSettings.downlimit) * 1024, qint64(MainSettings.uplimit) * 1024);
    totalsTimer_->start();
    return id;
}

void TForm1::HandOverToPool(const TransferStep &step)
{
    TransferJob job;
    job.batch = walkBatch_;
    job.direction = step.kind == TransferStep::Download ? TransferJob::Download : TransferJob::Upload;
    job.remotePath = step.remotePath;
    job.localPath = QFileInfo(step.localPath).absoluteFilePath();
    job.size = job.direction == TransferJob::Download ? ListedRemoteSize(step.remotePath) : QFileInfo(job.localPath).size();
    if (!transferPool->Submit(job)) {
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
    if (auto it = batches_.find(batch); it != batches_.end())
        it->second.listing = false;
    if (parallelQueue_) {
        AdvanceParallelQueue();
    } else if (!transferHomeLocal_.isEmpty() || !transferHomeRemote_.isEmpty()) {
        ReturnToTransferHome();
    }
    EndBatchIfDone(batch);
    RunNextBrowsingJob();
}

void TForm1::PoolJobProgress(const TransferJob &job, qint64 bytesDone, qint64)
{
    auto it = batches_.find(job.batch);
    if (it == batches_.end())
        return;
    TransferBatch &batch = it->second;
    batch.running[job.id] = bytesDone;
    if (!batch.queueEntry)
        return;
    const int row = QueueRowOfBatch(batch);
    if (row < 0)
        return;
    qint64 done = batch.bytesDone;
    for (qint64 bytes : std::as_const(batch.running))
        done += bytes;
    const qint64 elapsed = runClock_.elapsed() - batch.startedAt;
    spoolModel->SetProgress(row, done, elapsed > 0 ? done * 1000 / elapsed : 0);
}

void TForm1::PoolJobFinished(const TransferJob &job, const TransferOutcome &outcome)
{
    auto it = batches_.find(job.batch);
    if (it == batches_.end())
        return;  // its batch was given up (the session ended)
    TransferBatch &batch = it->second;
    batch.running.remove(job.id);
    batch.bytesDone += outcome.bytesDone;
    runBytes_ += outcome.bytesDone;
    const bool download = job.direction == TransferJob::Download;
    if (!outcome.ok && !batch.stopped) {
        const ErrorNotice notice = ErrorNoticeFor(outcome.error, outcome.detail, ConnectionTarget());
        QString cause = notice.text.trimmed();
        if (!outcome.detail.isEmpty() && !cause.contains(outcome.detail))
            cause += (cause.isEmpty() ? QString() : u" "_s) + u'(' + outcome.detail + u')';
        if (cause.isEmpty())
            cause = tr("连接已断开");
        ReportFailedFile(download, job.localPath, platform::DecodeAnsi(job.remotePath), cause);
        if (batch.firstFailure.isEmpty())
            batch.firstFailure = cause;
    }
    EndBatchIfDone(job.batch);
}

// Files that no transfer connection could take: the browsing connection
// carries them, and the session's later walks run there from the start.
void TForm1::PoolRefused(FtpError, const QString &detail)
{
    const QList<TransferJob> jobs = transferPool->TakeWaiting();
    if (!poolRefused_) {
        poolRefused_ = true;
        AppendLog(tr("服务器不接受更多的连接%1, 文件改在当前连接上逐个传输")
                      .arg(detail.isEmpty() ? QString() : u" ("_s + detail.trimmed() + u')'),
                  kRetryColor, false);
    }
    browsingJobs_.insert(browsingJobs_.end(), jobs.cbegin(), jobs.cend());
    RunNextBrowsingJob();
}

void TForm1::RunNextBrowsingJob()
{
    if (browsingJob_ || browsingJobs_.empty() || walkBatch_ != 0 || !ftp1->Connected || ftp1->Busy())
        return;
    browsingJob_ = browsingJobs_.front();
    browsingJobs_.pop_front();
    ftp1->RemoteFile = browsingJob_->remotePath;
    ftp1->LocalFile = browsingJob_->localPath;
    SetBusy();
    BeginTransfer(browsingJob_->direction == TransferJob::Download);
    if (browsingJob_->direction == TransferJob::Download)
        ftp1->Download();
    else
        ftp1->Upload();
}

// The completion of a file the browsing connection carried for the pool:
// true when it was one.
bool TForm1::BrowsingJobDone(bool download)
{
    if (!browsingJob_ || (browsingJob_->direction == TransferJob::Download) != download)
        return false;
    TransferJob job = *std::exchange(browsingJob_, std::nullopt);
    SetIdle();
    TransferProgress->hide();
    TransferOutcome outcome;
    outcome.ok = ftp1->Success();
    outcome.bytesDone = TransferredSoFar();
    if (!outcome.ok) {
        // The cause was noted while it failed; ReportFailedTransfer says it.
        ReportFailedTransfer(download);
        outcome.error = ftpeNone;
        if (auto it = batches_.find(job.batch); it != batches_.end() && it->second.firstFailure.isEmpty())
            it->second.firstFailure = FailureStatus.trimmed();
    }
    if (auto it = batches_.find(job.batch); it != batches_.end()) {
        it->second.bytesDone += outcome.bytesDone;
        runBytes_ += outcome.bytesDone;
    }
    EndBatchIfDone(job.batch);
    if (ftp1->Connected)
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

void TForm1::EndBatchIfDone(quint64 id)
{
    auto it = batches_.find(id);
    if (it == batches_.end())
        return;
    const TransferBatch &batch = it->second;
    const bool browsingHolds = std::any_of(browsingJobs_.cbegin(), browsingJobs_.cend(),
                                           [id](const TransferJob &job) { return job.batch == id; })
        || (browsingJob_ && browsingJob_->batch == id);
    if (batch.listing || transferPool->BatchBusy(id) || browsingHolds)
        return;
    const TransferBatch ended = batch;
    batches_.erase(it);
    if (ended.queueEntry) {
        const int row = QueueRowOfBatch(ended);
        if (row >= 0)
            spoolModel->FinishEntry(row, ended.stopped ? QString() : ended.firstFailure);
        if (parallelQueue_)
            AdvanceParallelQueue();
    } else if (ended.download) {
        // What came shows in the local pane.
        SetLocalDirectory(LocalDirectory());
    } else if (ftp1->Connected && !ftp1->Busy() && !TransferQueue.running()) {
        ftp1->List();
    }
    if (batches_.empty())
        EndParallelRun();
}

// The last batch has ended: one box for what failed, and aftertransfer.
void TForm1::EndParallelRun()
{
    totalsTimer_->stop();
    ShowTransferTotals();
    if (parallelQueue_)
        return;  // the queue's end says it
    ShowWalkFailures();
    RunAfterTransfer();
}

void TForm1::ShowTransferTotals()
{
    if (batches_.empty()) {
        for (int panel = 1; panel < StatusPanelCount; ++panel)
            SetPanelText(panel, QString());
        return;
    }
    qint64 total = runBytes_;
    for (const auto &[id, batch] : batches_) {
        for (qint64 bytes : batch.running)
            total += bytes;
    }
    const qint64 now = runClock_.elapsed();
    const qint64 rate = now > lastTotalAt_ ? (total - lastTotal_) * 1000 / (now - lastTotalAt_) : 0;
    lastTotal_ = total;
    lastTotalAt_ = now;
    SetPanelText(1, tr(" %1 个文件传输中, %2 个等待 ").arg(transferPool->RunningCount()).arg(
                        transferPool->WaitingCount() + int(browsingJobs_.size())));
    SetPanelText(2, tr(" 已传输 %1 ").arg(QLocale().formattedDataSize(total, 1, QLocale::DataSizeTraditionalFormat)));
    SetPanelText(3, tr(" 用时 %1 秒 ").arg(now / 1000));
    SetPanelText(4, u" "_s + RateText(std::max<qint64>(0, rate)) + u" "_s);
}

// 停止 while files run on the transfer connections: all of them stop; the
// queue's entries wait again.
void TForm1::StopParallelTransfers()
{
    for (auto &[id, batch] : batches_) {
        batch.stopped = true;
        transferPool->Cancel(id);
    }
    browsingJobs_.clear();
    if (parallelQueue_) {
        parallelQueue_ = false;
        QueueOwnsSequence = false;
        spoolModel->HaltAll();
    }
    AppendLog(tr("传输已停止"), kRetryColor, false);
    // Batches whose files had all gone end now; the others when their aborts come back.
    std::vector<quint64> ids;
    for (const auto &[id, batch] : batches_)
        ids.push_back(id);
    for (quint64 id : ids)
        EndBatchIfDone(id);
}

// ---- the queue over the transfer connections ----

// Entries start in their order: files go to the pool at once, a directory's
// walk lists on the browsing connection and the next entry starts when it
// has handed out its files.
void TForm1::AdvanceParallelQueue()
{
    while (parallelQueue_ && walkBatch_ == 0) {
        if (!ftp1->Connected) {
            FinishParallelQueue();
            return;
        }
        const int row = spoolModel->NextWaitingRow();
        if (row < 0) {
            if (batches_.empty())
                FinishParallelQueue();
            return;
        }
        const QueueEntry entry = spoolModel->entry(row);
        spoolModel->MarkRunning(row);
        const bool download = entry.direction == QueueEntry::Download;
        const quint64 id = NewBatch(download);
        TransferBatch &batch = batches_[id];
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
        batch.listing = false;
        if (!transferPool->Submit(job)) {
            batch.firstFailure = tr("同一个文件已在传输中");
            AppendLog(tr("已在传输中, 跳过: %1").arg(entry.SourceText()), kSkipColor, false);
            EndBatchIfDone(id);
        }
    }
}

void TForm1::FinishParallelQueue()
{
    if (!parallelQueue_)
        return;
    parallelQueue_ = false;
    QueueOwnsSequence = false;
    spoolModel->HaltAll();
    ShowWalkFailures();
    RunAfterTransfer();
    if (MainSettings.aftertransfer == AfterTransferClose)
        return;
    ReturnToTransferHome();
}

void TForm1::AbandonParallelTransfers(bool closedByUser)
{
    if (walkBatch_ != 0) {
        if (auto it = batches_.find(walkBatch_); it != batches_.end())
            it->second.listing = false;
        walkBatch_ = 0;
    }
    // What waited for the browsing connection cannot run without it.
    const std::deque<TransferJob> unrun = std::exchange(browsingJobs_, {});
    if (browsingJob_) {
        if (auto it = batches_.find(browsingJob_->batch); it != batches_.end() && it->second.firstFailure.isEmpty())
            it->second.firstFailure = tr("连接已断开");
        browsingJob_.reset();
    }
    for (const TransferJob &job : unrun) {
        if (auto it = batches_.find(job.batch); it != batches_.end() && it->second.firstFailure.isEmpty())
            it->second.firstFailure = tr("连接已断开");
    }
    if (parallelQueue_) {
        // Entries not started wait for the next start; the running ones end as their files do.
        parallelQueue_ = false;
        QueueOwnsSequence = false;
    }
    if (closedByUser) {
        poolSessionReady_ = false;
        transferPool->CloseAll();
        batches_.clear();
        spoolModel->HaltAll();
        totalsTimer_->stop();
        ShowTransferTotals();
        return;
    }
    std::vector<quint64> ids;
    for (const auto &[id, batch] : batches_)
        ids.push_back(id);
    for (quint64 id : ids)
        EndBatchIfDone(id);
}
