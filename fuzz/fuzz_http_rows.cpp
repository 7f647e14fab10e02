// The search window's row cutter on hostile result pages: the page is split
// into lines, every line with "<B>" is cut into a row. Checks: the one-pass
// "amp;" removal equals removing the first one until none is left, and the
// row's texts come from the line.

#include "search/search_rows.h"

#include <QByteArray>
#include <QString>
#include <cstdlib>

namespace {

QString RemoveAmpSlowly(QString line)
{
    qsizetype at;
    while ((at = line.indexOf(u"amp;")) >= 0)
        line.remove(at, 4);
    return line;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray page(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString host = QStringLiteral("engine.example");
    for (const QString &line : PageLines(page)) {
        if (line.size() < 512 && RemoveAmp(line) != RemoveAmpSlowly(line))
            std::abort();
        if (!line.contains(u"<B>"))
            continue;
        const QString cleaned = RemoveAmp(line);
        SearchHit hit = CutResultRow(line, host);
        if (!cleaned.contains(hit.Size) || !cleaned.contains(hit.Time))
            std::abort();
        if (hit.Ftp != hit.Link.left(6).toLower().startsWith(u"ftp://"))
            std::abort();
        if (!hit.Ftp && !hit.Link.startsWith(u"http://engine.example"))
            std::abort();
    }
    return 0;
}
