// SendMail against a real SMTP server (aiosmtpd) on loopback; what it stored
// is read back with Python's email package and compared with what was sent.

#include "mail_recorder.h"

#include "mail/inetmail.h"
#include "peer_server.h"
#include "platform/tls_session.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using testsupport::PeerServer;

namespace {

QJsonObject parseWithPython(const QByteArray &data, QString *why)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"message.eml"_qs);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size()) {
        *why = u"cannot write the message"_qs;
        return {};
    }
    file.close();
    QProcess python;
    python.start(u"/usr/bin/python3"_qs,
                 {qEnvironmentVariable("TARVO_SOURCE_DIR", QStringLiteral(TARVO_SOURCE_DIR)) + u"/tests/mail/parse_mail.py"_qs,
                  path});
    if (!python.waitForFinished(30000) || python.exitCode() != 0) {
        *why = QString::fromUtf8(python.readAllStandardError());
        return {};
    }
    return QJsonDocument::fromJson(python.readAllStandardOutput()).object();
}

QByteArray patterned(qsizetype size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i) {
        seed = seed * 1103515245u + 12345u;
        bytes[i] = char(seed >> 16);
    }
    return bytes;
}

QString sha256(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

}  // namespace

class TestMailAiosmtpd : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void fullMessage_data();
    void fullMessage();
    void submission_data();
    void submission();

private:
    std::unique_ptr<PeerServer> server_;
};

void TestMailAiosmtpd::initTestCase()
{
    QString why;
    if (!PeerServer::Available(PeerServer::Kind::Smtp, &why))
        QSKIP(qPrintable(why));
    server_ = PeerServer::Start(PeerServer::Kind::Smtp, &why);
    QVERIFY2(server_, qPrintable(why));
}

void TestMailAiosmtpd::fullMessage_data()
{
    QTest::addColumn<QString>("subject");
    QTest::addColumn<QStringList>("text");
    QTest::addColumn<QList<qsizetype>>("attachmentSizes");
    QTest::addColumn<QString>("charset");

    const QStringList mixed{u"第一行：请把文件寄给我。"_qs, u"."_qs, u"col1\tcol2"_qs, u"..two dots"_qs,
                            u"中文和 English 混在一起的一行，比七十个字符还要长得多得多得多得多得多得多得多得多得多得多。"_qs,
                            QString(), u"end"_qs};
    QTest::newRow("chinese, tab, dot line, two attachments")
        << u"测试邮件：FTP 请求 ftp://ftp.example.org/pub/文件.zip"_qs << mixed
        << QList<qsizetype>{100, 3 * 1024 * 1024} << u"utf-8"_qs;
    QTest::newRow("plain ascii without attachments")
        << u"plain request"_qs << QStringList{u"open ftp.example.org anonymous"_qs, u"."_qs, u"quit"_qs}
        << QList<qsizetype>{} << u"us-ascii"_qs;
    QTest::newRow("empty attachment and long subject")
        << QString(u"非常长的主题"_qs).repeated(15) << QStringList{u"body"_qs} << QList<qsizetype>{0, 57}
        << u"us-ascii"_qs;
}

void TestMailAiosmtpd::fullMessage()
{
    QFETCH(QString, subject);
    QFETCH(QStringList, text);
    QFETCH(QList<qsizetype>, attachmentSizes);
    QFETCH(QString, charset);

    QTemporaryDir dir;
    QStringList paths;
    QList<QByteArray> contents;
    for (int i = 0; i < attachmentSizes.size(); ++i) {
        contents.append(patterned(attachmentSizes.at(i), quint32(i + 1)));
        paths.append(dir.filePath(i == 0 ? u"附件一.bin"_qs : u"second file.dat"_qs));
        QFile file(paths.last());
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(contents.last()), contents.last().size());
    }
    const int before = int(server_->Mails().size());

    SendMail mail;
    MailRecorder recorder;
    recorder.Attach(mail);
    mail.SetSMTP_Server(server_->Host());
    mail.SMTP_Port = server_->Port();
    mail.FROM_Name = u"张三"_qs;
    mail.FROM_Address = u"zhangsan@client.test"_qs;
    mail.TO_Name = u"Ftp Mail"_qs;
    mail.TO_Address = u"ftpmail@server.test"_qs;
    mail.Listcc = QStringList{u"copy@server.test|李四"_qs};
    mail.ListBcc = QStringList{u"hidden@server.test"_qs};
    mail.Subject = subject;
    mail.MailText = text;
    mail.Attachments = paths;
    mail.SetAction(TMailAction::Send_Mail);
    QTRY_COMPARE_WITH_TIMEOUT(recorder.done, 1, 60000);
    QVERIFY2(recorder.errors.isEmpty(), qPrintable(recorder.errors.value(0).second));
    QVERIFY(mail.Accepted());

    QTRY_COMPARE_WITH_TIMEOUT(server_->Mails().size(), before + 1, 5000);
    const testsupport::ReceivedMail received = server_->Mails().last();
    QCOMPARE(received.from, QByteArray("zhangsan@client.test"));
    // The envelope holds every recipient, blind ones included.
    QCOMPARE(received.recipients,
             (QByteArrayList{"ftpmail@server.test", "copy@server.test", "hidden@server.test"}));

    QString why;
    const QJsonObject parsed = parseWithPython(received.data, &why);
    QVERIFY2(!parsed.isEmpty(), qPrintable(why));
    QCOMPARE(parsed.value(u"from"_qs).toString(), u"张三 <zhangsan@client.test>"_qs);
    QCOMPARE(parsed.value(u"to"_qs).toArray().toVariantList(),
             QVariantList{u"Ftp Mail <ftpmail@server.test>"_qs});
    QCOMPARE(parsed.value(u"cc"_qs).toArray().toVariantList(), QVariantList{u"李四 <copy@server.test>"_qs});
    QVERIFY(parsed.value(u"bcc"_qs).toArray().isEmpty());
    QVERIFY(!received.data.contains("hidden@server.test"));
    // The Subject line ends with two blanks, which a parser keeps.
    QCOMPARE(parsed.value(u"subject"_qs).toString(), subject + u"  "_qs);
    QCOMPARE(parsed.value(u"charset"_qs).toString(), charset);
    // Without attachments the empty line that follows the text is part of the body.
    const QString trailer = attachmentSizes.isEmpty() ? u"\n\n"_qs : u"\n"_qs;
    QCOMPARE(parsed.value(u"text"_qs).toString(), text.join(u'\n') + trailer);
    QCOMPARE(parsed.value(u"bare_lf"_qs).toInt(), 0);
    QVERIFY(parsed.value(u"longest_line"_qs).toInt() <= 998);
    QCOMPARE(parsed.value(u"defects"_qs).toArray().toVariantList(), QVariantList());

    const QJsonArray attachments = parsed.value(u"attachments"_qs).toArray();
    QCOMPARE(attachments.size(), contents.size());
    for (int i = 0; i < contents.size(); ++i) {
        const QJsonObject part = attachments.at(i).toObject();
        QCOMPARE(part.value(u"name"_qs).toString(), QFileInfo(paths.at(i)).fileName());
        QCOMPARE(part.value(u"size"_qs).toInteger(), contents.at(i).size());
        QCOMPARE(part.value(u"sha256"_qs).toString(), sha256(contents.at(i)));
    }
}

void TestMailAiosmtpd::submission_data()
{
    QTest::addColumn<int>("serverTls");  // PeerServer::Options::Tls
    QTest::addColumn<bool>("serverLogin");
    QTest::addColumn<int>("security");
    QTest::addColumn<bool>("rightPassword");
    QTest::addColumn<int>("error");

    using Tls = PeerServer::Options::Tls;
    QTest::newRow("STARTTLS required by both, login") << int(Tls::ExplicitRequired) << true << int(smtpTlsRequired)
                                                      << true << int(smeNone);
    QTest::newRow("TLS from the first byte, login") << int(Tls::Implicit) << true << int(smtpTlsIfOffered) << true
                                                    << int(smeNone);
    QTest::newRow("wrong password") << int(Tls::Explicit) << true << int(smtpTlsIfOffered) << false
                                    << int(smeAuthFailed);
    QTest::newRow("no STARTTLS, encryption required") << int(Tls::None) << false << int(smtpTlsRequired) << true
                                                      << int(smeTlsRequired);
}

void TestMailAiosmtpd::submission()
{
    QFETCH(int, serverTls);
    QFETCH(bool, serverLogin);
    QFETCH(int, security);
    QFETCH(bool, rightPassword);
    QFETCH(int, error);

    PeerServer::Options options;
    options.tls = PeerServer::Options::Tls(serverTls);
    options.smtpLogin = serverLogin;
    QString why;
    const auto server = PeerServer::Start(PeerServer::Kind::Smtp, options, &why);
    QVERIFY2(server, qPrintable(why));

    // A 3 MiB attachment with a Chinese name, a line far over the 998 limit,
    // a display name that must be quoted and an FTP-by-mail script.
    QTemporaryDir dir;
    const QByteArray content = patterned(3 * 1024 * 1024, 7);
    const QString path = dir.filePath(u"请求 结果.zip"_qs);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(content), content.size());
    file.close();
    const QStringList text{u"open ftp.example.org anonymous"_qs, u"mode binary"_qs, u"get /pub/文件.zip"_qs,
                           QString(2000, u'x'), u"quit"_qs};

    SendMail mail;
    MailRecorder recorder;
    recorder.Attach(mail);
    QStringList fingerprints;
    mail.OnMailCertificate = [&](QObject *, const platform::TlsCertificateInfo &certificate, bool,
                                 TSendMailCertificateAnswer &answer) {
        fingerprints.append(certificate.sha256);
        answer = smCertAcceptOnce;
    };
    mail.TrustStoreFile = dir.filePath(u"trusted-certificates.txt"_qs);
    mail.SetSMTP_Server(server->Host());
    mail.SMTP_Port = server->Port();
    if (options.tls == PeerServer::Options::Tls::Implicit)
        mail.ImplicitTlsPort = server->Port();
    mail.Security = TSmtpSecurity(security);
    mail.UserName = server->User();
    mail.Password = rightPassword ? server->Password() : u"wrong"_qs;
    mail.FROM_Name = u"王五"_qs;
    mail.FROM_Address = u"wangwu@client.test"_qs;
    mail.TO_Name = u"Smith, John"_qs;
    mail.TO_Address = u"john@server.test"_qs;
    mail.ListTo = QStringList{u"plain@server.test"_qs};
    mail.Subject = u"文件请求：请求 结果.zip"_qs;
    mail.MailText = text;
    mail.Attachments = QStringList{path};
    mail.SetAction(TMailAction::Send_Mail);
    QTRY_COMPARE_WITH_TIMEOUT(recorder.done, 1, 60000);

    if (error != smeNone) {
        QCOMPARE(recorder.errors.size(), 1);
        QCOMPARE(int(recorder.errors.first().first), error);
        QVERIFY(!mail.Accepted());
        QVERIFY(!recorder.Has(smSendingMessage));
        QTest::qWait(200);
        QVERIFY(server->Mails().isEmpty());
        return;
    }
    QVERIFY2(recorder.errors.isEmpty(), qPrintable(recorder.errors.value(0).second));
    QVERIFY(mail.Accepted());
    QVERIFY(recorder.Has(smTlsEstablished));
    QCOMPARE(fingerprints, QStringList{server->CertificateSha256()});

    QTRY_COMPARE_WITH_TIMEOUT(server->Mails().size(), 1, 5000);
    const testsupport::ReceivedMail received = server->Mails().first();
    const QJsonObject parsed = parseWithPython(received.data, &why);
    QVERIFY2(!parsed.isEmpty(), qPrintable(why));
    QCOMPARE(parsed.value(u"defects"_qs).toArray().toVariantList(), QVariantList());
    QVERIFY(parsed.value(u"longest_line"_qs).toInt() <= 998);
    QCOMPARE(parsed.value(u"from"_qs).toString(), u"王五 <wangwu@client.test>"_qs);
    QCOMPARE(parsed.value(u"to"_qs).toArray().toVariantList(),
             QVariantList{u"\"Smith, John\" <john@server.test>, plain@server.test"_qs});
    QCOMPARE(parsed.value(u"subject"_qs).toString(), mail.Subject + u"  "_qs);
    QCOMPARE(parsed.value(u"text"_qs).toString(), text.join(u'\n') + u'\n');
    const QJsonArray attachments = parsed.value(u"attachments"_qs).toArray();
    QCOMPARE(attachments.size(), 1);
    QCOMPARE(attachments.at(0).toObject().value(u"name"_qs).toString(), QFileInfo(path).fileName());
    QCOMPARE(attachments.at(0).toObject().value(u"sha256"_qs).toString(), sha256(content));
}

QTEST_GUILESS_MAIN(TestMailAiosmtpd)
#include "tst_mail_aiosmtpd.moc"
