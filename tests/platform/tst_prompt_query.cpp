// The one-line text question: its layout in dialog units of the font it is given, and the
// answers it returns for each way of closing it, called directly and through the dialogs seam.

#include "platform/dialogs.h"
#include "platform/prompt_query.h"

#include <QApplication>
#include <QFontMetrics>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QtTest>

#include "support/when_modal_shows.h"

#include <cmath>
#include <functional>
#include <memory>

using namespace platform;

namespace {

// Runs `act` on the prompt dialog once it shows; any other modal widget is closed.
void WhenPromptShows(std::function<void(PromptQueryDialog *)> act)
{
    WhenModalShows([act](QWidget *modal) {
        if (auto *dialog = qobject_cast<PromptQueryDialog *>(modal))
            act(dialog);
        else
            modal->close();
    });
}

// Dialog units worked out here from the font, apart from the code under test.
struct Units {
    double x;
    double y;
    int H(int h) const { return int(std::floor(h * x / 4.0 + 0.5)); }
    int V(int v) const { return int(std::floor(v * y / 8.0 + 0.5)); }
};

Units UnitsOf(const QFont &font)
{
    const QFontMetrics metrics(font);
    QString letters;
    for (char16_t c = u'A'; c <= u'Z'; ++c)
        letters.append(QChar(c));
    for (char16_t c = u'a'; c <= u'z'; ++c)
        letters.append(QChar(c));
    return {double(metrics.horizontalAdvance(letters) / 52), double(metrics.height())};
}

// Latin text is typed key by key; anything else arrives as an input method commits it.
void Type(QWidget *widget, const QString &text)
{
    bool latin = true;
    for (QChar c : text)
        latin = latin && c.unicode() < 0x80;
    if (latin) {
        QTest::keyClicks(widget, text);
        return;
    }
    QInputMethodEvent commit;
    commit.setCommitString(text);
    QApplication::sendEvent(widget, &commit);
}

QFont FontOf(const QString &family, int points)
{
    QFont font(family);
    font.setPointSize(points);
    return font;
}

} // namespace

class TestPromptQuery : public QObject {
    Q_OBJECT
private slots:
    void layout_data();
    void layout();
    void answers_data();
    void answers();
};

void TestPromptQuery::layout_data()
{
    QTest::addColumn<QFont>("font");
    QTest::addColumn<QString>("prompt");

    QTest::newRow("application font") << QApplication::font() << QStringLiteral("请输入服务器地址:");
    QTest::newRow("CJK 9 pt") << FontOf(QStringLiteral("Noto Sans CJK SC"), 9) << QStringLiteral("目录名:");
    QTest::newRow("CJK 16 pt") << FontOf(QStringLiteral("Noto Sans CJK SC"), 16)
                               << QStringLiteral("请输入新的文件名:");
    QTest::newRow("DejaVu 11 pt") << FontOf(QStringLiteral("DejaVu Sans"), 11) << QStringLiteral("User name:");
    QTest::newRow("DejaVu 7 pt, long prompt")
        << FontOf(QStringLiteral("DejaVu Sans"), 7) << QStringLiteral("Enter the remote directory to change to:");
}

void TestPromptQuery::layout()
{
    QFETCH(QFont, font);
    QFETCH(QString, prompt);

    const Units u = UnitsOf(font);
    QVERIFY(u.x > 0 && u.y > 0);
    PromptQueryDialog dialog(QStringLiteral("标题"), prompt, QStringLiteral("start"), font);

    QCOMPARE(dialog.windowTitle(), QStringLiteral("标题"));
    QCOMPARE(dialog.font(), font);
    QCOMPARE(dialog.size(), QSize(u.H(180), u.V(63)));
    QCOMPARE(dialog.minimumSize(), dialog.maximumSize());

    QCOMPARE(dialog.Prompt->text(), prompt);
    QCOMPARE(dialog.Prompt->pos(), QPoint(u.H(8), u.V(8)));
    QVERIFY2(dialog.Prompt->width() >= QFontMetrics(font).horizontalAdvance(prompt), "prompt clipped");

    QCOMPARE(dialog.Edit->pos(), QPoint(u.H(8), u.V(19)));
    QCOMPARE(dialog.Edit->width(), u.H(164));
    QVERIFY(dialog.Edit->height() >= QFontMetrics(font).height());
    QCOMPARE(dialog.Edit->text(), QStringLiteral("start"));
    QCOMPARE(dialog.Edit->selectedText(), QStringLiteral("start"));

    QCOMPARE(dialog.OkButton->text(), QStringLiteral("确定"));
    QCOMPARE(dialog.OkButton->geometry(), QRect(u.H(38), u.V(41), u.H(50), u.V(14)));
    QCOMPARE(dialog.CancelButton->text(), QStringLiteral("取消"));
    QCOMPARE(dialog.CancelButton->geometry(), QRect(u.H(92), u.V(41), u.H(50), u.V(14)));
    // Nothing sticks out of the client area.
    QVERIFY(dialog.rect().contains(dialog.Edit->geometry()));
    QVERIFY(dialog.rect().contains(dialog.OkButton->geometry()));
    QVERIFY(dialog.rect().contains(dialog.CancelButton->geometry()));

    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const QPoint centre = dialog.geometry().center();
    QVERIFY2(std::abs(centre.x() - screen.center().x()) <= 1 && std::abs(centre.y() - screen.center().y()) <= 1,
             "not centred on the screen");
}

enum Close { OkClick, EnterKey, CancelClick, EscapeKey, CloseBox };

void TestPromptQuery::answers_data()
{
    QTest::addColumn<bool>("throughSeam");
    QTest::addColumn<QString>("start");
    QTest::addColumn<bool>("erase");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("close");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QString>("value");

    const QString pub = QStringLiteral("pub");
    const QString x300(300, u'x');
    QTest::newRow("OK keeps the start text") << false << pub << false << QString() << int(OkClick) << true << pub;
    QTest::newRow("typing replaces the selected start text, Enter")
        << false << pub << false << QStringLiteral("incoming") << int(EnterKey) << true << QStringLiteral("incoming");
    QTest::newRow("OK with an empty field") << false << pub << true << QString() << int(OkClick) << true << QString();
    QTest::newRow("300 typed, 255 kept")
        << false << QString() << false << x300 << int(EnterKey) << true << QString(255, u'x');
    QTest::newRow("a long start text comes back whole")
        << false << QString(300, u'b') << false << QString() << int(OkClick) << true << QString(300, u'b');
    QTest::newRow("Cancel after editing") << false << pub << false << QStringLiteral("new") << int(CancelClick)
                                          << false << pub;
    QTest::newRow("Escape after editing") << false << pub << false << QStringLiteral("new") << int(EscapeKey)
                                          << false << pub;
    QTest::newRow("closed after editing") << false << pub << true << QString() << int(CloseBox) << false << pub;
    QTest::newRow("seam: Chinese answer, Enter")
        << true << QStringLiteral("目录") << false << QStringLiteral("新目录") << int(EnterKey) << true
        << QStringLiteral("新目录");
    QTest::newRow("seam: Escape") << true << pub << false << QStringLiteral("new") << int(EscapeKey) << false << pub;
}

void TestPromptQuery::answers()
{
    QFETCH(bool, throughSeam);
    QFETCH(QString, start);
    QFETCH(bool, erase);
    QFETCH(QString, typed);
    QFETCH(int, close);
    QFETCH(bool, result);
    QFETCH(QString, value);

    // The seam asks with the parent's font; a direct call with the one it is given.
    QWidget parent;
    parent.setFont(FontOf(QStringLiteral("Noto Sans CJK SC"), 13));
    const QFont direct = FontOf(QStringLiteral("DejaVu Sans"), 10);
    const QFont expectedFont = throughSeam ? parent.font() : direct;

    bool shown = false;
    QString startSelected;
    QFont shownFont;
    QString caption;
    QString label;
    WhenPromptShows([&](PromptQueryDialog *dialog) {
        shown = true;
        startSelected = dialog->Edit->selectedText();
        shownFont = dialog->font();
        caption = dialog->windowTitle();
        label = dialog->Prompt->text();
        if (erase)
            QTest::keyClick(dialog->Edit, Qt::Key_Backspace);
        Type(dialog->Edit, typed);
        switch (close) {
        case OkClick:
            QTest::mouseClick(dialog->OkButton, Qt::LeftButton);
            break;
        case EnterKey:
            QTest::keyClick(dialog->Edit, Qt::Key_Return);
            break;
        case CancelClick:
            QTest::mouseClick(dialog->CancelButton, Qt::LeftButton);
            break;
        case EscapeKey:
            QTest::keyClick(dialog->Edit, Qt::Key_Escape);
            break;
        case CloseBox:
            dialog->close();
            break;
        }
    });

    QString answer = start;
    const bool answered = throughSeam
        ? CurrentDialogs().AskText(&parent, QStringLiteral("改名"), QStringLiteral("新名字:"), answer)
        : PromptQuery(QStringLiteral("改名"), QStringLiteral("新名字:"), answer, direct, nullptr);

    QVERIFY(shown);
    QCOMPARE(answered, result);
    QCOMPARE(answer, value);
    QCOMPARE(startSelected, start);
    QCOMPARE(shownFont, expectedFont);
    QCOMPARE(caption, QStringLiteral("改名"));
    QCOMPARE(label, QStringLiteral("新名字:"));
    // The dialog is gone once the question is answered.
    QCOMPARE(parent.findChildren<PromptQueryDialog *>().size(), 0);
}

QTEST_MAIN(TestPromptQuery)
#include "tst_prompt_query.moc"
