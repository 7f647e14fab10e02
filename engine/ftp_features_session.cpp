// What a server's FEAT reply changes in a session: the FEAT step of the login
// (after SYST, before the resume probe), OPTS UTF8 ON and OPTS MLST, and
// listings by MLSD with their fallback to LIST.

#include "engine/ftp.h"
#include "engine/ftp_parse.h"

#include "platform/codepage.h"

using ftpparse::ReplyClass;

namespace {

// A hostile server could list features without end.
constexpr qsizetype MaxFeatReply = 64 * 1024;

bool HasReplyCode(const QByteArray &line)
{
    return line.size() >= 3 && std::all_of(line.begin(), line.begin() + 3, [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

void TMFtp::ResetSessionFeatures()
{
    features_ = FtpFeatures();
    featReply_.clear();
    featLate_ = false;
    mlsdRefused_ = false;
    mlsdListing_ = false;
}

void TMFtp::NoteFeatLine(const QByteArray &line)
{
    if (featReply_.size() + line.size() >= MaxFeatReply)
        return;
    featReply_ += line;
    featReply_ += '\n';
}

bool TMFtp::IsLateFeatLine(const QByteArray &line)
{
    // The FEAT reply that came after its time-out: feature lines, and 211
    // lines up to the closing one. They must not pass for the answer to the
    // commands sent since.
    if (line.startsWith(' ') || line.startsWith('\t') || line.startsWith("211-"))
        return true;
    if (line.startsWith("211")) {
        featLate_ = false;
        return true;
    }
    return false;
}

void TMFtp::AnswerFeat(const QByteArray &line)
{
    // A feature line sent without the "211-" that opens the list reaches
    // here on its own: the reply itself is still to come.
    if (!HasReplyCode(line) || ReplyClass(line) == '1')
        return;
    features_ = ftpfeatures::ParseFeatReply(featReply_);
    featReply_.clear();
    SendFeatureOptions();
}

void TMFtp::FeatTimedOut()
{
    // Whatever came is all there will be; a list left open must not swallow
    // the replies to the commands that follow.
    features_ = ftpfeatures::ParseFeatReply(featReply_);
    featReply_.clear();
    replyAssembler_.Reset();
    featLate_ = true;
    RaiseInfo(ftpiReply, QStringLiteral("No answer to FEAT: going on without it\r\n"));
    NoteTraffic();
    SendFeatureOptions();
}

void TMFtp::SendFeatureOptions()
{
    if (features_.utf8) {
        SendCommand("OPTS UTF8 ON", ReplyState::OptsUtf8);
        return;
    }
    SendOptsMlst();
}

void TMFtp::AnswerOptsUtf8(const QByteArray &line)
{
    // A refusal changes nothing: the server listed UTF8, so its names are
    // UTF-8 whether or not it takes the option.
    if (ReplyClass(line) == '1')
        return;
    SendOptsMlst();
}

void TMFtp::SendOptsMlst()
{
    const QByteArray facts = UseMlsd && features_.mlsd ? ftpfeatures::OptsMlstArgument(features_) : QByteArray();
    if (!facts.isEmpty()) {
        SendCommand("OPTS MLST " + facts, ReplyState::OptsMlst);
        return;
    }
    StartResumeProbe();
}

void TMFtp::AnswerOptsMlst(const QByteArray &line)
{
    if (ReplyClass(line) == '1')
        return;
    StartResumeProbe();
}

void TMFtp::StartResumeProbe()
{
    // REST STREAM in FEAT says it all; the probe stays for servers without FEAT.
    if (features_.restStream) {
        resumeSupported_ = true;
        RaiseInfo(ftpiResumeSupported, QStringLiteral("This site can resume broken downloads/uploads"));
        ContinueAfterResumeProbe();
        return;
    }
    SendCommand("REST 100", ReplyState::RestProbe);
}

// ---------------------------------------------------------------- listings

TMFtpServerType TMFtp::ListingStyle() const
{
    // SYST decided nothing: each line shows which rule reads it.
    return ServerType == ftpstDefault ? ftpstDetect : ServerType;
}

bool TMFtp::ListsByMlsd() const
{
    return UseMlsd && features_.mlsd && !mlsdRefused_ && FileMask.isEmpty();
}

void TMFtp::SendListingCommand()
{
    mlsdListing_ = ListsByMlsd();
    if (mlsdListing_)
        SendTransferCommand("MLSD", ReplyState::Mlsd);
    else
        SendTransferCommand(FileMask.isEmpty() ? QByteArray("LIST") : "LIST " + FileMask, ReplyState::List);
}

void TMFtp::AnswerMlsd(const QByteArray &line)
{
    // Listed in FEAT and still not understood: LIST for the rest of the session.
    if (line.startsWith("500") || line.startsWith("502")) {
        ListWithoutMlsd();
        return;
    }
    AnswerList(line);
}

void TMFtp::ListWithoutMlsd()
{
    mlsdRefused_ = true;
    mlsdListing_ = false;
    RaiseInfo(ftpiReply, QStringLiteral("MLSD refused: listing with LIST\r\n"));
    // The data connection made for MLSD goes; LIST gets one of its own, as
    // a server may have dropped its passive port with the refusal, and the
    // ASCII type that MLSD went without.
    DropDataSide();
    dataDone_ = false;
    controlDone_ = false;
    dataFailed_ = false;
    transferCommandSent_ = false;
    listingEndPending_ = false;
    SendType('A', ReplyState::ListType);
}
