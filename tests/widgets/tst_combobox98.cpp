#include "widgets/combobox98.h"

#include <QApplication>
#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QRegularExpression>
#include <QtTest>

using Steps = QStringList;
using Styles = QList<int>;
Q_DECLARE_METATYPE(Styles)

class TstComboBox98 : public QObject
{
    Q_OBJECT

private slots:
    void completion_data();
    void completion();
    void virtualKeys_data();
    void virtualKeys();
    void keyDown_data();
    void keyDown();

private:
    static void play(TComboBox98 &box, const QString &step);
};

// A step is typed text, or one of {BS} {DEL} {CUT} {SELALL} {DOWN} {ENTER}
// {FOCUSOUT} {IME:text} {BOX:text}; keys go to the edit field, or to the box itself
// when it has none.
void TstComboBox98::play(TComboBox98 &box, const QString &step)
{
    QWidget *target = box.lineEdit() ? static_cast<QWidget *>(box.lineEdit()) : &box;
    if (step == u"{BS}")
        QTest::keyClick(target, Qt::Key_Backspace);
    else if (step == u"{DEL}")
        QTest::keyClick(target, Qt::Key_Delete);
    else if (step == u"{CUT}")
        QTest::keyClick(target, Qt::Key_X, Qt::ControlModifier);
    else if (step == u"{SELALL}")
        QTest::keyClick(target, Qt::Key_A, Qt::ControlModifier);
    else if (step == u"{DOWN}")
        QTest::keyClick(target, Qt::Key_Down);
    else if (step == u"{ENTER}")
        QTest::keyClick(target, Qt::Key_Return);
    else if (step == u"{FOCUSOUT}") {
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(target, &out);
    } else if (step.startsWith(u"{IME:")) {
        QInputMethodEvent commit;
        commit.setCommitString(step.mid(5, step.size() - 6));
        QApplication::sendEvent(target, &commit);
    } else if (step.startsWith(u"{BOX:")) {
        // Where a real keyboard sends it: the box has the focus and hands
        // the keys on to its edit field.
        QTest::keyClicks(&box, step.mid(5, step.size() - 6));
    } else
        QTest::keyClicks(target, step);
}

void TstComboBox98::completion_data()
{
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<Styles>("styles");
    QTest::addColumn<bool>("complete");
    QTest::addColumn<int>("minLength");
    QTest::addColumn<QString>("handler");  // "record", "veto", "change:<rest>", "none"
    QTest::addColumn<Steps>("steps");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("selected");
    QTest::addColumn<QStringList>("log");

    const QStringList ab{u"abcd"_qs, u"abxy"_qs};
    const Styles dropDown{TComboBox98::csDropDown};

    QTest::newRow("upper A keeps its case, rest selected")
        << ab << dropDown << true << 0 << u"record"_qs << Steps{u"A"_qs} << u"Abcd"_qs << u"bcd"_qs
        << QStringList{u"change:A"_qs, u"complete:bcd:65"_qs};
    QTest::newRow("typing on replaces the suggestion")
        << ab << dropDown << true << 0 << u"record"_qs << Steps{u"Ab"_qs} << u"Abcd"_qs << u"cd"_qs
        << QStringList{u"change:A"_qs, u"complete:bcd:65"_qs, u"change:Ab"_qs, u"complete:cd:66"_qs};
    QTest::newRow("second item once the first stops matching")
        << ab << dropDown << true << 0 << u"record"_qs << Steps{u"abx"_qs} << u"abxy"_qs << u"y"_qs
        << QStringList{u"change:a"_qs, u"complete:bcd:65"_qs, u"change:ab"_qs, u"complete:cd:66"_qs,
                       u"change:abx"_qs, u"complete:y:88"_qs};
    QTest::newRow("typed into the box itself")
        << ab << dropDown << true << 0 << u"record"_qs << Steps{u"{BOX:Ab}"_qs} << u"Abcd"_qs
        << u"cd"_qs
        << QStringList{u"change:A"_qs, u"complete:bcd:65"_qs, u"change:Ab"_qs, u"complete:cd:66"_qs};
    QTest::newRow("backspace erases the suggestion and stays")
        << ab << dropDown << true << 0 << u"record"_qs << Steps{u"A"_qs, u"{BS}"_qs} << u"A"_qs
        << QString() << QStringList{u"change:A"_qs, u"complete:bcd:65"_qs, u"change:A"_qs};
    QTest::newRow("delete erases the suggestion and stays")
        << ab << dropDown << true << 0 << u"record"_qs << Steps{u"ab"_qs, u"{DEL}"_qs} << u"ab"_qs
        << QString()
        << QStringList{u"change:a"_qs, u"complete:bcd:65"_qs, u"change:ab"_qs, u"complete:cd:66"_qs,
                       u"change:ab"_qs};
    QTest::newRow("cutting the suggestion is erasing too")
        << ab << dropDown << true << 0 << u"none"_qs << Steps{u"ab"_qs, u"{CUT}"_qs} << u"ab"_qs
        << QString() << QStringList{u"change:a"_qs, u"change:ab"_qs, u"change:ab"_qs};
    QTest::newRow("an emptied field is not refilled")
        << ab << dropDown << true << 0 << u"none"_qs << Steps{u"a"_qs, u"{SELALL}"_qs, u"{CUT}"_qs}
        << QString() << QString() << QStringList{u"change:a"_qs, u"change:"_qs};
    QTest::newRow("equal item, other case: nothing visible changes")
        << QStringList{u"ab"_qs} << dropDown << true << 0 << u"record"_qs << Steps{u"AB"_qs}
        << u"AB"_qs << QString()
        << QStringList{u"change:A"_qs, u"complete:b:65"_qs, u"change:AB"_qs, u"complete::66"_qs};
    QTest::newRow("items shorter than the text are skipped")
        << QStringList{u"ab"_qs, u"abcd"_qs} << dropDown << true << 0 << u"record"_qs
        << Steps{u"abc"_qs} << u"abcd"_qs << u"d"_qs
        << QStringList{u"change:a"_qs, u"complete:b:65"_qs, u"change:ab"_qs, u"complete::66"_qs,
                       u"change:abc"_qs, u"complete:d:67"_qs};
    QTest::newRow("veto leaves the typed text")
        << ab << dropDown << true << 0 << u"veto"_qs << Steps{u"A"_qs} << u"A"_qs << QString()
        << QStringList{u"change:A"_qs, u"complete:bcd:65"_qs};
    QTest::newRow("handler's rest becomes the suggestion")
        << ab << dropDown << true << 0 << u"change:-zz"_qs << Steps{u"a"_qs} << u"a-zz"_qs
        << u"-zz"_qs << QStringList{u"change:a"_qs, u"complete:bcd:65"_qs};
    QTest::newRow("no handler still completes")
        << ab << dropDown << true << 0 << u"none"_qs << Steps{u"ab"_qs} << u"abcd"_qs << u"cd"_qs
        << QStringList{u"change:a"_qs, u"change:ab"_qs};
    QTest::newRow("below the minimum length nothing is offered")
        << ab << dropDown << true << 3 << u"record"_qs << Steps{u"ab"_qs} << u"ab"_qs << QString()
        << QStringList{u"change:a"_qs, u"change:ab"_qs};
    QTest::newRow("from the minimum length on")
        << ab << dropDown << true << 3 << u"record"_qs << Steps{u"abx"_qs} << u"abxy"_qs << u"y"_qs
        << QStringList{u"change:a"_qs, u"change:ab"_qs, u"change:abx"_qs, u"complete:y:88"_qs};
    QTest::newRow("completion switched off")
        << ab << dropDown << false << 0 << u"record"_qs << Steps{u"a"_qs} << u"a"_qs << QString()
        << QStringList{u"change:a"_qs};
    QTest::newRow("empty list")
        << QStringList() << dropDown << true << 0 << u"record"_qs << Steps{u"a"_qs} << u"a"_qs
        << QString() << QStringList{u"change:a"_qs};
    QTest::newRow("no match")
        << ab << dropDown << true << 0 << u"record"_qs << Steps{u"q"_qs} << u"q"_qs << QString()
        << QStringList{u"change:q"_qs};
    QTest::newRow("chinese from an input method")
        << QStringList{u"中文软件"_qs, u"中国"_qs} << dropDown << true << 0 << u"record"_qs
        << Steps{u"{IME:中}"_qs, u"{IME:国}"_qs} << u"中国"_qs << QString()
        << QStringList{u"change:中"_qs, u"complete:文软件:229"_qs, u"change:中国"_qs,
                       u"complete::229"_qs};
    QTest::newRow("only ASCII letters fold")
        << QStringList{u"Äpfel"_qs, u"ändern"_qs} << dropDown << true << 0 << u"record"_qs
        << Steps{u"{IME:ä}"_qs} << u"ändern"_qs << u"ndern"_qs
        << QStringList{u"change:ä"_qs, u"complete:ndern:229"_qs};
    QTest::newRow("simple style completes")
        << ab << Styles{TComboBox98::csSimple} << true << 0 << u"record"_qs << Steps{u"a"_qs}
        << u"abcd"_qs << u"bcd"_qs << QStringList{u"change:a"_qs, u"complete:bcd:65"_qs};
    QTest::newRow("drop-down list: choosing only")
        << ab << Styles{TComboBox98::csDropDownList} << true << 0 << u"record"_qs
        << Steps{u"{DOWN}"_qs} << u"abxy"_qs << QString() << QStringList{u"change:abxy"_qs};
    QTest::newRow("edit field again after a drop-down list")
        << ab << Styles{TComboBox98::csDropDownList, TComboBox98::csDropDown} << true << 0
        << u"record"_qs << Steps{u"A"_qs} << u"Abcd"_qs << u"bcd"_qs
        << QStringList{u"change:A"_qs, u"complete:bcd:65"_qs};
    QTest::newRow("choosing from the list notifies without completing")
        << QStringList{u"ab"_qs, u"abc"_qs, u"ab"_qs} << dropDown << true << 0 << u"record"_qs
        << Steps{u"{DOWN}"_qs} << u"abc"_qs << QString() << QStringList{u"change:abc"_qs};
    QTest::newRow("enter and leaving the field choose nothing")
        << ab << dropDown << true << 0 << u"record"_qs
        << Steps{u"abx"_qs, u"{ENTER}"_qs, u"{FOCUSOUT}"_qs} << u"abxy"_qs << QString()
        << QStringList{u"change:a"_qs, u"complete:bcd:65"_qs, u"change:ab"_qs, u"complete:cd:66"_qs,
                       u"change:abx"_qs, u"complete:y:88"_qs};
    QTest::newRow("leaving a field equal to an item")
        << ab << dropDown << true << 0 << u"none"_qs
        << Steps{u"abxy"_qs, u"{FOCUSOUT}"_qs} << u"abxy"_qs << QString()
        << QStringList{u"change:a"_qs, u"change:ab"_qs, u"change:abx"_qs, u"change:abxy"_qs};
}

void TstComboBox98::completion()
{
    QFETCH(QStringList, items);
    QFETCH(Styles, styles);
    QFETCH(bool, complete);
    QFETCH(int, minLength);
    QFETCH(QString, handler);
    QFETCH(Steps, steps);
    QFETCH(QString, text);
    QFETCH(QString, selected);
    QFETCH(QStringList, log);

    TComboBox98 box;
    QStringList seen;
    box.OnChange = [&](QObject *sender) {
        QCOMPARE(sender, &box);
        seen << u"change:"_qs + box.currentText();
    };
    if (handler != u"none") {
        box.OnComplete = [&](QObject *sender, int key, QString &rest, bool &doComplete) {
            QCOMPARE(sender, &box);
            QVERIFY(doComplete);
            seen << u"complete:%1:%2"_qs.arg(rest).arg(key);
            if (handler == u"veto")
                doComplete = false;
            else if (handler.startsWith(u"change:"))
                rest = handler.mid(7);
        };
    }
    box.Complete = complete;
    box.MinLengthComplete = minLength;
    for (int style : styles)
        box.SetStyle(TComboBox98::TComboBoxStyle(style));
    box.addItems(items);
    box.setEditText(QString());  // programmatic: no notice, no completion
    box.show();

    // Qt's own completer and insertion stay off on every edit field.
    if (box.Style() != TComboBox98::csDropDownList) {
        QVERIFY(box.lineEdit());
        QCOMPARE(box.completer(), nullptr);
        QVERIFY(box.currentText().isEmpty());
    } else {
        QCOMPARE(box.lineEdit(), nullptr);
    }
    QCOMPARE(box.insertPolicy(), QComboBox::NoInsert);

    for (const QString &step : steps)
        play(box, step);

    QCOMPARE(box.currentText(), text);
    QCOMPARE(seen, log);
    QCOMPARE(box.count(), items.size());
    if (QLineEdit *edit = box.lineEdit()) {
        QCOMPARE(edit->selectedText(), selected);
        if (!selected.isEmpty()) {
            QCOMPARE(edit->selectionStart(), text.size() - selected.size());
            QCOMPARE(edit->cursorPosition(), text.size());
        }
    }
}

void TstComboBox98::virtualKeys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<int>("code");

    QTest::newRow("lower-case letter") << int(Qt::Key_Q) << 0 << 81;
    QTest::newRow("shifted letter") << int(Qt::Key_Q) << int(Qt::ShiftModifier) << 81;
    QTest::newRow("digit") << int(Qt::Key_7) << 0 << 55;
    QTest::newRow("keypad digit") << int(Qt::Key_7) << int(Qt::KeypadModifier) << 103;
    QTest::newRow("backspace") << int(Qt::Key_Backspace) << 0 << 8;
    QTest::newRow("enter") << int(Qt::Key_Enter) << int(Qt::KeypadModifier) << 13;
    QTest::newRow("shift") << int(Qt::Key_Shift) << 0 << 16;
    QTest::newRow("F1") << int(Qt::Key_F1) << 0 << 112;
    QTest::newRow("punctuation has none") << int(Qt::Key_Comma) << 0 << 0;
}

// Sent through the edit field, so this also checks that every press is
// recorded, including those the edit does not use.
void TstComboBox98::virtualKeys()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(int, code);

    TComboBox98 box;
    QCOMPARE(box.LastKey(), 0);
    box.show();
    QTest::keyClick(box.lineEdit(), Qt::Key_Z);
    QCOMPARE(box.LastKey(), 90);
    QTest::keyPress(box.lineEdit(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(box.LastKey(), code);
}

void TstComboBox98::keyDown_data()
{
    QTest::addColumn<bool>("toBox");  // where the keyboard sends it, or straight to the edit
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("consume");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("lastKey");

    QTest::newRow("enter through the box") << true << int(Qt::Key_Return) << true << u"x"_qs << 0;
    QTest::newRow("enter through the edit") << false << int(Qt::Key_Return) << false << u"x"_qs << 13;
    QTest::newRow("letter through the box") << true << int(Qt::Key_A) << false << u"xa"_qs << 65;
    QTest::newRow("letter consumed through the box") << true << int(Qt::Key_A) << true << u"x"_qs << 0;
    QTest::newRow("letter consumed in the edit") << false << int(Qt::Key_A) << true << u"x"_qs << 0;
}

// Each key reaches OnKeyDown once, whichever way it comes in, before the
// edit field applies it; a consumed key changes nothing.
void TstComboBox98::keyDown()
{
    QFETCH(bool, toBox);
    QFETCH(int, key);
    QFETCH(bool, consume);
    QFETCH(QString, text);
    QFETCH(int, lastKey);

    TComboBox98 box;
    box.setEditText(u"x"_qs);
    box.show();
    QList<int> seen;
    QStringList textsSeen;
    box.OnKeyDown = [&](QObject *sender, int &code, Qt::KeyboardModifiers) {
        QCOMPARE(sender, &box);
        seen << code;
        textsSeen << box.currentText();
        if (consume)
            code = 0;
    };
    QWidget *target = toBox ? static_cast<QWidget *>(&box) : box.lineEdit();
    QTest::keyClick(target, Qt::Key(key), Qt::NoModifier);

    QCOMPARE(seen, QList<int>{key == Qt::Key_Return ? 13 : 65});
    QCOMPARE(textsSeen, QStringList{u"x"_qs});
    QCOMPARE(box.currentText(), text);
    QCOMPARE(box.LastKey(), lastKey);
}

QTEST_MAIN(TstComboBox98)
#include "tst_combobox98.moc"
