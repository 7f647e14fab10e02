// FEAT replies as a hostile server may send them. The record must be empty
// unless the reply is a 211, hold one flag per listed MLST fact, and the
// OPTS MLST argument built from it must be safe to put on a command line.

#include "engine/ftp_features.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void check(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "features fuzz: %s\n", what);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const FtpFeatures f = ftpfeatures::ParseFeatReply(input);
    if (!f.answered) {
        check(f.lines.isEmpty() && f.mlstFacts.isEmpty() && !f.utf8 && !f.mlst && !f.mlsd && !f.size && !f.authTls,
              "a reply that is no 211 gave features");
        check(ftpfeatures::OptsMlstArgument(f).isEmpty(), "OPTS MLST without features");
        return 0;
    }
    check(input.startsWith("211") || input.contains("\n211"), "answered without a 211");
    check(!f.mlst || f.mlsd, "MLST without MLSD");
    check(f.mlstFacts.size() == f.mlstFactEnabled.size(), "facts and their flags differ in number");
    check(f.mlstFacts.isEmpty() || f.mlst, "facts without MLST");
    for (const QByteArray &line : f.lines)
        check(!line.isEmpty() && !line.contains('\n') && !line.startsWith(' '), "feature line");
    for (const QByteArray &fact : f.mlstFacts) {
        check(!fact.isEmpty(), "empty fact");
        check(f.HasFact(fact), "a listed fact is not found");
    }
    const QByteArray argument = ftpfeatures::OptsMlstArgument(f);
    for (char c : argument)
        check(c > ' ' && c <= '~', "OPTS MLST argument holds a byte that may split the command");
    check(argument.isEmpty() || argument.endsWith(';'), "OPTS MLST argument shape");
    return 0;
}
