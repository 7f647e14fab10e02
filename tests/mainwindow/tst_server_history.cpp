// The login bar's server history: Enter remembers a server once and refreshes
// it afterwards; lookups match the server text exactly.

#include "mainwindow/server_history.h"

#include <QtTest>

namespace {

struct Enter {
    QString server;
    QString username;
    QString password;
    int port;
};

QStringList Flatten(const ServerHistory &history)
{
    QStringList out;
    for (const ServerHistory::Row &row : history.Rows())
        out.append(QStringList{row.server, row.username, row.password, row.port}.join(u'|'));
    return out;
}

} // namespace

Q_DECLARE_METATYPE(QList<Enter>)

class TestServerHistory : public QObject {
    Q_OBJECT

private slots:
    void remember_data();
    void remember();
    void find_data();
    void find();
};

void TestServerHistory::remember_data()
{
    QTest::addColumn<QList<Enter>>("enters");
    QTest::addColumn<QList<bool>>("appended");
    QTest::addColumn<QStringList>("rows");

    const QString a = QStringLiteral("ftp.a.org");
    const QString b = QStringLiteral("ftp.b.org");
    const QString u = QStringLiteral("anonymous");
    const QString p = QStringLiteral("me@home");

    QTest::newRow("new server")
        << QList<Enter>{{a, u, p, 21}} << QList<bool>{true} << QStringList{QStringLiteral("ftp.a.org|anonymous|me@home|21")};
    QTest::newRow("same server again updates, appends nothing")
        << QList<Enter>{{a, u, p, 21}, {a, QStringLiteral("bob"), QStringLiteral("秘密"), 2121}}
        << QList<bool>{true, false} << QStringList{QStringLiteral("ftp.a.org|bob|秘密|2121")};
    QTest::newRow("case differs is another server")
        << QList<Enter>{{a, u, p, 21}, {QStringLiteral("FTP.A.org"), u, p, 22}} << QList<bool>{true, true}
        << QStringList{QStringLiteral("ftp.a.org|anonymous|me@home|21"), QStringLiteral("FTP.A.org|anonymous|me@home|22")};
    QTest::newRow("trailing blank is another server")
        << QList<Enter>{{a, u, p, 21}, {a + u' ', u, p, 21}} << QList<bool>{true, true}
        << QStringList{QStringLiteral("ftp.a.org|anonymous|me@home|21"), QStringLiteral("ftp.a.org |anonymous|me@home|21")};
    QTest::newRow("order of first entry kept")
        << QList<Enter>{{a, u, p, 21}, {b, u, p, 21}, {a, QString(), QString(), 0}}
        << QList<bool>{true, true, false}
        << QStringList{QStringLiteral("ftp.a.org|||0"), QStringLiteral("ftp.b.org|anonymous|me@home|21")};
    QTest::newRow("negative port as decimal text")
        << QList<Enter>{{b, u, p, -5}} << QList<bool>{true} << QStringList{QStringLiteral("ftp.b.org|anonymous|me@home|-5")};
}

void TestServerHistory::remember()
{
    QFETCH(QList<Enter>, enters);
    QFETCH(QList<bool>, appended);
    ServerHistory history;
    QList<bool> results;
    for (const Enter &e : enters)
        results.append(history.Remember(e.server, e.username, e.password, e.port));
    QCOMPARE(results, appended);
    QTEST(Flatten(history), "rows");
}

void TestServerHistory::find_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("found");   // "user|password|port", empty when nothing matches

    QTest::newRow("exact") << QStringLiteral("ftp.a.org") << QStringLiteral("ann|pa|21");
    QTest::newRow("second server") << QStringLiteral("ftp.b.org") << QStringLiteral("bob|pb|2121");
    QTest::newRow("case differs") << QStringLiteral("FTP.A.ORG") << QString();
    QTest::newRow("prefix only") << QStringLiteral("ftp.a") << QString();
    QTest::newRow("longer") << QStringLiteral("ftp.a.org.cn") << QString();
    QTest::newRow("empty") << QString() << QString();
}

void TestServerHistory::find()
{
    QFETCH(QString, text);
    QFETCH(QString, found);
    ServerHistory history;
    QVERIFY(history.Find(QStringLiteral("ftp.a.org")) == nullptr);
    history.Remember(QStringLiteral("ftp.a.org"), QStringLiteral("ann"), QStringLiteral("pa"), 21);
    history.Remember(QStringLiteral("ftp.b.org"), QStringLiteral("bob"), QStringLiteral("pb"), 2121);
    const ServerHistory::Row *row = history.Find(text);
    const QString seen = row ? QStringList{row->username, row->password, row->port}.join(u'|') : QString();
    QCOMPARE(seen, found);
    if (row)
        QCOMPARE(row->server, text);
}

QTEST_MAIN(TestServerHistory)
#include "tst_server_history.moc"
