// What the main window shows for each engine notice and how it answers each
// engine question: every row of the info, error and question tables, and the
// status-bar statistics of a transfer.

#include "mainwindow/engine_notices.h"
#include "support/scripted_dialogs.h"

#include <QWidget>
#include <QtTest>

#include <limits>

using platform::Dialogs;

class TestEngineNotices : public QObject {
    Q_OBJECT

private slots:
    void infoStatusText_data();
    void infoStatusText();
    void errorNotice_data();
    void errorNotice();
    void transferStatistics_data();
    void transferStatistics();
    void questions_data();
    void questions();
    void questionFacts_data();
    void questionFacts();
    void fixedTexts();
};

void TestEngineNotices::infoStatusText_data()
{
    QTest::addColumn<int>("info");
    QTest::addColumn<bool>("setsPanel");
    QTest::addColumn<QString>("text");

    QTest::newRow("connected") << int(ftpiConnected) << true << QStringLiteral("  已经连接到 127.0.0.1");
    QTest::newRow("disconnected") << int(ftpiDisconnected) << true << QStringLiteral("  退出连接");
    QTest::newRow("resolving") << int(ftpiResolving) << true << QStringLiteral(" 正在查找 127.0.0.1");
    QTest::newRow("connecting") << int(ftpiConnecting) << true << QStringLiteral(" 连接 127.0.0.1");
    QTest::newRow("resume failed") << int(ftpiResumeFailed) << true << QStringLiteral(" 该主机不支持续传 ");
    QTest::newRow("logged in") << int(ftpiLoggedIn) << true << QStringLiteral("登陆成功");
    QTest::newRow("listing line") << int(ftpiListingLine) << true
                                  << QStringLiteral(" 正在获取主机当前文件列表.....");
    for (FtpInfo other : {ftpiReply, ftpiCommand, ftpiBusy, ftpiResumeSupported, ftpiProgress, ftpiReserved,
                          ftpiTransferDone, ftpiListingReady, ftpiSyntaxError, ftpiFileSize, ftpiAccessDenied})
        QTest::addRow("leaves panel 0: %d", int(other)) << int(other) << false << QString();
    for (int outside : {-1, 18, 1000, std::numeric_limits<int>::min()})
        QTest::addRow("outside the enum: %d", outside) << outside << false << QString();
}

void TestEngineNotices::infoStatusText()
{
    QFETCH(int, info);
    QFETCH(bool, setsPanel);
    QFETCH(QString, text);
    QString panel = QStringLiteral("before");
    QCOMPARE(InfoStatusText(FtpInfo(info), QStringLiteral("127.0.0.1"), &panel), setsPanel);
    QCOMPARE(panel, setsPanel ? text : QStringLiteral("before"));
}

void TestEngineNotices::errorNotice_data()
{
    QTest::addColumn<int>("error");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("text");

    const int message = ErrorNotice::Message;
    const auto row = [&](FtpError e, const char *caption, const char *text) {
        QTest::addRow("%d", int(e)) << int(e) << message << QString::fromUtf8(caption) << QString::fromUtf8(text);
    };
    const char *winsockInit = "Winsock 接口不能初始化，请确认您的机器装有 Winsock.";
    row(ftpeWinsockInit, "Winsock 错误", winsockInit);
    row(ftpeAddressNotAvailable, "Winsock 错误", winsockInit);
    for (FtpError e : {ftpeNetworkDown, ftpeNetworkUnreachable, ftpeHostUnreachable})
        row(e, "网络错误", "网络不通，请确认你目前已经在网络上.");
    for (FtpError e : {ftpeInvalidAddress, ftpeResolve})
        row(e, "解析域名错误", "软件不能解析您要连线的FTP服务器，请确认该服务器是否存在");
    for (FtpError e : {ftpeInternal, ftpeGeneral, ftpeUnknown})
        row(e, "Winsock 错误", "Winsock 发生错误");
    for (FtpError e : {ftpeConnectionAborted, ftpeConnectionReset, ftpeReserved17})
        row(e, "连接错误", "已经退出连接!");
    row(ftpeTimeout, "超时连接错误", "连接超时,已经退出当前连接.");
    row(ftpeOutOfSockets, "", "Winsock 使用过量，请关闭一些Winsock 软件，然后再连接");
    row(ftpeConnectionRefused, "连接错误", "无法连接到 服务器: 连接被拒绝");
    row(ftpeProtocol, "Winsock 错误", "Winsock 错误");
    row(ftpeTransferAborted, "传输终止", "传输被终止.");
    row(ftpeServerNotReady, "服务器错误", "FTP 服务器 Down 了");
    row(ftpeLoginRefused, "拒绝访问", "访问拒绝，请确认用户名和密码正确");
    row(ftpeDataError, "传输错误", "传输数据中发生错误");
    row(ftpeChmodRefused, "修改拒绝", "拒绝修改，属性必须在 0..0477 之间");
    row(ftpeTlsRequired, "加密错误", "服务器不支持 TLS 加密; 按照设置, 不以明文登陆.");
    row(ftpeCertificateRejected, "证书错误", "服务器的证书没有被接受, 连接已断开.");

    const int status = ErrorNotice::Status;
    const QString file = QStringLiteral(" /tmp/文件.txt");
    QTest::newRow("open local") << int(ftpeOpenLocalFile) << status << QString()
                                << QStringLiteral("  不能打开文件 ") + file;
    QTest::newRow("no remote file") << int(ftpeNoRemoteFile) << status << QString()
                                    << QStringLiteral("  不能打开文件 ") + file;
    QTest::newRow("write local") << int(ftpeWriteLocalFile) << status << QString()
                                 << QStringLiteral("  不能写文件 ") + file;
    QTest::newRow("read local") << int(ftpeReadLocalFile) << status << QString()
                                << QStringLiteral("  不能读文件 ") + file;

    const int silent = ErrorNotice::Silent;
    for (int quiet : {int(ftpeNone), int(ftpeNoServer), int(ftpeReserved20), int(ftpeReserved25), -1, 33, 99999,
                      std::numeric_limits<int>::max()})
        QTest::addRow("silent %d", quiet) << quiet << silent << QString() << QString();
}

void TestEngineNotices::errorNotice()
{
    QFETCH(int, error);
    QFETCH(int, kind);
    QFETCH(QString, caption);
    QFETCH(QString, text);
    const ErrorNotice notice = ErrorNoticeFor(FtpError(error), QStringLiteral(" /tmp/文件.txt"));
    QCOMPARE(int(notice.kind), kind);
    QCOMPARE(notice.caption, caption);
    QCOMPARE(notice.text, text);
}

void TestEngineNotices::transferStatistics_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<qint64>("elapsed");
    QTest::addColumn<qint64>("resume");
    QTest::addColumn<qint64>("total");
    QTest::addColumn<qint64>("percent");
    QTest::addColumn<qint64>("rate");
    QTest::addColumn<QString>("size");
    QTest::addColumn<QString>("time");
    QTest::addColumn<QString>("speed");

    // B*100 and B*1000 pass 2^31 here: a 32-bit product would show nonsense.
    QTest::newRow("3 MB of 6 MB in 1.5 s") << qint64(3000000) << qint64(1500) << qint64(0) << qint64(6000000)
                                           << qint64(50) << qint64(2000000)
                                           << QStringLiteral("传输大小:3000000字节 50%")
                                           << QStringLiteral("时间: 0:00:01")
                                           << QStringLiteral("传输速率:2000000(字节/秒)");
    QTest::newRow("3 MB done in 3 s") << qint64(3000000) << qint64(3000) << qint64(0) << qint64(3000000)
                                      << qint64(100) << qint64(1000000)
                                      << QStringLiteral("传输大小:3000000字节 100%")
                                      << QStringLiteral("时间: 0:00:03")
                                      << QStringLiteral("传输速率:1000000(字节/秒)");
    // Resumed at 2 MB: only the megabyte moved since counts towards the rate.
    QTest::newRow("resumed") << qint64(3000000) << qint64(2000) << qint64(2000000) << qint64(4000000)
                             << qint64(75) << qint64(500000) << QStringLiteral("传输大小:3000000字节 75%")
                             << QStringLiteral("时间: 0:00:02") << QStringLiteral("传输速率:500000(字节/秒)");
    // The engine may report the resume point before any new byte: the difference
    // is negative and the rate shows its size.
    QTest::newRow("resume point above bytes") << qint64(1000) << qint64(1000) << qint64(3000) << qint64(5000)
                                              << qint64(20) << qint64(2000)
                                              << QStringLiteral("传输大小:1000字节 20%")
                                              << QStringLiteral("时间: 0:00:01")
                                              << QStringLiteral("传输速率:2000(字节/秒)");
    QTest::newRow("10 TB over 25 hours")
        << qint64(10'000'000'000'000) << qint64(90'061'000) << qint64(0) << qint64(20'000'000'000'000)
        << qint64(50) << qint64(111035853) << QStringLiteral("传输大小:10000000000000字节 50%")
        << QStringLiteral("时间:25:01:01") << QStringLiteral("传输速率:111035853(字节/秒)");
    QTest::newRow("hours over 99") << qint64(1) << qint64(123LL * 3600 * 1000 + 4 * 60 * 1000 + 5999) << qint64(0)
                                   << qint64(0) << qint64(-1) << qint64(0) << QStringLiteral("传输大小:1字节")
                                   << QStringLiteral("时间:123:04:05") << QStringLiteral("传输速率:0(字节/秒)");
    QTest::newRow("no time yet") << qint64(4096) << qint64(0) << qint64(0) << qint64(8192) << qint64(50)
                                 << qint64(0) << QStringLiteral("传输大小:4096字节 50%")
                                 << QStringLiteral("时间: 0:00:00") << QStringLiteral("传输速率:0(字节/秒)");
    QTest::newRow("size unknown") << qint64(500) << qint64(250) << qint64(0) << qint64(0) << qint64(-1)
                                  << qint64(2000) << QStringLiteral("传输大小:500字节")
                                  << QStringLiteral("时间: 0:00:00") << QStringLiteral("传输速率:2000(字节/秒)");
    QTest::newRow("nothing moved") << qint64(0) << qint64(5000) << qint64(100) << qint64(1000) << qint64(0)
                                   << qint64(0) << QStringLiteral("传输大小:0字节 0%")
                                   << QStringLiteral("时间: 0:00:05") << QStringLiteral("传输速率:0(字节/秒)");
    QTest::newRow("file grew past its size") << qint64(300) << qint64(999) << qint64(0) << qint64(200)
                                             << qint64(100) << qint64(300) << QStringLiteral("传输大小:300字节 100%")
                                             << QStringLiteral("时间: 0:00:00")
                                             << QStringLiteral("传输速率:300(字节/秒)");
    const qint64 max = std::numeric_limits<qint64>::max();
    QTest::newRow("largest values") << max << qint64(1) << qint64(0) << max << qint64(100) << max
                                    << QStringLiteral("传输大小:%1字节 100%").arg(max)
                                    << QStringLiteral("时间: 0:00:00") << QStringLiteral("传输速率:%1(字节/秒)").arg(max);
}

void TestEngineNotices::transferStatistics()
{
    QFETCH(qint64, bytes);
    QFETCH(qint64, elapsed);
    QFETCH(qint64, resume);
    QFETCH(qint64, total);
    const TransferStatistics stats = ComputeTransferStatistics(bytes, elapsed, resume, total);
    QTEST(stats.percent, "percent");
    QTEST(stats.rate, "rate");
    QTEST(stats.size, "size");
    QTEST(stats.time, "time");
    QTEST(stats.speed, "speed");
}

namespace {

struct Asked {
    ScriptedDialogs::Kind kind;
    QString caption;
    QString text;
    Dialogs::Icon icon;
    Dialogs::Buttons buttons;
};

} // namespace

void TestEngineNotices::questions_data()
{
    QTest::addColumn<int>("need");
    QTest::addColumn<int>("policy");       // downresume or upresume, whichever the question reads
    QTest::addColumn<int>("button");       // queued message-box answer, 0 for none
    QTest::addColumn<bool>("textOk");      // queued prompt answer
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("asks");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("icon");
    QTest::addColumn<int>("buttons");

    const int box = ScriptedDialogs::MessageBoxKind;
    const int prompt = ScriptedDialogs::AskTextKind;
    const QString info = QStringLiteral("信息");
    const QString confirm = QStringLiteral("确认");
    const int infoIcon = Dialogs::Information;
    const int questionIcon = Dialogs::Question;
    const int ync = Dialogs::YesNoCancel;
    const int yc = Dialogs::YesCancel;

    QTest::newRow("server OK") << int(needServer) << 1 << 0 << true << QStringLiteral("typed")
                               << true << prompt << QStringLiteral("服务器")
                               << QStringLiteral("请输入 FTP 服务器名称") << 0 << 0;
    QTest::newRow("server cancel") << int(needServer) << 1 << 0 << false << QString() << true << prompt
                                   << QStringLiteral("服务器") << QStringLiteral("请输入 FTP 服务器名称") << 0 << 0;
    QTest::newRow("user OK") << int(needUsername) << 1 << 0 << true << QStringLiteral("typed") << true << prompt
                             << QStringLiteral("用户名") << QStringLiteral("请输入登陆用户名") << 0 << 0;
    QTest::newRow("user cancel") << int(needUsername) << 1 << 0 << false << QString() << true << prompt
                                 << QStringLiteral("用户名") << QStringLiteral("请输入登陆用户名") << 0 << 0;

    const int masked = ScriptedDialogs::AskPasswordKind;
    QTest::newRow("password OK") << int(needPassword) << 1 << 0 << true << QStringLiteral("typed") << true << masked
                                 << QStringLiteral("密码") << QStringLiteral("请输入登陆密码") << 0 << 0;
    QTest::newRow("password cancel") << int(needPassword) << 1 << 0 << false << QString() << true << masked
                                     << QStringLiteral("密码") << QStringLiteral("请输入登陆密码") << 0 << 0;
    for (TMFtpInfoNeeded silent : {needAccount, needLocalFile})
        QTest::addRow("never asked %d", int(silent)) << int(silent) << 1 << 0 << false << QString() << false
                                                    << 0 << QString() << QString() << 0 << 0;
    for (int outside : {-1, 9, 4242})
        QTest::addRow("outside the enum %d", outside) << outside << 1 << 0 << false << QString() << false << 0
                                                      << QString() << QString() << 0 << 0;

    struct Resume {
        const char *name;
        TMFtpInfoNeeded need;
        QString text;
    };
    const Resume resumes[] = {
        {"resume download", needResumeDownload,
         QStringLiteral("文件 /home/me/a.zip 已经存在,且长度小于远程文件,要续传吗?")},
        {"resume upload", needResumeUpload,
         QStringLiteral("远程文件 /pub/a.zip 已经存在,且长度小于本地文件,要续传吗?")},
    };
    for (const Resume &r : resumes) {
        const auto ask = [&](const char *what, int button, const QString &answer) {
            QTest::addRow("%s, ask, %s", r.name, what) << int(r.need) << 1 << button << false << answer << true
                                                       << box << info << r.text << infoIcon << ync;
        };
        ask("yes", Dialogs::Yes, QStringLiteral("Resume"));
        ask("no", Dialogs::No, QStringLiteral("overwrite"));
        ask("cancel", Dialogs::Cancel, QString());
        ask("closed", 0, QString());
        const auto quiet = [&](const char *what, int policy, const QString &answer) {
            QTest::addRow("%s, %s", r.name, what) << int(r.need) << policy << 0 << false << answer << false << 0
                                                  << QString() << QString() << 0 << 0;
        };
        quiet("always resume", 2, QStringLiteral("Resume"));
        quiet("always overwrite", 3, QStringLiteral("overwrite"));
        quiet("policy 0", 0, QString());
        quiet("policy 4", 4, QString());
    }

    const Resume overwrites[] = {
        {"overwrite local", needOverwriteLocal,
         QStringLiteral("文件 /home/me/a.zip 已经存在，且长度不小于远程文件，要覆盖原来文件吗?")},
        {"overwrite remote", needOverwriteRemote,
         QStringLiteral("远程文件 /pub/a.zip 已经存在，且长度不小于本地文件，要覆盖原来文件吗?")},
    };
    for (const Resume &r : overwrites) {
        const auto ask = [&](const char *what, int button, const QString &answer) {
            QTest::addRow("%s, ask, %s", r.name, what) << int(r.need) << 1 << button << false << answer << true
                                                       << box << confirm << r.text << questionIcon << yc;
        };
        ask("yes", Dialogs::Yes, QStringLiteral("overwrite"));
        ask("cancel", Dialogs::Cancel, QString());
        ask("closed", 0, QString());
        const auto quiet = [&](const char *what, int policy, const QString &answer) {
            QTest::addRow("%s, %s", r.name, what) << int(r.need) << policy << 0 << false << answer << false << 0
                                                  << QString() << QString() << 0 << 0;
        };
        quiet("always resume skips", 2, QString());
        quiet("always overwrite", 3, QStringLiteral("overwrite"));
        quiet("policy -1", -1, QString());
    }
}

void TestEngineNotices::questions()
{
    QFETCH(int, need);
    QFETCH(int, policy);
    QFETCH(int, button);
    QFETCH(bool, textOk);
    QFETCH(QString, answer);
    QFETCH(bool, asks);

    ScopedScriptedDialogs dialogs;
    if (button)
        dialogs->QueueButton(button);
    if (textOk)
        dialogs->QueueText(true, QStringLiteral("typed"));
    else if (need == needServer || need == needUsername)
        dialogs->QueueText(false, QStringLiteral("ignored on cancel"));

    // The policy the question does not read is set to the opposite, so a
    // question that reads the wrong field answers wrongly.
    const bool upload = need == needResumeUpload || need == needOverwriteRemote;
    QuestionContext context;
    context.downresume = upload ? 3 : policy;
    context.upresume = upload ? policy : 3;
    context.localFile = QStringLiteral("/home/me/a.zip");
    context.remoteFile = QStringLiteral("/pub/a.zip");

    QWidget parent;
    QCOMPARE(AnswerEngineQuestion(&parent, TMFtpInfoNeeded(need), context), answer);

    const QList<ScriptedDialogs::Call> calls = dialogs->Calls();
    QCOMPARE(calls.size(), asks ? 1 : 0);
    QCOMPARE(dialogs->PendingAnswers(), 0);
    if (!asks)
        return;
    const ScriptedDialogs::Call &call = calls.first();
    QTEST(int(call.kind), "kind");
    QTEST(call.caption, "caption");
    QTEST(call.text, "text");
    if (call.kind == ScriptedDialogs::AskTextKind) {
        QVERIFY(call.initial.isEmpty());   // the prompt starts empty
    } else {
        QTEST(int(call.icon), "icon");
        QTEST(int(call.buttons), "buttons");
    }
}

void TestEngineNotices::questionFacts_data()
{
    QTest::addColumn<int>("need");
    QTest::addColumn<qint64>("localSize");
    QTest::addColumn<bool>("localTime");
    QTest::addColumn<qint64>("remoteSize");
    QTest::addColumn<bool>("remoteTime");
    QTest::addColumn<QString>("facts");  // the second line; empty: none

    const QString both = QStringLiteral("本地: 1,234 字节, 2026-12-08 10:15; 远程: 5,678,901,234 字节, 2026-12-08 10:20");
    QTest::newRow("download, all known") << int(needResumeDownload) << qint64(1234) << true << qint64(5678901234)
                                         << true << both;
    QTest::newRow("upload, all known") << int(needOverwriteRemote) << qint64(1234) << true << qint64(5678901234)
                                       << true << both;
    QTest::newRow("no remote time, small sizes")
        << int(needOverwriteLocal) << qint64(999) << true << qint64(0) << false
        << QStringLiteral("本地: 999 字节, 2026-12-08 10:15; 远程: 0 字节");
    QTest::newRow("remote time only") << int(needResumeUpload) << qint64(-1) << false << qint64(-1) << true
                                      << QStringLiteral("远程: 2026-12-08 10:20");
    QTest::newRow("nothing known") << int(needResumeDownload) << qint64(-1) << false << qint64(-1) << false
                                   << QString();
}

void TestEngineNotices::questionFacts()
{
    QFETCH(int, need);
    QFETCH(qint64, localSize);
    QFETCH(bool, localTime);
    QFETCH(qint64, remoteSize);
    QFETCH(bool, remoteTime);
    QFETCH(QString, facts);

    QuestionContext context;
    context.downresume = 1;
    context.upresume = 1;
    context.localFile = QStringLiteral("/home/me/a.zip");
    context.remoteFile = QStringLiteral("/pub/a.zip");
    context.localSize = localSize;
    context.remoteSize = remoteSize;
    // Shown in this machine's time: the remote time comes in UTC.
    if (localTime)
        context.localTime = QDateTime(QDate(2026, 12, 8), QTime(10, 15, 30));
    if (remoteTime)
        context.remoteTime = QDateTime(QDate(2026, 12, 8), QTime(10, 20)).toUTC();

    ScriptedDialogs::Call call;
    {
        ScopedScriptedDialogs dialogs;
        dialogs->QueueButton(Dialogs::Cancel);
        QWidget parent;
        QCOMPARE(AnswerEngineQuestion(&parent, TMFtpInfoNeeded(need), context), QString());
        QCOMPARE(dialogs->Calls().size(), 1);
        call = dialogs->Calls().first();
    }
    // The first line stays the question it always was.
    const QStringList lines = call.text.split(u'\n');
    QCOMPARE(lines.size(), facts.isEmpty() ? 1 : 2);
    QVERIFY(lines.first().endsWith(u'?'));
    QVERIFY(lines.first().contains(need == needResumeUpload || need == needOverwriteRemote ? context.remoteFile
                                                                                         : context.localFile));
    if (!facts.isEmpty())
        QCOMPARE(lines.last(), facts);
}

void TestEngineNotices::fixedTexts()
{
    QCOMPARE(FileSizeText(QStringLiteral("123456")), QStringLiteral("文件总大小:123456字节"));
    QCOMPARE(ResumeSupportedText(), QStringLiteral("该主机支持续传"));
    // The seam's new button set: Yes first, and closing the box is Cancel.
    QCOMPARE(platform::ButtonsOf(Dialogs::YesCancel), (QList<int>{Dialogs::Yes, Dialogs::Cancel}));
    QCOMPARE(platform::EscapeButton(Dialogs::YesCancel), int(Dialogs::Cancel));
}

QTEST_MAIN(TestEngineNotices)
#include "tst_engine_notices.moc"
