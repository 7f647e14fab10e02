// What the engine reports, shown: the coloured log, the status bar, error
// boxes, and the answers to its questions.

#include "mainwindow/tform1.h"

#include "core/transfer_session.h"
#include "engine/ftp.h"
#include "mainwindow/engine_notices.h"
#include "mainwindow/main_settings.h"
#include "core/queue_model.h"
#include "mainwindow/remote_list_model.h"
#include "platform/codepage.h"
#include "platform/dialogs.h"

#include <QComboBox>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>
#include <tuple>
#include <utility>

namespace {

const QColor kReplyColor(0, 128, 0);
const QColor kCommandColor(0, 0, 255);
const QColor kResumeColor(128, 0, 128);
const QColor kWarningColor(255, 0, 0);
// How long logged lines may wait for the document.
constexpr int kLogFlushInterval = 50;  // ms
// The log keeps the latest lines only: a server can send a reply of millions.
constexpr int kLogLineLimit = 20000;

} // namespace

void TForm1::WireEngine()
{
    ftp1->OnLoggedIn = [this](QObject *) { ftp1LoggedIn(); };
    ftp1->OnFtpReady = [this](QObject *) { ftp1FtpReady(); };
    ftp1->OnFtpQuit = [this](QObject *) { ftp1FtpQuit(); };
    ftp1->OnFtpInfo = [this](QObject *, FtpInfo info, const QString &addinfo) { ftp1FtpInfo(info, addinfo); };
    ftp1->OnFtpError = [this](QObject *, FtpError error, const QString &addinfo) { ftp1FtpError(error, addinfo); };
    ftp1->OnFtpNeedInfo = [this](QObject *, TMFtpInfoNeeded need, QString &value) { ftp1FtpNeedInfo(need, value); };
    connect(richedit1, &QPlainTextEdit::textChanged, this, &TForm1::richedit1Change);
    richedit1->setMaximumBlockCount(kLogLineLimit);
    logFlushTimer_ = new QTimer(this);
    logFlushTimer_->setSingleShot(true);
    logFlushTimer_->setInterval(kLogFlushInterval);
    connect(logFlushTimer_, &QTimer::timeout, this, &TForm1::FlushLog);
}

void TForm1::ftp1LoggedIn()
{
    ShowConnectionState(LinkState::Online);
    // What failed in an earlier session is in the log; the status bar starts afresh.
    browsing_.Failures.status.clear();
    // The engine forgets the login: the next connect sends the bar's values
    // again, or asks for what is missing.
    ftp1->Username.clear();
    ftp1->SetPassword(QByteArray());
    ftp1->Port = 21;
    uiBusy_ = false;
    AttachRemoteMenu(true);
    afterConnectDone_ = false;
    sessionClosedByUser_ = false;
    // A new session: no walk or queue sequence of an earlier one goes on in it.
    CancelAllWalks();
    ftp1->List();
}

void TForm1::ftp1FtpReady()
{
    // Files the server left to this connection go on once the completion
    // handlers have started whatever comes next.
    if (!transferSession_->Idle())
        QTimer::singleShot(0, this, &TForm1::RunNextBrowsingJob);
    // A queue folder that waited for the browsing connection.
    if (browsing_.Queue.overConnections)
        QTimer::singleShot(0, this, &TForm1::AdvanceParallelQueue);
    if (returnHomeWhenReady_ && !ftp1->Busy()) {
        std::tie(transferHomeRemote_, transferHomeLocal_) = *std::exchange(returnHomeWhenReady_, std::nullopt);
        ReturnToTransferHome();
    }
    if (!ftp1->Connected)
        ShowConnectionState(LinkState::Offline);
    for (int panel = 0; panel < StatusPanelCount; ++panel)
        SetPanelText(panel, QString());
    if (!browsing_.Failures.status.isEmpty())
        SetPanelText(0, browsing_.Failures.status);
}

void TForm1::ftp1FtpQuit()
{
    AttachRemoteMenu(false);
    ftpviewModel->Clear();
    // No completion comes any more: the walks end, the queue stops and keeps its
    // entries; when the connection broke under it, it logs in again.
    if (browsing_.Queue.running && !browsing_.Queue.overConnections && !sessionClosedByUser_) {
        spoolModel->Halt();
        if (ReconnectForQueue())
            DropAttemptFailures();
    }
    returnHomeWhenReady_.reset();
    browsing_.EndAddressDownload();
    // No folder is shown any more: the path box says none either.
    ftppath->setEditText(QString());
    CancelAllWalks();
    SetIdle();
    ShowConnectionState(LinkState::Offline);
}

void TForm1::ftp1FtpInfo(FtpInfo info, const QString &addinfo)
{
    if (info == ftpiLoggedIn) {
        // Also an address's own login, which ends without the logged-in event.
        AttachRemoteMenu(true);
        ShowConnectionState(LinkState::Online);
        // Before the window forgets the login: the transfer connections repeat it.
        StartTransferSession();
    }
    QString status;
    if (InfoStatusText(info, addinfo, &status)) {
        SetPanelText(0, status);
        return;
    }
    // The user did nothing: keep-alive exchanges would only drown the dialogue.
    // A reply other than success (a 421 closing the session) is still shown.
    const bool keepAlive = ftp1->KeepAliveInFlight() && !replyLineOpen_;
    switch (info) {
    case ftpiReply:
        if (keepAlive && addinfo.startsWith(u'2') && addinfo.endsWith(u'\n'))
            break;
        AppendLogText(addinfo, kReplyColor, false, true);
        if (addinfo.startsWith(u'4') || addinfo.startsWith(u'5'))
            lastRefusal_ = addinfo.trimmed();
        break;
    case ftpiCommand:
        if (keepAlive && addinfo.startsWith(u"NOOP"))
            break;
        AppendLog(addinfo, kCommandColor, false);
        break;
    case ftpiResumeSupported:
        AppendLog(ResumeSupportedText(), kResumeColor, true);
        break;
    case ftpiTlsEstablished:
        AppendLog(tr("已建立加密连接: %1, %2").arg(ftp1->TlsProtocol(), ftp1->TlsCipher()), kResumeColor,
                  false);
        break;
    case ftpiNotEncrypted:
        // The user chose encryption where the server offers it: say plainly that it did not.
        AppendLog(tr("警告: 服务器不支持加密, 本次连接没有加密 (密码以明文发送)"), kWarningColor, false);
        break;
    case ftpiProgress:
        if (!ftp1->ReceivingListing) {
            const TransferStatistics statistics =
                ComputeTransferStatistics(TransferredSoFar(), ftp1->ElapsedTime,
                                          ftp1->ResumePosition + transferResumeOffset_, currentTransferSize_);
            SetPanelText(2, statistics.size);
            SetPanelText(3, statistics.time);
            SetPanelText(4, statistics.speed);
            if (browsing_.Queue.running)
                spoolModel->SetRunningProgress(TransferredSoFar());
        }
        break;
    case ftpiFileSize: {
        if (ftp1->ReceivingListing)
            break;
        bool ok = false;
        const qint64 size = addinfo.trimmed().toLongLong(&ok);
        // After REST servers differ on whether they announce the rest or the whole file.
        currentTransferSize_ = listedTransferSize_ > 0 ? listedTransferSize_ : (ok && size > 0 ? size : 0);
        SetPanelText(1, FileSizeText(addinfo));
        break;
    }
    case ftpiAccessDenied: {
        const QString refusal = addinfo.trimmed().isEmpty() ? lastRefusal_ : addinfo.trimmed();
        NoteTransferFailure(tr("主机应答:没有相应的操作权限")
                            + (refusal.isEmpty() ? QString() : QStringLiteral(" (") + refusal + u')'));
        // A typed path the server refuses is reported in the log with the server's words.
        if (remotePathAsked_.isEmpty())
            ShowOrHoldMessage(tr(" 主机应答:没有相应的操作权限 "), QString(), false);
        browsing_.Cases.CaseTreeActive = false;
        break;
    }
    default:
        break;
    }
}

void TForm1::ftp1FtpError(FtpError error, const QString &addinfo)
{
    const ErrorNotice notice = ErrorNoticeFor(error, addinfo, ConnectionTarget());
    QString cause = notice.text.trimmed();
    // The engine's own words say which bytes or how long; the status texts hold them already.
    if (notice.kind != ErrorNotice::Status && !addinfo.isEmpty())
        cause += (cause.isEmpty() ? QString() : QStringLiteral(" ")) + u'(' + addinfo + u')';
    NoteTransferFailure(cause);
    if (browsing_.Queue.running && IsConnectionFailure(error))
        browsing_.Queue.failureRetryable = true;
    switch (notice.kind) {
    case ErrorNotice::Message:
        ShowOrHoldMessage(notice.text, notice.caption);
        break;
    case ErrorNotice::Status:
        SetPanelText(0, notice.text);
        break;
    case ErrorNotice::Silent:
        break;
    }
}

void TForm1::ftp1FtpNeedInfo(TMFtpInfoNeeded need, QString &value)
{
    QuestionContext context;
    context.downresume = MainSettings.downresume;
    context.upresume = MainSettings.upresume;
    context.localFile = ftp1->LocalFile;
    context.remoteFile = platform::DecodeAnsi(ftp1->RemoteFile);
    const QFileInfo local(ftp1->LocalFile);
    if (local.exists()) {
        context.localSize = local.size();
        context.localTime = local.lastModified();
    }
    context.remoteSize = ftp1->QuestionRemoteSize();
    context.remoteTime = ftp1->QuestionRemoteTime();
    value = AnswerEngineQuestion(this, need, context);
    // Without it a skipped file would leave the queue as if it had come.
    if (const QString skipped = SkippedTransferLine(need, value, context); !skipped.isEmpty())
        AppendLog(skipped, kWarningColor, false);
    // The download goes on from the end of what the local file holds.
    if (need == needResumeDownload && value == u"Resume")
        transferResumeOffset_ = QFileInfo(ftp1->LocalFile).size();
}

// Protocol text arrives with its CR LF, a reply chunk possibly holding several
// lines or ending inside one: each line becomes one line of the log, and a
// reply cut between two reads is joined again.
void TForm1::AppendLog(const QString &text, const QColor &color, bool blankLineAfter)
{
    AppendLogText(text, color, blankLineAfter, false);
}

void TForm1::AppendLogText(const QString &text, const QColor &color, bool blankLineAfter, bool isReply)
{
    if (text.isEmpty())
        return;
    QString lines = text;
    if (isReply) {
        const bool endsCutLine = replyEndedWithCr_ && lines.startsWith(u'\n');
        replyEndedWithCr_ = text.endsWith(u'\r');
        if (endsCutLine)
            lines.remove(0, 1);
        if (lines.isEmpty())
            return;
    }
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    lines.replace(u'\r', u'\n');
    const bool endsLine = lines.endsWith(u'\n');
    if (endsLine)
        lines.chop(1);
    const bool continues = isReply && replyLineOpen_;
    replyLineOpen_ = isReply && !endsLine;
    if (lines.isEmpty() && !continues)
        return;

    pendingLog_.append({lines, color, !continues, blankLineAfter});
    if (!logFlushTimer_->isActive())
        logFlushTimer_->start();
}

void TForm1::FlushLog() const
{
    if (pendingLog_.isEmpty())
        return;
    QList<PendingLogText> pending = std::exchange(pendingLog_, {});
    // Pieces that would be trimmed at once are never laid out.
    qsizetype lines = 0, first = pending.size();
    while (first > 0 && lines < kLogLineLimit)
        lines += pending.at(--first).lines.count(u'\n') + 1;
    pending.remove(0, first);
    QTextDocument *document = richedit1->document();
    QTextCursor cursor(document);
    // Inside the edit block the cursor does not lay the text out at every move.
    cursor.beginEditBlock();
    cursor.movePosition(QTextCursor::End);
    for (const PendingLogText &piece : pending) {
        QTextCharFormat format;
        format.setForeground(piece.color);
        if (piece.newLine && !document->isEmpty())
            cursor.insertBlock();
        cursor.insertText(piece.lines, format);  // each "\n" starts a new line
        if (piece.blankLineAfter)
            cursor.insertBlock();
    }
    cursor.endEditBlock();
}

// After every change the last line is kept at the bottom of the view.
void TForm1::richedit1Change()
{
    QScrollBar *bar = richedit1->verticalScrollBar();
    bar->setValue(bar->maximum());
}

void TForm1::N70Click()
{
    richedit1->copy();
}

void TForm1::N71Click()
{
    FlushLog();
    richedit1->selectAll();
}

void TForm1::N72Click()
{
    pendingLog_.clear();
    richedit1->clear();
    replyLineOpen_ = false;
    replyEndedWithCr_ = false;
}
