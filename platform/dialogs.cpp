#include "dialogs.h"

#include "certificate_dialog.h"
#include "exceptions.h"
#include "prompt_query.h"

#include <QCoreApplication>
#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

namespace platform {

namespace {

struct ButtonLook {
    int id;
    QMessageBox::StandardButton standard;
    const char *text;  // source text, translated where the button is made
};

// The captions a Chinese desktop gives the classic buttons.
const ButtonLook kButtonLooks[] = {
    {Dialogs::Ok, QMessageBox::Ok, QT_TRANSLATE_NOOP("Dialogs", "确定")},
    {Dialogs::Cancel, QMessageBox::Cancel, QT_TRANSLATE_NOOP("Dialogs", "取消")},
    {Dialogs::Abort, QMessageBox::Abort, QT_TRANSLATE_NOOP("Dialogs", "中止(&A)")},
    {Dialogs::Retry, QMessageBox::Retry, QT_TRANSLATE_NOOP("Dialogs", "重试(&R)")},
    {Dialogs::Ignore, QMessageBox::Ignore, QT_TRANSLATE_NOOP("Dialogs", "忽略(&I)")},
    {Dialogs::Yes, QMessageBox::Yes, QT_TRANSLATE_NOOP("Dialogs", "是(&Y)")},
    {Dialogs::No, QMessageBox::No, QT_TRANSLATE_NOOP("Dialogs", "否(&N)")},
};

const ButtonLook &LookOf(int id)
{
    for (const ButtonLook &look : kButtonLooks) {
        if (look.id == id)
            return look;
    }
    return kButtonLooks[0];
}

QMessageBox::Icon QtIcon(Dialogs::Icon icon)
{
    switch (icon) {
    case Dialogs::Information:
        return QMessageBox::Information;
    case Dialogs::Warning:
        return QMessageBox::Warning;
    case Dialogs::Critical:
        return QMessageBox::Critical;
    case Dialogs::Question:
        return QMessageBox::Question;
    case Dialogs::NoIcon:
        break;
    }
    return QMessageBox::NoIcon;
}

QString CaptionOrAppName(const QString &caption)
{
    return caption.isEmpty() ? QGuiApplication::applicationDisplayName() : caption;
}

class RealDialogs final : public Dialogs {
public:
    int MessageBox(QWidget *parent, const QString &text, const QString &caption, Icon icon,
                   Buttons buttons, int defaultButton) override
    {
        // On the heap and watched: a parent deleted while the box is open
        // takes the box with it, and nothing may delete it a second time.
        QPointer<QMessageBox> box =
            new QMessageBox(QtIcon(icon), CaptionOrAppName(caption), text, QMessageBox::NoButton, parent);
        const QList<int> ids = ButtonsOf(buttons);
        for (int id : ids) {
            const ButtonLook &look = LookOf(id);
            QPushButton *button = box->addButton(look.standard);
            button->setText(QCoreApplication::translate("Dialogs", look.text));
            if (id == DefaultButton(buttons, defaultButton))
                box->setDefaultButton(button);
            if (id == EscapeButton(buttons))
                box->setEscapeButton(button);
        }
        box->exec();
        if (!box)
            return EscapeButton(buttons);
        const QAbstractButton *clicked = box->clickedButton();
        int answer = EscapeButton(buttons);
        for (int id : ids) {
            if (clicked && clicked == box->button(LookOf(id).standard)) {
                answer = id;
                break;
            }
        }
        box->deleteLater();
        return answer;
    }

    bool AskText(QWidget *parent, const QString &caption, const QString &prompt, QString &value) override
    {
        return PromptQuery(CaptionOrAppName(caption), prompt, value,
                           parent ? parent->font() : QApplication::font(), parent);
    }

    bool AskPassword(QWidget *parent, const QString &caption, const QString &prompt, QString &value) override
    {
        return PromptQuery(CaptionOrAppName(caption), prompt, value,
                           parent ? parent->font() : QApplication::font(), parent, true);
    }

    CertificateAnswer AskCertificate(QWidget *parent, const QString &endpoint,
                                     const TlsCertificateInfo &certificate, bool changed) override
    {
        return AskCertificateInWindow(parent, endpoint, certificate, changed);
    }

    bool ChooseFont(QWidget *parent, QFont &font) override
    {
        bool ok = false;
        const QFont chosen = QFontDialog::getFont(&ok, font, parent);
        if (ok)
            font = chosen;
        return ok;
    }

    bool ChooseColor(QWidget *parent, QColor &color) override
    {
        const QColor chosen = QColorDialog::getColor(color, parent);
        if (!chosen.isValid())
            return false;
        color = chosen;
        return true;
    }

    bool ChooseDirectory(QWidget *parent, const QString &caption, QString &directory) override
    {
        const QString chosen = QFileDialog::getExistingDirectory(parent, caption, directory);
        if (chosen.isEmpty())
            return false;
        directory = chosen;
        return true;
    }

    bool ChooseOpenFiles(QWidget *parent, const QString &caption, const QString &filter,
                         QStringList &files) override
    {
        QString start;
        if (!files.isEmpty()) {
            const QFileInfo first(files.first());
            start = first.isDir() ? first.absoluteFilePath() : first.absolutePath();
        }
        const QStringList chosen = QFileDialog::getOpenFileNames(parent, caption, start, QtFileFilter(filter));
        if (chosen.isEmpty())
            return false;
        files = chosen;
        return true;
    }

    bool ChooseSaveFile(QWidget *parent, const QString &caption, const QString &filter, QString &file) override
    {
        const QString chosen = QFileDialog::getSaveFileName(parent, caption, file, QtFileFilter(filter));
        if (chosen.isEmpty())
            return false;
        file = chosen;
        return true;
    }
};

std::unique_ptr<Dialogs> &Installed()
{
    static std::unique_ptr<Dialogs> dialogs;
    return dialogs;
}

// "Text files (*.txt)" + "*.txt;*.log" -> "Text files (*.txt *.log)".
QString FilterEntry(QString description, const QString &patterns)
{
    QStringList parts;
    for (const QString &p : patterns.split(u';', Qt::SkipEmptyParts)) {
        const QString pattern = p.trimmed();
        if (!pattern.isEmpty())
            parts.append(pattern == QStringLiteral("*.*") ? QStringLiteral("*") : pattern);
    }
    description = description.trimmed();
    if (description.endsWith(u')')) {
        const qsizetype open = description.lastIndexOf(u'(');
        if (open >= 0)
            description = description.left(open).trimmed();
    }
    if (parts.isEmpty())
        parts.append(QStringLiteral("*"));
    if (description.isEmpty())
        description = parts.join(u' ');
    return description + QStringLiteral(" (") + parts.join(u' ') + u')';
}

} // namespace

QList<int> ButtonsOf(Dialogs::Buttons buttons)
{
    switch (buttons) {
    case Dialogs::OkOnly:
        return {Dialogs::Ok};
    case Dialogs::OkCancel:
        return {Dialogs::Ok, Dialogs::Cancel};
    case Dialogs::YesNo:
        return {Dialogs::Yes, Dialogs::No};
    case Dialogs::YesNoCancel:
        return {Dialogs::Yes, Dialogs::No, Dialogs::Cancel};
    case Dialogs::RetryCancel:
        return {Dialogs::Retry, Dialogs::Cancel};
    case Dialogs::AbortRetryIgnore:
        return {Dialogs::Abort, Dialogs::Retry, Dialogs::Ignore};
    case Dialogs::YesCancel:
        return {Dialogs::Yes, Dialogs::Cancel};
    }
    return {Dialogs::Ok};
}

int EscapeButton(Dialogs::Buttons buttons)
{
    const QList<int> ids = ButtonsOf(buttons);
    for (int preferred : {Dialogs::Cancel, Dialogs::No, Dialogs::Abort}) {
        if (ids.contains(preferred))
            return preferred;
    }
    return Dialogs::Ok;
}

int DefaultButton(Dialogs::Buttons buttons, int defaultButton)
{
    const QList<int> ids = ButtonsOf(buttons);
    return ids.contains(defaultButton) ? defaultButton : ids.first();
}

QString QtFileFilter(const QString &filter)
{
    if (!filter.contains(u'|'))
        return filter;
    const QStringList fields = filter.split(u'|');
    QStringList entries;
    for (qsizetype i = 0; i + 1 < fields.size(); i += 2) {
        if (fields[i].trimmed().isEmpty() && fields[i + 1].trimmed().isEmpty())
            continue;
        entries.append(FilterEntry(fields[i], fields[i + 1]));
    }
    return entries.join(QStringLiteral(";;"));
}

Dialogs &CurrentDialogs()
{
    static RealDialogs real;
    if (const auto &installed = Installed())
        return *installed;
    return real;
}

void InstallDialogs(std::unique_ptr<Dialogs> dialogs)
{
    Installed() = std::move(dialogs);
}

void ShowException(QWidget *parent, const std::exception &e)
{
    CurrentDialogs().MessageBox(parent, ExceptionText(e), QGuiApplication::applicationDisplayName(),
                                Dialogs::Critical, Dialogs::OkOnly);
}

} // namespace platform
