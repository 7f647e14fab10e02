// FEAT replies and MLSD lines as servers send them, one row per text with
// the record or entry it must give.

#include "engine/ftp_features.h"
#include "engine/ftp_listing.h"
#include "engine/ftp_mlsx.h"

#include <QtTest>

namespace {

// A features record as one comparable text: "none" when FEAT was not
// answered 211, else the flags that are set, then "facts=" the MLST facts
// ("*" for those on by default).
QByteArray describe(const FtpFeatures &f)
{
    if (!f.answered)
        return f.lines.isEmpty() && !f.utf8 && !f.mlst && !f.mlsd && f.mlstFacts.isEmpty() ? "none" : "inconsistent";
    QByteArrayList words{"211"};
    const std::pair<bool, const char *> flags[] = {
        {f.utf8, "UTF8"}, {f.mlst, "MLST"}, {f.mlsd, "MLSD"}, {f.size, "SIZE"}, {f.mdtm, "MDTM"},
        {f.mfmt, "MFMT"}, {f.restStream, "REST-STREAM"}, {f.epsv, "EPSV"}, {f.eprt, "EPRT"},
        {f.authTls, "AUTH-TLS"}, {f.authSsl, "AUTH-SSL"}, {f.pbsz, "PBSZ"}, {f.prot, "PROT"},
        {f.clnt, "CLNT"}, {f.tvfs, "TVFS"}};
    for (const auto &[set, name] : flags)
        if (set)
            words << name;
    if (!f.mlstFacts.isEmpty()) {
        QByteArrayList facts;
        for (qsizetype i = 0; i < f.mlstFacts.size(); ++i)
            facts << f.mlstFacts.at(i) + (f.mlstFactEnabled.at(i) ? "*" : "");
        words << "facts=" + facts.join(',');
    }
    return words.join(' ');
}

// An MLSD entry as the listing files it: "rejected", or
// "<d|f> name=<...> attr=<...> date=<...> size=<...>".
QByteArray describe(const ParsedEntry &e)
{
    if (!e.accepted)
        return "rejected";
    return QByteArray(e.directory ? "d" : "f") + " name=<" + e.name + "> attr=<" + e.attributes + "> date=<"
        + e.date + "> size=<" + e.size + ">";
}

QByteArray entry(char kind, const QByteArray &name, const QByteArray &attr, const QByteArray &date,
                 const QByteArray &size)
{
    return QByteArray(1, kind) + " name=<" + name + "> attr=<" + attr + "> date=<" + date + "> size=<" + size + ">";
}

}  // namespace

class TestFeaturesMlsd : public QObject {
    Q_OBJECT
private slots:
    void featReply_data();
    void featReply();
    void featHelpers();
    void optsMlst_data();
    void optsMlst();
    void mlsdLine_data();
    void mlsdLine();
    void mlsxFacts();
    void mlsxTime_data();
    void mlsxTime();
    void modeText_data();
    void modeText();
};

void TestFeaturesMlsd::featReply_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArray>("expected");

    // What the test servers answer (Debian 12 builds).
    QTest::newRow("vsftpd")
        << QByteArray("211-Features:\r\n EPRT\r\n EPSV\r\n MDTM\r\n PASV\r\n REST STREAM\r\n SIZE\r\n TVFS\r\n UTF8\r\n211 End\r\n")
        << QByteArray("211 UTF8 SIZE MDTM REST-STREAM EPSV EPRT TVFS");
    QTest::newRow("proftpd")
        << QByteArray("211-Features:\r\n MFF modify;UNIX.group;UNIX.mode;\r\n REST STREAM\r\n"
                      " MLST modify*;perm*;size*;type*;unique*;UNIX.group*;UNIX.mode*;UNIX.owner*;\r\n"
                      " UTF8\r\n LANG en-US*\r\n EPRT\r\n EPSV\r\n MDTM\r\n SIZE\r\n211 End\r\n")
        << QByteArray("211 UTF8 MLST MLSD SIZE MDTM REST-STREAM EPSV EPRT "
                      "facts=modify*,perm*,size*,type*,unique*,UNIX.group*,UNIX.mode*,UNIX.owner*");
    QTest::newRow("pure-ftpd")
        << QByteArray("211-Extensions supported:\r\n EPRT\r\n IDLE\r\n MDTM\r\n SIZE\r\n MFMT\r\n REST STREAM\r\n"
                      " MLST type*;size*;sizd*;modify*;UNIX.mode*;UNIX.uid*;UNIX.gid*;unique*;\r\n MLSD\r\n"
                      " PRET\r\n AUTH TLS\r\n PBSZ\r\n PROT\r\n UTF8\r\n TVFS\r\n ESTA\r\n PASV\r\n EPSV\r\n"
                      " SPSV\r\n ESTP\r\n211 End.\r\n")
        << QByteArray("211 UTF8 MLST MLSD SIZE MDTM MFMT REST-STREAM EPSV EPRT AUTH-TLS PBSZ PROT TVFS "
                      "facts=type*,size*,sizd*,modify*,UNIX.mode*,UNIX.uid*,UNIX.gid*,unique*");
    QTest::newRow("pyftpdlib")
        << QByteArray("211-Features supported:\r\n EPRT\r\n EPSV\r\n MDTM\r\n MFMT\r\n"
                      " MLST type*;perm*;size*;modify*;unique*;unix.mode;unix.uid;unix.gid;\r\n"
                      " REST STREAM\r\n SIZE\r\n TVFS\r\n UTF8\r\n211 End FEAT.\r\n")
        << QByteArray("211 UTF8 MLST MLSD SIZE MDTM MFMT REST-STREAM EPSV EPRT TVFS "
                      "facts=type*,perm*,size*,modify*,unique*,unix.mode,unix.uid,unix.gid");
    QTest::newRow("FileZilla Server, TLS and SSL, CLNT")
        << QByteArray("211-Features:\r\n MDTM\r\n REST STREAM\r\n SIZE\r\n MLST type*;size*;modify*;\r\n MLSD\r\n"
                      " AUTH SSL\r\n AUTH TLS\r\n PROT\r\n PBSZ\r\n UTF8\r\n CLNT\r\n MFMT\r\n EPSV\r\n EPRT\r\n211 End\r\n")
        << QByteArray("211 UTF8 MLST MLSD SIZE MDTM MFMT REST-STREAM EPSV EPRT AUTH-TLS AUTH-SSL PBSZ PROT CLNT "
                      "facts=type*,size*,modify*");

    // Absent.
    QTest::newRow("500 unknown") << QByteArray("500 Unknown command.\r\n") << QByteArray("none");
    QTest::newRow("502 not implemented") << QByteArray("502 Command not implemented.\r\n") << QByteArray("none");
    QTest::newRow("500 multi-line") << QByteArray("500-What?\r\n UTF8\r\n500 No.\r\n") << QByteArray("none");
    QTest::newRow("214 is no FEAT reply") << QByteArray("214-Help\r\n UTF8\r\n214 End\r\n") << QByteArray("none");
    QTest::newRow("nothing") << QByteArray() << QByteArray("none");
    QTest::newRow("garbage") << QByteArray(" UTF8\r\n MLST type*;\r\n") << QByteArray("none");

    // Single line: FEAT is known, and there is nothing.
    QTest::newRow("single line") << QByteArray("211 no-features\r\n") << QByteArray("211");
    QTest::newRow("single line without line end") << QByteArray("211 No features") << QByteArray("211");
    QTest::newRow("bare code") << QByteArray("211") << QByteArray("211");

    // Loose readings.
    QTest::newRow("odd spacing and case")
        << QByteArray("211-Features:\r\n     utf8   \r\nmlst    Type*; Size* ;modify*;\r\n  rest   stream\r\n  Size\r\n211 End\r\n")
        << QByteArray("211 UTF8 MLST MLSD SIZE REST-STREAM facts=Type*,Size*,modify*");
    QTest::newRow("tabs")
        << QByteArray("211-Features:\r\n\tUTF8\r\n\tMLST\ttype*;size*;\r\n\tAUTH\tTLS\r\n211 End\r\n")
        << QByteArray("211 UTF8 MLST MLSD AUTH-TLS facts=type*,size*");
    QTest::newRow("bare LF") << QByteArray("211-Features:\n UTF8\n MLSD\n SIZE\n211 End\n")
                             << QByteArray("211 UTF8 MLSD SIZE");
    QTest::newRow("missing closing line") << QByteArray("211-Features:\r\n UTF8\r\n MDTM\r\n")
                                          << QByteArray("211 UTF8 MDTM");
    QTest::newRow("missing closing line and last line end") << QByteArray("211-Features:\r\n UTF8\r\n EPSV")
                                                            << QByteArray("211 UTF8 EPSV");
    QTest::newRow("code on every line")
        << QByteArray("211-Features:\r\n211-MDTM\r\n211-SIZE\r\n211-UTF8\r\n211 End\r\n")
        << QByteArray("211 UTF8 SIZE MDTM");
    QTest::newRow("lines after the closing line are not features")
        << QByteArray("211-Features:\r\n SIZE\r\n211 End\r\n UTF8\r\n") << QByteArray("211 SIZE");
    QTest::newRow("empty and blank lines") << QByteArray("211-Features:\r\n\r\n   \r\n SIZE\r\n211 End\r\n")
                                           << QByteArray("211 SIZE");
    QTest::newRow("REST without STREAM") << QByteArray("211-F\r\n REST\r\n211 E\r\n") << QByteArray("211");
    QTest::newRow("AUTH with several mechanisms")
        << QByteArray("211-F\r\n AUTH TLS-C;SSL\r\n211 E\r\n") << QByteArray("211 AUTH-TLS AUTH-SSL");
    QTest::newRow("MLST without facts") << QByteArray("211-F\r\n MLST\r\n211 E\r\n") << QByteArray("211 MLST MLSD");
    QTest::newRow("MLST facts repeated, blanks and odd bytes")
        << QByteArray("211-F\r\n MLST size*;size; ty\x01pe*;;*;modify*\r\n211 E\r\n")
        << QByteArray("211 MLST MLSD facts=size*,modify*");
    QTest::newRow("MLSD alone") << QByteArray("211-F\r\n MLSD\r\n211 E\r\n") << QByteArray("211 MLSD");
    QTest::newRow("words that only start like features")
        << QByteArray("211-F\r\n UTF8X\r\n SIZES\r\n MLSTX\r\n211 E\r\n") << QByteArray("211");
}

void TestFeaturesMlsd::featReply()
{
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, expected);
    QCOMPARE(describe(ftpfeatures::ParseFeatReply(reply)), expected);
}

void TestFeaturesMlsd::featHelpers()
{
    const FtpFeatures f = ftpfeatures::ParseFeatReply(
        "211-Features:\r\n  lang  en-US*;zh-CN\r\n MLST Type*;UNIX.mode;\r\n HOST\r\n211 End\r\n");
    QVERIFY(f.Has("LANG"));
    QVERIFY(f.Has("lang"));
    QVERIFY(f.Has("host"));
    QVERIFY(!f.Has("UTF8"));
    QVERIFY(!f.Has("LAN"));
    QCOMPARE(f.lines, (QByteArrayList{"LANG en-US*;zh-CN", "MLST Type*;UNIX.mode;", "HOST"}));
    QVERIFY(f.HasFact("type"));
    QVERIFY(f.FactEnabled("TYPE"));
    QVERIFY(f.HasFact("unix.mode"));
    QVERIFY(!f.FactEnabled("unix.mode"));
    QVERIFY(!f.HasFact("size"));
}

void TestFeaturesMlsd::optsMlst_data()
{
    QTest::addColumn<QByteArray>("mlst");
    QTest::addColumn<QByteArray>("argument");

    QTest::newRow("pyftpdlib: UNIX.mode off by default")
        << QByteArray("type*;perm*;size*;modify*;unique*;unix.mode;unix.uid;unix.gid;")
        << QByteArray("type;perm;size;modify;unique;unix.mode;");
    QTest::newRow("all on already") << QByteArray("modify*;perm*;size*;type*;unique*;UNIX.mode*;") << QByteArray();
    QTest::newRow("nothing wanted is off") << QByteArray("type*;size*;lang;") << QByteArray();
    QTest::newRow("none on") << QByteArray("Type;Size;Modify;") << QByteArray("Type;Size;Modify;");
}

void TestFeaturesMlsd::optsMlst()
{
    QFETCH(QByteArray, mlst);
    QFETCH(QByteArray, argument);
    const FtpFeatures f = ftpfeatures::ParseFeatReply("211-F\r\n MLST " + mlst + "\r\n211 E\r\n");
    QCOMPARE(ftpfeatures::OptsMlstArgument(f), argument);
}

void TestFeaturesMlsd::mlsdLine_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("expected");

    // Times are shown at UTC+8 here: 20261208004012 UTC is 08:40 there.
    const QByteArray shown = "2026-12-08 08:40";

    // The test servers' lines.
    QTest::newRow("proftpd file")
        << QByteArray("modify=20261208004012;perm=adfrw;size=6;type=file;unique=803U1A;UNIX.group=0;UNIX.mode=0644;UNIX.owner=0; a.txt")
        << entry('f', "a.txt", "-rw-r--r--", shown, "6");
    QTest::newRow("pure-ftpd directory")
        << QByteArray("type=dir;sizd=4096;modify=20261208004012;UNIX.mode=0755;UNIX.uid=1001;UNIX.gid=1001;unique=803g1b; pub")
        << entry('d', "pub", "drwxr-xr-x", shown, "4096");
    QTest::newRow("pyftpdlib file")
        << QByteArray("type=file;perm=radfwMT;size=123456;modify=20261208004012;unique=8031a2; big.bin")
        << entry('f', "big.bin", "", shown, "123456");
    QTest::newRow("pyftpdlib with unix.mode")
        << QByteArray("type=file;size=5;modify=20261208004012;unix.mode=0666; my file.txt")
        << entry('f', "my file.txt", "-rw-rw-rw-", shown, "5");

    // Facts in any order and case.
    QTest::newRow("upper-case fact names and values")
        << QByteArray("TYPE=DIR;MODIFY=20261208004012;UNIX.MODE=0700; Private")
        << entry('d', "Private", "drwx------", shown, "");
    QTest::newRow("type last") << QByteArray("size=10;modify=20261208004012;type=file; z")
                               << entry('f', "z", "", shown, "10");
    QTest::newRow("no type is a file") << QByteArray("size=3; plain") << entry('f', "plain", "", "", "3");
    QTest::newRow("last fact without its semicolon") << QByteArray("type=file;size=7 x") << entry('f', "x", "", "", "7");
    QTest::newRow("fraction of a second") << QByteArray("type=file;modify=20261208004012.345; f")
                                          << entry('f', "f", "", shown, "");
    QTest::newRow("size given beside sizd, on a directory")
        << QByteArray("type=dir;size=512;sizd=4096; d") << entry('d', "d", "", "", "512");
    QTest::newRow("setuid, sticky")
        << QByteArray("type=dir;unix.mode=1777; tmp") << entry('d', "tmp", "drwxrwxrwt", "", "");
    QTest::newRow("mode as pyftpdlib writes it")
        << QByteArray("modify=20261208004012;perm=r;size=3;type=file;unique=fe00ga902a2;unix.mode=0o644; a.txt")
        << entry('f', "a.txt", "-rw-r--r--", shown, "3");
    QTest::newRow("mode without leading zero")
        << QByteArray("type=file;UNIX.mode=644; m") << entry('f', "m", "-rw-r--r--", "", "");

    // Names byte for byte.
    QTest::newRow("blanks and semicolons in the name")
        << QByteArray("type=file;size=1;  two  blanks; and=semi;") << entry('f', " two  blanks; and=semi;", "", "", "1");
    QTest::newRow("trailing blank") << QByteArray("type=file; trail ") << entry('f', "trail ", "", "", "");
    QTest::newRow("UTF-8 name") << QByteArray("type=file;size=2; \xe4\xb8\xad\xe6\x96\x87.txt")
                                << entry('f', "\xe4\xb8\xad\xe6\x96\x87.txt", "", "", "2");
    QTest::newRow("GB18030 name") << QByteArray("type=file; gb\xd6\xd0") << entry('f', "gb\xd6\xd0", "", "", "");

    // Links.
    QTest::newRow("proftpd link")
        << QByteArray("modify=20261208004012;perm=adfr;size=7;type=OS.unix=slink:/usr/bin;unique=1;UNIX.mode=0777; bin")
        << entry('d', "bin", "lrwxrwxrwx", shown, "7");
    QTest::newRow("link without mode") << QByteArray("type=OS.unix=symlink; l") << entry('d', "l", "l", "", "");
    QTest::newRow("link, lower case") << QByteArray("type=os.UNIX=SLINK:x; l2") << entry('d', "l2", "l", "", "");

    // Skipped entries.
    QTest::newRow("cdir") << QByteArray("type=cdir;modify=20261208004012; .") << QByteArray("rejected");
    QTest::newRow("cdir with a path") << QByteArray("type=cdir;modify=20261208004012; /pub") << QByteArray("rejected");
    QTest::newRow("pdir") << QByteArray("type=pdir;modify=20261208004012; ..") << QByteArray("rejected");
    QTest::newRow("PDIR upper case") << QByteArray("Type=PDir; up") << QByteArray("rejected");
    QTest::newRow("device") << QByteArray("type=OS.unix=chr-13/29; tty") << QByteArray("rejected");

    // Unsafe names: refused, as the tree walks refuse them.
    QTest::newRow("climbing name") << QByteArray("type=file; ../../x") << QByteArray("rejected");
    QTest::newRow("slash in the name") << QByteArray("type=file; a/b") << QByteArray("rejected");
    QTest::newRow("absolute path") << QByteArray("type=file; /etc/passwd") << QByteArray("rejected");
    QTest::newRow("dot-dot as a directory") << QByteArray("type=dir; ..") << QByteArray("rejected");
    QTest::newRow("dot as a directory") << QByteArray("type=dir; .") << QByteArray("rejected");
    QTest::newRow("empty name") << QByteArray("type=file;size=1; ") << QByteArray("rejected");
    QTest::newRow("CR in the name") << QByteArray("type=file; a\rb") << QByteArray("rejected");
    QTest::newRow("dots inside a name are fine") << QByteArray("type=file; a..b") << entry('f', "a..b", "", "", "");

    // Malformed lines.
    QTest::newRow("no facts") << QByteArray(" name") << QByteArray("rejected");
    QTest::newRow("facts without =") << QByteArray("file;12; name") << QByteArray("rejected");
    QTest::newRow("no blank") << QByteArray("type=file;size=5;name") << QByteArray("rejected");
    QTest::newRow("a LIST line") << QByteArray("-rw-r--r-- 1 u g 5 Jan 1 12:00 x") << QByteArray("rejected");
    QTest::newRow("empty") << QByteArray() << QByteArray("rejected");
    QTest::newRow("bad size and time are left out")
        << QByteArray("type=file;size=12a;modify=20261399004012; s") << entry('f', "s", "", "", "");
    QTest::newRow("bad mode is left out") << QByteArray("type=file;unix.mode=0987; s") << entry('f', "s", "", "", "");
}

void TestFeaturesMlsd::mlsdLine()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, expected);
    ListingParser parser;
    parser.SetTimeZone(QTimeZone(8 * 3600));
    QCOMPARE(describe(parser.ParseMlsd(line)), expected);
}

void TestFeaturesMlsd::mlsxFacts()
{
    const ftpmlsx::Entry e = ftpmlsx::ParseLine(
        "Unique=AB12;perm=el;Type=OS.unix=slink:/a b;sizd=4096;x.custom=1;modify=19990102030405; /pub/My Dir");
    QVERIFY(e.valid);
    QCOMPARE(e.type, ftpmlsx::EntryType::Link);
    // The name is what follows the first blank; the target is cut there too.
    QCOMPARE(e.linkTarget, QByteArray("/a"));
    QCOMPARE(e.name, QByteArray("b;sizd=4096;x.custom=1;modify=19990102030405; /pub/My Dir"));

    const ftpmlsx::Entry m = ftpmlsx::ParseLine("Unique=AB12;perm=el;sizd=4096;modify=19990102030405; /pub/My Dir");
    QVERIFY(m.valid);
    QCOMPARE(m.type, ftpmlsx::EntryType::File);
    QCOMPARE(m.name, QByteArray("/pub/My Dir"));  // MLST names a path: the parser leaves it whole
    QCOMPARE(m.unique, QByteArray("AB12"));
    QCOMPARE(m.perm, QByteArray("el"));
    QCOMPARE(m.sizd, std::optional<qint64>(4096));
    QVERIFY(!m.size);
    QCOMPARE(m.modified, QDateTime(QDate(1999, 1, 2), QTime(3, 4, 5), QTimeZone::utc()));
    QCOMPARE(m.unixMode, -1);
    QVERIFY(!ftpmlsx::IsSafeName(m.name));
}

void TestFeaturesMlsd::mlsxTime_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("utc8");  // shown at UTC+8, "" when refused

    QTest::newRow("plain") << QByteArray("20261208004012") << QByteArray("2026-12-08 08:40");
    QTest::newRow("crosses midnight") << QByteArray("20261231200000") << QByteArray("2027-01-01 04:00");
    QTest::newRow("milliseconds") << QByteArray("20261208004012.999") << QByteArray("2026-12-08 08:40");
    QTest::newRow("long fraction") << QByteArray("20261208235959.123456") << QByteArray("2026-12-09 07:59");
    QTest::newRow("leap second") << QByteArray("20161231235960") << QByteArray("2017-01-01 07:59");
    QTest::newRow("leap day") << QByteArray("20240229120000") << QByteArray("2024-02-29 20:00");
    QTest::newRow("no leap day") << QByteArray("20230229120000") << QByteArray();
    QTest::newRow("month 13") << QByteArray("20261308004012") << QByteArray();
    QTest::newRow("hour 24") << QByteArray("20261208244012") << QByteArray();
    QTest::newRow("short") << QByteArray("2026120800401") << QByteArray();
    QTest::newRow("point without fraction") << QByteArray("20261208004012.") << QByteArray();
    QTest::newRow("letters") << QByteArray("2026120800401x") << QByteArray();
    QTest::newRow("blank") << QByteArray("20261208 04012") << QByteArray();
}

void TestFeaturesMlsd::mlsxTime()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, utc8);
    const QDateTime moment = ftpmlsx::ParseTime(text);
    QCOMPARE(ftpmlsx::TimeText(moment, QTimeZone(8 * 3600)), utc8);
    if (moment.isValid()) {
        // Shown in this machine's local time when no zone is given.
        QCOMPARE(ftpmlsx::TimeText(moment), moment.toLocalTime().toString(u"yyyy-MM-dd HH:mm").toLatin1());
    }
}

void TestFeaturesMlsd::modeText_data()
{
    QTest::addColumn<char>("type");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("file 644") << '-' << 0644 << QByteArray("-rw-r--r--");
    QTest::newRow("dir 755") << 'd' << 0755 << QByteArray("drwxr-xr-x");
    QTest::newRow("none") << '-' << 0 << QByteArray("----------");
    QTest::newRow("all") << 'l' << 0777 << QByteArray("lrwxrwxrwx");
    QTest::newRow("setuid") << '-' << 04755 << QByteArray("-rwsr-xr-x");
    QTest::newRow("setuid without x") << '-' << 04644 << QByteArray("-rwSr--r--");
    QTest::newRow("setgid") << 'd' << 02775 << QByteArray("drwxrwsr-x");
    QTest::newRow("sticky without x") << 'd' << 01776 << QByteArray("drwxrwxrwT");
}

void TestFeaturesMlsd::modeText()
{
    QFETCH(char, type);
    QFETCH(int, mode);
    QFETCH(QByteArray, text);
    QCOMPARE(ftpmlsx::ModeText(type, mode), text);
}

QTEST_APPLESS_MAIN(TestFeaturesMlsd)
#include "tst_features_mlsd.moc"
