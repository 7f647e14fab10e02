// The transfer walks without a server: the order of operations, the names they
// refuse, and the loops they do not enter.

#include "core/transfer_walk.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

RemoteItem Dir(const QByteArray &name)
{
    return {name, true, "drwxr-xr-x"};
}
RemoteItem Link(const QByteArray &name)
{
    return {name, true, "lrwxrwxrwx"};
}
RemoteItem File(const QByteArray &name)
{
    return {name, false, "-rw-r--r--"};
}

// Plays a download against a tree held in memory: every directory change
// succeeds, every file arrives. Returns the operations in order.
QStringList PlayDownload(TransferWalk &walk, TransferStep step, const QHash<QByteArray, QList<RemoteItem>> &tree,
                         QStringList *log = nullptr)
{
    QStringList operations;
    for (int guard = 0; guard < 200; ++guard) {
        if (log)
            *log << step.log;
        switch (step.kind) {
        case TransferStep::Download:
            operations << u"get "_s + QString::fromUtf8(step.remotePath) + u" -> "_s + step.localPath;
            step = walk.onFileReceived();
            break;
        case TransferStep::EnterDownloadDirectory:
            operations << u"cd "_s + QString::fromUtf8(step.remotePath) + u" -> "_s + step.localPath;
            walk.onDownloadDirectoryChanged(tree.contains(step.remotePath));
            step = walk.onDownloadListing(step.remotePath, tree.value(step.remotePath));
            break;
        case TransferStep::DownloadsEnded:
            operations << u"end"_s;
            return operations;
        case TransferStep::None:
            operations << u"nothing to do"_s;
            return operations;
        default:
            operations << u"unexpected"_s;
            return operations;
        }
    }
    operations << u"endless"_s;
    return operations;
}

} // namespace

class TestTransferWalk : public QObject {
    Q_OBJECT
private slots:
    void downloadOrder_data();
    void downloadOrder();
    void bounds_data();
    void bounds();
    void nameCase_data();
    void nameCase();
    void upload_data();
    void upload();
};

void TestTransferWalk::downloadOrder_data()
{
    QTest::addColumn<QList<RemoteItem>>("selection");
    QTest::addColumn<QStringList>("expected");

    // /pub holds: top/ (a.txt, s1/ (b.txt, s3/), s2/ (c.txt)), loop -> /pub, bad/
    QTest::newRow("files before directories, directories first in first out")
        << QList<RemoteItem>{Dir("top"), File("f.txt")}
        << QStringList{u"get /pub/f.txt -> /l/f.txt"_s,          u"cd /pub/top -> /l/top"_s,
                       u"get /pub/top/a.txt -> /l/top/a.txt"_s,   u"cd /pub/top/s1 -> /l/top/s1"_s,
                       u"get /pub/top/s1/b.txt -> /l/top/s1/b.txt"_s, u"cd /pub/top/s2 -> /l/top/s2"_s,
                       u"get /pub/top/s2/c.txt -> /l/top/s2/c.txt"_s, u"cd /pub/top/s1/s3 -> /l/top/s1/s3"_s,
                       u"end"_s};
    QTest::newRow("hostile names are never joined into a path")
        << QList<RemoteItem>{File(".."), File("a/b"), Dir("."), File(""), File(QByteArray("n\0ul", 4)), File("ok")}
        << QStringList{u"get /pub/ok -> /l/ok"_s, u"end"_s};
    QTest::newRow("a link back to where the walk started is not entered twice")
        << QList<RemoteItem>{Link("loop")}
        << QStringList{u"cd /pub/loop -> /l/loop"_s, u"end"_s};
    QTest::newRow("a link to its parent inside the tree ends")
        << QList<RemoteItem>{Dir("cyc")}
        << QStringList{u"cd /pub/cyc -> /l/cyc"_s, u"get /pub/cyc/x -> /l/cyc/x"_s, u"cd /pub/cyc/up -> /l/cyc/up"_s,
                       u"end"_s};
    QTest::newRow("a directory the server refuses is skipped")
        << QList<RemoteItem>{Dir("bad"), File("f.txt")}
        << QStringList{u"get /pub/f.txt -> /l/f.txt"_s, u"cd /pub/bad -> /l/bad"_s, u"end"_s};
}

void TestTransferWalk::downloadOrder()
{
    QFETCH(QList<RemoteItem>, selection);
    QFETCH(QStringList, expected);
    const QList<RemoteItem> pub{Dir("top"), Link("loop"), Dir("bad"), Dir("cyc"), File("f.txt")};
    QHash<QByteArray, QList<RemoteItem>> tree;
    tree.insert("/pub/top", {Dir("s1"), Dir("s2"), File("a.txt")});
    tree.insert("/pub/top/s1", {Dir("s3"), File("b.txt")});
    tree.insert("/pub/top/s2", {File("c.txt")});
    tree.insert("/pub/top/s1/s3", {});
    tree.insert("/pub/loop", pub);
    tree.insert("/pub/cyc", {Link("up"), File("x")});
    tree.insert("/pub/cyc/up", {Link("up"), File("x")});

    TransferWalk walk;
    const TransferStep first = walk.startDownload(selection, "/pub", u"/l"_s, pub);
    QCOMPARE(PlayDownload(walk, first, tree), expected);
    QVERIFY(!walk.running());
}

void TestTransferWalk::bounds_data()
{
    QTest::addColumn<QByteArray>("name");  // of the one directory each level holds
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QString>("logged");
    QTest::newRow("deeper than the limit: that branch stops")
        << QByteArray("d") << QStringList{u"cd /pub/d -> /l/d"_s, u"cd /pub/d/d -> /l/d/d"_s, u"end"_s}
        << u"目录层次超过 2 层, 跳过: /l/d/d/d"_s;
    const QByteArray longName(300, 'n');
    QTest::newRow("a name longer than the file system holds")
        << longName << QStringList{u"nothing to do"_s} << u"本地路径太长, 跳过: /l/"_s + QString::fromLatin1(longName);
}

void TestTransferWalk::bounds()
{
    QFETCH(QByteArray, name);
    QFETCH(QStringList, expected);
    QFETCH(QString, logged);
    // A chain of folders, each holding one of its own name (made at another time).
    QHash<QByteArray, QList<RemoteItem>> tree;
    QByteArray path = "/pub";
    for (int level = 0; level < 10; ++level)
        tree.insert(path += '/' + name, {RemoteItem{name, true, "drwxr-xr-x", QByteArray::number(level)}});
    TransferWalk walk;
    walk.MaxDepth = 2;
    QStringList log;
    QCOMPARE(PlayDownload(walk, walk.startDownload({Dir(name)}, "/pub", u"/l"_s, {Dir(name)}), tree, &log), expected);
    QCOMPARE(log, QStringList{logged});
}

void TestTransferWalk::nameCase_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");
    QTest::newRow("upper: last component only") << 2 << u"/Down/Sub/readme.txt"_s << u"/Down/Sub/README.TXT"_s;
    QTest::newRow("lower: last component only") << 3 << u"/Down/Sub/README.TXT"_s << u"/Down/Sub/readme.txt"_s;
    QTest::newRow("keep") << 1 << u"/Down/MiXed.Txt"_s << u"/Down/MiXed.Txt"_s;
    QTest::newRow("letters beyond ASCII are left alone") << 2 << u"/d/ä文é.txt"_s << u"/d/ä文é.TXT"_s;
}

void TestTransferWalk::nameCase()
{
    QFETCH(int, mode);
    QFETCH(QString, path);
    QFETCH(QString, expected);
    QCOMPARE(ConvertDownloadNameCase(path, mode), expected);
}

void TestTransferWalk::upload_data()
{
    QTest::addColumn<bool>("linkBack");
    QTest::newRow("blanks to underscores, dot-directories left out") << false;
    QTest::newRow("a directory link back up is not entered again") << true;
}

void TestTransferWalk::upload()
{
    QFETCH(bool, linkBack);
    QTemporaryDir root;
    const QString up = root.filePath(u"my dir"_s);
    QVERIFY(QDir().mkpath(up + u"/sub dir"_s));
    QVERIFY(QDir().mkpath(up + u"/.git"_s));
    for (const QString &file : {u"/a b.txt"_s, u"/.keep"_s, u"/sub dir/c.txt"_s, u"/.git/x"_s}) {
        QFile f(up + file);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    if (linkBack)
        QVERIFY(QFile::link(up, up + u"/sub dir/back"_s));

    TransferWalk walk;
    QStringList operations;
    TransferStep step = walk.startUpload({{u"my dir"_s, true}}, root.path(), "/r");
    QVERIFY(step.setBusy);
    for (int guard = 0; guard < 50 && step.kind != TransferStep::UploadsEnded; ++guard) {
        switch (step.kind) {
        case TransferStep::MakeUploadDirectory:
            operations << u"mkd "_s + QString::fromUtf8(step.remotePath);
            step = walk.onUploadDirectoryCreated();
            QCOMPARE(step.kind, TransferStep::ChangeUploadDirectory);
            step = walk.onUploadDirectoryChanged(step.remotePath, true);
            break;
        case TransferStep::Upload:
            operations << u"put "_s + QString::fromUtf8(step.remotePath);
            QCOMPARE(step.localPath.mid(root.path().size()).replace(u' ', u'_'),
                     QString::fromUtf8(step.remotePath.mid(2)));
            step = walk.onFileStored();
            break;
        default:
            QFAIL("unexpected step");
        }
    }
    QCOMPARE(step.kind, TransferStep::UploadsEnded);
    const QStringList expected{u"mkd /r/my_dir"_s, u"put /r/my_dir/.keep"_s, u"put /r/my_dir/a_b.txt"_s,
                               u"mkd /r/my_dir/sub_dir"_s, u"put /r/my_dir/sub_dir/c.txt"_s};
    QCOMPARE(operations, expected);
    QCOMPARE(step.log.size(), linkBack ? 1 : 0);
}

QTEST_GUILESS_MAIN(TestTransferWalk)
#include "tst_transfer_walk.moc"
