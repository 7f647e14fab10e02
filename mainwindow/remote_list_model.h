#pragma once
// The rows of the remote list `ftpview`: one entry per listed directory or
// file of the current remote directory, directories first. Names are kept as
// the server's bytes (they go back to it unchanged); the text that is safe to
// show is made when a row is painted. One model serves every view style of the pane.

#include "core/display_text.h"
#include "core/remote_tree_walks.h"

#include <QAbstractTableModel>
#include <QByteArray>
#include <QByteArrayList>
#include <QIcon>
#include <QList>
#include <QString>

#include <functional>
#include <vector>

class TMFtp;
class TMFtpFileInfoList;

// One row as a value, built when asked: the model itself keeps far less.
struct RemoteEntry {
    QByteArray name;         // the server's bytes
    bool isDirectory = false;
    QByteArray permissions;  // info field 0
    QByteArray size;         // info field 2, empty for directories
    QByteArray date;         // info field 1
    QString displayName;     // decoded, control characters made visible
    qint64 sizeValue = 0;
};

class RemoteListModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { NameColumn = 0, PermissionsColumn = 1, SizeColumn = 2, DateColumn = 3, ColumnCount = 4 };
    enum Role { NameBytesRole = Qt::UserRole + 1, IsDirectoryRole };

    // Longest text shown for one field; the bytes themselves are kept whole.
    static constexpr qsizetype MaxDisplayLength = kMaxDisplayLength;

    explicit RemoteListModel(QObject *parent = nullptr);

    // Empties the list and fills it from the engine's last listing: directories
    // (without "." and "..") then files, in the order the engine filed them.
    void Fill(const QByteArrayList &dirNames, const TMFtpFileInfoList &dirInfos,
              const QByteArrayList &fileNames, const TMFtpFileInfoList &fileInfos);
    void Fill(const TMFtp &ftp);
    void Clear();

    // Directories stay above files in both directions; within each group the
    // column decides, and entries it finds equal keep their order.
    void Sort(int column, bool descending);
    void sort(int column, Qt::SortOrder order) override;

    // The icon for the name column, asked of the owner so that the model
    // needs no icon theme; without one there is no icon.
    using IconProvider = std::function<QIcon(bool isDirectory)>;
    void setIconProvider(IconProvider provider);

    // Rows inside the list only. entry() builds the whole row, name() and
    // isDirectory() read without copying.
    RemoteEntry entry(int row) const;
    const QByteArray &name(int row) const { return m_rows[size_t(row)].name; }
    bool isDirectory(int row) const { return row < m_directoryCount; }
    int count() const { return int(m_rows.size()); }
    // Rows outside the list are skipped.
    QByteArrayList names(const QList<int> &rows) const;
    QList<RemoteItem> items(const QList<int> &rows) const;
    QList<RemoteItem> allItems() const;
    int rowOfName(const QByteArray &name) const;  // -1 when not listed

    // Text made safe for one row (SafeDisplayText).
    static QString DisplayText(const QByteArray &bytes);
    // Decimal digits as a 64-bit number (saturating); any other text is 0.
    static qint64 SizeValue(const QByteArray &text);
    // The order of two entries by column (k = 0 name, 1 permissions, 2 size,
    // 3 date) before the direction is applied: -1, 0 or +1.
    static int CompareColumn(const RemoteEntry &a, const RemoteEntry &b, int column);
    // The full rule as a strict weak ordering: true when a goes above b.
    static bool Before(const RemoteEntry &a, const RemoteEntry &b, int column, bool descending);

    // In-place renaming of a name: only the row given here is editable, and an
    // accepted text goes to OnEdited (the rows change with the next listing).
    void SetEditableRow(int row) { m_editableRow = row; }
    std::function<void(int row, const QString &text)> OnEdited;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    // A listing can hold millions of rows, so a row keeps the name (shared with
    // the engine's list), the attribute and date texts as indices into one list
    // of distinct texts, and a plain decimal size as the number. Display texts
    // are made in data() for the rows being painted, sort keys during a sort.
    struct Row {
        QByteArray name;
        qint64 size = 0;          // the size itself, or ~index into m_texts when the text is no plain number
        quint32 permissions = 0;  // index into m_texts
        quint32 date = 0;         // index into m_texts
    };
    QByteArray sizeText(const Row &row) const;
    RemoteItem item(int row) const;
    qint64 sizeValue(const Row &row) const;
    void sortRange(size_t first, size_t last, int column, bool descending, const std::vector<qint64> &textKeys,
                   std::vector<quint32> &order) const;
    QIcon icon(bool isDirectory) const;
    int m_editableRow = -1;

    // Directories are rows [0, m_directoryCount): Fill files them first and
    // every sort keeps them there.
    std::vector<Row> m_rows;
    int m_directoryCount = 0;
    QList<QByteArray> m_texts;
    IconProvider m_iconProvider;
    mutable QIcon m_directoryIcon;
    mutable QIcon m_fileIcon;
    mutable bool m_iconsCached = false;
};
