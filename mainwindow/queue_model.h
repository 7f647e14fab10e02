#pragma once
// The batch queue `spool`: one row per transfer waiting its turn, run one at a
// time from the top. Remote paths are kept as the server's bytes (they go back
// to it unchanged); what the rows show is decoded and made safe to paint. The
// list operations and the choice of the next step live here, without a
// window, so that they are tested on their own.

#include <QAbstractTableModel>
#include <QByteArray>
#include <QIcon>
#include <QList>
#include <QString>

#include <vector>

struct QueueEntry {
    enum Direction : int { Upload = 0, Download = 1 };  // also the direction icon's index

    Direction direction = Upload;
    // Kept apart from the size text: a listing may give a file no size, and
    // such a file must not be walked as a directory.
    bool isDirectory = false;
    QString localPath;      // upload: the source; download: the target
    QByteArray remotePath;  // upload: the target, only the name when added offline; download: the source
    QString sizeText;       // as the dragged entry showed it; empty for directories

    // The row's columns: "源文件路径" and "目标路径".
    QString SourceText() const;
    QString TargetText() const;
    // An upload added while not connected knows only the name of its target.
    bool HasRelativeTarget() const { return direction == Upload && !remotePath.startsWith('/'); }
};

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
};

// Why a command of the queue is refused, or not.
struct QueueConditions {
    bool engineBusy = false;
    bool connected = false;
    bool running = false;     // the queue runs a sequence of its own
    QList<int> selectedRows;  // in list order
    int count = 0;
};

enum class QueueCommand { Start, Delete, DeleteAll, MoveToTop, MoveToBottom, MoveUp, MoveDown };

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
    enum Column { SourceColumn = 0, SizeColumn = 1, TargetColumn = 2, ColumnCount = 3 };
    enum Role { RemotePathRole = Qt::UserRole + 1, LocalPathRole, DirectionRole, IsDirectoryRole };

    explicit QueueModel(QObject *parent = nullptr);

    // The queue's image list: the upload and the download icon.
    void SetDirectionIcons(const QIcon &upload, const QIcon &download);

    int count() const { return int(m_entries.size()); }
    const QueueEntry &entry(int row) const { return m_entries[size_t(row)]; }
    QList<QueueEntry> entries() const;

    void Append(const QList<QueueEntry> &entries);
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
    // The continuation: the running entry has completed and is removed (kept,
    // and passed over, when it failed); then the next one starts, or the queue
    // has ended. Without a connection the queue stops instead, keeping the
    // entry the server cut off.
    QueueStep Continue(bool connected, bool succeeded = true);
    // The queue stopped without a completion: nothing is running any more.
    void Halt() { m_running = false; }
    bool Running() const { return m_running; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    // Puts the entries in the order of `order` (old row numbers).
    void Reorder(const std::vector<int> &order);
    std::vector<int> SortedRows(const QList<int> &rows) const;

    std::vector<QueueEntry> m_entries;
    QIcon m_icons[2];
    bool m_running = false;
    // The entry that runs: the failed ones before it stay for another start.
    int m_next = 0;
    QueueStep StartNext(bool connected);
};
