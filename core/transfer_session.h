#pragma once
// The owner of every transfer result of a browsing session. Files come in
// batches (a walk's files, or one queue entry's) and go to the session's
// transfer connections; each result goes to its batch, a batch ends when its
// walk has listed its last folder and its last file has ended, and the run
// ends with the last batch. When the server takes no transfer connection the
// files wait here for the browsing connection to carry them, one at a time.
// The window shows what the signals say and decides nothing of this.

#include "core/connection_profile.h"
#include "core/transfer_job.h"
#include "core/transfer_pool.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <deque>
#include <map>
#include <optional>

struct TransferBatch {
    quint64 id = 0;
    bool download = true;
    bool listing = true;   // its walk still lists folders and hands out files
    bool stopped = false;  // the user stopped it: its failures are not told
    // A queue entry's batch: the entry, found again by what it is.
    bool queueEntry = false;
    int entryDirection = 0;
    QString entryLocal;
    QByteArray entryRemote;
    QString firstFailure;
    qint64 bytesDone = 0;            // of its ended files
    QHash<quint64, qint64> running;  // job -> bytes so far
    qint64 startedAt = 0;            // ms on the run's clock
    bool started = false;            // a connection has taken up one of its files

    qint64 BytesSoFar() const;
};

class TransferSession : public QObject {
    Q_OBJECT
public:
    explicit TransferSession(QObject *parent = nullptr);

    TransferPool &Pool() { return *pool_; }
    const TransferPool &Pool() const { return *pool_; }

    // At a login: a new login closes the old one's connections and forgets
    // its batches; the same login again (after a cut) keeps what runs.
    void StartSession(const ConnectionProfile &profile);
    // The settings of the moment, for the batches from now on.
    void Configure(int connections, int retries, qint64 downloadLimit, qint64 uploadLimit);

    quint64 OpenBatch(bool download);
    TransferBatch *Find(quint64 id);
    // False, nothing added, when the same target is on its way.
    bool Submit(const TransferJob &job);
    void EndListing(quint64 id);
    // The first failure of a batch is the one its queue entry is marked with.
    void NoteFailure(quint64 id, const QString &cause);

    // The server took no transfer connection in this session.
    bool FallenBack() const { return fallenBack_; }
    std::optional<TransferJob> TakeBrowsingJob();
    bool BrowsingJobRunning() const { return browsingJob_.has_value(); }
    // The browsing connection has ended the file it carried; `failure` is
    // empty when it arrived.
    void EndBrowsingJob(qint64 bytesDone, const QString &failure);

    // 停止: every batch stops; their files end without being told as failures.
    void Stop();
    // The browsing session ended. Closed by the user: everything stops and is
    // forgotten. Lost: what the transfer connections run goes on; what waited
    // for the browsing connection fails with it.
    void Abandon(bool closedByUser, const QString &lostCause);

    bool Idle() const;
    bool HasBatches() const { return !batches_.empty(); }
    // The run: from its first batch to its last.
    qint64 RunBytes() const;
    qint64 RunElapsed() const { return runClock_.isValid() ? runClock_.elapsed() : 0; }
    int WaitingCount() const { return pool_->WaitingCount() + int(browsingJobs_.size()); }
    int RunningCount() const { return pool_->RunningCount() + (browsingJob_ ? 1 : 0); }

signals:
    void FileFailed(const TransferJob &job, const TransferOutcome &outcome);
    void FileRetrying(const TransferJob &job);
    // The first of the batch's files has a connection.
    void BatchStarted(const TransferBatch &batch);
    void BatchProgress(const TransferBatch &batch);
    void BatchEnded(const TransferBatch &batch);
    // The last batch has ended.
    void RunEnded();
    // The first file the server left to the browsing connection.
    void FellBack(const QString &detail);
    void BrowsingJobsWaiting();

private:
    void OnProgress(const TransferJob &job, qint64 bytesDone);
    void OnFinished(const TransferJob &job, const TransferOutcome &outcome);
    void OnRefused(const QString &detail);
    void EndIfDone(quint64 id);
    void EndAllThatAreDone();
    bool BrowsingHolds(quint64 id) const;

    TransferPool *pool_;
    std::map<quint64, TransferBatch> batches_;
    quint64 nextBatch_ = 1;
    bool fallenBack_ = false;
    std::deque<TransferJob> browsingJobs_;
    std::optional<TransferJob> browsingJob_;
    QElapsedTimer runClock_;
    qint64 runBytes_ = 0;  // ended files of the run
};
