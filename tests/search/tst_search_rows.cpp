// Cutting hits out of result lines, the query address, and the page's lines.

#include "search/search_query.h"
#include "search/search_rows.h"

#include "platform/codepage.h"

#include <QtTest>

using namespace Qt::StringLiterals;

class TestSearchRows : public QObject {
    Q_OBJECT
private slots:
    void cutRow_data();
    void cutRow();
    void hostileLines();
    void queryUrl_data();
    void queryUrl();
    void pageLines();
};

static const QString Host = u"engine.example"_s;

void TestSearchRows::cutRow_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("size");
    QTest::addColumn<QString>("time");
    QTest::addColumn<QString>("link");
    QTest::addColumn<bool>("ftp");
    QTest::newRow("ftp link") << uR"(<B>1024</B> 2024-01-02 <A HREF="ftp://host/pub/a.zip">a.zip</A>)"_s << u"1024"_s
                              << u" 2024-01-02 "_s << u"ftp://host/pub/a.zip"_s << true;
    QTest::newRow("text around is kept as is")
        << uR"(  <LI><B> 3 KB </B>  Jan 5  <A HREF="ftp://h/x">x</A> trailing)"_s << u" 3 KB "_s << u"  Jan 5  "_s
        << u"ftp://h/x"_s << true;
    QTest::newRow("relative web link") << uR"(<B>5</B>t<A HREF="/cgi-bin/x?y=1">y</A>)"_s << u"5"_s << u"t"_s
                                       << u"http://engine.example/cgi-bin/x?y=1"_s << false;
    QTest::newRow("absolute web link gets the host too")
        << uR"(<B>5</B>t<A HREF="http://www.site/f">f</A>)"_s << u"5"_s << u"t"_s
        << u"http://engine.examplehttp://www.site/f"_s << false;
    QTest::newRow("ampersand entity") << uR"(<B>1</B>t<A HREF="ftp://h/a?x=1&amp;y=2&amp;amp;z">q</A>)"_s << u"1"_s
                                      << u"t"_s << u"ftp://h/a?x=1&y=2&z"_s << true;
    QTest::newRow("amp; made by removing one") << uR"(<B>1</B>t<A HREF="ftp://h/aamp;mp;b">q</A>)"_s << u"1"_s
                                               << u"t"_s << u"ftp://h/b"_s << true;
    QTest::newRow("capital FTP scheme") << uR"(<B>1</B>t<A HREF="FTP://H/x">x</A>)"_s << u"1"_s << u"t"_s
                                        << u"FTP://H/x"_s << true;
    QTest::newRow("ftp: without slashes is a web link")
        << uR"(<B>1</B>t<A HREF="ftp:x">x</A>)"_s << u"1"_s << u"t"_s << u"http://engine.exampleftp:x"_s << false;
    QTest::newRow("two links, slash before the second")
        << uR"(<B>9</B>t<A HREF="ftp://h/dir/">dir</A>/<A HREF="ftp://h/dir/file">file</A>)"_s << u"9"_s << u"t"_s
        << u"ftp://h/dir/file"_s << true;
    QTest::newRow("two links, slash before the first")
        << uR"(<B>9</B>t/<A HREF="ftp://h/one">1</A> <A HREF="ftp://h/two">2</A>)"_s << u"9"_s << u"t/"_s
        << u"ftp://h/two"_s << true;
    QTest::newRow("two links, no slash") << uR"(<B>9</B>t<A HREF="ftp://h/one">1</A> <A HREF="ftp://h/two">2</A>)"_s
                                         << u"9"_s << u"t"_s << u"ftp://h/one"_s << true;
    QTest::newRow("only <B>") << u"<B>only size"_s << u""_s << u""_s << u"http://engine.example"_s << false;
    QTest::newRow("no link") << u"<B>12</B>when"_s << u"12"_s << u""_s << u"http://engine.example"_s << false;
    QTest::newRow("unclosed link") << uR"(<B>1</B>t<A HREF="ftp://h/x)"_s << u"1"_s << u"t"_s
                                   << u"http://engine.example"_s << false;
    QTest::newRow("markers backwards") << u"</B>x<B>"_s << u""_s << u""_s << u"http://engine.example"_s << false;
    QTest::newRow("slash-A without a link") << u"<B>1</B>x/<A"_s << u"1"_s << u""_s << u"http://engine.example"_s
                                            << false;
    QTest::newRow("Chinese text") << uR"(<B>3 KB</B>2024年1月<A HREF="ftp://h/中文.txt">x</A>)"_s << u"3 KB"_s
                                  << u"2024年1月"_s << u"ftp://h/中文.txt"_s << true;
}

void TestSearchRows::cutRow()
{
    QFETCH(QString, line);
    QFETCH(QString, size);
    QFETCH(QString, time);
    QFETCH(QString, link);
    QFETCH(bool, ftp);
    SearchHit hit = CutResultRow(line, Host);
    QCOMPARE(hit.Size, size);
    QCOMPARE(hit.Time, time);
    QCOMPARE(hit.Link, link);
    QCOMPARE(hit.Ftp, ftp);
}

void TestSearchRows::hostileLines()
{
    // A million entities: removing them one at a time from the front would
    // move megabytes a million times over; this must finish at once.
    QString entities = u"<B>1</B>t<A HREF=\"ftp://h/"_s + u"amp;"_s.repeated(1000000) + u"x\">x</A>"_s;
    QCOMPARE(CutResultRow(entities, Host).Link, u"ftp://h/x"_s);

    // Markers in every order and overlap: whatever the line, a row and no crash.
    const QStringList pieces = {u"<B>"_s, u"</B>"_s, u"<A HREF=\""_s, u"\">"_s, u"</A>"_s, u"/<A"_s, u"amp;"_s, u"x"_s};
    for (int mask = 0; mask < 1 << 12; ++mask) {
        QString line;
        for (int i = 0; i < 4; ++i)
            line += pieces[(mask >> (3 * i)) & 7];
        SearchHit hit = CutResultRow(line, Host);
        QVERIFY(hit.Size.size() <= line.size());
        QVERIFY(hit.Ftp || hit.Link.startsWith(u"http://engine.example"_s));
    }
}

void TestSearchRows::queryUrl_data()
{
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<QString>("query");
    QTest::newRow("plain") << u"abc"_s << u"abc"_s;
    QTest::newRow("blank and ampersand") << u"a b&c"_s << u"a%20b%26c"_s;
    QTest::newRow("unreserved stay") << u"x-y._~Z9"_s << u"x-y._~Z9"_s;
    QTest::newRow("percent, hash, plus, equals") << u"100%#+="_s << u"100%25%23%2B%3D"_s;
    QTest::newRow("Chinese as UTF-8") << u"中文"_s << u"%E4%B8%AD%E6%96%87"_s;
}

void TestSearchRows::queryUrl()
{
    QFETCH(QString, keyword);
    QFETCH(QString, query);
    QCOMPARE(SearchQueryURL(u"127.0.0.1:8080"_s, keyword, u"50"_s),
             u"http://127.0.0.1:8080/cgi-bin/search?f2=-&f5=-&query="_s + query + u"&hits=50"_s);
}

void TestSearchRows::pageLines()
{
    QCOMPARE(PageLines("a\r\nb\nc\rd"), (QStringList{u"a"_s, u"b"_s, u"c"_s, u"d"_s}));
    QCOMPARE(PageLines("a\r\n\r\nb\r\n"), (QStringList{u"a"_s, u""_s, u"b"_s}));
    QCOMPARE(PageLines("\n\r"), (QStringList{u""_s, u""_s}));
    QCOMPARE(PageLines(""), QStringList());
    // A GB2312 page line and a UTF-8 one each read right, and a UTF-8 line cut
    // in the middle of a character spoils only itself.
    QByteArray gb = platform::EncodeAnsi(u"文件大小"_s);
    QByteArray utf8 = u"文件时间"_s.toUtf8();
    QStringList lines = PageLines(gb + "\r\n" + utf8 + "\r\n" + utf8.left(4));
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[0], u"文件大小"_s);
    QCOMPARE(lines[1], u"文件时间"_s);  // read whole, the cut line would turn it to GB18030 too
}

QTEST_GUILESS_MAIN(TestSearchRows)
#include "tst_search_rows.moc"
