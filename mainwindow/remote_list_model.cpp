#include "mainwindow/remote_list_model.h"

#include "engine/ftp.h"
#include "engine/ftp_fileinfo.h"
#include "platform/codepage.h"

#include <algorithm>
#include <limits>
#include <numeric>

namespace {

bool IsPrintableAscii(const QByteArray &bytes)
{
    for (const char c : bytes) {
        if (c < 0x20 || c > 0x7e)  // char may be signed: bytes above 0x7f are negative
            return false;
    }
    return true;
}

// Characters that would break a row or reorder what is shown around them.
bool IsRowBreaking(char16_t c)
{
    return c == 0x2028 || c == 0x2029                  // line and paragraph separators
        || (c >= 0x202a && c <= 0x202e)                // embeddings and overrides
        || (c >= 0x2066 && c <= 0x2069);               // isolates
}

QString Capped(QString text)
{
    if (text.size() <= RemoteListModel::MaxDisplayLength)
        return text;
    qsizetype cut = RemoteListModel::MaxDisplayLength - 1;
    if (text.at(cut - 1).isHighSurrogate())
        --cut;  // never split a surrogate pair
    text.truncate(cut);
    text.append(QChar(0x2026));
    return text;
}

int Sign(int value) { return (value > 0) - (value < 0); }

// The first eight bytes, big-endian and zero-padded: when two prefixes differ
// they already order the texts as a byte-wise comparison would.
quint64 Prefix(const QByteArray &text)
{
    quint64 prefix = 0;
    for (qsizetype i = 0; i < 8; ++i)
        prefix = (prefix << 8) | (i < text.size() ? quint64(static_cast<unsigned char>(text.at(i))) : 0u);
    return prefix;
}

int CompareText(quint64 prefixA, const QByteArray &a, quint64 prefixB, const QByteArray &b)
{
    if (prefixA != prefixB)
        return prefixA < prefixB ? -1 : 1;
    return Sign(a.compare(b));
}

// What the sort reads of one entry, packed so that 100 000 of them sort
// without visiting each entry's texts for most comparisons.
struct SortKey {
    quint64 primaryPrefix = 0;
    quint64 namePrefix = 0;
    qint64 size = 0;
    const QByteArray *primary = nullptr;  // the column's text, or null for name and size
    const QByteArray *name = nullptr;
    bool isDirectory = false;
};

} // namespace

RemoteListModel::RemoteListModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

QString RemoteListModel::DisplayText(const QByteArray &bytes)
{
    if (IsPrintableAscii(bytes))
        return Capped(QString::fromLatin1(bytes.left(MaxDisplayLength + 1)));
    QString text = platform::DecodeAnsi(bytes);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < 0x20)
            text[i] = QChar(char16_t(0x2400 + c));  // Control Pictures block
        else if (c == 0x7f)
            text[i] = QChar(char16_t(0x2421));
        else if ((c >= 0x80 && c <= 0x9f) || IsRowBreaking(c))
            text[i] = QChar(QChar::ReplacementCharacter);
    }
    return Capped(std::move(text));
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

RemoteEntry RemoteListModel::MakeEntry(const QByteArray &name, bool isDirectory, const QByteArray &permissions,
                                       const QByteArray &size, const QByteArray &date)
{
    RemoteEntry e;
    e.name = name;
    e.isDirectory = isDirectory;
    e.permissions = permissions;
    e.size = size;
    e.date = date;
    e.displayName = DisplayText(name);
    e.permissionsText = DisplayText(permissions);
    e.sizeText = DisplayText(size);
    e.dateText = DisplayText(date);
    e.upperName = ConvertNameCase(name, true);
    e.upperPermissions = ConvertNameCase(permissions, true);
    e.upperDate = ConvertNameCase(date, true);
    e.sizeValue = SizeValue(size);
    return e;
}

void RemoteListModel::Fill(const QByteArrayList &dirNames, const TMFtpFileInfoList &dirInfos,
                           const QByteArrayList &fileNames, const TMFtpFileInfoList &fileInfos)
{
    beginResetModel();
    m_entries.clear();
    m_entries.reserve(size_t(dirNames.size() + fileNames.size()));
    for (qsizetype i = 0; i < dirNames.size(); ++i) {
        const QByteArray &name = dirNames.at(i);
        QByteArray permissions, date, field3;
        dirInfos.GetInfo(int(i), 3, field3);
        if (name == "." || name == ".." || field3 == "." || field3 == "..")
            continue;
        dirInfos.GetInfo(int(i), 0, permissions);
        dirInfos.GetInfo(int(i), 1, date);
        m_entries.push_back(MakeEntry(name, true, permissions, QByteArray(), date));
    }
    for (qsizetype i = 0; i < fileNames.size(); ++i) {
        QByteArray permissions, date, size;
        fileInfos.GetInfo(int(i), 0, permissions);
        fileInfos.GetInfo(int(i), 1, date);
        fileInfos.GetInfo(int(i), 2, size);
        m_entries.push_back(MakeEntry(fileNames.at(i), false, permissions, size, date));
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
    m_entries.clear();
    endResetModel();
}

int RemoteListModel::CompareColumn(const RemoteEntry &a, const RemoteEntry &b, int column)
{
    const auto byName = [&] { return Sign(a.upperName.compare(b.upperName)); };
    switch (column) {
    case NameColumn:
        return byName();
    case SizeColumn:
        // Equal sizes are equal here; the stable sort keeps their order.
        return a.sizeValue < b.sizeValue ? -1 : (a.sizeValue > b.sizeValue ? 1 : 0);
    case PermissionsColumn:
    case DateColumn: {
        const QByteArray &ta = column == PermissionsColumn ? a.upperPermissions : a.upperDate;
        const QByteArray &tb = column == PermissionsColumn ? b.upperPermissions : b.upperDate;
        const int c = Sign(ta.compare(tb));
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

void RemoteListModel::Sort(int column, bool descending)
{
    if (m_entries.size() < 2)
        return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);

    // The same rule as Before(), on packed keys.
    std::vector<SortKey> keys(m_entries.size());
    for (size_t i = 0; i < m_entries.size(); ++i) {
        const RemoteEntry &e = m_entries[i];
        SortKey &k = keys[i];
        k.isDirectory = e.isDirectory;
        k.name = &e.upperName;
        k.namePrefix = Prefix(e.upperName);
        k.size = e.sizeValue;
        if (column == PermissionsColumn || column == DateColumn) {
            k.primary = column == PermissionsColumn ? &e.upperPermissions : &e.upperDate;
            k.primaryPrefix = Prefix(*k.primary);
        }
    }
    const auto compare = [column](const SortKey &a, const SortKey &b) {
        if (column == SizeColumn)
            return a.size < b.size ? -1 : (a.size > b.size ? 1 : 0);
        if (a.primary) {
            const int c = CompareText(a.primaryPrefix, *a.primary, b.primaryPrefix, *b.primary);
            if (c != 0)
                return c;
        }
        return CompareText(a.namePrefix, *a.name, b.namePrefix, *b.name);
    };
    std::vector<int> order(m_entries.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int x, int y) {
        const SortKey &a = keys[size_t(x)];
        const SortKey &b = keys[size_t(y)];
        if (a.isDirectory != b.isDirectory)
            return a.isDirectory;
        const int c = compare(a, b);
        return descending ? c > 0 : c < 0;
    });

    std::vector<int> newRowOf(m_entries.size());
    for (size_t newRow = 0; newRow < order.size(); ++newRow)
        newRowOf[size_t(order[newRow])] = int(newRow);
    // Entries move along the permutation's cycles in place: no second copy of
    // a list that can hold tens of megabytes.
    std::vector<bool> placed(m_entries.size(), false);
    for (size_t start = 0; start < m_entries.size(); ++start) {
        if (placed[start])
            continue;
        RemoteEntry carried = std::move(m_entries[start]);
        size_t hole = start;
        for (;;) {
            placed[hole] = true;
            const size_t source = size_t(order[hole]);
            if (source == start) {
                m_entries[hole] = std::move(carried);
                break;
            }
            m_entries[hole] = std::move(m_entries[source]);
            hole = source;
        }
    }

    // Selections and the current item follow their entries.
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex &index : from)
        to.append(createIndex(newRowOf[size_t(index.row())], index.column()));
    changePersistentIndexList(from, to);

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
    if (!m_entries.empty())
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
            result.append(m_entries[size_t(row)].name);
    }
    return result;
}

QList<RemoteItem> RemoteListModel::items(const QList<int> &rows) const
{
    QList<RemoteItem> result;
    for (int row : rows) {
        if (row >= 0 && row < count()) {
            const RemoteEntry &e = m_entries[size_t(row)];
            result.append(RemoteItem{e.name, e.isDirectory, e.permissions, e.size + ' ' + e.date});
        }
    }
    return result;
}

QList<RemoteItem> RemoteListModel::allItems() const
{
    QList<RemoteItem> result;
    result.reserve(qsizetype(m_entries.size()));
    for (const RemoteEntry &e : m_entries)
        result.append(RemoteItem{e.name, e.isDirectory, e.permissions, e.size + ' ' + e.date});
    return result;
}

int RemoteListModel::rowOfName(const QByteArray &name) const
{
    for (size_t row = 0; row < m_entries.size(); ++row) {
        if (m_entries[row].name == name)
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
    const RemoteEntry &e = m_entries[size_t(index.row())];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        switch (index.column()) {
        case NameColumn: return e.displayName;
        case PermissionsColumn: return e.permissionsText;
        case SizeColumn: return e.sizeText;
        case DateColumn: return e.dateText;
        default: return {};
        }
    case Qt::ToolTipRole:
        return index.column() == NameColumn ? QVariant(e.displayName) : QVariant();
    case Qt::DecorationRole:
        return index.column() == NameColumn ? QVariant(icon(e.isDirectory)) : QVariant();
    case Qt::TextAlignmentRole:
        if (index.column() == SizeColumn)
            return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    case NameBytesRole:
        return e.name;
    case IsDirectoryRole:
        return e.isDirectory;
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
    case NameColumn: return QStringLiteral("文件名");
    case PermissionsColumn: return QStringLiteral("读取权限");
    case SizeColumn: return QStringLiteral("文件大小");
    case DateColumn: return QStringLiteral("创建时间");
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
