#pragma once

// The rows of the local file list: one per directory entry, with the facts read at
// listing time. Texts that are costly to make (type names, icons, dates) are made when a
// view asks for them; type names and icons are shared per file suffix, so that a folder
// of 100 000 files fills and sorts without asking the desktop 100 000 times.

#include <QAbstractTableModel>
#include <QHash>
#include <QIcon>
#include <QString>
#include <QStringList>
#include <initializer_list>
#include <limits>
#include <vector>

// A set of a small enumeration, as the property sets of the list read.
template <typename E>
class TSmallSet
{
public:
    constexpr TSmallSet() = default;
    constexpr TSmallSet(std::initializer_list<E> members)
    {
        for (E member : members)
            FBits |= Bit(member);
    }
    constexpr bool contains(E member) const { return FBits & Bit(member); }
    constexpr TSmallSet &operator<<(E member)
    {
        FBits |= Bit(member);
        return *this;
    }
    constexpr void remove(E member) { FBits &= ~Bit(member); }
    friend constexpr bool operator==(TSmallSet, TSmallSet) = default;

private:
    static constexpr unsigned Bit(E member) { return 1u << static_cast<unsigned>(member); }
    unsigned FBits = 0;
};

enum TFileInfo {
    fiName, fiSize, fiType, fiModified, fiCreated, fiLastAccess, fiAttributes,
    fiDosName, fiDosExt, fiPath, fiAll
};
using TFileInfos = TSmallSet<TFileInfo>;

enum TFileType { ftArchive, ftReadonly, ftSystem, ftHidden, ftTemporary, ftAll };
using TFileTypes = TSmallSet<TFileType>;

// One listed entry. Times are milliseconds since the epoch (UTC), NoTime when unknown.
struct TFileListItem
{
    static constexpr qint64 NoTime = std::numeric_limits<qint64>::min();

    QString Name;        // the caption
    QString Directory;   // the directory it was listed from, with its trailing separator
    QString SortName;    // the caption upper-cased, made once for the sorts
    // "D", "R", "H" letters: asked of the platform when first wanted, since asking costs
    // a file system call per entry; TFileListModel::Attributes() fills them in.
    mutable QString Attributes;
    mutable bool AttributesKnown = false;
    unsigned Mode = 0;   // the listing's st_mode, for an entry gone by the time it is asked
    qint64 Size = 0;
    qint64 Modified = NoTime;
    qint64 Created = NoTime;
    qint64 LastAccess = NoTime;
    bool IsDir = false;

    // The classic icon list's indexes: closed folder and generic document.
    int ImageIndex() const { return IsDir ? 3 : 1; }
    QString FullPath() const { return Directory + Name; }
};

class TFileListModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    // The classic image index of the row's icon, for code that asks "folder or file?".
    static constexpr int ImageIndexRole = Qt::UserRole + 1;

    explicit TFileListModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Name and size are always columns 0 and 1; every further information has a column
    // when it or fiAll is in the set, in the fixed order of the information list.
    void BuildColumns(TFileInfos viewColumns);
    TFileInfos ViewColumns() const { return FViewColumns; }
    bool Shows(TFileInfo info) const;
    int ColumnOf(TFileInfo info) const;             // -1 when it has no column
    TFileInfo InfoOfColumn(int column) const;
    static QString Caption(TFileInfo info);
    static int Width(TFileInfo info);

    void Clear();
    void SetItems(std::vector<TFileListItem> items);
    const TFileListItem &Item(int row) const { return FItems[static_cast<size_t>(row)]; }

    // The sub-items in their positions: size, then type, modified, created, last access,
    // attributes, short name, full path and directory, each only when shown.
    QStringList SubItems(int row) const;
    QString SubItem(int row, int position) const;   // empty past the last one
    QString Text(const TFileListItem &item, TFileInfo info) const;
    QString TypeName(const TFileListItem &item) const;
    QString Attributes(const TFileListItem &item) const;
    // The letters of a stat mode: for entries the platform cannot look up by name.
    static QString LettersOfMode(unsigned mode, const QString &name, bool writable);
    QIcon Icon(const TFileListItem &item) const;

    // Directories first; then by the column's information, upper-cased texts compared by
    // character codes, the caption breaking ties; descending inverts, and the three time
    // columns invert once more (newest first in the first sort). Sizes and times compare
    // by value: the texts only order them by value while they fit their widths and the
    // date format happens to sort.
    void Sort(int column, bool descending);

    // The user's short date, two blanks, the short time without seconds, local time.
    QString FormatTime(qint64 msecs) const;
    static QString WithoutSeconds(QString timeFormat);
    // A name as a view may paint it: control characters become U+FFFD.
    static QString DisplayName(const QString &name);

private:
    QString TypeKey(const TFileListItem &item) const;

    std::vector<TFileListItem> FItems;
    TFileInfos FViewColumns;
    std::vector<TFileInfo> FColumnInfo;   // list column -> information
    QString FTimeFormat;
    mutable QHash<QString, QString> FTypeNames;
    mutable QHash<QString, QIcon> FIcons;
};
