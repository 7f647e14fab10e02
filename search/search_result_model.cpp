#include "search_result_model.h"

#include <QApplication>
#include <QStyle>

SearchResultModel::SearchResultModel(QObject *parent) : QAbstractTableModel(parent)
{
    if (auto *app = qobject_cast<QApplication *>(QCoreApplication::instance())) {
        icons_[0] = app->style()->standardIcon(QStyle::SP_DriveNetIcon);
        icons_[1] = app->style()->standardIcon(QStyle::SP_FileLinkIcon);
    }
}

int SearchResultModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(hits_.size());
}

int SearchResultModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant SearchResultModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= int(hits_.size()))
        return {};
    const SearchHit &hit = hits_[size_t(index.row())];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        switch (index.column()) {
        case SizeColumn: return hit.Size;
        case TimeColumn: return hit.Time;
        case LinkColumn: return hit.Link;
        }
        break;
    case Qt::DecorationRole:
        if (index.column() == SizeColumn)
            return icons_[hit.Ftp ? 0 : 1];
        break;
    case IconIndexRole:
        return hit.Ftp ? 0 : 1;
    case Qt::TextAlignmentRole:
        if (index.column() == TimeColumn)
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        break;
    }
    return {};
}

QVariant SearchResultModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::DisplayRole) {
        switch (section) {
        case SizeColumn: return tr("文件大小");
        case TimeColumn: return tr("文件时间");
        case LinkColumn: return tr("文件连接");
        }
    }
    if (role == Qt::TextAlignmentRole && section == TimeColumn)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

bool SearchResultModel::removeRows(int row, int count, const QModelIndex &parent)
{
    if (parent.isValid() || row < 0 || count <= 0 || row + count > int(hits_.size()))
        return false;
    beginRemoveRows(QModelIndex(), row, row + count - 1);
    hits_.erase(hits_.begin() + row, hits_.begin() + row + count);
    endRemoveRows();
    return true;
}

void SearchResultModel::Clear()
{
    beginResetModel();
    hits_.clear();
    endResetModel();
}

void SearchResultModel::Append(const std::vector<SearchHit> &hits)
{
    if (hits.empty())
        return;
    int first = int(hits_.size());
    beginInsertRows(QModelIndex(), first, first + int(hits.size()) - 1);
    hits_.insert(hits_.end(), hits.begin(), hits.end());
    endInsertRows();
}
