// Where the settings files go: beside the program when it may write there, else the
// user's configuration folder; tests point it elsewhere.

#include "platform/folders.h"
#include "platform/profile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace platform;

class TestFolders : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void settingsFolderRule_data();
    void settingsFolderRule();
    void programFolder();
    void override();

private:
    QByteArray savedHome_;
    QByteArray savedConfigHome_;
    bool hadConfigHome_ = false;
};

void TestFolders::init()
{
    savedHome_ = qgetenv("HOME");
    hadConfigHome_ = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    savedConfigHome_ = qgetenv("XDG_CONFIG_HOME");
}

void TestFolders::cleanup()
{
    qputenv("HOME", savedHome_);
    if (hadConfigHome_)
        qputenv("XDG_CONFIG_HOME", savedConfigHome_);
    else
        qunsetenv("XDG_CONFIG_HOME");
    SetSettingsFolderOverride(QString());
}

void TestFolders::settingsFolderRule_data()
{
    // Paths are relative to a temporary root; "<none>" leaves XDG_CONFIG_HOME unset.
    QTest::addColumn<QString>("programFolder");
    QTest::addColumn<QString>("configHome");
    QTest::addColumn<QString>("expected");

    QTest::newRow("writable program folder") << "opt/tarvo" << "cfg" << "opt/tarvo";
    QTest::newRow("program folder missing") << "gone/tarvo" << "cfg" << "cfg/tarvo";
    QTest::newRow("program folder is a file") << "opt/file" << "cfg" << "cfg/tarvo";
    QTest::newRow("no config home") << "gone" << "<none>" << "home/.config/tarvo";
    QTest::newRow("empty config home") << "gone" << "" << "home/.config/tarvo";
    QTest::newRow("relative config home ignored") << "gone" << "@relative/cfg" << "home/.config/tarvo";
}

void TestFolders::settingsFolderRule()
{
    QFETCH(QString, programFolder);
    QFETCH(QString, configHome);
    QFETCH(QString, expected);

    QTemporaryDir root;
    QVERIFY(root.isValid());
    QVERIFY(QDir(root.path()).mkpath(QStringLiteral("opt/tarvo")));
    QVERIFY(QDir(root.path()).mkpath(QStringLiteral("home")));
    QFile file(root.filePath(QStringLiteral("opt/file")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();

    qputenv("HOME", QFile::encodeName(root.filePath(QStringLiteral("home"))));
    if (configHome == QStringLiteral("<none>"))
        qunsetenv("XDG_CONFIG_HOME");
    else if (configHome.startsWith(u'@'))
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome.mid(1)));
    else if (configHome.isEmpty())
        qputenv("XDG_CONFIG_HOME", QByteArray());
    else
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(root.filePath(configHome)));

    QCOMPARE(SettingsFolderFor(root.filePath(programFolder)), root.filePath(expected));
}

void TestFolders::programFolder()
{
    // The build folder of this test is writable, so the settings live beside the program.
    const QString folder = ProgramFolder();
    QVERIFY(QFileInfo::exists(folder + QStringLiteral("/tst_platform_folders")));
    QCOMPARE(SettingsFolder(), folder);
    QCOMPARE(SettingsFilePath(QStringLiteral("list.ini")), folder + QStringLiteral("/list.ini"));
}

void TestFolders::override()
{
    QTemporaryDir root;
    const QString folder = root.filePath(QStringLiteral("settings"));
    SetSettingsFolderOverride(folder + u'/');
    QCOMPARE(SettingsFolder(), folder);
    QCOMPARE(SettingsFilePath(QStringLiteral("ftp.ini")), folder + QStringLiteral("/ftp.ini"));

    // The first write creates the folder.
    QVERIFY(WriteProfileString(SettingsFilePath(QStringLiteral("ftp.ini")), QStringLiteral("data"),
                               QStringLiteral("timeout"), QStringLiteral("300")));
    QVERIFY(QFileInfo::exists(folder + QStringLiteral("/ftp.ini")));
    QVERIFY(!QFileInfo::exists(ProgramFolder() + QStringLiteral("/ftp.ini")));

    SetSettingsFolderOverride(QString());
    QCOMPARE(SettingsFolder(), ProgramFolder());
}

QTEST_GUILESS_MAIN(TestFolders)
#include "tst_folders.moc"
