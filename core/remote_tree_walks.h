#pragma once
// The remote pane's two tree walks, recursive delete and recursive name-case
// conversion, as plain classes: they hold the pending lists and answer each
// engine completion with the next engine operation to start. The main window
// only carries the answer out (and routes the next listing to the walk whose
// flag is set), so the order of operations is tested without a server.

#include "engine/ftp_fileinfo.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QList>
#include <QString>

// One entry of a remote listing as the walks see it. `attributes` is the
// permission word, whose first letter tells a symbolic link ("l") from a real
// directory: the listing parser files links as directories.
struct RemoteItem {
    QByteArray name;
    bool isDirectory = false;
    QByteArray attributes;
    // Size and time as listed: what tells one folder's listing from another's.
    QByteArray details = {};
};

// The next engine operation. Paths are the server's bytes, sent back unchanged.
struct RemoteStep {
    enum Kind {
        None,             // nothing to start
        DeleteFile,       // path
        ChangeDirectory,  // path (then List, as every directory change does)
        RemoveDirectory,  // path
        RenameFile,       // path -> newPath
        RenameDirectory,  // path -> newPath
        List,             // list the current directory
    };
    Kind kind = None;
    QByteArray path;
    QByteArray newPath;
    bool setBusy = false;  // call SetBusy() before starting the operation
    bool setIdle = false;  // call SetIdle() before starting the operation

    friend bool operator==(const RemoteStep &, const RemoteStep &) = default;
};

// Every blank replaced by "_": applied to the names an upload creates, and to
// nothing else (typed paths, history items and new directories keep their blanks).
QByteArray SpacesToUnderscores(const QByteArray &path);
QString SpacesToUnderscores(const QString &path);

// base + "/" + name, the "/" added only when base does not already end with one.
QByteArray JoinRemotePath(const QByteArray &base, const QByteArray &name);

// Changes the ASCII letters of a name only. Names that are not UTF-8 are
// GBK/GB18030, whose trail bytes can be ASCII letters ("乇" is 0x81 0x40,
// many others end in 0x41..0x5A): those bytes belong to their character and
// are left alone.
QByteArray ConvertNameCase(const QByteArray &name, bool upper);

// The same for the part after the last "/" of a path.
QByteArray ConvertLastComponentCase(const QByteArray &path, bool upper);

// True when a listed name can be walked into or acted on as a child of the
// listed directory: not empty, not "." or "..", and without "/" (it would
// address another directory), NUL, CR or LF (they cannot travel on a command line).
bool IsWalkableName(const QByteArray &name);

// A listed link ("l" permissions): walks treat it as a file, never entering it.
bool IsLink(const RemoteItem &item);

// A path as the server reports it and as we built it can differ by a final "/".
QByteArray WithoutTrailingSlash(QByteArray path);

// Directories first, then files, as the engine filed them; "." and ".." are
// dropped by name or when field 3 of their info says so.
QList<RemoteItem> RemoteItemsFromListing(const QByteArrayList &dirNames, const TMFtpFileInfoList &dirInfos,
                                         const QByteArrayList &fileNames, const TMFtpFileInfoList &fileInfos);

// Recursive delete of a selection. Files first, then the directories in
// first-in first-out order: every directory is entered, its files deleted and
// its subdirectories queued; the directories are removed afterwards from a
// stack, so the deepest go first. The walk ends by changing back to the
// directory where it began, which lists it again.
class RemoteDeleteWalk
{
public:
    // Set while a directory change of this walk is under way: the next
    // listing belongs to onListing.
    bool DeleteTreeActive = false;

    QByteArrayList PendingSourceFiles;  // full paths from the selection, plain names from a listing
    QByteArrayList PendingSourceDirs;   // full paths still to visit
    QByteArrayList DirsToRemove;        // used as a stack: the last one is the top
    QByteArray DeleteStartDirectory;

    // The selection in list order, in the directory currentDirectory.
    RemoteStep start(const QList<RemoteItem> &selection, const QByteArray &currentDirectory);
    // The listing that followed one of this walk's directory changes.
    RemoteStep onListing(const QByteArray &currentDirectory, const QList<RemoteItem> &listing);
    RemoteStep onFileDeleted();
    RemoteStep onDirectoryDeleted();

    // Started and not yet ended: completion events belong to this walk.
    bool running() const { return m_running; }
    // Forgets everything (connection lost, transfer stopped).
    void cancel();

private:
    RemoteStep next(bool fromEvent);
    RemoteStep removeNextOrFinish();

    bool m_running = false;
    QByteArray m_enteringDirectory;
};

// Recursive conversion of names to upper or lower case. A directory is renamed
// first, then entered under its new name and its contents converted; files of
// a directory are converted before the next directory is visited.
class RemoteCaseWalk
{
public:
    bool CaseTreeActive = false;  // the next listing belongs to onListing

    QByteArrayList PendingSourceFiles;  // plain names in the current directory
    QByteArrayList PendingSourceDirs;   // full paths, the first one is being renamed

    RemoteStep start(const QList<RemoteItem> &selection, const QByteArray &currentDirectory, bool upper);
    RemoteStep onListing(const QByteArray &currentDirectory, const QList<RemoteItem> &listing);
    RemoteStep onFileRenamed();
    RemoteStep onDirRenamed();

    bool running() const { return m_running; }
    bool upper() const { return m_upper; }
    // Forgets everything; also what an access-denied notice does.
    void cancel();

private:
    RemoteStep next();
    void addItems(const QList<RemoteItem> &items, const QByteArray &base);

    bool m_running = false;
    bool m_upper = false;
    QByteArray m_enteringDirectory;
};
