// The byte-level encodings of outgoing mail and the reply framing, one row per case.

#include "mail/mime_encoding.h"
#include "mail/reply_lines.h"
#include "mail/smtp_capabilities.h"

#include <QStringDecoder>
#include <QTest>

using namespace mailenc;

namespace {

// RFC 2047 decoding of "Q" words in UTF-8, enough to read back what we wrote.
QString decodeWords(const QByteArray &encoded)
{
    QByteArray unfolded = encoded;
    unfolded.replace("\r\n ", " ");
    QByteArray bytes;
    QList<QByteArray> words = unfolded.split(' ');
    for (const QByteArray &word : words) {
        if (!word.startsWith("=?UTF-8?Q?") || !word.endsWith("?=")) {
            bytes.append(word);
            continue;
        }
        const QByteArray payload = word.mid(10, word.size() - 12);
        for (qsizetype i = 0; i < payload.size(); ++i) {
            if (payload.at(i) == '_')
                bytes.append(' ');
            else if (payload.at(i) == '=' && i + 2 < payload.size() + 1) {
                bytes.append(char(payload.mid(i + 1, 2).toInt(nullptr, 16)));
                i += 2;
            } else
                bytes.append(payload.at(i));
        }
    }
    return QString::fromUtf8(bytes);
}

}  // namespace

class TestMailEncoding : public QObject {
    Q_OBJECT
private slots:
    void headerWord_data();
    void headerWord();
    void headerWordRoundTrip_data();
    void headerWordRoundTrip();
    void headerLine_data();
    void headerLine();
    void quotedPrintable_data();
    void quotedPrintable();
    void foldHeader_data();
    void foldHeader();
    void dotStuffing_data();
    void dotStuffing();
    void replyFraming_data();
    void replyFraming();
    void mailbox_data();
    void mailbox();
    void bodyNeedsEncoding_data();
    void bodyNeedsEncoding();
    void extendedParameter_data();
    void extendedParameter();
    void capabilities_data();
    void capabilities();
};

void TestMailEncoding::headerWord_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("ascii unchanged") << u"Plain subject, with = and ?"_qs << QByteArray("Plain subject, with = and ?");
    QTest::newRow("empty") << QString() << QByteArray();
    QTest::newRow("tab stays in ascii") << u"a\tb"_qs << QByteArray("a\tb");
    QTest::newRow("line break becomes space") << u"a\r\nBcc: x"_qs << QByteArray("a  Bcc: x");
    QTest::newRow("chinese in utf-8") << u"中文"_qs << QByteArray("=?UTF-8?Q?=E4=B8=AD=E6=96=87?=");
    QTest::newRow("space as underscore") << u"é a"_qs << QByteArray("=?UTF-8?Q?=C3=A9_a?=");
    // "?", "_" and "=" would end or garble the word if left literal.
    QTest::newRow("specials encoded") << u"é?_=.\""_qs << QByteArray("=?UTF-8?Q?=C3=A9=3F=5F=3D=2E=22?=");
    QTest::newRow("byte 127 encoded") << QString(QChar(127)) << QByteArray("=?UTF-8?Q?=7F?=");
}

void TestMailEncoding::headerWord()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, expected);
    QCOMPARE(EncodeHeaderWord(text), expected);
}

void TestMailEncoding::headerWordRoundTrip_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("startColumn");
    QTest::newRow("short") << u"文件"_qs << 9;
    QTest::newRow("long chinese") << QString(u"请把这个文件从服务器上取下来然后寄给我，谢谢！"_qs).repeated(4) << 9;
    QTest::newRow("mixed with emoji") << u"报告 report 😀 第二部分 😀 final part of a rather long subject line"_qs << 0;
    QTest::newRow("late start") << u"中文标题很长很长很长很长很长"_qs << 70;
}

void TestMailEncoding::headerWordRoundTrip()
{
    QFETCH(QString, text);
    QFETCH(int, startColumn);
    const QByteArray encoded = EncodeHeaderWord(text, startColumn);
    QCOMPARE(decodeWords(encoded), text);
    const QList<QByteArray> lines = encoded.split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        QByteArray line = lines.at(i);
        if (line.endsWith('\r'))
            line.chop(1);
        // Every word within RFC 2047's 75 characters, every line within 76.
        for (const QByteArray &word : line.trimmed().split(' '))
            QVERIFY2(word.size() <= 75, word.constData());
        QVERIFY2((i == 0 ? startColumn : 0) + line.size() <= 76 || (i == 0 && line.size() <= 75),
                 line.constData());
    }
}

void TestMailEncoding::headerLine_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("ascii subject gets two spaces") << u"Subject: hello world"_qs << QByteArray("Subject: hello world  ");
    QTest::newRow("no colon-space unchanged") << u"X-Flag:set"_qs << QByteArray("X-Flag:set");
    QTest::newRow("only first colon splits") << u"X-A: b: c"_qs << QByteArray("X-A: b: c  ");
    QTest::newRow("chinese value") << u"Subject: 你好"_qs << QByteArray("Subject: =?UTF-8?Q?=E4=BD=A0=E5=A5=BD?=  ");
    QTest::newRow("value cut at 999") << (u"X-L: "_qs + QString(1200, u'a')) << (QByteArray("X-L: ") + QByteArray(999, 'a') + "  ");
}

void TestMailEncoding::headerLine()
{
    QFETCH(QString, line);
    QFETCH(QByteArray, expected);
    QCOMPARE(EncodeHeaderLine(line), expected);
}

void TestMailEncoding::quotedPrintable_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("startColumn");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<int>("endColumn");
    QTest::newRow("printable copied") << QByteArray("abc!~") << 0 << QByteArray("abc!~") << 5;
    QTest::newRow("line break, tab, space, equals") << QByteArray("a\tb =\r\n") << 0
                                                    << QByteArray("a=09b=20=3D\r\n") << 0;
    QTest::newRow("lone CR and LF stay encoded") << QByteArray("a\rb\nc") << 0 << QByteArray("a=0Db=0Ac") << 9;
    QTest::newRow("no soft break right before a line break") << (QByteArray(71, 'x') + "\r\ny") << 0
                                                             << (QByteArray(71, 'x') + "\r\ny") << 1;
    QTest::newRow("blank before a line break encoded") << QByteArray("a \r\n") << 0 << QByteArray("a=20\r\n") << 0;
    QTest::newRow("high bytes") << QByteArray("\xe4\xb8\xad") << 0 << QByteArray("=E4=B8=AD") << 9;
    QTest::newRow("soft break after 70") << QByteArray(71, 'x') << 0 << (QByteArray(71, 'x') + "=\r\n") << 0;
    QTest::newRow("column carried in") << QByteArray("ab") << 69 << QByteArray("ab=\r\n") << 0;
    QTest::newRow("encoded byte crossing 70") << QByteArray("\x01y") << 68 << QByteArray("=01=\r\ny") << 1;
}

void TestMailEncoding::quotedPrintable()
{
    QFETCH(QByteArray, input);
    QFETCH(int, startColumn);
    QFETCH(QByteArray, expected);
    QFETCH(int, endColumn);
    int column = startColumn;
    QCOMPARE(EncodeQuotedPrintable(input, column), expected);
    QCOMPARE(column, endColumn);
}

void TestMailEncoding::foldHeader_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("limit");
    QTest::addColumn<int>("pieces");
    QTest::addColumn<bool>("forcedBreak");
    const QByteArray words = "X-Long: " + QByteArray("word ").repeated(60);  // 308 characters
    QTest::newRow("short stays") << QByteArray("Subject: hi  ") << 253 << 1 << false;
    QTest::newRow("folded at blanks") << words << 253 << 2 << false;
    QTest::newRow("long word kept whole") << ("X-Token: " + QByteArray(300, 't')) << 253 << 2 << false;
    QTest::newRow("existing folds split") << QByteArray("Subject: =?a?=\r\n =?b?=  ") << 253 << 2 << false;
    QTest::newRow("beyond hard limit broken") << ("X-Token: " + QByteArray(2000, 't')) << 253 << 4 << true;
    QTest::newRow("trailing blanks not folded") << (QByteArray(254, 'a') + "  ") << 253 << 1 << false;
}

void TestMailEncoding::foldHeader()
{
    QFETCH(QByteArray, line);
    QFETCH(int, limit);
    QFETCH(int, pieces);
    QFETCH(bool, forcedBreak);
    const QList<QByteArray> folded = FoldHeaderLine(line, limit);
    QCOMPARE(folded.size(), pieces);
    QByteArray joined;
    for (int i = 0; i < folded.size(); ++i) {
        const QByteArray &piece = folded.at(i);
        QVERIFY(piece.size() <= 998);
        QVERIFY(!piece.contains('\n') && !piece.contains('\r'));
        if (i > 0)
            QVERIFY2(piece.startsWith(' ') || piece.startsWith('\t'), "a continuation line starts with white space");
        joined.append(piece);
    }
    // Nothing is lost: unfolding gives the line back (a forced break adds one blank).
    QByteArray original = line;
    original.replace("\r\n", "");
    if (!forcedBreak)
        QCOMPARE(joined, original);
    else
        QCOMPARE(joined.replace(" ", ""), original.replace(" ", ""));
}

void TestMailEncoding::dotStuffing_data()
{
    QTest::addColumn<QByteArrayList>("pieces");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("dot line") << QByteArrayList{"a\r\n.\r\nb\r\n"} << QByteArray("a\r\n..\r\nb\r\n");
    QTest::newRow("at data start") << QByteArrayList{".x\r\n"} << QByteArray("..x\r\n");
    QTest::newRow("across pieces") << QByteArrayList{"a\r\n", ".", "\r\n"} << QByteArray("a\r\n..\r\n");
    QTest::newRow("CR and LF split") << QByteArrayList{"a\r", "\n.b"} << QByteArray("a\r\n..b");
    QTest::newRow("dot inside a line") << QByteArrayList{"a.b\r\n"} << QByteArray("a.b\r\n");
    QTest::newRow("bare LF is no line end") << QByteArrayList{"a\n.b"} << QByteArray("a\n.b");
    QTest::newRow("soft break then dot") << QByteArrayList{"x=\r\n.y"} << QByteArray("x=\r\n..y");
}

void TestMailEncoding::dotStuffing()
{
    QFETCH(QByteArrayList, pieces);
    QFETCH(QByteArray, expected);
    bool atLineStart = true;
    bool afterCR = false;
    QByteArray out;
    for (const QByteArray &piece : pieces)
        out.append(StuffDots(piece, atLineStart, afterCR));
    QCOMPARE(out, expected);
}

void TestMailEncoding::replyFraming_data()
{
    QTest::addColumn<QByteArrayList>("reads");
    QTest::addColumn<QByteArrayList>("lines");
    QTest::addColumn<bool>("overlong");
    QTest::newRow("one line") << QByteArrayList{"220 hi\r\n"} << QByteArrayList{"220 hi"} << false;
    QTest::newRow("split over reads") << QByteArrayList{"22", "0 h", "i\r", "\n250 x\r\n"}
                                      << QByteArrayList{"220 hi", "250 x"} << false;
    QTest::newRow("zero bytes dropped") << QByteArrayList{QByteArray("2\0" "50 ok\r\n", 9)}
                                        << QByteArrayList{"250 ok"} << false;
    QTest::newRow("empty line kept for the caller") << QByteArrayList{"\r\n250 a\r\n"}
                                                    << QByteArrayList{"", "250 a"} << false;
    QTest::newRow("bare LF is not a line end") << QByteArrayList{"250 a\n250 b\r\n"}
                                               << QByteArrayList{"250 a\n250 b"} << false;
    QTest::newRow("endless line") << QByteArrayList{"250 ", QByteArray(ReplyLines::MaxLine + 10, 'x')}
                                  << QByteArrayList{} << true;
}

void TestMailEncoding::replyFraming()
{
    QFETCH(QByteArrayList, reads);
    QFETCH(QByteArrayList, lines);
    QFETCH(bool, overlong);
    ReplyLines framer;
    QByteArrayList got;
    bool sawOverlong = false;
    for (const QByteArray &read : reads) {
        framer.Append(read);
        QByteArray line;
        for (;;) {
            ReplyLines::Result result = framer.Take(line);
            if (result == ReplyLines::NoLine)
                break;
            if (result == ReplyLines::Overlong) {
                sawOverlong = true;
                QVERIFY(line.size() <= 512);
                break;
            }
            got.append(line);
        }
    }
    QCOMPARE(got, lines);
    QCOMPARE(sawOverlong, overlong);
    QVERIFY(framer.Pending().size() <= ReplyLines::MaxLine);
}

QTEST_GUILESS_MAIN(TestMailEncoding)
void TestMailEncoding::mailbox_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("no name: bare") << QString() << u"u@x.test"_qs << QByteArray("u@x.test");
    QTest::newRow("name is the address: bare") << u"u@x.test"_qs << u"u@x.test"_qs << QByteArray("u@x.test");
    QTest::newRow("atoms stay") << u"Ftp Mail"_qs << u"f@x.test"_qs << QByteArray("Ftp Mail <f@x.test>");
    QTest::newRow("comma quoted") << u"Smith, John"_qs << u"j@x.test"_qs << QByteArray("\"Smith, John\" <j@x.test>");
    QTest::newRow("dot quoted") << u"J. Smith"_qs << u"j@x.test"_qs << QByteArray("\"J. Smith\" <j@x.test>");
    QTest::newRow("quote and backslash escaped")
        << u"a \"b\" \\c"_qs << u"a@x.test"_qs << QByteArray("\"a \\\"b\\\" \\\\c\" <a@x.test>");
    QTest::newRow("angle brackets and @ quoted") << u"<x@y>"_qs << u"a@x.test"_qs << QByteArray("\"<x@y>\" <a@x.test>");
    QTest::newRow("chinese with comma: one encoded word")
        << u"张, 三"_qs << u"z@x.test"_qs << QByteArray("=?UTF-8?Q?=E5=BC=A0=2C_=E4=B8=89?= <z@x.test>");
}

void TestMailEncoding::mailbox()
{
    QFETCH(QString, name);
    QFETCH(QString, address);
    QFETCH(QByteArray, expected);
    QCOMPARE(MailboxText(name, address), expected);
}

void TestMailEncoding::bodyNeedsEncoding_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("needed");
    QTest::newRow("plain lines") << QByteArray("open x anonymous\r\nquit\r\n") << false;
    QTest::newRow("998 characters") << QByteArray(998, 'x') + "\r\n" << false;
    QTest::newRow("999 characters") << QByteArray(999, 'x') + "\r\n" << true;
    QTest::newRow("long text of short lines") << QByteArray("abc\r\n").repeated(1000) << false;
    QTest::newRow("tab") << QByteArray("a\tb\r\n") << true;
    QTest::newRow("high byte") << QByteArray("\xe4\xb8\xad\r\n") << true;
}

void TestMailEncoding::bodyNeedsEncoding()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, needed);
    QCOMPARE(NeedsQuotedPrintable(body), needed);
}

void TestMailEncoding::extendedParameter_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("chinese and a blank") << u"附件 一.bin"_qs << QByteArray("UTF-8''%E9%99%84%E4%BB%B6%20%E4%B8%80.bin");
    QTest::newRow("tspecials and percent")
        << u"a;b=c\"d%(e).txt"_qs << QByteArray("UTF-8''a%3Bb%3Dc%22d%25%28e%29.txt");
    QTest::newRow("quote and star") << u"it's*"_qs << QByteArray("UTF-8''it%27s%2A");
}

void TestMailEncoding::extendedParameter()
{
    QFETCH(QString, value);
    QFETCH(QByteArray, expected);
    QCOMPARE(ExtendedParameterValue(value), expected);
}

void TestMailEncoding::capabilities_data()
{
    QTest::addColumn<QByteArrayList>("reply");
    QTest::addColumn<bool>("startTls");
    QTest::addColumn<QByteArrayList>("mechanisms");
    QTest::addColumn<QByteArray>("chosen");
    QTest::newRow("typical") << QByteArrayList{"250-smtp.x.test Hello", "250-SIZE 1000", "250-STARTTLS",
                                               "250 AUTH LOGIN PLAIN XOAUTH2"}
                             << true << QByteArrayList{"LOGIN", "PLAIN", "XOAUTH2"} << QByteArray("PLAIN");
    QTest::newRow("old AUTH= form, lower case, repeats")
        << QByteArrayList{"250-x", "250-auth=login", "250 AUTH LOGIN"} << false << QByteArrayList{"LOGIN"}
        << QByteArray("LOGIN");
    QTest::newRow("first line is the server's name, not a keyword")
        << QByteArrayList{"250-STARTTLS", "250 HELP"} << false << QByteArrayList() << QByteArray();
    QTest::newRow("garbage dropped")
        << QByteArrayList{"250-x", "250-AUTH \x01\xff lo*gin (PLAIN) " + QByteArray(40, 'A'), "250-STARTTLS now",
                          "2", "250-", "garbage line", "250 AUTH CRAM-MD5"}
        << false << QByteArrayList{"CRAM-MD5"} << QByteArray();
}

void TestMailEncoding::capabilities()
{
    QFETCH(QByteArrayList, reply);
    QFETCH(bool, startTls);
    QFETCH(QByteArrayList, mechanisms);
    QFETCH(QByteArray, chosen);
    const SmtpCapabilities parsed = SmtpCapabilities::Parse(reply);
    QCOMPARE(parsed.startTls, startTls);
    QCOMPARE(parsed.authMechanisms, mechanisms);
    QCOMPARE(parsed.ChooseAuth(), chosen);
}

#include "tst_mail_encoding.moc"
