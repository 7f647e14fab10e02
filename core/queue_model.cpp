#include "core/queue_model.h"

#include "core/display_text.h"
#include "core/remote_tree_walks.h"

#include <QCoreApplication>

#include <algorithm>

bool QueueCommandAllowed(QueueCommand command, const QueueConditions &c)
{
    const bool selected = !c.selectedRows.isEmpty();
    const int first = selected ? c.selectedRows.first() : -1;
    switch (command) {
    case QueueCommand::Start:
        return c.connected && !c.engineBusy && !c.running && c.count > c.failedCount;
    case QueueCommand::Delete:
        return !c.engineBusy && !c.running && selected;
    case QueueCommand::DeleteAll:
        return !c.running;
    case QueueCommand::MoveToTop:
    case QueueCommand::MoveToBottom:
        return !c.running && selected;
    case QueueCommand::MoveUp:
        return !c.engineBusy && !c.running && selected && first > 0;
    case QueueCommand::MoveDown:
        return !c.engineBusy && !c.running && selected && first < c.count - 1;
    case QueueCommand::Retry:
        // Only states change: a running queue picks the entries up as it goes.
        return c.failedCount > 0;
    }
    return false;
}

QString JoinLocal(const QString &base, const QString &name)
{
    return base.endsWith(u'/') ? base + name : base + u'/' + name;
}

QueueModel::QueueModel(QObject *parent) : QAbstractTableModel(parent) {}

void QueueModel::SetLooks(const QVariant &uploadIcon, const QVariant &downloadIcon, const QVariant &failedColor)
{
    m_icons[QueueEntry::Upload] = uploadIcon;
    m_icons[QueueEntry::Download] = downloadIcon;
    m_failedColor = failedColor;
    if (!m_entries.empty())
        emit dataChanged(index(0, 0), index(count() - 1, ColumnCount - 1), {Qt::DecorationRole, Qt::ForegroundRole});
}

QList<QueueEntry> QueueModel::entries() const
{
    return QList<QueueEntry>(m_entries.begin(), m_entries.end());
}

void QueueModel::Append(const QList<QueueEntry> &entries)
{
    if (entries.isEmpty())
        return;
    beginInsertRows(QModelIndex(), count(), count() + int(entries.size()) - 1);
    m_entries.insert(m_entries.end(), entries.begin(), entries.end());
    endInsertRows();
}

void QueueModel::Restore(const QList<QueueEntry> &entries)
{
    beginResetModel();
    m_entries.assign(entries.begin(), entries.end());
    m_running = false;
    m_next = 0;
    endResetModel();
}

std::vector<int> QueueModel::SortedRows(const QList<int> &rows) const
{
    std::vector<int> sorted;
    for (int row : rows) {
        if (row >= 0 && row < count())
            sorted.push_back(row);
    }
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    return sorted;
}

void QueueModel::Remove(const QList<int> &rows)
{
    const std::vector<int> sorted = SortedRows(rows);
    // From the bottom up, so that the rows still to remove keep their numbers.
    for (auto it = sorted.rbegin(); it != sorted.rend(); ++it) {
        beginRemoveRows(QModelIndex(), *it, *it);
        m_entries.erase(m_entries.begin() + *it);
        endRemoveRows();
    }
}

void QueueModel::Clear()
{
    if (m_entries.empty())
        return;
    beginResetModel();
    m_entries.clear();
    endResetModel();
}

void QueueModel::Reorder(const std::vector<int> &order)
{
    bool unchanged = true;
    for (size_t i = 0; i < order.size(); ++i)
        unchanged = unchanged && order[i] == int(i);
    if (unchanged)
        return;
    emit layoutAboutToBeChanged();
    std::vector<QueueEntry> entries;
    entries.reserve(m_entries.size());
    std::vector<int> newRowOf(order.size());
    for (size_t i = 0; i < order.size(); ++i) {
        entries.push_back(std::move(m_entries[size_t(order[i])]));
        newRowOf[size_t(order[i])] = int(i);
    }
    m_entries = std::move(entries);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex &old : before)
        after.append(old.row() < count() ? index(newRowOf[size_t(old.row())], old.column()) : old);
    changePersistentIndexList(before, after);
    emit layoutChanged();
}

void QueueModel::MoveToTop(const QList<int> &rows)
{
    const std::vector<int> chosen = SortedRows(rows);
    if (chosen.empty())
        return;
    std::vector<int> order = chosen;
    for (int row = 0; row < count(); ++row) {
        if (!std::binary_search(chosen.begin(), chosen.end(), row))
            order.push_back(row);
    }
    Reorder(order);
}

void QueueModel::MoveToBottom(const QList<int> &rows)
{
    const std::vector<int> chosen = SortedRows(rows);
    if (chosen.empty())
        return;
    std::vector<int> order;
    for (int row = 0; row < count(); ++row) {
        if (!std::binary_search(chosen.begin(), chosen.end(), row))
            order.push_back(row);
    }
    order.insert(order.end(), chosen.begin(), chosen.end());
    Reorder(order);
}

bool QueueModel::MoveUp(int row)
{
    if (row <= 0 || row >= count())
        return false;
    std::vector<int> order(static_cast<size_t>(count()));
    for (int i = 0; i < count(); ++i)
        order[size_t(i)] = i;
    std::swap(order[size_t(row)], order[size_t(row - 1)]);
    Reorder(order);
    return true;
}

bool QueueModel::MoveDown(int row)
{
    if (row < 0 || row >= count() - 1)
        return false;
    return MoveUp(row + 1);
}

void QueueModel::CompleteUploadTargets(const QByteArray &remoteDirectory)
{
    for (int row = 0; row < count(); ++row) {
        QueueEntry &e = m_entries[size_t(row)];
        if (!e.HasRelativeTarget())
            continue;
        e.remotePath = JoinRemotePath(remoteDirectory, e.remotePath);
        emit dataChanged(index(row, TargetColumn), index(row, TargetColumn));
    }
}

void QueueModel::SetState(int row, QueueEntry::State state, const QString &reason)
{
    QueueEntry &e = m_entries[size_t(row)];
    e.state = state;
    e.failureReason = reason;
    emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
}

void QueueModel::SetRunningProgress(qint64 bytesDone)
{
    // A folder's count is its running file's only: it would tell nothing of the folder.
    if (!m_running || m_entries[size_t(m_next)].isDirectory || m_entries[size_t(m_next)].bytesDone == bytesDone)
        return;
    m_entries[size_t(m_next)].bytesDone = bytesDone;
    emit dataChanged(index(m_next, BytesDoneColumn), index(m_next, BytesDoneColumn));
}

int QueueModel::NextWaitingRow() const
{
    for (int row = 0; row < count(); ++row) {
        if (m_entries[size_t(row)].state == QueueEntry::Waiting)
            return row;
    }
    return -1;
}

void QueueModel::MarkRunning(int row, bool started)
{
    QueueEntry &e = m_entries[size_t(row)];
    e.bytesPerSecond = 0;
    e.started = started;
    // A folder counts the bytes of this run's files; a file keeps what a resume will keep.
    if (e.isDirectory)
        e.bytesDone = 0;
    SetState(row, QueueEntry::Running);
}

void QueueModel::MarkStarted(int row)
{
    QueueEntry &e = m_entries[size_t(row)];
    if (e.started)
        return;
    e.started = true;
    emit dataChanged(index(row, StateColumn), index(row, StateColumn));
}

int QueueModel::RunningRowOf(const QueueEntry &entry) const
{
    for (int row = 0; row < count(); ++row) {
        const QueueEntry &e = m_entries[size_t(row)];
        if (e.state == QueueEntry::Running && e.direction == entry.direction && e.localPath == entry.localPath
            && e.remotePath == entry.remotePath)
            return row;
    }
    return -1;
}

void QueueModel::SetProgress(int row, qint64 bytesDone, qint64 bytesPerSecond)
{
    QueueEntry &e = m_entries[size_t(row)];
    if (e.bytesDone == bytesDone && e.bytesPerSecond == bytesPerSecond)
        return;
    e.bytesDone = bytesDone;
    e.bytesPerSecond = bytesPerSecond;
    emit dataChanged(index(row, BytesDoneColumn), index(row, SpeedColumn));
}

void QueueModel::FinishEntry(int row, const QString &failure)
{
    if (failure.isEmpty()) {
        Remove({row});
        return;
    }
    m_entries[size_t(row)].bytesPerSecond = 0;
    SetState(row, QueueEntry::Failed, failure);
}

void QueueModel::HaltAll()
{
    m_running = false;
    for (int row = 0; row < count(); ++row) {
        if (m_entries[size_t(row)].state == QueueEntry::Running) {
            m_entries[size_t(row)].bytesPerSecond = 0;
            SetState(row, QueueEntry::Waiting);
        }
    }
}

int QueueModel::FailedCount() const
{
    return int(std::count_if(m_entries.begin(), m_entries.end(),
                             [](const QueueEntry &e) { return e.state == QueueEntry::Failed; }));
}

int QueueModel::Retry(const QList<int> &rows)
{
    std::vector<int> chosen = SortedRows(rows);
    if (chosen.empty()) {
        for (int row = 0; row < count(); ++row)
            chosen.push_back(row);
    }
    int retried = 0;
    for (int row : chosen) {
        if (m_entries[size_t(row)].state != QueueEntry::Failed)
            continue;
        m_entries[size_t(row)].attempts = 0;
        SetState(row, QueueEntry::Waiting);
        ++retried;
    }
    return retried;
}

int QueueModel::UseRetryOfLastEntry()
{
    if (m_running || m_next >= count())
        return 0;
    QueueEntry &e = m_entries[size_t(m_next)];
    if (e.state != QueueEntry::Waiting || e.attempts >= m_retryLimit)
        return 0;
    ++e.attempts;
    emit dataChanged(index(m_next, 0), index(m_next, ColumnCount - 1));
    return e.attempts;
}

void QueueModel::RestoreRetries()
{
    for (QueueEntry &e : m_entries)
        e.attempts = 0;
}

void QueueModel::Halt()
{
    if (!m_running)
        return;
    m_running = false;
    if (m_next < count() && m_entries[size_t(m_next)].state == QueueEntry::Running)
        SetState(m_next, QueueEntry::Waiting);
}

QueueStep QueueModel::Start(bool connected)
{
    return StartNext(connected);
}

// The next entry is the first that waits: completed ones have left, failed
// ones wait for 重试, and an entry retried meanwhile is not passed over.
QueueStep QueueModel::StartNext(bool connected)
{
    QueueStep step;
    m_next = 0;
    while (m_next < count() && m_entries[size_t(m_next)].state == QueueEntry::Failed)
        ++m_next;
    if (m_next >= count()) {
        m_running = false;
        m_next = 0;
        step.kind = QueueStep::End;
        return step;
    }
    if (!connected) {
        m_running = false;
        step.kind = QueueStep::Stop;
        return step;
    }
    SetState(m_next, QueueEntry::Running);
    const QueueEntry &top = m_entries[size_t(m_next)];
    m_running = true;
    step.localPath = top.localPath;
    step.remotePath = top.remotePath;
    if (top.direction == QueueEntry::Upload)
        step.kind = top.isDirectory ? QueueStep::UploadDirectory : QueueStep::UploadFile;
    else
        step.kind = top.isDirectory ? QueueStep::DownloadDirectory : QueueStep::DownloadFile;
    return step;
}

QueueStep QueueModel::Continue(bool connected, const QString &failure, bool retryable)
{
    if (!m_running)
        return QueueStep();
    // A completion without a connection is a transfer the server cut off:
    // its entry waits for the next start.
    if (!connected) {
        Halt();
        QueueStep step;
        step.kind = QueueStep::Stop;
        return step;
    }
    QueueEntry &e = m_entries[size_t(m_next)];
    if (failure.isEmpty()) {
        Remove({m_next});
    } else if (retryable && e.attempts < m_retryLimit) {
        ++e.attempts;
        SetState(m_next, QueueEntry::Waiting, failure);
        QueueStep step = StartNext(connected);
        step.retry = e.attempts;
        return step;
    } else {
        SetState(m_next, QueueEntry::Failed, failure);
    }
    return StartNext(connected);
}

void QueueModel::ShowFileInFlight(quint64 job, const QueueEntry &file)
{
    if (FlyingRow(job) >= 0)
        return;
    const int row = count() + FilesInFlight();
    beginInsertRows(QModelIndex(), row, row);
    QueueEntry &shown = m_flying.emplace_back(job, file).second;
    shown.state = QueueEntry::Running;
    shown.started = true;
    endInsertRows();
}

void QueueModel::SetFileInFlightProgress(quint64 job, qint64 bytesDone, qint64 bytesPerSecond)
{
    const int row = FlyingRow(job);
    if (row < 0)
        return;
    QueueEntry &e = m_flying[size_t(row - count())].second;
    if (e.bytesDone == bytesDone && e.bytesPerSecond == bytesPerSecond)
        return;
    e.bytesDone = bytesDone;
    e.bytesPerSecond = bytesPerSecond;
    emit dataChanged(index(row, BytesDoneColumn), index(row, SpeedColumn));
}

void QueueModel::DropFileInFlight(quint64 job)
{
    const int row = FlyingRow(job);
    if (row < 0)
        return;
    beginRemoveRows(QModelIndex(), row, row);
    m_flying.erase(m_flying.begin() + (row - count()));
    endRemoveRows();
}

QList<quint64> QueueModel::JobsInFlight() const
{
    QList<quint64> jobs;
    for (const auto &[job, file] : m_flying)
        jobs << job;
    return jobs;
}

int QueueModel::FlyingRow(quint64 job) const
{
    for (size_t i = 0; i < m_flying.size(); ++i) {
        if (m_flying[i].first == job)
            return count() + int(i);
    }
    return -1;
}

int QueueModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : count() + FilesInFlight();
}

Qt::ItemFlags QueueModel::flags(const QModelIndex &index) const
{
    // A file in flight is shown, not handled: the queue's commands never see it.
    if (index.isValid() && index.row() >= count())
        return Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
    return QAbstractTableModel::flags(index);
}

int QueueModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant QueueModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return QVariant();
    const QueueEntry &e = index.row() < count() ? entry(index.row()) : m_flying[size_t(index.row() - count())].second;
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        switch (index.column()) {
        case SourceColumn: return e.SourceText();
        case SizeColumn: return e.sizeText;
        case TargetColumn: return e.TargetText();
        case StateColumn: return e.StateText();
        case BytesDoneColumn: return e.BytesDoneText();
        case SpeedColumn: return e.SpeedText();
        default: return QVariant();
        }
    case Qt::ForegroundRole:
        return e.state == QueueEntry::Failed ? m_failedColor : QVariant();
    case Qt::DecorationRole:
        return index.column() == SourceColumn ? m_icons[e.direction] : QVariant();
    case Qt::TextAlignmentRole:
        return index.column() == SizeColumn || index.column() == BytesDoneColumn || index.column() == SpeedColumn
            ? QVariant(int(Qt::AlignRight | Qt::AlignVCenter))
            : QVariant();
    case RemotePathRole: return e.remotePath;
    case LocalPathRole: return e.localPath;
    case DirectionRole: return int(e.direction);
    case IsDirectoryRole: return e.isDirectory;
    case StateRole: return int(e.state);
    default: return QVariant();
    }
}

QVariant QueueModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return QVariant();
    if (role == Qt::TextAlignmentRole && (section == SizeColumn || section == BytesDoneColumn || section == SpeedColumn))
        return int(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole)
        return QVariant();
    switch (section) {
    case SourceColumn: return QCoreApplication::translate("QueueModel", "源文件路径");
    case SizeColumn: return QCoreApplication::translate("QueueModel", "文件大小");
    case TargetColumn: return QCoreApplication::translate("QueueModel", "目标路径");
    case StateColumn: return QCoreApplication::translate("QueueModel", "状态");
    case BytesDoneColumn: return QCoreApplication::translate("QueueModel", "已传输");
    case SpeedColumn: return QCoreApplication::translate("QueueModel", "速度");
    default: return QVariant();
    }
}
