#include "widgets/file_list.h"

#include <QDateTime>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTreeView>
#include <QUrl>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using Infos = QList<int>;
Q_DECLARE_METATYPE(Infos)

class TstFileList : public QObject
{
    Q_OBJECT

private slots:
    void directories_data();
    void directories();
    void mask_data();
    void mask();
    void sortOrder_data();
    void sortOrder();
    void sharedDirection();
    void attributes_data();
    void attributes();
    void subItems_data();
    void subItems();
    void timeFormat_data();
    void timeFormat();
    void badInput_data();
    void badInput();
    void fileAdd();
    void drop_data();
    void drop();
    void viewStyles();

private:
    static void makeFile(const QString &path, int size, qint64 secondsAgo = 0);
    static QStringList captions(const TFileList &list);
};

void TstFileList::makeFile(const QString &path, int size, qint64 secondsAgo)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(size, 'x'));
    // Written out first: bytes flushed at close would stamp the file "now".
    QVERIFY(file.flush());
    if (secondsAgo)
        QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-secondsAgo), QFileDevice::FileModificationTime));
}

QStringList TstFileList::captions(const TFileList &list)
{
    QStringList names;
    for (int row = 0; row < list.Count(); ++row)
        names << list.Caption(row);
    return names;
}

// P holds "b.txt" and folder "zdir", Q holds "a.txt": both listed, sorted together.
void TstFileList::directories_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("readBack");
    QTest::addColumn<QStringList>("names");
    const QStringList both{QStringLiteral("zdir"), QStringLiteral("a.txt"), QStringLiteral("b.txt")};
    QTest::newRow("two") << "<P>;<Q>" << "<P>/;<Q>/" << both;
    QTest::newRow("reversed") << "<Q>;<P>" << "<P>/;<Q>/" << both;
    QTest::newRow("empty parts and separators") << ";<P>/;;<Q>;" << "<P>/;<Q>/" << both;
    QTest::newRow("duplicate") << "<P>;<Q>;<P>/" << "<P>/;<Q>/" << both;
    QTest::newRow("one") << "<Q>" << "<Q>/" << QStringList{QStringLiteral("a.txt")};
    QTest::newRow("nothing") << ";;" << "" << QStringList{};
}

void TstFileList::directories()
{
    QFETCH(QString, text);
    QFETCH(QString, readBack);
    QFETCH(QStringList, names);
    QTemporaryDir root;
    const QString base = root.path() + u'/';
    QVERIFY(QDir(base).mkpath(QStringLiteral("P/zdir")));
    QVERIFY(QDir(base).mkpath(QStringLiteral("Q")));
    makeFile(base + QStringLiteral("P/b.txt"), 1);
    makeFile(base + QStringLiteral("Q/a.txt"), 1);
    const auto absolute = [&](QString text) {
        return text.replace(QStringLiteral("<P>"), base + u'P').replace(QStringLiteral("<Q>"), base + u'Q');
    };

    TFileList list;
    list.SetMask(QStringLiteral("*"));  // the local pane's mask: every file
    list.SetDirectory(absolute(text));
    QCOMPARE(list.Directory(), absolute(readBack));
    QCOMPARE(captions(list), names);
    for (int row = 0; row < list.Count(); ++row)
        QVERIFY(list.FullPath(row).startsWith(base + (list.Caption(row) == u"a.txt" ? u'Q' : u'P') + u'/'));
}

void TstFileList::mask_data()
{
    QTest::addColumn<QString>("mask");
    QTest::addColumn<QString>("patterns");
    QTest::addColumn<QStringList>("shown");
    const QStringList all{QStringLiteral("a.txt"), QStringLiteral("B.TXT"), QStringLiteral("notes.md"),
                          QStringLiteral("readme"), QStringLiteral("x.tar.gz")};
    QTest::newRow("default *.* takes names with a dot") << "*.*" << "*.*"
        << QStringList{QStringLiteral("a.txt"), QStringLiteral("B.TXT"), QStringLiteral("notes.md"),
                       QStringLiteral("x.tar.gz")};
    QTest::newRow("empty shows every file") << "" << "*" << all;
    QTest::newRow("blank parts only") << " ; , " << "*" << all;
    QTest::newRow("bare word becomes *w*") << "TX" << "*tx*" << QStringList{QStringLiteral("a.txt"), QStringLiteral("B.TXT")};
    QTest::newRow("suffix, any case") << "*.TXT" << "*.txt" << QStringList{QStringLiteral("a.txt"), QStringLiteral("B.TXT")};
    QTest::newRow("commas, blanks, duplicates, sorted") << " *.md , *.txt;*.MD" << "*.md;*.txt"
        << QStringList{QStringLiteral("a.txt"), QStringLiteral("B.TXT"), QStringLiteral("notes.md")};
    QTest::newRow("wildcard without dot gets *") << "r?a" << "r?a*" << QStringList{QStringLiteral("readme")};
    QTest::newRow("exact name") << "README" << "*readme*" << QStringList{QStringLiteral("readme")};
    QTest::newRow("exact name with dot") << "a.txt" << "a.txt" << QStringList{QStringLiteral("a.txt")};
    QTest::newRow("inner star") << "x*.gz" << "x*.gz" << QStringList{QStringLiteral("x.tar.gz")};
    QTest::newRow("question marks count") << "?.txt" << "?.txt" << QStringList{QStringLiteral("a.txt"), QStringLiteral("B.TXT")};
    QTest::newRow("no match") << "*.zip" << "*.zip" << QStringList{};
}

void TstFileList::mask()
{
    QFETCH(QString, mask);
    QFETCH(QString, patterns);
    QFETCH(QStringList, shown);
    QTemporaryDir root;
    for (const QString &name : {u"a.txt"_qs, u"B.TXT"_qs, u"readme"_qs, u"notes.md"_qs, u"x.tar.gz"_qs})
        makeFile(root.filePath(name), 1);
    QVERIFY(QDir(root.path()).mkdir(QStringLiteral("sub.d")));

    TFileList list;
    list.SetDisplayDirectory(false);
    list.SetDirectory(root.path());
    list.SetMask(mask);
    QCOMPARE(list.Mask(), patterns);
    QCOMPARE(captions(list), shown);
    // Folders are not subject to the mask.
    list.SetDisplayDirectory(true);
    QCOMPARE(captions(list), QStringList{QStringLiteral("sub.d")} + shown);
}

// Folders d1 (older) and D2; files a (20 bytes, oldest), b (300), c (1000, newest).
void TstFileList::sortOrder_data()
{
    QTest::addColumn<Infos>("choices");
    QTest::addColumn<QStringList>("order");
    const auto order = [](const char *names) { return QString::fromLatin1(names).split(u' '); };
    QTest::newRow("fresh list: by name") << Infos{} << order("d1 D2 a b c");
    QTest::newRow("name again flips") << Infos{fiName} << order("D2 d1 c b a");
    QTest::newRow("size") << Infos{fiSize} << order("d1 D2 a b c");
    QTest::newRow("size twice: reversed, folders on top") << Infos{fiSize, fiSize} << order("D2 d1 c b a");
    QTest::newRow("size three times") << Infos{fiSize, fiSize, fiSize} << order("d1 D2 a b c");
    QTest::newRow("modified: newest first") << Infos{fiModified} << order("D2 d1 c b a");
    QTest::newRow("modified twice: oldest first") << Infos{fiModified, fiModified} << order("d1 D2 a b c");
    QTest::newRow("size, then modified keeps direction") << Infos{fiSize, fiSize, fiModified} << order("d1 D2 a b c");
    QTest::newRow("column not shown changes nothing") << Infos{fiAttributes} << order("d1 D2 a b c");
    QTest::newRow("fiAll changes nothing") << Infos{fiAll} << order("d1 D2 a b c");
}

void TstFileList::sortOrder()
{
    QFETCH(Infos, choices);
    QFETCH(QStringList, order);
    QTemporaryDir root;
    makeFile(root.filePath(QStringLiteral("b")), 300, 2000);
    makeFile(root.filePath(QStringLiteral("c")), 1000, 1000);
    makeFile(root.filePath(QStringLiteral("a")), 20, 3000);
    for (const auto &[name, age] : {std::pair{u"d1"_qs, 5000}, std::pair{u"D2"_qs, 4000}}) {
        QVERIFY(QDir(root.path()).mkdir(name));
        const QDateTime when = QDateTime::currentDateTime().addSecs(-age);
        const struct timespec times[2] = {{when.toSecsSinceEpoch(), 0}, {when.toSecsSinceEpoch(), 0}};
        QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(root.filePath(name)).constData(), times, 0), 0);
    }

    TFileList list;
    list.SetMask(QStringLiteral("*"));  // the local pane's mask: every file
    list.SetDirectory(root.path());
    for (int choice : choices)
        list.SetSortColumn(static_cast<TFileInfo>(choice));
    QCOMPARE(captions(list), order);
}

void TstFileList::sharedDirection()
{
    QTemporaryDir root;
    makeFile(root.filePath(QStringLiteral("small")), 1);
    makeFile(root.filePath(QStringLiteral("big")), 100);
    TFileList first, second;
    first.SetMask(QStringLiteral("*"));
    second.SetMask(QStringLiteral("*"));
    first.SetDirectory(root.path());
    second.SetDirectory(root.path());
    first.SetSortColumn(fiSize);
    first.SetSortColumn(fiSize);
    QVERIFY(TFileList::SortDescending());
    // The other list changes column only; the direction is the process's.
    second.SetSortColumn(fiSize);
    QCOMPARE(captions(second), (QStringList{QStringLiteral("big"), QStringLiteral("small")}));
    TFileList third;
    QVERIFY(!TFileList::SortDescending());
}

void TstFileList::attributes_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("folder");
    QTest::addColumn<int>("mode");   // 0: leave as made
    QTest::addColumn<QString>("letters");
    QTest::newRow("plain file") << "f" << false << 0 << "";
    QTest::newRow("plain folder") << "d" << true << 0 << "D";
    QTest::newRow("read-only file") << "ro" << false << 0444 << "R";
    QTest::newRow("hidden file") << ".h" << false << 0 << "H";
    QTest::newRow("hidden read-only file") << ".hr" << false << 0400 << "RH";
    QTest::newRow("hidden folder") << ".git" << true << 0 << "DH";
    QTest::newRow("folder without write bits") << "locked" << true << 0555 << "DR";
}

void TstFileList::attributes()
{
    QFETCH(QString, name);
    QFETCH(bool, folder);
    QFETCH(int, mode);
    QFETCH(QString, letters);
    QTemporaryDir root;
    const QString path = root.filePath(name);
    if (folder)
        QVERIFY(QDir(root.path()).mkdir(name));
    else
        makeFile(path, 3);
    if (mode)
        QCOMPARE(::chmod(QFile::encodeName(path).constData(), static_cast<mode_t>(mode)), 0);

    TFileList list;
    list.SetMask(QStringLiteral("*"));  // the local pane's mask: every file
    list.SetFileTypes({ftAll});
    list.SetViewColumns({fiAll});
    list.SetDirectory(root.path());
    QCOMPARE(list.Count(), 1);
    QCOMPARE(list.SubItem(0, 5), letters);
    QCOMPARE(list.IsDirectory(0), folder);
    QCOMPARE(list.Item(0).ImageIndex(), folder ? 3 : 1);
    // Without ftAll, hidden and read-only entries need their own types.
    list.SetFileTypes({ftArchive});
    QCOMPARE(list.Count(), letters.contains(u'R') || letters.contains(u'H') ? 0 : 1);
    if (mode)
        ::chmod(QFile::encodeName(path).constData(), 0755);
}

// Column captions and where the full path lands among the sub-items.
void TstFileList::subItems_data()
{
    QTest::addColumn<Infos>("columns");
    QTest::addColumn<QStringList>("captions");
    QTest::addColumn<int>("fullPathAt");
    QTest::newRow("default") << Infos{fiName, fiSize, fiType, fiModified}
        << QStringList{u"名称"_qs, u"大小"_qs, u"类型"_qs, u"修改"_qs} << -1;
    QTest::newRow("all") << Infos{fiAll}
        << QStringList{u"名称"_qs, u"大小"_qs, u"类型"_qs, u"修改"_qs, u"建立"_qs, u"最近访问"_qs, u"属性"_qs,
                       u"DOS"_qs, u"Dosext"_qs, u"路径"_qs} << 7;
    QTest::newRow("name kept, full path only") << Infos{fiDosExt}
        << QStringList{u"名称"_qs, u"大小"_qs, u"Dosext"_qs} << 1;
    QTest::newRow("attributes and path") << Infos{fiPath, fiAttributes}
        << QStringList{u"名称"_qs, u"大小"_qs, u"属性"_qs, u"路径"_qs} << -1;
}

void TstFileList::subItems()
{
    QFETCH(Infos, columns);
    QFETCH(QStringList, captions);
    QFETCH(int, fullPathAt);
    // The program sets its interface's locale as the default: the list follows it, not the system's.
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    const auto restore = qScopeGuard([] { QLocale::setDefault(QLocale::system()); });
    QTemporaryDir root;
    makeFile(root.filePath(QStringLiteral("data.txt")), 1234);
    TFileInfos set;
    for (int info : columns)
        set << static_cast<TFileInfo>(info);

    TFileList list;
    list.SetMask(QStringLiteral("*"));  // the local pane's mask: every file
    list.SetViewColumns(set);
    list.SetDirectory(root.path());
    QStringList shown;
    for (int column = 0; column < list.Model()->columnCount(); ++column)
        shown << list.Model()->headerData(column, Qt::Horizontal).toString();
    QCOMPARE(shown, captions);
    QCOMPARE(list.SubItems(0).size(), captions.size() - 1);
    QCOMPARE(list.SubItem(0, 0), u"      1234"_qs);
    for (int position = 0; position < captions.size() - 1; ++position)
        QCOMPARE(list.Model()->index(0, position + 1).data(Qt::EditRole).toString(), list.SubItem(0, position));
    if (fullPathAt >= 0)
        QCOMPARE(list.SubItem(0, fullPathAt), root.filePath(QStringLiteral("data.txt")));
    if (set.contains(fiAll)) {
        const QString folder = root.path() + u'/';
        QCOMPARE(list.SubItems(0).mid(5), (QStringList{QString(), u"data.txt"_qs, folder + u"data.txt"_qs, folder}));
        const QString modified = list.SubItem(0, 2);
        const QDateTime when = QFileInfo(root.filePath(QStringLiteral("data.txt"))).lastModified();
        QVERIFY2(modified.startsWith(when.toString(u"yyyy/M/d  "_qs)), qPrintable(modified));
        QCOMPARE(list.SubItem(0, 1), u"纯文本文档"_qs);
    }
    QCOMPARE(list.SubItem(0, captions.size() - 1), QString());   // past the last one
    QCOMPARE(list.ReportView()->isColumnHidden(0), false);
}

void TstFileList::timeFormat_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("without");
    QTest::newRow("24 hours") << "HH:mm:ss" << "HH:mm";
    QTest::newRow("12 hours") << "h:mm:ss AP" << "h:mm AP";
    QTest::newRow("dots") << "h.mm.ss" << "h.mm";
    QTest::newRow("fraction") << "H:mm:ss.zzz" << "H:mm";
    QTest::newRow("already short") << "HH:mm" << "HH:mm";
    QTest::newRow("single s") << "H:mm:s" << "H:mm";
}

void TstFileList::timeFormat()
{
    QFETCH(QString, format);
    QFETCH(QString, without);
    QCOMPARE(TFileListModel::WithoutSeconds(format), without);
}

// Hostile names list and show without control characters; their captions stay exact.
void TstFileList::badInput_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::newRow("control characters") << QByteArray("a\x01\x1b[31mb\nc\td");
    QTest::newRow("very long") << QByteArray(250, 'L') + ".txt";
    QTest::newRow("not UTF-8") << QByteArray("caf\xe9-\xff\xfe.txt");
    QTest::newRow("line separator") << QByteArray("x\xe2\x80\xa8y");
}

void TstFileList::badInput()
{
    QFETCH(QByteArray, name);
    QTemporaryDir root;
    const QByteArray path = QFile::encodeName(root.path()) + '/' + name;
    const int fd = ::open(path.constData(), O_CREAT | O_WRONLY, 0644);
    QVERIFY(fd >= 0);
    ::close(fd);

    TFileList list;
    list.SetMask(QStringLiteral("*"));  // the local pane's mask: every file
    list.SetViewStyle(TFileListView::vsReport);
    list.SetViewColumns({fiAll});
    list.SetDirectory(root.path());
    QCOMPARE(list.Count(), 1);
    QCOMPARE(list.Caption(0), QFile::decodeName(name));
    for (int column = 0; column < list.Model()->columnCount(); ++column) {
        const QString shown = list.Model()->index(0, column).data().toString();
        for (QChar c : shown)
            QVERIFY2(c.category() != QChar::Other_Control && c != QChar::LineSeparator, qPrintable(shown.toHtmlEscaped()));
    }
    list.resize(400, 300);
    list.show();
    QVERIFY(!list.grab().isNull());

    // The directory vanishes: the next reading shows nothing, and so does a file as directory.
    QCOMPARE(::unlink(path.constData()), 0);
    QVERIFY(root.remove());
    list.Refresh();
    QCOMPARE(list.Count(), 0);
    list.SetDirectory(QStringLiteral("/etc/hostname;/nonexistent/dir"));
    QCOMPARE(list.Count(), 0);
}

void TstFileList::fileAdd()
{
    QTemporaryDir root;
    for (const QString &name : {u"keep.txt"_qs, u"drop.log"_qs, u"also.txt"_qs})
        makeFile(root.filePath(name), 1);
    TFileList list;
    list.SetMask(QStringLiteral("*"));  // the local pane's mask: every file
    QStringList paths;
    list.OnFileAdd = [&](QObject *sender, TFileListItem &item, const QString &path, const QFileInfo &info, bool &accept) {
        QCOMPARE(sender, &list);
        QCOMPARE(info.fileName(), item.Name);
        paths << path;
        accept = !item.Name.endsWith(u".log");
    };
    list.SetDirectory(root.path());
    QCOMPARE(captions(list), (QStringList{u"also.txt"_qs, u"keep.txt"_qs}));
    QCOMPARE(paths, QStringList(3, root.path() + u'/'));
}

void TstFileList::drop_data()
{
    QTest::addColumn<bool>("accept");
    QTest::addColumn<QStringList>("urls");
    QTest::addColumn<QStringList>("files");
    QTest::newRow("two files") << true << QStringList{u"file:///tmp/a b.txt"_qs, u"file:///home/x/%E4%B8%AD"_qs}
                               << QStringList{u"/tmp/a b.txt"_qs, u"/home/x/中"_qs};
    QTest::newRow("web address left out") << true << QStringList{u"https://example.org/x"_qs, u"file:///tmp/f"_qs}
                                          << QStringList{u"/tmp/f"_qs};
    QTest::newRow("only web addresses") << true << QStringList{u"https://example.org/x"_qs} << QStringList{};
    QTest::newRow("not accepting") << false << QStringList{u"file:///tmp/f"_qs} << QStringList{};
}

void TstFileList::drop()
{
    QFETCH(bool, accept);
    QFETCH(QStringList, urls);
    QFETCH(QStringList, files);
    TFileList list;
    list.SetMask(QStringLiteral("*"));  // the local pane's mask: every file
    list.SetAcceptFiles(accept);
    QCOMPARE(list.acceptDrops(), accept);
    int calls = 0;
    list.OnFileDrop = [&](QObject *sender, const QStringList &dropped, int x, int y) {
        ++calls;
        QCOMPARE(sender, &list);
        QCOMPARE(dropped, files);
        QCOMPARE(QPoint(x, y), QPoint(17, 23));
    };
    QMimeData data;
    QList<QUrl> list_urls;
    for (const QString &url : urls)
        list_urls << QUrl(url);
    data.setUrls(list_urls);
    // As from the desktop: the drag enters, then drops.
    QDragEnterEvent enter(QPoint(17, 23), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&list, &enter);
    QCOMPARE(enter.isAccepted(), !files.isEmpty());
    QDropEvent event(QPointF(17, 23), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&list, &event);
    QCOMPARE(calls, files.isEmpty() ? 0 : 1);
    QCOMPARE(event.isAccepted(), !files.isEmpty());
}

void TstFileList::viewStyles()
{
    QTemporaryDir root;
    for (int i = 0; i < 5; ++i)
        makeFile(root.filePath(QStringLiteral("f%1").arg(i)), i);
    TFileList list;
    list.SetMask(QStringLiteral("*"));  // the local pane's mask: every file
    list.SetDirectory(root.path());
    list.SetSelected(1, true);
    list.SetSelected(3, true);
    for (auto style : {TFileListView::vsReport, TFileListView::vsList, TFileListView::vsSmallIcon, TFileListView::vsIcon}) {
        list.SetViewStyle(style);
        QCOMPARE(list.ActiveView()->model(), list.Model());
        QCOMPARE(list.SelectedRows(), (QList<int>{1, 3}));
    }
    list.SelectAll();
    QCOMPARE(list.SelectedRows().size(), 5);
    // A sort carries the selection with its items.
    list.SelectionModel()->clearSelection();
    list.SetSelected(0, true);   // "f0", the smallest
    list.SetSortColumn(fiSize);
    list.SetSortColumn(fiSize);
    QCOMPARE(list.SelectedRows(), QList<int>{4});
    QCOMPARE(list.Caption(list.Selected()), u"f0"_qs);
}

QTEST_MAIN(TstFileList)
#include "tst_file_list.moc"
