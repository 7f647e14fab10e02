#pragma once
// The receiving side of one HTTP response, kept apart from the client's state
// machine: a fixed buffer that turns arriving bytes into header lines and then
// into body chunks, and the reading of a single header line.

#include <QByteArray>
#include <functional>

// Turns the bytes of a response into header lines (CR LF or LF; the CR is
// dropped) until the line handler says the header is over; from then on every
// read is handed on whole as one body chunk. A header line has to fit in the
// buffer: one that does not is reported instead of waiting for an end that
// can never be stored.
class HttpResponseReader {
public:
    static constexpr int BufferSize = 8192;
    // The buffer is never filled completely.
    static constexpr int MaxFill = BufferSize - 1;

    enum class LineVerdict {
        Continue,  // go on with the next line
        Stop,      // the response is over: drop whatever is buffered
        Body,      // the header is over: what is buffered is the first body chunk
        Gone,      // the owner was deleted by a handler: touch nothing
    };

    std::function<LineVerdict(const QByteArray &line)> OnLine;
    std::function<void(const char *data, int length)> OnBody;

    // A new response: header mode, empty buffer.
    void Reset();

    // Where the next receive puts its bytes, and how many it may put there.
    char *FreeSpace() { return buffer_ + fill_; }
    int FreeCount() const { return MaxFill - fill_; }

    // Processes `count` bytes just placed at FreeSpace(). False when a header
    // line has filled the whole buffer without ending.
    bool Filled(int count);

    bool InBody() const { return body_; }
    int Fill() const { return fill_; }

private:
    char buffer_[BufferSize];
    int fill_ = 0;
    bool body_ = false;
};

// "HTTP/1.0 200 OK": the first eight characters decide whether a line is a
// status line at all; the code is the three characters after the blank.
enum class StatusLineKind { NotStatus, Status, Malformed };
StatusLineKind ParseStatusLine(const QByteArray &line, int *code, QByteArray *reason);

// "Name: value": the name in lower case, the value with the blanks after the
// colon skipped. False for a line without a colon.
bool ParseHeaderField(const QByteArray &line, QByteArray *name, QByteArray *value);
