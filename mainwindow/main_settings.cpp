#include "main_settings.h"

#include "platform/codepage.h"
#include "platform/folders.h"
#include "platform/profile.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <climits>
#include <tuple>

TMainSettings MainSettings;

namespace {

const QString kSection = QStringLiteral("data");

bool IsAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

int HexDigit(QChar c)
{
    if (IsAsciiDigit(c))
        return c.unicode() - u'0';
    if (c >= u'a' && c <= u'f')
        return c.unicode() - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c.unicode() - u'A' + 10;
    return -1;
}

// Digits are accumulated in 64 bits and given up as soon as the value leaves
// the int range, so a thousand-digit value cannot overflow on the way.
bool ParseHex(QStringView digits, int *value)
{
    if (digits.isEmpty())
        return false;
    qint64 result = 0;
    for (QChar c : digits) {
        const int d = HexDigit(c);
        if (d < 0)
            return false;
        result = result * 16 + d;
        if (result > INT_MAX)
            return false;
    }
    *value = int(result);
    return true;
}

bool ParseDecimal(QStringView text, int *value)
{
    bool negative = false;
    if (!text.isEmpty() && (text.front() == u'+' || text.front() == u'-')) {
        negative = text.front() == u'-';
        text = text.mid(1);
    }
    if (text.isEmpty())
        return false;
    const qint64 limit = negative ? -qint64(INT_MIN) : qint64(INT_MAX);
    qint64 result = 0;
    for (QChar c : text) {
        if (!IsAsciiDigit(c))
            return false;
        result = result * 10 + (c.unicode() - u'0');
        if (result > limit)
            return false;
    }
    *value = int(negative ? -result : result);
    return true;
}

QString Text(const QStringList &lines, const QString &key, const QString &defaultValue = QString())
{
    return platform::ProfileValue(lines, kSection, key, defaultValue);
}

int Integer(const QStringList &lines, const QString &key, int defaultValue)
{
    return SettingsInteger(Text(lines, key), defaultValue);
}

} // namespace

int SettingsInteger(const QString &text, int defaultValue)
{
    int value = 0;
    if (text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X'))
        return ParseHex(QStringView(text).mid(2), &value) ? value : defaultValue;
    return ParseDecimal(text, &value) ? value : defaultValue;
}

QString SettingsFileName()
{
    return platform::SettingsFilePath(QStringLiteral("ftp.ini"));
}

TMainSettings ReadSettingsFile(const QString &path)
{
    // A missing or unreadable file leaves no lines, so every key takes its default.
    QStringList lines;
    if (!platform::ReadAnsiTextFile(path, &lines))
        lines.clear();

    TMainSettings s;
    s.email = Text(lines, QStringLiteral("email"));
    s.initdir = Text(lines, QStringLiteral("initdir"), QDir::toNativeSeparators(QDir::currentPath()));
    s.timeout = Integer(lines, QStringLiteral("timeout"), 300);
    s.nooptime = Integer(lines, QStringLiteral("nooptime"), 5);
    s.upresume = Integer(lines, QStringLiteral("upresume"), ResumeAsk);
    s.upfilenamecase = Integer(lines, QStringLiteral("upfilenamecase"), CaseKeep);
    s.downresume = Integer(lines, QStringLiteral("downresume"), ResumeAsk);
    s.downfilenamecase = Integer(lines, QStringLiteral("downfilenamecase"), CaseKeep);
    s.editor = Text(lines, QStringLiteral("editor"));
    s.aftertransfer = Integer(lines, QStringLiteral("aftertransfer"), AfterTransferNothing);
    s.afterconnect = Integer(lines, QStringLiteral("afterconnect"), AfterConnectList);
    s.walkdepth = Integer(lines, QStringLiteral("walkdepth"), 64);
    if (s.walkdepth < 1)
        s.walkdepth = 64;
    s.confirmdelete = Integer(lines, QStringLiteral("confirmdelete"), 1) != 0;
    s.passive = Integer(lines, QStringLiteral("passive"), 1) != 0;
    s.keepuploadtime = Integer(lines, QStringLiteral("keepuploadtime"), 1) != 0;
    s.language = Text(lines, QStringLiteral("language"), QStringLiteral("zh")).trimmed().toLower();
    if (s.language != u"en" && s.language != u"auto")
        s.language = QStringLiteral("zh");
    s.retries = Integer(lines, QStringLiteral("retries"), 2);
    if (s.retries < 0)
        s.retries = 2;
    s.transfers = std::clamp(Integer(lines, QStringLiteral("transfers"), 2), 1, 10);
    s.downlimit = std::max(0, Integer(lines, QStringLiteral("downlimit"), 0));
    s.uplimit = std::max(0, Integer(lines, QStringLiteral("uplimit"), 0));
    s.searchengine = Text(lines, QStringLiteral("searchengine")).trimmed();
    return s;
}

bool WriteSettingsFile(const QString &path, const TMainSettings &settings)
{
    QStringList lines;
    if (!platform::ReadAnsiTextFile(path, &lines)) {
        // A file that is there but cannot be read is not replaced: writing would
        // throw away every foreign key and section it holds.
        const QFileInfo info(path);
        if (info.exists() || info.isSymLink())
            return false;
        lines.clear();
    }

    const auto number = [](int value) { return QString::number(value); };
    const std::pair<QString, QString> values[] = {
        {QStringLiteral("email"), settings.email},
        {QStringLiteral("initdir"), settings.initdir},
        {QStringLiteral("timeout"), number(settings.timeout)},
        {QStringLiteral("nooptime"), number(settings.nooptime)},
        {QStringLiteral("upresume"), number(settings.upresume)},
        {QStringLiteral("upfilenamecase"), number(settings.upfilenamecase)},
        {QStringLiteral("downresume"), number(settings.downresume)},
        {QStringLiteral("downfilenamecase"), number(settings.downfilenamecase)},
        {QStringLiteral("aftertransfer"), number(settings.aftertransfer)},
        {QStringLiteral("afterconnect"), number(settings.afterconnect)},
        {QStringLiteral("editor"), settings.editor},
        {QStringLiteral("confirmdelete"), number(settings.confirmdelete ? 1 : 0)},
    };
    for (const auto &[key, value] : values) {
        if (!platform::SetProfileValue(lines, kSection, key, value))
            return false;
    }
    // The newer keys are written once they differ from their defaults (or the
    // file names them already): a file that never named them stays as it was.
    const TMainSettings defaults;
    const std::tuple<QString, int, int> newer[] = {
        {QStringLiteral("walkdepth"), settings.walkdepth, defaults.walkdepth},
        {QStringLiteral("passive"), settings.passive ? 1 : 0, defaults.passive ? 1 : 0},
        {QStringLiteral("keepuploadtime"), settings.keepuploadtime ? 1 : 0, defaults.keepuploadtime ? 1 : 0},
        {QStringLiteral("retries"), settings.retries, defaults.retries},
        {QStringLiteral("transfers"), settings.transfers, defaults.transfers},
        {QStringLiteral("downlimit"), settings.downlimit, defaults.downlimit},
        {QStringLiteral("uplimit"), settings.uplimit, defaults.uplimit},
    };
    for (const auto &[key, value, defaultValue] : newer) {
        // No value read from a file holds a line break: the default tells a missing key.
        const bool named = Text(lines, key, QStringLiteral("\n")) != QStringLiteral("\n");
        if ((value != defaultValue || named) && !platform::SetProfileValue(lines, kSection, key, number(value)))
            return false;
    }
    const bool engineNamed = Text(lines, QStringLiteral("searchengine"), QStringLiteral("\n")) != QStringLiteral("\n");
    if ((!settings.searchengine.isEmpty() || engineNamed)
        && !platform::SetProfileValue(lines, kSection, QStringLiteral("searchengine"), settings.searchengine))
        return false;
    const bool languageNamed = Text(lines, QStringLiteral("language"), QStringLiteral("\n")) != QStringLiteral("\n");
    if ((settings.language != defaults.language || languageNamed)
        && !platform::SetProfileValue(lines, kSection, QStringLiteral("language"), settings.language))
        return false;
    return platform::WriteAnsiTextFile(path, lines);
}

void LoadSettings()
{
    MainSettings = ReadSettingsFile(SettingsFileName());
}

bool SaveSettings()
{
    return WriteSettingsFile(SettingsFileName(), MainSettings);
}
