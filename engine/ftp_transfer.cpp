// Listings, downloads and uploads on the command side: the operations, the
// resume-or-overwrite decision and the replies of their states. The data
// connection itself is in ftp_data.cpp.

#include "engine/ftp.h"
#include "engine/ftp_parse.h"

#include "platform/codepage.h"
#include "platform/winsock_errors.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTimer>

using ftpparse::ReplyClass;

// ---------------------------------------------------------------- operations

void TMFtp::List()
{
    if (HoldWhileChmodPending([this] { List(); }))
        return;
    if (!CommonPreamble())
        return;
    BeginTransferOperation(OperationKind::List);
    // A refused LIST reads as a failure: the flag must not carry an earlier
    // operation's result.
    success_ = true;
    if (RefuseUnsafeName(FileMask)) {
        operationEnded_ = true;  // it has posted the ready notice
        return;
    }
    SendCommand("PWD", ReplyState::ListPwd);
}

void TMFtp::Download()
{
    StartDownload(OperationKind::Download);
}

void TMFtp::Downloadii()
{
    StartDownload(OperationKind::Downloadii);
}

void TMFtp::Upload()
{
    StartUpload(OperationKind::Upload);
}

void TMFtp::Uploadii()
{
    StartUpload(OperationKind::Uploadii);
}

void TMFtp::StartDownload(int kind)
{
    if (HoldWhileChmodPending([this, kind] { StartDownload(kind); }))
        return;
    // A refused start leaves the running operation's kind and Success alone.
    if (!CommonPreamble())
        return;
    BeginTransferOperation(kind);
    success_ = true;
    if (!TransferNamesUsable())
        return;
    if (WantRemoteFacts(false)) {
        AskRemoteFacts(false);
        return;
    }
    ContinueDownload();
}

void TMFtp::ContinueDownload()
{
    int typeState = ReplyState::DownloadType;
    if (!OpenDownloadTarget(typeState))
        return;
    SendTransferType(typeState);
}

void TMFtp::StartUpload(int kind)
{
    if (HoldWhileChmodPending([this, kind] { StartUpload(kind); }))
        return;
    if (!Connected && !busy_) {
        // The owner still gets its completion event, and it reads as a failure.
        operationKind_ = kind;
        success_ = false;
        errorCode_ = ftpeNone;
        RaiseInfo(ftpiDisconnected);
        PostReady();
        return;
    }
    if (!CommonPreamble())
        return;
    BeginTransferOperation(kind);
    success_ = true;
    if (!TransferNamesUsable())
        return;
    if (!OpenUploadSource())
        return;
    if (WantRemoteFacts(true)) {
        AskRemoteFacts(true);
        return;
    }
    ContinueUpload();
}

void TMFtp::ContinueUpload()
{
    int typeState = ReplyState::UploadType;
    if (!DecideUploadStart(typeState))
        return;
    SendTransferType(typeState);
}

bool TMFtp::TransferNamesUsable()
{
    if (RemoteFile.isEmpty()) {
        PlainError(ftpeNoRemoteFile);
        EndOperation();
        return false;
    }
    if (LocalFile.isEmpty()) {
        PlainError(ftpeOpenLocalFile);
        EndOperation();
        return false;
    }
    // Checked before the local file is touched: a refused name truncates nothing.
    if (RefuseUnsafeName(RemoteFile)) {
        operationEnded_ = true;  // it has posted the ready notice
        return false;
    }
    return true;
}

void TMFtp::SendTransferType(int typeState)
{
    localFileOpen_ = true;
    SendType(TransferMode == AsciiTransfer ? 'A' : 'I', typeState);
}

void TMFtp::SendType(char type, int typeState)
{
    if (type == sessionType_) {
        // A tree of small files spent a round trip per file on a TYPE that
        // changed nothing: go straight on as if it had been acknowledged.
        SetReplyState(typeState);
        DispatchReply("200");
        return;
    }
    // Until the reply is in, the server's type is not known.
    sessionType_ = 0;
    typeRequested_ = type;
    SendCommand(type == 'A' ? "TYPE A" : "TYPE I", typeState);
}

void TMFtp::BeginTransferOperation(int kind)
{
    operationKind_ = kind;
    ++transferSerial_;
    operationEnded_ = false;
    dataDone_ = false;
    controlDone_ = false;
    dataFailed_ = false;
    transferCommandSent_ = false;
    senderPending_ = false;
    senderRunning_ = false;
    abortRequested_ = false;
    abortDeferred_ = false;
    checkDownloadLength_ = false;
    abortExchange_ = false;
    abortSending_ = false;
    abortSyncDue_ = false;
    ++abortDrainSerial_;
    listingEndPending_ = false;
    dataTlsPending_ = false;
    ForgetRemoteFacts();
    dataFallbackTried_ = false;
    retryDataStep_ = false;
    epsvTried_ = false;
    dataConnectPending_ = false;
    CloseLocalFile();
}

qint64 TMFtp::ListedRemoteSize(bool *found) const
{
    qint64 size = 0;
    if (found)
        *found = false;
    // Compared by name below the listed directory, without building a path
    // for every listed name at every transfer of a walk.
    const QByteArray prefix = ftpparse::RemoteFullPath(currentDirectory_, QByteArray());
    if (!RemoteFile.startsWith(prefix))
        return size;
    const QByteArrayView name = QByteArrayView(RemoteFile).sliced(prefix.size());
    for (int i = 0; i < FileNames.size(); ++i) {
        if (FileNames.at(i) != name)
            continue;
        QByteArray text;
        FileInfos.GetInfo(i, 2, text);
        // A size the listing does not give in bytes (VMS blocks) counts as unknown.
        size = ftpparse::ParseSizeText(text).value_or(0);
        if (found)
            *found = true;
    }
    return size;
}

bool TMFtp::OpenDownloadTarget(int &typeState)
{
    localFile_.setFileName(LocalFile);
    bool listed = false;
    const qint64 remoteSize = RemoteSizeForQuestion(&listed);
    // Byte counts mean nothing once ASCII mode has converted line ends.
    checkDownloadLength_ = TransferMode != AsciiTransfer;
    downloadListedSize_ = listed ? remoteSize : -1;
    downloadAnnouncedSize_ = -1;
    downloadOffset_ = 0;
    const QFileInfo existing(LocalFile);
    constexpr auto Create = QIODevice::ReadWrite | QIODevice::Truncate | QIODevice::Unbuffered;
    QIODevice::OpenMode mode = Create;
    typeState = ReplyState::DownloadType;
    if (existing.exists() && resumeSupported_ && OnFtpNeedInfo) {
        QString answer;
        if (existing.size() < remoteSize) {
            AskNeedInfo(needResumeDownload, answer);
            if (answer == u"Resume") {
                mode = QIODevice::ReadWrite | QIODevice::Unbuffered;
                typeState = ReplyState::ResumeDownloadType;
            } else if (answer != u"overwrite") {
                EndOperation();
                return false;
            }
        } else {
            AskNeedInfo(needOverwriteLocal, answer);
            if (answer != u"overwrite") {
                EndOperation();
                return false;
            }
        }
    }
    if (!localFile_.open(mode)
        || (typeState == ReplyState::ResumeDownloadType && !localFile_.seek(localFile_.size()))) {
        localFile_.close();
        PlainError(ftpeOpenLocalFile);
        EndOperation();
        return false;
    }
    return true;
}

bool TMFtp::OpenUploadSource()
{
    localFile_.setFileName(LocalFile);
    // Only a resumed upload starts past the beginning: a listed copy alone must
    // never make the sender skip the head of the file.
    ResumePosition = 0;
    // Read-only: a write-protected local file can still be uploaded.
    if (!localFile_.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        PlainError(ftpeOpenLocalFile);
        EndOperation();
        return false;
    }
    uploadLocalTime_ = QFileInfo(LocalFile).lastModified().toUTC();
    return true;
}

bool TMFtp::DecideUploadStart(int &typeState)
{
    bool found = false;
    const qint64 remoteSize = RemoteSizeForQuestion(&found);
    typeState = ReplyState::UploadType;
    if (!found || !resumeSupported_ || !OnFtpNeedInfo)
        return true;
    QString answer;
    if (remoteSize < localFile_.size()) {
        AskNeedInfo(needResumeUpload, answer);
        if (answer == u"Resume") {
            if (!localFile_.seek(remoteSize)) {
                CloseLocalFile();
                PlainError(ftpeOpenLocalFile);
                EndOperation();
                return false;
            }
            ResumePosition = remoteSize;
            typeState = ReplyState::ResumeUploadType;
            return true;
        }
    } else {
        AskNeedInfo(needOverwriteRemote, answer);
    }
    if (answer == u"overwrite")
        return true;
    CloseLocalFile();
    EndOperation();
    return false;
}

// ---------------------------------------------------------------- replies

void TMFtp::AnswerListPwd(const QByteArray &line)
{
    if (ReplyClass(line) != '2') {
        FailCommandStep(line);
        return;
    }
    currentDirectory_ = QuotedDirectory(line);
    // MLSD's data comes as if in TYPE L 8 whatever the type (RFC 3659, 7.2):
    // switching to A and back to I for the next file cost two round trips a
    // folder. A type not known for sure is set as LIST wants it.
    if (ListsByMlsd() && sessionType_ != 0) {
        SetReplyState(ReplyState::ListType);
        DispatchReply("200");
        return;
    }
    SendType('A', ReplyState::ListType);
}

void TMFtp::AnswerTransferType(const QByteArray &line)
{
    namespace RS = ReplyState;
    int target = 0;
    switch (replyState_) {
    case RS::ListType: target = RS::ListPort; break;
    case RS::DownloadType: target = RS::DownloadPort; break;
    case RS::ResumeDownloadType: target = RS::ResumeDownloadPort; break;
    case RS::UploadType: target = RS::UploadPort; break;
    case RS::ResumeUploadType: target = RS::ResumeUploadPort; break;
    default: return;
    }
    dataDone_ = false;
    controlDone_ = false;
    if (ReplyClass(line) != '2') {
        FailCommandStep(line);
        return;
    }
    sessionType_ = typeRequested_;
    OpenDataConnection(target);
}

void TMFtp::AnswerDataPort(const QByteArray &line)
{
    namespace RS = ReplyState;
    const int state = replyState_;
    if (ReplyClass(line) != '2') {
        // PORT or EPRT refused outright: the server may still take PASV.
        if (ReplyClass(line) == '5' && !dataPassive_
            && FallBackToPassive(QStringLiteral("The server refused the active data connection (%1)")
                                     .arg(platform::DecodeAnsi(line.left(3)))))
            return;
        FailCommandStep(line);
        return;
    }
    switch (state) {
    case RS::ListPort:
        AttachReceiver(&TMFtp::ListingReceiver, &TMFtp::ListingEnd);
        FileNames.clear();
        FileInfos.Clear();
        DirectoryNames.clear();
        DirectoryInfos.Clear();
        listingParser_.Reset();
        SendListingCommand();
        break;
    case RS::DownloadPort:
        AttachReceiver(&TMFtp::FileReceiver, &TMFtp::FileEnd);
        SendTransferCommand("RETR " + RemoteFile, RS::Retr);
        break;
    case RS::ResumeDownloadPort:
        AttachReceiver(&TMFtp::FileReceiver, &TMFtp::FileEnd);
        downloadOffset_ = localFile_.size();
        SendCommand("REST " + QByteArray::number(downloadOffset_), RS::ResumeDownloadRest);
        break;
    case RS::UploadPort:
        AttachSender();
        SendTransferCommand("STOR " + RemoteFile, RS::Stor);
        break;
    case RS::ResumeUploadPort:
        AttachSender();
        SendCommand("REST " + QByteArray::number(ResumePosition), RS::ResumeUploadRest);
        break;
    default:
        break;
    }
}

void TMFtp::AnswerRest(const QByteArray &line)
{
    const bool download = replyState_ == ReplyState::ResumeDownloadRest;
    if (ReplyClass(line) == '3' && !dataFailed_) {
        if (download)
            SendTransferCommand("RETR " + RemoteFile, ReplyState::Retr);
        else
            SendTransferCommand("STOR " + RemoteFile, ReplyState::Stor);
        return;
    }
    if (dataFailed_) {
        // The data connection is already gone and reported; nothing to resume.
        SetReplyState(ReplyState::Idle);
        EndOperation();
        return;
    }
    RefuseTransfer(ftpiResumeFailed, QStringLiteral("Failed in resuming downloading file"));
}

// What the final-reply states of LIST, RETR and STOR share: the 2xx that ends
// the control side, and the 426 that says the transfer broke. True when the
// line has been answered.
bool TMFtp::AnswerTransferEnd(const QByteArray &line)
{
    if (ReplyClass(line) == '2') {
        ControlSideDone();
        return true;
    }
    if (line.startsWith("426")) {
        Saw426();
        return true;
    }
    return false;
}

void TMFtp::AnswerList(const QByteArray &line)
{
    if (AnswerTransferEnd(line) || ReplyClass(line) == '1' || RetryPassiveAfter425(line))
        return;
    // "550 No files found" for a mask, or any refusal: a failed listing, not
    // a broken dialogue. The server's text says why.
    RefuseTransfer(ftpiAccessDenied, platform::DecodeAnsi(line));
}

void TMFtp::AnswerRetr(const QByteArray &line)
{
    if (AnswerTransferEnd(line))
        return;
    if (ReplyClass(line) == '1') {
        const QByteArray size = ftpparse::FileSizeFromReply(line);
        if (!size.isEmpty())
            RaiseInfo(ftpiFileSize, QString::fromLatin1(size));
        downloadAnnouncedSize_ = ftpparse::AnnouncedByteCount(line).value_or(-1);
        return;
    }
    if (RetryPassiveAfter425(line))
        return;
    RefuseTransfer(ftpiAccessDenied, QString());
}

void TMFtp::AnswerStor(const QByteArray &line)
{
    if (ReplyClass(line) == '2' && SendMfmtAfterStor())
        return;
    if (AnswerTransferEnd(line) || ReplyClass(line) == '1' || RetryPassiveAfter425(line))
        return;
    RefuseTransfer(ftpiAccessDenied, QString());
}

// ---------------------------------------------------------------- command side

void TMFtp::SendTransferCommand(const QByteArray &command, int expectState)
{
    if (!SendCommand(command, expectState))
        return;
    transferCommandSent_ = true;
    if (dataTlsPending_)
        BeginDataTls();
    if (senderPending_) {
        // The data connection came up while the command was being sent; start
        // the sender from the event loop, not nested inside the reply handler.
        senderPending_ = false;
        const quint64 serial = transferSerial_;
        QTimer::singleShot(0, this, [this, serial] {
            if (serial == transferSerial_ && !operationEnded_)
                RunSender();
        });
    }
    if (abortDeferred_) {
        abortDeferred_ = false;
        Abort();
    }
}

void TMFtp::ControlSideDone()
{
    controlDone_ = true;
    // Later replies (an ABOR's own 225/226) must not end the operation twice.
    SetReplyState(ReplyState::Idle);
    if (dataDone_)
        EndOperation();
}

void TMFtp::Saw426()
{
    // The transfer broke. Servers differ on whether a 226 follows the 426
    // (RFC 959 has the 426 alone as the final reply): the abort exchange
    // brings the dialogue back in step whichever they do.
    success_ = false;
    BeginAbortExchange();
}

void TMFtp::RefuseTransfer(FtpInfo info, const QString &text)
{
    DropDataSide();
    RaiseInfo(info, text);
    success_ = false;
    SetReplyState(ReplyState::Idle);
    EndOperation();
}

void TMFtp::FailCommandStep(const QByteArray &line)
{
    // A server that refuses PWD, TYPE, PASV or PORT refuses this one
    // operation; only a reply that makes no sense here breaks the dialogue.
    const char replyClass = ReplyClass(line);
    if (replyClass == '4' || replyClass == '5')
        RefuseTransfer(ftpiAccessDenied, platform::DecodeAnsi(line));
    else
        FailTransfer(ftpeProtocol);
}

void TMFtp::DropDataSide()
{
    ++transferSerial_;
    CloseDataSockets();
    CloseLocalFile();
    senderPending_ = false;
}

void TMFtp::FailTransfer(FtpError error)
{
    ++transferSerial_;
    CloseLocalFile();
    FatalError(error);
}

void TMFtp::EndOperation()
{
    // During an Abort the last reply owed ends the operation, not the data side.
    if (operationEnded_ || abortExchange_)
        return;
    operationEnded_ = true;
    PostReady();
}
