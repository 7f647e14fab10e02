// The pure readers of the transfer dialogue: PASV replies, the size in a 150
// reply, the PORT argument, listed paths and size texts.

#include "engine/ftp_parse.h"

#include <QTest>

using namespace ftpparse;

class TestTransferParse : public QObject {
    Q_OBJECT
private slots:
    void pasvReply_data();
    void pasvReply();
    void epsvReply_data();
    void epsvReply();
    void sizeFromReply_data();
    void sizeFromReply();
    void portArgument_data();
    void portArgument();
    void fullPath_data();
    void fullPath();
    void sizeText_data();
    void sizeText();
};

void TestTransferParse::pasvReply_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");

    QTest::newRow("classic") << QByteArray("227 Entering Passive Mode (192,168,0,1,4,1)") << true << QStringLiteral("192.168.0.1") << 1025;
    QTest::newRow("vsftpd") << QByteArray("227 Entering Passive Mode (127,0,0,1,156,65).") << true << QStringLiteral("127.0.0.1") << 40001;
    QTest::newRow("blanks in fields") << QByteArray("227 Passive (10, 0, 0, 5, 4, 210)") << true << QStringLiteral("10.0.0.5") << 1234;
    QTest::newRow("no parentheses") << QByteArray("227 Entering Passive Mode 127,0,0,1,4,1") << true << QStringLiteral("127.0.0.1") << 1025;
    QTest::newRow("no parentheses, trailing text") << QByteArray("227 =127,0,0,1,4,1. ok") << true << QStringLiteral("127.0.0.1") << 1025;
    QTest::newRow("seventh field ignored") << QByteArray("227 (1,2,3,4,0,21,99)") << true << QStringLiteral("1.2.3.4") << 21;
    QTest::newRow("highest port") << QByteArray("227 (1,2,3,4,255,255)") << true << QStringLiteral("1.2.3.4") << 65535;
    QTest::newRow("five numbers") << QByteArray("227 Entering Passive Mode (127,0,0,1,4)") << false << QString() << 0;
    QTest::newRow("empty parentheses") << QByteArray("227 ()") << false << QString() << 0;
    QTest::newRow("field over 255") << QByteArray("227 (127,0,0,1,256,1)") << false << QString() << 0;
    QTest::newRow("letters") << QByteArray("227 (127,0,0,x,4,1)") << false << QString() << 0;
    QTest::newRow("negative") << QByteArray("227 (127,0,0,1,-4,1)") << false << QString() << 0;
    QTest::newRow("empty field") << QByteArray("227 (127,0,,1,4,1)") << false << QString() << 0;
    QTest::newRow("huge number") << QByteArray("227 (127,0,0,1,4294967297,1)") << false << QString() << 0;
    QTest::newRow("unclosed") << QByteArray("227 (127,0,0,1,4,1") << true << QStringLiteral("127.0.0.1") << 1025;
    QTest::newRow("only the code") << QByteArray("227") << false << QString() << 0;
    QTest::newRow("empty") << QByteArray() << false << QString() << 0;
}

void TestTransferParse::pasvReply()
{
    QFETCH(QByteArray, reply);
    QFETCH(bool, ok);
    QFETCH(QString, host);
    QFETCH(int, port);
    const std::optional<PasvAddress> address = ParsePasvReply(reply);
    QCOMPARE(address.has_value(), ok);
    if (ok) {
        QCOMPARE(address->host, host);
        QCOMPARE(int(address->port), port);
    }
}

void TestTransferParse::epsvReply_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("port");  // 0: nothing

    QTest::newRow("RFC 2428") << QByteArray("229 Entering Extended Passive Mode (|||6446|)") << 6446;
    QTest::newRow("pyftpdlib") << QByteArray("229 Entering extended passive mode (|||40001|).") << 40001;
    QTest::newRow("other delimiter") << QByteArray("229 Entering Extended Passive Mode (!!!2121!)") << 2121;
    QTest::newRow("blanks around") << QByteArray("229 ( ||| 6446 | )") << 6446;
    QTest::newRow("address fields ignored") << QByteArray("229 (|2|::1|6446|)") << 6446;
    QTest::newRow("no parentheses") << QByteArray("229 Entering Extended Passive Mode |||6446|") << 6446;
    QTest::newRow("port zero") << QByteArray("229 (|||0|)") << 0;
    QTest::newRow("port too large") << QByteArray("229 (|||65536|)") << 0;
    QTest::newRow("letters") << QByteArray("229 (|||64a6|)") << 0;
    QTest::newRow("two delimiters") << QByteArray("229 (||6446|)") << 0;
    QTest::newRow("digit as delimiter") << QByteArray("229 (11162441)") << 0;
    QTest::newRow("blank as delimiter") << QByteArray("229 (   6446 )") << 0;
    QTest::newRow("PASV reply") << QByteArray("227 Entering Passive Mode (127,0,0,1,4,1)") << 0;
    QTest::newRow("empty") << QByteArray() << 0;
}

void TestTransferParse::epsvReply()
{
    QFETCH(QByteArray, reply);
    QFETCH(int, port);
    QCOMPARE(int(ftpparse::ParseEpsvReply(reply).value_or(0)), port);
}

void TestTransferParse::sizeFromReply_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArray>("size");
    QTest::newRow("vsftpd") << QByteArray("150 Opening BINARY mode data connection for a.bin (12345 bytes).") << QByteArray("12345");
    QTest::newRow("up to the end") << QByteArray("150 Opening (777") << QByteArray("777");
    QTest::newRow("none") << QByteArray("150 File status okay; about to open data connection.") << QByteArray();
    QTest::newRow("first parenthesis") << QByteArray("150 Opening (a b) (9 bytes)") << QByteArray("a");
}

void TestTransferParse::sizeFromReply()
{
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, size);
    QCOMPARE(FileSizeFromReply(reply), size);
}

void TestTransferParse::portArgument_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("port");
    QTest::addColumn<QByteArray>("argument");
    QTest::newRow("example") << QStringLiteral("10.0.0.5") << 1234 << QByteArray("10,0,0,5,4,210");
    QTest::newRow("loopback high") << QStringLiteral("127.0.0.1") << 65535 << QByteArray("127,0,0,1,255,255");
    QTest::newRow("low port") << QStringLiteral("192.168.1.20") << 255 << QByteArray("192,168,1,20,0,255");
}

void TestTransferParse::portArgument()
{
    QFETCH(QString, address);
    QFETCH(int, port);
    QFETCH(QByteArray, argument);
    QCOMPARE(PortArgument(address, quint16(port)), argument);
    // What PORT announces must read back as the same address through the PASV reader.
    const std::optional<PasvAddress> back = ParsePasvReply("227 (" + argument + ")");
    QVERIFY(back);
    QCOMPARE(back->host, address);
    QCOMPARE(int(back->port), port);
}

void TestTransferParse::fullPath_data()
{
    QTest::addColumn<QByteArray>("directory");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("path");
    QTest::newRow("plain") << QByteArray("/pub") << QByteArray("a.txt") << QByteArray("/pub/a.txt");
    QTest::newRow("root") << QByteArray("/") << QByteArray("a.txt") << QByteArray("/a.txt");
    QTest::newRow("trailing slash") << QByteArray("/pub/") << QByteArray("b") << QByteArray("/pub/b");
    QTest::newRow("gbk bytes kept") << QByteArray("/\xd6\xd0") << QByteArray("\xce\xc4.txt") << QByteArray("/\xd6\xd0/\xce\xc4.txt");
}

void TestTransferParse::fullPath()
{
    QFETCH(QByteArray, directory);
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, path);
    QCOMPARE(RemoteFullPath(directory, name), path);
}

void TestTransferParse::sizeText_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<qint64>("value");
    QTest::newRow("small") << QByteArray("1024") << true << qint64(1024);
    QTest::newRow("zero") << QByteArray("0") << true << qint64(0);
    QTest::newRow("over 4 GiB") << QByteArray("5368709120") << true << qint64(5368709120LL);
    QTest::newRow("vms blocks") << QByteArray("12/24") << false << qint64(0);
    QTest::newRow("empty") << QByteArray() << false << qint64(0);
    QTest::newRow("sign") << QByteArray("-5") << false << qint64(0);
    QTest::newRow("too long to be a size") << QByteArray("99999999999999999999") << false << qint64(0);
}

void TestTransferParse::sizeText()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, ok);
    QFETCH(qint64, value);
    const std::optional<qint64> parsed = ParseSizeText(text);
    QCOMPARE(parsed.has_value(), ok);
    if (ok)
        QCOMPARE(*parsed, value);
}

QTEST_GUILESS_MAIN(TestTransferParse)
#include "tst_transfer_parse.moc"
