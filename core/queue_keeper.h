#pragma once
// Keeps the queue file in step with the queue's list: every change of an
// entry is written at once, progress at most once a second (a restart only
// loses the figure of the last second; the transfer resumes from the file).

#include "core/queue_store.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

class QueueModel;

class QueueKeeper : public QObject
{
    Q_OBJECT
public:
    QueueKeeper(QueueModel *model, const QString &path, QObject *parent = nullptr);
    ~QueueKeeper() override;

    // Opens the file and shows its queue in the list.
    QueueStore::OpenResult Open();
    const QueueStore &Store() const { return m_store; }
    // Writes progress that is still waiting for its second.
    void Flush();

signals:
    // The file could not take the queue (a full disk, say): said once until
    // a later write succeeds; the list keeps every entry meanwhile.
    void SaveFailed(const QString &why);
    void SaveRecovered();

private:
    void SaveNow();
    void OnDataChanged(int firstColumn, int lastColumn);

    QPointer<QueueModel> m_model;
    QueueStore m_store;
    QTimer m_progressTimer;
    bool m_loading = false;
    bool m_failing = false;
    bool m_entryLeaving = false;
};
