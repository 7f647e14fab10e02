#pragma once
// Tmailform: composes a request script for an FTP-by-mail service (which
// fetches a file by FTP and mails it back) and mails it from the user's
// address through the user's SMTP server with the progress dialog.

#include "smdialog.h"
#include "widgets/combobox98.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;

class Tmailform : public QDialog {
    Q_OBJECT
public:
    explicit Tmailform(QWidget *parent = nullptr);
    ~Tmailform() override;

    QTabWidget *PageControl1;
    QWidget *TabSheet2, *TabSheet3, *TabSheet7, *TabSheet1, *TabSheet4;
    QLineEdit *email, *smtp, *url;
    TComboBox98 *server3;
    QPushButton *Button6;
    // Login and encryption at the SMTP server. The password is kept for the
    // run only, never written to a file; with a user name and no password the
    // send asks for it.
    QLineEdit *smtpuser, *smtppass;
    QComboBox *smtptls;  // 尽量加密 / 必须加密 / 不加密, in TSmtpSecurity order
    QRadioButton *uuencode, *btoa, *mime, *binary, *text;
    QCheckBox *split;
    QLineEdit *splitsize;
    QPlainTextEdit *Memo2, *Memo3, *Memo1;
    QPushButton *Button12, *Button3, *Button4, *Button1, *Button2;
    SendMailDialog mail;

    // The window's commands, named after the controls that carry them.
    void FormCreate();
    void TabSheet1Enter();
    void Button12Click();
    void Button6Click();
    void Button1Click();
    void Button2Click();
    void splitClick();
    void Button3Click();
    void Button4Click();

    // The request script as it stands in Memo2, one line per item.
    QStringList ScriptLines() const;
    // Adds a server to server3 at its sorted place.
    void AddServer(const QString &server);
    QStringList Servers() const;

private:
    void BuildPages();
    void PageChanged(int index);
    void LoadHelp(const QString &fileName);
    void Message(const QString &text);
    bool TakeSmtpServer();
    void AnswerCertificate(const platform::TlsCertificateInfo &certificate, bool changed,
                           TSendMailCertificateAnswer &answer);

    int currentPage_ = 0;
    bool portFromField_ = false;  // SMTP_Port came from "host:port"
    int plainPort_ = 25;          // the port before that
};
