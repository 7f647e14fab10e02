// The DOS/IIS, EPLF and group-less UNIX rules, fed lines that already start
// the way those listings start (a date, "+", a UNIX mode and link count) so
// that the fuzzer spends its time inside them. The detecting style must read
// every complete UNIX line as the UNIX rule does.

#include "engine/ftp_listing.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void check(bool condition, const char *what, const QByteArray &line)
{
    if (!condition) {
        std::fprintf(stderr, "dos/eplf fuzz: %s (line of %lld bytes)\n", what, static_cast<long long>(line.size()));
        std::abort();
    }
}

const char *const kPrefixes[] = {
    "12-08-26  10:15AM       <DIR>          ",
    "12-08-2026  22:15  ",
    "2026-12-08  10:15  ",
    "+",
    "+i1.2,m824255902,",
    "-rw-r--r-- 1 ",
    "drwxr-xr-x 2 owner group ",
    "lrwxrwxrwx 1 owner 7 Jan 01 12:00 ",
    "",
};

QByteArray describe(const ParsedEntry &e)
{
    return QByteArray(e.accepted ? "a" : "r") + (e.directory ? "d" : "f") + '\0' + e.name + '\0' + e.attributes
        + '\0' + e.date + '\0' + e.size;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const QByteArray rest(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    constexpr size_t prefixCount = sizeof kPrefixes / sizeof kPrefixes[0];
    for (const QByteArray &piece : rest.split('\n')) {
        const QByteArray line = QByteArray(kPrefixes[data[0] % prefixCount]) + piece;
        ListingParser unix, detect;
        unix.SetTimeZone(QTimeZone(0));
        detect.SetTimeZone(QTimeZone(0));
        const ParsedEntry u = unix.Parse(ftpstUNIX, line);
        const ParsedEntry d = detect.Parse(ftpstDetect, line);
        for (const ParsedEntry *e : {&u, &d}) {
            if (!e->accepted) {
                check(e->name.isEmpty() && e->date.isEmpty() && e->size.isEmpty() && e->attributes.isEmpty(),
                      "rejected entry carries data", line);
                continue;
            }
            check(!e->name.isEmpty(), "empty name", line);
            check(line.endsWith(e->name) || line.at(0) == '-' || line.at(0) == 'd' || line.at(0) == 'l'
                      || line.at(0) == 'f',
                  "DOS or EPLF name does not end the line", line);
        }
        const char first = line.isEmpty() ? '\0' : line.at(0);
        // Only the UNIX reading of a line without its group column may differ.
        if (first == '+' || (first >= '0' && first <= '9'))
            check(describe(u) == describe(d), "DOS or EPLF read differently by the detecting style", line);
        const QByteArray word5 = ListingParser::Word(line, 5);
        if (u.accepted && word5.size() == 3 && QByteArray("JanFebMarAprMayJunJulAugSepOctNovDec").contains(word5))
            check(describe(u) == describe(d), "a complete UNIX line read differently", line);
    }
    return 0;
}
