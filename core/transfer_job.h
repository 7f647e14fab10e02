#pragma once
// One file for a transfer connection to move, and how its attempt ended.

#include "engine/ftp_types.h"

#include <QByteArray>
#include <QDateTime>
#include <QMetaType>
#include <QString>

struct TransferJob {
    enum Direction { Download, Upload };
    quint64 id = 0;
    // The walk or queue entry it belongs to: the owner of its result.
    quint64 batch = 0;
    Direction direction = Download;
    QByteArray remotePath;  // the server's bytes, absolute
    QString localPath;      // absolute
    qint64 size = -1;       // listed (download) or local (upload) size; -1 unknown
    int attempts = 0;       // made so far
    // An earlier attempt wrote to the target (made it, or was let resume or
    // overwrite it): a retry goes on from what that attempt left. Otherwise
    // the target is still the user's own, and a retry asks as the first did.
    bool targetWritten = false;

    // The file on this side that the transfer writes.
    QString TargetKey() const
    {
        return direction == Download ? QStringLiteral("L:") + localPath
                                     : QStringLiteral("R:") + QString::fromLatin1(remotePath.toPercentEncoding());
    }
};

struct TransferOutcome {
    bool ok = false;
    FtpError error = ftpeNone;  // the first error reported against it
    QString detail;             // the engine's words with it, or the server's refusal
    bool retryable = false;     // the connection failed, not the file
    qint64 bytesDone = 0;       // on the target at the end
    bool targetWritten = false; // the attempt made, resumed or overwrote the target
};

// A question a transfer connection's engine asks: answered by the owner of
// the pool, one question at a time.
struct TransferQuestion {
    TMFtpInfoNeeded need = needOverwriteLocal;
    QString localFile;
    QByteArray remoteFile;
    qint64 remoteSize = -1;
    QDateTime remoteTime;
};

// A failure of the connection rather than of the file: worth another try.
bool IsConnectionFailure(FtpError error);

Q_DECLARE_METATYPE(TransferJob)
Q_DECLARE_METATYPE(TransferOutcome)
