#pragma once
// The query the search window sends to the outside FTP search engine.

#include <QString>

// The engine the program asks: its query address and the web host put in
// front of its non-FTP links (no trailing "/"). Fixed in the program.
inline constexpr char16_t SearchEngineAddress[] = u"ftpsearch.tarvo-soft.cn";
inline constexpr char16_t SearchEngineHost[] = u"ftpsearch.tarvo-soft.cn";

struct SearchEngine {
    QString Address = QString::fromUtf16(SearchEngineAddress);
    QString Host = QString::fromUtf16(SearchEngineHost);
};

// The keyword's UTF-8 bytes with everything but the unreserved characters
// (letters, digits, "-", ".", "_", "~") written as %XX: a blank, "&" or "#"
// would otherwise end the query field or the request line.
QString EncodeQueryWord(const QString &keyword);

// "http://" + address + "/cgi-bin/search?f2=-&f5=-&query=" + keyword + "&hits=" + hits
QString SearchQueryURL(const QString &address, const QString &keyword, const QString &hits);
