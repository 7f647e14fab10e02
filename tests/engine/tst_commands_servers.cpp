// Remote commands and ftp:// addresses against real servers; every result is
// checked where it lands, on the server's disk or the local disk.

#include "engine/ftp.h"
#include "peer_server.h"
#include "tst_commands_probe.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>

using testsupport::PeerServer;
Q_DECLARE_METATYPE(PeerServer::Kind)

namespace {

void AddServerRows()
{
    QTest::addColumn<PeerServer::Kind>("kind");
    for (PeerServer::Kind kind : PeerServer::FtpKinds())
        QTest::newRow(qPrintable(PeerServer::KindName(kind))) << kind;
}

// The path of a folder below the login's root, as the server names it.
QByteArray ServerPath(const PeerServer &server, const QByteArray &relative)
{
    QByteArray base = server.LoginDirectory();
    if (base.endsWith('/'))
        base.chop(1);
    return base + '/' + relative;
}

mode_t ModeOnDisk(const QString &path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return 0;
    return info.st_mode & 07777;
}

}  // namespace

class TestCommandsServers : public QObject {
    Q_OBJECT
private slots:
    void commandsOnDisk_data() { AddServerRows(); }
    void commandsOnDisk();
    void refusedCommands_data() { AddServerRows(); }
    void refusedCommands();
    void changeModeThenList_data() { AddServerRows(); }
    void changeModeThenList();
    void changeModeRefused_data() { AddServerRows(); }
    void changeModeRefused();
    void openUrl_data() { AddServerRows(); }
    void openUrl();

private:
    std::unique_ptr<PeerServer> StartServer(PeerServer::Kind kind);
};

std::unique_ptr<PeerServer> TestCommandsServers::StartServer(PeerServer::Kind kind)
{
    QString why;
    auto server = PeerServer::Start(kind, &why);
    if (!server)
        qWarning("%s did not start: %s", qPrintable(PeerServer::KindName(kind)), qPrintable(why));
    return server;
}

// Skips when this machine cannot run the kind; a start that fails is a failure.
#define START_SERVER(server)                                                                     \
    QFETCH(PeerServer::Kind, kind);                                                              \
    {                                                                                            \
        QString whyNot;                                                                          \
        if (!PeerServer::Available(kind, &whyNot))                                               \
            QSKIP(qPrintable(whyNot));                                                           \
    }                                                                                            \
    auto server = StartServer(kind);                                                                 \
    QVERIFY2(server, "the server did not start");                                                \
    TMFtp ftp;                                                                                   \
    EngineProbe probe(ftp);                                                                      \
    QVERIFY2(probe.Login(server->Host(), server->Port(), server->User().toUtf8(),                \
                         server->Password().toUtf8()),                                           \
             qPrintable(probe.Dump()));                                                          \
    probe.Clear()

void TestCommandsServers::commandsOnDisk()
{
    START_SERVER(server);
    QVERIFY(server->PutFile(QStringLiteral("gone.txt"), "delete me"));
    QVERIFY(server->PutFile(QStringLiteral("my file.txt"), "renamed content"));
    QVERIFY(server->MakeDirectory(QStringLiteral("old dir/inside")));

    // MKD, then CWD into the new folder: CurrentDirectory is the path asked for.
    ftp.MakeDirectory("made");
    QVERIFY2(probe.WaitFor(QStringLiteral("OnDirectoryCreated")), qPrintable(probe.Dump()));
    QVERIFY2(ftp.Success(), qPrintable(probe.Dump()));
    QVERIFY(QFileInfo(server->PathOf(QStringLiteral("made"))).isDir());
    QCOMPARE(probe.commands, QByteArrayList{"MKD made"});

    ftp.ChangeDirectory("made");
    QVERIFY2(probe.WaitFor(QStringLiteral("OnDirectoryChanged")), qPrintable(probe.Dump()));
    QVERIFY(ftp.Success());
    QCOMPARE(ftp.CurrentDirectory(), QByteArray("made"));

    // A relative MKD now lands inside it, which proves the CWD took effect.
    ftp.MakeDirectory("inner");
    QVERIFY(probe.WaitFor(QStringLiteral("OnDirectoryCreated"), 2));
    QVERIFY(QFileInfo(server->PathOf(QStringLiteral("made/inner"))).isDir());

    ftp.ChangeDirectoryUp();
    QVERIFY(probe.WaitFor(QStringLiteral("OnDirectoryChanged"), 2));
    QVERIFY(ftp.Success());
    QCOMPARE(ftp.CurrentDirectory(), QByteArray("made"));  // CDUP leaves it to the next PWD

    ftp.RemoveDirectory("made/inner");
    QVERIFY(probe.WaitFor(QStringLiteral("OnDirectoryDeleted")));
    QVERIFY(ftp.Success());
    QVERIFY(!server->Exists(QStringLiteral("made/inner")));
    QVERIFY(server->Exists(QStringLiteral("made")));

    ftp.DeleteFile("gone.txt");
    QVERIFY(probe.WaitFor(QStringLiteral("OnFileDeleted")));
    QVERIFY(ftp.Success());
    QVERIFY(!server->Exists(QStringLiteral("gone.txt")));

    // Names with blanks and UTF-8 bytes go over byte-identical.
    const QByteArray utf8Name = "\xe6\x96\x87\xe4\xbb\xb6 two.txt";
    ftp.RenameFile("my file.txt", utf8Name);
    QVERIFY(probe.WaitFor(QStringLiteral("OnFileRenamed")));
    QVERIFY(ftp.Success());
    QVERIFY(!server->Exists(QStringLiteral("my file.txt")));
    QCOMPARE(server->ReadFile(QString::fromUtf8(utf8Name)), QByteArray("renamed content"));

    ftp.RenameDirectory("old dir", "new dir");
    QVERIFY(probe.WaitFor(QStringLiteral("OnDirRenamed")));
    QVERIFY(ftp.Success());
    QVERIFY(QFileInfo(server->PathOf(QStringLiteral("new dir/inside"))).isDir());
    QVERIFY(!server->Exists(QStringLiteral("old dir")));

    QCOMPARE(probe.commands, (QByteArrayList{"MKD made", "CWD made", "MKD inner", "CDUP", "RMD made/inner",
                                             "DELE gone.txt", "RNFR my file.txt", "RNTO " + utf8Name,
                                             "RNFR old dir", "RNTO new dir"}));
    // Each operation: OnFtpReady, then its completion event, every time with Success.
    QCOMPARE(probe.Count(QStringLiteral("ready")), 8);
    QVERIFY(!probe.successes.contains(false));
    QVERIFY(probe.SendersOk());
    QVERIFY(!ftp.Busy());
    QVERIFY(ftp.Connected);
}

void TestCommandsServers::refusedCommands()
{
    START_SERVER(server);
    QVERIFY(server->MakeDirectory(QStringLiteral("exists")));
    QVERIFY(server->PutFile(QStringLiteral("keep.txt"), "kept"));

    struct Refusal {
        std::function<void()> start;
        QString event;
    };
    const QList<Refusal> refusals{
        {[&] { ftp.MakeDirectory("exists"); }, QStringLiteral("OnDirectoryCreated")},
        {[&] { ftp.RemoveDirectory("missing"); }, QStringLiteral("OnDirectoryDeleted")},
        {[&] { ftp.DeleteFile("missing.txt"); }, QStringLiteral("OnFileDeleted")},
        {[&] { ftp.ChangeDirectory("missing"); }, QStringLiteral("OnDirectoryChanged")},
        {[&] { ftp.RenameFile("missing.txt", "other.txt"); }, QStringLiteral("OnFileRenamed")},
        {[&] { ftp.RenameDirectory("missing", "other"); }, QStringLiteral("OnDirRenamed")},
    };
    for (const Refusal &refusal : refusals) {
        probe.Clear();
        refusal.start();
        QVERIFY2(probe.WaitFor(refusal.event), qPrintable(probe.Dump()));
        QCOMPARE(probe.events, (QStringList{QStringLiteral("info 16 Access denied or file not found"),
                                            QStringLiteral("ready"), refusal.event}));
        QCOMPARE(probe.successes, QList<bool>{false});
        QVERIFY(!ftp.Busy());
        QVERIFY(ftp.Connected);
    }
    // A refused CWD leaves CurrentDirectory at the path that was asked for.
    QCOMPARE(ftp.CurrentDirectory(), QByteArray("missing"));
    QCOMPARE(server->ReadFile(QStringLiteral("keep.txt")), QByteArray("kept"));

    // The connection is still good for the next command.
    probe.Clear();
    ftp.MakeDirectory("fresh");
    QVERIFY(probe.WaitFor(QStringLiteral("OnDirectoryCreated")));
    QVERIFY(ftp.Success());
    QVERIFY(server->Exists(QStringLiteral("fresh")));
}

void TestCommandsServers::changeModeThenList()
{
    START_SERVER(server);
    QVERIFY(server->PutFile(QStringLiteral("perm.txt"), "x"));
    QVERIFY(server->PutFile(QStringLiteral("other.txt"), "y"));
    QVERIFY(::chmod(QFile::encodeName(server->PathOf(QStringLiteral("perm.txt"))).constData(), 0644) == 0);

    // As the permissions dialog does it: two modes and the listing, all at once.
    ftp.ChangeMode("perm.txt", 604);
    ftp.ChangeMode("other.txt", 640);
    ftp.List();
    QVERIFY2(probe.WaitFor(QStringLiteral("OnListingDone")), qPrintable(probe.Dump()));
    QVERIFY(ftp.Success());
    QCOMPARE(ModeOnDisk(server->PathOf(QStringLiteral("perm.txt"))), mode_t(0604));
    QCOMPARE(ModeOnDisk(server->PathOf(QStringLiteral("other.txt"))), mode_t(0640));
    QCOMPARE(probe.commands.mid(0, 3),
             (QByteArrayList{"SITE CHMOD 604 perm.txt", "SITE CHMOD 640 other.txt", "PWD"}));
    // vsftpd lists by LIST, the others by MLSD, whose UNIX.mode must read as LIST's text.
    QCOMPARE(probe.commands.last(), server->ServerKind() == PeerServer::Kind::Vsftpd ? QByteArray("LIST")
                                                                                    : QByteArray("MLSD"));

    // The listing that follows shows the new permissions.
    const qsizetype index = ftp.FileNames.indexOf("perm.txt");
    QVERIFY2(index >= 0, ftp.FileNames.join(' ').constData());
    QByteArray attributes;
    QVERIFY(ftp.FileInfos.GetInfo(int(index), 0, attributes));
    QCOMPARE(attributes, QByteArray("-rw----r--"));
    const qsizetype otherIndex = ftp.FileNames.indexOf("other.txt");
    QVERIFY(otherIndex >= 0);
    QVERIFY(ftp.FileInfos.GetInfo(int(otherIndex), 0, attributes));
    QCOMPARE(attributes, QByteArray("-rw-r-----"));

    // An accepted SITE CHMOD raises no ready notice and no event of its own.
    QCOMPARE(probe.Count(QStringLiteral("ready")), 1);
    QCOMPARE(probe.events.filter(QStringLiteral("OnListingDone")).size(), 1);
    QVERIFY(!probe.events.join(u' ').contains(QStringLiteral("error")));
}

void TestCommandsServers::changeModeRefused()
{
    START_SERVER(server);
    ftp.ChangeMode("no-such-file", 600);
    // A refusal of this one command: reported, and the session goes on.
    QVERIFY2(probe.WaitFor(QStringLiteral("ready")), qPrintable(probe.Dump()));
    QVERIFY(probe.events.contains(QStringLiteral("error 29")));
    QVERIFY(!ftp.Success());
    QVERIFY(ftp.Connected);
    QCOMPARE(probe.commands, QByteArrayList{"SITE CHMOD 600 no-such-file"});
    ftp.List();
    QVERIFY2(probe.WaitFor(QStringLiteral("OnListingDone")), qPrintable(probe.Dump()));
    QVERIFY(ftp.Success());
    QVERIFY(!probe.events.contains(QStringLiteral("quit")));
}

void TestCommandsServers::openUrl()
{
    QFETCH(PeerServer::Kind, kind);
    {
        QString whyNot;
        if (!PeerServer::Available(kind, &whyNot))
            QSKIP(qPrintable(whyNot));
    }
    auto server = StartServer(kind);
    QVERIFY2(server, "the server did not start");
    QByteArray content(100 * 1024 + 7, '\0');
    for (qsizetype i = 0; i < content.size(); ++i)
        content[i] = char((i * 131) >> 3);
    QVERIFY(server->PutFile(QStringLiteral("pub/data.bin"), content));
    QVERIFY(server->MakeDirectory(QStringLiteral("pub/sub")));
    QTemporaryDir local;
    QVERIFY(local.isValid());

    TMFtp ftp;
    EngineProbe probe(ftp);
    const QByteArray site = "ftp://" + server->User().toUtf8() + ':' + server->Password().toUtf8()
                            + "@127.0.0.1:" + QByteArray::number(server->Port());

    // Not connected: the address logs in and changes to the folder it names.
    ftp.OpenURL(site + ServerPath(*server, "pub/sub/"), local.path());
    QVERIFY2(probe.WaitFor(QStringLiteral("OnDirectoryChanged"), 1, 8000), qPrintable(probe.Dump()));
    QVERIFY(ftp.Success());
    QVERIFY(ftp.Connected);
    QCOMPARE(ftp.CurrentDirectory(), ServerPath(*server, "pub/sub/"));
    QCOMPARE(ftp.Username, server->User().toUtf8());
    QCOMPARE(ftp.Port, server->Port());
    QVERIFY(!probe.events.contains(QStringLiteral("OnLoggedIn")));
    // The servers list REST STREAM: no probe leaves an offset for the next
    // RETR (checked byte for byte below), and the address follows FEAT's options.
    QVERIFY(ftp.ResumeSupported());
    QVERIFY(!probe.commands.contains("REST 100") && !probe.commands.contains("REST 0"));
    QCOMPARE(probe.commands.last(), "CWD " + ServerPath(*server, "pub/sub/"));

    // Same site, same login: no QUIT; CWD on the file is refused, its folder
    // is entered and the file lands in the local folder.
    probe.Clear();
    ftp.OpenURL(site + ServerPath(*server, "pub/data.bin"), local.path());
    QVERIFY2(probe.WaitFor(QStringLiteral("OnFileReceived"), 1, 8000), qPrintable(probe.Dump()));
    QVERIFY(ftp.Success());
    QCOMPARE(probe.commands.mid(0, 2), (QByteArrayList{"CWD " + ServerPath(*server, "pub/data.bin"),
                                                       "CWD " + ServerPath(*server, "pub/")}));
    QVERIFY(!probe.commands.contains("QUIT"));
    QCOMPARE(ftp.ftpfilename2(), QByteArray("data.bin"));
    QCOMPARE(ftp.RemoteFile, QByteArray("data.bin"));
    QCOMPARE(ftp.LocalFile, local.filePath(QStringLiteral("data.bin")));
    QFile received(local.filePath(QStringLiteral("data.bin")));
    QVERIFY(received.open(QIODevice::ReadOnly));
    const QByteArray got = received.readAll();
    QCOMPARE(got.size(), content.size());
    QVERIFY(got == content);
    QCOMPARE(QDir(local.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
             QStringList{QStringLiteral("data.bin")});

    // A folder named without its final "/" is found to be a folder by CWD.
    probe.Clear();
    ftp.OpenURL(site + ServerPath(*server, "pub/sub"), local.path());
    QVERIFY2(probe.WaitFor(QStringLiteral("OnDirectoryChanged"), 1, 8000), qPrintable(probe.Dump()));
    QVERIFY(ftp.Success());
    QCOMPARE(probe.commands, QByteArrayList{"CWD " + ServerPath(*server, "pub/sub")});
    QCOMPARE(ftp.CurrentURL(), "ftp://127.0.0.1" + ServerPath(*server, "pub/sub/"));

    // A file that exists nowhere: both CWDs refused, a failed download.
    probe.Clear();
    ftp.OpenURL(site + ServerPath(*server, "nowhere/x.bin"), local.path());
    QVERIFY2(probe.WaitFor(QStringLiteral("OnFileReceived"), 1, 8000), qPrintable(probe.Dump()));
    QVERIFY(!ftp.Success());
    QVERIFY(probe.events.contains(QStringLiteral("info 16 Access denied or file not found")));
    QVERIFY(!QFile::exists(local.filePath(QStringLiteral("x.bin"))));
    QVERIFY(ftp.Connected);
}

QTEST_GUILESS_MAIN(TestCommandsServers)
#include "tst_commands_servers.moc"
