#include "folders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace platform {

namespace {

QString &SettingsOverride()
{
    static QString folder;
    return folder;
}

} // namespace

QString ProgramFolder()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    // Before the application object exists (or without one, in tools) ask the kernel.
    return QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath()).absolutePath();
}

QString ProgramDataFile(const QString &fileName)
{
    const QString beside = ProgramFolder() + u'/' + fileName;
    if (QFileInfo::exists(beside))
        return beside;
    const QString installed =
        QDir::cleanPath(ProgramFolder() + QStringLiteral("/../share/tarvo/") + fileName);
    return QFileInfo::exists(installed) ? installed : beside;
}

QString UserSettingsFolder()
{
    QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (configHome.isEmpty() || QDir::isRelativePath(configHome))
        configHome = QDir::homePath() + QStringLiteral("/.config");
    return QDir::cleanPath(configHome + QStringLiteral("/tarvo"));
}

QString SettingsFolderFor(const QString &programFolder)
{
    const QFileInfo info(programFolder);
    if (!programFolder.isEmpty() && info.isDir() && info.isWritable())
        return QDir::cleanPath(info.absoluteFilePath());
    return UserSettingsFolder();
}

QString SettingsFolder()
{
    const QString &forced = SettingsOverride();
    if (!forced.isEmpty())
        return forced;
    return SettingsFolderFor(ProgramFolder());
}

QString SettingsFilePath(const QString &fileName)
{
    return SettingsFolder() + u'/' + fileName;
}

void SetSettingsFolderOverride(const QString &folder)
{
    SettingsOverride() = folder.isEmpty() ? QString() : QDir::cleanPath(folder);
}

} // namespace platform
