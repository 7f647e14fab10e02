#include "mime_encoding.h"

#include <cctype>

namespace mailenc {

namespace {

constexpr char HexDigits[] = "0123456789ABCDEF";

void appendHex(QByteArray &out, uchar byte)
{
    out.append('=');
    out.append(HexDigits[byte >> 4]);
    out.append(HexDigits[byte & 15]);
}

// Characters that may stay literal inside an encoded word wherever it stands
// (RFC 2047 section 5, the strictest of its three rules). "?", "_" and "="
// in particular must be encoded or the reader mis-decodes the word.
bool literalInWord(uchar byte)
{
    return (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z')
           || (byte >= '0' && byte <= '9') || byte == '!' || byte == '*' || byte == '+'
           || byte == '-' || byte == '/';
}

QByteArray encodeCharacter(const QByteArray &utf8)
{
    QByteArray out;
    for (char c : utf8) {
        uchar byte = uchar(c);
        if (byte == ' ')
            out.append('_');
        else if (literalInWord(byte))
            out.append(c);
        else
            appendHex(out, byte);
    }
    return out;
}

}  // namespace

bool IsAscii(const QByteArray &bytes)
{
    for (char c : bytes)
        if (uchar(c) > 126)
            return false;
    return true;
}

QByteArray OneLine(const QByteArray &bytes)
{
    QByteArray out = bytes;
    for (char &c : out)
        if (c == '\r' || c == '\n')
            c = ' ';
    return out;
}

QByteArray EncodeHeaderWord(const QString &text, int startColumn)
{
    const QByteArray utf8 = OneLine(text.toUtf8());
    if (IsAscii(utf8))
        return utf8;

    static const QByteArray prefix = QByteArray("=?") + TextCharset + "?Q?";
    static const QByteArray suffix = "?=";
    constexpr int maxWord = 75;
    constexpr int maxLine = 76;

    QByteArray result;
    QByteArray word;
    int budget = qMax(maxLine - startColumn, 30);  // room for the first word
    if (budget > maxWord)
        budget = maxWord;
    auto flush = [&] {
        if (word.isEmpty())
            return;
        if (!result.isEmpty())
            result.append("\r\n ");
        result.append(prefix).append(word).append(suffix);
        word.clear();
        budget = maxWord - 1;  // the folded line starts with one space
    };
    // One character at a time, so that a UTF-8 sequence never straddles two words.
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype step = (text.at(i).isHighSurrogate() && i + 1 < text.size()) ? 2 : 1;
        QByteArray piece = encodeCharacter(OneLine(text.mid(i, step).toUtf8()));
        i += step;
        if (!word.isEmpty() && prefix.size() + word.size() + piece.size() + suffix.size() > budget)
            flush();
        word.append(piece);
    }
    flush();
    return result;
}

QByteArray EncodeHeaderLine(const QString &line)
{
    const qsizetype colon = line.indexOf(QLatin1String(": "));
    if (colon < 0)
        return OneLine(line.toUtf8());
    const QByteArray head = OneLine(line.left(colon + 2).toUtf8());
    return head + EncodeHeaderWord(line.mid(colon + 2, 999), int(head.size())) + "  ";
}

QByteArray EncodeQuotedPrintable(const QByteArray &chunk, int &column)
{
    QByteArray out;
    out.reserve(chunk.size() * 5);
    const qsizetype size = chunk.size();
    for (qsizetype i = 0; i < size; ++i) {
        const uchar byte = uchar(chunk.at(i));
        if (byte == '\r' && i + 1 < size && chunk.at(i + 1) == '\n') {
            out.append("\r\n");
            column = 0;
            ++i;
            continue;
        }
        if (byte >= '!' && byte <= '~' && byte != '=') {
            out.append(char(byte));
            column += 1;
        } else {
            // Spaces too: a blank at the end of a line would be dropped in transit.
            appendHex(out, byte);
            column += 3;
        }
        const bool breakFollows = i + 2 < size && chunk.at(i + 1) == '\r' && chunk.at(i + 2) == '\n';
        if (column > 70 && !breakFollows) {
            out.append("=\r\n");
            column = 0;
        }
    }
    return out;
}

bool NeedsQuotedPrintable(const QByteArray &body)
{
    qsizetype lineLength = 0;
    for (char c : body) {
        const uchar byte = uchar(c);
        if (byte == '\n') {
            lineLength = 0;
            continue;
        }
        if (byte == '\r')
            continue;
        if (byte < 32 || byte > 126 || ++lineLength > MaxLineLength)
            return true;
    }
    return false;
}

QByteArray DisplayName(const QString &name, int startColumn)
{
    const QByteArray utf8 = OneLine(name.toUtf8());
    if (!IsAscii(utf8))
        return EncodeHeaderWord(name, startColumn);
    // atext (RFC 5322 3.2.3) and blanks between atoms need no quotes.
    static const QByteArray atextSymbols = "!#$%&'*+-/=?^_`{|}~ ";
    bool plain = !utf8.trimmed().isEmpty() && utf8.trimmed() == utf8 && !utf8.contains("  ");
    for (char c : utf8)
        if (!std::isalnum(uchar(c)) && !atextSymbols.contains(c))
            plain = false;
    return plain ? utf8 : '"' + QuoteParameter(utf8) + '"';
}

QByteArray MailboxText(const QString &name, const QString &address, int startColumn)
{
    const QByteArray bare = OneLine(address.toUtf8());
    if (name.isEmpty() || name == address)
        return bare;
    return DisplayName(name, startColumn) + " <" + bare + '>';
}

QByteArray ExtendedParameterValue(const QString &value)
{
    static const QByteArray tokenSymbols = "!#$&+-.^_`|~";
    QByteArray out = "UTF-8''";
    for (char c : OneLine(value.toUtf8())) {
        const uchar byte = uchar(c);
        if (byte < 128 && (std::isalnum(byte) || tokenSymbols.contains(c))) {
            out.append(c);
        } else {
            out.append('%');
            out.append(HexDigits[byte >> 4]);
            out.append(HexDigits[byte & 15]);
        }
    }
    return out;
}

QList<QByteArray> FoldHeaderLine(const QByteArray &line, int limit)
{
    constexpr int hardLimit = 998;
    QList<QByteArray> physical = line.split('\n');
    for (QByteArray &piece : physical)
        if (piece.endsWith('\r'))
            piece.chop(1);

    QList<QByteArray> out;
    for (QByteArray rest : physical) {
        while (rest.size() > limit) {
            // Break before the last white space that keeps this line within
            // the limit and leaves something other than white space on it.
            qsizetype at = -1;
            for (qsizetype i = qMin<qsizetype>(limit, rest.size() - 1); i > 0; --i) {
                if (rest.at(i) == ' ' || rest.at(i) == '\t') {
                    if (!rest.left(i).trimmed().isEmpty())
                        at = i;
                    break;
                }
            }
            if (at < 0) {
                // A long word: keep it whole, breaking at the next white space.
                for (qsizetype i = limit + 1; i < rest.size() && i <= hardLimit; ++i)
                    if (rest.at(i) == ' ' || rest.at(i) == '\t') {
                        at = i;
                        break;
                    }
            }
            if (at < 0 && rest.size() <= hardLimit)
                break;
            if (at < 0) {
                // No white space within the hard limit: a break is unavoidable.
                out.append(rest.left(hardLimit - 1));
                rest = ' ' + rest.mid(hardLimit - 1);
                continue;
            }
            // Trailing white space alone on a continuation line is not a fold.
            if (rest.mid(at).trimmed().isEmpty())
                break;
            out.append(rest.left(at));
            rest = rest.mid(at);
        }
        out.append(rest);
    }
    return out;
}

QByteArray StuffDots(const QByteArray &data, bool &atLineStart, bool &afterCR)
{
    QByteArray out;
    out.reserve(data.size() + 8);
    for (char c : data) {
        if (atLineStart && c == '.')
            out.append('.');
        out.append(c);
        atLineStart = afterCR && c == '\n';
        afterCR = c == '\r';
    }
    return out;
}

QByteArray QuoteParameter(const QByteArray &value)
{
    QByteArray out;
    for (char c : value) {
        if (c == '"' || c == '\\')
            out.append('\\');
        out.append(c);
    }
    return out;
}

}  // namespace mailenc
