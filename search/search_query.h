#pragma once
// The query the search window sends to the outside FTP search engine.

#include <QString>

// The engine the program asks: its query address and the web host put in
// front of its non-FTP links (no trailing "/"). Fixed in the program. The
// engine the window was made for is long gone and no successor speaks its
// page format, so the name sits under a reserved domain: a query can never
// reach a stranger's server, and a deployment that runs a compatible engine
// changes these two lines.
inline constexpr char16_t SearchEngineAddress[] = u"ftpsearch.tarvo.example";
inline constexpr char16_t SearchEngineHost[] = u"ftpsearch.tarvo.example";

struct SearchEngine {
    QString Address = QString::fromUtf16(SearchEngineAddress);
    QString Host = QString::fromUtf16(SearchEngineHost);
};

// The engine the user set (ftp.ini's searchengine): "host[:port]", optionally
// with "http://" or "https://" in front and a "/" behind. Its web host for
// relative links is the same server ("https://host:port" when it is https,
// so those links keep the scheme). Empty: the reserved default.
SearchEngine SearchEngineFromAddress(const QString &address);

// The reserved default (or any name under the reserved ".example" domain):
// a query there can only fail its lookup, so the window explains instead.
bool IsReservedEngine(const SearchEngine &engine);

// The keyword's UTF-8 bytes with everything but the unreserved characters
// (letters, digits, "-", ".", "_", "~") written as %XX: a blank, "&" or "#"
// would otherwise end the query field or the request line.
QString EncodeQueryWord(const QString &keyword);

// "http://" + address + "/cgi-bin/search?f2=-&f5=-&query=" + keyword + "&hits=" + hits;
// an address that names its scheme keeps it.
QString SearchQueryURL(const QString &address, const QString &keyword, const QString &hits);
