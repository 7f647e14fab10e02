#include "widgets/file_list.h"
#include "widgets/name_column.h"

#include "platform/shell.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QDateTime>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QListView>
#include <QMimeData>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <memory>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// ---------------------------------------------------------------------------------------
// TFileListView

TFileListView::TFileListView(QWidget *parent)
    : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    FReport = new QTreeView(this);
    FIcons = new QListView(this);
    layout->addWidget(FReport);
    layout->addWidget(FIcons);

    FReport->setRootIsDecorated(false);
    FReport->setItemsExpandable(false);
    FReport->setUniformRowHeights(true);   // keeps 100 000 rows cheap to lay out
    FReport->setAllColumnsShowFocus(true);
    FReport->setSortingEnabled(false);     // the list sorts itself by its own rule
    FReport->header()->setStretchLastSection(false);
    FReport->header()->setSectionsClickable(true);
    FReport->header()->setSortIndicatorShown(true);
    connect(FReport->header(), &QHeaderView::sectionClicked, this, [this](int section) { ColumnClick(section); });

    FIcons->setUniformItemSizes(true);
    FIcons->setMovement(QListView::Static);
    FIcons->setResizeMode(QListView::Adjust);
    for (QAbstractItemView *view : {static_cast<QAbstractItemView *>(FReport), static_cast<QAbstractItemView *>(FIcons)})
        ConnectView(view);
    // Drops from the desktop are ours, not the views'.
    setAcceptDrops(false);
    SetViewStyle(vsIcon);
}

TFileListView::~TFileListView() = default;

void TFileListView::ConnectView(QAbstractItemView *view)
{
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setAcceptDrops(false);
    view->viewport()->setAcceptDrops(false);
    connect(view, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex &) {
        if (OnDblClick)
            OnDblClick(this);
    });
}

void TFileListView::SetModel(QAbstractItemModel *model)
{
    FModel = model;
    FSelection = new QItemSelectionModel(model, this);
    SetViewStyle(FViewStyle);
}

QAbstractItemView *TFileListView::ActiveView() const
{
    return FViewStyle == vsReport ? static_cast<QAbstractItemView *>(FReport) : static_cast<QAbstractItemView *>(FIcons);
}

void TFileListView::SetViewStyle(TViewStyle style)
{
    FViewStyle = style;
    switch (style) {
    case vsIcon:
        FIcons->setViewMode(QListView::IconMode);
        FIcons->setIconSize(QSize(32, 32));
        FIcons->setGridSize(QSize(96, 64));
        FIcons->setFlow(QListView::LeftToRight);
        FIcons->setWordWrap(true);
        break;
    case vsSmallIcon:
    case vsList:
        FIcons->setViewMode(QListView::ListMode);
        FIcons->setIconSize(QSize(16, 16));
        FIcons->setGridSize(QSize());
        FIcons->setFlow(style == vsSmallIcon ? QListView::LeftToRight : QListView::TopToBottom);
        FIcons->setWordWrap(false);
        break;
    case vsReport:
        break;
    }
    FIcons->setWrapping(style != vsReport);
    FIcons->setMovement(QListView::Static);

    // Only the view on show holds the model: a hidden one would lay out every row too.
    QAbstractItemView *active = ActiveView();
    QAbstractItemView *idle = style == vsReport ? static_cast<QAbstractItemView *>(FIcons) : static_cast<QAbstractItemView *>(FReport);
    if (FModel) {
        if (idle->model() == FModel) {
            QItemSelectionModel *own = idle->selectionModel();
            idle->setModel(nullptr);
            if (own != FSelection)
                own->deleteLater();
            if (idle->selectionModel() != FSelection)
                idle->selectionModel()->deleteLater();
        }
        if (active->model() != FModel) {
            QItemSelectionModel *own = active->selectionModel();
            active->setModel(FModel);
            QItemSelectionModel *made = active->selectionModel();
            active->setSelectionModel(FSelection);
            for (QItemSelectionModel *spare : {own, made}) {
                if (spare && spare != FSelection)
                    spare->deleteLater();
            }
            if (style == vsReport)
                ColumnsChanged();
        }
    }
    idle->hide();
    active->show();
}

void TFileListView::SetAcceptFiles(bool accept)
{
    FAcceptFiles = accept;
    setAcceptDrops(accept);
}

QList<int> TFileListView::SelectedRows() const
{
    QList<int> rows;
    if (!FSelection)
        return rows;
    for (const QItemSelectionRange &range : FSelection->selection()) {
        for (int row = range.top(); row <= range.bottom(); ++row)
            rows << row;
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

int TFileListView::Selected() const
{
    if (!FSelection)
        return -1;
    const QModelIndex current = FSelection->currentIndex();
    if (current.isValid() && FSelection->isRowSelected(current.row()))
        return current.row();
    const QList<int> rows = SelectedRows();
    return rows.isEmpty() ? -1 : rows.first();
}

void TFileListView::SetSelected(int row, bool selected)
{
    if (!FModel || row < 0 || row >= FModel->rowCount())
        return;
    const QModelIndex index = FModel->index(row, 0);
    FSelection->select(index, (selected ? QItemSelectionModel::Select : QItemSelectionModel::Deselect) | QItemSelectionModel::Rows);
    if (selected)
        FSelection->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
}

void TFileListView::SelectAll()
{
    if (!FModel || FModel->rowCount() == 0)
        return;
    // One range, however many rows.
    const QItemSelection all(FModel->index(0, 0), FModel->index(FModel->rowCount() - 1, FModel->columnCount() - 1));
    FSelection->select(all, QItemSelectionModel::Select);
}

void TFileListView::ColumnClick(int)
{
}

QStringList TFileListView::LocalFiles(const QDropEvent *event)
{
    QStringList files;
    if (!event->mimeData() || !event->mimeData()->hasUrls())
        return files;
    for (const QUrl &url : event->mimeData()->urls()) {
        if (url.isLocalFile())
            files << url.toLocalFile();
    }
    return files;
}

void TFileListView::dragEnterEvent(QDragEnterEvent *event)
{
    if (FAcceptFiles && !LocalFiles(event).isEmpty())
        event->acceptProposedAction();
    else
        event->ignore();
}

void TFileListView::dragMoveEvent(QDragMoveEvent *event)
{
    if (FAcceptFiles && !LocalFiles(event).isEmpty())
        event->acceptProposedAction();
    else
        event->ignore();
}

void TFileListView::dropEvent(QDropEvent *event)
{
    const QStringList files = FAcceptFiles ? LocalFiles(event) : QStringList();
    if (files.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    const QPoint at = event->position().toPoint();
    if (OnFileDrop)
        OnFileDrop(this, files, at.x(), at.y());
}

// ---------------------------------------------------------------------------------------
// TFileList

bool TFileList::SortDescendingFlag = false;

namespace {

// The busy cursor for the length of a refresh, however it ends.
class BusyCursor
{
public:
    BusyCursor()
        : FShown(qobject_cast<QApplication *>(QCoreApplication::instance()) != nullptr)
    {
        if (FShown)
            QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    ~BusyCursor()
    {
        if (FShown)
            QApplication::restoreOverrideCursor();
    }
    BusyCursor(const BusyCursor &) = delete;
    BusyCursor &operator=(const BusyCursor &) = delete;

private:
    bool FShown;
};

QElapsedTimer &Clock()
{
    static QElapsedTimer clock;
    if (!clock.isValid())
        clock.start();
    return clock;
}

} // namespace

TFileList::TFileList(QWidget *parent)
    : TFileListView(parent)
{
    SortDescendingFlag = false;   // every new list starts ascending, for all lists
    FMasks = {QStringLiteral("*.*")};
    FModel = new TFileListModel(this);
    SetModel(FModel);
}

TFileList::~TFileList()
{
    ++FGeneration;   // a refresh paused below us must not go on
}

void TFileList::SetDirectory(const QString &directories)
{
    FDirectories.clear();
    const QString separator = QStringLiteral("/");
    for (QString part : directories.split(u';', Qt::SkipEmptyParts)) {
        if (!part.endsWith(separator))
            part += separator;
        FDirectories << part;
    }
    FDirectories.sort();
    FDirectories.removeDuplicates();
    Refresh();
}

void TFileList::SetMask(const QString &mask)
{
    FMasks = ParseMask(mask);
    Refresh();
}

void TFileList::SetFileTypes(TFileTypes types)
{
    if (types == FFileTypes)
        return;
    FFileTypes = types;
    Refresh();
}

void TFileList::SetDisplayDirectory(bool display)
{
    if (display == FDisplayDirectory)
        return;
    FDisplayDirectory = display;
    Refresh();
}

void TFileList::SetViewColumns(TFileInfos columns)
{
    if (columns == FModel->ViewColumns())
        return;
    // Rebuilt in every style: the sub-items the owner reads follow the same set.
    FModel->BuildColumns(columns);
    ColumnsChanged();
    Refresh();
}

void TFileList::ColumnsChanged()
{
    QTreeView *report = ReportView();
    if (report->model() != FModel)
        return;
    for (int column = 0; column < FModel->columnCount(); ++column) {
        const TFileInfo info = FModel->InfoOfColumn(column);
        // Name and size always exist; without their information they take no room.
        report->setColumnHidden(column, !FModel->Shows(info));
        int width = TFileListModel::Width(info);
        if (info == fiModified || info == fiCreated || info == fiLastAccess) {
            // Wide enough for the longest date and time of this locale's format.
            const qint64 widest = QDateTime(QDate(2026, 12, 28), QTime(20, 58)).toMSecsSinceEpoch();
            width = std::max(width, report->fontMetrics().horizontalAdvance(FModel->FormatTime(widest)) + 16);
        }
        if (info == fiSize) {
            // Sizes come padded to ten places: all ten show, not "327…".
            width = std::max(width, report->fontMetrics().horizontalAdvance(QStringLiteral("9999999999")) + 16);
        }
        report->header()->resizeSection(column, width);
    }
    // Names are what the user reads: their column takes the room the others leave.
    FillWithNameColumn(report);
}

void TFileList::SetSortColumn(TFileInfo info)
{
    if (info == fiAll || !FModel->Shows(info))
        return;
    if (info == FSortColumn)
        SortDescendingFlag = !SortDescendingFlag;
    else
        FSortColumn = info;
    SortItems();
}

void TFileList::ColumnClick(int column)
{
    SetSortColumn(FModel->InfoOfColumn(column));
}

void TFileList::SortItems()
{
    int column = FModel->ColumnOf(FSortColumn);
    if (column < 0)
        column = 0;   // its column went with ViewColumns: by name rather than unsorted
    FModel->Sort(column, SortDescendingFlag);
    ReportView()->header()->setSortIndicator(column, SortDescendingFlag != (FSortColumn == fiModified || FSortColumn == fiCreated || FSortColumn == fiLastAccess) ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void TFileList::Refresh()
{
    const quint64 generation = ++FGeneration;
    QPointer<TFileList> self(this);
    BusyCursor busy;
    FModel->Clear();
    std::vector<TFileListItem> items;
    const QStringList directories = FDirectories;
    for (const QString &directory : directories) {
        ListDirectory(directory, items, generation);
        if (!self || generation != FGeneration)
            return;   // a newer refresh (or our end) took over during a pause
    }
    FModel->SetItems(std::move(items));
    SortItems();
}

void TFileList::ListDirectory(const QString &directory, std::vector<TFileListItem> &items, quint64 generation)
{
    QPointer<TFileList> self(this);
    // readdir and one statx relative to the directory per entry: QDirIterator with
    // QFileInfo costs several path walks per entry, and silently skips names that are not
    // valid UTF-8, which must still show. A missing or unreadable directory yields nothing.
    const std::unique_ptr<DIR, int (*)(DIR *)> dir(::opendir(QFile::encodeName(directory).constData()), ::closedir);
    if (!dir)
        return;
    const int dirFd = ::dirfd(dir.get());
    while (const dirent *entry = ::readdir(dir.get())) {
        const QByteArray raw(entry->d_name);
        if (raw == "." || raw == "..")
            continue;
        TFileListItem item;
        item.Name = QFile::decodeName(raw);
        item.Directory = directory;
        FillItem(item, dirFd, raw);
        if (QFile::encodeName(item.Name) != raw) {
            // The decoded name reaches no file: its letters come from what we read here.
            item.Attributes = TFileListModel::LettersOfMode(item.Mode, item.Name, ::faccessat(dirFd, raw.constData(), W_OK, 0) == 0);
            item.AttributesKnown = true;
        }
        if (!FFileTypes.contains(ftAll) && !PassesTypes(FFileTypes, FModel->Attributes(item))) {
            if (!Pause(generation))
                return;
            continue;
        }
        if (item.IsDir ? FDisplayDirectory : MatchesMask(FMasks, item.Name)) {
            item.SortName = item.Name.toUpper();
            bool accept = true;
            if (OnFileAdd) {
                OnFileAdd(this, item, directory, QFileInfo(directory + item.Name), accept);
                if (!self || generation != FGeneration)
                    return;
            }
            if (accept)
                items.push_back(std::move(item));
        }
        if (!Pause(generation))
            return;
    }
}

void TFileList::FillItem(TFileListItem &item, int dirFd, const QByteArray &raw)
{
    struct statx st {};
    const unsigned wanted = STATX_BASIC_STATS | STATX_BTIME;
    // A link is shown as what it points to; a dangling one as itself.
    if (::statx(dirFd, raw.constData(), AT_NO_AUTOMOUNT, wanted, &st) != 0
        && ::statx(dirFd, raw.constData(), AT_NO_AUTOMOUNT | AT_SYMLINK_NOFOLLOW, wanted, &st) != 0)
        return;
    const auto msecs = [](const struct statx_timestamp &t) { return qint64(t.tv_sec) * 1000 + t.tv_nsec / 1000000; };
    item.Mode = st.stx_mode;
    item.IsDir = S_ISDIR(st.stx_mode);
    item.Size = item.IsDir ? 0 : qint64(st.stx_size);
    item.Modified = msecs(st.stx_mtime);
    // Not every file system keeps a birth time; the status change is the nearest.
    item.Created = msecs((st.stx_mask & STATX_BTIME) ? st.stx_btime : st.stx_ctime);
    item.LastAccess = msecs(st.stx_atime);
}

bool TFileList::Pause(quint64 generation)
{
    // Repaints and clicks go on during a long listing, a few times a second rather than
    // after every entry, which would cost more than the listing itself.
    const qint64 now = Clock().elapsed();
    if (now - FLastPause < 50)
        return true;
    QPointer<TFileList> self(this);
    QCoreApplication::processEvents();
    if (!self)
        return false;
    FLastPause = Clock().elapsed();
    return generation == FGeneration;
}

QStringList TFileList::ParseMask(const QString &mask)
{
    QStringList patterns;
    QString text = mask;
    text.replace(u',', u';');
    for (const QString &part : text.split(u';')) {
        QString pattern = part.trimmed().toLower();
        // An empty part (";;", a blank between separators) is no pattern: as a bare
        // word it would become "**" and show everything.
        if (pattern.isEmpty())
            continue;
        const bool wildcard = pattern.contains(u'*') || pattern.contains(u'?');
        if (!wildcard && !pattern.contains(u'.'))
            pattern = u'*' + pattern + u'*';
        else if (wildcard && !pattern.contains(u'.') && !pattern.endsWith(u'*'))
            pattern += u'*';
        patterns << pattern;
    }
    if (patterns.isEmpty())
        patterns << QStringLiteral("*");
    patterns.sort();
    patterns.removeDuplicates();
    return patterns;
}

bool TFileList::MatchesMask(const QStringList &patterns, const QString &name)
{
    const QString lower = name.toLower();
    return std::any_of(patterns.begin(), patterns.end(), [&](const QString &pattern) { return Matches(pattern, lower); });
}

bool TFileList::Matches(const QString &pattern, const QString &name)
{
    if (pattern == u"*")
        return true;
    if (pattern == u"*.*")
        return name.contains(u'.');
    if (!pattern.contains(u'*') && !pattern.contains(u'?'))
        return pattern == name;
    // "*" any run, "?" one character; back up to the last "*" on a mismatch.
    qsizetype p = 0, n = 0, star = -1, resume = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == u'?' || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == u'*') {
            star = p++;
            resume = n;
        } else if (star >= 0) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*')
        ++p;
    return p == pattern.size();
}

bool TFileList::PassesTypes(TFileTypes types, const QString &attributes)
{
    if (types.contains(ftAll))
        return true;
    // Each attribute an entry carries must be asked for; an entry with none is a
    // plain ("archive") one.
    const bool readOnly = attributes.contains(u'R');
    const bool hidden = attributes.contains(u'H');
    if (readOnly && !types.contains(ftReadonly))
        return false;
    if (hidden && !types.contains(ftHidden))
        return false;
    return readOnly || hidden || types.contains(ftArchive);
}
