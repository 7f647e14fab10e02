#include "core/transfer_session.h"

#include <utility>
#include <vector>

qint64 TransferBatch::BytesSoFar() const
{
    qint64 bytes = bytesDone;
    for (qint64 running : this->running)
        bytes += running;
    return bytes;
}

TransferSession::TransferSession(QObject *parent) : QObject(parent), pool_(new TransferPool(this))
{
    connect(pool_, &TransferPool::JobProgress, this,
            [this](const TransferJob &job, qint64 bytesDone, qint64) { OnProgress(job, bytesDone); });
    connect(pool_, &TransferPool::JobFinished, this, &TransferSession::OnFinished);
    connect(pool_, &TransferPool::JobStarted, this, [this](const TransferJob &job, int) {
        TransferBatch *batch = Find(job.batch);
        if (batch && !std::exchange(batch->started, true))
            emit BatchStarted(*batch);
    });
    connect(pool_, &TransferPool::JobRetrying, this, [this](const TransferJob &job, const TransferOutcome &) {
        if (TransferBatch *batch = Find(job.batch))
            batch->running.remove(job.id);
        emit FileRetrying(job);
    });
    connect(pool_, &TransferPool::ConnectionsRefused, this,
            [this](FtpError, const QString &detail) { OnRefused(detail); });
}

void TransferSession::StartSession(const ConnectionProfile &profile)
{
    const ConnectionProfile &held = pool_->Profile();
    const bool same = held.server == profile.server && held.port == profile.port && held.username == profile.username
        && held.password == profile.password && held.tlsMode == profile.tlsMode;
    if (same) {
        for (const QString &certificate : profile.acceptedCertificates)
            pool_->AcceptCertificate(certificate);
        return;
    }
    batches_.clear();
    browsingJobs_.clear();
    browsingJob_.reset();
    pool_->SetProfile(profile);
    fallenBack_ = false;
}

void TransferSession::Configure(int connections, int retries, qint64 downloadLimit, qint64 uploadLimit)
{
    pool_->SetMaxConnections(connections);
    pool_->SetRetryLimit(retries);
    pool_->SetSpeedLimits(downloadLimit, uploadLimit);
}

quint64 TransferSession::OpenBatch(bool download)
{
    if (batches_.empty()) {
        runClock_.start();
        runBytes_ = 0;
    }
    TransferBatch batch;
    batch.id = nextBatch_++;
    batch.download = download;
    batch.startedAt = runClock_.elapsed();
    batches_[batch.id] = batch;
    return batch.id;
}

TransferBatch *TransferSession::Find(quint64 id)
{
    auto it = batches_.find(id);
    return it == batches_.end() ? nullptr : &it->second;
}

bool TransferSession::Submit(const TransferJob &job)
{
    if (fallenBack_) {
        const auto same = [&job](const TransferJob &other) { return other.TargetKey() == job.TargetKey(); };
        if (std::any_of(browsingJobs_.cbegin(), browsingJobs_.cend(), same) || (browsingJob_ && same(*browsingJob_)))
            return false;
        browsingJobs_.push_back(job);
        emit BrowsingJobsWaiting();
        return true;
    }
    return pool_->Submit(job);
}

void TransferSession::EndListing(quint64 id)
{
    if (TransferBatch *batch = Find(id)) {
        batch->listing = false;
        EndIfDone(id);
    }
}

void TransferSession::NoteFailure(quint64 id, const QString &cause)
{
    TransferBatch *batch = Find(id);
    if (batch && batch->firstFailure.isEmpty())
        batch->firstFailure = cause;
}

void TransferSession::OnProgress(const TransferJob &job, qint64 bytesDone)
{
    TransferBatch *batch = Find(job.batch);
    if (!batch)
        return;
    batch->running[job.id] = bytesDone;
    emit BatchProgress(*batch);
}

void TransferSession::OnFinished(const TransferJob &job, const TransferOutcome &outcome)
{
    TransferBatch *batch = Find(job.batch);
    if (!batch)
        return;  // its batch was given up with its session
    batch->running.remove(job.id);
    batch->bytesDone += outcome.bytesDone;
    runBytes_ += outcome.bytesDone;
    if (!outcome.ok && !batch->stopped)
        emit FileFailed(job, outcome);
    EndIfDone(job.batch);
}

void TransferSession::OnRefused(const QString &detail)
{
    const QList<TransferJob> jobs = pool_->TakeWaiting();
    if (!std::exchange(fallenBack_, true))
        emit FellBack(detail);
    browsingJobs_.insert(browsingJobs_.end(), jobs.cbegin(), jobs.cend());
    emit BrowsingJobsWaiting();
}

std::optional<TransferJob> TransferSession::TakeBrowsingJob()
{
    if (browsingJob_ || browsingJobs_.empty())
        return std::nullopt;
    browsingJob_ = browsingJobs_.front();
    browsingJobs_.pop_front();
    if (TransferBatch *batch = Find(browsingJob_->batch); batch && !std::exchange(batch->started, true))
        emit BatchStarted(*batch);
    return browsingJob_;
}

void TransferSession::EndBrowsingJob(qint64 bytesDone, const QString &failure)
{
    if (!browsingJob_)
        return;
    const TransferJob job = *std::exchange(browsingJob_, std::nullopt);
    if (!failure.isEmpty())
        NoteFailure(job.batch, failure);
    if (TransferBatch *batch = Find(job.batch)) {
        batch->bytesDone += bytesDone;
        runBytes_ += bytesDone;
    }
    EndIfDone(job.batch);
}

bool TransferSession::BrowsingHolds(quint64 id) const
{
    return (browsingJob_ && browsingJob_->batch == id)
        || std::any_of(browsingJobs_.cbegin(), browsingJobs_.cend(), [id](const TransferJob &job) { return job.batch == id; });
}

void TransferSession::EndIfDone(quint64 id)
{
    auto it = batches_.find(id);
    if (it == batches_.end() || it->second.listing || pool_->BatchBusy(id) || BrowsingHolds(id))
        return;
    const TransferBatch ended = it->second;
    batches_.erase(it);
    emit BatchEnded(ended);
    // The handler may have opened the next batch (the queue's next entry).
    if (batches_.empty())
        emit RunEnded();
}

void TransferSession::EndAllThatAreDone()
{
    std::vector<quint64> ids;
    for (const auto &[id, batch] : batches_)
        ids.push_back(id);
    for (quint64 id : ids)
        EndIfDone(id);
}

void TransferSession::Stop()
{
    for (auto &[id, batch] : batches_) {
        batch.stopped = true;
        batch.listing = false;
        pool_->Cancel(id);
    }
    browsingJobs_.clear();
    EndAllThatAreDone();
}

void TransferSession::Abandon(bool closedByUser, const QString &lostCause)
{
    if (closedByUser) {
        pool_->CloseAll();
        batches_.clear();
        browsingJobs_.clear();
        browsingJob_.reset();
        return;
    }
    for (auto &[id, batch] : batches_)
        batch.listing = false;
    // What waited for the browsing connection cannot run without it.
    const std::deque<TransferJob> unrun = std::exchange(browsingJobs_, {});
    for (const TransferJob &job : unrun)
        NoteFailure(job.batch, lostCause);
    if (browsingJob_)
        NoteFailure(std::exchange(browsingJob_, std::nullopt)->batch, lostCause);
    EndAllThatAreDone();
}

bool TransferSession::Idle() const
{
    return batches_.empty() && !pool_->Busy() && browsingJobs_.empty() && !browsingJob_;
}

qint64 TransferSession::RunBytes() const
{
    qint64 bytes = runBytes_;
    for (const auto &[id, batch] : batches_) {
        for (qint64 running : batch.running)
            bytes += running;
    }
    return bytes;
}
