#include "line_framer.h"

bool LineFramer::NextLine(QByteArray &line)
{
    qsizetype start = qMax(consumed_, searchFrom_);
    qsizetype end = pending_.indexOf('\n', start);
    if (end < 0) {
        // Resume the search where it stopped, not from the start of the line:
        // a long line arriving in many small pieces stays linear.
        searchFrom_ = pending_.size();
        if (consumed_ > 0) {
            pending_.remove(0, consumed_);
            searchFrom_ -= consumed_;
            consumed_ = 0;
        }
        return false;
    }
    const qsizetype lineEnd = end > consumed_ && pending_.at(end - 1) == '\r' ? end - 1 : end;
    line = pending_.mid(consumed_, lineEnd - consumed_);
    consumed_ = end + 1;
    searchFrom_ = consumed_;
    return true;
}

void LineFramer::Clear()
{
    pending_.clear();
    consumed_ = 0;
    searchFrom_ = 0;
}
