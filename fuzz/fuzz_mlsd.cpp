// MLSD lines as a hostile server may send them. An accepted entry must carry
// a name the tree walks can use, cut byte-exact after the first blank, and
// fields in the forms the window shows.

#include "engine/ftp_listing.h"
#include "engine/ftp_mlsx.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void check(bool condition, const char *what, const QByteArray &line)
{
    if (!condition) {
        std::fprintf(stderr, "mlsd fuzz: %s (line of %lld bytes)\n", what, static_cast<long long>(line.size()));
        std::abort();
    }
}

bool digitsOnly(const QByteArray &text)
{
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    ListingParser parser;
    parser.SetTimeZone(QTimeZone(8 * 3600));
    for (const QByteArray &raw : input.split('\n')) {
        const QByteArray line = raw.endsWith('\r') ? raw.chopped(1) : raw;
        const ftpmlsx::Entry facts = ftpmlsx::ParseLine(line);
        const qsizetype blank = line.indexOf(' ');
        if (facts.valid) {
            check(blank > 0 && line.first(blank).contains('='), "facts without a fact", line);
            check(facts.name == line.mid(blank + 1), "name is not the text after the first blank", line);
            check(facts.unixMode >= -1 && facts.unixMode <= 07777, "mode out of range", line);
            check(!facts.size || *facts.size >= 0, "negative size", line);
            check(!facts.modified.isValid() || facts.modified.offsetFromUtc() == 0, "time not UTC", line);
        }
        const ParsedEntry e = parser.ParseMlsd(line);
        if (!e.accepted) {
            check(e.name.isEmpty() && e.attributes.isEmpty() && e.date.isEmpty() && e.size.isEmpty(),
                  "refused entry carries data", line);
            continue;
        }
        check(facts.valid, "entry from an invalid line", line);
        check(ftpmlsx::IsSafeName(e.name), "unsafe name accepted", line);
        check(e.name == facts.name, "entry name differs from the facts' name", line);
        check(e.attributes.isEmpty() || e.attributes == "l" || e.attributes.size() == 10, "attributes shape", line);
        check(!e.attributes.startsWith('l') || e.directory, "a link not entered as a directory", line);
        check(digitsOnly(e.size), "size is no number", line);
        check(e.date.isEmpty() || e.date.size() == 16, "date shape", line);
    }
    return 0;
}
