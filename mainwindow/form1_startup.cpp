// Creation and first showing of the main window, its settings, and the
// commands of the main tool bar that are not about connections: the bar
// toggles, fonts and colours, help, the about box, a second instance and the
// secondary windows.

#include "mainwindow/tform1.h"

#include "dialogs/tform2.h"
#include "dialogs/tform3.h"
#include "dialogs/tform4.h"
#include "engine/ftp.h"
#include "mail/ftpmail.h"
#include "mainwindow/about_box.h"
#include "mainwindow/main_settings.h"
#include "core/queue_keeper.h"
#include "mainwindow/remote_list_model.h"
#include "platform/dialogs.h"
#include "platform/folders.h"
#include "platform/shell.h"
#include "search/ftpsearch.h"
#include "mainwindow/remote_list_view.h"
#include "widgets/combobox98.h"
#include "widgets/file_list.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSpinBox>
#include <QStandardItemModel>
#include <QToolBar>
#include <QTreeView>

TForm1::TForm1(QWidget *parent)
    : QMainWindow(parent)
{
    ftp1 = &browsing_.Engine();
    ftp1->setObjectName(QStringLiteral("ftp1"));
    ConfigureEngineDefaults();

    setWindowTitle(tr("Tarvo - FTP 客户端"));
    BuildToolbars();
    BuildPanes();
    BuildStatusBar();
    NameControlsForAccessibility();
    ShowConnectionState(LinkState::Offline);
    BuildMenus();
    WireMenus();
    WireLoginBar();
    WireSecurity();
    WireEngine();
    WireRemotePane();
    WireLocalPane();
    WireTransfers();
    WireTransferPool();
    WireQueue();

    OpenDocument = [](const QString &path) { return platform::ShellOpen(path); };
    StartInstance = [](const QString &program) { return platform::StartProgram(program); };

    resize(739, 528);
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        // The classic size is the least; a larger screen gets room for the names.
        const QSize room = screen->availableGeometry().size() * 3 / 4;
        resize(size().expandedTo(room.boundedTo(QSize(1400, 900))));
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    FormCreate();
    RestoreLayoutState();
}

TForm1::~TForm1()
{
    // The last second's progress is not lost with the window.
    if (QueueKeeper *keeper = browsing_.QueueFile())
        keeper->Flush();
    // The engine may still report (a socket closing under it): nothing it
    // says may reach a window that is being taken apart.
    ftp1->OnFtpInfo = nullptr;
    ftp1->OnFtpError = nullptr;
    ftp1->OnFtpNeedInfo = nullptr;
    ftp1->OnFtpReady = nullptr;
    ftp1->OnLoggedIn = nullptr;
    ftp1->OnFtpQuit = nullptr;
    ftp1->OnFtpCertificate = nullptr;
}

// The values the engine carries before the settings are applied.
void TForm1::ConfigureEngineDefaults()
{
    ftp1->Port = 21;
    ftp1->SetNoopInterval(30);
    ftp1->ServerType = ftpstAutoDetect;
    ftp1->TransferMode = BinaryTransfer;
    ftp1->ProxyType = proxyNone;
    ftp1->Passive = false;
    ftp1->TimeOutConnect = 30;
    ftp1->TimeOutArp = 5;
}

void TForm1::FormCreate()
{
    browsing_.Transfers = TransferWalk();
    LoadSettings();

    // The local pane starts in initdir. A directory that is gone (or a
    // garbled value) leaves the pane in the working directory.
    QString start = MainSettings.initdir;
    if (start.isEmpty() || !QFileInfo(start).isDir())
        start = QDir::currentPath();
    start = QDir::toNativeSeparators(QDir::cleanPath(QDir(start).absolutePath()));
    if (!start.endsWith(QDir::separator()))
        start += QDir::separator();
    SetDrivePath(start);

    ftp1->TimeOutConnect = MainSettings.timeout;
    ftp1->SetNoopInterval(MainSettings.nooptime);
    password->setText(MainSettings.email);
}

void TForm1::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!shownOnce_) {
        shownOnce_ = true;
        FormShow();
    }
}

void TForm1::FormShow()
{
    sortDescending_ = false;
    // Created once, hidden; closing them only hides them, so what they hold
    // lasts for the run.
    SiteManagerHost sites;
    sites.LocalDirectory = [this] { return LocalDirectory(); };
    sites.SetLogin = [this](const QString &user, const QString &pass) {
        username->setText(user);
        password->setText(pass);
    };
    sites.SetServer = [this](int portValue, const QString &host) {
        port->setValue(portValue);
        server->setEditText(host);
    };
    sites.SetInitialDirectory = [this](const QString &directory) { ftp1->InitialDirectory = RemoteBytes(directory); };
    sites.SetDrivePath = [this](const QString &directory) { SetDrivePath(directory); };
    sites.SetLocalPathText = [this](const QString &text) { ComboBox1->setEditText(text); };
    sites.SetOptions = [this](const SiteOptions &options) { AdoptSiteOptions(options); };
    sites.DefaultPassive = [] { return MainSettings.passive; };
    sites.Connect = [this] { Button1Click(); };
    Form2 = new TForm2(std::move(sites), this);
    Form3 = new TForm3(ftp1, this);
    Form3->SelectedRemoteName = [this]() -> std::optional<QByteArray> {
        const QList<int> rows = SelectedRemoteRows();
        if (rows.isEmpty())
            return std::nullopt;
        return ftpviewModel->name(rows.first());
    };
    search = new Tsearch(this);
    search->OpenFtpUrl = [this](const QString &url, const QString &localFolder) {
        OpenUrlDownload(url.toUtf8(), localFolder);
    };
    search->LocalFolder = [this] { return LocalDirectory(); };
    WireSearchWindow();
    mailform = new Tmailform(this);
    Form4 = new TForm4(MainSettings, this);
    // 同时传输的文件数 and the limits changed there hold for the files still to come.
    connect(Form4, &QDialog::accepted, this, &TForm1::ApplyTransferSettings);
    AboutBox = new TAboutBox(this);
}

void TForm1::closeEvent(QCloseEvent *event)
{
    // Closing ends the program at once: no question, no QUIT; only the layout is kept.
    SaveLayoutState();
    event->accept();
    emit Closed();
}

void TForm1::N1Click()
{
    StartInstance(QCoreApplication::applicationFilePath());
}

void TForm1::N53Click()
{
    close();
}

void TForm1::N56Click()
{
    Toolbar971->setVisible(!Toolbar971->isVisible());
}

void TForm1::N57Click()
{
    Toolbar972->setVisible(!Toolbar972->isVisible());
}

void TForm1::N83Click()
{
    Toolbar973->setVisible(!Toolbar973->isVisible());
}

void TForm1::BarsMenuPopup()
{
    N56->setChecked(Toolbar971->isVisible());
    N57->setChecked(Toolbar972->isVisible());
    N83->setChecked(Toolbar973->isVisible());
}

void TForm1::ChooseFontFor(QWidget *control)
{
    QFont font = control->font();
    if (platform::CurrentDialogs().ChooseFont(this, font))
        control->setFont(font);
}

void TForm1::ChooseColorFor(QWidget *control)
{
    QPalette palette = control->palette();
    QColor color = palette.color(QPalette::Base);
    if (!platform::CurrentDialogs().ChooseColor(this, color))
        return;
    palette.setColor(QPalette::Base, color);
    control->setPalette(palette);
}

void TForm1::N63Click() { ChooseFontFor(richedit1); }
void TForm1::N64Click() { ChooseFontFor(FileList1); }
void TForm1::N65Click() { ChooseFontFor(ftpview); }
void TForm1::N84Click() { ChooseFontFor(spool); }
void TForm1::N67Click() { ChooseColorFor(richedit1); }
void TForm1::N68Click() { ChooseColorFor(FileList1); }
void TForm1::N69Click() { ChooseColorFor(ftpview); }
void TForm1::N85Click() { ChooseColorFor(spool); }

// The help document ships with the program and opens at its start.
void TForm1::N58Click()
{
    const QString path = platform::ProgramDataFile(QStringLiteral("Tarvo.html"));
    if (!QFileInfo(path).isFile() || !OpenDocument(path))
        platform::CurrentDialogs().MessageBox(this, tr("不能打开帮助文件 ") + path,
                                              tr("帮助主题"), platform::Dialogs::Warning,
                                              platform::Dialogs::OkOnly);
}

void TForm1::N61Click()
{
    if (AboutBox)
        AboutBox->open();
}

// The secondary windows are shown non-modally and brought to the front.
static void ShowSecondary(QWidget *window)
{
    if (!window)
        return;
    window->show();
    window->raise();
    window->activateWindow();
}

void TForm1::ToolbarButton9722Click()
{
    ShowSecondary(search);
}

void TForm1::ToolbarButton9723Click()
{
    ShowSecondary(mailform);
}

void TForm1::ToolbarButton977Click()
{
    ShowSecondary(Form4);
}

void TForm1::N2Click()
{
    ShowSecondary(Form2);
}
