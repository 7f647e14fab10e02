#include "line_framer.h"

bool LineFramer::NextLine(QByteArray &line)
{
    qsizetype start = qMax(consumed_, searchFrom_);
    qsizetype end = pending_.indexOf("\r\n", start);
    if (end < 0) {
        // Resume the search where it stopped, not from the start of the line:
        // a long line arriving in many small pieces stays linear.
        searchFrom_ = qMax(consumed_, pending_.size() - 1);
        if (consumed_ > 0) {
            pending_.remove(0, consumed_);
            searchFrom_ -= consumed_;
            consumed_ = 0;
        }
        return false;
    }
    line = pending_.mid(consumed_, end - consumed_);
    consumed_ = end + 2;
    searchFrom_ = consumed_;
    return true;
}

void LineFramer::Clear()
{
    pending_.clear();
    consumed_ = 0;
    searchFrom_ = 0;
}
