// Control replies as a hostile server may send them: arbitrary bytes cut into
// arbitrary reads. Framing must give back exactly the bytes it took, never
// hold more than its cap without a line end, and assembly must never
// interpret a line inside an open multi-line reply.

#include "engine/line_framer.h"
#include "engine/reply_assembler.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    // The first byte chooses the read size, as the network would.
    const size_t readSize = 1 + data[0] % 64;
    const QByteArray input(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    constexpr qsizetype cap = 256;

    LineFramer framer(cap);
    ReplyAssembler assembler;
    QByteArray rebuilt;
    bool overflowed = false;
    for (qsizetype offset = 0; offset < input.size() && !overflowed; offset += qsizetype(readSize)) {
        framer.Append(input.mid(offset, qsizetype(readSize)));
        QByteArray line;
        while (framer.NextLine(line)) {
            if (line.contains('\n'))
                abort();
            // The line came with CR LF or a bare LF; the comparison at the end
            // tells whether the framer cut it where the input says.
            const qsizetype after = rebuilt.size() + line.size();
            rebuilt += line + (after < input.size() && input.at(after) == '\r' ? "\r\n" : "\n");
            bool wasInside = assembler.Inside();
            bool interpret = assembler.Accept(line);
            if (interpret && wasInside && !(line.size() >= 4 && line.at(3) == ' '))
                abort();
            if (interpret && line.size() >= 4 && line.at(3) == '-')
                abort();
        }
        overflowed = framer.Overflowed();
        if (!overflowed && framer.Pending().size() > cap)
            abort();
    }
    if (!overflowed && rebuilt + framer.Pending() != input.left(rebuilt.size() + framer.Pending().size()))
        abort();
    if (!overflowed && rebuilt.size() + framer.Pending().size() != input.size())
        abort();
    return 0;
}
