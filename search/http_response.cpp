#include "http_response.h"

#include <cstring>

void HttpResponseReader::Reset()
{
    fill_ = 0;
    body_ = false;
}

bool HttpResponseReader::Filled(int count)
{
    if (count <= 0)
        return true;
    fill_ += count;
    if (body_) {
        int length = fill_;
        fill_ = 0;
        if (OnBody)
            OnBody(buffer_, length);
        return true;
    }

    int start = 0;
    while (start < fill_) {
        const char *lf = static_cast<const char *>(std::memchr(buffer_ + start, '\n', size_t(fill_ - start)));
        if (!lf)
            break;
        int end = int(lf - buffer_);
        int next = end + 1;
        if (end > start && buffer_[end - 1] == '\r')
            --end;
        QByteArray line(buffer_ + start, end - start);
        start = next;
        LineVerdict verdict = OnLine ? OnLine(line) : LineVerdict::Continue;
        if (verdict == LineVerdict::Gone)
            return true;
        if (verdict == LineVerdict::Stop) {
            fill_ = 0;
            return true;
        }
        if (verdict == LineVerdict::Body) {
            body_ = true;
            int rest = fill_ - start;
            fill_ = 0;
            if (rest > 0) {
                // Moved to the front first: the body handler may read again.
                std::memmove(buffer_, buffer_ + start, size_t(rest));
                if (OnBody)
                    OnBody(buffer_, rest);
            }
            return true;
        }
    }
    // Keep the unfinished line for the next read.
    if (start > 0) {
        std::memmove(buffer_, buffer_ + start, size_t(fill_ - start));
        fill_ -= start;
    }
    return fill_ < MaxFill;
}

StatusLineKind ParseStatusLine(const QByteArray &line, int *code, QByteArray *reason)
{
    if (!line.startsWith("HTTP/1.0") && !line.startsWith("HTTP/1.1"))
        return StatusLineKind::NotStatus;
    QByteArray digits = line.mid(9, 3);
    if (digits.isEmpty())
        return StatusLineKind::Malformed;
    int value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return StatusLineKind::Malformed;
        value = value * 10 + (c - '0');
    }
    *code = value;
    *reason = line.mid(13);
    return StatusLineKind::Status;
}

bool ParseHeaderField(const QByteArray &line, QByteArray *name, QByteArray *value)
{
    qsizetype colon = line.indexOf(':');
    if (colon < 0)
        return false;
    *name = line.left(colon).toLower();
    qsizetype start = colon + 1;
    // Optional blanks: "Content-Length:123" is 123, not 23.
    while (start < line.size() && (line.at(start) == ' ' || line.at(start) == '\t'))
        ++start;
    *value = line.mid(start);
    return true;
}
