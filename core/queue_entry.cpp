#include "core/queue_entry.h"

#include <QLocale>

#include "engine/ftp_parse.h"
#include "core/display_text.h"

#include <QCoreApplication>
#include <algorithm>
#include <optional>

namespace {

// Local paths can hold control characters as well: shown the same safe way.
QString LocalText(const QString &path)
{
    return SafeDisplayText(path.toUtf8());
}

} // namespace

QString QueueEntry::SourceText() const
{
    return direction == Upload ? LocalText(localPath) : SafeDisplayText(remotePath);
}

QString QueueEntry::TargetText() const
{
    return direction == Upload ? SafeDisplayText(remotePath) : LocalText(localPath);
}

QString QueueEntry::StateText() const
{
    switch (state) {
    case Waiting: return QCoreApplication::translate("QueueEntry", "等待");
    case Running:
        return started ? QCoreApplication::translate("QueueEntry", "传输中")
                       : QCoreApplication::translate("QueueEntry", "排队中");
    case Done: return QCoreApplication::translate("QueueEntry", "完成");
    // The reason often quotes the server's reply: shown as safely as a name.
    case Failed: return QCoreApplication::translate("QueueEntry", "失败: ") + SafeDisplayText(failureReason.toUtf8());
    }
    return QString();
}

QString QueueEntry::BytesDoneText() const
{
    // A folder has no size to share: while it runs, the bytes of its files so far.
    // Nothing to tell yet of an entry that waits, or waits for a connection.
    if ((isDirectory && (state != Running || bytesDone == 0)) || (bytesDone == 0 && (state == Waiting || !started)))
        return QString();
    const std::optional<qint64> size = ftpparse::ParseSizeText(sizeText.trimmed().toLatin1());
    if (!size || *size <= 0)
        return QString::number(bytesDone);
    // In floating point: a count read from a damaged queue file may be any number.
    const qint64 percent = qint64(std::clamp(double(bytesDone) * 100.0 / double(*size), 0.0, 100.0));
    return QStringLiteral("%1 (%2%)").arg(bytesDone).arg(percent);
}

QString QueueEntry::SpeedText() const
{
    if (state != Running || bytesPerSecond <= 0)
        return QString();
    return QLocale().formattedDataSize(bytesPerSecond, 1, QLocale::DataSizeTraditionalFormat) + QStringLiteral("/s");
}
