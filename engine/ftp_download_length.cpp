// The length of a finished binary download against what the server said it
// would be. A data connection that closes early looks just like the end of
// the file, so without this a cut download is reported complete.

#include "engine/ftp.h"

#include <QFile>

namespace {

constexpr qint64 CopyBlock = 256 * 1024;

// Moves [from, from + length) of the file to its start and cuts it there.
bool MoveToStart(const QString &path, qint64 from, qint64 length)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        return false;
    QByteArray block;
    for (qint64 done = 0; done < length;) {
        const qint64 count = qMin(CopyBlock, length - done);
        if (!file.seek(from + done))
            return false;
        block = file.read(count);
        if (block.size() != count || !file.seek(done) || file.write(block) != count)
            return false;
        done += count;
    }
    return file.resize(length);
}

}  // namespace

void TMFtp::VerifyDownloadLength()
{
    if (!checkDownloadLength_)
        return;
    checkDownloadLength_ = false;
    const qint64 received = BytesTransferred;
    const qint64 offset = downloadOffset_;
    const qint64 listed = downloadListedSize_;
    const qint64 announced = downloadAnnouncedSize_;
    // Only the listing tells the whole size for sure: servers differ on
    // whether the 150 after REST names what is left or the whole file.
    if (offset > 0 && listed > 0 && received == listed) {
        RecoverFromIgnoredRest();
        return;
    }
    qint64 expected = -1;
    if (announced >= 0)
        expected = received == announced - offset ? received : announced;
    else if (listed >= 0)
        expected = listed - offset;
    if (expected < 0 || received == expected)
        return;
    lastErrorText_ = QStringLiteral("The download ended after %1 of %2 bytes").arg(received).arg(expected);
    PlainError(ftpeDataError);
}

bool TMFtp::RecoverFromIgnoredRest()
{
    // The server accepted REST and sent the file from its first byte anyway:
    // the local file holds its old head and then the whole file after it.
    const qint64 offset = downloadOffset_;
    const qint64 whole = BytesTransferred;
    RaiseInfo(ftpiResumeFailed, QStringLiteral("Failed in resuming downloading file"));
    QString answer;
    AskNeedInfo(needOverwriteLocal, answer);
    if (answer == u"overwrite") {
        // What came is the whole file: it replaces the old head.
        if (MoveToStart(LocalFile, offset, whole))
            return true;
        lastErrorText_ = LocalFile;
        PlainError(ftpeWriteLocalFile);
        return false;
    }
    // Not to be overwritten: the partial file goes back to what it was.
    QFile file(LocalFile);
    if (!file.resize(offset)) {
        lastErrorText_ = LocalFile;
        PlainError(ftpeWriteLocalFile);
        return false;
    }
    lastErrorText_ = QStringLiteral("The server ignored the restart offset and sent the whole file");
    PlainError(ftpeDataError);
    return false;
}
