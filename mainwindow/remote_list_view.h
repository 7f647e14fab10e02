#pragma once
// The remote list `ftpview`: the classic view styles over the remote list
// model, with column clicks and in-place renaming reported to the window.

#include "widgets/file_list.h"

class RemoteListModel;

class TRemoteListView : public TFileListView {
    Q_OBJECT
public:
    explicit TRemoteListView(QWidget *parent = nullptr);

    RemoteListModel *Model() const { return model_; }

    // The report header's arrow on the column the list is sorted by.
    void ShowSortIndicator(int column, bool descending);

    // Starts editing the name of a row in place; an accepted text reaches OnEdited.
    void EditName(int row);

    std::function<void(QObject *sender, int column)> OnColumnClick;
    std::function<void(QObject *sender, int row, const QString &text)> OnEdited;

protected:
    void ColumnClick(int column) override;
    void ColumnsChanged() override;

private:
    RemoteListModel *model_;
};
