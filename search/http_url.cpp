#include "http_url.h"

HttpUrlParts ParseURL(const QString &url)
{
    HttpUrlParts parts;
    if (url.isEmpty())
        return parts;

    QString rest;
    qsizetype schemeEnd = url.indexOf(u"://");
    if (schemeEnd >= 0) {
        parts.Proto = url.left(schemeEnd);
        rest = url.mid(schemeEnd + 3);
    } else if (url.startsWith(u'/')) {
        parts.Proto = QStringLiteral("http");
        if (url.size() < 2 || url.at(1) != u'/') {
            parts.Path = url;
            return parts;
        }
        // "//host/path": the authority follows both slashes.
        rest = url.mid(2);
    } else if (url.left(5).compare(u"http:", Qt::CaseInsensitive) == 0) {
        parts.Proto = QStringLiteral("http");
        if (url.size() > 6 && url.at(6) != u'/') {
            parts.Path = url.mid(5);
            return parts;
        }
        rest = url.mid(6);
    } else if (url.left(7).compare(u"mailto:", Qt::CaseInsensitive) == 0) {
        parts.Proto = QStringLiteral("mailto");
        rest = url.mid(7);
    } else {
        rest = url;
    }

    qsizetype slash = rest.indexOf(u'/');
    QString authority = slash >= 0 ? rest.left(slash) : rest;
    if (slash >= 0)
        parts.Path = rest.mid(slash);

    qsizetype colon = authority.lastIndexOf(u':');
    qsizetype at = authority.lastIndexOf(u'@');
    if (colon >= 0 && colon > at) {
        parts.Port = authority.mid(colon + 1);
        parts.Host = authority.mid(at + 1, colon - at - 1);
    } else if (at >= 0) {
        parts.Host = authority.mid(at + 1);
    } else {
        parts.Host = authority;
    }
    if (at >= 0) {
        QString credentials = authority.left(at);
        qsizetype userEnd = credentials.indexOf(u':');
        if (userEnd >= 0) {
            parts.User = credentials.left(userEnd);
            parts.Pass = credentials.mid(userEnd + 1);
        } else {
            parts.User = credentials;
        }
    }
    return parts;
}
