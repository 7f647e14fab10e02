#pragma once
// The replies that tell a remote file's facts: SIZE's and MDTM's 213 (RFC
// 3659), and the time argument of MFMT. Pure: no state, no sockets, so they
// can be fuzzed and tested by table.

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>

#include <optional>

namespace ftpfacts {

// "213 12345": the byte count. Blanks around the number are allowed; another
// code, a sign, a unit or anything after the number gives nothing.
std::optional<qint64> ParseSizeReply(QByteArrayView reply);

// "213 YYYYMMDDHHMMSS[.sss]": the moment, UTC. Read loosely: blanks around
// the time, a "," for the ".", and the "19" + (year - 1900) form that old
// servers wrote after 1999 ("191261208101530"). Invalid for another code, a
// text that is not a time, or a date or time that does not exist.
QDateTime ParseMdtmReply(QByteArrayView reply);

// "YYYYMMDDHHMMSS" of a moment in UTC, for MFMT; empty for an invalid moment
// or a year outside 0001..9999.
QByteArray TimeArgument(const QDateTime &moment);

}  // namespace ftpfacts
