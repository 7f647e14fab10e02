// Encryption and the data connection mode: the login bar's choice, a site's
// options, the certificate question and the lock in the status bar.

#include "mainwindow/tform1.h"

#include "dialogs/site_options.h"
#include "engine/ftp.h"
#include "mainwindow/main_settings.h"
#include "platform/dialogs.h"
#include "widgets/combobox98.h"

#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QSpinBox>
#include <QStatusBar>
#include <QToolBar>

namespace {

constexpr int kPlainPort = 21;
constexpr int kImplicitTlsPort = 990;

// A padlock drawn for the status bar, shut or open; no icon theme has one everywhere.
QPixmap LockPixmap(bool shut, qreal ratio)
{
    const int side = 16;
    QPixmap pixmap(QSize(side, side) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor colour = shut ? QColor(0, 120, 0) : QColor(170, 0, 0);
    painter.setPen(QPen(colour, 2));
    // The shackle: closed into the body, or swung open to the right.
    const QRectF shackle = shut ? QRectF(4, 1.5, 8, 9) : QRectF(8, 0.5, 7, 8);
    painter.drawArc(shackle, 0, 180 * 16);
    painter.drawLine(QPointF(shackle.left(), shackle.center().y()), QPointF(shackle.left(), 8));
    if (shut)
        painter.drawLine(QPointF(shackle.right(), shackle.center().y()), QPointF(shackle.right(), 8));
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawRoundedRect(QRectF(2, 7.5, 12, 8), 1.5, 1.5);
    return pixmap;
}

} // namespace

void TForm1::BuildEncryptionChoice()
{
    auto *label = new QLabel(tr("加密"), Toolbar971);
    label->setContentsMargins(6, 0, 3, 0);
    Toolbar971->addWidget(label);
    encryption = new QComboBox(Toolbar971);
    encryption->setObjectName(QStringLiteral("encryption"));
    for (int mode = 0; mode < SiteOptions::EncryptionCount; ++mode)
        encryption->addItem(EncryptionText(mode));
    encryption->setCurrentIndex(SiteOptions::TlsIfSupported);
    encryption->setToolTip(tr("控制连接和数据连接是否用 TLS 加密"));
    encryption->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    Toolbar971->addWidget(encryption);
}

void TForm1::BuildEncryptionStatus()
{
    // The lock and its word in one sunken panel, left of the connection state.
    encryptionPanel_ = new QFrame(statusBar());
    encryptionPanel_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    auto *layout = new QHBoxLayout(encryptionPanel_);
    layout->setContentsMargins(3, 0, 3, 0);
    layout->setSpacing(3);
    encryptionLock_ = new QLabel(encryptionPanel_);
    EncryptionStatus = new QLabel(encryptionPanel_);
    EncryptionStatus->setObjectName(QStringLiteral("EncryptionStatus"));
    EncryptionStatus->setTextFormat(Qt::PlainText);
    EncryptionStatus->setAccessibleDescription(tr("加密状态"));
    layout->addWidget(encryptionLock_);
    layout->addWidget(EncryptionStatus);
    encryptionPanel_->hide();
    statusBar()->addPermanentWidget(encryptionPanel_);
}

void TForm1::WireSecurity()
{
    // Implicit TLS has a port of its own; a port the user chose stays.
    connect(encryption, &QComboBox::currentIndexChanged, this, [this](int mode) {
        if (mode == SiteOptions::TlsImplicitRequired && port->value() == kPlainPort)
            port->setValue(kImplicitTlsPort);
        else if (mode != SiteOptions::TlsImplicitRequired && port->value() == kImplicitTlsPort)
            port->setValue(kPlainPort);
    });
    ftp1->OnFtpCertificate = [this](QObject *, const platform::TlsCertificateInfo &certificate, bool changed,
                                    TMFtpCertificateAnswer &answer) {
        switch (platform::CurrentDialogs().AskCertificate(this, ConnectionTarget(), certificate, changed)) {
        case platform::Dialogs::TrustCertificateAlways: answer = certAlwaysTrust; break;
        case platform::Dialogs::AcceptCertificateOnce: answer = certAcceptOnce; break;
        case platform::Dialogs::RejectCertificate: answer = certReject; break;
        }
        // Accepted for this session: its transfer connections do not ask again.
        if (answer == certAcceptOnce && !acceptedCertificates_.contains(certificate.sha256))
            acceptedCertificates_ << certificate.sha256;
    };
}

void TForm1::AdoptSiteOptions(const SiteOptions &options)
{
    encryption->setCurrentIndex(options.encryption);
    sitePassive_ = options.passive;
    sitePassiveServer_ = server->currentText();
}

void TForm1::ApplyConnectionOptions()
{
    ftp1->TlsMode = TMFtpTlsMode(encryption->currentIndex());
    // A site's mode holds while its server is the one in the login bar.
    const bool siteInBar = sitePassive_ && sitePassiveServer_ == server->currentText();
    ftp1->Passive = siteInBar ? *sitePassive_ : MainSettings.passive;
    ftp1->KeepUploadTime = MainSettings.keepuploadtime;
}

void TForm1::ShowEncryptionState(bool online)
{
    if (!online) {
        EncryptionStatus->clear();
        encryptionPanel_->hide();
        return;
    }
    const bool shut = ftp1->ControlEncrypted();
    encryptionLock_->setPixmap(LockPixmap(shut, devicePixelRatioF()));
    EncryptionStatus->setText(shut ? tr("已加密 (%1)").arg(ftp1->TlsProtocol()) : tr("未加密"));
    encryptionPanel_->setToolTip(shut ? tr("已加密: %1, %2").arg(ftp1->TlsProtocol(), ftp1->TlsCipher())
                                      : tr("未加密: 密码和数据以明文传送"));
    encryptionPanel_->show();
}
