#pragma once
// Where the program finds its own read-only data and where it keeps its settings files
// (ftp.ini, list.ini, key.txt, ftp-mail.ini, ftpmail.txt). One rule decides the latter:
// beside the program when that folder is writable (a portable copy in the user's own
// folder keeps its settings with it), otherwise $XDG_CONFIG_HOME/tarvo (default
// ~/.config/tarvo), created by the first write into it.

#include <QString>

namespace platform {

// Folder of the running executable (help texts shipped with the program).
QString ProgramFolder();

// A file the program ships (help texts): beside the program in a build folder,
// in <prefix>/share/tarvo once installed. The path beside the program when
// neither exists, for the message that says so.
QString ProgramDataFile(const QString &fileName);

// The settings folder: the override when one is set, else SettingsFolderFor(ProgramFolder()).
QString SettingsFolder();

// The rule itself, for a given program folder.
QString SettingsFolderFor(const QString &programFolder);

// $XDG_CONFIG_HOME/tarvo; an unset, empty or relative XDG_CONFIG_HOME means ~/.config.
QString UserSettingsFolder();

// SettingsFolder() + "/" + fileName.
QString SettingsFilePath(const QString &fileName);

// Points SettingsFolder() at a folder of the caller's (tests); empty restores the rule.
void SetSettingsFolderOverride(const QString &folder);

} // namespace platform
