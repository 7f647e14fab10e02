// The site list file: which lines are sites, line ends, code pages, a huge or
// garbled file, the byte-exact round trip and a failed write.

#include "dialogs/integer_text.h"
#include "dialogs/site_list.h"
#include "dialogs/site_options.h"
#include "platform/codepage.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

QByteArray Gb(const QString &text)
{
    return platform::EncodeAnsi(text);
}

void WriteBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray ReadBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

QStringList Names(const QList<SiteEntry> &sites)
{
    QStringList names;
    for (const SiteEntry &site : sites)
        names << site.name;
    return names;
}

} // namespace

class TestSiteList : public QObject {
    Q_OBJECT
private slots:
    void init();
    void loadsExactlyTheSites_data();
    void loadsExactlyTheSites();
    void roundTripByteForByte_data();
    void roundTripByteForByte();
    void hugeAndGarbledFile();
    void missingFile();
    void failedWriteKeepsTheOldFile();
    void portNumber_data();
    void portNumber();
    void siteOptions_data();
    void siteOptions();

private:
    std::unique_ptr<QTemporaryDir> dir_;
    QString Path() const { return dir_->filePath(u"list.ini"_s); }
};

void TestSiteList::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
}

void TestSiteList::loadsExactlyTheSites_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<int>("skipped");

    const QByteArray mixed = Gb(u"工作站|ftp.example.org|guest|21|/tmp|/|no\r\n"_s)
        + "six|h|u|21|/tmp|/\r\n"
        + "eight|h|u|21|/tmp|/|no|extra\r\n"
        + "\r\n"
        + "trailing|h|u|21|/tmp|/|\r\n"
        + "\x81\x7c" + Gb(u"站|h|u|21|/tmp|/|yes\r\n"_s)
        + "last|h|u|21|/tmp|/|no";
    QTest::newRow("six, eight, empty, trailing bar, 0x7C trail byte")
        << mixed << QStringList{u"工作站"_s, u"trailing"_s, u"亅站"_s, u"last"_s} << 3;
    QTest::newRow("LF, CR and CR LF end lines")
        << QByteArray("a|h|u|21|/|/|no\nb|h|u|21|/|/|no\rc|h|u|21|/|/|no\r\nd|h|u|21|/|/|no\n")
        << QStringList{u"a"_s, u"b"_s, u"c"_s, u"d"_s} << 0;
    QTest::newRow("CR CR is an empty line between")
        << QByteArray("a|h|u|21|/|/|no\r\rb|h|u|21|/|/|no") << QStringList{u"a"_s, u"b"_s} << 1;
    QTest::newRow("UTF-8 file with a byte-order mark")
        << QByteArray("\xEF\xBB\xBF") + u"站点|h|u|21|/|/|no\n另一个|h|u|21|/|/|no\n"_s.toUtf8()
        << QStringList{u"站点"_s, u"另一个"_s} << 0;
    QTest::newRow("a field holding a bar is no site") << QByteArray("a|b|h|u|21|/|/|no\r\n")
                                                      << QStringList{} << 1;
    QTest::newRow("empty file") << QByteArray() << QStringList{} << 0;
}

void TestSiteList::loadsExactlyTheSites()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, names);
    QFETCH(int, skipped);

    WriteBytes(Path(), file);
    const SiteListRead read = ReadSiteList(Path());
    QVERIFY(read.opened);
    QCOMPARE(Names(read.sites), names);
    QCOMPARE(read.skippedLines, skipped);
}

void TestSiteList::roundTripByteForByte_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::newRow("GB18030 names and paths")
        << Gb(u"工作|ftpserver|guest|21|D:\\down|/|no\r\n匿名站|ftp.gnu.org||21|/tmp/下载|/gnu|yes\r\n"_s);
    QTest::newRow("trail byte 0x7C") << QByteArray("\x81\x7cx|h|u|21|/tmp|/|no\r\n");
    QTest::newRow("four-byte GB18030 character") << Gb(u"😀|h|u|21|/|/|no\r\n"_s);
    QTest::newRow("empty list") << QByteArray();
}

void TestSiteList::roundTripByteForByte()
{
    QFETCH(QByteArray, file);
    WriteBytes(Path(), file);
    const SiteListRead read = ReadSiteList(Path());
    QVERIFY(read.opened);
    const QString copy = dir_->filePath(u"copy.ini"_s);
    QVERIFY(WriteSiteList(copy, read.sites));
    QCOMPARE(ReadBytes(copy), file);
}

// Nothing in a binary file or an endless line may cost more than its lines.
void TestSiteList::hugeAndGarbledFile()
{
    QByteArray bytes;
    QRandomGenerator random(9);
    const QByteArray site("s|h|u|21|/tmp|/|no\r\n");
    int sites = 0;
    for (int i = 0; i < 20000; ++i) {
        if (i % 4 == 0) {
            bytes += site;
            ++sites;
        } else {
            QByteArray noise(64, Qt::Uninitialized);
            for (char &c : noise) {
                c = char(random.bounded(256));
                // Noise never holds a line end, so each noise run stays one line.
                if (c == '\r' || c == '\n' || c == '|')
                    c = 'x';
            }
            bytes += noise + "\n";
        }
    }
    // Two megabytes without a line end, then one more site.
    bytes += QByteArray(2 << 20, '|') + "\r\n" + site;
    ++sites;
    WriteBytes(Path(), bytes);

    const SiteListRead read = ReadSiteList(Path());
    QVERIFY(read.opened);
    QCOMPARE(read.sites.size(), sites);
    QCOMPARE(read.skippedLines, 20000 - 5000 + 1);
}

void TestSiteList::missingFile()
{
    const SiteListRead read = ReadSiteList(Path());
    QVERIFY(read.opened);  // a new installation: nothing to report
    QVERIFY(read.sites.isEmpty());
    QCOMPARE(CannotOpenFileMessage(Path()), u"Cannot open file "_s + QDir::toNativeSeparators(Path()));

    // A folder where the file should be cannot be read as one.
    QVERIFY(QDir().mkpath(Path()));
    QVERIFY(!ReadSiteList(Path()).opened);
}

void TestSiteList::failedWriteKeepsTheOldFile()
{
    const QByteArray old("old|h|u|21|/|/|no\r\n");
    WriteBytes(Path(), old);
    const QList<SiteEntry> sites = {SiteEntry::FromFields({u"new"_s, u"h"_s, u"u"_s, u"21"_s, u"/"_s, u"/"_s, u"no"_s})};

    // A folder in the way of the file: the write fails and leaves everything as it was.
    const QString blocked = dir_->filePath(u"blocked.ini"_s);
    QVERIFY(QDir().mkpath(blocked + u"/inside"_s));
    QVERIFY(!WriteSiteList(blocked, sites));
    QVERIFY(QFileInfo(blocked + u"/inside"_s).isDir());
    // A settings folder not made yet is made.
    QVERIFY(WriteSiteList(dir_->filePath(u"new folder/list.ini"_s), sites));
    QCOMPARE(ReadBytes(dir_->filePath(u"new folder/list.ini"_s)), QByteArray("new|h|u|21|/|/|no\r\n"));
    QCOMPARE(ReadBytes(Path()), old);
    QCOMPARE(QDir(dir_->path()).entryList(QDir::Files), QStringList{u"list.ini"_s});

    QVERIFY(WriteSiteList(Path(), sites));
    QCOMPARE(ReadBytes(Path()), QByteArray("new|h|u|21|/|/|no\r\n"));
}

void TestSiteList::portNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("value");
    QTest::newRow("plain") << u"21"_s << true << 21;
    QTest::newRow("signed") << u"-5"_s << true << -5;
    QTest::newRow("int max") << u"2147483647"_s << true << 2147483647;
    QTest::newRow("past int") << u"2147483648"_s << false << 0;
    QTest::newRow("empty") << QString() << false << 0;
    QTest::newRow("blank around") << u" 21"_s << false << 0;
    QTest::newRow("letters") << u"21a"_s << false << 0;
}

void TestSiteList::portNumber()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(int, value);
    const std::optional<int> number = IntegerText(text);
    QCOMPARE(number.has_value(), valid);
    if (valid)
        QCOMPARE(*number, value);
}

void TestSiteList::siteOptions_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("names");  // the sites read, with options "encryption passive"
    QTest::addColumn<QStringList>("values");

    QTest::newRow("two sites, CR LF") << QByteArray("a|0|1\r\nb|3|0\r\n") << QStringList{u"a"_s, u"b"_s}
                                      << QStringList{u"0 1"_s, u"3 0"_s};
    QTest::newRow("LF only, no last line end") << QByteArray("a|2|0\nb|1|1") << QStringList{u"a"_s, u"b"_s}
                                               << QStringList{u"2 0"_s, u"1 1"_s};
    QTest::newRow("Chinese name") << QByteArray("\xe5\xb7\xa5\xe4\xbd\x9c|1|1\r\n") << QStringList{u"工作"_s}
                                  << QStringList{u"1 1"_s};
    QTest::newRow("no site's options")
        << QByteArray("a|4|1\r\nb|-1|1\r\nc|1|2\r\nd|x|1\r\n|1|1\r\ne|1\r\nf|1|1|9\r\n\r\n")
        << QStringList() << QStringList();
}

void TestSiteList::siteOptions()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, names);
    QFETCH(QStringList, values);
    const QString path = dir_->filePath(u"list-options.ini"_s);
    WriteBytes(path, file);
    const QHash<QString, SiteOptions> read = ReadSiteOptions(path);
    QCOMPARE(read.size(), names.size());
    for (qsizetype i = 0; i < names.size(); ++i) {
        const SiteOptions options = read.value(names[i], SiteOptions{-1, false});
        QCOMPARE(u"%1 %2"_s.arg(options.encryption).arg(int(options.passive)), values[i]);
    }
    // What is written reads back the same.
    QVERIFY(WriteSiteOptions(path, read));
    QCOMPARE(ReadSiteOptions(path), read);
}

QTEST_GUILESS_MAIN(TestSiteList)
#include "tst_site_list.moc"
