// The whole way from a search hit to a file on disk: the result page links to
// a file on a real FTP server, the window hands the hit to the FTP engine with
// the local folder, and the file lands there.

#include "http_peer.h"

#include "engine/ftp.h"
#include "search/ftpsearch.h"
#include "support/peer_server.h"

#include "platform/folders.h"
#include "scripted_dialogs.h"

#include <QComboBox>
#include <QFile>
#include <QJsonArray>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>

using namespace Qt::StringLiterals;
using testsupport::PeerServer;

class TestSearchOpensFtp : public QObject {
    Q_OBJECT
private slots:
    void ftpHitDownloadsIntoLocalFolder();
};

void TestSearchOpensFtp::ftpHitDownloadsIntoLocalFolder()
{
    QString why;
    if (!PeerServer::Available(PeerServer::Kind::Pyftpdlib, &why))
        QSKIP(qPrintable(why));
    auto ftpServer = PeerServer::Start(PeerServer::Kind::Pyftpdlib, &why);
    QVERIFY2(ftpServer, qPrintable(why));
    QByteArray content(64 * 1024 + 3, '\0');
    for (qsizetype i = 0; i < content.size(); ++i)
        content[i] = char(i * 7 + (i >> 9));
    QVERIFY(ftpServer->PutFile(u"pub/found.bin"_s, content));

    HttpPeer engine;
    QVERIFY2(engine.Start(&why), qPrintable(why));
    const QByteArray link = "ftp://" + ftpServer->User().toUtf8() + ':' + ftpServer->Password().toUtf8()
                            + "@127.0.0.1:" + QByteArray::number(ftpServer->Port()) + "/pub/found.bin";
    engine.SetRoutes({{u"/cgi-bin/search"_s,
                       QJsonArray{HttpPeer::Send("HTTP/1.0 200 OK\r\n\r\n<B>65539</B>2024-05-06<A HREF=\"" + link
                                                 + "\">found.bin</A>\r\n")}}});

    QTemporaryDir settings;
    QTemporaryDir local;
    platform::SetSettingsFolderOverride(settings.path());
    ScopedScriptedDialogs dialogs;
    TMFtp ftp;
    QStringList log;  // shown when the file does not arrive
    ftp.OnFtpInfo = [&](QObject *, FtpInfo info, const QString &text) { log << u"info %1 %2"_s.arg(int(info)).arg(text); };
    ftp.OnFtpError = [&](QObject *, FtpError error, const QString &text) {
        log << u"error %1 %2"_s.arg(int(error)).arg(text);
    };
    bool received = false;
    ftp.OnFileReceived = [&](QObject *) { received = true; };
    Tsearch window(nullptr, SearchEngine{u"127.0.0.1:%1"_s.arg(engine.Port()), u"engine.example"_s});
    window.OpenFtpUrl = [&](const QString &url, const QString &folder) { ftp.OpenURL(url.toUtf8(), folder); };
    window.LocalFolder = [&] { return local.path(); };
    window.show();
    window.key->setCurrentText(u"found"_s);
    window.sendbutton->click();
    QCOMPARE(window.ListView1->model()->rowCount(), 1);

    window.ListView1->setCurrentIndex(window.ListView1->model()->index(0, 0));
    window.ListView1DblClick();
    QVERIFY(!window.isVisible());

    const QString target = local.filePath(u"found.bin"_s);
    auto landed = [&] {
        QFile file(target);
        return file.open(QIODevice::ReadOnly) && file.readAll() == content;
    };
    QTRY_VERIFY2_WITH_TIMEOUT(received, qPrintable(log.join(u'\n')), 10000);
    QVERIFY(ftp.Success());
    QVERIFY2(landed(), qPrintable(log.join(u'\n')));
    platform::SetSettingsFolderOverride(QString());
}

QTEST_MAIN(TestSearchOpensFtp)
#include "tst_search_opens_ftp.moc"
