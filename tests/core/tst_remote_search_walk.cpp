// The server search's walk without a server: the name masks, and the bounds
// that keep a tree of 100 000 entries from growing the walk without limit.

#include "core/remote_search_walk.h"

#include <QtTest>

using namespace Qt::StringLiterals;

class TestRemoteSearchWalk : public QObject {
    Q_OBJECT
private slots:
    void wildcardMatch_data();
    void wildcardMatch();
    void hugeListingsStayBounded_data();
    void hugeListingsStayBounded();
};

void TestRemoteSearchWalk::wildcardMatch_data()
{
    QTest::addColumn<QString>("mask");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("matches");
    QTest::newRow("suffix, more behind") << u"*.txt"_s << u"readme.txt.bak"_s << false;
    QTest::newRow("case ignored") << u"README.*"_s << u"readme.TXT"_s << true;
    QTest::newRow("one character, two there") << u"?.c"_s << u"ab.c"_s << false;
    QTest::newRow("star takes a repeated part") << u"a*bc"_s << u"abcbc"_s << true;
    QTest::newRow("no wildcard: the whole name") << u"core"_s << u"score"_s << false;
    QTest::newRow("empty mask") << QString() << u"x"_s << false;
    QTest::newRow("many stars against a long miss") << u"*a*a*a*a*a*b"_s << QString(2000, u'a') << false;
}

void TestRemoteSearchWalk::wildcardMatch()
{
    QFETCH(QString, mask);
    QFETCH(QString, name);
    QFETCH(bool, matches);
    QCOMPARE(WildcardMatch(mask, name), matches);
}

void TestRemoteSearchWalk::hugeListingsStayBounded_data()
{
    QTest::addColumn<bool>("directories");
    QTest::addColumn<QString>("mask");
    QTest::addColumn<int>("hits");
    QTest::addColumn<int>("changes");  // directories the walk goes into
    QTest::newRow("100 000 matching files") << false << u"*.txt"_s << 500 << 0;
    QTest::newRow("100 000 files, none matching") << false << u"*.zip"_s << 0 << 0;
    QTest::newRow("100 000 folders, none matching") << true << u"*.zip"_s << 0 << 19999;
}

void TestRemoteSearchWalk::hugeListingsStayBounded()
{
    QFETCH(bool, directories);
    QFETCH(QString, mask);
    QFETCH(int, hits);
    QFETCH(int, changes);
    constexpr int Entries = 100000;
    QList<RemoteItem> listing;
    listing.reserve(Entries);
    for (int i = 0; i < Entries; ++i)
        listing.append({"e" + QByteArray::number(i) + (directories ? "" : ".txt"), directories,
                        directories ? "drwxr-xr-x" : "-rw-r--r--", "1 Jan 01 2020"});

    RemoteSearchWalk walk;  // at most 500 hits and 20 000 folders
    RemoteSearchStep step = walk.start(mask, "/pub");
    QCOMPARE(step.kind, RemoteSearchStep::List);
    step = walk.onListing("/pub", listing, true);
    int found = int(step.hits.size());
    int entered = 0;
    int logLines = int(step.log.size());
    while (step.kind == RemoteSearchStep::ChangeDirectory) {
        ++entered;
        QVERIFY(step.path.startsWith("/pub/e"));
        step = walk.onDirectoryChanged(true);
        QCOMPARE(step.kind, RemoteSearchStep::List);
        step = walk.onListing(step.path.isEmpty() ? "/pub/e" + QByteArray::number(entered) : step.path, {}, true);
        found += int(step.hits.size());
        logLines += int(step.log.size());
    }
    QCOMPARE(step.kind, RemoteSearchStep::Finished);
    QCOMPARE(found, hits);
    QCOMPARE(entered, changes);
    QCOMPARE(walk.limitReached(), hits == walk.MaxHits);
    QCOMPARE(walk.directoriesSkipped(), directories ? Entries - changes : 0);
    // Every folder left out is counted, a few are named.
    QVERIFY(logLines <= walk.MaxLogLines);
    QCOMPARE(step.path, QByteArray(changes > 0 ? "/pub" : ""));  // back where it started
}

QTEST_APPLESS_MAIN(TestRemoteSearchWalk)
#include "tst_remote_search_walk.moc"
