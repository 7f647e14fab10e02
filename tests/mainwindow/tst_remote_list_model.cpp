// The remote list's rows: what a listing puts in them, the order of every
// column in both directions, and names a server should never send.

#include "mainwindow/remote_list_model.h"

#include "engine/ftp_fileinfo.h"

#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QPixmap>
#include <QRandomGenerator>
#include <QTest>

#include <algorithm>
#include <limits>
#include <numeric>

namespace {

// "d:name:permissions:size:date" or "f:..." (size is ignored for directories).
void FillFrom(RemoteListModel &model, const QByteArrayList &rows)
{
    QByteArrayList dirNames, fileNames;
    TMFtpFileInfoList dirInfos, fileInfos;
    for (const QByteArray &line : rows) {
        const QList<QByteArray> f = line.split(':');
        if (f[0] == "d") {
            dirNames << f[1];
            dirInfos.Add(f[2], f[4], f[3], "", "");
        } else {
            fileNames << f[1];
            fileInfos.Add(f[2], f[4], f[3], "", "");
        }
    }
    model.Fill(dirNames, dirInfos, fileNames, fileInfos);
}

QByteArrayList Names(const RemoteListModel &model)
{
    QByteArrayList names;
    for (int row = 0; row < model.rowCount(); ++row)
        names << model.entry(row).name;
    return names;
}

} // namespace

class TestRemoteListModel : public QObject
{
    Q_OBJECT
private slots:
    void fill();
    void sort_data();
    void sort();
    void clickingTwiceReverses_data();
    void clickingTwiceReverses();
    void strictWeakOrdering_data();
    void strictWeakOrdering();
    void orderOfUpperCasedBytes_data();
    void orderOfUpperCasedBytes();
    void sizeTextsKeptAsListed_data();
    void sizeTextsKeptAsListed();
    void selectionFollowsSort();
    void hostileNames_data();
    void hostileNames();
    void icons();
};

void TestRemoteListModel::fill()
{
    RemoteListModel model;
    QByteArrayList dirNames{".", "pub", "..", "hidden-dots"};
    TMFtpFileInfoList dirInfos, fileInfos;
    dirInfos.Add("drwxr-xr-x", "Jan 1 10:00", "512", "", "");
    dirInfos.Add("drwxr-x---", "Jan 12 12:30", "512", "", "");
    dirInfos.Add("drwxr-xr-x", "Jan 1 10:00", "512", "", "");
    dirInfos.Add("drwxr-xr-x", "Jan 1 10:00", "512", "..", "");  // field 3 marks it as well
    fileInfos.Add("-rw-r--r--", "Mar 3 1998", "1024", "", "");
    model.Fill(dirNames, dirInfos, {"file.txt"}, fileInfos);

    QCOMPARE(Names(model), (QByteArrayList{"pub", "file.txt"}));
    const QStringList pubRow{QStringLiteral("pub"), QStringLiteral("drwxr-x---"), QString(),
                             QStringLiteral("Jan 12 12:30")};
    const QStringList fileRow{QStringLiteral("file.txt"), QStringLiteral("-rw-r--r--"), QStringLiteral("1024"),
                              QStringLiteral("Mar 3 1998")};
    for (int column = 0; column < model.columnCount(); ++column) {
        QCOMPARE(model.index(0, column).data().toString(), pubRow[column]);
        QCOMPARE(model.index(1, column).data().toString(), fileRow[column]);
    }
    QVERIFY(model.entry(0).isDirectory);
    QVERIFY(!model.index(1, 0).data(RemoteListModel::IsDirectoryRole).toBool());
    QCOMPARE(model.entry(1).sizeValue, 1024);
    QVERIFY(model.index(1, 2).data(Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignRight);
    QCOMPARE(model.names({1, 7, -1, 0}), (QByteArrayList{"file.txt", "pub"}));
    QCOMPARE(model.items({0}).value(0).attributes, QByteArray("drwxr-x---"));
    QCOMPARE(model.rowOfName("file.txt"), 1);

    // A new listing replaces the old one entirely.
    model.Fill({}, {}, {"only"}, fileInfos);
    QCOMPARE(Names(model), QByteArrayList{"only"});
    model.Clear();
    QCOMPARE(model.rowCount(), 0);
}

void TestRemoteListModel::sort_data()
{
    QTest::addColumn<QByteArrayList>("entries");
    QTest::addColumn<int>("column");
    QTest::addColumn<bool>("descending");
    QTest::addColumn<QByteArrayList>("expected");

    const QByteArrayList mixed{"f:b.txt:-rw-r--r--:30:Jan 2", "d:zeta:drwxr-xr-x::Feb 1", "f:A.txt:-rw-------:100:Jan 1",
                            "d:Alpha:drwx------::Mar 1", "f:c.txt:-rw-r--r--:20:Jan 3"};
    QTest::newRow("name") << mixed << 0 << false << QByteArrayList{"Alpha", "zeta", "A.txt", "b.txt", "c.txt"};
    QTest::newRow("name descending")
        << mixed << 0 << true << QByteArrayList{"zeta", "Alpha", "c.txt", "b.txt", "A.txt"};
    QTest::newRow("permissions, equal ones by name")
        << mixed << 1 << false << QByteArrayList{"Alpha", "zeta", "A.txt", "b.txt", "c.txt"};
    QTest::newRow("permissions descending, names reversed too")
        << mixed << 1 << true << QByteArrayList{"zeta", "Alpha", "c.txt", "b.txt", "A.txt"};
    QTest::newRow("size") << mixed << 2 << false << QByteArrayList{"zeta", "Alpha", "c.txt", "b.txt", "A.txt"};
    QTest::newRow("date") << mixed << 3 << true << QByteArrayList{"Alpha", "zeta", "c.txt", "b.txt", "A.txt"};

    // As text "10" < "5000000000" < "9"; beyond 32 bits still a number.
    QTest::newRow("size is a 64-bit number")
        << QByteArrayList{"f:big:-:5000000000:", "f:nine:-:9:", "f:ten:-:10:", "f:huge:-:99999999999999999999999:"}
        << 2 << false << QByteArrayList{"nine", "ten", "big", "huge"};
    QTest::newRow("size text that is no number counts as 0")
        << QByteArrayList{"f:one:-:1:", "f:vms:-:12/24:", "f:neg:-:-5:", "f:empty:-::", "f:word:-:abc:"}
        << 2 << false << QByteArrayList{"vms", "neg", "empty", "word", "one"};
    // Equal sizes are equal in both directions: they keep the listing's order.
    QTest::newRow("equal sizes keep their order, descending")
        << QByteArrayList{"f:x:-:7:", "f:a:-:7:", "f:m:-:8:", "f:b:-:7:"} << 2 << true
        << QByteArrayList{"m", "x", "a", "b"};
    QTest::newRow("names compare upper-cased, ties keep order")
        << QByteArrayList{"f:b:::", "f:a:::", "f:B:::", "f:A:::", "f:_:::"} << 0 << false
        << QByteArrayList{"a", "A", "b", "B", "_"};
    QTest::newRow("unknown column sorts by name")
        << QByteArrayList{"f:b:::", "d:z:::", "f:a:::"} << 9 << false << QByteArrayList{"z", "a", "b"};
}

void TestRemoteListModel::sort()
{
    QFETCH(QByteArrayList, entries);
    QFETCH(int, column);
    QFETCH(bool, descending);
    QFETCH(QByteArrayList, expected);

    RemoteListModel model;
    FillFrom(model, entries);
    model.Sort(column, descending);
    QCOMPARE(Names(model), expected);
}

void TestRemoteListModel::clickingTwiceReverses_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<bool>("directoriesReversed");
    // Directories have no size: all equal, so that column keeps their order.
    for (int column = 0; column < 4; ++column)
        QTest::addRow("column %d", column) << column << (column != 2);
}

void TestRemoteListModel::clickingTwiceReverses()
{
    QFETCH(int, column);
    QFETCH(bool, directoriesReversed);
    RemoteListModel model;
    // Every key distinct, so that the second order is exactly the first reversed.
    FillFrom(model, {"f:f2:-r2:2:d2", "d:d1:dr1::e1", "f:f1:-r1:1:d1", "d:d3:dr3::e3", "f:f3:-r3:3:d3",
                     "d:d2:dr2::e2"});
    model.Sort(column, false);
    const QByteArrayList first = Names(model);
    model.Sort(column, true);
    const QByteArrayList second = Names(model);

    const QByteArrayList dirs = first.mid(0, 3), files = first.mid(3);
    QCOMPARE(second.mid(0, 3), directoriesReversed ? QByteArrayList(dirs.rbegin(), dirs.rend()) : dirs);
    QCOMPARE(second.mid(3), QByteArrayList(files.rbegin(), files.rend()));
    for (int row = 0; row < model.rowCount(); ++row)
        QCOMPARE(model.entry(row).isDirectory, row < 3);
}

void TestRemoteListModel::strictWeakOrdering_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<bool>("descending");
    for (int column = 0; column < 4; ++column) {
        QTest::addRow("column %d ascending", column) << column << false;
        QTest::addRow("column %d descending", column) << column << true;
    }
}

// std::sort with a comparator that is not a strict weak ordering is undefined
// and can run past the end of the list: every triple of a set full of ties.
void TestRemoteListModel::strictWeakOrdering()
{
    QFETCH(int, column);
    QFETCH(bool, descending);

    QRandomGenerator random(1234);
    const char *const names[] = {"a", "A", "b", "B", "c"};
    const char *const texts[] = {"", "x", "X", "y", "5", "05", "abc"};
    QByteArrayList rows;
    for (int i = 0; i < 24; ++i) {
        rows << QByteArray(random.bounded(2) ? "d" : "f") + ':' + names[random.bounded(5)] + ':'
                    + texts[random.bounded(7)] + ':' + texts[random.bounded(7)] + ':' + texts[random.bounded(7)];
    }
    RemoteListModel model;
    FillFrom(model, rows);
    const int n = model.rowCount();
    const auto before = [&](int x, int y) {
        return RemoteListModel::Before(model.entry(x), model.entry(y), column, descending);
    };
    for (int a = 0; a < n; ++a) {
        QVERIFY(!before(a, a));
        for (int b = 0; b < n; ++b) {
            QVERIFY(!(before(a, b) && before(b, a)));
            const bool equalAB = !before(a, b) && !before(b, a);
            for (int c = 0; c < n; ++c) {
                if (before(a, b) && before(b, c))
                    QVERIFY(before(a, c));
                const bool equalBC = !before(b, c) && !before(c, b);
                if (equalAB && equalBC)
                    QVERIFY(!before(a, c) && !before(c, a));
            }
        }
    }

    // The model's own sort gives what a stable sort by that rule gives.
    QList<int> order(n);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), before);
    const auto row = [&](int r) {
        const RemoteEntry &e = model.entry(r);
        return e.name + '|' + e.permissions + '|' + e.size + '|' + e.date + (e.isDirectory ? "|d" : "|f");
    };
    QByteArrayList expected;
    for (int r : order)
        expected << row(r);
    model.Sort(column, descending);
    QByteArrayList actual;
    for (int r = 0; r < n; ++r)
        actual << row(r);
    QCOMPARE(actual, expected);
}

void TestRemoteListModel::orderOfUpperCasedBytes_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<bool>("descending");
    for (int column : {0, 1, 3}) {
        QTest::addRow("column %d ascending", column) << column << false;
        QTest::addRow("column %d descending", column) << column << true;
    }
}

// Texts compare as ConvertNameCase(text, true) makes them, in and beyond the
// first eight bytes: in a text that is no valid UTF-8 a GBK trail byte keeps
// its case ("\x81" "a" stays, "\x81" "B" too, so it sorts first).
void TestRemoteListModel::orderOfUpperCasedBytes()
{
    QFETCH(int, column);
    QFETCH(bool, descending);

    QRandomGenerator random(77);
    const char alphabet[] = {'a', 'A', 'b', 'B', 'z', '_', '\x81', '\xd6', '\xc3', '\xa9', '\xe4', '\xb8', '\xad'};
    const auto text = [&] {
        QByteArray t;
        const int length = random.bounded(12);
        for (int i = 0; i < length; ++i)
            t += alphabet[random.bounded(int(sizeof alphabet))];
        return t;
    };
    QByteArrayList rows;
    for (int i = 0; i < 300; ++i) {
        const QByteArray prefix = i % 2 ? QByteArray("same.pre") : QByteArray();  // ties in the first eight bytes
        rows << "f:" + prefix + text() + ':' + text() + "::" + text();
    }
    RemoteListModel model;
    FillFrom(model, rows);
    const auto key = [&](int row) {
        const RemoteEntry e = model.entry(row);
        const QByteArray primary = column == 1 ? e.permissions : column == 3 ? e.date : QByteArray();
        return std::pair(ConvertNameCase(primary, true), ConvertNameCase(e.name, true));
    };
    QList<int> order(model.rowCount());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return descending ? key(b) < key(a) : key(a) < key(b);
    });
    QByteArrayList expected;
    for (int row : order)
        expected << model.name(row);
    model.Sort(column, descending);
    QCOMPARE(Names(model), expected);
}

void TestRemoteListModel::sizeTextsKeptAsListed_data()
{
    QTest::addColumn<QByteArray>("size");
    QTest::addColumn<qint64>("value");
    QTest::newRow("number") << QByteArray("1024") << qint64(1024);
    QTest::newRow("zero") << QByteArray("0") << qint64(0);
    QTest::newRow("leading zeros") << QByteArray("007") << qint64(7);
    QTest::newRow("eighteen digits") << QByteArray("123456789012345678") << qint64(123456789012345678);
    QTest::newRow("past 64 bits") << QByteArray("123456789012345678901") << std::numeric_limits<qint64>::max();
    QTest::newRow("grouped") << QByteArray("1,024") << qint64(0);
    QTest::newRow("dash") << QByteArray("-") << qint64(0);
    QTest::newRow("empty") << QByteArray() << qint64(0);
}

// Whatever form the size is kept in, it comes back byte for byte: in the
// column, in the row's details a later listing is compared by, and as a number.
void TestRemoteListModel::sizeTextsKeptAsListed()
{
    QFETCH(QByteArray, size);
    QFETCH(qint64, value);

    RemoteListModel model;
    FillFrom(model, {"d:dir:drwx:" + size + ":Jan 1", "f:file:-rw-:" + size + ":Jan 2"});
    QCOMPARE(model.index(1, RemoteListModel::SizeColumn).data().toString(), QString::fromLatin1(size));
    QCOMPARE(model.entry(1).size, size);
    QCOMPARE(model.entry(1).sizeValue, value);
    const QList<RemoteItem> items = model.allItems();
    QCOMPARE(items.size(), 2);
    QCOMPARE(items[0].details, QByteArray(" Jan 1"));  // a directory's size is not shown
    QCOMPARE(items[1].details, size + " Jan 2");
    QCOMPARE(items[1].attributes, QByteArray("-rw-"));
}

void TestRemoteListModel::selectionFollowsSort()
{
    RemoteListModel model;
    FillFrom(model, {"f:c:::", "f:a:::", "d:z:::", "f:b:::"});
    QItemSelectionModel selection(&model);
    selection.select(model.index(model.rowOfName("c"), 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    selection.setCurrentIndex(model.index(model.rowOfName("a"), 0), QItemSelectionModel::NoUpdate);

    model.Sort(0, true);
    QCOMPARE(Names(model), (QByteArrayList{"z", "c", "b", "a"}));
    const QModelIndexList rows = selection.selectedRows();
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows[0].data(RemoteListModel::NameBytesRole).toByteArray(), QByteArray("c"));
    QCOMPARE(selection.currentIndex().data(RemoteListModel::NameBytesRole).toByteArray(), QByteArray("a"));
}

void TestRemoteListModel::hostileNames_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QString>("shown");

    QTest::newRow("control characters") << QByteArray("a\x01" "b\tc\x1b[31m\x7f")
                                        << QStringLiteral("a\u2401b\u2409c\u241b[31m\u2421");
    QTest::newRow("line breaks") << QByteArray("one\r\ntwo\nthree") << QStringLiteral("one\u240d\u240atwo\u240athree");
    QTest::newRow("nul inside") << QByteArray("a\0b", 3) << QStringLiteral("a\u2400b");
    QTest::newRow("unicode separators and overrides")
        << QByteArray("x\xe2\x80\xa8y\xe2\x80\xaegpj.exe\xc2\x85")
        << QStringLiteral("x\ufffdy\ufffdgpj.exe\ufffd");
    QTest::newRow("slash kept as text") << QByteArray("../etc/passwd") << QStringLiteral("../etc/passwd");
    QTest::newRow("gb18030 name") << QByteArray("\xd6\xd0\xce\xc4.txt") << QStringLiteral("中文.txt");
    QTest::newRow("utf-8 name") << QByteArray("\xe4\xb8\xad\xe6\x96\x87") << QStringLiteral("中文");
    const QByteArray longName(200000, 'n');
    QTest::newRow("very long name")
        << longName << QString(RemoteListModel::MaxDisplayLength - 1, QLatin1Char('n')) + QChar(0x2026);
    // Cut where a surrogate pair would be split: the pair goes whole or not at all.
    QByteArray emoji(RemoteListModel::MaxDisplayLength - 2, 'e');
    for (int i = 0; i < 4; ++i)
        emoji += "\xf0\x9f\x98\x80";
    QTest::newRow("long name with a surrogate pair at the cut")
        << emoji << QString(RemoteListModel::MaxDisplayLength - 2, QLatin1Char('e')) + QChar(0x2026);
}

void TestRemoteListModel::hostileNames()
{
    QFETCH(QByteArray, name);
    QFETCH(QString, shown);

    RemoteListModel model;
    TMFtpFileInfoList dirInfos, fileInfos;
    fileInfos.Add(name, name, name, "", "");
    dirInfos.Add(name, name, "", "", "");
    model.Fill({name}, dirInfos, {name}, fileInfos);
    QCOMPARE(model.rowCount(), 2);
    for (int row = 0; row < 2; ++row) {
        QCOMPARE(model.index(row, 0).data().toString(), shown);
        QCOMPARE(model.index(row, 1).data().toString(), shown);
        QCOMPARE(model.index(row, 0).data(RemoteListModel::NameBytesRole).toByteArray(), name);
    }
    QCOMPARE(model.entry(1).sizeValue, 0);
    model.Sort(2, false);
    QCOMPARE(model.entry(1).name, name);
}

void TestRemoteListModel::icons()
{
    RemoteListModel model;
    FillFrom(model, {"d:dir:::", "f:file:::", "f:other:::"});
    QVERIFY(model.index(0, 0).data(Qt::DecorationRole).value<QIcon>().isNull());

    int asked = 0;
    QPixmap folder(8, 8), document(8, 8);
    folder.fill(Qt::yellow);
    document.fill(Qt::white);
    model.setIconProvider([&](bool isDirectory) {
        ++asked;
        return QIcon(isDirectory ? folder : document);
    });
    for (int pass = 0; pass < 3; ++pass) {
        for (int row = 0; row < 3; ++row) {
            const QIcon icon = model.index(row, 0).data(Qt::DecorationRole).value<QIcon>();
            const QColor colour = icon.pixmap(8, 8).toImage().pixelColor(1, 1);
            QCOMPARE(colour, QColor(row == 0 ? Qt::yellow : Qt::white));
            QVERIFY(model.index(row, 1).data(Qt::DecorationRole).isNull());
        }
    }
    QCOMPARE(asked, 2);  // once per kind, not once per painted cell
}

QTEST_MAIN(TestRemoteListModel)
#include "tst_remote_list_model.moc"
