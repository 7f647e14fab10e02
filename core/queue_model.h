#pragma once
// The batch queue `spool`: one row per transfer waiting its turn, run one at a
// time from the top. Remote paths are kept as the server's bytes (they go back
// to it unchanged); what the rows show is decoded and made safe to paint. The
// list operations and the choice of the next step live here, without a
// window, so that they are tested on their own.

#include "core/transfer_job.h"
#include "engine/ftp_types.h"
#include "core/queue_entry.h"

#include <QAbstractTableModel>
#include <QByteArray>
#include <QVariant>
#include <QList>
#include <QString>

#include <algorithm>
#include <vector>

// What the window does for the entry at the top of the queue.
struct QueueStep {
    enum Kind {
        None,               // nothing to start
        UploadFile,         // Uploadii with localPath -> remotePath
        UploadDirectory,    // the upload walk from localPath into remotePath
        DownloadFile,       // Downloadii with remotePath -> localPath
        DownloadDirectory,  // the download walk from remotePath into localPath
        Stop,               // not connected: the queue stops, its entries kept
        End,                // the queue is empty: it has ended
    };
    Kind kind = None;
    QString localPath;
    QByteArray remotePath;
    // The entry runs again after a connection failure: this is its retry.
    int retry = 0;
};

// Why a command of the queue is refused, or not.
struct QueueConditions {
    bool engineBusy = false;
    bool connected = false;
    bool running = false;     // the queue runs a sequence of its own
    QList<int> selectedRows;  // in list order
    int count = 0;
    int failedCount = 0;
};

enum class QueueCommand { Start, Delete, DeleteAll, MoveToTop, MoveToBottom, MoveUp, MoveDown, Retry };

// The command table's conditions, with the queue's own: nothing that removes
// or reorders entries acts while the queue runs, since the entry at the top is
// the one being transferred.
bool QueueCommandAllowed(QueueCommand command, const QueueConditions &conditions);


// `base` and `name` joined with one separator between them (the remote twin
// is JoinRemotePath).
QString JoinLocal(const QString &base, const QString &name);

class QueueModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column {
        SourceColumn = 0,
        SizeColumn = 1,
        TargetColumn = 2,
        StateColumn = 3,      // 状态
        BytesDoneColumn = 4,  // 已传输
        SpeedColumn = 5,      // 速度
        ColumnCount = 6
    };
    enum Role { RemotePathRole = Qt::UserRole + 1, LocalPathRole, DirectionRole, IsDirectoryRole, StateRole };

    explicit QueueModel(QObject *parent = nullptr);

    // How rows look, given by the window (the model has no icon theme or
    // palette): the upload and the download icon, and the failed entries'
    // text colour, each as the value its role shows.
    void SetLooks(const QVariant &uploadIcon, const QVariant &downloadIcon, const QVariant &failedColor);

    int count() const { return int(m_entries.size()); }
    const QueueEntry &entry(int row) const { return m_entries[size_t(row)]; }
    QList<QueueEntry> entries() const;

    void Append(const QList<QueueEntry> &entries);
    // The queue as an earlier run left it.
    void Restore(const QList<QueueEntry> &entries);
    // Rows outside the list are skipped.
    void Remove(const QList<int> &rows);
    void Clear();

    // 移到顶端: the entries not given go, in order, behind the given ones.
    void MoveToTop(const QList<int> &rows);
    // 移到底端: the given entries go, in order, to the end.
    void MoveToBottom(const QList<int> &rows);
    // One step up or down; false (nothing moves) at the ends or outside the list.
    bool MoveUp(int row);
    bool MoveDown(int row);
    // Moves keep persistent indexes, so a view's selection follows its entries.

    // Uploads added offline get the remote directory they will go into.
    void CompleteUploadTargets(const QByteArray &remoteDirectory);

    // The start rule: what to do for the entry at the top, which becomes the
    // running one. Without a connection nothing starts: a transfer that cannot
    // run would complete at once and take its entry along.
    QueueStep Start(bool connected);
    // The continuation: the running entry has completed and is removed. A
    // failed one stays, marked with `failure`, and is passed over, unless the
    // failure was the connection's (`retryable`) and the entry has retries
    // left: then it runs again. Then the next waiting entry starts, or the
    // queue has ended. Without a connection the queue stops instead, keeping
    // the entry the server cut off as waiting.
    QueueStep Continue(bool connected, const QString &failure = QString(), bool retryable = false);
    // The queue stopped without a completion: the running entry waits again.
    void Halt();
    bool Running() const { return m_running; }
    int RunningRow() const { return m_running ? m_next : -1; }
    // Automatic retries of an entry after connection failures.
    void SetRetryLimit(int retries) { m_retryLimit = std::max(0, retries); }
    // The running entry's progress, for the "已传输" column.
    void SetRunningProgress(qint64 bytesDone);
    // 重试: the given failed entries, or every failed one when none is given,
    // wait again with their retries restored. The count made waiting.
    int Retry(const QList<int> &rows);
    // The connection went away under the entry that ran last: one of its
    // retries is used, if it has any left. The retry's number, or 0.
    int UseRetryOfLastEntry();
    // A start by hand gives every entry its retries back.
    void RestoreRetries();
    int FailedCount() const;

    // A run over the transfer connections: several entries run at once, each
    // found again by what it is (rows move as finished ones leave).
    int NextWaitingRow() const;
    // `started` false: handed out, waiting for a connection to take it up.
    void MarkRunning(int row, bool started = true);
    void MarkStarted(int row);
    int RunningRowOf(const QueueEntry &entry) const;
    void SetProgress(int row, qint64 bytesDone, qint64 bytesPerSecond);
    // Done entries leave; failed ones stay, marked with the reason.
    void FinishEntry(int row, const QString &failure);
    // Every running entry waits again (the run stopped).
    void HaltAll();

    // Files that move between the panes outside the queue (a tree over the
    // transfer connections, a queued folder's files): each shows under the
    // queue's entries while it moves, with its progress. They are no entries:
    // never stored, selected or counted, and rows from count() on.
    void ShowFileInFlight(quint64 job, const QueueEntry &file);
    void SetFileInFlightProgress(quint64 job, qint64 bytesDone, qint64 bytesPerSecond);
    void DropFileInFlight(quint64 job);
    int FilesInFlight() const { return int(m_flying.size()); }
    QList<quint64> JobsInFlight() const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    // Puts the entries in the order of `order` (old row numbers).
    void Reorder(const std::vector<int> &order);
    void SetState(int row, QueueEntry::State state, const QString &reason = QString());
    std::vector<int> SortedRows(const QList<int> &rows) const;
    // The shown row of a file in flight; -1 when it is not shown.
    int FlyingRow(quint64 job) const;

    std::vector<QueueEntry> m_entries;
    std::vector<std::pair<quint64, QueueEntry>> m_flying;  // a few: one per connection
    QVariant m_icons[2];
    QVariant m_failedColor;
    bool m_running = false;
    // The entry that runs: the failed ones before it stay for another start.
    int m_next = 0;
    int m_retryLimit = 2;
    QueueStep StartNext(bool connected);
};
