// The local pane: the local file list FileList1, the path selector, the
// history of local directories and the local file commands. The process's
// current directory follows the pane's directory.

#include "mainwindow/tform1.h"

#include "widgets/file_list.h"

#include <QComboBox>

void TForm1::WireLocalPane()
{
}

void TForm1::SetLocalDirectory(const QString &directory)
{
    FileList1->SetDirectory(directory);
}

void TForm1::ComboBox1Change(int)
{
}

void TForm1::FileList1DblClick()
{
}

void TForm1::ToolbarButton971Click()
{
}

void TForm1::ToolbarButton974Click()
{
}

void TForm1::N18Click()
{
}

void TForm1::N15Click()
{
}

void TForm1::N14Click()
{
}

void TForm1::N20Click()
{
}

void TForm1::N86Click()
{
}

void TForm1::N55Click()
{
}

void TForm1::N5Click()
{
}

void TForm1::N6Click()
{
}

void TForm1::N7Click()
{
}

void TForm1::N8Click()
{
}

void TForm1::N10Click()
{
}

void TForm1::N11Click()
{
}

void TForm1::N12Click()
{
}

void TForm1::PopupMenu1Popup()
{
}

void TForm1::PopupMenu3Popup()
{
}

