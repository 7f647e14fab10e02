// The window's layout across runs: size and place, the splitters, the list
// columns, the local list's sort column and which tool bars show. Kept in
// layout.ini in the settings folder, apart from ftp.ini, whose keys stay as
// they are. A damaged or foreign file restores nothing and the defaults stand.

#include "mainwindow/tform1.h"

#include "platform/folders.h"
#include "widgets/file_list.h"
#include "mainwindow/remote_list_view.h"

#include <QHeaderView>
#include <QSettings>
#include <QSplitter>
#include <QTreeView>

namespace {

// Bumped when what is saved no longer fits the window; older states are ignored.
constexpr int kLayoutVersion = 1;

QString LayoutFile()
{
    return platform::SettingsFilePath(QStringLiteral("layout.ini"));
}

}  // namespace

void TForm1::RestoreLayoutState()
{
    QSettings state(LayoutFile(), QSettings::IniFormat);
    if (state.status() != QSettings::NoError || state.value(QStringLiteral("version")).toInt() != kLayoutVersion)
        return;
    // Each restore checks what it reads and leaves the default when it does not fit.
    restoreGeometry(state.value(QStringLiteral("geometry")).toByteArray());
    restoreState(state.value(QStringLiteral("toolbars")).toByteArray(), kLayoutVersion);
    const QByteArray vertical = state.value(QStringLiteral("verticalSplitter")).toByteArray();
    const QByteArray panes = state.value(QStringLiteral("paneSplitter")).toByteArray();
    VerticalSplitter->restoreState(vertical);
    PaneSplitter->restoreState(panes);
    FileList1->ReportView()->header()->restoreState(state.value(QStringLiteral("localColumns")).toByteArray());
    ftpview->ReportView()->header()->restoreState(state.value(QStringLiteral("remoteColumns")).toByteArray());
    spool->header()->restoreState(state.value(QStringLiteral("queueColumns")).toByteArray());
    bool ok = false;
    const int sortColumn = state.value(QStringLiteral("localSort")).toInt(&ok);
    if (ok && sortColumn >= fiName && sortColumn <= fiAttributes)
        FileList1->SetSortColumn(TFileInfo(sortColumn));
}

void TForm1::SaveLayoutState() const
{
    QSettings state(LayoutFile(), QSettings::IniFormat);
    state.clear();
    state.setValue(QStringLiteral("version"), kLayoutVersion);
    state.setValue(QStringLiteral("geometry"), saveGeometry());
    state.setValue(QStringLiteral("toolbars"), saveState(kLayoutVersion));
    state.setValue(QStringLiteral("verticalSplitter"), VerticalSplitter->saveState());
    state.setValue(QStringLiteral("paneSplitter"), PaneSplitter->saveState());
    state.setValue(QStringLiteral("localColumns"), FileList1->ReportView()->header()->saveState());
    state.setValue(QStringLiteral("remoteColumns"), ftpview->ReportView()->header()->saveState());
    state.setValue(QStringLiteral("queueColumns"), spool->header()->saveState());
    state.setValue(QStringLiteral("localSort"), int(FileList1->SortColumn()));
    state.sync();
}
