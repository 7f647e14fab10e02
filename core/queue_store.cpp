#include "core/queue_store.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>
#include <atomic>
#include <iterator>

namespace {

constexpr int kSchemaVersion = 1;

// One Qt SQL connection per store, each with a name of its own.
QString NewConnectionName()
{
    static std::atomic<int> counter{0};
    return QStringLiteral("tarvo-queue-%1").arg(++counter);
}

bool Exec(QSqlQuery &query, const QString &sql, QString *error)
{
    if (query.exec(sql))
        return true;
    *error = query.lastError().text();
    return false;
}

} // namespace

QueueStore::QueueStore(QString path) : m_path(std::move(path)) {}

QueueStore::~QueueStore()
{
    CloseConnection();
}

bool QueueStore::OpenConnection()
{
    const QString name = NewConnectionName();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(m_path);
        if (!db.open()) {
            m_error = db.lastError().text();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(name);
            return false;
        }
    }
    m_connection = name;
    return true;
}

void QueueStore::CloseConnection()
{
    if (m_connection.isEmpty())
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(std::exchange(m_connection, QString()));
}

// WAL with synchronous=NORMAL: a commit reaches the operating system before
// Save returns, so a killed program loses nothing; only a power cut can lose
// the last commits, and even then the file stays sound. FULL would add a
// flush to the disk at every change of the queue, progress included.
bool QueueStore::Prepare()
{
    // The file is read before anything is written to it: a newer version's
    // file is kept aside byte for byte.
    QSqlQuery query(QSqlDatabase::database(m_connection));
    if (!Exec(query, QStringLiteral("PRAGMA quick_check"), &m_error))
        return false;
    if (!query.next() || query.value(0).toString() != QStringLiteral("ok")) {
        m_error = query.value(0).toString();
        return false;
    }
    if (!Exec(query, QStringLiteral("PRAGMA user_version"), &m_error) || !query.next())
        return false;
    const int version = query.value(0).toInt();
    if (version != 0 && version != kSchemaVersion) {
        m_newer = version > kSchemaVersion;
        m_error = QStringLiteral("schema version %1").arg(version);
        return false;
    }
    if (!Exec(query, QStringLiteral("PRAGMA journal_mode=WAL"), &m_error)
        || !Exec(query, QStringLiteral("PRAGMA synchronous=NORMAL"), &m_error))
        return false;
    if (version == kSchemaVersion)
        return true;
    return Exec(query,
                QStringLiteral("CREATE TABLE IF NOT EXISTS entries ("
                               "position INTEGER PRIMARY KEY, direction INTEGER NOT NULL, "
                               "is_directory INTEGER NOT NULL, local_path TEXT, remote_path BLOB, "
                               "size_text TEXT, state INTEGER NOT NULL, reason TEXT, "
                               "bytes_done INTEGER NOT NULL, attempts INTEGER NOT NULL)"),
                &m_error)
        && Exec(query, QStringLiteral("PRAGMA user_version=%1").arg(kSchemaVersion), &m_error);
}

// The file and its journal keep their bytes under a name that says why:
// the newer version that wrote it can have it back.
bool QueueStore::KeepAside()
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QString why = m_newer ? QStringLiteral(".newer-version-") : QStringLiteral(".damaged-");
    QString aside = m_path + why + stamp;
    for (int n = 2; QFileInfo::exists(aside); ++n)
        aside = m_path + why + QStringLiteral("%1-%2").arg(stamp).arg(n);
    if (!QFile::rename(m_path, aside))
        return false;
    QFile::rename(m_path + QStringLiteral("-wal"), aside + QStringLiteral("-wal"));
    QFile::remove(m_path + QStringLiteral("-shm"));
    m_keptAside = aside;
    return true;
}

QueueStore::OpenResult QueueStore::Open()
{
    CloseConnection();
    m_keptAside.clear();
    m_newer = false;
    const bool existed = QFileInfo::exists(m_path);
    if (!existed)
        QDir().mkpath(QFileInfo(m_path).absolutePath());
    if (OpenConnection() && Prepare())
        return existed ? OpenResult::Opened : OpenResult::Created;
    CloseConnection();
    const QString why = m_error;
    if (!existed || !KeepAside())
        return OpenResult::Unavailable;
    if (!OpenConnection() || !Prepare()) {
        CloseConnection();
        return OpenResult::Unavailable;
    }
    m_error = why;
    return OpenResult::KeptAside;
}

QList<QueueEntry> QueueStore::Load()
{
    QList<QueueEntry> entries;
    if (!IsOpen())
        return entries;
    QSqlQuery query(QSqlDatabase::database(m_connection));
    if (!Exec(query,
              QStringLiteral("SELECT direction, is_directory, local_path, remote_path, size_text, state, reason, "
                             "bytes_done, attempts FROM entries ORDER BY position"),
              &m_error))
        return entries;
    while (query.next()) {
        QueueEntry e;
        e.direction = query.value(0).toInt() == QueueEntry::Download ? QueueEntry::Download : QueueEntry::Upload;
        e.isDirectory = query.value(1).toBool();
        e.localPath = query.value(2).toString();
        e.remotePath = query.value(3).toByteArray();
        e.sizeText = query.value(4).toString();
        const int state = query.value(5).toInt();
        e.state = state >= QueueEntry::Waiting && state <= QueueEntry::Failed ? QueueEntry::State(state)
                                                                                : QueueEntry::Waiting;
        if (e.state == QueueEntry::Running)
            e.state = QueueEntry::Waiting;
        e.failureReason = query.value(6).toString();
        e.bytesDone = std::max<qint64>(0, query.value(7).toLongLong());
        e.attempts = std::max(0, query.value(8).toInt());
        entries << e;
    }
    return entries;
}

bool QueueStore::Save(const QList<QueueEntry> &entries)
{
    if (!IsOpen())
        return false;
    QSqlDatabase db = QSqlDatabase::database(m_connection);
    if (!db.transaction()) {
        m_error = db.lastError().text();
        return false;
    }
    QSqlQuery query(db);
    bool ok = Exec(query, QStringLiteral("DELETE FROM entries"), &m_error)
        && query.prepare(QStringLiteral("INSERT INTO entries (position, direction, is_directory, local_path, "
                                        "remote_path, size_text, state, reason, bytes_done, attempts) "
                                        "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    for (int i = 0; ok && i < entries.size(); ++i) {
        const QueueEntry &e = entries[i];
        const QVariant values[] = {i, int(e.direction), int(e.isDirectory), e.localPath, e.remotePath,
                                   e.sizeText, int(e.state), e.failureReason, e.bytesDone, e.attempts};
        for (int column = 0; column < int(std::size(values)); ++column)
            query.bindValue(column, values[column]);
        ok = query.exec();
        if (!ok)
            m_error = query.lastError().text();
    }
    if (ok && db.commit())
        return true;
    if (ok)
        m_error = db.lastError().text();
    db.rollback();
    return false;
}

QString QueueStore::IntegrityCheck()
{
    if (!IsOpen())
        return QString();
    QSqlQuery query(QSqlDatabase::database(m_connection));
    if (!Exec(query, QStringLiteral("PRAGMA integrity_check"), &m_error) || !query.next())
        return m_error;
    return query.value(0).toString();
}
