#pragma once
// The name column of a report view fills the width the other columns leave,
// but never gets narrower than a name needs: a narrow pane scrolls sideways
// rather than hiding the names. The user may still resize every column.

class QTreeView;

void FillWithNameColumn(QTreeView *view, int minimumWidth = 160);
