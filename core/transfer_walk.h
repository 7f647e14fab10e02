#pragma once
// The transfers between the panes as a plain class: the pending lists of a
// download or upload walk and the answer to each engine event, the next
// operation to start. The main window carries the answers out; the order of
// operations and the refusal of hostile names and loops are tested here
// without a server.

#include "core/remote_loop_guard.h"
#include "core/remote_tree_walks.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>
#include <utility>

// One entry of a local directory as the upload walk sees it.
struct LocalItem {
    QString name;
    bool isDirectory = false;
};

// The next operation of a transfer walk. Remote paths are the server's bytes.
struct TransferStep {
    enum Kind {
        None,
        Download,                // remotePath -> localPath (name case already applied)
        Upload,                  // localPath -> remotePath (blanks already "_")
        EnterDownloadDirectory,  // create localPath with its parents, show it, change to remotePath
        MakeUploadDirectory,     // show localPath, create remotePath on the server
        ChangeUploadDirectory,   // change to remotePath, the directory just created
        DownloadsEnded,          // the download sequence is over
        UploadsEnded,            // the upload sequence is over
    };
    Kind kind = None;
    QByteArray remotePath;
    QString localPath;
    bool setBusy = false;
    // A directory entered for nothing (a loop, or the server stayed where it
    // was): the empty local directory made for it goes again.
    QString removeEmptyLocalDirectory;
    // Lines for the log: what was skipped, and why.
    QStringList log;
};

// The downfilenamecase rule on a local path: the ASCII letters of the last
// component only (the file system tells case apart, so the directories the
// walk created keep their names). 1 keeps, 2 upper, 3 lower.
QString ConvertDownloadNameCase(const QString &localPath, int downfilenamecase);

// The log line for a listed name that is never used as a path.
QString UnsafeNameLogLine(const QString &name);

// A name usable as one component of a local path: not empty, ".", "..",
// and without "/" or NUL.
bool IsSafeLocalName(const QString &name);

class TransferWalk
{
public:
    // Download: the remote lists are the sources, the local ones the targets;
    // upload: the other way round. Entry i of a directory list belongs with
    // entry i of the other directory list, and the same for files.
    QByteArrayList PendingRemoteDirs;
    QStringList PendingLocalDirs;
    QByteArrayList PendingRemoteFiles;
    QStringList PendingLocalFiles;

    bool DownloadTreeActive = false;  // the next listing belongs to onDownloadListing
    bool UploadTreeActive = false;    // the next directory change belongs to onUploadDirectoryChanged
    QString UploadSourceDir;
    QByteArray UploadTargetDir;

    // downfilenamecase at the time the walk runs.
    int NameCase = 1;
    // Directories deeper than this below the walk's start are not entered.
    int MaxDepth = 64;
    // Local names as the server's bytes (UTF-8, or GB18030 for a server whose
    // names are not UTF-8).
    std::function<QByteArray(const QString &)> EncodeRemote = [](const QString &s) { return s.toUtf8(); };
    // Remote names as local names.
    std::function<QString(const QByteArray &)> DecodeRemote;
    // The entries of a local directory; the default reads the disk.
    std::function<QList<LocalItem>(const QString &directory)> ReadLocalDirectory;
    // Identity of a local directory (device, inode); false when it cannot be read.
    std::function<bool(const QString &directory, std::pair<quint64, quint64> *id)> LocalDirectoryId;

    TransferWalk();

    enum Direction { Idle, Downloading, Uploading };
    Direction direction() const { return m_direction; }
    bool running() const { return m_direction != Idle; }

    // A selection of the remote list dropped on the local list; wholeListing
    // is everything the remote directory holds.
    TransferStep startDownload(const QList<RemoteItem> &selection, const QByteArray &remoteDirectory,
                               const QString &localDirectory, const QList<RemoteItem> &wholeListing);
    // One remote directory into one local directory (the queue's directory entries).
    TransferStep startDownloadDirectory(const QByteArray &remotePath, const QString &localPath);
    // The engine's answer to this walk's directory change: false when the
    // server refused it (the listing that follows is of where it stayed).
    void onDownloadDirectoryChanged(bool entered);
    // The listing that followed one of this walk's directory changes.
    TransferStep onDownloadListing(const QByteArray &currentDirectory, const QList<RemoteItem> &listing);
    TransferStep onFileReceived();

    // A selection of the local list dropped on the remote list.
    TransferStep startUpload(const QList<LocalItem> &selection, const QString &localDirectory,
                             const QByteArray &remoteDirectory);
    TransferStep startUploadDirectory(const QString &localPath, const QByteArray &remotePath);
    TransferStep onUploadDirectoryCreated();
    TransferStep onUploadDirectoryChanged(const QByteArray &currentDirectory, bool entered);
    TransferStep onFileStored();

    // Forgets everything.
    void cancel();

private:
    TransferStep nextDownload();
    TransferStep nextUpload();
    TransferStep enterNextUploadDirectory(QStringList log);
    void addRemoteEntry(const RemoteItem &item, const QByteArray &remoteBase, const QString &localBase,
                        QStringList *log);
    void addLocalEntry(const LocalItem &item, const QString &localBase, const QByteArray &remoteBase,
                       QStringList *log);
    void begin(Direction direction);

    // False, with the reason logged, for a directory past MaxDepth or a local
    // path the file system cannot hold.
    bool withinBounds(const QString &local, bool isDirectory, QStringList *log) const;

    Direction m_direction = Idle;
    QString m_rootLocal;  // the local folder the walk started from
    QByteArray m_enteringRemote;
    QString m_enteringLocal;
    bool m_changeFailed = false;
    RemoteLoopGuard m_remoteGuard;             // server directories already listed in this walk
    QSet<std::pair<quint64, quint64>> m_enteredLocal;   // device, inode
    QStringList m_pendingLog;
};
