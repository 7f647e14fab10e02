#pragma once
// What the transfer benchmarks share: a large file of pseudo-random bytes and
// the process's own memory figures.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <cstring>

namespace bench {

// A /proc/self/status field in KiB (VmRSS, VmHWM), -1 when unreadable.
inline qint64 StatusKb(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

// Bytes that do not compress, so no layer can shortcut them.
inline bool WriteBigFile(const QString &path, qint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QByteArray block(1 << 20, Qt::Uninitialized);
    quint32 x = 7;
    for (qint64 done = 0; done < size; done += block.size()) {
        for (int i = 0; i < block.size(); i += 4) {
            x = x * 1103515245u + 12345u;
            std::memcpy(block.data() + i, &x, 4);
        }
        const qint64 n = qMin<qint64>(block.size(), size - done);
        if (file.write(block.constData(), n) != n)
            return false;
    }
    return true;
}

}  // namespace bench
