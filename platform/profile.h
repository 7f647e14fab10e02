#pragma once
// Profile (INI) files with the classic profile functions' behaviour, so that a settings
// file edited by hand or by an older version keeps everything we do not write:
//  - a missing file, section or key reads as the default; an empty value reads as empty;
//  - section names and keys compare case-insensitively; the first match wins;
//  - the value is everything after the first "=", blanks around key and value trimmed;
//  - writing replaces the key's line in place and keeps every other line (comments,
//    unknown keys, blank lines); a new key goes after the last non-blank line of its
//    section, a new section at the end of the file (after one blank line);
//  - CR LF line ends; read as UTF-8 or GB18030, written GB18030.
// A bare file name (no folder) means the file in SettingsFolder(), as the classic calls
// put bare names in their own profile folder.

#include <QString>
#include <QStringList>

namespace platform {

QString GetProfileString(const QString &path, const QString &section, const QString &key,
                         const QString &defaultValue = QString());

// False when the file cannot be read or written, or the section or key cannot be put into
// a profile line (a section with "]" or a line break, an empty key, a key with "=" or a line
// break, a key starting with "[" or ";"). Line breaks inside the value become blanks.
bool WriteProfileString(const QString &path, const QString &section, const QString &key,
                        const QString &value);

// The same rules on lines already in memory, for callers that batch several keys.
QString ProfileValue(const QStringList &lines, const QString &section, const QString &key,
                     const QString &defaultValue = QString());
bool SetProfileValue(QStringList &lines, const QString &section, const QString &key,
                     const QString &value);

} // namespace platform
