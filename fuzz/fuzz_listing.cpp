// Feeds arbitrary bytes, cut into lines, to the listing parser in every style
// and checks what must hold for any server's output.

#include "engine/ftp_listing.h"

#include <QByteArray>
#include <QList>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char *what, int style, const QByteArray &line)
{
    std::fprintf(stderr, "listing fuzz: %s (style %d, line of %lld bytes)\n", what, style,
                 static_cast<long long>(line.size()));
    std::abort();
}

void check(bool condition, const char *what, int style, const QByteArray &line)
{
    if (!condition)
        fail(what, style, line);
}

// The word rule done the slow, literal way, to hold the one-pass column
// scanner to it.
QByteArray literalWord(QByteArray copy, int n)
{
    while (copy.contains("  "))
        copy.replace("  ", " ");
    for (int i = 0; i < n; ++i) {
        const qsizetype blank = copy.indexOf(' ');
        if (blank < 0)
            return {};
        copy.remove(0, blank + 1);
    }
    const qsizetype blank = copy.indexOf(' ');
    return blank < 0 ? QByteArray() : copy.left(blank);
}

bool isUnixStyle(int style)
{
    return style == ftpstDefault || style == ftpstUNIX || style == ftpstULTRIX
        || style == ftpstU5000 || style == ftpstSINTMftpD;
}

void checkEntry(int style, const QByteArray &line, const ParsedEntry &e)
{
    if (!e.accepted) {
        check(e.name.isEmpty() && e.attributes.isEmpty() && e.date.isEmpty() && e.size.isEmpty()
                  && !e.directory,
              "rejected entry carries data", style, line);
        return;
    }
    check(!line.isEmpty(), "empty line accepted", style, line);

    if (isUnixStyle(style) || style == ftpstDetect) {
        const char kind = line.at(0);
        if (kind == '+') {
            // EPLF: the name is everything after the first tab.
            const qsizetype tab = line.indexOf('\t');
            check(tab > 0 && e.name == line.mid(tab + 1) && !e.name.isEmpty(), "EPLF name", style, line);
            check(e.attributes.isEmpty() || e.attributes.size() == 10, "EPLF attributes", style, line);
            return;
        }
        if (kind >= '0' && kind <= '9') {
            // DOS: the name ends the line; a directory has no size.
            check(!e.name.isEmpty() && line.endsWith(e.name), "DOS name", style, line);
            check(e.attributes.isEmpty(), "DOS attributes", style, line);
            check(e.directory ? e.size.isEmpty() : !e.size.isEmpty(), "DOS size", style, line);
            for (char c : e.size)
                check(c >= '0' && c <= '9', "DOS size digits", style, line);
            return;
        }
        check(kind == '-' || kind == 'f' || kind == 'd' || kind == 'l', "bad kind accepted", style,
              line);
        check(e.directory == (kind == 'd' || kind == 'l'), "wrong kind", style, line);
        check(!e.name.isEmpty(), "empty UNIX name", style, line);
        check(line.contains(e.name), "name is not part of the line", style, line);
        check(e.attributes == ListingParser::Word(line, 0), "attributes are not word 0", style,
              line);
        return;
    }
    switch (style) {
    case ftpstVmsMultinet:
    case ftpstVmsUcx:
        check(!e.name.contains(';'), "VMS name keeps its version", style, line);
        check(!e.directory || !e.name.contains(".DIR"), "VMS directory keeps .DIR", style, line);
        check(e.attributes.isEmpty(), "VMS attributes", style, line);
        break;
    case ftpstVM:
        check(e.name.contains('.') && !e.directory, "VM entry", style, line);
        break;
    case ftpstVMVPS:
        check(e.name.startsWith('.') && !e.directory, "VM/VPS entry", style, line);
        check(!line.contains('=') && !line.contains("totals:") && !line.contains(" rf trks")
                  && !line.contains("track limit"),
              "VM/VPS marker line accepted", style, line);
        break;
    default:
        check(e.name.isEmpty() && e.attributes.isEmpty() && e.date.isEmpty() && e.size.isEmpty()
                  && !e.directory,
              "rule-less style filled an entry", style, line);
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));

    // Lines as the listing receiver hands them over: CR LF removed.
    QList<QByteArray> lines;
    qsizetype start = 0;
    while (start <= input.size()) {
        qsizetype end = input.indexOf('\n', start);
        if (end < 0)
            end = input.size();
        qsizetype cut = end;
        if (cut > start && input.at(cut - 1) == '\r')
            --cut;
        lines.append(QByteArray(input.constData() + start, cut - start));
        start = end + 1;
    }

    for (const QByteArray &line : lines) {
        if (line.size() > 256)
            continue; // the literal rule is quadratic
        for (int n = 0; n < 10; ++n) {
            if (ListingParser::Word(line, n) != literalWord(line, n))
                fail("word rule differs", -1, line);
        }
    }

    for (int style = ftpstDefault; style <= ftpstDetect; ++style) {
        ListingParser parser;
        for (const QByteArray &line : lines) {
            const ParsedEntry e = parser.Parse(TMFtpServerType(style), line);
            checkEntry(style, line, e);
            check(parser.PendingLine().size() <= ListingParser::MaxPendingLength,
                  "pending line past its cap", style, line);
        }
        parser.Reset();
        check(parser.PendingLine().isEmpty(), "reset kept the pending line", style, QByteArray());
    }
    return 0;
}
