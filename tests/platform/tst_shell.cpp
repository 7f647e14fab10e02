// The shell services: attribute letters, where "open" sends a path or address, detached
// programs, the trash.

#include "platform/shell.h"

#include <QDesktopServices>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

using namespace platform;

// Catches what QDesktopServices would hand to the desktop.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls.append(url); }
};

class TestShell : public QObject {
    Q_OBJECT

private slots:
    void attributeLetters_data();
    void attributeLetters();
    void shellOpenTarget_data();
    void shellOpenTarget();
    void shellOpenReachesTheDesktop();
    void startProgram();
    void moveToTrash();
};

void TestShell::attributeLetters_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("directory");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("letters");

    QTest::newRow("plain file") << "a.txt" << false << 0644 << "";
    QTest::newRow("read-only file") << "ro.txt" << false << 0444 << "R";
    QTest::newRow("owner-only read-only file") << "ro2.txt" << false << 0400 << "R";
    QTest::newRow("hidden file") << ".profile" << false << 0644 << "H";
    QTest::newRow("hidden read-only file") << ".netrc" << false << 0400 << "RH";
    QTest::newRow("plain folder") << "pub" << true << 0755 << "D";
    QTest::newRow("folder writable by its owner only") << "own" << true << 0700 << "D";
    QTest::newRow("read-only folder") << "cdrom" << true << 0555 << "DR";
    QTest::newRow("hidden folder") << ".config" << true << 0755 << "DH";
    QTest::newRow("hidden read-only folder") << ".snap" << true << 0555 << "DRH";
    QTest::newRow("missing entry") << "gone" << false << -1 << "";
}

void TestShell::attributeLetters()
{
    QFETCH(QString, name);
    QFETCH(bool, directory);
    QFETCH(int, mode);
    QFETCH(QString, letters);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(name);
    if (mode >= 0) {
        if (directory) {
            QVERIFY(QDir().mkdir(path));
        } else {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.close();
        }
        QVERIFY(::chmod(QFile::encodeName(path).constData(), mode_t(mode)) == 0);
    }
    QCOMPARE(AttributeLetters(QFileInfo(path)), letters);
    if (mode >= 0)
        ::chmod(QFile::encodeName(path).constData(), 0755);
}

void TestShell::shellOpenTarget_data()
{
    QTest::addColumn<QString>("given");
    QTest::addColumn<QUrl>("target");

    QTest::newRow("http address") << "http://127.0.0.1:8080/x?q=1" << QUrl(QStringLiteral("http://127.0.0.1:8080/x?q=1"));
    QTest::newRow("ftp address") << "ftp://user@host/pub/a.zip" << QUrl(QStringLiteral("ftp://user@host/pub/a.zip"));
    QTest::newRow("mailto") << "mailto:me@example.com" << QUrl(QStringLiteral("mailto:me@example.com"));
    QTest::newRow("absolute path") << "/tmp/a b/中文.txt" << QUrl::fromLocalFile(QStringLiteral("/tmp/a b/中文.txt"));
    QTest::newRow("relative path") << "docs/readme.txt"
                                   << QUrl::fromLocalFile(QDir::current().absoluteFilePath(QStringLiteral("docs/readme.txt")));
    QTest::newRow("path with # and ?") << "/tmp/a#1?.txt" << QUrl::fromLocalFile(QStringLiteral("/tmp/a#1?.txt"));
}

void TestShell::shellOpenTarget()
{
    QFETCH(QString, given);
    QFETCH(QUrl, target);
    QCOMPARE(ShellOpenTarget(given), target);
}

void TestShell::shellOpenReachesTheDesktop()
{
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &catcher, "open");
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "open");

    QTemporaryDir dir;
    // A local entry whose name looks like an address is still the local entry.
    const QString odd = dir.filePath(QStringLiteral("http:x"));
    QFile file(odd);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));

    QVERIFY(ShellOpen(QStringLiteral("http://127.0.0.1/")));
    QVERIFY(ShellOpen(QStringLiteral("http:x")));
    QVERIFY(!ShellOpen(QString()));
    QDir::setCurrent(previous);
    QCOMPARE(catcher.urls, (QList<QUrl>{QUrl(QStringLiteral("http://127.0.0.1/")), QUrl::fromLocalFile(odd)}));

    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
}

void TestShell::startProgram()
{
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("out.txt"));
    // Arguments reach the program one by one, blanks and Chinese intact.
    QVERIFY(StartProgram(QStringLiteral("/bin/sh"),
                         {QStringLiteral("-c"), QStringLiteral("printf %s \"$1\" > \"$2.tmp\" && mv \"$2.tmp\" \"$2\""),
                          QStringLiteral("sh"), QStringLiteral("a  b 中文"), out}));
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(out), 5000);
    QFile file(out);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(file.readAll()), QStringLiteral("a  b 中文"));

    QVERIFY(!StartProgram(dir.filePath(QStringLiteral("no-such-program"))));
    QVERIFY(!StartProgram(QString()));
}

void TestShell::moveToTrash()
{
    QTemporaryDir dir;
    // A fresh account: the data folder that holds the trash does not exist yet.
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath(QStringLiteral("data"))));
    const QString folder = dir.filePath(QStringLiteral("old"));
    QVERIFY(QDir().mkpath(folder + QStringLiteral("/sub")));
    QFile file(folder + QStringLiteral("/sub/keep.txt"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("content");
    file.close();

    // Deleting to the trash must not lose the data.
    QVERIFY(MoveToTrash(folder));
    QVERIFY(!QFileInfo::exists(folder));
    QFile trashed(dir.filePath(QStringLiteral("data/Trash/files/old/sub/keep.txt")));
    QVERIFY(trashed.open(QIODevice::ReadOnly));
    QCOMPARE(trashed.readAll(), QByteArray("content"));

    QVERIFY(!MoveToTrash(dir.filePath(QStringLiteral("missing"))));
    qunsetenv("XDG_DATA_HOME");
}

QTEST_MAIN(TestShell)
#include "tst_shell.moc"
