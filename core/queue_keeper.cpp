#include "core/queue_keeper.h"

#include "core/queue_model.h"

#include <QFile>
#include <QFileInfo>

#include <utility>

namespace {
constexpr int kProgressSaveInterval = 1000;  // ms

// The lock of a queue file, or null with why not: held by a running program
// (LockFailedError), or the folder takes no lock file at all.
std::unique_ptr<QLockFile> TryHold(const QString &path, QLockFile::LockError *error = nullptr)
{
    auto lock = std::make_unique<QLockFile>(path + QStringLiteral(".lock"));
    // Held for the program's life: only a holder that is gone (its process
    // ended, killed or not) makes the lock stale.
    lock->setStaleLockTime(0);
    if (lock->tryLock(0))
        return lock;
    if (error)
        *error = lock->error();
    return nullptr;
}

void RemoveQueueFile(const QString &path)
{
    QFile::remove(path + QStringLiteral("-wal"));
    QFile::remove(path + QStringLiteral("-shm"));
    QFile::remove(path);
}
} // namespace

QueueKeeper::QueueKeeper(QueueModel *model, const QString &path, QObject *parent)
    : QObject(parent), m_model(model), m_firstPath(path), m_store(path)
{
    m_progressTimer.setSingleShot(true);
    m_progressTimer.setInterval(kProgressSaveInterval);
    connect(&m_progressTimer, &QTimer::timeout, this, &QueueKeeper::SaveNow);
    // Rows from count() on are files in flight, not entries: nothing to keep.
    connect(model, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex &, int first) {
        if (first < m_model->count())
            SaveNow();
    });
    connect(model, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex &, int first) { m_entryLeaving = first < m_model->count(); });
    connect(model, &QAbstractItemModel::rowsRemoved, this, [this] {
        if (std::exchange(m_entryLeaving, false))
            SaveNow();
    });
    connect(model, &QAbstractItemModel::layoutChanged, this, &QueueKeeper::SaveNow);
    connect(model, &QAbstractItemModel::modelReset, this, &QueueKeeper::SaveNow);
    connect(model, &QAbstractItemModel::dataChanged, this, [this](const QModelIndex &from, const QModelIndex &to) {
        if (from.row() < m_model->count())
            OnDataChanged(from.column(), to.column());
    });
}

QueueKeeper::~QueueKeeper() = default;

void QueueKeeper::Flush()
{
    if (m_progressTimer.isActive())
        SaveNow();
}

QString QueueKeeper::Candidate(int n) const
{
    if (n == 1)
        return m_firstPath;
    const QFileInfo first(m_firstPath);
    const QString suffix = first.suffix().isEmpty() ? QString() : u'.' + first.suffix();
    return first.path() + u'/' + first.completeBaseName() + u'-' + QString::number(n) + suffix;
}

bool QueueKeeper::Claim()
{
    for (int n = 1; n <= kQueueFiles; ++n) {
        QLockFile::LockError error = QLockFile::NoError;
        if (auto lock = TryHold(Candidate(n), &error)) {
            m_claim = std::move(lock);
            m_store.SetPath(Candidate(n));
            if (n > 1)
                m_heldElsewhere = m_firstPath;
            return true;
        }
        if (error != QLockFile::LockFailedError) {
            // No lock can be made here (a read-only folder, say): the first
            // file serves as before, or says itself why it cannot.
            m_store.SetPath(m_firstPath);
            return true;
        }
    }
    m_allHeld = true;
    return false;
}

// The queues of programs that ended while another one held the first file.
QueueKeeper::LeftBehind QueueKeeper::TakeLeftBehind()
{
    LeftBehind left;
    for (int n = 1; n <= kQueueFiles; ++n) {
        const QString path = Candidate(n);
        if (path == m_store.Path() || !QFileInfo::exists(path))
            continue;
        std::unique_ptr<QLockFile> lock = TryHold(path);
        if (!lock)
            continue;  // its program still runs
        QueueStore other(path);
        if (other.Open() != QueueStore::OpenResult::Opened)
            continue;  // a damaged one was kept aside under its own name
        left.entries += other.Load();
        left.paths << path;
        left.locks.push_back(std::move(lock));
    }
    return left;
}

QueueStore::OpenResult QueueKeeper::Open()
{
    if (!Claim())
        return QueueStore::OpenResult::Unavailable;
    const QueueStore::OpenResult result = m_store.Open();
    const QList<QueueEntry> entries = m_store.Load();
    const LeftBehind left = m_store.IsOpen() ? TakeLeftBehind() : LeftBehind();
    m_loading = true;
    m_model->Restore(entries + left.entries);
    m_loading = false;
    // The other files go only once this one holds their entries.
    if (left.entries.isEmpty() || m_store.Save(m_model->entries())) {
        m_takenIn = int(left.entries.size());
        for (const QString &path : left.paths)
            RemoveQueueFile(path);
    }
    return result;
}

void QueueKeeper::SaveNow()
{
    if (m_loading || !m_model || !m_store.IsOpen())
        return;
    m_progressTimer.stop();
    const bool saved = m_store.Save(m_model->entries());
    if (!saved && !std::exchange(m_failing, true))
        emit SaveFailed(m_store.LastError());
    else if (saved && std::exchange(m_failing, false))
        emit SaveRecovered();
}

void QueueKeeper::OnDataChanged(int firstColumn, int lastColumn)
{
    const bool progressOnly = firstColumn >= QueueModel::BytesDoneColumn && lastColumn <= QueueModel::SpeedColumn;
    if (!progressOnly)
        SaveNow();
    else if (!m_progressTimer.isActive())
        m_progressTimer.start();
}
