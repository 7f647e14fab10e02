#include "tls_trust_store.h"

#include "folders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace platform {

TlsTrustStore::TlsTrustStore(const QString &filePath) : filePath_(filePath) {}

QString TlsTrustStore::DefaultFilePath()
{
    return SettingsFilePath(DefaultFileName());
}

QString TlsTrustStore::Key(const QString &host, quint16 port)
{
    return host.trimmed().toLower() + u':' + QString::number(port);
}

QString TlsTrustStore::FilePath() const
{
    return filePath_.isEmpty() ? DefaultFilePath() : filePath_;
}

QList<TlsTrustStore::Entry> TlsTrustStore::Read() const
{
    QList<Entry> entries;
    QFile file(FilePath());
    if (!file.open(QIODevice::ReadOnly))
        return entries;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        const QStringList fields = line.split(u' ', Qt::SkipEmptyParts);
        if (fields.size() >= 2)
            entries.append({fields.at(0).toLower(), fields.at(1).toLower()});
    }
    return entries;
}

bool TlsTrustStore::Write(const QList<Entry> &entries) const
{
    const QString path = FilePath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray text = "# Certificates trusted by the user: host:port SHA-256 fingerprint\n";
    for (const Entry &entry : entries)
        text += entry.key.toUtf8() + ' ' + entry.sha256.toLatin1() + '\n';
    file.write(text);
    return file.commit();
}

QStringList TlsTrustStore::Fingerprints(const QString &key) const
{
    QStringList found;
    const QString wanted = key.toLower();
    for (const Entry &entry : Read())
        if (entry.key == wanted)
            found << entry.sha256;
    return found;
}

bool TlsTrustStore::IsTrusted(const QString &key, const QString &sha256) const
{
    return !sha256.isEmpty() && Fingerprints(key).contains(sha256.toLower());
}

bool TlsTrustStore::HasOther(const QString &key, const QString &sha256) const
{
    for (const QString &stored : Fingerprints(key))
        if (stored != sha256.toLower())
            return true;
    return false;
}

bool TlsTrustStore::Trust(const QString &key, const QString &sha256)
{
    QList<Entry> entries = Read();
    const QString wanted = key.toLower();
    entries.removeIf([&](const Entry &entry) { return entry.key == wanted; });
    entries.append({wanted, sha256.toLower()});
    return Write(entries);
}

bool TlsTrustStore::Forget(const QString &key)
{
    QList<Entry> entries = Read();
    const QString wanted = key.toLower();
    entries.removeIf([&](const Entry &entry) { return entry.key == wanted; });
    return Write(entries);
}

}  // namespace platform
