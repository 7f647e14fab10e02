#pragma once
// Every modal question of every window goes through here. The program answers with real
// dialogs; tests install a scripted answerer, so that no test ever waits on a dialog and
// every question a window asks can be checked. No window calls QMessageBox, QFileDialog,
// QInputDialog, QFontDialog or QColorDialog itself.

#include <QColor>
#include <QFont>
#include <QString>
#include <QStringList>
#include <exception>
#include <memory>

class QWidget;

namespace platform {

struct TlsCertificateInfo;

class Dialogs {
public:
    enum Icon { NoIcon, Information, Warning, Critical, Question };
    // The classic button ids: callers compare the answer with these numbers.
    enum Button { Ok = 1, Cancel = 2, Abort = 3, Retry = 4, Ignore = 5, Yes = 6, No = 7 };
    enum Buttons { OkOnly, OkCancel, YesNo, YesNoCancel, RetryCancel, AbortRetryIgnore, YesCancel };
    // The answers to a server certificate that failed verification.
    enum CertificateAnswer { RejectCertificate = 0, AcceptCertificateOnce = 1, TrustCertificateAlways = 2 };

    virtual ~Dialogs() = default;

    // Returns the Button pressed. Closing the box counts as its "escape" answer,
    // EscapeButton(buttons). defaultButton is the Button that Enter presses; 0 (or a
    // Button not in the set) means the first of the set.
    virtual int MessageBox(QWidget *parent, const QString &text, const QString &caption, Icon icon,
                           Buttons buttons, int defaultButton = 0) = 0;
    // The in/out values are changed only when the answer is true (the user confirmed).
    virtual bool AskText(QWidget *parent, const QString &caption, const QString &prompt, QString &value) = 0;
    // The same question with the typed text masked.
    virtual bool AskPassword(QWidget *parent, const QString &caption, const QString &prompt, QString &value) = 0;
    // A certificate that failed verification, shown for the user to judge; `endpoint` is
    // "host:port". `changed`: another certificate is trusted for it, which calls for the
    // stronger warning and no default that accepts. Closing the window rejects.
    virtual CertificateAnswer AskCertificate(QWidget *parent, const QString &endpoint,
                                             const TlsCertificateInfo &certificate, bool changed) = 0;
    virtual bool ChooseFont(QWidget *parent, QFont &font) = 0;
    virtual bool ChooseColor(QWidget *parent, QColor &color) = 0;
    virtual bool ChooseDirectory(QWidget *parent, const QString &caption, QString &directory) = 0;
    // filter: Qt style ("文本文件 (*.txt);;所有文件 (*)") or classic ("文本文件|*.txt|所有文件|*.*").
    // files: on entry the first one (if any) names the folder to start in.
    virtual bool ChooseOpenFiles(QWidget *parent, const QString &caption, const QString &filter,
                                 QStringList &files) = 0;
    virtual bool ChooseSaveFile(QWidget *parent, const QString &caption, const QString &filter,
                                QString &file) = 0;
};

// The buttons of a set in the order shown, and the one that closing the box answers
// (Cancel where there is one, else No, Abort or Ok).
QList<int> ButtonsOf(Dialogs::Buttons buttons);
int EscapeButton(Dialogs::Buttons buttons);
// The button Enter presses: defaultButton when the set has it, else the first one.
int DefaultButton(Dialogs::Buttons buttons, int defaultButton);

// A classic "description|pattern;pattern|..." filter in Qt's form; Qt filters pass unchanged.
QString QtFileFilter(const QString &filter);

// The real dialogs unless a test installed others.
Dialogs &CurrentDialogs();
// Takes ownership; nullptr restores the real dialogs.
void InstallDialogs(std::unique_ptr<Dialogs> dialogs);

// The application-wide handler's message box: the exception's text, the application's name
// as caption, a stop icon and one OK button.
void ShowException(QWidget *parent, const std::exception &e);

} // namespace platform
