#pragma once
// The rows of the remote list `ftpview`: one entry per listed directory or
// file of the current remote directory, directories first. Names are kept as
// the server's bytes (they go back to it unchanged) beside a decoded text that
// is safe to show. One model serves every view style of the pane.

#include "mainwindow/remote_tree_walks.h"

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

struct RemoteEntry {
    QByteArray name;         // the server's bytes
    bool isDirectory = false;
    QByteArray permissions;  // info field 0
    QByteArray size;         // info field 2, empty for directories
    QByteArray date;         // info field 1
    QString displayName;     // decoded, control characters made visible
    QString permissionsText;
    QString sizeText;
    QString dateText;
    // Sort keys, computed once at fill time.
    QByteArray upperName;
    QByteArray upperPermissions;
    QByteArray upperDate;
    qint64 sizeValue = 0;
};

class RemoteListModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { NameColumn = 0, PermissionsColumn = 1, SizeColumn = 2, DateColumn = 3, ColumnCount = 4 };
    enum Role { NameBytesRole = Qt::UserRole + 1, IsDirectoryRole };

    // Longest text shown for one field: a name of megabytes would make every
    // layout pass over the row crawl. The bytes themselves are kept whole.
    static constexpr qsizetype MaxDisplayLength = 1024;

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

    const RemoteEntry &entry(int row) const { return m_entries[size_t(row)]; }
    int count() const { return int(m_entries.size()); }
    // Rows outside the list are skipped.
    QByteArrayList names(const QList<int> &rows) const;
    QList<RemoteItem> items(const QList<int> &rows) const;
    QList<RemoteItem> allItems() const;
    int rowOfName(const QByteArray &name) const;  // -1 when not listed

    // Text made safe for one row: control characters shown as their pictures,
    // line and paragraph separators and direction overrides as U+FFFD, and
    // at most MaxDisplayLength characters.
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
    static RemoteEntry MakeEntry(const QByteArray &name, bool isDirectory, const QByteArray &permissions,
                                 const QByteArray &size, const QByteArray &date);
    QIcon icon(bool isDirectory) const;
    int m_editableRow = -1;

    std::vector<RemoteEntry> m_entries;
    IconProvider m_iconProvider;
    mutable QIcon m_directoryIcon;
    mutable QIcon m_fileIcon;
    mutable bool m_iconsCached = false;
};
