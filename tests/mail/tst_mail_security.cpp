// SendMail's way from EHLO to MAIL FROM against the scripted server: STARTTLS
// offered, refused or broken, the login (PLAIN, LOGIN, refused, garbled AUTH
// lists) and the fallback to HELO. Checked on the exact transcript the server
// received and on the traces, which must never show the password.

#include "mail_recorder.h"
#include "scripted_smtp_peer.h"

#include "mail/inetmail.h"

#include <QTest>

namespace {

const QByteArray User = "mailer";
const QByteArray Password = "pa ss:w\xc3\xb6rd";

QByteArray plainCredentials()
{
    return (QByteArray(1, '\0') + User + '\0' + Password).toBase64();
}

}  // namespace

class TestMailSecurity : public QObject {
    Q_OBJECT
private slots:
    void dialogue_data();
    void dialogue();
};

void TestMailSecurity::dialogue_data()
{
    QTest::addColumn<QByteArray>("ehlo");
    QTest::addColumn<QByteArrayList>("replies");  // verb, reply, verb, reply, ...
    QTest::addColumn<int>("security");
    QTest::addColumn<bool>("login");
    QTest::addColumn<int>("error");
    QTest::addColumn<QByteArrayList>("commands");

    const QByteArray tls = "250-scripted.test\r\n250-STARTTLS\r\n250 8BITMIME\r\n";
    const QByteArray auth = "250-scripted.test\r\n250-AUTH LOGIN PLAIN\r\n250 SIZE 1000\r\n";
    const QByteArrayList mail{"MAIL FROM:<me@client.test>", "RCPT TO:<you@server.test>", "DATA", "QUIT"};

    QTest::newRow("required, no STARTTLS offered")
        << QByteArray("250 scripted.test\r\n") << QByteArrayList() << int(smtpTlsRequired) << true
        << int(smeTlsRequired) << QByteArrayList{"EHLO"};
    QTest::newRow("required, STARTTLS refused")
        << tls << QByteArrayList{"STARTTLS", "454 4.7.0 TLS not available\r\n"} << int(smtpTlsRequired) << false
        << int(smeTlsRequired) << QByteArrayList{"EHLO", "STARTTLS"};
    QTest::newRow("if offered, STARTTLS refused: on in clear")
        << tls << QByteArrayList{"STARTTLS", "454 4.7.0 TLS not available\r\n"} << int(smtpTlsIfOffered) << false
        << int(smeNone) << QByteArrayList{"EHLO", "STARTTLS"} + mail;
    QTest::newRow("handshake fails after 220")
        << tls << QByteArrayList{"STARTTLS", "220 go ahead\r\n" + ScriptedSmtpPeer::Close} << int(smtpTlsIfOffered)
        << true << int(smeTlsHandshake) << QByteArrayList{"EHLO", "STARTTLS"};
    QTest::newRow("off: STARTTLS not used") << tls << QByteArrayList() << int(smtpTlsOff) << false << int(smeNone)
                                            << QByteArrayList{"EHLO"} + mail;
    QTest::newRow("PLAIN preferred") << auth << QByteArrayList{"AUTH", "235 2.7.0 ok\r\n"} << int(smtpTlsIfOffered)
                                     << true << int(smeNone)
                                     << QByteArrayList{"EHLO", "AUTH PLAIN " + plainCredentials()} + mail;
    QTest::newRow("wrong password") << auth << QByteArrayList{"AUTH", "535 5.7.8 bad credentials\r\n"}
                                    << int(smtpTlsOff) << true << int(smeAuthFailed)
                                    << QByteArrayList{"EHLO", "AUTH PLAIN " + plainCredentials()};
    QTest::newRow("LOGIN found among garbage")
        << QByteArray("250-scripted.test\r\n250-AUTH \x01\x7f =?x?= lo*gin login CRAM-MD5\r\n250-AUTH\r\n"
                      "250-AUTH=\r\n250 OK\r\n")
        << QByteArrayList{"AUTH", "334 VXNlcm5hbWU6\r\n", User.toBase64().toUpper(), "334 UGFzc3dvcmQ6\r\n",
                          Password.toBase64().toUpper(), "235 ok\r\n"}
        << int(smtpTlsOff) << true << int(smeNone)
        << QByteArrayList{"EHLO", "AUTH LOGIN", User.toBase64(), Password.toBase64()} + mail;
    QTest::newRow("LOGIN: password refused")
        << QByteArray(auth).replace("LOGIN PLAIN", "LOGIN")
        << QByteArrayList{"AUTH", "334 VXNlcm5hbWU6\r\n", User.toBase64().toUpper(), "334 UGFzc3dvcmQ6\r\n",
                          Password.toBase64().toUpper(), "535 no\r\n"}
        << int(smtpTlsOff) << true << int(smeAuthFailed)
        << QByteArrayList{"EHLO", "AUTH LOGIN", User.toBase64(), Password.toBase64()};
    QTest::newRow("AUTH list of garbage only")
        << QByteArray("250-scripted.test\r\n250-AUTH \xff\xfe ;;; ===\r\n250 AUTH XOAUTH2 " + QByteArray(300, 'A')
                      + "\r\n")
        << QByteArrayList() << int(smtpTlsOff) << true << int(smeAuthUnsupported) << QByteArrayList{"EHLO"};
    QTest::newRow("EHLO refused, HELO instead") << QByteArray("502 5.5.1 no EHLO here\r\n") << QByteArrayList()
                                                << int(smtpTlsIfOffered) << true << int(smeNone)
                                                << QByteArrayList{"EHLO", "HELO"} + mail;
}

void TestMailSecurity::dialogue()
{
    QFETCH(QByteArray, ehlo);
    QFETCH(QByteArrayList, replies);
    QFETCH(int, security);
    QFETCH(bool, login);
    QFETCH(int, error);
    QFETCH(QByteArrayList, commands);

    ScriptedSmtpPeer peer;
    QVERIFY(peer.Listen());
    peer.SetReply("HELO", ehlo, 0);  // the peer files EHLO under HELO
    for (qsizetype i = 0; i + 1 < replies.size(); i += 2)
        peer.SetReply(replies.at(i), replies.at(i + 1));
    SendMail mail;
    MailRecorder recorder;
    recorder.Attach(mail);
    mail.SetSMTP_Server(u"127.0.0.1"_qs);
    mail.SMTP_Port = peer.Port();
    mail.FROM_Address = u"me@client.test"_qs;
    mail.TO_Address = u"you@server.test"_qs;
    mail.MailText = QStringList{u"hello"_qs};
    mail.Security = TSmtpSecurity(security);
    if (login) {
        mail.UserName = QString::fromUtf8(User);
        mail.Password = QString::fromUtf8(Password);
    }
    mail.SetAction(TMailAction::Send_Mail);
    QTRY_COMPARE_WITH_TIMEOUT(recorder.done, 1, 10000);

    QByteArrayList sent = peer.Commands;
    for (QByteArray &command : sent)
        if (command.startsWith("EHLO ") || command.startsWith("HELO "))
            command.truncate(4);
    QCOMPARE(sent, commands);
    if (error == smeNone) {
        QVERIFY2(recorder.errors.isEmpty(), qPrintable(recorder.errors.value(0).second));
        QVERIFY(mail.Accepted());
        QCOMPARE(peer.RawMessages.size(), 1);
    } else {
        QCOMPARE(recorder.errors.size(), 1);
        QCOMPARE(int(recorder.errors.first().first), error);
        QVERIFY(!mail.Accepted());
        QVERIFY(peer.RawMessages.isEmpty());
    }
    // Neither the password nor the encoded credentials are ever shown.
    for (const QString &trace : recorder.TextsOf(smTraceOut) + recorder.TextsOf(smTraceIn)) {
        for (const QByteArray &secret : {Password, Password.toBase64(), plainCredentials()})
            QVERIFY2(!trace.contains(QString::fromUtf8(secret)), qPrintable(trace));
    }
    QCOMPARE(recorder.Has(smNotEncrypted), security == smtpTlsIfOffered && error == smeNone);
}

QTEST_GUILESS_MAIN(TestMailSecurity)
#include "tst_mail_security.moc"
