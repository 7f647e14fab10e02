// The login's replies: greeting, USER, PASS, ACCT, SYST, the resume probe,
// the login directory, and QUIT's answer.

#include "engine/ftp.h"
#include "engine/ftp_parse.h"

#include "platform/codepage.h"

#include <QCoreApplication>
#include <utility>

using ftpparse::ReplyClass;

namespace {

TMFtpServerType DetectServerType(const QByteArray &systReply)
{
    if (ReplyClass(systReply) == '5')
        return ftpstDefault;
    const QByteArray text = systReply.mid(4, 99).toUpper();
    TMFtpServerType type = ftpstDefault;
    if (text.contains("UNIX"))
        type = ftpstUNIX;
    if (text.contains("CLIX"))
        type = ftpstClix;
    if (text.contains("ULTRIX"))
        type = ftpstULTRIX;
    if (text.contains("MVS"))
        type = ftpstMVS;
    if (text.contains("QVT"))
        type = ftpstQVT;
    if (text.contains("NCSA"))
        type = ftpstNCSA;
    if (text.contains("CHAMELEON"))
        type = ftpstChameleon;
    if (text.contains("VMS"))
        type = text.contains("MULTINET") ? ftpstVmsMultinet : ftpstVmsUcx;
    else if (text.contains("VM"))
        type = text.contains("VPS") ? ftpstVMVPS : ftpstVM;
    return type;
}

}  // namespace

// ---------------------------------------------------------------- login

void TMFtp::AnswerGreeting(const QByteArray &line)
{
    // "120 Service ready in nnn minutes" may come before the 220; the
    // greeting's time-out keeps running for the real one.
    if (ReplyClass(line) == '1')
        return;
    greetingTimer_.stop();
    if (ReplyClass(line) != '2') {
        FatalError(ftpeServerNotReady);
        return;
    }
    // FTPS: AUTH TLS (explicit) or PBSZ (implicit: already encrypted) comes first.
    if (TlsMode == tlsExplicitIfSupported || TlsMode == tlsExplicitRequired) {
        SendCommand("AUTH TLS", ReplyState::Auth);
        return;
    }
    if (TlsMode == tlsImplicitRequired) {
        SendCommand("PBSZ 0", ReplyState::Pbsz);
        return;
    }
    SendUser();
}

void TMFtp::SendUser()
{
    if (Username.isEmpty()) {
        QString answer;
        AskNeedInfo(needUsername, answer);
        Username = EncodeName(answer);
    }
    sessionUser_ = Username;
    sessionPassword_.clear();
    QByteArray command = "USER " + Username;
    if (ProxyType == proxyUserSite)
        command += '@' + Server().toUtf8();
    SendCommand(command, ReplyState::User);
}

void TMFtp::AnswerUser(const QByteArray &line)
{
    switch (ReplyClass(line)) {
    case '2':
        SendSyst();
        break;
    case '3':
        if (password_.isEmpty()) {
            QString answer;
            AskNeedInfo(needPassword, answer);
            password_ = EncodeName(answer);
        }
        sessionPassword_ = password_;
        SendCommand("PASS " + password_, ReplyState::Pass);
        break;
    default:
        RefuseLogin();
    }
}

void TMFtp::AnswerPass(const QByteArray &line)
{
    switch (ReplyClass(line)) {
    case '2':
        SendSyst();
        break;
    case '3':
        if (Account.isEmpty()) {
            QString answer;
            AskNeedInfo(needAccount, answer);
            Account = EncodeName(answer);
        }
        SendCommand("ACCT " + Account, ReplyState::Acct);
        break;
    default:
        RefuseLogin();
    }
}

void TMFtp::AnswerAcct(const QByteArray &line)
{
    if (ReplyClass(line) == '2')
        SendSyst();
    else
        RefuseLogin();
}

void TMFtp::SendSyst()
{
    SendCommand("SYST", ReplyState::Syst);
}

void TMFtp::RefuseLogin()
{
    PlainError(ftpeLoginRefused);
    SendCommand("QUIT", ReplyState::Quit);
}

void TMFtp::AnswerSyst(const QByteArray &line)
{
    operationKind_ = OperationKind::Login;
    ServerType = DetectServerType(line);
    resumeProbedInBinary_ = false;
    featReply_.clear();
    SendCommand("FEAT", ReplyState::Feat);
}

void TMFtp::AnswerRestProbe(const QByteArray &line)
{
    // proftpd and pyftpdlib refuse REST with 501 while the session is still in
    // ASCII mode, though they resume binary transfers: ask again in binary.
    // The type is remembered, so a listing still switches back to ASCII.
    if (line.startsWith("501") && !resumeProbedInBinary_) {
        resumeProbedInBinary_ = true;
        sessionType_ = 0;
        typeRequested_ = 'I';
        SendCommand("TYPE I", ReplyState::RestProbeBinary);
        return;
    }
    resumeSupported_ = ReplyClass(line) == '3';
    if (resumeSupported_)
        RaiseInfo(ftpiResumeSupported, QStringLiteral("This site can resume broken downloads/uploads"));
    ContinueAfterResumeProbe();
}

void TMFtp::AnswerRestProbeBinary(const QByteArray &line)
{
    if (ReplyClass(line) == '2') {
        sessionType_ = typeRequested_;
        SendCommand("REST 100", ReplyState::RestProbe);
        return;
    }
    resumeSupported_ = false;
    ContinueAfterResumeProbe();
}

void TMFtp::ContinueAfterResumeProbe()
{
    if (urlPending_) {
        // An ftp:// address is waiting: go straight on with it.
        SetReplyState(ReplyState::UrlStart);
        DispatchReply("299");
        return;
    }
    // Without a probe (REST STREAM listed) there is no offset to clear.
    if (features_.restStream) {
        SendLoginDirectory();
        return;
    }
    SendCommand("REST 0", ReplyState::RestZero);
}

void TMFtp::AnswerRestZero(const QByteArray &)
{
    SendLoginDirectory();
}

void TMFtp::SendLoginDirectory()
{
    if (!InitialDirectory.isEmpty())
        SendCommand("CWD " + InitialDirectory, ReplyState::LoginDirectory);
    else
        SendCommand("PWD", ReplyState::LoginDirectory);
}

void TMFtp::AnswerLoginDirectory(const QByteArray &line)
{
    bool accepted = ReplyClass(line) == '2';
    if (currentDirectory_.isEmpty()) {
        if (!accepted) {
            FatalError(ftpeProtocol);
            return;
        }
        currentDirectory_ = QuotedDirectory(line);
    } else if (!accepted) {
        RaiseInfo(ftpiAccessDenied);
    }
    RaiseInfo(ftpiLoggedIn, QStringLiteral("Logged in"));
    SetReplyState(ReplyState::Idle);
    PostReady();
}

void TMFtp::AnswerQuit(const QByteArray &line)
{
    loggedIn_ = false;
    if (ReplyClass(line) != '2') {
        FatalError(ftpeNone);
        SetReplyState(ReplyState::Idle);
        return;
    }
    // The close that follows is what the owner asked for: the completion
    // event that it raises again reads as a success. (After a refused login
    // the engine sends QUIT itself, and the failure stands.)
    if (quitByOwner_) {
        quitAccepted_ = true;
        success_ = true;
    }
    SetReplyState(ReplyState::Idle);
}

qsizetype TMFtp::MaskedLength(const QByteArray &password)
{
    return platform::DecodeAnsi(password).size();
}

QByteArray TMFtp::QuotedDirectory(const QByteArray &reply)
{
    qsizetype open = reply.indexOf('"');
    if (open < 0)
        return QByteArray();
    qsizetype close = reply.indexOf('"', open + 1);
    if (close < 0)
        return QByteArray();
    return reply.mid(open + 1, close - open - 1);
}
