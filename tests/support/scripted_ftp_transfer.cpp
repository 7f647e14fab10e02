// The data side of a scripted FTP session: the PASV listener or the connection
// to the PORT address, the bytes of one transfer, and the order in which the
// data connection closes and the final reply goes out.

#include "scripted_ftp_session.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <sys/socket.h>

namespace testsupport {

namespace {

void ResetSocket(QTcpSocket *socket)
{
    const linger option{1, 0};
    ::setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &option, sizeof option);
    socket->abort();
}

void Discard(QPointer<QTcpSocket> &socket, QObject *listener)
{
    if (!socket)
        return;
    socket->disconnect(listener);
    socket->abort();
    socket->deleteLater();
    socket = nullptr;
}

}  // namespace

TransferRecord &ControlSession::Record()
{
    return peer_->transfers_[record_];
}

void ControlSession::StartTransfer(const QByteArray &line, const QByteArray &verb)
{
    StopTransfer(false);  // a new transfer command replaces one still hanging
    if (dataMode_ == DataMode::None) {
        // A protocol error, not a transfer: the scripted plans stay for later.
        TransferRecord refused;
        refused.command = line;
        refused.end = TransferRecord::End::Refused;
        peer_->transfers_.append(refused);
        restOffset_ = 0;
        Write("425 Use PORT or PASV first.\r\n");
        emit peer_->transferEnded(int(peer_->transfers_.size() - 1));
        return;
    }
    plan_ = peer_->TakeTransfer(verb);
    upload_ = verb == "STOR" || verb == "APPE" || verb == "STOU";
    // Each PASV or PORT serves one transfer, as on real servers.
    const DataMode mode = dataMode_;
    dataMode_ = DataMode::None;
    TransferRecord record;
    record.command = line;
    record.passive = mode == DataMode::Passive;
    record.restOffset = restOffset_;
    peer_->transfers_.append(record);
    record_ = int(peer_->transfers_.size() - 1);

    ++generation_;
    transferActive_ = true;
    finishing_ = false;
    peerClosing_ = false;
    afterPeerClose_ = nullptr;
    waitingForConnection_ = false;
    payloadSent_ = 0;
    allQueued_ = false;
    payload_.clear();
    if (!upload_) {
        payload_ = verb == "RETR" ? plan_.data.mid(qMin<qint64>(restOffset_, plan_.data.size())) : plan_.data;
        if (plan_.stopAfter >= 0)
            payload_.truncate(plan_.stopAfter);
    }
    restOffset_ = 0;

    switch (plan_.connection) {
    case Transfer::Connection::Refuse:
        DropDataSockets();
        Write(plan_.refused);
        Conclude(TransferRecord::End::Refused);
        return;
    case Transfer::Connection::NeverOpen:
        Write(plan_.opening);  // then nothing: the transfer hangs until ABOR
        return;
    case Transfer::Connection::Open:
        break;
    }

    if (mode == DataMode::Passive) {
        if (earlyData_) {
            QTcpSocket *socket = earlyData_;
            earlyData_ = nullptr;
            Attach(socket);
        } else {
            waitingForConnection_ = true;  // OnPassiveConnection attaches it
        }
        return;
    }

    // Active: connect to the PORT address, which must be on this machine.
    if ((portAddress_ >> 24) != 127) {
        Write(plan_.refused);
        Conclude(TransferRecord::End::Refused);
        return;
    }
    QTcpSocket *socket = earlyData_;
    earlyData_ = nullptr;
    if (socket && socket->state() == QAbstractSocket::ConnectedState) {
        Attach(socket);
        return;
    }
    if (socket && socket->state() == QAbstractSocket::UnconnectedState) {
        socket->deleteLater();  // the early connect failed; its error went by unheard
        Write(plan_.refused);
        Conclude(TransferRecord::End::Refused);
        return;
    }
    if (!socket) {
        socket = new QTcpSocket(this);
        socket->connectToHost(QHostAddress(portAddress_), portPort_);
    }
    data_ = socket;
    waitingForConnection_ = true;
    const int generation = generation_;
    connect(socket, &QTcpSocket::connected, this, [this, socket, generation] {
        if (generation == generation_ && transferActive_ && waitingForConnection_)
            Attach(socket);
    });
    connect(socket, &QTcpSocket::errorOccurred, this, [this, socket, generation] {
        if (generation != generation_ || !transferActive_ || !waitingForConnection_)
            return;  // errors after the connection was made are the data handlers' business
        waitingForConnection_ = false;
        socket->disconnect(this);
        socket->deleteLater();
        data_ = nullptr;
        Write(plan_.refused);
        Conclude(TransferRecord::End::Refused);
    });
}

void ControlSession::ConnectToPortNow()
{
    if (!portValid_ || (portAddress_ >> 24) != 127)
        return;
    auto *socket = new QTcpSocket(this);
    socket->connectToHost(QHostAddress(portAddress_), portPort_);
    earlyData_ = socket;
}

void ControlSession::OnPassiveConnection()
{
    if (!passiveListener_)
        return;
    QTcpSocket *socket = passiveListener_->nextPendingConnection();
    if (!socket)
        return;
    // One data connection per PASV, as real servers do.
    passiveListener_->close();
    const bool wanted = transferActive_ && waitingForConnection_ && !data_ &&
                        plan_.connection == Transfer::Connection::Open;
    if (wanted) {
        Attach(socket);
        return;
    }
    // Came before the transfer command (or for a transfer that never opens):
    // kept, and what the client sends stays buffered in the socket.
    Discard(earlyData_, this);
    socket->setParent(this);
    earlyData_ = socket;
}

void ControlSession::Attach(QTcpSocket *socket)
{
    waitingForConnection_ = false;
    socket->setParent(this);
    data_ = socket;
    Record().connected = true;
    connect(socket, &QTcpSocket::bytesWritten, this, &ControlSession::OnDataWritten);
    connect(socket, &QTcpSocket::readyRead, this, &ControlSession::OnDataReadable);
    connect(socket, &QTcpSocket::disconnected, this, &ControlSession::OnDataClosed);
    Write(plan_.opening);
    const int generation = generation_;
    // The data follows the opening reply, after any pause scripted before it.
    Then([this, generation] {
        if (generation == generation_ && transferActive_)
            BeginData();
    });
}

void ControlSession::BeginData()
{
    if (!upload_) {
        if (data_ && data_->state() == QAbstractSocket::UnconnectedState)
            OnDataClosed();  // the client gave up before the data began
        else
            SendNextChunk();
        return;
    }
    OnDataReadable();  // what came before the STOR was answered
    if (transferActive_ && !finishing_ && data_ && data_->state() == QAbstractSocket::UnconnectedState)
        FinishUpload(false);  // the client had already sent everything and closed
}

void ControlSession::SendNextChunk()
{
    if (!transferActive_ || upload_ || finishing_ || !data_ || data_->state() != QAbstractSocket::ConnectedState)
        return;
    const qint64 size = plan_.chunkSize > 0 ? plan_.chunkSize : payload_.size();
    const QByteArray piece = payload_.mid(payloadSent_, size);
    if (!piece.isEmpty())
        data_->write(piece);
    payloadSent_ += piece.size();
    Record().sent = payloadSent_;
    if (payloadSent_ >= payload_.size()) {
        allQueued_ = true;
        OnDataWritten();
    } else {
        chunkTimer_.start(plan_.chunkPauseMs);
    }
}

void ControlSession::OnDataWritten()
{
    if (transferActive_ && !upload_ && allQueued_ && !finishing_ && data_ && data_->bytesToWrite() == 0)
        FinishDownload();
}

void ControlSession::FinishDownload()
{
    finishing_ = true;
    const int generation = generation_;
    switch (plan_.ending) {
    case Transfer::Ending::ReplyAfterClose:
        afterPeerClose_ = [this] {
            Enqueue(Step{Reply::Step::Kind::Pause, {}, plan_.gapMs, {}});
            Write(plan_.done);
            Conclude(TransferRecord::End::Done);
        };
        peerClosing_ = true;
        data_->disconnectFromHost();
        break;
    case Transfer::Ending::AbortThenReply:
        afterPeerClose_ = [this] {
            Enqueue(Step{Reply::Step::Kind::Pause, {}, plan_.gapMs, {}});
            Write(plan_.aborted);
            Write(plan_.done);
            Conclude(TransferRecord::End::Done);
        };
        peerClosing_ = true;
        data_->disconnectFromHost();
        break;
    case Transfer::Ending::ReplyBeforeClose:
        Write(plan_.done);
        // The delay counts from the moment the reply has actually been written.
        Then([this, generation] {
            QTimer::singleShot(plan_.gapMs, this, [this, generation] {
                if (generation != generation_ || !transferActive_ || !data_)
                    return;
                afterPeerClose_ = [this] { Conclude(TransferRecord::End::Done); };
                peerClosing_ = true;
                data_->disconnectFromHost();
            });
        });
        break;
    case Transfer::Ending::Stall:
        break;  // held open, no reply
    }
}

void ControlSession::OnDataReadable()
{
    if (!transferActive_ || !upload_ || finishing_ || !data_)
        return;
    TransferRecord &record = Record();
    record.received += data_->readAll();
    if (plan_.stopAfter >= 0 && record.received.size() >= plan_.stopAfter) {
        record.received.truncate(plan_.stopAfter);
        FinishUpload(true);
    }
}

void ControlSession::FinishUpload(bool stoppedByPeer)
{
    finishing_ = true;
    if (stoppedByPeer && data_) {
        data_->disconnect(this);
        ResetSocket(data_);
    }
    switch (plan_.ending) {
    case Transfer::Ending::ReplyAfterClose:
    case Transfer::Ending::ReplyBeforeClose:  // an upload ends with the client's close: no "before"
        Write(plan_.done);
        Conclude(TransferRecord::End::Done);
        break;
    case Transfer::Ending::AbortThenReply:
        Write(plan_.aborted);
        Write(plan_.done);
        Conclude(TransferRecord::End::Done);
        break;
    case Transfer::Ending::Stall:
        break;  // no reply until ABOR
    }
}

void ControlSession::OnDataClosed()
{
    if (!transferActive_)
        return;
    if (peerClosing_) {
        peerClosing_ = false;
        const std::function<void()> next = std::move(afterPeerClose_);
        afterPeerClose_ = nullptr;
        if (next)
            next();
        return;
    }
    if (upload_) {
        if (finishing_)
            return;
        OnDataReadable();
        if (!finishing_)
            FinishUpload(false);
        return;
    }
    // A download whose data connection the client closed.
    if (finishing_ && plan_.ending == Transfer::Ending::ReplyBeforeClose) {
        Conclude(TransferRecord::End::Done);  // after the 226, as a client may
        return;
    }
    Write(plan_.aborted);
    Conclude(TransferRecord::End::ClientClosedEarly);
}

void ControlSession::Conclude(TransferRecord::End end)
{
    Record().end = end;
    transferActive_ = false;
    waitingForConnection_ = false;
    peerClosing_ = false;
    afterPeerClose_ = nullptr;
    ++generation_;
    chunkTimer_.stop();
    if (data_) {
        data_->disconnect(this);
        if (data_->state() != QAbstractSocket::UnconnectedState)
            data_->disconnectFromHost();  // sends what is still buffered, then closes
        data_->deleteLater();
        data_ = nullptr;
    }
    emit peer_->transferEnded(record_);
}

bool ControlSession::StopTransfer(bool dropListener)
{
    if (!transferActive_)
        return false;
    if (data_) {
        data_->disconnect(this);
        data_->abort();
    }
    if (dropListener)
        DropDataSockets();
    Conclude(TransferRecord::End::Aborted);
    return true;
}

void ControlSession::DropDataSockets()
{
    if (passiveListener_) {
        passiveListener_->disconnect(this);
        passiveListener_->close();
        passiveListener_.release()->deleteLater();  // may be inside its own signal
    }
    Discard(earlyData_, this);
}

}  // namespace testsupport
