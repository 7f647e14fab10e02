#pragma once
// A name or path from a server or the disk, made safe to show in one row:
// control characters shown as their pictures, line and paragraph separators
// and direction overrides as U+FFFD, and at most kMaxDisplayLength
// characters. The bytes themselves are kept elsewhere, whole.

#include <QByteArray>
#include <QString>

// Longest text shown for one field: a name of megabytes would make every
// layout pass over the row crawl.
inline constexpr qsizetype kMaxDisplayLength = 1024;

QString SafeDisplayText(const QByteArray &bytes);
