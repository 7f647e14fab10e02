// Listing lines as real servers send them, one row per line with the entry
// it must give.

#include "engine/ftp_fileinfo.h"
#include "engine/ftp_listing.h"

#include <QtTest>

#include <limits>

namespace {

// One entry as a single comparable text: "rejected", or
// "<d|f> name=<...> attr=<...> date=<...> size=<...>".
QByteArray describe(const ParsedEntry &e)
{
    if (!e.accepted)
        return "rejected";
    return QByteArray(e.directory ? "d" : "f") + " name=<" + e.name + "> attr=<" + e.attributes
        + "> date=<" + e.date + "> size=<" + e.size + ">";
}

QByteArray file(const QByteArray &name, const QByteArray &attr, const QByteArray &date,
                const QByteArray &size)
{
    return "f name=<" + name + "> attr=<" + attr + "> date=<" + date + "> size=<" + size + ">";
}

QByteArray dir(const QByteArray &name, const QByteArray &attr, const QByteArray &date,
               const QByteArray &size)
{
    return "d name=<" + name + "> attr=<" + attr + "> date=<" + date + "> size=<" + size + ">";
}

const QList<TMFtpServerType> kUnixStyleList = {ftpstDefault, ftpstUNIX, ftpstULTRIX, ftpstU5000,
                                           ftpstSINTMftpD};
const QList<TMFtpServerType> kVmsStyleList = {ftpstVmsMultinet, ftpstVmsUcx};
const QList<TMFtpServerType> kRulelessStyleList = {ftpstAutoDetect, ftpstMVS, ftpstMacFtpd,
                                               ftpstClix, ftpstQVT, ftpstNCSA, ftpstChameleon};

} // namespace

class TestListing : public QObject
{
    Q_OBJECT

private slots:
    void wordRule_data();
    void wordRule();
    void unixLine_data();
    void unixLine();
    void vmsSequence_data();
    void vmsSequence();
    void vmsResetDropsPendingLine();
    void vmsPendingLineIsCapped();
    void vmLine_data();
    void vmLine();
    void vmVpsLine_data();
    void vmVpsLine();
    void rulelessStyles_data();
    void rulelessStyles();
    void dosLine_data();
    void dosLine();
    void eplfLine_data();
    void eplfLine();
    void detectedUnixLine_data();
    void detectedUnixLine();
    void detectKeepsUnixRule();
    void hostileLines_data();
    void hostileLines();
    void fileInfoList();
    void fileInfoKeepsBytes_data();
    void fileInfoKeepsBytes();
    void fileInfoListOutOfRange_data();
    void fileInfoListOutOfRange();
};

void TestListing::wordRule_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("n");
    QTest::addColumn<QByteArray>("word");

    QTest::newRow("first") << QByteArray("alpha beta gamma") << 0 << QByteArray("alpha");
    QTest::newRow("middle") << QByteArray("alpha beta gamma") << 1 << QByteArray("beta");
    QTest::newRow("last word is never a word") << QByteArray("alpha beta gamma") << 2 << QByteArray();
    QTest::newRow("past the end") << QByteArray("alpha beta gamma") << 7 << QByteArray();
    QTest::newRow("single word line") << QByteArray("alpha") << 0 << QByteArray();
    QTest::newRow("trailing blank makes the last a word") << QByteArray("alpha beta ") << 1
                                                          << QByteArray("beta");
    QTest::newRow("run of blanks is one") << QByteArray("a    b     c d") << 2 << QByteArray("c");
    QTest::newRow("leading blank empties word 0") << QByteArray("  a b c") << 0 << QByteArray();
    QTest::newRow("leading blank shifts words") << QByteArray("  a b c") << 1 << QByteArray("a");
    QTest::newRow("tab is no separator") << QByteArray("a\tb c\td e") << 0 << QByteArray("a\tb");
    QTest::newRow("tab is no separator 2") << QByteArray("a\tb c\td e") << 1 << QByteArray("c\td");
    QTest::newRow("zero byte is a character") << QByteArray("a\0b c", 5) << 0
                                              << QByteArray("a\0b", 3);
    QTest::newRow("only blanks") << QByteArray("     ") << 0 << QByteArray();
    QTest::newRow("negative index") << QByteArray("a b c") << -1 << QByteArray();
    QTest::newRow("largest index") << QByteArray("a b c ") << std::numeric_limits<int>::max()
                                   << QByteArray();
    QTest::newRow("index of the trailing word") << QByteArray("a b c ") << 2 << QByteArray("c");
}

void TestListing::wordRule()
{
    QFETCH(QByteArray, line);
    QFETCH(int, n);
    QFETCH(QByteArray, word);
    QCOMPARE(ListingParser::Word(line, n), word);
}

void TestListing::unixLine_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray today = "Dec 08 00:40";
    const QByteArray todayP = "Dec 8 00:40"; // "Dec  8" reads as two words

    // The classic table, with whole names.
    QTest::newRow("directory") << QByteArray("drwxr-xr-x 2 user group 512 Jan 12 12:30 pub")
                               << dir("pub", "drwxr-xr-x", "Jan 12 12:30", "512");
    QTest::newRow("name with a blank")
        << QByteArray("-rw-r--r-- 1 user group 1024 Mar 3 1998 my file.txt")
        << file("my file.txt", "-rw-r--r--", "Mar 3 1998", "1024");
    QTest::newRow("link is a directory without its target")
        << QByteArray("lrwxrwxrwx 1 root root 7 Jan 1 12:00 bin -> usr/bin")
        << dir("bin", "lrwxrwxrwx", "Jan 1 12:00", "7");
    QTest::newRow("bracket layout") << QByteArray("d [RWCEAFMS] owner 512 Jan 12 12:30 pub")
                                    << dir("pub", "d", "Jan 12 12:30", "512");
    QTest::newRow("total") << QByteArray("total 42") << QByteArray("rejected");
    QTest::newRow("total 0") << QByteArray("total 0") << QByteArray("rejected");

    // vsftpd: numeric owners, zero-padded days.
    QTest::newRow("vsftpd file")
        << QByteArray("-rw-rw-rw-    1 1001     1001            6 Dec 08 00:40 a.txt")
        << file("a.txt", "-rw-rw-rw-", today, "6");
    QTest::newRow("vsftpd Dec 07")
        << QByteArray("-rw-r--r--    1 0        0              12 Dec 07 10:00 a.txt")
        << file("a.txt", "-rw-r--r--", "Dec 07 10:00", "12");
    QTest::newRow("vsftpd year column")
        << QByteArray("-rw-rw-rw-    1 1001     1001            0 Mar 03  2019 old.txt")
        << file("old.txt", "-rw-rw-rw-", "Mar 03 2019", "0");
    QTest::newRow("vsftpd directory")
        << QByteArray("drwxrwxrwx    2 1001     1001         4096 Dec 08 00:40 pub")
        << dir("pub", "drwxrwxrwx", today, "4096");
    QTest::newRow("vsftpd several blanks")
        << QByteArray("-rw-rw-rw-    1 1001     1001            2 Dec 08 00:40 several   blanks  here")
        << file("several   blanks  here", "-rw-rw-rw-", today, "2");
    QTest::newRow("vsftpd leading blanks")
        << QByteArray("-rw-rw-rw-    1 1001     1001            2 Dec 08 00:40   lead.txt")
        << file("  lead.txt", "-rw-rw-rw-", today, "2");
    QTest::newRow("vsftpd trailing blank")
        << QByteArray("-rw-rw-rw-    1 1001     1001            2 Dec 08 00:40 trail ")
        << file("trail ", "-rw-rw-rw-", today, "2");
    QTest::newRow("vsftpd file named like a link")
        << QByteArray("-rw-rw-rw-    1 1001     1001            2 Dec 08 00:40 a -> b")
        << file("a -> b", "-rw-rw-rw-", today, "2");
    QTest::newRow("vsftpd arrow inside a name")
        << QByteArray("-rw-rw-rw-    1 1001     1001            2 Dec 08 00:40 x->y")
        << file("x->y", "-rw-rw-rw-", today, "2");
    QTest::newRow("vsftpd link with blanks")
        << QByteArray("lrwxrwxrwx    1 1001     1001           11 Dec 08 00:40 link with space -> my file.txt")
        << dir("link with space", "lrwxrwxrwx", today, "11");
    QTest::newRow("vsftpd character device")
        << QByteArray("crw-rw-rw-    1 1001     1001            0 Dec 08 00:40 chardev")
        << QByteArray("rejected");
    QTest::newRow("vsftpd pipe")
        << QByteArray("prw-rw-rw-    1 1001     1001            0 Dec 08 00:40 fifo")
        << QByteArray("rejected");
    QTest::newRow("vsftpd GB2312 name")
        << QByteArray("-rw-rw-rw-    1 1001     1001            4 Dec 08 00:40 gb\xd6\xd0")
        << file("gb\xd6\xd0", "-rw-rw-rw-", today, "4");
    QTest::newRow("vsftpd UTF-8 name with blank")
        << QByteArray("-rw-rw-rw-    1 1001     1001            2 Dec 08 00:40 \xe4\xb8\xad\xe6\x96\x87 \xe5\x90\x8d.txt")
        << file("\xe4\xb8\xad\xe6\x96\x87 \xe5\x90\x8d.txt", "-rw-rw-rw-", today, "2");

    // proftpd: names for owners, blank-padded days.
    QTest::newRow("proftpd Dec  7")
        << QByteArray("-rw-rw-rw-   1 tarvoftp tarvoftp        0 Dec  7 10:00 dec07.txt")
        << file("dec07.txt", "-rw-rw-rw-", "Dec 7 10:00", "0");
    QTest::newRow("proftpd big file")
        << QByteArray("-rw-rw-rw-   1 tarvoftp tarvoftp   123456 Dec  8 00:40 big.bin")
        << file("big.bin", "-rw-rw-rw-", todayP, "123456");
    QTest::newRow("proftpd year")
        << QByteArray("-rw-rw-rw-   1 tarvoftp tarvoftp        0 Mar  3  2019 old.txt")
        << file("old.txt", "-rw-rw-rw-", "Mar 3 2019", "0");
    QTest::newRow("proftpd link")
        << QByteArray("lrwxrwxrwx   1 tarvoftp tarvoftp        7 Dec  8 00:40 bin -> usr/bin")
        << dir("bin", "lrwxrwxrwx", todayP, "7");
    QTest::newRow("proftpd leading blanks")
        << QByteArray("-rw-rw-rw-   1 tarvoftp tarvoftp        2 Dec  8 00:40   lead.txt")
        << file("  lead.txt", "-rw-rw-rw-", todayP, "2");
    QTest::newRow("proftpd several blanks")
        << QByteArray("-rw-rw-rw-   1 tarvoftp tarvoftp        2 Dec  8 00:40 several   blanks  here")
        << file("several   blanks  here", "-rw-rw-rw-", todayP, "2");

    // pure-ftpd: wider owner and size columns.
    QTest::newRow("pure-ftpd file")
        << QByteArray("-rw-rw-rw-    1 1001       tarvoftp       123456 Dec  8 00:40 big.bin")
        << file("big.bin", "-rw-rw-rw-", todayP, "123456");
    QTest::newRow("pure-ftpd directory")
        << QByteArray("drwxrwxrwx    2 1001       tarvoftp         4096 Dec  8 00:40 pub")
        << dir("pub", "drwxrwxrwx", todayP, "4096");
    QTest::newRow("pure-ftpd link with blanks")
        << QByteArray("lrwxrwxrwx    1 1001       tarvoftp           11 Dec  8 00:40 link with space -> my file.txt")
        << dir("link with space", "lrwxrwxrwx", todayP, "11");
    QTest::newRow("pure-ftpd name with blank")
        << QByteArray("-rw-rw-rw-    1 1001       tarvoftp            2 Dec  8 00:40 my file.txt")
        << file("my file.txt", "-rw-rw-rw-", todayP, "2");

    // pyftpdlib.
    QTest::newRow("pyftpdlib file")
        << QByteArray("-rw-rw-rw-   1 tarvoftp tarvoftp        6 Dec 08 00:40 a.txt")
        << file("a.txt", "-rw-rw-rw-", today, "6");
    QTest::newRow("pyftpdlib file named like a link")
        << QByteArray("-rw-rw-rw-   1 tarvoftp tarvoftp        2 Dec 08 00:40 a -> b")
        << file("a -> b", "-rw-rw-rw-", today, "2");
    QTest::newRow("pyftpdlib device")
        << QByteArray("crw-rw-rw-   1 tarvoftp tarvoftp        0 Dec 08 00:40 chardev")
        << QByteArray("rejected");

    // ls -l through older servers (wu-ftpd style): device numbers, "f" files.
    QTest::newRow("block device") << QByteArray("brw-rw----   1 root disk   8, 0 Dec  8 00:40 sda")
                                  << QByteArray("rejected");
    QTest::newRow("socket") << QByteArray("srwxrwxrwx   1 root root      0 Dec  8 00:40 sock")
                            << QByteArray("rejected");
    QTest::newRow("f marks a file") << QByteArray("frw-r--r-- 1 user group 10 Jan 1 12:00 x")
                                    << file("x", "frw-r--r--", "Jan 1 12:00", "10");
    QTest::newRow("link to a name with an arrow")
        << QByteArray("lrwxrwxrwx 1 u g 4 Jan 1 12:00 here -> a -> b")
        << dir("here", "lrwxrwxrwx", "Jan 1 12:00", "4");
    QTest::newRow("link without target shown")
        << QByteArray("lrwxrwxrwx 1 u g 4 Jan 1 12:00 dangling")
        << dir("dangling", "lrwxrwxrwx", "Jan 1 12:00", "4");

    // NetWare pads the bracket layout with runs of blanks.
    QTest::newRow("netware directory")
        << QByteArray("d [R----F--] supervisor            512       Jan 16 18:53    login")
        << dir("login", "d", "Jan 16 18:53", "512");
    QTest::newRow("netware file with blank")
        << QByteArray("- [RWCEAFMS] rhesus             214059       Oct 20 15:27    cx setup.exe")
        << file("cx setup.exe", "-", "Oct 20 15:27", "214059");

    // Too few columns: fall back to the last blank-free word.
    QTest::newRow("no group column")
        << QByteArray("-rw-r--r-- 1 owner 1234 Jan 01 12:00 name.txt")
        << file("name.txt", "-rw-r--r--", "01 12:00 ", "Jan");
    QTest::newRow("no group column link")
        << QByteArray("lrwxrwxrwx 1 owner 7 Jan 01 12:00 bin -> usr/bin")
        << dir("bin", "lrwxrwxrwx", "01 12:00 bin", "Jan");
    QTest::newRow("no group column, name like a time")
        << QByteArray("-rw-r--r-- 1 owner 1234 Jan 01 12:00 12:30")
        << file("12:30", "-rw-r--r--", "01 12:00 ", "Jan");
    QTest::newRow("no group column, name like a year")
        << QByteArray("-rw-r--r-- 1 owner 1234 Jan 01 12:00 2019")
        << file("2019", "-rw-r--r--", "01 12:00 ", "Jan");

    // Nothing after the date columns: no name, no entry.
    QTest::newRow("nothing after the date, blank")
        << QByteArray("drwxr-xr-x 2 user group 512 Jan 12 12:30 ") << QByteArray("rejected");
    QTest::newRow("nothing after the time")
        << QByteArray("-rw-r--r-- 1 user group 1024 Jan 12 13:20") << QByteArray("rejected");
    QTest::newRow("nothing after the year")
        << QByteArray("-rw-r--r-- 1 user group 1024 Jan 12  2019") << QByteArray("rejected");
    QTest::newRow("nothing after a padded day")
        << QByteArray("-rw-r--r--   1 tarvoftp tarvoftp  0 Dec  8 00:40") << QByteArray("rejected");
    QTest::newRow("bracket layout without a name")
        << QByteArray("d [RWCEAFMS] owner 512 Jan 12 12:30") << QByteArray("rejected");
    QTest::newRow("no group column, no name")
        << QByteArray("-rw-r--r-- 1 owner 1234 Jan 01 12:00") << QByteArray("rejected");
    QTest::newRow("link with a target and no name")
        << QByteArray("lrwxrwxrwx 1 u g 7 Jan 1 12:00 -> usr/bin") << QByteArray("rejected");

    // Rejections.
    QTest::newRow("blank-led") << QByteArray(" drwxr-xr-x 2 user group 512 Jan 12 12:30 pub")
                               << QByteArray("rejected");
    QTest::newRow("empty word 1") << QByteArray("-rw-r--r--") << QByteArray("rejected");
    QTest::newRow("tabs are no separators")
        << QByteArray("drwxr-xr-x\t2\tuser\tgroup\t512\tJan\t12\t12:30\tpub")
        << QByteArray("rejected");
    QTest::newRow("empty line") << QByteArray() << QByteArray("rejected");
    QTest::newRow("only blanks") << QByteArray("      ") << QByteArray("rejected");
}

void TestListing::unixLine()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, expected);
    // Every style that reads UNIX listings must give the same entry.
    for (TMFtpServerType style : kUnixStyleList) {
        ListingParser parser;
        QCOMPARE(describe(parser.Parse(style, line)), expected);
        QVERIFY(parser.PendingLine().isEmpty());
    }
}

void TestListing::vmsSequence_data()
{
    QTest::addColumn<QByteArrayList>("lines");
    QTest::addColumn<QByteArrayList>("expected");

    QTest::newRow("file")
        << QByteArrayList{"FILE.TXT;1 12/24 24-DEC-1998 12:00:00 [GROUP,OWNER] (RWED,RWED,RE,)"}
        << QByteArrayList{file("FILE.TXT", "", "24-DEC-1998 12:00:00", "12/24")};
    QTest::newRow("directory")
        << QByteArrayList{"SUBDIR.DIR;1 1/3 1-JAN-1999 10:00:00 [GROUP,OWNER] (RWE,RWE,RE,E)"}
        << QByteArrayList{dir("SUBDIR", "", "1-JAN-1999 10:00:00", "1/3")};
    QTest::newRow("multinet columns")
        << QByteArrayList{"Directory DISK$USER:[ME]",
                          "",
                          "LOGIN.COM;12              3  11-MAY-1999 13:21 [ME] (RWED,RWED,RE,)",
                          "Total of 1 file."}
        << QByteArrayList{"rejected", "rejected",
                          file("LOGIN.COM", "", "11-MAY-1999 13:21", "3"), "rejected"};
    QTest::newRow("long name continued on the next line")
        << QByteArrayList{"A-VERY-LONG-NAME.TXT;2",
                          "                    12/24 24-DEC-1998 12:00:00 [GROUP,OWNER] (RWED,RWED,RE,)"}
        << QByteArrayList{"rejected", file("A-VERY-LONG-NAME.TXT", "", "24-DEC-1998 12:00:00", "12/24")};
    QTest::newRow("long directory name continued")
        << QByteArrayList{"VERY-LONG-DIRECTORY-NAME.DIR;1",
                          "   1/3 1-JAN-1999 10:00:00 [GROUP,OWNER] (RWE,RWE,RE,E)",
                          "NEXT.TXT;1 5/6 2-JAN-1999 11:00:00 [GROUP,OWNER] (RWED,RWED,RE,)"}
        << QByteArrayList{"rejected", dir("VERY-LONG-DIRECTORY-NAME", "", "1-JAN-1999 10:00:00", "1/3"),
                          file("NEXT.TXT", "", "2-JAN-1999 11:00:00", "5/6")};
    QTest::newRow("name joined with an unblanked continuation")
        << QByteArrayList{"PART;1", "MORE 4/4 3-MAR-2000 09:00:00 x"}
        << QByteArrayList{"rejected", file("PART", "", "3-MAR-2000 09:00:00", "4/4")};
    QTest::newRow("empty line keeps the pending name")
        << QByteArrayList{"LONG.TXT;3", "", "  7/8 4-APR-2001 08:00:00 x"}
        << QByteArrayList{"rejected", "rejected", file("LONG.TXT", "", "4-APR-2001 08:00:00", "7/8")};
    QTest::newRow("line without semicolon")
        << QByteArrayList{"Directory DISK$USER:[ME]"} << QByteArrayList{"rejected"};
    QTest::newRow("blank-led line with semicolon holds the next")
        << QByteArrayList{" ODD;1", "X;1 1/1 1-JAN-2000 00:00:00 y"}
        << QByteArrayList{"rejected", "rejected"};
}

void TestListing::vmsSequence()
{
    QFETCH(QByteArrayList, lines);
    QFETCH(QByteArrayList, expected);
    QCOMPARE(lines.size(), expected.size());
    for (TMFtpServerType style : kVmsStyleList) {
        ListingParser parser;
        for (int i = 0; i < lines.size(); ++i)
            QCOMPARE(describe(parser.Parse(style, lines.at(i))), expected.at(i));
    }
}

void TestListing::vmsResetDropsPendingLine()
{
    const QByteArray head = "A-VERY-LONG-NAME.TXT;2";
    const QByteArray next = "OTHER.TXT;1 2/3 5-MAY-2005 05:00:00 [G,O] (RWED,RWED,RE,)";

    ListingParser parser;
    QCOMPARE(describe(parser.Parse(ftpstVmsUcx, head)), QByteArray("rejected"));
    QCOMPARE(parser.PendingLine(), head);

    // Without a reset, a new listing's first line is glued to the old name
    // and its own entry is lost.
    ListingParser carried = parser;
    QCOMPARE(describe(carried.Parse(ftpstVmsUcx, next)),
             file("A-VERY-LONG-NAME.TXT", "", "5-MAY-2005 05:00:00", "2/3"));

    parser.Reset();
    QVERIFY(parser.PendingLine().isEmpty());
    QCOMPARE(describe(parser.Parse(ftpstVmsUcx, next)),
             file("OTHER.TXT", "", "5-MAY-2005 05:00:00", "2/3"));
}

void TestListing::vmsPendingLineIsCapped()
{
    // Blank-free fragments with ";" keep joining; the held text must stay
    // bounded and a real line must parse on its own after the drop.
    ListingParser parser;
    const QByteArray fragment(1000, ';');
    qsizetype longest = 0;
    bool dropped = false;
    for (int i = 0; i < 200; ++i) {
        const qsizetype before = parser.PendingLine().size();
        QCOMPARE(describe(parser.Parse(ftpstVmsMultinet, fragment)), QByteArray("rejected"));
        longest = qMax(longest, parser.PendingLine().size());
        if (before > 0 && parser.PendingLine().isEmpty())
            dropped = true;
    }
    QVERIFY(longest <= ListingParser::MaxPendingLength);
    QVERIFY(longest > ListingParser::MaxPendingLength - fragment.size());
    QVERIFY(dropped);

    parser.Reset();
    const QByteArray huge = QByteArray(ListingParser::MaxPendingLength + 1, 'N') + ";1";
    QCOMPARE(describe(parser.Parse(ftpstVmsMultinet, huge)), QByteArray("rejected"));
    QVERIFY(parser.PendingLine().isEmpty());
    QCOMPARE(describe(parser.Parse(ftpstVmsMultinet, "B.TXT;1 1/2 1-JAN-2000 00:00:00 x")),
             file("B.TXT", "", "1-JAN-2000 00:00:00", "1/2"));
}

void TestListing::vmLine_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("nine words") << QByteArray("w0 w1 w2 w3 w4 w5 w6 w7 w8")
                                << file("w0.w1", "", "w6 w7", "w3");
    QTest::newRow("cms columns as the rule reads them")
        << QByteArray("PROFILE  EXEC     A1 V         72         12          1 1999-03-04 10:20:30 -")
        << file("PROFILE.EXEC", "", "1 1999-03-04", "V");
    QTest::newRow("short line still a file") << QByteArray("ONLY") << file(".", "", " ", "");
    QTest::newRow("empty") << QByteArray() << QByteArray("rejected");
}

void TestListing::vmLine()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, expected);
    ListingParser parser;
    QCOMPARE(describe(parser.Parse(ftpstVM, line)), expected);
}

void TestListing::vmVpsLine_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("nine words") << QByteArray("w0 w1 w2 w3 w4 w5 w6 w7 w8")
                                << file(".w1", "", "w7 w6", "w2");
    QTest::newRow("totals") << QByteArray("w0 totals: 3 4 5 6 7 8 9") << QByteArray("rejected");
    QTest::newRow("equals") << QByteArray("DSN=USER.DATA a b c d e f g h") << QByteArray("rejected");
    QTest::newRow("rf trks") << QByteArray("VOL001 12 rf trks 1 2 3 4 5") << QByteArray("rejected");
    QTest::newRow("track limit") << QByteArray("a b c track limit 1 2 3 4") << QByteArray("rejected");
    QTest::newRow("rf trks at the start is no marker") << QByteArray("rf trks a b c d e f g")
                                                       << file(".trks", "", "f e", "a");
    QTest::newRow("rf trks without blank is no marker") << QByteArray("a rf_trks c d e f g h i")
                                                        << file(".rf_trks", "", "h g", "c");
    QTest::newRow("empty") << QByteArray() << QByteArray("rejected");
}

void TestListing::vmVpsLine()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, expected);
    ListingParser parser;
    QCOMPARE(describe(parser.Parse(ftpstVMVPS, line)), expected);
}

void TestListing::rulelessStyles_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("unix line") << QByteArray("drwxr-xr-x 2 user group 512 Jan 12 12:30 pub")
                               << file("", "", "", "");
    QTest::newRow("mvs line") << QByteArray("SYS1.PARMLIB  3390   2023/01/01  1  15  FB  80  27920  PO")
                              << file("", "", "", "");
    QTest::newRow("ncsa line") << QByteArray("index.html") << file("", "", "", "");
    QTest::newRow("blank") << QByteArray(" ") << file("", "", "", "");
    QTest::newRow("empty") << QByteArray() << QByteArray("rejected");
}

void TestListing::rulelessStyles()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, expected);
    for (TMFtpServerType style : kRulelessStyleList) {
        ListingParser parser;
        QCOMPARE(describe(parser.Parse(style, line)), expected);
    }
}

void TestListing::dosLine_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("IIS directory")
        << QByteArray("12-08-26  10:15AM       <DIR>          name") << dir("name", "", "12-08-26 10:15AM", "");
    QTest::newRow("IIS file, four-digit year")
        << QByteArray("12-08-2026  10:15PM  1234 name") << file("name", "", "12-08-2026 10:15PM", "1234");
    QTest::newRow("IIS right-aligned size")
        << QByteArray("02-23-04  02:23PM                 1234 my file.txt")
        << file("my file.txt", "", "02-23-04 02:23PM", "1234");
    QTest::newRow("24-hour directory")
        << QByteArray("12-08-26  22:15       <DIR>          pub") << dir("pub", "", "12-08-26 22:15", "");
    QTest::newRow("24-hour file") << QByteArray("08-12-2026  00:05  77 a.txt")
                                  << file("a.txt", "", "08-12-2026 00:05", "77");
    QTest::newRow("lower-case am and <dir>")
        << QByteArray("01-16-02  11:14am       <dir>          epsgroup") << dir("epsgroup", "", "01-16-02 11:14am", "");
    QTest::newRow("grouped digits")
        << QByteArray("12-08-26  10:15AM            1,234,567 big.iso")
        << file("big.iso", "", "12-08-26 10:15AM", "1234567");
    QTest::newRow("day first") << QByteArray("31/12/2025  23:59  5 y.txt") << file("y.txt", "", "31/12/2025 23:59", "5");
    QTest::newRow("year first") << QByteArray("2026-12-08  10:15  5 z.txt") << file("z.txt", "", "2026-12-08 10:15", "5");
    QTest::newRow("blanks in a directory name")
        << QByteArray("12-08-26  10:15AM       <DIR>          Program Files") << dir("Program Files", "", "12-08-26 10:15AM", "");
    QTest::newRow("leading blank of a file name kept")
        << QByteArray("12-08-26  10:15AM  12  lead") << file(" lead", "", "12-08-26 10:15AM", "12");
    QTest::newRow("UTF-8 name") << QByteArray("12-08-26  10:15AM  3 \xe4\xb8\xad.txt")
                                << file("\xe4\xb8\xad.txt", "", "12-08-26 10:15AM", "3");

    QTest::newRow("no name") << QByteArray("12-08-26  10:15AM  1234") << QByteArray("rejected");
    QTest::newRow("no name after <DIR>") << QByteArray("12-08-26  10:15AM  <DIR>   ") << QByteArray("rejected");
    QTest::newRow("month 13 and day 13") << QByteArray("13-13-26  10:15AM  1 x") << QByteArray("rejected");
    QTest::newRow("hour 13 PM") << QByteArray("12-08-26  13:15PM  1 x") << QByteArray("rejected");
    QTest::newRow("hour 24") << QByteArray("12-08-26  24:00  1 x") << QByteArray("rejected");
    QTest::newRow("minute 60") << QByteArray("12-08-26  10:60  1 x") << QByteArray("rejected");
    QTest::newRow("three-digit year") << QByteArray("12-08-202  10:15  1 x") << QByteArray("rejected");
    QTest::newRow("mixed separators") << QByteArray("12-08/26  10:15  1 x") << QByteArray("rejected");
    QTest::newRow("size with letters") << QByteArray("12-08-26  10:15AM  12k x") << QByteArray("rejected");
    QTest::newRow("other bracket word") << QByteArray("12-08-26  10:15AM  <JUNCTION> x") << QByteArray("rejected");
    QTest::newRow("a count line") << QByteArray("2 File(s)  1,234 bytes") << QByteArray("rejected");
    QTest::newRow("date alone") << QByteArray("12-08-26") << QByteArray("rejected");
}

void TestListing::dosLine()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, expected);
    // SYST decides nothing on IIS ("Windows_NT"), and no UNIX line starts with a
    // digit: every UNIX style and the detecting one read it.
    for (TMFtpServerType style : kUnixStyleList + QList<TMFtpServerType>{ftpstDetect}) {
        ListingParser parser;
        QCOMPARE(describe(parser.Parse(style, line)), expected);
    }
}

void TestListing::eplfLine_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("expected");

    // 824255902 is 1996-02-13 23:58:22 UTC; shown at UTC+8.
    QTest::newRow("directory") << QByteArray("+i8388621.29609,m824255902,/,\tdev")
                               << dir("dev", "", "1996-02-14 07:58", "");
    QTest::newRow("file") << QByteArray("+i8388621.44468,m839956783,r,s10376,\tRFCEPLF")
                          << file("RFCEPLF", "", "1996-08-14 01:19", "10376");
    QTest::newRow("permissions") << QByteArray("+m824255902,r,s5,up644,\tmy file, v2.txt")
                                 << file("my file, v2.txt", "-rw-r--r--", "1996-02-14 07:58", "5");
    QTest::newRow("directory permissions") << QByteArray("+/,up755,\tpub") << dir("pub", "drwxr-xr-x", "", "");
    QTest::newRow("facts in any order, unknown ones passed over")
        << QByteArray("+s12,x,r,i1.2,m0,\tz") << file("z", "", "1970-01-01 08:00", "12");
    QTest::newRow("no facts") << QByteArray("+\tbare") << file("bare", "", "", "");
    QTest::newRow("bad size and time are left out") << QByteArray("+r,s1x,m99999999999999999,\tq")
                                                    << file("q", "", "", "");
    QTest::newRow("no tab") << QByteArray("+i1,r,s5, name") << QByteArray("rejected");
    QTest::newRow("no name") << QByteArray("+i1,r,s5,\t") << QByteArray("rejected");
}

void TestListing::eplfLine()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, expected);
    for (TMFtpServerType style : kUnixStyleList + QList<TMFtpServerType>{ftpstDetect}) {
        ListingParser parser;
        parser.SetTimeZone(QTimeZone(8 * 3600));
        QCOMPARE(describe(parser.Parse(style, line)), expected);
    }
}

void TestListing::detectedUnixLine_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("expected");

    // Without a group column: the UNIX styles keep their old reading (see
    // unixLine), the detecting style finds the columns by the month.
    QTest::newRow("no group column")
        << QByteArray("-rw-r--r-- 1 owner 1234 Jan 01 12:00 name.txt")
        << file("name.txt", "-rw-r--r--", "Jan 01 12:00", "1234");
    QTest::newRow("no group column, numeric owner")
        << QByteArray("-rw-r--r--   1 1001       1234 Dec  8 00:40 my file.txt")
        << file("my file.txt", "-rw-r--r--", "Dec 8 00:40", "1234");
    QTest::newRow("no group column, directory, year")
        << QByteArray("drwxr-xr-x 2 1001 4096 Mar 3 2019 pub") << dir("pub", "drwxr-xr-x", "Mar 3 2019", "4096");
    QTest::newRow("no group column, link")
        << QByteArray("lrwxrwxrwx 1 owner 7 Jan 01 12:00 bin -> usr/bin")
        << dir("bin", "lrwxrwxrwx", "Jan 01 12:00", "7");
    QTest::newRow("no link count")
        << QByteArray("-rw-r--r-- owner group 1234 Jan 01 12:00 x") << file("x", "-rw-r--r--", "Jan 01 12:00", "1234");
    QTest::newRow("no group column, name like a time")
        << QByteArray("-rw-r--r-- 1 owner 1234 Jan 01 12:00 12:30") << file("12:30", "-rw-r--r--", "Jan 01 12:00", "1234");
    QTest::newRow("no group column, no name")
        << QByteArray("-rw-r--r-- 1 owner 1234 Jan 01 12:00") << QByteArray("rejected");
    QTest::newRow("no group column, link without name")
        << QByteArray("lrwxrwxrwx 1 owner 7 Jan 01 12:00 -> usr/bin") << QByteArray("rejected");
    QTest::newRow("numeric owner and group")
        << QByteArray("-rw-rw-rw-    1 1001     1001            6 Dec 08 00:40 a.txt")
        << file("a.txt", "-rw-rw-rw-", "Dec 08 00:40", "6");
    QTest::newRow("device") << QByteArray("crw-rw-rw- 1 0 0 Dec 08 00:40 tty") << QByteArray("rejected");
}

void TestListing::detectedUnixLine()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, expected);
    ListingParser parser;
    QCOMPARE(describe(parser.Parse(ftpstDetect, line)), expected);
}

void TestListing::detectKeepsUnixRule()
{
    // Every line with all its columns reads as the UNIX rule reads it.
    const QByteArrayList lines = {
        "drwxr-xr-x 2 user group 512 Jan 12 12:30 pub",
        "-rw-r--r-- 1 user group 1024 Mar 3 1998 my file.txt",
        "lrwxrwxrwx 1 root root 7 Jan 1 12:00 bin -> usr/bin",
        "d [RWCEAFMS] owner 512 Jan 12 12:30 pub",
        "d [R----F--] supervisor            512       Jan 16 18:53    login",
        "-rw-rw-rw-    1 1001     1001            2 Dec 08 00:40   lead.txt",
        "-rw-rw-rw-   1 tarvoftp tarvoftp        0 Mar  3  2019 old.txt",
        "-rw-rw-rw-    1 1001       tarvoftp       123456 Dec  8 00:40 big.bin",
        "lrwxrwxrwx 1 u g 4 Jan 1 12:00 here -> a -> b",
        "-rw-r--r-- 1 user group 1024 Jan 12 13:20",
        "total 42",
        " drwxr-xr-x 2 user group 512 Jan 12 12:30 pub",
        "-rw-r--r--",
    };
    for (const QByteArray &line : lines) {
        ListingParser unix, detect;
        QCOMPARE(describe(detect.Parse(ftpstDetect, line)), describe(unix.Parse(ftpstUNIX, line)));
    }
}

void TestListing::hostileLines_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("unixName"); // expected name under the UNIX rule, or "rejected"

    QByteArray binary;
    for (int i = 0; i < 4096; ++i)
        binary += char((i * 37 + 11) & 0xff);

    const QByteArray huge(1 << 20, 'x');
    QByteArray hugeBlanks(1 << 20, ' ');
    QByteArray hugeWords;
    while (hugeWords.size() < (1 << 20))
        hugeWords += "w ";

    QTest::newRow("binary") << binary << QByteArray("rejected");
    QTest::newRow("zero bytes in a name")
        << QByteArray("-rw-r--r-- 1 u g 3 Jan 1 12:00 ") + QByteArray("a\0b", 3)
        << QByteArray("a\0b", 3);
    QTest::newRow("only zero bytes") << QByteArray(64, '\0') << QByteArray("rejected");
    QTest::newRow("one megabyte without blanks") << huge << QByteArray("rejected");
    QTest::newRow("one megabyte of blanks") << hugeBlanks << QByteArray("rejected");
    QTest::newRow("one megabyte of words") << hugeWords << QByteArray("rejected");
    QTest::newRow("one megabyte name")
        << QByteArray("-rw-r--r-- 1 u g 3 Jan 1 12:00 ") + huge << huge;
    QTest::newRow("one megabyte of blank runs after the date")
        << QByteArray("-rw-r--r-- 1 u g 3 Jan 1 12:00 ") + hugeBlanks + "z" << hugeBlanks + "z";
}

void TestListing::hostileLines()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, unixName);

    ListingParser parser;
    const ParsedEntry unixEntry = parser.Parse(ftpstUNIX, line);
    QCOMPARE(unixEntry.accepted ? unixEntry.name : QByteArray("rejected"), unixName);

    // Every style must survive the line, and the VMS hold must stay bounded.
    for (int style = ftpstDefault; style <= ftpstDetect; ++style) {
        const ParsedEntry e = parser.Parse(TMFtpServerType(style), line);
        QVERIFY(e.accepted || (e.name.isEmpty() && e.date.isEmpty() && e.size.isEmpty()));
        QVERIFY(parser.PendingLine().size() <= ListingParser::MaxPendingLength);
    }
}

void TestListing::fileInfoList()
{
    TMFtpFileInfoList list;
    QCOMPARE(list.Count(), 0);
    list.Add("drwxr-xr-x", "Jan 12 12:30", "512", "", "");
    list.Add("-rw-r--r--", "Mar 3 1998", "1024", "x3", "x4");
    QCOMPARE(list.Count(), 2);

    const QByteArrayList second = {"-rw-r--r--", "Mar 3 1998", "1024", "x3", "x4"};
    for (int field = 0; field < TMFtpFileInfoList::FieldCount; ++field) {
        QByteArray value = "untouched";
        QVERIFY(list.GetInfo(1, field, value));
        QCOMPARE(value, second.at(field));
    }
    QByteArray value;
    QVERIFY(list.GetInfo(0, 2, value));
    QCOMPARE(value, QByteArray("512"));

    list.Clear();
    QCOMPARE(list.Count(), 0);
    value = "kept";
    QVERIFY(!list.GetInfo(0, 0, value));
    QCOMPARE(value, QByteArray("kept"));

    list.Add("a", "b", "c", "", "");
    QCOMPARE(list.Count(), 1);
    QVERIFY(list.GetInfo(0, 1, value));
    QCOMPARE(value, QByteArray("b"));
}

void TestListing::fileInfoKeepsBytes_data()
{
    QTest::addColumn<QByteArrayList>("fields");

    QTest::newRow("plain") << QByteArrayList{"-rw-r--r--", "Jan 12 12:30", "1024", "", ""};
    QTest::newRow("zero size") << QByteArrayList{"-rw-r--r--", "Jan 12 12:30", "0", "", ""};
    QTest::newRow("largest plain size")
        << QByteArrayList{"-rw-r--r--", "Jan 1 2000", "999999999999999999", "", ""};
    QTest::newRow("size past qint64") << QByteArrayList{"-", "d", "99999999999999999999", "", ""};
    QTest::newRow("leading zero") << QByteArrayList{"-", "d", "007", "", ""};
    QTest::newRow("grouped digits") << QByteArrayList{"-", "d", "1,024", "", ""};
    QTest::newRow("VMS blocks") << QByteArrayList{"", "24-DEC-1998 12:00:00", "12/24", "", ""};
    QTest::newRow("signed") << QByteArrayList{"-", "d", "-1", "", ""};
    QTest::newRow("all empty") << QByteArrayList{"", "", "", "", ""};
    QTest::newRow("fields 3 and 4") << QByteArrayList{"drwxr-xr-x", "Jan 1 2000", "512", "..", "x4"};
    QTest::newRow("GB18030 and NUL bytes")
        << QByteArrayList{"\xd6\xd0", QByteArray("a\0b", 3), "12", "", QByteArray("\0", 1)};
}

void TestListing::fileInfoKeepsBytes()
{
    QFETCH(QByteArrayList, fields);

    // The row twice among many others: its texts come back byte for byte, and
    // a repeated attribute or date text is held once, not once per entry.
    // Each Add gets its own copies, as each parsed line has its own.
    const auto add = [](TMFtpFileInfoList &list, const QByteArrayList &f) {
        QByteArrayList c;
        for (const QByteArray &text : f)
            c << QByteArray(text.constData(), text.size());
        list.Add(c[0], c[1], c[2], c[3], c[4]);
    };
    const auto other = [](int i) {
        const QByteArray n = QByteArray::number(i);
        return QByteArrayList{"-rw-" + n, "Feb " + n + " 2002", n, "", ""};
    };
    TMFtpFileInfoList list;
    for (int i = 0; i < 100; ++i)
        add(list, i == 40 || i == 81 ? fields : other(i));
    QCOMPARE(list.Count(), 100);
    for (int index = 0; index < 100; ++index) {
        const QByteArrayList expected = index == 40 || index == 81 ? fields : other(index);
        for (int field = 0; field < TMFtpFileInfoList::FieldCount; ++field) {
            QByteArray value;
            QVERIFY(list.GetInfo(index, field, value));
            QCOMPARE(value, expected.at(field));
        }
    }
    for (int field : {0, 1}) {
        QByteArray first, second;
        QVERIFY(list.GetInfo(40, field, first));
        QVERIFY(list.GetInfo(81, field, second));
        if (!first.isEmpty())
            QCOMPARE(static_cast<const void *>(first.constData()), static_cast<const void *>(second.constData()));
    }
}

void TestListing::fileInfoListOutOfRange_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("field");

    QTest::newRow("field -1") << 0 << -1;
    QTest::newRow("field 5") << 0 << 5;
    QTest::newRow("field 100") << 1 << 100;
    QTest::newRow("index -1") << -1 << 0;
    QTest::newRow("index past the end") << 2 << 0;
}

void TestListing::fileInfoListOutOfRange()
{
    QFETCH(int, index);
    QFETCH(int, field);

    TMFtpFileInfoList list;
    list.Add("a0", "a1", "a2", "a3", "a4");
    list.Add("b0", "b1", "b2", "b3", "b4");
    QByteArray value = "previous";
    QVERIFY(!list.GetInfo(index, field, value));
    QCOMPARE(value, QByteArray("previous"));
}

QTEST_APPLESS_MAIN(TestListing)
#include "tst_listing.moc"
