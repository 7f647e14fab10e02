// SendMail against a scripted SMTP server: the dialogue transcript, the
// message bytes, every failure path and the end of each send.

#include "mail_recorder.h"
#include "scripted_smtp_peer.h"

#include "mail/inetmail.h"

#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

std::unique_ptr<SendMail> makeMail(quint16 port, MailRecorder &recorder)
{
    auto mail = std::make_unique<SendMail>();
    mail->SetSMTP_Server(u"127.0.0.1"_qs);
    mail->SMTP_Port = port;
    mail->FROM_Name = QString();
    mail->FROM_Address = u"me@client.test"_qs;
    mail->TO_Address = u"you@server.test"_qs;
    mail->MailText = QStringList{u"hello"_qs};
    recorder.Attach(*mail);
    return mail;
}

QByteArrayList commandsStarting(const ScriptedSmtpPeer &peer, const QByteArray &prefix)
{
    QByteArrayList out;
    for (const QByteArray &command : peer.Commands)
        if (command.startsWith(prefix))
            out.append(command);
    return out;
}

QByteArrayList headersStarting(const QByteArray &message, const QByteArray &prefix)
{
    QByteArrayList out;
    for (const QByteArray &line : ScriptedSmtpPeer::HeaderLines(message))
        if (line.startsWith(prefix))
            out.append(line);
    return out;
}

QByteArray decodeQuotedPrintable(const QByteArray &encoded)
{
    QByteArray out;
    for (qsizetype i = 0; i < encoded.size(); ++i) {
        if (encoded.at(i) != '=') {
            out.append(encoded.at(i));
        } else if (encoded.mid(i + 1, 2) == "\r\n") {
            i += 2;
        } else {
            out.append(char(encoded.mid(i + 1, 2).toInt(nullptr, 16)));
            i += 2;
        }
    }
    return out;
}

// A listener whose accept queue is full: a further connect hangs in SYN.
struct FullListener {
    int listener = -1;
    QList<int> clients;
    quint16 port = 0;
    bool Open()
    {
        listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 || ::listen(listener, 0) != 0)
            return false;
        socklen_t length = sizeof address;
        ::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length);
        port = ntohs(address.sin_port);
        for (int i = 0; i < 3; ++i) {
            int client = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            ::connect(client, reinterpret_cast<sockaddr *>(&address), sizeof address);
            clients.append(client);
        }
        return true;
    }
    ~FullListener()
    {
        for (int client : clients)
            ::close(client);
        if (listener >= 0)
            ::close(listener);
    }
};

}  // namespace

class TestSendMail : public QObject {
    Q_OBJECT
private slots:
    void recipients_data();
    void recipients();
    void failures_data();
    void failures();
    void multiLineAndSplitReplies();
    void refusedRecipientSkipped();
    void noRecipient();
    void refusedConnection();
    void connectTimeout();
    void busy();
    void attachments();
    void longHeaders_data();
    void longHeaders();
    void body_data();
    void body();
    void keepConnectionOpen();
    void linesAfterAcceptanceOnKeptConnection_data();
    void linesAfterAcceptanceOnKeptConnection();
    void cancelInsideSend();
    void feedDataWithoutLineEnd();
    void headerInjection();
    void serverClassification_data();
    void serverClassification();
    void hostNameLookedUp();
};

void TestSendMail::recipients_data()
{
    QTest::addColumn<QString>("toAddress");
    QTest::addColumn<QString>("toName");
    QTest::addColumn<QStringList>("listTo");
    QTest::addColumn<QStringList>("listCc");
    QTest::addColumn<QStringList>("listBcc");
    QTest::addColumn<QByteArrayList>("rcpt");
    QTest::addColumn<QByteArrayList>("toCcHeaders");

    QTest::newRow("to, cc and bcc") << u"a1@x.test"_qs << u"N1"_qs << QStringList() << QStringList{u"c1@x.test|N2"_qs}
                                    << QStringList{u"b1@x.test"_qs}
                                    << QByteArrayList{"RCPT TO:<a1@x.test>", "RCPT TO:<c1@x.test>", "RCPT TO:<b1@x.test>"}
                                    << QByteArrayList{"To: N1 <a1@x.test>", "cc: N2 <c1@x.test>"};
    QTest::newRow("head of ListTo without name") << QString() << QString() << QStringList{u"d1@x.test"_qs}
                                                 << QStringList() << QStringList()
                                                 << QByteArrayList{"RCPT TO:<d1@x.test>"}
                                                 << QByteArrayList{"To: d1@x.test"};
    QTest::newRow("head of Listcc") << QString() << QString() << QStringList() << QStringList{u"c1@x.test|C"_qs}
                                    << QStringList{u"b1@x.test"_qs}
                                    << QByteArrayList{"RCPT TO:<c1@x.test>", "RCPT TO:<b1@x.test>"}
                                    << QByteArrayList{"cc: C <c1@x.test>"};
    QTest::newRow("bcc only") << QString() << QString() << QStringList() << QStringList()
                              << QStringList{u"b1@x.test"_qs, u"b2@x.test|Hidden"_qs}
                              << QByteArrayList{"RCPT TO:<b1@x.test>", "RCPT TO:<b2@x.test>"} << QByteArrayList();
    QTest::newRow("several of each") << u"a1@x.test"_qs << QString() << QStringList{u"t2@x.test|Two"_qs, u"t3@x.test"_qs}
                                     << QStringList{u"c1@x.test"_qs, u"c2@x.test"_qs} << QStringList{u"b1@x.test"_qs}
                                     << QByteArrayList{"RCPT TO:<a1@x.test>", "RCPT TO:<t2@x.test>", "RCPT TO:<t3@x.test>",
                                                       "RCPT TO:<c1@x.test>", "RCPT TO:<c2@x.test>", "RCPT TO:<b1@x.test>"}
                                     << QByteArrayList{"To: a1@x.test, Two <t2@x.test>, t3@x.test",
                                                       "cc: c1@x.test, c2@x.test"};
}

void TestSendMail::recipients()
{
    QFETCH(QString, toAddress);
    QFETCH(QString, toName);
    QFETCH(QStringList, listTo);
    QFETCH(QStringList, listCc);
    QFETCH(QStringList, listBcc);
    QFETCH(QByteArrayList, rcpt);
    QFETCH(QByteArrayList, toCcHeaders);

    ScriptedSmtpPeer peer;
    QVERIFY(peer.Listen());
    MailRecorder recorder;
    auto mail = makeMail(peer.Port(), recorder);
    mail->TO_Address = toAddress;
    mail->TO_Name = toName;
    mail->ListTo = listTo;
    mail->Listcc = listCc;
    mail->ListBcc = listBcc;
    mail->SetAction(TMailAction::Send_Mail);
    QTRY_COMPARE_WITH_TIMEOUT(recorder.done, 1, 5000);

    QVERIFY2(recorder.errors.isEmpty(), qPrintable(recorder.errors.value(0).second));
    QVERIFY(mail->Accepted());
    QVERIFY(!mail->MailBusy());
    QByteArrayList expected{"EHLO " + mail->LocalHostName().toUtf8(), "MAIL FROM:<me@client.test>"};
    expected += rcpt;
    expected += QByteArrayList{"DATA", "QUIT"};
    QCOMPARE(peer.Commands, expected);
    QCOMPARE(peer.RawMessages.size(), 1);
    const QByteArray message = peer.RawMessages.first();
    QByteArrayList got = headersStarting(message, "To:") + headersStarting(message, "cc:");
    QCOMPARE(got, toCcHeaders);
    // Blind recipients never reach the header.
    QVERIFY(!message.contains("b1@x.test"));
    QCOMPARE(headersStarting(message, "From:"), QByteArrayList{"From: me@client.test"});
    QStringList announced;
    for (const QByteArray &command : rcpt)
        announced.append(QString::fromLatin1(command.mid(9, command.size() - 10)));
    QCOMPARE(recorder.TextsOf(smRecipient), announced);
    QCOMPARE(recorder.TextsOf(smServerConnected), QStringList{u"127.0.0.1"_qs});
    QVERIFY(recorder.Has(smMessageAccepted));
    QCOMPARE(recorder.Steps().last(), smServerDisconnected);
}

void TestSendMail::failures_data()
{
    QTest::addColumn<QByteArray>("greeting");
    QTest::addColumn<QByteArray>("verb");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("recipientsKept");

    QTest::newRow("554 greeting") << QByteArray("554 no service here\r\n") << QByteArray() << QByteArray()
                                  << int(smeUnexpectedResponse) << u"Unexpected response: 554 no service here"_qs << false;
    QTest::newRow("HELO refused") << QByteArray() << QByteArray("HELO") << QByteArray("501 who are you\r\n")
                                  << int(smeUnexpectedResponse) << u"Unexpected response: 501 who are you"_qs << false;
    QTest::newRow("MAIL FROM refused") << QByteArray() << QByteArray("MAIL") << QByteArray("550 sender denied\r\n")
                                       << int(smeUnexpectedResponse) << u"Unexpected response: 550 sender denied"_qs << false;
    QTest::newRow("all recipients refused") << QByteArray() << QByteArray("RCPT") << QByteArray("550 no user\r\n")
                                            << int(smeUnexpectedResponse) << u"Unexpected response: 503 no recipients"_qs
                                            << false;
    QTest::newRow("message refused") << QByteArray() << QByteArray(".") << QByteArray("552 too big\r\n")
                                     << int(smeUnexpectedResponse) << u"Unexpected response: 552 too big"_qs << false;
    QTest::newRow("garbage answer to the message") << QByteArray() << QByteArray(".") << QByteArray("hello there\r\n")
                                                   << int(smeUnexpectedResponse) << u"Unexpected response: hello there"_qs
                                                   << false;
    QTest::newRow("closed instead of greeting") << ScriptedSmtpPeer::Close << QByteArray() << QByteArray()
                                                << int(smePrematureDisconnect) << u"Prematurely Disconnected"_qs << true;
    QTest::newRow("closed after DATA") << QByteArray() << QByteArray("DATA") << ScriptedSmtpPeer::Close
                                       << int(smePrematureDisconnect) << u"Prematurely Disconnected"_qs << true;
    QTest::newRow("closed instead of accepting") << QByteArray() << QByteArray(".") << ScriptedSmtpPeer::Close
                                                 << int(smePrematureDisconnect) << u"Prematurely Disconnected"_qs << true;
    QTest::newRow("endless reply line") << (QByteArray("220 ") + QByteArray(20000, 'x')) << QByteArray() << QByteArray()
                                        << int(smeUnexpectedResponse)
                                        << (u"Unexpected response: 220 "_qs + QString(508, u'x')) << false;
}

void TestSendMail::failures()
{
    QFETCH(QByteArray, greeting);
    QFETCH(QByteArray, verb);
    QFETCH(QByteArray, reply);
    QFETCH(int, error);
    QFETCH(QString, text);
    QFETCH(bool, recipientsKept);

    ScriptedSmtpPeer peer;
    QVERIFY(peer.Listen());
    if (!greeting.isEmpty())
        peer.Greeting = greeting;
    if (!verb.isEmpty())
        peer.SetReply(verb, reply);
    peer.SetReply("DATA", "503 no recipients\r\n");
    if (verb == "DATA" || verb == ".")
        peer.SetReply("DATA", verb == "DATA" ? reply : QByteArray("354 go\r\n"));
    MailRecorder recorder;
    auto mail = makeMail(peer.Port(), recorder);
    mail->Listcc = QStringList{u"cc@x.test"_qs};
    mail->SetAction(TMailAction::Send_Mail);
    QTRY_COMPARE_WITH_TIMEOUT(recorder.done, 1, 5000);
    QCoreApplication::processEvents();

    QCOMPARE(recorder.done, 1);
    QCOMPARE(recorder.errors.size(), 1);
    QCOMPARE(int(recorder.errors.first().first), error);
    QCOMPARE(recorder.errors.first().second, text);
    QCOMPARE(int(mail->LastMailError()), error);
    QVERIFY(!mail->Accepted());
    QVERIFY(!recorder.Has(smMessageAccepted));
    QVERIFY(!mail->MailBusy());
    // An abort empties the recipients; an early close by the server does not.
    QCOMPARE(!mail->Listcc.isEmpty(), recipientsKept);
    QCOMPARE(!mail->TO_Address.isEmpty(), recipientsKept);
}

void TestSendMail::multiLineAndSplitReplies()
{
    ScriptedSmtpPeer peer;
    QVERIFY(peer.Listen());
    peer.Greeting = "220-scripted.test first line\r\n220-second\r\n220 ready\r\n";
    peer.SetReply("HELO", "250-scripted.test\r\n250 HELP\r\n");
    peer.SplitWrites = true;
    MailRecorder recorder;
    auto mail = makeMail(peer.Port(), recorder);
    mail->SetAction(TMailAction::Send_Mail);
    QTRY_COMPARE_WITH_TIMEOUT(recorder.done, 1, 5000);

    QVERIFY(recorder.errors.isEmpty());
    QVERIFY(mail->Accepted());
    // One EHLO after the whole greeting, one MAIL FROM after the whole EHLO reply.
    QCOMPARE(commandsStarting(peer, "EHLO").size(), 1);
    QCOMPARE(commandsStarting(peer, "MAIL").size(), 1);
    QCOMPARE(recorder.TextsOf(smTraceIn).mid(0, 5),
             (QStringList{u"220-scripted.test first line"_qs, u"220-second"_qs, u"220 ready"_qs, u"250-scripted.test"_qs,
                          u"250 HELP"_qs}));
}

void TestSendMail::refusedRecipientSkipped()
{
    ScriptedSmtpPeer peer;
    QVERIFY(peer.Listen());
    peer.SetReply("RCPT", "550 5.1.1 no such user\r\n", 1);
    MailRecorder recorder;
    auto mail = makeMail(peer.Port(), recorder);
    mail->Listcc = QStringList{u"gone@x.test"_qs, u"here@x.test"_qs};
    mail->SetAction(TMailAction::Send_Mail);
    QTRY_COMPARE_WITH_TIMEOUT(recorder.done, 1, 5000);

    QVERIFY(recorder.errors.isEmpty());
    QVERIFY(mail->Accepted());
    QCOMPARE(recorder.TextsOf(smBadAddress), QStringList{u"gone@x.test"_qs});
    QCOMPARE(commandsStarting(peer, "RCPT").size(), 3);
    QCOMPARE(peer.RawMessages.size(), 1);
}

void TestSendMail::noRecipient()
{
    ScriptedSmtpPeer peer;
    QVERIFY(peer.Listen());
    MailRecorder recorder;
    auto mail = makeMail(peer.Port(), recorder);
    mail->TO_Address.clear();
    mail->SetAction(TMailAction::Send_Mail);
    // Reported at once, OnDone only after the handler returned.
    QCOMPARE(recorder.errors.size(), 1);
    QCOMPARE(recorder.errors.first().second, u"Mail Destination Error"_qs);
    QCOMPARE(recorder.done, 0);
    QTRY_COMPARE_WITH_TIMEOUT(recorder.done, 1, 5000);
    QCOMPARE(int(mail->LastMailError()), int(smeNoDestination));
    QCOMPARE(peer.Connections, 0);
    QVERIFY(!recorder.Has(smResolvingAddress));
}

void TestSendMail::refusedConnection()
{
    quint16 port;
    {
        ScriptedSmtpPeer closed;
        QVERIFY(closed.Listen());
        port = closed.Port();
    }
    MailRecorder recorder;
    auto mail = makeMail(port, recorder);
    mail->SetAction(TMailAction::Send_Mail);
    QTRY_COMPARE_WITH_TIMEOUT(recorder.done, 1, 5000);
    QCOMPARE(recorder.errors.size(), 1);
    QCOMPARE(int(recorder.errors.first().first), int(smeConnectionRefused));
    QCOMPARE(recorder.errors.first().second, u"Connection Refused"_qs);
    QVERIFY(!recorder.Has(smServerConnected));
    QVERIFY(mail->ListTo.isEmpty());
}

void TestSendMail::connectTimeout()
{
    FullListener listener;
    QVERIFY(listener.Open());
    MailRecorder recorder;
    auto mail = makeMail(listener.port, recorder);
    mail->SetTimeoutConnect(1);
    mail->SetAction(TMailAction::Send_Mail);
    QTRY_COMPARE_WITH_TIMEOUT(recorder.done, 1, 5000);
    if (recorder.Has(smServerConnected))
        QSKIP("this kernel completed the connect to a full accept queue");
    QCOMPARE(recorder.errors.size(), 1);
    QCOMPARE(int(recorder.errors.first().first), int(smeTimeout));
    QCOMPARE(recorder.errors.first().second, u"Connection timed out"_qs);
    QCOMPARE(int(mail->LastMailError()), int(smeTimeout));
}

void TestSendMail::busy()
{
    ScriptedSmtpPeer peer;
    QVERIFY(peer.Listen());
    MailRecorder recorder;
    auto mail = makeMail(peer.Port(), recorder);
    mail->SetAction(TMailAction::Send_Mail);
    const int before = int(recorder.infos.size());
    mail->SetAction(TMailAction::Send_Mail);
    QCOMPARE(recorder.infos.size(), before + 1);
    QCOMPARE(recorder.infos.last().first, smAlreadyBusy);
    QCOMPARE(recorder.infos.last().second, QString());
    QTRY_COMPARE_WITH_TIMEOUT(recorder.done, 1, 5000);
    QCoreApplication::processEvents();
    QCOMPARE(recorder.done, 1);
    QVERIFY(recorder.errors.isEmpty());
    QVERIFY(mail->Accepted());
    QCOMPARE(peer.Connections, 1);
    QCOMPARE(peer.RawMessages.size(), 1);
    QCOMPARE(mail->Action(), TMailAction::None);
}

void TestSendMail::attachments()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QByteArray content;
    for (int i = 0; i < 100; ++i)
        content.append(char(i * 7));
    const QString path = dir.filePath(u"data.bin"_qs);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();
    const QString missing = dir.filePath(u"missing.bin"_qs);

    ScriptedSmtpPeer peer;
    QVERIFY(peer.Listen());
    MailRecorder recorder;
    auto mail = makeMail(peer.Port(), recorder);
    mail->Attachments = QStringList{missing, path};
    mail->SetAction(TMailAction::Send_Mail);
    QTRY_COMPARE_WITH_TIMEOUT(recorder.done, 1, 5000);

    QVERIFY(recorder.errors.isEmpty());
    QVERIFY(mail->Accepted());
    QCOMPARE(recorder.TextsOf(smAttachmentName), (QStringList{missing, path}));
    QCOMPARE(recorder.TextsOf(smBadAttachment), QStringList{missing});
    QCOMPARE(recorder.TextsOf(smAttachmentSize), QStringList{u"100"_qs});
    QCOMPARE(recorder.TextsOf(smAttachmentBytes), (QStringList{u"57"_qs, u"100"_qs}));

    const QByteArray message = ScriptedSmtpPeer::Unstuff(peer.RawMessages.value(0));
    const QByteArray boundary = "==============ghyurgtfy573======___";
    QCOMPARE(headersStarting(message, "Content-Type:"),
             QByteArrayList{"Content-Type: multipart/mixed; boundary=\"" + boundary + "\""});
    // One part for the text, one for the file; none for the missing one.
    QCOMPARE(message.count("--" + boundary + "\r\n"), 2);
    QVERIFY(!message.contains("missing.bin"));
    QVERIFY(message.contains("Content-Type: application/octet-stream; name=\"data.bin\"\r\n"
                             "Content-Transfer-Encoding: base64\r\n"
                             "Content-Disposition: attachment; filename=\"data.bin\"\r\n\r\n"));
    const qsizetype start = message.indexOf("filename=\"data.bin\"\r\n\r\n") + 23;
    const qsizetype end = message.indexOf("--" + boundary + "--\r\n");
    QVERIFY(end > start);
    const QByteArrayList lines = message.mid(start, end - start).split('\n');
    QCOMPARE(lines.size(), 3);  // two lines and what follows the last line end
    QCOMPARE(lines.at(0).size(), 77);
    QCOMPARE(lines.at(1).size(), 61);
    QVERIFY(lines.at(1).endsWith("==\r"));
    QCOMPARE(QByteArray::fromBase64(lines.at(0).trimmed() + lines.at(1).trimmed()), content);
    QVERIFY(message.endsWith("--" + boundary + "--\r\n\r\n"));
}

void TestSendMail::longHeaders_data()
{
    QTest::addColumn<QString>("header");
    QTest::addColumn<QByteArray>("expected");
    const QString words = u"X-Long: "_qs + u"lorem ipsum dolor sit amet "_qs.repeated(11);  // 305 characters
    QTest::newRow("300 characters with blanks") << words << (words.toLatin1() + "  ");
    const QString token = u"X-Token: "_qs + QString(291, u'k');
    QTest::newRow("300 characters without blanks") << token << (token.toLatin1() + "  ");
}

void TestSendMail::longHeaders()
{
    QFETCH(QString, header);
    QFETCH(QByteArray, expected);
    ScriptedSmtpPeer peer;
    QVERIFY(peer.Listen());
    MailRecorder recorder;
    auto mail = makeMail(peer.Port(), recorder);
    mail->Headers = QStringList{header};
    mail->SetAction(TMailAction::Send_Mail);
    QTRY_COMPARE_WITH_TIMEOUT(recorder.done, 1, 5000);
    QVERIFY(mail->Accepted());
    const QByteArray message = peer.RawMessages.value(0);
    // Folded at white space, nothing lost.
    QCOMPARE(headersStarting(message, expected.left(6)), QByteArrayList{expected});
    for (const QByteArray &line : message.split('\n'))
        QVERIFY(line.size() <= 999);
}

void TestSendMail::body_data()
{
    QTest::addColumn<QStringList>("text");
    QTest::addColumn<QByteArray>("charset");
    QTest::addColumn<bool>("quotedPrintable");

    QTest::newRow("plain ascii") << QStringList{u"get /pub/file.zip"_qs, u"quit"_qs} << QByteArray("us-ascii") << false;
    QTest::newRow("dot line") << QStringList{u"before"_qs, u"."_qs, u".hidden"_qs, u"after"_qs} << QByteArray("us-ascii")
                              << false;
    QTest::newRow("tab") << QStringList{u"a\tb"_qs} << QByteArray("us-ascii") << true;
    QTest::newRow("chinese") << QStringList{u"你好，世界"_qs, u"."_qs} << QByteArray("UTF-8") << true;
    QTest::newRow("dot after a soft break") << QStringList{QString(71, u'x') + u".\t"_qs} << QByteArray("us-ascii") << true;
    QTest::newRow("over one chunk") << QStringList(300, u"line of the body text, éh"_qs) << QByteArray("UTF-8") << true;
    QTest::newRow("empty lines") << QStringList{QString(), QString()} << QByteArray("us-ascii") << false;
    QTest::newRow("ascii line over 998") << QStringList{QString(2000, u'x'), u"quit"_qs} << QByteArray("us-ascii") << true;
    // CR as the last byte of the first 2048-byte chunk, its LF in the next.
    QTest::newRow("line break across chunks") << QStringList{QString(2047, u'y'), u"z"_qs} << QByteArray("us-ascii")
                                              << true;
}

void TestSendMail::body()
{
    QFETCH(QStringList, text);
    QFETCH(QByteArray, charset);
    QFETCH(bool, quotedPrintable);
    ScriptedSmtpPeer peer;
    QVERIFY(peer.Listen());
    MailRecorder recorder;
    auto mail = makeMail(peer.Port(), recorder);
    mail->MailText = text;
    mail->SetAction(TMailAction::Send_Mail);
    QTRY_COMPARE_WITH_TIMEOUT(recorder.done, 1, 5000);
    QVERIFY(mail->Accepted());
    QCOMPARE(peer.RawMessages.size(), 1);

    const QByteArray raw = peer.RawMessages.first();
    // Only the final "." line may hold a lone dot.
    QVERIFY(!raw.startsWith(".\r\n") && !raw.contains("\r\n.\r\n"));
    const QByteArray message = ScriptedSmtpPeer::Unstuff(raw);
    QCOMPARE(headersStarting(message, "Content-Type:"),
             QByteArrayList{"Content-Type: text/plain; charset=\"" + charset + "\""});
    QCOMPARE(headersStarting(message, "Content-Transfer-Encoding:").size(), quotedPrintable ? 1 : 0);
    QByteArray expected;
    for (const QString &line : text)
        expected.append(line.toUtf8() + "\r\n");
    QByteArray body = ScriptedSmtpPeer::Body(message);
    QVERIFY(body.endsWith("\r\n"));
    body.chop(2);  // the empty line after the text
    if (quotedPrintable) {
        for (const QByteArray &line : body.split('\n'))
            QVERIFY2(line.size() <= 76, line.constData());
        // The text's own line breaks stay line breaks.
        QVERIFY(!body.contains("=0D") && !body.contains("=0A"));
        body = decodeQuotedPrintable(body);
    }
    QCOMPARE(body, expected);
    QCOMPARE(recorder.TextsOf(smMessageSize), QStringList{QString::number(expected.size())});
    QCOMPARE(recorder.TextsOf(smSendingMessage).last(), QString::number(expected.size()));
}

void TestSendMail::keepConnectionOpen()
{
    ScriptedSmtpPeer peer;
    QVERIFY(peer.Listen());
    MailRecorder recorder;
    auto mail = makeMail(peer.Port(), recorder);
    mail->KeepConnectionOpen = true;
    mail->MailText = QStringList{u"first"_qs};
    mail->SetAction(TMailAction::Send_Mail);
    QTRY_COMPARE_WITH_TIMEOUT(recorder.done, 1, 5000);
    QVERIFY(mail->Accepted());
    QVERIFY(mail->SocketConnected);
    QCOMPARE(mail->Stage(), int(SendMail::StageMessageEnd));

    mail->KeepConnectionOpen = false;
    mail->TO_Address = u"second@server.test"_qs;
    mail->ListTo.clear();
    mail->MailText = QStringList{u"second"_qs};
    mail->SetAction(TMailAction::Send_Mail);
    QTRY_COMPARE_WITH_TIMEOUT(recorder.done, 2, 5000);
    QVERIFY(recorder.errors.isEmpty());
    QVERIFY(mail->Accepted());
    QCOMPARE(peer.Connections, 1);
    QCOMPARE(peer.Commands, (QByteArrayList{"EHLO " + mail->LocalHostName().toUtf8(), "MAIL FROM:<me@client.test>",
                                            "RCPT TO:<you@server.test>", "DATA", "MAIL FROM:<me@client.test>",
                                            "RCPT TO:<second@server.test>", "DATA", "QUIT"}));
    QCOMPARE(peer.RawMessages.size(), 2);
    QVERIFY(peer.RawMessages.at(0).endsWith("first\r\n\r\n"));
    QVERIFY(peer.RawMessages.at(1).endsWith("second\r\n\r\n"));
    QCOMPARE(recorder.TextsOf(smMessageAccepted).size(), 2);
}

void TestSendMail::linesAfterAcceptanceOnKeptConnection_data()
{
    QTest::addColumn<QByteArray>("extra");
    QTest::newRow("second positive line") << QByteArray("250 queued again\r\n");
    QTest::newRow("idle time-out notice") << QByteArray("421 idle too long\r\n");
}

void TestSendMail::linesAfterAcceptanceOnKeptConnection()
{
    // Once the message is accepted on a kept connection no reply is awaited:
    // a stray line must neither accept the message again nor fail a send
    // that has already ended.
    QFETCH(QByteArray, extra);
    ScriptedSmtpPeer peer;
    QVERIFY(peer.Listen());
    peer.SetReply(".", "250 queued\r\n" + extra, 0);
    MailRecorder recorder;
    auto mail = makeMail(peer.Port(), recorder);
    mail->KeepConnectionOpen = true;
    mail->SetAction(TMailAction::Send_Mail);
    QTRY_COMPARE_WITH_TIMEOUT(recorder.done, 1, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(recorder.TextsOf(smTraceIn).contains(QString::fromLatin1(extra.chopped(2))), 5000);
    QCoreApplication::processEvents();

    QCOMPARE(recorder.done, 1);
    QCOMPARE(recorder.TextsOf(smMessageAccepted).size(), 1);
    QVERIFY(recorder.errors.isEmpty());
    QVERIFY(mail->Accepted());
    QVERIFY(mail->SocketConnected);
}

void TestSendMail::cancelInsideSend()
{
    ScriptedSmtpPeer peer;
    QVERIFY(peer.Listen());
    MailRecorder recorder;
    auto mail = makeMail(peer.Port(), recorder);
    mail->MailText = QStringList(20000, u"a long body that takes many chunks to send"_qs);
    SendMail *sender = mail.get();
    mail->OnMailInfo = [&recorder, sender](QObject *, SendMailInfo info, const QString &text) {
        recorder.infos.append({info, text});
        if (info == smSendingMessage && text == u"4096"_qs)
            sender->SetAction(TMailAction::Cancel_SendMail);
    };
    mail->SetAction(TMailAction::Send_Mail);
    QTRY_COMPARE_WITH_TIMEOUT(recorder.done, 1, 5000);
    QCoreApplication::processEvents();

    QCOMPARE(recorder.done, 1);
    QVERIFY(recorder.errors.isEmpty());  // a cancel is no error event
    QCOMPARE(int(mail->LastMailError()), int(smeCancelled));
    QVERIFY(!mail->Accepted());
    QVERIFY(mail->ListTo.isEmpty() && mail->TO_Address.isEmpty());
    // Nothing was sent after the cancel.
    QCOMPARE(recorder.TextsOf(smSendingMessage).last(), u"4096"_qs);
    QTRY_VERIFY_WITH_TIMEOUT(peer.ClientClosed, 5000);
    QVERIFY(peer.RawMessages.isEmpty());

    // A second cancel after an aborted send does nothing.
    mail->SetAction(TMailAction::Cancel_SendMail);
    QCoreApplication::processEvents();
    QCOMPARE(recorder.done, 1);
}

void TestSendMail::feedDataWithoutLineEnd()
{
    ScriptedSmtpPeer peer;
    QVERIFY(peer.Listen());
    MailRecorder recorder;
    auto mail = makeMail(peer.Port(), recorder);
    mail->MailText.clear();
    QByteArrayList blocks{"X-Fed: yes\r\n\r\n.starts with a dot\r\n", "no line end at the end"};
    mail->OnFeedData = [&blocks](QObject *, QByteArray &data) {
        QCOMPARE(data, QByteArray());
        if (!blocks.isEmpty())
            data = blocks.takeFirst();
    };
    mail->SetAction(TMailAction::Send_Mail);
    QTRY_COMPARE_WITH_TIMEOUT(recorder.done, 1, 5000);
    QVERIFY2(recorder.errors.isEmpty(), qPrintable(recorder.errors.value(0).second));
    QVERIFY(mail->Accepted());
    const QByteArray message = ScriptedSmtpPeer::Unstuff(peer.RawMessages.value(0));
    QVERIFY(message.endsWith("X-Fed: yes\r\n\r\n.starts with a dot\r\nno line end at the end\r\n"));
    QCOMPARE(recorder.TextsOf(smSendingMessage), (QStringList{u"34"_qs, u"56"_qs}));
}

void TestSendMail::headerInjection()
{
    ScriptedSmtpPeer peer;
    QVERIFY(peer.Listen());
    MailRecorder recorder;
    auto mail = makeMail(peer.Port(), recorder);
    mail->Subject = u"hi\r\nBcc: evil@x.test"_qs;
    mail->TO_Name = u"Name\r\n.\r\nRSET"_qs;
    mail->Headers = QStringList{u"X-A: 1\r\nX-B: 2"_qs};
    mail->SetAction(TMailAction::Send_Mail);
    QTRY_COMPARE_WITH_TIMEOUT(recorder.done, 1, 5000);
    QVERIFY(mail->Accepted());
    QCOMPARE(peer.RawMessages.size(), 1);
    QVERIFY(!commandsStarting(peer, "RSET").size());
    const QByteArray message = peer.RawMessages.first();
    QVERIFY(headersStarting(message, "Bcc:").isEmpty());
    QVERIFY(headersStarting(message, "X-B:").isEmpty());
    QCOMPARE(headersStarting(message, "Subject:"), QByteArrayList{"Subject: hi  Bcc: evil@x.test  "});
}

void TestSendMail::serverClassification_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<bool>("isAddress");
    QTest::newRow("loopback") << u"127.0.0.1"_qs << true;
    QTest::newRow("private") << u"10.0.0.1"_qs << true;
    QTest::newRow("host beginning with digits") << u"163.com"_qs << false;
    QTest::newRow("digits then letters") << u"1and1.example"_qs << false;
    QTest::newRow("three parts") << u"1.2.3"_qs << false;
    QTest::newRow("part above 255") << u"256.1.1.1"_qs << false;
    QTest::newRow("name") << u"smtp.example.com"_qs << false;
    QTest::newRow("trailing blank") << u"127.0.0.1 "_qs << false;
}

void TestSendMail::serverClassification()
{
    QFETCH(QString, server);
    QFETCH(bool, isAddress);
    SendMail mail;
    mail.SetSMTP_Server(server);
    QCOMPARE(mail.SMTP_Server(), server);
    QCOMPARE(mail.ServerAddressText(), isAddress ? server : QString());
    QCOMPARE(mail.ServerHostName(), isAddress ? QString() : server);
    // An empty text changes nothing.
    mail.SetSMTP_Server(QString());
    QCOMPARE(mail.SMTP_Server(), server);
    QCOMPARE(mail.ServerAddressText(), isAddress ? server : QString());
}

void TestSendMail::hostNameLookedUp()
{
    ScriptedSmtpPeer peer;
    QVERIFY(peer.Listen());
    MailRecorder recorder;
    auto mail = makeMail(peer.Port(), recorder);
    mail->SetSMTP_Server(u"localhost"_qs);
    mail->SetAction(TMailAction::Send_Mail);
    QTRY_COMPARE_WITH_TIMEOUT(recorder.done, 1, 5000);
    QCOMPARE(recorder.TextsOf(smResolvingAddress), QStringList{u"localhost"_qs});
    QCOMPARE(recorder.TextsOf(smAddressResolved), QStringList{u"127.0.0.1"_qs});
    QVERIFY(mail->Accepted());
}

QTEST_GUILESS_MAIN(TestSendMail)
#include "tst_sendmail.moc"
