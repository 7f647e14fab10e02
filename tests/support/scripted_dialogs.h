#pragma once
// The dialogs seam's test answerer: records every question a window asks and answers it
// from queues the test fills beforehand. A question nobody queued an answer for is
// recorded as unexpected and answered like a closed dialog (the box's escape button,
// "cancelled" for the choosers), so a test never hangs on a dialog.

#include "platform/dialogs.h"

#include <QColor>
#include <QFont>
#include <QList>
#include <QQueue>
#include <QString>
#include <QStringList>

class ScriptedDialogs : public platform::Dialogs {
public:
    enum Kind { MessageBoxKind, AskTextKind, ChooseFontKind, ChooseColorKind, ChooseDirectoryKind,
                ChooseOpenFilesKind, ChooseSaveFileKind, AskPasswordKind, AskCertificateKind };

    struct Call {
        Kind kind;
        QString caption;
        QString text;       // message text, prompt, or the file choosers' filter
        QString initial;    // the value handed in: text, directory, save file, first open file
        Icon icon = NoIcon;
        Buttons buttons = OkOnly;
        int defaultButton = Ok;  // the button Enter would press
        bool expected = true;   // false when no answer was queued
        bool certificateChanged = false;  // AskCertificate: caption is "host:port", initial the fingerprint
    };

    void QueueButton(int button);
    void QueueText(bool ok, const QString &text);
    void QueueFont(bool ok, const QFont &font = QFont());
    void QueueColor(bool ok, const QColor &color = QColor());
    void QueueDirectory(bool ok, const QString &directory);
    void QueueFiles(bool ok, const QStringList &files);
    void QueueSaveFile(bool ok, const QString &file);
    void QueueCertificate(CertificateAnswer answer);

    const QList<Call> &Calls() const { return calls_; }
    QList<Call> CallsOf(Kind kind) const;
    int UnexpectedCount() const;
    // Answers queued but never asked for.
    int PendingAnswers() const;
    void ClearCalls() { calls_.clear(); }

    int MessageBox(QWidget *parent, const QString &text, const QString &caption, Icon icon,
                   Buttons buttons, int defaultButton = 0) override;
    bool AskText(QWidget *parent, const QString &caption, const QString &prompt, QString &value) override;
    // Answered from the same queue as AskText.
    bool AskPassword(QWidget *parent, const QString &caption, const QString &prompt, QString &value) override;
    // Unqueued: rejected, as closing the window does.
    CertificateAnswer AskCertificate(QWidget *parent, const QString &endpoint,
                                     const platform::TlsCertificateInfo &certificate, bool changed) override;
    bool ChooseFont(QWidget *parent, QFont &font) override;
    bool ChooseColor(QWidget *parent, QColor &color) override;
    bool ChooseDirectory(QWidget *parent, const QString &caption, QString &directory) override;
    bool ChooseOpenFiles(QWidget *parent, const QString &caption, const QString &filter,
                         QStringList &files) override;
    bool ChooseSaveFile(QWidget *parent, const QString &caption, const QString &filter, QString &file) override;

private:
    template <typename T>
    struct Answer {
        bool ok;
        T value;
    };

    Call &Record(Kind kind, const QString &caption, const QString &text, const QString &initial);

    QList<Call> calls_;
    QQueue<int> buttons_;
    QQueue<Answer<QString>> texts_;
    QQueue<Answer<QFont>> fonts_;
    QQueue<Answer<QColor>> colors_;
    QQueue<Answer<QString>> directories_;
    QQueue<Answer<QStringList>> files_;
    QQueue<Answer<QString>> saveFiles_;
    QQueue<CertificateAnswer> certificates_;
};

// Installs a ScriptedDialogs for the lifetime of the object and restores the real dialogs
// afterwards.
class ScopedScriptedDialogs {
public:
    ScopedScriptedDialogs();
    ~ScopedScriptedDialogs();
    ScopedScriptedDialogs(const ScopedScriptedDialogs &) = delete;
    ScopedScriptedDialogs &operator=(const ScopedScriptedDialogs &) = delete;

    ScriptedDialogs &operator*() const { return *dialogs_; }
    ScriptedDialogs *operator->() const { return dialogs_; }

private:
    ScriptedDialogs *dialogs_;   // owned by the dialogs seam while installed
};
