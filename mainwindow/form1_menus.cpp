// The window's menus and which handler each item and button runs. Several
// controls share one handler, as a menu item and its tool button do.

#include "mainwindow/tform1.h"

#include <QAction>
#include <QActionGroup>
#include <QComboBox>
#include <QMenu>
#include <QPlainTextEdit>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>

#include "mainwindow/remote_list_view.h"
#include "widgets/file_list.h"

namespace {

QAction *AddItem(QMenu *menu, const QString &caption)
{
    return menu->addAction(caption);
}

// An item that shows the key doing the same on the pane's list. The key is
// the list's own; on the item it acts only while its menu is open.
void ShowKey(QAction *item, const QKeySequence &key)
{
    item->setShortcut(key);
    item->setShortcutContext(Qt::WidgetShortcut);
    item->setShortcutVisibleInContextMenu(true);
}

// The four view styles: radio items.
void AddViewStyles(QMenu *menu, QAction *&large, QAction *&small, QAction *&list, QAction *&details)
{
    auto *group = new QActionGroup(menu);
    large = AddItem(menu, TForm1::tr("大图标"));
    small = AddItem(menu, TForm1::tr("小图标"));
    list = AddItem(menu, TForm1::tr("列表"));
    details = AddItem(menu, TForm1::tr("详细资料"));
    for (QAction *item : {large, small, list, details}) {
        item->setCheckable(true);
        group->addAction(item);
    }
    details->setChecked(true);
}

} // namespace

void TForm1::BuildMenus()
{
    FtpManageMenu = new QMenu(this);
    N1 = AddItem(FtpManageMenu, tr("建立进程"));
    N2 = AddItem(FtpManageMenu, tr("站点管理"));
    FtpManageMenu->addSeparator();
    connectMenuItem = AddItem(FtpManageMenu, tr("连接主机"));
    disconnectMenuItem = AddItem(FtpManageMenu, tr("断开连接 "));
    FtpManageMenu->addSeparator();
    N53 = AddItem(FtpManageMenu, tr("退出"));
    ftpManageButton->setMenu(FtpManageMenu);

    BarsMenu = new QMenu(this);
    N56 = AddItem(BarsMenu, tr("登陆菜单"));
    N57 = AddItem(BarsMenu, tr("管理菜单"));
    N83 = AddItem(BarsMenu, tr("批处理菜单"));
    for (QAction *item : {N56, N57, N83})
        item->setCheckable(true);
    barsButton->setMenu(BarsMenu);

    LookMenu = new QMenu(this);
    FontMenu = LookMenu->addMenu(tr("窗口字体"));
    FontMenu->menuAction()->setToolTip(tr("设置窗口的字体"));
    N63 = AddItem(FontMenu, tr("记录窗口"));
    N64 = AddItem(FontMenu, tr("本地窗口"));
    N65 = AddItem(FontMenu, tr("远程窗口"));
    N84 = AddItem(FontMenu, tr("批处理窗口"));
    ColorMenu = LookMenu->addMenu(tr("窗口颜色"));
    N67 = AddItem(ColorMenu, tr("记录窗口"));
    N68 = AddItem(ColorMenu, tr("本地窗口"));
    N69 = AddItem(ColorMenu, tr("远程窗口"));
    N85 = AddItem(ColorMenu, tr("批处理窗口"));
    lookButton->setMenu(LookMenu);

    HelpMenu = new QMenu(this);
    N58 = AddItem(HelpMenu, tr("帮助主题"));
    N61 = AddItem(HelpMenu, tr("关于软件"));
    helpButton->setMenu(HelpMenu);

    LogMenu = new QMenu(this);
    N70 = AddItem(LogMenu, tr("拷贝到剪贴板"));
    N71 = AddItem(LogMenu, tr("全部选择"));
    N72 = AddItem(LogMenu, tr("全部清除"));

    QueueMenu = new QMenu(this);
    N74 = AddItem(QueueMenu, tr("开始传输"));
    N75 = AddItem(QueueMenu, tr("全部删除"));
    N73 = AddItem(QueueMenu, tr("删除"));
    QueueMenu->addSeparator();
    N76 = AddItem(QueueMenu, tr("移到顶端"));
    N77 = AddItem(QueueMenu, tr("移到底端"));
    N78 = AddItem(QueueMenu, tr("向上移动"));
    N79 = AddItem(QueueMenu, tr("向下移动"));
    QueueMenu->addSeparator();
    N80 = AddItem(QueueMenu, tr("重试"));

    BuildFileMenus();
}

void TForm1::BuildFileMenus()
{
    LocalMenu = new QMenu(this);
    N21 = AddItem(LocalMenu, tr("上传"));
    LocalMenu->addSeparator();
    LocalViewMenu = LocalMenu->addMenu(tr("浏览"));
    AddViewStyles(LocalViewMenu, N5, N6, N7, N8);
    LocalSortMenu = LocalMenu->addMenu(tr("排列图标"));
    N10 = AddItem(LocalSortMenu, tr("文件名"));
    N11 = AddItem(LocalSortMenu, tr("文件大小"));
    N12 = AddItem(LocalSortMenu, tr("文件日期"));
    LocalMenu->addSeparator();
    N86 = AddItem(LocalMenu, tr("编辑"));
    N20 = AddItem(LocalMenu, tr("执行"));
    N14 = AddItem(LocalMenu, tr("删除"));
    N15 = AddItem(LocalMenu, tr("重命名"));
    LocalNewMenu = LocalMenu->addMenu(tr("新建"));
    N18 = AddItem(LocalNewMenu, tr("目录"));
    LocalMenu->addSeparator();
    N55 = AddItem(LocalMenu, tr("全选"));
    ShowKey(N14, QKeySequence::Delete);
    ShowKey(N55, QKeySequence::SelectAll);
    localViewButton->setMenu(LocalViewMenu);
    localSortButton->setMenu(LocalSortMenu);

    RemoteMenu = new QMenu(this);
    N34 = AddItem(RemoteMenu, tr("下载"));
    RemoteMenu->addSeparator();
    RemoteViewMenu = RemoteMenu->addMenu(tr("浏览"));
    AddViewStyles(RemoteViewMenu, N25, N26, N27, N28);
    N22 = AddItem(RemoteMenu, tr("删除"));
    N36 = AddItem(RemoteMenu, tr("改变当前目录"));
    N37 = AddItem(RemoteMenu, tr("修改文件属性"));
    N35 = AddItem(RemoteMenu, tr("移动文件"));
    N23 = AddItem(RemoteMenu, tr("重命名"));
    RemoteCaseMenu = RemoteMenu->addMenu(tr("转换文件名大小写"));
    caseUpperItem = AddItem(RemoteCaseMenu, tr("全部变成大写"));
    caseLowerItem = AddItem(RemoteCaseMenu, tr("全部变成小写"));
    N38 = AddItem(RemoteMenu, tr("刷新列表"));
    RemoteNewMenu = RemoteMenu->addMenu(tr("新建"));
    N32 = AddItem(RemoteNewMenu, tr("目录"));
    RemoteMenu->addSeparator();
    N88 = AddItem(RemoteMenu, tr("全选"));
    ShowKey(N22, QKeySequence::Delete);
    ShowKey(N38, QKeySequence::Refresh);
    ShowKey(N88, QKeySequence::SelectAll);
    remoteViewButton->setMenu(RemoteViewMenu);

    CaseDropMenu = new QMenu(this);
    caseDropUpper = AddItem(CaseDropMenu, tr("转换成大写"));
    caseDropLower = AddItem(CaseDropMenu, tr("转换成小写"));
    ToolbarButton9732->setMenu(CaseDropMenu);

    FileList1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(FileList1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { LocalMenu->popup(FileList1->mapToGlobal(at)); });
}

void TForm1::WireMenus()
{
    auto on = [this](QAction *action, void (TForm1::*handler)()) {
        connect(action, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
    };
    on(N1, &TForm1::N1Click);
    on(connectMenuItem, &TForm1::Button1Click);
    on(login, &TForm1::Button1Click);
    on(disconnectMenuItem, &TForm1::logoutClick);
    on(logout, &TForm1::logoutClick);
    on(stop, &TForm1::stopClick);
    on(remoteStopButton, &TForm1::stopClick);
    on(N53, &TForm1::N53Click);
    on(N56, &TForm1::N56Click);
    on(N57, &TForm1::N57Click);
    on(N83, &TForm1::N83Click);
    connect(BarsMenu, &QMenu::aboutToShow, this, &TForm1::BarsMenuPopup);
    on(N63, &TForm1::N63Click);
    on(N64, &TForm1::N64Click);
    on(N65, &TForm1::N65Click);
    on(N84, &TForm1::N84Click);
    on(N67, &TForm1::N67Click);
    on(N68, &TForm1::N68Click);
    on(N69, &TForm1::N69Click);
    on(N85, &TForm1::N85Click);
    on(N58, &TForm1::N58Click);
    on(N61, &TForm1::N61Click);
    connect(searchButton, &QToolButton::clicked, this, &TForm1::ToolbarButton9722Click);
    connect(mailButton, &QToolButton::clicked, this, &TForm1::ToolbarButton9723Click);
    connect(optionsButton, &QToolButton::clicked, this, &TForm1::ToolbarButton977Click);
    on(N2, &TForm1::N2Click);
    on(siteManagerButton, &TForm1::N2Click);
    on(N70, &TForm1::N70Click);
    on(N71, &TForm1::N71Click);
    on(N72, &TForm1::N72Click);
    connect(richedit1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { LogMenu->popup(richedit1->viewport()->mapToGlobal(at)); });
    connect(ftpview, &QWidget::customContextMenuRequested, this, &TForm1::ShowRemoteMenu);
    connect(spool, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { QueueMenu->popup(spool->viewport()->mapToGlobal(at)); });
    AttachRemoteMenu(false);  // no session yet
}

// 上传 needs the session too; without one the remote path box names no
// folder (its history stays to choose from).
void TForm1::AttachRemoteMenu(bool attached)
{
    remoteMenuAttached_ = attached;
    uploadButton->setEnabled(attached);
    N21->setEnabled(attached);
    if (!attached) {
        remoteFolder_.clear();
        ftppath->setCurrentIndex(-1);
    }
}

// The remote list has its context menu only while logged in.
void TForm1::ShowRemoteMenu(const QPoint &at)
{
    if (remoteMenuAttached_)
        RemoteMenu->popup(ftpview->mapToGlobal(at));
}
