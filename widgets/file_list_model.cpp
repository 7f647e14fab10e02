#include "widgets/file_list_model.h"

#include "platform/shell.h"

#include <QDateTime>
#include <QFileInfo>
#include <QLocale>
#include <QMimeDatabase>
#include <QRegularExpression>
#include <algorithm>
#include <numeric>

#include <sys/stat.h>

namespace {

constexpr TFileInfo FurtherInfos[] = {fiType, fiModified, fiCreated, fiLastAccess,
                                      fiAttributes, fiDosName, fiDosExt, fiPath};

int Compare(qint64 a, qint64 b) { return a < b ? -1 : (a > b ? 1 : 0); }

int Compare(const QString &a, const QString &b)
{
    // Character codes, as the classic string comparison: no locale collation.
    const int result = QString::compare(a, b, Qt::CaseSensitive);
    return result < 0 ? -1 : (result > 0 ? 1 : 0);
}

bool IsTimeInfo(TFileInfo info)
{
    return info == fiModified || info == fiCreated || info == fiLastAccess;
}

} // namespace

TFileListModel::TFileListModel(QObject *parent)
    : QAbstractTableModel(parent)
{
    const QLocale locale;  // the program's default: its interface's language
    FTimeFormat = locale.dateFormat(QLocale::ShortFormat) + QStringLiteral("  ")
        + WithoutSeconds(locale.timeFormat(QLocale::ShortFormat));
    BuildColumns({fiName, fiSize, fiType, fiModified});
}

int TFileListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(FItems.size());
}

int TFileListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(FColumnInfo.size());
}

QVariant TFileListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount())
        return {};
    const TFileListItem &item = Item(index.row());
    const TFileInfo info = InfoOfColumn(index.column());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        if (info == fiName || info == fiDosName || info == fiDosExt || info == fiPath)
            return DisplayName(Text(item, info));
        return Text(item, info);
    case Qt::EditRole:
        return Text(item, info);
    case Qt::DecorationRole:
        if (index.column() == 0)
            return Icon(item);
        return {};
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(Qt::Alignment((info == fiSize ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter));
    case ImageIndexRole:
        return item.ImageIndex();
    default:
        return {};
    }
}

QVariant TFileListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount())
        return {};
    const TFileInfo info = InfoOfColumn(section);
    if (role == Qt::DisplayRole)
        return Caption(info);
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment((info == fiSize ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter));
    return {};
}

void TFileListModel::BuildColumns(TFileInfos viewColumns)
{
    beginResetModel();
    FViewColumns = viewColumns;
    FColumnInfo = {fiName, fiSize};
    for (TFileInfo info : FurtherInfos) {
        if (Shows(info))
            FColumnInfo.push_back(info);
    }
    endResetModel();
}

bool TFileListModel::Shows(TFileInfo info) const
{
    return FViewColumns.contains(info) || FViewColumns.contains(fiAll);
}

int TFileListModel::ColumnOf(TFileInfo info) const
{
    const auto found = std::find(FColumnInfo.begin(), FColumnInfo.end(), info);
    return found == FColumnInfo.end() ? -1 : static_cast<int>(found - FColumnInfo.begin());
}

TFileInfo TFileListModel::InfoOfColumn(int column) const
{
    return column >= 0 && column < columnCount() ? FColumnInfo[static_cast<size_t>(column)] : fiAll;
}

QString TFileListModel::Caption(TFileInfo info)
{
    switch (info) {
    case fiName: return tr("名称");
    case fiSize: return tr("大小");
    case fiType: return tr("类型");
    case fiModified: return tr("修改");
    case fiCreated: return tr("建立");
    case fiLastAccess: return tr("最近访问");
    case fiAttributes: return tr("属性");
    case fiDosName: return QStringLiteral("DOS");
    case fiDosExt: return QStringLiteral("Dosext");
    case fiPath: return tr("路径");
    case fiAll: break;
    }
    return {};
}

int TFileListModel::Width(TFileInfo info)
{
    switch (info) {
    case fiName: return 150;
    case fiSize: return 60;
    case fiType: return 130;
    case fiModified: case fiCreated: return 100;
    case fiLastAccess: return 85;
    case fiAttributes: return 60;
    case fiDosName: return 130;
    case fiDosExt: return 60;
    case fiPath: return 200;
    case fiAll: break;
    }
    return 0;
}

void TFileListModel::Clear()
{
    if (FItems.empty())
        return;
    // Rows rather than a reset, so that the header keeps the widths the user gave it.
    beginRemoveRows({}, 0, rowCount() - 1);
    FItems.clear();
    endRemoveRows();
}

void TFileListModel::SetItems(std::vector<TFileListItem> items)
{
    Clear();
    if (items.empty())
        return;
    beginInsertRows({}, 0, static_cast<int>(items.size()) - 1);
    FItems = std::move(items);
    endInsertRows();
}

QStringList TFileListModel::SubItems(int row) const
{
    const TFileListItem &item = Item(row);
    QStringList texts{Text(item, fiSize)};
    for (TFileInfo info : FurtherInfos) {
        if (Shows(info))
            texts << Text(item, info);
    }
    return texts;
}

QString TFileListModel::SubItem(int row, int position) const
{
    // Sub-item p is what list column p + 1 shows.
    const TFileInfo info = InfoOfColumn(position + 1);
    if (row < 0 || row >= rowCount() || position < 0 || info == fiAll)
        return {};
    return Text(Item(row), info);
}

QString TFileListModel::Text(const TFileListItem &item, TFileInfo info) const
{
    switch (info) {
    case fiName: case fiDosName: return item.Name;
    case fiSize: return item.IsDir ? QString() : QString::asprintf("%10lld", static_cast<long long>(item.Size));
    case fiType: return TypeName(item);
    case fiModified: return FormatTime(item.Modified);
    case fiCreated: return FormatTime(item.Created);
    case fiLastAccess: return FormatTime(item.LastAccess);
    case fiAttributes: return Attributes(item);
    case fiDosExt: return item.FullPath();
    case fiPath: return item.Directory;
    case fiAll: break;
    }
    return {};
}

QString TFileListModel::TypeKey(const TFileListItem &item) const
{
    // "/" cannot be part of a name: it keys folders. Files go by their lower-cased
    // complete suffix; names without one by the name, since globs such as "Makefile"
    // name whole files.
    if (item.IsDir)
        return QStringLiteral("/");
    const qsizetype dot = item.Name.indexOf(u'.', 1);
    if (dot < 0)
        return QStringLiteral("/") + item.Name.toLower();
    return item.Name.mid(dot + 1).toLower();
}

QString TFileListModel::TypeName(const TFileListItem &item) const
{
    const QString key = TypeKey(item);
    auto cached = FTypeNames.constFind(key);
    if (cached != FTypeNames.constEnd())
        return *cached;
    QString name;
    if (item.IsDir) {
        name = platform::FileTypeName(QFileInfo(item.FullPath()));
    } else {
        // By the name only: reading 100 000 files' contents to guess a type is too slow.
        static const QMimeDatabase database;
        name = database.mimeTypeForFile(item.Name, QMimeDatabase::MatchExtension).comment();
    }
    FTypeNames.insert(key, name);
    return name;
}

QString TFileListModel::Attributes(const TFileListItem &item) const
{
    if (!item.AttributesKnown) {
        const QFileInfo info(item.FullPath());
        item.Attributes = info.exists() ? platform::AttributeLetters(info) : LettersOfMode(item.Mode, item.Name, false);
        item.AttributesKnown = true;
    }
    return item.Attributes;
}

QString TFileListModel::LettersOfMode(unsigned mode, const QString &name, bool writable)
{
    // The platform's rule: a folder is read-only only without any write bit.
    const bool folder = S_ISDIR(mode);
    QString letters;
    if (folder)
        letters += u'D';
    if (!(mode & (S_IWUSR | S_IWGRP | S_IWOTH)) || (!folder && !writable))
        letters += u'R';
    if (name.startsWith(u'.'))
        letters += u'H';
    return letters;
}

QIcon TFileListModel::Icon(const TFileListItem &item) const
{
    const QString key = TypeKey(item);
    auto cached = FIcons.constFind(key);
    if (cached != FIcons.constEnd())
        return *cached;
    const QIcon icon = platform::SystemIcon(QFileInfo(item.FullPath()));
    FIcons.insert(key, icon);
    return icon;
}

void TFileListModel::Sort(int column, bool descending)
{
    const TFileInfo info = InfoOfColumn(column);
    if (info == fiAll || FItems.empty())
        return;
    const bool invert = descending != IsTimeInfo(info);

    // Text informations get their upper-cased key made once per row, not per comparison.
    std::vector<QString> keys;
    if (info == fiType || info == fiAttributes || info == fiDosExt || info == fiPath) {
        keys.reserve(FItems.size());
        for (const TFileListItem &item : FItems)
            keys.push_back(info == fiType ? TypeName(item).toUpper() : Text(item, info).toUpper());
    }
    auto byInfo = [&](int left, int right) -> int {
        const TFileListItem &a = FItems[static_cast<size_t>(left)];
        const TFileListItem &b = FItems[static_cast<size_t>(right)];
        switch (info) {
        case fiSize: return Compare(a.Size, b.Size);
        case fiModified: return Compare(a.Modified, b.Modified);
        case fiCreated: return Compare(a.Created, b.Created);
        case fiLastAccess: return Compare(a.LastAccess, b.LastAccess);
        default: break;
        }
        return keys.empty() ? 0 : Compare(keys[static_cast<size_t>(left)], keys[static_cast<size_t>(right)]);
    };

    std::vector<int> order(FItems.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int left, int right) {
        const TFileListItem &a = FItems[static_cast<size_t>(left)];
        const TFileListItem &b = FItems[static_cast<size_t>(right)];
        if (a.IsDir != b.IsDir)
            return a.IsDir;   // folders first, whatever the direction
        int result = byInfo(left, right);
        if (result == 0)
            result = Compare(a.SortName, b.SortName);
        return (invert ? -result : result) < 0;
    });

    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> newRow(FItems.size());
    std::vector<TFileListItem> sorted;
    sorted.reserve(FItems.size());
    for (size_t i = 0; i < order.size(); ++i) {
        newRow[static_cast<size_t>(order[i])] = static_cast<int>(i);
        sorted.push_back(std::move(FItems[static_cast<size_t>(order[i])]));
    }
    FItems = std::move(sorted);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex &index : before)
        after << this->index(newRow[static_cast<size_t>(index.row())], index.column());
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

QString TFileListModel::FormatTime(qint64 msecs) const
{
    if (msecs == TFileListItem::NoTime)
        return {};
    return QLocale().toString(QDateTime::fromMSecsSinceEpoch(msecs).toLocalTime(), FTimeFormat);
}

QString TFileListModel::WithoutSeconds(QString timeFormat)
{
    // "HH:mm:ss", "h.mm.ss AP", "H:mm:ss.zzz": the seconds, their separator before
    // them and any fraction after them go.
    static const QRegularExpression seconds(QStringLiteral("[:.,]?s{1,2}([.,]z{1,3})?"));
    return timeFormat.remove(seconds).trimmed();
}

QString TFileListModel::DisplayName(const QString &name)
{
    QString shown = name;
    for (QChar &c : shown) {
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            c = QChar::ReplacementCharacter;
    }
    return shown;
}
