// Smoke tests of the real peers: every FTP server starts, logs in, lists,
// stores, retrieves and resumes; the SMTP sink keeps what it gets; scripts
// start with their port; Pause/Kill reach the server's session processes.
// These prove the peers, not the program.

#include "peer_server.h"
#include "port_block.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <map>
#include <sys/stat.h>

using namespace testsupport;
using Kind = PeerServer::Kind;

Q_DECLARE_METATYPE(PeerServer::Kind)

namespace {

// A blocking FTP client on a plain QTcpSocket, enough to drive a real server.
class RawFtp {
public:
    bool Connect(const PeerServer &server)
    {
        control.connectToHost(server.Host(), server.Port());
        if (!control.waitForConnected(5000))
            return false;
        greeting = ReadReply();
        return greeting.startsWith("220");
    }

    // One complete reply, multi-line ones included.
    QByteArray ReadReply()
    {
        QByteArray reply;
        QByteArray code;
        for (;;) {
            const qsizetype end = pending.indexOf("\r\n");
            if (end < 0) {
                if (!control.waitForReadyRead(5000))
                    return reply;  // incomplete: the caller's comparison fails
                pending += control.readAll();
                continue;
            }
            const QByteArray line = pending.left(end);
            pending.remove(0, end + 2);
            reply += line + "\r\n";
            if (code.isEmpty())
                code = line.left(3);
            if (line.size() >= 4 && line.left(3) == code && line[3] == ' ')
                return reply;
            if (line.size() == 3 && line == code)
                return reply;
        }
    }

    QByteArray Command(const QByteArray &command)
    {
        control.write(command + "\r\n");
        control.waitForBytesWritten(5000);
        return ReadReply();
    }

    bool Login(const PeerServer &server)
    {
        return Command("USER " + server.User().toUtf8()).startsWith("331") &&
               Command("PASS " + server.Password().toUtf8()).startsWith("230") && Command("TYPE I").startsWith("200");
    }

    // PASV and a connected data socket (nullptr when either fails).
    std::unique_ptr<QTcpSocket> Passive()
    {
        const QByteArray reply = Command("PASV");
        static const QRegularExpression numbers(QStringLiteral("(\\d+),(\\d+),(\\d+),(\\d+),(\\d+),(\\d+)"));
        const auto match = numbers.match(QString::fromLatin1(reply));
        if (!reply.startsWith("227") || !match.hasMatch())
            return nullptr;
        const QString host = QStringList{match.captured(1), match.captured(2), match.captured(3), match.captured(4)}
                                 .join(QLatin1Char('.'));
        const quint16 port = quint16(match.captured(5).toInt() * 256 + match.captured(6).toInt());
        auto data = std::make_unique<QTcpSocket>();
        data->connectToHost(host, port);
        return data->waitForConnected(5000) ? std::move(data) : nullptr;
    }

    QTcpSocket control;
    QByteArray pending;
    QByteArray greeting;
};

QByteArray ReadAll(QTcpSocket &data, qint64 atLeast = -1)
{
    QByteArray bytes;
    while (data.state() == QAbstractSocket::ConnectedState || data.bytesAvailable() > 0) {
        bytes += data.readAll();
        if (atLeast >= 0 && bytes.size() >= atLeast)
            break;
        if (data.state() != QAbstractSocket::ConnectedState)
            break;
        if (!data.waitForReadyRead(5000) && data.state() == QAbstractSocket::ConnectedState)
            break;
    }
    return bytes + data.readAll();
}

QByteArray Pattern(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 7 + i / 251) & 0xff);
    return bytes;
}

struct CurlResult {
    int exitCode = -1;
    QByteArray output;
    QByteArray errors;
};

CurlResult Curl(const QStringList &arguments)
{
    QProcess curl;
    curl.start(QStringLiteral("curl"), QStringList{QStringLiteral("-s"), QStringLiteral("-S"),
                                                   QStringLiteral("--max-time"), QStringLiteral("20")} +
                                           arguments);
    CurlResult result;
    if (curl.waitForFinished(25000)) {
        result.exitCode = curl.exitCode();
        result.output = curl.readAllStandardOutput();
        result.errors = curl.readAllStandardError();
    }
    return result;
}

QString FtpUrl(const PeerServer &server, const QString &path = QString())
{
    return QStringLiteral("ftp://%1:%2@%3:%4/%5")
        .arg(server.User(), server.Password(), server.Host())
        .arg(server.Port())
        .arg(path);
}

// Run state letters of the given processes, from /proc (gone ones left out).
QList<char> States(const QList<qint64> &processes)
{
    QList<char> states;
    for (qint64 pid : processes) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.readAll();
        const QByteArray afterName = text.mid(text.lastIndexOf(')') + 2);
        if (!afterName.isEmpty() && afterName[0] != 'Z')
            states << afterName[0];
    }
    return states;
}

bool AllStopped(const QList<qint64> &processes)
{
    const QList<char> states = States(processes);
    return !states.isEmpty() && std::all_of(states.begin(), states.end(), [](char state) { return state == 'T'; });
}

}  // namespace

class TestPeers : public QObject {
    Q_OBJECT

private slots:
    void cleanupTestCase() { servers_.clear(); }

    void ftpLogin_data() { FtpRows(); }
    void ftpLogin();
    void ftpCurlTransfers_data() { FtpRows(); }
    void ftpCurlTransfers();
    void ftpResumeWithRest_data() { FtpRows(); }
    void ftpResumeWithRest();
    void ftpFileCommands_data() { FtpRows(); }
    void ftpFileCommands();
    void pauseResumeKill_data();
    void pauseResumeKill();
    void tmpfsRoot();

    void smtpKeepsMessages();
    void scriptPort_data();
    void scriptPort();
    void scriptFailureTellsWhy();
    void portBlocks();

private:
    void FtpRows();
    PeerServer *Server(Kind kind);

    std::map<Kind, std::unique_ptr<PeerServer>> servers_;
};

void TestPeers::FtpRows()
{
    QTest::addColumn<Kind>("kind");
    for (Kind kind : PeerServer::FtpKinds())
        QTest::newRow(qPrintable(PeerServer::KindName(kind))) << kind;
}

// One server per kind for the whole run; a test that needs a fresh one starts it.
PeerServer *TestPeers::Server(Kind kind)
{
    auto found = servers_.find(kind);
    if (found != servers_.end())
        return found->second.get();
    QString why;
    auto server = PeerServer::Start(kind, &why);
    if (!server)
        qWarning("%s", qPrintable(why));
    return (servers_[kind] = std::move(server)).get();
}

#define REQUIRE_SERVER(server, kind)                                                                   \
    QString why_;                                                                                      \
    if (!PeerServer::Available(kind, &why_))                                                           \
        QSKIP(qPrintable(why_));                                                                       \
    PeerServer *server = Server(kind);                                                                 \
    QVERIFY2(server, "the server did not start (reason above)");

void TestPeers::ftpLogin()
{
    QFETCH(Kind, kind);
    REQUIRE_SERVER(server, kind);
    RawFtp ftp;
    QVERIFY(ftp.Connect(*server));
    // The first line: pure-ftpd's later lines count the users.
    QCOMPARE(ftp.greeting.left(ftp.greeting.indexOf('\n')), server->Greeting().left(server->Greeting().indexOf('\n')));
    if (kind == Kind::PureFtpd)
        QCOMPARE(ftp.greeting.count("\r\n"), 6);  // the multi-line greeting parsers must handle
    // A wrong password is refused (checked where the refusal comes at once: PAM
    // behind vsftpd and pure-ftpd itself wait seconds before they answer).
    if (kind == Kind::Proftpd || kind == Kind::Pyftpdlib) {
        QVERIFY(ftp.Command("USER " + server->User().toUtf8()).startsWith("331"));
        QVERIFY(ftp.Command("PASS wrong-password").startsWith("530"));
    }
    QVERIFY(ftp.Command("USER " + server->User().toUtf8()).startsWith("331"));
    QVERIFY(ftp.Command("PASS " + server->Password().toUtf8()).startsWith("230"));
    const QByteArray pwd = ftp.Command("PWD");
    QVERIFY2(pwd.startsWith("257 \"" + server->LoginDirectory() + "\""), pwd.constData());
    QVERIFY(ftp.Command("SYST").startsWith("215"));
    QVERIFY(ftp.Command("QUIT").startsWith("221"));
}

void TestPeers::ftpCurlTransfers()
{
    QFETCH(Kind, kind);
    REQUIRE_SERVER(server, kind);
    const QByteArray content = Pattern(70000);
    QVERIFY(server->PutFile(QStringLiteral("down/data.bin"), content));

    // Passive listing of a folder, then an active one (PORT from 127.0.0.1).
    CurlResult listing = Curl({FtpUrl(*server, QStringLiteral("down/"))});
    QVERIFY2(listing.exitCode == 0, listing.errors.constData());
    QVERIFY2(listing.output.contains("data.bin") && listing.output.contains("70000"), listing.output.constData());
    listing = Curl({QStringLiteral("--ftp-port"), QStringLiteral("127.0.0.1"), FtpUrl(*server, QStringLiteral("down/"))});
    QVERIFY2(listing.exitCode == 0, listing.errors.constData());
    QVERIFY(listing.output.contains("data.bin"));

    // Download, passive and active.
    CurlResult download = Curl({FtpUrl(*server, QStringLiteral("down/data.bin"))});
    QVERIFY2(download.exitCode == 0, download.errors.constData());
    QCOMPARE(download.output, content);
    download = Curl({QStringLiteral("--ftp-port"), QStringLiteral("127.0.0.1"),
                     FtpUrl(*server, QStringLiteral("down/data.bin"))});
    QCOMPARE(download.output, content);

    // Upload lands on the server's disk.
    QTemporaryDir local;
    const QByteArray upload = Pattern(33333).toBase64();
    QFile file(local.filePath(QStringLiteral("up.txt")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(upload);
    file.close();
    const CurlResult stored = Curl({QStringLiteral("-T"), file.fileName(), FtpUrl(*server, QStringLiteral("up.txt"))});
    QVERIFY2(stored.exitCode == 0, stored.errors.constData());
    QCOMPARE(server->ReadFile(QStringLiteral("up.txt")), upload);
    QVERIFY(QFile::remove(server->PathOf(QStringLiteral("up.txt"))));
}

void TestPeers::ftpResumeWithRest()
{
    QFETCH(Kind, kind);
    REQUIRE_SERVER(server, kind);
    const QByteArray content = Pattern(5000);
    QVERIFY(server->PutFile(QStringLiteral("resume.bin"), content));
    QVERIFY(server->PutFile(QStringLiteral("partial.bin"), content.left(3000)));

    RawFtp ftp;
    QVERIFY(ftp.Connect(*server));
    QVERIFY(ftp.Login(*server));

    // REST before RETR: the rest of the file from the offset.
    auto data = ftp.Passive();
    QVERIFY(data);
    QVERIFY(ftp.Command("REST 1234").startsWith("350"));
    const QByteArray retr = ftp.Command("RETR resume.bin");
    QVERIFY2(retr.startsWith("150") || retr.startsWith("125"), retr.constData());
    QCOMPARE(ReadAll(*data), content.mid(1234));
    QVERIFY(ftp.ReadReply().startsWith("226"));

    // REST before STOR: the server writes from the offset on.
    data = ftp.Passive();
    QVERIFY(data);
    QVERIFY(ftp.Command("REST 3000").startsWith("350"));
    const QByteArray opening = ftp.Command("STOR partial.bin");
    QVERIFY2(opening.startsWith("150") || opening.startsWith("125"), opening.constData());
    data->write(content.mid(3000));
    QVERIFY(data->waitForBytesWritten(5000) || data->bytesToWrite() == 0);
    data->disconnectFromHost();
    if (data->state() != QAbstractSocket::UnconnectedState)
        data->waitForDisconnected(5000);
    QVERIFY(ftp.ReadReply().startsWith("226"));
    QCOMPARE(server->ReadFile(QStringLiteral("partial.bin")), content);

    // APPE adds to the end.
    data = ftp.Passive();
    QVERIFY(data);
    const QByteArray append = ftp.Command("APPE partial.bin");
    QVERIFY2(append.startsWith("150") || append.startsWith("125"), append.constData());
    data->write("tail");
    QVERIFY(data->waitForBytesWritten(5000) || data->bytesToWrite() == 0);
    data->disconnectFromHost();
    if (data->state() != QAbstractSocket::UnconnectedState)
        data->waitForDisconnected(5000);
    QVERIFY(ftp.ReadReply().startsWith("226"));
    QCOMPARE(server->ReadFile(QStringLiteral("partial.bin")), content + "tail");
}

void TestPeers::ftpFileCommands()
{
    QFETCH(Kind, kind);
    REQUIRE_SERVER(server, kind);
    QVERIFY(server->PutFile(QStringLiteral("cmd/old.txt"), "rename me"));
    QVERIFY(server->MakeDirectory(QStringLiteral("cmd/empty")));
    // Made behind the server's back, then handed over.
    QVERIFY(QDir().mkpath(server->PathOf(QStringLiteral("cmd/tree/inner"))));
    QFile gone(server->PathOf(QStringLiteral("cmd/tree/inner/gone.txt")));
    QVERIFY(gone.open(QIODevice::WriteOnly));
    gone.write("delete me");
    gone.close();
    server->HandOverTree(QStringLiteral("cmd/tree"));

    RawFtp ftp;
    QVERIFY(ftp.Connect(*server));
    QVERIFY(ftp.Login(*server));
    QVERIFY(ftp.Command("CWD cmd").startsWith("250"));
    QVERIFY(ftp.Command("MKD made").startsWith("257"));
    QVERIFY(ftp.Command("RNFR old.txt").startsWith("350"));
    QVERIFY(ftp.Command("RNTO new.txt").startsWith("250"));
    QVERIFY(ftp.Command("DELE tree/inner/gone.txt").startsWith("250"));
    QVERIFY(ftp.Command("RMD tree/inner").startsWith("250"));
    QVERIFY(ftp.Command("RMD empty").startsWith("250"));
    const QByteArray chmod = ftp.Command("SITE CHMOD 600 new.txt");
    QVERIFY2(chmod.startsWith("200"), chmod.constData());
    QVERIFY(ftp.Command("CDUP").startsWith("250"));

    QVERIFY(QFileInfo(server->PathOf(QStringLiteral("cmd/made"))).isDir());
    QCOMPARE(server->ReadFile(QStringLiteral("cmd/new.txt")), QByteArray("rename me"));
    QVERIFY(!server->Exists(QStringLiteral("cmd/old.txt")));
    QVERIFY(!server->Exists(QStringLiteral("cmd/tree/inner")));
    QVERIFY(!server->Exists(QStringLiteral("cmd/empty")));
    struct stat status {};
    QCOMPARE(::stat(QFile::encodeName(server->PathOf(QStringLiteral("cmd/new.txt"))).constData(), &status), 0);
    QCOMPARE(status.st_mode & 07777, mode_t(0600));
}

void TestPeers::pauseResumeKill_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::newRow("vsftpd") << Kind::Vsftpd;  // a process per session: the group matters
    QTest::newRow("pyftpdlib") << Kind::Pyftpdlib;
}

void TestPeers::pauseResumeKill()
{
    QFETCH(Kind, kind);
    QString why;
    if (!PeerServer::Available(kind, &why))
        QSKIP(qPrintable(why));
    auto server = PeerServer::Start(kind, &why);
    QVERIFY2(server, qPrintable(why));
    const QByteArray content = Pattern(3 * 1024 * 1024);
    QVERIFY(server->PutFile(QStringLiteral("big.bin"), content));

    RawFtp ftp;
    QVERIFY(ftp.Connect(*server));
    QVERIFY(ftp.Login(*server));
    auto data = ftp.Passive();
    QVERIFY(data);
    const QByteArray opening = ftp.Command("RETR big.bin");
    QVERIFY2(opening.startsWith("150") || opening.startsWith("125"), opening.constData());
    QByteArray received = ReadAll(*data, 1000);
    QVERIFY(!received.isEmpty());

    const QList<qint64> processes = server->ProcessIds();
    if (kind == Kind::Vsftpd)
        QVERIFY2(processes.size() >= 2, "the session processes are found");
    server->Pause();
    QTRY_VERIFY_WITH_TIMEOUT(AllStopped(processes), 3000);

    server->Resume();
    QTRY_VERIFY_WITH_TIMEOUT(!States(processes).contains('T'), 3000);
    received += ReadAll(*data);
    QCOMPARE(received.size(), content.size());
    QVERIFY(received == content);
    QVERIFY(ftp.ReadReply().startsWith("226"));

    // Kill ends the session too: the control connection drops.
    server->Kill();
    QVERIFY(!server->Running());
    if (ftp.control.state() != QAbstractSocket::UnconnectedState)
        ftp.control.waitForDisconnected(3000);
    QCOMPARE(ftp.control.state(), QAbstractSocket::UnconnectedState);
    QTRY_VERIFY_WITH_TIMEOUT(States(processes).isEmpty(), 3000);
}

void TestPeers::tmpfsRoot()
{
    QString why;
    if (!PeerServer::Available(Kind::Pyftpdlib, &why))
        QSKIP(qPrintable(why));
    if (!QFileInfo(QStringLiteral("/dev/shm")).isWritable())
        QSKIP("no writable /dev/shm here");
    PeerServer::Options options;
    options.rootOnTmpfs = true;
    QString root;
    {
        auto server = PeerServer::Start(Kind::Pyftpdlib, options, &why);
        QVERIFY2(server, qPrintable(why));
        root = server->Root();
        QVERIFY2(root.startsWith(QLatin1String("/dev/shm/")), qPrintable(root));
        QVERIFY(server->PutFile(QStringLiteral("t/a.txt"), "on tmpfs"));
        const CurlResult download = Curl({FtpUrl(*server, QStringLiteral("t/a.txt"))});
        QCOMPARE(download.output, QByteArray("on tmpfs"));
    }
    QVERIFY2(!QFileInfo::exists(root), "the tmpfs root goes with the server");
}

void TestPeers::smtpKeepsMessages()
{
    QString why;
    if (!PeerServer::Available(Kind::Smtp, &why))
        QSKIP(qPrintable(why));
    auto server = PeerServer::Start(Kind::Smtp, &why);
    QVERIFY2(server, qPrintable(why));
    QVERIFY(server->Greeting().startsWith("220"));

    QTemporaryDir local;
    // A line that starts with a dot travels stuffed and must come back as written.
    const QByteArray first = "From: a@example.org\r\nSubject: one\r\n\r\n.leading dot\r\nbody \xe4\xb8\xad\r\n";
    const QByteArray second = "Subject: two\r\n\r\nsecond\r\n";
    const QString firstFile = local.filePath(QStringLiteral("1.eml"));
    const QString secondFile = local.filePath(QStringLiteral("2.eml"));
    for (const auto &[path, text] : {std::pair{firstFile, first}, std::pair{secondFile, second}}) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(text);
    }
    const QString url = QStringLiteral("smtp://127.0.0.1:%1").arg(server->Port());
    CurlResult sent = Curl({url, QStringLiteral("--mail-from"), QStringLiteral("a@example.org"),
                            QStringLiteral("--mail-rcpt"), QStringLiteral("x@example.org"),
                            QStringLiteral("--mail-rcpt"), QStringLiteral("y@example.org"),
                            QStringLiteral("-T"), firstFile});
    QVERIFY2(sent.exitCode == 0, sent.errors.constData());
    sent = Curl({url, QStringLiteral("--mail-from"), QStringLiteral("b@example.org"), QStringLiteral("--mail-rcpt"),
                 QStringLiteral("z@example.org"), QStringLiteral("-T"), secondFile});
    QVERIFY2(sent.exitCode == 0, sent.errors.constData());

    const QList<ReceivedMail> mails = server->Mails();
    QCOMPARE(mails.size(), 2);
    QCOMPARE(mails[0].from, QByteArray("a@example.org"));
    QCOMPARE(mails[0].recipients, (QByteArrayList{"x@example.org", "y@example.org"}));
    QCOMPARE(mails[0].data, first);
    QVERIFY(!mails[0].helo.isEmpty());
    QCOMPARE(mails[1].from, QByteArray("b@example.org"));
    QCOMPARE(mails[1].recipients, QByteArrayList{"z@example.org"});
    QCOMPARE(mails[1].data, second);
}

namespace {

// A tiny HTTP-ish server script: answers every connection with one line.
const char kScript[] = R"(import socket, sys
port = int(sys.argv[1]) if len(sys.argv) > 1 and sys.argv[1] != "-" else 0
if len(sys.argv) > 2:
    open(sys.argv[2], "w").write("made by the script")
server = socket.socket()
server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
server.bind(("127.0.0.1", port))
server.listen(5)
print("listening on", server.getsockname()[1], flush=True)
while True:
    client, _ = server.accept()
    client.sendall(b"HTTP/1.0 200 OK\r\n\r\nhello from the script\n")
    client.close()
)";

}  // namespace

void TestPeers::scriptPort_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("port given as argument") << QStringList{QStringLiteral("{port}"), QStringLiteral("{run}/marker")};
    QTest::newRow("port printed by the script") << QStringList{QStringLiteral("-"), QStringLiteral("{root}/marker")};
}

void TestPeers::scriptPort()
{
    QFETCH(QStringList, arguments);
    QTemporaryDir folder;
    const QString script = folder.filePath(QStringLiteral("peer.py"));
    QFile file(script);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(kScript);
    file.close();

    QString why;
    auto server = PeerServer::StartScript(script, arguments, &why);
    QVERIFY2(server, qPrintable(why));
    QVERIFY(server->Port() != 0);
    const QString marker = arguments[1].startsWith(QLatin1String("{run}"))
                               ? server->RunFolder() + QStringLiteral("/marker")
                               : server->Root() + QStringLiteral("/marker");
    QFile made(marker);
    QVERIFY2(made.open(QIODevice::ReadOnly), qPrintable(marker));
    QCOMPARE(made.readAll(), QByteArray("made by the script"));

    QTcpSocket client;
    client.connectToHost(server->Host(), server->Port());
    QVERIFY(client.waitForConnected(5000));
    QByteArray answer;
    while (client.waitForReadyRead(5000))
        answer += client.readAll();
    QVERIFY2(answer.endsWith("\r\n\r\nhello from the script\n"), answer.constData());
}

void TestPeers::scriptFailureTellsWhy()
{
    QTemporaryDir folder;
    const QString script = folder.filePath(QStringLiteral("broken.py"));
    QFile file(script);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("import sys\nprint('boom: no port for you', file=sys.stderr)\nsys.exit(3)\n");
    file.close();

    QString why;
    auto server = PeerServer::StartScript(script, {QStringLiteral("{port}")}, &why);
    QVERIFY(!server);
    QVERIFY2(why.contains(QLatin1String("boom: no port for you")), qPrintable(why));
    QVERIFY2(why.contains(QLatin1String("exited with code 3")), qPrintable(why));

    why.clear();
    server = PeerServer::StartScript(script, {}, &why);  // no {port}: it should have printed one
    QVERIFY(!server);
    QVERIFY2(why.contains(QLatin1String("boom: no port for you")), qPrintable(why));
}

void TestPeers::portBlocks()
{
    QString why;
    auto first = PortBlock::Reserve(17, &why);
    QVERIFY2(first, qPrintable(why));
    auto second = PortBlock::Reserve(17, &why);
    QVERIFY2(second, qPrintable(why));
    QCOMPARE(first->Last() - first->First(), 16);
    QVERIFY2(first->Last() < second->First() || second->Last() < first->First(), "blocks overlap");
    for (int port = first->First(); port <= first->Last(); ++port)
        QVERIFY(PortBlock::PortFree(quint16(port)));

    QTcpServer occupant;
    QVERIFY(occupant.listen(QHostAddress::LocalHost, first->First()));
    QVERIFY(!PortBlock::PortFree(first->First()));
    QVERIFY(!PortBlock::Reserve(0, &why));
}

QTEST_GUILESS_MAIN(TestPeers)
#include "tst_peers.moc"
