#pragma once
// The batch queue on disk: an SQLite file in the settings folder, rewritten
// whole in one transaction at every change, so that a program killed at any
// moment leaves either the queue before the change or the one after it.
// Without widgets; it reports what happened as codes and the window words them.

#include "core/queue_entry.h"

#include <QList>
#include <QString>

class QueueStore
{
public:
    enum class OpenResult {
        Opened,      // the file was there and readable
        Created,     // there was no file: an empty queue
        KeptAside,   // the file was damaged or a newer version's: renamed to KeptAsidePath(), an empty queue
        Unavailable, // no file can be used: the queue lives in memory only
    };

    explicit QueueStore(QString path);
    ~QueueStore();
    QueueStore(const QueueStore &) = delete;
    QueueStore &operator=(const QueueStore &) = delete;

    OpenResult Open();
    // Another file, while closed.
    void SetPath(QString path) { m_path = std::move(path); }
    bool IsOpen() const { return !m_connection.isEmpty(); }

    // The queue as saved, in order. An entry that was running when the
    // program ended waits: its transfer resumes at the next start.
    QList<QueueEntry> Load();
    bool Save(const QList<QueueEntry> &entries);

    // "ok" when SQLite finds the file sound.
    QString IntegrityCheck();

    QString Path() const { return m_path; }
    QString KeptAsidePath() const { return m_keptAside; }
    // The file kept aside was sound, written by a newer version of the program.
    bool KeptAsideFromNewerVersion() const { return m_newer; }
    QString LastError() const { return m_error; }

private:
    bool OpenConnection();
    void CloseConnection();
    bool Prepare();  // pragmas and schema; false when the file is not a sound queue file
    bool KeepAside();

    QString m_path;
    QString m_connection;  // Qt SQL's connection name; empty while closed
    QString m_keptAside;
    QString m_error;
    bool m_newer = false;
};
