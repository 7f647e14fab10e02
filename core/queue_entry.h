#pragma once
// One row of the batch queue, as the list shows it and the queue file keeps it.

#include <QByteArray>
#include <QString>

struct QueueEntry {
    enum Direction : int { Upload = 0, Download = 1 };  // also the direction icon's index
    // The numbers are kept in the queue file: never renumber.
    enum State : int { Waiting = 0, Running = 1, Done = 2, Failed = 3 };

    Direction direction = Upload;
    // Kept apart from the size text: a listing may give a file no size, and
    // such a file must not be walked as a directory.
    bool isDirectory = false;
    QString localPath;      // upload: the source; download: the target
    QByteArray remotePath;  // upload: the target, only the name when added offline; download: the source
    QString sizeText;       // as the dragged entry showed it; empty for directories

    State state = Waiting;
    QString failureReason;  // why the last attempt failed, as the log said it
    qint64 bytesDone = 0;   // of the file, counting what a resume kept
    int attempts = 0;       // automatic retries used since the entry last waited
    // While it runs over the transfer connections (neither is kept in the
    // file): bytes per second, and whether a connection has taken it up yet.
    qint64 bytesPerSecond = 0;
    bool started = true;

    // The row's columns: "源文件路径" and "目标路径".
    QString SourceText() const;
    QString TargetText() const;
    // "状态": 等待, 排队中 (handed out, waiting for a connection), 传输中, 完成,
    // or 失败 with the reason.
    QString StateText() const;
    // "已传输": the bytes, with the share of the size when the size is known.
    QString BytesDoneText() const;
    // "速度" while it runs; empty otherwise.
    QString SpeedText() const;
    // An upload added while not connected knows only the name of its target.
    bool HasRelativeTarget() const { return direction == Upload && !remotePath.startsWith('/'); }

    friend bool operator==(const QueueEntry &, const QueueEntry &) = default;
};
