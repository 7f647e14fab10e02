#include "mainwindow/remote_list_model.h"

#include "core/display_text.h"
#include "engine/ftp.h"
#include "engine/ftp_fileinfo.h"
#include "platform/codepage.h"

#include <QHash>

#include <algorithm>
#include <limits>
#include <numeric>

namespace {

char AsciiUpper(unsigned char c) { return char((c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c); }

// Names compare as ConvertNameCase(name, true) would make them: ASCII letters
// upper-cased, except the trail byte of a GBK pair when the text is no valid
// UTF-8. Only a text with a byte above 0x7f can be that, and few are.
bool IsDoubleByteText(const char *text, qsizetype size)
{
    for (qsizetype i = 0; i < size; ++i) {
        if (static_cast<unsigned char>(text[i]) >= 0x80)
            return !platform::IsValidUtf8(QByteArrayView(text, size));
    }
    return false;
}

// The upper-cased text's byte order, without making the upper-cased text.
int CompareUpperCase(const char *a, qsizetype sizeA, bool doubleByteA, const char *b, qsizetype sizeB,
                     bool doubleByteB)
{
    bool trailA = false, trailB = false;
    const qsizetype common = std::min(sizeA, sizeB);
    for (qsizetype i = 0; i < common; ++i) {
        const auto ca = static_cast<unsigned char>(a[i]);
        const auto cb = static_cast<unsigned char>(b[i]);
        const auto ua = static_cast<unsigned char>(trailA ? ca : AsciiUpper(ca));
        const auto ub = static_cast<unsigned char>(trailB ? cb : AsciiUpper(cb));
        if (ua != ub)
            return ua < ub ? -1 : 1;
        trailA = !trailA && doubleByteA && platform::IsDbcsLeadByte(ca);
        trailB = !trailB && doubleByteB && platform::IsDbcsLeadByte(cb);
    }
    return sizeA == sizeB ? 0 : (sizeA < sizeB ? -1 : 1);
}

int CompareUpperCase(const QByteArray &a, const QByteArray &b)
{
    return CompareUpperCase(a.constData(), a.size(), IsDoubleByteText(a.constData(), a.size()), b.constData(),
                            b.size(), IsDoubleByteText(b.constData(), b.size()));
}

// The first eight upper-cased bytes, big-endian and zero-padded: when two
// prefixes differ they already order the names as the full comparison would.
quint64 UpperPrefix(const char *text, qsizetype size, bool doubleByte)
{
    quint64 prefix = 0;
    bool trail = false;
    for (qsizetype i = 0; i < 8; ++i) {
        unsigned char mapped = 0;
        if (i < size) {
            const auto c = static_cast<unsigned char>(text[i]);
            mapped = static_cast<unsigned char>(trail ? c : AsciiUpper(c));
            trail = !trail && doubleByte && platform::IsDbcsLeadByte(c);
        }
        prefix = (prefix << 8) | mapped;
    }
    return prefix;
}

// Digits without a leading zero (or "0" itself), short enough for qint64:
// QByteArray::number gives such a text back unchanged, so the number is kept
// in its place.
bool PlainNumber(const QByteArray &text, qint64 *value)
{
    if (text.isEmpty() || text.size() > 18 || (text.size() > 1 && text.at(0) == '0'))
        return false;
    qint64 number = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
        number = number * 10 + (c - '0');
    }
    *value = number;
    return true;
}

// What the sort reads of one row, packed so that millions of them sort
// without visiting the rows for most comparisons; made for one sort only.
struct SortKey {
    quint64 namePrefix = 0;
    qint64 primary = 0;  // the size, or the rank of the attribute or date text; 0 by name
    const char *name = nullptr;
    quint32 nameSize = 0;
    quint32 row : 31;
    quint32 doubleByte : 1;
};

int CompareNames(const SortKey &a, const SortKey &b)
{
    if (a.namePrefix != b.namePrefix)
        return a.namePrefix < b.namePrefix ? -1 : 1;
    return CompareUpperCase(a.name, a.nameSize, a.doubleByte, b.name, b.nameSize, b.doubleByte);
}

// Each distinct text's place in the upper-cased order; texts that compare
// equal share a rank, so that the names decide between them.
std::vector<qint64> TextRanks(const QList<QByteArray> &texts)
{
    const size_t n = size_t(texts.size());
    std::vector<char> doubleByte(n);
    for (size_t i = 0; i < n; ++i)
        doubleByte[i] = IsDoubleByteText(texts.at(qsizetype(i)).constData(), texts.at(qsizetype(i)).size());
    const auto compare = [&](quint32 x, quint32 y) {
        const QByteArray &a = texts.at(x), &b = texts.at(y);
        return CompareUpperCase(a.constData(), a.size(), doubleByte[x], b.constData(), b.size(), doubleByte[y]);
    };
    std::vector<quint32> order(n);
    std::iota(order.begin(), order.end(), 0u);
    std::sort(order.begin(), order.end(), [&](quint32 x, quint32 y) { return compare(x, y) < 0; });
    std::vector<qint64> ranks(n);
    qint64 rank = 0;
    for (size_t i = 0; i < n; ++i) {
        if (i > 0 && compare(order[i - 1], order[i]) != 0)
            ++rank;
        ranks[order[i]] = rank;
    }
    return ranks;
}

} // namespace

RemoteListModel::RemoteListModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

QString RemoteListModel::DisplayText(const QByteArray &bytes)
{
    return SafeDisplayText(bytes);
}

qint64 RemoteListModel::SizeValue(const QByteArray &text)
{
    if (text.isEmpty())
        return 0;
    qint64 value = 0;
    constexpr qint64 max = std::numeric_limits<qint64>::max();
    for (const char c : text) {
        if (c < '0' || c > '9')
            return 0;
        const int digit = c - '0';
        if (value > (max - digit) / 10)
            value = max;  // larger than any file: keep it above every real size
        else
            value = value * 10 + digit;
    }
    return value;
}

void RemoteListModel::Fill(const QByteArrayList &dirNames, const TMFtpFileInfoList &dirInfos,
                           const QByteArrayList &fileNames, const TMFtpFileInfoList &fileInfos)
{
    beginResetModel();
    // Released, not kept: a list of millions must not pin its memory after
    // the next, smaller one.
    std::vector<Row>().swap(m_rows);
    m_texts = QList<QByteArray>();
    m_rows.reserve(size_t(dirNames.size() + fileNames.size()));
    // Attribute words and dates repeat: each distinct text is kept once.
    QHash<QByteArray, quint32> textIndex;
    const auto intern = [&](const QByteArray &text) {
        const auto found = textIndex.constFind(text);
        if (found != textIndex.cend())
            return *found;
        const auto index = quint32(m_texts.size());
        m_texts.append(text);
        textIndex.insert(text, index);
        return index;
    };
    QByteArray permissions, date, size, field3;
    for (qsizetype i = 0; i < dirNames.size(); ++i) {
        const QByteArray &name = dirNames.at(i);
        field3.clear();
        dirInfos.GetInfo(int(i), 3, field3);
        if (name == "." || name == ".." || field3 == "." || field3 == "..")
            continue;
        permissions.clear();
        date.clear();
        dirInfos.GetInfo(int(i), 0, permissions);
        dirInfos.GetInfo(int(i), 1, date);
        m_rows.push_back(Row{name, ~qint64(intern(QByteArray())), intern(permissions), intern(date)});
    }
    m_directoryCount = int(m_rows.size());
    for (qsizetype i = 0; i < fileNames.size(); ++i) {
        permissions.clear();
        date.clear();
        size.clear();
        fileInfos.GetInfo(int(i), 0, permissions);
        fileInfos.GetInfo(int(i), 1, date);
        fileInfos.GetInfo(int(i), 2, size);
        Row row{fileNames.at(i), 0, intern(permissions), intern(date)};
        if (!PlainNumber(size, &row.size))
            row.size = ~qint64(intern(size));
        m_rows.push_back(std::move(row));
    }
    endResetModel();
}

void RemoteListModel::Fill(const TMFtp &ftp)
{
    Fill(ftp.DirectoryNames, ftp.DirectoryInfos, ftp.FileNames, ftp.FileInfos);
}

void RemoteListModel::Clear()
{
    beginResetModel();
    std::vector<Row>().swap(m_rows);
    m_texts = QList<QByteArray>();
    m_directoryCount = 0;
    endResetModel();
}

QByteArray RemoteListModel::sizeText(const Row &row) const
{
    return row.size >= 0 ? QByteArray::number(row.size) : m_texts.at(qsizetype(~row.size));
}

qint64 RemoteListModel::sizeValue(const Row &row) const
{
    return row.size >= 0 ? row.size : SizeValue(m_texts.at(qsizetype(~row.size)));
}

RemoteEntry RemoteListModel::entry(int row) const
{
    const Row &r = m_rows[size_t(row)];
    RemoteEntry e;
    e.name = r.name;
    e.isDirectory = isDirectory(row);
    e.permissions = m_texts.at(r.permissions);
    e.size = sizeText(r);
    e.date = m_texts.at(r.date);
    e.displayName = DisplayText(r.name);
    e.sizeValue = sizeValue(r);
    return e;
}

int RemoteListModel::CompareColumn(const RemoteEntry &a, const RemoteEntry &b, int column)
{
    const auto byName = [&] { return CompareUpperCase(a.name, b.name); };
    switch (column) {
    case NameColumn:
        return byName();
    case SizeColumn:
        // Equal sizes are equal here; the stable sort keeps their order.
        return a.sizeValue < b.sizeValue ? -1 : (a.sizeValue > b.sizeValue ? 1 : 0);
    case PermissionsColumn:
    case DateColumn: {
        const int c = column == PermissionsColumn ? CompareUpperCase(a.permissions, b.permissions)
                                                  : CompareUpperCase(a.date, b.date);
        return c != 0 ? c : byName();
    }
    default:
        return byName();  // a column without texts: both empty, so the names decide
    }
}

bool RemoteListModel::Before(const RemoteEntry &a, const RemoteEntry &b, int column, bool descending)
{
    if (a.isDirectory != b.isDirectory)
        return a.isDirectory;
    const int c = CompareColumn(a, b, column);
    return descending ? c > 0 : c < 0;
}

// Rows [first, last) in the order of Before(), their old row numbers written
// to order[first..last). textKeys holds each distinct text's rank, or its
// number for the size column.
void RemoteListModel::sortRange(size_t first, size_t last, int column, bool descending,
                                const std::vector<qint64> &textKeys, std::vector<quint32> &order) const
{
    const bool bySize = column == SizeColumn;
    std::vector<SortKey> keys(last - first);
    for (size_t i = first; i < last; ++i) {
        const Row &r = m_rows[i];
        SortKey &k = keys[i - first];
        k.row = quint32(i);
        k.doubleByte = 0;
        if (bySize) {
            k.primary = r.size >= 0 ? r.size : textKeys[size_t(~r.size)];
            continue;  // equal sizes stay in their order; the names are not asked
        }
        if (column == PermissionsColumn || column == DateColumn)
            k.primary = textKeys[column == PermissionsColumn ? r.permissions : r.date];
        k.name = r.name.constData();
        k.nameSize = quint32(std::min<qsizetype>(r.name.size(), std::numeric_limits<quint32>::max()));
        k.doubleByte = IsDoubleByteText(k.name, k.nameSize);
        k.namePrefix = UpperPrefix(k.name, k.nameSize, k.doubleByte);
    }
    // The row number settles what the rule calls equal: the order stays as
    // a stable sort would leave it, without a stable sort's second buffer.
    std::sort(keys.begin(), keys.end(), [bySize, descending](const SortKey &a, const SortKey &b) {
        int c = a.primary == b.primary ? 0 : (a.primary < b.primary ? -1 : 1);
        if (c == 0 && !bySize)
            c = CompareNames(a, b);
        if (c != 0)
            return descending ? c > 0 : c < 0;
        return a.row < b.row;
    });
    for (size_t i = first; i < last; ++i)
        order[i] = keys[i - first].row;
}

void RemoteListModel::Sort(int column, bool descending)
{
    if (m_rows.size() < 2)
        return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);

    std::vector<qint64> textKeys;
    if (column == SizeColumn) {
        textKeys.resize(size_t(m_texts.size()));
        for (size_t i = 0; i < textKeys.size(); ++i)
            textKeys[i] = SizeValue(m_texts.at(qsizetype(i)));
    } else if (column == PermissionsColumn || column == DateColumn) {
        textKeys = TextRanks(m_texts);
    }
    // Directories stay above files: each group is sorted on its own.
    std::vector<quint32> order(m_rows.size());
    sortRange(0, size_t(m_directoryCount), column, descending, textKeys, order);
    sortRange(size_t(m_directoryCount), m_rows.size(), column, descending, textKeys, order);

    // Selections and the current item follow their rows.
    const QModelIndexList from = persistentIndexList();
    if (!from.isEmpty()) {
        std::vector<int> newRowOf(m_rows.size());
        for (size_t newRow = 0; newRow < order.size(); ++newRow)
            newRowOf[order[newRow]] = int(newRow);
        QModelIndexList to;
        to.reserve(from.size());
        for (const QModelIndex &index : from)
            to.append(createIndex(newRowOf[size_t(index.row())], index.column()));
        changePersistentIndexList(from, to);
    }

    // Rows move along the permutation's cycles in place: no second copy of a
    // list that can hold millions. A position whose order names itself is done.
    for (size_t start = 0; start < m_rows.size(); ++start) {
        if (order[start] == start)
            continue;
        Row carried = std::move(m_rows[start]);
        size_t hole = start;
        for (;;) {
            const size_t source = order[hole];
            order[hole] = quint32(hole);
            if (source == start) {
                m_rows[hole] = std::move(carried);
                break;
            }
            m_rows[hole] = std::move(m_rows[source]);
            hole = source;
        }
    }

    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void RemoteListModel::sort(int column, Qt::SortOrder order)
{
    Sort(column, order == Qt::DescendingOrder);
}

void RemoteListModel::setIconProvider(IconProvider provider)
{
    m_iconProvider = std::move(provider);
    m_iconsCached = false;
    m_directoryIcon = QIcon();
    m_fileIcon = QIcon();
    if (!m_rows.empty())
        emit dataChanged(index(0, NameColumn), index(count() - 1, NameColumn), {Qt::DecorationRole});
}

QIcon RemoteListModel::icon(bool isDirectory) const
{
    if (!m_iconProvider)
        return QIcon();
    // Two icons serve every row: ask once, not once per painted cell.
    if (!m_iconsCached) {
        m_directoryIcon = m_iconProvider(true);
        m_fileIcon = m_iconProvider(false);
        m_iconsCached = true;
    }
    return isDirectory ? m_directoryIcon : m_fileIcon;
}

QByteArrayList RemoteListModel::names(const QList<int> &rows) const
{
    QByteArrayList result;
    for (int row : rows) {
        if (row >= 0 && row < count())
            result.append(m_rows[size_t(row)].name);
    }
    return result;
}

RemoteItem RemoteListModel::item(int row) const
{
    const Row &r = m_rows[size_t(row)];
    return RemoteItem{r.name, isDirectory(row), m_texts.at(r.permissions), sizeText(r) + ' ' + m_texts.at(r.date)};
}

QList<RemoteItem> RemoteListModel::items(const QList<int> &rows) const
{
    QList<RemoteItem> result;
    for (int row : rows) {
        if (row >= 0 && row < count())
            result.append(item(row));
    }
    return result;
}

QList<RemoteItem> RemoteListModel::allItems() const
{
    QList<RemoteItem> result;
    result.reserve(qsizetype(m_rows.size()));
    for (int row = 0; row < count(); ++row)
        result.append(item(row));
    return result;
}

int RemoteListModel::rowOfName(const QByteArray &name) const
{
    for (size_t row = 0; row < m_rows.size(); ++row) {
        if (m_rows[row].name == name)
            return int(row);
    }
    return -1;
}

int RemoteListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : count();
}

int RemoteListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant RemoteListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= count())
        return {};
    const Row &r = m_rows[size_t(index.row())];
    // Only the rows being painted are asked: their texts are made here.
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        switch (index.column()) {
        case NameColumn: return DisplayText(r.name);
        case PermissionsColumn: return DisplayText(m_texts.at(r.permissions));
        case SizeColumn: return r.size >= 0 ? QString::number(r.size) : DisplayText(m_texts.at(qsizetype(~r.size)));
        case DateColumn: return DisplayText(m_texts.at(r.date));
        default: return {};
        }
    case Qt::ToolTipRole:
        return index.column() == NameColumn ? QVariant(DisplayText(r.name)) : QVariant();
    case Qt::DecorationRole:
        return index.column() == NameColumn ? QVariant(icon(isDirectory(index.row()))) : QVariant();
    case Qt::TextAlignmentRole:
        if (index.column() == SizeColumn)
            return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    case NameBytesRole:
        return r.name;
    case IsDirectoryRole:
        return isDirectory(index.row());
    default:
        return {};
    }
}

QVariant RemoteListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::TextAlignmentRole && section == SizeColumn)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
    if (role != Qt::DisplayRole)
        return {};
    switch (section) {
    case NameColumn: return tr("文件名");
    case PermissionsColumn: return tr("读取权限");
    case SizeColumn: return tr("文件大小");
    case DateColumn: return tr("创建时间");
    default: return {};
    }
}

Qt::ItemFlags RemoteListModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags result = QAbstractTableModel::flags(index);
    if (index.isValid() && index.column() == NameColumn && index.row() == m_editableRow)
        result |= Qt::ItemIsEditable;
    return result;
}

bool RemoteListModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole || !index.isValid() || index.row() != m_editableRow)
        return false;
    m_editableRow = -1;
    if (OnEdited)
        OnEdited(index.row(), value.toString());
    return false;
}
