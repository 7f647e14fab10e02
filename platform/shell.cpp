#include "shell.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

namespace platform {

QUrl ShellOpenTarget(const QString &pathOrUrl)
{
    // "scheme:" with two or more characters; a local entry of that name still wins.
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+:"));
    if (!QFileInfo::exists(pathOrUrl) && scheme.match(pathOrUrl).hasMatch())
        return QUrl(pathOrUrl);
    return QUrl::fromLocalFile(QFileInfo(pathOrUrl).absoluteFilePath());
}

bool ShellOpen(const QString &pathOrUrl)
{
    if (pathOrUrl.isEmpty())
        return false;
    return QDesktopServices::openUrl(ShellOpenTarget(pathOrUrl));
}

bool StartProgram(const QString &program, const QStringList &arguments)
{
    if (program.isEmpty())
        return false;
    return QProcess::startDetached(program, arguments);
}

bool MoveToTrash(const QString &path)
{
    if (path.isEmpty())
        return false;
    // Qt makes the Trash folder but not the data folder that holds it; a fresh account
    // may have no ~/.local/share yet.
    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (!dataHome.isEmpty())
        QDir().mkpath(dataHome);
    return QFile::moveToTrash(path);
}

QIcon SystemIcon(const QFileInfo &info)
{
    static const QFileIconProvider provider;
    return provider.icon(info);
}

QString FileTypeName(const QFileInfo &info)
{
    static const QMimeDatabase database;
    return database.mimeTypeForFile(info).comment();
}

QString AttributeLetters(const QFileInfo &info)
{
    QString letters;
    if (info.exists()) {
        const bool directory = info.isDir();
        const QFileDevice::Permissions perms = info.permissions();
        const bool anyWriteBit = perms & (QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther);
        if (directory)
            letters += u'D';
        if (!anyWriteBit || (!directory && !info.isWritable()))
            letters += u'R';
    }
    const QString name = info.fileName();
    if (name.startsWith(u'.') && name != QStringLiteral(".") && name != QStringLiteral(".."))
        letters += u'H';
    return letters;
}

} // namespace platform
