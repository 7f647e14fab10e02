#pragma once
// Tsearch: the FTP search window. It sends the keyword to the outside search
// engine with its HTTP client, cuts the hits out of the answer page and lists
// them; an FTP hit is handed to the FTP engine (through OpenFtpUrl, wired by
// the main window), any other link to the desktop's browser. The keyword
// history lives in key.txt, read at every show and written at every close.
//
// A second source fills the same list: the connected FTP server itself,
// searched by name mask below the remote pane's folder. The main window runs
// that walk over its engine (StartServerSearch) and hands the hits back.

#include "search_query.h"
#include "search_rows.h"
#include "widgets/combobox98.h"

#include <QDialog>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

class QComboBox;
class QLabel;
class QMenu;
class QAction;
class QPushButton;
class QSpinBox;
class QStatusBar;
class QTreeView;
class SearchResultModel;
class THttpCli;
class UrlLabel;

class Tsearch : public QDialog {
    Q_OBJECT
public:
    // The most of an answer page kept: a hostile or endless answer is cut off
    // here (the request is aborted and what arrived is used).
    static constexpr qint64 MaxPageBytes = 16 * 1024 * 1024;

    explicit Tsearch(QWidget *parent = nullptr, const SearchEngine &engine = SearchEngine());
    ~Tsearch() override;

    // Seams wired by the main window (and replaced by tests).
    // The FTP engine's OpenURL(url, local folder).
    std::function<void(const QString &url, const QString &localFolder)> OpenFtpUrl;
    // The local pane's current directory.
    std::function<QString()> LocalFolder;
    // Any other link; the desktop's default handler unless replaced.
    std::function<void(const QString &url)> OpenInBrowser;
    // The engine address the user set (empty: the one the window was made with).
    std::function<QString()> EngineAddress;
    // The connected server's search: starts the walk for the mask with at most
    // `limit` hits; empty when it started, otherwise why not (shown as is).
    std::function<QString(const QString &mask, int limit)> StartServerSearch;
    std::function<void()> StopServerSearch;
    // Opens a hit of that search: its folder in the remote pane, or a download.
    std::function<void(const QByteArray &remotePath, bool isDirectory, const QString &localFolder)> OpenServerHit;

    // The server search's driver reports here.
    void ServerSearchHits(const std::vector<SearchHit> &hits);
    void ServerSearchProgress(const QString &text);
    void ServerSearchEnded(const QString &summary);
    bool ServerSearchRunning() const { return serverSearching_; }

    enum Source { EngineSource = 0, ServerSource = 1 };

    // Controls.
    QLabel *Label1;
    QLabel *Label2;
    TComboBox98 *key;
    QSpinBox *hits;
    QLabel *Label8;
    QComboBox *source;  // 搜索引擎 or 当前 FTP 服务器
    QPushButton *sendbutton;
    QPushButton *BitBtn2;
    QTreeView *ListView1;
    SearchResultModel *Results;
    QMenu *PopupMenu1;
    QAction *N1;
    QAction *N2;
    QLabel *Label3;
    QLabel *Label4;
    QLabel *Label5;
    QLabel *Label6;
    QLabel *Label7;
    UrlLabel *url;
    QStatusBar *StatusBar1;
    QStringList DisplayMemo;  // the last page received, as lines
    THttpCli *HttpCli1;

    // Handlers.
    void sendbuttonClick();
    void ListView1Click();
    void ListView1DblClick();
    void N1Click();
    void N2Click();
    void PopupMenu1Popup();
    void urlDblClick();
    void FormShow();
    void FormClose();

    // The keyword box's items, in its sorted order.
    QStringList Keywords() const;

    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    void wireClient();
    void addKeyword(const QString &keyword);
    void setKeywords(const QStringList &keywords);
    void openHit(const QString &link);
    void openHit(const SearchHit &hit);
    void runEngineQuery(const QString &keyword);
    void runServerSearch(const QString &keyword);
    void rememberKeyword(const QString &keyword);
    SearchEngine currentEngine() const;
    int selectedRow() const;
    void showStatus(const QString &text);

    SearchEngine engine_;
    quint64 queries_ = 0;
    bool serverSearching_ = false;
    std::optional<SearchHit> shownHit_;  // the hit the details panel shows
};
