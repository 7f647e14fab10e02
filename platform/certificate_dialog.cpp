#include "certificate_dialog.h"

#include "tls_session.h"

#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace platform {

namespace {

// OpenSSL's X509_V_ERR_ numbers for the problems users meet; the rest are
// shown in OpenSSL's own words.
constexpr int kNotYetValid = 9;
constexpr int kExpired = 10;
constexpr int kSelfSigned = 18;
constexpr int kSelfSignedInChain = 19;
constexpr int kIssuerUnknown = 20;
constexpr int kLeafUnverifiable = 21;
constexpr int kRevoked = 23;

QString VerifyProblem(int code, const QString &openSslText)
{
    switch (code) {
    case kNotYetValid: return QCoreApplication::translate("CertificateDialog", "证书尚未生效");
    case kExpired: return QCoreApplication::translate("CertificateDialog", "证书已经过期");
    case kSelfSigned: return QCoreApplication::translate("CertificateDialog", "证书是自签名的, 不是由受信任的证书机构颁发");
    case kSelfSignedInChain: return QCoreApplication::translate("CertificateDialog", "证书链中有一个不受信任的自签名根证书");
    case kIssuerUnknown:
    case kLeafUnverifiable: return QCoreApplication::translate("CertificateDialog", "证书的颁发者不在本机信任的证书机构中");
    case kRevoked: return QCoreApplication::translate("CertificateDialog", "证书已被吊销");
    default: break;
    }
    return QCoreApplication::translate("CertificateDialog", "证书验证失败: %1").arg(openSslText);
}

QString LocalTime(const QDateTime &utc)
{
    return utc.isValid() ? utc.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")) : QStringLiteral("?");
}

QLabel *SelectableLabel(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setWordWrap(true);
    return label;
}

}  // namespace

QString CertificateProblemText(const TlsCertificateInfo &certificate)
{
    if (certificate.IsNull())
        return QCoreApplication::translate("CertificateDialog", "服务器没有出示证书");
    QStringList problems;
    if (certificate.verifyCode != 0)
        problems << VerifyProblem(certificate.verifyCode, certificate.verifyText);
    if (!certificate.hostMatches)
        problems << QCoreApplication::translate("CertificateDialog", "证书不是颁发给 %1 的").arg(certificate.hostName);
    return problems.join(u'\n');
}

QString GroupedFingerprint(const QString &sha256)
{
    QStringList pairs;
    for (qsizetype i = 0; i + 1 < sha256.size(); i += 2)
        pairs << sha256.mid(i, 2).toUpper();
    return pairs.join(u':');
}

Dialogs::CertificateAnswer AskCertificateInWindow(QWidget *parent, const QString &endpoint,
                                                  const TlsCertificateInfo &certificate, bool changed)
{
    QPointer<QDialog> dialog = new QDialog(parent);
    dialog->setWindowTitle(changed ? QCoreApplication::translate("CertificateDialog", "警告: 服务器证书已改变") : QCoreApplication::translate("CertificateDialog", "服务器证书"));
    auto *layout = new QVBoxLayout(dialog);

    auto *warning = new QLabel(dialog);
    warning->setWordWrap(true);
    if (changed) {
        warning->setText(QCoreApplication::translate("CertificateDialog", "<b><font color=\"#c00000\">服务器 %1 出示的证书与您上次选择信任的证书不同!</font></b><br>"
                                        "这可能是有人在截取您的连接 (中间人攻击), 也可能是服务器换了证书。"
                                        "除非您确知服务器换了证书, 否则请拒绝。")
                             .arg(endpoint.toHtmlEscaped()));
    } else {
        warning->setText(QCoreApplication::translate("CertificateDialog", "无法验证服务器 %1 的证书。只有在您确认这就是您要连接的服务器时, 才接受这个证书。")
                             .arg(endpoint));
    }
    layout->addWidget(warning);

    auto *form = new QFormLayout;
    form->addRow(QCoreApplication::translate("CertificateDialog", "问题:"), SelectableLabel(CertificateProblemText(certificate), dialog));
    form->addRow(QCoreApplication::translate("CertificateDialog", "颁发给:"), SelectableLabel(certificate.subject, dialog));
    form->addRow(QCoreApplication::translate("CertificateDialog", "颁发者:"), SelectableLabel(certificate.issuer, dialog));
    form->addRow(QCoreApplication::translate("CertificateDialog", "有效期:"), SelectableLabel(QCoreApplication::translate("CertificateDialog", "%1 至 %2").arg(LocalTime(certificate.notBefore),
                                                                                          LocalTime(certificate.notAfter)),
                                                          dialog));
    auto *fingerprint = SelectableLabel(GroupedFingerprint(certificate.sha256), dialog);
    fingerprint->setFont(QFont(QStringLiteral("monospace")));
    form->addRow(QCoreApplication::translate("CertificateDialog", "SHA-256 指纹:"), fingerprint);
    layout->addLayout(form);
    layout->addStretch(1);

    auto *buttons = new QDialogButtonBox(dialog);
    QPushButton *always = buttons->addButton(QCoreApplication::translate("CertificateDialog", "总是信任(&A)"), QDialogButtonBox::AcceptRole);
    QPushButton *once = buttons->addButton(QCoreApplication::translate("CertificateDialog", "仅本次接受(&O)"), QDialogButtonBox::AcceptRole);
    QPushButton *reject = buttons->addButton(QCoreApplication::translate("CertificateDialog", "拒绝(&R)"), QDialogButtonBox::RejectRole);
    // Enter must never trust a certificate that replaced a trusted one.
    (changed ? reject : once)->setDefault(true);
    layout->addWidget(buttons);

    Dialogs::CertificateAnswer answer = Dialogs::RejectCertificate;
    QObject::connect(buttons, &QDialogButtonBox::clicked, dialog, [&answer, always, once, dialog](QAbstractButton *b) {
        if (b == always)
            answer = Dialogs::TrustCertificateAlways;
        else if (b == once)
            answer = Dialogs::AcceptCertificateOnce;
        dialog->done(answer == Dialogs::RejectCertificate ? QDialog::Rejected : QDialog::Accepted);
    });
    Q_UNUSED(reject);
    dialog->setMinimumWidth(520);
    dialog->exec();
    if (!dialog)
        return Dialogs::RejectCertificate;
    dialog->deleteLater();
    return answer;
}

}  // namespace platform
