// The window's controls from top to bottom: the main tool bar, the dock of
// three movable tool bars, the log, the local and remote panes side by side,
// the batch queue and the status bar.

#include "mainwindow/tform1.h"
#include "core/queue_model.h"
#include "mainwindow/remote_list_model.h"
#include "mainwindow/remote_list_view.h"
#include "widgets/combobox98.h"
#include "widgets/file_list.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QColor>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

// How long a new status panel text may wait for its label.
constexpr int kPanelInterval = 50;  // ms

QIcon StandardIcon(QStyle::StandardPixmap pixmap)
{
    return QApplication::style()->standardIcon(pixmap);
}

// A tool button whose hint is its caption, as every button of the bars has.
QAction *AddHintedButton(QToolBar *bar, const QString &caption, QStyle::StandardPixmap pixmap)
{
    QAction *action = bar->addAction(StandardIcon(pixmap), caption);
    action->setToolTip(caption);
    return action;
}

// A button that opens its menu, with its caption shown.
QToolButton *AddMenuButton(QToolBar *bar, const QString &caption, const QString &hint = QString())
{
    auto *button = new QToolButton(bar);
    button->setText(caption);
    button->setToolTip(hint.isEmpty() ? caption : hint);
    button->setPopupMode(QToolButton::InstantPopup);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    bar->addWidget(button);
    return button;
}

QTreeView *ReportView(QWidget *parent, QAbstractItemModel *model)
{
    auto *view = new QTreeView(parent);
    view->setModel(model);
    view->setRootIsDecorated(false);
    view->setUniformRowHeights(true);
    view->setAllColumnsShowFocus(true);
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->header()->setStretchLastSection(false);
    view->header()->setSectionsMovable(false);
    return view;
}

QToolBar *PaneToolbar(QWidget *parent)
{
    auto *bar = new QToolBar(parent);
    bar->setIconSize(QSize(16, 16));
    bar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    return bar;
}

} // namespace

void TForm1::BuildToolbars()
{
    MainToolbar = new QToolBar(tr("主工具条"), this);
    MainToolbar->setObjectName(QStringLiteral("MainToolbar"));
    MainToolbar->setMovable(false);
    MainToolbar->setFloatable(false);
    // It carries every menu of the window: the tool bar menu may not hide it.
    MainToolbar->toggleViewAction()->setVisible(false);
    ftpManageButton = AddMenuButton(MainToolbar, tr("FTP 管理"));
    auto *options = new QToolButton(MainToolbar);
    options->setText(tr("设置选项"));
    options->setToolTip(tr("设置选项"));
    MainToolbar->addWidget(options);
    optionsButton = options;
    barsButton = AddMenuButton(MainToolbar, tr("菜单条"));
    lookButton = AddMenuButton(MainToolbar, tr("界面设置"), tr("设置界面"));
    searchButton = new QToolButton(MainToolbar);
    searchButton->setText(tr("FTP 搜索"));
    searchButton->setToolTip(tr("FTP 搜索"));
    MainToolbar->addWidget(searchButton);
    mailButton = new QToolButton(MainToolbar);
    mailButton->setText(tr("FTP 邮件"));
    mailButton->setToolTip(tr("FTP 邮件"));
    MainToolbar->addWidget(mailButton);
    helpButton = AddMenuButton(MainToolbar, tr("帮助说明"));
    addToolBar(Qt::TopToolBarArea, MainToolbar);
    addToolBarBreak(Qt::TopToolBarArea);

    BuildLoginBar();
    // At the window's first size the login bar fills a row: the other two
    // start on the next one, where every button shows.
    addToolBarBreak(Qt::TopToolBarArea);

    Toolbar972 = new QToolBar(tr("管理菜单"), this);
    Toolbar972->setObjectName(QStringLiteral("Toolbar972"));
    Toolbar972->setToolTip(tr("主机操作相关条"));
    Toolbar972->setIconSize(QSize(20, 20));
    siteManagerButton = AddHintedButton(Toolbar972, tr("站点管理"), QStyle::SP_DirHomeIcon);
    login = AddHintedButton(Toolbar972, tr("连接主机"), QStyle::SP_DriveNetIcon);
    logout = AddHintedButton(Toolbar972, tr("退出连接"), QStyle::SP_DialogCloseButton);
    refresh = AddHintedButton(Toolbar972, tr("刷新"), QStyle::SP_BrowserReload);
    manualDownloadButton = AddHintedButton(Toolbar972, tr("手工下载"), QStyle::SP_ArrowDown);
    stop = AddHintedButton(Toolbar972, tr("停止传输"), QStyle::SP_BrowserStop);
    addToolBar(Qt::TopToolBarArea, Toolbar972);

    Toolbar973 = new QToolBar(tr("批处理传输菜单"), this);
    Toolbar973->setObjectName(QStringLiteral("Toolbar973"));
    Toolbar973->setToolTip(tr("批处理相关操作条"));
    Toolbar973->setIconSize(QSize(20, 20));
    queueDownButton = AddHintedButton(Toolbar973, tr("向下移动一格"), QStyle::SP_ArrowDown);
    queueUpButton = AddHintedButton(Toolbar973, tr("向上移动一格"), QStyle::SP_ArrowUp);
    queueDeleteButton = AddHintedButton(Toolbar973, tr("删除选择项"), QStyle::SP_DialogDiscardButton);
    queueDeleteAllButton = AddHintedButton(Toolbar973, tr("删除所有批处理文件"), QStyle::SP_TrashIcon);
    queueStartButton = AddHintedButton(Toolbar973, tr("开始传输批处理文件"), QStyle::SP_MediaPlay);
    queueRetryButton = AddHintedButton(Toolbar973, tr("重试失败的批处理文件"), QStyle::SP_BrowserReload);
    addToolBar(Qt::TopToolBarArea, Toolbar973);
}

void TForm1::BuildLoginBar()
{
    Toolbar971 = new QToolBar(tr("登陆菜单"), this);
    Toolbar971->setObjectName(QStringLiteral("Toolbar971"));
    auto addLabel = [this](const QString &text) {
        auto *label = new QLabel(text, Toolbar971);
        label->setContentsMargins(6, 0, 3, 0);
        Toolbar971->addWidget(label);
    };

    addLabel(tr("服务器"));
    server = new TComboBox98(Toolbar971);
    server->setObjectName(QStringLiteral("server"));
    server->SetStyle(TComboBox98::csDropDown);
    server->setToolTip(tr("Ftp 服务器地址"));
    server->setMinimumWidth(150);
    server->MinLengthComplete = 0;
    // A public archive that keeps anonymous FTP open, as a first example.
    server->setEditText(QStringLiteral("ftp.gnu.org"));
    Toolbar971->addWidget(server);

    addLabel(tr("端口"));
    port = new QSpinBox(Toolbar971);
    port->setObjectName(QStringLiteral("port"));
    port->setRange(0, 65535);
    port->setValue(21);
    port->setToolTip(tr("服务器端口(缺省 21)"));
    Toolbar971->addWidget(port);

    addLabel(tr("用户名"));
    username = new QLineEdit(QStringLiteral("anonymous"), Toolbar971);
    username->setObjectName(QStringLiteral("username"));
    username->setToolTip(tr("登陆使用的用户名"));
    username->setMaximumWidth(110);
    Toolbar971->addWidget(username);

    addLabel(tr("密码"));
    password = new QLineEdit(Toolbar971);
    password->setObjectName(QStringLiteral("password"));
    password->setToolTip(tr("登陆的用户密码"));
    password->setEchoMode(QLineEdit::Password);
    password->setMaximumWidth(130);
    Toolbar971->addWidget(password);
    BuildEncryptionChoice();
    addToolBar(Qt::TopToolBarArea, Toolbar971);
}

QWidget *TForm1::BuildLocalPane()
{
    LocalPane = new QWidget(this);
    auto *layout = new QVBoxLayout(LocalPane);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(1);

    LocalToolbar = PaneToolbar(LocalPane);
    localViewButton = new QToolButton(LocalToolbar);
    localViewButton->setText(tr("显示模式"));
    localViewButton->setToolTip(tr("显示模式"));
    localViewButton->setIcon(StandardIcon(QStyle::SP_FileDialogDetailedView));
    localViewButton->setPopupMode(QToolButton::InstantPopup);
    LocalToolbar->addWidget(localViewButton);
    localSortButton = new QToolButton(LocalToolbar);
    localSortButton->setText(tr("排列图标"));
    localSortButton->setToolTip(tr("排列图标"));
    localSortButton->setIcon(StandardIcon(QStyle::SP_FileDialogListView));
    localSortButton->setPopupMode(QToolButton::InstantPopup);
    LocalToolbar->addWidget(localSortButton);
    ToolbarButton974 = AddHintedButton(LocalToolbar, tr("改变当前路径"), QStyle::SP_DirOpenIcon);
    localMakeDirButton = AddHintedButton(LocalToolbar, tr("建立目录"), QStyle::SP_FileDialogNewFolder);
    localDeleteButton = AddHintedButton(LocalToolbar, tr("删除文件"), QStyle::SP_TrashIcon);
    localRenameButton = AddHintedButton(LocalToolbar, tr("重命名文件"), QStyle::SP_FileLinkIcon);
    LocalToolbar->addSeparator();
    uploadButton = LocalToolbar->addAction(StandardIcon(QStyle::SP_ArrowUp), tr("上传"));
    uploadButton->setToolTip(tr("上传"));
    if (auto *button = qobject_cast<QToolButton *>(LocalToolbar->widgetForAction(uploadButton)))
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    layout->addWidget(LocalToolbar);

    auto *pathRow = new QHBoxLayout;
    pathRow->setSpacing(2);
    drive = new QComboBox(LocalPane);
    drive->setObjectName(QStringLiteral("drive"));
    drive->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    drive->setMaximumWidth(90);
    // The path boxes complete what is typed from their history, and only
    // suggest: Enter goes, leaving the box shows the pane's folder again.
    ComboBox1 = new TComboBox98(LocalPane);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    ToolbarButton971 = new QToolButton(LocalPane);
    ToolbarButton971->setIcon(StandardIcon(QStyle::SP_FileDialogToParent));
    ToolbarButton971->setToolTip(tr("上一层目录"));
    pathRow->addWidget(drive);
    pathRow->addWidget(ComboBox1, 1);
    pathRow->addWidget(ToolbarButton971);
    layout->addLayout(pathRow);

    // Every column is held, name, size, type and modified are shown; every
    // file and folder ("*"), several may be selected.
    FileList1 = new TFileList(LocalPane);
    FileList1->setObjectName(QStringLiteral("FileList1"));
    FileList1->SetMask(QStringLiteral("*"));
    FileList1->SetFileTypes(TFileTypes{ftAll});
    FileList1->SetViewColumns(TFileInfos{fiAll});
    FileList1->SetViewStyle(TFileListView::vsReport);
    // Every information is held with each entry; the pane shows these four.
    for (TFileInfo info : {fiCreated, fiLastAccess, fiAttributes, fiDosName, fiDosExt, fiPath})
        FileList1->ReportView()->setColumnHidden(FileList1->Model()->ColumnOf(info), true);
    FileList1->SetAcceptFiles(true);
    layout->addWidget(FileList1, 1);
    return LocalPane;
}

QWidget *TForm1::BuildRemotePane()
{
    RemotePane = new QWidget(this);
    auto *layout = new QVBoxLayout(RemotePane);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(1);

    RemoteToolbar = PaneToolbar(RemotePane);
    downloadButton = RemoteToolbar->addAction(StandardIcon(QStyle::SP_ArrowDown), tr("下载"));
    downloadButton->setToolTip(tr("下载"));
    if (auto *button = qobject_cast<QToolButton *>(RemoteToolbar->widgetForAction(downloadButton)))
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    RemoteToolbar->addSeparator();
    remoteViewButton = new QToolButton(RemoteToolbar);
    remoteViewButton->setText(tr("显示模式"));
    remoteViewButton->setToolTip(tr("显示模式"));
    remoteViewButton->setIcon(StandardIcon(QStyle::SP_FileDialogDetailedView));
    remoteViewButton->setPopupMode(QToolButton::InstantPopup);
    RemoteToolbar->addWidget(remoteViewButton);
    // The button runs the conversion; its arrow opens the choice of direction.
    ToolbarButton9732 = new QToolButton(RemoteToolbar);
    ToolbarButton9732->setText(tr("文件大小写转换"));
    ToolbarButton9732->setToolTip(tr("文件大小写转换"));
    ToolbarButton9732->setIcon(StandardIcon(QStyle::SP_FileDialogContentsView));
    ToolbarButton9732->setPopupMode(QToolButton::MenuButtonPopup);
    RemoteToolbar->addWidget(ToolbarButton9732);
    remoteChangeDirButton = AddHintedButton(RemoteToolbar, tr("改变当前目录"), QStyle::SP_DirOpenIcon);
    remoteMakeDirButton = AddHintedButton(RemoteToolbar, tr("建立目录"), QStyle::SP_FileDialogNewFolder);
    remoteDeleteButton = AddHintedButton(RemoteToolbar, tr("删除文件"), QStyle::SP_TrashIcon);
    remoteRenameButton = AddHintedButton(RemoteToolbar, tr("重命名文件"), QStyle::SP_FileLinkIcon);
    remoteMoveButton = AddHintedButton(RemoteToolbar, tr("移动文件"), QStyle::SP_ArrowForward);
    remoteRefreshButton = AddHintedButton(RemoteToolbar, tr("刷新列表"), QStyle::SP_BrowserReload);
    remoteStopButton = AddHintedButton(RemoteToolbar, tr("停止传输"), QStyle::SP_BrowserStop);
    layout->addWidget(RemoteToolbar);

    auto *pathRow = new QHBoxLayout;
    pathRow->setSpacing(2);
    ftppath = new TComboBox98(RemotePane);
    ftppath->setObjectName(QStringLiteral("ftppath"));
    ftppath->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    ToolbarButton972 = new QToolButton(RemotePane);
    ToolbarButton972->setIcon(StandardIcon(QStyle::SP_FileDialogToParent));
    ToolbarButton972->setToolTip(tr("上一层目录"));
    pathRow->addWidget(ftppath, 1);
    pathRow->addWidget(ToolbarButton972);
    layout->addLayout(pathRow);

    ftpview = new TRemoteListView(RemotePane);
    ftpview->setObjectName(QStringLiteral("ftpview"));
    ftpviewModel = ftpview->Model();
    ftpview->setContextMenuPolicy(Qt::CustomContextMenu);
    layout->addWidget(ftpview, 1);
    return RemotePane;
}

void TForm1::BuildQueue()
{
    // The model names the columns and right-aligns the sizes.
    spoolModel = &browsing_.Spool;
    spoolModel->SetLooks(StandardIcon(QStyle::SP_ArrowUp), StandardIcon(QStyle::SP_ArrowDown), QColor(255, 0, 0));
    spool = ReportView(this, spoolModel);
    spool->setObjectName(QStringLiteral("spool"));
    spool->setToolTip(tr("批处理窗口"));
    spool->setSortingEnabled(false);
    spool->header()->setSectionsClickable(false);
    for (int column : {QueueModel::SourceColumn, QueueModel::SizeColumn, QueueModel::TargetColumn,
                       QueueModel::StateColumn, QueueModel::BytesDoneColumn, QueueModel::SpeedColumn})
        spool->header()->resizeSection(column, column == QueueModel::SizeColumn || column == QueueModel::SpeedColumn
                                                   ? 100
                                               : column == QueueModel::BytesDoneColumn ? 120
                                                                                       : 200);
    spool->setContextMenuPolicy(Qt::CustomContextMenu);
}

void TForm1::BuildPanes()
{
    richedit1 = new QPlainTextEdit(this);
    richedit1->setObjectName(QStringLiteral("richedit1"));
    richedit1->setReadOnly(true);
    richedit1->setToolTip(tr("记录所有操作的记录窗口"));
    richedit1->setContextMenuPolicy(Qt::CustomContextMenu);
    richedit1->setLineWrapMode(QPlainTextEdit::NoWrap);

    PaneSplitter = new QSplitter(Qt::Horizontal, this);
    PaneSplitter->addWidget(BuildLocalPane());
    PaneSplitter->addWidget(BuildRemotePane());
    PaneSplitter->setChildrenCollapsible(false);

    BuildQueue();

    VerticalSplitter = new QSplitter(Qt::Vertical, this);
    VerticalSplitter->addWidget(richedit1);
    VerticalSplitter->addWidget(PaneSplitter);
    VerticalSplitter->addWidget(spool);
    VerticalSplitter->setStretchFactor(0, 0);
    VerticalSplitter->setStretchFactor(1, 1);
    VerticalSplitter->setStretchFactor(2, 0);
    VerticalSplitter->setSizes({90, 240, 80});
    setCentralWidget(VerticalSplitter);
}

// Names for screen readers, which also let journey tests find the controls.
void TForm1::NameControlsForAccessibility()
{
    const std::pair<QWidget *, const char *> names[] = {
        {server, QT_TR_NOOP("服务器")},           {port, QT_TR_NOOP("端口")},
        {username, QT_TR_NOOP("用户名")},         {password, QT_TR_NOOP("密码")},
        {ComboBox1, QT_TR_NOOP("本地路径")},      {ToolbarButton971, QT_TR_NOOP("本地上一层目录")},
        {FileList1, QT_TR_NOOP("本地文件列表")},  {ftppath, QT_TR_NOOP("远程路径")},
        {ToolbarButton972, QT_TR_NOOP("远程上一层目录")}, {ftpview, QT_TR_NOOP("远程文件列表")},
        {spool, QT_TR_NOOP("批处理队列")},        {richedit1, QT_TR_NOOP("记录窗口")},
    };
    // Combo boxes report their text as their name here: the description keeps what they are.
    for (const auto &[widget, name] : names) {
        widget->setAccessibleName(tr(name));
        widget->setAccessibleDescription(tr(name));
    }
}

void TForm1::BuildStatusBar()
{
    static constexpr int kWidths[StatusPanelCount] = {180, 150, 150, 90, 50};
    for (int i = 0; i < StatusPanelCount; ++i) {
        auto *panel = new QLabel(statusBar());
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        // Server names and file names land here: never as markup.
        panel->setTextFormat(Qt::PlainText);
        panel->setMinimumWidth(kWidths[i]);
        panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        statusBar()->addWidget(panel, i == StatusPanelCount - 1 ? 1 : 0);
        StatusPanels[i] = panel;
    }
    BuildEncryptionStatus();
    ConnectionStatus = new QLabel(statusBar());
    ConnectionStatus->setObjectName(QStringLiteral("ConnectionStatus"));
    ConnectionStatus->setTextFormat(Qt::PlainText);
    ConnectionStatus->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    // Its name is what it says; the description tells screen readers what it is.
    ConnectionStatus->setAccessibleDescription(tr("连接状态"));
    statusBar()->addPermanentWidget(ConnectionStatus);
    statusBar()->setSizeGripEnabled(true);
    // Every reply and block of a transfer sets the panels, and each new text
    // lays the status bar out again: the labels follow at most this often.
    panelTimer_ = new QTimer(this);
    panelTimer_->setSingleShot(true);
    panelTimer_->setInterval(kPanelInterval);
    connect(panelTimer_, &QTimer::timeout, this, &TForm1::ShowPanelTexts);
}

QString TForm1::PanelText(int panel) const
{
    if (panel < 0 || panel >= StatusPanelCount)
        return QString();
    return panelTexts_[panel];
}

void TForm1::SetPanelText(int panel, const QString &text)
{
    if (panel < 0 || panel >= StatusPanelCount || panelTexts_[panel] == text)
        return;
    panelTexts_[panel] = text;
    if (!panelTimer_->isActive())
        panelTimer_->start();
}

void TForm1::ShowPanelTexts()
{
    for (int panel = 0; panel < StatusPanelCount; ++panel)
        StatusPanels[panel]->setText(panelTexts_[panel]);
}
