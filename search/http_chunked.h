#pragma once
// The "chunked" transfer coding of a response body (RFC 9112 section 7.1):
// hexadecimal size lines, the chunks' data, the last chunk of size 0 and an
// optional trailer. Fed whatever the socket delivered, it gives the data
// bytes only; whether the last chunk came tells a complete body from one cut
// off by a closed connection.

#include <QByteArray>

class HttpChunkedDecoder {
public:
    // A size line or a trailer line longer than this is no HTTP any more.
    static constexpr int MaxLineLength = 4096;

    enum class Result { More, Done, Invalid };

    void Reset();
    // Consumes the bytes and appends the data they carry to *out; Done once
    // the last chunk and its trailer have come (the bytes after that are
    // ignored), Invalid for a broken coding.
    Result Feed(const char *data, int length, QByteArray *out);

    bool Complete() const { return state_ == State::Done; }
    bool Broken() const { return state_ == State::Invalid; }

private:
    enum class State { SizeLine, Data, DataEnd, Trailer, Done, Invalid };
    bool takeLine(const char *&data, const char *end, QByteArray *line);
    bool sizeLine(const QByteArray &line);

    State state_ = State::SizeLine;
    QByteArray line_;
    qint64 remaining_ = 0;
};
