#pragma once

// The local file list: the entries of one or more local directories that match a mask,
// folders first, sorted by any column, in four view styles, and a target for files
// dropped from the desktop.

#include "widgets/file_list_model.h"

#include <QFileInfo>
#include <QPointer>
#include <QStringList>
#include <QWidget>
#include <functional>

class QAbstractItemView;
class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QItemSelectionModel;
class QListView;
class QTreeView;

// A list view in the classic styles over any table model: one model and one selection
// shared by a tree view (report) and a list view (the icon and list styles), so that
// switching styles keeps the selection and 100 000 rows stay cheap in each.
class TFileListView : public QWidget
{
    Q_OBJECT

public:
    enum TViewStyle { vsIcon, vsSmallIcon, vsList, vsReport };

    explicit TFileListView(QWidget *parent = nullptr);
    ~TFileListView() override;

    TViewStyle ViewStyle() const { return FViewStyle; }
    void SetViewStyle(TViewStyle style);

    // Files dropped from the desktop reach OnFileDrop only while this is set.
    bool AcceptFiles() const { return FAcceptFiles; }
    void SetAcceptFiles(bool accept);

    // The view of the current style, and the two views themselves.
    QAbstractItemView *ActiveView() const;
    QTreeView *ReportView() const { return FReport; }
    QListView *IconView() const { return FIcons; }
    QItemSelectionModel *SelectionModel() const { return FSelection; }

    // Rows of the selected items, in list order.
    QList<int> SelectedRows() const;
    // The current item when it is selected, else the first selected one; -1 for none.
    int Selected() const;
    void SetSelected(int row, bool selected);
    void SelectAll();

    // Dropped local files with the drop point in this control's coordinates.
    std::function<void(QObject *sender, const QStringList &files, int x, int y)> OnFileDrop;
    std::function<void(QObject *sender)> OnDblClick;

protected:
    void SetModel(QAbstractItemModel *model);
    // A click on a report header.
    virtual void ColumnClick(int column);
    // Called after the report view got a new model or columns: widths, hidden columns.
    virtual void ColumnsChanged() {}

    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    static QStringList LocalFiles(const QDropEvent *event);
    void ConnectView(QAbstractItemView *view);

    QAbstractItemModel *FModel = nullptr;
    QItemSelectionModel *FSelection = nullptr;
    QTreeView *FReport = nullptr;
    QListView *FIcons = nullptr;
    TViewStyle FViewStyle = vsIcon;
    bool FAcceptFiles = false;
};

class TFileList : public TFileListView
{
    Q_OBJECT

public:
    // Inspects each entry as it is added; clearing accept leaves it out of the list.
    using TFlInsertEvent = std::function<void(QObject *sender, TFileListItem &item, const QString &path,
                                              const QFileInfo &findData, bool &accept)>;

    explicit TFileList(QWidget *parent = nullptr);
    ~TFileList() override;

    // Directories separated by ";"; each read back with its trailing separator, sorted.
    QString Directory() const { return FDirectories.join(u';'); }
    void SetDirectory(const QString &directories);
    QStringList Directories() const { return FDirectories; }

    // Name patterns separated by ";" or ",", case-insensitive.
    QString Mask() const { return FMasks.join(u';'); }
    void SetMask(const QString &mask);

    TFileTypes FileTypes() const { return FFileTypes; }
    void SetFileTypes(TFileTypes types);
    bool DisplayDirectory() const { return FDisplayDirectory; }
    void SetDisplayDirectory(bool display);
    TFileInfos ViewColumns() const { return FModel->ViewColumns(); }
    void SetViewColumns(TFileInfos columns);

    // Choosing the current column again flips the direction, shared by every list of the
    // process; an information without a column, or fiAll, changes nothing.
    TFileInfo SortColumn() const { return FSortColumn; }
    void SetSortColumn(TFileInfo info);
    static bool SortDescending() { return SortDescendingFlag; }

    // Reads every directory again.
    void Refresh();

    TFileListModel *Model() const { return FModel; }
    int Count() const { return FModel->rowCount(); }
    const TFileListItem &Item(int row) const { return FModel->Item(row); }
    QString Caption(int row) const { return Item(row).Name; }
    QStringList SubItems(int row) const { return FModel->SubItems(row); }
    QString SubItem(int row, int position) const { return FModel->SubItem(row, position); }
    QString FullPath(int row) const { return Item(row).FullPath(); }
    bool IsDirectory(int row) const { return Item(row).IsDir; }
    QString Attributes(int row) const { return FModel->Attributes(Item(row)); }

    TFlInsertEvent OnFileAdd;

    static QStringList ParseMask(const QString &mask);
    static bool MatchesMask(const QStringList &patterns, const QString &name);
    static bool Matches(const QString &pattern, const QString &name);   // lower-cased both
    // Whether an entry with these attribute letters passes the type filter.
    static bool PassesTypes(TFileTypes types, const QString &attributes);

protected:
    void ColumnClick(int column) override;
    void ColumnsChanged() override;

private:
    void ListDirectory(const QString &directory, std::vector<TFileListItem> &items, quint64 generation);
    static void FillItem(TFileListItem &item, int dirFd, const QByteArray &raw);
    void SortItems();
    bool Pause(quint64 generation);

    static bool SortDescendingFlag;

    TFileListModel *FModel = nullptr;
    QStringList FDirectories;
    QStringList FMasks;
    TFileTypes FFileTypes{ftArchive, ftReadonly};
    bool FDisplayDirectory = true;
    TFileInfo FSortColumn = fiName;
    quint64 FGeneration = 0;   // a refresh started during another's pause supersedes it
    qint64 FLastPause = 0;
};
