// Abort of a listing or transfer, and the time-out of any wait on the server.
//
// After ABOR a server owes up to two replies, the transfer's own final one
// (226 when it had finished, 426 when it was cut) and ABOR's (225 or 226);
// servers differ in which of them they send and in their order against the
// data close, and pure-ftpd answers nothing to an ABOR after a finished
// transfer. Ending the operation on the wrong one leaves a reply for the next
// operation to read as its own. So once the server has answered (or stayed
// silent for a moment) a NOOP takes the stray Telnet DM sent in band after
// ABOR, whatever it is answered or if it is dropped, and a PWD follows: its
// 257 can be nothing else, and every reply owed before it has come by then.

#include "engine/ftp.h"
#include "engine/ftp_parse.h"

#include <QTimer>

using ftpparse::ReplyClass;

namespace {

// How long ABOR may go unanswered before the NOOP and PWD go out anyway.
constexpr int AbortFirstReplyWaitMs = 1000;
// How long the PWD may go unanswered before it is asked again (a server may
// throw away what reached it together with ABOR).
constexpr int AbortDrainMs = 2000;
// NOOP and PWD pairs sent in all; after the last one's wait the exchange ends
// if the server has said anything at all, else the time-out takes over.
constexpr int AbortSyncLimit = 3;

const QByteArray TelnetInterrupt("\xff\xf4", 2);  // IAC IP
const QByteArray TelnetDataMark("\xff\xf2", 2);   // IAC DM

bool IsTransferKind(int kind)
{
    namespace Kind = OperationKind;
    return kind == Kind::Download || kind == Kind::Downloadii || kind == Kind::Upload
           || kind == Kind::Uploadii || kind == Kind::List;
}

}  // namespace

// ---------------------------------------------------------------- abort

void TMFtp::Abort()
{
    if (retryDataStep_) {
        // The exchange under way was to try passive mode: it ends the operation now.
        retryDataStep_ = false;
        success_ = false;
        return;
    }
    if (abortRequested_ || abortDeferred_)
        return;
    // Only a running listing or transfer has anything to abort; an ABOR at any
    // other time would put an extra reply into another command's state.
    if (!Connected || !busy_ || operationEnded_ || !IsTransferKind(operationKind_))
        return;
    if (!transferCommandSent_) {
        abortDeferred_ = true;
        return;
    }
    if (!dataDone_)
        success_ = false;
    BeginAbortExchange();
}

void TMFtp::BeginAbortExchange()
{
    abortRequested_ = true;
    abortExchange_ = true;
    abortSyncDue_ = false;
    abortSyncsSent_ = 0;
    abortRepliesSeen_ = 0;
    // Set before the bytes go out: a final reply that arrives while they are
    // being written belongs to the exchange.
    SetReplyState(ReplyState::AbortReplies);
    // Telnet "synch": IP in band, DM as urgent data so the server looks at the
    // control connection at once, then ABOR and DM once more in band.
    abortSending_ = true;
    const bool sent = SendRaw(TelnetInterrupt, false) && SendRaw(TelnetDataMark, true)
                      && (RaiseInfo(ftpiCommand, QStringLiteral("ABOR\r\n")), SendRaw("ABOR\r\n", false))
                      && SendRaw(TelnetDataMark, false);
    abortSending_ = false;
    if (!sent || !abortExchange_)
        return;  // the fatal path ran, or the exchange ended meanwhile
    NoteTraffic();
    if (abortSyncDue_)
        SendAbortSync();
    else
        ArmAbortDrain(AbortFirstReplyWaitMs);
}

void TMFtp::AnswerAbortReplies(const QByteArray &line)
{
    // A 150 of a transfer that crossed ABOR is not a final reply.
    if (ReplyClass(line) == '1')
        return;
    ++abortRepliesSeen_;
    if (abortSyncsSent_ > 0 && line.startsWith("257")) {
        FinishAbortExchange();
        return;
    }
    if (abortSyncsSent_ == 0) {
        // The server has read ABOR: the NOOP and PWD go in a read of their own.
        if (abortSending_) {
            abortSyncDue_ = true;
            return;
        }
        SendAbortSync();
        return;
    }
    ArmAbortDrain(AbortDrainMs);
}

void TMFtp::SendAbortSync()
{
    abortSyncDue_ = false;
    ++abortSyncsSent_;
    if (!SendCommand("NOOP", ReplyState::AbortReplies) || !abortExchange_)
        return;
    if (!SendCommand("PWD", ReplyState::AbortReplies) || !abortExchange_)
        return;
    ArmAbortDrain(AbortDrainMs);
}

void TMFtp::ArmAbortDrain(int ms)
{
    const quint64 serial = ++abortDrainSerial_;
    QTimer::singleShot(ms, this, [this, serial] {
        if (serial != abortDrainSerial_ || !abortExchange_ || !Connected)
            return;
        if (abortSyncsSent_ < AbortSyncLimit)
            SendAbortSync();
        else if (abortRepliesSeen_ > 0)
            FinishAbortExchange();
    });
}

void TMFtp::FinishAbortExchange()
{
    abortExchange_ = false;
    ++abortDrainSerial_;
    SetReplyState(ReplyState::Idle);
    DropDataSide();
    if (retryDataStep_) {
        RetryDataStep();  // the active connection never came: passive now
        return;
    }
    dataDone_ = true;
    controlDone_ = true;
    EndOperation();
}

// ---------------------------------------------------------------- time-outs

bool TMFtp::AwaitingServer() const
{
    if (!Connected || !HasSocket())
        return false;
    // A passive connect has a countdown of its own (and its fallback).
    if (dataConnectPending_)
        return false;
    // An operation whose ready notice is out waits for nothing any more.
    if (busy_ && !readyPending_)
        return true;
    if (chmodPending_)
        return true;
    // Logging in, or waiting for the close after QUIT.
    return !loggedIn_ && replyState_ != ReplyState::Idle;
}

void TMFtp::WatchdogTick()
{
    const int limit = TimeoutMs();
    if (limit <= 0 || !AwaitingServer() || askingCertificate_ || askingQuestion_) {
        NoteTraffic();
        return;
    }
    if (lastTraffic_.isValid() && lastTraffic_.elapsed() >= limit)
        InactivityTimedOut();
}

void TMFtp::InactivityTimedOut()
{
    // A server that never answers FEAT is a server without it.
    if (replyState_ == ReplyState::Feat) {
        FeatTimedOut();
        return;
    }
    lastErrorText_ = QStringLiteral("No answer from the server for %1 seconds").arg(TimeOutConnect);
    abortExchange_ = false;
    ++abortDrainSerial_;
    ++transferSerial_;
    CloseLocalFile();
    // A late reply would be read against the next command: the connection is
    // closed, and the operation ends as failed with its completion event.
    const bool operationRunning = busy_ && !readyPending_;
    if (operationRunning) {
        operationEnded_ = true;
        success_ = false;
        PostReady();
    }
    FatalError(ftpeTimeout);
}
