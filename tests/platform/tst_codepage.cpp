// Code-page text: which bytes read as UTF-8 and which as GB18030, what we write, and how
// text files split into lines.

#include "platform/codepage.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace platform;

class TestCodepage : public QObject {
    Q_OBJECT

private slots:
    void decode_data();
    void decode();
    void encode_data();
    void encode();
    void leadByte_data();
    void leadByte();
    void readFile_data();
    void readFile();
    void readMissingFile();
    void writeFile_data();
    void writeFile();
    void writeFileRefusesFolder();
};

void TestCodepage::decode_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("utf8");

    QTest::newRow("ascii") << QByteArray("ftp.example.com") << QStringLiteral("ftp.example.com") << true;
    QTest::newRow("utf-8 chinese") << QByteArray::fromHex("e4b8ade69687") << QStringLiteral("中文") << true;
    QTest::newRow("gbk chinese") << QByteArray::fromHex("d6d0cec4") << QStringLiteral("中文") << false;
    // C1 AA CD A8 looks like two UTF-8 pairs, but C1 AA is an overlong form.
    QTest::newRow("gbk that looks like utf-8") << QByteArray::fromHex("c1aacda8") << QStringLiteral("联通") << false;
    // The trail byte of 亅 is "|": it must not end the character.
    QTest::newRow("gbk trail byte 0x7c") << QByteArray::fromHex("817c7c") << QStringLiteral("亅|") << false;
    QTest::newRow("gbk trail byte 0x7c, common char") << QByteArray::fromHex("b07c") << QStringLiteral("皘") << false;
    QTest::newRow("gb18030 four-byte") << QByteArray::fromHex("9439fc36") << QString::fromUtf8("\xF0\x9F\x98\x80") << false;
    QTest::newRow("utf-8 cut off at the end") << QByteArray::fromHex("e4b8") << QStringLiteral("涓") << false;
    QTest::newRow("utf-8 bom dropped") << QByteArray::fromHex("efbbbf") + "ab" << QStringLiteral("ab") << true;
    QTest::newRow("gb18030 bom dropped") << QByteArray::fromHex("84319533d6d0") << QStringLiteral("中") << false;
    QTest::newRow("utf-8 surrogate is not utf-8") << QByteArray::fromHex("eda080") << QStringLiteral("頎") + QChar(0xFFFD) << false;
    QTest::newRow("empty") << QByteArray() << QString() << true;
}

void TestCodepage::decode()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QFETCH(bool, utf8);
    QCOMPARE(DecodeAnsi(bytes), text);
    QCOMPARE(IsValidUtf8(bytes), utf8);
}

void TestCodepage::encode_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("ascii") << QStringLiteral("pub/file.zip") << QByteArray("pub/file.zip");
    QTest::newRow("chinese") << QStringLiteral("中文ABC") << QByteArray::fromHex("d6d0cec4414243");
    QTest::newRow("trail byte 0x7c") << QStringLiteral("亅|") << QByteArray::fromHex("817c7c");
    QTest::newRow("latin letter") << QStringLiteral("é") << QByteArray::fromHex("a8a6");
    QTest::newRow("outside the bmp") << QString::fromUtf8("\xF0\x9F\x98\x80") << QByteArray::fromHex("9439fc36");
}

void TestCodepage::encode()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(EncodeAnsi(text), bytes);
    // What we write must read back as the same text.
    QCOMPARE(DecodeAnsi(EncodeAnsi(text)), text);
}

void TestCodepage::leadByte_data()
{
    QTest::addColumn<int>("byte");
    QTest::addColumn<bool>("lead");

    QTest::newRow("pipe") << 0x7C << false;
    QTest::newRow("0x80") << 0x80 << false;
    QTest::newRow("0x81") << 0x81 << true;
    QTest::newRow("0xb0") << 0xB0 << true;
    QTest::newRow("0xfe") << 0xFE << true;
    QTest::newRow("0xff") << 0xFF << false;
    QTest::newRow("nul") << 0x00 << false;
}

void TestCodepage::leadByte()
{
    QFETCH(int, byte);
    QFETCH(bool, lead);
    QCOMPARE(IsDbcsLeadByte(static_cast<unsigned char>(byte)), lead);
}

void TestCodepage::readFile_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("cr lf") << QByteArray("a\r\nb\r\n") << QStringList{QStringLiteral("a"), QStringLiteral("b")};
    QTest::newRow("lf") << QByteArray("a\nb\n") << QStringList{QStringLiteral("a"), QStringLiteral("b")};
    QTest::newRow("no final line end") << QByteArray("a\r\nb") << QStringList{QStringLiteral("a"), QStringLiteral("b")};
    QTest::newRow("lone cr") << QByteArray("a\rb") << QStringList{QStringLiteral("a"), QStringLiteral("b")};
    QTest::newRow("blank lines kept") << QByteArray("a\r\n\r\n\r\nb\r\n\r\n")
                                      << QStringList{QStringLiteral("a"), QString(), QString(), QStringLiteral("b"), QString()};
    QTest::newRow("one empty line") << QByteArray("\r\n") << QStringList{QString()};
    QTest::newRow("empty file") << QByteArray() << QStringList();
    QTest::newRow("gbk lines") << QByteArray::fromHex("817c7c0d0acfc2d4d80d0a")
                               << QStringList{QStringLiteral("亅|"), QStringLiteral("下载")};
    QTest::newRow("utf-8 lines") << QByteArray::fromHex("e4b8ade696870a6f6b")
                                 << QStringList{QStringLiteral("中文"), QStringLiteral("ok")};
    QTest::newRow("blanks kept") << QByteArray("  x  \r\n") << QStringList{QStringLiteral("  x  ")};
}

void TestCodepage::readFile()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, lines);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("key.txt"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();

    QStringList read{QStringLiteral("stale")};
    QVERIFY(ReadAnsiTextFile(path, &read));
    QCOMPARE(read, lines);
}

void TestCodepage::readMissingFile()
{
    QTemporaryDir dir;
    QStringList read;
    QVERIFY(!ReadAnsiTextFile(dir.filePath(QStringLiteral("missing.txt")), &read));
}

void TestCodepage::writeFile_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("cr lf after every line") << QStringList{QStringLiteral("a"), QString(), QStringLiteral("b")}
                                            << QByteArray("a\r\n\r\nb\r\n");
    QTest::newRow("chinese as gb18030") << QStringList{QStringLiteral("ftp.pku.edu.cn"), QStringLiteral("中文")}
                                        << QByteArray("ftp.pku.edu.cn\r\n") + QByteArray::fromHex("d6d0cec40d0a");
    QTest::newRow("no lines") << QStringList() << QByteArray();
}

void TestCodepage::writeFile()
{
    QFETCH(QStringList, lines);
    QFETCH(QByteArray, bytes);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // The settings folder may not exist yet on a first start.
    const QString path = dir.filePath(QStringLiteral("new/folder/ftpmail.txt"));
    QVERIFY(WriteAnsiTextFile(path, lines));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), bytes);
    file.close();

    // Writing again replaces the whole content.
    QVERIFY(WriteAnsiTextFile(path, {QStringLiteral("x")}));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("x\r\n"));

    QStringList read;
    QVERIFY(ReadAnsiTextFile(path, &read));
    QCOMPARE(read, QStringList{QStringLiteral("x")});
}

void TestCodepage::writeFileRefusesFolder()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("sub"));
    QVERIFY(QDir().mkpath(path));
    QFile inside(path + QStringLiteral("/keep.txt"));
    QVERIFY(inside.open(QIODevice::WriteOnly));
    inside.close();

    QVERIFY(!WriteAnsiTextFile(path, {QStringLiteral("x")}));
    QVERIFY(QFileInfo(path).isDir());
    QVERIFY(QFileInfo::exists(path + QStringLiteral("/keep.txt")));
}

QTEST_GUILESS_MAIN(TestCodepage)
#include "tst_codepage.moc"
