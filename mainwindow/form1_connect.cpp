// The login bar and the connection commands: connect, the Enter key with the
// server history, filling the bar from a remembered server, logout, stop, and
// the window's busy state.

#include "mainwindow/tform1.h"

#include "core/transfer_session.h"
#include "engine/ftp.h"
#include "platform/dialogs.h"
#include "mainwindow/remote_list_model.h"
#include "mainwindow/remote_list_view.h"
#include "widgets/combobox98.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QStandardItemModel>
#include <QTreeView>

namespace {

bool ConfirmLeavingConnection(QWidget *parent)
{
    return platform::CurrentDialogs().MessageBox(parent, TForm1::tr("确定要退出目前的连接吗?"), TForm1::tr("确认"),
                                                 platform::Dialogs::Question, platform::Dialogs::OkCancel)
           == platform::Dialogs::Ok;
}

// "host:port" of the server the engine is set to.
QString EngineTarget(const TMFtp &ftp)
{
    const QString host = ftp.Server();
    if (host.isEmpty())
        return QString();
    // An IPv6 literal keeps its port apart in brackets.
    return (host.contains(u':') ? u'[' + host + u']' : host) + u':' + QString::number(ftp.Port);
}

} // namespace

void TForm1::WireLoginBar()
{
    server->OnChange = [this](QObject *) { serverChange(); };
    server->OnComplete = [this](QObject *, int key, QString &completeWith, bool &doComplete) {
        serverComplete(key, completeWith, doComplete);
    };
    // The combo passes keys to its edit field past that field's filters: it
    // reports them itself.
    server->OnKeyDown = [this](QObject *, int &key, Qt::KeyboardModifiers) {
        if (key == 13 && passwordKeyDown(Qt::Key_Return))
            key = 0;
    };
    const QList<QObject *> fields = {port, username, password};
    for (QObject *field : fields)
        field->installEventFilter(this);
}

int TForm1::PortValue() const
{
    bool ok = false;
    const int value = port->cleanText().trimmed().toInt(&ok);
    return ok ? value : 0;
}

void TForm1::Button1Click()
{
    // Empty fields keep the engine's value; after a login those are empty, so
    // the engine then asks for what it lacks.
    if (!server->currentText().isEmpty())
        ftp1->SetServer(server->currentText());
    if (!username->text().isEmpty())
        ftp1->Username = username->text().toUtf8();
    if (!password->text().isEmpty())
        ftp1->SetPassword(password->text().toUtf8());
    const int portValue = PortValue();
    ftp1->Port = quint16(portValue < 1 ? 21 : portValue);
    ApplyConnectionOptions();

    // A connect by hand is the user's: a queue waiting for its own login does not go on after it.
    if (!browsing_.Queue.reconnecting)
        browsing_.Queue.resumeAfterLogin = false;
    if (!ftp1->Connected) {
        ShowConnectionState(LinkState::Connecting);
        ftp1->Connect();
        return;
    }
    if (!ConfirmLeavingConnection(this))
        return;
    sessionClosedByUser_ = true;
    // Disconnect, not only the control socket's close: the old session's data
    // connection, open file, keep-alive timer and busy state must go too, or
    // the new login would be refused as busy or get a stray NOOP.
    ftp1->Disconnect();
    // The old session's walks would take the new one's first listing and
    // completions for their own.
    CancelAllWalks();
    ShowConnectionState(LinkState::Connecting);
    ftp1->Connect();
}

bool TForm1::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress
        && (watched == port || watched == username || watched == password)) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (passwordKeyDown(key))
            return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

bool TForm1::passwordKeyDown(int key)
{
    if (key != Qt::Key_Return && key != Qt::Key_Enter)
        return false;
    const QString serverText = server->currentText();
    if (Form6.Remember(serverText, username->text(), password->text(), PortValue()))
        server->addItem(serverText);
    Button1Click();
    return true;
}

// A remembered server fills the rest of the login bar.
void TForm1::FillLoginBar(const QString &serverText)
{
    if (const ServerHistory::Row *row = Form6.Find(serverText)) {
        port->setValue(row->port.toInt());
        username->setText(row->username);
        password->setText(row->password);
    }
}

void TForm1::serverChange()
{
    FillLoginBar(server->currentText());
}

// The completion is never vetoed nor changed: it only fills the bar.
void TForm1::serverComplete(int, QString &completeWith, bool &)
{
    FillLoginBar(server->currentText() + completeWith);
}

void TForm1::logoutClick()
{
    if (!ftp1->Connected)
        return;
    if (!ConfirmLeavingConnection(this))
        return;
    sessionClosedByUser_ = true;
    browsing_.Queue.resumeAfterLogin = false;
    ftp1->Disconnect();
    ftp1->Quit();  // refused now; its notice puts "退出连接" in the status bar
    SetIdle();
    // The engine says nothing more of this session: the remote list it
    // showed goes, with its menu, as when the server ends the session.
    AttachRemoteMenu(false);
    ftpviewModel->Clear();
    ftppath->setEditText(QString());
    CancelAllWalks();
    ShowConnectionState(LinkState::Offline);
}

void TForm1::stopClick()
{
    // Files on the transfer connections, with the browsing connection free.
    if (transferSession_->HasBatches() && !ftp1->Busy()) {
        if (platform::CurrentDialogs().MessageBox(this, tr("要停止全部传输吗?"), tr("停止传输"),
                                                  platform::Dialogs::Question, platform::Dialogs::YesNo)
            == platform::Dialogs::Yes)
            StopParallelTransfers();
        return;
    }
    if (!ftp1->Connected || !ftp1->Busy())
        return;
    // A walk or queue run goes on with its next file after an abort: the user
    // says whether that is what they want.
    if (browsing_.Transfers.running() || browsing_.Queue.running) {
        const int answer = platform::CurrentDialogs().MessageBox(
            this, tr("要停止整个传输吗?\n是: 停止全部; 否: 只停止当前文件, 继续传输其余的文件"),
            tr("停止传输"), platform::Dialogs::Question, platform::Dialogs::YesNoCancel);
        if (answer == platform::Dialogs::Cancel || !ftp1->Busy())
            return;
        if (answer == platform::Dialogs::No) {
            ftp1->Abort();
            return;
        }
        returnHomeWhenReady_ = {transferHomeRemote_, transferHomeLocal_};
        sessionClosedByUser_ = true;  // a connection lost in the abort is not retried
        StopParallelTransfers();
        ftp1->Abort();
        CancelAllWalks();
        SetIdle();
        return;
    }
    ftp1->Abort();
    CancelRemoteWalks();
    SetIdle();
}

QString TForm1::ConnectionTarget() const
{
    return onlineTarget_.isEmpty() ? EngineTarget(*ftp1) : onlineTarget_;
}

void TForm1::ShowConnectionState(LinkState state)
{
    switch (state) {
    case LinkState::Offline:
        ShowEncryptionState(false);
        onlineTarget_.clear();
        setWindowTitle(tr("Tarvo - FTP 客户端"));
        ConnectionStatus->setText(tr(" 未连接 "));
        break;
    case LinkState::Connecting:
        ShowEncryptionState(false);
        onlineTarget_.clear();
        ConnectionStatus->setText(tr(" 正在连接 %1 ").arg(ConnectionTarget()));
        break;
    case LinkState::Online:
        onlineTarget_ = EngineTarget(*ftp1);
        setWindowTitle(QStringLiteral("Tarvo - ") + ftp1->Server());
        ConnectionStatus->setText(tr(" 已连接 %1 ").arg(onlineTarget_));
        ShowEncryptionState(true);
        break;
    }
}

void TForm1::SetBusy()
{
    uiBusy_ = true;
    ftpview->setCursor(Qt::WaitCursor);
    ftppath->setEnabled(false);
}

void TForm1::SetIdle()
{
    uiBusy_ = false;
    ftpview->unsetCursor();
    ftppath->setEnabled(true);
}
