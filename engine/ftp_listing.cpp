#include "engine/ftp_listing.h"

#include <QVarLengthArray>

namespace {

// The blank-separated columns of a line, found in one pass over the original
// bytes so that positions stay valid for cutting the name out of the line.
// Only the blank (0x20) separates; a run of blanks is one separator; a line
// that starts with blanks has an empty column 0.
class Columns
{
public:
    struct Column {
        qsizetype begin;
        qsizetype end;
        bool followedByBlank;
    };

    // Records at most `wanted` columns, so a huge line costs no more than
    // the walk up to the columns the rule looks at.
    Columns(const QByteArray &line, int wanted) : m_line(line)
    {
        const qsizetype length = line.size();
        qsizetype pos = 0;
        while (m_columns.size() < wanted) {
            const qsizetype blank = line.indexOf(' ', pos);
            if (blank < 0) {
                m_columns.append({pos, length, false});
                break;
            }
            m_columns.append({pos, blank, true});
            pos = blank;
            while (pos < length && line.at(pos) == ' ')
                ++pos;
        }
    }

    // The last column of a line (no blank after it) is never a word.
    QByteArray word(int n) const
    {
        if (n < 0 || n >= m_columns.size() || !m_columns.at(n).followedByBlank)
            return {};
        const Column &c = m_columns.at(n);
        return m_line.mid(c.begin, c.end - c.begin);
    }

    bool hasColumn(int n) const { return n >= 0 && n < m_columns.size(); }
    const Column &column(int n) const { return m_columns.at(n); }

private:
    const QByteArray &m_line;
    QVarLengthArray<Column, 12> m_columns;
};

QByteArray joined(const QByteArray &a, const QByteArray &b)
{
    QByteArray text;
    text.reserve(a.size() + 1 + b.size());
    text += a;
    text += ' ';
    text += b;
    return text;
}

QByteArray joined(const QByteArray &a, const QByteArray &b, const QByteArray &c)
{
    return joined(joined(a, b), c);
}

// The classic name: drop a link target, drop trailing blanks, keep what follows
// the last blank. Only used when the line lacks the date columns, so the name
// cannot be located by column.
QByteArray lastWordName(const QByteArray &line, bool link)
{
    qsizetype end = line.size();
    if (link) {
        const qsizetype arrow = line.indexOf("->");
        if (arrow >= 0)
            end = arrow;
    }
    while (end > 0 && line.at(end - 1) == ' ')
        --end;
    if (end == 0)
        return {};
    const qsizetype blank = line.lastIndexOf(' ', end - 1);
    return line.mid(blank + 1, end - blank - 1);
}

bool allDigits(QByteArrayView text, qsizetype least, qsizetype most)
{
    if (text.size() < least || text.size() > most)
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

// "Jan 12 13:20" or "Jan 12 2019" as the last three words of line[0, end): the
// line stops after its date columns, and its last word is no name.
bool endsWithDate(QByteArrayView line, qsizetype end)
{
    QByteArrayView words[3];
    for (int i = 2; i >= 0; --i) {
        while (end > 0 && line.at(end - 1) == ' ')
            --end;
        const qsizetype begin = line.first(end).lastIndexOf(' ') + 1;
        words[i] = line.sliced(begin, end - begin);
        if (words[i].isEmpty())
            return false;
        end = begin;
    }
    const QByteArrayView time = words[2];
    const qsizetype colon = time.indexOf(':');
    const bool clock = colon > 0 && allDigits(time.first(colon), 1, 2) && allDigits(time.sliced(colon + 1), 2, 2);
    return (clock || allDigits(time, 4, 4)) && allDigits(words[1], 1, 2) && !allDigits(words[0], 1, words[0].size());
}

// Everything after the date columns, byte for byte, so that "my file.txt" or
// a name with leading blanks can be sent back to the server as listed.
QByteArray wholeName(const QByteArray &line, int nameColumn, bool bracketLayout)
{
    const Columns cols(line, nameColumn + 1);
    const int lastDateColumn = nameColumn - 1;
    if (!cols.hasColumn(lastDateColumn) || !cols.column(lastDateColumn).followedByBlank)
        return {};
    // Unix servers (vsftpd, proftpd, pure-ftpd, pyftpdlib, ls) put exactly one
    // blank before the name, so further blanks belong to it. NetWare pads its
    // "[" layout with a run of blanks that is no part of the name.
    const qsizetype from = bracketLayout ? cols.column(nameColumn).begin
                                         : cols.column(lastDateColumn).end + 1;
    return line.mid(from);
}

} // namespace

ParsedEntry ListingParser::Parse(TMFtpServerType style, const QByteArray &line)
{
    if (line.isEmpty())
        return {};
    switch (style) {
    case ftpstDefault:
    case ftpstUNIX:
    case ftpstULTRIX:
    case ftpstU5000:
    case ftpstSINTMftpD:
        return ParseUnix(line);
    case ftpstVmsMultinet:
    case ftpstVmsUcx:
        return ParseVms(line);
    case ftpstVM:
        return ParseVm(line);
    case ftpstVMVPS:
        return ParseVmVps(line);
    case ftpstAutoDetect:
    case ftpstMVS:
    case ftpstMacFtpd:
    case ftpstClix:
    case ftpstQVT:
    case ftpstNCSA:
    case ftpstChameleon:
        break;
    }
    return ParseWithoutRule(line);
}

void ListingParser::Reset()
{
    m_pending = QByteArray();
}

QByteArray ListingParser::Word(const QByteArray &line, int n)
{
    if (n < 0 || n >= line.size())
        return {}; // a word needs a blank after it, so n < size
    return Columns(line, n + 1).word(n);
}

ParsedEntry ListingParser::ParseUnix(const QByteArray &line)
{
    ParsedEntry entry;
    const char kind = line.at(0);
    if (kind == '-' || kind == 'f')
        entry.directory = false;
    else if (kind == 'd' || kind == 'l')
        entry.directory = true; // links are entered like directories
    else
        return {}; // "total 42", devices, pipes, blank-led lines

    const Columns cols(line, 8);
    const QByteArray word1 = cols.word(1);
    if (word1.isEmpty())
        return {};

    entry.attributes = cols.word(0);
    const bool bracketLayout = word1.startsWith('[');
    int nameColumn;
    if (bracketLayout) {
        entry.size = cols.word(3);
        entry.date = joined(cols.word(4), cols.word(5), cols.word(6));
        nameColumn = 7;
    } else {
        entry.size = cols.word(4);
        entry.date = joined(cols.word(5), cols.word(6), cols.word(7));
        nameColumn = 8;
    }

    // A link reads "name -> target"; its target is cut off before the columns
    // are counted, or its blanks would pass for the date columns of a short
    // line. Other entries keep any "->": a plain file may be called "a -> b".
    const bool link = kind == 'l';
    const qsizetype arrow = link ? line.indexOf(" -> ") : -1;
    entry.name = wholeName(arrow >= 0 ? line.left(arrow) : line, nameColumn, bracketLayout);
    if (entry.name.isEmpty()) {
        // Nothing after the date: the last word would be the time or the year.
        if (endsWithDate(line, arrow >= 0 ? arrow : line.size()))
            return {};
        entry.name = lastWordName(line, link);
    }
    entry.accepted = true;
    return entry;
}

ParsedEntry ListingParser::ParseVms(const QByteArray &line)
{
    // A held line is always put in front of the next one, whatever it holds.
    const bool continued = !m_pending.isEmpty();
    QByteArray work;
    if (continued) {
        work = std::move(m_pending);
        m_pending = QByteArray();
        work.append(line);
    } else {
        work = line;
    }

    // A held line always contains ";", so only the new bytes need a look.
    if (!continued && !line.contains(';'))
        return {};

    // Word 0 is empty when the text starts with a blank or holds no blank at
    // all. A held line is either blank-led or blank-free, so whether the joined
    // text holds a blank is decided by the new bytes alone: this keeps a stream
    // of hostile fragments from rescanning the held bytes on every line.
    const bool wordZeroEmpty = work.startsWith(' ') || !line.contains(' ');
    if (wordZeroEmpty) {
        if (work.size() <= MaxPendingLength)
            m_pending = std::move(work);
        return {};
    }

    const Columns cols(work, 5);
    ParsedEntry entry;
    entry.name = cols.word(0);
    const qsizetype semicolon = entry.name.indexOf(';');
    if (semicolon >= 0)
        entry.name.truncate(semicolon);
    const qsizetype dirSuffix = entry.name.indexOf(".DIR");
    entry.directory = dirSuffix >= 0;
    if (entry.directory)
        entry.name.truncate(dirSuffix);
    entry.size = cols.word(1);
    entry.date = joined(cols.word(2), cols.word(3));
    entry.accepted = true;
    return entry;
}

ParsedEntry ListingParser::ParseVm(const QByteArray &line)
{
    const Columns cols(line, 9);
    ParsedEntry entry;
    entry.name = cols.word(0) + '.' + cols.word(1);
    entry.size = cols.word(3);
    entry.date = joined(cols.word(6), cols.word(7));
    entry.accepted = true;
    return entry;
}

ParsedEntry ListingParser::ParseVmVps(const QByteArray &line)
{
    // Headers and summaries of a VM/VPS listing carry one of these texts.
    if (line.contains('=') || line.contains("totals:") || line.contains(" rf trks")
        || line.contains("track limit"))
        return {};
    const Columns cols(line, 9);
    ParsedEntry entry;
    entry.name = '.' + cols.word(1);
    entry.size = cols.word(2);
    entry.date = joined(cols.word(7), cols.word(6));
    entry.accepted = true;
    return entry;
}

ParsedEntry ListingParser::ParseWithoutRule(const QByteArray &)
{
    // No column layout is known for these styles: the entry only counts.
    ParsedEntry entry;
    entry.accepted = true;
    return entry;
}
