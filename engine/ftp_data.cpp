// The data connection of listings and transfers: receiving, the upload
// sender, the end of the data side, and Abort.

#include "engine/ftp.h"
#include "engine/ftp_parse.h"

#include "platform/codepage.h"
#include "platform/winsock_errors.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QScopeGuard>
#include <QFileInfo>
#include <QTimer>

// ---------------------------------------------------------------- data side

void TMFtp::AttachReceiver(void (TMFtp::*receiver)(), void (TMFtp::*end)())
{
    dataSocket_.OnRead = [this, receiver](QObject *) { (this->*receiver)(); };
    dataSocket_.OnClose = [this, end](QObject *) { (this->*end)(); };
    dataSocket_.OnWrite = nullptr;
    sendAfterDataTls_ = false;
    if (dataPassive_) {
        // Connected already (ftp_data_channel.cpp): the transfer starts from here.
        DataConnected();
    } else {
        listenSocket_.OnAccept = [this](QObject *) { DataConnected(); };
        TakeEarlyConnection();
    }
}

void TMFtp::AttachSender()
{
    dataSocket_.OnRead = nullptr;
    dataSocket_.OnClose = [this](QObject *) { FileEnd(); };
    dataSocket_.OnWrite = nullptr;
    // PROT P: a passive sender starts when the handshake is done, not at the
    // write notice that follows the connect.
    sendAfterDataTls_ = dataPassive_ && dataProtected_;
    if (dataPassive_) {
        // Connected already: the sender waits only for STOR (or the handshake).
        DataConnected();
        if (!sendAfterDataTls_ && !operationEnded_)
            UploadSender();
    } else {
        listenSocket_.OnAccept = [this](QObject *) { UploadSender(); };
        TakeEarlyConnection();
    }
}

void TMFtp::WatchForEarlyConnection()
{
    // Some servers (pyftpdlib) connect as soon as they read PORT, before they
    // answer it. The listener announces a connection only once until it is
    // accepted, so that announcement is kept for the handler attached later.
    earlyConnection_ = false;
    listenSocket_.OnAccept = [this](QObject *) { earlyConnection_ = true; };
}

void TMFtp::TakeEarlyConnection()
{
    if (!earlyConnection_)
        return;
    earlyConnection_ = false;
    platform::LineSocket::Notify handler = listenSocket_.OnAccept;
    handler(&listenSocket_);
}

bool TMFtp::AcceptDataConnection()
{
    dataSocket_.Accept(listenSocket_);
    const int error = dataSocket_.LastError;
    if (error == 0 && !AcceptDataFromAnyAddress && dataSocket_.DottedAddress() != DottedAddress()) {
        // Whoever reaches our port first would otherwise feed the download or
        // receive the upload. The listener stays for the server's own connection.
        RaiseInfo(ftpiReply, QStringLiteral("Refused a data connection from %1: the server is %2\r\n")
                                 .arg(dataSocket_.DottedAddress(), DottedAddress()));
        dataSocket_.CloseSocket();
        return false;
    }
    listenSocket_.OnAccept = nullptr;
    // One connection per transfer: nobody else gets to connect afterwards.
    listenSocket_.CloseSocket();
    if (error != 0) {
        DataConnectionFailed(error, true);
        return false;
    }
    return true;
}

void TMFtp::DataConnected()
{
    if (!dataPassive_ && !AcceptDataConnection())
        return;
    dataSocket_.OnConnect = nullptr;
    BytesTransferred = 0;
    success_ = true;
    startTime_.start();
    ElapsedTime = 0;
    listingFramer_.Clear();
    // PROT P: data arrives, or the sender starts, after the handshake.
    StartDataTls(sendAfterDataTls_ ? std::function<void()>([this] { StartSenderAfterTls(); }) : nullptr);
}

void TMFtp::StartSenderAfterTls()
{
    // From the event loop, not nested inside the socket's notification.
    const quint64 serial = transferSerial_;
    QTimer::singleShot(0, this, [this, serial] {
        if (serial == transferSerial_ && !operationEnded_)
            StartSenderWhenCommandSent();
    });
}

void TMFtp::DataConnectionFailed(int socketError, bool commandMayBeOut)
{
    if (operationEnded_ || dataDone_)
        return;
    DropDataSide();
    dataDone_ = true;
    dataFailed_ = true;
    if (abortRequested_) {
        success_ = false;
    } else {
        lastErrorText_ = DataErrorText(QStringLiteral("Data connection failed"), socketError, dataSocket_.TlsErrorText());
        PlainError(ftpeDataError);
    }
    if (abortRequested_)
        return;  // the Abort's replies end the operation
    if (controlDone_ || !commandMayBeOut) {
        SetReplyState(ReplyState::Idle);
        EndOperation();
        return;
    }
    // The server may be waiting for the data connection or sending into the
    // broken one: ABOR tells it, and counting the replies keeps us in step.
    if (transferCommandSent_)
        BeginAbortExchange();
    else
        abortDeferred_ = true;  // the command is going out right now
}

void TMFtp::RefreshElapsed()
{
    if (startTime_.isValid())
        ElapsedTime = startTime_.elapsed();
}

void TMFtp::DrainDataSocket()
{
    // The close notice can come while bytes are still waiting: read them all.
    if (!dataSocket_.OnRead)
        return;
    draining_ = true;
    const auto endDraining = qScopeGuard([this] { draining_ = false; });
    for (;;) {
        const qint64 before = BytesTransferred;
        platform::LineSocket::Notify reader = dataSocket_.OnRead;
        reader(&dataSocket_);
        if (BytesTransferred == before || !dataSocket_.HasSocket() || !dataSocket_.OnRead)
            break;
    }
}

void TMFtp::ListingReceiver()
{
    ReceivingListing = true;
    char *buffer = transferBuffer_.data();
    const int count = dataSocket_.ReceiveData(buffer, int(transferBuffer_.size()));
    // A receive error is not acted on; the close ends the listing.
    if (count > 0) {
        NoteTraffic();
        BytesTransferred += count;
        listingFramer_.Append(QByteArrayView(buffer, count));
    }
    // A handler further up the stack is filing this listing's lines: it takes
    // these too, in order.
    if (filingListing_ && filingSerial_ == transferSerial_)
        return;
    FileListingLines();
}

void TMFtp::FileListingLines()
{
    const quint64 serial = transferSerial_;
    const bool outerFiling = filingListing_;
    const quint64 outerSerial = filingSerial_;
    filingListing_ = true;
    filingSerial_ = serial;
    QByteArray line;
    while (listingFramer_.NextLine(line)) {
        RefreshElapsed();
        // A NUL has no place in a name; such a line is dropped alone.
        if (line.contains('\0'))
            continue;
        if (OnFtpInfo)
            RaiseInfo(ftpiProgress, platform::DecodeAnsi(line));
        if (serial != transferSerial_)
            break;  // an event handler ended the transfer
        FileLine(line);
        if (serial != transferSerial_)
            break;
    }
    filingListing_ = outerFiling;
    filingSerial_ = outerSerial;
    if (serial != transferSerial_)
        return;
    if (listingFramer_.Overflowed())
        listingFramer_.Clear();
    if (listingEndPending_) {
        listingEndPending_ = false;
        // Not after a Disconnect or a fatal error made meanwhile: those end
        // the listing without its events.
        if (Connected)
            FinishListingEnd(listingEndError_);
    }
}

void TMFtp::FileLine(const QByteArray &line)
{
    if (OnFtpInfo)
        RaiseInfo(ftpiListingLine, platform::DecodeAnsi(line));
    const ParsedEntry entry = mlsdListing_ ? listingParser_.ParseMlsd(line) : listingParser_.Parse(ListingStyle(), line);
    if (!entry.accepted)
        return;
    if (entry.directory) {
        DirectoryNames.append(entry.name);
        DirectoryInfos.Add(entry.attributes, entry.date, entry.size, QByteArray(), QByteArray());
    } else {
        FileNames.append(entry.name);
        FileInfos.Add(entry.attributes, entry.date, entry.size, QByteArray(), QByteArray());
    }
}

void TMFtp::ListingEnd()
{
    const int closeError = dataSocket_.LastError;
    dataSocket_.OnConnect = nullptr;
    DrainDataSocket();
    if (filingListing_ && filingSerial_ == transferSerial_) {
        // The close came while a line's handler ran the event loop: the lines
        // before it are filed first, then the listing ends.
        dataSocket_.OnRead = nullptr;
        listingEndPending_ = true;
        listingEndError_ = closeError;
        return;
    }
    FinishListingEnd(closeError);
}

void TMFtp::FinishListingEnd(int closeError)
{
    RefreshElapsed();
    ++transferSerial_;
    CloseDataSockets();
    if (closeError != 0 && !abortRequested_) {
        lastErrorText_ = DataErrorText(QStringLiteral("Listing connection broken"), closeError, QString());
        PlainError(ftpeDataError);
    }
    RaiseInfo(ftpiListingReady, QStringLiteral("Listing ready"));
    RaiseInfo(ftpiTransferDone, QStringLiteral("Transfer done"));
    ReceivingListing = false;
    dataDone_ = true;
    if (controlDone_)
        EndOperation();
}

void TMFtp::FileReceiver()
{
    ReceivingListing = false;
    char *buffer = transferBuffer_.data();
    qint64 wanted = transferBuffer_.size();
    if (DownloadLimit && !draining_) {
        int waitMs = 0;
        wanted = DownloadLimit->Take(wanted, &waitMs, this);
        if (wanted == 0) {
            PauseReceiving(waitMs);
            return;
        }
    }
    const int count = dataSocket_.ReceiveData(buffer, int(wanted));
    if (DownloadLimit && !draining_ && count < wanted)
        DownloadLimit->GiveBack(wanted - std::max(count, 0), this);
    if (count <= 0)
        return;
    NoteTraffic();
    BytesTransferred += count;
    RefreshElapsed();
    // Written before the progress event: its handler may run the event loop,
    // where the next read (into the same buffer) or the close would otherwise
    // overtake these bytes.
    const bool written = !localFileOpen_ || !localFile_.isOpen() || localFile_.write(buffer, count) == count;
    if (!written)
        CloseLocalFile();
    RaiseInfo(ftpiProgress);
    if (!written) {
        // Disk full or the file went away: say so, stop writing, and stop the
        // server rather than pulling the rest of the file for nothing.
        PlainError(ftpeWriteLocalFile);
        Abort();
    }
}

void TMFtp::PauseReceiving(int waitMs)
{
    // Nothing is read meanwhile, so the socket stays quiet; the pause ends
    // with a read of what waits, unless the transfer is over by then.
    const quint64 serial = transferSerial_;
    receivePause_.disconnect();
    receivePause_.setSingleShot(true);
    QObject::connect(&receivePause_, &QTimer::timeout, [this, serial] {
        if (serial == transferSerial_ && dataSocket_.HasSocket() && dataSocket_.OnRead)
            dataSocket_.OnRead(&dataSocket_);
    });
    receivePause_.start(waitMs);
}

void TMFtp::FileEnd()
{
    const int closeError = dataSocket_.LastError;
    const bool senderWasRunning = senderRunning_;
    senderRunning_ = false;
    DrainDataSocket();
    RefreshElapsed();
    ++transferSerial_;
    CloseDataSockets();
    CloseLocalFile();
    // The server closing an upload's connection, or a reset, is a broken transfer.
    if ((closeError != 0 || senderWasRunning) && !abortRequested_) {
        lastErrorText_ = DataErrorText(QStringLiteral("Data connection broken"), closeError, QString());
        PlainError(ftpeDataError);
    } else if (!senderWasRunning && !abortRequested_ && success_) {
        VerifyDownloadLength();
    }
    RaiseInfo(ftpiTransferDone, QStringLiteral("Transfer done"));
    ReceivingListing = false;
    dataDone_ = true;
    if (controlDone_)
        EndOperation();
}

void TMFtp::CloseLocalFile()
{
    if (localFile_.isOpen())
        localFile_.close();
    localFileOpen_ = false;
}

// ---------------------------------------------------------------- sender

void TMFtp::UploadSender()
{
    if (dataPassive_) {
        dataSocket_.OnWrite = nullptr;  // the sender runs once
    } else {
        if (!AcceptDataConnection())
            return;
        // PROT P: the sender starts once the handshake is done.
        if (StartDataTls([this] { StartSenderAfterTls(); }))
            return;
    }
    StartSenderWhenCommandSent();
}

void TMFtp::StartSenderWhenCommandSent()
{
    if (!transferCommandSent_) {
        // The passive connection is there before STOR goes out: data before
        // STOR would fill the socket and wait for ever.
        senderPending_ = true;
        return;
    }
    RunSender();
}

void TMFtp::RunSender()
{
    if (senderRunning_ || dataDone_)
        return;
    senderRunning_ = true;
    ReceivingListing = false;
    BytesTransferred = ResumePosition;
    startTime_.start();
    ElapsedTime = 0;
    const qint64 fileSize = localFile_.size();
    RaiseInfo(ftpiFileSize, QString::number(fileSize));
    qint64 remaining = qMax<qint64>(0, fileSize - ResumePosition);
    const quint64 serial = transferSerial_;
    char *buffer = transferBuffer_.data();
    while (remaining > 0) {
        if (abortRequested_) {
            success_ = false;
            break;
        }
        const int block = TakeUploadShare(int(qMin<qint64>(remaining, transferBuffer_.size())), serial);
        if (block == 0)
            return;  // ended while waiting for the limit
        if (!localFile_.isOpen() || localFile_.read(buffer, block) != block) {
            senderRunning_ = false;
            PlainError(ftpeReadLocalFile);
            FinishSenderSide();
            return;
        }
        BytesTransferred += block;
        remaining -= block;
        switch (SendDataBlock(buffer, block, serial)) {
        case SendResult::Sent:
            break;
        case SendResult::Stale:
            return;  // the transfer was ended while we waited; nothing is ours now
        case SendResult::Failed:
            senderRunning_ = false;
            if (!abortRequested_) {
                lastErrorText_ = DataErrorText(QStringLiteral("Data connection broken"), dataSocket_.LastError,
                                               dataSocket_.TlsErrorText());
                PlainError(ftpeDataError);
            }
            FinishSenderSide();
            return;
        }
        RaiseInfo(ftpiProgress);
        RefreshElapsed();
        if (serial != transferSerial_)
            return;
    }
    // TLS: close_notify tells the server the upload is complete, before its
    // final reply is awaited.
    if (!abortRequested_ && dataSocket_.TlsActive()) {
        SendResult ended = ShutdownDataTls(serial);
        if (ended == SendResult::Sent)
            ended = AwaitDataPeerClose(serial);
        switch (ended) {
        case SendResult::Sent:
            break;
        case SendResult::Stale:
            return;
        case SendResult::Failed:
            senderRunning_ = false;
            lastErrorText_ = DataErrorText(QStringLiteral("Data connection broken"), dataSocket_.LastError,
                                           dataSocket_.TlsErrorText());
            PlainError(ftpeDataError);
            FinishSenderSide();
            return;
        }
    }
    senderRunning_ = false;
    FinishSenderSide();
}

TMFtp::SendResult TMFtp::SendDataBlock(const char *data, int count, quint64 serial)
{
    int offset = 0;
    bool wouldBlock = false;
    while (offset < count) {
        // The UI, Abort and control replies run here. After a would-block we
        // sleep until some event (the socket's write notice among them).
        QCoreApplication::processEvents(wouldBlock ? QEventLoop::WaitForMoreEvents : QEventLoop::AllEvents);
        if (serial != transferSerial_ || !dataSocket_.HasSocket())
            return SendResult::Stale;
        const int taken = dataSocket_.SendData(data + offset, count - offset);
        if (dataSocket_.LastError != 0)
            return SendResult::Failed;
        offset += taken;
        wouldBlock = taken == 0;
        if (taken > 0)
            NoteTraffic();
    }
    return SendResult::Sent;
}

int TMFtp::TakeUploadShare(int wanted, quint64 serial)
{
    if (!UploadLimit)
        return wanted;
    for (;;) {
        int waitMs = 0;
        const qint64 granted = UploadLimit->Take(wanted, &waitMs, this);
        if (granted > 0)
            return int(granted);
        QEventLoop pause;
        QTimer::singleShot(waitMs, &pause, &QEventLoop::quit);
        pause.exec();
        if (serial != transferSerial_ || !dataSocket_.HasSocket())
            return 0;
        if (abortRequested_)
            return wanted;  // the loop sees the abort before sending
    }
}

void TMFtp::FinishSenderSide()
{
    ++transferSerial_;
    CloseDataSockets();
    CloseLocalFile();
    RaiseInfo(ftpiTransferDone, QStringLiteral("Transfer done"));
    dataDone_ = true;
    if (controlDone_)
        EndOperation();
}
