// The search window's second source: the connected FTP server searched by
// name mask through the main window's engine, against a real pyftpdlib with
// a tree of matches at several depths, a link back to the top and names that
// must never be followed or shown.

#include "mainwindow/form1_fixture.h"

#include "mainwindow/main_settings.h"
#include "search/ftpsearch.h"
#include "search/search_result_model.h"

#include <QPushButton>
#include <QStatusBar>
#include <QtTest>

#include <unistd.h>

using namespace Qt::StringLiterals;
using testsupport::PeerServer;

class TestServerSearch : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void rowsAreExactlyTheMatches_data();
    void rowsAreExactlyTheMatches();
    void openingHits();
    void stopButtonEndsTheSearch();

private:
    void runSearch(const QString &mask, int limit);
    QStringList links() const;

    std::unique_ptr<PeerServer> server_;
    std::unique_ptr<SettingsFolder> settings_;
    std::unique_ptr<ScopedScriptedDialogs> dialogs_;
    std::unique_ptr<FormUnderTest> ui_;
    QString site_;
};

void TestServerSearch::initTestCase()
{
    QString why;
    if (!PeerServer::Available(PeerServer::Kind::Pyftpdlib, &why))
        QSKIP(qPrintable(why));
    server_ = PeerServer::Start(PeerServer::Kind::Pyftpdlib, &why);
    QVERIFY2(server_, qPrintable(why));
    const QStringList files = {u"readme.txt"_s, u"top/a.txt"_s, u"top/b.log"_s, u"top/dir.txt/inner.txt"_s,
                               u"top/sub/c.txt"_s, u"top/sub/deep/D.TXT"_s, u"top/sub/deep/deeper/e.txt"_s,
                               // Control characters: never a hit, never raw in the log.
                               u"top/esc\x1b[2J.txt"_s, u"top/cr\r.txt"_s};
    for (const QString &file : files)
        QVERIFY(server_->PutFile(file, "x"));
    for (int i = 1; i <= 12; ++i)
        QVERIFY(server_->PutFile(u"top/many/n%1.dat"_s.arg(i, 2, 10, QChar(u'0')), QByteArray(i, 'n')));
    // A link from deep inside back to the top of the login.
    QVERIFY(::symlink("../..", QFile::encodeName(server_->PathOf(u"top/sub/loop"_s)).constData()) == 0);
    site_ = u"ftp://%1:%2"_s.arg(server_->Host()).arg(server_->Port());
}

void TestServerSearch::init()
{
    settings_ = std::make_unique<SettingsFolder>();
    dialogs_ = std::make_unique<ScopedScriptedDialogs>();
    MainSettings = TMainSettings();
    ui_ = std::make_unique<FormUnderTest>();
    QVERIFY(Login(*ui_->form, *server_));
}

void TestServerSearch::cleanup()
{
    ui_.reset();
    dialogs_.reset();
    settings_.reset();
}

void TestServerSearch::runSearch(const QString &mask, int limit)
{
    Tsearch &window = *ui_->form->search;
    window.source->setCurrentIndex(Tsearch::ServerSource);
    window.hits->setValue(limit);
    window.key->setCurrentText(mask);
    window.sendbutton->click();
    QVERIFY(QTest::qWaitFor([&] { return !window.ServerSearchRunning() && Idle(*ui_->form); }, 20000));
    QCOMPARE(window.sendbutton->text(), u"查询"_s);
}

QStringList TestServerSearch::links() const
{
    QStringList links;
    const QAbstractItemModel *model = ui_->form->search->ListView1->model();
    for (int row = 0; row < model->rowCount(); ++row)
        links << model->index(row, SearchResultModel::LinkColumn).data().toString();
    links.sort();
    return links;
}

void TestServerSearch::rowsAreExactlyTheMatches_data()
{
    QTest::addColumn<QString>("mask");
    QTest::addColumn<int>("limit");
    QTest::addColumn<int>("depth");  // walkdepth
    QTest::addColumn<QStringList>("expected");  // paths below the site, sorted
    QTest::addColumn<QString>("summaryPart");
    QTest::newRow("several depths, a folder among them, case ignored")
        << u"*.txt"_s << 100 << 64
        << QStringList{u"/readme.txt"_s, u"/top/a.txt"_s, u"/top/dir.txt/"_s, u"/top/dir.txt/inner.txt"_s,
                       u"/top/sub/c.txt"_s, u"/top/sub/deep/D.TXT"_s, u"/top/sub/deep/deeper/e.txt"_s}
        << u"找到 7 个"_s;
    QTest::newRow("two levels deep at most") << u"*.txt"_s << 100 << 2
                                             << QStringList{u"/readme.txt"_s, u"/top/a.txt"_s, u"/top/dir.txt/"_s,
                                                            u"/top/dir.txt/inner.txt"_s, u"/top/sub/c.txt"_s}
                                             << u"跳过 2 个目录"_s;  // deep, and the link
    QStringList many;
    for (int i = 1; i <= 12; ++i)
        many << u"/top/many/n%1.dat"_s.arg(i, 2, 10, QChar(u'0'));
    QTest::newRow("result limit") << u"n*.dat"_s << 10 << 64 << many << u"已达到返回结果条数"_s;
}

void TestServerSearch::rowsAreExactlyTheMatches()
{
    QFETCH(QString, mask);
    QFETCH(int, limit);
    QFETCH(int, depth);
    QFETCH(QStringList, expected);
    QFETCH(QString, summaryPart);
    MainSettings.walkdepth = depth;
    TForm1 &form = *ui_->form;
    const QByteArray start = form.ftp1->CurrentDirectory();
    runSearch(mask, limit);

    const QStringList found = links();
    if (found.size() == limit) {
        // Cut at the limit: all of them matches.
        for (const QString &link : found)
            QVERIFY2(expected.contains(link.mid(site_.size())), qPrintable(link));
    } else {
        QStringList wanted;
        for (const QString &path : expected)
            wanted << site_ + path;
        QCOMPARE(found.join(u'\n'), wanted.join(u'\n'));
    }
    QVERIFY2(form.search->StatusBar1->currentMessage().contains(summaryPart),
             qPrintable(form.search->StatusBar1->currentMessage()));
    // The hostile names are logged as skipped, never raw.
    QStringList skipped;
    for (const LogLine &line : LogLines(form)) {
        QVERIFY2(!line.text.contains(QChar(0x1b)) && !line.text.contains(u'\r'), qPrintable(line.text));
        if (line.text.startsWith(u"跳过不安全的名称"_s))
            skipped << line.text;
    }
    skipped.sort();
    // (The listing parser drops the name with a CR itself: it never reaches the walk.)
    QCOMPARE(skipped, QStringList{u"跳过不安全的名称: \"esc?[2J.txt\""_s});
    // The walk went back to where the pane is.
    QCOMPARE(form.ftp1->CurrentDirectory(), start);
    QCOMPARE((*dialogs_)->UnexpectedCount(), 0);
}

void TestServerSearch::openingHits()
{
    TForm1 &form = *ui_->form;
    QTemporaryDir local;
    form.SetLocalDirectory(local.path());
    runSearch(u"*.dat"_s, 100);
    Tsearch &window = *form.search;
    const QAbstractItemModel *model = window.ListView1->model();
    QCOMPARE(model->rowCount(), 12);

    // A file hit downloads into the local pane's folder.
    int row = 0;
    while (!model->index(row, SearchResultModel::LinkColumn).data().toString().endsWith(u"/n05.dat"_s))
        ++row;
    window.ListView1->setCurrentIndex(model->index(row, 0));
    window.ListView1DblClick();
    QVERIFY(!window.isVisible());
    QTRY_COMPARE_WITH_TIMEOUT(ReadLocal(local.filePath(u"n05.dat"_s)), QByteArray(5, 'n'), 10000);
    QVERIFY(QTest::qWaitFor([&] { return Idle(form); }, 10000));
    form.ftp1->ChangeDirectory("/");
    QVERIFY(QTest::qWaitFor([&] { return Idle(form) && form.ftp1->CurrentDirectory() == "/"; }, 10000));

    // A folder hit is shown in the remote pane.
    runSearch(u"deep*"_s, 100);
    QCOMPARE(model->rowCount(), 2);
    window.ListView1->setCurrentIndex(model->index(0, 0));
    const QString link = model->index(0, SearchResultModel::LinkColumn).data().toString();
    QCOMPARE(link, site_ + u"/top/sub/deep/"_s);
    window.ListView1DblClick();
    QTRY_COMPARE_WITH_TIMEOUT(form.ftp1->CurrentDirectory(), QByteArray("/top/sub/deep"), 10000);
    QVERIFY(QTest::qWaitFor([&] { return Idle(form) && form.ftpviewModel->rowOfName("deeper") >= 0; }, 10000));
    // Opened like the engine's FTP hits, which may log in again: with the session's login only.
    const QStringList users = CommandArguments(form, u"USER"_s);
    QVERIFY(users.size() >= 2);
    QCOMPARE(users, QStringList(users.size(), server_->User()));
    QCOMPARE((*dialogs_)->UnexpectedCount(), 0);
}

void TestServerSearch::stopButtonEndsTheSearch()
{
    TForm1 &form = *ui_->form;
    Tsearch &window = *form.search;
    window.source->setCurrentIndex(Tsearch::ServerSource);
    window.key->setCurrentText(u"*"_s);
    // The first listing stays unanswered while the user presses 停止.
    server_->Pause();
    window.sendbutton->click();
    QVERIFY(window.ServerSearchRunning());
    QCOMPARE(window.sendbutton->text(), u"停止"_s);
    window.sendbutton->click();
    QCOMPARE(window.sendbutton->text(), u"查询"_s);
    server_->Resume();
    QVERIFY(QTest::qWaitFor([&] { return !window.ServerSearchRunning() && Idle(form); }, 20000));
    QVERIFY2(window.StatusBar1->currentMessage().contains(u"已停止"_s), qPrintable(window.StatusBar1->currentMessage()));
    QCOMPARE(window.ListView1->model()->rowCount(), 0);
    QCOMPARE(form.ftp1->CurrentDirectory(), QByteArray("/"));
    // The window is free for the next search.
    runSearch(u"readme.*"_s, 10);
    QCOMPARE(links(), QStringList{site_ + u"/readme.txt"_s});
}

QTEST_MAIN(TestServerSearch)
#include "tst_server_search.moc"
