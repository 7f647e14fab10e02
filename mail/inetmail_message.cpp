// The message itself: header, body text, attachments and the data-phase
// rules (dot transparency, the final "." line), written in answer to DATA.

#include "inetmail.h"
#include "mime_encoding.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

using namespace mailenc;

namespace {

// Old servers limit command and header lines; longer header lines are folded
// there rather than cut.
constexpr int LineLimit = 253;
constexpr qsizetype BodyChunk = 2048;
constexpr qint64 AttachmentBlock = 2280;  // 40 base64 lines
constexpr qsizetype Base64Input = 57;     // one 76-character line

QByteArray dq(const QByteArray &text)
{
    return '"' + text + '"';
}

}  // namespace

void SendMail::WriteMessage()
{
    dataLineStart_ = true;
    dataAfterCR_ = false;
    messageBoundary_ = "==============ghyurgtfy573======___";
    const QByteArray body = BodyText();

    WriteHeader(body);
    if (Halted())
        return;

    if (!Attachments.isEmpty() && !MailText.isEmpty()) {
        DataLine("--" + messageBoundary_);
        DataLine(TextTypeLine(body));
        if (bodyQuotedPrintable_)
            DataLine("Content-Transfer-Encoding: quoted-printable");
        DataLine(QByteArray());
    }

    feeding_ = true;
    qint64 fed = 0;
    while (OnFeedData && feeding_ && !Halted()) {
        QByteArray data;
        TSendMailEvent handler = OnFeedData;
        handler(this, data);
        if (data.isEmpty()) {
            feeding_ = false;
        } else {
            fed += data.size();
            Info(smSendingMessage, QString::number(fed));
            DataText(data);
        }
    }

    if (!MailText.isEmpty()) {
        WriteBody(body);
        DataLine(QByteArray());
    }
    for (const QString &path : std::as_const(Attachments)) {
        if (Halted())
            return;
        WriteAttachment(path);
    }
    if (!Attachments.isEmpty()) {
        DataLine("--" + messageBoundary_ + "--");
        DataLine(QByteArray());
    }
    if (Halted())
        return;
    // Only a "." on a line of its own ends the data: finish a pending line first.
    if (!dataLineStart_)
        SendText("\r\n");
    SendLine(".");
}

QByteArray SendMail::TextTypeLine(const QByteArray &body) const
{
    // The charset named is the one the text is really in.
    return "Content-Type: text/plain; charset=" + dq(IsAscii(body) ? "us-ascii" : TextCharset);
}

void SendMail::WriteHeader(const QByteArray &body)
{
    DataHeader("From: " + MailboxText(FROM_Name, FROM_Address, 6));
    // One To and one cc field, the addresses separated by commas (RFC 5322
    // allows each field once); folded at the blanks after the commas.
    for (const auto &[field, items] : {std::pair<QByteArray, const QStringList *>{"To: ", &ListTo},
                                       std::pair<QByteArray, const QStringList *>{"cc: ", &Listcc}}) {
        QByteArray line = field;
        for (const QString &item : *items) {
            if (Halted())
                return;
            QString address, name;
            SplitRecipient(item, address, name);
            if (line.size() > field.size())
                line += ", ";
            line += MailboxText(name, address, int(line.size() - line.lastIndexOf('\n') - 1));
        }
        if (line.size() > field.size())
            DataHeader(line);
    }
    if (!Subject.isEmpty())
        DataHeader(EncodeHeaderLine(QStringLiteral("Subject: ") + Subject));
    DataHeader("Mime-Version: 1.0");

    // Anything but CR, LF and printable ASCII, or an overlong line, needs
    // quoted-printable.
    bodyQuotedPrintable_ = NeedsQuotedPrintable(body);
    if (Attachments.isEmpty()) {
        DataHeader(TextTypeLine(body));
        if (bodyQuotedPrintable_)
            DataHeader("Content-Transfer-Encoding: quoted-printable");
    } else {
        DataHeader("Content-Type: multipart/mixed; boundary=" + dq(messageBoundary_));
    }
    for (const QString &header : std::as_const(Headers)) {
        if (Halted())
            return;
        DataHeader(EncodeHeaderLine(header));
    }
    DataLine(QByteArray());
}

void SendMail::WriteBody(const QByteArray &body)
{
    const qsizetype length = body.size();
    Info(smMessageSize, QString::number(length));
    qpColumn_ = 0;
    qsizetype sent = 0;
    while (sent < length) {
        if (Halted())
            return;
        QByteArray chunk = body.mid(sent, BodyChunk);
        // A line break stays whole within one chunk, so that it goes out as one.
        if (chunk.endsWith('\r') && sent + chunk.size() < length)
            chunk = body.mid(sent, BodyChunk + 1);
        DataText(bodyQuotedPrintable_ ? EncodeQuotedPrintable(chunk, qpColumn_) : chunk);
        if (Halted())
            return;
        sent += chunk.size();
        Info(smSendingMessage, QString::number(sent));
    }
}

void SendMail::WriteAttachment(const QString &path)
{
    Info(smAttachmentName, path);
    QFile file(path);
    if (QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly)) {
        Info(smBadAttachment, path);
        return;
    }
    const QString fileName = QFileInfo(path).fileName();
    DataLine("--" + messageBoundary_);
    if (IsAscii(fileName.toUtf8())) {
        const QByteArray name = dq(QuoteParameter(OneLine(fileName.toUtf8())));
        DataHeader("Content-Type: application/octet-stream; name=" + name);
        DataLine("Content-Transfer-Encoding: base64");
        DataHeader("Content-Disposition: attachment; filename=" + name);
    } else {
        // RFC 2231 in both fields. Encoded words inside the quotes, which some
        // old readers decode, are forbidden there (RFC 2047 section 5) and
        // strict parsers reject them, so they are not sent.
        const QByteArray name = ExtendedParameterValue(fileName);
        DataHeader("Content-Type: application/octet-stream; name*=" + name);
        DataLine("Content-Transfer-Encoding: base64");
        DataHeader("Content-Disposition: attachment; filename*=" + name);
    }
    DataLine(QByteArray());
    Info(smAttachmentSize, QString::number(file.size()));
    if (!WriteBase64(file, path))
        Info(smBadAttachment, path);
}

bool SendMail::WriteBase64(QFile &file, const QString &)
{
    QByteArray pending;
    qint64 count = 0;
    for (;;) {
        if (Halted())
            return true;
        const QByteArray block = file.read(AttachmentBlock);
        if (block.isEmpty() && file.error() != QFileDevice::NoError)
            return false;  // the part stays short
        pending.append(block);
        qsizetype at = 0;
        for (; pending.size() - at >= Base64Input; at += Base64Input) {
            if (Halted())
                return true;
            DataLine(pending.mid(at, Base64Input).toBase64());
            count += Base64Input;
            Info(smAttachmentBytes, QString::number(count));
        }
        pending.remove(0, at);
        if (block.isEmpty() || file.atEnd())
            break;
    }
    if (Halted())
        return true;
    if (!pending.isEmpty()) {
        DataLine(pending.toBase64());
        count += pending.size();
    }
    Info(smAttachmentBytes, QString::number(count));
    return true;
}

void SendMail::SendLine(const QByteArray &line)
{
    SendText(OneLine(line.left(LineLimit)) + "\r\n");
}

void SendMail::DataLine(const QByteArray &line)
{
    DataText(OneLine(line.left(LineLimit)) + "\r\n");
}

void SendMail::DataHeader(const QByteArray &line)
{
    // Folded, not cut: a cut header loses text and can break an encoded word.
    for (const QByteArray &physical : FoldHeaderLine(line, LineLimit)) {
        if (Halted())
            return;
        DataText(physical + "\r\n");
    }
}

void SendMail::DataText(const QByteArray &text)
{
    SendText(StuffDots(text, dataLineStart_, dataAfterCR_));
}

void SendMail::SendText(const QByteArray &text, const QByteArray *shown)
{
    if (Halted())
        return;
    if (OnMailInfo)
        Info(smTraceOut, shown ? QString::fromUtf8(*shown + "\r\n") : QString::fromUtf8(text));
    qsizetype offset = 0;
    bool blocked = false;
    while (offset < text.size()) {
        // Let the user interface run: cancel, timers and socket notices come
        // in here. After a "would block" wait for the next event (the socket
        // becoming writable among them) instead of spinning.
        QCoreApplication::processEvents(blocked ? QEventLoop::WaitForMoreEvents : QEventLoop::AllEvents);
        if (Halted())
            return;
        const int count = int(qMin<qsizetype>(text.size() - offset, 1 << 20));
        const int taken = SendData(text.constData() + offset, count);
        offset += taken;
        if (CheckSocketError())
            return;
        blocked = taken == 0;
    }
}
