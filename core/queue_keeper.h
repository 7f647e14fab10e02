#pragma once
// Keeps the queue file in step with the queue's list: every change of an
// entry is written at once, progress at most once a second (a restart only
// loses the figure of the last second; the transfer resumes from the file).
//
// One running program per file: a second window (建立进程) would otherwise
// write its queue over the first one's. The first file no running program
// holds is this program's (queue.sqlite, then queue-2.sqlite, ...), and the
// entries of files left by programs that have ended are taken into it.

#include "core/queue_store.h"

#include <QLockFile>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <memory>
#include <vector>

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
    // The file asked for, when another running program holds it; else empty.
    QString HeldElsewhere() const { return m_heldElsewhere; }
    // Entries taken in from files of programs that have ended.
    int TakenIn() const { return m_takenIn; }
    // Every file of the set is held by another running program.
    bool AllHeldElsewhere() const { return m_allHeld; }
    static constexpr int kQueueFiles = 16;
    // Writes progress that is still waiting for its second.
    void Flush();

signals:
    // The file could not take the queue (a full disk, say): said once until
    // a later write succeeds; the list keeps every entry meanwhile.
    void SaveFailed(const QString &why);
    void SaveRecovered();

private:
    // The n-th file of the set: the path asked for, then its "-n" siblings.
    QString Candidate(int n) const;
    bool Claim();
    struct LeftBehind {
        QList<QueueEntry> entries;
        QStringList paths;
        std::vector<std::unique_ptr<QLockFile>> locks;  // held until the files are gone
    };
    LeftBehind TakeLeftBehind();
    void SaveNow();
    void OnDataChanged(int firstColumn, int lastColumn);

    QPointer<QueueModel> m_model;
    QString m_firstPath;
    QueueStore m_store;
    std::unique_ptr<QLockFile> m_claim;
    QString m_heldElsewhere;
    bool m_allHeld = false;
    int m_takenIn = 0;
    QTimer m_progressTimer;
    bool m_loading = false;
    bool m_failing = false;
    bool m_entryLeaving = false;
};
