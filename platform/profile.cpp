#include "profile.h"

#include "codepage.h"
#include "folders.h"

#include <QFile>
#include <QFileInfo>
#include <optional>

namespace platform {

namespace {

bool IsBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

QStringView TrimBlanks(QStringView s)
{
    qsizetype b = 0;
    qsizetype e = s.size();
    while (b < e && IsBlank(s[b]))
        ++b;
    while (e > b && IsBlank(s[e - 1]))
        --e;
    return s.mid(b, e - b);
}

bool SameName(QStringView a, QStringView b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// The section named by a header line ("[name]", blanks allowed around and inside the
// brackets; a header without "]" names the rest of the line), or nothing.
std::optional<QStringView> SectionOf(QStringView line)
{
    const QStringView t = TrimBlanks(line);
    if (!t.startsWith(u'['))
        return std::nullopt;
    QStringView name = t.mid(1);
    const qsizetype close = name.indexOf(u']');
    if (close >= 0)
        name = name.left(close);
    return TrimBlanks(name);
}

struct KeyLine {
    QStringView key;
    QStringView value;
};

// Comment lines (";") and lines without "=" carry no key.
std::optional<KeyLine> KeyOf(QStringView line)
{
    const QStringView t = TrimBlanks(line);
    if (t.startsWith(u';'))
        return std::nullopt;
    const qsizetype eq = t.indexOf(u'=');
    if (eq < 0)
        return std::nullopt;
    return KeyLine{TrimBlanks(t.left(eq)), TrimBlanks(t.mid(eq + 1))};
}

// Index of the first header of the section, or -1.
qsizetype FindSection(const QStringList &lines, QStringView section)
{
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const auto name = SectionOf(lines[i]);
        if (name && SameName(*name, section))
            return i;
    }
    return -1;
}

bool ContainsLineBreak(QStringView s)
{
    return s.contains(u'\r') || s.contains(u'\n');
}

QString ResolveProfilePath(const QString &path)
{
    if (!path.isEmpty() && !path.contains(u'/'))
        return SettingsFilePath(path);
    return path;
}

} // namespace

QString ProfileValue(const QStringList &lines, const QString &section, const QString &key,
                     const QString &defaultValue)
{
    const QStringView wantedKey = TrimBlanks(key);
    const qsizetype header = FindSection(lines, TrimBlanks(section));
    if (header < 0)
        return defaultValue;
    for (qsizetype i = header + 1; i < lines.size(); ++i) {
        if (SectionOf(lines[i]))
            break;
        const auto kv = KeyOf(lines[i]);
        if (kv && SameName(kv->key, wantedKey))
            return kv->value.toString();
    }
    return defaultValue;
}

bool SetProfileValue(QStringList &lines, const QString &section, const QString &key,
                     const QString &value)
{
    const QStringView name = TrimBlanks(section);
    const QStringView k = TrimBlanks(key);
    if (ContainsLineBreak(name) || name.contains(u']'))
        return false;
    if (k.isEmpty() || k.contains(u'=') || ContainsLineBreak(k) || k.startsWith(u'[')
        || k.startsWith(u';'))
        return false;

    // A value with a line break would split into a second, foreign line of the file.
    QString v = value;
    v.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    v.replace(u'\r', u' ');
    v.replace(u'\n', u' ');
    const QString newLine = k.toString() + u'=' + v;

    const qsizetype header = FindSection(lines, name);
    if (header < 0) {
        if (!lines.isEmpty() && !TrimBlanks(lines.last()).isEmpty())
            lines.append(QString());
        lines.append(u'[' + name.toString() + u']');
        lines.append(newLine);
        return true;
    }
    qsizetype lastNonBlank = header;
    for (qsizetype i = header + 1; i < lines.size(); ++i) {
        if (SectionOf(lines[i]))
            break;
        const auto kv = KeyOf(lines[i]);
        if (kv && SameName(kv->key, k)) {
            lines[i] = newLine;
            return true;
        }
        if (!TrimBlanks(lines[i]).isEmpty())
            lastNonBlank = i;
    }
    lines.insert(lastNonBlank + 1, newLine);
    return true;
}

QString GetProfileString(const QString &path, const QString &section, const QString &key,
                         const QString &defaultValue)
{
    QStringList lines;
    if (!ReadAnsiTextFile(ResolveProfilePath(path), &lines))
        return defaultValue;
    return ProfileValue(lines, section, key, defaultValue);
}

bool WriteProfileString(const QString &path, const QString &section, const QString &key,
                        const QString &value)
{
    const QString file = ResolveProfilePath(path);
    QStringList lines;
    // A file that exists but cannot be read must not be replaced by one holding only
    // this key: that would lose every other setting in it.
    if (!ReadAnsiTextFile(file, &lines) && QFileInfo::exists(file))
        return false;
    if (!SetProfileValue(lines, section, key, value))
        return false;
    return WriteAnsiTextFile(file, lines);
}

} // namespace platform
