#pragma once
// The site list file, list.ini in the settings folder: one site a line, its
// seven fields joined by "|", GB18030 (a valid UTF-8 file is read as UTF-8),
// CR LF after every line when written. A line that does not split into
// exactly seven fields is no site and is skipped. The password is never here.

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

struct SiteEntry {
    QString name;        // the key, compared exactly
    QString server;
    QString username;
    QString port;        // decimal text as stored; may be anything in a hand-edited file
    QString localpath;
    QString remotepath;
    QString anonymous;   // "yes" or "no"

    static constexpr int FieldCount = 7;

    QStringList Fields() const { return {name, server, username, port, localpath, remotepath, anonymous}; }
    static SiteEntry FromFields(const QStringList &fields);
    bool operator==(const SiteEntry &) const = default;
};

// list.ini in the settings folder.
QString SiteListFileName();

struct SiteListRead {
    bool opened = false;       // false: unreadable (a missing file reads as empty)
    QList<SiteEntry> sites;    // in file order
    int skippedLines = 0;      // lines that were no site, empty ones included
};

// Reads the file a line at a time (CR LF, LF or a lone CR end a line); a huge
// or garbled file costs time, never the program. Lines longer than any site
// could need are skipped without being held whole.
SiteListRead ReadSiteList(const QString &path);

// The file's line for a site, without its line end.
QByteArray SiteLine(const SiteEntry &site);
// A line of the file (GB18030 bytes) as a site: none unless it splits into seven.
std::optional<SiteEntry> ParseSiteLine(const QByteArray &line);

// Writes all sites, replacing the file only once everything is written: a
// failed write leaves the old file as it was.
bool WriteSiteList(const QString &path, const QList<SiteEntry> &sites);

// "Cannot open file %s" / "Cannot create file %s" with the file's full path.
QString CannotOpenFileMessage(const QString &path);
QString CannotCreateFileMessage(const QString &path);

