// THttpCli against the scripted HTTP peer on loopback: what it sends, what it
// makes of the answers, redirects, aborts, failures and hostile answers.

#include "http_peer.h"

#include "search/httpprot.h"

#include <QBuffer>
#include <QJsonArray>
#include <QPointer>
#include <QTcpServer>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

// Every event of a client, in order.
struct Recorder {
    QStringList events;
    QList<int> chunkSizes;
    QList<QByteArray> commands;
    QList<THttpState> states;
    QList<QPair<int, int>> requestDone;

    explicit Recorder(THttpCli &http)
    {
        http.OnHeaderBegin = [this](QObject *) { events << u"HeaderBegin"_s; };
        http.OnHeaderData = [this](QObject *) { events << u"HeaderData"_s; };
        http.OnHeaderEnd = [this](QObject *) { events << u"HeaderEnd"_s; };
        http.OnDocBegin = [this](QObject *) { events << u"DocBegin"_s; };
        http.OnDocData = [this](QObject *, const char *, int length) {
            events << u"DocData"_s;
            chunkSizes << length;
        };
        http.OnDocEnd = [this](QObject *) { events << u"DocEnd"_s; };
        http.OnLocationChange = [this](QObject *) { events << u"LocationChange"_s; };
        http.OnCommand = [this](QObject *, const QByteArray &line) { commands << line; };
        http.OnStateChange = [this, &http](QObject *sender) {
            QCOMPARE(sender, &http);
            states << http.HttpState();
        };
        http.OnRequestDone = [this](QObject *, int type, int error) { requestDone.append({type, error}); };
    }
    int count(const QString &event) const { return int(events.count(event)); }
};

struct Outcome {
    bool raised = false;
    QString message;
    int code = 0;
};

Outcome RunGet(THttpCli &http)
{
    Outcome outcome;
    try {
        http.Get();
    } catch (const EHttpException &e) {
        outcome.raised = true;
        outcome.message = e.Message();
        outcome.code = e.ErrorCode();
    }
    return outcome;
}

QJsonArray Steps(std::initializer_list<QJsonObject> steps)
{
    QJsonArray array;
    for (const QJsonObject &step : steps)
        array.append(step);
    return array;
}

QJsonArray Answer(const QByteArray &bytes)
{
    return Steps({HttpPeer::Send(bytes)});
}

}  // namespace

class TestHttpCli : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void responseFields_data();
    void responseFields();
    void headerAndBodyInOnePacket();
    void emptyBody();
    void errorStatusClosesAfterStatusLine_data();
    void errorStatusClosesAfterStatusLine();
    void requestLines_data();
    void requestLines();
    void postAndHead();
    void throughProxy();
    void busyAndNothingToPost();
    void redirectChainToAnotherPort();
    void redirectLoopStopsAfterTwenty();
    void abortDuringLookup();
    void abortDuringSlowBody();
    void connectFailures_data();
    void connectFailures();
    void hostileAnswers_data();
    void hostileAnswers();
    void bodyFraming_data();
    void bodyFraming();
    void deletedInsideItsEvent_data();
    void deletedInsideItsEvent();

private:
    HttpPeer peer_;
};

void TestHttpCli::initTestCase()
{
    QString why;
    QVERIFY2(peer_.Start(&why), qPrintable(why));
}

void TestHttpCli::responseFields_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<qint64>("contentLength");
    QTest::addColumn<QString>("contentType");
    QTest::addColumn<QByteArray>("body");
    QTest::newRow("1.0 200 OK") << "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: 5\r\n\r\nhello"_ba
                                << 200 << u"OK"_s << qint64(5) << u"text/html"_s << "hello"_ba;
    QTest::newRow("no blank after the colon")
        << "HTTP/1.1 200 OK\r\nContent-Length:123\r\n\r\n" + QByteArray(123, 'x') << 200 << u"OK"_s << qint64(123)
        << u""_s << QByteArray(123, 'x');
    QTest::newRow("LF only, tab after the colon")
        << "HTTP/1.0 201 Created\nContent-Length:\t 7\nContent-Type:text/plain\n\nabcdefg"_ba << 201
        << u"Created"_s << qint64(7) << u"text/plain"_s << "abcdefg"_ba;
    QTest::newRow("body not cut at the length")
        << "HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nabcdef"_ba << 200 << u"OK"_s << qint64(2) << u""_s
        << "abcdef"_ba;
    QTest::newRow("length not a number") << "HTTP/1.0 200 OK\r\nContent-Length: lots\r\n\r\nz"_ba << 200 << u"OK"_s
                                         << qint64(-1) << u""_s << "z"_ba;
    QTest::newRow("no status line") << "Server: odd\r\n\r\nbody"_ba << 0 << u""_s << qint64(-1) << u""_s
                                    << "body"_ba;
    QTest::newRow("3xx without location") << "HTTP/1.0 304 Not Modified\r\n\r\n"_ba << 304 << u"Not Modified"_s
                                          << qint64(-1) << u""_s << ""_ba;
}

void TestHttpCli::responseFields()
{
    QFETCH(QByteArray, answer);
    QFETCH(int, status);
    QFETCH(QString, reason);
    QFETCH(qint64, contentLength);
    QFETCH(QString, contentType);
    QFETCH(QByteArray, body);
    peer_.SetRoutes({{u"/doc"_s, Answer(answer)}});
    THttpCli http;
    QBuffer stream;
    stream.open(QIODevice::ReadWrite);
    http.ReceiveStream = &stream;
    http.URL = peer_.BaseUrl() + u"/doc"_s;
    Outcome outcome = RunGet(http);
    QVERIFY(!outcome.raised);
    QCOMPARE(http.StatusCode, status);
    QCOMPARE(http.ReasonPhrase, reason);
    QCOMPARE(http.ContentLength, contentLength);
    QCOMPARE(http.ContentType, contentType);
    QCOMPARE(stream.data(), body);
    QCOMPARE(http.RcvdCount, body.size());
    QCOMPARE(http.HttpState(), THttpState::Ready);
}

void TestHttpCli::headerAndBodyInOnePacket()
{
    peer_.SetRoutes({{u"/one"_s, Answer("HTTP/1.0 200 OK\r\nA: b\r\n\r\nall at once")}});
    THttpCli http;
    Recorder recorder(http);
    // Cleared by the event loop's next turn: a chunk seen while it is still set
    // arrived in the same event as the end of the header.
    bool sameEvent = false;
    bool bodyInSameEvent = false;
    http.OnHeaderEnd = [&](QObject *) {
        sameEvent = true;
        QMetaObject::invokeMethod(&http, [&] { sameEvent = false; }, Qt::QueuedConnection);
    };
    http.OnDocData = [&](QObject *, const char *data, int length) {
        if (QByteArray(data, length) == "all at once")
            bodyInSameEvent = sameEvent;
    };
    http.URL = peer_.BaseUrl() + u"/one"_s;
    QVERIFY(!RunGet(http).raised);
    QVERIFY(bodyInSameEvent);
    QCOMPARE(recorder.events.first(), u"HeaderBegin"_s);
    QCOMPARE(recorder.count(u"HeaderData"_s), 2);
    QCOMPARE(http.ReceivedHeader, (QList<QByteArray>{"HTTP/1.0 200 OK", "A: b"}));
    QTRY_COMPARE_WITH_TIMEOUT(recorder.requestDone, (QList<QPair<int, int>>{{httpGET, 0}}), 5000);
    QCOMPARE(recorder.states,
             (QList<THttpState>{THttpState::Connecting, THttpState::Resolving, THttpState::Connecting,
                                THttpState::WaitingHeader, THttpState::WaitingBody, THttpState::Ready}));
}

void TestHttpCli::emptyBody()
{
    peer_.SetRoutes({{u"/empty"_s, Answer("HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n")}});
    THttpCli http;
    Recorder recorder(http);
    QBuffer stream;
    stream.open(QIODevice::ReadWrite);
    http.ReceiveStream = &stream;
    http.URL = peer_.BaseUrl() + u"/empty"_s;
    QVERIFY(!RunGet(http).raised);
    QTRY_COMPARE_WITH_TIMEOUT(recorder.requestDone.size(), 1, 5000);
    QCOMPARE(recorder.requestDone.first(), qMakePair(int(httpGET), 0));
    QCOMPARE(recorder.count(u"DocBegin"_s), 0);
    QCOMPARE(recorder.count(u"DocEnd"_s), 0);
    QCOMPARE(recorder.count(u"HeaderEnd"_s), 2);  // around the request header, and the response's
    QVERIFY(stream.data().isEmpty());
}

void TestHttpCli::errorStatusClosesAfterStatusLine_data()
{
    QTest::addColumn<QJsonArray>("steps");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");
    QTest::newRow("404 in one packet")
        << Answer("HTTP/1.0 404 Not Found\r\nContent-Type: text/html\r\n\r\n<html>missing</html>") << 404
        << u"Not Found"_s;
    // The server keeps the connection open after the status line: only the
    // client closing it can end the request.
    QTest::newRow("500 then silence") << Steps({HttpPeer::Send("HTTP/1.1 500 Internal Server Error\r\n"),
                                                HttpPeer::Hold(20000)})
                                      << 500 << u"Internal Server Error"_s;
}

void TestHttpCli::errorStatusClosesAfterStatusLine()
{
    QFETCH(QJsonArray, steps);
    QFETCH(int, code);
    QFETCH(QString, message);
    peer_.SetRoutes({{u"/missing"_s, steps}});
    THttpCli http;
    Recorder recorder(http);
    QBuffer stream;
    stream.open(QIODevice::ReadWrite);
    http.ReceiveStream = &stream;
    http.URL = peer_.BaseUrl() + u"/missing"_s;
    // Should the client wait for more, this abort ends it and no exception comes.
    QTimer::singleShot(3000, &http, [&] { http.Abort(); });
    Outcome outcome = RunGet(http);
    QVERIFY(outcome.raised);
    QCOMPARE(outcome.message, message);
    QCOMPARE(outcome.code, code);
    QCOMPARE(http.ReceivedHeader.size(), 1);
    QVERIFY(stream.data().isEmpty());
    QCOMPARE(recorder.count(u"DocBegin"_s), 0);
}

void TestHttpCli::requestLines_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("everything");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("the search's three lines")
        << u"/cgi-bin/search?f2=-&f5=-&query=abc%26d&hits=50"_s << false
        << "GET /cgi-bin/search?f2=-&f5=-&query=abc%26d&hits=50 HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n"_ba;
    QTest::newRow("empty path") << u""_s << false << "GET / HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n"_ba;
    QTest::newRow("blank and CR cannot break the line")
        << u"/a b\rX: y"_s << false << "GET /a%20b%0DX:%20y HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n"_ba;
    QTest::newRow("every optional line, in order")
        << u"/x"_s << true
        << "GET /x HTTP/1.0\r\n"
           "From: me@example.org\r\n"
           "Referer: http://ref/\r\n"
           "User-Agent: Tarvo\r\n"
           "Host: 127.0.0.1\r\n"
           "Pragma: no-cache\r\n"
           "If-Modified-Since: Tue, 05 Mar 2024 07:08:09 GMT\r\n"
           "Authorization: Basic dXNlcjpwYXNz\r\n"
           "Cookie: a=1\r\n"
           "\r\n"_ba;
}

void TestHttpCli::requestLines()
{
    QFETCH(QString, path);
    QFETCH(bool, everything);
    QFETCH(QByteArray, expected);
    peer_.SetRoutes({{u"*"_s, Answer("HTTP/1.0 200 OK\r\n\r\nok")}});
    qsizetype before = peer_.Requests().size();
    THttpCli http;
    Recorder recorder(http);
    http.URL = peer_.BaseUrl() + path;
    if (everything) {
        http.Sender = u"me@example.org"_s;
        http.Reference = u"http://ref/"_s;
        http.Agent = u"Tarvo"_s;
        http.NoCache = true;
        http.ModifiedSince = QDateTime(QDate(2024, 3, 5), QTime(7, 8, 9));
        http.Username = u"user"_s;
        http.Password = u"pass"_s;
        http.Cookie = u"a=1"_s;
        http.ProxyUsername = u"ignored without a proxy"_s;
    }
    QVERIFY(!RunGet(http).raised);
    QList<PeerRequest> requests = peer_.Requests();
    QCOMPARE(requests.size(), before + 1);
    QCOMPARE(requests.last().head, expected);
    // OnCommand saw each line as it was queued.
    QCOMPARE(recorder.commands.join("\r\n") + "\r\n", expected);
}

void TestHttpCli::postAndHead()
{
    peer_.SetRoutes({{u"*"_s, Answer("HTTP/1.0 200 OK\r\n\r\nthanks")}});
    THttpCli http;
    QByteArray payload;
    for (int i = 0; i < 20000; ++i)
        payload += char('a' + i % 26);
    QBuffer source(&payload);
    source.open(QIODevice::ReadOnly);
    source.seek(500);  // the whole stream is sent, wherever it stands
    QBuffer reply;
    reply.open(QIODevice::ReadWrite);
    http.SendStream = &source;
    http.ReceiveStream = &reply;
    QList<int> sendData;
    int sendBegin = 0, sendEnd = 0;
    http.OnSendBegin = [&](QObject *) { ++sendBegin; };
    http.OnSendData = [&](QObject *, const char *, int length) { sendData << length; };
    http.OnSendEnd = [&](QObject *) { ++sendEnd; };
    http.URL = peer_.BaseUrl() + u"/form"_s;
    http.Post();
    QCOMPARE(reply.data(), "thanks"_ba);
    PeerRequest request = peer_.Requests().last();
    QCOMPARE(request.head, "POST /form HTTP/1.0\r\nContent-Type: application/x-www-form-urlencoded\r\n"
                           "Host: 127.0.0.1\r\nContent-Length: 20000\r\n\r\n"_ba);
    QCOMPARE(request.body, payload);
    QCOMPARE(sendBegin, 1);
    QCOMPARE(sendEnd, 1);
    QCOMPARE(sendData, (QList<int>{8192, 8192, 3616}));

    http.SendStream = nullptr;
    http.URL = peer_.BaseUrl() + u"/h"_s;
    http.Head();
    QCOMPARE(peer_.Requests().last().head, "HEAD /h HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n"_ba);
}

void TestHttpCli::throughProxy()
{
    // The peer plays the proxy: it gets absolute addresses, the target's name
    // is never looked up, and a redirect stays with the proxy.
    peer_.SetRoutes({{u"http://target.invalid:8080/start"_s,
                      Answer("HTTP/1.0 302 Found\r\nLocation: /next?a=1\r\n\r\n")},
                     {u"http://target.invalid:8080/next"_s, Answer("HTTP/1.0 200 OK\r\n\r\nvia proxy")}});
    qsizetype before = peer_.Requests().size();
    THttpCli http;
    QBuffer stream;
    stream.open(QIODevice::ReadWrite);
    http.ReceiveStream = &stream;
    http.Proxy = u"127.0.0.1"_s;
    http.ProxyPort = QString::number(peer_.Port());
    http.ProxyUsername = u"pu"_s;
    http.ProxyPassword = u"pp"_s;
    http.URL = u"http://target.invalid:8080/start"_s;
    QVERIFY(!RunGet(http).raised);
    QCOMPARE(stream.data(), "via proxy"_ba);
    QList<PeerRequest> requests = peer_.Requests().mid(before);
    QCOMPARE(requests.size(), 2);
    QCOMPARE(requests[0].head, "GET http://target.invalid:8080/start HTTP/1.0\r\nHost: target.invalid\r\n"
                               "Proxy-Authorization: Basic cHU6cHA=\r\n\r\n"_ba);
    QCOMPARE(requests[1].target, u"http://target.invalid:8080/next?a=1"_s);
}

void TestHttpCli::busyAndNothingToPost()
{
    THttpCli http;
    Outcome post;
    try {
        http.Post();
    } catch (const EHttpException &e) {
        post = {true, e.Message(), e.ErrorCode()};
    }
    QCOMPARE(post.message, u"HTTP component has nothing to post"_s);
    QCOMPARE(post.code, 2);
    QCOMPARE(http.HttpState(), THttpState::Ready);

    peer_.SetRoutes({{u"/busy"_s, Answer("HTTP/1.0 200 OK\r\n\r\nbody")}});
    http.URL = peer_.BaseUrl() + u"/busy"_s;
    Outcome nested;
    http.OnDocData = [&](QObject *, const char *, int) { nested = RunGet(http); };
    QVERIFY(!RunGet(http).raised);
    QVERIFY(nested.raised);
    QCOMPARE(nested.message, u"HTTP component is busy"_s);
    QCOMPARE(nested.code, 1);
}

void TestHttpCli::redirectChainToAnotherPort()
{
    HttpPeer second;
    QString why;
    QVERIFY2(second.Start(&why), qPrintable(why));
    peer_.SetRoutes({{u"/start"_s, Answer("HTTP/1.0 302 Found\r\nLocation: http://127.0.0.1:"
                                          + QByteArray::number(second.Port()) + "/next\r\n\r\nignored")}});
    second.SetRoutes({
        {u"/next"_s, Answer("HTTP/1.1 301 Moved Permanently\r\nLocation:/dir/final?x=1\r\n\r\n")},
        {u"/dir/final"_s, Answer("HTTP/1.0 302 Found\r\nLocation: last.html\r\n\r\n")},
        {u"/dir/last.html"_s, Answer("HTTP/1.0 200 OK\r\n\r\narrived")},
    });
    qsizetype before = peer_.Requests().size();
    THttpCli http;
    Recorder recorder(http);
    QBuffer stream;
    stream.open(QIODevice::ReadWrite);
    http.ReceiveStream = &stream;
    http.URL = peer_.BaseUrl() + u"/start"_s;
    QVERIFY(!RunGet(http).raised);
    QCOMPARE(stream.data(), "arrived"_ba);
    QCOMPARE(http.StatusCode, 200);
    QCOMPARE(recorder.count(u"LocationChange"_s), 3);
    // Four request headers built, but the chain of responses counts as one header.
    QCOMPARE(recorder.count(u"HeaderBegin"_s), 5);
    QCOMPARE(http.ReceivedHeader.first(), "HTTP/1.0 302 Found"_ba);
    QCOMPARE(http.ReceivedHeader.last(), "HTTP/1.0 200 OK"_ba);
    QCOMPARE(http.ReceivedHeader.size(), 7);
    QCOMPARE(peer_.Requests().size(), before + 1);
    QList<PeerRequest> chain = second.Requests();
    QCOMPARE(chain.size(), 3);
    QCOMPARE(chain[0].target, u"/next"_s);
    QCOMPARE(chain[1].target, u"/dir/final?x=1"_s);
    QCOMPARE(chain[2].target, u"/dir/last.html"_s);
    QVERIFY(chain[2].head.contains("\r\nHost: 127.0.0.1\r\n"));
    QTRY_COMPARE_WITH_TIMEOUT(recorder.requestDone, (QList<QPair<int, int>>{{httpGET, 0}}), 5000);
}

void TestHttpCli::redirectLoopStopsAfterTwenty()
{
    peer_.SetRoutes({{u"/loop"_s, Answer("HTTP/1.0 302 Found\r\nLocation: /loop\r\n\r\n")}});
    qsizetype before = peer_.Requests().size();
    THttpCli http;
    Recorder recorder(http);
    http.URL = peer_.BaseUrl() + u"/loop"_s;
    Outcome outcome = RunGet(http);
    QVERIFY(outcome.raised);
    QCOMPARE(outcome.message, u"Too many redirections (more than 20)"_s);
    QCOMPARE(outcome.code, 404);
    QCOMPARE(recorder.count(u"LocationChange"_s), 20);
    QCOMPARE(peer_.Requests().size(), before + 21);
}

void TestHttpCli::abortDuringLookup()
{
    peer_.SetRoutes({{u"*"_s, Answer("HTTP/1.0 200 OK\r\n\r\nbody")}});
    qsizetype before = peer_.Requests().size();
    THttpCli http;
    Recorder recorder(http);
    QBuffer stream;
    stream.open(QIODevice::ReadWrite);
    http.ReceiveStream = &stream;
    http.OnStateChange = [&](QObject *) {
        recorder.states << http.HttpState();
        // Queued now, before the lookup can report: it runs while the lookup is out.
        if (http.HttpState() == THttpState::Resolving)
            QMetaObject::invokeMethod(&http, [&] { http.Abort(); }, Qt::QueuedConnection);
    };
    http.URL = u"http://localhost:%1/never"_s.arg(peer_.Port());
    Outcome outcome = RunGet(http);
    QVERIFY(!outcome.raised);  // 304 is below 400
    QCOMPARE(http.StatusCode, 304);
    QCOMPARE(http.ReasonPhrase, u"Connection aborted on request"_s);
    QCOMPARE(http.RequestDoneError, 3);
    QVERIFY(recorder.states.contains(THttpState::Aborting));
    QVERIFY(!recorder.states.contains(THttpState::WaitingHeader));
    QTRY_COMPARE_WITH_TIMEOUT(recorder.requestDone, (QList<QPair<int, int>>{{httpGET, 3}}), 5000);
    QCOMPARE(peer_.Requests().size(), before);
    QCOMPARE(http.CtrlSocket().State(), wsClosed);
}

void TestHttpCli::abortDuringSlowBody()
{
    peer_.SetRoutes({{u"/slow"_s, Steps({HttpPeer::Send("HTTP/1.0 200 OK\r\n\r\nfirst part\n"), HttpPeer::Sleep(20000),
                                         HttpPeer::Send("second part\n")})}});
    THttpCli http;
    Recorder recorder(http);
    QBuffer stream;
    stream.open(QIODevice::ReadWrite);
    http.ReceiveStream = &stream;
    http.OnDocData = [&](QObject *, const char *, int) {
        recorder.events << u"DocData"_s;
        QMetaObject::invokeMethod(&http, [&] { http.Abort(); }, Qt::QueuedConnection);
    };
    http.URL = peer_.BaseUrl() + u"/slow"_s;
    Outcome outcome = RunGet(http);
    QVERIFY(!outcome.raised);
    QCOMPARE(stream.data(), "first part\n"_ba);  // what had arrived is kept
    QCOMPARE(http.StatusCode, 304);
    QCOMPARE(recorder.count(u"DocEnd"_s), 1);
    QTRY_COMPARE_WITH_TIMEOUT(recorder.requestDone, (QList<QPair<int, int>>{{httpGET, 3}}), 5000);
    // Idle again: a second abort only closes what is open (nothing).
    http.Abort();
    QCOMPARE(http.HttpState(), THttpState::Ready);
}

void TestHttpCli::connectFailures_data()
{
    quint16 closedPort;
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        closedPort = probe.serverPort();
    }
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("doneError");
    QTest::newRow("closed port") << u"http://127.0.0.1:%1/"_s.arg(closedPort)
                                 << u"Connection refused (Error #10061)"_s << 10061;
    QTest::newRow("port zero") << u"http://127.0.0.1:0/"_s << u"can't connect: Invalid argument (Error #10022)"_s
                               << 10022;
    QTest::newRow("port not a number") << u"http://127.0.0.1:http/"_s
                                       << u"can't connect: Invalid argument (Error #10022)"_s << 10022;
    QTest::newRow("no host") << u"http:///x"_s << u"can't resolve hostname to IP address"_s << 0;
}

void TestHttpCli::connectFailures()
{
    QFETCH(QString, url);
    QFETCH(QString, message);
    QFETCH(int, doneError);
    THttpCli http;
    Recorder recorder(http);
    http.URL = url;
    Outcome outcome = RunGet(http);
    QVERIFY(outcome.raised);
    QCOMPARE(outcome.message, message);
    QCOMPARE(outcome.code, 404);
    QCOMPARE(http.RequestDoneError, doneError);
    QTRY_COMPARE_WITH_TIMEOUT(recorder.requestDone, (QList<QPair<int, int>>{{httpGET, doneError}}), 5000);
    QCOMPARE(http.HttpState(), THttpState::Ready);
}

void TestHttpCli::hostileAnswers_data()
{
    QTest::addColumn<QJsonArray>("steps");
    QTest::addColumn<QString>("message");
    QTest::newRow("header line longer than the buffer")
        << Answer("HTTP/1.0 200 OK\r\nX-Long: " + QByteArray(10000, 'a') + "\r\n\r\nbody")
        << u"Response header line too long (more than 8191 bytes)"_s;
    QTest::newRow("binary without line ends")
        << Steps({HttpPeer::Repeat(QByteArray(4096, '\x01'), -1, 0)})
        << u"Response header line too long (more than 8191 bytes)"_s;
    QTest::newRow("status code not a number") << Answer("HTTP/1.1 2x0 Odd\r\n\r\nbody")
                                              << u"Invalid status line in the response"_s;
    QTest::newRow("endless header") << Steps({HttpPeer::Send("HTTP/1.0 200 OK\r\n"),
                                              HttpPeer::Repeat("X-Filler: yyyyyyyyyyyyyyyy\r\n", -1, 0)})
                                    << u"Response header too large (more than 262144 bytes)"_s;
}

void TestHttpCli::hostileAnswers()
{
    QFETCH(QJsonArray, steps);
    QFETCH(QString, message);
    peer_.SetRoutes({{u"/bad"_s, steps}});
    THttpCli http;
    Recorder recorder(http);
    QBuffer stream;
    stream.open(QIODevice::ReadWrite);
    http.ReceiveStream = &stream;
    http.URL = peer_.BaseUrl() + u"/bad"_s;
    QTimer::singleShot(5000, &http, [&] { http.Abort(); });  // a stall would end as "aborted", failing below
    Outcome outcome = RunGet(http);
    QVERIFY(outcome.raised);
    QCOMPARE(outcome.message, message);
    QCOMPARE(outcome.code, 404);
    QVERIFY(stream.data().isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(recorder.requestDone.size(), 1, 5000);
}

void TestHttpCli::bodyFraming_data()
{
    QTest::addColumn<QJsonArray>("steps");
    QTest::addColumn<QString>("failure");  // empty: a normal return
    QTest::addColumn<QByteArray>("body");
    const QByteArray chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    QTest::newRow("cut before the length") << Answer("HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\nabc")
                                           << u"Document truncated: 3 of 10 bytes received"_s << "abc"_ba;
    QTest::newRow("chunked, complete") << Answer(chunked + "5\r\nhello\r\n3\r\nabc\r\n0\r\n\r\n") << QString()
                                       << "helloabc"_ba;
    QTest::newRow("chunked, split across reads, extension and trailer")
        << Steps({HttpPeer::Send(chunked + "4;x=y\r\nwi"), HttpPeer::Sleep(100),
                  HttpPeer::Send("ki\r\n1A\r\n" + QByteArray(26, 'z') + "\r\n0\r\nX-Sum: 1\r\n\r\n")})
        << QString() << "wiki" + QByteArray(26, 'z');
    QTest::newRow("chunked, no last chunk") << Answer(chunked + "5\r\nhello\r\n3\r\nabc")
                                            << u"Document truncated: the connection closed before the last chunk"_s
                                            << "helloabc"_ba;
    QTest::newRow("chunked, size not hexadecimal") << Answer(chunked + "5\r\nhello\r\nzz\r\n")
                                                   << u"Invalid chunked body in the response"_s << "hello"_ba;
    QTest::newRow("chunked, data longer than its size") << Answer(chunked + "2\r\nhello\r\n0\r\n\r\n")
                                                        << u"Invalid chunked body in the response"_s << "he"_ba;
    QTest::newRow("closed inside the header") << Answer("HTTP/1.0 200 OK\r\nContent-Le")
                                              << u"Connection closed before the end of the response header"_s
                                              << ""_ba;
}

void TestHttpCli::bodyFraming()
{
    QFETCH(QJsonArray, steps);
    QFETCH(QString, failure);
    QFETCH(QByteArray, body);
    peer_.SetRoutes({{u"/framed"_s, steps}});
    THttpCli http;
    Recorder recorder(http);
    QBuffer stream;
    stream.open(QIODevice::ReadWrite);
    http.ReceiveStream = &stream;
    http.URL = peer_.BaseUrl() + u"/framed"_s;
    Outcome outcome = RunGet(http);
    QCOMPARE(outcome.raised, !failure.isEmpty());
    QCOMPARE(outcome.message, failure);
    QCOMPARE(http.RequestDoneError, failure.isEmpty() ? 0 : int(httperrIncomplete));
    // What did arrive is kept, as for an abort.
    QCOMPARE(stream.data(), body);
    QTRY_COMPARE_WITH_TIMEOUT(recorder.requestDone.size(), 1, 5000);
}

void TestHttpCli::deletedInsideItsEvent_data()
{
    // Which event deletes the client, and the how-many-th of its kind.
    QTest::addColumn<QString>("event");
    QTest::addColumn<int>("nth");
    QTest::addColumn<int>("state");
    QTest::newRow("state Connecting (request starts)") << u"StateChange"_s << 1 << int(THttpState::Connecting);
    QTest::newRow("state Resolving") << u"StateChange"_s << 1 << int(THttpState::Resolving);
    QTest::newRow("state Connecting (lookup done)") << u"StateChange"_s << 2 << int(THttpState::Connecting);
    QTest::newRow("state WaitingHeader") << u"StateChange"_s << 1 << int(THttpState::WaitingHeader);
    QTest::newRow("state WaitingBody") << u"StateChange"_s << 1 << int(THttpState::WaitingBody);
    QTest::newRow("request header begins") << u"HeaderBegin"_s << 1 << -1;
    QTest::newRow("request line queued") << u"Command"_s << 1 << -1;
    QTest::newRow("response header begins") << u"HeaderBegin"_s << 2 << -1;
    QTest::newRow("response header line") << u"HeaderData"_s << 1 << -1;
    QTest::newRow("response header ends") << u"HeaderEnd"_s << 2 << -1;
    QTest::newRow("document begins") << u"DocBegin"_s << 1 << -1;
    QTest::newRow("document data") << u"DocData"_s << 1 << -1;
    QTest::newRow("document ends") << u"DocEnd"_s << 1 << -1;
    QTest::newRow("location change") << u"LocationChange"_s << 1 << -1;
}

void TestHttpCli::deletedInsideItsEvent()
{
    // A handler may end the client's life (for instance its window is closed
    // while the handler waits in a message box): nothing may touch it after.
    QFETCH(QString, event);
    QFETCH(int, nth);
    QFETCH(int, state);
    peer_.SetRoutes({{u"/moved"_s, Answer("HTTP/1.0 302 Found\r\nLocation: /doc\r\n\r\n")},
                     {u"/doc"_s, Answer("HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\nbody")}});
    auto *http = new THttpCli;
    QPointer<THttpCli> alive(http);
    int seen = 0;
    auto maybeDelete = [&](const QString &name) {
        if (name == event && ++seen == nth)
            delete http;
    };
    http->OnStateChange = [&](QObject *) {
        if (int(http->HttpState()) == state)
            maybeDelete(u"StateChange"_s);
    };
    http->OnCommand = [&](QObject *, const QByteArray &) { maybeDelete(u"Command"_s); };
    http->OnHeaderBegin = [&](QObject *) { maybeDelete(u"HeaderBegin"_s); };
    http->OnHeaderData = [&](QObject *) { maybeDelete(u"HeaderData"_s); };
    http->OnHeaderEnd = [&](QObject *) { maybeDelete(u"HeaderEnd"_s); };
    http->OnDocBegin = [&](QObject *) { maybeDelete(u"DocBegin"_s); };
    http->OnDocData = [&](QObject *, const char *, int) { maybeDelete(u"DocData"_s); };
    http->OnDocEnd = [&](QObject *) { maybeDelete(u"DocEnd"_s); };
    http->OnLocationChange = [&](QObject *) { maybeDelete(u"LocationChange"_s); };
    http->URL = peer_.BaseUrl() + u"/moved"_s;
    RunGet(*http);
    QVERIFY(alive.isNull());
    // Whatever the deleted client had queued must find nothing to run.
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

QTEST_GUILESS_MAIN(TestHttpCli)
#include "tst_httpcli.moc"
