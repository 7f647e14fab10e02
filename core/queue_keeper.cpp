#include "core/queue_keeper.h"

#include "core/queue_model.h"

#include <utility>

namespace {
constexpr int kProgressSaveInterval = 1000;  // ms
}

QueueKeeper::QueueKeeper(QueueModel *model, const QString &path, QObject *parent)
    : QObject(parent), m_model(model), m_store(path)
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

QueueStore::OpenResult QueueKeeper::Open()
{
    const QueueStore::OpenResult result = m_store.Open();
    m_loading = true;
    m_model->Restore(m_store.Load());
    m_loading = false;
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
