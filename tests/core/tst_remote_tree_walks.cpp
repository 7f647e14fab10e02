// The recursive delete and case conversion walks, run to their end against a
// remote tree held in memory that carries out each operation they ask for,
// the way the main window routes the engine's completion events to them.

#include "core/remote_tree_walks.h"

#include <QMap>
#include <QSet>
#include <QTest>

// Shown by QCOMPARE when two steps differ.
char *toString(const RemoteStep &step)
{
    return QTest::toString(QByteArray::number(int(step.kind)) + ' ' + step.path + " -> " + step.newPath
                           + (step.setBusy ? " busy" : "") + (step.setIdle ? " idle" : ""));
}

namespace {

QByteArray ParentOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash <= 0 ? QByteArray("/") : path.left(slash);
}

QByteArray LastPart(const QByteArray &path) { return path.mid(path.lastIndexOf('/') + 1); }

// A remote tree: directory path -> its listing. Built from lines such as
// "/home/u/D/" (a directory), "/home/u/f.txt" (a file), "/home/u/L@" (a
// symbolic link to a directory, listed as one) and "/home/u/X!/" (a directory
// that cannot be entered).
struct FakeServer {
    QMap<QByteArray, QList<RemoteItem>> dirs;
    QSet<QByteArray> denied;
    QByteArray cwd;
    QByteArrayList transcript;

    explicit FakeServer(const QByteArrayList &tree, const QByteArray &start)
        : cwd(start)
    {
        dirs.insert("/", {});
        for (QByteArray line : tree) {
            const qsizetype bang = line.indexOf('!');
            if (bang >= 0) {
                denied.insert(line.left(bang));
                line.remove(bang, 1);
            }
            bool isDir = line.endsWith('/');
            if (isDir)
                line.chop(1);
            const bool link = line.endsWith('@');
            if (link)
                line.chop(1);
            addPath(line, isDir || link, link);
            if (isDir)
                dirs.insert(line, dirs.value(line));
        }
    }

    void addPath(const QByteArray &path, bool isDir, bool link)
    {
        const QByteArray parent = ParentOf(path);
        if (parent != "/" && !dirs.contains(parent))
            addPath(parent, true, false), dirs.insert(parent, {});
        QList<RemoteItem> &items = dirs[parent];
        for (const RemoteItem &item : items) {
            if (item.name == LastPart(path))
                return;
        }
        const QByteArray attributes = link ? "lrwxrwxrwx" : (isDir ? "drwxr-xr-x" : "-rw-r--r--");
        items.append(RemoteItem{LastPart(path), isDir, attributes});
    }

    QByteArray absolute(const QByteArray &path) const
    {
        QByteArray abs = path.startsWith('/') ? path : JoinRemotePath(cwd, path);
        if (abs.size() > 1 && abs.endsWith('/'))
            abs.chop(1);
        return abs;
    }

    void removeItem(const QByteArray &abs)
    {
        QList<RemoteItem> &items = dirs[ParentOf(abs)];
        for (qsizetype i = 0; i < items.size(); ++i) {
            if (items[i].name == LastPart(abs)) {
                items.removeAt(i);
                return;
            }
        }
    }

    void dele(const QByteArray &path)
    {
        transcript << "DELE " + path;
        removeItem(absolute(path));
    }

    void changeDirectory(const QByteArray &path)
    {
        transcript << "CWD " + path;
        const QByteArray abs = absolute(path);
        if (dirs.contains(abs) && !denied.contains(abs))
            cwd = abs;
    }

    void rmd(const QByteArray &path)
    {
        const QByteArray abs = absolute(path);
        if (!dirs.contains(abs) || !dirs.value(abs).isEmpty()) {
            transcript << "RMD " + path + " (refused)";
            return;
        }
        transcript << "RMD " + path;
        dirs.remove(abs);
        removeItem(abs);
    }

    void rename(const QByteArray &from, const QByteArray &to)
    {
        transcript << "REN " + from + " " + to;
        const QByteArray absFrom = absolute(from), absTo = absolute(to);
        for (RemoteItem &item : dirs[ParentOf(absFrom)]) {
            if (item.name == LastPart(absFrom))
                item.name = LastPart(absTo);
        }
        // A directory takes its whole subtree along.
        QMap<QByteArray, QList<RemoteItem>> moved;
        for (auto it = dirs.begin(); it != dirs.end(); ++it) {
            const QByteArray &key = it.key();
            if (key == absFrom || key.startsWith(absFrom + '/'))
                moved.insert(absTo + key.mid(absFrom.size()), it.value());
            else
                moved.insert(key, it.value());
        }
        dirs = moved;
    }

    // Every path of the tree, directories ending in "/", for comparing states.
    QByteArrayList paths() const
    {
        QByteArrayList result;
        for (auto it = dirs.begin(); it != dirs.end(); ++it) {
            for (const RemoteItem &item : it.value()) {
                const QByteArray path = JoinRemotePath(it.key(), item.name);
                result << (item.isDirectory && dirs.contains(path) ? path + '/' : path);
            }
        }
        std::sort(result.begin(), result.end());
        return result;
    }
};

// Carries out steps until the walk has nothing more to start, the way the
// main window does: a directory change is followed by a listing, which goes to
// the walk while its flag is set.
template <typename Walk>
void Run(FakeServer &server, Walk &walk, RemoteStep step, bool &listingFlag)
{
    bool busy = step.setBusy;
    for (int guard = 0; guard < 1000; ++guard) {
        if (step.setIdle) {
            server.transcript << "IDLE";
            busy = false;
        }
        if (step.setBusy)
            busy = true;
        QVERIFY2(busy || step.setIdle || step.kind == RemoteStep::None, "operation started while idle");
        switch (step.kind) {
        case RemoteStep::None:
            return;
        case RemoteStep::DeleteFile:
            server.dele(step.path);
            if constexpr (requires { walk.onFileDeleted(); })
                step = walk.onFileDeleted();
            else
                QFAIL("a delete asked by the case walk");
            break;
        case RemoteStep::RemoveDirectory:
            server.rmd(step.path);
            if constexpr (requires { walk.onDirectoryDeleted(); })
                step = walk.onDirectoryDeleted();
            else
                QFAIL("a removal asked by the case walk");
            break;
        case RemoteStep::RenameFile:
            server.rename(step.path, step.newPath);
            if constexpr (requires { walk.onFileRenamed(); })
                step = walk.onFileRenamed();
            else
                QFAIL("a rename asked by the delete walk");
            break;
        case RemoteStep::RenameDirectory:
            server.rename(step.path, step.newPath);
            if constexpr (requires { walk.onDirRenamed(); })
                step = walk.onDirRenamed();
            else
                QFAIL("a rename asked by the delete walk");
            break;
        case RemoteStep::ChangeDirectory:
            server.changeDirectory(step.path);
            [[fallthrough]];
        case RemoteStep::List:
            if (!listingFlag) {
                server.transcript << "LIST " + server.cwd;
                QVERIFY(!walk.running());
                return;
            }
            step = walk.onListing(server.cwd, server.dirs.value(server.cwd));
            break;
        }
    }
    QFAIL("the walk did not end");
}

QList<RemoteItem> Select(const FakeServer &server, const QByteArrayList &names)
{
    QList<RemoteItem> selection;
    for (const RemoteItem &item : server.dirs.value(server.cwd)) {
        if (names.contains(item.name))
            selection << item;
    }
    return selection;
}

} // namespace

class TestRemoteTreeWalks : public QObject
{
    Q_OBJECT
private slots:
    void deleteWalk_data();
    void deleteWalk();
    void deleteSkipsWhatIsNotAChild();
    void caseWalk_data();
    void caseWalk();
    void convertNameCase_data();
    void convertNameCase();
    void paths_data();
    void paths();
    void itemsFromListing();
};

void TestRemoteTreeWalks::deleteWalk_data()
{
    QTest::addColumn<QByteArrayList>("tree");
    QTest::addColumn<QByteArray>("start");
    QTest::addColumn<QByteArrayList>("selection");
    QTest::addColumn<QByteArrayList>("expected");
    QTest::addColumn<QByteArrayList>("left");

    const QByteArrayList tree = {"/home/u/f.txt", "/home/u/keep.txt", "/home/u/D/a.txt", "/home/u/D/E/b.txt",
                                 "/home/u/D/E/F/", "/home/u/D/G/c.txt"};
    QTest::newRow("one file and a three-level tree")
        << tree << QByteArray("/home/u") << QByteArrayList{"D", "f.txt"}
        << QByteArrayList{"DELE /home/u/f.txt", "CWD /home/u/D", "DELE a.txt", "CWD /home/u/D/E",
                          "DELE b.txt", "CWD /home/u/D/G", "DELE c.txt", "CWD /home/u/D/E/F",
                          "RMD /home/u/D/E/F", "RMD /home/u/D/G", "RMD /home/u/D/E", "RMD /home/u/D",
                          "IDLE", "CWD /home/u", "LIST /home/u"}
        << QByteArrayList{"/home/", "/home/u/", "/home/u/keep.txt"};

    QTest::newRow("empty directory removed at once")
        << QByteArrayList{"/home/u/Empty/", "/home/u/x"} << QByteArray("/home/u/") << QByteArrayList{"Empty"}
        << QByteArrayList{"CWD /home/u/Empty", "RMD /home/u/Empty", "IDLE", "CWD /home/u/", "LIST /home/u"}
        << QByteArrayList{"/home/", "/home/u/", "/home/u/x"};

    QTest::newRow("in the root directory")
        << QByteArrayList{"/x", "/S/y"} << QByteArray("/") << QByteArrayList{"x", "S"}
        << QByteArrayList{"DELE /x", "CWD /S", "DELE y", "RMD /S", "IDLE", "CWD /", "LIST /"}
        << QByteArrayList{};

    // A link is listed as a directory; entering it would empty its target.
    QTest::newRow("links are deleted, not entered")
        << QByteArrayList{"/home/u/L@", "/home/u/D/M@", "/home/u/D/z"} << QByteArray("/home/u")
        << QByteArrayList{"L", "D"}
        << QByteArrayList{"DELE /home/u/L", "CWD /home/u/D", "DELE M", "DELE z", "RMD /home/u/D",
                          "IDLE", "CWD /home/u", "LIST /home/u"}
        << QByteArrayList{"/home/", "/home/u/"};

    // The listing after a refused CWD is of the start directory: none of it
    // may be taken for the contents of the directory we meant to enter.
    QTest::newRow("directory that cannot be entered")
        << QByteArrayList{"/home/u/X!/inner", "/home/u/S/keep", "/home/u/f"} << QByteArray("/home/u")
        << QByteArrayList{"X", "f"}
        << QByteArrayList{"DELE /home/u/f", "CWD /home/u/X", "IDLE", "CWD /home/u", "LIST /home/u"}
        << QByteArrayList{"/home/", "/home/u/", "/home/u/S/", "/home/u/S/keep", "/home/u/X/", "/home/u/X/inner"};

    QTest::newRow("nothing selected")
        << QByteArrayList{"/home/u/f"} << QByteArray("/home/u") << QByteArrayList{}
        << QByteArrayList{} << QByteArrayList{"/home/", "/home/u/", "/home/u/f"};
}

void TestRemoteTreeWalks::deleteWalk()
{
    QFETCH(QByteArrayList, tree);
    QFETCH(QByteArray, start);
    QFETCH(QByteArrayList, selection);
    QFETCH(QByteArrayList, expected);
    QFETCH(QByteArrayList, left);

    FakeServer server(tree, start);
    server.cwd = server.absolute(start);
    RemoteDeleteWalk walk;
    const RemoteStep first = walk.start(Select(server, selection), start);
    Run(server, walk, first, walk.DeleteTreeActive);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(server.transcript, expected);
    QCOMPARE(server.paths(), left);
    QVERIFY(!walk.running());
    QVERIFY(walk.DirsToRemove.isEmpty());
}

void TestRemoteTreeWalks::deleteSkipsWhatIsNotAChild()
{
    RemoteDeleteWalk walk;
    RemoteStep step = walk.start({RemoteItem{"D", true, "drwx"}}, "/srv");
    QCOMPARE(step, (RemoteStep{RemoteStep::ChangeDirectory, "/srv/D", {}, true, false}));
    QVERIFY(walk.DeleteTreeActive);

    // A listing naming the parent, itself, other directories or unsendable bytes.
    const QList<RemoteItem> listing = {
        {"..", true, "drwx"}, {".", true, "drwx"}, {"../../etc", true, "drwx"}, {"/", true, "drwx"},
        {"", false, ""}, {"a\r\nDELE x", false, "-rw"}, {"ok", false, "-rw"}, {"sub", true, "drwx"}};
    step = walk.onListing("/srv/D", listing);
    QCOMPARE(step, (RemoteStep{RemoteStep::DeleteFile, "ok", {}, true, false}));
    QCOMPARE(walk.PendingSourceFiles, QByteArrayList{});
    QCOMPARE(walk.PendingSourceDirs, QByteArrayList{"/srv/D/sub"});
    QCOMPARE(walk.DirsToRemove, QByteArrayList{"/srv/D"});

    // Completion events of another operation while no walk runs start nothing.
    walk.cancel();
    QCOMPARE(walk.onFileDeleted().kind, RemoteStep::None);
    QCOMPARE(walk.onDirectoryDeleted().kind, RemoteStep::None);
    QCOMPARE(walk.onListing("/srv", listing).kind, RemoteStep::None);
}

void TestRemoteTreeWalks::caseWalk_data()
{
    QTest::addColumn<QByteArrayList>("tree");
    QTest::addColumn<QByteArrayList>("selection");
    QTest::addColumn<bool>("upper");
    QTest::addColumn<QByteArrayList>("expected");
    QTest::addColumn<QByteArrayList>("after");

    const QByteArrayList tree = {"/h/readme.txt", "/h/Src/Main.C", "/h/Src/Lib/Util.h", "/h/Src/Img/",
                                 "/h/Doc/Keep.Txt"};
    QTest::newRow("upper: directory renamed before its contents")
        << tree << QByteArrayList{"Src", "readme.txt"} << true
        << QByteArrayList{"REN readme.txt README.TXT", "REN /h/Src /h/SRC", "CWD /h/SRC",
                          "REN Main.C MAIN.C", "REN /h/SRC/Lib /h/SRC/LIB", "CWD /h/SRC/LIB",
                          "REN Util.h UTIL.H", "REN /h/SRC/Img /h/SRC/IMG", "CWD /h/SRC/IMG", "IDLE",
                          "LIST /h/SRC/IMG"}
        << QByteArrayList{"/h/", "/h/Doc/", "/h/Doc/Keep.Txt", "/h/README.TXT", "/h/SRC/", "/h/SRC/IMG/",
                          "/h/SRC/LIB/", "/h/SRC/LIB/UTIL.H", "/h/SRC/MAIN.C"};

    QTest::newRow("lower, names already lower still renamed")
        << QByteArrayList{"/h/ABC/x.c", "/h/ABC/Y.C", "/h/ok"} << QByteArrayList{"ABC", "ok"} << false
        << QByteArrayList{"REN ok ok", "REN /h/ABC /h/abc", "CWD /h/abc", "REN x.c x.c", "REN Y.C y.c",
                          "IDLE", "LIST /h/abc"}
        << QByteArrayList{"/h/", "/h/abc/", "/h/abc/x.c", "/h/abc/y.c", "/h/ok"};

    QTest::newRow("link renamed, not entered")
        << QByteArrayList{"/h/Ln@", "/h/T/Q"} << QByteArrayList{"Ln"} << true
        << QByteArrayList{"REN Ln LN", "IDLE", "LIST /h"}
        << QByteArrayList{"/h/", "/h/LN", "/h/T/", "/h/T/Q"};

    // A renamed directory that refuses CWD: the listing that follows is of the
    // directory we are still in, and must not be converted a second time.
    QTest::newRow("renamed directory that cannot be entered")
        << QByteArrayList{"/h/d!/In", "/h/Other"} << QByteArrayList{"d"} << true
        << QByteArrayList{"REN /h/d /h/D", "CWD /h/D", "IDLE", "LIST /h"}
        << QByteArrayList{"/h/", "/h/D/", "/h/D/In", "/h/Other"};
}

void TestRemoteTreeWalks::caseWalk()
{
    QFETCH(QByteArrayList, tree);
    QFETCH(QByteArrayList, selection);
    QFETCH(bool, upper);
    QFETCH(QByteArrayList, expected);
    QFETCH(QByteArrayList, after);

    FakeServer server(tree, "/h");
    // The denied directory keeps its mark under its new name.
    for (const QByteArray &dir : QSet<QByteArray>(server.denied))
        server.denied.insert(ConvertLastComponentCase(dir, upper));
    RemoteCaseWalk walk;
    const RemoteStep first = walk.start(Select(server, selection), server.cwd, upper);
    QVERIFY(first.setBusy);
    Run(server, walk, first, walk.CaseTreeActive);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(server.transcript, expected);
    QCOMPARE(server.paths(), after);
    QVERIFY(!walk.running());
}

void TestRemoteTreeWalks::convertNameCase_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<bool>("upper");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("ascii upper") << QByteArray("Read me.txt") << true << QByteArray("READ ME.TXT");
    QTest::newRow("ascii lower") << QByteArray("Read ME.TXT") << false << QByteArray("read me.txt");
    QTest::newRow("utf-8 letters beyond ascii untouched")
        << QByteArray("\xc3\xa9t\xc3\xa9-\xe4\xb8\xad.a") << true << QByteArray("\xc3\xa9T\xc3\xa9-\xe4\xb8\xad.A");
    // GBK 0x81 0x61 and 0x81 0x41 are two different characters.
    QTest::newRow("gbk trail byte kept, upper") << QByteArray("\x81\x61x") << true << QByteArray("\x81\x61X");
    QTest::newRow("gbk trail byte kept, lower") << QByteArray("\x81\x41\xd6\xd0" "B") << false
                                                << QByteArray("\x81\x41\xd6\xd0" "b");
    QTest::newRow("gb18030 four-byte") << QByteArray("\x81\x30\x81\x30q") << true << QByteArray("\x81\x30\x81\x30Q");
    QTest::newRow("lone lead byte at the end") << QByteArray("a\x81") << true << QByteArray("A\x81");
}

void TestRemoteTreeWalks::convertNameCase()
{
    QFETCH(QByteArray, name);
    QFETCH(bool, upper);
    QFETCH(QByteArray, expected);
    QCOMPARE(ConvertNameCase(name, upper), expected);
    QCOMPARE(ConvertLastComponentCase("/Some/Dir/" + name, upper), "/Some/Dir/" + expected);
}

void TestRemoteTreeWalks::paths_data()
{
    QTest::addColumn<QByteArray>("base");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("joined");
    QTest::addColumn<QByteArray>("underscored");

    QTest::newRow("root") << QByteArray("/") << QByteArray("a b") << QByteArray("/a b") << QByteArray("/a_b");
    QTest::newRow("no slash") << QByteArray("/x y") << QByteArray("z") << QByteArray("/x y/z")
                              << QByteArray("/x_y/z");
    QTest::newRow("slash") << QByteArray("/x/") << QByteArray("  z") << QByteArray("/x/  z")
                           << QByteArray("/x/__z");
    QTest::newRow("tab is no blank") << QByteArray("/t") << QByteArray("a\tb") << QByteArray("/t/a\tb")
                                     << QByteArray("/t/a\tb");
}

void TestRemoteTreeWalks::paths()
{
    QFETCH(QByteArray, base);
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, joined);
    QFETCH(QByteArray, underscored);
    QCOMPARE(JoinRemotePath(base, name), joined);
    QCOMPARE(SpacesToUnderscores(joined), underscored);
    QCOMPARE(SpacesToUnderscores(QString::fromLatin1(joined)), QString::fromLatin1(underscored));
}

void TestRemoteTreeWalks::itemsFromListing()
{
    TMFtpFileInfoList dirInfos, fileInfos;
    dirInfos.Add("drwxr-xr-x", "Jan 1 2000", "512", "", "");
    dirInfos.Add("drwxr-xr-x", "Jan 1 2000", "512", "", "");
    dirInfos.Add("drwxr-xr-x", "Jan 1 2000", "512", "..", "");
    dirInfos.Add("lrwxrwxrwx", "Jan 1 2000", "7", "", "");
    fileInfos.Add("-rw-r--r--", "Jan 2 2000", "10", "", "");
    const QList<RemoteItem> items =
        RemoteItemsFromListing({".", "..", "up", "bin"}, dirInfos, {"f"}, fileInfos);
    QCOMPARE(items.size(), 2);
    QCOMPARE(items[0].name, QByteArray("bin"));
    QCOMPARE(items[0].attributes, QByteArray("lrwxrwxrwx"));
    QVERIFY(items[0].isDirectory);
    QCOMPARE(items[1].name, QByteArray("f"));
    QVERIFY(!items[1].isDirectory);
}

QTEST_APPLESS_MAIN(TestRemoteTreeWalks)
#include "tst_remote_tree_walks.moc"
