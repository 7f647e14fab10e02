#pragma once
// Pure readers and writers of the transfer dialogue's texts: the PASV and EPSV
// replies,
// the size named in a RETR's 150 reply, the PORT and EPRT arguments, the full path
// of a listed file. No state, no sockets, so they can be fuzzed and tested by
// table.

#include <QByteArray>
#include <QString>
#include <optional>

namespace ftpparse {

// The reply class: the first character of a reply line ('1' to '5'), or
// '\0' for an empty line. States decide on it alone.
inline char ReplyClass(const QByteArray &line)
{
    return line.isEmpty() ? '\0' : line.at(0);
}

struct PasvAddress {
    QString host;  // dotted IPv4 text
    quint16 port = 0;
};

// The six numbers h1,h2,h3,h4,p1,p2 of a 227 reply. They are read after the
// first "(" up to the next ")"; a reply without parentheses is read from the
// first digit after the reply code (RFC 1123 allows that form). Fields after
// the sixth are ignored. Fewer than six fields, a field that is not a decimal
// number in 0..255 (blanks around it allowed): nothing.
std::optional<PasvAddress> ParsePasvReply(const QByteArray &reply);

// The port of a 229 reply (RFC 2428): "(|||6446|)", with any character in
// 33..126 but a digit as the delimiter, blanks around the port allowed, the
// address fields ignored (the data connection goes to the control
// connection's peer). Without parentheses the first delimiter run after the
// code is read. A port that is not a decimal 1..65535: nothing.
std::optional<quint16> ParseEpsvReply(const QByteArray &reply);

// The size a 1xx reply to RETR names, as in "150 ... (12345 bytes).": the
// text after the first "(" up to the next blank (or the end). Empty when the
// reply holds no "(".
QByteArray FileSizeFromReply(const QByteArray &reply);

// The byte count a 1xx reply announces, only in the form "(12345 bytes)";
// nothing for any other unit or wording.
std::optional<qint64> AnnouncedByteCount(const QByteArray &reply);

// "h1,h2,h3,h4,p1,p2" for PORT, from a dotted address and a port.
QByteArray PortArgument(const QString &dottedAddress, quint16 port);

// "|1|h.h.h.h|port|" or "|2|v6|port|" for EPRT (RFC 2428).
QByteArray EprtArgument(const QString &address, quint16 port);

// Directory + "/" + name, without doubling a "/" the directory ends with.
QByteArray RemoteFullPath(const QByteArray &directory, const QByteArray &name);

// A listing's size text as a byte count; nothing when it is not a plain
// non-negative decimal number (VMS block counts such as "12/24", for example).
std::optional<qint64> ParseSizeText(QByteArrayView text);

}  // namespace ftpparse
