#include "search_query.h"

#include <QByteArray>

QString EncodeQueryWord(const QString &keyword)
{
    return QString::fromLatin1(keyword.toUtf8().toPercentEncoding("-._~"));
}

QString SearchQueryURL(const QString &address, const QString &keyword, const QString &hits)
{
    return QStringLiteral("http://") + address + QStringLiteral("/cgi-bin/search?f2=-&f5=-&query=") + EncodeQueryWord(keyword)
           + QStringLiteral("&hits=") + hits;
}
