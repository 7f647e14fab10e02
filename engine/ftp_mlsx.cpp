#include "engine/ftp_mlsx.h"

#include "engine/ftp_parse.h"

namespace ftpmlsx {

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool SameText(QByteArrayView a, QByteArrayView b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

int Octal(QByteArrayView text)
{
    // pyftpdlib writes the mode as Python prints it: "0o644".
    if (text.size() > 2 && text.at(0) == '0' && (text.at(1) == 'o' || text.at(1) == 'O'))
        text = text.sliced(2);
    if (text.isEmpty() || text.size() > 12)
        return -1;
    qint64 value = 0;
    for (char c : text) {
        if (c < '0' || c > '7')
            return -1;
        value = value * 8 + (c - '0');
    }
    return int(value & 07777);
}

int Number(QByteArrayView text, qsizetype from, qsizetype count)
{
    int value = 0;
    for (qsizetype i = from; i < from + count; ++i)
        value = value * 10 + (text.at(i) - '0');
    return value;
}

EntryType TypeOf(QByteArrayView value, QByteArray *linkTarget)
{
    if (SameText(value, "file"))
        return EntryType::File;
    if (SameText(value, "dir"))
        return EntryType::Directory;
    if (SameText(value, "cdir"))
        return EntryType::CurrentDirectory;
    if (SameText(value, "pdir"))
        return EntryType::ParentDirectory;
    // "OS.unix=slink:/target" (the fact's value holds an "=" of its own).
    constexpr QByteArrayView unixPrefix = "OS.unix=";
    if (value.size() > unixPrefix.size() && SameText(value.first(unixPrefix.size()), unixPrefix)) {
        const QByteArrayView kind = value.sliced(unixPrefix.size());
        if (SameText(kind, "symlink") || SameText(kind, "slink"))
            return EntryType::Link;
        if (kind.size() >= 6 && SameText(kind.first(6), "slink:")) {
            *linkTarget = kind.sliced(6).toByteArray();
            return EntryType::Link;
        }
    }
    return EntryType::Other;
}

void Put2(QByteArray &text, int value)
{
    text += char('0' + value / 10 % 10);
    text += char('0' + value % 10);
}

}  // namespace

Entry ParseLine(QByteArrayView line)
{
    Entry entry;
    const qsizetype blank = line.indexOf(' ');
    if (blank <= 0)
        return entry;
    const QByteArrayView facts = line.first(blank);
    bool anyFact = false;
    Entry read;
    qsizetype begin = 0;
    while (begin < facts.size()) {
        qsizetype end = facts.indexOf(';', begin);
        if (end < 0)
            end = facts.size();
        const QByteArrayView fact = facts.sliced(begin, end - begin);
        begin = end + 1;
        const qsizetype equals = fact.indexOf('=');
        if (equals <= 0)
            continue;
        anyFact = true;
        const QByteArrayView name = fact.first(equals);
        const QByteArrayView value = fact.sliced(equals + 1);
        if (SameText(name, "type"))
            read.type = TypeOf(value, &read.linkTarget);
        else if (SameText(name, "size"))
            read.size = ftpparse::ParseSizeText(value);
        else if (SameText(name, "sizd"))
            read.sizd = ftpparse::ParseSizeText(value);
        else if (SameText(name, "modify"))
            read.modified = ParseTime(value);
        else if (SameText(name, "unix.mode"))
            read.unixMode = Octal(value);
        else if (SameText(name, "perm"))
            read.perm = value.toByteArray();
        else if (SameText(name, "unique"))
            read.unique = value.toByteArray();
    }
    if (!anyFact)
        return entry;
    read.name = line.sliced(blank + 1).toByteArray();
    read.valid = true;
    return read;
}

bool IsSafeName(QByteArrayView name)
{
    if (name.isEmpty() || name == "." || name == "..")
        return false;
    for (const char c : name)
        if (c == '/' || c == '\0' || c == '\r' || c == '\n')
            return false;
    return true;
}

QDateTime ParseTime(QByteArrayView text)
{
    if (text.size() < 14)
        return {};
    for (qsizetype i = 0; i < 14; ++i)
        if (!IsDigit(text.at(i)))
            return {};
    if (text.size() > 14) {
        // ".sss": any number of digits after the point.
        if (text.at(14) != '.' || text.size() == 15)
            return {};
        for (qsizetype i = 15; i < text.size(); ++i)
            if (!IsDigit(text.at(i)))
                return {};
    }
    const QDate date(Number(text, 0, 4), Number(text, 4, 2), Number(text, 6, 2));
    // A leap second reads as the second before it.
    const QTime time(Number(text, 8, 2), Number(text, 10, 2), qMin(Number(text, 12, 2), 59));
    int milliseconds = 0;
    if (text.size() > 15) {
        for (qsizetype i = 15; i < 18; ++i)
            milliseconds = milliseconds * 10 + (i < text.size() ? text.at(i) - '0' : 0);
    }
    if (!date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time.addMSecs(milliseconds), QTimeZone::utc());
}

QByteArray ModeText(char type, int mode)
{
    QByteArray text(10, '-');
    text[0] = type;
    static const char letters[] = "rwxrwxrwx";
    for (int bit = 0; bit < 9; ++bit)
        if (mode & (0400 >> bit))
            text[1 + bit] = letters[bit];
    const auto special = [&](int flag, int position, char set, char setWithoutExecute) {
        if (mode & flag)
            text[position] = text.at(position) == 'x' ? set : setWithoutExecute;
    };
    special(04000, 3, 's', 'S');
    special(02000, 6, 's', 'S');
    special(01000, 9, 't', 'T');
    return text;
}

QByteArray TimeText(const QDateTime &utc, const std::optional<QTimeZone> &zone)
{
    if (!utc.isValid())
        return {};
    const QDateTime shown = zone ? utc.toTimeZone(*zone) : utc.toLocalTime();
    const QDate date = shown.date();
    const QTime time = shown.time();
    if (date.year() < 0 || date.year() > 9999)
        return {};
    QByteArray text;
    text.reserve(16);
    Put2(text, date.year() / 100);
    Put2(text, date.year() % 100);
    text += '-';
    Put2(text, date.month());
    text += '-';
    Put2(text, date.day());
    text += ' ';
    Put2(text, time.hour());
    text += ':';
    Put2(text, time.minute());
    return text;
}

}  // namespace ftpmlsx
