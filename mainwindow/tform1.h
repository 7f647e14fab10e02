#pragma once
// TForm1: the main window, a view over its session: the browsing session
// (the engine ftp1, its walks, the queue run) and the transfer session (the
// transfer connections). It starts their work from the user's commands and
// shows what they report. The class is split by concern:
//   form1_layout.cpp    tool bars, panes, queue, status bar
//   form1_menus.cpp     the menus and which handler each item runs
//   form1_startup.cpp   creation, first show, settings, bars, fonts, colours,
//                       help, about, a second instance, secondary windows
//   form1_connect.cpp   the login bar, connect, logout, stop, busy state
//   form1_events.cpp    the engine's events, the log and the status bar

#include "core/browsing_session.h"
#include "core/transfer_job.h"
#include "engine/ftp_types.h"
#include "mainwindow/server_history.h"

#include "core/queue_entry.h"

#include <QElapsedTimer>
#include <QHash>
#include <QMainWindow>
#include <QStringList>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <utility>

class QAction;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QSpinBox;
class QSplitter;
class QStandardItemModel;
struct SiteOptions;
struct QueueConditions;
struct QueueStep;
class QToolBar;
class QToolButton;
class QTreeView;
class QTimer;
class RemoteListModel;
class TAboutBox;
class TFileList;
class TRemoteListView;
class TComboBox98;
class TForm2;
class TForm3;
class TForm4;
class TMFtp;
class TransferPool;
class TransferSession;
struct TransferBatch;
class Tmailform;
class Tsearch;

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    explicit TForm1(QWidget *parent = nullptr);
    ~TForm1() override;

    // ---- the engine: the browsing connection, owned by the session ----
    TMFtp *ftp1;

    // What the window shows of its session. Nothing here is state of its own.
    bool UiBusy() const { return uiBusy_; }
    // A walk or the queue run holds the browsing connection's commands.
    bool WalkRunning() const { return browsing_.Transfers.running(); }
    bool QueueRunning() const { return browsing_.Queue.running; }
    // The queue waits for its reconnect to log in again.
    bool QueueWaitingForLogin() const { return browsing_.Queue.resumeAfterLogin; }
    void SetBusy();
    void SetIdle();

    // ---- main tool bar ----
    QToolBar *MainToolbar;
    QToolButton *ftpManageButton, *optionsButton, *barsButton, *lookButton, *searchButton, *mailButton,
        *helpButton;

    // ---- login bar ----
    QToolBar *Toolbar971;
    TComboBox98 *server;
    QSpinBox *port;
    QLineEdit *username;
    QLineEdit *password;
    // The TLS mode of the next connect, in the engine's order.
    QComboBox *encryption;

    // ---- management bar: tool buttons ----
    QToolBar *Toolbar972;
    QAction *siteManagerButton, *login, *logout, *refresh, *manualDownloadButton, *stop;

    // ---- batch bar ----
    QToolBar *Toolbar973;
    QAction *queueDownButton, *queueUpButton, *queueDeleteButton, *queueDeleteAllButton, *queueStartButton,
        *queueRetryButton;

    // ---- log ----
    QPlainTextEdit *richedit1;

    // ---- local pane ----
    QWidget *LocalPane;
    QToolBar *LocalToolbar;
    QToolButton *localViewButton, *localSortButton;
    QAction *ToolbarButton974, *localMakeDirButton, *localDeleteButton, *localRenameButton, *uploadButton;
    QComboBox *drive;
    QComboBox *ComboBox1;
    QToolButton *ToolbarButton971;  // 上一层目录
    TFileList *FileList1;

    // ---- remote pane ----
    QWidget *RemotePane;
    QToolBar *RemoteToolbar;
    QAction *downloadButton;
    QToolButton *remoteViewButton, *ToolbarButton9732;
    QAction *remoteChangeDirButton, *remoteMakeDirButton, *remoteDeleteButton, *remoteRenameButton,
        *remoteMoveButton, *remoteRefreshButton, *remoteStopButton;
    QComboBox *ftppath;
    QToolButton *ToolbarButton972;  // 上一层目录
    TRemoteListView *ftpview;
    RemoteListModel *ftpviewModel;  // owned by ftpview

    // ---- batch queue ----
    QTreeView *spool;
    QueueModel *spoolModel;  // the session's queue (kept in queue.sqlite in the settings folder)

    // ---- status bar: five panels ----
    static constexpr int StatusPanelCount = 5;
    QLabel *StatusPanels[StatusPanelCount];
    QString PanelText(int panel) const;
    void SetPanelText(int panel, const QString &text);
    // Whether and where the window is connected, always in view at the right.
    QLabel *ConnectionStatus;
    // "已加密 (TLSv1.3)" or "未加密" beside a lock while connected; empty otherwise.
    QLabel *EncryptionStatus;
    // The remote list's context menu is offered (while logged in).
    bool RemoteMenuAttached() const { return remoteMenuAttached_; }
    // "host:port" of the server being connected to or connected.
    QString ConnectionTarget() const;

    QSplitter *VerticalSplitter;
    QSplitter *PaneSplitter;

    // ---- menus ----
    QMenu *FtpManageMenu;
    QAction *N1, *N2, *connectMenuItem, *disconnectMenuItem, *N53;
    QMenu *BarsMenu;
    QAction *N56, *N57, *N83;
    QMenu *LookMenu, *FontMenu, *ColorMenu;
    QAction *N63, *N64, *N65, *N84, *N67, *N68, *N69, *N85;
    QMenu *HelpMenu;
    QAction *N58, *N61;
    QMenu *LocalMenu, *LocalViewMenu, *LocalSortMenu, *LocalNewMenu;
    QAction *N21, *N5, *N6, *N7, *N8, *N10, *N11, *N12, *N86, *N20, *N14, *N15, *N18, *N55;
    QMenu *RemoteMenu, *RemoteViewMenu, *RemoteCaseMenu, *RemoteNewMenu, *CaseDropMenu;
    QAction *N34, *N25, *N26, *N27, *N28, *N22, *N36, *N37, *N35, *N23, *caseUpperItem, *caseLowerItem, *N38,
        *N32, *N88, *caseDropUpper, *caseDropLower;
    QMenu *LogMenu;
    QAction *N70, *N71, *N72;
    QMenu *QueueMenu;
    QAction *N74, *N75, *N73, *N76, *N77, *N78, *N79, *N80;

    // ---- secondary windows, created at the first show ----
    Tsearch *search = nullptr;
    Tmailform *mailform = nullptr;
    TAboutBox *AboutBox = nullptr;
    TForm2 *Form2 = nullptr;  // site manager
    TForm3 *Form3 = nullptr;  // permissions dialog
    TForm4 *Form4 = nullptr;  // configuration dialog
    ServerHistory Form6;  // the server history: no window of its own

    // ---- commands ----
    void FormCreate();
    void FormShow();
    void N1Click();
    void N53Click();
    void N56Click();
    void N57Click();
    void N83Click();
    void BarsMenuPopup();
    void N63Click();
    void N64Click();
    void N65Click();
    void N84Click();
    void N67Click();
    void N68Click();
    void N69Click();
    void N85Click();
    void N58Click();
    void N61Click();
    void ToolbarButton9722Click();
    void ToolbarButton9723Click();
    void ToolbarButton977Click();  // 设置选项: the configuration dialog
    void N37Click();               // 修改文件属性: the permissions dialog
    void N2Click();                // 站点管理: the site manager
    void driveChange();

    void Button1Click();
    // An ftp:// or ftps:// address from the command line or another start:
    // connects and lists its folder, or downloads its file. False (and said
    // so) when it is no usable address or the window is busy.
    bool OpenAddress(const QString &text);
    bool passwordKeyDown(int key);
    void serverChange();
    void serverComplete(int key, QString &completeWith, bool &doComplete);
    void logoutClick();
    void stopClick();

    void N70Click();
    void N71Click();
    void N72Click();
    void AppendLog(const QString &text, const QColor &color, bool blankLineAfter);
    // Logged lines reach the log's document together, a moment later (laying
    // it out for every command and reply slowed a walk down); whoever reads
    // the document flushes first.
    void FlushLog() const;
    void richedit1Change();

    void ftp1LoggedIn();
    void ftp1FtpReady();
    void ftp1FtpQuit();
    void ftp1FtpInfo(FtpInfo info, const QString &addinfo);
    void ftp1FtpError(FtpError error, const QString &addinfo);
    void ftp1FtpNeedInfo(TMFtpInfoNeeded need, QString &value);

    // ---- remote pane (form1_remote_pane.cpp) ----
    void ftp1ListingDone();
    void ftp1DirectoryChanged();
    void ftp1DirectoryCreated();
    void ftp1FileDeleted();
    void ftp1DirectoryDeleted();
    void ftp1FileRenamed();
    void ftp1DirRenamed();
    void ftpviewDblClick();
    void ToolbarButton972Click();
    void ftppathChange(int index);
    // Enter in the remote path box: the typed path, as the server's bytes.
    void ftppathEnter(const QString &text);
    void refreshClick();
    void N38Click();
    void N36Click();
    void N32Click();
    void N23Click();
    void ftpviewEdited(int row, const QString &text);
    void N35Click();
    void N22Click();
    void ToolbarButton9732Click();
    void N89Click();
    void N90Click();
    void N88Click();
    void N25Click();
    void N26Click();
    void N27Click();
    void N28Click();
    void ftpviewColumnClick(int column);
    void PopupMenu2Popup();
    void PopupMenu5Popup();
    // A name the user typed, as the server's bytes: encoded the way the
    // connection's names decode (UTF-8, or GB18030 for a server that is not).
    QByteArray RemoteBytes(const QString &text) const;
    // The remote list's selected rows, in list order.
    QList<int> SelectedRemoteRows() const;

    // ---- local pane (form1_local_pane.cpp) ----
    void FileList1DblClick();
    void ToolbarButton971Click();
    void ComboBox1Change(int index);
    // Enter in the local path box: the typed path, relative ones taken from
    // the directory shown.
    void ComboBox1Enter(const QString &text);
    // Reads the local list again (F5).
    void RefreshLocalList();
    void ToolbarButton974Click();
    void N18Click();
    void N15Click();
    void N14Click();
    void N20Click();
    void N86Click();
    void N55Click();
    void N5Click();
    void N6Click();
    void N7Click();
    void N8Click();
    void N10Click();
    void N11Click();
    void N12Click();
    void PopupMenu1Popup();
    void PopupMenu3Popup();
    // Sets the local list's directory; the list is read again.
    void SetLocalDirectory(const QString &directory);
    // Gives the path selector a path (start-up, the site manager): when it
    // differs from the selector's own, it acts as the user's choice.
    void SetDrivePath(const QString &path);
    QString DrivePath() const { return drivePath_; }

    // ---- transfers (form1_transfers.cpp) ----
    void StartDownloadDirectory(const QByteArray &remotePath, const QString &localPath);
    void StartUploadDirectory(const QString &localPath, const QByteArray &remotePath);
    QString DownloadTargetName(const QString &localPath) const;  // downfilenamecase on the last component
    void RunAfterTransfer();  // aftertransfer 2 closes the window, 3 Quit
    void N21Click();  // 上传
    void N34Click();  // 下载
    void ToolbarButton9733Click();  // 手工下载
    // The pane list (FileList1 or ftpview) whose view started a drag; none for drags from outside.
    QObject *PaneListOfDrag(const QObject *dragSource) const;
    // Drags between the panes; `source` is the list the drag came from.
    bool FileList1DragOver(QObject *source) const;
    void FileList1DragDrop(QObject *source);
    bool ftpviewDragOver(QObject *source) const;
    void ftpviewDragDrop(QObject *source);
    void ftp1FileReceived();
    void ftp1FileStored();
    QProgressBar *TransferProgress;  // the running file's transferred share

    // ---- failed transfers (form1_transfers.cpp) ----
    // False when the cut entry has no retries left.
    bool ReconnectForQueue();
    // A retry drops what the failed attempt added to the box at the end.
    void DropAttemptFailures();
    void StartQueue();
    bool HoldingMessages() const;
    void NoteTransferFailure(const QString &cause);
    // A message box now, or at the end of the running walk or queue run.
    void ShowOrHoldMessage(const QString &text, const QString &caption, bool critical = true);
    // A transfer's completion reported Success false.
    void ReportFailedTransfer(bool download);
    // Logs a failed file and keeps it for the box at the end; the log line.
    QString ReportFailedFile(bool download, const QString &local, const QString &remote, const QString &cause);
    // The end of a walk or queue run: one box for everything that failed.
    void ShowWalkFailures();

    // ---- batch queue (form1_queue.cpp) ----
    // The continuation step: the running entry is removed, the next starts.
    void QueueContinue();
    // Drops from the local or the remote list; `source` is the list the drag
    // came from.
    bool spoolDragOver(QObject *source) const;
    void spoolDragDrop(QObject *source);
    void N74Click();  // 开始传输
    void N75Click();  // 全部删除
    void N73Click();  // 删除
    void N76Click();  // 移到顶端
    void N77Click();  // 移到底端
    void N78Click();  // 向上移动
    void N79Click();  // 向下移动
    void N80Click();  // 重试
    void QueueMenuPopup();
    void ftp1FileReceivedii();
    void ftp1FileStoredii();
    // The queue's selected rows, in list order.
    QList<int> SelectedQueueRows() const;

    // The login bar's port: text that is not a number counts as 0.
    int PortValue() const;
    // The directory the local pane shows.
    QString LocalDirectory() const;

    // Seams for the desktop: the help document and a second instance. Tests
    // replace them so that nothing is started.
    std::function<bool(const QString &path)> OpenDocument;
    std::function<bool(const QString &program)> StartInstance;
    // Starts the configured editor on a local file; tests replace it.
    std::function<bool(const QString &program, const QStringList &arguments, const QString &workingDirectory)>
        StartEditor;

signals:
    // The window was closed: the program ends.
    void Closed();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The engine, its walks, the queue run and what they met: one owner for
    // each of the engine's completions.
    BrowsingSession browsing_;
    bool uiBusy_ = false;
    // afterconnect ran for this login.
    bool afterConnectDone_ = false;
    bool sortDescending_ = false;
    bool caseToUpper_ = false;
    // The user ended the session (logout, another server, stop all): nothing
    // connects again by itself until the next login.
    bool sessionClosedByUser_ = false;
    // The running file's whole size; 0 while it is not known.
    qint64 currentTransferSize_ = 0;
    // Its size from the listing (for an upload, the local file's): the whole
    // file for sure, where the server's announcement after REST may not be.
    qint64 listedTransferSize_ = 0;
    // A resumed download: the bytes the local file held before it.
    qint64 transferResumeOffset_ = 0;
    // Bytes of the running file on its target so far.
    qint64 TransferredSoFar() const;

    void BuildToolbars();
    void BuildLoginBar();
    void WireLoginBar();
    void FillLoginBar(const QString &serverText);
    void BuildPanes();
    QWidget *BuildLocalPane();
    QWidget *BuildRemotePane();
    void BuildQueue();
    void BuildStatusBar();
    void NameControlsForAccessibility();
    // transfers (form1_transfers.cpp)
    void WireTransfers();
    void StartDownloadSelection();
    void StartUploadSelection();
    bool TransferWalkRunning() const;
    // A tree transfer between the panes may start now.
    bool TreeTransferMayStart() const;
    // Forgets the download and upload walks and the queue's claim on the
    // running sequence: the session they belonged to is over.
    void CancelTransferWalks();
    // Every walk of the session, remote and transfer.
    void CancelAllWalks();
    void RunTransferStep(const TransferStep &first);
    // What every step does first: its log lines, the busy state, the walk's flags.
    void PrepareTransferStep(const TransferStep &step);
    void EndTransferSequence();
    void ShowTransferProgress(FtpInfo info);
    // A file transfer starts: nothing of the previous one is reported against
    // it, nor is its size or share.
    void BeginTransfer(bool download);
    // The size the engine's last listing gives the remote file; 0 when it is not listed.
    qint64 ListedRemoteSize(const QByteArray &remotePath) const;
    void StartMirror();
    // 手工下载 and the search window's FTP hits: an ftp:// address, file or folder.
    void OpenUrlDownload(const QByteArray &url, const QString &localFolder);
    // Where the panes were when a walk or queue run started, and the way back there.
    void RememberTransferHome();
    void ReturnToTransferHome();
    QByteArray transferHomeRemote_;
    QString transferHomeLocal_;
    // A stopped walk's way home, taken once the abort has ended.
    std::optional<std::pair<QByteArray, QString>> returnHomeWhenReady_;
    // batch queue (form1_queue.cpp)
    void WireQueue();
    void OpenQueueFile();
    QueueConditions QueueState() const;
    void RunQueueStep(const QueueStep &step);
    void AddLocalEntriesToQueue();
    void AddRemoteEntriesToQueue();
    void BuildMenus();
    void BuildFileMenus();
    void WireMenus();
    void WireEngine();
    void ConfigureEngineDefaults();
    void AttachRemoteMenu(bool attached);
    void WireRemotePane();
    void WireLocalPane();
    void FillDriveItems();
    void driveActivated(int index);
    // The list's directory, the process's current directory and a new
    // history item with the list's directory as the history's text.
    void EnterLocalDirectory(const QString &directory);
    // Carries out a tree walk's next step on the engine.
    void RunRemoteStep(const RemoteStep &step);
    void CancelRemoteWalks();
    void AddRemotePathItem();
    // Changes the remote directory for the path box (Enter or a history
    // item): a refusal is logged with the server's reason.
    void GoToRemotePath(const QByteArray &path);
    // Enters a local directory chosen in the path box (Enter or a history
    // item); one that is not there, not a directory or not enterable is
    // reported and the box shows the pane's directory again.
    bool GoToLocalPath(const QString &path, bool addHistoryItem);
    // The keys of the lists: Enter opens, Backspace goes up.
    bool LocalListKey(int key);
    bool RemoteListKey(int key);
    void ChooseFontFor(QWidget *control);
    void ChooseColorFor(QWidget *control);
    void ShowRemoteMenu(const QPoint &at);

    void AppendLogText(const QString &text, const QColor &color, bool blankLineAfter, bool isReply);

    bool remoteMenuAttached_ = false;
    // The last reply chunk ended inside a line: the next one goes on with it.
    bool replyLineOpen_ = false;
    // The last reply chunk ended with a CR: an LF opening the next one ends
    // that same line.
    bool replyEndedWithCr_ = false;
    // Lines logged since the last flush, in order.
    struct PendingLogText {
        QString lines;
        QColor color;
        bool newLine = true;
        bool blankLineAfter = false;
    };
    mutable QList<PendingLogText> pendingLog_;
    QTimer *logFlushTimer_ = nullptr;
    // The panels' texts as set; the labels follow a moment later.
    QString panelTexts_[StatusPanelCount];
    QTimer *panelTimer_ = nullptr;
    void ShowPanelTexts();
    enum class LinkState { Offline, Connecting, Online };
    // The title and the connection panel follow the session.
    void ShowConnectionState(LinkState state);
    QString onlineTarget_;  // the engine forgets the login's port once it is in
    // Encryption and data connection mode (form1_security.cpp).
    void BuildEncryptionChoice();
    void BuildEncryptionStatus();
    void WireSecurity();
    void ApplyConnectionOptions();
    void AdoptSiteOptions(const SiteOptions &options);
    void ShowEncryptionState(bool online);
    // The layout across runs (form1_layout_state.cpp).
    void RestoreLayoutState();
    void SaveLayoutState() const;
    QFrame *encryptionPanel_ = nullptr;
    QLabel *encryptionLock_ = nullptr;
    // A site's data connection mode, for as long as its server is in the login bar.
    std::optional<bool> sitePassive_;
    QString sitePassiveServer_;
    QString localDirectory_;
    // The directory of the last remote listing: what the remote path box shows.
    QByteArray remoteFolder_;
    // The path box asked for this directory change: a refusal is logged.
    QByteArray remotePathAsked_;
    QString drivePath_;  // the path selector's path
    // The last listing's names were all UTF-8 (or plain ASCII).
    bool remoteNamesUtf8_ = true;
    bool shownOnce_ = false;
    // The last 4xx or 5xx reply: what a refusal without its own text was.
    QString lastRefusal_;

public:
    // ---- transfers over connections of their own (form1_parallel.cpp) ----
    // The session's transfer connections: files of the walks and the queue
    // run there, several at once, while the browsing connection stays free.
    TransferPool *transferPool = nullptr;
    // Whether files go to the transfer connections now: 同时传输的文件数 is
    // above 1 and the server took them in this session.
    bool ParallelTransfers() const;
    // Nothing moves: no walk, queue run or file on any connection.
    bool TransfersIdle() const;

private:
    void WireTransferPool();
    void StartTransferSession();
    quint64 NewBatch(bool download);
    // 同时传输的文件数, the retries and the speed limits, as the settings say now.
    void ApplyTransferSettings();
    // Gives a walk's file to the session; a target already on its way is skipped.
    void HandOverToPool(const TransferStep &step);
    // The walk of the batch has listed its last folder.
    void EndBatchListing();
    void ShowFileFailure(const TransferJob &job, const TransferOutcome &outcome);
    void ShowBatchProgress(const TransferBatch &batch);
    // Each file a transfer connection moves shows in the queue's list while
    // it moves, unless its own queue entry shows it.
    void NoteFileInFlight(const TransferJob &job);
    void ShowFilesInFlight();
    void ShowBatchEnd(const TransferBatch &batch);
    void EndParallelRun();
    // Files the server left to the browsing connection, one after another.
    void RunNextBrowsingJob();
    bool BrowsingJobDone(bool download);
    void StopParallelTransfers();
    // The browsing session ended. Closed by the user: every transfer stops and
    // the queue's running entries wait again. Lost: the files already handed
    // out go on; the walk and the queue run stop handing out more.
    void AbandonParallelTransfers(bool closedByUser);
    void ShowTransferTotals();
    // The queue over the transfer connections.
    void AdvanceParallelQueue();
    void FinishParallelQueue();
    int QueueRowOfBatch(const TransferBatch &batch) const;

    TransferSession *transferSession_ = nullptr;
    quint64 walkBatch_ = 0;  // the batch the running walk hands its files to
    // The run was stopped or lost its browsing session: no aftertransfer at its end.
    bool runCut_ = false;
    // The pool holds this session's login; false for sessions it cannot
    // repeat (an address's own login) and after the session.
    bool poolSessionReady_ = false;
    QStringList acceptedCertificates_;
    QTimer *totalsTimer_ = nullptr;
    qint64 lastTotal_ = 0;
    qint64 lastTotalAt_ = 0;
    struct FileInFlight {
        QueueEntry shown;
        qint64 since = 0;  // its start on the run's clock
        qint64 bytesDone = 0;
    };
    QHash<quint64, FileInFlight> filesInFlight_;  // by job

    // ---- the search window and the connected server's search (form1_search.cpp) ----
    void WireSearchWindow();
    // Empty when the search started, otherwise why not.
    QString StartServerSearch(const QString &mask, int limit);
    void StopServerSearch();
    void RunSearchStep(const RemoteSearchStep &step);
    // The engine's completions that belong to the search: true when taken.
    bool SearchTookDirectoryChange();
    bool SearchTookListing();
    // The search ends without its walk back (connection lost, stopped from the main window).
    void CancelServerSearch();
    void OpenServerSearchHit(const QByteArray &remotePath, bool isDirectory, const QString &localFolder);
};
