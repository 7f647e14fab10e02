// Single remote commands (CWD, CDUP, MKD, RMD, DELE, RNFR/RNTO, SITE CHMOD)
// and the opening of ftp:// addresses.

#include "engine/ftp.h"
#include "engine/ftp_parse.h"
#include "engine/ftp_url.h"

#include "platform/codepage.h"

using ftpparse::ReplyClass;

namespace {


// CR or LF would end the command early and let the rest of the name run as a
// second command; NUL cuts the line short on servers written in C.
bool HoldsLineBreak(const QByteArray &name)
{
    return name.contains('\r') || name.contains('\n') || name.contains('\0');
}

}  // namespace

// ---------------------------------------------------------------- SITE CHMOD sequencing

bool TMFtp::HoldWhileChmodPending(std::function<void()> operation)
{
    if (releasingHeld_) {
        releasingHeld_ = false;
        return false;
    }
    if (chmodPending_ && !sendingChmod_ && (!Connected || replyState_ != ReplyState::Chmod)) {
        // The SITE reply can no longer be read in its own state (the connection
        // went away or another exchange took over): what waited on it is void.
        chmodPending_ = false;
        heldOperations_.clear();
    }
    if (noopPending_ && (!Connected || replyState_ != ReplyState::Idle)) {
        // The NOOP's reply can no longer come in its own state.
        noopPending_ = false;
        if (!chmodPending_)
            heldOperations_.clear();
    }
    if (!chmodPending_ && !noopPending_)
        return false;
    heldOperations_.push_back(std::move(operation));
    return true;
}

void TMFtp::AnswerIdle(const QByteArray &)
{
    if (noopPending_)
        EndNoopWait();
}

void TMFtp::EndNoopWait()
{
    noopPending_ = false;
    ReleaseHeldOperations();
}

void TMFtp::ReleaseHeldOperations()
{
    // A released ChangeMode makes the rest wait for its own reply again.
    while (!chmodPending_ && !noopPending_ && !heldOperations_.empty()) {
        std::function<void()> operation = std::move(heldOperations_.front());
        heldOperations_.erase(heldOperations_.begin());
        releasingHeld_ = true;
        operation();
        releasingHeld_ = false;
    }
}

void TMFtp::ChangeMode(const QByteArray &fileName, unsigned mode)
{
    if (HoldWhileChmodPending([this, fileName, mode] { ChangeMode(fileName, mode); }))
        return;
    // SITE needs a connection, and its state would replace the reply state of
    // a running operation, whose answers would then be misread.
    if (!Connected) {
        RaiseInfo(ftpiDisconnected);
        return;
    }
    if (busy_) {
        RaiseInfo(ftpiBusy);
        return;
    }
    if (HoldsLineBreak(fileName)) {
        // No ready notice: an accepted SITE CHMOD has none either.
        success_ = false;
        RaiseInfo(ftpiAccessDenied);
        return;
    }
    // A keep-alive NOOP would take over the reply state and the held
    // operations would wait for a reply that is never read.
    keepAlive_.stop();
    chmodPending_ = true;
    sendingChmod_ = true;
    const bool sent = SendCommand("SITE CHMOD " + QByteArray::number(mode) + ' ' + fileName, ReplyState::Chmod);
    sendingChmod_ = false;
    if (!sent) {
        // The fatal path has run; what waited is refused as not connected.
        chmodPending_ = false;
        ReleaseHeldOperations();
    }
}

void TMFtp::AnswerChmod(const QByteArray &line)
{
    chmodPending_ = false;
    SetReplyState(ReplyState::Idle);
    if (!busy_)
        keepAlive_.start();
    const char replyClass = ReplyClass(line);
    if (replyClass == '4' || replyClass == '5') {
        // Many small servers have no SITE at all ("500 Unknown command"): a
        // refusal concerns this one command, and the session stays.
        lastErrorText_ = platform::DecodeAnsi(line);
        PlainError(ftpeChmodRefused);
        // An operation held for this reply completes for itself; otherwise
        // the refusal ends with a completion event that reads as a failure.
        if (heldOperations_.empty())
            PostReady();
    }
    ReleaseHeldOperations();
}

// ---------------------------------------------------------------- single commands

bool TMFtp::RefuseUnsafeName(const QByteArray &name)
{
    if (!HoldsLineBreak(name))
        return false;
    // A hostile listing can carry such a name; nothing of it goes on the wire.
    RaiseInfo(ftpiAccessDenied);
    success_ = false;
    PostReady();
    return true;
}

bool TMFtp::RefuseWhileBusy()
{
    // Refused before Success and the kind are touched: they belong to the
    // operation that is running, whose completion event is still to come.
    if (!Connected || !busy_)
        return false;
    RaiseInfo(ftpiBusy);
    return true;
}

void TMFtp::StartSingleCommand(int kind, const QByteArray &command, const QByteArray &name)
{
    if (RefuseWhileBusy())
        return;
    success_ = true;
    operationKind_ = kind;
    if (!CommonPreamble())
        return;
    if (RefuseUnsafeName(name))
        return;
    SendCommand(command + ' ' + name, ReplyState::SingleCommand);
}

void TMFtp::ChangeDirectory(const QByteArray &path)
{
    if (HoldWhileChmodPending([this, path] { ChangeDirectory(path); }))
        return;
    if (RefuseWhileBusy())
        return;
    success_ = true;
    operationKind_ = OperationKind::ChangeDirectory;
    if (!CommonPreamble())
        return;
    if (RefuseUnsafeName(path))
        return;
    // Known at once; a refused CWD leaves it at the path that was asked for.
    currentDirectory_ = path;
    SendCommand("CWD " + path, ReplyState::SingleCommand);
}

void TMFtp::ChangeDirectoryUp()
{
    if (HoldWhileChmodPending([this] { ChangeDirectoryUp(); }))
        return;
    if (RefuseWhileBusy())
        return;
    success_ = true;
    operationKind_ = OperationKind::ChangeDirectoryUp;
    if (!CommonPreamble())
        return;
    // CurrentDirectory stays: the next List learns the parent with PWD.
    SendCommand("CDUP", ReplyState::SingleCommand);
}

void TMFtp::MakeDirectory(const QByteArray &name)
{
    if (HoldWhileChmodPending([this, name] { MakeDirectory(name); }))
        return;
    StartSingleCommand(OperationKind::MakeDirectory, "MKD", name);
}

void TMFtp::RemoveDirectory(const QByteArray &name)
{
    if (HoldWhileChmodPending([this, name] { RemoveDirectory(name); }))
        return;
    StartSingleCommand(OperationKind::RemoveDirectory, "RMD", name);
}

void TMFtp::DeleteFile(const QByteArray &name)
{
    if (HoldWhileChmodPending([this, name] { DeleteFile(name); }))
        return;
    StartSingleCommand(OperationKind::DeleteFile, "DELE", name);
}

void TMFtp::AnswerSingleCommand(const QByteArray &line)
{
    if (ReplyClass(line) != '2') {
        RaiseInfo(ftpiAccessDenied);
        success_ = false;
    }
    SetReplyState(ReplyState::Idle);
    PostReady();
}

// ---------------------------------------------------------------- rename

void TMFtp::StartRename(int kind, const QByteArray &oldName, const QByteArray &newName)
{
    if (RefuseWhileBusy())
        return;
    success_ = true;
    if (!CommonPreamble())
        return;
    operationKind_ = kind;
    if (RefuseUnsafeName(oldName) || RefuseUnsafeName(newName))
        return;
    renameTarget_ = newName;
    SendCommand("RNFR " + oldName, ReplyState::RenameFrom);
}

void TMFtp::RenameFile(const QByteArray &oldName, const QByteArray &newName)
{
    if (HoldWhileChmodPending([this, oldName, newName] { RenameFile(oldName, newName); }))
        return;
    StartRename(OperationKind::RenameFile, oldName, newName);
}

void TMFtp::RenameDirectory(const QByteArray &oldName, const QByteArray &newName)
{
    if (HoldWhileChmodPending([this, oldName, newName] { RenameDirectory(oldName, newName); }))
        return;
    StartRename(OperationKind::RenameDirectory, oldName, newName);
}

void TMFtp::AnswerRenameFrom(const QByteArray &line)
{
    if (ReplyClass(line) == '3') {
        SendCommand("RNTO " + renameTarget_, ReplyState::RenameTo);
        return;
    }
    RaiseInfo(ftpiAccessDenied);
    success_ = false;
    SetReplyState(ReplyState::Idle);
    PostReady();
}

void TMFtp::AnswerRenameTo(const QByteArray &line)
{
    if (ReplyClass(line) != '2') {
        RaiseInfo(ftpiAccessDenied);
        success_ = false;
    }
    SetReplyState(ReplyState::Idle);
    PostReady();
}

// ---------------------------------------------------------------- ftp:// addresses

void TMFtp::OpenURL(const QByteArray &url, const QString &localFolder)
{
    if (HoldWhileChmodPending([this, url, localFolder] { OpenURL(url, localFolder); }))
        return;
    if (busy_) {
        RaiseInfo(ftpiBusy);
        return;
    }
    const FtpUrl parts = SplitFtpUrl(url);
    switch (parts.status) {
    case FtpUrl::UnsupportedProtocol:
        RaiseInfo(ftpiSyntaxError, QStringLiteral("The protocol is not supported"));
        return;
    case FtpUrl::InvalidSyntax:
        RaiseInfo(ftpiSyntaxError);
        return;
    case FtpUrl::Ok:
        break;
    }

    urlPath_ = parts.path;
    urlFileName_ = parts.fileName;
    LocalFile = localFolder;
    const QString host = QString::fromUtf8(parts.host);
    const bool sameLogin = Username == parts.user && password_ == parts.password && Server() == host
                           && Port == parts.port;
    const bool connecting = !Connected && HasSocket();
    const bool loggingIn = Connected && !loggedIn_;
    if (sameLogin && (connecting || (loggingIn && LoginBeforeResumeProbe()))) {
        // The login under way takes the address over right after its probe.
        urlPending_ = true;
        return;
    }
    if (sameLogin && Connected && !loggingIn) {
        SetReplyState(ReplyState::UrlStart);
        DispatchReply("299");
        return;
    }
    // Another site or login, or no connection at all: log in afresh; the
    // login goes on with the address right after its resume probe.
    Username = parts.user;
    password_ = parts.password;
    SetServer(host);
    Port = parts.port;
    urlPending_ = true;
    if (connecting || loggingIn) {
        // A login under way has replies in flight that QUIT would be read
        // against; it is dropped and the new one starts on a fresh socket.
        CloseDataSockets();
        CloseSocket();
        Connected = false;
        Connect();
    } else if (Connected) {
        urlReconnectDue_ = true;
        Quit();  // the server's close runs Connect through the quit notice
    } else {
        Connect();
    }
}

bool TMFtp::LoginBeforeResumeProbe() const
{
    switch (replyState_) {
    case ReplyState::Greeting: case ReplyState::User: case ReplyState::Pass: case ReplyState::Acct:
    case ReplyState::Syst: case ReplyState::RestProbe: case ReplyState::RestProbeBinary:
        return true;
    default:
        return false;
    }
}

void TMFtp::AnswerUrlStart(const QByteArray &)
{
    if (urlPending_) {
        urlPending_ = false;
        // Straight from the login's "REST 100" probe: an accepted probe leaves
        // that offset in force and the next RETR would lose the first 100
        // bytes. Its reply comes back here with the flag cleared.
        if (resumeSupported_ && !features_.restStream) {
            SendCommand("REST 0", ReplyState::UrlStart);
            return;
        }
    }
    // A login that ends here skips its own ready notice; keep-alive still
    // belongs to a logged-in session, and the owner learns it is logged in.
    if (!std::exchange(loggedIn_, true))
        RaiseInfo(ftpiLoggedIn, QStringLiteral("Logged in"));
    // The completion event must not report a failure of an earlier operation.
    success_ = true;
    if (urlPath_.endsWith('/')) {
        ChangeDirectory(urlPath_);
        return;
    }
    // The path may name a directory or a file: the answer to CWD tells.
    // Busy keeps other operations from taking these replies.
    busy_ = true;
    keepAlive_.stop();
    SendCommand("CWD " + urlPath_, ReplyState::UrlCwd);
}

void TMFtp::AnswerUrlCwd(const QByteArray &line)
{
    const qsizetype lastSlash = urlPath_.lastIndexOf('/');
    if (ReplyClass(line) == '2') {
        operationKind_ = OperationKind::ChangeDirectory;
        currentDirectory_ = QuotedDirectory(line);
        // Most servers do not quote the directory after CWD; the path is it.
        if (currentDirectory_.isEmpty())
            currentDirectory_ = urlPath_;
        SetReplyState(ReplyState::Idle);
        PostReady();
        return;
    }
    RemoteFile = urlPath_.mid(lastSlash + 1);
    // With no local folder the file name is asked for at the next step rather
    // than written wherever the process happens to stand.
    if (!LocalFile.isEmpty()) {
        if (!LocalFile.endsWith(u'/'))
            LocalFile += u'/';
        LocalFile += platform::DecodeAnsi(RemoteFile);
    }
    SendCommand("CWD " + urlPath_.left(lastSlash + 1), ReplyState::UrlParent);
}

void TMFtp::AnswerUrlParent(const QByteArray &line)
{
    if (ReplyClass(line) == '2') {
        if (OnFtpNeedInfo && LocalFile.isEmpty()) {
            QString answer;
            AskNeedInfo(needLocalFile, answer);
            LocalFile = answer;
        }
        // Download runs its own preamble.
        busy_ = false;
        Download();
        return;
    }
    // The address named a file; its refusal completes as a failed download.
    operationKind_ = OperationKind::Download;
    RaiseInfo(ftpiAccessDenied);
    success_ = false;
    SetReplyState(ReplyState::Idle);
    PostReady();
}

QByteArray TMFtp::CurrentURL() const
{
    QByteArray host = Server().toUtf8();
    if (platform::SocketAddress::IsIpv6Literal(Server()) && !host.startsWith('['))
        host = '[' + host + ']';
    QByteArray url = "ftp://" + host;
    if (currentDirectory_ == "/")
        return url;
    url += currentDirectory_;
    if (!url.endsWith('/'))
        url += '/';
    return url;
}
