#include "core/browsing_session.h"

#include "core/queue_keeper.h"
#include "engine/ftp.h"

#include <algorithm>

void FailureReport::MarkAttempt()
{
    failedMark_ = failedFiles.size();
    heldMark_ = heldMessages.size();
}

void FailureReport::DropAttempt()
{
    failedFiles.resize(std::min(failedFiles.size(), failedMark_));
    heldMessages.resize(std::min(heldMessages.size(), heldMark_));
}

std::pair<QStringList, QStringList> FailureReport::Take()
{
    failedMark_ = heldMark_ = 0;
    return {std::exchange(failedFiles, {}), std::exchange(heldMessages, {})};
}

BrowsingSession::BrowsingSession() : engine_(std::make_unique<TMFtp>()) {}

BrowsingSession::~BrowsingSession() = default;

QueueStore::OpenResult BrowsingSession::OpenQueueFile(const QString &path)
{
    queueFile_ = std::make_unique<QueueKeeper>(&Spool, path);
    return queueFile_->Open();
}

// A walk's flag says its own command is in flight; a walk that was forgotten
// meanwhile owns nothing, whatever its flag still says.
BrowsingOwner BrowsingSession::OwnerOfListing() const
{
    if (searchStepInFlight_ && Search.running())
        return BrowsingOwner::SearchWalk;
    if (Transfers.direction() == TransferWalk::Downloading && Transfers.DownloadTreeActive)
        return BrowsingOwner::DownloadWalk;
    if (Cases.running() && Cases.CaseTreeActive)
        return BrowsingOwner::CaseWalk;
    if (Deletes.running() && Deletes.DeleteTreeActive)
        return BrowsingOwner::DeleteWalk;
    return BrowsingOwner::Pane;
}

BrowsingOwner BrowsingSession::OwnerOfDirectoryChange() const
{
    if (searchStepInFlight_ && Search.running())
        return BrowsingOwner::SearchWalk;
    if (Transfers.direction() == TransferWalk::Uploading && Transfers.UploadTreeActive)
        return BrowsingOwner::UploadWalk;
    if (Transfers.direction() == TransferWalk::Downloading && Transfers.DownloadTreeActive)
        return BrowsingOwner::DownloadWalk;
    if (addressDownload_)
        return BrowsingOwner::AddressDownload;
    return BrowsingOwner::Pane;
}

BrowsingOwner BrowsingSession::OwnerOfDirectoryCreated() const
{
    return Transfers.direction() == TransferWalk::Uploading && Transfers.UploadTreeActive ? BrowsingOwner::UploadWalk
                                                                                          : BrowsingOwner::Pane;
}

BrowsingOwner BrowsingSession::OwnerOfRemoval() const
{
    return Deletes.running() ? BrowsingOwner::DeleteWalk : BrowsingOwner::Pane;
}

BrowsingOwner BrowsingSession::OwnerOfRename() const
{
    return Cases.running() ? BrowsingOwner::CaseWalk : BrowsingOwner::Pane;
}

BrowsingOwner BrowsingSession::OwnerOfFileEnd() const
{
    switch (Transfers.direction()) {
    case TransferWalk::Downloading:
        return BrowsingOwner::DownloadWalk;
    case TransferWalk::Uploading:
        return BrowsingOwner::UploadWalk;
    case TransferWalk::Idle:
        break;
    }
    return addressDownload_ ? BrowsingOwner::AddressDownload : BrowsingOwner::Pane;
}

bool BrowsingSession::SequenceHeld() const
{
    return Transfers.running() || Deletes.running() || Cases.running() || Queue.running;
}

void BrowsingSession::ForgetRemoteWalks()
{
    Deletes.cancel();
    Cases.cancel();
    Search.cancel();
    searchStepInFlight_ = false;
}

void BrowsingSession::ForgetTransferWalk()
{
    Transfers.cancel();
    Queue.running = false;
    Queue.entryFailure.clear();
    Queue.failureRetryable = false;
}
