// The remote file's facts around a transfer: SIZE and MDTM before the
// resume-or-overwrite question, so that it compares exact sizes rather than
// a listing's, and MFMT after an upload, so that the remote copy keeps the
// local file's modification time.

#include "engine/ftp.h"
#include "engine/ftp_facts_reply.h"
#include "engine/ftp_parse.h"

#include <QFileInfo>

using ftpparse::ReplyClass;

void TMFtp::ForgetRemoteFacts()
{
    sizeAnswer_.reset();
    questionRemoteSize_ = -1;
    questionRemoteTime_ = QDateTime();
    uploadLocalTime_ = QDateTime();
}

bool TMFtp::WantRemoteFacts(bool upload) const
{
    // Only where a question follows: without resume nothing is asked.
    if (!resumeSupported_ || !OnFtpNeedInfo || !(features_.size || features_.mdtm))
        return false;
    // An upload asks whatever the listing says: it may be stale either way.
    return upload || QFileInfo::exists(LocalFile);
}

void TMFtp::AskRemoteFacts(bool upload)
{
    factsForUpload_ = upload;
    if (!features_.size) {
        SendMdtmOrDecide();
        return;
    }
    // SIZE counts in the current type; in TYPE I it is the stored byte count,
    // the one a listing shows and REST counts in.
    SendType('I', ReplyState::FactsType);
}

void TMFtp::AnswerFactsType(const QByteArray &line)
{
    if (ReplyClass(line) != '2') {
        // Without binary type SIZE may count converted line ends: go without it.
        SendMdtmOrDecide();
        return;
    }
    sessionType_ = typeRequested_;
    SendCommand("SIZE " + RemoteFile, ReplyState::Size);
}

void TMFtp::AnswerSize(const QByteArray &line)
{
    // 550 (no such file), 500 and 502 leave the listing's size in force.
    sizeAnswer_ = ftpfacts::ParseSizeReply(line);
    SendMdtmOrDecide();
}

void TMFtp::SendMdtmOrDecide()
{
    if (features_.mdtm) {
        SendCommand("MDTM " + RemoteFile, ReplyState::Mdtm);
        return;
    }
    DecideTransferStart();
}

void TMFtp::AnswerMdtm(const QByteArray &line)
{
    questionRemoteTime_ = ftpfacts::ParseMdtmReply(line);
    DecideTransferStart();
}

void TMFtp::DecideTransferStart()
{
    SetReplyState(ReplyState::Idle);
    if (abortDeferred_) {
        // Stopped before anything moved: nothing is asked and nothing is touched.
        abortDeferred_ = false;
        success_ = false;
        CloseLocalFile();
        EndOperation();
        return;
    }
    if (factsForUpload_)
        ContinueUpload();
    else
        ContinueDownload();
}

qint64 TMFtp::RemoteSizeForQuestion(bool *known)
{
    bool listed = false;
    const qint64 listedSize = ListedRemoteSize(&listed);
    *known = sizeAnswer_.has_value() || listed;
    const qint64 size = sizeAnswer_.value_or(listedSize);
    questionRemoteSize_ = *known ? size : -1;
    return size;
}

bool TMFtp::SendMfmtAfterStor()
{
    if (!KeepUploadTime || !features_.mfmt || !success_ || dataFailed_)
        return false;
    const QByteArray time = ftpfacts::TimeArgument(uploadLocalTime_);
    if (time.isEmpty())
        return false;
    // The operation ends at MFMT's reply; a send that fails has ended it already.
    SendCommand("MFMT " + time + ' ' + RemoteFile, ReplyState::Mfmt);
    return true;
}

void TMFtp::AnswerMfmt(const QByteArray &line)
{
    if (ReplyClass(line) == '1')
        return;
    // The file itself arrived: a refused time changes nothing about that.
    if (ReplyClass(line) != '2')
        RaiseInfo(ftpiReply, QStringLiteral("MFMT refused: the remote file keeps the server's time\r\n"));
    ControlSideDone();
}
