// An ftp:// or ftps:// address handed to the window (the command line, a link
// from the desktop, a second start): the login bar is filled with it and the
// window connects, lists the folder it names or downloads the file it names.

#include "mainwindow/tform1.h"

#include "dialogs/site_options.h"
#include "engine/ftp.h"
#include "engine/ftp_url.h"
#include "mainwindow/command_line.h"
#include "platform/dialogs.h"
#include "widgets/combobox98.h"

#include <QComboBox>
#include <QLineEdit>
#include <QSpinBox>

using namespace Qt::StringLiterals;

bool TForm1::OpenAddress(const QString &text)
{
    QString error;
    FtpAddress address = ParseFtpAddress(text, &error);
    if (!error.isEmpty()) {
        // Only the start of a hostile argument is worth showing.
        platform::CurrentDialogs().MessageBox(this, tr("不能打开地址 %1\n%2").arg(text.left(200).simplified(), error),
                                              tr("地址无效"), platform::Dialogs::Warning, platform::Dialogs::OkOnly);
        return false;
    }
    if (TransferWalkRunning() || (ftp1->Connected && ftp1->Busy())) {
        SetPanelText(0, tr("  正在执行其它操作, 请等它结束后再打开地址 "));
        return false;
    }
    const bool anonymous = address.user.isEmpty();
    if (!anonymous && !address.hasPassword
        && !platform::CurrentDialogs().AskPassword(this, tr("密码"), tr("请输入 %1 的登陆密码").arg(address.user),
                                                   address.password))
        return false;
    encryption->setCurrentIndex(address.implicitTls ? SiteOptions::TlsImplicitRequired : SiteOptions::TlsIfSupported);
    server->setEditText(address.host);
    port->setValue(address.port);
    username->setText(anonymous ? QString::fromLatin1(FtpAnonymousUser) : address.user);
    password->setText(anonymous ? QString::fromLatin1(FtpAnonymousPassword) : address.password);
    if (!address.NamesFolder()) {
        if (anonymous)
            address.user.clear();
        OpenUrlDownload(address.EngineUrl(), LocalDirectory());
        return true;
    }
    // A bare address means the login's own folder, not the server's root.
    ftp1->InitialDirectory = address.path == "/" ? QByteArray() : address.path;
    if (ftp1->Connected) {
        // Another server, or the same one anew: the old session ends without the usual question.
        sessionClosedByUser_ = true;
        ftp1->Disconnect();
        CancelAllWalks();
    }
    Button1Click();
    return true;
}
