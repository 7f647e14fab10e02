#include "smdialog.h"

#include <QFileInfo>
#include <QFontMetrics>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>

#include <memory>

namespace {

// Sample values standing for the longest text expected after each status line.
const QString SampleHost = QStringLiteral("mail.example-isp.cn");                  // 19 characters
const QString SampleAddress = QStringLiteral("255.255.255.255");                   // 15
const QString SampleMail = QStringLiteral("somebody.with.long.name@example.cn");   // 34
const QString SampleFile = QStringLiteral("SETUP_V2.ZIP");                         // 12

Qt::WindowFlags flagsFor(TFormBorderStyle border)
{
    // No system menu and no close box: the window ends with the send.
    const Qt::WindowFlags base = Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    switch (border) {
    case TFormBorderStyle::bsNone: return Qt::Dialog | Qt::FramelessWindowHint;
    case TFormBorderStyle::bsToolWindow: return Qt::Tool | base;
    case TFormBorderStyle::bsSingle:
    case TFormBorderStyle::bsSizeable:
    case TFormBorderStyle::bsDialog: break;
    }
    return Qt::Dialog | base;
}

}  // namespace

SendMailDialog::SendMailDialog(QObject *parent) : QObject(parent) {}

SendMailDialog::~SendMailDialog() = default;

void SendMailDialog::CopyMessageTo(SendMail &sender) const
{
    sender.FROM_Name = FROM_Name;
    sender.FROM_Address = FROM_Address;
    sender.TO_Name = TO_Name;
    sender.TO_Address = TO_Address;
    sender.Subject = Subject;
    sender.MailText = MailText;
    sender.Attachments = Attachments;
    sender.Headers = Headers;
    sender.OnFeedData = OnSendMailFeedData;
    sender.KeepConnectionOpen = KeepConnectionOpen;
    sender.ListTo = ListTo;
    sender.Listcc = Listcc;
    sender.ListBcc = ListBcc;
}

void SendMailDialog::LayOut(Tsmdlg &window) const
{
    const QFontMetrics metrics(window.font());
    auto width = [&](const QString &text) { return metrics.horizontalAdvance(text); };
    int clientWidth = 3;
    int clientHeight = 3;

    if (Options & SendMailDialogObjects::StatusText) {
        const int w = qMax(qMax(width(LanguageStrings.value(0) + u' ' + SampleHost),
                                width(LanguageStrings.value(1) + u' ' + SampleAddress + u' ')),
                           qMax(width(LanguageStrings.value(2) + u' ' + SampleMail),
                                width(LanguageStrings.value(3) + u' ' + SampleFile)));
        const int h = metrics.height();
        window.Status->setGeometry(0, clientHeight, w + 6, h + 6);
        clientHeight += window.Status->height();
        clientWidth = window.Status->width() + 6;
        window.Status->show();
    } else {
        window.Status->hide();
    }

    if (Options & SendMailDialogObjects::StatusBar) {
        window.Panel1->setGeometry(0, clientHeight, StatusBarWidth, StatusBarHeight);
        clientHeight += StatusBarHeight + 3;
        clientWidth = qMax(clientWidth, StatusBarWidth + 6);
        window.Panel1->show();
    } else {
        window.Panel1->hide();
    }

    const bool counter = Options & SendMailDialogObjects::ByteCounter;
    const bool button = Options & SendMailDialogObjects::CancelButton;
    if (counter) {
        const int w = width(QStringLiteral("99999999"));
        const int h = metrics.height();
        window.counter->setGeometry(3, clientHeight + 3, w + 6, h);
        if (!button)
            clientHeight += h + 6;
        window.counter->show();
    } else {
        window.counter->hide();
    }
    if (button) {
        const QString caption = LanguageStrings.value(5);
        window.cancel->setText(caption);
        const int w = width(caption);
        const int h = metrics.height();
        const int top = counter ? window.counter->y() : clientHeight + 3;
        window.cancel->setGeometry(0, top, w + 16, h + 10);
        clientHeight += window.cancel->height() + 3;
        window.cancel->show();
    } else {
        window.cancel->hide();
    }
    if (counter && button) {
        clientWidth = qMax(clientWidth, window.cancel->width() + window.counter->width() + 12);
        window.cancel->move(clientWidth - 3 - window.cancel->width(), window.cancel->y());
    } else if (counter) {
        clientWidth = qMax(clientWidth, window.counter->width() + 6);
        window.counter->move((clientWidth - window.counter->width()) / 2, window.counter->y());
    } else if (button) {
        clientWidth = qMax(clientWidth, window.cancel->width() + 6);
        window.cancel->move((clientWidth - window.cancel->width()) / 2, window.cancel->y());
    }

    window.Status->resize(clientWidth, window.Status->height());
    window.Panel1->move((clientWidth - window.Panel1->width()) / 2, window.Panel1->y());
    clientHeight += 3;
    window.setFixedSize(clientWidth, clientHeight);
    window.setWindowTitle(Caption);
}

bool SendMailDialog::Execute()
{
    auto window = std::make_unique<Tsmdlg>();
    window->setWindowTitle(Caption);
    window->setWindowFlags(flagsFor(Border));
    QPalette palette = window->palette();
    palette.setColor(QPalette::Window, Color);
    palette.setColor(QPalette::WindowText, FontColor);
    palette.setColor(QPalette::ButtonText, FontColor);
    window->setPalette(palette);
    window->setAutoFillBackground(true);
    window->setFont(Font);
    window->Panel1->resize(StatusBarWidth, StatusBarHeight);

    LayOut(*window);

    if (Position == TSendMailDialogPos::Custom) {
        window->move(WindowLeft, WindowTop);
    } else if (QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        window->move(area.center() - QPoint(window->width() / 2, window->height() / 2));
    }

    SendMail &sender = *window->SendMail_;
    sender.SMTP_Port = quint16(SMTP_Port);
    sender.SetSMTP_Server(SMTP_Server);
    sender.Security = Security;
    sender.UserName = UserName;
    sender.Password = Password;
    window->onCertificate_ = OnSendMailCertificate;
    CopyMessageTo(sender);
    window->onSendMailInfo_ = OnSendMailInfo;
    window->onSetupNextMessage_ = OnSetupNextMessage;
    window->owner_ = this;
    window->texts_ = LanguageStrings.mid(0, 5);
    while (window->texts_.size() < 5)
        window->texts_.append(QString());
    window->barColor_ = StatusBarColor;
    QPalette bar = window->Panel1->palette();
    bar.setColor(QPalette::Window, StatusBarBackground);
    window->Panel1->setPalette(bar);
    window->Timer.setInterval(InactivityLimitMs);

    window->exec();
    LastError = window->lastError_;
    LastErrorText = window->lastErrorText_;
    return sender.Accepted();
}

QString SendMailDialog::ErrorMessage(SendMailError error, const QString &detail)
{
    const QString notSent = tr("邮件没有发送。");
    switch (error) {
    case smeTlsRequired:
        return tr("邮件服务器不提供加密连接 (STARTTLS)，设置为“必须加密”时不以明文发送，") + notSent
               + u'\n' + detail;
    case smeTlsHandshake:
        return tr("与邮件服务器建立加密连接失败，") + notSent + u'\n' + detail;
    case smeCertificateRejected:
        return tr("邮件服务器的证书没有被接受，") + notSent + u'\n' + detail;
    case smeAuthFailed:
        return tr("邮件服务器拒绝了用户名或密码，") + notSent + u'\n' + detail;
    case smeAuthUnsupported:
        return tr("邮件服务器不支持本程序的登录方式 (PLAIN、LOGIN)，") + notSent + u'\n' + detail;
    default:
        return QString();
    }
}

Tsmdlg::Tsmdlg(QWidget *parent)
    : QDialog(parent),
      Status(new QLabel(this)),
      Panel1(new QFrame(this)),
      PaintBox1(new QWidget(Panel1)),
      counter(new QLabel(this)),
      cancel(new QPushButton(this)),
      SendMail_(new SendMail(this))
{
    setModal(true);
    Status->setAlignment(Qt::AlignCenter);
    Panel1->setAutoFillBackground(true);
    PaintBox1->installEventFilter(this);
    Panel1->installEventFilter(this);
    counter->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    SendMail_->SetTimeoutConnect(30);
    SendMail_->SetTimeoutArp(20);

    Timer.setInterval(60000);
    Timer.start();
    connect(&Timer, &QTimer::timeout, this, &Tsmdlg::TimerTimer);
    connect(cancel, &QPushButton::clicked, this, &Tsmdlg::cancelClick);
}

Tsmdlg::~Tsmdlg()
{
    // The sender goes with the window; no notice may reach a half-destroyed window.
    SendMail_->OnMailInfo = nullptr;
    SendMail_->OnDone = nullptr;
    SendMail_->OnMailError = nullptr;
    SendMail_->OnMailCertificate = nullptr;
}

QString Tsmdlg::StatusLine() const
{
    return Status->text();
}

QString Tsmdlg::CounterText() const
{
    return counter->text();
}

bool Tsmdlg::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Panel1 && event->type() == QEvent::Resize)
        PaintBox1->setGeometry(Panel1->rect());
    if (watched == PaintBox1 && event->type() == QEvent::Paint) {
        PaintBar(PaintBox1);
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void Tsmdlg::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!shown_) {
        shown_ = true;
        FormShow();
    }
}

void Tsmdlg::FormShow()
{
    barTotal_ = SendMail_->Subject.isEmpty() ? 0 : 1;
    barPosition_ = 0;
    RepaintBar();
    if (!Timer.isActive())
        Timer.start();
    SendMail_->OnMailInfo = [this](QObject *sender, SendMailInfo info, const QString &text) {
        SendMailMailInfo(sender, info, text);
    };
    SendMail_->OnDone = [this](QObject *sender) { SendMailDone(sender); };
    SendMail_->OnMailError = [this](QObject *sender, SendMailError error, const QString &text) {
        SendMailError_(sender, error, text);
    };
    if (onCertificate_) {
        SendMail_->OnMailCertificate = [this](QObject *sender, const platform::TlsCertificateInfo &certificate,
                                              bool changed, TSendMailCertificateAnswer &answer) {
            // The user may take a while: that is no silent server.
            Timer.stop();
            QPointer<Tsmdlg> self(this);
            TSendMailCertificateEvent handler = onCertificate_;
            handler(sender, certificate, changed, answer);
            if (self && !closing_)
                Timer.start();
        };
    }
    Status->setText(SendMail_->SMTP_Server() + u' ' + texts_.value(0));
    // The send starts once the window is on the screen.
    QPointer<Tsmdlg> self(this);
    QMetaObject::invokeMethod(this, [self] {
        if (self)
            self->StartMessage();
    }, Qt::QueuedConnection);
}

void Tsmdlg::StartMessage()
{
    barTotal_ = SendMail_->BodyText().size();
    SendMail_->SetAction(TMailAction::Send_Mail);
}

void Tsmdlg::SendMailMailInfo(QObject *sender, SendMailInfo info, const QString &text)
{
    Timer.start();  // the limit counts from the last notice
    if (onSendMailInfo_) {
        TSendMailInfoEvent handler = onSendMailInfo_;
        handler(sender, info, text);
    }
    switch (info) {
    case smServerConnected:
        Status->setText(text + u' ' + texts_.value(1));
        break;
    case smRecipient:
        Status->setText(text + u' ' + texts_.value(2));
        break;
    case smAttachmentName:
        Status->setText(QFileInfo(text).fileName() + u' ' + texts_.value(4));
        barTotal_ = 1;
        barPosition_ = 0;
        RepaintBar();
        break;
    case smAttachmentSize:
        barTotal_ = text.toLongLong();
        RepaintBar();
        break;
    case smAttachmentBytes:
        barPosition_ = text.toLongLong();
        counter->setText(text);
        RepaintBar();
        break;
    case smSendingMessage:
        Status->setText(texts_.value(3));
        barPosition_ = text.toLongLong();
        counter->setText(text);
        RepaintBar();
        break;
    default:
        break;
    }
}

void Tsmdlg::SendMailDone(QObject *)
{
    // A cancel or the time limit already closed the window: the end notice
    // they left behind must not start the next message.
    if (closing_)
        return;
    // The next message only after an accepted one: a failed send on a kept
    // connection would otherwise be retried without end.
    if (SendMail_->KeepConnectionOpen && onSetupNextMessage_ && SendMail_->Accepted() && owner_) {
        Timer.stop();
        TNotifyEvent handler = onSetupNextMessage_;
        handler(this);
        if (!owner_)
            return;
        owner_->CopyMessageTo(*SendMail_);
        barPosition_ = 0;
        RepaintBar();
        setWindowTitle(QString());
        Timer.start();
        SendMail_->SetAction(TMailAction::Send_Mail);
        return;
    }
    done(QDialog::Accepted);
}

void Tsmdlg::SendMailError_(QObject *, SendMailError error, const QString &text)
{
    lastError_ = error;
    lastErrorText_ = text;
}

void Tsmdlg::TimerTimer()
{
    closing_ = true;
    Timer.stop();
    SendMail_->SetAction(TMailAction::Cancel_SendMail);
    done(QDialog::Accepted);
}

void Tsmdlg::cancelClick()
{
    closing_ = true;
    Timer.stop();
    SendMail_->SetAction(TMailAction::Cancel_SendMail);
    done(QDialog::Rejected);
}

void Tsmdlg::reject()
{
    cancelClick();
}

void Tsmdlg::RepaintBar()
{
    // Coalesced: a large attachment brings a notice for every 57 bytes.
    PaintBox1->update();
}

void Tsmdlg::PaintBar(QWidget *area)
{
    if (barTotal_ <= 0)
        return;
    // 64-bit: width times a byte count overflows an int for files of some 10 MB.
    const qint64 x = qBound(qint64(0), qint64(area->width()) * barPosition_ / barTotal_, qint64(area->width()));
    if (x <= 0)
        return;
    QPainter painter(area);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.setBrush(barColor_);
    painter.drawRect(0, 0, int(x) - 1, area->height() - 1);
}
