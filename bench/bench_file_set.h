#pragma once
// The file sets the parallel benchmark serves: their layout (which the window's
// child run rebuilds from the set's name alone), their making in the served
// folder with a digest per file, and the check of a downloaded copy.

#include <QByteArray>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QString>
#include <cstring>

namespace bench {

struct SetFile {
    QString path;  // relative to the served root, the set's top folder first
    qint64 size = 0;
    quint32 seed = 0;  // of its pseudo-random bytes: no two files alike, so a mix-up shows
    QByteArray digest;  // filled when the file is made
};

struct FileSet {
    QString top;  // the one folder the set lives in (what is dropped, what lftp mirrors)
    QList<SetFile> files;
    qint64 totalBytes() const
    {
        qint64 total = 0;
        for (const SetFile &file : files)
            total += file.size;
        return total;
    }
};

inline FileSet TreeSet(int dirs = 20, int filesPerDir = 100)
{
    FileSet set{QStringLiteral("tree"), {}};
    for (int d = 0; d < dirs; ++d)
        for (int f = 0; f < filesPerDir; ++f)
            set.files.append({QStringLiteral("tree/dir %1/file %2.bin").arg(d, 2, 10, QLatin1Char('0')).arg(f, 3, 10, QLatin1Char('0')),
                              1024, quint32(d * filesPerDir + f + 1), {}});
    return set;
}

inline FileSet BigSet(int count = 8, qint64 size = qint64(128) << 20)
{
    FileSet set{QStringLiteral("big"), {}};
    for (int i = 0; i < count; ++i)
        set.files.append({QStringLiteral("big/part %1.bin").arg(i), size, quint32(100000 + i), {}});
    return set;
}

// Bytes that do not compress, so neither a file system nor a link can shortcut them.
inline void FillPseudoRandom(char *data, qint64 size, quint32 &state)
{
    for (qint64 i = 0; i < size; i += 4) {
        state = state * 1103515245u + 12345u;
        std::memcpy(data + i, &state, size_t(qMin<qint64>(4, size - i)));
    }
}

inline QByteArray DigestOfFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(&file);
    return hash.result();
}

// Writes every file of the set below root and keeps each one's digest.
inline bool MakeSet(const QString &root, FileSet &set, QString *why)
{
    QByteArray block(1 << 20, Qt::Uninitialized);
    for (SetFile &entry : set.files) {
        const QString path = root + u'/' + entry.path;
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            *why = QStringLiteral("cannot write %1").arg(path);
            return false;
        }
        QCryptographicHash hash(QCryptographicHash::Sha1);
        quint32 state = entry.seed;
        for (qint64 done = 0; done < entry.size;) {
            const qint64 n = qMin<qint64>(block.size(), entry.size - done);
            FillPseudoRandom(block.data(), n, state);
            if (file.write(block.constData(), n) != n) {
                *why = QStringLiteral("cannot write %1").arg(path);
                return false;
            }
            hash.addData(QByteArrayView(block.constData(), n));
            done += n;
        }
        entry.digest = hash.result();
    }
    return true;
}

// A downloaded copy below target: exactly the set's files, each at its size
// and with its bytes. The first difference found goes into why.
inline bool CheckCopy(const QString &target, const FileSet &set, QString *why)
{
    int present = 0;
    QDirIterator it(target + u'/' + set.top, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        ++present;
    }
    if (present != set.files.size()) {
        *why = QStringLiteral("%1 files, expected %2").arg(present).arg(set.files.size());
        return false;
    }
    for (const SetFile &entry : set.files) {
        const QString path = target + u'/' + entry.path;
        const QFileInfo info(path);
        if (!info.isFile()) {
            *why = QStringLiteral("%1 missing").arg(entry.path);
            return false;
        }
        if (info.size() != entry.size) {
            *why = QStringLiteral("%1: %2 bytes, expected %3").arg(entry.path).arg(info.size()).arg(entry.size);
            return false;
        }
        if (DigestOfFile(path) != entry.digest) {
            *why = QStringLiteral("%1: other bytes than served").arg(entry.path);
            return false;
        }
    }
    return true;
}

}  // namespace bench
