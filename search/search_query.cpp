#include "search_query.h"

#include <QByteArray>

QString EncodeQueryWord(const QString &keyword)
{
    return QString::fromLatin1(keyword.toUtf8().toPercentEncoding("-._~"));
}

QString SearchQueryURL(const QString &address, const QString &keyword, const QString &hits)
{
    const QString base = address.contains(u"://") ? address : QStringLiteral("http://") + address;
    return base + QStringLiteral("/cgi-bin/search?f2=-&f5=-&query=") + EncodeQueryWord(keyword)
           + QStringLiteral("&hits=") + hits;
}

SearchEngine SearchEngineFromAddress(const QString &address)
{
    QString text = address.trimmed();
    while (text.endsWith(u'/'))
        text.chop(1);
    if (text.isEmpty())
        return SearchEngine();
    SearchEngine engine;
    engine.Address = text;
    const bool named = text.contains(u"://");
    const bool secure = text.startsWith(u"https://", Qt::CaseInsensitive);
    const QString authority = named ? text.mid(text.indexOf(u"://") + 3) : text;
    const QString host = authority.left(authority.indexOf(u'/') < 0 ? authority.size() : authority.indexOf(u'/'));
    engine.Host = secure ? QStringLiteral("https://") + host : host;
    return engine;
}

bool IsReservedEngine(const SearchEngine &engine)
{
    QString authority = engine.Address;
    if (authority.contains(u"://"))
        authority = authority.mid(authority.indexOf(u"://") + 3);
    QString host = authority.left(authority.indexOf(u'/') < 0 ? authority.size() : authority.indexOf(u'/'));
    host = host.mid(host.lastIndexOf(u'@') + 1);
    if (host.contains(u':'))
        host = host.left(host.lastIndexOf(u':'));
    host = host.toLower();
    while (host.endsWith(u'.'))
        host.chop(1);
    return host.isEmpty() || host == u"example" || host.endsWith(u".example");
}
