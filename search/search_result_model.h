#pragma once
// The rows of the search window's result list, in page order.

#include "search_rows.h"

#include <QAbstractTableModel>
#include <QIcon>
#include <vector>

class SearchResultModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { SizeColumn, TimeColumn, LinkColumn, ColumnCount };
    // The row's icon number in the list's image list: 0 FTP, 1 other links.
    static constexpr int IconIndexRole = Qt::UserRole + 1;

    explicit SearchResultModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    bool removeRows(int row, int count, const QModelIndex &parent = QModelIndex()) override;

    void Clear();
    void Append(const std::vector<SearchHit> &hits);
    const SearchHit &Hit(int row) const { return hits_.at(size_t(row)); }

private:
    std::vector<SearchHit> hits_;
    QIcon icons_[2];
};
