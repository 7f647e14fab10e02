#include "prompt_query.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>

#include <memory>

namespace platform {

int MulDiv(int number, int numerator, int denominator)
{
    if (denominator == 0)
        return -1;
    qint64 product = qint64(number) * numerator;
    const bool negative = (product < 0) != (denominator < 0);
    product = product < 0 ? -product : product;
    const qint64 divisor = denominator < 0 ? -qint64(denominator) : qint64(denominator);
    const qint64 rounded = (product + divisor / 2) / divisor;
    return int(negative ? -rounded : rounded);
}

QSize DialogBaseUnits(const QFont &font)
{
    static const QString kLetters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const QFontMetrics metrics(font);
    return QSize(metrics.horizontalAdvance(kLetters) / 52, metrics.height());
}

PromptQueryDialog::PromptQueryDialog(const QString &caption, const QString &prompt, const QString &value,
                                     const QFont &font, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                          | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
    , units_(DialogBaseUnits(font))
{
    setWindowTitle(caption);
    setFont(font);
    setFixedSize(HorzPixels(180), VertPixels(63));

    Prompt = new QLabel(prompt, this);
    Prompt->move(HorzPixels(8), VertPixels(8));
    Prompt->adjustSize();

    Edit = new QLineEdit(this);
    // A start text longer than what may be typed comes back whole: the limit only stops typing.
    Edit->setMaxLength(qMax(kMaxLength, int(value.size())));
    Edit->setText(value);
    Edit->setGeometry(HorzPixels(8), VertPixels(19), HorzPixels(164), Edit->sizeHint().height());
    Edit->selectAll();

    OkButton = new QPushButton(tr("确定"), this);
    OkButton->setGeometry(HorzPixels(38), VertPixels(41), HorzPixels(50), VertPixels(14));
    OkButton->setDefault(true);
    connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);

    // QDialog answers Escape (and the close box) with reject(), the cancel result.
    CancelButton = new QPushButton(tr("取消"), this);
    CancelButton->setGeometry(HorzPixels(92), VertPixels(41), HorzPixels(50), VertPixels(14));
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);

    setTabOrder(Edit, OkButton);
    setTabOrder(OkButton, CancelButton);
    Edit->setFocus();

    QScreen *screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        const QRect area = screen->availableGeometry();
        move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
    }
}

int PromptQueryDialog::HorzPixels(int units) const
{
    return MulDiv(units, units_.width(), 4);
}

int PromptQueryDialog::VertPixels(int units) const
{
    return MulDiv(units, units_.height(), 8);
}

QString PromptQueryDialog::Value() const
{
    return Edit->text();
}

bool PromptQuery(const QString &caption, const QString &prompt, QString &value, const QFont &font, QWidget *parent,
                 bool masked)
{
    QPointer<PromptQueryDialog> dialog = new PromptQueryDialog(caption, prompt, value, font, parent);
    if (masked)
        dialog->Edit->setEchoMode(QLineEdit::Password);
    const int result = dialog->exec();
    if (!dialog)
        return false; // its parent went away while the question was open, and took it along
    const std::unique_ptr<PromptQueryDialog> owned(dialog.data());
    if (result != QDialog::Accepted)
        return false;
    value = owned->Value();
    return true;
}

} // namespace platform
