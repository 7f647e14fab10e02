// The HTTP client's receiving side: the response reader that frames header
// lines in its fixed buffer, the status line and header field readers, and the
// splitting of Location values. The input is a response, fed in pieces whose
// sizes come from the first byte; the reader's lines and body are checked
// against a plain re-reading of the same bytes.

#include "search/http_response.h"
#include "search/http_url.h"

#include "platform/codepage.h"

#include <QByteArray>
#include <QList>
#include <cstdlib>
#include <cstring>

using LineVerdict = HttpResponseReader::LineVerdict;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const int piece = 1 + data[0] % 97;
    const QByteArray input(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));

    QList<QByteArray> lines;
    QByteArray body;
    HttpResponseReader reader;
    reader.Reset();
    reader.OnLine = [&](const QByteArray &line) {
        if (line.contains('\n') || line.size() >= HttpResponseReader::MaxFill)
            std::abort();
        lines.append(line);
        if (line.isEmpty())
            return LineVerdict::Body;
        int code = 0;
        QByteArray reason, name, value;
        if (ParseStatusLine(line, &code, &reason) == StatusLineKind::Status && (code < 0 || code > 999))
            std::abort();
        if (ParseHeaderField(line, &name, &value)) {
            if (value.startsWith(' ') || value.startsWith('\t') || name.contains(':'))
                std::abort();
            if (name == "location")
                (void)ParseURL(platform::DecodeAnsi(value));
        }
        return LineVerdict::Continue;
    };
    reader.OnBody = [&](const char *chunk, int length) { body.append(chunk, length); };

    bool ok = true;
    qsizetype at = 0;
    while (at < input.size()) {
        int n = int(std::min<qsizetype>({qsizetype(piece), qsizetype(reader.FreeCount()), input.size() - at}));
        if (n <= 0)
            std::abort();  // the reader must never be full and still taking header bytes
        std::memcpy(reader.FreeSpace(), input.constData() + at, size_t(n));
        at += n;
        if (!reader.Filled(n)) {
            ok = false;
            break;
        }
    }
    if (!ok)
        return 0;

    // The same bytes read plainly: lines up to the first empty one, then the body.
    QList<QByteArray> expectedLines;
    QByteArray expectedBody;
    qsizetype start = 0;
    bool inBody = false;
    while (start < input.size()) {
        qsizetype lf = input.indexOf('\n', start);
        if (lf < 0)
            break;
        QByteArray line = input.mid(start, lf - start);
        if (line.endsWith('\r'))
            line.chop(1);
        expectedLines.append(line);
        start = lf + 1;
        if (line.isEmpty()) {
            inBody = true;
            expectedBody = input.mid(start);
            break;
        }
    }
    if (lines != expectedLines || (inBody && body != expectedBody) || (!inBody && !body.isEmpty()))
        std::abort();
    return 0;
}
