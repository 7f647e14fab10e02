// The splitter of the site list: delimiter and fixed-width modes, Trim and
// FillZero, and its three exceptions.

#include "dialogs/break_string.h"

#include <QtTest>

using Parts = QList<QByteArray>;
Q_DECLARE_METATYPE(Parts)

namespace {

Parts SplitAll(TBreakString &splitter)
{
    splitter.Split();
    Parts parts;
    for (int i = 0; i < splitter.Count(); ++i)
        parts << splitter.Parts(i);
    return parts;
}

} // namespace

class TestBreakString : public QObject {
    Q_OBJECT
private slots:
    void split_data();
    void split();
    void exceptions_data();
    void exceptions();
    void failedSplitLeavesNoParts();
};

void TestBreakString::split_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QByteArray>("separator");
    QTest::addColumn<bool>("fixed");
    QTest::addColumn<bool>("trim");
    QTest::addColumn<bool>("fillZero");
    QTest::addColumn<Parts>("parts");

    QTest::newRow("seven fields") << QByteArray("work|ftpserver|guest|21|D:\\down|/|no") << QByteArray("|") << false
                                  << false << false
                                  << Parts{"work", "ftpserver", "guest", "21", "D:\\down", "/", "no"};
    QTest::newRow("empty source: no parts") << QByteArray() << QByteArray("|") << false << false << false << Parts{};
    QTest::newRow("no separator in the text") << QByteArray("abc") << QByteArray("|") << false << false << false
                                              << Parts{"abc"};
    QTest::newRow("separator at the end: empty last part") << QByteArray("a|b|") << QByteArray("|") << false
                                                           << false << false << Parts{"a", "b", ""};
    QTest::newRow("separator first and doubled") << QByteArray("|a||b") << QByteArray("|") << false << false
                                                 << false << Parts{"", "a", "", "b"};
    // 0x81 0x7C is one GBK character whose trail byte is "|".
    QTest::newRow("trail byte equal to the separator") << QByteArray("\x81\x7c|x\x95\x7cy|z") << QByteArray("|")
                                                       << false << false << false
                                                       << Parts{"\x81\x7c", "x\x95\x7cy", "z"};
    QTest::newRow("lone lead byte at the end keeps the last part")
        << QByteArray("a|\x81") << QByteArray("|") << false << false << false << Parts{"a", "\x81"};
    QTest::newRow("longer separator") << QByteArray("a::b::") << QByteArray("::") << false << false << false
                                      << Parts{"a", "b", ""};
    QTest::newRow("longer separator ignores double-byte characters")
        << QByteArray("\x81::b") << QByteArray("::") << false << false << false << Parts{"\x81", "b"};
    QTest::newRow("trim drops blanks and control characters") << QByteArray(" a \t| \x01 b\r ") << QByteArray("|")
                                                              << false << true << false << Parts{"a", "b"};
    QTest::newRow("fill zero replaces leading blanks only") << QByteArray("  12| 3 |x ") << QByteArray("|") << false
                                                            << false << true << Parts{"0012", "03 ", "x "};
    QTest::newRow("trim wins over fill zero") << QByteArray("  12 ") << QByteArray("|") << false << true << true
                                              << Parts{"12"};
    QTest::newRow("fixed widths") << QByteArray("abcdefghij") << QByteArray("3/4/2") << true << false << false
                                  << Parts{"abc", "defg", "hi"};
    QTest::newRow("fixed widths past the end") << QByteArray("abcd") << QByteArray("3/4/2") << true << false
                                               << false << Parts{"abc", "d", ""};
    QTest::newRow("fixed width zero") << QByteArray("abc") << QByteArray("0/3") << true << false << false
                                      << Parts{"", "abc"};
    QTest::newRow("fixed with fill zero") << QByteArray(" 12  7") << QByteArray("3/3") << true << false << true
                                          << Parts{"012", "007"};
    QTest::newRow("fixed with trim") << QByteArray(" 12  7") << QByteArray("3/3") << true << true << false
                                     << Parts{"12", "7"};
}

void TestBreakString::split()
{
    QFETCH(QByteArray, source);
    QFETCH(QByteArray, separator);
    QFETCH(bool, fixed);
    QFETCH(bool, trim);
    QFETCH(bool, fillZero);
    QFETCH(Parts, parts);

    TBreakString splitter;
    splitter.SourceString = source;
    splitter.Separator = separator;
    splitter.Fixed = fixed;
    splitter.Trim = trim;
    splitter.FillZero = fillZero;
    QCOMPARE(SplitAll(splitter), parts);
    QCOMPARE(splitter.Count(), parts.size());
}

void TestBreakString::exceptions_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QByteArray>("separator");
    QTest::addColumn<bool>("fixed");
    QTest::addColumn<int>("index");  // read after a successful split
    QTest::addColumn<QString>("message");

    const QString format1 = QStringLiteral("TBreakString Error: 不合法的格式字串(1)!");
    const QString format2 = QStringLiteral("TBreakString Error: 不合法的格式字串(2)!");
    const QString range = QStringLiteral("TBreakString Error: 索引超出範圍!");
    QTest::newRow("empty separator") << QByteArray("a|b") << QByteArray() << false << 0 << format1;
    QTest::newRow("empty width list") << QByteArray("abc") << QByteArray() << true << 0 << format1;
    QTest::newRow("width not a number") << QByteArray("abc") << QByteArray("3/x") << true << 0 << format2;
    QTest::newRow("empty width") << QByteArray("abc") << QByteArray("3//2") << true << 0 << format2;
    QTest::newRow("negative width") << QByteArray("abc") << QByteArray("-1") << true << 0 << format2;
    QTest::newRow("index below zero") << QByteArray("a|b") << QByteArray("|") << false << -1 << range;
    QTest::newRow("index at count") << QByteArray("a|b") << QByteArray("|") << false << 2 << range;
    QTest::newRow("any index of an empty split") << QByteArray() << QByteArray("|") << false << 0 << range;
}

void TestBreakString::exceptions()
{
    QFETCH(QByteArray, source);
    QFETCH(QByteArray, separator);
    QFETCH(bool, fixed);
    QFETCH(int, index);
    QFETCH(QString, message);

    TBreakString splitter;
    splitter.SourceString = source;
    splitter.Separator = separator;
    splitter.Fixed = fixed;
    QString caught;
    try {
        splitter.Split();
        splitter.Parts(index);
    } catch (const EFormatedTextException &e) {
        caught = e.Message();
    }
    QCOMPARE(caught, message);
}

// The parts of an earlier split must not survive a failed one.
void TestBreakString::failedSplitLeavesNoParts()
{
    TBreakString splitter;
    splitter.SourceString = "a|b|c";
    splitter.Separator = "|";
    splitter.Split();
    QCOMPARE(splitter.Count(), 3);
    splitter.Fixed = true;
    splitter.Separator = "1/z";
    QVERIFY_THROWS_EXCEPTION(EFormatedTextException, splitter.Split());
    QCOMPARE(splitter.Count(), 0);
}

QTEST_GUILESS_MAIN(TestBreakString)
#include "tst_break_string.moc"
