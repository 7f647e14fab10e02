#include "reply_lines.h"

void ReplyLines::Append(const QByteArray &bytes)
{
    // A zero byte has no place in a reply; dropping it keeps the lines after it.
    if (bytes.contains('\0')) {
        QByteArray clean = bytes;
        clean.replace('\0', QByteArray());
        pending_.append(clean);
    } else {
        pending_.append(bytes);
    }
}

ReplyLines::Result ReplyLines::Take(QByteArray &line)
{
    const qsizetype end = pending_.indexOf("\r\n");
    if (end < 0 || end > MaxLine) {
        if (pending_.size() > MaxLine || end > MaxLine) {
            line = pending_.left(512);
            pending_.clear();
            return Overlong;
        }
        return NoLine;
    }
    line = pending_.left(end);
    pending_.remove(0, end + 2);
    return Line;
}
