#include "mime_encoding.h"

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
    for (char c : chunk) {
        uchar byte = uchar(c);
        if (byte >= '!' && byte <= '~' && byte != '=') {
            out.append(c);
            column += 1;
        } else {
            appendHex(out, byte);
            column += 3;
        }
        if (column > 70) {
            out.append("=\r\n");
            column = 0;
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
