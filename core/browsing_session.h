#pragma once
// The browsing connection's side of a session: the engine the user browses
// with, the walks that borrow it for a while, the batch queue with its file,
// the queue run that owns the end of its transfer sequences, and the failures
// they gather for one box at their end. Each completion of the engine has one owner, named here from the
// walks' own state; the window asks, carries the owner's answer out and keeps
// no copy of who owns what.

#include "core/queue_model.h"
#include "core/queue_store.h"
#include "core/remote_search_walk.h"
#include "core/remote_tree_walks.h"
#include "core/transfer_walk.h"

#include <QString>
#include <QStringList>
#include <memory>

class QueueKeeper;
class TMFtp;

enum class BrowsingOwner {
    Pane,             // the user's own command: the pane shows what came
    DownloadWalk,
    UploadWalk,
    DeleteWalk,
    CaseWalk,
    SearchWalk,
    AddressDownload,  // 手工下载 or an address from the command line
};

// A run of the batch queue, from 开始传输 to its end or stop.
struct QueueRun {
    // The end of every transfer sequence belongs to the queue and continues it.
    bool running = false;
    // Its files go to the transfer connections.
    bool overConnections = false;
    // Why the running entry failed (empty: it did not); it stays in the queue, marked.
    QString entryFailure;
    // That failure was the connection's, so the entry may be tried again.
    bool failureRetryable = false;
    // The connection broke under the run: it goes on after the next login's first listing.
    bool resumeAfterLogin = false;
    // The run's own reconnect is under way: the login it makes is no user's choice.
    bool reconnecting = false;
};

// What a walk or queue run met, held back for one box at its end.
struct FailureReport {
    // Why the running transfer failed: the first thing reported against it.
    QString transferCause;
    QStringList failedFiles;
    QStringList heldMessages;
    // The last failure stays in the status bar past the listing after it.
    QString status;

    // A queue entry's attempt begins; a retry drops what the attempt added.
    void MarkAttempt();
    void DropAttempt();
    // Everything held, emptied.
    std::pair<QStringList, QStringList> Take();

private:
    qsizetype failedMark_ = 0;
    qsizetype heldMark_ = 0;
};

class BrowsingSession {
public:
    BrowsingSession();
    ~BrowsingSession();
    BrowsingSession(const BrowsingSession &) = delete;
    BrowsingSession &operator=(const BrowsingSession &) = delete;

    TMFtp &Engine() { return *engine_; }
    const TMFtp &Engine() const { return *engine_; }

    TransferWalk Transfers;
    RemoteDeleteWalk Deletes;
    RemoteCaseWalk Cases;
    RemoteSearchWalk Search;
    // The batch queue's entries, as the window's list shows them.
    QueueModel Spool;
    QueueRun Queue;
    FailureReport Failures;

    // Opens the queue file at path and shows its queue in Spool; from then on
    // the file follows every change, and QueueFile() tells of failed writes.
    QueueStore::OpenResult OpenQueueFile(const QString &path);
    QueueKeeper *QueueFile() const { return queueFile_.get(); }

    // Who the engine's next completion of each kind serves.
    BrowsingOwner OwnerOfListing() const;
    BrowsingOwner OwnerOfDirectoryChange() const;
    BrowsingOwner OwnerOfDirectoryCreated() const;
    BrowsingOwner OwnerOfRemoval() const;
    BrowsingOwner OwnerOfRename() const;
    BrowsingOwner OwnerOfFileEnd() const;

    // The search's step in flight is a folder change or listing of its own.
    void SetSearchStepInFlight(bool inFlight) { searchStepInFlight_ = inFlight; }
    bool SearchStepInFlight() const { return searchStepInFlight_; }
    // An address names a file to fetch (or, as it turns out, a folder to show).
    void StartAddressDownload() { addressDownload_ = true; }
    // True once for the address's end.
    bool EndAddressDownload() { return std::exchange(addressDownload_, false); }

    // A walk or the queue run holds the connection's sequence of commands.
    bool SequenceHeld() const;
    // Walks and a run of an ended session: none of them goes on.
    void ForgetRemoteWalks();
    void ForgetTransferWalk();

private:
    std::unique_ptr<TMFtp> engine_;
    // Declared after Spool: it goes first.
    std::unique_ptr<QueueKeeper> queueFile_;
    bool searchStepInFlight_ = false;
    bool addressDownload_ = false;
};
