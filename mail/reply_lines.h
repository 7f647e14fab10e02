#pragma once
// Turns the bytes an SMTP server sends into complete reply lines. Only
// framing lives here; what a line means is the sender's business.

#include <QByteArray>

class ReplyLines {
public:
    // A reply line is at most 512 characters (RFC 5321); far longer text
    // without a line end is a broken or hostile server, not a reply.
    static constexpr qsizetype MaxLine = 8192;

    enum Result { NoLine, Line, Overlong };

    void Append(const QByteArray &bytes);
    // Takes the next complete line (without its CR LF). Overlong: the pending
    // text grew past MaxLine without a line end; line then holds its start.
    Result Take(QByteArray &line);
    void Clear() { pending_.clear(); }
    const QByteArray &Pending() const { return pending_; }

private:
    QByteArray pending_;
};
