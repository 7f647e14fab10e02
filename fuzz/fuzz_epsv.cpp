// EPSV (229) replies come from the server: whatever the bytes, the reader
// must not crash, and a port it accepts must read back the same from the
// form we would expect, with any delimiter.

#include "engine/ftp_parse.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray reply(reinterpret_cast<const char *>(data), qsizetype(size));
    const std::optional<quint16> port = ftpparse::ParseEpsvReply(reply);
    if (!port)
        return 0;
    if (*port == 0)
        std::abort();
    const char delimiter = size > 0 ? char(33 + data[0] % 94) : '|';
    if (delimiter >= '0' && delimiter <= '9')
        return 0;
    const QByteArray d(1, delimiter);
    const std::optional<quint16> back =
        ftpparse::ParseEpsvReply("229 (" + d + d + d + QByteArray::number(*port) + d + ")");
    if (back != port)
        std::abort();
    return 0;
}
