// Which owner each completion of the browsing connection goes to, from the
// walks' own state: a walk that was forgotten owns nothing, whatever flag it
// left behind, and an address that named a folder gives its change back.

#include "core/browsing_session.h"

#include <QtTest>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(BrowsingOwner)

class TestBrowsingSession : public QObject {
    Q_OBJECT
private slots:
    void owners_data();
    void owners();
};

enum class Setup { Nothing, DeleteEntering, DeleteForgotten, StaleCaseFlag, DownloadEntering, SearchListing,
                   AddressDownload, AddressEnded };
Q_DECLARE_METATYPE(Setup)

void TestBrowsingSession::owners_data()
{
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<BrowsingOwner>("listing");
    QTest::addColumn<BrowsingOwner>("directoryChange");
    QTest::addColumn<BrowsingOwner>("fileEnd");
    QTest::addColumn<bool>("held");
    using O = BrowsingOwner;
    QTest::newRow("idle") << Setup::Nothing << O::Pane << O::Pane << O::Pane << false;
    QTest::newRow("delete walk entering a folder") << Setup::DeleteEntering << O::DeleteWalk << O::Pane << O::Pane << true;
    QTest::newRow("delete walk forgotten mid-folder") << Setup::DeleteForgotten << O::Pane << O::Pane << O::Pane << false;
    QTest::newRow("case flag of no running walk") << Setup::StaleCaseFlag << O::Pane << O::Pane << O::Pane << false;
    QTest::newRow("download walk entering a folder") << Setup::DownloadEntering << O::DownloadWalk << O::DownloadWalk
                                                     << O::DownloadWalk << true;
    QTest::newRow("search listing in flight") << Setup::SearchListing << O::SearchWalk << O::SearchWalk << O::Pane
                                              << false;
    QTest::newRow("address download") << Setup::AddressDownload << O::Pane << O::AddressDownload
                                      << O::AddressDownload << false;
    QTest::newRow("address download ended") << Setup::AddressEnded << O::Pane << O::Pane << O::Pane << false;
}

void TestBrowsingSession::owners()
{
    QFETCH(Setup, setup);
    QFETCH(BrowsingOwner, listing);
    QFETCH(BrowsingOwner, directoryChange);
    QFETCH(BrowsingOwner, fileEnd);
    QFETCH(bool, held);
    QTemporaryDir local;
    BrowsingSession session;
    const QList<RemoteItem> folder{{"D", true, "drwxr-xr-x"}};
    switch (setup) {
    case Setup::Nothing:
        break;
    case Setup::DeleteEntering:
        QCOMPARE(session.Deletes.start(folder, "/srv").kind, RemoteStep::ChangeDirectory);
        break;
    case Setup::DeleteForgotten:
        session.Deletes.start(folder, "/srv");
        session.ForgetRemoteWalks();
        break;
    case Setup::StaleCaseFlag:
        session.Cases.CaseTreeActive = true;
        break;
    case Setup::DownloadEntering:
        QCOMPARE(session.Transfers.startDownloadDirectory("/srv/D", local.filePath(u"D"_s)).kind,
                 TransferStep::EnterDownloadDirectory);
        break;
    case Setup::SearchListing:
        QCOMPARE(session.Search.start(u"*.txt"_s, "/srv").kind, RemoteSearchStep::List);
        session.SetSearchStepInFlight(true);
        break;
    case Setup::AddressDownload:
        session.StartAddressDownload();
        break;
    case Setup::AddressEnded:
        session.StartAddressDownload();
        QVERIFY(session.EndAddressDownload());
        QVERIFY(!session.EndAddressDownload());
        break;
    }
    QCOMPARE(session.OwnerOfListing(), listing);
    QCOMPARE(session.OwnerOfDirectoryChange(), directoryChange);
    QCOMPARE(session.OwnerOfFileEnd(), fileEnd);
    QCOMPARE(session.SequenceHeld(), held);
}

QTEST_GUILESS_MAIN(TestBrowsingSession)
#include "tst_browsing_session.moc"
