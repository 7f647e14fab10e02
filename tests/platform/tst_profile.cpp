// Profile files on disk: what reads as the default, and the exact bytes a write leaves.

#include "platform/codepage.h"
#include "platform/folders.h"
#include "platform/profile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace platform;

namespace {

const QByteArray kNoFile = QByteArray("<no file>");

void WriteBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray ReadBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return kNoFile;
    return file.readAll();
}

} // namespace

class TestProfile : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { SetSettingsFolderOverride(QString()); }
    void read_data();
    void read();
    void write_data();
    void write();
    void refusedWrite_data();
    void refusedWrite();
    void keysInWriteOrder();
    void bareNameGoesToSettingsFolder();
    void unreadableFileKept();
};

void TestProfile::read_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");

    const QString def = QStringLiteral("<default>");
    const QByteArray ftpIni("[data]\r\nemail=a@b.c\r\ntimeout=300\r\nempty=\r\n");
    QTest::newRow("missing file") << kNoFile << "data" << "email" << def;
    QTest::newRow("key") << ftpIni << "data" << "timeout" << "300";
    QTest::newRow("missing section") << ftpIni << "other" << "email" << def;
    QTest::newRow("missing key") << ftpIni << "data" << "nooptime" << def;
    QTest::newRow("empty value is not the default") << ftpIni << "data" << "empty" << "";
    QTest::newRow("case of section and key") << ftpIni << "DATA" << "EMail" << "a@b.c";
    QTest::newRow("blanks around key and value") << QByteArray("[data]\r\n  editor \t=  vi -R  \r\n")
                                                 << "data" << "editor" << "vi -R";
    QTest::newRow("value after the first =") << QByteArray("[data]\r\nk=a=b\r\n") << "data" << "k" << "a=b";
    QTest::newRow("key of another section") << QByteArray("[a]\r\nk=1\r\n[b]\r\nj=2\r\n") << "b" << "k" << def;
    QTest::newRow("key of a later section") << QByteArray("[a]\r\nk=1\r\n[b]\r\nk=2\r\n") << "b" << "k" << "2";
    QTest::newRow("first of two keys") << QByteArray("[a]\r\nk=1\r\nk=2\r\n") << "a" << "k" << "1";
    QTest::newRow("first of two sections") << QByteArray("[a]\r\nk=1\r\n[a]\r\nk=2\r\n") << "a" << "k" << "1";
    QTest::newRow("prefix is not the key") << QByteArray("[a]\r\nemailx=1\r\n") << "a" << "email" << def;
    QTest::newRow("comment is not a key") << QByteArray("[a]\r\n;k=1\r\n") << "a" << "k" << def;
    QTest::newRow("key before any section") << QByteArray("k=1\r\n[a]\r\n") << "a" << "k" << def;
    QTest::newRow("blanks in the header") << QByteArray("  [ data ]  \r\nk=1\r\n") << "data" << "k" << "1";
    QTest::newRow("lf line ends") << QByteArray("[a]\nk=1\nj=2\n") << "a" << "j" << "2";
    QTest::newRow("gbk value") << QByteArray("[data]\r\ninitdir=/home/") + QByteArray::fromHex("cfc2d4d8") + "\r\n"
                               << "data" << "initdir" << QStringLiteral("/home/下载");
    QTest::newRow("utf-8 value") << QByteArray("[data]\r\ninitdir=/home/") + QByteArray::fromHex("e4b88be8bdbd") + "\r\n"
                                 << "data" << "initdir" << QStringLiteral("/home/下载");
    QTest::newRow("utf-8 bom") << QByteArray::fromHex("efbbbf") + "[data]\r\nk=1\r\n" << "data" << "k" << "1";
}

void TestProfile::read()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, expected);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("ftp.ini"));
    if (content != kNoFile)
        WriteBytes(path, content);
    QCOMPARE(GetProfileString(path, section, key, QStringLiteral("<default>")), expected);
}

void TestProfile::write_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<QString>("readBack");

    QTest::newRow("new file") << kNoFile << "data" << "email" << "a@b.c"
                              << QByteArray("[data]\r\nemail=a@b.c\r\n") << "a@b.c";
    QTest::newRow("replaced in place, the rest kept")
        << QByteArray("; Tarvo\r\n[data]\r\nemail=old\r\n  timeout = 300 \r\nunknown\r\n\r\n[other]\r\nemail=x\r\n")
        << "data" << "email" << "new"
        << QByteArray("; Tarvo\r\n[data]\r\nemail=new\r\n  timeout = 300 \r\nunknown\r\n\r\n[other]\r\nemail=x\r\n")
        << "new";
    QTest::newRow("key matched without case")
        << QByteArray("[DATA]\r\nEMAIL=old\r\nz=1\r\n") << "data" << "email" << "new"
        << QByteArray("[DATA]\r\nemail=new\r\nz=1\r\n") << "new";
    QTest::newRow("new key after the section's last non-blank line")
        << QByteArray("[data]\r\na=1\r\n;note\r\n\r\n\r\n[other]\r\nb=2\r\n") << "data" << "c" << "3"
        << QByteArray("[data]\r\na=1\r\n;note\r\nc=3\r\n\r\n\r\n[other]\r\nb=2\r\n") << "3";
    QTest::newRow("new key in an empty section")
        << QByteArray("[data]\r\n\r\n[other]\r\n") << "data" << "c" << "3"
        << QByteArray("[data]\r\nc=3\r\n\r\n[other]\r\n") << "3";
    QTest::newRow("new key in the last section without a final line end")
        << QByteArray("[data]\r\na=1") << "data" << "c" << "3"
        << QByteArray("[data]\r\na=1\r\nc=3\r\n") << "3";
    QTest::newRow("new section at the end")
        << QByteArray("[data]\r\na=1\r\n") << "mail" << "smtp" << "127.0.0.1"
        << QByteArray("[data]\r\na=1\r\n\r\n[mail]\r\nsmtp=127.0.0.1\r\n") << "127.0.0.1";
    QTest::newRow("new section after a blank last line")
        << QByteArray("[data]\r\na=1\r\n\r\n") << "mail" << "smtp" << "h"
        << QByteArray("[data]\r\na=1\r\n\r\n[mail]\r\nsmtp=h\r\n") << "h";
    QTest::newRow("empty existing file")
        << QByteArray() << "data" << "k" << "v" << QByteArray("[data]\r\nk=v\r\n") << "v";
    QTest::newRow("first of two sections written")
        << QByteArray("[a]\r\nk=1\r\n[a]\r\nk=2\r\n") << "a" << "k" << "9"
        << QByteArray("[a]\r\nk=9\r\n[a]\r\nk=2\r\n") << "9";
    QTest::newRow("lf file comes back cr lf")
        << QByteArray("[data]\nk=1\nj=2\n") << "data" << "j" << "3"
        << QByteArray("[data]\r\nk=1\r\nj=3\r\n") << "3";
    QTest::newRow("empty value")
        << QByteArray("[data]\r\neditor=vi\r\n") << "data" << "editor" << ""
        << QByteArray("[data]\r\neditor=\r\n") << "";
    QTest::newRow("value with = and inner blanks")
        << kNoFile << "data" << "editor" << "vi  -c a=b"
        << QByteArray("[data]\r\neditor=vi  -c a=b\r\n") << "vi  -c a=b";
    QTest::newRow("chinese value written gb18030")
        << kNoFile << "data" << "initdir" << "/home/下载"
        << QByteArray("[data]\r\ninitdir=/home/") + QByteArray::fromHex("cfc2d4d8") + "\r\n" << "/home/下载";
    QTest::newRow("utf-8 file rewritten gb18030, other lines kept")
        << QByteArray("[data]\r\nname=") + QByteArray::fromHex("e4b8ade69687") + "\r\n"
        << "data" << "k" << "1"
        << QByteArray("[data]\r\nname=") + QByteArray::fromHex("d6d0cec4") + "\r\nk=1\r\n" << "1";
    QTest::newRow("line break in the value stays on one line")
        << QByteArray("[data]\r\nz=1\r\n") << "data" << "email" << "a\r\n[evil]\nb"
        << QByteArray("[data]\r\nz=1\r\nemail=a [evil] b\r\n") << "a [evil] b";
}

void TestProfile::write()
{
    QFETCH(QByteArray, before);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QByteArray, after);
    QFETCH(QString, readBack);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("ftp.ini"));
    if (before != kNoFile)
        WriteBytes(path, before);
    QVERIFY(WriteProfileString(path, section, key, value));
    QCOMPARE(ReadBytes(path), after);
    QCOMPARE(GetProfileString(path, section, key, QStringLiteral("<default>")), readBack);
}

void TestProfile::refusedWrite_data()
{
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");

    QTest::newRow("empty key") << "data" << "  ";
    QTest::newRow("key with =") << "data" << "a=b";
    QTest::newRow("key with a line break") << "data" << "a\r\nb";
    QTest::newRow("key looking like a section") << "data" << "[x]";
    QTest::newRow("key looking like a comment") << "data" << ";x";
    QTest::newRow("section with ]") << "da]ta" << "k";
    QTest::newRow("section with a line break") << "da\nta" << "k";
}

void TestProfile::refusedWrite()
{
    QFETCH(QString, section);
    QFETCH(QString, key);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ftp.ini"));
    const QByteArray before("[data]\r\nk=1\r\n");
    WriteBytes(path, before);
    QVERIFY(!WriteProfileString(path, section, key, QStringLiteral("v")));
    QCOMPARE(ReadBytes(path), before);
}

void TestProfile::keysInWriteOrder()
{
    // The configuration dialog's save writes eleven keys one after the other into a file
    // that another section and a hand-written comment share.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ftp.ini"));
    WriteBytes(path, QByteArray("[data]\r\ntimeout=60\r\n; mine\r\n\r\n[window]\r\nleft=10\r\n"));
    QVERIFY(WriteProfileString(path, QStringLiteral("data"), QStringLiteral("email"), QStringLiteral("me@x")));
    QVERIFY(WriteProfileString(path, QStringLiteral("data"), QStringLiteral("timeout"), QStringLiteral("300")));
    QVERIFY(WriteProfileString(path, QStringLiteral("data"), QStringLiteral("editor"), QStringLiteral("gedit")));
    QCOMPARE(ReadBytes(path),
             QByteArray("[data]\r\ntimeout=300\r\n; mine\r\nemail=me@x\r\neditor=gedit\r\n\r\n[window]\r\nleft=10\r\n"));
}

void TestProfile::bareNameGoesToSettingsFolder()
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("config/tarvo"));
    SetSettingsFolderOverride(folder);
    QVERIFY(WriteProfileString(QStringLiteral("ftp-mail.ini"), QStringLiteral("data"), QStringLiteral("smtp"),
                               QStringLiteral("127.0.0.1")));
    QCOMPARE(ReadBytes(folder + QStringLiteral("/ftp-mail.ini")), QByteArray("[data]\r\nsmtp=127.0.0.1\r\n"));
    QCOMPARE(GetProfileString(QStringLiteral("ftp-mail.ini"), QStringLiteral("data"), QStringLiteral("smtp")),
             QStringLiteral("127.0.0.1"));
}

void TestProfile::unreadableFileKept()
{
    // A folder stands where the file should be: nothing may replace it.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ftp.ini"));
    QVERIFY(QDir().mkpath(path));
    QVERIFY(!WriteProfileString(path, QStringLiteral("data"), QStringLiteral("k"), QStringLiteral("v")));
    QVERIFY(QFileInfo(path).isDir());
    QCOMPARE(GetProfileString(path, QStringLiteral("data"), QStringLiteral("k"), QStringLiteral("d")),
             QStringLiteral("d"));
}

QTEST_GUILESS_MAIN(TestProfile)
#include "tst_profile.moc"
