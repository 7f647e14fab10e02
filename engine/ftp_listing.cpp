#include "engine/ftp_listing.h"

#include "engine/ftp_mlsx.h"

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

bool isMonth(QByteArrayView word)
{
    static const char *const months[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                         "jul", "aug", "sep", "oct", "nov", "dec"};
    if (word.size() != 3)
        return false;
    for (const char *month : months)
        if (word.compare(QByteArrayView(month), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

bool isClock(QByteArrayView word)
{
    const qsizetype colon = word.indexOf(':');
    return colon > 0 && allDigits(word.first(colon), 1, 2) && allDigits(word.sliced(colon + 1), 2, 2);
}

int number(QByteArrayView digits)
{
    int value = 0;
    for (char c : digits)
        value = value * 10 + (c - '0');
    return value;
}

// A DOS date: "12-08-26", "12-08-2026", "12/08/26" (month and day either
// way round), or "2026-12-08".
bool isDosDate(QByteArrayView word)
{
    qsizetype first = 0;
    while (first < word.size() && word.at(first) != '-' && word.at(first) != '/')
        ++first;
    if (first == word.size())
        return false;
    const char separator = word.at(first);
    const qsizetype second = word.indexOf(separator, first + 1);
    if (second < 0 || word.indexOf(separator, second + 1) >= 0)
        return false;
    const QByteArrayView a = word.first(first);
    const QByteArrayView b = word.sliced(first + 1, second - first - 1);
    const QByteArrayView c = word.sliced(second + 1);
    if (allDigits(a, 4, 4)) {  // year first
        if (!allDigits(b, 1, 2) || !allDigits(c, 1, 2))
            return false;
        return number(b) >= 1 && number(b) <= 12 && number(c) >= 1 && number(c) <= 31;
    }
    if (!allDigits(a, 1, 2) || !allDigits(b, 1, 2) || !(allDigits(c, 2, 2) || allDigits(c, 4, 4)))
        return false;
    const int x = number(a);
    const int y = number(b);
    return x >= 1 && x <= 31 && y >= 1 && y <= 31 && (x <= 12 || y <= 12);
}

// "10:15AM", "10:15pm", "22:15".
bool isDosTime(QByteArrayView word)
{
    bool twelveHour = false;
    if (word.size() > 2) {
        const QByteArrayView suffix = word.last(2);
        if (suffix.compare("AM", Qt::CaseInsensitive) == 0 || suffix.compare("PM", Qt::CaseInsensitive) == 0) {
            twelveHour = true;
            word.chop(2);
        }
    }
    if (!isClock(word))
        return false;
    const qsizetype colon = word.indexOf(':');
    const int hour = number(word.first(colon));
    const int minute = number(word.sliced(colon + 1));
    return minute <= 59 && (twelveHour ? hour >= 1 && hour <= 12 : hour <= 23);
}

// "1234" or "1,234,567": the digits alone; empty when it is neither.
QByteArray dosSize(QByteArrayView word)
{
    if (word.isEmpty() || word.at(0) < '0' || word.at(0) > '9' || word.endsWith(','))
        return {};
    QByteArray digits;
    digits.reserve(word.size());
    for (char c : word) {
        if (c >= '0' && c <= '9')
            digits += c;
        else if (c != ',')
            return {};
    }
    return digits;
}

// The end of the blank-free run that starts at `from`.
qsizetype tokenEnd(const QByteArray &line, qsizetype from)
{
    const qsizetype blank = line.indexOf(' ', from);
    return blank < 0 ? line.size() : blank;
}

qsizetype skipBlanks(const QByteArray &line, qsizetype from)
{
    while (from < line.size() && line.at(from) == ' ')
        ++from;
    return from;
}

std::optional<qint64> decimal(QByteArrayView text)
{
    if (!allDigits(text, 1, 18))
        return std::nullopt;
    qint64 value = 0;
    for (char c : text)
        value = value * 10 + (c - '0');
    return value;
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
        return ParseUnixFamily(line, false);
    case ftpstDetect:
        return ParseUnixFamily(line, true);
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

ParsedEntry ListingParser::ParseUnixFamily(const QByteArray &line, bool locate) const
{
    const char first = line.at(0);
    if (first == '+')
        return ParseEplf(line);
    if (first >= '0' && first <= '9')
        return ParseDos(line);
    return locate ? ParseUnixLocated(line) : ParseUnix(line);
}

ParsedEntry ListingParser::ParseUnixLocated(const QByteArray &line)
{
    const char kind = line.at(0);
    if (kind != '-' && kind != 'f' && kind != 'd' && kind != 'l')
        return {};
    const Columns cols(line, 8);
    // All columns there (the month is word 5), or the NetWare bracket layout:
    // the UNIX rule as it stands.
    if (isMonth(cols.word(5)) || cols.word(1).startsWith('[') || !isMonth(cols.word(4))
        || !allDigits(cols.word(3), 1, cols.word(3).size()) || !allDigits(cols.word(5), 1, 2)
        || !(isClock(cols.word(6)) || allDigits(cols.word(6), 4, 4)))
        return ParseUnix(line);

    // "-rw-r--r-- 1 owner 1234 Jan 01 12:00 name": no group column (or no
    // link count), so the size is word 3 and the name starts at column 7.
    ParsedEntry entry;
    entry.directory = kind == 'd' || kind == 'l';
    entry.attributes = cols.word(0);
    entry.size = cols.word(3);
    entry.date = joined(cols.word(4), cols.word(5), cols.word(6));
    const qsizetype arrow = kind == 'l' ? line.indexOf(" -> ") : -1;
    entry.name = wholeName(arrow >= 0 ? line.left(arrow) : line, 7, false);
    if (entry.name.isEmpty())
        return {};
    entry.accepted = true;
    return entry;
}

ParsedEntry ListingParser::ParseDos(const QByteArray &line)
{
    const qsizetype dateEnd = tokenEnd(line, 0);
    if (!isDosDate(QByteArrayView(line).first(dateEnd)))
        return {};
    const qsizetype timeBegin = skipBlanks(line, dateEnd);
    const qsizetype timeEnd = tokenEnd(line, timeBegin);
    if (timeBegin == dateEnd || !isDosTime(QByteArrayView(line).sliced(timeBegin, timeEnd - timeBegin)))
        return {};
    const qsizetype thirdBegin = skipBlanks(line, timeEnd);
    const qsizetype thirdEnd = tokenEnd(line, thirdBegin);
    if (thirdBegin == timeEnd || thirdEnd >= line.size())
        return {};
    const QByteArrayView third = QByteArrayView(line).sliced(thirdBegin, thirdEnd - thirdBegin);

    ParsedEntry entry;
    qsizetype nameBegin;
    if (third.compare("<DIR>", Qt::CaseInsensitive) == 0) {
        // IIS pads the <DIR> column with blanks that are no part of the name.
        entry.directory = true;
        nameBegin = skipBlanks(line, thirdEnd);
    } else {
        entry.size = dosSize(third);
        if (entry.size.isEmpty())
            return {};
        // The size is right-aligned and one blank follows it: further blanks
        // belong to the name.
        nameBegin = thirdEnd + 1;
    }
    entry.name = line.mid(nameBegin);
    if (entry.name.isEmpty())
        return {};
    entry.date = joined(line.first(dateEnd), line.sliced(timeBegin, timeEnd - timeBegin));
    entry.accepted = true;
    return entry;
}

ParsedEntry ListingParser::ParseEplf(const QByteArray &line) const
{
    const qsizetype tab = line.indexOf('\t');
    if (tab < 0 || tab + 1 >= line.size())
        return {};
    bool directory = false;
    int mode = -1;
    std::optional<qint64> size;
    std::optional<qint64> seconds;
    const QByteArrayView facts = QByteArrayView(line).sliced(1, tab - 1);
    qsizetype begin = 0;
    while (begin < facts.size()) {
        qsizetype end = facts.indexOf(',', begin);
        if (end < 0)
            end = facts.size();
        const QByteArrayView fact = facts.sliced(begin, end - begin);
        begin = end + 1;
        if (fact.isEmpty())
            continue;
        const QByteArrayView value = fact.sliced(1);
        switch (fact.at(0)) {
        case '/': directory = true; break;
        case 's': size = decimal(value); break;
        case 'm': seconds = decimal(value); break;
        case 'u':
            if (value.startsWith('p') && value.size() > 1 && value.size() <= 7) {
                int bits = 0;
                bool octal = true;
                for (char c : value.sliced(1)) {
                    octal = octal && c >= '0' && c <= '7';
                    bits = bits * 8 + (c - '0');
                }
                if (octal)
                    mode = bits & 07777;
            }
            break;
        default: break;  // "r" (a file to retrieve), "i" (identity), and unknown facts
        }
    }
    ParsedEntry entry;
    entry.directory = directory;
    entry.name = line.mid(tab + 1);
    if (mode >= 0)
        entry.attributes = ftpmlsx::ModeText(directory ? 'd' : '-', mode);
    if (size)
        entry.size = QByteArray::number(*size);
    // Up to the last second of 9999: beyond it no date is shown.
    if (seconds && *seconds <= 253402300799LL)
        entry.date = ftpmlsx::TimeText(QDateTime::fromSecsSinceEpoch(*seconds, QTimeZone::utc()), m_zone);
    entry.accepted = true;
    return entry;
}

ParsedEntry ListingParser::ParseMlsd(const QByteArray &line) const
{
    using ftpmlsx::EntryType;
    const ftpmlsx::Entry facts = ftpmlsx::ParseLine(line);
    if (!facts.valid || !ftpmlsx::IsSafeName(facts.name))
        return {};
    char type;
    switch (facts.type) {
    case EntryType::File: type = '-'; break;
    case EntryType::Directory: type = 'd'; break;
    case EntryType::Link: type = 'l'; break;
    default: return {};  // cdir, pdir, devices
    }
    ParsedEntry entry;
    entry.name = facts.name;
    // Links are entered like directories, as a LIST listing enters them.
    entry.directory = type != '-';
    if (facts.unixMode >= 0)
        entry.attributes = ftpmlsx::ModeText(type, facts.unixMode);
    else if (type == 'l')
        entry.attributes = "l";
    const std::optional<qint64> size = type == 'd' && !facts.size ? facts.sizd : facts.size;
    if (size)
        entry.size = QByteArray::number(*size);
    entry.date = ftpmlsx::TimeText(facts.modified, m_zone);
    entry.accepted = true;
    return entry;
}
