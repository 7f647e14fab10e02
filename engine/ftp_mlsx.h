#pragma once
// MLSD and MLST entries (RFC 3659): "fact=value;fact=value; name". Pure
// readers, no state and no sockets, so they can be fuzzed and tested by table.
// The listing parser turns an entry into the fields the file info list keeps
// (ListingParser::ParseMlsd).

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QTimeZone>

#include <optional>

namespace ftpmlsx {

enum class EntryType {
    File,              // type=file, or no type fact
    Directory,         // type=dir
    Link,              // type=OS.unix=slink:target or type=OS.unix=symlink
    CurrentDirectory,  // type=cdir: the listed directory itself
    ParentDirectory,   // type=pdir
    Other,             // devices, pipes, anything else
};

struct Entry {
    // The line held facts and, after the first blank, a name. False for a
    // line without facts or without that blank; the other fields are then
    // empty.
    bool valid = false;
    EntryType type = EntryType::File;
    // The text after the first blank, byte for byte: it may hold blanks and
    // semicolons. MLSD gives a name, MLST a path.
    QByteArray name;
    std::optional<qint64> size;  // size fact
    std::optional<qint64> sizd;  // sizd fact (the directory's own size)
    QDateTime modified;          // modify fact, UTC; invalid when absent or unreadable
    int unixMode = -1;           // UNIX.mode permission bits (0..07777), -1 when absent
    QByteArray perm;             // perm fact as given
    QByteArray unique;           // unique fact as given
    QByteArray linkTarget;       // after "slink:", when given
};

// One MLSD line, or one entry line of an MLST reply without its leading
// blank. Fact names and type values in any case and any order; facts
// without "=" and unknown facts are passed over; the last fact may lack its
// ";".
Entry ParseLine(QByteArrayView line);

// Whether a listed name may be filed: not empty, not "." or "..", and no
// "/", NUL, CR or LF (the same rule as the window's tree walks, which would
// otherwise be led out of the folder they walk).
bool IsSafeName(QByteArrayView name);

// "YYYYMMDDHHMMSS" with an optional ".fraction", as UTC; invalid when the
// text is not that or names no real moment.
QDateTime ParseTime(QByteArrayView text);

// "drwxr-xr-x" from a type character and permission bits, with setuid,
// setgid and sticky shown as ls shows them.
QByteArray ModeText(char type, int mode);

// "YYYY-MM-DD HH:MM" of a UTC moment in the given zone, or in the local time
// of this machine without one. Empty for an invalid moment.
QByteArray TimeText(const QDateTime &utc, const std::optional<QTimeZone> &zone = std::nullopt);

}  // namespace ftpmlsx
