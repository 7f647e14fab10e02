// ftp.ini: the integer rule, defaults for whatever the file does not hold
// (however broken it is), the exact bytes a save writes, and what a save keeps.

#include "mainwindow/main_settings.h"
#include "platform/folders.h"
#include "support/scripted_dialogs.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <climits>

namespace {

QByteArray ReadBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool WriteBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray Crlf(const QList<QByteArray> &lines)
{
    QByteArray out;
    for (const QByteArray &line : lines)
        out += line + "\r\n";
    return out;
}

TMainSettings Defaults()
{
    TMainSettings s;
    s.initdir = QDir::toNativeSeparators(QDir::currentPath());
    return s;
}

// The field named by its key, as text, so that one table covers all twelve.
QString Field(const TMainSettings &s, const QString &key)
{
    const QMap<QString, QString> fields = {
        {QStringLiteral("email"), s.email},
        {QStringLiteral("initdir"), s.initdir},
        {QStringLiteral("timeout"), QString::number(s.timeout)},
        {QStringLiteral("nooptime"), QString::number(s.nooptime)},
        {QStringLiteral("upresume"), QString::number(s.upresume)},
        {QStringLiteral("upfilenamecase"), QString::number(s.upfilenamecase)},
        {QStringLiteral("downresume"), QString::number(s.downresume)},
        {QStringLiteral("downfilenamecase"), QString::number(s.downfilenamecase)},
        {QStringLiteral("aftertransfer"), QString::number(s.aftertransfer)},
        {QStringLiteral("afterconnect"), QString::number(s.afterconnect)},
        {QStringLiteral("editor"), s.editor},
        {QStringLiteral("confirmdelete"), QString::number(s.confirmdelete)},
        {QStringLiteral("passive"), QString::number(s.passive)},
        {QStringLiteral("keepuploadtime"), QString::number(s.keepuploadtime)},
        {QStringLiteral("language"), s.language},
        {QStringLiteral("retries"), QString::number(s.retries)},
    };
    return fields.value(key, QStringLiteral("<no such key>"));
}

TMainSettings Sample()
{
    TMainSettings s;
    s.email = QStringLiteral("张三@example.com");
    s.initdir = QStringLiteral("/home/用户/下载");
    s.timeout = 45;
    s.nooptime = 0;
    s.upresume = 2;
    s.upfilenamecase = 3;
    s.downresume = 3;
    s.downfilenamecase = 2;
    s.aftertransfer = 7;   // outside 1..3: kept as it is
    s.afterconnect = -1;
    s.editor = QStringLiteral("/usr/bin/gedit --new-window");
    s.confirmdelete = false;
    return s;
}

} // namespace

Q_DECLARE_METATYPE(TMainSettings)

char *toString(const TMainSettings &s)
{
    return QTest::toString(QStringList{s.email, s.initdir, QString::number(s.timeout), QString::number(s.nooptime),
                                       QString::number(s.upresume), QString::number(s.upfilenamecase),
                                       QString::number(s.downresume), QString::number(s.downfilenamecase),
                                       QString::number(s.aftertransfer), QString::number(s.afterconnect), s.editor,
                                       QString::number(s.confirmdelete)}
                                .join(u'|'));
}

class TestMainSettings : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(dir_.isValid());
        path_ = dir_.filePath(QStringLiteral("ftp.ini"));
        QFile::remove(path_);
    }

    void integerRule_data();
    void integerRule();
    void missingFileGivesDefaults();
    void readsFields_data();
    void readsFields();
    void garbledFileGivesDefaults_data();
    void garbledFileGivesDefaults();
    void saveWritesExactBytes();
    void saveKeepsOtherLines_data();
    void saveKeepsOtherLines();
    void roundTrip_data();
    void roundTrip();
    void globalsUseSettingsFolder();
    void unwritableFileIsNotFatal_data();
    void unwritableFileIsNotFatal();

private:
    QTemporaryDir dir_;
    QString path_;
};

void TestMainSettings::integerRule_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");

    QTest::newRow("decimal") << QStringLiteral("42") << 42;
    QTest::newRow("leading zeros") << QStringLiteral("007") << 7;
    QTest::newRow("hex lower x") << QStringLiteral("0x1E") << 30;
    QTest::newRow("hex upper X, lower digits") << QStringLiteral("0X1e") << 30;
    QTest::newRow("hex one digit") << QStringLiteral("0x1") << 1;
    QTest::newRow("hex largest int") << QStringLiteral("0x7FFFFFFF") << INT_MAX;
    QTest::newRow("hex past int") << QStringLiteral("0x80000000") << -99;
    QTest::newRow("hex bad digit") << QStringLiteral("0x1G") << -99;
    QTest::newRow("hex with sign") << QStringLiteral("0x-1") << -99;
    QTest::newRow("0x alone is decimal") << QStringLiteral("0x") << -99;
    QTest::newRow("three letters") << QStringLiteral("abc") << -99;
    QTest::newRow("empty") << QString() << -99;
    QTest::newRow("negative") << QStringLiteral("-5") << -5;
    QTest::newRow("plus sign") << QStringLiteral("+12") << 12;
    QTest::newRow("sign alone") << QStringLiteral("-") << -99;
    QTest::newRow("largest int") << QStringLiteral("2147483647") << INT_MAX;
    QTest::newRow("smallest int") << QStringLiteral("-2147483648") << INT_MIN;
    QTest::newRow("past largest") << QStringLiteral("2147483648") << -99;
    QTest::newRow("past smallest") << QStringLiteral("-2147483649") << -99;
    QTest::newRow("far past 64 bits") << QString(400, u'9') << -99;
    QTest::newRow("hex far past 64 bits") << QStringLiteral("0x") + QString(400, u'F') << -99;
    QTest::newRow("trailing letter") << QStringLiteral("12a") << -99;
    QTest::newRow("inner blank") << QStringLiteral("1 2") << -99;
    QTest::newRow("full-width digits") << QStringLiteral("１２") << -99;
    QTest::newRow("decimal point") << QStringLiteral("1.5") << -99;
}

void TestMainSettings::integerRule()
{
    QFETCH(QString, text);
    QFETCH(int, expected);
    QCOMPARE(SettingsInteger(text, -99), expected);
}

void TestMainSettings::missingFileGivesDefaults()
{
    const TMainSettings s = ReadSettingsFile(path_);
    QCOMPARE(s, Defaults());
    QCOMPARE(s.timeout, 300);
    QCOMPARE(s.nooptime, 5);
    QVERIFY(s.email.isEmpty());
    QVERIFY(!QFile::exists(path_));   // reading never creates the file
}

void TestMainSettings::readsFields_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");

    const auto data = [](const QByteArray &line) { return Crlf({"[data]", line}); };
    QTest::newRow("hex timeout") << data("timeout=0x1E") << QStringLiteral("timeout") << QStringLiteral("30");
    QTest::newRow("letters timeout") << data("timeout=abc") << QStringLiteral("timeout") << QStringLiteral("300");
    QTest::newRow("empty nooptime") << data("nooptime=") << QStringLiteral("nooptime") << QStringLiteral("5");
    QTest::newRow("out-of-range policy kept") << data("downresume=9") << QStringLiteral("downresume")
                                              << QStringLiteral("9");
    QTest::newRow("huge number") << data("afterconnect=99999999999") << QStringLiteral("afterconnect")
                                 << QStringLiteral("1");
    QTest::newRow("blanks around") << data("  upresume =  3 ") << QStringLiteral("upresume") << QStringLiteral("3");
    QTest::newRow("key and section case") << Crlf({"[DATA]", "TimeOut=12"}) << QStringLiteral("timeout")
                                          << QStringLiteral("12");
    QTest::newRow("LF only") << QByteArray("[data]\nnooptime=9\n") << QStringLiteral("nooptime")
                             << QStringLiteral("9");
    QTest::newRow("GB18030 email") << data("email=\xd5\xc5\xc8\xfd@example.com") << QStringLiteral("email")
                                   << QStringLiteral("张三@example.com");
    QTest::newRow("UTF-8 initdir") << data("initdir=/home/\xe7\x94\xa8\xe6\x88\xb7") << QStringLiteral("initdir")
                                   << QStringLiteral("/home/用户");
    QTest::newRow("empty initdir stays empty") << data("initdir=") << QStringLiteral("initdir") << QString();
    QTest::newRow("confirmdelete off") << data("confirmdelete=0") << QStringLiteral("confirmdelete")
                                       << QStringLiteral("0");
    QTest::newRow("active data connections") << data("passive=0") << QStringLiteral("passive") << QStringLiteral("0");
    QTest::newRow("passive by default") << data("email=a") << QStringLiteral("passive") << QStringLiteral("1");
    QTest::newRow("upload times not kept") << data("keepuploadtime=0") << QStringLiteral("keepuploadtime")
                                           << QStringLiteral("0");
    QTest::newRow("retries by default") << data("email=a") << QStringLiteral("retries") << QStringLiteral("2");
    QTest::newRow("no retries") << data("retries=0") << QStringLiteral("retries") << QStringLiteral("0");
    QTest::newRow("negative retries") << data("retries=-1") << QStringLiteral("retries") << QStringLiteral("2");
    QTest::newRow("language in capitals") << data("language= EN ") << QStringLiteral("language") << QStringLiteral("en");
    QTest::newRow("unknown language is Chinese") << data("language=fr") << QStringLiteral("language")
                                                 << QStringLiteral("zh");
    QTest::newRow("value with equals") << data("editor=env A=1 vi") << QStringLiteral("editor")
                                       << QStringLiteral("env A=1 vi");
    QTest::newRow("first of twin keys") << Crlf({"[data]", "timeout=10", "timeout=20"}) << QStringLiteral("timeout")
                                        << QStringLiteral("10");
    QTest::newRow("key of another section") << Crlf({"[other]", "timeout=10", "[data]", "email=a"})
                                            << QStringLiteral("timeout") << QStringLiteral("300");
    QTest::newRow("commented out") << data(";timeout=10") << QStringLiteral("timeout") << QStringLiteral("300");
    QTest::newRow("after a huge foreign section")
        << QByteArray("[junk]\r\n") + QByteArray("k=v\r\n").repeated(1 << 20) + data("nooptime=0x10")
        << QStringLiteral("nooptime") << QStringLiteral("16");
}

void TestMainSettings::readsFields()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    QVERIFY(WriteBytes(path_, content));
    QCOMPARE(Field(ReadSettingsFile(path_), key), expected);
}

void TestMainSettings::garbledFileGivesDefaults_data()
{
    QTest::addColumn<QByteArray>("content");

    QByteArray noise(256 * 1024, Qt::Uninitialized);
    QRandomGenerator random(20240607);
    for (char &c : noise)
        c = char(random.bounded(256));
    QTest::newRow("random bytes") << noise;
    QTest::newRow("NUL bytes") << QByteArray(4096, '\0');
    static const char nulKeys[] = "[data]\r\ntime\0out=10\r\nnoop\0time=1\r\n";
    QTest::newRow("NUL inside the keys") << QByteArray(nulKeys, sizeof nulKeys - 1);
    QTest::newRow("no section") << Crlf({"timeout=10", "email=a@b"});
    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("section never closed") << QByteArray("[data");
    QTest::newRow("huge file without the section") << QByteArray(12 * 1024 * 1024, 'x');
    QTest::newRow("lone CRs") << QByteArray("\r\r\r[\r=\r]\r");
}

void TestMainSettings::garbledFileGivesDefaults()
{
    QFETCH(QByteArray, content);
    QVERIFY(WriteBytes(path_, content));
    ScopedScriptedDialogs dialogs;
    QCOMPARE(ReadSettingsFile(path_), Defaults());
    QVERIFY(dialogs->Calls().isEmpty());
}

void TestMainSettings::saveWritesExactBytes()
{
    TMainSettings s = Sample();
    QVERIFY(WriteSettingsFile(path_, s));
    QCOMPARE(ReadBytes(path_), Crlf({
        "[data]",
        "email=\xd5\xc5\xc8\xfd@example.com",
        "initdir=/home/\xd3\xc3\xbb\xa7/\xcf\xc2\xd4\xd8",
        "timeout=45",
        "nooptime=0",
        "upresume=2",
        "upfilenamecase=3",
        "downresume=3",
        "downfilenamecase=2",
        "aftertransfer=7",
        "afterconnect=-1",
        "editor=/usr/bin/gedit --new-window",
        "confirmdelete=0",
    }));

    // Defaults with empty texts: every key is written even when it says nothing.
    s = TMainSettings();
    s.initdir = QStringLiteral("D:\\download");
    QVERIFY(WriteSettingsFile(path_, s));
    QCOMPARE(ReadBytes(path_), Crlf({"[data]", "email=", "initdir=D:\\download", "timeout=300", "nooptime=5",
                                     "upresume=1", "upfilenamecase=1", "downresume=1", "downfilenamecase=1",
                                     "aftertransfer=1", "afterconnect=1", "editor=", "confirmdelete=1"}));
}

void TestMainSettings::saveKeepsOtherLines_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");

    QTest::newRow("foreign sections around, keys replaced in place")
        << Crlf({"; written by hand", "[window]", "left=10", "", "[data]", "editor=vi", "colour=red",
                 "TIMEOUT=1", "", "[later]", "x=1"})
        << Crlf({"; written by hand", "[window]", "left=10", "", "[data]", "editor=", "colour=red",
                 "timeout=300", "email=", "initdir=/tmp", "nooptime=5", "upresume=1", "upfilenamecase=1",
                 "downresume=1", "downfilenamecase=1", "aftertransfer=1", "afterconnect=1", "confirmdelete=1", "",
                 "[later]", "x=1"});
    QTest::newRow("no data section yet")
        << Crlf({"[other]", "a=b"})
        << Crlf({"[other]", "a=b", "", "[data]", "email=", "initdir=/tmp", "timeout=300", "nooptime=5",
                 "upresume=1", "upfilenamecase=1", "downresume=1", "downfilenamecase=1", "aftertransfer=1",
                 "afterconnect=1", "editor=", "confirmdelete=1"});
    QTest::newRow("all keys present in another order")
        << Crlf({"[data]", "editor=x", "afterconnect=3", "email=old", "initdir=/old", "timeout=1", "nooptime=2",
                 "upresume=3", "upfilenamecase=3", "downresume=3", "downfilenamecase=3", "aftertransfer=3"})
        << Crlf({"[data]", "editor=", "afterconnect=1", "email=", "initdir=/tmp", "timeout=300", "nooptime=5",
                 "upresume=1", "upfilenamecase=1", "downresume=1", "downfilenamecase=1", "aftertransfer=1",
                 "confirmdelete=1"});
    // A choice turned back to its default must reach the file, or the old value would stay.
    QTest::newRow("newer keys back at their defaults")
        << Crlf({"[data]", "passive=0", "keepuploadtime=0", "retries=5"})
        << Crlf({"[data]", "passive=1", "keepuploadtime=1", "retries=2", "email=", "initdir=/tmp", "timeout=300",
                 "nooptime=5", "upresume=1", "upfilenamecase=1", "downresume=1", "downfilenamecase=1",
                 "aftertransfer=1", "afterconnect=1", "editor=", "confirmdelete=1"});
    QTest::newRow("search engine named: kept in place, emptied with the record")
        << Crlf({"[data]", "searchengine=old.example.org", "email=x"})
        << Crlf({"[data]", "searchengine=", "email=", "initdir=/tmp", "timeout=300", "nooptime=5", "upresume=1",
                 "upfilenamecase=1", "downresume=1", "downfilenamecase=1", "aftertransfer=1", "afterconnect=1",
                 "editor=", "confirmdelete=1"});
    QTest::newRow("UTF-8 foreign text comes back as GB18030")
        << Crlf({"[site]", "name=\xe6\xb5\x8b\xe8\xaf\x95"})
        << Crlf({"[site]", "name=\xb2\xe2\xca\xd4", "", "[data]", "email=", "initdir=/tmp", "timeout=300",
                 "nooptime=5", "upresume=1", "upfilenamecase=1", "downresume=1", "downfilenamecase=1",
                 "aftertransfer=1", "afterconnect=1", "editor=", "confirmdelete=1"});
}

void TestMainSettings::saveKeepsOtherLines()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    QVERIFY(WriteBytes(path_, before));
    TMainSettings s;
    s.initdir = QStringLiteral("/tmp");
    QVERIFY(WriteSettingsFile(path_, s));
    QCOMPARE(ReadBytes(path_), after);
    // A second save of the same record changes nothing.
    QVERIFY(WriteSettingsFile(path_, s));
    QCOMPARE(ReadBytes(path_), after);
}

void TestMainSettings::roundTrip_data()
{
    QTest::addColumn<TMainSettings>("settings");

    QTest::newRow("sample") << Sample();
    TMainSettings s;
    s.initdir = QStringLiteral("C:\\Program Files\\中文 目录");
    s.timeout = INT_MAX;
    s.nooptime = INT_MIN;
    QTest::newRow("extreme numbers") << s;
    s = TMainSettings();
    s.email = QStringLiteral("a=b;c [d]");
    s.editor = QStringLiteral("  ");  // blanks around a value are not kept by the file
    s.initdir = QStringLiteral("/");
    QTest::newRow("punctuation") << s;
    s = TMainSettings();
    s.initdir = QStringLiteral("/");
    s.searchengine = QStringLiteral("https://search.example.org:8443");
    QTest::newRow("search engine set") << s;
}

void TestMainSettings::roundTrip()
{
    QFETCH(TMainSettings, settings);
    QVERIFY(WriteSettingsFile(path_, settings));
    TMainSettings expected = settings;
    expected.editor = expected.editor.trimmed();
    QCOMPARE(ReadSettingsFile(path_), expected);
}

void TestMainSettings::globalsUseSettingsFolder()
{
    platform::SetSettingsFolderOverride(dir_.path());
    const auto restore = qScopeGuard([] { platform::SetSettingsFolderOverride(QString()); });
    QCOMPARE(QFileInfo(SettingsFileName()).absoluteFilePath(), QFileInfo(path_).absoluteFilePath());

    LoadSettings();
    QCOMPARE(MainSettings, Defaults());

    MainSettings = Sample();
    QVERIFY(SaveSettings());
    QVERIFY(ReadBytes(path_).startsWith("[data]\r\nemail=\xd5\xc5\xc8\xfd@example.com\r\n"));
    MainSettings = TMainSettings();
    LoadSettings();
    QCOMPARE(MainSettings, Sample());
}

void TestMainSettings::unwritableFileIsNotFatal_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("folder below a file") << QStringLiteral("file-as-folder");
    QTest::newRow("ftp.ini is a folder") << QStringLiteral("folder-as-file");
}

void TestMainSettings::unwritableFileIsNotFatal()
{
    QFETCH(QString, kind);
    QString folder;
    if (kind == QStringLiteral("file-as-folder")) {
        const QString blocker = dir_.filePath(QStringLiteral("blocker"));
        QVERIFY(WriteBytes(blocker, "not a folder"));
        folder = blocker + QStringLiteral("/settings");
    } else {
        folder = dir_.filePath(QStringLiteral("odd"));
        QVERIFY(QDir().mkpath(folder + QStringLiteral("/ftp.ini/inside")));
    }
    platform::SetSettingsFolderOverride(folder);
    const auto restore = qScopeGuard([] { platform::SetSettingsFolderOverride(QString()); });

    ScopedScriptedDialogs dialogs;
    MainSettings = Sample();
    QVERIFY(!SaveSettings());
    QVERIFY(dialogs->Calls().isEmpty());
    // Nothing that was there is replaced, and reading still gives the defaults.
    if (kind == QStringLiteral("folder-as-file"))
        QVERIFY(QFileInfo(folder + QStringLiteral("/ftp.ini/inside")).isDir());
    LoadSettings();
    QCOMPARE(MainSettings, Defaults());
}

QTEST_MAIN(TestMainSettings)
#include "tst_main_settings.moc"
