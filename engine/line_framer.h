#pragma once
// Turns received bytes into complete lines. CR LF ends a line, and so does a
// bare LF (some servers end listing lines and even replies that way); a lone
// CR is data. Meaning is the dispatcher's business; this piece only frames, and
// refuses to hold more than a maximum of text without a line end (a hostile
// peer could otherwise grow it forever).

#include <QByteArray>
#include <QByteArrayView>

class LineFramer {
public:
    explicit LineFramer(qsizetype maxPending) : maxPending_(maxPending) {}

    void Append(QByteArrayView bytes) { pending_.append(bytes); }
    // Takes the next complete line (its LF, and a CR right before it, removed);
    // false when none is complete.
    bool NextLine(QByteArray &line);
    // The text after the last line end is longer than the maximum.
    bool Overflowed() const { return pending_.size() - consumed_ > maxPending_; }
    void Clear();
    QByteArray Pending() const { return pending_.mid(consumed_); }

private:
    QByteArray pending_;
    qsizetype consumed_ = 0;
    qsizetype searchFrom_ = 0;
    qsizetype maxPending_;
};
