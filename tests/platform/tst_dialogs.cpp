// The dialogs seam: the real message box answers with the classic button ids, the scripted
// answerer stands in for every dialog, and the application's handler shows what escapes a
// handler and goes on.

#include "platform/application.h"
#include "platform/dialogs.h"
#include "platform/exceptions.h"
#include "platform/prompt_query.h"
#include "support/scripted_dialogs.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QtTest>

#include "support/when_modal_shows.h"

#include <stdexcept>

using namespace platform;

namespace {

QStringList ButtonTexts(QWidget *dialog)
{
    QStringList texts;
    for (const QAbstractButton *button : dialog->findChildren<QAbstractButton *>()) {
        if (button->isVisible())
            texts.append(button->text());
    }
    texts.sort();
    return texts;
}

QAbstractButton *ButtonWithText(QWidget *dialog, const QString &text)
{
    for (QAbstractButton *button : dialog->findChildren<QAbstractButton *>()) {
        if (button->text() == text)
            return button;
    }
    return nullptr;
}

// A tiny window that asks before it deletes, the way the program's windows ask.
class DeleteWindow : public QWidget {
public:
    DeleteWindow()
    {
        auto *layout = new QVBoxLayout(this);
        button = new QPushButton(QStringLiteral("删除"), this);
        status = new QLabel(this);
        layout->addWidget(button);
        layout->addWidget(status);
        QObject::connect(button, &QPushButton::clicked, this, [this]() { DeleteClick(); });
    }

    void DeleteClick()
    {
        Dialogs &dialogs = CurrentDialogs();
        const QString name = entries.value(0);
        if (dialogs.MessageBox(this, QStringLiteral("确实要删除 %1 吗？").arg(name), QStringLiteral("删除"),
                               Dialogs::Question, Dialogs::YesNo) != Dialogs::Yes) {
            status->setText(QStringLiteral("已取消"));
            return;
        }
        QString reason = QStringLiteral("旧文件");
        if (!dialogs.AskText(this, QStringLiteral("删除"), QStringLiteral("原因："), reason)) {
            status->setText(QStringLiteral("已取消"));
            return;
        }
        entries.removeFirst();
        status->setText(QStringLiteral("已删除：") + reason);
    }

    QStringList entries{QStringLiteral("a.txt"), QStringLiteral("b.txt")};
    QPushButton *button;
    QLabel *status;
};

} // namespace

class TestDialogs : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { InstallDialogs(nullptr); }
    void realMessageBox_data();
    void realMessageBox();
    void realMessageBoxEnter_data();
    void realMessageBoxEnter();
    void realAskText_data();
    void realAskText();
    void scriptedMessageBox_data();
    void scriptedMessageBox();
    void scriptedChoosers();
    void windowAsksThroughTheSeam_data();
    void windowAsksThroughTheSeam();
    void escapedExceptionsShown();
    void fileFilter_data();
    void fileFilter();
};

void TestDialogs::realMessageBox_data()
{
    QTest::addColumn<int>("buttons");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QString>("press");   // empty: the Escape key
    QTest::addColumn<int>("answer");

    const QString ok = QStringLiteral("确定"), cancel = QStringLiteral("取消"), yes = QStringLiteral("是(&Y)"),
                  no = QStringLiteral("否(&N)"), retry = QStringLiteral("重试(&R)"), abort = QStringLiteral("中止(&A)"),
                  ignore = QStringLiteral("忽略(&I)");
    struct Set {
        const char *name;
        Dialogs::Buttons buttons;
        QList<QPair<QString, int>> pressable;
        int escape;
    };
    const QList<Set> sets = {
        {"ok", Dialogs::OkOnly, {{ok, Dialogs::Ok}}, Dialogs::Ok},
        {"ok/cancel", Dialogs::OkCancel, {{ok, Dialogs::Ok}, {cancel, Dialogs::Cancel}}, Dialogs::Cancel},
        {"yes/no", Dialogs::YesNo, {{yes, Dialogs::Yes}, {no, Dialogs::No}}, Dialogs::No},
        {"yes/no/cancel", Dialogs::YesNoCancel, {{yes, Dialogs::Yes}, {no, Dialogs::No}, {cancel, Dialogs::Cancel}},
         Dialogs::Cancel},
        {"retry/cancel", Dialogs::RetryCancel, {{retry, Dialogs::Retry}, {cancel, Dialogs::Cancel}}, Dialogs::Cancel},
        {"abort/retry/ignore", Dialogs::AbortRetryIgnore,
         {{abort, Dialogs::Abort}, {retry, Dialogs::Retry}, {ignore, Dialogs::Ignore}}, Dialogs::Abort},
    };
    for (const Set &set : sets) {
        QStringList texts;
        for (const auto &p : set.pressable)
            texts.append(p.first);
        texts.sort();
        for (const auto &p : set.pressable) {
            QTest::addRow("%s: %s", set.name, qPrintable(p.first)) << int(set.buttons) << texts << p.first << p.second;
        }
        QTest::addRow("%s: escape", set.name) << int(set.buttons) << texts << QString() << set.escape;
    }
}

void TestDialogs::realMessageBox()
{
    QFETCH(int, buttons);
    QFETCH(QStringList, texts);
    QFETCH(QString, press);
    QFETCH(int, answer);

    QStringList shown;
    QString title;
    QString text;
    WhenModalShows([&](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        if (!box) {
            modal->close();
            return;
        }
        shown = ButtonTexts(box);
        title = box->windowTitle();
        text = box->text();
        if (press.isEmpty()) {
            QTest::keyClick(box, Qt::Key_Escape);
        } else if (QAbstractButton *b = ButtonWithText(box, press)) {
            b->click();
        } else {
            box->close();
        }
    });
    const int result = CurrentDialogs().MessageBox(nullptr, QStringLiteral("文件已存在"), QStringLiteral("Tarvo"),
                                                   Dialogs::Question, Dialogs::Buttons(buttons));
    QCOMPARE(shown, texts);
    QCOMPARE(title, QStringLiteral("Tarvo"));
    QCOMPARE(text, QStringLiteral("文件已存在"));
    QCOMPARE(result, answer);
}

// Enter presses the default button: the first of the set unless the caller names another.
void TestDialogs::realMessageBoxEnter_data()
{
    QTest::addColumn<int>("buttons");
    QTest::addColumn<int>("defaultButton");
    QTest::addColumn<int>("answer");

    QTest::newRow("yes/no, first") << int(Dialogs::YesNo) << 0 << int(Dialogs::Yes);
    QTest::newRow("yes/no, no") << int(Dialogs::YesNo) << int(Dialogs::No) << int(Dialogs::No);
    QTest::newRow("ok/cancel, not in the set") << int(Dialogs::OkCancel) << int(Dialogs::No) << int(Dialogs::Ok);
}

void TestDialogs::realMessageBoxEnter()
{
    QFETCH(int, buttons);
    QFETCH(int, defaultButton);
    QFETCH(int, answer);

    WhenModalShows([](QWidget *modal) {
        if (auto *box = qobject_cast<QMessageBox *>(modal))
            QTest::keyClick(box, Qt::Key_Return);
        else
            modal->close();
    });
    QCOMPARE(CurrentDialogs().MessageBox(nullptr, QStringLiteral("确实要删除 \"a.txt\" 吗?"), QStringLiteral("删除"),
                                         Dialogs::Question, Dialogs::Buttons(buttons), defaultButton),
             answer);
}

void TestDialogs::realAskText_data()
{
    QTest::addColumn<bool>("accept");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QString>("value");

    QTest::newRow("confirmed") << true << QStringLiteral("新目录") << true << QStringLiteral("新目录");
    QTest::newRow("confirmed empty") << true << QString() << true << QString();
    QTest::newRow("cancelled") << false << QStringLiteral("新目录") << false << QStringLiteral("pub");
}

void TestDialogs::realAskText()
{
    QFETCH(bool, accept);
    QFETCH(QString, typed);
    QFETCH(bool, result);
    QFETCH(QString, value);

    QString initial;
    QString label;
    QStringList buttons;
    WhenModalShows([&](QWidget *modal) {
        auto *dialog = qobject_cast<PromptQueryDialog *>(modal);
        if (!dialog) {
            modal->close();
            return;
        }
        initial = dialog->Edit->text();
        label = dialog->Prompt->text();
        buttons = ButtonTexts(dialog);
        dialog->Edit->setText(typed);
        accept ? dialog->accept() : dialog->reject();
    });
    QString text = QStringLiteral("pub");
    QCOMPARE(CurrentDialogs().AskText(nullptr, QStringLiteral("新建目录"), QStringLiteral("目录名："), text), result);
    QCOMPARE(text, value);
    QCOMPARE(initial, QStringLiteral("pub"));
    QCOMPARE(label, QStringLiteral("目录名："));
    QCOMPARE(buttons, (QStringList{QStringLiteral("取消"), QStringLiteral("确定")}));
}

void TestDialogs::scriptedMessageBox_data()
{
    QTest::addColumn<int>("buttons");
    QTest::addColumn<int>("queued");   // 0: nothing queued
    QTest::addColumn<int>("answer");

    QTest::newRow("queued yes") << int(Dialogs::YesNo) << int(Dialogs::Yes) << int(Dialogs::Yes);
    QTest::newRow("queued ignore") << int(Dialogs::AbortRetryIgnore) << int(Dialogs::Ignore) << int(Dialogs::Ignore);
    QTest::newRow("unexpected ok") << int(Dialogs::OkOnly) << 0 << int(Dialogs::Ok);
    QTest::newRow("unexpected ok/cancel") << int(Dialogs::OkCancel) << 0 << int(Dialogs::Cancel);
    QTest::newRow("unexpected yes/no") << int(Dialogs::YesNo) << 0 << int(Dialogs::No);
    QTest::newRow("unexpected yes/no/cancel") << int(Dialogs::YesNoCancel) << 0 << int(Dialogs::Cancel);
    QTest::newRow("unexpected retry/cancel") << int(Dialogs::RetryCancel) << 0 << int(Dialogs::Cancel);
    QTest::newRow("unexpected abort/retry/ignore") << int(Dialogs::AbortRetryIgnore) << 0 << int(Dialogs::Abort);
}

void TestDialogs::scriptedMessageBox()
{
    QFETCH(int, buttons);
    QFETCH(int, queued);
    QFETCH(int, answer);

    ScopedScriptedDialogs scripted;
    if (queued)
        scripted->QueueButton(queued);
    QCOMPARE(CurrentDialogs().MessageBox(nullptr, QStringLiteral("续传吗？"), QStringLiteral("Tarvo"),
                                         Dialogs::Warning, Dialogs::Buttons(buttons)),
             answer);
    QCOMPARE(scripted->Calls().size(), 1);
    const ScriptedDialogs::Call call = scripted->Calls().first();
    QCOMPARE(call.kind, ScriptedDialogs::MessageBoxKind);
    QCOMPARE(call.text, QStringLiteral("续传吗？"));
    QCOMPARE(call.caption, QStringLiteral("Tarvo"));
    QCOMPARE(call.icon, Dialogs::Warning);
    QCOMPARE(int(call.buttons), buttons);
    QCOMPARE(call.expected, queued != 0);
    QCOMPARE(scripted->UnexpectedCount(), queued ? 0 : 1);
}

void TestDialogs::scriptedChoosers()
{
    ScopedScriptedDialogs scripted;
    Dialogs &dialogs = CurrentDialogs();

    scripted->QueueDirectory(true, QStringLiteral("/srv/下载"));
    scripted->QueueDirectory(false, QStringLiteral("/ignored"));
    QString directory = QStringLiteral("/home");
    QVERIFY(dialogs.ChooseDirectory(nullptr, QStringLiteral("选择目录"), directory));
    QCOMPARE(directory, QStringLiteral("/srv/下载"));
    QVERIFY(!dialogs.ChooseDirectory(nullptr, QStringLiteral("选择目录"), directory));
    QCOMPARE(directory, QStringLiteral("/srv/下载"));

    scripted->QueueFiles(true, {QStringLiteral("/a"), QStringLiteral("/b")});
    QStringList files{QStringLiteral("/start/x")};
    QVERIFY(dialogs.ChooseOpenFiles(nullptr, QStringLiteral("附件"), QStringLiteral("所有文件 (*)"), files));
    QCOMPARE(files, (QStringList{QStringLiteral("/a"), QStringLiteral("/b")}));

    scripted->QueueSaveFile(true, QStringLiteral("/tmp/list.txt"));
    QString file;
    QVERIFY(dialogs.ChooseSaveFile(nullptr, QStringLiteral("保存"), QString(), file));
    QCOMPARE(file, QStringLiteral("/tmp/list.txt"));

    scripted->QueueColor(true, QColor(Qt::blue));
    QColor color(Qt::red);
    QVERIFY(dialogs.ChooseColor(nullptr, color));
    QCOMPARE(color, QColor(Qt::blue));

    QFont font(QStringLiteral("Sans"), 12);
    scripted->QueueFont(true, QFont(QStringLiteral("Serif"), 9));
    QVERIFY(dialogs.ChooseFont(nullptr, font));
    QCOMPARE(font.family(), QStringLiteral("Serif"));
    QCOMPARE(scripted->UnexpectedCount(), 0);
    QCOMPARE(scripted->PendingAnswers(), 0);

    // Nothing queued: cancelled, values untouched, recorded as unexpected.
    QVERIFY(!dialogs.ChooseFont(nullptr, font));
    QVERIFY(!dialogs.ChooseColor(nullptr, color));
    QString text = QStringLiteral("keep");
    QVERIFY(!dialogs.AskText(nullptr, QStringLiteral("c"), QStringLiteral("p"), text));
    QCOMPARE(font.family(), QStringLiteral("Serif"));
    QCOMPARE(color, QColor(Qt::blue));
    QCOMPARE(text, QStringLiteral("keep"));
    QCOMPARE(scripted->UnexpectedCount(), 3);

    const QList<ScriptedDialogs::Call> opens = scripted->CallsOf(ScriptedDialogs::ChooseOpenFilesKind);
    QCOMPARE(opens.size(), 1);
    QCOMPARE(opens.first().caption, QStringLiteral("附件"));
    QCOMPARE(opens.first().text, QStringLiteral("所有文件 (*)"));
    QCOMPARE(opens.first().initial, QStringLiteral("/start/x"));
    QCOMPARE(scripted->CallsOf(ScriptedDialogs::AskTextKind).first().initial, QStringLiteral("keep"));
}

void TestDialogs::windowAsksThroughTheSeam_data()
{
    QTest::addColumn<int>("button");        // 0: nothing queued
    QTest::addColumn<bool>("textQueued");
    QTest::addColumn<bool>("textOk");
    QTest::addColumn<QString>("status");
    QTest::addColumn<int>("questions");
    QTest::addColumn<int>("entriesLeft");

    QTest::newRow("yes, reason given") << int(Dialogs::Yes) << true << true << QStringLiteral("已删除：过期") << 2 << 1;
    QTest::newRow("yes, reason cancelled") << int(Dialogs::Yes) << true << false << QStringLiteral("已取消") << 2 << 2;
    QTest::newRow("no") << int(Dialogs::No) << false << false << QStringLiteral("已取消") << 1 << 2;
    QTest::newRow("nothing queued") << 0 << false << false << QStringLiteral("已取消") << 1 << 2;
}

void TestDialogs::windowAsksThroughTheSeam()
{
    QFETCH(int, button);
    QFETCH(bool, textQueued);
    QFETCH(bool, textOk);
    QFETCH(QString, status);
    QFETCH(int, questions);
    QFETCH(int, entriesLeft);

    ScopedScriptedDialogs scripted;
    if (button)
        scripted->QueueButton(button);
    if (textQueued)
        scripted->QueueText(textOk, QStringLiteral("过期"));

    // Any real dialog would be modal: note it and close it so the test fails instead of hanging.
    bool realDialogSeen = false;
    QTimer watchdog;
    QObject::connect(&watchdog, &QTimer::timeout, [&realDialogSeen]() {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            realDialogSeen = true;
            modal->close();
        }
    });
    watchdog.start(5);

    DeleteWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTest::mouseClick(window.button, Qt::LeftButton);
    QTest::qWait(20);   // give the watchdog its turns

    QVERIFY(!realDialogSeen);
    const QList<QWidget *> tops = QApplication::topLevelWidgets();
    for (QWidget *top : tops)
        QVERIFY2(!qobject_cast<QDialog *>(top), top->metaObject()->className());

    QCOMPARE(window.status->text(), status);
    QCOMPARE(window.entries.size(), entriesLeft);
    QCOMPARE(scripted->Calls().size(), questions);
    const ScriptedDialogs::Call ask = scripted->Calls().first();
    QCOMPARE(ask.kind, ScriptedDialogs::MessageBoxKind);
    QCOMPARE(ask.text, QStringLiteral("确实要删除 a.txt 吗？"));
    QCOMPARE(ask.buttons, Dialogs::YesNo);
    QCOMPARE(scripted->UnexpectedCount(), button ? 0 : 1);
    if (questions == 2) {
        QCOMPARE(scripted->Calls().at(1).kind, ScriptedDialogs::AskTextKind);
        QCOMPARE(scripted->Calls().at(1).text, QStringLiteral("原因："));
        QCOMPARE(scripted->Calls().at(1).initial, QStringLiteral("旧文件"));
    }
}

void TestDialogs::escapedExceptionsShown()
{
    auto *app = qobject_cast<Application *>(qApp);
    QVERIFY(app);
    ScopedScriptedDialogs scripted;
    const int before = app->ExceptionsShown();

    // From a timer handler.
    QTimer::singleShot(0, []() { throw Exception(QStringLiteral("Cannot open file /srv/ftp.ini")); });
    // From a button's click handler, twice: the program goes on after each.
    QPushButton button(QStringLiteral("go"));
    int clicks = 0;
    QObject::connect(&button, &QPushButton::clicked, [&clicks]() {
        ++clicks;
        throw std::runtime_error("磁盘已满");
    });
    button.show();
    QVERIFY(QTest::qWaitForWindowExposed(&button));
    QTRY_COMPARE_WITH_TIMEOUT(scripted->Calls().size(), 1, 3000);
    QTest::mouseClick(&button, Qt::LeftButton);
    QTest::mouseClick(&button, Qt::LeftButton);
    // Something that is not a std::exception at all.
    QTimer::singleShot(0, []() { throw 42; });
    bool later = false;
    QTimer::singleShot(1, [&later]() { later = true; });
    QTRY_VERIFY_WITH_TIMEOUT(later, 3000);
    QTRY_COMPARE_WITH_TIMEOUT(scripted->Calls().size(), 4, 3000);

    QCOMPARE(clicks, 2);
    QCOMPARE(app->ExceptionsShown() - before, 4);
    const QStringList expected{QStringLiteral("Cannot open file /srv/ftp.ini"), QStringLiteral("磁盘已满"),
                               QStringLiteral("磁盘已满"), QStringLiteral("未知错误")};
    for (int i = 0; i < 4; ++i) {
        const ScriptedDialogs::Call call = scripted->Calls().at(i);
        QCOMPARE(call.kind, ScriptedDialogs::MessageBoxKind);
        QCOMPARE(call.text, expected.at(i));
        QCOMPARE(call.caption, QStringLiteral("Tarvo"));
        QCOMPARE(call.icon, Dialogs::Critical);
        QCOMPARE(call.buttons, Dialogs::OkOnly);
    }
}

void TestDialogs::fileFilter_data()
{
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("qt");

    QTest::newRow("qt style unchanged") << "文本文件 (*.txt);;所有文件 (*)" << "文本文件 (*.txt);;所有文件 (*)";
    QTest::newRow("classic pairs") << "文本文件|*.txt|所有文件|*.*" << "文本文件 (*.txt);;所有文件 (*)";
    QTest::newRow("classic, patterns in the description")
        << "Text (*.txt;*.log)|*.txt;*.log" << "Text (*.txt *.log)";
    QTest::newRow("classic, trailing bar") << "所有文件|*.*|" << "所有文件 (*)";
    QTest::newRow("empty") << "" << "";
}

void TestDialogs::fileFilter()
{
    QFETCH(QString, given);
    QFETCH(QString, qt);
    QCOMPARE(QtFileFilter(given), qt);
}

int main(int argc, char **argv)
{
    Application app(argc, argv);
    app.setApplicationName(QStringLiteral("Tarvo"));
    TestDialogs test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_dialogs.moc"
