#pragma once
// When a download by the window counts as finished: the window says nothing
// moves any more on any connection, and every expected file is on the disk at
// its full size (a check of the harness, not of the window).

#include "bench_file_set.h"
#include "bench_window.h"

#include <QFileInfo>

namespace bench {

// Looks whether a set's files have landed below a folder. Files that were
// complete stay counted, and each look starts at the first one still missing,
// so looking every few milliseconds does not take the transfers' processor time.
class LandedFiles {
public:
    LandedFiles(const QString &target, const FileSet &set) : target_(target), set_(set) {}

    bool AllLanded()
    {
        while (next_ < set_.files.size()) {
            const SetFile &entry = set_.files.at(next_);
            const QFileInfo info(target_ + u'/' + entry.path);
            if (!info.isFile() || info.size() != entry.size)
                return false;
            ++next_;
        }
        return true;
    }
    qsizetype landed() const { return next_; }

private:
    QString target_;
    FileSet set_;
    qsizetype next_ = 0;
};

inline bool TransfersFinished(const TForm1 &form, LandedFiles &landed)
{
    return WindowIdle(form) && form.TransfersIdle() && landed.AllLanded();
}

}  // namespace bench
