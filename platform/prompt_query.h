#pragma once
// The program's one-line text question: caption, prompt, one edit field, "确定" and "取消".
// Its layout is in dialog units of the font it is given, so it grows with the font the
// way the classic dialog did.

#include <QDialog>
#include <QFont>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;

namespace platform {

// number × numerator ÷ denominator with the product in 64 bits, rounded half away from
// zero; -1 when denominator is 0.
int MulDiv(int number, int numerator, int denominator);

// Dialog units of a font: x = average width of "A..Za..z" (whole pixels), y = its height.
QSize DialogBaseUnits(const QFont &font);

class PromptQueryDialog : public QDialog {
    Q_OBJECT
public:
    PromptQueryDialog(const QString &caption, const QString &prompt, const QString &value, const QFont &font,
                      QWidget *parent = nullptr);

    // Pixels of a horizontal or vertical measure in this dialog's units.
    int HorzPixels(int units) const;
    int VertPixels(int units) const;

    // The answer as it stands in the field.
    QString Value() const;

    QLabel *Prompt;
    QLineEdit *Edit;
    QPushButton *OkButton;
    QPushButton *CancelButton;

    // The longest answer that can be typed.
    static constexpr int kMaxLength = 255;

private:
    QSize units_;
};

// Shows the question modally. True and `value` set to the field's text on OK or Enter;
// false and `value` untouched on Cancel, Escape or closing the dialog.
// masked: the field shows dots, for passwords.
bool PromptQuery(const QString &caption, const QString &prompt, QString &value, const QFont &font,
                 QWidget *parent = nullptr, bool masked = false);

} // namespace platform
