#include "http_chunked.h"

#include <algorithm>
#include <cstring>
#include <utility>

void HttpChunkedDecoder::Reset()
{
    state_ = State::SizeLine;
    line_.clear();
    remaining_ = 0;
}

bool HttpChunkedDecoder::takeLine(const char *&data, const char *end, QByteArray *line)
{
    const char *lf = static_cast<const char *>(std::memchr(data, '\n', size_t(end - data)));
    const char *stop = lf ? lf : end;
    line_.append(data, stop - data);
    data = lf ? lf + 1 : end;
    if (line_.size() > MaxLineLength) {
        state_ = State::Invalid;
        return false;
    }
    if (!lf)
        return false;
    if (line_.endsWith('\r'))
        line_.chop(1);
    *line = std::exchange(line_, QByteArray());
    return true;
}

bool HttpChunkedDecoder::sizeLine(const QByteArray &line)
{
    // "1a;name=value": extensions after ";" are ignored; blanks before them tolerated.
    QByteArray digits = line.left(line.indexOf(';') < 0 ? line.size() : line.indexOf(';')).trimmed();
    if (digits.isEmpty() || digits.size() > 15)  // 15 hex digits stay far inside qint64
        return false;
    qint64 size = 0;
    for (char c : digits) {
        int value;
        if (c >= '0' && c <= '9')
            value = c - '0';
        else if (c >= 'a' && c <= 'f')
            value = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            value = c - 'A' + 10;
        else
            return false;
        size = size * 16 + value;
    }
    remaining_ = size;
    state_ = size == 0 ? State::Trailer : State::Data;
    return true;
}

HttpChunkedDecoder::Result HttpChunkedDecoder::Feed(const char *data, int length, QByteArray *out)
{
    const char *end = data + length;
    while (data < end && state_ != State::Done && state_ != State::Invalid) {
        QByteArray line;
        switch (state_) {
        case State::SizeLine:
            if (takeLine(data, end, &line) && !sizeLine(line))
                state_ = State::Invalid;
            break;
        case State::Data: {
            const int take = int(std::min<qint64>(remaining_, end - data));
            out->append(data, take);
            data += take;
            remaining_ -= take;
            if (remaining_ == 0)
                state_ = State::DataEnd;
            break;
        }
        case State::DataEnd:
            // The CR LF after a chunk's data, and nothing else.
            if (takeLine(data, end, &line))
                state_ = line.isEmpty() ? State::SizeLine : State::Invalid;
            break;
        case State::Trailer:
            if (takeLine(data, end, &line) && line.isEmpty())
                state_ = State::Done;
            break;
        case State::Done:
        case State::Invalid:
            break;
        }
    }
    if (state_ == State::Done)
        return Result::Done;
    return state_ == State::Invalid ? Result::Invalid : Result::More;
}
