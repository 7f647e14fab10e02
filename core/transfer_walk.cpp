#include "core/transfer_walk.h"

#include "platform/codepage.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <climits>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

QString JoinLocalPath(const QString &base, const QString &name)
{
    return base.endsWith(u'/') ? base + name : base + u'/' + name;
}

// A name as a log line can show it: control characters would break the line.
QString Printable(const QString &text)
{
    QString shown = text;
    for (QChar &c : shown) {
        if (c.unicode() < 0x20)
            c = u'?';
    }
    return shown;
}

QString LoopText() { return QCoreApplication::translate("TransferWalk", "跳过已经进入过的目录(循环链接): "); }
QString TooDeepText() { return QCoreApplication::translate("TransferWalk", "目录层次超过 %1 层, 跳过: "); }
QString PathTooLongText() { return QCoreApplication::translate("TransferWalk", "本地路径太长, 跳过: "); }
QString NotEnteredText() { return QCoreApplication::translate("TransferWalk", "不能进入目录, 跳过: "); }
QString UnreadableText() { return QCoreApplication::translate("TransferWalk", "不能读取目录, 跳过: "); }

} // namespace

QString UnsafeNameLogLine(const QString &name)
{
    return QCoreApplication::translate("TransferWalk", "跳过不安全的名称: \"") + Printable(name) + u'"';
}

QString ConvertDownloadNameCase(const QString &localPath, int downfilenamecase)
{
    if (downfilenamecase != 2 && downfilenamecase != 3)
        return localPath;
    const qsizetype start = localPath.lastIndexOf(u'/') + 1;
    QString result = localPath;
    for (qsizetype i = start; i < result.size(); ++i) {
        const char16_t c = result.at(i).unicode();
        if (downfilenamecase == 2 && c >= u'a' && c <= u'z')
            result[i] = QChar(char16_t(c - 32));
        else if (downfilenamecase == 3 && c >= u'A' && c <= u'Z')
            result[i] = QChar(char16_t(c + 32));
    }
    return result;
}

bool IsSafeLocalName(const QString &name)
{
    return !name.isEmpty() && name != u"."_s && name != u".."_s && !name.contains(u'/') && !name.contains(QChar(0));
}

TransferWalk::TransferWalk()
{
    DecodeRemote = [](const QByteArray &bytes) { return platform::DecodeAnsi(bytes); };
    ReadLocalDirectory = [](const QString &directory) {
        QList<LocalItem> items;
        const QFileInfoList infos = QDir(directory).entryInfoList(
            QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
        for (const QFileInfo &info : infos)
            items.append({info.fileName(), info.isDir()});
        return items;
    };
    LocalDirectoryId = [](const QString &directory, std::pair<quint64, quint64> *id) {
        struct stat st {};
        if (::stat(QFile::encodeName(directory).constData(), &st) != 0 || !S_ISDIR(st.st_mode))
            return false;
        *id = {quint64(st.st_dev), quint64(st.st_ino)};
        return true;
    };
}

void TransferWalk::cancel()
{
    PendingRemoteDirs.clear();
    PendingLocalDirs.clear();
    PendingRemoteFiles.clear();
    PendingLocalFiles.clear();
    DownloadTreeActive = false;
    UploadTreeActive = false;
    UploadSourceDir.clear();
    UploadTargetDir.clear();
    m_direction = Idle;
    m_enteringRemote.clear();
    m_enteringLocal.clear();
    m_changeFailed = false;
    m_remoteGuard.clear();
    m_enteredLocal.clear();
    m_pendingLog.clear();
    m_rootLocal.clear();
}

bool TransferWalk::withinBounds(const QString &local, bool isDirectory, QStringList *log) const
{
    const QByteArray encoded = QFile::encodeName(local);
    const QByteArray name = encoded.mid(encoded.lastIndexOf('/') + 1);
    if (encoded.size() >= PATH_MAX || name.size() > NAME_MAX) {
        log->append(PathTooLongText() + Printable(local));
        return false;
    }
    if (isDirectory && local.startsWith(m_rootLocal)) {
        const qsizetype depth = QStringView(local).mid(m_rootLocal.size()).count(u'/') + (m_rootLocal.endsWith(u'/') ? 1 : 0);
        if (depth > MaxDepth) {
            log->append(TooDeepText().arg(MaxDepth) + Printable(local));
            return false;
        }
    }
    return true;
}

void TransferWalk::begin(Direction direction)
{
    cancel();
    m_direction = direction;
}

// ---- downloads ----

void TransferWalk::addRemoteEntry(const RemoteItem &item, const QByteArray &remoteBase, const QString &localBase,
                                  QStringList *log)
{
    const QString localName = DecodeRemote(item.name);
    if (!IsWalkableName(item.name) || !IsSafeLocalName(localName)) {
        log->append(UnsafeNameLogLine(localName));
        return;
    }
    const QByteArray remote = JoinRemotePath(remoteBase, item.name);
    const QString local = JoinLocalPath(localBase, localName);
    if (!withinBounds(local, item.isDirectory, log))
        return;
    if (item.isDirectory) {
        PendingRemoteDirs.append(remote);
        PendingLocalDirs.append(local);
    } else {
        PendingRemoteFiles.append(remote);
        PendingLocalFiles.append(local);
    }
}

TransferStep TransferWalk::startDownload(const QList<RemoteItem> &selection, const QByteArray &remoteDirectory,
                                         const QString &localDirectory, const QList<RemoteItem> &wholeListing)
{
    begin(Downloading);
    m_rootLocal = localDirectory;
    // A link among the selection that leads back here is a loop as well:
    // by its path where the server names the link's target, by what it holds
    // where the server keeps the link's name.
    m_remoteGuard.record(remoteDirectory, wholeListing);
    for (const RemoteItem &item : selection)
        addRemoteEntry(item, remoteDirectory, localDirectory, &m_pendingLog);
    if (PendingRemoteFiles.isEmpty() && PendingRemoteDirs.isEmpty()) {
        TransferStep step;
        step.log = m_pendingLog;
        cancel();
        return step;
    }
    TransferStep step = nextDownload();
    step.setBusy = true;
    return step;
}

TransferStep TransferWalk::startDownloadDirectory(const QByteArray &remotePath, const QString &localPath)
{
    begin(Downloading);
    m_rootLocal = QFileInfo(localPath).path();
    PendingRemoteDirs.append(remotePath);
    PendingLocalDirs.append(localPath);
    TransferStep step = nextDownload();
    step.setBusy = true;
    return step;
}

TransferStep TransferWalk::nextDownload()
{
    TransferStep step;
    step.log = std::exchange(m_pendingLog, {});
    if (!PendingRemoteFiles.isEmpty()) {
        step.kind = TransferStep::Download;
        step.remotePath = PendingRemoteFiles.takeFirst();
        step.localPath = ConvertDownloadNameCase(PendingLocalFiles.takeFirst(), NameCase);
    } else if (!PendingRemoteDirs.isEmpty()) {
        step.kind = TransferStep::EnterDownloadDirectory;
        step.remotePath = PendingRemoteDirs.takeFirst();
        step.localPath = PendingLocalDirs.takeFirst();
        m_enteringRemote = WithoutTrailingSlash(step.remotePath);
        m_enteringLocal = step.localPath;
        m_changeFailed = false;
        DownloadTreeActive = true;
    } else {
        step.kind = TransferStep::DownloadsEnded;
        const QStringList log = step.log;
        cancel();
        step.log = log;
    }
    return step;
}

TransferStep TransferWalk::onDownloadListing(const QByteArray &currentDirectory, const QList<RemoteItem> &listing)
{
    if (m_direction != Downloading || !DownloadTreeActive)
        return {};
    DownloadTreeActive = false;
    const QByteArray here = WithoutTrailingSlash(currentDirectory);
    const QString shown = Printable(DecodeRemote(m_enteringRemote));
    bool skip = false;
    if (m_changeFailed) {
        // The listing is of the directory the server stayed in.
        m_pendingLog << NotEnteredText() + shown;
        skip = true;
    } else if (!m_remoteGuard.enter(here, listing)) {
        m_pendingLog << LoopText() + shown;
        skip = true;
    }
    if (skip) {
        const QString emptyDirectory = m_enteringLocal;
        TransferStep step = nextDownload();
        step.removeEmptyLocalDirectory = emptyDirectory;
        return step;
    }
    for (const RemoteItem &item : listing)
        addRemoteEntry(item, currentDirectory, m_enteringLocal, &m_pendingLog);
    return nextDownload();
}

void TransferWalk::onDownloadDirectoryChanged(bool entered)
{
    if (m_direction == Downloading && DownloadTreeActive)
        m_changeFailed = !entered;
}

TransferStep TransferWalk::onFileReceived()
{
    if (m_direction != Downloading || DownloadTreeActive)
        return {};
    return nextDownload();
}

// ---- uploads ----

void TransferWalk::addLocalEntry(const LocalItem &item, const QString &localBase, const QByteArray &remoteBase,
                                 QStringList *log)
{
    const QByteArray remoteName = SpacesToUnderscores(EncodeRemote(item.name));
    if (!IsSafeLocalName(item.name) || !IsWalkableName(remoteName)) {
        log->append(UnsafeNameLogLine(item.name));
        return;
    }
    const QString local = JoinLocalPath(localBase, item.name);
    const QByteArray remote = JoinRemotePath(remoteBase, remoteName);
    if (!withinBounds(local, item.isDirectory, log))
        return;
    if (item.isDirectory) {
        PendingLocalDirs.append(local);
        PendingRemoteDirs.append(remote);
    } else {
        PendingLocalFiles.append(local);
        PendingRemoteFiles.append(remote);
    }
}

TransferStep TransferWalk::startUpload(const QList<LocalItem> &selection, const QString &localDirectory,
                                       const QByteArray &remoteDirectory)
{
    begin(Uploading);
    m_rootLocal = localDirectory;
    for (const LocalItem &item : selection)
        addLocalEntry(item, localDirectory, remoteDirectory, &m_pendingLog);
    if (PendingLocalFiles.isEmpty() && PendingLocalDirs.isEmpty()) {
        TransferStep step;
        step.log = m_pendingLog;
        cancel();
        return step;
    }
    TransferStep step = nextUpload();
    step.setBusy = true;
    return step;
}

TransferStep TransferWalk::startUploadDirectory(const QString &localPath, const QByteArray &remotePath)
{
    begin(Uploading);
    m_rootLocal = QFileInfo(localPath).path();
    PendingLocalDirs.append(localPath);
    // The queue's target is the remote directory's own name: blanks become "_" as for any upload.
    const qsizetype slash = remotePath.lastIndexOf('/') + 1;
    PendingRemoteDirs.append(remotePath.left(slash) + SpacesToUnderscores(remotePath.mid(slash)));
    TransferStep step = nextUpload();
    step.setBusy = true;
    return step;
}

TransferStep TransferWalk::nextUpload()
{
    if (!PendingLocalFiles.isEmpty()) {
        TransferStep step;
        step.log = std::exchange(m_pendingLog, {});
        step.kind = TransferStep::Upload;
        step.localPath = PendingLocalFiles.takeFirst();
        step.remotePath = PendingRemoteFiles.takeFirst();
        return step;
    }
    return enterNextUploadDirectory(std::exchange(m_pendingLog, {}));
}

TransferStep TransferWalk::enterNextUploadDirectory(QStringList log)
{
    while (!PendingLocalDirs.isEmpty()) {
        const QString source = PendingLocalDirs.takeFirst();
        const QByteArray target = PendingRemoteDirs.takeFirst();
        std::pair<quint64, quint64> id;
        if (!LocalDirectoryId(source, &id)) {
            log << UnreadableText() + Printable(source);
            continue;
        }
        if (m_enteredLocal.contains(id)) {
            log << LoopText() + Printable(source);
            continue;
        }
        m_enteredLocal.insert(id);
        UploadSourceDir = source;
        UploadTargetDir = target;
        UploadTreeActive = true;
        TransferStep step;
        step.kind = TransferStep::MakeUploadDirectory;
        step.localPath = source;
        step.remotePath = target;
        step.log = log;
        return step;
    }
    TransferStep step;
    step.kind = TransferStep::UploadsEnded;
    cancel();
    step.log = log;
    return step;
}

TransferStep TransferWalk::onUploadDirectoryCreated()
{
    if (m_direction != Uploading || !UploadTreeActive)
        return {};
    TransferStep step;
    step.kind = TransferStep::ChangeUploadDirectory;
    step.remotePath = UploadTargetDir;
    return step;
}

TransferStep TransferWalk::onUploadDirectoryChanged(const QByteArray &currentDirectory, bool entered)
{
    if (m_direction != Uploading || !UploadTreeActive)
        return {};
    UploadTreeActive = false;
    if (!entered || WithoutTrailingSlash(currentDirectory) != WithoutTrailingSlash(UploadTargetDir)) {
        // Storing here would put the directory's files into another one.
        m_pendingLog << NotEnteredText() + Printable(DecodeRemote(UploadTargetDir));
        return nextUpload();
    }
    for (const LocalItem &item : ReadLocalDirectory(UploadSourceDir)) {
        if (item.isDirectory && item.name.startsWith(u'.'))
            continue;
        addLocalEntry(item, UploadSourceDir, currentDirectory, &m_pendingLog);
    }
    return nextUpload();
}

TransferStep TransferWalk::onFileStored()
{
    if (m_direction != Uploading || UploadTreeActive)
        return {};
    return nextUpload();
}
