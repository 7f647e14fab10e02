#include "ftpsearch.h"

#include "httpprot.h"
#include "search_result_model.h"
#include "search_rows.h"
#include "url_label.h"

#include "platform/codepage.h"
#include "platform/dialogs.h"
#include "platform/exceptions.h"
#include "platform/folders.h"
#include "platform/shell.h"

#include <QComboBox>
#include <QFileInfo>
#include <QBuffer>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QShowEvent>
#include <QSpinBox>
#include <QStatusBar>
#include <QTreeView>
#include <QVBoxLayout>

#include <optional>

namespace {

// Functions, not constants: the captions follow the translation installed at run time.
QString QueryCaption() { return Tsearch::tr("查询"); }
QString StopCaption() { return Tsearch::tr("停止"); }

// The page buffer: what goes past the cap is dropped (the window aborts the
// request as soon as it sees the cap reached).
class PageBuffer : public QBuffer {
public:
    explicit PageBuffer(qint64 cap) : cap_(cap) {}

protected:
    qint64 writeData(const char *data, qint64 length) override
    {
        qint64 room = qMax<qint64>(0, cap_ - buffer().size());
        if (room > 0)
            QBuffer::writeData(data, qMin(room, length));
        return length;
    }

private:
    qint64 cap_;
};

// The box keeps its items sorted without regard to case; items differing only
// in case keep a fixed order among themselves.
bool KeywordBefore(const QString &a, const QString &b)
{
    int c = a.compare(b, Qt::CaseInsensitive);
    return c != 0 ? c < 0 : a.compare(b, Qt::CaseSensitive) < 0;
}

}  // namespace

Tsearch::Tsearch(QWidget *parent, const SearchEngine &engine) : QDialog(parent), engine_(engine)
{
    setWindowTitle(tr("Tarvo Ftpsearch 客户端软件"));
    OpenInBrowser = [](const QString &link) { platform::ShellOpen(link); };
    HttpCli1 = new THttpCli(this);
    HttpCli1->ProxyPort = QStringLiteral("80");
    HttpCli1->NoCache = false;
    HttpCli1->MultiThreaded = false;
    buildControls();
    wireClient();
}

Tsearch::~Tsearch()
{
    if (HttpCli1->HttpState() != THttpState::Ready)
        HttpCli1->Abort();
}

void Tsearch::buildControls()
{
    Label2 = new QLabel(tr("查询关键字"), this);
    key = new TComboBox98(this);  // editable, completes from the history; sendbuttonClick keeps the items
    key->setToolTip(tr("输入查询关键字"));
    key->setMinimumWidth(220);

    key->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    Label2->setBuddy(key);

    Label1 = new QLabel(tr("返回结果条数"), this);
    hits = new QSpinBox(this);
    hits->setRange(10, 10000);
    hits->setSingleStep(10);
    hits->setValue(50);
    Label1->setBuddy(hits);

    // Where the keyword goes: the search engine, or the connected server's
    // folders below the remote pane's one (the keyword as a name mask with
    // * and ?, the hit count as the most hits).
    Label8 = new QLabel(tr("搜索来源"), this);
    source = new QComboBox(this);
    source->addItem(tr("搜索引擎"));
    source->addItem(tr("当前 FTP 服务器"));
    source->setToolTip(tr("在搜索引擎中查询, 或按文件名(可用 * 和 ?)搜索当前连接的 FTP 服务器"));
    source->setAccessibleName(tr("搜索来源"));
    Label8->setBuddy(source);

    sendbutton = new QPushButton(QueryCaption(), this);
    sendbutton->setDefault(true);
    BitBtn2 = new QPushButton(tr("取消"), this);
    BitBtn2->setAutoDefault(false);
    connect(sendbutton, &QPushButton::clicked, this, [this] { sendbuttonClick(); });
    // The editable box would take Enter for itself (and put back the text of
    // its current item): Enter there presses the default button, nothing else.
    key->lineEdit()->installEventFilter(this);
    connect(BitBtn2, &QPushButton::clicked, this, [this] { reject(); });

    Results = new SearchResultModel(this);
    ListView1 = new QTreeView(this);
    ListView1->setModel(Results);
    ListView1->setRootIsDecorated(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setToolTip(tr("查询结果"));
    ListView1->header()->setStretchLastSection(true);
    ListView1->setColumnWidth(SearchResultModel::SizeColumn, 80);
    ListView1->setColumnWidth(SearchResultModel::TimeColumn, 100);
    ListView1->setColumnWidth(SearchResultModel::LinkColumn, 400);
    ListView1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ListView1->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { ListView1Click(); });
    connect(ListView1, &QAbstractItemView::doubleClicked, this, [this] { ListView1DblClick(); });

    PopupMenu1 = new QMenu(this);
    N1 = PopupMenu1->addAction(tr("连接"));
    N2 = PopupMenu1->addAction(tr("删除"));
    connect(N1, &QAction::triggered, this, [this] { N1Click(); });
    connect(N2, &QAction::triggered, this, [this] { N2Click(); });
    connect(ListView1, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        PopupMenu1Popup();
        PopupMenu1->popup(ListView1->viewport()->mapToGlobal(at));
    });

    Label3 = new QLabel(tr("文件大小："), this);
    Label4 = new QLabel(this);
    Label5 = new QLabel(tr("文件时间："), this);
    Label6 = new QLabel(this);
    Label7 = new QLabel(tr("文件URL："), this);
    url = new UrlLabel(this);
    url->setText(QStringLiteral("ftp://"));
    // The details come from the page: shown as they stand, never rendered as markup.
    for (QLabel *detail : {Label4, Label6, static_cast<QLabel *>(url)})
        detail->setTextFormat(Qt::PlainText);
    url->OnDblClick = [this](QObject *) { urlDblClick(); };

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setSizeGripEnabled(false);

    auto *query = new QGridLayout;
    query->addWidget(Label2, 0, 0);
    query->addWidget(key, 0, 1);
    query->addWidget(sendbutton, 0, 2);
    query->addWidget(Label1, 1, 0);
    auto *hitsRow = new QHBoxLayout;
    hitsRow->addWidget(hits);
    hitsRow->addSpacing(16);
    hitsRow->addWidget(Label8);
    hitsRow->addWidget(source);
    hitsRow->addStretch();
    query->addLayout(hitsRow, 1, 1);
    query->addWidget(BitBtn2, 1, 2);
    query->setColumnStretch(1, 1);

    auto *details = new QGridLayout;
    details->addWidget(Label3, 0, 0);
    details->addWidget(Label4, 0, 1);
    details->addWidget(Label5, 0, 2);
    details->addWidget(Label6, 0, 3);
    details->addWidget(Label7, 1, 0);
    details->addWidget(url, 1, 1, 1, 3);
    details->setColumnStretch(1, 1);
    details->setColumnStretch(3, 2);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(query);
    layout->addWidget(ListView1, 1);
    layout->addLayout(details);
    layout->addWidget(StatusBar1);
    layout->setContentsMargins(8, 8, 8, 0);
    resize(640, 460);
}

void Tsearch::wireClient()
{
    auto sending = [this](QObject *) { showStatus(tr("发送查询请求.....")); };
    auto data = [this](QObject *, const char *, int length) {
        showStatus(tr("返回数据: %1 字节").arg(length));
    };
    auto finished = [this](QObject *) { showStatus(tr("查询结束")); };
    HttpCli1->OnDocBegin = sending;
    HttpCli1->OnSendBegin = sending;
    HttpCli1->OnDocData = [this, data](QObject *sender, const char *buffer, int length) {
        data(sender, buffer, length);
        // An answer bigger than any result page: stop it and use what came.
        if (HttpCli1->RcvdCount >= MaxPageBytes)
            HttpCli1->Abort();
    };
    HttpCli1->OnSendData = data;
    HttpCli1->OnDocEnd = finished;
    HttpCli1->OnSendEnd = finished;
    HttpCli1->OnRequestDone = [finished](QObject *sender, int, int) { finished(sender); };
    // An https engine (or a redirect there) whose certificate fails
    // verification: the user decides, as for an FTPS server.
    HttpCli1->OnCertificate = [this](QObject *, const QString &endpoint, const platform::TlsCertificateInfo &certificate,
                                     bool changed, THttpCertificateAnswer &answer) {
        switch (platform::CurrentDialogs().AskCertificate(this, endpoint, certificate, changed)) {
        case platform::Dialogs::TrustCertificateAlways: answer = httpCertAlwaysTrust; break;
        case platform::Dialogs::AcceptCertificateOnce: answer = httpCertAcceptOnce; break;
        case platform::Dialogs::RejectCertificate: answer = httpCertReject; break;
        }
    };
}

bool Tsearch::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == key->lineEdit() && event->type() == QEvent::KeyPress) {
        int pressed = static_cast<QKeyEvent *>(event)->key();
        if (pressed == Qt::Key_Return || pressed == Qt::Key_Enter) {
            sendbutton->click();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void Tsearch::showStatus(const QString &text)
{
    StatusBar1->showMessage(text);
}

void Tsearch::sendbuttonClick()
{
    const QString keyword = key->currentText();
    if (keyword.isEmpty())
        return;
    if (sendbutton->text() == StopCaption()) {
        if (serverSearching_) {
            if (StopServerSearch)
                StopServerSearch();
        } else {
            HttpCli1->Abort();
        }
        sendbutton->setText(QueryCaption());
        return;
    }
    // The stopped query is still winding down: its page is not in yet.
    if (HttpCli1->HttpState() != THttpState::Ready || serverSearching_)
        return;
    if (source->currentIndex() == ServerSource)
        runServerSearch(keyword);
    else
        runEngineQuery(keyword);
}

SearchEngine Tsearch::currentEngine() const
{
    const QString address = EngineAddress ? EngineAddress() : QString();
    return address.trimmed().isEmpty() ? engine_ : SearchEngineFromAddress(address);
}

void Tsearch::rememberKeyword(const QString &keyword)
{
    if (key->findText(keyword, Qt::MatchExactly | Qt::MatchCaseSensitive) < 0)
        addKeyword(keyword);
}

void Tsearch::runEngineQuery(const QString &keyword)
{
    const SearchEngine engine = currentEngine();
    if (IsReservedEngine(engine)) {
        // Its lookup can only fail: say what to set instead.
        showStatus(tr("没有设置搜索引擎地址"));
        platform::CurrentDialogs().MessageBox(
            this,
            tr("还没有设置 FTP 搜索引擎的地址 (%1 只是占位的保留地址)。\n\n"
                           "请在“设置选项”的“高级选项”页填写“FTP 搜索引擎地址”, "
                           "或者把“搜索来源”改为“当前 FTP 服务器”, 在已连接的服务器上按文件名搜索。")
                .arg(engine.Address),
            windowTitle(), platform::Dialogs::Information, platform::Dialogs::OkOnly);
        return;
    }

    const quint64 query = ++queries_;
    DisplayMemo.clear();
    Results->Clear();
    PageBuffer body(MaxPageBytes);
    QBuffer sendStream;
    body.open(QIODevice::ReadWrite);
    sendStream.open(QIODevice::ReadWrite);
    HttpCli1->ReceiveStream = &body;
    HttpCli1->SendStream = &sendStream;
    HttpCli1->URL = SearchQueryURL(engine.Address, keyword, hits->cleanText());
    sendbutton->setText(StopCaption());
    rememberKeyword(keyword);
    showStatus(tr("正在发送查询请求....."));

    QPointer<Tsearch> self(this);
    std::optional<EHttpException> failure;
    try {
        HttpCli1->Get();
    } catch (const EHttpException &e) {
        failure = e;
    }
    if (!self)
        return;
    HttpCli1->ReceiveStream = nullptr;
    HttpCli1->SendStream = nullptr;
    if (query != queries_)
        return;  // a newer query ran meanwhile and has shown its own results
    sendbutton->setText(QueryCaption());
    DisplayMemo = PageLines(body.data());
    if (failure) {
        platform::ShowException(this, *failure);
        return;
    }
    std::vector<SearchHit> rows;
    for (const QString &line : std::as_const(DisplayMemo)) {
        if (line.contains(u"<B>"))
            rows.push_back(CutResultRow(line, engine.Host));
    }
    Results->Append(rows);
}

int Tsearch::selectedRow() const
{
    const QModelIndexList rows = ListView1->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void Tsearch::ListView1Click()
{
    int row = selectedRow();
    if (row < 0)
        return;
    const SearchHit &hit = Results->Hit(row);
    Label4->setText(hit.Size);
    Label6->setText(hit.Time);
    url->setText(hit.Link);
    shownHit_ = hit;
}

void Tsearch::ListView1DblClick()
{
    int row = selectedRow();
    if (row >= 0)
        openHit(Results->Hit(row));
}

void Tsearch::N1Click()
{
    ListView1DblClick();
}

void Tsearch::N2Click()
{
    int row = selectedRow();
    if (row >= 0)
        Results->removeRow(row);
}

void Tsearch::PopupMenu1Popup()
{
    bool selected = selectedRow() >= 0;
    N1->setEnabled(selected);
    N2->setEnabled(selected);
}

void Tsearch::urlDblClick()
{
    if (shownHit_ && shownHit_->Link == url->text())
        openHit(*shownHit_);
    else
        openHit(url->text());
}

void Tsearch::openHit(const SearchHit &hit)
{
    if (!hit.ServerHit) {
        openHit(hit.Link);
        return;
    }
    if (OpenServerHit)
        OpenServerHit(hit.RemotePath, hit.Directory, LocalFolder ? LocalFolder() : QString());
    close();
}

void Tsearch::runServerSearch(const QString &keyword)
{
    ++queries_;  // a stopped engine query still winding down keeps its rows to itself
    DisplayMemo.clear();
    Results->Clear();
    rememberKeyword(keyword);
    // Running before the walk starts: its first hits (and even its end) come
    // from inside the call.
    serverSearching_ = true;
    sendbutton->setText(StopCaption());
    showStatus(tr("正在搜索 FTP 服务器....."));
    const QString why = StartServerSearch ? StartServerSearch(keyword, hits->value())
                                          : tr("没有可以搜索的 FTP 服务器");
    if (!why.isEmpty()) {
        serverSearching_ = false;
        sendbutton->setText(QueryCaption());
        showStatus(why);
        platform::CurrentDialogs().MessageBox(this, why, windowTitle(), platform::Dialogs::Information,
                                              platform::Dialogs::OkOnly);
    }
}

void Tsearch::ServerSearchHits(const std::vector<SearchHit> &found)
{
    if (serverSearching_)
        Results->Append(found);
}

void Tsearch::ServerSearchProgress(const QString &text)
{
    if (serverSearching_)
        showStatus(text);
}

void Tsearch::ServerSearchEnded(const QString &summary)
{
    if (!serverSearching_)
        return;
    serverSearching_ = false;
    sendbutton->setText(QueryCaption());
    showStatus(summary);
}

void Tsearch::openHit(const QString &link)
{
    if (IsFtpLink(link)) {
        if (OpenFtpUrl)
            OpenFtpUrl(link, LocalFolder ? LocalFolder() : QString());
        close();
    } else if (OpenInBrowser) {
        OpenInBrowser(link);
    }
}

QStringList Tsearch::Keywords() const
{
    QStringList items;
    for (int i = 0; i < key->count(); ++i)
        items << key->itemText(i);
    return items;
}

void Tsearch::addKeyword(const QString &keyword)
{
    int at = 0;
    while (at < key->count() && !KeywordBefore(keyword, key->itemText(at)))
        ++at;
    key->insertItem(at, keyword);
}

void Tsearch::setKeywords(const QStringList &keywords)
{
    QStringList sorted = keywords;
    std::stable_sort(sorted.begin(), sorted.end(), KeywordBefore);
    const QString text = key->currentText();
    key->clear();
    key->addItems(sorted);
    key->setCurrentText(text);
}

void Tsearch::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void Tsearch::FormShow()
{
    const QString path = platform::SettingsFilePath(QStringLiteral("key.txt"));
    QStringList lines;
    // A missing history is a new installation's normal state; the next close writes it.
    if (!QFileInfo::exists(path)) {
        setKeywords(lines);
        return;
    }
    if (!platform::ReadAnsiTextFile(path, &lines)) {
        platform::ShowException(this, platform::Exception(QStringLiteral("Cannot open file %1").arg(path)));
        return;
    }
    setKeywords(lines);
}

void Tsearch::done(int result)
{
    FormClose();
    QDialog::done(result);
}

void Tsearch::FormClose()
{
    const QString path = platform::SettingsFilePath(QStringLiteral("key.txt"));
    if (!platform::WriteAnsiTextFile(path, Keywords()))
        platform::ShowException(this, platform::Exception(QStringLiteral("Cannot create file %1").arg(path)));
}
