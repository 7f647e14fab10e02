// The HTTP client's chunked-body decoder on hostile bodies. Checks: the data
// and the verdict do not depend on how the socket split the bytes (whole, in
// two at any point, byte by byte), and the data is never longer than the body.

#include "search/http_chunked.h"

#include <QByteArray>
#include <algorithm>
#include <cstdlib>

namespace {

struct Decoded {
    QByteArray data;
    HttpChunkedDecoder::Result result = HttpChunkedDecoder::Result::More;
    bool operator==(const Decoded &) const = default;
};

Decoded Decode(const QByteArray &body, qsizetype piece)
{
    HttpChunkedDecoder decoder;
    Decoded out;
    for (qsizetype at = 0; at < body.size() && out.result == HttpChunkedDecoder::Result::More; at += piece) {
        const qsizetype length = std::min(piece, body.size() - at);
        out.result = decoder.Feed(body.constData() + at, int(length), &out.data);
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray body(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));
    const Decoded whole = Decode(body, qMax<qsizetype>(1, body.size()));
    if (whole.data.size() > body.size())
        std::abort();
    const qsizetype split = 1 + data[0] % qMax<qsizetype>(1, body.size());
    if (Decode(body, split) != whole)
        std::abort();
    if (body.size() < 4096 && Decode(body, 1) != whole)
        std::abort();
    return 0;
}
