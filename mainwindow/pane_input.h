#pragma once
// What the two panes share of the user's input: the keys pressed on a list,
// the path boxes (Enter goes, leaving restores), and the question a delete
// asks first.

#include <QString>
#include <QStringList>
#include <Qt>
#include <functional>

class QComboBox;
class QWidget;
class TFileListView;

// Keys pressed on the list's views while a view itself has the focus (an
// in-place editor keeps its own keys); a handler that returns true consumes the key.
void WatchListKeys(TFileListView *list, std::function<bool(int key, Qt::KeyboardModifiers modifiers)> handler);

// An editable path box: Enter hands the typed text to `go` (which shows the
// pane's folder again when it cannot go there); Escape and leaving the box
// show `folder()` again, as does any text the user left unconfirmed. The box's
// own drop-down and context menu do not count as leaving it.
void WatchPathBox(QComboBox *box, std::function<void(const QString &typed)> go, std::function<QString()> folder);

// Shows `folder` in the box: its text, and the last history item naming it as
// the current one, so that finishing an edit selects nothing else.
void ShowPathBoxFolder(QComboBox *box, const QString &folder);

// The question before a delete, naming the one entry or counting several:
// true when the user answers Yes, or without asking when ftp.ini's
// confirmdelete is 0. No is the default button.
bool AskBeforeDelete(QWidget *parent, const QStringList &names);
