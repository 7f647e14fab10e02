#include "mainwindow/remote_list_view.h"
#include "widgets/name_column.h"

#include "mainwindow/remote_list_model.h"

#include <QAbstractItemView>
#include <algorithm>
#include <QHeaderView>
#include <QTreeView>

TRemoteListView::TRemoteListView(QWidget *parent)
    : TFileListView(parent), model_(new RemoteListModel(this))
{
    SetModel(model_);
    model_->OnEdited = [this](int row, const QString &text) {
        if (OnEdited)
            OnEdited(this, row, text);
    };
    SetViewStyle(vsReport);
    ColumnsChanged();
}

void TRemoteListView::EditName(int row)
{
    if (row < 0 || row >= model_->rowCount())
        return;
    model_->SetEditableRow(row);
    QAbstractItemView *view = ActiveView();
    const QModelIndex index = model_->index(row, RemoteListModel::NameColumn);
    view->setCurrentIndex(index);
    view->edit(index);
}

void TRemoteListView::ShowSortIndicator(int column, bool descending)
{
    ReportView()->header()->setSortIndicator(column, descending ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void TRemoteListView::ColumnClick(int column)
{
    if (OnColumnClick)
        OnColumnClick(this, column);
}

void TRemoteListView::ColumnsChanged()
{
    // Wide enough for a listed time with its year ("2026-12-08 10:15").
    const int dateWidth = ReportView()->fontMetrics().horizontalAdvance(QStringLiteral("2026-12-08 10:15")) + 16;
    for (int column = 0; column < RemoteListModel::ColumnCount; ++column)
        ReportView()->header()->resizeSection(column, column == RemoteListModel::DateColumn ? std::max(100, dateWidth) : 100);
    // Names are what the user reads: their column takes the room the others leave.
    FillWithNameColumn(ReportView());
}
