#include "ftpmail.h"

#include "platform/codepage.h"
#include "platform/dialogs.h"
#include "platform/exceptions.h"
#include "platform/folders.h"
#include "platform/profile.h"
#include "platform/tls_session.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

QString iniPath()
{
    return platform::SettingsFilePath(QStringLiteral("ftp-mail.ini"));
}

QString serverListPath()
{
    return platform::SettingsFilePath(QStringLiteral("ftpmail.txt"));
}

// The list's order: case-insensitive, ties broken by the exact text so that
// the comparison stays a strict weak ordering.
bool serverBefore(const QString &a, const QString &b)
{
    const int folded = a.compare(b, Qt::CaseInsensitive);
    return folded != 0 ? folded < 0 : a < b;
}

QFont songTi()
{
    QFont font(QStringLiteral("宋体"));
    font.setFamilies({QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("Noto Sans CJK SC"),
                      QStringLiteral("Noto Serif CJK SC")});
    font.setPixelSize(12);
    return font;
}

}  // namespace

Tmailform::Tmailform(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Tarvo."));
    setFont(songTi());
    BuildPages();
    setFixedSize(461, 322);

    // The progress dialog: the program's texts, look and port.
    mail.SMTP_Port = 25;
    mail.Border = TFormBorderStyle::bsDialog;
    mail.Color = QColor(192, 192, 192);
    mail.Font = songTi();
    mail.FontColor = Qt::black;
    mail.StatusBarColor = Qt::blue;
    mail.StatusBarBackground = Qt::white;
    mail.Options = TSendMailDialogOptions(SendMailDialogObjects::StatusText) | SendMailDialogObjects::StatusBar
                   | SendMailDialogObjects::ByteCounter | SendMailDialogObjects::CancelButton;
    mail.StatusBarWidth = 200;
    mail.StatusBarHeight = 18;
    mail.Position = TSendMailDialogPos::ScreenCenter;
    mail.KeepConnectionOpen = false;
    mail.LanguageStrings = QStringList{tr("正在连接"), tr("已经连接"), tr("收信人 :"),
                                       tr("正在发送邮件"), tr("附件"), tr("取消")};

    FormCreate();
}

Tmailform::~Tmailform() = default;

void Tmailform::BuildPages()
{
    PageControl1 = new QTabWidget(this);
    TabSheet2 = new QWidget;
    TabSheet3 = new QWidget;
    TabSheet7 = new QWidget;
    TabSheet1 = new QWidget;
    TabSheet4 = new QWidget;
    PageControl1->addTab(TabSheet2, tr("用户资料"));
    PageControl1->addTab(TabSheet3, tr("服务器资料"));
    PageControl1->addTab(TabSheet7, tr("设置"));
    PageControl1->addTab(TabSheet1, tr("发送邮件"));
    PageControl1->addTab(TabSheet4, tr("帮助"));

    // 用户资料
    {
        auto *outer = new QGroupBox(tr("用户资料"));
        auto *personal = new QGroupBox(tr("个人资料"));
        email = new QLineEdit(QStringLiteral("email"));
        smtp = new QLineEdit(QStringLiteral("smtp"));
        email->setToolTip(tr("这是你取得邮件的服务器地址：\n例如： zhangsan@163.net"));
        smtp->setToolTip(tr("这是你发送邮件的服务器地址\n例如：202.96.199.133"));
        auto *personalLayout = new QVBoxLayout(personal);
        personalLayout->setContentsMargins(8, 2, 8, 6);
        personalLayout->setSpacing(2);
        personalLayout->addWidget(new QLabel(tr("你的收取邮件地址(pop3)")));
        personalLayout->addWidget(email);
        personalLayout->addWidget(new QLabel(tr("发送邮件服务器(SMTP)")));
        personalLayout->addWidget(smtp);
        auto *target = new QGroupBox(tr("你要下载的软件的完整URL"));
        url = new QLineEdit(QStringLiteral("ftp://"));
        url->setToolTip(tr("这是你要去哪，拿什么软件的地址\n例如： ftp://ftp.gnu.org/gnu/hello/hello-2.12.tar.gz"));
        auto *targetLayout = new QVBoxLayout(target);
        targetLayout->setContentsMargins(8, 2, 8, 6);
        targetLayout->addWidget(url);
        auto *outerLayout = new QVBoxLayout(outer);
        outerLayout->setContentsMargins(6, 2, 6, 6);
        outerLayout->setSpacing(4);
        outerLayout->addWidget(personal);
        outerLayout->addWidget(target);
        outerLayout->addStretch();
        auto *page = new QVBoxLayout(TabSheet2);
        page->setContentsMargins(4, 4, 4, 4);
        page->addWidget(outer);
    }

    // 服务器资料
    {
        auto *outer = new QGroupBox(tr("服务器资料"));
        auto *inner = new QGroupBox(tr("传输软件服务器(FTP协议)"));
        server3 = new TComboBox98;
        server3->SetStyle(TComboBox98::csDropDownList);  // choose a listed server, no free typing
        server3->setMinimumWidth(260);
        Button6 = new QPushButton(tr("增加"));
        Button6->setFlat(true);
        auto *innerLayout = new QHBoxLayout(inner);
        innerLayout->addWidget(server3, 1);
        innerLayout->addWidget(Button6);
        auto *login = new QGroupBox(tr("发送邮件服务器(SMTP)登录"));
        smtpuser = new QLineEdit;
        smtppass = new QLineEdit;
        smtppass->setEchoMode(QLineEdit::Password);
        smtppass->setToolTip(tr("密码只在本次运行中保留，不写入文件"));
        smtptls = new QComboBox;
        smtptls->addItems({tr("尽量加密"), tr("必须加密"), tr("不加密")});
        smtptls->setToolTip(tr("服务器地址写成 主机:465 时从头加密连接"));
        smtpuser->setAccessibleName(tr("SMTP 用户名"));
        smtppass->setAccessibleName(tr("SMTP 密码"));
        smtptls->setAccessibleName(tr("SMTP 加密"));
        auto *loginLayout = new QFormLayout(login);
        loginLayout->setContentsMargins(8, 2, 8, 6);
        loginLayout->addRow(tr("用户名"), smtpuser);
        loginLayout->addRow(tr("密码"), smtppass);
        loginLayout->addRow(tr("加密"), smtptls);
        auto *outerLayout = new QVBoxLayout(outer);
        outerLayout->addWidget(inner);
        outerLayout->addWidget(login);
        outerLayout->addStretch();
        auto *page = new QVBoxLayout(TabSheet3);
        page->addWidget(outer);
        connect(Button6, &QPushButton::clicked, this, &Tmailform::Button6Click);
    }

    // 设置
    {
        auto *format = new QGroupBox(tr("邮件格式"));
        uuencode = new QRadioButton(QStringLiteral("UUENCODE"));
        btoa = new QRadioButton(QStringLiteral("BTOA"));
        mime = new QRadioButton(QStringLiteral("MIME"));
        uuencode->setChecked(true);
        auto *formatLayout = new QVBoxLayout(format);
        formatLayout->addWidget(uuencode);
        formatLayout->addWidget(btoa);
        formatLayout->addWidget(mime);
        formatLayout->addStretch();
        auto *formatGroup = new QButtonGroup(format);
        formatGroup->addButton(uuencode);
        formatGroup->addButton(btoa);
        formatGroup->addButton(mime);

        auto *transfer = new QGroupBox(tr("传输格式"));
        binary = new QRadioButton(tr("二进制传输"));
        text = new QRadioButton(tr("文本格式传输"));
        auto *transferLayout = new QVBoxLayout(transfer);
        transferLayout->addWidget(binary);
        transferLayout->addWidget(text);
        transferLayout->addStretch();
        auto *transferGroup = new QButtonGroup(transfer);
        transferGroup->addButton(binary);
        transferGroup->addButton(text);

        auto *splitting = new QGroupBox(tr("分块传输"));
        split = new QCheckBox(tr("不分块"));
        split->setChecked(true);
        splitsize = new QLineEdit;
        auto *splitLayout = new QGridLayout(splitting);
        splitLayout->addWidget(split, 0, 0, 1, 2);
        splitLayout->addWidget(new QLabel(tr("每封邮件 (K/封)")), 1, 0);
        splitLayout->addWidget(splitsize, 1, 1);
        splitLayout->setRowStretch(2, 1);
        connect(split, &QCheckBox::clicked, this, &Tmailform::splitClick);

        auto *page = new QHBoxLayout(TabSheet7);
        page->addWidget(format);
        page->addWidget(transfer);
        page->addWidget(splitting, 1);
    }

    // 发送邮件
    {
        Memo2 = new QPlainTextEdit;
        Memo2->setLineWrapMode(QPlainTextEdit::NoWrap);
        Memo3 = new QPlainTextEdit;
        Memo3->setReadOnly(true);
        // Its lines are cut to fit this width; wrapping them again would break them up.
        Memo3->setLineWrapMode(QPlainTextEdit::NoWrap);
        Memo3->setFixedWidth(190);
        Memo3->setFrameShape(QFrame::NoFrame);
        QPalette palette = Memo3->palette();
        palette.setColor(QPalette::Base, palette.color(QPalette::Button));  // the scroll-bar colour
        Memo3->setPalette(palette);
        Memo3->setPlainText(QStringList{tr("发送邮件:"), QString(), tr("   左边就是你要发送到FTPMAIL"),
                                        QString(), tr("服务器的邮件内容，你可以自己"), QString(),
                                        tr("就邮件内容进行修改。如果你对"), QString(),
                                        tr("里面的指令不明白，请看帮助，"), QString(),
                                        tr("里面有详细的指令使用介绍")}
                                .join(u'\n'));
        Button12 = new QPushButton(tr("发送"));
        auto *side = new QVBoxLayout;
        side->addWidget(Memo3, 1);
        side->addWidget(Button12, 0, Qt::AlignHCenter);
        auto *page = new QHBoxLayout(TabSheet1);
        page->addWidget(Memo2, 1);
        page->addLayout(side);
        connect(Button12, &QPushButton::clicked, this, &Tmailform::Button12Click);
    }

    // 帮助
    {
        Button3 = new QPushButton(tr("FTPMAIL介绍"));
        Button4 = new QPushButton(tr("FTPMAIL 指令说明"));
        Memo1 = new QPlainTextEdit;
        Memo1->setReadOnly(true);
        Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
        Memo1->setTabChangesFocus(false);
        Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        auto *buttons = new QHBoxLayout;
        buttons->addWidget(Button3);
        buttons->addWidget(Button4);
        buttons->addStretch();
        auto *page = new QVBoxLayout(TabSheet4);
        page->addLayout(buttons);
        page->addWidget(Memo1, 1);
        connect(Button3, &QPushButton::clicked, this, &Tmailform::Button3Click);
        connect(Button4, &QPushButton::clicked, this, &Tmailform::Button4Click);
    }

    Button1 = new QPushButton(tr("确定"));
    Button2 = new QPushButton(tr("取消"));
    Button1->setToolTip(tr("按确定后，你的FTP-Mail \n申请就发送出去了！"));
    Button2->setToolTip(tr("取消操作"));
    Button1->setAutoDefault(false);
    Button2->setAutoDefault(false);
    connect(Button1, &QPushButton::clicked, this, &Tmailform::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &Tmailform::Button2Click);
    auto *bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(Button1);
    bottom->addWidget(Button2);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(PageControl1, 1);
    layout->addLayout(bottom);

    PageControl1->setCurrentIndex(0);
    connect(PageControl1, &QTabWidget::currentChanged, this, &Tmailform::PageChanged);
}

void Tmailform::FormCreate()
{
    email->setText(platform::GetProfileString(iniPath(), QStringLiteral("data"), QStringLiteral("email")));
    smtp->setText(platform::GetProfileString(iniPath(), QStringLiteral("data"), QStringLiteral("smtp")));
    smtpuser->setText(platform::GetProfileString(iniPath(), QStringLiteral("data"), QStringLiteral("smtpuser")));
    // Missing or not a known value: the default, encrypt when offered.
    bool known = false;
    const int security = platform::GetProfileString(iniPath(), QStringLiteral("data"), QStringLiteral("smtptls")).toInt(&known);
    smtptls->setCurrentIndex(known && security >= smtpTlsIfOffered && security <= smtpTlsOff ? security
                                                                                               : smtpTlsIfOffered);
    // A missing or empty server list leaves an empty choice.
    QStringList servers;
    platform::ReadAnsiTextFile(serverListPath(), &servers);
    server3->clear();
    for (const QString &server : std::as_const(servers))
        AddServer(server);
    splitsize->setEnabled(!split->isChecked());
    if (server3->count() > 0)
        server3->setCurrentIndex(0);
}

void Tmailform::PageChanged(int index)
{
    // Leaving the send page and entering it both compose the script afresh.
    const int sendPage = PageControl1->indexOf(TabSheet1);
    const int previous = currentPage_;
    currentPage_ = index;
    if (previous == sendPage || index == sendPage)
        TabSheet1Enter();
}

void Tmailform::TabSheet1Enter()
{
    Memo2->clear();
    const QString address = url->text();
    if (address.left(6).toLower() != QLatin1String("ftp://")) {
        Message(tr("下载软件路径必须 ftp:// 开头"));
        return;
    }
    const QString rest = address.mid(6);
    QString host;
    QString path;
    const qsizetype slash = rest.indexOf(u'/');
    if (slash >= 0) {
        host = rest.left(slash);
        path = rest.mid(slash, 999);
    } else {
        path = rest;
    }
    QStringList lines;
    lines << QStringLiteral("open ") + host + QStringLiteral(" anonymous");
    lines << (binary->isChecked() ? QStringLiteral("mode binary") : QStringLiteral("mode ascii"));
    if (!split->isChecked())
        lines << QStringLiteral("split ") + splitsize->text();
    lines << (uuencode->isChecked() ? QStringLiteral("uuencode")
              : btoa->isChecked()   ? QStringLiteral("btoa")
                                    : QStringLiteral("mime"));
    lines << QStringLiteral("get ") + path;
    lines << QStringLiteral("quit");
    Memo2->setPlainText(lines.join(u'\n'));
}

QStringList Tmailform::ScriptLines() const
{
    const QString content = Memo2->toPlainText();
    if (content.isEmpty())
        return {};
    QStringList lines = content.split(u'\n');
    if (lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

void Tmailform::Button12Click()
{
    if (email->text().isEmpty()) {
        Message(tr("没有填你的邮件地址"));
        return;
    }
    mail.FROM_Name = email->text();
    mail.FROM_Address = email->text();
    if (server3->currentText().isEmpty()) {
        Message(tr("没有选择好邮件服务器"));
        return;
    }
    mail.TO_Name = server3->currentText();
    mail.TO_Address = server3->currentText();
    if (smtp->text().isEmpty()) {
        Message(tr("没有填SMTP服务器"));
        return;
    }
    if (!TakeSmtpServer())
        return;
    mail.MailText.clear();
    mail.MailText += ScriptLines();
    mail.OnSendMailCertificate = [this](QObject *, const platform::TlsCertificateInfo &certificate, bool changed,
                                        TSendMailCertificateAnswer &answer) {
        AnswerCertificate(certificate, changed, answer);
    };
    // Network failures show nothing: the progress window simply closes.
    // Refused encryption or login is told, or the user would not know why.
    mail.Execute();
    mail.MailText.clear();
    const QString why = SendMailDialog::ErrorMessage(mail.LastError, mail.LastErrorText);
    if (!why.isEmpty())
        Message(why);
}

bool Tmailform::TakeSmtpServer()
{
    // "host:port" picks another port (465: TLS from the first byte, 587:
    // submission); a bare host goes to the dialog's own port (25).
    QString server = smtp->text().trimmed();
    const qsizetype colon = server.lastIndexOf(u':');
    bool portGiven = false;
    if (colon > 0 && server.indexOf(u':') == colon) {
        const uint number = server.mid(colon + 1).toUInt(&portGiven);
        portGiven = portGiven && number > 0 && number < 65536;
        if (portGiven) {
            if (!portFromField_)
                plainPort_ = mail.SMTP_Port;
            portFromField_ = true;
            mail.SMTP_Port = int(number);
            server.truncate(colon);
        }
    }
    if (!portGiven && portFromField_) {
        mail.SMTP_Port = plainPort_;
        portFromField_ = false;
    }
    mail.SMTP_Server = server;
    mail.Security = TSmtpSecurity(smtptls->currentIndex());
    mail.UserName = smtpuser->text();
    if (!mail.UserName.isEmpty() && smtppass->text().isEmpty()) {
        QString password;
        if (!platform::CurrentDialogs().AskPassword(this, tr("SMTP 密码"),
                                                    tr("请输入 %1 在 %2 的密码").arg(mail.UserName, server),
                                                    password))
            return false;
        smtppass->setText(password);  // kept for this run only
    }
    mail.Password = smtppass->text();
    return true;
}

void Tmailform::AnswerCertificate(const platform::TlsCertificateInfo &certificate, bool changed,
                                  TSendMailCertificateAnswer &answer)
{
    const QString endpoint = mail.SMTP_Server + u':' + QString::number(mail.SMTP_Port);
    switch (platform::CurrentDialogs().AskCertificate(this, endpoint, certificate, changed)) {
    case platform::Dialogs::TrustCertificateAlways: answer = smCertAlwaysTrust; break;
    case platform::Dialogs::AcceptCertificateOnce: answer = smCertAcceptOnce; break;
    case platform::Dialogs::RejectCertificate: answer = smCertReject; break;
    }
}

void Tmailform::Button6Click()
{
    QString server;
    if (platform::CurrentDialogs().AskText(this, tr("请输入添加的服务器"),
                                           tr("请输入你要添加的新服务器"), server))
        AddServer(server);
}

void Tmailform::AddServer(const QString &server)
{
    const QStringList servers = Servers();
    int at = 0;
    while (at < servers.size() && !serverBefore(server, servers.at(at)))
        ++at;
    server3->insertItem(at, server);
}

QStringList Tmailform::Servers() const
{
    QStringList servers;
    for (int i = 0; i < server3->count(); ++i)
        servers.append(server3->itemText(i));
    return servers;
}

void Tmailform::Button1Click()
{
    const QString ini = iniPath();
    if (!platform::WriteProfileString(ini, QStringLiteral("data"), QStringLiteral("email"), email->text())
        || !platform::WriteProfileString(ini, QStringLiteral("data"), QStringLiteral("smtp"), smtp->text())
        || !platform::WriteProfileString(ini, QStringLiteral("data"), QStringLiteral("smtpuser"), smtpuser->text())
        || !platform::WriteProfileString(ini, QStringLiteral("data"), QStringLiteral("smtptls"),
                                         QString::number(smtptls->currentIndex())))
        throw platform::Exception(QStringLiteral("Cannot create file %1").arg(ini));
    if (!platform::WriteAnsiTextFile(serverListPath(), Servers()))
        throw platform::Exception(QStringLiteral("Cannot create file %1").arg(serverListPath()));
    close();
}

void Tmailform::Button2Click()
{
    close();
}

void Tmailform::splitClick()
{
    splitsize->setEnabled(!split->isChecked());
}

void Tmailform::Button3Click()
{
    LoadHelp(QStringLiteral("intro.txt"));
}

void Tmailform::Button4Click()
{
    LoadHelp(QStringLiteral("ftpmailhelp.txt"));
}

void Tmailform::LoadHelp(const QString &fileName)
{
    Memo1->clear();
    const QString path = platform::ProgramDataFile(fileName);
    QStringList lines;
    if (!platform::ReadAnsiTextFile(path, &lines))
        throw platform::Exception(QStringLiteral("Cannot open file %1").arg(path));
    Memo1->setPlainText(lines.join(u'\n'));
}

void Tmailform::Message(const QString &text)
{
    platform::CurrentDialogs().MessageBox(this, text, windowTitle(), platform::Dialogs::NoIcon,
                                          platform::Dialogs::OkOnly);
}
