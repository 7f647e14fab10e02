// SIZE and MDTM replies as a hostile server may send them. A size is never
// negative; a time is valid UTC and, written back for MFMT, is fourteen
// digits that read as the same second.

#include "engine/ftp_facts_reply.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void check(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "file facts fuzz: %s\n", what);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    if (const std::optional<qint64> bytes = ftpfacts::ParseSizeReply(input))
        check(*bytes >= 0 && input.startsWith("213"), "a size from no 213, or below zero");
    const QDateTime time = ftpfacts::ParseMdtmReply(input);
    if (time.isValid()) {
        check(input.startsWith("213") && time.offsetFromUtc() == 0, "a time from no 213, or not in UTC");
        const QByteArray argument = ftpfacts::TimeArgument(time);
        check(argument.size() == 14, "an MFMT time that is not fourteen digits");
        const QDateTime again = ftpfacts::ParseMdtmReply("213 " + argument);
        check(again.toSecsSinceEpoch() == time.toSecsSinceEpoch(), "a time that does not read back");
    }
    return 0;
}
