#pragma once
// Searching the connected FTP server by name: a walk down from one remote
// folder, driven by the engine's listings like the tree download (change to
// a directory, list it, hand the listing here, do the step this answers).
// The names of each listing are matched against a mask with "*" and "?";
// matching files and folders are the hits, subfolders are queued, breadth
// first so that shallow hits come first.
//
// Bounded for trees of any size: at most MaxHits hits, MaxDepth levels and
// MaxDirectories folders listed per search; only the listing at hand is read
// (the queue holds paths). The tree download's safety rules hold: a name that
// is not one plain component (empty, ".", "..", "/", NUL, CR, LF, or any other
// control character) is neither followed nor reported, and a folder reached
// again (by path, or through a link to an ancestor) is not listed twice.

#include "core/remote_loop_guard.h"
#include "core/remote_tree_walks.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>

// "*" any run of characters, "?" one; letters compared without case. Linear
// in practice, never backtracking more than once per "*".
bool WildcardMatch(QStringView mask, QStringView name);

struct RemoteSearchHit {
    QByteArray path;  // the server's bytes
    bool isDirectory = false;
    QByteArray size;  // as listed
    QByteArray date;
};

struct RemoteSearchStep {
    enum Kind {
        None,             // nothing to start (not this walk's event)
        ChangeDirectory,  // path; its success goes to onDirectoryChanged
        List,             // list the directory just entered; the listing goes to onListing
        Finished,         // the search is over; path: where to change back to (empty: stayed)
    };
    Kind kind = None;
    QByteArray path;
    QList<RemoteSearchHit> hits;  // found with this step
    QStringList log;              // skipped names and folders, for the log
};

class RemoteSearchWalk
{
public:
    int MaxHits = 500;
    int MaxDepth = 64;
    int MaxDirectories = 20000;
    // Lines of the log about skipped names per search; the rest are counted.
    int MaxLogLines = 20;
    std::function<QString(const QByteArray &)> DecodeRemote;

    RemoteSearchWalk();

    // The search starts by listing startDirectory, the server's current one.
    RemoteSearchStep start(const QString &mask, const QByteArray &startDirectory);
    RemoteSearchStep onDirectoryChanged(bool entered);
    // listed: the listing succeeded (a refused one is skipped).
    RemoteSearchStep onListing(const QByteArray &currentDirectory, const QList<RemoteItem> &listing, bool listed);
    // The user stopped: the step in flight ends the search when it completes.
    void stop() { m_stopping = m_running; }
    // Forgets everything (connection lost, another operation took over).
    void cancel();

    bool running() const { return m_running; }
    bool limitReached() const { return m_limitReached; }
    bool stopped() const { return m_stopped; }
    int hitCount() const { return m_hitCount; }
    int directoriesListed() const { return m_listed; }
    // Folders not searched: too deep, over MaxDirectories, not entered or unreadable.
    int directoriesSkipped() const { return m_skippedDirectories; }
    QByteArray startDirectory() const { return m_start; }

private:
    struct Pending {
        QByteArray path;
        int depth;
    };
    void scan(const QByteArray &directory, int depth, const QList<RemoteItem> &listing, RemoteSearchStep *step);
    RemoteSearchStep next(RemoteSearchStep step);
    RemoteSearchStep finish(RemoteSearchStep step);
    void note(RemoteSearchStep *step, const QString &line);

    bool m_running = false;
    bool m_stopping = false;
    bool m_stopped = false;
    bool m_limitReached = false;
    bool m_left = false;  // a directory change went out: the end goes back
    QString m_mask;
    QByteArray m_start;
    QByteArray m_entering;
    int m_enteringDepth = 0;
    std::deque<Pending> m_pending;
    RemoteLoopGuard m_guard;
    int m_hitCount = 0;
    int m_listed = 0;
    int m_skippedDirectories = 0;
    int m_logLines = 0;
};
