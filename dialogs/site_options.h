#pragma once
// What a site needs beyond list.ini's seven fields: its encryption and its
// data connection mode. Older copies of the program drop any list.ini line
// that does not split into exactly seven fields, so these live in a file of
// their own beside it, list-options.ini: one site a line, "name|encryption|
// passive", UTF-8, CR LF. A site without a line uses the defaults.

#include <QHash>
#include <QString>

struct SiteOptions {
    // The engine's TLS modes, in the order the choice lists them.
    enum Encryption { PlainOnly = 0, TlsIfSupported = 1, TlsExplicitRequired = 2, TlsImplicitRequired = 3 };
    static constexpr int EncryptionCount = 4;

    int encryption = TlsIfSupported;
    bool passive = true;

    bool operator==(const SiteOptions &) const = default;
};

// The choice's texts, in Encryption order.
QString EncryptionText(int encryption);

QString SiteOptionsFileName();

// Keyed by site name. A missing file reads as empty; lines that are no site's
// options (wrong field count, values out of range) are skipped.
QHash<QString, SiteOptions> ReadSiteOptions(const QString &path);
QHash<QString, SiteOptions> ParseSiteOptions(const QByteArray &bytes);
// Replaces the file only once everything is written.
bool WriteSiteOptions(const QString &path, const QHash<QString, SiteOptions> &options);
