#include "search_rows.h"

#include "platform/codepage.h"

namespace {

// The string primitives the cutting rules are written in: positions count
// from 1 and a missing text is at 0.
qsizetype Pos(QStringView needle, QStringView haystack)
{
    return haystack.indexOf(needle) + 1;
}

// A start before the first character counts as the first; a negative length
// takes nothing; a length past the end stops there.
QString Copy(const QString &text, qsizetype start, qsizetype count)
{
    if (start < 1)
        start = 1;
    if (count <= 0 || start > text.size())
        return QString();
    return text.mid(start - 1, count);
}

// A position outside the text, or a length of 0 or less, removes nothing.
void Delete(QString &text, qsizetype start, qsizetype count)
{
    if (start < 1 || start > text.size() || count <= 0)
        return;
    text.remove(start - 1, count);
}

}  // namespace

// As repeated removal of the first "amp;" would do, but in one pass: the word
// has no overlap with itself, so the order of removals does not change the
// result, and a hostile line of millions of them costs no more than its length.
QString RemoveAmp(const QString &line)
{
    static const QStringView Amp = u"amp;";
    if (!line.contains(Amp))
        return line;
    QString out;
    out.reserve(line.size());
    for (QChar c : line) {
        out.append(c);
        if (out.size() >= 4 && QStringView(out).right(4) == Amp)
            out.chop(4);
    }
    return out;
}

bool IsFtpLink(const QString &link)
{
    return link.left(6).toLower() == u"ftp://";
}

SearchHit CutResultRow(const QString &line, const QString &engineHost)
{
    static const QStringView LinkStart = u"<A HREF=\"";  // nine characters
    static const QStringView LinkEnd = u"\">";
    QString L = RemoveAmp(line);

    qsizetype b = Pos(u"<B>", L);
    qsizetype eb = Pos(u"</B>", L);
    qsizetype a = Pos(LinkStart, L);
    qsizetype q = Pos(LinkEnd, L);
    qsizetype ea = Pos(u"</A>", L);

    SearchHit hit;
    hit.Size = Copy(L, b + 3, eb - b - 3);
    hit.Time = Copy(L, eb + 4, a - eb - 4);
    if (Pos(u"/<A", L) > 0) {
        // Spoil the first link's markers so that the next link on the line is found.
        Delete(L, a, 2);
        Delete(L, q - 2, 2);
        Delete(L, ea - 4, 3);
        a = Pos(LinkStart, L);
        q = Pos(LinkEnd, L);
    }
    QString link = Copy(L, a + 9, q - a - 9);
    hit.Ftp = IsFtpLink(link);
    // An engine host that names its scheme (https) keeps it.
    const QString web = engineHost.contains(u"://") ? engineHost : QStringLiteral("http://") + engineHost;
    hit.Link = hit.Ftp ? link : web + link;
    return hit;
}

QStringList PageLines(const QByteArray &page)
{
    QStringList lines;
    qsizetype start = 0;
    const qsizetype size = page.size();
    while (start < size) {
        qsizetype end = start;
        while (end < size && page.at(end) != '\n' && page.at(end) != '\r')
            ++end;
        lines.append(platform::DecodeAnsi(QByteArrayView(page).sliced(start, end - start)));
        if (end < size && page.at(end) == '\r' && end + 1 < size && page.at(end + 1) == '\n')
            ++end;
        start = end + 1;
    }
    return lines;
}
