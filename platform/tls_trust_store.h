#pragma once
// The certificates the user chose to always trust although they failed
// verification (self-signed, another host name, expired): one fingerprint per
// host and port, kept in a text file in the settings folder
// (trusted-certificates.txt, one "host:port sha256" a line). No widgets: the
// window asks, the engine consults and writes this.

#include <QString>
#include <QStringList>

namespace platform {

class TlsTrustStore {
public:
    // The file; empty: DefaultFilePath(), decided when the store is used.
    explicit TlsTrustStore(const QString &filePath = QString());

    static QString DefaultFileName() { return QStringLiteral("trusted-certificates.txt"); }
    static QString DefaultFilePath();
    // "host:port", the host in lower case.
    static QString Key(const QString &host, quint16 port);

    QString FilePath() const;
    // The stored fingerprints for the key (lower-case hex SHA-256).
    QStringList Fingerprints(const QString &key) const;
    bool IsTrusted(const QString &key, const QString &sha256) const;
    // Some other certificate is stored for the key: this one has changed.
    bool HasOther(const QString &key, const QString &sha256) const;
    // Stores the fingerprint for the key in place of any before it; false
    // when the file could not be written.
    bool Trust(const QString &key, const QString &sha256);
    bool Forget(const QString &key);

private:
    struct Entry {
        QString key;
        QString sha256;
    };
    QList<Entry> Read() const;
    bool Write(const QList<Entry> &entries) const;

    QString filePath_;
};

}  // namespace platform
