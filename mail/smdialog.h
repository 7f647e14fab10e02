#pragma once
// SendMailDialog: sends one message (or several over one connection) with a
// SendMail while a small modal window, Tsmdlg, shows the status, a progress
// bar, a byte counter and a cancel button.

#include "inetmail.h"

#include <QColor>
#include <QDialog>
#include <QFlags>
#include <QFont>
#include <QPointer>
#include <QStringList>
#include <QTimer>

class QFrame;
class QLabel;
class QPushButton;
class Tsmdlg;

enum class SendMailDialogObjects { StatusText = 0x1, StatusBar = 0x2, ByteCounter = 0x4, CancelButton = 0x8 };
Q_DECLARE_FLAGS(TSendMailDialogOptions, SendMailDialogObjects)
Q_DECLARE_OPERATORS_FOR_FLAGS(TSendMailDialogOptions)

enum class TSendMailDialogPos { ScreenCenter, Custom };
enum class TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow };

class SendMailDialog : public QObject {
    Q_OBJECT
public:
    explicit SendMailDialog(QObject *parent = nullptr);
    ~SendMailDialog() override;

    QString Caption;
    QString SMTP_Server;
    int SMTP_Port = 25;
    QString FROM_Name, FROM_Address, TO_Name, TO_Address, Subject;
    QStringList MailText, Attachments, Headers, ListTo, Listcc, ListBcc;
    bool KeepConnectionOpen = false;
    // Encryption and login, handed to the sender.
    TSmtpSecurity Security = smtpTlsIfOffered;
    QString UserName;
    QString Password;
    // A certificate that failed verification; the progress window's time
    // limit stands still while it is asked.
    TSendMailCertificateEvent OnSendMailCertificate;
    TSendMailEvent OnSendMailFeedData;
    TSendMailInfoEvent OnSendMailInfo;
    // Called with the progress window as sender when a message was accepted
    // on a kept connection, to prepare the next one.
    TNotifyEvent OnSetupNextMessage;
    TSendMailDialogOptions Options = TSendMailDialogOptions(SendMailDialogObjects::StatusText)
                                     | SendMailDialogObjects::StatusBar | SendMailDialogObjects::ByteCounter
                                     | SendMailDialogObjects::CancelButton;
    TSendMailDialogPos Position = TSendMailDialogPos::ScreenCenter;
    int WindowLeft = 0;
    int WindowTop = 0;
    TFormBorderStyle Border = TFormBorderStyle::bsDialog;
    QColor Color = QColor(192, 192, 192);  // silver
    QFont Font;
    QColor FontColor = Qt::black;
    QColor StatusBarColor = Qt::blue;
    QColor StatusBarBackground = Qt::white;
    int StatusBarWidth = 200;
    int StatusBarHeight = 18;
    // Status texts: connecting, connected, recipient, sending, attachment, and
    // the cancel button's caption.
    QStringList LanguageStrings{QStringLiteral("Connecting to"), QStringLiteral("Connected to"),
                                QStringLiteral("Recipient #"), QStringLiteral("Sending Mail"),
                                QStringLiteral("Attachment"), QStringLiteral("Cancel")};
    QString Version() const { return QStringLiteral("SendMailDialog version 1.2"); }

    // Milliseconds without a progress notice after which the send is given up.
    int InactivityLimitMs = 60000;

    // Sends the message; true when the server accepted it (the last one).
    bool Execute();

    // The failure of the last Execute as the sender reported it (smeNone:
    // none), and what the server or the TLS layer said.
    SendMailError LastError = smeNone;
    QString LastErrorText;
    // The user's wording of a failure, in Chinese; empty for the failures
    // that only close the progress window.
    static QString ErrorMessage(SendMailError error, const QString &detail);

    // The message copy handed to the sender for each message.
    void CopyMessageTo(SendMail &sender) const;

private:
    void LayOut(Tsmdlg &window) const;
};

class Tsmdlg : public QDialog {
    Q_OBJECT
public:
    explicit Tsmdlg(QWidget *parent = nullptr);
    ~Tsmdlg() override;

    QLabel *Status;
    QFrame *Panel1;
    QWidget *PaintBox1;
    QLabel *counter;
    QPushButton *cancel;
    SendMail *SendMail_;
    QTimer Timer;

    // What the window shows, for its owner and the tests.
    QString StatusLine() const;
    QString CounterText() const;
    qint64 BarTotal() const { return barTotal_; }
    qint64 BarPosition() const { return barPosition_; }
    QColor BarColor() const { return barColor_; }

    void reject() override;  // Escape cancels like the button

private:
    friend class SendMailDialog;
    void FormShow();
    void StartMessage();
    void SendMailMailInfo(QObject *sender, SendMailInfo info, const QString &text);
    void SendMailDone(QObject *sender);
    void SendMailError_(QObject *sender, SendMailError error, const QString &text);
    void TimerTimer();
    void cancelClick();
    void RepaintBar();
    void PaintBar(QWidget *area);

    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

    qint64 barTotal_ = 0;
    qint64 barPosition_ = 0;
    QStringList texts_;  // lines 0 to 4 of the language strings
    QColor barColor_ = Qt::blue;
    TSendMailInfoEvent onSendMailInfo_;
    TNotifyEvent onSetupNextMessage_;
    TSendMailCertificateEvent onCertificate_;
    QPointer<const SendMailDialog> owner_;
    SendMailError lastError_ = smeNone;
    QString lastErrorText_;
    bool shown_ = false;
    bool closing_ = false;  // cancelled or timed out: the window is on its way out
};
