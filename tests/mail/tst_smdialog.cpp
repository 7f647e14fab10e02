// The progress dialog, offscreen, driving a real send to the scripted SMTP server.

#include "scripted_smtp_peer.h"

#include "mail/smdialog.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QScopeGuard>
#include <QTimer>

#include <functional>

namespace {

const QStringList ProgramTexts{u"正在连接"_qs, u"已经连接"_qs, u"收信人 :"_qs, u"正在发送邮件"_qs, u"附件"_qs, u"取消"_qs};

// Calls action once with the progress window as soon as it is on the screen;
// the watch ends with the returned timer.
std::unique_ptr<QTimer> whenShown(const std::function<void(Tsmdlg *)> &action)
{
    auto timer = std::make_unique<QTimer>();
    timer->setInterval(5);
    QTimer *watch = timer.get();
    QObject::connect(watch, &QTimer::timeout, [watch, action] {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (auto *window = qobject_cast<Tsmdlg *>(widget); window && window->isVisible()) {
                watch->stop();
                action(window);
                return;
            }
        }
    });
    timer->start();
    return timer;
}

void fillMessage(SendMailDialog &dialog, quint16 port)
{
    dialog.SMTP_Server = u"127.0.0.1"_qs;
    dialog.SMTP_Port = port;
    dialog.FROM_Address = u"me@client.test"_qs;
    dialog.TO_Address = u"ftpmail@server.test"_qs;
    dialog.MailText = QStringList{u"open ftp.example.org anonymous"_qs, u"get /pub/a.zip"_qs, u"quit"_qs};
    dialog.LanguageStrings = ProgramTexts;
}

quint16 closedPort()
{
    ScriptedSmtpPeer peer;
    peer.Listen();
    return peer.Port();
}

Tsmdlg *windowOf(QObject *sender)
{
    return qobject_cast<Tsmdlg *>(sender->parent());
}

}  // namespace

class TestSmDialog : public QObject {
    Q_OBJECT
private slots:
    void statusTexts();
    void barFollowsAttachment();
    void layout_data();
    void layout();
    void customPosition();
    void refusedConnection();
    void cancelButton();
    void inactivityLimit();
    void severalMessagesOnOneConnection();
    void failedMessageEndsTheRow();
    void cancelAsTheMessageIsAccepted();
    void screenshot();
};

void TestSmDialog::statusTexts()
{
    ScriptedSmtpPeer peer;
    QVERIFY(peer.Listen());
    SendMailDialog dialog;
    fillMessage(dialog, peer.Port());
    dialog.Listcc = QStringList{u"copy@server.test"_qs};
    QStringList seen;
    QString counterAtEnd;
    dialog.OnSendMailInfo = [&](QObject *sender, SendMailInfo info, const QString &) {
        Tsmdlg *window = windowOf(sender);
        QVERIFY(window);
        // The hook runs before the window handles the notice: what it sees is
        // the status that the previous notices left.
        if (seen.isEmpty() || seen.last() != window->StatusLine())
            seen.append(window->StatusLine());
        if (info == smMessageAccepted)
            counterAtEnd = window->CounterText();
    };
    QVERIFY(dialog.Execute());
    QCOMPARE(seen, (QStringList{u"127.0.0.1 正在连接"_qs, u"127.0.0.1 已经连接"_qs, u"ftpmail@server.test 收信人 :"_qs,
                                u"copy@server.test 收信人 :"_qs, u"正在发送邮件"_qs}));
    QCOMPARE(counterAtEnd, u"54"_qs);  // the script's bytes with their line ends
    QCOMPARE(peer.RawMessages.size(), 1);
}

void TestSmDialog::barFollowsAttachment()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"setup.zip"_qs);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(5000, 'z'));
    file.close();

    ScriptedSmtpPeer peer;
    QVERIFY(peer.Listen());
    SendMailDialog dialog;
    fillMessage(dialog, peer.Port());
    dialog.Attachments = QStringList{path};
    struct Snapshot {
        SendMailInfo after;
        qint64 total, position;
        QString status;
        QImage bar;
    };
    QList<Snapshot> snapshots;
    SendMailInfo previous = smTraceOut;
    dialog.OnSendMailInfo = [&](QObject *sender, SendMailInfo info, const QString &) {
        Tsmdlg *window = windowOf(sender);
        if (previous == smAttachmentName || previous == smAttachmentBytes || previous == smSendingMessage)
            snapshots.append({previous, window->BarTotal(), window->BarPosition(), window->StatusLine(),
                              window->PaintBox1->grab().toImage()});
        previous = info;
    };
    QVERIFY(dialog.Execute());

    auto isBar = [](const QImage &image, int x) {
        return image.pixelColor(x, image.height() / 2) == QColor(Qt::blue);
    };
    // Text first: the bar is full when the text has gone out.
    auto text = std::find_if(snapshots.begin(), snapshots.end(), [](const Snapshot &s) { return s.after == smSendingMessage; });
    QVERIFY(text != snapshots.end());
    QCOMPARE(text->position, text->total);
    QVERIFY(isBar(text->bar, text->bar.width() - 3));
    // The attachment restarts it from empty...
    auto restart = std::find_if(snapshots.begin(), snapshots.end(), [](const Snapshot &s) { return s.after == smAttachmentName; });
    QVERIFY(restart != snapshots.end());
    QCOMPARE(restart->total, 1);
    QCOMPARE(restart->position, 0);
    QCOMPARE(restart->status, u"setup.zip 附件"_qs);
    QVERIFY(!isBar(restart->bar, restart->bar.width() / 2));
    // ...and ends full when the byte count reaches the size.
    const Snapshot &last = snapshots.last();
    QCOMPARE(last.after, smAttachmentBytes);
    QCOMPARE(last.total, 5000);
    QCOMPARE(last.position, 5000);
    QVERIFY(isBar(last.bar, last.bar.width() - 3));
    // Half way, half a bar.
    auto half = std::find_if(snapshots.begin(), snapshots.end(), [](const Snapshot &s) {
        return s.after == smAttachmentBytes && s.position >= 2500;
    });
    QVERIFY(half != snapshots.end());
    QVERIFY(isBar(half->bar, half->bar.width() / 4));
    QVERIFY(!isBar(half->bar, half->bar.width() - 3));
}

void TestSmDialog::layout_data()
{
    QTest::addColumn<int>("options");
    QTest::addColumn<QSize>("size");
    QTest::newRow("nothing") << 0 << QSize(3, 6);
    QTest::newRow("bar only") << int(SendMailDialogObjects::StatusBar) << QSize(206, 27);
    QTest::newRow("all four") << 15 << QSize();
    QTest::newRow("counter and bar") << int(SendMailDialogObjects::StatusBar) + int(SendMailDialogObjects::ByteCounter)
                                     << QSize();
    QTest::newRow("button alone") << int(SendMailDialogObjects::CancelButton) << QSize();
}

void TestSmDialog::layout()
{
    QFETCH(int, options);
    QFETCH(QSize, size);
    // A server that keeps silent holds the window open until the check cancels it.
    ScriptedSmtpPeer peer;
    QVERIFY(peer.Listen());
    peer.Greeting = ScriptedSmtpPeer::Silent;
    SendMailDialog dialog;
    fillMessage(dialog, peer.Port());
    dialog.Options = TSendMailDialogOptions::fromInt(options);
    dialog.Caption = u"发送"_qs;
    bool checked = false;
    auto watch = whenShown([&](Tsmdlg *window) {
        checked = true;
        auto closeAtEnd = qScopeGuard([window] { window->reject(); });
        const QSize client = window->size();
        if (size.isValid())
            QCOMPARE(client, size);
        QCOMPARE(window->Status->isVisible(), bool(options & int(SendMailDialogObjects::StatusText)));
        QCOMPARE(window->Panel1->isVisible(), bool(options & int(SendMailDialogObjects::StatusBar)));
        QCOMPARE(window->counter->isVisible(), bool(options & int(SendMailDialogObjects::ByteCounter)));
        QCOMPARE(window->cancel->isVisible(), bool(options & int(SendMailDialogObjects::CancelButton)));
        for (QWidget *child : {static_cast<QWidget *>(window->Status), static_cast<QWidget *>(window->Panel1),
                               static_cast<QWidget *>(window->counter), static_cast<QWidget *>(window->cancel)}) {
            if (child->isVisible())
                QVERIFY2(QRect(QPoint(), client).contains(child->geometry()), child->metaObject()->className());
        }
        if (window->Panel1->isVisible()) {
            QCOMPARE(window->Panel1->size(), QSize(200, 18));
            QCOMPARE(window->Panel1->x(), (client.width() - 200) / 2);
        }
        if (window->Status->isVisible())
            QCOMPARE(window->Status->width(), client.width());
        if (window->cancel->isVisible() && window->counter->isVisible()) {
            QCOMPARE(window->cancel->geometry().right() + 1, client.width() - 3);
            QCOMPARE(window->counter->x(), 3);
            QCOMPARE(window->cancel->y(), window->counter->y());
            QVERIFY(!window->cancel->geometry().intersects(window->counter->geometry()));
        } else if (window->cancel->isVisible()) {
            QCOMPARE(window->cancel->x(), (client.width() - window->cancel->width()) / 2);
        }
        if (window->cancel->isVisible())
            QCOMPARE(window->cancel->text(), u"取消"_qs);
    });
    QVERIFY(!dialog.Execute());
    QVERIFY(checked);
}

void TestSmDialog::customPosition()
{
    ScriptedSmtpPeer peer;
    QVERIFY(peer.Listen());
    peer.Greeting = ScriptedSmtpPeer::Silent;
    SendMailDialog dialog;
    fillMessage(dialog, peer.Port());
    dialog.Position = TSendMailDialogPos::Custom;
    dialog.WindowLeft = 10;
    dialog.WindowTop = 20;
    QPoint where;
    auto watch = whenShown([&](Tsmdlg *window) {
        where = window->pos();
        window->reject();
    });
    QVERIFY(!dialog.Execute());
    QCOMPARE(where, QPoint(10, 20));
}

void TestSmDialog::refusedConnection()
{
    SendMailDialog dialog;
    fillMessage(dialog, closedPort());
    QList<SendMailInfo> notices;
    dialog.OnSendMailInfo = [&](QObject *, SendMailInfo info, const QString &) { notices.append(info); };
    QVERIFY(!dialog.Execute());
    QVERIFY(!notices.contains(smServerConnected));
    for (QWidget *widget : QApplication::topLevelWidgets())
        QVERIFY(!qobject_cast<Tsmdlg *>(widget));  // destroyed before Execute returned
}

void TestSmDialog::cancelButton()
{
    ScriptedSmtpPeer peer;
    QVERIFY(peer.Listen());
    peer.Greeting = ScriptedSmtpPeer::Silent;
    SendMailDialog dialog;
    fillMessage(dialog, peer.Port());
    bool connected = false;
    dialog.OnSendMailInfo = [&](QObject *sender, SendMailInfo info, const QString &) {
        if (info != smServerConnected)
            return;
        connected = true;
        // Pressed once the connection is up and the server keeps silent.
        Tsmdlg *window = windowOf(sender);
        QTimer::singleShot(50, window, [window] { QTest::mouseClick(window->cancel, Qt::LeftButton); });
    };
    QVERIFY(!dialog.Execute());
    QVERIFY(connected);
    QTRY_VERIFY_WITH_TIMEOUT(peer.ClientClosed, 5000);
    QVERIFY(peer.Commands.isEmpty());
}

void TestSmDialog::inactivityLimit()
{
    ScriptedSmtpPeer peer;
    QVERIFY(peer.Listen());
    peer.Greeting = ScriptedSmtpPeer::Silent;
    SendMailDialog dialog;
    fillMessage(dialog, peer.Port());
    dialog.InactivityLimitMs = 300;
    QVERIFY(!dialog.Execute());
    QCOMPARE(peer.Connections, 1);
    QTRY_VERIFY_WITH_TIMEOUT(peer.ClientClosed, 5000);
}

void TestSmDialog::severalMessagesOnOneConnection()
{
    ScriptedSmtpPeer peer;
    QVERIFY(peer.Listen());
    SendMailDialog dialog;
    fillMessage(dialog, peer.Port());
    dialog.Caption = u"FTP 邮件"_qs;
    dialog.KeepConnectionOpen = true;
    QStringList captions;
    int setups = 0;
    dialog.OnSetupNextMessage = [&](QObject *sender) {
        ++setups;
        captions.append(static_cast<QWidget *>(sender)->windowTitle());
        dialog.MailText = QStringList{QStringLiteral("message %1").arg(setups + 1)};
        dialog.TO_Address = QStringLiteral("next%1@server.test").arg(setups);
        if (setups == 2)
            dialog.KeepConnectionOpen = false;  // the last one
    };
    QVERIFY(dialog.Execute());
    QCOMPARE(setups, 2);
    QCOMPARE(captions.first(), u"FTP 邮件"_qs);
    QCOMPARE(peer.Connections, 1);
    QCOMPARE(peer.RawMessages.size(), 3);
    QVERIFY(peer.RawMessages.at(2).endsWith("message 3\r\n\r\n"));
    QCOMPARE(peer.Commands.count("QUIT"), 1);
    QCOMPARE(peer.Commands.last(), QByteArray("QUIT"));
    QVERIFY(peer.Commands.contains("RCPT TO:<next2@server.test>"));
}

void TestSmDialog::failedMessageEndsTheRow()
{
    SendMailDialog dialog;
    fillMessage(dialog, closedPort());
    dialog.KeepConnectionOpen = true;
    int setups = 0;
    dialog.OnSetupNextMessage = [&](QObject *) { ++setups; };
    QVERIFY(!dialog.Execute());
    QCOMPARE(setups, 0);
}

void TestSmDialog::cancelAsTheMessageIsAccepted()
{
    // The cancel press is handled just before the sender's end notice: the
    // window is closing, so the row of messages ends there and the accepted
    // message still counts.
    ScriptedSmtpPeer peer;
    QVERIFY(peer.Listen());
    SendMailDialog dialog;
    fillMessage(dialog, peer.Port());
    dialog.KeepConnectionOpen = true;
    int setups = 0;
    dialog.OnSetupNextMessage = [&](QObject *) { ++setups; };
    dialog.OnSendMailInfo = [&](QObject *sender, SendMailInfo info, const QString &) {
        if (info != smMessageAccepted)
            return;
        // Queued ahead of the sender's end notice, as a press made just then.
        Tsmdlg *window = windowOf(sender);
        QMetaObject::invokeMethod(
            window, [window] { QTest::mouseClick(window->cancel, Qt::LeftButton); }, Qt::QueuedConnection);
    };
    QVERIFY(dialog.Execute());
    QCOMPARE(setups, 0);
    QCOMPARE(peer.Connections, 1);
    QCOMPARE(peer.Commands.count("MAIL FROM:<me@client.test>"), 1);
}

void TestSmDialog::screenshot()
{
    // Looked at by eye; written only when a folder is named.
    const QString folder = qEnvironmentVariable("TARVO_SCREENSHOT_DIR");
    QTemporaryDir dir;
    const QString path = dir.filePath(u"hello-2.12.tar.gz"_qs);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(20000, 'h'));
    file.close();
    ScriptedSmtpPeer peer;
    QVERIFY(peer.Listen());
    SendMailDialog dialog;
    fillMessage(dialog, peer.Port());
    dialog.Caption = u"发送 FTP 邮件"_qs;
    QFont font(u"宋体"_qs);
    font.setFamilies({u"宋体"_qs, u"Noto Sans CJK SC"_qs});
    font.setPixelSize(12);
    dialog.Font = font;
    dialog.Attachments = QStringList{path};
    QImage shot;
    dialog.OnSendMailInfo = [&](QObject *sender, SendMailInfo info, const QString &text) {
        if (info == smAttachmentBytes && text.toInt() >= 11000 && shot.isNull())
            shot = windowOf(sender)->grab().toImage();
    };
    QVERIFY(dialog.Execute());
    QVERIFY(!shot.isNull());
    if (!folder.isEmpty())
        QVERIFY(shot.save(folder + u"/mail-progress.png"_qs));
}

QTEST_MAIN(TestSmDialog)
#include "tst_smdialog.moc"
