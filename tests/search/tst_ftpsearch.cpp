// The search window offscreen against the scripted HTTP peer: the rows a
// result page gives, the keyword history file, stopping a slow query, HTTP
// failures, opening hits and the context menu.

#include "http_peer.h"

#include "search/ftpsearch.h"
#include "search/httpprot.h"
#include "search/search_result_model.h"
#include "search/url_label.h"

#include "platform/codepage.h"
#include "platform/folders.h"
#include "platform/tls_trust_store.h"
#include "scripted_dialogs.h"
#include "support/test_certificate.h"

#include <QComboBox>
#include <QFile>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStatusBar>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

const QString EngineHost = u"engine.example"_s;

QJsonArray Page(const QByteArray &html)
{
    return QJsonArray{HttpPeer::Send("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n" + html)};
}

struct Row {
    QString size, time, link;
    int icon;
    bool operator==(const Row &) const = default;
};

QList<Row> RowsOf(const Tsearch &window)
{
    QList<Row> rows;
    const QAbstractItemModel *model = window.ListView1->model();
    for (int r = 0; r < model->rowCount(); ++r) {
        rows.append({model->index(r, 0).data().toString(), model->index(r, 1).data().toString(),
                     model->index(r, 2).data().toString(),
                     model->index(r, 0).data(SearchResultModel::IconIndexRole).toInt()});
    }
    return rows;
}

}  // namespace

namespace QTest {
template <>
char *toString(const Row &row)
{
    return qstrdup(qPrintable(u"(%1 | %2 | %3 | icon %4)"_s.arg(row.size, row.time, row.link).arg(row.icon)));
}
}  // namespace QTest

class TestFtpSearch : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void resultPageGivesItsRows();
    void emptyKeywordDoesNothing();
    void historyFileRoundTrip();
    void missingHistoryFile();
    void secondPressStopsSlowQuery();
    void httpFailures_data();
    void httpFailures();
    void httpsEngine_data();
    void httpsEngine();
    void openingHits();
    void contextMenu();
    void detailsShowTextAsCut();
    void endlessAnswerIsCut();

private:
    std::unique_ptr<Tsearch> makeWindow(quint16 port);
    void runQuery(Tsearch &window, const QString &keyword);

    HttpPeer peer_;
    std::unique_ptr<HttpPeer> tlsPeer_;  // https, with tlsCertificate_
    testsupport::TestCertificate tlsCertificate_;
    QTemporaryDir certificateFolder_;
    std::unique_ptr<QTemporaryDir> settings_;
    std::unique_ptr<ScopedScriptedDialogs> dialogs_;
};

void TestFtpSearch::initTestCase()
{
    QString why;
    QVERIFY2(peer_.Start(&why), qPrintable(why));
    if (!testsupport::CanMakeCertificates(&why))
        return;
    QVERIFY2(testsupport::MakeSelfSignedCertificate(certificateFolder_.path(), u"engine"_s, u"127.0.0.1"_s,
                                                    {u"subjectAltName=IP:127.0.0.1"_s}, &tlsCertificate_, &why),
             qPrintable(why));
    tlsPeer_ = std::make_unique<HttpPeer>();
    QVERIFY2(tlsPeer_->StartTls(tlsCertificate_.certificateFile, tlsCertificate_.keyFile, &why), qPrintable(why));
}

void TestFtpSearch::init()
{
    settings_ = std::make_unique<QTemporaryDir>();
    platform::SetSettingsFolderOverride(settings_->path());
    // An empty history to start from, as the program leaves it after its first close.
    QVERIFY(platform::WriteAnsiTextFile(platform::SettingsFilePath(u"key.txt"_s), {}));
    dialogs_ = std::make_unique<ScopedScriptedDialogs>();
}

void TestFtpSearch::cleanup()
{
    dialogs_.reset();
    platform::SetSettingsFolderOverride(QString());
    settings_.reset();
}

std::unique_ptr<Tsearch> TestFtpSearch::makeWindow(quint16 port)
{
    auto window = std::make_unique<Tsearch>(nullptr, SearchEngine{u"127.0.0.1:%1"_s.arg(port), EngineHost});
    window->OpenInBrowser = [](const QString &) { QFAIL("no browser in this test"); };
    window->show();
    return window;
}

void TestFtpSearch::runQuery(Tsearch &window, const QString &keyword)
{
    window.key->setCurrentText(keyword);
    window.sendbutton->click();  // returns when the query has ended
}

void TestFtpSearch::resultPageGivesItsRows()
{
    const QByteArray page =
        "<HTML><HEAD><TITLE>FTP search</TITLE></HEAD><BODY>\r\n"
        "<P>Found 7 hits</P>\n"
        "<B>1024</B> 2024-01-02 <A HREF=\"ftp://ftp.a.org/pub/x.zip\">x.zip</A>\r\n"
        "<B>77</B>Jan 5<A HREF=\"/cgi-bin/search?next=1&amp;hits=50\">more</A>\r\n"
        "<B>5 KB</B>1999<A HREF=\"http://www.b.org/y.html\">y</A>\r\n"
        "<B>300</B>t<A HREF=\"ftp://h/dir/\">dir</A>/<A HREF=\"ftp://h/dir/file.txt\">file.txt</A>\r\n"
        "<b>lower case is no hit</b>\r\n"
        "<B>9</B> no link on this line\r\n"
        "<B>1</B>t<A HREF=\"FTP://H/UP.TXT\">UP</A>\r\n"
        "</BODY></HTML>";
    peer_.SetRoutes({{u"/cgi-bin/search"_s, Page(page)}});
    qsizetype before = peer_.Requests().size();
    auto window = makeWindow(peer_.Port());
    QSignalSpy status(window->StatusBar1, &QStatusBar::messageChanged);

    runQuery(*window, u"a b&c"_s);

    QList<PeerRequest> requests = peer_.Requests();
    QCOMPARE(requests.size(), before + 1);
    QCOMPARE(requests.last().head, "GET /cgi-bin/search?f2=-&f5=-&query=a%20b%26c&hits=50 HTTP/1.0\r\n"
                                   "Host: 127.0.0.1\r\n\r\n"_ba);
    const QList<Row> expected = {
        {u"1024"_s, u" 2024-01-02 "_s, u"ftp://ftp.a.org/pub/x.zip"_s, 0},
        {u"77"_s, u"Jan 5"_s, u"http://engine.example/cgi-bin/search?next=1&hits=50"_s, 1},
        {u"5 KB"_s, u"1999"_s, u"http://engine.examplehttp://www.b.org/y.html"_s, 1},
        {u"300"_s, u"t"_s, u"ftp://h/dir/file.txt"_s, 0},
        {u"9"_s, u""_s, u"http://engine.example"_s, 1},
        {u"1"_s, u"t"_s, u"FTP://H/UP.TXT"_s, 0},
    };
    QCOMPARE(RowsOf(*window), expected);
    QCOMPARE(window->DisplayMemo.size(), 10);
    QCOMPARE(window->sendbutton->text(), u"查询"_s);
    QVERIFY((*dialogs_)->Calls().isEmpty());

    QTRY_COMPARE_WITH_TIMEOUT(window->StatusBar1->currentMessage(), u"查询结束"_s, 5000);
    QStringList shown;
    for (const QList<QVariant> &args : status)
        shown << args.first().toString();
    QCOMPARE(shown.first(), u"正在发送查询请求....."_s);
    QCOMPARE(shown.at(1), u"发送查询请求....."_s);
    QVERIFY(shown.at(2).startsWith(u"返回数据: "_s));
    QVERIFY(shown.at(2).endsWith(u" 字节"_s));
    QVERIFY(shown.contains(u"返回数据: %1 字节"_s.arg(page.size())) || shown.size() > 4);
    QCOMPARE(shown.last(), u"查询结束"_s);

    if (qEnvironmentVariableIsSet("TARVO_SCREENSHOT_DIR")) {
        window->ListView1->setCurrentIndex(window->ListView1->model()->index(0, 0));
        window->grab().save(qEnvironmentVariable("TARVO_SCREENSHOT_DIR") + u"/search.png"_s);
    }
}

void TestFtpSearch::emptyKeywordDoesNothing()
{
    qsizetype before = peer_.Requests().size();
    auto window = makeWindow(peer_.Port());
    runQuery(*window, QString());
    QCOMPARE(window->StatusBar1->currentMessage(), QString());
    QCOMPARE(window->sendbutton->text(), u"查询"_s);
    QVERIFY(window->Keywords().isEmpty());
    QCOMPARE(peer_.Requests().size(), before);
}

void TestFtpSearch::historyFileRoundTrip()
{
    const QString keyFile = platform::SettingsFilePath(u"key.txt"_s);
    QVERIFY(platform::WriteAnsiTextFile(keyFile, {u"zeta"_s, u"中文"_s, u"Alpha"_s}));
    peer_.SetRoutes({{u"/cgi-bin/search"_s, Page("<P>nothing found</P>\r\n")}});
    auto window = makeWindow(peer_.Port());
    QCOMPARE(window->Keywords(), (QStringList{u"Alpha"_s, u"zeta"_s, u"中文"_s}));  // the box sorts

    runQuery(*window, u"beta"_s);
    runQuery(*window, u"beta"_s);  // once in the history
    qsizetype before = peer_.Requests().size();
    window->key->setCurrentText(u"BETA"_s);  // differs in case: again
    QTest::keyClick(window->key->lineEdit(), Qt::Key_Return);  // Enter presses the query button, once
    QCOMPARE(peer_.Requests().size(), before + 1);
    QVERIFY(RowsOf(*window).isEmpty());
    QCOMPARE(window->Keywords(), (QStringList{u"Alpha"_s, u"BETA"_s, u"beta"_s, u"zeta"_s, u"中文"_s}));

    window->BitBtn2->click();  // cancel: hides and writes the history
    QVERIFY(!window->isVisible());
    QFile file(keyFile);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), "Alpha\r\nBETA\r\nbeta\r\nzeta\r\n" + platform::EncodeAnsi(u"中文"_s) + "\r\n");
    file.close();

    // Read again at the next show: edits made meanwhile are seen.
    QVERIFY(platform::WriteAnsiTextFile(keyFile, {u"only"_s}));
    window->show();
    QCOMPARE(window->Keywords(), QStringList{u"only"_s});
    window->close();  // the close box writes it too
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), "only\r\n"_ba);
    QVERIFY((*dialogs_)->Calls().isEmpty());
}

void TestFtpSearch::missingHistoryFile()
{
    const QString keyFile = platform::SettingsFilePath(u"key.txt"_s);
    QVERIFY(QFile::remove(keyFile));
    auto window = makeWindow(peer_.Port());
    QVERIFY(window->isVisible());
    QVERIFY((*dialogs_)->Calls().isEmpty());  // a first start is no error
    QVERIFY(window->Keywords().isEmpty());
    window->key->setCurrentText(u"typed"_s);
    window->close();
    QVERIFY(QFile::exists(keyFile));  // the next close creates it
}

void TestFtpSearch::secondPressStopsSlowQuery()
{
    peer_.SetRoutes({{u"/cgi-bin/search"_s,
                      QJsonArray{HttpPeer::Send("HTTP/1.0 200 OK\r\n\r\n<B>1</B>a<A HREF=\"ftp://h/one\">1</A>\r\n"
                                                "<B>7</B>cut<A HREF=\"ftp://h/cu"),
                                 HttpPeer::Sleep(20000),
                                 HttpPeer::Send("t\">2</A>\r\n<B>8</B>b<A HREF=\"ftp://h/late\">3</A>\r\n")}}});
    auto window = makeWindow(peer_.Port());
    bool pressed = false;
    QString captionWhileRunning;
    // When the first data is in, press the button again (from inside the running query).
    connect(window->StatusBar1, &QStatusBar::messageChanged, window.get(), [&](const QString &text) {
        if (pressed || !text.startsWith(u"返回数据"_s))
            return;
        pressed = true;
        QTimer::singleShot(0, window.get(), [&] {
            captionWhileRunning = window->sendbutton->text();
            window->sendbutton->click();
        });
    });
    QTimer::singleShot(5000, window.get(), [&] { window->HttpCli1->Abort(); });  // a safety net only
    runQuery(*window, u"slow"_s);
    QVERIFY(pressed);
    QCOMPARE(captionWhileRunning, u"停止"_s);
    QCOMPARE(window->sendbutton->text(), u"查询"_s);
    // The partial page is parsed, its cut-off last line included.
    QCOMPARE(RowsOf(*window), (QList<Row>{{u"1"_s, u"a"_s, u"ftp://h/one"_s, 0},
                                          {u"7"_s, u"cut"_s, u"http://engine.example"_s, 1}}));
    QCOMPARE(window->HttpCli1->StatusCode, 304);
    QVERIFY((*dialogs_)->Calls().isEmpty());  // an abort is no failure
    QTRY_COMPARE_WITH_TIMEOUT(window->StatusBar1->currentMessage(), u"查询结束"_s, 5000);
}

void TestFtpSearch::httpFailures_data()
{
    quint16 closedPort;
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        closedPort = probe.serverPort();
    }
    const QByteArray row = "<B>1</B>x<A HREF=\"ftp://h/x\">x</A>\r\n";
    QTest::addColumn<QString>("address");  // the engine address set; empty: the peer
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("status");
    QTest::newRow("server says 404") << QString() << "HTTP/1.0 404 Not Found\r\n\r\n" + row << u"Not Found"_s
                                     << u"查询结束"_s;
    QTest::newRow("nobody listening") << u"127.0.0.1:%1"_s.arg(closedPort) << QByteArray()
                                      << u"Connection refused (Error #10061)"_s << u"查询结束"_s;
    QTest::newRow("page cut before its length")
        << QString() << "HTTP/1.0 200 OK\r\nContent-Length: 500\r\n\r\n" + row
        << u"Document truncated: %1 of 500 bytes received"_s.arg(row.size()) << u"查询结束"_s;
    QTest::newRow("reserved default engine") << u"ftpsearch.tarvo.example"_s << QByteArray()
                                             << u"还没有设置 FTP 搜索引擎的地址"_s << u"没有设置搜索引擎地址"_s;
}

void TestFtpSearch::httpFailures()
{
    QFETCH(QString, address);
    QFETCH(QByteArray, answer);
    QFETCH(QString, message);
    QFETCH(QString, status);
    peer_.SetRoutes({{u"/cgi-bin/search"_s, QJsonArray{HttpPeer::Send(answer)}}});
    const qsizetype before = peer_.Requests().size();
    auto window = makeWindow(peer_.Port());
    if (!address.isEmpty())
        window->EngineAddress = [address] { return address; };
    runQuery(*window, u"anything"_s);
    const QList<ScriptedDialogs::Call> calls = (*dialogs_)->Calls();
    QCOMPARE(calls.size(), 1);
    QVERIFY2(calls.first().text.startsWith(message), qPrintable(calls.first().text));
    QCOMPARE(calls.first().buttons, platform::Dialogs::OkOnly);
    QVERIFY(RowsOf(*window).isEmpty());
    QCOMPARE(window->sendbutton->text(), u"查询"_s);
    QTRY_COMPARE_WITH_TIMEOUT(window->StatusBar1->currentMessage(), status, 5000);
    if (address.endsWith(u".example"_s))
        QCOMPARE(peer_.Requests().size(), before);  // explained, not looked up
}

void TestFtpSearch::httpsEngine_data()
{
    QTest::addColumn<bool>("redirected");  // through the plain peer, or the https address set directly
    QTest::addColumn<int>("answer");       // to the certificate question
    QTest::addColumn<int>("rows");
    QTest::newRow("redirect, accepted once") << true << int(platform::Dialogs::AcceptCertificateOnce) << 1;
    QTest::newRow("redirect, always trusted") << true << int(platform::Dialogs::TrustCertificateAlways) << 1;
    QTest::newRow("redirect, rejected") << true << int(platform::Dialogs::RejectCertificate) << 0;
    QTest::newRow("https address, accepted once") << false << int(platform::Dialogs::AcceptCertificateOnce) << 1;
    QTest::newRow("https address, rejected") << false << int(platform::Dialogs::RejectCertificate) << 0;
}

void TestFtpSearch::httpsEngine()
{
    QFETCH(bool, redirected);
    QFETCH(int, answer);
    QFETCH(int, rows);
    if (!tlsPeer_)
        QSKIP("openssl cannot make the test certificate here");
    const QString secureEngine = u"https://127.0.0.1:%1"_s.arg(tlsPeer_->Port());
    peer_.SetRoutes({{u"/cgi-bin/search"_s,
                      QJsonArray{HttpPeer::Send("HTTP/1.0 302 Found\r\nLocation: " + secureEngine.toLatin1()
                                                + "/cgi-bin/search?moved=1\r\n\r\n")}}});
    tlsPeer_->SetRoutes({{u"/cgi-bin/search"_s, Page("<B>42</B>t<A HREF=\"/file/a.zip\">a</A>\r\n")}});
    const qsizetype served = tlsPeer_->Requests().size();
    auto window = makeWindow(peer_.Port());
    if (!redirected)
        window->EngineAddress = [secureEngine] { return secureEngine; };
    (*dialogs_)->QueueCertificate(platform::Dialogs::CertificateAnswer(answer));
    runQuery(*window, u"anything"_s);

    const QList<ScriptedDialogs::Call> asked = (*dialogs_)->CallsOf(ScriptedDialogs::AskCertificateKind);
    QCOMPARE(asked.size(), 1);
    QCOMPARE(asked.first().caption, u"127.0.0.1:%1"_s.arg(tlsPeer_->Port()));
    QCOMPARE(asked.first().initial, tlsCertificate_.sha256);
    QCOMPARE(RowsOf(*window).size(), rows);
    QCOMPARE(tlsPeer_->Requests().size(), served + rows);  // a rejected server never sees the request
    const QList<ScriptedDialogs::Call> boxes = (*dialogs_)->CallsOf(ScriptedDialogs::MessageBoxKind);
    if (rows == 0) {
        QCOMPARE(boxes.size(), 1);
        QVERIFY2(boxes.first().text.startsWith(u"The certificate of 127.0.0.1 was not accepted"_s),
                 qPrintable(boxes.first().text));
    } else {
        QVERIFY(boxes.isEmpty());
        // Relative links of an https engine keep the scheme.
        QCOMPARE(RowsOf(*window).first().link,
                 (redirected ? u"http://engine.example"_s : secureEngine) + u"/file/a.zip"_s);
    }

    // Always trusted: stored, and the next query asks nothing.
    (*dialogs_)->ClearCalls();
    const bool trusted = answer == platform::Dialogs::TrustCertificateAlways;
    QCOMPARE(platform::TlsTrustStore().IsTrusted(asked.first().caption, tlsCertificate_.sha256), trusted);
    runQuery(*window, u"again"_s);
    QCOMPARE((*dialogs_)->CallsOf(ScriptedDialogs::AskCertificateKind).size(), trusted ? 0 : 1);
}

void TestFtpSearch::openingHits()
{
    peer_.SetRoutes({{u"/cgi-bin/search"_s, Page("<B>10</B>t1<A HREF=\"http://www.c.org/p\">p</A>\r\n"
                                                 "<B>20</B>t2<A HREF=\"ftp://h/pub/f.bin\">f</A>\r\n")}});
    auto window = makeWindow(peer_.Port());
    QStringList browsed;
    QList<QStringList> opened;
    window->OpenInBrowser = [&](const QString &link) { browsed << link; };
    window->OpenFtpUrl = [&](const QString &link, const QString &folder) { opened.append({link, folder}); };
    window->LocalFolder = [] { return u"/home/user/downloads"_s; };
    runQuery(*window, u"hits"_s);
    QCOMPARE(RowsOf(*window).size(), 2);
    QCOMPARE(window->url->text(), u"ftp://"_s);

    // A web hit: the browser gets it and the window stays.
    window->ListView1->setCurrentIndex(window->ListView1->model()->index(0, 2));
    QCOMPARE(window->Label4->text(), u"10"_s);
    QCOMPARE(window->Label6->text(), u"t1"_s);
    QCOMPARE(window->url->text(), u"http://engine.examplehttp://www.c.org/p"_s);
    window->ListView1DblClick();
    QCOMPARE(browsed, QStringList{u"http://engine.examplehttp://www.c.org/p"_s});
    QVERIFY(opened.isEmpty());
    QVERIFY(window->isVisible());

    // An FTP hit: handed to the engine with the local pane's folder; the window closes.
    window->ListView1->setCurrentIndex(window->ListView1->model()->index(1, 0));
    QCOMPARE(window->url->text(), u"ftp://h/pub/f.bin"_s);
    window->N1->trigger();
    QCOMPARE(opened, (QList<QStringList>{{u"ftp://h/pub/f.bin"_s, u"/home/user/downloads"_s}}));
    QVERIFY(!window->isVisible());
    QCOMPARE(browsed.size(), 1);
    QFile keyFile(platform::SettingsFilePath(u"key.txt"_s));
    QVERIFY(keyFile.open(QIODevice::ReadOnly));
    QCOMPARE(keyFile.readAll(), "hits\r\n"_ba);  // closing after the hit wrote the history

    // The link label opens what it shows; the list and details kept their contents.
    window->show();
    QCOMPARE(RowsOf(*window).size(), 2);
    QTest::mouseDClick(window->url, Qt::LeftButton);
    QCOMPARE(opened.size(), 2);
    QCOMPARE(opened.last().first(), u"ftp://h/pub/f.bin"_s);
    QVERIFY(!window->isVisible());
}

void TestFtpSearch::contextMenu()
{
    peer_.SetRoutes({{u"/cgi-bin/search"_s, Page("<B>1</B>a<A HREF=\"ftp://h/a\">a</A>\r\n"
                                                 "<B>2</B>b<A HREF=\"ftp://h/b\">b</A>\r\n")}});
    auto window = makeWindow(peer_.Port());
    runQuery(*window, u"menu"_s);
    window->PopupMenu1Popup();
    QVERIFY(!window->N1->isEnabled());
    QVERIFY(!window->N2->isEnabled());
    window->ListView1->setCurrentIndex(window->ListView1->model()->index(0, 0));
    window->PopupMenu1Popup();
    QVERIFY(window->N1->isEnabled());
    QVERIFY(window->N2->isEnabled());
    window->N2->trigger();
    QCOMPARE(RowsOf(*window), (QList<Row>{{u"2"_s, u"b"_s, u"ftp://h/b"_s, 0}}));
    // The details panel is not cleared by a new query.
    window->ListView1->setCurrentIndex(window->ListView1->model()->index(0, 0));
    runQuery(*window, u"menu"_s);
    QCOMPARE(window->Label4->text(), u"2"_s);
    QCOMPARE(RowsOf(*window).size(), 2);
}

void TestFtpSearch::detailsShowTextAsCut()
{
    // Markup inside a hit's texts is part of the text: the details panel shows
    // it as it stands instead of rendering it.
    peer_.SetRoutes({{u"/cgi-bin/search"_s,
                      Page("<B><I>7</I></B><U>time</U><A HREF=\"ftp://h/<I>x</I>\">x</A>\r\n")}});
    auto window = makeWindow(peer_.Port());
    runQuery(*window, u"markup"_s);
    QCOMPARE(RowsOf(*window).size(), 1);
    window->ListView1->setCurrentIndex(window->ListView1->model()->index(0, 0));
    const QList<QLabel *> labels = {window->Label4, window->Label6, window->url};
    const QStringList texts = {u"<I>7</I>"_s, u"<U>time</U>"_s, u"ftp://h/<I>x</I>"_s};
    for (qsizetype i = 0; i < labels.size(); ++i) {
        QCOMPARE(labels[i]->text(), texts[i]);
        QLabel plain;
        plain.setFont(labels[i]->font());
        plain.setTextFormat(Qt::PlainText);
        plain.setText(texts[i]);
        QCOMPARE(labels[i]->sizeHint().width(), plain.sizeHint().width());
    }
}

void TestFtpSearch::endlessAnswerIsCut()
{
    const QByteArray line = "<B>1</B>x<A HREF=\"ftp://h/f\">f</A>\r\n";
    peer_.SetRoutes({{u"/cgi-bin/search"_s, QJsonArray{HttpPeer::Send("HTTP/1.0 200 OK\r\n\r\n"),
                                                        HttpPeer::Repeat(line.repeated(2000), -1, 0)}}});
    auto window = makeWindow(peer_.Port());
    QTimer::singleShot(20000, window.get(), [&] { window->HttpCli1->Abort(); });  // a safety net only
    runQuery(*window, u"endless"_s);
    // Exactly the first 16 MiB are kept and cut into rows.
    const qint64 cap = Tsearch::MaxPageBytes;
    const qint64 whole = cap / line.size();
    const qint64 rest = cap % line.size();
    const qint64 expected = whole + (rest >= 3 ? 1 : 0);
    QCOMPARE(window->ListView1->model()->rowCount(), int(expected));
    QCOMPARE(window->HttpCli1->StatusCode, 304);
    QVERIFY((*dialogs_)->Calls().isEmpty());
}

QTEST_MAIN(TestFtpSearch)
#include "tst_ftpsearch.moc"
