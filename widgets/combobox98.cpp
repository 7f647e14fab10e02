#include "combobox98.h"

#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLineEdit>
#include <QPointer>

namespace {

char16_t AsciiUpper(char16_t c)
{
    return (c >= u'a' && c <= u'z') ? char16_t(c - (u'a' - u'A')) : c;
}

// Only ASCII letters fold; every other character must match as it is.
bool StartsWithAsciiFolded(const QString &item, const QString &typed)
{
    if (item.size() < typed.size())
        return false;
    for (qsizetype i = 0; i < typed.size(); ++i) {
        if (AsciiUpper(item.at(i).unicode()) != AsciiUpper(typed.at(i).unicode()))
            return false;
    }
    return true;
}

bool ErasesText(const QKeyEvent *event, int code)
{
    return code == 8 || code == 46 || event->matches(QKeySequence::Cut)
        || event->matches(QKeySequence::DeleteEndOfLine)
        || event->matches(QKeySequence::DeleteCompleteLine);
}

} // namespace

// The edit field records each key before it applies it: the edit changes the
// text and signals the change from inside its own key handler.
class TComboBox98::Edit : public QLineEdit
{
public:
    explicit Edit(TComboBox98 *box) : QLineEdit(box), Box(box) {}

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        if (Box)
            Box->FKeyFromEdit = nullptr;
        if (Box && Box->FKeyInHand != event && !Box->keyDown(event)) {
            event->accept();
            return;
        }
        const bool finishes = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
        finishEditingAround(finishes, [&] { QLineEdit::keyPressEvent(event); });
        if (Box && !event->isAccepted())
            Box->FKeyFromEdit = event;
    }

    void focusOutEvent(QFocusEvent *event) override
    {
        finishEditingAround(true, [&] { QLineEdit::focusOutEvent(event); });
    }

    void inputMethodEvent(QInputMethodEvent *event) override
    {
        if (Box)
            Box->recordInputMethod(event);
        QLineEdit::inputMethodEvent(event);
    }

private:
    template<typename Handler>
    void finishEditingAround(bool finishes, Handler handler)
    {
        if (!finishes || !Box) {
            handler();
            return;
        }
        QPointer<TComboBox98> box = Box;
        const bool was = box->FFinishingEdit;
        box->FFinishingEdit = true;
        handler();
        if (box)
            box->FFinishingEdit = was;
    }

    QPointer<TComboBox98> Box;
};

TComboBox98::TComboBox98(QWidget *parent) : QComboBox(parent)
{
    // Owners keep their item lists themselves; Enter must never add one.
    setInsertPolicy(QComboBox::NoInsert);
    connect(this, &QComboBox::activated, this, [this] { itemActivated(); });
    installEdit();
}

TComboBox98::~TComboBox98() = default;

void TComboBox98::SetStyle(TComboBoxStyle style)
{
    FStyle = style;
    if (style == csDropDownList) {
        setEditable(false);
        return;
    }
    if (!dynamic_cast<Edit *>(lineEdit()))
        installEdit();
}

void TComboBox98::installEdit()
{
    auto *edit = new Edit(this);
    setLineEdit(edit);
    // Qt gives every new edit field a completer of its own, which would
    // complete a second time, differently.
    setCompleter(nullptr);
    connect(edit, &QLineEdit::textEdited, this, [this] { textEdited(); });
}

int TComboBox98::VirtualKeyCode(const QKeyEvent *event)
{
    const int key = event->key();
    if (key >= Qt::Key_0 && key <= Qt::Key_9) {
        const int digit = key - Qt::Key_0;
        return (event->modifiers() & Qt::KeypadModifier) ? 96 + digit : 48 + digit;
    }
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return 65 + (key - Qt::Key_A);
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
        return 112 + (key - Qt::Key_F1);
    switch (key) {
    case Qt::Key_Backspace: return 8;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return 9;
    case Qt::Key_Return:
    case Qt::Key_Enter: return 13;
    case Qt::Key_Shift: return 16;
    case Qt::Key_Control: return 17;
    case Qt::Key_Alt: return 18;
    case Qt::Key_Escape: return 27;
    case Qt::Key_Space: return 32;
    case Qt::Key_PageUp: return 33;
    case Qt::Key_PageDown: return 34;
    case Qt::Key_End: return 35;
    case Qt::Key_Home: return 36;
    case Qt::Key_Left: return 37;
    case Qt::Key_Up: return 38;
    case Qt::Key_Right: return 39;
    case Qt::Key_Down: return 40;
    case Qt::Key_Insert: return 45;
    case Qt::Key_Delete: return 46;
    default: return 0;
    }
}

void TComboBox98::keyPressEvent(QKeyEvent *event)
{
    const bool seen = FKeyFromEdit == event;
    FKeyFromEdit = nullptr;
    if (!seen && !keyDown(event)) {
        event->accept();
        return;
    }
    QPointer<TComboBox98> self(this);
    const QKeyEvent *was = FKeyInHand;
    FKeyInHand = event;
    QComboBox::keyPressEvent(event);
    if (self)
        FKeyInHand = was;
}

bool TComboBox98::keyDown(const QKeyEvent *event)
{
    const int code = VirtualKeyCode(event);
    int key = code;
    if (OnKeyDown) {
        QPointer<TComboBox98> self(this);
        OnKeyDown(this, key, event->modifiers());
        if (!self)
            return false;
    }
    FLastKey = key;
    FLastKeyErases = key != 0 && ErasesText(event, key);
    // Keys without a code cannot be consumed: 0 is all they ever had.
    return code == 0 || key != 0;
}

void TComboBox98::recordInputMethod(const QInputMethodEvent *event)
{
    if (event->commitString().isEmpty())
        return;
    FLastKey = ImeKeyCode;
    FLastKeyErases = false;
}

void TComboBox98::textEdited()
{
    // A handler that edits the text itself must not start this over.
    if (FInEdited)
        return;
    QPointer<TComboBox98> self(this);
    FInEdited = true;
    if (OnChange)
        OnChange(this);
    if (self)
        runCompletion();
    if (self)
        FInEdited = false;
}

void TComboBox98::itemActivated()
{
    // Qt also "activates" the item equal to the text when editing finishes;
    // the text did not change then, so nothing is notified.
    if (FFinishingEdit || FInEdited)
        return;
    if (OnChange)
        OnChange(this);
}

void TComboBox98::runCompletion()
{
    QLineEdit *edit = lineEdit();
    if (!Complete || FStyle == csDropDownList || !edit || FLastKeyErases)
        return;
    const QString typed = edit->text();
    // An emptied field stays empty: there is nothing typed to complete from.
    if (typed.isEmpty() || typed.size() < MinLengthComplete)
        return;
    for (int i = 0; i < count(); ++i) {
        const QString item = itemText(i);
        if (!StartsWithAsciiFolded(item, typed))
            continue;
        QString rest = item.mid(typed.size());
        bool doComplete = true;
        if (OnComplete) {
            QPointer<TComboBox98> self(this);
            OnComplete(this, FLastKey, rest, doComplete);
            if (!self)
                return;
            edit = lineEdit();
            if (!edit)
                return;
        }
        // An empty rest leaves the text and the cursor where the user has them.
        if (doComplete && !rest.isEmpty()) {
            edit->setText(typed + rest);
            edit->setSelection(int(typed.size()), int(edit->text().size() - typed.size()));
        }
        return;
    }
}
