// Smoke tests of the scripted FTP peer, driven by plain sockets: the replies
// come as scripted (split, joined, silent, closed), the record is exact, and the
// data side keeps the promised order of data close and final reply.

#include "scripted_ftp_peer.h"

#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace testsupport;

Q_DECLARE_METATYPE(Transfer::Ending)
Q_DECLARE_METATYPE(Reply)

namespace {

constexpr int kWait = 5000;
const QByteArray kDataClosed = "<data closed>";

// An event-driven client: the peer lives on the same event loop, so nothing
// here may block; waits go through QTest::qWaitFor.
class Client : public QObject {
public:
    Client()
    {
        connect(&control, &QTcpSocket::readyRead, this, [this] {
            const QByteArray bytes = control.readAll();
            reads << bytes;
            pending += bytes;
            qsizetype end;
            while ((end = pending.indexOf("\r\n")) >= 0) {
                lines << pending.left(end);
                events << pending.left(end);
                pending.remove(0, end + 2);
            }
        });
    }

    bool Connect(quint16 port)
    {
        control.connectToHost(QStringLiteral("127.0.0.1"), port);
        return QTest::qWaitFor([this] { return control.state() == QAbstractSocket::ConnectedState; }, kWait);
    }
    void Send(const QByteArray &bytes)
    {
        control.write(bytes);
        control.flush();
    }
    bool WaitLines(int count)
    {
        return QTest::qWaitFor([this, count] { return lines.size() >= count; }, kWait);
    }
    // Sends one command and returns its first reply line.
    QByteArray Command(const QByteArray &command)
    {
        const int before = int(lines.size());
        Send(command + "\r\n");
        return WaitLines(before + 1) ? lines[before] : QByteArray("<no reply>");
    }

    // PASV, then a data connection to the announced address.
    bool OpenPassive()
    {
        const QByteArray reply = Command("PASV");
        static const QRegularExpression numbers(QStringLiteral("\\((\\d+),(\\d+),(\\d+),(\\d+),(\\d+),(\\d+)\\)"));
        const auto match = numbers.match(QString::fromLatin1(reply));
        if (!match.hasMatch())
            return false;
        const quint16 port = quint16(match.captured(5).toInt() * 256 + match.captured(6).toInt());
        return ConnectData(port);
    }
    bool ConnectData(quint16 port)
    {
        WatchData(new QTcpSocket(this));
        data->connectToHost(QStringLiteral("127.0.0.1"), port);
        return QTest::qWaitFor([this] { return data->state() == QAbstractSocket::ConnectedState; }, kWait);
    }
    void WatchData(QTcpSocket *socket)
    {
        data = socket;
        connect(socket, &QTcpSocket::readyRead, this, [this] { dataBytes += data->readAll(); });
        connect(socket, &QTcpSocket::disconnected, this, [this] {
            if (data->isOpen())
                dataBytes += data->readAll();
            dataClosed = true;
            events << kDataClosed;
        });
    }

    QTcpSocket control;
    QTcpSocket *data = nullptr;
    QByteArray pending;
    QByteArrayList reads;
    QByteArrayList lines;
    QByteArrayList events;  // control lines and "<data closed>", in the order they came
    QByteArray dataBytes;
    bool dataClosed = false;
};

QByteArray Pattern(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 31 + i / 255) & 0xff);
    return bytes;
}

// A blocking-free POSIX client, to tell a FIN (recv 0) from a RST (ECONNRESET).
class RawClient {
public:
    ~RawClient()
    {
        if (fd >= 0)
            ::close(fd);
    }
    bool Connect(quint16 port)
    {
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        // The kernel completes a loopback connect to a listening socket at once.
        if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
            return false;
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        return true;
    }
    void Send(const QByteArray &bytes) { ::send(fd, bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL); }
    // Reads until the end of the stream or an error; true once either came.
    bool WaitEnd()
    {
        return QTest::qWaitFor(
            [this] {
                char buffer[4096];
                for (;;) {
                    const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
                    if (got > 0) {
                        received.append(buffer, got);
                        continue;
                    }
                    if (got == 0)
                        return (ended = true);
                    if (errno == EAGAIN || errno == EWOULDBLOCK)
                        return false;
                    error = errno;
                    return (ended = true);
                }
            },
            kWait);
    }
    int fd = -1;
    QByteArray received;
    bool ended = false;
    int error = 0;
};

}  // namespace

class TestScriptedFtpPeer : public QObject {
    Q_OBJECT

private slots:
    void loginDefaults();
    void replyPrecedence_data();
    void replyPrecedence();
    void splitAndJoinedReplies();
    void quietModes();
    void closeAndReset_data();
    void closeAndReset();
    void unsolicitedSendAndClose();
    void passiveEndings_data();
    void passiveEndings();
    void activeRetrieveFromRestOffset();
    void uploads_data();
    void uploads();
    void refusedNeverAndMissingDataCommand();
    void abortWithUrgentData();
    void chunkedDownloadAndEarlyClientClose();
    void passiveAnnouncement();
    void stripTelnet_data();
    void stripTelnet();
    void closedPortAndReconnect();
};

void TestScriptedFtpPeer::loginDefaults()
{
    ScriptedFtpPeer peer;
    QVERIFY(peer.Listen());
    Client client;
    QVERIFY(client.Connect(peer.Port()));
    QVERIFY(client.WaitLines(1));
    // Several commands in one write: each answered, in order.
    client.Send("USER anna\r\nPASS secret\r\nSYST\r\nREST 100\r\nREST 0\r\nPWD\r\n");
    QVERIFY2(client.WaitLines(7), qPrintable(peer.TranscriptText()));
    QCOMPARE(client.lines, (QByteArrayList{"220 Tarvo scripted FTP peer ready.", "331 Password required.",
                                          "230 Logged in.", "215 UNIX Type: L8", "350 Restarting at 100.",
                                          "350 Restarting at 0.", "257 \"/\" is the current directory."}));
    QCOMPARE(peer.Commands(), (QByteArrayList{"USER anna", "PASS secret", "SYST", "REST 100", "REST 0", "PWD"}));
    QCOMPARE(peer.CommandCount("rest"), 2);
    QCOMPARE(peer.LastCommand(), QByteArray("PWD"));
    QCOMPARE(peer.ConnectionCount(), 1);

    QCOMPARE(client.Command("QUIT"), QByteArray("221 Goodbye."));
    QTRY_COMPARE_WITH_TIMEOUT(client.control.state(), QAbstractSocket::UnconnectedState, kWait);
    QTRY_VERIFY_WITH_TIMEOUT(!peer.ControlOpen(), kWait);
}

void TestScriptedFtpPeer::replyPrecedence_data()
{
    QTest::addColumn<QByteArrayList>("commands");
    QTest::addColumn<QByteArrayList>("replies");
    QTest::newRow("exact line before verb")
        << QByteArrayList{"REST 100", "REST 0"} << QByteArrayList{"502 REST not implemented.", "350 Custom."};
    QTest::newRow("verb in any case") << QByteArrayList{"rest 7", "Syst"} << QByteArrayList{"350 Custom.", "215-first"};
    QTest::newRow("queued once each, then persistent")
        << QByteArrayList{"PWD", "PWD", "PWD"}
        << QByteArrayList{"550 First.", "550 Second.", "257 \"/home/anna\""};
    QTest::newRow("queued exact line, then built-in")
        << QByteArrayList{"TYPE I", "TYPE I", "TYPE A"}
        << QByteArrayList{"504 Not now.", "200 Type set.", "200 Type set."};
    QTest::newRow("unknown verb") << QByteArrayList{"XYZZY"} << QByteArrayList{"502 Command not implemented."};
}

void TestScriptedFtpPeer::replyPrecedence()
{
    QFETCH(QByteArrayList, commands);
    QFETCH(QByteArrayList, replies);
    ScriptedFtpPeer peer;
    peer.On("REST 100", Reply::Line(502, "REST not implemented."));
    peer.On("rest", Reply::Line(350, "Custom."));
    peer.Queue("PWD", Reply::Line(550, "First."));
    peer.Queue("pwd", Reply::Line(550, "Second."));
    peer.On("PWD", Reply::Line(257, "\"/home/anna\""));
    peer.Queue("TYPE I", Reply::Line(504, "Not now."));
    peer.On("SYST", Reply::Lines({"215-first", "215 second"}));
    QVERIFY(peer.Listen());
    Client client;
    QVERIFY(client.Connect(peer.Port()));
    QVERIFY(client.WaitLines(1));
    for (qsizetype i = 0; i < commands.size(); ++i)
        QCOMPARE(client.Command(commands[i]), replies[i]);
    QCOMPARE(peer.Commands(), commands);
}

void TestScriptedFtpPeer::splitAndJoinedReplies()
{
    ScriptedFtpPeer peer;
    peer.SetGreeting(Reply::Split({"220-Welcome\r\n22", "0 Ready.\r\n"}, 150));
    peer.On("USER", Reply::Raw("331 Need password.\r\n230 Logged in anyway.\r\n"));
    QVERIFY(peer.Listen());
    Client client;
    QVERIFY(client.Connect(peer.Port()));
    QVERIFY(client.WaitLines(2));
    // The pause kept the pieces apart: the first read ended inside the code.
    QCOMPARE(client.reads.first(), QByteArray("220-Welcome\r\n22"));
    QCOMPARE(client.lines, (QByteArrayList{"220-Welcome", "220 Ready."}));

    client.reads.clear();
    client.Send("USER anna\r\n");
    QVERIFY(client.WaitLines(4));
    QCOMPARE(client.reads.first(), QByteArray("331 Need password.\r\n230 Logged in anyway.\r\n"));
}

void TestScriptedFtpPeer::quietModes()
{
    // Silent: nothing at all, but commands are recorded.
    {
        ScriptedFtpPeer peer;
        peer.SetMode(ScriptedFtpPeer::Mode::Silent);
        QVERIFY(peer.Listen());
        Client client;
        QVERIFY(client.Connect(peer.Port()));
        client.Send("USER anna\r\n");
        QTRY_COMPARE_WITH_TIMEOUT(peer.Commands(), QByteArrayList{"USER anna"}, kWait);
        QTest::qWait(200);
        QVERIFY2(client.reads.isEmpty(), client.reads.join().constData());
    }
    // Greeting only: the greeting, then silence.
    {
        ScriptedFtpPeer peer;
        peer.SetMode(ScriptedFtpPeer::Mode::GreetingOnly);
        QVERIFY(peer.Listen());
        Client client;
        QVERIFY(client.Connect(peer.Port()));
        QVERIFY(client.WaitLines(1));
        client.Send("USER anna\r\n");
        QTRY_COMPARE_WITH_TIMEOUT(peer.Commands(), QByteArrayList{"USER anna"}, kWait);
        QTest::qWait(200);
        QCOMPARE(client.lines, QByteArrayList{"220 Tarvo scripted FTP peer ready."});
    }
    // One silent command: the next one is answered all the same.
    {
        ScriptedFtpPeer peer;
        peer.On("NOOP", Reply::Silent());
        QVERIFY(peer.Listen());
        Client client;
        QVERIFY(client.Connect(peer.Port()));
        QVERIFY(client.WaitLines(1));
        QCOMPARE(client.Command("NOOP\r\nSYST"), QByteArray("215 UNIX Type: L8"));
    }
}

void TestScriptedFtpPeer::closeAndReset_data()
{
    QTest::addColumn<Reply>("reply");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<int>("error");
    QTest::newRow("close after a reply") << Reply::Line(530, "Not logged in.").ThenClose()
                                         << QByteArray("530 Not logged in.\r\n") << 0;
    QTest::newRow("close without a word") << Reply::Close() << QByteArray() << 0;
    QTest::newRow("reset") << Reply::Reset() << QByteArray() << int(ECONNRESET);
}

void TestScriptedFtpPeer::closeAndReset()
{
    QFETCH(Reply, reply);
    QFETCH(QByteArray, expected);
    QFETCH(int, error);
    ScriptedFtpPeer peer;
    peer.On("PASS", reply);
    QVERIFY(peer.Listen());
    RawClient client;
    QVERIFY(client.Connect(peer.Port()));
    client.Send("USER anna\r\nPASS secret\r\n");
    QVERIFY(client.WaitEnd());
    QCOMPARE(client.error, error);
    if (!error)
        QCOMPARE(client.received,
                 "220 Tarvo scripted FTP peer ready.\r\n331 Password required.\r\n" + expected);
    QTRY_VERIFY_WITH_TIMEOUT(!peer.ControlOpen(), kWait);
}

void TestScriptedFtpPeer::unsolicitedSendAndClose()
{
    ScriptedFtpPeer peer;
    QSignalSpy closed(&peer, &ScriptedFtpPeer::controlClosed);
    QVERIFY(peer.Listen());
    RawClient client;
    QVERIFY(client.Connect(peer.Port()));
    QTRY_VERIFY_WITH_TIMEOUT(peer.ControlOpen(), kWait);
    peer.Send("421 Timeout.\r\n");
    peer.CloseControl();
    QVERIFY(client.WaitEnd());
    QCOMPARE(client.error, 0);
    QCOMPARE(client.received, QByteArray("220 Tarvo scripted FTP peer ready.\r\n421 Timeout.\r\n"));
    QTRY_COMPARE_WITH_TIMEOUT(closed.size(), 1, kWait);
}

void TestScriptedFtpPeer::passiveEndings_data()
{
    QTest::addColumn<Transfer::Ending>("ending");
    QTest::addColumn<QByteArrayList>("events");
    const QByteArray opening = "150 Opening data connection.";
    const QByteArray done = "226 Transfer complete.";
    QTest::newRow("226 after the data close") << Transfer::Ending::ReplyAfterClose
                                              << QByteArrayList{"227", opening, kDataClosed, done};
    QTest::newRow("226 before the data close") << Transfer::Ending::ReplyBeforeClose
                                               << QByteArrayList{"227", opening, done, kDataClosed};
    QTest::newRow("426 then 226") << Transfer::Ending::AbortThenReply
                                  << QByteArrayList{"227", opening, kDataClosed,
                                                    "426 Connection closed; transfer aborted.", done};
}

void TestScriptedFtpPeer::passiveEndings()
{
    QFETCH(Transfer::Ending, ending);
    QFETCH(QByteArrayList, events);
    const QByteArray listing = "drwxr-xr-x 2 0 0 4096 Dec 07 10:00 pub\r\n-rw-r--r-- 1 0 0 12 Dec 07 10:00 a.txt\r\n";
    ScriptedFtpPeer peer;
    Transfer transfer = Transfer::Data(listing, ending);
    transfer.gapMs = 250;  // wide apart: the order is what is tested
    peer.SetTransfer("LIST", transfer);
    QVERIFY(peer.Listen());
    Client client;
    QVERIFY(client.Connect(peer.Port()));
    QVERIFY(client.WaitLines(1));
    client.events.clear();
    QVERIFY(client.OpenPassive());
    client.Send("LIST\r\n");
    QVERIFY(QTest::qWaitFor([&] { return client.events.size() >= events.size(); }, kWait));
    QTest::qWait(50);  // nothing more may follow
    client.events[0] = client.events[0].left(3);
    QCOMPARE(client.events, events);
    QCOMPARE(client.dataBytes, listing);

    QCOMPARE(peer.Transfers().size(), 1);
    const TransferRecord record = peer.Transfers().first();
    QCOMPARE(record.command, QByteArray("LIST"));
    QVERIFY(record.passive);
    QVERIFY(record.connected);
    QCOMPARE(record.sent, listing.size());
    QCOMPARE(record.end, TransferRecord::End::Done);
}

void TestScriptedFtpPeer::activeRetrieveFromRestOffset()
{
    const QByteArray content = Pattern(9000);
    ScriptedFtpPeer peer;
    QSignalSpy ended(&peer, &ScriptedFtpPeer::transferEnded);
    peer.SetTransfer("RETR", Transfer::Data(content));
    QVERIFY(peer.Listen());
    Client client;
    QVERIFY(client.Connect(peer.Port()));
    QVERIFY(client.WaitLines(1));

    QTcpServer listener;
    QVERIFY(listener.listen(QHostAddress::LocalHost, 0));
    connect(&listener, &QTcpServer::newConnection, &client, [&] { client.WatchData(listener.nextPendingConnection()); });
    const quint16 port = listener.serverPort();
    QCOMPARE(client.Command("PORT 127,0,0,1," + QByteArray::number(port / 256) + ',' + QByteArray::number(port % 256)),
             QByteArray("200 PORT command successful."));
    QCOMPARE(client.Command("REST 5000"), QByteArray("350 Restarting at 5000."));
    QCOMPARE(client.Command("RETR big.bin"), QByteArray("150 Opening data connection."));
    QVERIFY(client.WaitLines(5));
    QCOMPARE(client.lines.last(), QByteArray("226 Transfer complete."));
    QTRY_VERIFY_WITH_TIMEOUT(client.dataClosed, kWait);
    QCOMPARE(client.dataBytes, content.mid(5000));

    const TransferRecord record = peer.Transfers().first();
    QVERIFY(!record.passive);
    QCOMPARE(record.restOffset, 5000);
    QCOMPARE(record.sent, 4000);
    QCOMPARE(ended.size(), 1);
    QCOMPARE(ended.first().first().toInt(), 0);

    // The PORT was used up too, as on real servers.
    QCOMPARE(client.Command("RETR big.bin"), QByteArray("425 Use PORT or PASV first."));
    // The REST was used up: the next RETR starts at 0 again.
    QCOMPARE(client.Command("PORT 127,0,0,1," + QByteArray::number(port / 256) + ',' + QByteArray::number(port % 256)),
             QByteArray("200 PORT command successful."));
    client.dataBytes.clear();
    client.dataClosed = false;
    QCOMPARE(client.Command("RETR big.bin"), QByteArray("150 Opening data connection."));
    QTRY_VERIFY_WITH_TIMEOUT(client.dataClosed, kWait);
    QCOMPARE(client.dataBytes, content);
    QCOMPARE(peer.Transfers().last().restOffset, 0);
}

void TestScriptedFtpPeer::uploads_data()
{
    QTest::addColumn<bool>("sendBeforeCommand");
    QTest::addColumn<qint64>("stopAfter");
    QTest::addColumn<QByteArrayList>("replies");
    const QByteArrayList normal{"150 Opening data connection.", "226 Transfer complete."};
    QTest::newRow("data after STOR") << false << qint64(-1) << normal;
    QTest::newRow("data and close before STOR") << true << qint64(-1) << normal;
    QTest::newRow("dropped by the peer")
        << false << qint64(4000)
        << QByteArrayList{"150 Opening data connection.", "426 Connection closed; transfer aborted.",
                          "226 Transfer complete."};
}

void TestScriptedFtpPeer::uploads()
{
    QFETCH(bool, sendBeforeCommand);
    QFETCH(qint64, stopAfter);
    QFETCH(QByteArrayList, replies);
    const QByteArray content = Pattern(100000);
    ScriptedFtpPeer peer;
    Transfer transfer;
    transfer.stopAfter = stopAfter;
    if (stopAfter >= 0)
        transfer.ending = Transfer::Ending::AbortThenReply;
    peer.SetTransfer("STOR", transfer);
    QVERIFY(peer.Listen());
    Client client;
    QVERIFY(client.Connect(peer.Port()));
    QVERIFY(client.WaitLines(1));
    QCOMPARE(client.Command("REST 77"), QByteArray("350 Restarting at 77."));
    QVERIFY(client.OpenPassive());
    if (sendBeforeCommand) {
        client.data->write(content);
        client.data->disconnectFromHost();
        QTRY_COMPARE_WITH_TIMEOUT(client.data->state(), QAbstractSocket::UnconnectedState, kWait);
        client.Send("STOR up.bin\r\n");
    } else {
        client.Send("STOR up.bin\r\n");
        QVERIFY(client.WaitLines(4));
        client.data->write(content);
        client.data->disconnectFromHost();
    }
    QVERIFY(client.WaitLines(3 + int(replies.size())));
    QCOMPARE(client.lines.mid(3), replies);
    QTRY_COMPARE_WITH_TIMEOUT(peer.Transfers().first().end, TransferRecord::End::Done, kWait);
    const TransferRecord record = peer.Transfers().first();
    QCOMPARE(record.command, QByteArray("STOR up.bin"));
    QCOMPARE(record.restOffset, 77);
    QCOMPARE(record.received, stopAfter < 0 ? content : content.left(stopAfter));
}

void TestScriptedFtpPeer::refusedNeverAndMissingDataCommand()
{
    ScriptedFtpPeer peer;
    peer.QueueTransfer(Transfer::Refused());
    peer.QueueTransfer(Transfer::Never());
    QVERIFY(peer.Listen());
    Client client;
    QVERIFY(client.Connect(peer.Port()));
    QVERIFY(client.WaitLines(1));

    // No PASV or PORT yet.
    QCOMPARE(client.Command("LIST"), QByteArray("425 Use PORT or PASV first."));
    QCOMPARE(peer.Transfers().last().end, TransferRecord::End::Refused);

    // Refused: 425, and the data connection the client made is dropped.
    QVERIFY(client.OpenPassive());
    QCOMPARE(client.Command("LIST"), QByteArray("425 Can't open data connection."));
    QTRY_VERIFY_WITH_TIMEOUT(client.dataClosed, kWait);
    QCOMPARE(peer.Transfers().last().end, TransferRecord::End::Refused);
    QVERIFY(!peer.Transfers().last().connected);

    // Never: 150, then nothing until ABOR.
    QVERIFY(client.OpenPassive());
    QCOMPARE(client.Command("RETR a.txt"), QByteArray("150 Opening data connection."));
    QTest::qWait(150);
    QCOMPARE(peer.Transfers().last().end, TransferRecord::End::Running);
    const int before = int(client.lines.size());
    client.Send("ABOR\r\n");
    QVERIFY(client.WaitLines(before + 2));
    QCOMPARE(client.lines.mid(before),
             (QByteArrayList{"426 Connection closed; transfer aborted.", "226 ABOR command successful."}));
    QCOMPARE(peer.Transfers().last().end, TransferRecord::End::Aborted);
    QVERIFY(!peer.Transfers().last().connected);
    QVERIFY(client.dataBytes.isEmpty());

    // PORT to a port where nothing listens: 425.
    const quint16 closed = ScriptedFtpPeer::ClosedPort();
    QCOMPARE(client.Command("PORT 127,0,0,1," + QByteArray::number(closed / 256) + ',' + QByteArray::number(closed % 256)),
             QByteArray("200 PORT command successful."));
    QCOMPARE(client.Command("NLST"), QByteArray("425 Can't open data connection."));
    QCOMPARE(peer.Transfers().last().end, TransferRecord::End::Refused);
    QCOMPARE(peer.Transfers().size(), 4);
}

void TestScriptedFtpPeer::abortWithUrgentData()
{
    ScriptedFtpPeer peer;
    Transfer stalled = Transfer::Data(Pattern(10000), Transfer::Ending::Stall);
    stalled.stopAfter = 1000;
    peer.SetTransfer("RETR", stalled);
    QVERIFY(peer.Listen());
    Client client;
    QVERIFY(client.Connect(peer.Port()));
    QVERIFY(client.WaitLines(1));
    QCOMPARE(client.Command("ABOR"), QByteArray("225 No transfer to abort."));
    QVERIFY(client.OpenPassive());
    QCOMPARE(client.Command("RETR big.bin"), QByteArray("150 Opening data connection."));
    QTRY_COMPARE_WITH_TIMEOUT(client.dataBytes.size(), 1000, kWait);

    // The abort as the client sends it: IAC IP, IAC DM with DM urgent, ABOR, IAC DM.
    const int before = int(client.lines.size());
    client.Send("\xff\xf4");
    const int fd = int(client.control.socketDescriptor());
    QCOMPARE(::send(fd, "\xff\xf2", 2, MSG_OOB), ssize_t(2));
    client.Send("ABOR\r\n\xff\xf2");
    QVERIFY(client.WaitLines(before + 2));
    QCOMPARE(client.lines.mid(before),
             (QByteArrayList{"426 Connection closed; transfer aborted.", "226 ABOR command successful."}));
    QTRY_VERIFY_WITH_TIMEOUT(client.dataClosed, kWait);
    QTRY_COMPARE_WITH_TIMEOUT(peer.Urgent(), QByteArray("\xf2"), kWait);
    QCOMPARE(peer.Commands().last(), QByteArray("ABOR"));
    QCOMPARE(peer.RawCommands().last(), QByteArray("\xff\xf4\xff" "ABOR"));
    QVERIFY(peer.Received().endsWith("\xff\xf4\xff" "ABOR\r\n\xff\xf2"));
    const TransferRecord record = peer.Transfers().last();
    QCOMPARE(record.end, TransferRecord::End::Aborted);
    QCOMPARE(record.sent, 1000);

    // The trailing IAC DM leads the next command line and is stripped from it.
    QCOMPARE(client.Command("NOOP"), QByteArray("200 NOOP ok."));
    QCOMPARE(peer.RawCommands().last(), QByteArray("\xff\xf2NOOP"));
    QCOMPARE(peer.Commands().last(), QByteArray("NOOP"));
}

void TestScriptedFtpPeer::chunkedDownloadAndEarlyClientClose()
{
    const QByteArray content = Pattern(20000);
    ScriptedFtpPeer peer;
    Transfer chunked = Transfer::Data(content);
    chunked.chunkSize = 1000;
    chunked.chunkPauseMs = 5;
    peer.QueueTransfer(chunked);
    Transfer slow = Transfer::Data(content);
    slow.chunkSize = 500;
    slow.chunkPauseMs = 50;
    peer.QueueTransfer(slow);
    QVERIFY(peer.Listen());
    Client client;
    QVERIFY(client.Connect(peer.Port()));
    QVERIFY(client.WaitLines(1));

    QVERIFY(client.OpenPassive());
    QCOMPARE(client.Command("RETR a.bin"), QByteArray("150 Opening data connection."));
    QTRY_VERIFY_WITH_TIMEOUT(client.dataClosed, kWait);
    QCOMPARE(client.dataBytes, content);
    QTRY_COMPARE_WITH_TIMEOUT(client.lines.last(), QByteArray("226 Transfer complete."), kWait);

    // The client drops the data connection half-way: 426, and the record says so.
    client.dataClosed = false;
    client.dataBytes.clear();
    QVERIFY(client.OpenPassive());
    QCOMPARE(client.Command("RETR b.bin"), QByteArray("150 Opening data connection."));
    QTRY_VERIFY_WITH_TIMEOUT(client.dataBytes.size() >= 500, kWait);
    client.data->abort();
    QVERIFY(client.WaitLines(int(client.lines.size()) + 1));
    QCOMPARE(client.lines.last(), QByteArray("426 Connection closed; transfer aborted."));
    const TransferRecord record = peer.Transfers().last();
    QCOMPARE(record.end, TransferRecord::End::ClientClosedEarly);
    QVERIFY(record.sent < content.size());
}

void TestScriptedFtpPeer::passiveAnnouncement()
{
    ScriptedFtpPeer peer;
    QVERIFY(!peer.SetPassiveAnnounce("10.0.0.1"));
    QVERIFY(!peer.SetPassiveAnnounce("192.168.0.1"));
    QVERIFY(!peer.SetPassiveAnnounce("ftp.example.org"));
    QVERIFY(peer.SetPassiveAnnounce("127.0.0.2"));
    peer.SetPassiveTemplate("227 Entering Passive Mode ({addr})\r\n");
    peer.Queue("PASV", Reply::Line(227, "Entering Passive Mode (192,168,0,1,4,1)"));
    QVERIFY(peer.Listen());
    Client client;
    QVERIFY(client.Connect(peer.Port()));
    QVERIFY(client.WaitLines(1));

    // A scripted 227 that points off this machine never leaves the peer.
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("non-loopback|outside 127")));
    QCOMPARE(client.Command("PASV"), QByteArray("421 Scripted peer refuses to announce a non-loopback address."));

    // The announced host differs; the listener is on 127.0.0.1 all the same.
    const QByteArray reply = client.Command("PASV");
    static const QRegularExpression form(QStringLiteral("^227 Entering Passive Mode \\(127,0,0,2,(\\d+),(\\d+)\\)$"));
    const auto match = form.match(QString::fromLatin1(reply));
    QVERIFY2(match.hasMatch(), reply.constData());
    const quint16 port = quint16(match.captured(1).toInt() * 256 + match.captured(2).toInt());
    QTcpSocket elsewhere;
    elsewhere.connectToHost(QStringLiteral("127.0.0.2"), port);
    QTRY_COMPARE_WITH_TIMEOUT(elsewhere.error(), QAbstractSocket::ConnectionRefusedError, kWait);
    QVERIFY(client.ConnectData(port));

    // A port of the test's choice.
    const quint16 closed = ScriptedFtpPeer::ClosedPort();
    QVERIFY(peer.SetPassiveAnnounce("127.0.0.1", closed));
    QCOMPARE(client.Command("PASV"), "227 Entering Passive Mode (127,0,0,1," + QByteArray::number(closed / 256) + ',' +
                                         QByteArray::number(closed % 256) + ')');
}

void TestScriptedFtpPeer::stripTelnet_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<QByteArray>("command");
    QTest::newRow("plain") << QByteArray("NOOP") << QByteArray("NOOP");
    QTest::newRow("IAC IP IAC DM in band") << QByteArray("\xff\xf4\xff\xf2" "ABOR") << QByteArray("ABOR");
    QTest::newRow("DM went out of band") << QByteArray("\xff\xf4\xff" "ABOR") << QByteArray("ABOR");
    QTest::newRow("IAC went out of band") << QByteArray("\xff\xf4\xf2" "ABOR") << QByteArray("ABOR");
    QTest::newRow("trailing IAC DM of the last abort") << QByteArray("\xff\xf2" "PWD") << QByteArray("PWD");
    QTest::newRow("high bytes in the argument stay")
        << QByteArray("RETR \xff\xf2\xd6\xd0.txt") << QByteArray("RETR \xff\xf2\xd6\xd0.txt");
    QTest::newRow("only telnet bytes") << QByteArray("\xff\xf4") << QByteArray();
}

void TestScriptedFtpPeer::stripTelnet()
{
    QFETCH(QByteArray, raw);
    QFETCH(QByteArray, command);
    QCOMPARE(ScriptedFtpPeer::StripTelnet(raw), command);
}

void TestScriptedFtpPeer::closedPortAndReconnect()
{
    QTcpSocket refused;
    refused.connectToHost(QStringLiteral("127.0.0.1"), ScriptedFtpPeer::ClosedPort());
    QTRY_COMPARE_WITH_TIMEOUT(refused.error(), QAbstractSocket::ConnectionRefusedError, kWait);

    ScriptedFtpPeer peer;
    QVERIFY(peer.Listen());
    {
        Client first;
        QVERIFY(first.Connect(peer.Port()));
        QVERIFY(first.WaitLines(1));
        QCOMPARE(first.Command("USER one"), QByteArray("331 Password required."));
    }
    QTRY_VERIFY_WITH_TIMEOUT(!peer.ControlOpen(), kWait);
    Client second;
    QVERIFY(second.Connect(peer.Port()));
    QVERIFY(second.WaitLines(1));
    QCOMPARE(second.Command("USER two"), QByteArray("331 Password required."));
    QVERIFY(peer.ControlOpen());
    QCOMPARE(peer.ConnectionCount(), 2);
    QCOMPARE(peer.Commands(), (QByteArrayList{"USER one", "USER two"}));

    peer.StopListening();
    QTcpSocket late;
    late.connectToHost(QStringLiteral("127.0.0.1"), peer.Port());
    QTRY_COMPARE_WITH_TIMEOUT(late.error(), QAbstractSocket::ConnectionRefusedError, kWait);
}

QTEST_GUILESS_MAIN(TestScriptedFtpPeer)
#include "tst_scripted_ftp_peer.moc"
