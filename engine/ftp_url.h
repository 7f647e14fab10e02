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
        InvalidSyntax,        // user part without ":", bad port, empty host, line breaks
    };
    Status status = InvalidSyntax;
    bool hasUserPart = false;
    QByteArray user;      // "anonymous" without a user part
    QByteArray password;  // FtpAnonymousPassword without a user part
    QByteArray host;
    quint16 port = 21;
    QByteArray path;      // keeps its leading "/"; "/" when the address names none
    QByteArray fileName;  // text after the path's last "/"; empty when it ends with "/"
};

// Blanks (and control bytes) around the address are ignored. The user part
// ends at the first "@" of the part before the first "/", so an "@" in a file
// name is never taken for a login. Nothing is percent-decoded: names go to the
// server exactly as written.
FtpUrl SplitFtpUrl(const QByteArray &url);
