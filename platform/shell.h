#pragma once
// The desktop shell's services: open a document, address or program with whatever the
// desktop associates with it, delete to the recycle bin, icons and type names for the
// panes, and the attribute letters of a local entry.

#include <QIcon>
#include <QString>
#include <QStringList>
#include <QUrl>

class QFileInfo;

namespace platform {

// The address ShellOpen hands to the desktop: an existing local path, or text without a
// scheme, as a file URL of its absolute path; "scheme:..." text (http://, ftp://, mailto:)
// as it is.
QUrl ShellOpenTarget(const QString &pathOrUrl);
bool ShellOpen(const QString &pathOrUrl);

// Starts a program detached from us (it outlives the program); false when it cannot start.
bool StartProgram(const QString &program, const QStringList &arguments = {});

// The desktop's trash; false (and nothing deleted) when the entry cannot go there.
bool MoveToTrash(const QString &path);

// Folder and file icons of the desktop's icon theme.
QIcon SystemIcon(const QFileInfo &info);

// The desktop's name of the entry's type ("文件夹", "纯文本文档", ...), in the current locale.
QString FileTypeName(const QFileInfo &info);

// Letters in the classic order: "D" directory, "R" read-only, "H" hidden (name begins
// with "."). "A", "S" and "T" have no meaning here and are never set.
// A file is read-only when we cannot write it or it has no write permission bit at all
// (so chmod a-w reads as read-only even for root). A directory is read-only only when it
// has no write bit at all: the local pane treats anything but "D" as "not a plain folder",
// and /usr or /etc must stay enterable for a user who cannot write them.
QString AttributeLetters(const QFileInfo &info);

} // namespace platform
