#pragma once
// The byte-level encodings of an outgoing message: header words, quoted-
// printable body, base64 lines, header folding and the SMTP data-phase dot
// rule. Pure functions, so that each can be checked on its own.

#include <QByteArray>
#include <QList>
#include <QString>

namespace mailenc {

// Charset named for text that holds bytes above 126 (RFC 2047 words and the
// text-type line); all text of the message is sent in it then.
inline constexpr char TextCharset[] = "UTF-8";

// True when no byte is above 126 (the mail then goes out as plain ASCII).
bool IsAscii(const QByteArray &bytes);

// CR and LF inside a header field or a command argument would start a new
// header line or command; they become spaces.
QByteArray OneLine(const QByteArray &bytes);

// A header text: unchanged when it is ASCII; otherwise RFC 2047 "Q" encoded
// words in UTF-8, each at most 75 characters and never splitting a character,
// joined by folding white space (CR LF and a space). startColumn is where the
// first word begins on its line, so that the first line stays short too.
QByteArray EncodeHeaderWord(const QString &text, int startColumn = 0);

// "Name: value": the name with its ": " unchanged, the value (at most 999
// characters) through EncodeHeaderWord, then two spaces. A text without ": "
// is returned unchanged.
QByteArray EncodeHeaderLine(const QString &line);

// Quoted-printable of one chunk; column carries the output column from chunk
// to chunk. A CR LF pair is the text's own line break and goes out as CR LF;
// every other byte outside "!".."~" and "=" itself is written as =XX, and a
// soft break follows once a line exceeds 70 characters (not right before a
// line break, which ends the line anyway).
QByteArray EncodeQuotedPrintable(const QByteArray &chunk, int &column);

// The longest line a message may carry, without its CR LF (RFC 5322).
inline constexpr qsizetype MaxLineLength = 998;

// Whether a body text (CR LF line ends) cannot go out as it is: a byte other
// than CR, LF and printable ASCII, or a line longer than MaxLineLength.
bool NeedsQuotedPrintable(const QByteArray &body);

// A display name as a header phrase (RFC 5322): as it is when it is made of
// atoms, a quoted string when it holds specials such as "," or "." or a
// quote, RFC 2047 encoded words when it is not ASCII.
QByteArray DisplayName(const QString &name, int startColumn = 0);

// "name <address>"; the bare address when there is no name or the name is
// the address itself.
QByteArray MailboxText(const QString &name, const QString &address, int startColumn = 0);

// An RFC 2231 extended parameter value: "UTF-8''" and the UTF-8 bytes, each
// byte outside the plain token characters written as %XX.
QByteArray ExtendedParameterValue(const QString &value);

// Splits a header line that contains folding (CR LF + white space) into its
// physical lines, and folds any physical line longer than limit at white
// space so that nothing is cut away. A run without white space is kept whole
// up to 998 characters (the hard SMTP line limit) and broken only beyond it.
QList<QByteArray> FoldHeaderLine(const QByteArray &line, int limit);

// The SMTP data-phase rule: a line of the outgoing data that begins with "."
// gets one more "." in front. atLineStart carries the state from piece to
// piece (true at the start of the data and after each CR LF).
QByteArray StuffDots(const QByteArray &data, bool &atLineStart, bool &afterCR);

// Quoted string contents for a MIME parameter: " and \ escaped.
QByteArray QuoteParameter(const QByteArray &value);

}  // namespace mailenc
