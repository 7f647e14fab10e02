#pragma once
// Splitting of "ftp://" addresses for OpenURL. Pure (no connection, no
// engine state) so that it can be tested with tables and fuzzed.

#include <QByteArray>
#include <QtGlobal>

// The password sent for an address without a user part.
inline constexpr char FtpAnonymousUser[] = "anonymous";
inline constexpr char FtpAnonymousPassword[] = "tarvo@example.com";

struct FtpUrl {
    enum Status {
        Ok,
        UnsupportedProtocol,  // not "ftp://" in any letter case
        InvalidSyntax,        // user part without ":", bad port, empty host, CR, LF or NUL
    };
    Status status = InvalidSyntax;
    bool hasUserPart = false;
    QByteArray user;      // "anonymous" without a user part
    QByteArray password;  // FtpAnonymousPassword without a user part
    QByteArray host;      // an IPv6 host without its brackets
    quint16 port = 21;
    QByteArray path;      // keeps its leading "/"; "/" when the address names none
    QByteArray fileName;  // text after the path's last "/"; empty when it ends with "/"
};

// Blanks (and control bytes) around the address are ignored. An IPv6 host is
// written in brackets ("ftp://u:p@[::1]:2121/pub"); anything in them but an
// IPv6 literal, or after them but ":port", is invalid.
//
// The login "user:password@" ends at the last "@" of the part before the host's
// "/". That part normally ends at the first "/", so an "@" in a file name is
// never taken for a login ("ftp://host/pub/a@b.txt", "ftp://host:21/x@y" are
// anonymous). A password may hold a "/" itself: when the text before the first
// "/" has a ":" followed by anything but digits, it cannot be a host and port,
// and the part runs on to the first "/" after the next "@"
// ("ftp://u:p/w@host/path" is user "u", password "p/w", path "/path"). A
// password whose text before its "/" is all digits ("u:12/3@host") must write
// that "/" as %2F.
//
// User and password are percent-decoded after the split ("%2F", "%40", "%3A"
// give "/", "@", ":"); an escape that is not "%" and two hex digits stays as
// written. Host and path are never decoded: names go to the server exactly as
// written. A CR, LF or NUL anywhere, decoded or not, makes the address invalid.
FtpUrl SplitFtpUrl(const QByteArray &url);
