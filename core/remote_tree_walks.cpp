#include "core/remote_tree_walks.h"

#include "platform/codepage.h"

namespace {

bool SameDirectory(const QByteArray &a, const QByteArray &b)
{
    return WithoutTrailingSlash(a) == WithoutTrailingSlash(b);
}

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }
char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

} // namespace

QByteArray SpacesToUnderscores(const QByteArray &path)
{
    QByteArray result = path;
    result.replace(' ', '_');
    return result;
}

QString SpacesToUnderscores(const QString &path)
{
    QString result = path;
    result.replace(QLatin1Char(' '), QLatin1Char('_'));
    return result;
}

QByteArray JoinRemotePath(const QByteArray &base, const QByteArray &name)
{
    if (base.endsWith('/'))
        return base + name;
    return base + '/' + name;
}

QByteArray ConvertNameCase(const QByteArray &name, bool upper)
{
    QByteArray result = name;
    const bool doubleByte = !platform::IsValidUtf8(name);
    for (qsizetype i = 0; i < result.size(); ++i) {
        const char c = result.at(i);
        if (doubleByte && platform::IsDbcsLeadByte(static_cast<unsigned char>(c))) {
            ++i;  // the trail byte is part of this character, whatever it looks like
            continue;
        }
        result[i] = upper ? AsciiUpper(c) : AsciiLower(c);
    }
    return result;
}

QByteArray ConvertLastComponentCase(const QByteArray &path, bool upper)
{
    const qsizetype slash = path.lastIndexOf('/');
    return path.left(slash + 1) + ConvertNameCase(path.mid(slash + 1), upper);
}

bool IsLink(const RemoteItem &item)
{
    return item.attributes.startsWith('l') || item.attributes.startsWith('L');
}

QByteArray WithoutTrailingSlash(QByteArray path)
{
    while (path.size() > 1 && path.endsWith('/'))
        path.chop(1);
    return path;
}

bool IsWalkableName(const QByteArray &name)
{
    if (name.isEmpty() || name == "." || name == "..")
        return false;
    for (const char c : name) {
        if (c == '/' || c == '\0' || c == '\r' || c == '\n')
            return false;
    }
    return true;
}

namespace {

// "size date", as the remote list model gives an item's details.
QByteArray InfoDetails(const TMFtpFileInfoList &infos, int index)
{
    QByteArray size, date;
    infos.GetInfo(index, 2, size);
    infos.GetInfo(index, 1, date);
    return size + ' ' + date;
}

} // namespace

QList<RemoteItem> RemoteItemsFromListing(const QByteArrayList &dirNames, const TMFtpFileInfoList &dirInfos,
                                         const QByteArrayList &fileNames, const TMFtpFileInfoList &fileInfos)
{
    QList<RemoteItem> items;
    items.reserve(dirNames.size() + fileNames.size());
    for (qsizetype i = 0; i < dirNames.size(); ++i) {
        const QByteArray &name = dirNames.at(i);
        QByteArray field3;
        dirInfos.GetInfo(int(i), 3, field3);
        if (name == "." || name == ".." || field3 == "." || field3 == "..")
            continue;
        RemoteItem item{name, true, {}};
        dirInfos.GetInfo(int(i), 0, item.attributes);
        item.details = InfoDetails(dirInfos, int(i));
        items.append(item);
    }
    for (qsizetype i = 0; i < fileNames.size(); ++i) {
        RemoteItem item{fileNames.at(i), false, {}};
        fileInfos.GetInfo(int(i), 0, item.attributes);
        item.details = InfoDetails(fileInfos, int(i));
        items.append(item);
    }
    return items;
}

// ---- recursive delete ----

void RemoteDeleteWalk::cancel()
{
    DeleteTreeActive = false;
    PendingSourceFiles.clear();
    PendingSourceDirs.clear();
    DirsToRemove.clear();
    DeleteStartDirectory.clear();
    m_enteringDirectory.clear();
    m_running = false;
}

RemoteStep RemoteDeleteWalk::start(const QList<RemoteItem> &selection, const QByteArray &currentDirectory)
{
    cancel();
    DeleteStartDirectory = currentDirectory;
    for (const RemoteItem &item : selection) {
        if (!IsWalkableName(item.name))
            continue;
        const QByteArray path = JoinRemotePath(currentDirectory, item.name);
        // A link is removed itself; walking into it would empty its target.
        if (item.isDirectory && !IsLink(item))
            PendingSourceDirs.append(path);
        else
            PendingSourceFiles.append(path);
    }
    m_running = !PendingSourceFiles.isEmpty() || !PendingSourceDirs.isEmpty();
    return next(false);
}

RemoteStep RemoteDeleteWalk::onListing(const QByteArray &currentDirectory, const QList<RemoteItem> &listing)
{
    if (!m_running)
        return {};
    DeleteTreeActive = false;
    if (!SameDirectory(currentDirectory, m_enteringDirectory)) {
        // The directory could not be entered and the listing is of the
        // directory we are still in: none of it was asked for. The directory
        // itself stays where it is, since we never saw what it holds.
        if (!DirsToRemove.isEmpty() && DirsToRemove.constLast() == m_enteringDirectory)
            DirsToRemove.removeLast();
    } else {
        for (const RemoteItem &item : listing) {
            if (!IsWalkableName(item.name))
                continue;
            if (item.isDirectory && !IsLink(item))
                PendingSourceDirs.append(JoinRemotePath(currentDirectory, item.name));
            else
                PendingSourceFiles.append(item.name);
        }
    }
    m_enteringDirectory.clear();
    return next(true);
}

RemoteStep RemoteDeleteWalk::onFileDeleted()
{
    if (!m_running)
        return {};
    return next(true);
}

RemoteStep RemoteDeleteWalk::onDirectoryDeleted()
{
    if (!m_running)
        return {};
    return removeNextOrFinish();
}

RemoteStep RemoteDeleteWalk::next(bool fromEvent)
{
    if (!PendingSourceFiles.isEmpty()) {
        RemoteStep step{RemoteStep::DeleteFile, PendingSourceFiles.takeFirst(), {}, true, false};
        return step;
    }
    if (!PendingSourceDirs.isEmpty()) {
        const QByteArray dir = PendingSourceDirs.takeFirst();
        DirsToRemove.append(dir);
        DeleteTreeActive = true;
        m_enteringDirectory = dir;
        return RemoteStep{RemoteStep::ChangeDirectory, dir, {}, true, false};
    }
    if (!fromEvent)
        return {};
    DeleteTreeActive = false;
    return removeNextOrFinish();
}

RemoteStep RemoteDeleteWalk::removeNextOrFinish()
{
    if (DirsToRemove.isEmpty()) {
        const QByteArray startDirectory = DeleteStartDirectory;
        cancel();
        return RemoteStep{RemoteStep::ChangeDirectory, startDirectory, {}, false, true};
    }
    // The pane stays busy until the walk has ended: removals still follow.
    return RemoteStep{RemoteStep::RemoveDirectory, DirsToRemove.takeLast(), {}, false, false};
}

// ---- recursive case conversion ----

void RemoteCaseWalk::cancel()
{
    CaseTreeActive = false;
    PendingSourceFiles.clear();
    PendingSourceDirs.clear();
    m_enteringDirectory.clear();
    m_running = false;
}

void RemoteCaseWalk::addItems(const QList<RemoteItem> &items, const QByteArray &base)
{
    for (const RemoteItem &item : items) {
        if (!IsWalkableName(item.name))
            continue;
        // A link is renamed like a file: descending would rename what it points at.
        if (item.isDirectory && !IsLink(item))
            PendingSourceDirs.append(JoinRemotePath(base, item.name));
        else
            PendingSourceFiles.append(item.name);
    }
}

RemoteStep RemoteCaseWalk::start(const QList<RemoteItem> &selection, const QByteArray &currentDirectory, bool upper)
{
    cancel();
    m_upper = upper;
    addItems(selection, currentDirectory);
    m_running = true;
    return next();
}

RemoteStep RemoteCaseWalk::onListing(const QByteArray &currentDirectory, const QList<RemoteItem> &listing)
{
    if (!m_running)
        return {};
    CaseTreeActive = false;
    // A listing of another directory means the renamed one could not be
    // entered: its contents stay as they are.
    if (SameDirectory(currentDirectory, m_enteringDirectory))
        addItems(listing, currentDirectory);
    m_enteringDirectory.clear();
    return next();
}

RemoteStep RemoteCaseWalk::onFileRenamed()
{
    if (!m_running)
        return {};
    return next();
}

RemoteStep RemoteCaseWalk::onDirRenamed()
{
    if (!m_running || PendingSourceDirs.isEmpty())
        return {};
    const QByteArray newPath = ConvertLastComponentCase(PendingSourceDirs.takeFirst(), m_upper);
    CaseTreeActive = true;
    m_enteringDirectory = newPath;
    return RemoteStep{RemoteStep::ChangeDirectory, newPath, {}, false, false};
}

RemoteStep RemoteCaseWalk::next()
{
    if (!PendingSourceFiles.isEmpty()) {
        const QByteArray name = PendingSourceFiles.takeFirst();
        return RemoteStep{RemoteStep::RenameFile, name, ConvertNameCase(name, m_upper), true, false};
    }
    if (!PendingSourceDirs.isEmpty()) {
        const QByteArray &dir = PendingSourceDirs.constFirst();
        return RemoteStep{RemoteStep::RenameDirectory, dir, ConvertLastComponentCase(dir, m_upper), true, false};
    }
    cancel();
    return RemoteStep{RemoteStep::List, {}, {}, false, true};
}
