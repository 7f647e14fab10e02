#pragma once

// A combo box whose edit field completes what the user types from the
// combo's own items: the rest of the first item that begins with the typed
// text is appended and selected, so typing on replaces the suggestion.

#include <QComboBox>
#include <QString>
#include <functional>

class QKeyEvent;
class QInputMethodEvent;

class TComboBox98 : public QComboBox
{
    Q_OBJECT

public:
    enum TComboBoxStyle { csDropDown, csSimple, csDropDownList };

    // Handed the proposed rest of the text; may change it or veto it.
    using TOnComplete =
        std::function<void(QObject *sender, int key, QString &completeWith, bool &doComplete)>;

    explicit TComboBox98(QWidget *parent = nullptr);
    ~TComboBox98() override;

    // Drop-down and simple have an edit field; drop-down list only selects.
    // Editability goes through here, never through setEditable/setLineEdit,
    // so that every edit field gets our completion and not Qt's completer.
    void SetStyle(TComboBoxStyle style);
    TComboBoxStyle Style() const { return FStyle; }

    // Virtual key code of the last key pressed in the control, 0 until then.
    int LastKey() const { return FLastKey; }

    // The classic virtual key code of a key event; 0 for keys without one.
    static int VirtualKeyCode(const QKeyEvent *event);
    // What an input method's committed text counts as (VK_PROCESSKEY).
    static constexpr int ImeKeyCode = 229;

    bool Complete = true;
    int MinLengthComplete = 0;

    TOnComplete OnComplete;
    // Every key pressed in the control, before the edit field applies it; a
    // handler that sets a key code to 0 consumes the key. With the box focused,
    // keys reach the edit field without passing its event filters, so owners
    // watch key-downs here.
    std::function<void(QObject *sender, int &key, Qt::KeyboardModifiers shift)> OnKeyDown;
    // Every user edit of the text and every choice from the list; runs
    // before the completion. Programmatic text changes do not notify.
    std::function<void(QObject *sender)> OnChange;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    class Edit;
    friend class Edit;

    void installEdit();
    // Runs OnKeyDown and records the key; false when the key is consumed.
    bool keyDown(const QKeyEvent *event);
    void recordInputMethod(const QInputMethodEvent *event);
    void textEdited();
    void itemActivated();
    void runCompletion();

    TComboBoxStyle FStyle = csDropDown;
    int FLastKey = 0;
    // The last key erases (Backspace, Delete, cut): no completion may undo it.
    bool FLastKeyErases = false;
    // Set while the edit finishes editing (Enter, focus out): Qt then selects
    // the item equal to the text, which is no choice of the user's.
    bool FFinishingEdit = false;
    bool FInEdited = false;
    // The key the box hands on to its edit field, so it is seen only once.
    const QKeyEvent *FKeyInHand = nullptr;
    // A key the edit field left alone travels on to the box: seen already.
    const QKeyEvent *FKeyFromEdit = nullptr;
};
